#pragma once
// What the fluid styles share: the session's gestures replayed in time order as splats into a
// fluid simulation over a fixed number of frames, then a few frames for the water to settle.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "material/material_engine.h"
#include "rendering/rgba_image.h"
#include "rendering/simulation/fluid_sim.h"

namespace murmura {

// Splats applied together in one frame, at relative time t (0 to 1) of the session.
struct FluidScheduled {
    float t = 0;
    std::vector<FluidSim::Splat> splats;
};

// How a style turns gestures into splats.
struct FluidReplaySettings {
    int64_t maxSplats = 2600;     // the stride keeps the used events near this number
    float splatForce = 0;         // push per canvas-normalised unit of travel
    float pushClamp = 0;          // per component, texels per second
    float baseRadius = 0;
    float widthDivisor = 1;       // s = strokeWidth / widthDivisor, clamped to [minWidthScale, maxWidthScale]
    float minWidthScale = 0;
    float maxWidthScale = 0;
    float dropStrength = 0;       // discrete segments
    float dragStrength = 0;       // moving events of type mouseDown or mouseDragged
    float hoverStrength = 0;      // other moving events
    float dropSwirl = 0;          // speed of a drop's push
    float dropSwirlRadius = 0;    // radius of a drop's push
    float pushRadius = 0;         // radius of a movement's push
};

// Ink absorbance of a mark at a canvas-normalised point.
using AbsorbanceAt = std::function<std::array<float, 3>(std::array<float, 2>)>;

// -ln(max(c, 0.012)) per channel: the absorbance that shows colour c on white paper.
std::array<float, 3> absorbanceOf(const std::array<float, 3>& colour);

// The splats of the session's positioned events, in segment order (see the styles' headers).
std::vector<FluidScheduled> scheduleFluidReplay(const std::vector<MaterializedSegment>& segments, float width,
                                                float height, const FluidReplaySettings& settings,
                                                const AbsorbanceAt& absorbance);

// The frame of relative time t among `frames` frames: integer part of t * (frames - 1), clamped.
int64_t replayFrameIndex(float t, int64_t frames);

struct FluidReplayTiming {
    int64_t replayFrames = 0;
    int64_t settleFrames = 0;
    float dt = 0;
};

using FluidSchedule = std::function<std::vector<FluidScheduled>(const std::vector<MaterializedSegment>&, float, float)>;

// The whole render: a simulation for width x height, the schedule of the output's segments
// spread over the replay frames, the settle frames, the image. Nothing when the canvas is empty,
// the simulation cannot be made or memory runs out; never throws. The simulation's profile is
// copied to `profile` when given.
std::optional<RgbaImage> renderFluidReplay(const MaterialEngineOutput& output, int64_t width, int64_t height,
                                           const FluidSchedule& schedule, const FluidSim::Config& config,
                                           const FluidReplayTiming& timing, FluidSim::Profile* profile);

}  // namespace murmura
