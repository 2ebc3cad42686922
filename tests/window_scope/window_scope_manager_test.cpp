#include "window_scope/window_scope_manager.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/manual_scheduler.h"
#include "fake_window_provider.h"

using namespace murmura;
using murmura::test::FakeWindowProvider;

namespace {

struct ManagerTest : ::testing::Test {
    ManualClock clock;
    ManualScheduler scheduler{clock};
    std::shared_ptr<FakeWindowProvider> provider = std::make_shared<FakeWindowProvider>(scheduler);
    WindowScopeManager manager{provider};

    void trackWindowAt100() {
        provider->frames[42] = {100, 100, 400, 300};
        ASSERT_TRUE(manager.startTracking(42));
    }
};

}  // namespace

TEST_F(ManagerTest, BeforeTrackingEveryPointIsOutOfScope) {
    EXPECT_FALSE(manager.isTracking());
    EXPECT_FALSE(manager.isAllWindows());
    EXPECT_FALSE(manager.windowID().has_value());
    EXPECT_FALSE(manager.isPointInScope({0, 0}));
    EXPECT_FALSE(manager.isPointInScope({200, 200}));
    EXPECT_FALSE(manager.localPoint({200, 200}).has_value());
}

TEST_F(ManagerTest, WholeDisplayUsesTheMainDisplayBoundsWithoutAskingTheProvider) {
    ASSERT_TRUE(manager.startTracking(WindowScopeManager::allWindowsID));
    EXPECT_EQ(WindowScopeManager::allWindowsID, 0u);
    EXPECT_TRUE(manager.isTracking());
    EXPECT_TRUE(manager.isAllWindows());
    EXPECT_EQ(manager.windowID(), 0u);
    EXPECT_EQ(manager.currentFrame(), (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(provider->frameQueries, 0);
    EXPECT_FALSE(provider->trackedWindowID().has_value());
    // A second display lies beyond the main one; it is still in scope.
    EXPECT_TRUE(manager.isPointInScope({3000, -500}));
    EXPECT_TRUE(manager.isPointInScope({0, 0}));
}

TEST_F(ManagerTest, HalfOpenScopeRuleAtTheWindowEdges) {
    trackWindowAt100();
    EXPECT_TRUE(manager.isPointInScope({100, 100}));
    EXPECT_TRUE(manager.isPointInScope({499.9, 399.9}));
    EXPECT_FALSE(manager.isPointInScope({500, 250}));
    EXPECT_FALSE(manager.isPointInScope({300, 400}));
    EXPECT_FALSE(manager.isPointInScope({99.999, 200}));
    EXPECT_FALSE(manager.isPointInScope({200, 99.999}));
    EXPECT_FALSE(manager.isPointInScope({std::nan(""), 200}));
}

TEST_F(ManagerTest, LocalPointIsRelativeToTheFrameOrigin) {
    trackWindowAt100();
    ASSERT_TRUE(manager.localPoint({150, 130}).has_value());
    EXPECT_EQ(*manager.localPoint({150, 130}), (Point{50, 30}));
    EXPECT_FALSE(manager.localPoint({600, 130}).has_value());
    EXPECT_FALSE(manager.localPoint({500, 130}).has_value());  // right edge is outside
}

TEST_F(ManagerTest, NegativeSizedFramesAreNormalizedAndEmptyFramesContainNothing) {
    provider->frames[7] = {500, 400, -400, -300};  // same rectangle as (100, 100, 400, 300)
    ASSERT_TRUE(manager.startTracking(7));
    EXPECT_TRUE(manager.isPointInScope({100, 100}));
    EXPECT_FALSE(manager.isPointInScope({500, 400}));
    EXPECT_EQ(*manager.localPoint({150, 130}), (Point{50, 30}));

    provider->frames[7] = {100, 100, 0, 300};
    scheduler.advance(1.0 / 30.0);
    EXPECT_FALSE(manager.isPointInScope({100, 100}));
    EXPECT_FALSE(manager.localPoint({100, 100}).has_value());
}

TEST_F(ManagerTest, FrameFollowsTheProviderAndClosingMakesEverythingOutOfScope) {
    trackWindowAt100();
    EXPECT_EQ(manager.currentFrame(), (Rect{100, 100, 400, 300}));  // replayed at subscription
    provider->frames[42] = {0, 0, 400, 300};
    scheduler.advance(1.0 / 30.0);
    EXPECT_EQ(manager.currentFrame(), (Rect{0, 0, 400, 300}));
    EXPECT_TRUE(manager.isPointInScope({10, 10}));
    provider->frames.erase(42);
    scheduler.advance(1.0 / 30.0);
    EXPECT_FALSE(manager.currentFrame().has_value());
    EXPECT_FALSE(manager.isPointInScope({10, 10}));
    EXPECT_TRUE(manager.isTracking());  // still the chosen window; events stay recorded as out of scope
    EXPECT_EQ(manager.windowID(), 42u);
}

TEST_F(ManagerTest, ObserversHearEveryAssignmentEvenOfAnEqualFrame) {
    trackWindowAt100();
    int notifications = 0;
    auto s = manager.currentFrameChanges().subscribe([&](const std::optional<Rect>&) { ++notifications; });
    EXPECT_EQ(notifications, 1);  // the current value
    scheduler.advance(0.1 + 1e-9);
    EXPECT_EQ(notifications, 1 + 3);
}

TEST_F(ManagerTest, AFailedStartPassesTheErrorOnAndChangesNothingHere) {
    auto result = manager.startTracking(404);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), WindowProviderError::windowNotFound(404));
    EXPECT_FALSE(manager.isTracking());
    EXPECT_FALSE(manager.currentFrame().has_value());
}

TEST_F(ManagerTest, StopTrackingClearsEverythingAndStopsThePolling) {
    trackWindowAt100();
    manager.stopTracking();
    EXPECT_FALSE(manager.isTracking());
    EXPECT_FALSE(manager.windowID().has_value());
    EXPECT_FALSE(manager.currentFrame().has_value());
    EXPECT_FALSE(manager.isPointInScope({150, 150}));
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    // Later provider values no longer reach the manager.
    provider->frames[42] = {100, 100, 400, 300};
    ASSERT_TRUE(provider->startTracking(42));
    EXPECT_FALSE(manager.currentFrame().has_value());
}

TEST_F(ManagerTest, SwitchingToTheWholeDisplayIgnoresTheEarlierWindow) {
    trackWindowAt100();
    ASSERT_TRUE(manager.startTracking(0));
    scheduler.advance(0.2);
    EXPECT_EQ(manager.currentFrame(), (Rect{0, 0, 1440, 900}));
}

TEST_F(ManagerTest, ListingAndNameAreForwarded) {
    WindowCandidate c;
    c.id = 3;
    c.ownerName = "Editor";
    c.frame = {0, 0, 800, 600};
    provider->candidates = {c};
    auto list = manager.listWindows();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 1u);
    EXPECT_EQ((*list)[0].id, 3u);
    provider->failListing = true;
    auto failed = manager.listWindows();
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().message(), "Failed to enumerate windows");
    EXPECT_EQ(manager.providerName(), "Fake");
}
