#include "support/random.h"

#include <gtest/gtest.h>

using namespace murmura;

TEST(SplitMix64, MatchesPublishedReferenceSequence) {
    // Reference values of the published generator for seed 1234567.
    SplitMix64 g(1234567);
    EXPECT_EQ(g.next(), 6457827717110365317ULL);
    EXPECT_EQ(g.next(), 3203168211198807973ULL);
    EXPECT_EQ(g.next(), 9817491932198370423ULL);
    EXPECT_EQ(g.next(), 4593380528125082431ULL);
    EXPECT_EQ(g.next(), 16408922859458223821ULL);
}

TEST(SplitMix64, PureStepEqualsGeneratorStep) {
    SplitMix64 g(99);
    EXPECT_EQ(splitMix(99), g.next());
    EXPECT_EQ(g.state(), 99 + kSplitMixGamma);
}

TEST(SplitMix64, UnitValuesStayInRange) {
    SplitMix64 g(7);
    for (int i = 0; i < 10000; ++i) {
        double u = g.nextUnit();
        float f = g.nextUnitFloat();
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 1.0);
        ASSERT_GE(f, 0.0f);
        ASSERT_LT(f, 1.0f);
    }
}

TEST(SplitMix64, GaussianHasUnitMoments) {
    SplitMix64 g(11);
    double sum = 0, sumSq = 0;
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        double x = g.nextGaussian();
        sum += x;
        sumSq += x * x;
    }
    EXPECT_NEAR(sum / n, 0.0, 0.01);
    EXPECT_NEAR(sumSq / n, 1.0, 0.02);
}
