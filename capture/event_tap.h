#pragma once
// The platform's listen-only, system-wide input tap, as the capture sees it: events numbered
// by type, with a location in global display points, a virtual key code and scroll deltas.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "capture/capture_error.h"
#include "support/expected.h"
#include "support/geometry.h"

namespace murmura {

// Platform event type numbers. Only the types of the capture's mask are recorded; the others
// exist so that backends can report what they saw and the capture can ignore it.
namespace tap_event_type {
inline constexpr uint32_t leftMouseDown = 1;
inline constexpr uint32_t leftMouseUp = 2;
inline constexpr uint32_t rightMouseDown = 3;
inline constexpr uint32_t rightMouseUp = 4;
inline constexpr uint32_t mouseMoved = 5;
inline constexpr uint32_t leftMouseDragged = 6;
inline constexpr uint32_t rightMouseDragged = 7;
inline constexpr uint32_t keyDown = 10;
inline constexpr uint32_t keyUp = 11;
inline constexpr uint32_t flagsChanged = 12;  // a modifier key alone
inline constexpr uint32_t scrollWheel = 22;
inline constexpr uint32_t otherMouseDown = 25;
inline constexpr uint32_t otherMouseUp = 26;
inline constexpr uint32_t otherMouseDragged = 27;
inline constexpr uint32_t tapDisabledByTimeout = 0xFFFFFFFE;
inline constexpr uint32_t tapDisabledByUserInput = 0xFFFFFFFF;
}  // namespace tap_event_type

// Bits 1-7, 10, 11 and 22: the event types the capture listens to.
inline constexpr uint64_t kCaptureEventMask = 0x400CFE;

struct TapEvent {
    uint32_t type = 0;
    Point location;        // global display points, origin top left of the main display
    int64_t keyCode = 0;   // virtual key code of key events
    double scrollDx = 0;   // horizontal point delta (positive: content moves right, wheel left)
    double scrollDy = 0;   // vertical point delta (positive: wheel up)
    // When the event happened, on the uptime clock, where the platform knows it better than
    // the moment it is handled (events that reach us in batches); else absent.
    std::optional<double> uptime;
};

class EventTap {
public:
    using Callback = std::function<void(const TapEvent&)>;
    virtual ~EventTap() = default;

    // Whether the platform lets this process observe input system-wide.
    virtual bool hasAccessibilityPermission() const = 0;
    // Tells the user what is needed for that; never fails.
    virtual void requestAccessibilityPermission() const = 0;

    // Creates the tap and attaches it to the main loop; the callback then runs on the main
    // thread for every event, in the order the platform delivers them. On failure nothing stays
    // installed (eventTapCreationFailed or runLoopSourceCreationFailed).
    virtual Expected<void, CaptureError> install(Callback callback) = 0;
    // Detaches and destroys the tap; no callback runs after it returns. Prompt and idempotent.
    virtual void uninstall() = 0;
    virtual bool isInstalled() const = 0;
};

}  // namespace murmura
