#include "window_scope/polling_window_provider.h"

namespace murmura {

// stopTracking() is final and calls nothing of the (already destroyed) subclass.
PollingWindowProvider::~PollingWindowProvider() { stopTracking(); }

Expected<void, WindowProviderError> PollingWindowProvider::startTracking(uint32_t windowID) {
    stopTracking();
    auto initial = frame(windowID);
    if (!initial) return unexpected(WindowProviderError::windowNotFound(windowID));
    trackedWindowID_ = windowID;
    // Cancelled in stopTracking() and in the destructor, so the tick never outlives this object.
    pollingTimer_ = scheduler_.scheduleRepeating(pollingInterval, [this] { tick(); });
    frameSubject_.send(initial);
    return {};
}

void PollingWindowProvider::tick() {
    if (!trackedWindowID_) return;
    // Every tick publishes, changed or not: a closed window reads as an absent frame, and a
    // window that reappears under the same number is followed again.
    frameSubject_.send(frame(*trackedWindowID_));
}

void PollingWindowProvider::stopTracking() {
    if (pollingTimer_) pollingTimer_->cancel();
    pollingTimer_.reset();
    trackedWindowID_.reset();
    frameSubject_.send(std::nullopt);
}

}  // namespace murmura
