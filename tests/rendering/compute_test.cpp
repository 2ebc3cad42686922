// The compute layer: fields, the storage rule, conversions, sampling and the display field.
#include "rendering/simulation/compute.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/rendering/field_test_util.h"

using namespace murmura;
using compute::Field;

TEST(ComputeStorage, RoundsToNearestHalf) {
    EXPECT_EQ(compute::fromHalf(compute::toHalf(1.0f)), 1.0f);
    EXPECT_EQ(compute::fromHalf(compute::toHalf(0.1f)), 0.0999755859375f);
    EXPECT_EQ(compute::fromHalf(compute::toHalf(1.0f + 0x1p-11f)), 1.0f);  // tie to even
    EXPECT_EQ(compute::fromHalf(compute::toHalf(1.0f + 3 * 0x1p-11f)), 1.0f + 0x1p-9f);
    EXPECT_EQ(compute::fromHalf(compute::toHalf(0x1p-24f)), 0x1p-24f);  // smallest subnormal
}

TEST(ComputeStorage, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(compute::fromHalf(compute::toHalf(1e6f)), 65504.0f);
    EXPECT_EQ(compute::fromHalf(compute::toHalf(-1e30f)), -65504.0f);
    EXPECT_EQ(compute::fromHalf(compute::toHalf(std::numeric_limits<float>::infinity())), 65504.0f);
}

TEST(ComputeStorage, StoresNoNegativeZero) {
    EXPECT_EQ(compute::toHalf(-0.0f), 0u);
    EXPECT_EQ(compute::toHalf(-1e-9f), 0u);
    EXPECT_EQ(compute::toHalf(-0x1p-25f), 0u);  // the tie rounds to zero
    EXPECT_EQ(compute::toHalf(0x1p-25f), 0u);
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
                                 std::numeric_limits<float>::denorm_min()};
    SplitMix64 rng(5);
    for (int i = 0; i < 100000; ++i)
        floats.push_back(static_cast<float>((rng.nextUnit() - 0.5) * std::pow(2.0, 60 * rng.nextUnit() - 40)));
    std::vector<compute::Half> encoded(floats.size());
    compute::encodeHalves(floats.data(), encoded.data(), floats.size());
    for (size_t i = 0; i < floats.size(); ++i) ASSERT_EQ(encoded[i], compute::toHalf(floats[i])) << floats[i];
}

TEST(ComputeField, CreationZeroesAndRefusesBadSizes) {
    auto f = Field::create(3, 2);
    ASSERT_TRUE(f);
    for (int c = 0; c < 4; ++c) {
        EXPECT_TRUE(f->isUniform(c));
        EXPECT_EQ(f->texel(2, 1)[c], 0.0f);
    }
    EXPECT_FALSE(Field::create(0, 5));
    EXPECT_FALSE(Field::create(5, -1));
    EXPECT_FALSE(Field::create(Field::kMaxSide + 1, 1));
    EXPECT_FALSE(Field::create(Field::kMaxSide, Field::kMaxSide));  // over the texel limit
}

TEST(ComputeField, UniformChannelsReadLikeFilledPlanes) {
    Field f = *Field::create(4, 3);
    f.fill(1, 0.3f);
    const float stored = compute::fromHalf(compute::toHalf(0.3f));
    EXPECT_EQ(f.uniformValue(1), stored);
    EXPECT_EQ(f.texel(3, 2).y, stored);
    f.materialize(1);
    EXPECT_FALSE(f.isUniform(1));
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(compute::fromHalf(f.row(1, y)[x]), stored);
    std::vector<float> row(6);
    f.readRowPadded(1, 0, row.data());
    for (float v : row) EXPECT_EQ(v, stored);
}

TEST(ComputeField, TexelReadsClampToTheEdge) {
    const Field f = test::fieldOf(2, 2, {{1.0f, 2.0f, 3.0f, 4.0f}, {}, {}, {}});
    EXPECT_EQ(f.texel(-5, 0).x, 1.0f);
    EXPECT_EQ(f.texel(9, 0).x, 2.0f);
    EXPECT_EQ(f.texel(1, 7).x, 4.0f);
    std::vector<float> padded(4);
    f.readRowPadded(0, 1, padded.data());
    EXPECT_EQ(padded, (std::vector<float>{3, 3, 4, 4}));
}

TEST(ComputeField, SampleIsBilinearWithClampToEdge) {
    const Field f = test::fieldOf(2, 2, {{1.0f, 2.0f, 3.0f, 5.0f}, {}, {}, {}});
    EXPECT_EQ(f.sample(0.25f, 0.25f).x, 1.0f);   // texel centre
    EXPECT_EQ(f.sample(0.5f, 0.5f).x, 2.75f);    // middle of four texels
    EXPECT_EQ(f.sample(0.5f, 0.25f).x, 1.5f);    // between the top two
    EXPECT_EQ(f.sample(-3.0f, 0.75f).x, 3.0f);   // clamped to the left edge, bottom row
    EXPECT_EQ(f.sample(0.75f, 9.0f).x, 5.0f);
    // A uniform channel samples as its value everywhere.
    EXPECT_EQ(f.sample(0.37f, 0.61f).w, 0.0f);
}

TEST(ComputeDisplay, ReadsBackAsOpaqueSrgbImage) {
    auto d = compute::DisplayField::create(3, 2);
    ASSERT_TRUE(d);
    d->row(1)[4] = 200;
    d->row(1)[7] = 255;
    auto image = d->readBack();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 3);
    EXPECT_EQ(image->height(), 2);
    EXPECT_EQ(image->colorSpace(), ColorSpace::sRGB);
    EXPECT_EQ(image->pixel(1, 1)[0], 200);
    EXPECT_FALSE(compute::DisplayField::create(0, 2));
    EXPECT_FALSE(compute::DisplayField::create(RgbaImage::kMaxSide + 1, 2));
}

TEST(ComputeDisplay, UnormConversionRoundsAndClamps) {
    EXPECT_EQ(compute::toUnorm8(0.0f), 0);
    EXPECT_EQ(compute::toUnorm8(1.0f), 255);
    EXPECT_EQ(compute::toUnorm8(2.0f), 255);
    EXPECT_EQ(compute::toUnorm8(-1.0f), 0);
    EXPECT_EQ(compute::toUnorm8(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(compute::toUnorm8(0.5f), 128);  // 127.5 to even
    EXPECT_EQ(compute::toUnorm8(100.4f / 255.0f), 100);
}
