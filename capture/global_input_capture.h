#pragma once
// Listens to the user's pointer, button, scroll and keyboard activity system-wide without
// altering anything, and publishes one RawEvent per event of interest.
#include <memory>

#include "capture/capture_error.h"
#include "capture/event_tap.h"
#include "session/raw_event.h"
#include "support/clock.h"
#include "support/observable.h"
#include "window_scope/window_scope_manager.h"

namespace murmura {

class GlobalInputCapture {
public:
    GlobalInputCapture(std::shared_ptr<WindowScopeManager> windowScopeManager, std::shared_ptr<EventTap> eventTap,
                       const Clock& clock = SystemClock::shared());
    ~GlobalInputCapture();
    GlobalInputCapture(const GlobalInputCapture&) = delete;
    GlobalInputCapture& operator=(const GlobalInputCapture&) = delete;

    // Captured events, published synchronously on the main thread in arrival order.
    Observable<RawEvent>& events() { return eventSubject_; }

    // Fails without permission (checked first, even while capturing); a second start while
    // capturing does nothing. Timestamps count from the uptime recorded here.
    Expected<void, CaptureError> startCapturing();
    void stopCapturing();
    void sendAppStateEvent(bool isActive);

    bool isCapturing() const { return isCapturing_; }
    double sessionStartTime() const { return sessionStartTime_; }
    const WindowScopeManager& windowScopeManager() const { return *windowScopeManager_; }

    bool hasAccessibilityPermission() const { return eventTap_->hasAccessibilityPermission(); }
    void requestAccessibilityPermission() const { eventTap_->requestAccessibilityPermission(); }

    // Turns one platform event into a RawEvent and publishes it; types outside the capture's
    // mask (other buttons, modifier changes, tap-disabled notices) publish nothing. The
    // timestamp is the event's own uptime when the tap knows it, else the handling time.
    void handle(const TapEvent& event);

private:
    std::shared_ptr<WindowScopeManager> windowScopeManager_;
    std::shared_ptr<EventTap> eventTap_;
    const Clock& clock_;
    bool isCapturing_ = false;
    Subject<RawEvent> eventSubject_;
    double sessionStartTime_ = 0;
};

}  // namespace murmura
