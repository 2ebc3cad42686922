// The poll()-based main loop, on real time: tests check order and delivery with generous
// bounds, never speed.
#include "support/event_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "support/clock.h"

using namespace murmura;

namespace {
double uptime() { return SystemClock::shared().uptime(); }
void idle(EventLoop& loop, double seconds) { loop.runUntil([] { return false; }, seconds); }
}  // namespace

TEST(EventLoop, PostedTasksRunInOrderAndPostsFromOtherThreadsWake) {
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

    std::thread worker([&] { loop.post([&] { log.push_back(4); }); });
    EXPECT_TRUE(loop.runUntil([&] { return log.size() == 4; }, 5.0));
    worker.join();
    std::thread quitter([&] { loop.quit(); });
    loop.run();  // a lost wake-up would hang here
    quitter.join();
}

TEST(EventLoop, RepeatingTimerWaitsItsIntervalAndStopsWhenCancelled) {
    EventLoop loop;
    const double start = uptime();
    std::vector<double> ticks;
    std::shared_ptr<Timer> timer;
    timer = loop.scheduleRepeating(0.02, [&] {
        ticks.push_back(uptime());
        if (ticks.size() == 3) timer->cancel();
    });
    EXPECT_TRUE(loop.runUntil([&] { return ticks.size() == 3; }, 5.0));
    EXPECT_GE(ticks[0] - start, 0.02 - 1e-3);
    EXPECT_FALSE(timer->isActive());
    idle(loop, 0.06);
    EXPECT_EQ(ticks.size(), 3u);
    EXPECT_FALSE(loop.runUntil([] { return false; }, 0.05));
    EXPECT_GE(uptime() - ticks[2], 0.05 - 1e-3);
}

TEST(EventLoop, WatchesReadableDescriptorsAndHangUps) {
    EventLoop loop;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::vector<char> got;
    int ends = 0;
    std::shared_ptr<Timer> watch;
    watch = loop.watchReadable(fds[0], [&] {
        char c = 0;
        if (read(fds[0], &c, 1) == 1) {
            got.push_back(c);
        } else {  // end of file; cancelling from inside the callback is allowed
            ++ends;
            watch->cancel();
        }
    });
    ASSERT_NE(watch, nullptr);
    idle(loop, 0.02);
    EXPECT_TRUE(got.empty());
    for (char c : {'a', 'b'}) {
        ASSERT_EQ(write(fds[1], &c, 1), 1);
        EXPECT_TRUE(loop.runUntil([&] { return got.size() == size_t(c - 'a' + 1); }, 5.0));
    }
    close(fds[1]);
    EXPECT_TRUE(loop.runUntil([&] { return ends > 0; }, 5.0));
    idle(loop, 0.05);
    EXPECT_EQ(ends, 1);  // a cancelled watch hears nothing more, though the hang-up stays
    EXPECT_EQ(got, (std::vector<char>{'a', 'b'}));
    close(fds[0]);
    EXPECT_EQ(loop.watchReadable(-1, [] {}), nullptr);
    EXPECT_EQ(loop.watchReadable(0, nullptr), nullptr);
}
