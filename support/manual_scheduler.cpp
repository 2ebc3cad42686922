#include "support/manual_scheduler.h"

#include <algorithm>

namespace murmura {

struct ManualScheduler::ManualTimer final : Timer {
    double interval = 0;
    double deadline = 0;
    uint64_t order = 0;  // creation order breaks ties between equal deadlines
    std::function<void()> tick;
    bool active = true;
    void cancel() override { active = false; }
    bool isActive() const override { return active; }
};

void ManualScheduler::post(std::function<void()> task) { tasks_.push(std::move(task)); }

std::shared_ptr<Timer> ManualScheduler::scheduleRepeating(double intervalSeconds, std::function<void()> tick) {
    auto timer = std::make_shared<ManualTimer>();
    timer->interval = intervalSeconds > 0 ? intervalSeconds : 1e-3;
    timer->deadline = clock_.uptime() + timer->interval;
    timer->order = nextOrder_++;
    timer->tick = std::move(tick);
    std::lock_guard lock(mutex_);
    timers_.push_back(timer);
    return timer;
}

void ManualScheduler::runPending() { tasks_.runAll(); }

void ManualScheduler::advance(double seconds) {
    const double target = clock_.uptime() + seconds;
    runPending();
    for (;;) {
        std::shared_ptr<ManualTimer> next;
        {
            std::lock_guard lock(mutex_);
            std::erase_if(timers_, [](const auto& t) { return !t->active; });
            for (const auto& t : timers_) {
                if (t->deadline > target + 1e-12) continue;
                if (!next || t->deadline < next->deadline ||
                    (t->deadline == next->deadline && t->order < next->order))
                    next = t;
            }
        }
        if (!next) break;
        clock_.advance(std::max(0.0, next->deadline - clock_.uptime()));
        next->deadline += next->interval;
        auto tick = next->tick;  // the tick may cancel its own timer
        tick();
        runPending();
    }
    clock_.advance(std::max(0.0, target - clock_.uptime()));
    runPending();
}

size_t ManualScheduler::activeTimerCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count_if(timers_.begin(), timers_.end(), [](const auto& t) { return t->active; }));
}

}  // namespace murmura
