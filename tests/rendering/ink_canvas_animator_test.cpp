// The onboarding ink animation: scripted opening drops, seeded random drops and stirs.
#include "rendering/styles/ink_canvas_animator.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace murmura;
using Kind = FluidSim::Splat::Kind;

namespace {
int dyeSplats(const InkCanvasAnimator::Frame& f) {
    int n = 0;
    for (const auto& s : f.splats) n += s.kind == Kind::dye;
    return n;
}
}  // namespace

TEST(InkCanvasAnimator, ConfigFollowsTheCanvas) {
    const FluidSim::Config c = InkCanvasAnimator::fluidConfig(96, 64);
    EXPECT_EQ(c.pressureIterations, 22);
    EXPECT_FLOAT_EQ(c.dyeDissipation, 0.028f);
    EXPECT_EQ(c.simResolution, 192);
    EXPECT_EQ(c.dyeResolution, 96);
    auto animator = InkCanvasAnimator::create(96, 64);
    ASSERT_TRUE(animator);
    EXPECT_EQ(animator->sim().dye().width(), 96);  // the canvas's own resolution
    EXPECT_EQ(animator->sim().dye().height(), 64);
    EXPECT_FALSE(InkCanvasAnimator::create(0, 64));
}

TEST(InkCanvasAnimator, FirstDropArrivesOnTheThirdFrame) {
    auto animator = InkCanvasAnimator::create(48, 32);
    ASSERT_TRUE(animator);
    const auto blank = animator->nextFrame(1.0f / 24);
    ASSERT_TRUE(blank);
    EXPECT_EQ(dyeSplats(animator->lastFrame()), 0);
    animator->nextFrame(1.0f / 24);
    EXPECT_EQ(dyeSplats(animator->lastFrame()), 0);
    const auto third = animator->nextFrame(1.0f / 24);
    ASSERT_EQ(dyeSplats(animator->lastFrame()), 1);
    const auto& ink = animator->lastFrame().splats[0];
    EXPECT_EQ(ink.point, (std::array<float, 2>{0.38f, 0.56f}));
    EXPECT_NEAR(ink.color[0], -std::log(0.102f) * 1.35f * 0.3f, 1e-5f);
    EXPECT_NEAR(ink.color[2], -std::log(0.122f) * 1.35f * 0.3f, 1e-5f);
    EXPECT_FLOAT_EQ(ink.radius, 0.0042f);
    const auto& push = animator->lastFrame().splats[1];
    EXPECT_EQ(push.kind, Kind::velocity);
    EXPECT_FLOAT_EQ(push.radius, 0.005f);
    const float m = std::hypot(push.color[0], push.color[1]);
    EXPECT_GE(m, 60.0f);
    EXPECT_LT(m, 130.0f);
    EXPECT_EQ(animator->opening().size(), 2u);
    EXPECT_NE(*third, *blank);
}

TEST(InkCanvasAnimator, LongFrameReleasesDueDropsButAdvancesOneTwentyFourth) {
    auto animator = InkCanvasAnimator::create(40, 30);
    ASSERT_TRUE(animator->nextFrame(5.0f));
    const auto& frame = animator->lastFrame();
    // Three opening drops and one random drop, two splats each, and one stir.
    EXPECT_EQ(dyeSplats(frame), 4);
    EXPECT_EQ(frame.splats.size(), 9u);
    EXPECT_EQ(frame.splats.back().kind, Kind::velocity);
    EXPECT_FLOAT_EQ(frame.splats.back().radius, 0.036f);
    EXPECT_FLOAT_EQ(frame.stepDt, 1.0f / 24);
    EXPECT_TRUE(animator->opening().empty());
    EXPECT_FLOAT_EQ(animator->time(), 5.0f);
    EXPECT_GE(animator->nextDrop(), 2.4f);
    EXPECT_LT(animator->nextDrop(), 4.4f);
    EXPECT_GE(animator->nextStir(), 0.7f);
    EXPECT_LT(animator->nextStir(), 1.6f);
    // The random drop lands within the middle of the canvas.
    const auto& random = frame.splats[6];
    EXPECT_EQ(random.kind, Kind::dye);
    EXPECT_GE(random.point[0], 0.18f);
    EXPECT_LT(random.point[0], 0.82f);
    EXPECT_GE(random.point[1], 0.22f);
    EXPECT_LT(random.point[1], 0.78f);
}

TEST(InkCanvasAnimator, SeededSequenceRepeats) {
    auto a = InkCanvasAnimator::create(40, 30), b = InkCanvasAnimator::create(40, 30);
    for (int i = 0; i < 120; ++i) {
        auto ia = a->nextFrame(1.0f / 24), ib = b->nextFrame(1.0f / 24);
        ASSERT_TRUE(ia && ib);
        ASSERT_EQ(a->lastFrame().splats, b->lastFrame().splats) << i;
        ASSERT_EQ(*ia, *ib) << i;
    }
    EXPECT_EQ(a->seed(), b->seed());
    EXPECT_NE(a->seed(), InkCanvasAnimator::kInitialSeed);
}

TEST(InkCanvasAnimator, AddDropAppliesAtOnceWithoutTime) {
    auto animator = InkCanvasAnimator::create(40, 30);
    const auto before = animator->nextFrame(0.0f);
    const uint64_t seed = animator->seed();
    animator->addDrop(std::nullopt, 1.1f);
    EXPECT_NE(animator->seed(), seed);  // place and push drawn
    EXPECT_EQ(animator->time(), 0.0f);
    EXPECT_EQ(animator->sim().profile().steps, 2);
    const auto after = animator->nextFrame(0.0f);
    EXPECT_NE(*after, *before);
    // A negative or non-finite frame time is no time at all.
    animator->nextFrame(-3.0f);
    animator->nextFrame(std::nanf(""));
    EXPECT_EQ(animator->time(), 0.0f);
}

TEST(InkCanvasAnimator, DropDrawsAngleAndPush) {
    auto animator = InkCanvasAnimator::create(40, 30);
    SplitMix64 rng(InkCanvasAnimator::kInitialSeed);
    const float theta = rng.nextUnitFloat() * 6.2831855f, push = rng.nextUnitFloat() * 70.0f + 60.0f;
    const auto splats = animator->drop({0.5f, 0.25f}, 2.0f);
    EXPECT_EQ(splats[0].kind, Kind::dye);
    EXPECT_NEAR(splats[0].color[1], -std::log(0.102f) * 0.6f, 1e-5f);
    EXPECT_NEAR(splats[1].color[0], std::cos(theta) * push, 1e-3f);
    EXPECT_NEAR(splats[1].color[1], std::sin(theta) * push, 1e-3f);
    EXPECT_EQ(splats[1].color[2], 0.0f);
}
