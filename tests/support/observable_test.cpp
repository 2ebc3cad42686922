#include "support/observable.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace murmura;

TEST(Subject, DeliversInOrderUntilTheSubscriptionIsDropped) {
    Subject<int> subject;
    std::vector<int> log;
    auto a = subject.subscribe([&](const int& v) { log.push_back(v); });
    {
        auto b = subject.subscribe([&](const int& v) { log.push_back(v * 10); });
        subject.send(1);
        subject.send(2);
    }
    subject.send(3);
    EXPECT_EQ(log, (std::vector<int>{1, 10, 2, 20, 3}));
    EXPECT_EQ(subject.subscriberCount(), 1u);
}

TEST(Subject, CancelDuringSendStopsLaterDelivery) {
    Subject<int> subject;
    std::vector<int> log;
    Subscription second;
    auto first = subject.subscribe([&](const int& v) {
        log.push_back(v);
        second.cancel();
    });
    second = subject.subscribe([&](const int& v) { log.push_back(-v); });
    subject.send(3);
    EXPECT_EQ(log, (std::vector<int>{3}));
}

TEST(Subject, OutlivedSubjectsAndDestroyedTargetsAreSafe) {
    Subscription s;
    {
        Subject<int> subject;
        s = subject.subscribe([](const int&) {});
    }
    s.cancel();
    EXPECT_FALSE(s.isActive());

    struct Target {
        int received = 0;
    };
    Subject<int> subject;
    auto target = std::make_shared<Target>();
    std::weak_ptr<Target> weak = target;
    auto t = subject.subscribe<Target>(weak, [](Target& x, const int& v) { x.received += v; });
    subject.send(5);
    EXPECT_EQ(target->received, 5);
    target.reset();
    subject.send(7);  // must not touch freed memory (ASan)
}

TEST(ValueSubject, ReplaysLatestValueOnSubscribe) {
    ValueSubject<double> value(0.0);
    value.send(1.5);
    std::vector<double> seen;
    auto s = value.subscribe([&](const double& v) { seen.push_back(v); });
    value.send(2.5);
    EXPECT_EQ(seen, (std::vector<double>{1.5, 2.5}));
    EXPECT_EQ(value.value(), 2.5);
}
