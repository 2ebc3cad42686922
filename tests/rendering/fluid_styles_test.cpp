// Ink Water and Watercolor: constants, the schedule of splats, frames and pigments, renders.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "rendering/style_registry.h"
#include "rendering/styles/ink_water.h"
#include "rendering/styles/watercolor.h"
#include "tests/test_events.h"

using namespace murmura;
using Kind = FluidSim::Splat::Kind;

namespace {

MaterializedSegment segment(SegmentType type, std::vector<RawEvent> events, double opacity = 0.6, double width = 28) {
    Segment s;
    s.segmentType = type;
    s.events = std::move(events);
    if (!s.events.empty()) {
        s.startTime = s.events.front().timestamp;
        s.endTime = s.events.back().timestamp;
    }
    return MaterializedSegment{s, MaterialProperties(opacity, width, 0, 0), 0};
}

RawEvent at(EventType type, double t, double x, double y) { return test::event(type, t, Point{x, y}); }
RawEvent unpositioned(EventType type, double t) { return test::event(type, t, std::nullopt); }

void expectSplat(const FluidSim::Splat& s, Kind kind, std::array<float, 2> p, std::array<float, 3> color, float radius,
                 float tolerance = 1e-4f) {
    EXPECT_EQ(s.kind, kind);
    EXPECT_FLOAT_EQ(s.point[0], p[0]);
    EXPECT_FLOAT_EQ(s.point[1], p[1]);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(s.color[c], color[c], tolerance) << "channel " << c;
    EXPECT_FLOAT_EQ(s.radius, radius);
}

const InkWaterRenderer ink;
const WatercolorRenderer watercolor;

}  // namespace

TEST(InkWaterStyle, DescriptorAndConstants) {
    EXPECT_EQ(ink.descriptor(), (StyleDescriptor{"ink-water", "Ink Water (墨流し)", StyleSeries::traditional}));
    EXPECT_EQ(InkWaterRenderer::replayFrames, 220);
    EXPECT_EQ(InkWaterRenderer::settleFrames, 90);
    EXPECT_FLOAT_EQ(InkWaterRenderer::dt, 0.016666668f);
    const FluidSim::Config c = InkWaterRenderer::fluidConfig();
    EXPECT_EQ(c.pressureIterations, 28);
    EXPECT_FLOAT_EQ(c.velocityDissipation, 0.16f);
    EXPECT_FLOAT_EQ(c.dyeDissipation, 0.07f);
    EXPECT_FLOAT_EQ(c.curl, 14);
    EXPECT_EQ(c.simResolution, 256);
    EXPECT_EQ(c.dyeResolution, 1280);
    EXPECT_EQ(c.dyeDiffusion, 0.0f);
    EXPECT_EQ(c.displayVariant, FluidSim::DisplayVariant::ink);
    EXPECT_EQ(c.absorbanceCap, 0.0f);
}

TEST(WatercolorStyle, DescriptorAndConstants) {
    EXPECT_EQ(watercolor.descriptor(), (StyleDescriptor{"watercolor", "Watercolor (水彩)", StyleSeries::traditional}));
    EXPECT_EQ(WatercolorRenderer::replayFrames, 200);
    EXPECT_EQ(WatercolorRenderer::settleFrames, 120);
    const FluidSim::Config c = WatercolorRenderer::fluidConfig();
    EXPECT_FLOAT_EQ(c.velocityDissipation, 0.28f);
    EXPECT_FLOAT_EQ(c.curl, 5);
    EXPECT_FLOAT_EQ(c.dyeDiffusion, 0.15f);
    EXPECT_EQ(c.diffuseIterations, 2);
    EXPECT_EQ(c.displayVariant, FluidSim::DisplayVariant::watercolor);
    EXPECT_FLOAT_EQ(c.edgeDarken, 0.5f);
    EXPECT_FLOAT_EQ(c.granulate, 0.35f);
    EXPECT_FLOAT_EQ(c.absorbanceCap, 1.55f);
}

TEST(FluidStyles, RegisteredWithInkWaterFirst) {
    const auto styles = defaultStyleRenderers();
    ASSERT_GE(styles.size(), 2u);
    EXPECT_EQ(styles.front()->descriptor().id, "ink-water");
    auto wc = std::find_if(styles.begin(), styles.end(), [](const auto& s) { return s->descriptor().id == "watercolor"; });
    ASSERT_NE(wc, styles.end());
    const StyleRegistry registry = makeDefaultRegistry();
    EXPECT_NE(registry.renderer("ink-water"), nullptr);
    EXPECT_NE(registry.renderer("watercolor"), nullptr);
}

