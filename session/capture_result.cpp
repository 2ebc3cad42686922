#include "session/capture_result.h"

#include <limits>

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

Expected<CaptureResult, DecodeError> decodeCaptureResult(const Json& j) {
    return catchDecode([&] {
        json::requireObject(j);
        CaptureResult r;
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
        r.events = decodeRawEventArrayOrThrow(j, "events");
        return r;
    });
}

Expected<CaptureResult, std::string> readSessionFile(const std::string& path) {
    auto parsed = readJsonFile(path);
    if (!parsed) return unexpected(parsed.error());
    auto decoded = decodeCaptureResult(*parsed);
    if (!decoded) return unexpected(decoded.error().message());
    return std::move(decoded).value();
}

}  // namespace murmura
