#include "capture/global_input_capture.h"

#include <optional>

namespace murmura {

std::string_view message(CaptureError error) {
    switch (error) {
    case CaptureError::accessibilityPermissionDenied:
        return "Accessibility permission is required to capture input events";
    case CaptureError::eventTapCreationFailed: return "Failed to create event tap";
    case CaptureError::runLoopSourceCreationFailed: return "Failed to create run loop source";
    }
    return "Failed to create event tap";
}

GlobalInputCapture::GlobalInputCapture(std::shared_ptr<WindowScopeManager> windowScopeManager,
                                       std::shared_ptr<EventTap> eventTap, const Clock& clock)
    : windowScopeManager_(std::move(windowScopeManager)), eventTap_(std::move(eventTap)), clock_(clock) {}

GlobalInputCapture::~GlobalInputCapture() { stopCapturing(); }

Expected<void, CaptureError> GlobalInputCapture::startCapturing() {
    if (!eventTap_->hasAccessibilityPermission()) return unexpected(CaptureError::accessibilityPermissionDenied);
    if (isCapturing_) return {};
    sessionStartTime_ = clock_.uptime();
    // The tap calls back on the main thread; it is uninstalled before this object goes away.
    auto installed = eventTap_->install([this](const TapEvent& event) { handle(event); });
    if (!installed) return installed;
    isCapturing_ = true;
    return {};
}

void GlobalInputCapture::stopCapturing() {
    if (!isCapturing_) return;
    eventTap_->uninstall();
    isCapturing_ = false;
}

namespace {

struct Mapping {
    EventType type;
    std::optional<int64_t> button;
};

std::optional<Mapping> mapType(uint32_t type) {
    namespace t = tap_event_type;
    switch (type) {
    case t::leftMouseDown: return Mapping{EventType::mouseDown, 0};
    case t::leftMouseUp: return Mapping{EventType::mouseUp, 0};
    case t::rightMouseDown: return Mapping{EventType::mouseDown, 1};
    case t::rightMouseUp: return Mapping{EventType::mouseUp, 1};
    case t::mouseMoved: return Mapping{EventType::mouseMove, std::nullopt};
    case t::leftMouseDragged: return Mapping{EventType::mouseDragged, 0};
    case t::rightMouseDragged: return Mapping{EventType::mouseDragged, 1};
    case t::keyDown: return Mapping{EventType::keyDown, std::nullopt};
    case t::keyUp: return Mapping{EventType::keyUp, std::nullopt};
    case t::scrollWheel: return Mapping{EventType::scrollWheel, std::nullopt};
    default: return std::nullopt;
    }
}

}  // namespace

void GlobalInputCapture::handle(const TapEvent& event) {
    const double now = event.uptime.value_or(clock_.uptime());
    auto mapping = mapType(event.type);
    if (!mapping) return;
    RawEvent raw;
    raw.timestamp = now - sessionStartTime_;
    raw.type = mapping->type;
    raw.position = event.location;
    if (mapping->type == EventType::scrollWheel) raw.delta = Vector{event.scrollDx, event.scrollDy};
    raw.inScope = windowScopeManager_->isPointInScope(event.location);
    raw.windowID = windowScopeManager_->windowID();
    if (mapping->type == EventType::keyDown || mapping->type == EventType::keyUp)
        raw.keyCode = recordedKeyCode(static_cast<uint16_t>(event.keyCode));
    raw.mouseButton = mapping->button;
    eventSubject_.send(raw);
}

void GlobalInputCapture::sendAppStateEvent(bool isActive) {
    RawEvent raw;
    raw.timestamp = clock_.uptime() - sessionStartTime_;
    raw.type = isActive ? EventType::appBecameActive : EventType::appResignedActive;
    raw.inScope = true;
    raw.windowID = windowScopeManager_->windowID();
    eventSubject_.send(raw);
}

}  // namespace murmura
