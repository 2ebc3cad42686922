#pragma once
// Wires one recording session together: tracks the chosen window, runs the capture session
// with its event tap, keeps the elapsed-time clock, and turns the end of the capture into one
// CaptureResult. A coordinator runs once; the application creates a fresh one per session.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "capture/capture_session.h"
#include "capture/event_tap.h"
#include "session/capture_result.h"
#include "support/clock.h"
#include "support/expected.h"
#include "support/observable.h"
#include "support/scheduler.h"
#include "window_scope/window_scope_manager.h"

namespace murmura {

// Where a session's window provider and event tap come from: X11 in the app and the CLI,
// fakes in tests. Each session gets new ones.
struct CaptureBackend {
    std::function<std::shared_ptr<WindowProvider>(Scheduler&)> makeWindowProvider;
    std::function<std::shared_ptr<EventTap>(Scheduler&)> makeEventTap;
};

// Why a session could not start: window tracking or the input capture failed.
class SessionError {
public:
    SessionError(WindowProviderError error) : cause_(std::move(error)) {}
    SessionError(CaptureError error) : cause_(error) {}
    // The cause's fixed user-facing message.
    std::string message() const;
    const std::variant<WindowProviderError, CaptureError>& cause() const { return cause_; }

private:
    std::variant<WindowProviderError, CaptureError> cause_;
};

class SessionCoordinator {
public:
    using Result = Expected<CaptureResult, SessionError>;
    using Completion = std::function<void(const Result&)>;
    static constexpr double clockInterval = 0.1;
    // The result's frame when the tracked window's frame is unknown.
    static constexpr Rect fallbackFrame{0, 0, 1920, 1080};

    SessionCoordinator(Scheduler& scheduler, const Clock& clock, CaptureBackend backend);
    ~SessionCoordinator();
    SessionCoordinator(const SessionCoordinator&) = delete;
    SessionCoordinator& operator=(const SessionCoordinator&) = delete;

    // Tracks the window (0: the whole main display), then records for duration seconds. The
    // completion runs once, later, as a task posted to the scheduler (never from inside start()
    // or stop()), with the result or with the tracking or capture error; it is dropped when the
    // coordinator is destroyed first. Returns false, doing nothing, when called a second time.
    bool start(uint32_t windowID, double duration, Completion onComplete);
    // Ends a running session early; the pending completion then receives the events so far.
    // Harmless before start and after the end.
    void stop();

    // Seconds since the capture started, on the monotonic clock: ticks every 0.1 s while
    // recording and is set once more when the capture ends, then stays.
    double elapsedTime() const { return elapsedTime_.value(); }
    Observable<double>& elapsedTimeChanges() { return elapsedTime_; }

    bool isRecording() const { return captureSession_ && captureSession_->state() == CaptureSession::State::capturing; }
    const WindowScopeManager* windowScopeManager() const { return windowScopeManager_.get(); }
    const CaptureSession* captureSession() const { return captureSession_.get(); }

private:
    void tick();
    void finish();
    void complete(Result result);

    Scheduler& scheduler_;
    const Clock& clock_;
    CaptureBackend backend_;
    bool started_ = false;
    std::optional<double> startTime_;  // uptime when the capture started
    ValueSubject<double> elapsedTime_{0.0};
    std::shared_ptr<WindowScopeManager> windowScopeManager_;
    std::unique_ptr<CaptureSession> captureSession_;
    std::shared_ptr<Timer> timer_;
    Completion onComplete_;
    // Posted completions hold this weakly: a destroyed coordinator delivers nothing.
    std::shared_ptr<SessionCoordinator*> self_ = std::make_shared<SessionCoordinator*>(this);
};

}  // namespace murmura
