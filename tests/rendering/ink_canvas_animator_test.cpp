// The onboarding ink animation: scripted opening drops, seeded random drops and stirs.
#include "rendering/ink_canvas_animator.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace murmura;
using Kind = FluidSim::Splat::Kind;

namespace {
int dyeSplats(const InkCanvasAnimator::Frame& f) {
    return static_cast<int>(std::count_if(f.splats.begin(), f.splats.end(), [](auto& s) { return s.kind == Kind::dye; }));
}
}  // namespace

TEST(InkCanvasAnimator, FirstDropArrivesOnTheThirdFrame) {
    EXPECT_FALSE(InkCanvasAnimator::create(0, 64));
    auto animator = InkCanvasAnimator::create(48, 32);
    ASSERT_TRUE(animator);
    EXPECT_TRUE(animator->sim().dye().width() == 48 && animator->sim().dye().height() == 32);  // canvas resolution
    const auto blank = animator->nextFrame(1.0f / 24);
    ASSERT_TRUE(blank);
    EXPECT_EQ(dyeSplats(animator->lastFrame()), 0);
    EXPECT_TRUE(animator->nextFrame(1.0f / 24) && dyeSplats(animator->lastFrame()) == 0);
    const auto third = animator->nextFrame(1.0f / 24);
    ASSERT_EQ(dyeSplats(animator->lastFrame()), 1);
    EXPECT_EQ(animator->lastFrame().splats[0].point, (std::array<float, 2>{0.38f, 0.56f}));
    EXPECT_EQ(animator->opening().size(), 2u);
    EXPECT_NE(*third, *blank);
}

TEST(InkCanvasAnimator, DropIsSumiWithADrawnPush) {
    SplitMix64 rng(InkCanvasAnimator::kInitialSeed);
    const float theta = rng.nextUnitFloat() * 6.2831855f, push = rng.nextUnitFloat() * 70.0f + 60.0f;
    const auto splats = InkCanvasAnimator::create(40, 30)->drop({0.5f, 0.25f}, 2.0f);
    EXPECT_TRUE(splats[0].kind == Kind::dye && splats[1].kind == Kind::velocity);
    EXPECT_NEAR(splats[0].color[2], -std::log(0.122f) * 0.6f, 1e-5f);  // sumi absorbance
    EXPECT_NEAR(splats[1].color[0], std::cos(theta) * push, 1e-3f);
    EXPECT_NEAR(splats[1].color[1], std::sin(theta) * push, 1e-3f);
}

TEST(InkCanvasAnimator, LongFrameReleasesDueDropsButAdvancesOneTwentyFourth) {
    auto animator = InkCanvasAnimator::create(40, 30);
    ASSERT_TRUE(animator->nextFrame(5.0f));
    const auto& frame = animator->lastFrame();
    // Three opening drops and one random drop, two splats each, and one stir.
    EXPECT_EQ(dyeSplats(frame), 4);
    EXPECT_EQ(frame.splats.size(), 9u);
    EXPECT_FLOAT_EQ(frame.splats.back().radius, 0.036f);
    EXPECT_FLOAT_EQ(frame.stepDt, 1.0f / 24);
    EXPECT_FLOAT_EQ(animator->time(), 5.0f);
    EXPECT_TRUE(animator->nextDrop() >= 2.4f && animator->nextDrop() < 4.4f) << animator->nextDrop();
    EXPECT_TRUE(animator->nextStir() >= 0.7f && animator->nextStir() < 1.6f) << animator->nextStir();
    const auto& random = frame.splats[6];  // lands within the middle of the canvas
    EXPECT_TRUE(random.point[0] >= 0.18f && random.point[0] < 0.82f && random.point[1] >= 0.22f && random.point[1] < 0.78f);
}

TEST(InkCanvasAnimator, SeededSequenceRepeats) {
    auto a = InkCanvasAnimator::create(40, 30), b = InkCanvasAnimator::create(40, 30);
    for (int i = 0; i < 120; ++i) {
        auto ia = a->nextFrame(1.0f / 24), ib = b->nextFrame(1.0f / 24);
        ASSERT_TRUE(ia && ib);
        ASSERT_EQ(a->lastFrame().splats, b->lastFrame().splats) << i;
        ASSERT_EQ(*ia, *ib) << i;
    }
    EXPECT_NE(a->seed(), InkCanvasAnimator::kInitialSeed);
}

TEST(InkCanvasAnimator, AddDropAppliesAtOnceWithoutTime) {
    auto animator = InkCanvasAnimator::create(40, 30);
    const auto before = animator->nextFrame(0.0f);
    const uint64_t seed = animator->seed();
    animator->addDrop(std::nullopt, 1.1f);
    EXPECT_NE(animator->seed(), seed);  // place and push drawn
    EXPECT_EQ(animator->sim().profile().steps, 2);
    EXPECT_NE(*animator->nextFrame(0.0f), *before);
    // A negative or non-finite frame time is no time at all.
    animator->nextFrame(-3.0f);
    animator->nextFrame(std::nanf(""));
    EXPECT_EQ(animator->time(), 0.0f);
}
