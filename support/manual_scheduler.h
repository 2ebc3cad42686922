#pragma once
// Virtual time for tests: a clock that moves only when told and a scheduler whose timers
// fire as that clock passes their deadlines.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "support/clock.h"
#include "support/scheduler.h"
#include "support/task_queue.h"

namespace murmura {

class ManualClock final : public Clock {
public:
    explicit ManualClock(double uptime = 1000.0, double wallTime = 1'800'000'000.0)
        : uptime_(uptime), wall_(wallTime) {}
    double uptime() const override { return uptime_; }
    double wallTime() const override { return wall_; }
    void advance(double seconds) {
        uptime_ += seconds;
        wall_ += seconds;
    }
    // Moves only the wall clock, as a user changing the system time would.
    void setWallTime(double seconds) { wall_ = seconds; }

private:
    double uptime_;
    double wall_;
};

class ManualScheduler final : public Scheduler {
public:
    explicit ManualScheduler(ManualClock& clock) : clock_(clock) {}

    void post(std::function<void()> task) override;
    std::shared_ptr<Timer> scheduleRepeating(double intervalSeconds, std::function<void()> tick) override;

    // Runs posted tasks (including those posted while running) until none is left.
    void runPending();
    // Advances the clock by seconds, firing every due timer tick in deadline order at its
    // deadline and running posted tasks after each tick.
    void advance(double seconds);
    size_t activeTimerCount() const;

private:
    struct ManualTimer;
    ManualClock& clock_;
    TaskQueue tasks_;
    mutable std::mutex mutex_;  // guards timers_
    std::vector<std::shared_ptr<ManualTimer>> timers_;
    uint64_t nextOrder_ = 0;
};

}  // namespace murmura
