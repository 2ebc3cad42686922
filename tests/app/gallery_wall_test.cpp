// The gallery wall's arithmetic: textures byte for byte, sizes and clamps, drag to focus, the
// light beam, the spring and the duration text.
#include <gtest/gtest.h>

#include <numeric>

#include "app/gallery_wall.h"
#include "support/random.h"

using namespace murmura;
using namespace murmura::wall;

namespace {

TEST(GalleryWall, TexturesStartOneGeneratorStepAfterTheSeed) {
    EXPECT_EQ(Lcg64().next(), 0x2CEAEE21BF46BC00ULL);
    // Expected bytes computed independently from the generator's definition.
    const auto grain = grainTexture();
    ASSERT_EQ(grain.size(), 160u * 160u);
    EXPECT_EQ(grain[0], 107);  // 96 + 64 * 0.17546 (the seed itself would give 96 + 64 * 0.6180 = 135)
    EXPECT_EQ(grain[1], 138);
    EXPECT_EQ(grain.back(), 108);
    EXPECT_EQ(std::accumulate(grain.begin(), grain.end(), 0ull), 3259122u);

    const auto wood = woodTexture();
    ASSERT_EQ(wood.size(), 240u * 80u * 3u);
    // Row 0: offset (0.17546 - 0.5) * 0.18 = -0.0584 from the once-advanced state.
    EXPECT_EQ((std::vector<int>{wood[0], wood[1], wood[2]}), (std::vector<int>{127, 109, 70}));
    const size_t row40 = 40 * 240 * 3;
    EXPECT_EQ((std::vector<int>{wood[row40], wood[row40 + 1], wood[row40 + 2]}), (std::vector<int>{206, 177, 113}));
    EXPECT_EQ(std::accumulate(wood.begin(), wood.end(), 0ull), 8452684u);
}

TEST(GalleryWall, FocusedPictureSizeAndAspectClamps) {
    EXPECT_EQ(clampedAspect(3.0), kMaxAspect);
    EXPECT_EQ(clampedAspect(0.2), kMinAspect);
    EXPECT_EQ(clampedAspect(1.6), 1.6);
    for (auto bad : {std::optional<double>{}, std::optional<double>{0.0}, std::optional<double>{-1.0},
                     std::optional<double>{std::nan("")}, aspectOf(0, 10)})
        EXPECT_EQ(clampedAspect(bad), kFallbackAspect);
    // 0.4 W within [220, 440]
    EXPECT_EQ(focusedPictureSize({1000, 2000}, 2.0), (Size{400, 200}));
    EXPECT_EQ(focusedPictureSize({400, 2000}, 2.0), (Size{220, 110}));
    EXPECT_EQ(focusedPictureSize({2000, 2000}, 2.0), (Size{440, 220}));
    // Too tall for 0.36 H = 180: reduced proportionally.
    const Size tall = focusedPictureSize({1000, 500}, 1.0);
    EXPECT_DOUBLE_EQ(tall.height, 180);
    EXPECT_DOUBLE_EQ(tall.width, 180);
    // Neighbours hang smaller, one pitch apart, on the same centre line.
    const Rect centre = pictureRect({1000, 1000}, 3, 3, 1.5), next = pictureRect({1000, 1000}, 3, 4, 1.5);
    EXPECT_DOUBLE_EQ(centre.x + centre.width / 2, 500);
    EXPECT_DOUBLE_EQ(next.x + next.width / 2 - 500, pitch({1000, 1000}));
    EXPECT_DOUBLE_EQ(next.width, kSideScale * centre.width);
    EXPECT_DOUBLE_EQ(next.y + next.height / 2, centre.y + centre.height / 2);
}

TEST(GalleryWall, DragMovesTheFocusByRoundedPitchesWithinTheRow) {
    const double p = 300;
    EXPECT_EQ(focusAfterDrag(5, -2.4 * p, p, 10), 7);  // dragged left: later pictures
    EXPECT_EQ(focusAfterDrag(5, 2.4 * p, p, 10), 3);
    EXPECT_EQ(focusAfterDrag(5, 2.6 * p, p, 10), 2);
    EXPECT_EQ(focusAfterDrag(5, 0.49 * p, p, 10), 5);
    EXPECT_EQ(focusAfterDrag(2, 40 * p, p, 10), 0);
    EXPECT_EQ(focusAfterDrag(7, -40 * p, p, 10), 9);
    EXPECT_EQ(focusAfterDrag(7, 1e300, p, 10), 0);
    EXPECT_EQ(focusAfterDrag(7, std::nan(""), p, 10), 7);
    EXPECT_EQ(focusAfterDrag(3, -p, p, 0), 0);  // empty wall
    EXPECT_EQ(clampFocus(4, 3), 2);
    EXPECT_EQ(clampFocus(-1, 3), 0);
    EXPECT_EQ(clampFocus(5, 0), 0);
    // The live row follows the pointer, and a third as fast past the ends.
    EXPECT_DOUBLE_EQ(dragPosition(5, -0.5 * p, p, 10), 5.5);
    EXPECT_DOUBLE_EQ(dragPosition(0, 3 * p, p, 10), -1);
    EXPECT_DOUBLE_EQ(dragPosition(9, -3 * p, p, 10), 10);
}

TEST(GalleryWall, LightConeCorners) {
    const auto c = LightCone::path({100, 50, 200, 400});
    EXPECT_DOUBLE_EQ(c[0].x, 193);
    EXPECT_DOUBLE_EQ(c[1].x, 207);
    EXPECT_DOUBLE_EQ(c[0].y, 34);
    EXPECT_DOUBLE_EQ(c[1].y, 34);
    EXPECT_DOUBLE_EQ(c[2].x, 238);
    EXPECT_DOUBLE_EQ(c[3].x, 162);
    EXPECT_DOUBLE_EQ(c[2].y, 314);
    EXPECT_DOUBLE_EQ(c[3].y, 314);
}

TEST(GalleryWall, SpringSettlesOnItsTarget) {
    EXPECT_EQ(springValue(0, 0.5, 0.85), 0);
    const double settle = springSettleTime(0.5, 0.85);
    EXPECT_NEAR(settle, 0.707, 0.001);
    EXPECT_NEAR(springValue(settle, 0.5, 0.85), 1, 1e-3);
    EXPECT_GT(springValue(0.25, 0.5, 0.85), 0.8);  // most of the way within half a response
    for (double t = settle; t < 3 * settle; t += 0.01) ASSERT_NEAR(springValue(t, 0.5, 0.85), 1, 1e-3) << t;
    EXPECT_NEAR(springValue(springSettleTime(0.5, 1.0), 0.5, 1.0), 1, 1e-3);
}

TEST(GalleryWall, DurationText) {
    EXPECT_EQ(durationText(245), "4 min 5 sec");
    EXPECT_EQ(durationText(299.7), "5 min 0 sec");
    EXPECT_EQ(durationText(0), "0 min 0 sec");
    EXPECT_EQ(durationText(1500), "25 min 0 sec");
    for (double absurd : {-1.0, std::nan(""), HUGE_VAL, 1e300, kLongestShownDuration + 1})
        EXPECT_EQ(durationText(absurd), "—") << absurd;
}

}  // namespace
