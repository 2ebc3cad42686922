#include "app/render_pipeline.h"

#include <cmath>

namespace murmura {

InkMaterial pipelineInkMaterial() {
    return InkMaterial{18.0, 8.0, 0.85, VelocityCurve::defaultPreset(), 0.3};
}

MaterialEnergyModel pipelineEnergyModel() { return MaterialEnergyModel::defaultPreset(); }

std::vector<RawEvent> rebaseEvents(const std::vector<RawEvent>& events, const Rect& frame) {
    std::vector<RawEvent> out = events;
    for (RawEvent& e : out)
        if (e.position) e.position = Point{(e.position->x - frame.x) * 2.0, (e.position->y - frame.y) * 2.0};
    return out;
}

namespace {
std::vector<Segment> buildSegments(const CaptureResult& capture) {
    const SegmentBuilder builder(GestureThresholds::defaultPreset());
    return builder.build(rebaseEvents(capture.events, capture.windowFrame));
}
}  // namespace

SessionAnalysis analyseSession(const CaptureResult& capture) {
    SessionAnalysis analysis;
    analysis.segments = buildSegments(capture);
    const SilentSpanBuilder spans;
    analysis.silentSpans = spans.build(analysis.segments, capture.duration);
    analysis.silentRatio = spans.silentRatio(analysis.silentSpans, capture.duration);
    return analysis;
}

MaterialEngineOutput materialize(const CaptureResult& capture) {
    const MaterialEngine engine(pipelineInkMaterial(), pipelineEnergyModel());
    return engine.process(buildSegments(capture), capture.duration);
}

CanvasSize canvasSize(const Rect& frame) {
    auto side = [](double points) -> int64_t {
        const double pixels = 2.0 * points;
        // Non-finite or absurd sizes give an empty canvas, which renderers refuse.
        if (!std::isfinite(pixels) || pixels <= 0 || pixels > 1e9) return 0;
        return static_cast<int64_t>(pixels);
    };
    return CanvasSize{side(frame.width), side(frame.height)};
}

std::optional<RgbaImage> renderCapture(const CaptureResult& capture, const StyleRenderer& renderer,
                                       CanvasSize canvas) {
    return renderer.render(materialize(capture), canvas.width, canvas.height);
}

std::optional<RgbaImage> renderCapture(const CaptureResult& capture, const StyleRenderer& renderer,
                                       const Rect& canvasFrame) {
    return renderCapture(capture, renderer, canvasSize(canvasFrame));
}

}  // namespace murmura
