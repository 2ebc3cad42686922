// The paint canvas (ground, blob boxes, compositing, banding) and Skeinfall's anchors and phases.
#include "rendering/styles/skeinfall.h"

#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include <cmath>
#include <limits>

#include "support/random.h"
#include "image_difference.h"
#include "style_test_util.h"
#include "tests/test_events.h"

using namespace murmura;
using skeinfall::Anchor;

namespace {

MaterializedSegment path(const std::vector<Point>& points) {
    std::vector<RawEvent> events;
    for (const Point& p : points) events.push_back(test::move(0, p.x, p.y));
    return test::segmentOf(std::move(events), 0.6, 12);
}

test::Pixel pixel(const PaintCanvas& c, int32_t x, int32_t y) { return test::pixelAt(c.image(), x, y); }

TEST(PaintCanvas, GroundBytesAreClampedAndTruncated) {
    const auto odd = PaintCanvas::create(1, 1, {1.5f, -0.2f, 0.5f});
    EXPECT_EQ(pixel(*odd, 0, 0), (test::Pixel{255, 0, 127, 255}));
    EXPECT_FALSE(PaintCanvas::create(0, 5, {}));
}

TEST(PaintCanvas, BoxesAreClippedAndBadBlobsSkipped) {
    const auto c = *PaintCanvas::create(1000, 1000, {});
    const PaintCanvas::Box b = c.box({{0.5f, 0.5f}, {}, 0.0001f, 1});
    EXPECT_GE(b.x1 - b.x0, 55);  // r = sqrt(0.0007) * 1000 + 1, about 27.5 pixels
    EXPECT_LE(b.x1 - b.x0, 56);
    EXPECT_EQ(c.box({{-0.01f, 0.5f}, {}, 0.0001f, 1}).x0, 0);  // overlapping part only
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const PaintCanvas::Splat& bad : std::vector<PaintCanvas::Splat>{
             {{-0.2f, 0.5f}, {}, 0.0001f, 1}, {{nan, 0.5f}, {}, 0.0001f, 1}, {{0.5f, 0.5f}, {}, 0, 1},
             {{0.5f, 0.5f}, {}, -1, 1}, {{0.5f, 0.5f}, {}, nan, 1}, {{1e30f, -1e30f}, {}, 1e30f, 1},
             {{0.5f, 0.5f}, {}, 0.0001f, nan}})
        EXPECT_TRUE(c.box(bad).empty()) << bad.point[0] << " " << bad.radius << " " << bad.alpha;
}

TEST(PaintCanvas, CentreTakesTheClampedColourFromAlphaAboutPoint8696) {
    for (const auto& [alpha, exact] : std::vector<std::pair<float, bool>>{{0.87f, true}, {0.86f, false}}) {
        auto c = *PaintCanvas::create(11, 11, {0.5f, 0.5f, 0.5f});
        const PaintCanvas::Splat s{{0.5f, 0.5f}, {2.0f, -1.0f, 0.25f}, 0.001f, alpha};
        c.applySplats({&s, 1});
        EXPECT_EQ(pixel(c, 5, 5) == (test::Pixel{255, 0, 64, 255}), exact) << alpha;
        EXPECT_EQ(pixel(c, 0, 0), (test::Pixel{127, 127, 127, 255}));  // beyond the box
    }
}

TEST(PaintCanvas, BandedPaintingEqualsOneBandWithAnyThreadCount) {
    SplitMix64 rng(5);
    std::vector<PaintCanvas::Splat> splats(3000);
    for (auto& s : splats)
        s = {{float(rng.uniform(-0.1, 1.1)), float(rng.uniform(-0.1, 1.1))},
             {rng.nextUnitFloat(), rng.nextUnitFloat(), rng.nextUnitFloat()}, float(rng.uniform(1e-6, 4e-4)),
             rng.nextUnitFloat()};
    auto whole = *PaintCanvas::create(203, 151, skeinfall::kGround);
    whole.applySplats(splats, 0);
    for (int32_t rows : {1, 7, PaintCanvas::kBandRows}) {
        auto banded = *PaintCanvas::create(203, 151, skeinfall::kGround);
        tbb::global_control one(tbb::global_control::max_allowed_parallelism, rows == 7 ? 1 : 2);
        banded.applySplats(splats, rows);
        EXPECT_TRUE(banded.image() == whole.image()) << rows;
    }
}

