// Expected numbers come from an independent python model of the formulas, or by hand.
#include "rendering/styles/graffo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "../test_events.h"
#include "image_difference.h"
#include "style_test_util.h"
#include "support/random.h"

using namespace murmura;
using namespace murmura::graffo;
using namespace murmura::test;

namespace {

MaterialEngineOutput outputOf(std::vector<RawEvent> events, double silentRatio = 0) {
    std::vector<std::vector<RawEvent>> segments;
    if (!events.empty()) segments.push_back(std::move(events));
    return sessionOf(std::move(segments), silentRatio);
}

// A busy few minutes in three bursts of activity (so three layers, two of them archived by
// the end): pointer travel, holds, clicks, drags and typing. Positions are canvas pixels of
// a 480 x 270 canvas.
std::vector<RawEvent> busySession() {
    SplitMix64 g(77);
    std::vector<RawEvent> ev;
    double x = 240, y = 135;
    for (double start : {0.0, 100.0, 300.0}) {
        double t = start;
        while (t < start + 30) {
            const double r = g.nextUnit();
            if (r < 0.03) {
                ev.push_back(down(t, x, y));
                for (int i = 0; i < 10; ++i) {
                    t += 0.03;
                    x = std::clamp(x + g.uniform(-6, 6), 0.0, 479.0);
                    y = std::clamp(y + g.uniform(-6, 6), 0.0, 269.0);
                    ev.push_back(drag(t, x, y));
                }
                ev.push_back(up(t += 0.05, x, y));
            } else if (r < 0.06) {
                ev.push_back(keyDown(t, static_cast<uint16_t>(g.below(30))));
            } else if (r < 0.07) {
                for (int i = 0; i < 12; ++i) ev.push_back(move(t += 0.1, x + g.uniform(-1, 1), y));
            } else {
                x = std::clamp(x + g.uniform(-15, 15), 0.0, 479.0);
                y = std::clamp(y + g.uniform(-15, 15), 0.0, 269.0);
                ev.push_back(move(t, x, y));
            }
            t += g.uniform(0.01, 0.08);
        }
    }
    return ev;
}

}  // namespace

TEST(GraffoRenderer, NoEventsGivesPaperOnly) {
    const GraffoRenderer r;
    // Channel sums of the whole 24 x 16 paper, from the formula in python.
    auto sums = [](const RgbaImage& image) {
        std::array<int64_t, 4> s{};
        for (int64_t y = 0; y < image.height(); ++y)
            for (int64_t x = 0; x < image.width(); ++x)
                for (int c = 0; c < 4; ++c) s[c] += image.pixel(x, y)[c];
        return s;
    };
    const RgbaImage empty = *r.render(outputOf({}), 24, 16);
    EXPECT_EQ(sums(empty), (std::array<int64_t, 4>{89112, 87121, 83131, 24 * 16 * 255}));
    EXPECT_EQ(sums(*r.render(outputOf({}, 0.5), 24, 16)), (std::array<int64_t, 4>{89102, 87114, 83113, 24 * 16 * 255}));
    // Events that make no marks (scrolls, a lone pointer sample, Escape) leave the paper as is.
    const RgbaImage quiet =
        *r.render(outputOf({scroll(0.5), move(1, 12, 8), keyDown(2, 53), keyDown(3, 51)}), 24, 16);
    EXPECT_EQ(quiet, empty);
    EXPECT_EQ(empty.colorSpace(), ColorSpace::deviceRGB);
}

TEST(GraffoRenderer, MarksLandWhereThePointerWent) {
    const GraffoRenderer r;
    const MaterialEngineOutput paper = outputOf({});
    // A stroke along the middle row of a 216 x 108 canvas (k = 0.1).
    std::vector<RawEvent> ev;
    for (int i = 0; i <= 20; ++i) ev.push_back(move(0.05 * i, 50 + 5 * i, 54));
    const RgbaImage blank = *r.render(paper, 216, 108);
    const RgbaImage drawn = *r.render(outputOf(ev), 216, 108);
    int changedOnPath = 0;
    for (int64_t x = 60; x < 140; ++x) changedOnPath += pixelAt(drawn, x, 54) != pixelAt(blank, x, 54);
    EXPECT_GT(changedOnPath, 60);
    for (int64_t y : {0, 10, 100})
        for (int64_t x : {0, 100, 215}) EXPECT_EQ(pixelAt(drawn, x, y), pixelAt(blank, x, y)) << x << "," << y;
    for (int64_t x = 0; x < 216; ++x) EXPECT_EQ(pixelAt(drawn, x, 54)[3], 255);
}

