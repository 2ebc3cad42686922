#pragma once
// One timed recording: collects the capture's events in arrival order until the planned
// duration has passed or stop() is called, then hands them over exactly once.
#include <functional>
#include <memory>
#include <vector>

#include "capture/global_input_capture.h"
#include "support/clock.h"
#include "support/observable.h"
#include "support/scheduler.h"

namespace murmura {

class CaptureSession {
public:
    enum class State { idle, capturing, completed };
    using Completion = std::function<void(std::vector<RawEvent>)>;  // the captured events
    static constexpr double clockInterval = 0.1;

    CaptureSession(std::shared_ptr<GlobalInputCapture> inputCapture, double duration, Scheduler& scheduler,
                   const Clock& clock = SystemClock::shared());
    ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Ignored unless idle. On failure the capture's error is returned, the state stays idle
    // and the completion is never called.
    Expected<void, CaptureError> start(Completion onComplete);
    // Ends a running session: stops the capture and calls the completion. No effect otherwise.
    void stop();

    std::vector<RawEvent> capturedEvents() const { return events_; }
    double duration() const { return duration_; }
    double startTime() const { return startTime_; }
    State state() const { return state_.value(); }
    double elapsedTime() const { return elapsedTime_.value(); }
    Observable<State>& stateChanges() { return state_; }
    Observable<double>& elapsedTimeChanges() { return elapsedTime_; }

private:
    void tick();

    double duration_;
    const Clock& clock_;
    Scheduler& scheduler_;
    // Elapsed time runs on the monotonic clock: a wall-clock change during a session must not
    // end it early or stretch it.
    double startTime_;
    ValueSubject<State> state_{State::idle};
    ValueSubject<double> elapsedTime_{0.0};
    std::shared_ptr<GlobalInputCapture> inputCapture_;
    std::vector<RawEvent> events_;
    Subscription eventSubscription_;
    std::shared_ptr<Timer> timer_;
    Completion onComplete_;
};

}  // namespace murmura
