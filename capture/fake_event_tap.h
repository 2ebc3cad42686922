#pragma once
// An event tap driven by hand, for tests and for platforms without one: feed() delivers a
// platform event exactly as a real tap would.
#include "capture/event_tap.h"

namespace murmura {

class FakeEventTap final : public EventTap {
public:
    bool trusted = true;
    bool failTapCreation = false;
    bool failSourceCreation = false;
    int installCount = 0;
    int uninstallCount = 0;
    mutable int permissionRequests = 0;

    bool hasAccessibilityPermission() const override { return trusted; }
    void requestAccessibilityPermission() const override { ++permissionRequests; }

    Expected<void, CaptureError> install(Callback callback) override {
        if (failTapCreation) return unexpected(CaptureError::eventTapCreationFailed);
        if (failSourceCreation) return unexpected(CaptureError::runLoopSourceCreationFailed);
        ++installCount;
        callback_ = std::move(callback);
        return {};
    }
    void uninstall() override {
        if (callback_) ++uninstallCount;
        callback_ = nullptr;
    }
    bool isInstalled() const override { return static_cast<bool>(callback_); }

    // Delivers one platform event; dropped when no tap is installed, as the platform would.
    void feed(const TapEvent& event) {
        if (callback_) callback_(event);
    }
    void feed(uint32_t type, Point location, int64_t keyCode = 0, double scrollDx = 0, double scrollDy = 0) {
        feed(TapEvent{type, location, keyCode, scrollDx, scrollDy, std::nullopt});
    }

private:
    Callback callback_;
};

}  // namespace murmura
