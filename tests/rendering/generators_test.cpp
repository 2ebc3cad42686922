#include "rendering/generators.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace murmura;

TEST(Generators, KthDrawMatchesSequentialGenerator) {
    SplitMix64 g(0x2F6B1A93);
    for (uint64_t k = 1; k <= 5; ++k) EXPECT_EQ(gen::rawDraw(0x2F6B1A93, k), g.next()) << k;
}

TEST(Generators, UnitForms) {
    EXPECT_EQ(gen::unit53(0), 0.0);
    EXPECT_EQ(gen::unit53(~0ULL), 1.0 - 0x1.0p-53);
    EXPECT_EQ(gen::unit24(~0ULL), 1.0f - 0x1.0p-24f);
    EXPECT_EQ(gen::unit24(1ULL << 40), 0x1.0p-24f);
}

TEST(Generators, ShadingHelpers) {
    EXPECT_EQ(gen::smoothstep(0.0, 1.0, 0.5), 0.5);
    EXPECT_EQ(gen::smoothstep(0.2, 0.4, 0.1), 0.0);
    EXPECT_EQ(gen::smoothstep(0.2, 0.4, 0.9), 1.0);
    EXPECT_NEAR(gen::smoothstep(0.0, 2.0, 0.5), 0.15625, 1e-12);  // t = 0.25
    EXPECT_EQ(gen::mix(2.0, 4.0, 0.25), 2.5);
    EXPECT_NEAR(gen::fract(-0.25), 0.75, 1e-15);
    // fract(sin(127.1 + 311.7) * 43758.5453) computed independently.
    EXPECT_NEAR(gen::sineHash(1.0, 1.0), 0.10468242550996365, 1e-6);
}

TEST(Generators, PositionHashOfQuarterUnits) {
    // Values computed independently (python, arbitrary-precision integers masked to 64 bits).
    EXPECT_EQ(gen::positionHash(19975, 940, 500), 17241712581224182339ULL);
    // Negative coordinates wrap; 4 x 1.1 = 4.4 rounds to 4, 4 x -2.6 to -10.
    EXPECT_EQ(gen::positionHash(45297, 1.1, -2.6), 8321347814027823551ULL);
    // Halves round away from zero: 0.5 -> 1, 1.5 -> 2.
    EXPECT_EQ(gen::positionHash(1958, Point{0.125, 0.375}), 13233543003739659264ULL);
    EXPECT_EQ(gen::positionHash(1958, 0.125, 0.375), gen::positionHash(1958, 0.25, 0.5));
    EXPECT_NE(gen::positionHash(1958, 0.125, 0.375), gen::positionHash(1959, 0.125, 0.375));
    // Out-of-range input is defined.
    EXPECT_EQ(gen::positionHash(1, std::nan(""), 0), gen::positionHash(1, 0, 0));
    EXPECT_EQ(gen::roundedWord(1e300), static_cast<uint64_t>(INT64_MAX));
    EXPECT_EQ(gen::roundedWord(-2.5), static_cast<uint64_t>(-3));
}

TEST(Generators, SmoothSegmentControlPoints) {
    const std::vector<Point> q{{0, 0}, {6, 0}, {12, 6}, {12, 18}};
    // Interior segment 1: (6,0) + ((12,6) - (0,0)) / 6 and (12,6) - ((12,18) - (6,0)) / 6.
    const gen::CubicSegment s1 = gen::smoothSegment(q, 1);
    EXPECT_EQ(s1.start, (Point{6, 0}));
    EXPECT_EQ(s1.control1, (Point{8, 1}));
    EXPECT_EQ(s1.control2, (Point{11, 3}));
    EXPECT_EQ(s1.end, (Point{12, 6}));
    // First segment: the previous point clamps to q[0].
    const gen::CubicSegment s0 = gen::smoothSegment(q, 0);
    EXPECT_EQ(s0.control1, (Point{1, 0}));
    EXPECT_EQ(s0.control2, (Point{4, -1}));
    // Last segment: the point after clamps to the end.
    const gen::CubicSegment s2 = gen::smoothSegment(q, 2);
    EXPECT_EQ(s2.control1, (Point{13, 9}));
    EXPECT_EQ(s2.control2, (Point{12, 18 - 2}));
    // Two points: a straight segment with controls at thirds.
    const std::vector<Point> two{{0, 0}, {9, 3}};
    const gen::CubicSegment s = gen::smoothSegment(two, 0);
    EXPECT_EQ(s.control1, (Point{1.5, 0.5}));
    EXPECT_EQ(s.control2, (Point{7.5, 2.5}));
}