TEST(FluidStyles, FrameIndexOfRelativeTime) {
    EXPECT_EQ(replayFrameIndex(1.0f, 220), 219);
    EXPECT_EQ(replayFrameIndex(0.5f, 220), 109);
    EXPECT_EQ(replayFrameIndex(0.0f, 220), 0);
    EXPECT_EQ(replayFrameIndex(1.0f, 200), 199);
    EXPECT_EQ(replayFrameIndex(0.999f, 200), 198);
    EXPECT_EQ(replayFrameIndex(-0.5f, 220), 0);
    EXPECT_EQ(replayFrameIndex(7.0f, 220), 219);
    EXPECT_EQ(replayFrameIndex(std::numeric_limits<float>::quiet_NaN(), 220), 0);
}

TEST(InkWaterSchedule, DiscreteSegmentDropsInkWithASwirl) {
    const float W = 1000, H = 800;
    const std::vector<MaterializedSegment> segments = {
        segment(SegmentType::discrete, {unpositioned(EventType::keyDown, 0.0), at(EventType::mouseDown, 1.0, 250, 400)}),
        segment(SegmentType::moving, {at(EventType::mouseMove, 3.0, 0, 0)})};
    const auto list = ink.schedule(segments, W, H);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_FLOAT_EQ(list[0].t, 0.0f);
    ASSERT_EQ(list[0].splats.size(), 2u);
    // a = -ln(0.102) etc., times (0.6 + 0.5) x 0.85; strokeWidth 28 gives s = 2.
    expectSplat(list[0].splats[0], Kind::dye, {0.25f, 0.5f},
                {2.282782466f * 1.1f * 0.85f, 2.282782466f * 1.1f * 0.85f, 2.103734234f * 1.1f * 0.85f}, 0.0052f);
    // The swirl angle from the sine hash of the point (independently computed).
    expectSplat(list[0].splats[1], Kind::velocity, {0.25f, 0.5f}, {30.32008f, -84.73897f, 0.0f}, 0.00338f, 0.05f);
    EXPECT_FLOAT_EQ(list[1].t, 1.0f);
}

TEST(InkWaterSchedule, MovingSegmentPushesAlongTravelFromTheSecondUsedEvent) {
    const float W = 1000, H = 500;
    const std::vector<MaterializedSegment> segments = {segment(
        SegmentType::moving, {at(EventType::mouseMove, 0.0, 100, 100), unpositioned(EventType::keyUp, 0.5),
                              at(EventType::mouseDragged, 1.0, 110, 95), at(EventType::mouseMove, 2.0, 400, 100)},
        0.6, 14)};
    const auto list = ink.schedule(segments, W, H);
    ASSERT_EQ(list.size(), 3u);
    const float hover = 0.07f * 1.0f, drag = 0.2f * 1.0f;  // (o + 0.4) = 1
    ASSERT_EQ(list[0].splats.size(), 1u);  // first used event: ink, no push
    expectSplat(list[0].splats[0], Kind::dye, {0.1f, 0.2f}, {2.282782f * hover, 2.282782f * hover, 2.103734f * hover},
                0.0026f);
    ASSERT_EQ(list[1].splats.size(), 2u);
    EXPECT_FLOAT_EQ(list[1].t, 0.5f);
    // dx = 0.01, dy = -0.01 in canvas units, times 5200.
    expectSplat(list[1].splats[0], Kind::velocity, {0.11f, 0.19f}, {52.0f, -52.0f, 0.0f}, 0.00416f, 1e-3f);
    expectSplat(list[1].splats[1], Kind::dye, {0.11f, 0.19f}, {2.282782f * drag, 2.282782f * drag, 2.103734f * drag},
                0.0026f);
    // A long jump is clamped to 320 per component.
    expectSplat(list[2].splats[0], Kind::velocity, {0.4f, 0.2f}, {320.0f, 52.0f, 0.0f}, 0.00416f, 1e-3f);
}

TEST(InkWaterSchedule, OneEventMovingSegmentGivesOneDyeSplat) {
    const std::vector<MaterializedSegment> segments = {
        segment(SegmentType::moving, {at(EventType::mouseMove, 0.0, 10, 10)}),
        segment(SegmentType::moving, {at(EventType::mouseMove, 1.0, 20, 20)})};
    const auto list = ink.schedule(segments, 100, 100);
    ASSERT_EQ(list.size(), 2u);
    for (const auto& entry : list) {
        ASSERT_EQ(entry.splats.size(), 1u);
        EXPECT_EQ(entry.splats[0].kind, Kind::dye);
    }
}

