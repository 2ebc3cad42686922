#include "app/render_pipeline.h"

#include <gtest/gtest.h>

#include "../test_events.h"
#include "rendering/style_registry.h"
#include "session/synthetic_session.h"

using namespace murmura;
using namespace murmura::test;

namespace {
// Records what the pipeline hands to a renderer.
class ProbeRenderer final : public StyleRenderer {
public:
    const StyleDescriptor& descriptor() const override { return descriptor_; }
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width, int64_t height) const override {
        seen = output;
        seenSize = {width, height};
        return RgbaImage::create(width, height, ColorSpace::deviceRGB);
    }
    StyleDescriptor descriptor_{"probe", "Probe", StyleSeries::artist};
    mutable MaterialEngineOutput seen;
    mutable std::pair<int64_t, int64_t> seenSize;
};
}  // namespace

TEST(RenderPipeline, EventsAreRebasedToCanvasPixelsOfTwiceTheWindowSize) {
    RawEvent wheel = scroll(2.0, -10);
    wheel.position = Point{100, 50};
    const RawEvent first = move(0.5, 100, 50);
    auto out = rebaseEvents({first, event(EventType::appBecameActive, 1.0, std::nullopt), wheel, move(3.0, 10, 5)},
                            Rect{40, 20, 800, 600});
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].position, (Point{120, 60}));
    EXPECT_EQ(out[0].id, first.id);
    EXPECT_EQ(out[0].timestamp, 0.5);
    EXPECT_FALSE(out[1].position);
    EXPECT_EQ(out[2].delta, (Vector{0, -10}));      // deltas are not scaled
    EXPECT_EQ(out[3].position, (Point{-60, -30}));  // outside the window: not clamped
    for (auto [frame, w, h] : {std::tuple{Rect{0, 0, 800, 600}, 1600, 1200}, {Rect{0, 0, 800.7, 600.2}, 1601, 1200},
                               {Rect{0, 0, -5, 1e300}, 0, 0}}) {
        EXPECT_EQ(canvasSize(frame).width, w) << frame.width;
        EXPECT_EQ(canvasSize(frame).height, h) << frame.height;
    }
}

TEST(RenderPipeline, VelocityAndMaterialAreMeasuredInCanvasPixels) {
    // 3 points in 1 s is 6 canvas pixels per second: above the 5.0 minimum only after rebasing,
    // so the click afterwards splits a moving segment from a discrete one.
    CaptureResult capture{{move(1.0, 200, 200), move(2.0, 203, 200), down(3.0, 203, 200)}, 10, 0, Rect{100, 100, 400, 300}};
    SessionAnalysis analysis = analyseSession(capture);
    ASSERT_EQ(analysis.segments.size(), 2u);
    EXPECT_EQ(analysis.segments[1].segmentType, SegmentType::discrete);
    EXPECT_DOUBLE_EQ(analysis.silentRatio, 0.9);  // silent: [0, 1], [2, 3], [3, 10]

    capture = {{move(1.0, 10, 10), move(1.1, 60, 10), move(1.2, 110, 10)}, 60, 0, Rect{0, 0, 320, 200}};
    ProbeRenderer probe;
    ASSERT_TRUE(renderCapture(capture, probe, Rect{0, 0, 400.6, 300}));
    EXPECT_EQ(probe.seenSize, (std::pair<int64_t, int64_t>{801, 600}));
    ASSERT_EQ(probe.seen.segments.size(), 1u);
    // 100 points per 0.1 s = 2000 canvas px/s: the fastest material.
    EXPECT_DOUBLE_EQ(probe.seen.segments[0].properties.opacity(), 0.85);
    const MaterialEngineOutput copied = probe.seen;
    ASSERT_TRUE(renderCapture(std::move(capture), probe, Rect{0, 0, 400.6, 300}));
    EXPECT_EQ(probe.seenSize, (std::pair<int64_t, int64_t>{801, 600}));
    ASSERT_EQ(probe.seen.segments.size(), 1u);
    EXPECT_EQ(probe.seen.segments[0].segment.events.front().position, copied.segments[0].segment.events.front().position);
    EXPECT_EQ(probe.seen.segments[0].properties.opacity(), copied.segments[0].properties.opacity());
}

TEST(RenderPipeline, RedactedAndHandedOverSessionsRenderIdenticallyInEveryStyle) {
    // Session files store every character key as one code; no style may tell them apart. A
    // capture whose events the pipeline takes over renders as one it copies.
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
        auto a = renderCapture(original, *registry.renderer(d.id), CanvasSize{320, 200});
        CaptureResult handed = redacted;
        auto b = renderCapture(std::move(handed), *registry.renderer(d.id), CanvasSize{320, 200});
        ASSERT_TRUE(a && b) << d.id;
        EXPECT_TRUE(*a == *b) << d.id;
        EXPECT_EQ(handed.duration, redacted.duration);
        EXPECT_EQ(handed.windowFrame, redacted.windowFrame);
    }
}
