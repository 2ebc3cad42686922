#pragma once
// Small builders and readers of compute fields for the simulation tests.
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "rendering/simulation/compute.h"
#include "support/random.h"

namespace murmura::test {

// A w x h field whose channel c holds values[c] (row-major, row 0 first); an empty channel
// stays uniform at `fill[c]`.
inline compute::Field fieldOf(int32_t w, int32_t h, const std::vector<std::vector<float>>& values,
                              std::array<float, 4> fill = {0, 0, 0, 0}) {
    compute::Field f = *compute::Field::create(w, h);
    for (int c = 0; c < 4; ++c) {
        if (static_cast<size_t>(c) >= values.size() || values[c].empty()) {
            f.fill(c, fill[c]);
            continue;
        }
        f.beginWrite(c);
        for (int32_t y = 0; y < h; ++y) f.writeRow(c, y, values[c].data() + static_cast<size_t>(y) * w);
    }
    return f;
}

// The stored bits of every texel and channel, uniform channels included.
inline std::vector<uint16_t> bits(const compute::Field& f) {
    std::vector<uint16_t> out;
    for (int c = 0; c < 4; ++c)
        for (int32_t y = 0; y < f.height(); ++y)
            for (int32_t x = 0; x < f.width(); ++x) out.push_back(compute::toHalf(f.texel(x, y)[c]));
    return out;
}

// Random values, many of them exact texel-centre friendly, some tiny, some zero.
inline compute::Field randomField(int32_t w, int32_t h, uint64_t seed, float scale, bool allPlanes = true) {
    SplitMix64 rng(seed);
    std::vector<std::vector<float>> values(4);
    for (int c = 0; c < 4; ++c) {
        if (!allPlanes && c == 3) continue;
        for (int64_t i = 0; i < int64_t(w) * h; ++i) {
            const double r = rng.nextUnit();
            values[c].push_back(r < 0.1 ? 0.0f : r < 0.15 ? 1e-6f : static_cast<float>(scale * (2 * rng.nextUnit() - 1)));
        }
    }
    return fieldOf(w, h, values, {0, 0, 0, 1});
}

// Channel c of every texel, row-major, within half a half-float step (plus float noise) of `expected`.
inline void expectChannel(const compute::Field& f, int c, const std::vector<float>& expected, const char* what) {
    ASSERT_EQ(size_t(f.width()) * size_t(f.height()), expected.size()) << what;
    for (size_t i = 0; i < expected.size(); ++i) {
        const float want = expected[i], tolerance = std::max(std::fabs(want) * 0x1p-11f, 0x1p-25f) * 1.01f + 1e-6f * std::fabs(want);
        EXPECT_NEAR(f.texel(int32_t(i % size_t(f.width())), int32_t(i / size_t(f.width())))[c], want, tolerance)
            << what << " channel " << c << " texel " << i;
    }
}

}  // namespace murmura::test
