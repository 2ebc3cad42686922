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

TEST(Subject, CallbacksMayCancelSubscribeSendAgainAndDropTheSubject) {
    auto subject = std::make_unique<Subject<int>>();
    std::vector<int> log;
    Subscription second, added;
    auto first = subject->subscribe([&](const int& v) {
        log.push_back(v);
        second.cancel();
        if (v == 3) added = subject->subscribe([&](const int& w) { log.push_back(100 + w); });
        if (v == 4) subject->send(5);
    });
    second = subject->subscribe([&](const int& v) { log.push_back(-v); });
    subject->send(3);  // the subscriber added during the send gets the next value
    EXPECT_EQ(subject->subscriberCount(), 2u);
    subject->send(4);
    auto dropper = subject->subscribe([&](const int&) { subject.reset(); });
    subject->send(6);  // the subject goes away in the middle of its send (ASan)
    EXPECT_EQ(log, (std::vector<int>{3, 4, 5, 105, 104, 6, 106}));
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
