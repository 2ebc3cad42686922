#include "rendering/generators.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using namespace murmura;

TEST(Generators, DrawsUnitFormsAndShadingHelpers) {
    SplitMix64 g(0x2F6B1A93);
    for (uint64_t k = 1; k <= 5; ++k) EXPECT_EQ(gen::rawDraw(0x2F6B1A93, k), g.next()) << k;
    EXPECT_EQ(gen::unit53(0), 0.0);
    EXPECT_EQ(gen::unit53(~0ULL), 1.0 - 0x1.0p-53);
    EXPECT_TRUE(gen::unit24(~0ULL) == 1.0f - 0x1.0p-24f && gen::unit24(1ULL << 40) == 0x1.0p-24f);
    EXPECT_TRUE(gen::smoothstep(0.0, 1.0, 0.5) == 0.5 && gen::smoothstep(0.2, 0.4, 0.1) == 0.0 &&
                gen::smoothstep(0.2, 0.4, 0.9) == 1.0);
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
    // Interior segment 1: (6,0) + ((12,6) - (0,0)) / 6 and (12,6) - ((12,18) - (6,0)) / 6; at the
    // ends the missing neighbour clamps to the end point; two points give controls at thirds.
    const std::vector<Point> q{{0, 0}, {6, 0}, {12, 6}, {12, 18}}, two{{0, 0}, {9, 3}};
    const std::tuple<const std::vector<Point>*, size_t, gen::CubicSegment> cases[] = {
        {&q, 1, {{6, 0}, {8, 1}, {11, 3}, {12, 6}}},
        {&q, 0, {{0, 0}, {1, 0}, {4, -1}, {6, 0}}},
        {&q, 2, {{12, 6}, {13, 9}, {12, 16}, {12, 18}}},
        {&two, 0, {{0, 0}, {1.5, 0.5}, {7.5, 2.5}, {9, 3}}}};
    for (const auto& [points, i, want] : cases) {
        const gen::CubicSegment s = gen::smoothSegment(*points, i);
        EXPECT_TRUE(s.start == want.start && s.control1 == want.control1 && s.control2 == want.control2 && s.end == want.end)
            << i << " " << s.control1.x << "," << s.control1.y << " " << s.control2.x << "," << s.control2.y;
    }
}

TEST(Generators, ValueNoiseInFloatAndItsLattice) {
    // The float32 sine hash and value noise, evaluated independently (float32 arithmetic emulated).
    EXPECT_NEAR(gen::sineHash(1.0f, 1.0f), 0.5195312f, 1e-6f);
    EXPECT_NEAR(gen::sineHash(3.0f, 0.0f), 0.9335938f, 1e-6f);
    EXPECT_EQ(gen::valueNoise(3.0f, 0.0f), gen::sineHash(3.0f, 0.0f));  // lattice points are the hash
    const std::pair<std::pair<float, float>, float> noise[] = {
        {{0.25f, 0.75f}, 0.3641376f}, {{3.5f, 1.25f}, 0.7100601f}, {{17.3f, 42.9f}, 0.637796f},
        {{208.125f, 101.5f}, 0.5555811f}};
    for (auto [at, value] : noise) EXPECT_NEAR(gen::valueNoise(at.first, at.second), value, 5e-3f) << at.first;
    const gen::ValueNoiseLattice lattice(60);
    SplitMix64 rng(9);
    for (int i = 0; i < 5000; ++i) {
        const float x = static_cast<float>(rng.nextUnit() * 60), y = static_cast<float>(rng.nextUnit() * 60);
        ASSERT_EQ(lattice.at(x, y), gen::valueNoise(x, y)) << x << ", " << y;
    }
    EXPECT_EQ(lattice.at(59.999f, 59.999f), gen::valueNoise(59.999f, 59.999f));
}

TEST(Generators, BilinearTapReadsTexelCentresExactlyClampsAndQuantises) {
    // Every texel centre, and one texel to either side as the kernels compute neighbours, reads
    // one texel with no weight.
    for (int32_t size : {1, 2, 3, 7, 455, 720, 1280, 2160, 3840, 8192})
        for (int32_t i = 0; i < size; i += std::max(1, size / 97))
            for (int32_t step : {-1, 0, 1}) {
                const float centre = (float(i) + 0.5f) / float(size);
                const gen::Tap t = gen::bilinearTap(centre + float(step) / float(size), size);
                ASSERT_TRUE(t.i0 == std::clamp(i + step, 0, size - 1) && t.f == 0.0f) << size << " " << i << " " << step;
            }
    // Halfway between texels 1 and 2 of 4; weights are multiples of 1/256 (0.3 texels past texel 0
    // is 77/256); left of the first centre and right of the last read the edge texel.
    const std::tuple<float, int32_t, int32_t, float> cases[] = {
        {0.5f, 1, 2, 0.5f}, {(0.5f + 0.3f) / 4.0f, 0, 1, 77.0f / 256.0f}, {0.05f, 0, 0, NAN}, {0.99f, 3, 3, NAN}};
    for (auto [coord, i0, i1, f] : cases) {
        const gen::Tap t = gen::bilinearTap(coord, 4);
        EXPECT_TRUE(t.i0 == i0 && t.i1 == i1 && (std::isnan(f) || t.f == f)) << coord;
    }
    for (float far : {-1e30f, 1e30f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
        const gen::Tap t = gen::bilinearTap(far, 4);
        EXPECT_TRUE(t.i0 == t.i1 && (t.i0 == 0 || t.i0 == 3)) << far;
    }
    EXPECT_EQ(gen::bilinear(1.0f, 2.0f, 3.0f, 5.0f, 0.5f, 0.5f), 2.75f);  // (1 + 3) / 2 and (2 + 5) / 2, then mixed
}

TEST(Generators, ExpLogPowAreAccurate) {
    for (float x = -87.0f; x <= 88.0f; x += 0.0137f) {
        const double e = std::exp(double(x));
        ASSERT_NEAR(gen::exp32(x), e, e * 2.5e-7) << x;
    }
    EXPECT_EQ(gen::exp32(0.0f), 1.0f);
    EXPECT_GT(gen::exp32(-1000.0f), 0.0f);
    EXPECT_LT(gen::exp32(-1000.0f), 1e-37f);
    for (float x = 1e-30f; x < 1e30f; x *= 1.37f) {
        const double l = std::log(double(x));
        ASSERT_NEAR(gen::log32(x), l, std::max(std::fabs(l), 1.0) * 2.5e-7) << x;
    }
    for (float x : {1e-8f, 0.001f, 0.2f, 0.5f, 0.9375f, 1.0f}) {
        for (float y : {0.15f, 0.18f, 2.0f}) {
            const double p = std::pow(double(x), double(y));
            EXPECT_NEAR(gen::pow32(x, y), p, p * 1e-6) << x << "^" << y;
        }
    }
    EXPECT_EQ(gen::pow32(0.0f, 0.18f), 0.0f);
}
