#include "gallery/artwork_record.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "support/text.h"

namespace murmura {

std::string ArtworkRecord::displayName() const {
    if (customName) {
        const std::string_view trimmed = trimWhitespace(*customName);
        if (!trimmed.empty()) return std::string(trimmed);
    }
    return appName;
}

std::optional<std::string> customNameForRename(std::string_view typed, const ArtworkRecord& record) {
    const std::string_view trimmed = trimWhitespace(typed);
    if (trimmed.empty() || trimmed == record.appName) return std::nullopt;
    return std::string(trimmed);
}

namespace {

using namespace std::chrono;

constexpr CatalogDate kFirstDate = sys_days{year{0} / January / 1};
constexpr CatalogDate kLastDate = sys_days{year{9999} / December / 31} + hours{23} + minutes{59} + seconds{59};

// Reads count decimal digits at text[pos]; -1 when any is not a digit.
int digits(std::string_view text, size_t pos, size_t count) {
    int value = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::string formatCatalogDate(CatalogDate date) {
    const sys_days day = floor<days>(date);
    const year_month_day ymd{day};
    const hh_mm_ss<seconds> time{date - day};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::optional<CatalogDate> parseCatalogDate(std::string_view text) {
    // YYYY-MM-DDTHH:MM:SS then Z or +HH:MM / -HH:MM.
    if (text.size() != 20 && text.size() != 25) return std::nullopt;
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    const int y = digits(text, 0, 4), mo = digits(text, 5, 2), d = digits(text, 8, 2);
    const int h = digits(text, 11, 2), mi = digits(text, 14, 2), s = digits(text, 17, 2);
    if (y < 0 || mo < 1 || mo > 12 || d < 1 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
        return std::nullopt;
    const year_month_day ymd{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    if (!ymd.ok()) return std::nullopt;
    seconds offset{0};
    if (text.size() == 20) {
        if (text[19] != 'Z') return std::nullopt;
    } else {
        const char sign = text[19];
        const int oh = digits(text, 20, 2), om = digits(text, 23, 2);
        if ((sign != '+' && sign != '-') || text[22] != ':' || oh < 0 || oh > 23 || om < 0 || om > 59)
            return std::nullopt;
        offset = hours{oh} + minutes{om};
        if (sign == '-') offset = -offset;
    }
    const CatalogDate date = sys_days{ymd} + hours{h} + minutes{mi} + seconds{s} - offset;
    if (date < kFirstDate || date > kLastDate) return std::nullopt;
    return date;
}

Json encode(const ArtworkRecord& record) {
    // Inserted in ascending key order, the order the catalog is written in.
    Json j = Json::object();
    j["actualDuration"] = record.actualDuration;
    j["appName"] = record.appName;
    j["creationDate"] = formatCatalogDate(record.creationDate);
    if (record.customName) j["customName"] = *record.customName;
    j["id"] = record.id.toString();
    j["imageFilePath"] = record.imageFilePath;
    j["plannedDuration"] = record.plannedDuration;
    j["styleID"] = record.styleID;
    j["styleName"] = record.styleName;
    j["windowName"] = record.windowName;
    return j;
}

namespace {

ArtworkRecord decodeRecordOrThrow(const Json& j) {
    json::requireObject(j);
    ArtworkRecord r;
    r.id = json::uuid(json::require(j, "id"), "id");
    r.imageFilePath = json::string(json::require(j, "imageFilePath"), "imageFilePath");
    const std::string& date = json::string(json::require(j, "creationDate"), "creationDate");
    const auto parsed = parseCatalogDate(date);
    if (!parsed)
        json::fail("creationDate", "\"" + date.substr(0, 64) + "\" is not an ISO 8601 UTC date-time without fractional seconds");
    r.creationDate = *parsed;
    r.plannedDuration = json::number(json::require(j, "plannedDuration"), "plannedDuration");
    r.actualDuration = json::number(json::require(j, "actualDuration"), "actualDuration");
    r.windowName = json::string(json::require(j, "windowName"), "windowName");
    r.appName = json::string(json::require(j, "appName"), "appName");
    r.styleName = json::string(json::require(j, "styleName"), "styleName");
    r.styleID = json::string(json::require(j, "styleID"), "styleID");
    if (const Json* name = json::optional(j, "customName")) r.customName = json::string(*name, "customName");
    return r;
}

// ---- Catalog text -------------------------------------------------------------------------

struct EncodeFailure {
    std::string reason;
};

void writeString(const std::string& s, std::string& out) {
    if (!isValidUtf8(s)) throw EncodeFailure{"a text value is not valid UTF-8"};
    out += '"';
    for (const char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '/': out += "\\/"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

void writeNumber(const Json& v, std::string& out) {
    if (v.is_number_float()) {
        // Shortest text that reads back as the same double; whole numbers without ".0".
        if (!appendJsonNumber(out, v.get<double>())) throw EncodeFailure{"a duration is not a finite number"};
        return;
    }
    char text[32];
    const auto r = v.is_number_unsigned() ? std::to_chars(text, text + sizeof text, v.get<uint64_t>())
                                          : std::to_chars(text, text + sizeof text, v.get<int64_t>());
    out.append(text, r.ptr);
}

// Objects of scalar values, as the records are.
void writeValue(const Json& v, int depth, std::string& out) {
    const auto indent = [&out](int level) { out.append(static_cast<size_t>(2 * level), ' '); };
    switch (v.type()) {
        case Json::value_t::object: {
            if (v.empty()) {
                out += "{}";
                return;
            }
            std::vector<const std::string*> keys;
            for (auto it = v.begin(); it != v.end(); ++it) keys.push_back(&it.key());
            std::sort(keys.begin(), keys.end(), [](const std::string* a, const std::string* b) { return *a < *b; });
            out += "{\n";
            for (size_t i = 0; i < keys.size(); ++i) {
                indent(depth + 1);
                writeString(*keys[i], out);
                out += ": ";
                writeValue(v.at(*keys[i]), depth + 1, out);
                out += i + 1 < keys.size() ? ",\n" : "\n";
            }
            indent(depth);
            out += '}';
            return;
        }
        case Json::value_t::string: writeString(v.get_ref<const std::string&>(), out); return;
        case Json::value_t::boolean: out += v.get<bool>() ? "true" : "false"; return;
        case Json::value_t::null: out += "null"; return;
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned:
        case Json::value_t::number_float: writeNumber(v, out); return;
        default: throw EncodeFailure{"unsupported JSON value"};
    }
}

}  // namespace

Expected<ArtworkRecord, DecodeError> decodeArtworkRecord(const Json& json) {
    return catchDecode([&] { return decodeRecordOrThrow(json); });
}

Expected<std::string, std::string> encodeCatalog(const std::vector<ArtworkRecord>& records) {
    if (records.empty()) return std::string("[]\n");
    std::string out = "[\n";
    for (size_t i = 0; i < records.size(); ++i) {
        const ArtworkRecord& r = records[i];
        const std::string which = "artwork " + r.id.toString() + ": ";
        if (r.creationDate < kFirstDate || r.creationDate > kLastDate)
            return unexpected(which + "creation date is outside the years 0000 to 9999");
        out += "  ";
        try {
            writeValue(encode(r), 1, out);
        } catch (const EncodeFailure& failure) {
            return unexpected(which + failure.reason);
        }
        out += i + 1 < records.size() ? ",\n" : "\n";
    }
    out += "]\n";
    return out;
}

Expected<std::vector<ArtworkRecord>, std::string> decodeCatalog(const Json& array) {
    if (!array.is_array()) return unexpected(std::string("expected an array of artworks, found ") + json::typeName(array));
    std::vector<ArtworkRecord> records;
    records.reserve(array.size());
    for (size_t i = 0; i < array.size(); ++i) {
        auto record = decodeArtworkRecord(array[i]);
        if (!record) return unexpected(record.error().prefixed("[" + std::to_string(i) + "]").message());
        records.push_back(std::move(record).value());
    }
    return records;
}

}  // namespace murmura
