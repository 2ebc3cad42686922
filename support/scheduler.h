#pragma once
// The main-thread run loop as seen by the core: posting work and repeating timers.
// The application implements it on Qt's event loop; tests use ManualScheduler.
#include <functional>
#include <memory>

namespace murmura {

class Timer {
public:
    virtual ~Timer() = default;
    // Stops the timer; no tick runs after cancel() returns. Idempotent.
    virtual void cancel() = 0;
    virtual bool isActive() const = 0;
};

class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Runs the task on the main thread, after the current task, in posting order.
    // Safe to call from any thread.
    virtual void post(std::function<void()> task) = 0;
    // Calls tick on the main thread every interval seconds until the timer is cancelled.
    // Main thread only. Dropping the handle does not cancel the timer.
    virtual std::shared_ptr<Timer> scheduleRepeating(double intervalSeconds, std::function<void()> tick) = 0;
    // Calls onReadable on the main thread whenever fd is readable or has hung up, until the returned
    // handle is cancelled (the callback must consume the data or cancel). Main thread only.
    // Returns nullptr when this loop cannot watch file descriptors.
    virtual std::shared_ptr<Timer> watchReadable(int fd, std::function<void()> onReadable) {
        (void)fd;
        (void)onReadable;
        return nullptr;
    }
};

}  // namespace murmura
