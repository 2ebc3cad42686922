#include "support/manual_scheduler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace murmura;

TEST(ManualScheduler, PostedTasksRunInOrderAndTimersInterleaveByDeadlineUntilCancelled) {
    ManualClock clock(100.0);
    ManualScheduler scheduler(clock);
    std::string log;
    scheduler.post([&] {
        log += '1';
        scheduler.post([&] { log += '3'; });
    });
    scheduler.post([&] { log += '2'; });
    EXPECT_EQ(log, "");
    scheduler.runPending();
    EXPECT_EQ(log, "123");
    log.clear();
    std::shared_ptr<Timer> a;
    a = scheduler.scheduleRepeating(0.3, [&] {
        log += 'a';
        if (clock.uptime() > 100.5) a->cancel();
    });
    auto b = scheduler.scheduleRepeating(0.2, [&] { log += 'b'; });
    scheduler.advance(1.05);
    // b at 0.2, a at 0.3, b at 0.4, a then b at 0.6 (a was created first), b at 0.8 and 1.0
    EXPECT_EQ(log, "bababbb");
    EXPECT_NEAR(clock.uptime(), 101.05, 1e-9);
    EXPECT_FALSE(a->isActive());
    EXPECT_EQ(scheduler.activeTimerCount(), 1u);
}
