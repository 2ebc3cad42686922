// The fluid replay styles: frames of relative times, the schedule of splats, pigments, renders.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "rendering/styles/fluid_styles.h"
#include "style_test_util.h"
#include "tests/test_events.h"

using namespace murmura;
using Kind = FluidSim::Splat::Kind;

namespace {

MaterializedSegment segment(SegmentType type, std::vector<RawEvent> events, double opacity = 0.6, double width = 28) {
    return test::segmentOf(std::move(events), opacity, width, type);
}
MaterializedSegment moving(std::vector<RawEvent> events, double opacity = 0.6, double width = 28) {
    return segment(SegmentType::moving, std::move(events), opacity, width);
}
RawEvent at(EventType type, double t, double x, double y) { return test::event(type, t, Point{x, y}); }
RawEvent unpositioned(double t) { return test::event(EventType::keyDown, t, std::nullopt); }

void expectSplat(const FluidSim::Splat& s, Kind kind, std::array<float, 2> p, Rgb color, float radius,
                 float tolerance = 1e-4f) {
    EXPECT_EQ(s.kind, kind);
    EXPECT_FLOAT_EQ(s.point[0], p[0]);
    EXPECT_FLOAT_EQ(s.point[1], p[1]);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(s.color[c], color[c], tolerance) << "channel " << c;
    EXPECT_FLOAT_EQ(s.radius, radius);
}

const FluidReplayRenderer ink(inkWaterStyle());
const FluidReplayRenderer watercolor(watercolorStyle());
constexpr float kSumiR = 2.282782466f, kSumiB = 2.103734234f;  // -ln(0.102), -ln(0.122)

}  // namespace

TEST(FluidReplay, FrameIndexOfRelativeTime) {
    const std::tuple<float, int64_t, int64_t> cases[] = {
        {1.0f, 220, 219},  {0.5f, 220, 109}, {0.0f, 220, 0},  {1.0f, 200, 199},
        {0.999f, 200, 198}, {-0.5f, 220, 0}, {7.0f, 220, 219}, {std::numeric_limits<float>::quiet_NaN(), 220, 0}};
    for (auto [t, frames, index] : cases) EXPECT_EQ(replayFrameIndex(t, frames), index) << t;
}

TEST(FluidReplaySchedule, DropsSwirlsAndPushesAlongTravel) {
    const std::vector<MaterializedSegment> segments = {
        segment(SegmentType::discrete, {unpositioned(0.0), at(EventType::mouseDown, 1.0, 250, 250)}),
        moving({at(EventType::mouseMove, 1.0, 100, 100), unpositioned(1.5), at(EventType::mouseDragged, 2.0, 110, 95),
                at(EventType::mouseMove, 3.0, 400, 100)},
               0.6, 14),
        moving({at(EventType::mouseMove, 5.0, 0, 0)})};
    const auto list = ink.schedule(segments, 1000, 500);
    ASSERT_EQ(list.size(), 5u);
    // The drop: sumi absorbance x (0.6 + 0.5) x 0.85; strokeWidth 28 gives s = 2. Its push angle
    // comes from the sine hash of the point (independently computed).
    EXPECT_FLOAT_EQ(list[0].t, 0.0f);
    ASSERT_EQ(list[0].splats.size(), 2u);
    const float drop = 1.1f * 0.85f;
    expectSplat(list[0].splats[0], Kind::dye, {0.25f, 0.5f}, {kSumiR * drop, kSumiR * drop, kSumiB * drop}, 0.0052f);
    expectSplat(list[0].splats[1], Kind::velocity, {0.25f, 0.5f}, {30.32008f, -84.73897f, 0.0f}, 0.00338f, 0.05f);
    // The first used event of a moving segment deposits without a push; hover strength, o + 0.4 = 1.
    ASSERT_EQ(list[1].splats.size(), 1u);
    expectSplat(list[1].splats[0], Kind::dye, {0.1f, 0.2f}, {kSumiR * 0.07f, kSumiR * 0.07f, kSumiB * 0.07f}, 0.0026f);
    // Then a push of the travel (0.01, -0.01) x 5200, applied before the drag deposit.
    EXPECT_FLOAT_EQ(list[2].t, 0.25f);
    ASSERT_EQ(list[2].splats.size(), 2u);
    expectSplat(list[2].splats[0], Kind::velocity, {0.11f, 0.19f}, {52.0f, -52.0f, 0.0f}, 0.00416f, 1e-3f);
    expectSplat(list[2].splats[1], Kind::dye, {0.11f, 0.19f}, {kSumiR * 0.2f, kSumiR * 0.2f, kSumiB * 0.2f}, 0.0026f);
    // A long jump is clamped to 320 per component; a one-event segment gives one dye splat.
    expectSplat(list[3].splats[0], Kind::velocity, {0.4f, 0.2f}, {320.0f, 52.0f, 0.0f}, 0.00416f, 1e-3f);
    EXPECT_EQ(list[4].splats.size(), 1u);
    EXPECT_FLOAT_EQ(list[4].t, 1.0f);
}