TEST(GraffoRenderer, SameBytesWhateverTheThreadsBandsOrCulling) {
    const MaterialEngineOutput out = outputOf(busySession(), 0.3);
    for (Rasteriser r : {Rasteriser::capsule, Rasteriser::cairo})
        expectSameBytesOnAnyThreadCount(GraffoRenderer({kCanvasBandRows, true, r}), out, 480, 270);
    // The capsule rasteriser's pixels do not depend on the bands. Cairo clips each band's
    // geometry at its edges, which can move an edge pixel by a level; anything more would be a
    // mark lost between bands.
    for (Rasteriser r : {Rasteriser::capsule, Rasteriser::cairo}) {
        const RgbaImage whole = *GraffoRenderer({270, true, r}).render(out, 480, 270);
        for (int64_t rows : {int64_t{1}, int64_t{9}, int64_t{100}, kCanvasBandRows}) {
            if (r == Rasteriser::cairo && rows == 1) continue;
            const RgbaImage banded = *GraffoRenderer({rows, true, r}).render(out, 480, 270);
            const RgbaImage full = *GraffoRenderer({rows, false, r}).render(out, 480, 270);
            EXPECT_TRUE(banded == full) << rows << " rows: " << difference(banded, full);
            const auto [count, largest] = byteDifference(whole, banded);
            EXPECT_LE(largest, r == Rasteriser::cairo ? 3 : 0) << rows;
            EXPECT_LT(count, whole.byteCount() / 1000) << rows;
        }
    }
    // The two rasterisers differ in antialiasing only (59 levels at most and 11 % of the bytes at
    // this small size, where Cairo drops strokes thinner than its tolerance): a mark misplaced,
    // lost or miscoloured would differ by far more.
    const RgbaImage capsule = *GraffoRenderer({kCanvasBandRows, true, Rasteriser::capsule}).render(out, 480, 270);
    const RgbaImage cairo = *GraffoRenderer({kCanvasBandRows, true, Rasteriser::cairo}).render(out, 480, 270);
    const auto [count, largest] = byteDifference(capsule, cairo);
    EXPECT_LT(largest, 72);
    EXPECT_LT(count, capsule.byteCount() / 7);
}

TEST(GraffoLayers, StatusRules) {
    EXPECT_TRUE(layerStatuses({}, 100, 0).empty());
    // A single layer is always active, however old.
    const auto single = layerStatuses({{3, {0, 1}}}, 10000, 0.06);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single.at(3).kind, LayerStatus::Kind::active);
    // End time 600: layer 2 is the latest; layer 1 ended exactly 90 s before the end (recent);
    // layer 0 ended 300 s before: f = min(2 x 210 / 600, 1) = 0.7, fade 0.62 - 0.224 - 0.01.
    const auto s = layerStatuses({{0, {0, 300}}, {1, {400, 510}}, {2, {520, 530}}}, 600, 0.01);
    EXPECT_EQ(s.at(2).kind, LayerStatus::Kind::active);
    EXPECT_EQ(s.at(1).kind, LayerStatus::Kind::recent);
    // The oldest layer's fade: just past 90 s, nearly full; very old layers with the full delete
    // fade stop at 0.62 - 0.32 - 0.06 = 0.24 and never go below; an infinite end time (only
    // reachable through the API) gives the deepest fade; short sessions divide by at least 1 s.
    struct Case {
        std::map<int64_t, LayerTimes> layers;
        double end, deleteFade, fade;
    };
    const Case cases[] = {{{{0, {0, 300}}, {1, {400, 510}}, {2, {520, 530}}}, 600, 0.01, 0.386},
                          {{{0, {0, 509.9}}, {1, {520, 530}}}, 600, 0, 0.62 - 0.32 * 2 * 0.1 / 600},
                          {{{0, {0, 1}}, {5, {2000, 2000}}}, 2000, 0.06, 0.24},
                          {{{0, {0, 1}}, {5, {2000, 2000}}}, 2000, 0.2, 0.24},
                          {{{0, {0, 1}}, {1, {2, 2}}}, INFINITY, 0, 0.3},
                          {{{0, {-200, -100}}, {1, {0, 0}}}, 0.5, 0, 0.3}};
    for (const Case& c : cases) {
        const LayerStatus oldest = layerStatuses(c.layers, c.end, c.deleteFade).at(0);
        EXPECT_EQ(oldest.kind, LayerStatus::Kind::archive) << c.end;
        EXPECT_NEAR(oldest.fade, c.fade, 1e-9) << c.end << " " << c.deleteFade;
    }
}

