#include "capture/capture_session.h"

namespace murmura {

CaptureSession::CaptureSession(std::shared_ptr<GlobalInputCapture> inputCapture, double duration,
                               Scheduler& scheduler, const Clock& clock)
    : duration_(duration),
      clock_(clock),
      scheduler_(scheduler),
      startTime_(clock.uptime()),
      inputCapture_(std::move(inputCapture)) {}

CaptureSession::~CaptureSession() {
    if (timer_) timer_->cancel();
    eventSubscription_.cancel();
    if (state_.value() == State::capturing) inputCapture_->stopCapturing();
}

Expected<void, CaptureError> CaptureSession::start(Completion onComplete) {
    if (state_.value() != State::idle) return {};
    onComplete_ = std::move(onComplete);
    events_.clear();
    // Dropped in stop() and in the destructor, so the callback never sees a dead session.
    eventSubscription_ = inputCapture_->events().subscribe([this](const RawEvent& e) { events_.push_back(e); });
    auto started = inputCapture_->startCapturing();
    if (!started) {
        eventSubscription_.cancel();
        onComplete_ = nullptr;
        return started;
    }
    state_.send(State::capturing);
    timer_ = scheduler_.scheduleRepeating(clockInterval, [this] { tick(); });
    return {};
}

void CaptureSession::tick() {
    if (state_.value() != State::capturing) return;
    elapsedTime_.send(clock_.uptime() - startTime_);
    if (duration_ <= elapsedTime_.value()) stop();
}

void CaptureSession::stop() {
    if (state_.value() != State::capturing) return;
    if (timer_) timer_->cancel();
    timer_.reset();
    inputCapture_->stopCapturing();
    eventSubscription_.cancel();
    state_.send(State::completed);
    // Last, and on copies: the completion may destroy this session. The one copy of the
    // events is the completion's to keep; capturedEvents() still lists them.
    if (auto completion = std::move(onComplete_)) completion(std::vector<RawEvent>(events_));
}

}  // namespace murmura
