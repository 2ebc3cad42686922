#include "app/ui/qt_scheduler.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace murmura::ui {
namespace {

// A timer or notifier handle. cancel() may run inside the object's own callback, so the object
// is disabled at once and deleted only when control is back in the event loop.
template <class Source>
class QtHandle final : public Timer {
public:
    explicit QtHandle(Source* source) : source_(source) {}
    ~QtHandle() override = default;
    void cancel() override {
        active_ = false;
        if (!source_) return;
        disable(*source_);
        source_->deleteLater();
        source_ = nullptr;
    }
    bool isActive() const override { return active_ && source_; }
    // Checked by the callback: a tick already queued when cancel() ran must not run.
    bool active() const { return active_; }

private:
    static void disable(QTimer& t) { t.stop(); }
    static void disable(QSocketNotifier& n) { n.setEnabled(false); }
    QPointer<Source> source_;
    bool active_ = true;
};

}  // namespace

QtScheduler::QtScheduler() : context_(new QObject) {}

QtScheduler::~QtScheduler() { delete context_; }

void QtScheduler::post(std::function<void()> task) {
    QMetaObject::invokeMethod(context_, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

std::shared_ptr<Timer> QtScheduler::scheduleRepeating(double intervalSeconds, std::function<void()> tick) {
    auto* timer = new QTimer(context_);
    timer->setTimerType(Qt::PreciseTimer);
    const double ms = std::isfinite(intervalSeconds) ? std::round(intervalSeconds * 1000.0) : 1000.0;
    timer->setInterval(static_cast<int>(std::clamp(ms, 1.0, 2.0e9)));
    auto handle = std::make_shared<QtHandle<QTimer>>(timer);
    // The handle is held weakly, but the timer keeps running when the handle is dropped, so the
    // callback keeps a strong reference to the flag it checks.
    QObject::connect(timer, &QTimer::timeout, timer, [handle, tick = std::move(tick)] {
        if (handle->active()) tick();
    });
    timer->start();
    return handle;
}

std::shared_ptr<Timer> QtScheduler::watchReadable(int fd, std::function<void()> onReadable) {
    if (fd < 0) return nullptr;
    // A read notifier fires on hang-up and errors too (poll reports them with the read events).
    auto* notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, context_);
    auto handle = std::make_shared<QtHandle<QSocketNotifier>>(notifier);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [handle, onReadable = std::move(onReadable)] {
        if (handle->active()) onReadable();
    });
    notifier->setEnabled(true);
    return handle;
}

}  // namespace murmura::ui
