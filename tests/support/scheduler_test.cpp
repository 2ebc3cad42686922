#include "support/manual_scheduler.h"

#include <gtest/gtest.h>

#include <vector>

using namespace murmura;

TEST(ManualScheduler, PostedTasksRunInOrderWhenPumped) {
    ManualClock clock;
    ManualScheduler scheduler(clock);
    std::vector<int> log;
    scheduler.post([&] {
        log.push_back(1);
        scheduler.post([&] { log.push_back(3); });
    });
    scheduler.post([&] { log.push_back(2); });
    EXPECT_TRUE(log.empty());
    scheduler.runPending();
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3}));
}

TEST(ManualScheduler, RepeatingTimerFiresAtEachDeadline) {
    ManualClock clock(100.0);
    ManualScheduler scheduler(clock);
    std::vector<double> ticks;
    auto timer = scheduler.scheduleRepeating(0.1, [&] { ticks.push_back(clock.uptime() - 100.0); });
    scheduler.advance(0.35);
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_NEAR(ticks[0], 0.1, 1e-9);
    EXPECT_NEAR(ticks[2], 0.3, 1e-9);
    EXPECT_NEAR(clock.uptime(), 100.35, 1e-9);
}

TEST(ManualScheduler, CancelledTimerNeverFiresAgain) {
    ManualClock clock;
    ManualScheduler scheduler(clock);
    int count = 0;
    std::shared_ptr<Timer> timer;
    timer = scheduler.scheduleRepeating(1.0, [&] {
        if (++count == 2) timer->cancel();
    });
    scheduler.advance(10);
    EXPECT_EQ(count, 2);
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
}

TEST(ManualScheduler, TimersInterleaveByDeadline) {
    ManualClock clock;
    ManualScheduler scheduler(clock);
    std::vector<char> log;
    auto a = scheduler.scheduleRepeating(0.3, [&] { log.push_back('a'); });
    auto b = scheduler.scheduleRepeating(0.2, [&] { log.push_back('b'); });
    scheduler.advance(0.65);
    // b at 0.2, a at 0.3, b at 0.4, a and b at 0.6 (a first: created first)
    EXPECT_EQ(std::string(log.begin(), log.end()), "babab");
}

TEST(ManualClock, WallClockMovesIndependently) {
    ManualClock clock(5.0, 1000.0);
    clock.advance(2);
    EXPECT_EQ(clock.uptime(), 7.0);
    EXPECT_EQ(clock.wallTime(), 1002.0);
    clock.setWallTime(0);
    EXPECT_EQ(clock.uptime(), 7.0);
}
