// The compute layer: the storage rule, conversions, field creation and display bytes. Sampling
// and uniform channels are exercised through the kernels' hand-checked values.
#include "rendering/simulation/compute.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/random.h"

using namespace murmura;
using compute::Field;

TEST(ComputeStorage, RoundsSaturatesAndStoresNoNegativeZero) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, float> cases[] = {
        {1.0f, 1.0f}, {0.1f, 0.0999755859375f}, {1.0f + 0x1p-11f, 1.0f} /* tie to even */,
        {1.0f + 3 * 0x1p-11f, 1.0f + 0x1p-9f}, {0x1p-24f, 0x1p-24f} /* smallest subnormal */,
        {1e6f, 65504.0f}, {-1e30f, -65504.0f}, {inf, 65504.0f}, {-inf, -65504.0f}};
    for (auto [in, out] : cases) EXPECT_EQ(compute::fromHalf(compute::toHalf(in)), out) << in;
    for (float zero : {-0.0f, -1e-9f, -0x1p-25f, 0x1p-25f}) EXPECT_EQ(compute::toHalf(zero), 0u) << zero;
    EXPECT_EQ(compute::toHalf(-0x1.01p-25f), 0x8001u);  // beyond the tie: -2^-24
}

TEST(ComputeStorage, RowConversionsMatchScalarOnes) {
    // Every finite half decodes alike in all three forms.
    std::vector<compute::Half> halves;
    for (uint32_t h = 0; h < 0x10000; ++h)
        if ((h & 0x7c00u) != 0x7c00u) halves.push_back(static_cast<compute::Half>(h));
    std::vector<float> decoded(halves.size());
    compute::decodeHalves(halves.data(), decoded.data(), halves.size());
    for (size_t i = 0; i < halves.size(); ++i) {
        const float scalar = compute::fromHalf(halves[i]);
        ASSERT_EQ(std::bit_cast<uint32_t>(decoded[i]), std::bit_cast<uint32_t>(scalar)) << halves[i];
        ASSERT_EQ(std::bit_cast<uint32_t>(compute::widenHalf(halves[i])), std::bit_cast<uint32_t>(scalar)) << halves[i];
    }
    // Encoding: random floats of all magnitudes and the special cases.
    std::vector<float> floats = {0.0f, -0.0f, 0x1p-25f, -0x1p-25f, 0x1.8p-25f, 65504.0f, 65519.0f, 65520.0f, 1e9f, -1e9f,
                                 std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(),
                                 -1e-9f, -0x1.01p-25f, 0x1.01p-25f, std::numeric_limits<float>::quiet_NaN()};
    SplitMix64 rng(5);
    for (int i = 0; i < 100000; ++i)
        floats.push_back(static_cast<float>((rng.nextUnit() - 0.5) * std::pow(2.0, 60 * rng.nextUnit() - 40)));
    std::vector<compute::Half> encoded(floats.size());
    compute::encodeHalves(floats.data(), encoded.data(), floats.size());
    std::vector<float> rounded = floats;
    compute::roundToStorage(rounded.data(), rounded.size());
    for (size_t i = 0; i < floats.size(); ++i) {
        ASSERT_EQ(encoded[i], compute::toHalf(floats[i])) << floats[i];
        ASSERT_EQ(std::bit_cast<uint32_t>(rounded[i]), std::bit_cast<uint32_t>(compute::fromHalf(encoded[i]))) << floats[i];
    }
}

TEST(ComputeField, CreationZeroesAndRefusesBadSizes) {
    auto f = Field::create(3, 2);
    ASSERT_TRUE(f);
    for (int c = 0; c < 4; ++c) EXPECT_TRUE(f->isUniform(c) && f->texel(2, 1)[c] == 0.0f);
    EXPECT_FALSE(Field::create(0, 5));
    EXPECT_FALSE(Field::create(5, -1));
    EXPECT_FALSE(Field::create(Field::kMaxSide + 1, 1));
    EXPECT_FALSE(Field::create(Field::kMaxSide, Field::kMaxSide));  // over the texel limit
}

TEST(ComputeDisplay, BytesRoundToEvenAndClamp) {
    const std::pair<float, int> bytes[] = {{0.0f, 0},  {1.0f, 255}, {2.0f, 255}, {-1.0f, 0}, {0.5f, 128} /* 127.5 to even */,
                                           {100.4f / 255.0f, 100}, {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (auto [v, byte] : bytes) EXPECT_EQ(compute::toUnorm8(v), byte) << v;
}
