// Parsing JSON into Json values with limits: the library's own DOM builder searches an object's
// keys on every insertion (quadratic in the key count), lets an out-of-range number escape as
// an exception, accepts any nesting depth and stops at a NUL byte as if the input ended there.
#include <memory>
#include <unordered_map>
#include <vector>

#include "support/input_file.h"
#include "support/json.h"

namespace murmura {
namespace {

// Keys shown in error paths are cut to this length.
constexpr size_t kShownKeyLength = 64;
// Objects with more keys than this find duplicates through a hash index instead of a scan.
constexpr size_t kIndexedObjectSize = 16;

using ObjectItems = std::vector<std::pair<const std::string, Json>>;

ObjectItems& itemsOf(Json& object) { return object.get_ref<Json::object_t&>(); }

std::string libraryMessage(const std::exception& e) {
    // "[json.exception.parse_error.101] parse error at line 1, column 5: ..." without the tag.
    std::string message = e.what();
    // The library quotes the whole token it read, which may be megabytes long.
    constexpr size_t kShownLength = 160;
    const auto pos = message.find("] ");
    if (pos != std::string::npos) message.erase(0, pos + 2);
    if (message.size() > kShownLength) message = message.substr(0, kShownLength) + "...";
    return message;
}

class DomBuilder {
public:
    DomBuilder(std::string_view streamedKey, const JsonElementSink* sink) : streamedKey_(streamedKey), sink_(sink) {}

    Json& root() { return root_; }
    const std::string& error() const { return error_; }

    bool null() { return scalar(nullptr); }
    bool boolean(bool v) { return scalar(v); }
    bool number_integer(Json::number_integer_t v) { return scalar(v); }
    bool number_unsigned(Json::number_unsigned_t v) { return scalar(v); }
    bool number_float(Json::number_float_t v, const std::string&) { return scalar(v); }
    bool string(std::string& v) { return scalar(std::move(v)); }
    bool binary(Json::binary_t&) { return fail("binary values are not JSON"); }

