#pragma once
// The X11 capture backend shared by the desktop app and murmura-cli: the window manager's
// window list (or the window tree without one) and the RECORD event tap.
#include <string>

#include "app/app_services.h"
#include "app/session_coordinator.h"

namespace murmura {

// displayName empty: $DISPLAY.
CaptureBackend x11CaptureBackend(const std::string& displayName = {});
// True when the display is reachable with the RECORD extension and this is not a Wayland session.
TrustProbe x11TrustProbe(const std::string& displayName = {});

}  // namespace murmura
