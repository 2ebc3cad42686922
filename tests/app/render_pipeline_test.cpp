#include "app/render_pipeline.h"

#include <gtest/gtest.h>

#include "../test_events.h"
#include "session/synthetic_session.h"
#include "rendering/style_registry.h"

using namespace murmura;
using namespace murmura::test;

namespace {
// Records what the pipeline hands to a renderer.
class ProbeRenderer final : public StyleRenderer {
public:
    const StyleDescriptor& descriptor() const override { return descriptor_; }
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width, int64_t height) const override {
        seen = output;
        seenWidth = width;
        seenHeight = height;
        return RgbaImage::create(width, height, ColorSpace::deviceRGB);
    }
    StyleDescriptor descriptor_{"probe", "Probe", StyleSeries::artist};
    mutable MaterialEngineOutput seen;
    mutable int64_t seenWidth = 0, seenHeight = 0;
};
}  // namespace

TEST(RenderPipeline, PipelineConstants) {
    EXPECT_EQ(pipelineInkMaterial(), (InkMaterial{18.0, 8.0, 0.85, VelocityCurve{50.0, 800.0, 0.6}, 0.3}));
    EXPECT_EQ(pipelineEnergyModel(), (MaterialEnergyModel{150.0, 0.4, 0.3, 0.5, 0.2}));
}

TEST(RenderPipeline, RebaseToCanvasPixels) {
    RawEvent keyless = event(EventType::appBecameActive, 1.0, std::nullopt);
    RawEvent wheel = scroll(2.0, -10);
    wheel.position = Point{100, 50};
    auto out = rebaseEvents({move(0.5, 100, 50), keyless, wheel, move(3.0, 10, 5)}, Rect{40, 20, 800, 600});
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].position, (Point{120, 60}));
    EXPECT_FALSE(out[1].position);
    EXPECT_EQ(out[2].position, (Point{120, 60}));
    EXPECT_EQ(out[2].delta, (Vector{0, -10}));  // deltas are not scaled
    EXPECT_EQ(out[3].position, (Point{-60, -30}));  // outside the window: not clamped
}

TEST(RenderPipeline, RebaseKeepsIdentity) {
    RawEvent e = move(0.5, 1, 2);
    auto out = rebaseEvents({e}, Rect{0, 0, 10, 10});
    EXPECT_EQ(out[0].id, e.id);
    EXPECT_EQ(out[0].timestamp, e.timestamp);
}

TEST(RenderPipeline, CanvasIsTwiceTheWindowTruncated) {
    EXPECT_EQ(canvasSize(Rect{0, 0, 800, 600}).width, 1600);
    EXPECT_EQ(canvasSize(Rect{0, 0, 800, 600}).height, 1200);
    EXPECT_EQ(canvasSize(Rect{0, 0, 800.7, 600.2}).width, 1601);
    EXPECT_EQ(canvasSize(Rect{0, 0, 800.7, 600.2}).height, 1200);
    EXPECT_EQ(canvasSize(Rect{0, 0, -5, 1e300}).width, 0);
    EXPECT_EQ(canvasSize(Rect{0, 0, -5, 1e300}).height, 0);
}

TEST(RenderPipeline, VelocityIsMeasuredInCanvasPixels) {
    // 3 points in 1 s moves 6 canvas pixels per second: above the 5.0 minimum only after rebasing,
    // so the click afterwards splits a moving segment from a discrete one.
    CaptureResult capture;
    capture.duration = 10;
    capture.windowFrame = Rect{100, 100, 400, 300};
    capture.events = {move(1.0, 200, 200), move(2.0, 203, 200), down(3.0, 203, 200)};
    for (auto& e : capture.events) e.inScope = true;
    SessionAnalysis analysis = analyseSession(capture);
    ASSERT_EQ(analysis.segments.size(), 2u);
    EXPECT_EQ(analysis.segments[0].events[0].position, (Point{200, 200}));
    EXPECT_EQ(analysis.segments[1].segmentType, SegmentType::discrete);
    // Silent: [0, 1], [2, 3], [3, 10]
    EXPECT_DOUBLE_EQ(analysis.silentRatio, 0.9);
}

TEST(RenderPipeline, RendererGetsMaterialAndCanvas) {
    CaptureResult capture;
    capture.duration = 60;
    capture.windowFrame = Rect{0, 0, 320, 200};
    capture.events = {move(1.0, 10, 10), move(1.1, 60, 10), move(1.2, 110, 10)};
    ProbeRenderer probe;
    auto image = renderCapture(capture, probe, Rect{0, 0, 400.6, 300});
    ASSERT_TRUE(image);
    EXPECT_EQ(probe.seenWidth, 801);
    EXPECT_EQ(probe.seenHeight, 600);
    ASSERT_EQ(probe.seen.segments.size(), 1u);
    // 100 points per 0.1 s = 2000 canvas px/s: fastest material.
    EXPECT_DOUBLE_EQ(probe.seen.segments[0].properties.opacity(), 0.85);
}

TEST(RenderPipeline, RedactedSessionsRenderIdentically) {
    // Session files store every character key as one code; no style may tell them apart.
    SynthOptions o;
    o.minutes = 1;
    o.seed = 5;
    o.window = Rect{0, 0, 320, 200};
    const CaptureResult original = synthesizeSession(o);
    CaptureResult redacted = original;
    redactCharacterKeys(redacted.events);
    ASSERT_NE(original.events, redacted.events);
    const StyleRegistry registry = makeFullRegistry();
    for (const auto& d : registry.descriptors()) {
        auto renderer = registry.renderer(d.id);
        auto a = renderCapture(original, *renderer, CanvasSize{320, 200});
        auto b = renderCapture(redacted, *renderer, CanvasSize{320, 200});
        ASSERT_TRUE(a && b) << d.id;
        EXPECT_TRUE(*a == *b) << d.id;
    }
}
