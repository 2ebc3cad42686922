// The poll()-based main loop. These tests use real time but check only order and delivery,
// with generous bounds; speed is not measured here.
#include "support/event_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "support/clock.h"

using namespace murmura;

namespace {

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(pipe(fds), 0); }
    ~Pipe() {
        if (fds[0] >= 0) close(fds[0]);
        if (fds[1] >= 0) close(fds[1]);
    }
    void put(char c) { EXPECT_EQ(write(fds[1], &c, 1), 1); }
    char take() {
        char c = 0;
        EXPECT_EQ(read(fds[0], &c, 1), 1);
        return c;
    }
};

}  // namespace

TEST(EventLoop, PostedTasksRunInPostingOrder) {
    EventLoop loop;
    std::vector<int> log;
    loop.post([&] {
        log.push_back(1);
        loop.post([&] { log.push_back(3); });
    });
    loop.post([&] { log.push_back(2); });
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(loop.runUntil([&] { return log.size() == 3; }, 5.0));
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3}));
}

TEST(EventLoop, PostFromAnotherThreadWakesTheLoop) {
    EventLoop loop;
    bool ran = false;
    std::thread worker([&] { loop.post([&] { ran = true; }); });
    EXPECT_TRUE(loop.runUntil([&] { return ran; }, 5.0));
    worker.join();
}

TEST(EventLoop, RepeatingTimerTicksUntilCancelled) {
    EventLoop loop;
    int ticks = 0;
    std::shared_ptr<Timer> timer;
    timer = loop.scheduleRepeating(0.01, [&] {
        if (++ticks == 3) timer->cancel();
    });
    EXPECT_TRUE(timer->isActive());
    EXPECT_TRUE(loop.runUntil([&] { return ticks == 3; }, 5.0));
    EXPECT_FALSE(timer->isActive());
    loop.runUntil([] { return false; }, 0.05);
    EXPECT_EQ(ticks, 3);
}

TEST(EventLoop, TimerDoesNotTickBeforeItsInterval) {
    EventLoop loop;
    const double start = SystemClock::shared().uptime();
    double firstTick = 0;
    auto timer = loop.scheduleRepeating(0.05, [&] {
        if (firstTick == 0) firstTick = SystemClock::shared().uptime();
    });
    EXPECT_TRUE(loop.runUntil([&] { return firstTick != 0; }, 5.0));
    EXPECT_GE(firstTick - start, 0.05 - 1e-3);
    timer->cancel();
}

TEST(EventLoop, WatchCallsBackWhenTheDescriptorBecomesReadable) {
    EventLoop loop;
    Pipe p;
    std::vector<char> got;
    auto watch = loop.watchReadable(p.fds[0], [&] { got.push_back(p.take()); });
    ASSERT_NE(watch, nullptr);
    loop.runUntil([] { return false; }, 0.02);
    EXPECT_TRUE(got.empty());
    p.put('a');
    EXPECT_TRUE(loop.runUntil([&] { return got.size() == 1; }, 5.0));
    p.put('b');
    EXPECT_TRUE(loop.runUntil([&] { return got.size() == 2; }, 5.0));
    EXPECT_EQ(got, (std::vector<char>{'a', 'b'}));
    watch->cancel();
    p.put('c');
    loop.runUntil([] { return false; }, 0.05);
    EXPECT_EQ(got.size(), 2u);
}

TEST(EventLoop, HangUpIsReportedAsReadable) {
    EventLoop loop;
    Pipe p;
    close(p.fds[1]);
    p.fds[1] = -1;
    bool called = false;
    std::shared_ptr<Timer> watch;
    watch = loop.watchReadable(p.fds[0], [&] {
        called = true;
        watch->cancel();  // cancelling from inside the callback is allowed
    });
    EXPECT_TRUE(loop.runUntil([&] { return called; }, 5.0));
}

TEST(EventLoop, InvalidDescriptorsAreRefused) {
    EventLoop loop;
    EXPECT_EQ(loop.watchReadable(-1, [] {}), nullptr);
    EXPECT_EQ(loop.watchReadable(0, nullptr), nullptr);
}

TEST(EventLoop, RunReturnsOnQuitFromAnotherThread) {
    EventLoop loop;
    bool ranFirst = false;
    loop.post([&] { ranFirst = true; });
    std::thread worker([&] { loop.quit(); });
    loop.run();  // a lost wake-up would hang here and time the test out
    worker.join();
    EXPECT_TRUE(ranFirst);
}

TEST(EventLoop, RunUntilGivesUpAfterItsTimeout) {
    EventLoop loop;
    const double start = SystemClock::shared().uptime();
    EXPECT_FALSE(loop.runUntil([] { return false; }, 0.05));
    EXPECT_GE(SystemClock::shared().uptime() - start, 0.05 - 1e-3);
}