TEST(SkeinfallAnchors, InterpolatedWithinSegmentsAndBadPositionsSkipped) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<MaterializedSegment> segments{
        path({{0, 0}, {1e12, 5}, {3.3, 0}, {inf, 0}, {std::nan(""), 1}}), path({{10, 10}})};
    const auto a = skeinfall::anchors(segments, 100, 100);  // 0.033 apart: 5 steps of 0.006
    ASSERT_EQ(a.size(), 8u);
    EXPECT_EQ(a[0], a[1]);
    EXPECT_FLOAT_EQ(a[3].x, 0.0132f);
    EXPECT_FLOAT_EQ(a[6].x, 0.033f);
    EXPECT_EQ(a[7], (Anchor{0.1f, 0.1f}));  // the jump between segments is not filled
}

TEST(SkeinfallAnchors, LongPathsKeepEveryKthPointOfTheWholeSession) {
    std::vector<MaterializedSegment> once;
    for (int i = 0; i < 20; ++i) once.push_back(path({{double(i), 0}, {double(i) + 0.37 * i, 90}}));
    const auto full = skeinfall::anchors(once, 100, 100);
    ASSERT_LE(full.size(), 4000u);
    std::vector<MaterializedSegment> thrice;
    for (int k = 0; k < 3; ++k) thrice.insert(thrice.end(), once.begin(), once.end());
    const auto strided = skeinfall::anchors(thrice, 100, 100);
    const size_t total = 3 * full.size(), k = (total + 3999) / 4000;
    ASSERT_GT(k, 1u);
    ASSERT_EQ(strided.size(), (total + k - 1) / k);
    for (size_t i = 0; i < strided.size(); ++i) ASSERT_EQ(strided[i], full[(i * k) % full.size()]) << i;
}

size_t blobsAt(const skeinfall::Blobs& p, size_t begin, size_t end, Anchor a) {
    size_t n = 0;
    for (size_t i = begin; i < end; ++i) n += p.blobs[i].x == a.x && p.blobs[i].y == a.y;
    return n;
}

TEST(Skeinfall, EveryPhaseFromOneAnchorOrMany) {
    const Anchor a{0.3f, 0.6f};
    const skeinfall::Blobs p = skeinfall::throwPaint(std::vector<Anchor>{a});
    EXPECT_EQ(blobsAt(p, 0, p.phaseEnds[0], a), 300u);  // each skein starts at the anchor
    EXPECT_EQ(p.phaseEnds[1] - p.phaseEnds[0], 4500u);
    EXPECT_EQ(blobsAt(p, p.phaseEnds[1], p.phaseEnds[2], a), 50u);  // splash centres
    EXPECT_EQ(p.phaseEnds[3] - p.phaseEnds[2], 1u);
    EXPECT_TRUE(skeinfall::throwPaint({}).blobs.empty());
    // Many anchors still reach every phase under the cap.
    std::vector<Anchor> anchors;
    for (int i = 0; i < 4000; ++i) anchors.push_back({float(i % 63) / 63, float(i / 63) / 64});
    const skeinfall::Blobs many = skeinfall::throwPaint(anchors);
    EXPECT_LE(many.blobs.size(), size_t(skeinfall::kMaxSplats));
    EXPECT_EQ(many.phaseEnds[1] - many.phaseEnds[0], 15u * 520);
    EXPECT_TRUE(many.phaseEnds[1] < many.phaseEnds[2] && many.phaseEnds[2] < many.phaseEnds[3]);
}

TEST(Skeinfall, SegmentsWithoutPositionsLeaveTheGround) {
    MaterialEngineOutput none;
    none.segments.push_back(path({}));
    EXPECT_EQ(test::pixelAt(*SkeinfallRenderer().render(none, 4, 3), 0, 0), (test::Pixel{204, 186, 145, 255}));
}

}  // namespace
