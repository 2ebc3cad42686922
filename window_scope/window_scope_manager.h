#pragma once
// Knows which window a session is about and where it is now, and answers for every captured
// event whether the pointer was inside it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/observable.h"
#include "window_scope/window_provider.h"

namespace murmura {

class WindowScopeManager {
public:
    // The window number that stands for the whole main display.
    static constexpr uint32_t allWindowsID = 0;

    explicit WindowScopeManager(std::shared_ptr<WindowProvider> provider);
    ~WindowScopeManager();
    WindowScopeManager(const WindowScopeManager&) = delete;
    WindowScopeManager& operator=(const WindowScopeManager&) = delete;

    Expected<std::vector<WindowDescriptor>, WindowProviderError> listWindows() { return provider_->listWindows(); }
    std::string providerName() const { return provider_->providerName(); }
    WindowProvider& provider() { return *provider_; }

    // Whole display (0): fixed frame, no provider call. Otherwise the provider's error is passed
    // on unchanged and nothing changes here.
    Expected<void, WindowProviderError> startTracking(uint32_t windowID);
    void stopTracking();

    std::optional<uint32_t> windowID() const { return trackedWindowID_; }
    bool isTracking() const { return trackedWindowID_.has_value(); }
    bool isAllWindows() const { return trackedWindowID_ == allWindowsID; }

    const std::optional<Rect>& currentFrame() const { return currentFrame_.value(); }
    // Notified on every assignment, equal values included; replays the current frame.
    Observable<std::optional<Rect>>& currentFrameChanges() { return currentFrame_; }

    // Whole display: always true. Otherwise true exactly when the point lies in the current
    // frame, left and top edges inside, right and bottom edges outside.
    bool isPointInScope(Point point) const;
    // The point relative to the frame's origin when the frame contains it.
    std::optional<Point> localPoint(Point point) const;

private:
    std::shared_ptr<WindowProvider> provider_;
    std::optional<uint32_t> trackedWindowID_;
    ValueSubject<std::optional<Rect>> currentFrame_{std::nullopt};
    Subscription frameSubscription_;  // declared last: dropped first
};

}  // namespace murmura