TEST(FluidReplaySchedule, StrideCountsPositionedEventsAndPushesFromThePreviousUsedOne) {
    // 5200 positioned events (plus unpositioned ones that do not count) give stride 2.
    std::vector<RawEvent> events;
    auto xOf = [](int i) { return 1000.0 * (i % 37) / 37.0; };
    for (int i = 0; i < 5200; ++i) {
        events.push_back(at(EventType::mouseMove, i * 0.01, xOf(i), 3.0 * i / 52.0));
        if (i % 3 == 0) events.push_back(unpositioned(i * 0.01));
    }
    const auto list = ink.schedule({moving(events)}, 1000, 300);
    ASSERT_EQ(list.size(), 2600u);
    for (size_t k = 1; k < list.size(); k += 97) {
        const float x = static_cast<float>(xOf(int(2 * k))) / 1000, px = static_cast<float>(xOf(int(2 * k - 2))) / 1000;
        ASSERT_EQ(list[k].splats.size(), 2u);
        EXPECT_FLOAT_EQ(list[k].splats[1].point[0], x);
        EXPECT_FLOAT_EQ(list[k].splats[0].color[0], std::clamp((x - px) * 5200.0f, -320.0f, 320.0f)) << k;
    }
}

TEST(FluidReplaySchedule, StrokeWidthSetsTheClampedRadius) {
    const std::tuple<const FluidReplayRenderer*, double, float> cases[] = {
        {&ink, 0, 0.00156f}, {&ink, 70, 0.00624f}, {&watercolor, 0, 0.00294f}, {&watercolor, 40, 0.01092f}};
    for (auto [style, width, radius] : cases) {
        const auto list = style->schedule({moving({at(EventType::mouseMove, 0.0, 1, 1)}, 0.5, width),
                                           moving({at(EventType::mouseMove, 1.0, 1, 1)})},
                                          100, 100);
        EXPECT_FLOAT_EQ(list.at(0).splats.at(0).radius, radius) << width;
    }
}

TEST(FluidReplaySchedule, NothingWithoutPositionsOrTimeSpan) {
    EXPECT_TRUE(ink.schedule({}, 100, 100).empty());
    EXPECT_TRUE(ink.schedule({segment(SegmentType::discrete, {unpositioned(1.0)})}, 100, 100).empty());
    EXPECT_TRUE(ink.schedule({moving({at(EventType::mouseMove, 2.0, 5, 5)}),
                              segment(SegmentType::discrete, {at(EventType::mouseDown, 2.0, 9, 9)})},
                             100, 100)
                    .empty());
}

