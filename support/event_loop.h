#pragma once
// A main loop built on poll(): posted tasks, repeating timers on the monotonic clock and
// file-descriptor watches. The command-line tool and the X11 integration tests run on it;
// the desktop application runs the same core on Qt's loop instead.
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "support/scheduler.h"
#include "support/task_queue.h"

namespace murmura {

class EventLoop final : public Scheduler {
public:
    EventLoop();
    ~EventLoop() override;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    void post(std::function<void()> task) override;
    std::shared_ptr<Timer> scheduleRepeating(double intervalSeconds, std::function<void()> tick) override;
    std::shared_ptr<Timer> watchReadable(int fd, std::function<void()> onReadable) override;

    // Dispatches what is ready, waiting at most maxWaitSeconds for something to become ready.
    void runOnce(double maxWaitSeconds);
    // Runs until done() holds (checked after each dispatch round) or timeoutSeconds have passed;
    // returns done().
    bool runUntil(const std::function<bool()>& done, double timeoutSeconds);
    // Runs until quit() is called (from the loop or any thread).
    void run();
    void quit();

private:
    struct LoopTimer;
    struct Watch;
    void fireDueTimers();
    void wake();

    int wakeFd_ = -1;
    TaskQueue tasks_;
    std::mutex mutex_;  // guards quit_
    bool quit_ = false;
    std::vector<std::shared_ptr<LoopTimer>> timers_;
    std::vector<std::shared_ptr<Watch>> watches_;
    uint64_t nextOrder_ = 0;
};

}  // namespace murmura
