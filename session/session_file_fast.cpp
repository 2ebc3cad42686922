#include "session/session_file_fast.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string_view>

#include "support/input_file.h"

namespace murmura {

std::vector<RawEvent> EventBlocks::take() {
    if (blocks_.size() == 1) {
        std::vector<RawEvent> events = std::move(blocks_.front());
        blocks_.clear();
        count_ = 0;
        return events;
    }
    std::vector<RawEvent> events;
    events.reserve(count_);
    for (auto& block : blocks_) {
        std::move(block.begin(), block.end(), std::back_inserter(events));
        std::vector<RawEvent>().swap(block);
    }
    blocks_.clear();
    count_ = 0;
    return events;
}

namespace {

struct Decline {};   // the general reader takes over
struct NeedMore {};  // the buffer ends inside the current step

// A number typed as the general parser types it: integers without fraction or exponent are
// signed when negative, else unsigned; everything else is a double.
struct Number {
    enum class Kind { unsignedInteger, signedInteger, floating };
    Kind kind = Kind::floating;
    uint64_t u = 0;
    int64_t i = 0;
    double d = 0;

    double value() const {
        return kind == Kind::unsignedInteger ? static_cast<double>(u)
               : kind == Kind::signedInteger ? static_cast<double>(i)
                                             : d;
    }
    // An integral value within [min, max], accepted as json::integer accepts it.
    int64_t integer(int64_t min, int64_t max) const {
        switch (kind) {
            case Kind::unsignedInteger:
                if (u > static_cast<uint64_t>(max)) throw Decline{};
                return static_cast<int64_t>(u);
            case Kind::signedInteger:
                if (i < min || i > max) throw Decline{};
                return i;
            case Kind::floating:
                if (d != std::floor(d) || d < static_cast<double>(min) || d > static_cast<double>(max) || d >= 0x1p63 ||
                    d < -0x1p63)
                    throw Decline{};
                return static_cast<int64_t>(d);
        }
        throw Decline{};
    }
    Json json() const {
        return kind == Kind::unsignedInteger ? Json(u) : kind == Kind::signedInteger ? Json(i) : Json(d);
    }
};

inline bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A scanner over the file read in large chunks. Parsing goes in steps that change nothing
// outside themselves until they complete: when the buffer ends inside one, the unread rest
// moves to the front, more is read, and the step runs again from its start.
class Scanner {
public:
    explicit Scanner(InputFile& file) : file_(file), buffer_(kBufferBytes) {}

    template <class Step>
    auto step(Step&& body) -> decltype(body()) {
        for (;;) {
            const char* mark = p_;
            try {
                return body();
            } catch (const NeedMore&) {
                p_ = mark;
                refill();
            }
        }
    }

    // Whitespace up to the end of the file, and nothing else.
    void finish() {
        for (;;) {
            while (p_ < end_ && isSpace(*p_)) ++p_;
            if (p_ < end_) throw Decline{};
            if (eof_) return;
            refill();
        }
    }

    char peek() {
        if (p_ == end_) throw NeedMore{};
        return *p_;
    }
    void skipWhitespace() {
        while (isSpace(peek())) ++p_;
    }
    bool consume(char c) {
        if (peek() != c) return false;
        ++p_;
        return true;
    }
    void expect(char c) {
        if (!consume(c)) throw Decline{};
    }
    // Either separator: true after ',', false after close.
    bool next(char close) {
        skipWhitespace();
        if (consume(',')) return true;
        expect(close);
        return false;
    }

    // Printable ASCII without escapes; the view lasts until the step ends.
    std::string_view string() {
        expect('"');
        const char* start = p_;
        for (;;) {
            const auto c = static_cast<unsigned char>(peek());
            if (c == '"') break;
            if (c < 0x20 || c >= 0x80 || c == '\\') throw Decline{};
            ++p_;
        }
        return {start, static_cast<size_t>(p_++ - start)};
    }

