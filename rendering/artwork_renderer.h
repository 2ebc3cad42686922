#pragma once
// Ink (or charcoal) on paper on the CPU: every recorded event is replayed through the ink
// state calculator, deposits ink and water into an InkField at a reduced resolution, a fixed
// simulation schedule moves it, and the field is composed into the full-size image.
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "material/ink_state_calculator.h"
#include "material/material_engine.h"
#include "rendering/ink_field.h"
#include "rendering/rgba_image.h"

namespace murmura {

enum class InkStyle { fluidInk, splashInk, longSessionStable };
std::string_view rawValue(InkStyle style);
// The calculator's configuration for a mode.
InkPhysicsConfig inkPhysicsConfig(InkStyle style);

struct StrokePointRecord {
    float x = 0, y = 0;  // grid units
    float distanceFromStart = 0;
    float brushRadius = 0;
    float inkAmount = 0;
    float pressure = 0;
    float angle = 0;
};

// The counters of the stroke phase's summary line.
struct StrokeSummary {
    int64_t strokes = 0, entryTapers = 0, exitTapers = 0, events = 0, keyDots = 0, pooling = 0;
    friend bool operator==(const StrokeSummary&, const StrokeSummary&) = default;
};

// What the stroke phase hands to composition: the first raises the paper noise, the second
// widens the paper grain, the third lowers the archive weight.
struct ToneParameters {
    float paperNoise = 0, grainWidth = 0, archiveLowering = 0;
};

// The calculator's inputs and outputs for one replayed event.
struct InkTraceEvent {
    size_t segment = 0;
    size_t index = 0;  // within the segment
    double timestamp = 0;
    std::optional<Point> position;  // grid units
    bool contact = false;
    bool active = false;
    float inkBefore = 0;  // the brush's level passed in, after the per-segment refill
    InkDrawParameters parameters;
};

struct StrokePhaseResult {
    StrokeSummary summary;
    ToneParameters tone;
};

// Called once per replayed event, in order (diagnostic tools only).
using InkEventObserver = std::function<void(const InkTraceEvent&)>;

// Replays the session into the field. simScale: canvas pixels per cell.
StrokePhaseResult runStrokePhase(InkField& field, const MaterialEngineOutput& output, InkStyle style, bool gestural,
                                 int64_t simScale, const InkEventObserver& observer = {});

// The mode's fixed simulation schedule after the stroke phase (prints its two lines).
void runInkSchedule(InkField& field, InkStyle style);

// Composes the field into a width x height image (nothing when the canvas cannot be made).
std::optional<RgbaImage> composeInkImage(const InkField& field, int64_t width, int64_t height, int64_t simScale,
                                         const ToneParameters& tone, double silentRatio, double latestTime);

struct InkTrace {
    int64_t simScale = 0;
    int32_t gridWidth = 0, gridHeight = 0;
    StrokeSummary summary;
    std::vector<InkTraceEvent> events;  // the requested window, in replay order
};

class ArtworkRenderer {
public:
    ArtworkRenderer(int64_t width, int64_t height, InkStyle style, bool gestural);

    int64_t width() const { return width_; }
    int64_t height() const { return height_; }
    InkStyle style() const { return style_; }
    bool gestural() const { return gestural_; }
    // Canvas pixels per simulation cell: max(round(width / 640), 2).
    int64_t simScale() const { return simScale_; }
    // Every side at least one cell.
    int32_t gridWidth() const;
    int32_t gridHeight() const;

    // Nothing for a canvas under one pixel or one that cannot be allocated.
    std::optional<RgbaImage> render(const MaterialEngineOutput& output) const;

    // The stroke phase alone, recording the calculator's trace of events from..from+count-1.
    InkTrace trace(const MaterialEngineOutput& output, size_t from = 0, size_t count = SIZE_MAX) const;

private:
    int64_t width_, height_;
    InkStyle style_;
    bool gestural_;
    int64_t simScale_;
    ColorSpace colorSpace_ = ColorSpace::deviceRGB;
};

}  // namespace murmura
