// Polling window tracking and the scope manager over a fake provider, on virtual time.
#include <gtest/gtest.h>

#include <cmath>

#include "fake_window_provider.h"
#include "support/manual_scheduler.h"
#include "window_scope/window_scope_manager.h"

using namespace murmura;
using murmura::test::FakeWindowProvider;

namespace {

constexpr double kTick = 1.0 / 30.0;
const Rect kFrame{100, 100, 400, 300};

struct Tracking : ::testing::Test {
    ManualClock clock;
    ManualScheduler scheduler{clock};
    std::shared_ptr<FakeWindowProvider> provider = std::make_shared<FakeWindowProvider>(scheduler);
    WindowScopeManager manager{provider};
    std::vector<std::optional<Rect>> published;
    Subscription subscription = provider->frameUpdates().subscribe(
        [this](const std::optional<Rect>& v) { published.push_back(v); });

    void trackWindow() {
        provider->frames[42] = kFrame;
        ASSERT_TRUE(manager.startTracking(42));
    }
};

}  // namespace

TEST_F(Tracking, ProviderPublishesAtOnceThenEveryTickAndFollowsTheWindow) {
    ASSERT_EQ(published, (std::vector<std::optional<Rect>>{std::nullopt}));
    EXPECT_EQ(provider->startTracking(31337).error(), WindowProviderError::windowNotFound(31337));
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);

    published.clear();
    provider->frames[5] = kFrame;
    ASSERT_TRUE(provider->startTracking(5));
    // The absent value of the implicit stop, then the frame.
    EXPECT_EQ(published, (std::vector<std::optional<Rect>>{std::nullopt, kFrame}));
    scheduler.advance(1.0 + 1e-9);
    ASSERT_EQ(published.size(), 2u + 30u);  // every tick publishes, changed or not
    EXPECT_EQ(published.back(), kFrame);
    provider->frames[5] = {150, 120, 400, 300};
    scheduler.advance(kTick);
    EXPECT_EQ(published.back(), (Rect{150, 120, 400, 300}));
    provider->frames.erase(5);
    scheduler.advance(2 * kTick);
    EXPECT_FALSE(published.back().has_value());
    EXPECT_EQ(provider->trackedWindowID(), 5u);  // still tracking: the number may come back
    provider->frames[5] = {0, 0, 500, 500};
    scheduler.advance(kTick);
    EXPECT_EQ(published.back(), (Rect{0, 0, 500, 500}));
}

TEST_F(Tracking, ProviderStopsPollingWhenStoppedRestartedFailedOrDestroyed) {
    provider->frames[5] = kFrame;
    provider->frames[6] = {50, 50, 300, 300};
    ASSERT_TRUE(provider->startTracking(5));
    ASSERT_TRUE(provider->startTracking(6));
    EXPECT_EQ(scheduler.activeTimerCount(), 1u);
    EXPECT_EQ(provider->trackedWindowID(), 6u);
    EXPECT_FALSE(provider->startTracking(99));  // a failed start leaves nothing tracked
    EXPECT_FALSE(provider->trackedWindowID().has_value());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);

    ASSERT_TRUE(provider->startTracking(5));
    provider->stopTracking();
    EXPECT_FALSE(published.back().has_value());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    std::vector<std::optional<Rect>> late;
    auto s = provider->frameUpdates().subscribe([&](const std::optional<Rect>& v) { late.push_back(v); });
    EXPECT_EQ(late, (std::vector<std::optional<Rect>>{std::nullopt}));
    const int queries = provider->frameQueries;
    scheduler.advance(1.0);
    EXPECT_EQ(provider->frameQueries, queries);

    {
        FakeWindowProvider own(scheduler);
        own.frames[5] = kFrame;
        ASSERT_TRUE(own.startTracking(5));
        EXPECT_EQ(scheduler.activeTimerCount(), 1u);
    }
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    scheduler.advance(1.0);  // a tick here would touch the destroyed provider (ASan)
}

