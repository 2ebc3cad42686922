#pragma once
// The core's Scheduler on Qt's event loop: posted tasks are queued events on a main-thread
// object, repeating timers are precise QTimers, and descriptor watches are socket notifiers.
// Everything the scheduler started dies with it.
#include <QObject>

#include "support/scheduler.h"

namespace murmura::ui {

class QtScheduler final : public Scheduler {
public:
    // Must be created on the thread that runs the event loop.
    QtScheduler();
    ~QtScheduler() override;
    QtScheduler(const QtScheduler&) = delete;
    QtScheduler& operator=(const QtScheduler&) = delete;

    void post(std::function<void()> task) override;
    std::shared_ptr<Timer> scheduleRepeating(double intervalSeconds, std::function<void()> tick) override;
    std::shared_ptr<Timer> watchReadable(int fd, std::function<void()> onReadable) override;

private:
    QObject* context_;  // owns the timers and notifiers; posted tasks are dropped once it is gone
};

}  // namespace murmura::ui
