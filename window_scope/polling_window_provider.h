#pragma once
// Frame tracking shared by the providers: poll one window's frame 30 times a second on the
// main loop and publish every result on a latest-value stream.
#include <cstdint>
#include <memory>
#include <optional>

#include "support/observable.h"
#include "support/scheduler.h"
#include "window_scope/window_provider.h"

namespace murmura {

class PollingWindowProvider : public WindowProvider {
public:
    static constexpr double pollingInterval = 1.0 / 30.0;

    explicit PollingWindowProvider(Scheduler& scheduler) : scheduler_(scheduler) {}
    ~PollingWindowProvider() override;
    PollingWindowProvider(const PollingWindowProvider&) = delete;
    PollingWindowProvider& operator=(const PollingWindowProvider&) = delete;

    Expected<void, WindowProviderError> startTracking(uint32_t windowID) final;
    void stopTracking() final;
    Observable<std::optional<Rect>>& frameUpdates() final { return frameSubject_; }

    std::optional<uint32_t> trackedWindowID() const { return trackedWindowID_; }
    bool isPolling() const { return pollingTimer_ && pollingTimer_->isActive(); }

private:
    void tick();

    Scheduler& scheduler_;
    std::optional<uint32_t> trackedWindowID_;
    std::shared_ptr<Timer> pollingTimer_;
    ValueSubject<std::optional<Rect>> frameSubject_{std::nullopt};
};

}  // namespace murmura
