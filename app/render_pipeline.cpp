#include "app/render_pipeline.h"

#include <cmath>

namespace murmura {

InkMaterial pipelineInkMaterial() {
    return InkMaterial{18.0, 8.0, 0.85, VelocityCurve::defaultPreset(), 0.3};
}

MaterialEnergyModel pipelineEnergyModel() { return MaterialEnergyModel::defaultPreset(); }

CanvasScale canvasScale(const Rect& frame, CanvasSize canvas) {
    const CanvasSize standard = canvasSize(frame);
    auto side = [](double points, int64_t pixels, int64_t standardPixels) {
        if (pixels == standardPixels || !(points > 0) || !std::isfinite(points)) return 2.0;
        return static_cast<double>(pixels) / points;
    };
    return CanvasScale{side(frame.width, canvas.width, standard.width), side(frame.height, canvas.height, standard.height)};
}

void rebaseEventsInPlace(std::vector<RawEvent>& events, const Rect& frame, CanvasSize canvas) {
    const CanvasScale scale = canvasScale(frame, canvas);
    for (RawEvent& e : events)
        if (e.position) e.position = Point{(e.position->x - frame.x) * scale.x, (e.position->y - frame.y) * scale.y};
}

std::vector<RawEvent> rebaseEvents(const std::vector<RawEvent>& events, const Rect& frame, CanvasSize canvas) {
    std::vector<RawEvent> out = events;
    rebaseEventsInPlace(out, frame, canvas);
    return out;
}

std::vector<RawEvent> rebaseEvents(const std::vector<RawEvent>& events, const Rect& frame) {
    return rebaseEvents(events, frame, canvasSize(frame));
}

namespace {
// The segments own the rebased events: a copy of the capture's, or the capture's own events when
// the caller gives them up (a 25-minute session holds about ten megabytes of them).
std::vector<Segment> buildSegments(std::vector<RawEvent> events, const Rect& frame, CanvasSize canvas) {
    rebaseEventsInPlace(events, frame, canvas);
    const SegmentBuilder builder(GestureThresholds::defaultPreset());
    return builder.build(std::move(events));
}
std::vector<Segment> buildSegments(const CaptureResult& capture, CanvasSize canvas) {
    return buildSegments(capture.events, capture.windowFrame, canvas);
}
}  // namespace

SessionAnalysis analyseSession(const CaptureResult& capture) {
    return analyseSession(capture, canvasSize(capture.windowFrame));
}

SessionAnalysis analyseSession(const CaptureResult& capture, CanvasSize canvas) {
    SessionAnalysis analysis;
    analysis.segments = buildSegments(capture, canvas);
    const SilentSpanBuilder spans;
    analysis.silentSpans = spans.build(analysis.segments, capture.duration);
    analysis.silentRatio = spans.silentRatio(analysis.silentSpans, capture.duration);
    return analysis;
}

MaterialEngineOutput materialize(const CaptureResult& capture) {
    return materialize(capture, canvasSize(capture.windowFrame));
}

MaterialEngineOutput materialize(const CaptureResult& capture, CanvasSize canvas) {
    const MaterialEngine engine(pipelineInkMaterial(), pipelineEnergyModel());
    return engine.process(buildSegments(capture, canvas), capture.duration);
}

MaterialEngineOutput materialize(CaptureResult&& capture, CanvasSize canvas) {
    const MaterialEngine engine(pipelineInkMaterial(), pipelineEnergyModel());
    return engine.process(buildSegments(std::move(capture.events), capture.windowFrame, canvas), capture.duration);
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
    return renderer.render(materialize(capture, canvas), canvas.width, canvas.height);
}

std::optional<RgbaImage> renderCapture(CaptureResult&& capture, const StyleRenderer& renderer, CanvasSize canvas) {
    return renderer.render(materialize(std::move(capture), canvas), canvas.width, canvas.height);
}

std::optional<RgbaImage> renderCapture(const CaptureResult& capture, const StyleRenderer& renderer,
                                       const Rect& canvasFrame) {
    const CanvasSize canvas = canvasSize(canvasFrame);
    return renderer.render(materialize(capture), canvas.width, canvas.height);
}

std::optional<RgbaImage> renderCapture(CaptureResult&& capture, const StyleRenderer& renderer,
                                       const Rect& canvasFrame) {
    const CanvasSize canvas = canvasSize(canvasFrame);
    const CanvasSize own = canvasSize(capture.windowFrame);
    return renderer.render(materialize(std::move(capture), own), canvas.width, canvas.height);
}

}  // namespace murmura