TEST(FluidReplaySchedule, WatercolorMarksTakeTheirRegionsPigment) {
    const std::vector<Rgb>& pig = watercolorStyle().pigments;
    // Top half: columns 0, 1, 2 hash to pigments 0, 1, 4; bottom half to 2, 2, 3; x = 1 falls in a
    // fourth column with its own pigment, as do points left of the canvas (independently computed).
    const std::pair<std::array<float, 2>, size_t> cases[] = {
        {{0.1f, 0.1f}, 0}, {{0.3f, 0.45f}, 0}, {{0.34f, 0.1f}, 1}, {{0.9f, 0.2f}, 4},  {{0.1f, 0.6f}, 2},
        {{0.5f, 0.9f}, 2}, {{0.8f, 0.99f}, 3}, {{1.0f, 0.2f}, 4},  {{1.0f, 0.7f}, 3}, {{-0.1f, 0.2f}, 3}};
    for (auto [p, index] : cases) EXPECT_EQ(pigmentAt(pig, p), pig[index]) << p[0] << ", " << p[1];
    EXPECT_EQ(pigmentAt({}, {0.5f, 0.5f}), (Rgb{1, 1, 1}));  // no palette: white, no dye
    const auto list = watercolor.schedule({segment(SegmentType::discrete, {at(EventType::mouseDown, 0.0, 90, 10)}, 0.6, 24),
                                           moving({at(EventType::mouseMove, 1.0, 10, 90)}, 0.6, 24)},
                                          100, 100);
    ASSERT_EQ(list.size(), 2u);
    // (0.9, 0.1): violet, -ln(0.424, 0.29, 0.612) x (0.6 + 0.5) x 0.46; (0.1, 0.9): crimson, hover.
    const float k = 1.1f * 0.46f, h = 0.05f;
    expectSplat(list[0].splats[0], Kind::dye, {0.9f, 0.1f}, {0.858021824f * k, 1.237874356f * k, 0.491022996f * k}, 0.0084f);
    EXPECT_NEAR(std::hypot(list[0].splats[1].color[0], list[0].splats[1].color[1]), 55.0f, 1e-3f);
    expectSplat(list[1].splats[0], Kind::dye, {0.1f, 0.9f}, {0.267879445f * h, 1.650259907f * h, 1.251763468f * h}, 0.0084f);
}

TEST(FluidReplayBudget, DepositIsTheGaussiansMeanAbsorbanceOverTheCanvas) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<FluidScheduled> list = {
        {0.0f, {{Kind::dye, {0.5f, 0.5f}, {1.0f, 2.0f, 3.0f}, 0.01f}, {Kind::velocity, {0.5f, 0.5f}, {300, 300, 0}, 0.5f}}},
        {1.0f, {{Kind::dye, {2.0f, -1.0f}, {0.3f, 0.3f, 0.3f}, 0.1f}, {Kind::dye, {0.5f, 0.5f}, {nan, 1, 1}, 0.1f},
                {Kind::dye, {0.5f, 0.5f}, {1, 1, 1}, 0.0f}}}};
    // pi (2 x 0.01 + 0.3 x 0.1) / 2: the channel means; pushes and splats the simulation skips count nothing.
    const double deposit = std::numbers::pi * 0.05 / 2;
    EXPECT_NEAR(dyeDeposit(list, 2.0), deposit, 1e-8);
    EXPECT_FLOAT_EQ(dyeBudgetFactor(deposit, 0.05), static_cast<float>(0.05 / deposit));
    for (double budget : {deposit, 1.0, 0.0}) EXPECT_EQ(dyeBudgetFactor(deposit, budget), 1.0f) << budget;
}

// Below its budget a session keeps the splats of the schedule, bit for bit; above it, twice as
// many splats deposit the same budget.
TEST(FluidReplayBudget, ScalesOnlyDyeAndOnlyAboveTheBudget) {
    auto session = [](int n) {
        std::vector<RawEvent> events;
        for (int i = 0; i < n; ++i) events.push_back(at(EventType::mouseDragged, i * 0.05, 40.0 + (i * 7919) % 2800, 900.0));
        return std::vector<MaterializedSegment>{moving(events, 0.8, 30)};
    };
    const FluidStyleDefinition style = inkWaterStyle();
    const FluidReplayRenderer renderer(style);
    for (int n : {30, 1000, 2000}) {
        const auto segments = session(n);
        const auto raw = renderer.schedule(segments, 2880, 1800);
        DyeBudgetUse use;
        const auto budgeted = renderer.budgetedSchedule(segments, 2880, 1800, &use);
        EXPECT_DOUBLE_EQ(use.deposit, dyeDeposit(raw, 1.6));
        ASSERT_EQ(raw.size(), budgeted.size());
        if (n == 30) {
            ASSERT_LT(use.deposit, style.dyeBudget);
            EXPECT_EQ(use.factor, 1.0f);
            for (size_t i = 0; i < raw.size(); ++i) EXPECT_EQ(raw[i].splats, budgeted[i].splats);
            continue;
        }
        EXPECT_GT(use.deposit, style.dyeBudget);
        EXPECT_NEAR(dyeDeposit(budgeted, 1.6), style.dyeBudget, 1e-5 * style.dyeBudget) << n;
        for (size_t i = 1; i < raw.size(); ++i) {
            EXPECT_EQ(raw[i].splats[0], budgeted[i].splats[0]);  // the push
            EXPECT_EQ(budgeted[i].splats[1].color[0], raw[i].splats[1].color[0] * use.factor);
        }
    }
}