    bool start_object(size_t) { return open(Json::object()); }
    bool start_array(size_t) { return open(Json::array()); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(std::string& key) {
        Frame& frame = frames_.back();
        ObjectItems& items = itemsOf(*frame.value);
        frame.shownKey = key.substr(0, kShownKeyLength);
        if (frame.index) {
            auto [it, added] = frame.index->try_emplace(key, items.size());
            if (!added) {
                frame.slot = &items[it->second].second;
                return true;
            }
        } else {
            for (auto& item : items)
                if (item.first == key) {
                    frame.slot = &item.second;
                    return true;
                }
            if (items.size() == kIndexedObjectSize) {
                frame.index = std::make_unique<std::unordered_map<std::string, size_t>>();
                for (size_t i = 0; i < items.size(); ++i) frame.index->emplace(items[i].first, i);
                frame.index->emplace(key, items.size());
            }
        }
        // Appended directly: the container's own insertion would search every key again.
        items.emplace_back(std::move(key), nullptr);
        frame.slot = &items.back().second;
        return true;
    }

    template <class Exception>
    bool parse_error(size_t, const std::string&, const Exception& e) {
        // 406: a number beyond the double range; the others are syntax errors with a position.
        if (e.id == 406) return fail("number out of range");
        error_ = "malformed JSON: " + libraryMessage(e);
        return false;
    }

private:
    struct Frame {
        Json* value = nullptr;
        Json* slot = nullptr;  // objects: the value of the key just read
        std::string shownKey;  // objects: that key, for error paths
        std::unique_ptr<std::unordered_map<std::string, size_t>> index;
        bool streamed = false;  // the array whose elements go to the sink
    };

    bool streaming() const { return !frames_.empty() && frames_.back().streamed; }

    // Where the next value goes; nullptr when it is the root.
    Json* place(Json&& value) {
        if (frames_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Frame& top = frames_.back();
        if (top.streamed) {
            element_ = std::move(value);
            return &element_;
        }
        if (top.value->is_array()) {
            top.value->get_ref<Json::array_t&>().push_back(std::move(value));
            return &top.value->back();
        }
        *top.slot = std::move(value);
        return top.slot;
    }

    bool scalar(Json&& value) {
        place(std::move(value));
        if (streaming()) return deliver();
        return true;
    }

    bool open(Json&& container) {
        if (frames_.size() >= kMaxJsonDepth)
            return fail("nested more than " + std::to_string(kMaxJsonDepth) + " levels deep");
        const bool streamed = sink_ && container.is_array() && frames_.size() == 1 &&
                              frames_.front().value->is_object() && frames_.front().shownKey == streamedKey_ &&
                              streamedKey_.size() <= kShownKeyLength;
        if (streamed && streamedSeen_) return fail("appears twice");
        streamedSeen_ = streamedSeen_ || streamed;
        Json* value = place(std::move(container));
        frames_.push_back(Frame{value, nullptr, {}, nullptr, streamed});
        return true;
    }

    bool close() {
        frames_.pop_back();
        if (streaming()) return deliver();
        return true;
    }

    bool deliver() {
        try {
            (*sink_)(element_);
        } catch (const DecodeFailure& failure) {
            error_ = failure.error.prefixed(std::string(streamedKey_) + "[" + std::to_string(delivered_) + "]").message();
            return false;
        }
        ++delivered_;
        element_ = nullptr;
        return true;
    }

    // An error at the current position, named by its key path ("events[3].timestamp").
    bool fail(const std::string& reason) {
        std::string path;
        for (size_t i = 0; i < frames_.size(); ++i) {
            const Frame& f = frames_[i];
            if (f.value->is_object()) {
                if (f.slot) path += (path.empty() ? "" : ".") + f.shownKey;
            } else {
                // The element being read: pushed already when it is a container (deeper frame).
                const size_t index = f.streamed ? delivered_ : f.value->size() - (i + 1 < frames_.size() ? 1 : 0);
                path += "[" + std::to_string(index) + "]";
            }
        }
        error_ = path.empty() ? reason : "\"" + path + "\": " + reason;
        return false;
    }

    std::string_view streamedKey_;
    const JsonElementSink* sink_;
    Json root_;
    Json element_;
    size_t delivered_ = 0;
    bool streamedSeen_ = false;
    std::vector<Frame> frames_;
    std::string error_;
};

// A one-pass byte source over an open file, read in large chunks, as the parser's iterator.
class ChunkReader {
public:
    explicit ChunkReader(InputFile& file) : file_(file), buffer_(256 * 1024) {}

    bool atEnd() {
        if (pos_ < length_) return false;
        if (finished_) return true;
        auto n = file_.read(buffer_.data(), buffer_.size());
        if (!n) error_ = n.error();
        offset_ += length_;
        pos_ = 0;
        length_ = n ? *n : 0;
        finished_ = length_ == 0;
        return finished_;
    }
    char current() {
        const char c = static_cast<char>(buffer_[pos_]);
        if (c == '\0' && !nulAt_) nulAt_ = offset_ + pos_;
        return c;
    }
    void advance() { ++pos_; }

    const std::string& error() const { return error_; }
    const std::optional<uint64_t>& nulAt() const { return nulAt_; }

    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = char;
        using difference_type = std::ptrdiff_t;
        using pointer = const char*;
        using reference = char;

        explicit Iterator(ChunkReader* reader) : reader_(reader) {}
        char operator*() const { return reader_->current(); }
        Iterator& operator++() {
            reader_->advance();
            return *this;
        }
        // Only ever compared with the end iterator (no reader).
        bool operator==(const Iterator& other) const {
            const bool thisEnd = !reader_ || reader_->atEnd();
            const bool otherEnd = !other.reader_ || other.reader_->atEnd();
            return thisEnd == otherEnd;
        }

    private:
        ChunkReader* reader_;
    };

private:
    InputFile& file_;
    std::vector<uint8_t> buffer_;
    size_t pos_ = 0;
    size_t length_ = 0;
    uint64_t offset_ = 0;
    bool finished_ = false;
    std::string error_;
    std::optional<uint64_t> nulAt_;
};

std::string nulError(uint64_t offset) { return "malformed JSON: NUL byte at offset " + std::to_string(offset); }

Expected<Json, std::string> readFile(const std::filesystem::path& path, uint64_t maxBytes, std::string_view streamedKey,
                                     const JsonElementSink* sink) {
    auto file = InputFile::open(path, maxBytes);
    if (!file) return unexpected(file.error());
    ChunkReader reader(*file);
    DomBuilder builder(streamedKey, sink);
    const bool ok = Json::sax_parse(ChunkReader::Iterator(&reader), ChunkReader::Iterator(nullptr), &builder);
    // A read error or a NUL byte ends the parser's input early: they explain what it saw.
    if (!reader.error().empty()) return unexpected(reader.error());
    if (reader.nulAt()) return unexpected(nulError(*reader.nulAt()));
    if (!ok) return unexpected(builder.error());
    return std::move(builder.root());
}

}  // namespace

Expected<Json, std::string> parseJson(std::string_view text) {
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) return unexpected(nulError(nul));
    DomBuilder builder({}, nullptr);
    if (!Json::sax_parse(text.begin(), text.end(), &builder)) return unexpected(builder.error());
    return std::move(builder.root());
}

Expected<Json, std::string> readJsonFile(const std::filesystem::path& path, uint64_t maxBytes) {
    return readFile(path, maxBytes, {}, nullptr);
}

Expected<Json, std::string> readJsonFile(const std::filesystem::path& path, uint64_t maxBytes,
                                         std::string_view streamedKey, const JsonElementSink& sink) {
    return readFile(path, maxBytes, streamedKey, &sink);
}

}  // namespace murmura