TEST(GraffoLayers, StatusColourRule) {
    const Pigment c = kPigmentPalette[0];  // (0.86, 0.36, 0.13)
    const LayerStatus active{LayerStatus::Kind::active, 1}, recent{LayerStatus::Kind::recent, 1};
    const LayerStatus archive{LayerStatus::Kind::archive, 0.5};
    auto expectColor = [](const Rgba& got, double r, double g, double b) {
        EXPECT_NEAR(got.r, r, 1e-12);
        EXPECT_NEAR(got.g, g, 1e-12);
        EXPECT_NEAR(got.b, b, 1e-12);
    };
    // Active: the pigment, drag scrawls and knots divided by 1.12.
    expectColor(statusInk(c, active, MarkKind::scrawl).color, 0.86, 0.36, 0.13);
    expectColor(statusInk(c, active, MarkKind::scrawl, true).color, 0.86 / 1.12, 0.36 / 1.12, 0.13 / 1.12);
    expectColor(statusInk(c, recent, MarkKind::knot).color, 0.86 / 1.12, 0.36 / 1.12, 0.13 / 1.12);
    expectColor(statusInk(c, recent, MarkKind::burst).color, 0.86, 0.36, 0.13);
    expectColor(statusInk(c, active, MarkKind::tick).color, 0.86, 0.36, 0.13);
    // Archive with fade 0.5: halfway to the paper (0.906, 0.886, 0.846), whatever the mark.
    for (MarkKind kind : {MarkKind::scrawl, MarkKind::knot, MarkKind::burst, MarkKind::tick})
        expectColor(statusInk(c, archive, kind, true).color, 0.883, 0.623, 0.488);
    const std::tuple<LayerStatus, MarkKind, double> alphas[] = {
        {active, MarkKind::scrawl, 1.0},    {recent, MarkKind::scrawl, 0.92},  {recent, MarkKind::burst, 0.95},
        {active, MarkKind::burst, 1.0},     {active, MarkKind::tick, 0.86},    {recent, MarkKind::tick, 0.7912},
        {archive, MarkKind::scrawl, 0.525}, {archive, MarkKind::knot, 0.525},  {archive, MarkKind::burst, 0.55},
        {archive, MarkKind::tick, 0.525 * 0.86}};
    for (auto [status, kind, alpha] : alphas)
        EXPECT_NEAR(statusInk(c, status, kind).alpha, alpha, 1e-12) << int(status.kind) << " " << int(kind);
}

TEST(GraffoScrawl, PassesFollowTheDistanceFromTheCentre) {
    auto passes = [](Point middle) { return scrawlPassCount(std::vector<Point>{{0, 0}, middle, {5, 5}}, 1920, 1080); };
    // r = 0.5: c = 1 - 0.5^1.4 = 0.621, Int(2 x (0.38 + 0.385)) + 2 = 3; r = 0.9: c = 0.137,
    // 2 x (0.38 + 0.085) = 0.93, so 2. Int(2 x (0.38 + 0.62 c)) reaches 2 only at c = 1: a middle
    // point even a hundredth of a unit off the centre gets 3 passes.
    const std::pair<Point, int> cases[] = {{{960, 540}, 4},       {{0, 0}, 2},          {{1919, 1079}, 2},
                                           {{960 + 480, 540}, 3}, {{960 + 864, 540}, 2}, {{960 + 0.01, 540}, 3}};
    for (auto [middle, n] : cases) EXPECT_EQ(passes(middle), n) << middle.x;
}
