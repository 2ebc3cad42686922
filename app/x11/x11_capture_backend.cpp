#include "app/x11/x11_capture_backend.h"

#include "capture/x11/x11_event_tap.h"
#include "window_scope/x11/x11_window_providers.h"

namespace murmura {

CaptureBackend x11CaptureBackend(const std::string& displayName) {
    return CaptureBackend{
        [displayName](Scheduler& scheduler) -> std::shared_ptr<WindowProvider> {
            return makeDefaultWindowProvider(scheduler, displayName);
        },
        [displayName](Scheduler& scheduler) -> std::shared_ptr<EventTap> {
            return std::make_shared<X11EventTap>(scheduler, displayName);
        },
    };
}

TrustProbe x11TrustProbe(const std::string& displayName) {
    return [displayName] { return X11EventTap::hasAccessibilityPermission(displayName); };
}

}  // namespace murmura
