#include "rendering/ink_field.h"

#include <gtest/gtest.h>

#include <string>

#include "../test_diagnostics.h"
#include "../test_events.h"
#include "rendering/brush_texture.h"
#include "rendering/stroke_builder.h"
#include "style_test_util.h"
#include "support/random.h"

namespace murmura {
namespace {

using CapturedLines = test::Diagnostics;

TEST(InkField, TexturesDependOnTheSizeAlone) {
    const InkField a(40, 30), b(40, 30), c(41, 30);
    EXPECT_TRUE(a.paper == b.paper && a.perm == b.perm && a.noiseLUT == b.noiseLUT);
    EXPECT_NE(a.perm, CellArray(c.perm.begin(), c.perm.begin() + 1200));
    for (size_t i = 0; i < a.cellCount(); ++i) {
        ASSERT_GE(a.paper[i], 0.0f);
        ASSERT_LE(a.paper[i], 1.0f);
        ASSERT_GE(a.perm[i], 0.015f);
        ASSERT_LE(a.perm[i], 2.4f);
    }
    const InkField empty(0, 7);
    EXPECT_TRUE(empty.cellCount() == 0 && empty.paper.empty());
}

TEST(InkField, FlushCommitsOnlyFromTheThreshold) {
    InkField f(8, 8);
    f.depositStamp(std::nullopt, 4, 4, 1.0f, 2.0f, 0.0f);  // marks the written region
    f.strokeBuffer.assign(f.cellCount(), 0.001f);
    f.strokeBuffer[f.index(4, 4)] = 0.5f;
    f.flushStrokeBuffer();
    EXPECT_TRUE(f.strokeBuffer[f.index(3, 3)] == 0.001f && f.activeInk[f.index(3, 3)] == 0.0f);  // below: kept back
    EXPECT_TRUE(f.strokeBuffer[f.index(4, 4)] == 0.0f && f.activeInk[f.index(4, 4)] == 0.5f);  // empty cell: no saturation yet
}

TEST(InkField, BlobLimit) {
    CapturedLines lines;
    InkField f(100, 100);
    for (int i = 0; i < 400; ++i) f.recentInk[static_cast<size_t>(i)] = 0.2f;
    f.enforceBlobLimit(0.05f);
    EXPECT_EQ(f.recentInk[0], 0.2f);
    EXPECT_EQ(lines.text(), "");
    for (int i = 400; i < 1000; ++i) f.recentInk[static_cast<size_t>(i)] = 0.2f;
    f.recentInk[1000] = 0.5f;  // at or above 0.15 x 2: kept
    f.enforceBlobLimit(0.05f);
    EXPECT_FLOAT_EQ(f.recentInk[0], 0.06f);
    EXPECT_EQ(f.recentInk[1000], 0.5f);
    EXPECT_EQ(lines.text(), "Ink blob enforcement: trimmed from 1001 to target 500 pixels\n");
    // A target of no cells counts as one.
    InkField g(4, 4);
    g.activeInk[0] = g.activeInk[1] = 0.2f;
    g.enforceBlobLimit(0.0f);
    EXPECT_NE(lines.text().find("trimmed from 2 to target 1 pixels"), std::string::npos);
}

TEST(InkField, AgeingMovesOnlyOldInk) {
    InkField f(2, 1);
    f.currentTime = 100;
    f.activeInk = {0.8f, 0.8f};
    f.lastActivityTime = {95, 80};
    f.ageLayers();
    EXPECT_EQ(f.activeInk[0], 0.8f);
    EXPECT_FLOAT_EQ(f.activeInk[1], 0.4f);
    EXPECT_FLOAT_EQ(f.recentInk[1], 0.4f);
}

TEST(InkField, FlowIdlesWithoutWaterUntilADeposit) {
    InkField f(6, 6);
    f.fluidIdle = false;
    f.flow(5);
    EXPECT_TRUE(f.fluidIdle && f.fluidFlip);  // one pass, then it stopped
    f.flow(5);
    EXPECT_TRUE(f.fluidFlip);
    f.depositPool(3, 3, 0.5f, 2, 0.5f, 0);
    EXPECT_FALSE(f.fluidIdle);
    f.flow(1);
    EXPECT_FALSE(f.fluidFlip);
}

// Random wet deposits, then the same passes on the wet spans and over every cell.
TEST(InkField, WetSpanFlowEqualsTheFullSweep) {
    for (uint64_t seed = 1; seed <= 12; ++seed) {
        SplitMix64 rng(seed);
        const auto w = static_cast<int32_t>(3 + rng.below(30)), h = static_cast<int32_t>(3 + rng.below(30));
        InkField sparse(w, h);
        for (int k = 0; k < 4; ++k) {
            const double x = rng.uniform(-2, w + 2), y = rng.uniform(-2, h + 2);
            const float r = static_cast<float>(rng.uniform(0.5, 5)), water = static_cast<float>(rng.uniform(0, 1.5));
            sparse.depositPool(x, y, static_cast<float>(rng.nextUnit()), r, water, 0.3f);
            if (k % 2) sparse.depositStamp(Vector{1, 0.3}, y, x, 0.8f, r, 0.2f);
        }
        InkField full = sparse;
        for (const int steps : {1, 7, 40, 200}) {
            sparse.flow(steps);
            full.flowFullSweep(steps);
            ASSERT_EQ(sparse.wetness, full.wetness) << "seed " << seed;
            ASSERT_EQ(sparse.activeInk, full.activeInk) << "seed " << seed;
            ASSERT_EQ(sparse.recentInk, full.recentInk) << "seed " << seed;
            ASSERT_EQ(sparse.fluidIdle, full.fluidIdle);
            // Every cell that flow would visit lies inside its row's span.
            for (int32_t y = 1; y + 1 < h; ++y)
                for (int32_t x = 1; x + 1 < w; ++x)
                    if (sparse.wetness[sparse.index(x, y)] >= InkField::kWetThreshold) {
                        ASSERT_GE(x, sparse.wetSpans()[static_cast<size_t>(y)].begin);
                        ASSERT_LT(x, sparse.wetSpans()[static_cast<size_t>(y)].end);
                    }
        }
    }
}

TEST(InkField, AdvectionClampsTheSourceAndNeverExtrapolates) {
    InkField f(6, 6);
    for (size_t i = 0; i < f.cellCount(); ++i) f.activeInk[i] = (i % 3 == 0) ? 1.0f : 0.0f;
    for (float& v : f.velocity) v = 1e6f;
    f.velocity[2 * f.index(2, 2)] = -1e6f;
    f.advect(1.0f);
    for (const float v : f.activeInk) {
        ASSERT_GE(v, 0.0f);
        ASSERT_LE(v, 1.0f);
    }
    EXPECT_EQ(f.activeInk[f.index(2, 2)], f.activeInk[f.index(5, 0)] == 0 ? 0.0f : 1.0f);
}

TEST(InkField, DepositsFarOutsideOrHugeAreRefusedOrCapped) {
    InkField f(10, 10);
    f.depositStamp(Vector{1, 0}, 1e300, -1e300, 1, 5, 0);
    f.depositDot(1, -1e20, 5, 1, 3, 0);
    f.depositPool(5, 5, 0.5f, std::numeric_limits<float>::quiet_NaN(), 1, 0);
    EXPECT_TRUE(f.activeInk == CellArray(100, 0.0f) && f.recentInk == f.activeInk);
    f.depositPool(5, 5, 0.5f, 1e30f, 0.1f, 0);  // footprint capped; the whole grid gets ink
    EXPECT_GT(f.activeInk[0], 0.0f);
}

TEST(BrushTexture, SizesVariantsAndCorners) {
    EXPECT_EQ(BrushTexture::texture(4, 0)->width(), 8);
    EXPECT_EQ(BrushTexture::texture(500, 2)->height(), 128);
    EXPECT_EQ(BrushTexture::texture(32, 3), BrushTexture::texture(32, 19));
    EXPECT_NE(BrushTexture::texture(32, 3)->data(), BrushTexture::texture(32, 4)->data());
    EXPECT_EQ(BrushTexture(24, 99).data(), BrushTexture(24, 99).data());
    for (const int n : {0, 2, 3, 17, 64}) {
        const BrushTexture t(n, 7);
        ASSERT_GE(t.width(), 3);
        const auto at = [&](int i, int j) { return t.data()[static_cast<size_t>(i) * t.width() + j]; };
        const int last = t.width() - 1;
        EXPECT_EQ(at(0, 0) + at(0, last) + at(last, 0) + at(last, last), 0.0f) << n;
        for (const float v : t.data()) ASSERT_TRUE(v >= 0 && v <= 1) << n;
    }
    float sum = 0;
    const BrushTexture head(64, 5);
    for (const float v : head.data()) sum += v;
    EXPECT_GT(sum, 200.0f);  // a head of bristles, not an empty square
}

TEST(StrokeBuilder, PathsWidthsAndLines) {
    CapturedLines lines;
    const RawEvent key = test::event(EventType::keyDown, 0, std::nullopt);
    const auto strokes = StrokeBuilder{}.buildStrokes(
        {test::segmentOf({test::down(0.5, 1, 2), key, test::drag(1, 3.25, 4)}, 0.5, 10), test::segmentOf({key})});
    ASSERT_EQ(strokes.size(), 2u);
    const auto& p = strokes[0].path.points;
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0], (StrokePoint{{1, 2}, 15, 0.5, 0.5}));
    EXPECT_EQ(p[1], (StrokePoint{{3.25, 4}, 12, 0.5, 1}));
    EXPECT_FALSE(strokes[0].path.isClosed);
    EXPECT_TRUE(strokes[1].path.points.empty());
    EXPECT_EQ(lines.text(),
              "Segment 3 events, built 2 points\n  First point: (1.0, 2.0), Last: (3.25, 4.0)\n"
              "Segment 1 events, built 0 points\n");
}

}  // namespace
}  // namespace murmura
