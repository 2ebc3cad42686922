#include "material/ink_state_calculator.h"

#include <gtest/gtest.h>

namespace murmura {
namespace {

// The long-session values the charcoal renderer uses.
InkPhysicsConfig config() {
    InkPhysicsConfig c;
    c.depletionRate = 0.0012f, c.flyingWhiteThreshold = 0.38f, c.minimumInkLevel = 0.05f;
    c.dwellDistanceThreshold = 3.0, c.minimumDwellDuration = 0.2, c.rechargeRate = 0.4f;
    c.dwellPoolingDelay = 0.25, c.maxPoolingAmount = 0.6f, c.silenceThreshold = 0.5;
    c.baseDryingRate = 0.1f, c.maxDryingIntensity = 0.8f;
    c.splatterVelocityThreshold = 800.0, c.splatterAccelerationThreshold = 2000.0;
    c.brushSizeRange = {3.0, 22.0}, c.alphaRange = {0.35, 1.0}, c.erosionRange = {0.0f, 0.92f};
    return c;
}

const InkStateCalculator calc(config());

TEST(InkStateCalculator, InactiveEventAfterSilenceDriesAndKeepsTheBrush) {
    BrushState s;
    s.inkLevel = 0.6f, s.lastPosition = Point{5, 5}, s.lastActivityTime = 1.0, s.dwellTime = 0.7;
    for (const bool noPosition : {true, false}) {
        const auto q = calc.calculate(noPosition ? std::nullopt : std::optional<Point>(Point{9, 9}), true, false, s, 3.0);
        EXPECT_TRUE(q.triggerGlobalDrying);
        EXPECT_FLOAT_EQ(q.dryingIntensity, 0.15f);
        EXPECT_EQ(q.newState.inkLevel, 0.6f);
        EXPECT_EQ(q.newState.lastPosition, (Point{5, 5}));
        EXPECT_EQ(q.newState.dwellTime, 0);
        EXPECT_EQ(q.newState.lastActivityTime, 3.0);
        EXPECT_FALSE(q.newState.isInContact);
        EXPECT_FALSE(q.isSplatter || q.isPooling);
    }
    // Capped at the maximum; an active event never dries.
    EXPECT_FLOAT_EQ(calc.calculate(std::nullopt, false, true, s, 100).dryingIntensity, 0.8f);
    EXPECT_FALSE(calc.calculate(Point{5, 5}, false, true, s, 100).triggerGlobalDrying);
}

TEST(InkStateCalculator, HoldingStillRechargesUpTo075ThenPools) {
    for (auto [ink, expected] : {std::pair{0.5f, 0.54f}, {0.9f, 0.9f}, {0.74f, 0.75f}}) {
        BrushState s;
        s.inkLevel = ink, s.lastPosition = Point{10, 10}, s.dwellStartTime = 0.0, s.lastActivityTime = 0.1;
        const auto q = calc.calculate(Point{10.5, 10}, true, true, s, 0.2);
        EXPECT_NEAR(q.newState.inkLevel, expected, 1e-6) << ink;
        EXPECT_NEAR(q.newState.dwellTime, 0.1, 1e-12);
        EXPECT_FALSE(q.isPooling);  // 0.1 s of dwell is below the pooling delay
    }
    // A longer dwell pools: 0.5 s gives (0.5 - 0.25) x 0.5 x 0.8.
    BrushState s;
    s.inkLevel = 0.8f, s.lastPosition = Point{0, 0}, s.dwellStartTime = 0.0, s.lastActivityTime = 0.5, s.dwellTime = 0.3;
    const auto q = calc.calculate(Point{1, 1}, true, true, s, 0.7);
    EXPECT_TRUE(q.isPooling);
    EXPECT_NEAR(q.poolingAmount, 0.1f, 1e-6);
}

// The first event starts at rest and begins a dwell; a second at the same timestamp gives no
// speed however far it lies; 900 units/s splatters.
TEST(InkStateCalculator, SpeedNeedsAPreviousPointAndTime) {
    const auto first = calc.calculate(Point{100, 100}, true, true, BrushState{}, 4.0);
    EXPECT_TRUE(first.newState.velocity == (Vector{0, 0}) && !first.isSplatter && first.newState.isInContact);
    EXPECT_TRUE(first.newState.dwellStartTime == 4.0 && first.newState.lastPosition == (Point{100, 100}));
    BrushState s;
    s.lastPosition = Point{0, 0}, s.lastActivityTime = 1.0;
    auto q = calc.calculate(Point{5000, 0}, false, true, s, 1.0);
    EXPECT_TRUE(!q.isSplatter && q.newState.velocity == (Vector{0, 0}));
    q = calc.calculate(Point{900, 0}, false, true, s, 2.0);
    EXPECT_TRUE(q.isSplatter && q.newState.velocity == (Vector{900, 0}));
}

TEST(InkStateCalculator, MovingInContactDepletesToTheFloor) {
    BrushState s;
    s.lastPosition = Point{0, 0};
    auto q = calc.calculate(Point{1000, 0}, true, true, s, 10.0);
    EXPECT_EQ(q.newState.inkLevel, 0.05f);
    EXPECT_FALSE(q.newState.dwellStartTime.has_value());
    EXPECT_NEAR(q.brushSize, 3.0 + 19.0 * 0.0025, 1e-6);
    EXPECT_TRUE(q.isFlyingWhite);
    // 100 units/s and no button: no depletion, no splatter.
    q = calc.calculate(Point{100, 0}, false, true, s, 1.0);
    EXPECT_EQ(q.newState.inkLevel, 1.0f);
    EXPECT_FALSE(q.isSplatter);
}

TEST(InkStateCalculator, BrushParametersAtFullAndEmpty) {
    for (auto [ink, size, alpha, erosion] : {std::tuple{1.0f, 22.0, 1.0, 0.0f}, {0.0f, 3.0, 0.35, 0.92f}}) {
        BrushState s;
        s.inkLevel = ink;
        const auto q = calc.calculate(std::nullopt, false, false, s, 0);
        EXPECT_EQ(std::tie(q.brushSize, q.alpha), std::tie(size, alpha)) << ink;
        EXPECT_FLOAT_EQ(q.erosionStrength, erosion) << ink;
    }
}

TEST(InkStateCalculator, SequenceThreadsTheState) {
    const std::vector<InkSequenceEntry> entries = {
        {Point{0, 0}, 0.0, true, true}, {Point{500, 0}, 1.0, true, true}, {Point{1000, 0}, 2.0, true, true}};
    const auto out = calc.calculateSequence(BrushState{}, entries);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_FLOAT_EQ(out[1].newState.inkLevel, 1.0f - 0.6f);
    EXPECT_EQ(out[2].newState.inkLevel, 0.05f);  // 0.4 - 0.6 lands on the floor
    EXPECT_EQ(out[2].newState.lastPosition, (Point{1000, 0}));
}

}  // namespace
}  // namespace murmura
