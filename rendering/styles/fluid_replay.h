#pragma once
// The fluid styles: the session's gestures replayed in time order as dye and velocity splats into
// a fluid simulation over a fixed number of frames, then a few frames for the water to settle,
// then the dye shown on paper. One renderer, fed by a style definition (fluid_styles.h).
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "material/material_engine.h"
#include "rendering/rgba_image.h"
#include "rendering/simulation/fluid_sim.h"
#include "rendering/style_renderer.h"

namespace murmura {

using Rgb = std::array<float, 3>;

// Splats applied together in one frame, at relative time t (0 to 1) of the session.
struct FluidScheduled {
    float t = 0;
    std::vector<FluidSim::Splat> splats;
};

// How a style turns gestures into splats. Every discrete segment's first positioned event
// becomes a dye drop with a push in a direction hashed from its place; every used positioned
// event of a moving segment deposits dye, and all but the segment's first also push the water
// along the direction travelled since the previous used event.
struct FluidSplatRules {
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

struct FluidReplayTiming {
    int64_t replayFrames = 0;
    int64_t settleFrames = 0;
    float dt = 0;
};

struct FluidStyleDefinition {
    StyleDescriptor descriptor;
    FluidReplayTiming timing;
    FluidSplatRules splats;
    // A mark takes the pigment of the canvas region (3 columns x 2 rows) it falls in, each region
    // hashed to one of these; with a single pigment every mark has it.
    std::vector<Rgb> pigments;
    FluidSim::Config fluid;  // the paper and the display variant included
    // The most dye, as mean absorbance over the canvas, a render lays down (0: no limit).
    double dyeBudget = 0;
};

// What the dye budget did to one schedule: the deposit before scaling and the factor applied.
struct DyeBudgetUse {
    double deposit = 0;
    float factor = 1;
};

class FluidReplayRenderer final : public StyleRenderer {
public:
    explicit FluidReplayRenderer(FluidStyleDefinition definition) : def_(std::move(definition)) {}

    const StyleDescriptor& descriptor() const override { return def_.descriptor; }
    const FluidStyleDefinition& definition() const { return def_; }

    // A simulation for width x height, the schedule spread over the replay frames, the settle
    // frames, the image. Nothing when the canvas is empty, the simulation cannot be made or
    // memory runs out; never throws.
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width, int64_t height) const override;
    // The same, with the simulation's timings copied to `profile` (benchmarks).
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width, int64_t height,
                                    FluidSim::Profile* profile) const;

    // The splats of the session's positioned events, in segment order (see FluidSplatRules).
    // Empty without positioned events or when they all share one timestamp.
    std::vector<FluidScheduled> schedule(const std::vector<MaterializedSegment>& segments, float width,
                                         float height) const;
    // The schedule a render replays: the above, with every dye splat's colour scaled by
    // budget / deposit where the dye would deposit more than the style's budget (dyeDeposit).
    // Without a stride a long session would lay ever more dye, and with it the splats still
    // add up to several times what paper can show: ink turns the page black, washes saturate.
    std::vector<FluidScheduled> budgetedSchedule(const std::vector<MaterializedSegment>& segments, int64_t width,
                                                 int64_t height, DyeBudgetUse* use = nullptr) const;

private:
    std::optional<RgbaImage> replay(const MaterialEngineOutput& output, int64_t width, int64_t height,
                                    FluidSim::Profile* profile) const;

    FluidStyleDefinition def_;
};

// The mean absorbance, averaged over the three channels, that the dye splats of `list` lay over
// a canvas of the given aspect (width / height): each Gaussian's integral, colour x pi x radius
// / aspect, over the canvas's area of 1. Splats the simulation would skip count nothing.
double dyeDeposit(const std::vector<FluidScheduled>& list, double aspect);

// budget / deposit where the deposit exceeds a positive budget; 1 otherwise.
float dyeBudgetFactor(double deposit, double budget);

// -ln(max(c, 0.012)) per channel: the absorbance that shows colour c on white paper.
Rgb absorbanceOf(const Rgb& colour);

// The pigment of the region (of 3 columns and 2 rows) that canvas-normalised p falls in; points
// outside [0, 1) fall in further regions with their own hashed pigments.
Rgb pigmentAt(std::span<const Rgb> pigments, std::array<float, 2> p);

// The frame of relative time t among `frames` frames: integer part of t * (frames - 1), clamped.
int64_t replayFrameIndex(float t, int64_t frames);

}  // namespace murmura