    Number number() {
        const char* start = p_;
        bool integral = true;
        consume('-');
        if (!consume('0')) {
            if (!isDigit(peek())) throw Decline{};
            while (isDigit(peek())) ++p_;
        }
        if (consume('.')) {
            integral = false;
            digits();
        }
        if (consume('e') || consume('E')) {
            integral = false;
            if (!consume('+')) consume('-');
            digits();
        }
        // The grammar is checked; the conversions are exact (correctly rounded, like strtod).
        Number n;
        std::from_chars_result r{};
        if (!integral) {
            r = std::from_chars(start, p_, n.d);
        } else if (*start == '-') {
            n.kind = Number::Kind::signedInteger;
            r = std::from_chars(start, p_, n.i);
        } else {
            n.kind = Number::Kind::unsignedInteger;
            r = std::from_chars(start, p_, n.u);
        }
        if (r.ec != std::errc{} || r.ptr != p_ || !std::isfinite(n.d)) throw Decline{};
        return n;
    }

    // true, false or null at the current position (the caller has seen its first letter).
    void literal(std::string_view word) {
        for (char c : word) expect(c);
    }
    bool null() {
        if (peek() != 'n') return false;
        literal("null");
        return true;
    }
    bool boolean() {
        if (peek() == 't') {
            literal("true");
            return true;
        }
        literal("false");
        return false;
    }

private:
    static constexpr size_t kBufferBytes = size_t(1) << 20;

    void digits() {
        if (!isDigit(peek())) throw Decline{};
        while (isDigit(peek())) ++p_;
    }

    void refill() {
        if (eof_) throw Decline{};  // the file ends inside a value
        const auto rest = static_cast<size_t>(end_ - p_);
        if (rest == buffer_.size()) throw Decline{};  // one step longer than the buffer
        if (rest > 0) std::memmove(buffer_.data(), p_, rest);
        auto n = file_.read(reinterpret_cast<uint8_t*>(buffer_.data()) + rest, buffer_.size() - rest);
        if (!n) throw Decline{};
        eof_ = *n == 0;
        p_ = buffer_.data();
        end_ = p_ + rest + *n;
    }

    InputFile& file_;
    std::vector<char> buffer_;
    const char* p_ = nullptr;
    const char* end_ = nullptr;
    bool eof_ = false;
};

// An event this reader accepts has an id (a 36-character UUID), a timestamp, a type and inScope:
// with their keys, quotes and separators, more than this many bytes.
constexpr uint64_t kLeastEventBytes = 64;

class SessionParser {
public:
    // `fileBytes` bounds the number of events: each takes more than kLeastEventBytes of text.
    SessionParser(Scanner& in, uint64_t fileBytes) : in_(in), events_(static_cast<size_t>(fileBytes / kLeastEventBytes)) {}

    SessionFileParts parse() {
        SessionFileParts parts;
        parts.header = Json::object();
        bool sawEvents = false;
        in_.step([&] {
            in_.skipWhitespace();
            in_.expect('{');
        });
        do {
            const std::string key = in_.step([&] {
                in_.skipWhitespace();
                std::string k(in_.string());
                in_.skipWhitespace();
                in_.expect(':');
                return k;
            });
            if (key == "events") {
                if (std::exchange(sawEvents, true)) throw Decline{};
                readEvents();
            } else {
                if (parts.header.contains(key)) throw Decline{};
                parts.header[key] = in_.step([&] {
                    in_.skipWhitespace();
                    return headerValue();
                });
            }
        } while (in_.step([&] { return in_.next('}'); }));
        in_.finish();
        if (!sawEvents) throw Decline{};
        parts.events = events_.take();
        return parts;
    }

private:
    void readEvents() {
        const bool empty = in_.step([&] {
            in_.skipWhitespace();
            in_.expect('[');
            in_.skipWhitespace();
            return in_.consume(']');
        });
        if (empty) return;
        bool more = true;
        while (more) {
            RawEvent e = in_.step([&] {
                in_.skipWhitespace();
                RawEvent event = this->event();
                more = in_.next(']');
                return event;
            });
            events_.push(std::move(e));
        }
    }

