#include "window_scope/polling_window_provider.h"

#include <gtest/gtest.h>

#include "support/manual_scheduler.h"
#include "fake_window_provider.h"

using namespace murmura;
using murmura::test::FakeWindowProvider;

namespace {

struct Recorder {
    std::vector<std::optional<Rect>> values;
    Subscription subscription;
    explicit Recorder(Observable<std::optional<Rect>>& stream)
        : subscription(stream.subscribe([this](const std::optional<Rect>& v) { values.push_back(v); })) {}
};

}  // namespace

TEST(PollingWindowProvider, IntervalIsOneThirtiethOfASecond) {
    EXPECT_DOUBLE_EQ(PollingWindowProvider::pollingInterval, 1.0 / 30.0);
}

TEST(PollingWindowProvider, StartsIdleWithAnAbsentLatestFrame) {
    ManualClock clock;
    ManualScheduler scheduler(clock);
    FakeWindowProvider provider(scheduler);
    Recorder r(provider.frameUpdates());
    ASSERT_EQ(r.values.size(), 1u);
    EXPECT_FALSE(r.values[0].has_value());
    EXPECT_FALSE(provider.trackedWindowID().has_value());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
}

TEST(PollingWindowProvider, TrackingAClosedWindowFailsWithItsNumberAndTracksNothing) {
    ManualClock clock;
    ManualScheduler scheduler(clock);
    FakeWindowProvider provider(scheduler);
    auto result = provider.startTracking(31337);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), WindowProviderError::windowNotFound(31337));
    EXPECT_EQ(result.error().message(), "Window 31337 not found");
    EXPECT_FALSE(provider.trackedWindowID().has_value());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
}

TEST(PollingWindowProvider, PublishesAtOnceThenEveryTickWhetherOrNotTheFrameChanged) {
    ManualClock clock;
    ManualScheduler scheduler(clock);
    FakeWindowProvider provider(scheduler);
    provider.frames[5] = {100, 100, 400, 300};
    Recorder r(provider.frameUpdates());
    ASSERT_TRUE(provider.startTracking(5));
    // The replayed absent value, the absent value of the implicit stop, then the frame.
    ASSERT_EQ(r.values.size(), 3u);
    EXPECT_FALSE(r.values[1].has_value());
    EXPECT_EQ(r.values[2], (Rect{100, 100, 400, 300}));
    EXPECT_EQ(provider.trackedWindowID(), 5u);

    scheduler.advance(1.0 + 1e-9);
    EXPECT_EQ(r.values.size(), 3u + 30u);  // 30 ticks in one second, all published
    for (size_t i = 3; i < r.values.size(); ++i) EXPECT_EQ(r.values[i], (Rect{100, 100, 400, 300}));
}

TEST(PollingWindowProvider, FollowsMovesThenPublishesAbsentWhenClosedAndAgainWhenBack) {
    ManualClock clock;
    ManualScheduler scheduler(clock);
    FakeWindowProvider provider(scheduler);
    provider.frames[5] = {100, 100, 400, 300};
    ASSERT_TRUE(provider.startTracking(5));
    Recorder r(provider.frameUpdates());
    provider.frames[5] = {150, 120, 400, 300};
    scheduler.advance(1.0 / 30.0 + 1e-9);
    EXPECT_EQ(r.values.back(), (Rect{150, 120, 400, 300}));
    provider.frames.erase(5);
    scheduler.advance(1.0 / 30.0);
    EXPECT_FALSE(r.values.back().has_value());
    scheduler.advance(1.0 / 30.0);
    EXPECT_FALSE(r.values.back().has_value());
    EXPECT_EQ(provider.trackedWindowID(), 5u);  // still tracking: the number may come back
    provider.frames[5] = {0, 0, 500, 500};
    scheduler.advance(1.0 / 30.0);
    EXPECT_EQ(r.values.back(), (Rect{0, 0, 500, 500}));
}

TEST(PollingWindowProvider, StopPublishesAbsentAndANewSubscriberSeesAbsentFirst) {
    ManualClock clock;
    ManualScheduler scheduler(clock);
    FakeWindowProvider provider(scheduler);
    provider.frames[5] = {1, 2, 300, 400};
    ASSERT_TRUE(provider.startTracking(5));
    Recorder before(provider.frameUpdates());
    provider.stopTracking();
    EXPECT_FALSE(before.values.back().has_value());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    EXPECT_FALSE(provider.trackedWindowID().has_value());
    Recorder after(provider.frameUpdates());
    ASSERT_EQ(after.values.size(), 1u);
    EXPECT_FALSE(after.values[0].has_value());
    const int queries = provider.frameQueries;
    scheduler.advance(1.0);
    EXPECT_EQ(provider.frameQueries, queries);  // no polling after stop
}

TEST(PollingWindowProvider, StartingAgainStopsTheEarlierTrackingFirst) {
    ManualClock clock;
    ManualScheduler scheduler(clock);
    FakeWindowProvider provider(scheduler);
    provider.frames[5] = {0, 0, 300, 300};
    provider.frames[6] = {50, 50, 300, 300};
    ASSERT_TRUE(provider.startTracking(5));
    ASSERT_TRUE(provider.startTracking(6));
    EXPECT_EQ(scheduler.activeTimerCount(), 1u);
    EXPECT_EQ(provider.trackedWindowID(), 6u);
    // A failed start leaves nothing tracked, the earlier window included.
    EXPECT_FALSE(provider.startTracking(99));
    EXPECT_FALSE(provider.trackedWindowID().has_value());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
}

TEST(PollingWindowProvider, DestroyingTheProviderStopsItsPolling) {
    ManualClock clock;
    ManualScheduler scheduler(clock);
    {
        FakeWindowProvider provider(scheduler);
        provider.frames[5] = {0, 0, 300, 300};
        ASSERT_TRUE(provider.startTracking(5));
        EXPECT_EQ(scheduler.activeTimerCount(), 1u);
    }
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    scheduler.advance(1.0);  // a tick here would touch the destroyed provider (ASan)
}
