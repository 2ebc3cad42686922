#include "app/session_coordinator.h"

namespace murmura {

std::string SessionError::message() const {
    if (const auto* window = std::get_if<WindowProviderError>(&cause_)) return window->message();
    return std::string(murmura::message(std::get<CaptureError>(cause_)));
}

SessionCoordinator::SessionCoordinator(Scheduler& scheduler, const Clock& clock, CaptureBackend backend)
    : scheduler_(scheduler), clock_(clock), backend_(std::move(backend)) {}

SessionCoordinator::~SessionCoordinator() {
    onComplete_ = nullptr;
    if (timer_) timer_->cancel();
    // The capture session stops its input capture (and so the tap) when it goes.
    captureSession_.reset();
    if (windowScopeManager_ && windowScopeManager_->isTracking()) windowScopeManager_->stopTracking();
}

bool SessionCoordinator::start(uint32_t windowID, double duration, Completion onComplete) {
    if (started_) return false;
    started_ = true;
    onComplete_ = std::move(onComplete);

    windowScopeManager_ = std::make_shared<WindowScopeManager>(backend_.makeWindowProvider(scheduler_));
    if (auto tracked = windowScopeManager_->startTracking(windowID); !tracked) {
        complete(unexpected(SessionError(tracked.error())));
        return true;
    }
    auto input = std::make_shared<GlobalInputCapture>(windowScopeManager_, backend_.makeEventTap(scheduler_), clock_);
    captureSession_ = std::make_unique<CaptureSession>(std::move(input), duration, scheduler_, clock_);

    // Elapsed time runs on the monotonic clock: a wall-clock change must not make it negative
    // or huge.
    startTime_ = clock_.uptime();
    timer_ = scheduler_.scheduleRepeating(clockInterval, [this] { tick(); });

    CaptureResult result;
    result.duration = duration;
    result.windowID = windowID;
    result.windowFrame = windowScopeManager_->currentFrame().value_or(fallbackFrame);

    auto started = captureSession_->start([this, result](std::vector<RawEvent> events) mutable {
        // Runs inside CaptureSession::stop(): only record here, deliver through the scheduler.
        finish();
        result.events = std::move(events);
        complete(std::move(result));
    });
    if (!started) {
        finish();
        complete(unexpected(SessionError(started.error())));
    }
    return true;
}

void SessionCoordinator::tick() {
    if (startTime_) elapsedTime_.send(clock_.uptime() - *startTime_);
}

void SessionCoordinator::finish() {
    if (timer_) {
        timer_->cancel();
        timer_.reset();
        tick();  // the exact length, not the last tick's
    }
    if (windowScopeManager_ && windowScopeManager_->isTracking()) windowScopeManager_->stopTracking();
}

void SessionCoordinator::complete(Result result) {
    auto completion = std::move(onComplete_);
    onComplete_ = nullptr;
    if (!completion) return;
    std::weak_ptr<SessionCoordinator*> alive = self_;
    scheduler_.post([alive, completion = std::move(completion), result = std::move(result)] {
        if (alive.expired()) return;
        completion(result);
    });
}

void SessionCoordinator::stop() {
    // Delivers the events and completes the pending start (through the scheduler); finish()
    // stops the clock and the tracking in any case.
    if (captureSession_) captureSession_->stop();
    finish();
}

}  // namespace murmura
