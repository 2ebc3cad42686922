#pragma once
// A global input capture over a fake tap and a fake window provider, on virtual time.
#include <memory>

#include "capture/fake_event_tap.h"
#include "capture/global_input_capture.h"
#include "support/manual_scheduler.h"
#include "../window_scope/fake_window_provider.h"

namespace murmura::test {

struct CaptureRig {
    explicit CaptureRig(double uptime) : clock(uptime) {}
    ManualClock clock;
    ManualScheduler scheduler{clock};
    std::shared_ptr<FakeWindowProvider> provider = std::make_shared<FakeWindowProvider>(scheduler);
    std::shared_ptr<WindowScopeManager> manager = std::make_shared<WindowScopeManager>(provider);
    std::shared_ptr<FakeEventTap> tap = std::make_shared<FakeEventTap>();
    std::shared_ptr<GlobalInputCapture> capture = std::make_shared<GlobalInputCapture>(manager, tap, clock);
};

}  // namespace murmura::test
