#include "rendering/artwork_renderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "support/diagnostics.h"
#include "support/text.h"

namespace murmura {

namespace {

std::string fixed2(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int32_t gridSide(int64_t pixels, int64_t scale) {
    return static_cast<int32_t>(std::clamp<int64_t>(pixels / scale, 1, INT32_MAX));
}

}  // namespace

void runInkSchedule(InkField& field, InkStyle style) {
    const auto start = std::chrono::steady_clock::now();
    if (style == InkStyle::longSessionStable) {
        diagnostic("Running Long Session Stable simulation (6 iterations)...");
        for (int i = 0; i < 6; ++i) {
            field.flow(150);
            field.advect(0.04f);
            field.darkenEdges(0.06f + static_cast<float>(i) * 0.04f / 6.0f);
            field.evaporate(0.004f);
        }
        field.applyBackruns(0.6f);
        field.ageLayers();
        field.darkenEdges(0.08f);
        diagnostic("Long Session simulation complete in " + fixed2(secondsSince(start)) + "s");
        return;
    }
    const std::string name = style == InkStyle::fluidInk ? "Fluid Ink" : "Splash Ink";
    diagnostic("Running " + name + " simulation (2 iterations, minimal diffusion)...");
    for (int i = 0; i < 2; ++i) {
        field.flow(300);
        field.darkenEdges(0.08f + 0.02f * static_cast<float>(i));
        field.evaporate(0.003f);
        field.enforceBlobLimit(0.05f);
    }
    field.ageLayers();
    field.darkenEdges(0.1f);
    diagnostic(name + " simulation complete in " + fixed2(secondsSince(start)) + "s");
}

std::string_view rawValue(InkStyle style) {
    switch (style) {
        case InkStyle::fluidInk: return "Fluid Ink";
        case InkStyle::splashInk: return "Splash Ink";
        case InkStyle::longSessionStable: return "Long Session Stable";
    }
    return "";
}

InkPhysicsConfig inkPhysicsConfig(InkStyle style) {
    InkPhysicsConfig c;
    c.minimumInkLevel = 0.05f;
    c.dwellDistanceThreshold = 3.0;
    c.minimumDwellDuration = 0.2;
    c.dwellPoolingDelay = 0.25;
    c.maxPoolingAmount = 0.6f;
    c.silenceThreshold = 0.5;
    c.baseDryingRate = 0.1f;
    c.maxDryingIntensity = 0.8f;
    c.splatterAccelerationThreshold = 2000.0;
    c.brushSizeRange = {3.0, 22.0};
    c.alphaRange = {0.35, 1.0};
    c.erosionRange = {0.0f, 0.92f};
    switch (style) {
        case InkStyle::fluidInk:
            c.depletionRate = 0.0012f, c.flyingWhiteThreshold = 0.38f, c.rechargeRate = 0.4f;
            c.splatterVelocityThreshold = 800.0;
            break;
        case InkStyle::splashInk:
            c.depletionRate = 0.0015f, c.flyingWhiteThreshold = 0.38f, c.rechargeRate = 0.5f;
            c.splatterVelocityThreshold = 600.0;
            break;
        case InkStyle::longSessionStable:
            c.depletionRate = 0.0005f, c.flyingWhiteThreshold = 0.22f, c.rechargeRate = 0.6f;
            c.splatterVelocityThreshold = 450.0;
            break;
    }
    return c;
}

ArtworkRenderer::ArtworkRenderer(int64_t width, int64_t height, InkStyle style, bool gestural)
    : width_(width), height_(height), style_(style), gestural_(gestural),
      simScale_(std::max<int64_t>(std::llround(static_cast<double>(width) / 640.0), 2)) {}

int32_t ArtworkRenderer::gridWidth() const { return gridSide(width_, simScale_); }
int32_t ArtworkRenderer::gridHeight() const { return gridSide(height_, simScale_); }

std::optional<RgbaImage> ArtworkRenderer::render(const MaterialEngineOutput& output) const {
    if (width_ < 1 || height_ < 1 || width_ > RgbaImage::kMaxSide || height_ > RgbaImage::kMaxSide) return std::nullopt;
    try {
        const auto start = std::chrono::steady_clock::now();
        diagnostic("Canvas size: " + std::to_string(width_) + " x " + std::to_string(height_) +
                   ", Style: " + std::string(rawValue(style_)));
        diagnostic("Simulation resolution: " + std::to_string(gridWidth()) + " x " + std::to_string(gridHeight()));
        InkField field(gridWidth(), gridHeight());
        diagnostic("Silent ratio: " + shortestDecimal(output.conditioning.silentRatio) + ", wetness initialized to 0");
        const StrokePhaseResult strokes = runStrokePhase(field, output, style_, gestural_, simScale_);
        const StrokeSummary& s = strokes.summary;
        diagnostic("[STROKE SUMMARY] Strokes: " + std::to_string(s.strokes) + ", Entry tapers: " +
                   std::to_string(s.entryTapers) + ", Exit tapers: " + std::to_string(s.exitTapers) +
                   ", Events: " + std::to_string(s.events) + ", KeyDots: " + std::to_string(s.keyDots) +
                   ", Pooling: " + std::to_string(s.pooling));
        runInkSchedule(field, style_);
        double latest = 0;
        for (const MaterializedSegment& m : output.segments) latest = std::max(latest, m.segment.endTime);
        diagnostic("Rendering to image with enhanced contrast...");
        auto image = composeInkImage(field, width_, height_, simScale_, strokes.tone,
                                     output.conditioning.silentRatio, latest);
        if (!image) {
            diagnostic("Failed to create context");
            return std::nullopt;
        }
        diagnostic("Render complete in " + fixed2(secondsSince(start)) + "s");
        return image;
    } catch (const std::bad_alloc&) {
        // Renderers report no errors; running out of memory means no image.
        return std::nullopt;
    }
}

InkTrace ArtworkRenderer::trace(const MaterialEngineOutput& output, size_t from, size_t count) const {
    InkTrace t;
    t.simScale = simScale_;
    t.gridWidth = gridWidth();
    t.gridHeight = gridHeight();
    InkField field(t.gridWidth, t.gridHeight);
    size_t ordinal = 0;
    const InkEventObserver record = [&](const InkTraceEvent& e) {
        if (ordinal >= from && ordinal - from < count) t.events.push_back(e);
        ++ordinal;
    };
    t.summary = runStrokePhase(field, output, style_, gestural_, simScale_, record).summary;
    return t;
}

}  // namespace murmura