TEST(InkWaterSchedule, StrideTwoUsesEveryOtherPositionedEvent) {
    // 5200 positioned events (plus unpositioned ones that do not count) give stride 2.
    std::vector<RawEvent> events;
    for (int i = 0; i < 5200; ++i) {
        events.push_back(at(EventType::mouseMove, i * 0.01, 1000.0 * (i % 37) / 37.0, 3.0 * i / 52.0));
        if (i % 3 == 0) events.push_back(unpositioned(EventType::keyDown, i * 0.01));
    }
    const std::vector<MaterializedSegment> segments = {segment(SegmentType::moving, events)};
    const float W = 1000, H = 300;
    const auto list = ink.schedule(segments, W, H);
    ASSERT_EQ(list.size(), 2600u);
    for (size_t k = 1; k < list.size(); k += 97) {
        const int used = static_cast<int>(2 * k), previous = used - 2;
        const float x = static_cast<float>(1000.0 * (used % 37) / 37.0) / W;
        const float px = static_cast<float>(1000.0 * (previous % 37) / 37.0) / W;
        ASSERT_EQ(list[k].splats.size(), 2u);
        EXPECT_FLOAT_EQ(list[k].splats[1].point[0], x);
        const float expectedPush = std::clamp((x - px) * 5200.0f, -320.0f, 320.0f);
        EXPECT_FLOAT_EQ(list[k].splats[0].color[0], expectedPush) << k;
    }
}

TEST(InkWaterSchedule, StrokeWidthSetsRadius) {
    const std::vector<MaterializedSegment> segments = {
        segment(SegmentType::moving, {at(EventType::mouseMove, 0.0, 1, 1)}, 0.5, 0),
        segment(SegmentType::moving, {at(EventType::mouseMove, 1.0, 1, 1)}, 0.5, 70)};
    const auto list = ink.schedule(segments, 100, 100);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_FLOAT_EQ(list[0].splats[0].radius, 0.00156f);
    EXPECT_FLOAT_EQ(list[1].splats[0].radius, 0.00624f);
    const auto wc = watercolor.schedule({segment(SegmentType::moving, {at(EventType::mouseMove, 0.0, 1, 1)}, 0.5, 0),
                                         segment(SegmentType::moving, {at(EventType::mouseMove, 1.0, 1, 1)}, 0.5, 40)},
                                        100, 100);
    EXPECT_FLOAT_EQ(wc[0].splats[0].radius, 0.00294f);
    EXPECT_FLOAT_EQ(wc[1].splats[0].radius, 0.01092f);
}

TEST(InkWaterSchedule, NothingWithoutPositionsOrTimeSpan) {
    EXPECT_TRUE(ink.schedule({}, 100, 100).empty());
    EXPECT_TRUE(ink.schedule({segment(SegmentType::discrete, {unpositioned(EventType::keyDown, 1.0)})}, 100, 100).empty());
    EXPECT_TRUE(ink.schedule({segment(SegmentType::moving, {at(EventType::mouseMove, 2.0, 5, 5)}),
                              segment(SegmentType::discrete, {at(EventType::mouseDown, 2.0, 9, 9)})},
                             100, 100)
                    .empty());
}

TEST(WatercolorStyle, PigmentGridIncludingTheRightEdge) {
    const auto& pig = WatercolorRenderer::pigments;
    // Top half: columns 0, 1, 2 hash to pigments 0, 1, 4; bottom half to 2, 2, 3 (independently computed).
    EXPECT_EQ(WatercolorRenderer::pigmentAt({0.1f, 0.1f}), pig[0]);
    EXPECT_EQ(WatercolorRenderer::pigmentAt({0.3f, 0.45f}), pig[0]);
    EXPECT_EQ(WatercolorRenderer::pigmentAt({0.34f, 0.1f}), pig[1]);
    EXPECT_EQ(WatercolorRenderer::pigmentAt({0.9f, 0.2f}), pig[4]);
    EXPECT_EQ(WatercolorRenderer::pigmentAt({0.1f, 0.6f}), pig[2]);
    EXPECT_EQ(WatercolorRenderer::pigmentAt({0.5f, 0.9f}), pig[2]);
    EXPECT_EQ(WatercolorRenderer::pigmentAt({0.8f, 0.99f}), pig[3]);
    // x = 1 falls into a fourth column, which has its own hashed pigment.
    EXPECT_EQ(WatercolorRenderer::pigmentAt({1.0f, 0.2f}), pig[4]);
    EXPECT_EQ(WatercolorRenderer::pigmentAt({1.0f, 0.7f}), pig[3]);
    EXPECT_EQ(WatercolorRenderer::pigmentAt({-0.1f, 0.2f}), pig[3]);
}

