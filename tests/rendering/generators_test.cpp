#include "rendering/generators.h"

#include <gtest/gtest.h>

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
