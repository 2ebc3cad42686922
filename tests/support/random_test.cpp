#include "support/random.h"

#include <gtest/gtest.h>

using namespace murmura;

TEST(SplitMix64, MatchesPublishedReferenceSequence) {
    SplitMix64 g(1234567);
    for (uint64_t expected : {6457827717110365317ULL, 3203168211198807973ULL, 9817491932198370423ULL,
                              4593380528125082431ULL, 16408922859458223821ULL})
        EXPECT_EQ(g.next(), expected);
    SplitMix64 h(99);
    EXPECT_EQ(splitMix(99), h.next());
    EXPECT_EQ(h.state(), 99 + kSplitMixGamma);
}

TEST(SplitMix64, UnitValuesInRangeAndGaussianHasUnitMoments) {
    SplitMix64 g(11);
    double sum = 0, sumSq = 0;
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        const double u = g.nextUnit();
        const float f = g.nextUnitFloat();
        ASSERT_TRUE(u >= 0.0 && u < 1.0 && f >= 0.0f && f < 1.0f) << i;
        const double x = g.nextGaussian();
        sum += x;
        sumSq += x * x;
    }
    EXPECT_NEAR(sum / n, 0.0, 0.01);
    EXPECT_NEAR(sumSq / n, 1.0, 0.02);
}
