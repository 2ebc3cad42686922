// QtScheduler on a real event loop: cross-thread posting, repeating timers, descriptor watches
// with hang-up, and cancelling from inside a callback.
#include <QTest>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "app/ui/qt_scheduler.h"

using murmura::ui::QtScheduler;

TEST(QtScheduler, TasksPostedFromOtherThreadsRunOnTheMainThreadInOrder) {
    QtScheduler scheduler;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    std::thread poster([&] {
        for (int i = 0; i < 5; ++i)
            scheduler.post([&, i] {
                order.push_back(i);
                threads.push_back(std::this_thread::get_id());
            });
    });
    poster.join();
    EXPECT_TRUE(order.empty());  // queued, never run inside post()
    ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() == 5; }, 5000));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(QtScheduler, TimerCancelledInsideItsOwnTickNeverTicksAgain) {
    QtScheduler scheduler;
    int ticks = 0;
    std::shared_ptr<murmura::Timer> timer;
    timer = scheduler.scheduleRepeating(0.005, [&] {
        if (++ticks == 3) timer->cancel();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 5000));
    QTest::qWait(60);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(timer->isActive());
    timer->cancel();  // idempotent
}

TEST(QtScheduler, DroppedHandleKeepsTimerUntilSchedulerGoes) {
    int ticks = 0;
    {
        QtScheduler scheduler;
        scheduler.scheduleRepeating(0.005, [&] { ++ticks; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 5000));
    }
    const int atEnd = ticks;
    QTest::qWait(40);
    EXPECT_EQ(ticks, atEnd);
}

TEST(QtScheduler, PipeReadabilityAndHangUpReachTheWatcher) {
    QtScheduler scheduler;
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
    std::string received;
    int calls = 0;
    bool hungUp = false;
    std::shared_ptr<murmura::Timer> watch;
    watch = scheduler.watchReadable(fds[0], [&] {
        ++calls;
        char buf[16];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n > 0) received.append(buf, size_t(n));
        if (n == 0) {  // end of file: the writer hung up
            hungUp = true;
            watch->cancel();
        }
    });
    ASSERT_NE(watch, nullptr);
    ASSERT_EQ(write(fds[1], "abc", 3), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received == "abc"; }, 5000));
    close(fds[1]);
    ASSERT_TRUE(QTest::qWaitFor([&] { return hungUp; }, 5000));
    const int atHangUp = calls;
    QTest::qWait(30);
    EXPECT_EQ(calls, atHangUp);  // cancelled from inside: the still-readable end is not reported again
    EXPECT_FALSE(watch->isActive());
    close(fds[0]);
    EXPECT_EQ(scheduler.watchReadable(-1, [] {}), nullptr);
}