TEST(WatercolorSchedule, PigmentAbsorbanceOfTheRegion) {
    const std::vector<MaterializedSegment> segments = {
        segment(SegmentType::discrete, {at(EventType::mouseDown, 0.0, 90, 10)}, 0.6, 24),
        segment(SegmentType::moving, {at(EventType::mouseMove, 1.0, 10, 90)}, 0.6, 24)};
    const auto list = watercolor.schedule(segments, 100, 100);
    ASSERT_EQ(list.size(), 2u);
    // (0.9, 0.1): violet; -ln of (0.424, 0.29, 0.612) times (0.6 + 0.5) x 0.46; s = 2.
    const float k = 1.1f * 0.46f;
    expectSplat(list[0].splats[0], Kind::dye, {0.9f, 0.1f}, {0.858021824f * k, 1.237874356f * k, 0.491022996f * k},
                0.0084f);
    EXPECT_FLOAT_EQ(list[0].splats[1].radius, 0.00588f);
    EXPECT_NEAR(std::hypot(list[0].splats[1].color[0], list[0].splats[1].color[1]), 55.0f, 1e-3f);
    // (0.1, 0.9): crimson, hover strength.
    const float h = 1.0f * 0.05f;
    expectSplat(list[1].splats[0], Kind::dye, {0.1f, 0.9f}, {0.267879445f * h, 1.650259907f * h, 1.251763468f * h},
                0.0084f);
}

namespace {
MaterialEngineOutput smallSession() {
    MaterialEngineOutput out;
    std::vector<RawEvent> moves;
    for (int i = 0; i < 60; ++i)
        moves.push_back(at(i % 2 ? EventType::mouseDragged : EventType::mouseMove, 0.1 * i, 20 + 2.0 * i,
                           30 + 25 * std::sin(i * 0.2)));
    out.segments.push_back(segment(SegmentType::moving, moves, 0.8, 20));
    out.segments.push_back(segment(SegmentType::discrete, {at(EventType::mouseDown, 7.0, 100, 40)}, 0.9, 30));
    out.segments.push_back(segment(SegmentType::moving, {at(EventType::mouseMove, 8.0, 60, 50),
                                                         at(EventType::mouseMove, 8.5, 70, 20)}));
    return out;
}
}  // namespace

// Renders run 310 or 320 steps on a 256-texel simulation grid whatever the canvas, so these
// tests keep their number small.
TEST(FluidStylesRender, DeterministicShowsInkAndProfilesTheSteps) {
    const MaterialEngineOutput session = smallSession();
    int64_t splats = 0;
    for (const auto& e : ink.schedule(session.segments, 120, 75)) splats += static_cast<int64_t>(e.splats.size());
    FluidSim::Profile profile;
    auto a = ink.render(session, 120, 75, &profile), b = ink.render(session, 120, 75);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->width(), 120);
    EXPECT_EQ(a->height(), 75);
    EXPECT_EQ(a->colorSpace(), ColorSpace::sRGB);
    EXPECT_EQ(*a, *b);
    EXPECT_EQ(profile.steps, 310);
    EXPECT_EQ(profile.splats, splats);
    EXPECT_NE(*a, *FluidSim::create(120, 75, InkWaterRenderer::fluidConfig())->makeImage());

    auto c = watercolor.render(session, 120, 75, &profile), d = watercolor.render(session, 120, 75);
    ASSERT_TRUE(c && d);
    EXPECT_EQ(*c, *d);
    EXPECT_EQ(profile.steps, 320);
    EXPECT_NE(*c, *FluidSim::create(120, 75, WatercolorRenderer::fluidConfig())->makeImage());
}

TEST(FluidStylesRender, SessionWithoutTimeSpanIsBlankPaper) {
    MaterialEngineOutput still;
    still.segments.push_back(
        segment(SegmentType::moving, {at(EventType::mouseMove, 3.0, 10, 10), at(EventType::mouseMove, 3.0, 50, 50)}));
    // Nothing is scheduled, so the fields stay zero through every step.
    EXPECT_EQ(*ink.render(still, 120, 75), *FluidSim::create(120, 75, InkWaterRenderer::fluidConfig())->makeImage());
}

TEST(FluidStylesRender, NoImageForEmptyOrImpossibleCanvases) {
    const MaterialEngineOutput session = smallSession();
    for (const StyleRenderer* r : std::initializer_list<const StyleRenderer*>{&ink, &watercolor}) {
        EXPECT_FALSE(r->render(session, 0, 75));
        EXPECT_FALSE(r->render(session, 120, -3));
        EXPECT_FALSE(r->render(session, RgbaImage::kMaxSide + 1, 10));
        EXPECT_FALSE(r->render(session, 16000, 1));  // the simulation grid would not fit
    }
}
