#pragma once
// The rendering pipeline shared by the application (on a worker thread) and murmura-cli:
// rebase positions, cut segments, apply the material engine, size the canvas, render.
#include <cstdint>
#include <optional>
#include <vector>

#include "session/capture_result.h"
#include "material/material_engine.h"
#include "rendering/style_renderer.h"

namespace murmura {

// The material and ink budget every session is rendered with.
InkMaterial pipelineInkMaterial();
MaterialEnergyModel pipelineEnergyModel();

struct CanvasSize {
    int64_t width = 0;
    int64_t height = 0;
    friend bool operator==(const CanvasSize&, const CanvasSize&) = default;
};
// Twice the window's size in points, truncated to whole pixels.
CanvasSize canvasSize(const Rect& windowFrame);

// How many canvas pixels one window point spans on each axis when the whole window frame is
// drawn on the canvas: canvas side / frame side, and exactly 2 on a side of the default canvas
// (whose truncation to whole pixels must not nudge positions).
struct CanvasScale {
    double x = 2.0;
    double y = 2.0;
};
CanvasScale canvasScale(const Rect& windowFrame, CanvasSize canvas);

// ((x, y) - frame origin) x scale for every event with a position; everything else unchanged.
// Without a canvas, the default canvas (x 2).
std::vector<RawEvent> rebaseEvents(const std::vector<RawEvent>& events, const Rect& windowFrame);
std::vector<RawEvent> rebaseEvents(const std::vector<RawEvent>& events, const Rect& windowFrame, CanvasSize canvas);
void rebaseEventsInPlace(std::vector<RawEvent>& events, const Rect& windowFrame, CanvasSize canvas);

struct SessionAnalysis {
    std::vector<Segment> segments;
    std::vector<SilentSpan> silentSpans;
    double silentRatio = 0;
};
// Rebased events cut into segments and silent spans; without a canvas, the default one of the
// capture's window frame.
SessionAnalysis analyseSession(const CaptureResult& capture);
SessionAnalysis analyseSession(const CaptureResult& capture, CanvasSize canvas);

// Rebase, segments and material: the renderer's input.
MaterialEngineOutput materialize(const CaptureResult& capture);
MaterialEngineOutput materialize(const CaptureResult& capture, CanvasSize canvas);
// The same from a capture whose events the segments may take over (no copy of them is made).
MaterialEngineOutput materialize(CaptureResult&& capture, CanvasSize canvas);

// The whole pipeline. canvasFrame is the window frame listed at setup time (the capture's
// own frame where the caller has no other): positions are rebased x 2 from the capture's frame
// onto a canvas twice canvasFrame's size.
std::optional<RgbaImage> renderCapture(const CaptureResult& capture, const StyleRenderer& renderer,
                                       const Rect& canvasFrame);
// The whole capture's window frame drawn onto a canvas of the given size.
std::optional<RgbaImage> renderCapture(const CaptureResult& capture, const StyleRenderer& renderer,
                                       CanvasSize canvas);
// The same, handing the capture's events over to the pipeline instead of copying them (the rest
// of the capture is left as it was).
std::optional<RgbaImage> renderCapture(CaptureResult&& capture, const StyleRenderer& renderer,
                                       const Rect& canvasFrame);
std::optional<RgbaImage> renderCapture(CaptureResult&& capture, const StyleRenderer& renderer, CanvasSize canvas);

}  // namespace murmura
