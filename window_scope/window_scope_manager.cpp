#include "window_scope/window_scope_manager.h"

namespace murmura {

WindowScopeManager::WindowScopeManager(std::shared_ptr<WindowProvider> provider) : provider_(std::move(provider)) {}

WindowScopeManager::~WindowScopeManager() { frameSubscription_.cancel(); }

Expected<void, WindowProviderError> WindowScopeManager::startTracking(uint32_t windowID) {
    if (windowID == allWindowsID) {
        frameSubscription_.cancel();
        trackedWindowID_ = allWindowsID;
        currentFrame_.send(provider_->mainDisplayBounds());
        return {};
    }
    auto started = provider_->startTracking(windowID);
    if (!started) return started;
    trackedWindowID_ = windowID;
    // The provider publishes on the main thread and replays its latest value, so the frame is
    // current as soon as this returns. The subscription is dropped before this object dies.
    frameSubscription_ = provider_->frameUpdates().subscribe(
        [this](const std::optional<Rect>& frame) { currentFrame_.send(frame); });
    return {};
}

void WindowScopeManager::stopTracking() {
    frameSubscription_.cancel();
    provider_->stopTracking();
    trackedWindowID_.reset();
    currentFrame_.send(std::nullopt);
}

bool WindowScopeManager::isPointInScope(Point point) const {
    if (isAllWindows()) return true;
    const auto& frame = currentFrame_.value();
    if (!frame) return false;
    return frame->standardized().contains(point);
}

std::optional<Point> WindowScopeManager::localPoint(Point point) const {
    const auto& frame = currentFrame_.value();
    if (!frame) return std::nullopt;
    const Rect r = frame->standardized();
    if (!r.contains(point)) return std::nullopt;
    return Point{point.x - r.x, point.y - r.y};
}

}  // namespace murmura
