// The emissive field (sizes, peak rule, fast kernels against the per-texel forms) and Neon's dots.
#include "rendering/styles/neon.h"

#include <gtest/gtest.h>

#include "field_test_util.h"
#include "style_test_util.h"
#include "tests/test_events.h"

using namespace murmura;
using GridSize = emissive::Size;

namespace {

TEST(EmissiveSizes, LongSideThenProportionalThenHalved) {
    const std::tuple<int64_t, int64_t, int64_t, GridSize, GridSize> cases[] = {
        {1920, 1080, 1280, {1280, 720}, {640, 360}}, {1080, 1920, 1280, {720, 1280}, {360, 640}},
        {2880, 1800, 128, {128, 80}, {64, 40}},      {1000, 3, 1280, {1280, 4}, {640, 2}},
        {1, 1, 1, {1, 1}, {1, 1}}};
    for (const auto& [w, h, res, field, half] : cases) {
        EXPECT_EQ(emissive::fieldSize(w, h, res), field) << w << "x" << h;
        EXPECT_EQ(emissive::halfSize(field), half) << w << "x" << h;
    }
}

TEST(EmissivePeak, PercentileFloorAndNothingPositive) {
    EXPECT_EQ(emissive::peakOf(std::vector<float>{0, -2, 0.7f}), 0.7f);  // n = 1: that value
    EXPECT_EQ(emissive::peakOf(std::vector<float>{1e-6f, 2e-6f}), 1e-4f);
    EXPECT_EQ(emissive::peakOf(std::vector<float>{0, -1}), 1.0f);
    std::vector<float> ramp;
    for (int i = 1000; i >= 1; --i) ramp.push_back(float(i));
    EXPECT_EQ(emissive::peakOf(ramp), 986.0f);  // k = min(999, 985)
}

TEST(EmissiveKernels, FastFormsEqualPerTexelForms) {
    compute::Workspace ws;
    for (const auto& [w, h] : std::vector<std::pair<int32_t, int32_t>>{{37, 23}, {16, 40}, {1, 1}}) {
        const compute::Field src = test::randomField(w, h, uint64_t(w) * 31 + h, 3.0f);
        const GridSize half = emissive::halfSize({w, h}), stats{std::max(w / 3, 1), std::max(h / 3, 1)};
        compute::Field fast = *compute::Field::create(half.width, half.height), ref = *compute::Field::create(half.width, half.height);
        emissive::nCopy(src, fast, ws);
        emissive::reference::nCopy(src, ref, ws);
        EXPECT_EQ(test::bits(fast), test::bits(ref)) << "copy " << w;
        compute::Field blurFast = *compute::Field::create(w, h), blurRef = *compute::Field::create(w, h);
        for (const auto& [dx, dy] : std::vector<std::pair<float, float>>{{1.45f / w, 0}, {0, 1.45f / h}}) {
            emissive::nBlur(src, blurFast, dx, dy, ws);
            emissive::reference::nBlur(src, blurRef, dx, dy, ws);
            EXPECT_EQ(test::bits(blurFast), test::bits(blurRef)) << "blur " << w << " " << dx;
        }
        emissive::StatsPlane heatFast{stats, {}}, heatRef{stats, {}};
        emissive::nHeat(src, fast, heatFast, 0.64f, 1.12f, ws);
        emissive::reference::nHeat(src, fast, heatRef, 0.64f, 1.12f);
        EXPECT_EQ(heatFast.heat, heatRef.heat);
        auto a = *compute::DisplayField::create(w * 3 + 1, h * 2), b = *compute::DisplayField::create(w * 3 + 1, h * 2);
        const emissive::CompositeParams p{{0.02f, 0.02f, 0.032f}, 0.64f, 1.12f, 2.1f, 0.8f};
        emissive::nComposite(src, fast, a, p, ws);
        emissive::reference::nComposite(src, fast, b, p);
        EXPECT_EQ(a.readBack()->byteCount(), b.readBack()->byteCount());
        EXPECT_TRUE(*a.readBack() == *b.readBack()) << "composite " << w;
    }
}

TEST(EmissiveSim, NegativeBlurPassesCountAsNone) {
    std::vector<RgbaImage> images;
    for (int64_t passes : {-3, 0}) {
        EmissiveSim::Config config = neon::simConfig();
        config.blurPasses = passes;
        config.emissiveRes = 64;
        auto sim = EmissiveSim::create(80, 50, config);
        const EmissiveSim::Splat splat{{0.3f, 0.4f}, {1.0f, 0, 0}, 0.004f};
        sim->applySplats({&splat, 1});
        images.push_back(*sim->renderImage());
    }
    EXPECT_TRUE(images[0] == images[1]);
    EXPECT_FALSE(EmissiveSim::create(80, 50, EmissiveSim::Config{}));  // no emissive resolution
}

MaterializedSegment seg(SegmentType type, std::vector<RawEvent> events, double opacity = 1, double width = 12) {
    return test::segmentOf(std::move(events), opacity, width, type);
}

RawEvent key(double t) { return test::event(EventType::keyDown, t, std::nullopt); }

TEST(NeonDots, StrideKindsAndClamps) {
    std::vector<RawEvent> moves(neon::kMaxSplats - 1, test::move(0, 10, 20));
    std::vector<MaterializedSegment> s{seg(SegmentType::moving, moves)};
    EXPECT_EQ(neon::stride(s), 1);
    moves.resize(2 * neon::kMaxSplats, test::move(0, 10, 20));
    s[0] = seg(SegmentType::moving, moves);
    EXPECT_EQ(neon::stride(s), 2);
    EXPECT_EQ(neon::dots(s, 100, 100).size(), size_t(neon::kMaxSplats));  // events 0, 2, 4, ...
    const std::vector<MaterializedSegment> mixed{
        seg(SegmentType::moving, {test::move(0, 50, 25), test::drag(1, 10, 10)}, 0, 0),
        seg(SegmentType::discrete, {key(2), test::down(3, 80, 40), test::up(4, 60, 40)}, 1, 60),
        seg(SegmentType::discrete, {key(5), key(6)})};
    const auto d = neon::dots(mixed, 100, 50);
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].kind, neon::Kind::hover);
    EXPECT_FLOAT_EQ(d[0].heat, 0.187f);
    EXPECT_FLOAT_EQ(d[0].radius, 0.0062f * 0.7f);
    EXPECT_EQ(d[0].x, 0.5f);
    EXPECT_EQ(d[0].y, 0.5f);
    EXPECT_EQ(d[1].kind, neon::Kind::contact);
    EXPECT_EQ(d[2].kind, neon::Kind::drop);
    EXPECT_FLOAT_EQ(d[2].heat, 1.68f);
    EXPECT_EQ(d[2].x, 0.8f);
    EXPECT_FLOAT_EQ(d[2].radius, 0.0093f * 2.2f);
    EXPECT_FLOAT_EQ(neon::splats(d)[2].radius, 0.0093f * 2.2f * 0.0093f * 2.2f);
}

TEST(Neon, DarkWithVignetteWithoutDotsAndDotsStayLocal) {
    MaterialEngineOutput none;
    const RgbaImage dark = *NeonRenderer().render(none, 63, 41);
    const uint8_t* centre = dark.pixel(31, 20);
    EXPECT_EQ(std::vector<uint8_t>(centre, centre + 4), (std::vector<uint8_t>{5, 5, 8, 255}));  // x 0.9975
    EXPECT_EQ(dark.pixel(0, 0)[0], 4);                                                            // x about 0.86
    // A dot glows where it lies and leaves the dark a few radii away: a trail, not a heat map.
    MaterialEngineOutput one;
    one.segments.push_back(seg(SegmentType::moving, {test::move(0, 100, 100)}));
    const RgbaImage dot = *NeonRenderer().render(one, 200, 200), bare = *NeonRenderer().render(none, 200, 200);
    EXPECT_GT(dot.pixel(100, 100)[0], 200);
    EXPECT_EQ(std::vector<uint8_t>(dot.pixel(124, 100), dot.pixel(124, 100) + 4),
              std::vector<uint8_t>(bare.pixel(124, 100), bare.pixel(124, 100) + 4));
}

}  // namespace
