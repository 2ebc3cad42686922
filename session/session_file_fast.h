#pragma once
// The fast path of reading a session file. Session files are large (about 9 to 15 MB for 25
// minutes) and almost always in the form encodeSessionFile writes, so they are parsed by a
// dedicated scanner straight into events, without a JSON value per event. It takes on only
// what it can decode exactly as the general reader would and declines everything else (escapes
// in strings, unknown keys, duplicate keys, numbers beyond 64 bits, any error at all); the
// general reader then reads the file and gives its result or its error message.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "session/raw_event.h"

namespace murmura {

// Events gathered in blocks and then moved into one vector of exact size, block by block, so
// that the peak stays near one copy of the events rather than the two a growing vector needs
// when it moves its elements.
class EventBlocks {
public:
    // `atMost`: an upper bound on the count where one is known (0: none). The first block then
    // reserves room for them all (up to a limit), and take() hands it over without a copy:
    // reserved room costs address space only until it is written.
    explicit EventBlocks(size_t atMost = 0) : firstBlock_(std::clamp(atMost, kBlock, kLargestFirstBlock)) {}
    void push(RawEvent&& event) {
        if (blocks_.empty() || blocks_.back().size() == blocks_.back().capacity())
            blocks_.emplace_back().reserve(blocks_.empty() ? firstBlock_ : kBlock);
        blocks_.back().push_back(std::move(event));
        ++count_;
    }
    std::vector<RawEvent> take();

private:
    static constexpr size_t kBlock = 16384;
    static constexpr size_t kLargestFirstBlock = size_t(1) << 21;  // about 230 MB of events
    size_t firstBlock_;
    std::vector<std::vector<RawEvent>> blocks_;
    size_t count_ = 0;
};

struct SessionFileParts {
    Json header;  // every top-level field but "events"
    std::vector<RawEvent> events;
};

// The file's parts, or nothing when the general reader must read it (see above). The header
// still needs decoding.
std::optional<SessionFileParts> readSessionFileFast(const std::filesystem::path& path, uint64_t maxBytes);

}  // namespace murmura
