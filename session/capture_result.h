#pragma once
// What a finished capture hands to the rendering pipeline, and its session-file form.
#include <cstdint>
#include <string>
#include <vector>

#include "session/raw_event.h"
#include "support/geometry.h"

namespace murmura {

struct CaptureResult {
    std::vector<RawEvent> events;  // arrival order, positions as captured (global points)
    double duration = 0;           // planned session length in seconds
    uint32_t windowID = 0;
    Rect windowFrame{0, 0, 1920, 1080};  // tracked frame when capture began
    friend bool operator==(const CaptureResult&, const CaptureResult&) = default;
};

// {"duration": s, "windowID": n, "windowFrame": [x, y, w, h], "events": [...]}, one event per
// line so that large sessions stay readable and diffable.
std::string encodeSessionFile(const CaptureResult& result);
// Validates every field: the window frame must have a positive size, the duration must not be
// negative; event errors name the event's index and key.
Expected<CaptureResult, DecodeError> decodeCaptureResult(const Json& json);
// Largest session file read: about two days of recorded input.
inline constexpr uint64_t kMaxSessionFileBytes = uint64_t(2048) << 20;
// Reads and decodes a session file (a regular file of at most kMaxSessionFileBytes); the error
// is one line without the path.
Expected<CaptureResult, std::string> readSessionFile(const std::string& path);

}  // namespace murmura