    // Decoded as decodeRawEventOrThrow decodes it; a key it does not read, twice the same key
    // or a null where a value is required declines.
    RawEvent event() {
        enum : unsigned { kId = 1, kTimestamp = 2, kType = 4, kInScope = 8, kRequired = 15 };
        RawEvent e;
        unsigned seen = 0;
        in_.expect('{');
        do {
            in_.skipWhitespace();
            const std::string_view key = in_.string();
            in_.skipWhitespace();
            in_.expect(':');
            in_.skipWhitespace();
            const unsigned bit = field(key, e);
            if (seen & bit) throw Decline{};
            seen |= bit;
        } while (in_.next('}'));
        if ((seen & kRequired) != kRequired) throw Decline{};
        return e;
    }

    unsigned field(std::string_view key, RawEvent& e) {
        constexpr auto u32 = std::numeric_limits<uint32_t>::max();
        constexpr auto u16 = std::numeric_limits<uint16_t>::max();
        constexpr auto i64min = std::numeric_limits<int64_t>::min(), i64max = std::numeric_limits<int64_t>::max();
        if (key == "id") {
            auto id = Uuid::parse(in_.string());
            if (!id) throw Decline{};
            e.id = *id;
            return 1;
        }
        if (key == "timestamp") {
            e.timestamp = in_.number().value();
            return 2;
        }
        if (key == "type") {
            auto type = eventTypeFromRaw(in_.string());
            if (!type) throw Decline{};
            e.type = *type;
            return 4;
        }
        if (key == "inScope") {
            e.inScope = in_.boolean();
            return 8;
        }
        if (key == "position") {
            if (!in_.null()) e.position = pair<Point>();
            return 16;
        }
        if (key == "delta") {
            if (!in_.null()) e.delta = pair<Vector>();
            return 32;
        }
        if (key == "windowID") {
            if (!in_.null()) e.windowID = static_cast<uint32_t>(in_.number().integer(0, u32));
            return 64;
        }
        if (key == "keyCode") {
            if (!in_.null()) e.keyCode = static_cast<uint16_t>(in_.number().integer(0, u16));
            return 128;
        }
        if (key == "mouseButton") {
            if (!in_.null()) e.mouseButton = in_.number().integer(i64min, i64max);
            return 256;
        }
        throw Decline{};
    }

    template <class T>
    T pair() {
        in_.expect('[');
        in_.skipWhitespace();
        const double a = in_.number().value();
        in_.skipWhitespace();
        in_.expect(',');
        in_.skipWhitespace();
        const double b = in_.number().value();
        in_.skipWhitespace();
        in_.expect(']');
        return T{a, b};
    }

    // A scalar or an array of scalars: what the header's fields are made of.
    Json headerValue() {
        if (!in_.consume('[')) return scalar();
        Json array = Json::array();
        in_.skipWhitespace();
        if (in_.consume(']')) return array;
        do {
            in_.skipWhitespace();
            array.push_back(scalar());
        } while (in_.next(']'));
        return array;
    }

    Json scalar() {
        const char c = in_.peek();
        if (c == '"') return Json(std::string(in_.string()));
        if (c == 't' || c == 'f') return Json(in_.boolean());
        if (in_.null()) return Json(nullptr);
        return in_.number().json();
    }

    Scanner& in_;
    EventBlocks events_;
};

}  // namespace

std::optional<SessionFileParts> readSessionFileFast(const std::filesystem::path& path, uint64_t maxBytes) {
    auto file = InputFile::open(path, maxBytes);
    if (!file) return std::nullopt;
    try {
        Scanner scanner(*file);
        return SessionParser(scanner, file->size()).parse();
    } catch (const Decline&) {
        return std::nullopt;
    }
}

}  // namespace murmura