namespace {
MaterialEngineOutput smallSession() {
    MaterialEngineOutput out;
    std::vector<RawEvent> moves;
    for (int i = 0; i < 60; ++i)
        moves.push_back(at(i % 2 ? EventType::mouseDragged : EventType::mouseMove, 0.1 * i, 20 + 2.0 * i,
                           30 + 25 * std::sin(i * 0.2)));
    out.segments.push_back(moving(moves, 0.8, 20));
    out.segments.push_back(segment(SegmentType::discrete, {at(EventType::mouseDown, 7.0, 100, 40)}, 0.9, 30));
    out.segments.push_back(moving({at(EventType::mouseMove, 8.0, 60, 50), at(EventType::mouseMove, 8.5, 70, 20)}));
    return out;
}
std::optional<RgbaImage> blankPaper(const FluidReplayRenderer& style) {
    return FluidSim::create(120, 75, style.definition().fluid)->makeImage();
}
}  // namespace

// Renders run 310 or 320 steps on a 256-texel simulation grid whatever the canvas, so these
// tests keep their number small. The session deposits less dye than either budget, so the render
// is the same without one.
TEST(FluidReplayRender, DeterministicShowsDyeAndRunsEveryFrame) {
    const MaterialEngineOutput session = smallSession();
    for (const FluidReplayRenderer* style : {&ink, &watercolor}) {
        int64_t splats = 0;
        for (const auto& e : style->schedule(session.segments, 120, 75)) splats += static_cast<int64_t>(e.splats.size());
        FluidStyleDefinition unlimited = style->definition();
        unlimited.dyeBudget = 0;
        DyeBudgetUse use;
        style->budgetedSchedule(session.segments, 120, 75, &use);
        EXPECT_LT(use.deposit, style->definition().dyeBudget);
        FluidSim::Profile profile;
        auto a = style->render(session, 120, 75, &profile), b = FluidReplayRenderer(unlimited).render(session, 120, 75);
        ASSERT_TRUE(a && b);
        EXPECT_TRUE(a->width() == 120 && a->height() == 75);
        EXPECT_EQ(*a, *b);
        const FluidReplayTiming& timing = style->definition().timing;
        EXPECT_EQ(profile.steps, timing.replayFrames + timing.settleFrames);
        EXPECT_EQ(profile.splats, splats);
        EXPECT_NE(*a, *blankPaper(*style));
    }
    // A budget below the session's deposit pales the picture.
    FluidStyleDefinition tight = ink.definition();
    tight.dyeBudget = 0.01;
    EXPECT_NE(*FluidReplayRenderer(tight).render(session, 120, 75), *ink.render(session, 120, 75));
}

TEST(FluidReplayRender, BlankPaperWithoutTimeSpanAndThinCanvases) {
    MaterialEngineOutput still;
    still.segments.push_back(moving({at(EventType::mouseMove, 3.0, 10, 10), at(EventType::mouseMove, 3.0, 50, 50)}));
    EXPECT_EQ(*ink.render(still, 120, 75), *blankPaper(ink));
    const MaterialEngineOutput session = smallSession();
    for (const FluidReplayRenderer* style : {&ink, &watercolor}) {
        EXPECT_FALSE(style->render(session, 0, 1));
        EXPECT_TRUE(style->render(session, 16000, 1));  // a grid bounded by the dye grid, not 16000 x 256 texels
    }
}
