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

// ((x, y) - frame origin) x 2 for every event with a position; everything else unchanged.
std::vector<RawEvent> rebaseEvents(const std::vector<RawEvent>& events, const Rect& windowFrame);

struct SessionAnalysis {
    std::vector<Segment> segments;
    std::vector<SilentSpan> silentSpans;
    double silentRatio = 0;
};
// Rebased events cut into segments and silent spans.
SessionAnalysis analyseSession(const CaptureResult& capture);

// Rebase, segments and material: the renderer's input.
MaterialEngineOutput materialize(const CaptureResult& capture);

struct CanvasSize {
    int64_t width = 0;
    int64_t height = 0;
};
// Twice the window's size in points, truncated to whole pixels.
CanvasSize canvasSize(const Rect& windowFrame);

// The whole pipeline. canvasFrame is the window frame listed at setup time (the capture's
// own frame where the caller has no other).
std::optional<RgbaImage> renderCapture(const CaptureResult& capture, const StyleRenderer& renderer,
                                       const Rect& canvasFrame);
std::optional<RgbaImage> renderCapture(const CaptureResult& capture, const StyleRenderer& renderer,
                                       CanvasSize canvas);

}  // namespace murmura