TEST_F(Tracking, ManagerScopeIsHalfOpenAndLocalToTheFrame) {
    EXPECT_FALSE(manager.isTracking());
    EXPECT_FALSE(manager.isPointInScope({200, 200}));
    EXPECT_FALSE(manager.localPoint({200, 200}).has_value());
    trackWindow();
    const std::pair<Point, bool> cases[] = {
        {{100, 100}, true},     {{499.9, 399.9}, true},  {{500, 250}, false},
        {{300, 400}, false},    {{99.999, 200}, false},  {{200, 99.999}, false},
        {{std::nan(""), 200}, false},
    };
    for (auto [p, inside] : cases) {
        EXPECT_EQ(manager.isPointInScope(p), inside) << p.x << "," << p.y;
        EXPECT_EQ(manager.localPoint(p).has_value(), inside) << p.x << "," << p.y;
    }
    EXPECT_EQ(manager.localPoint({150, 130}), (Point{50, 30}));

    provider->frames[7] = {500, 400, -400, -300};  // the same rectangle from its far corner
    ASSERT_TRUE(manager.startTracking(7));
    EXPECT_TRUE(manager.isPointInScope({100, 100}));
    EXPECT_FALSE(manager.isPointInScope({500, 400}));
    EXPECT_EQ(manager.localPoint({150, 130}), (Point{50, 30}));
    provider->frames[7] = {100, 100, 0, 300};
    scheduler.advance(kTick);
    EXPECT_FALSE(manager.isPointInScope({100, 100}));
}

TEST_F(Tracking, ManagerFollowsTheProviderUntilStopped) {
    trackWindow();
    std::vector<std::optional<Rect>> seen;
    auto s = manager.currentFrameChanges().subscribe([&](const std::optional<Rect>& v) { seen.push_back(v); });
    scheduler.advance(kTick + 1e-9);
    provider->frames[42] = {0, 0, 400, 300};
    scheduler.advance(kTick);
    provider->frames.erase(42);
    scheduler.advance(kTick);
    // The current value, then every assignment, equal or not.
    EXPECT_EQ(seen, (std::vector<std::optional<Rect>>{kFrame, kFrame, Rect{0, 0, 400, 300}, std::nullopt}));
    EXPECT_FALSE(manager.isPointInScope({10, 10}));
    EXPECT_EQ(manager.windowID(), 42u);  // still the chosen window: its events are recorded out of scope

    manager.stopTracking();
    EXPECT_FALSE(manager.isTracking() || manager.windowID() || manager.currentFrame());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    provider->frames[42] = kFrame;
    ASSERT_TRUE(provider->startTracking(42));
    EXPECT_FALSE(manager.currentFrame().has_value());  // provider values no longer reach it
    EXPECT_EQ(manager.startTracking(404).error(), WindowProviderError::windowNotFound(404));
    EXPECT_FALSE(manager.isTracking());
}

TEST_F(Tracking, WholeDisplayUsesTheDisplayBoundsAndIgnoresTheEarlierWindow) {
    ASSERT_TRUE(manager.startTracking(WindowScopeManager::allWindowsID));
    EXPECT_TRUE(manager.isAllWindows());
    EXPECT_EQ(manager.currentFrame(), (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(provider->frameQueries, 0);
    EXPECT_FALSE(provider->trackedWindowID().has_value());
    EXPECT_TRUE(manager.isPointInScope({3000, -500}));  // a second display is in scope too
    trackWindow();
    ASSERT_TRUE(manager.startTracking(WindowScopeManager::allWindowsID));
    scheduler.advance(0.2);
    EXPECT_EQ(manager.currentFrame(), (Rect{0, 0, 1440, 900}));

    provider->candidates = {WindowCandidate{3, std::nullopt, "Editor", {0, 0, 800, 600}}};
    EXPECT_EQ(manager.listWindows().value(), (std::vector{WindowDescriptor{3, std::nullopt, "Editor", {0, 0, 800, 600}}}));
    provider->failListing = true;
    EXPECT_EQ(manager.listWindows().error(), WindowProviderError::enumerationFailed());
}
