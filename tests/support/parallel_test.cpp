#include "support/parallel.h"

#include <gtest/gtest.h>

#include <vector>

using namespace murmura;

TEST(ParallelFor, CoversEveryIndexExactlyOnce) {
    std::vector<int> hits(10007, 0);
    parallelFor(0, static_cast<int64_t>(hits.size()), 64, [&](int64_t begin, int64_t end) {
        for (int64_t i = begin; i < end; ++i) hits[static_cast<size_t>(i)] += 1;
    });
    for (int h : hits) ASSERT_EQ(h, 1);
    int calls = 0;
    parallelFor(5, 5, [&](int64_t, int64_t) { ++calls; });
    EXPECT_EQ(calls, 0);
}
