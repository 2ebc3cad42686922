#include "support/text.h"

#include <charconv>
#include <cstdint>

namespace murmura {
namespace {

constexpr uint32_t kInvalid = 0xFFFFFFFF;

// Decodes the code point starting at text[pos]; sets length to the bytes it takes. Overlong
// forms, surrogates and values past U+10FFFF are invalid (length 1).
uint32_t decodeAt(std::string_view text, size_t pos, size_t& length) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(pos);
    length = 1;
    if (lead < 0x80) return lead;
    size_t extra;
    uint32_t cp;
    uint32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return kInvalid;
    }
    if (pos + extra >= text.size()) return kInvalid;
    for (size_t i = 1; i <= extra; ++i) {
        const uint8_t b = byte(pos + i);
        if ((b & 0xC0) != 0x80) return kInvalid;
        cp = cp << 6 | (b & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kInvalid;
    length = extra + 1;
    return cp;
}

bool isWhitespace(uint32_t cp) {
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
           cp == 0x3000;
}

}  // namespace

std::string_view trimWhitespace(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size()) {
        size_t length;
        const uint32_t cp = decodeAt(text, begin, length);
        if (cp == kInvalid || !isWhitespace(cp)) break;
        begin += length;
    }
    size_t end = text.size();
    while (end > begin) {
        // Step back to the lead byte of the last code point (at most three continuation bytes).
        size_t start = end - 1;
        while (start > begin && end - start < 4 && (static_cast<uint8_t>(text[start]) & 0xC0) == 0x80) --start;
        size_t length;
        const uint32_t cp = decodeAt(text, start, length);
        if (cp == kInvalid || start + length != end || !isWhitespace(cp)) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

bool isValidUtf8(std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
        size_t length;
        if (decodeAt(text, pos, length) == kInvalid) return false;
        pos += length;
    }
    return true;
}

std::string toValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        size_t length;
        if (decodeAt(text, pos, length) == kInvalid) {
            out += "\xEF\xBF\xBD";
        } else {
            out.append(text.substr(pos, length));
        }
        pos += length;
    }
    return out;
}

namespace {
template <class T>
std::string shortestDecimalOf(T value) {
    char buf[48];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    std::string s(buf, r.ptr);
    if (s.find_first_of(".eEna") == std::string::npos) s += ".0";
    return s;
}
}  // namespace

std::string shortestDecimal(double value) { return shortestDecimalOf(value); }
std::string shortestDecimal(float value) { return shortestDecimalOf(value); }

}  // namespace murmura
