#include "session/capture_result.h"

#include <limits>

#include "session/session_file_fast.h"

namespace murmura {

std::string encodeSessionFile(const CaptureResult& r) {
    Json head = Json::object();
    head["duration"] = r.duration;
    head["windowID"] = r.windowID;
    head["windowFrame"] = Json::array({r.windowFrame.x, r.windowFrame.y, r.windowFrame.width, r.windowFrame.height});
    std::string text = head.dump();
    text.pop_back();  // reopen the object to append the events one per line
    text += ",\"events\":[";
    for (size_t i = 0; i < r.events.size(); ++i) {
        text += i == 0 ? "\n" : ",\n";
        text += encode(r.events[i]).dump();
    }
    text += "\n]}\n";
    return text;
}

namespace {

// Every field but the events.
void decodeHeaderOrThrow(const Json& j, CaptureResult& r) {
    json::requireObject(j);
    r.duration = json::number(json::require(j, "duration"), "duration");
    if (r.duration < 0) json::fail("duration", "must not be negative");
    r.windowID = static_cast<uint32_t>(
        json::integer(json::require(j, "windowID"), "windowID", 0, std::numeric_limits<uint32_t>::max()));
    auto f = json::numbers(json::require(j, "windowFrame"), "windowFrame", 4);
    // Canvases are twice the frame; beyond this size no renderer could allocate one.
    constexpr double kMaxSide = 8192;
    if (!(f[2] > 0 && f[3] > 0)) json::fail("windowFrame", "width and height must be positive");
    if (f[2] > kMaxSide || f[3] > kMaxSide) json::fail("windowFrame", "width and height must be at most 8192");
    r.windowFrame = Rect{f[0], f[1], f[2], f[3]};
}

}  // namespace

Expected<CaptureResult, DecodeError> decodeCaptureResult(const Json& j) {
    return catchDecode([&] {
        CaptureResult r;
        decodeHeaderOrThrow(j, r);
        r.events = decodeRawEventArrayOrThrow(j, "events");
        return r;
    });
}

Expected<CaptureResult, std::string> readSessionFile(const std::string& path) {
    CaptureResult r;
    if (auto parts = readSessionFileFast(path, kMaxSessionFileBytes)) {
        auto header = catchDecode([&] {
            decodeHeaderOrThrow(parts->header, r);
            return 0;
        });
        if (header) {
            r.events = std::move(parts->events);
            return r;
        }
    }
    // The general reader: events are decoded as they are parsed, so that neither the file's text
    // nor its JSON tree is ever held whole, only the decoded events.
    EventBlocks events;
    auto parsed = readJsonFile(path, kMaxSessionFileBytes, "events",
                               [&](const Json& event) { events.push(decodeRawEventOrThrow(event)); });
    if (!parsed) return unexpected(parsed.error());
    r.events = events.take();
    auto header = catchDecode([&] {
        decodeHeaderOrThrow(*parsed, r);
        // Checks the events' presence and type; the streamed array itself is empty.
        decodeRawEventArrayOrThrow(*parsed, "events");
        return 0;
    });
    if (header) return r;
    return unexpected(header.error().message());
}

}  // namespace murmura
