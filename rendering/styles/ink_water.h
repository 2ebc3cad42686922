#pragma once
// Ink Water: the session as sumi ink floating on water. Gestures are replayed in time order as
// ink drops and pushes into the fluid, so ink laid early is carried, curled and marbled by later
// movement; then the water settles and the dye is shown on paper.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "rendering/style_renderer.h"
#include "rendering/styles/fluid_replay.h"

namespace murmura {

class InkWaterRenderer final : public StyleRenderer {
public:
    using Scheduled = FluidScheduled;

    static constexpr int64_t replayFrames = 220;
    static constexpr int64_t settleFrames = 90;
    static constexpr float dt = 1.0f / 60.0f;
    static constexpr int64_t maxSplats = 2600;
    static constexpr float splatForce = 5200;
    static constexpr float pushClamp = 320;
    static constexpr float baseRadius = 0.0026f;
    static constexpr float dropInkStrength = 0.85f;
    static constexpr float dragInkStrength = 0.2f;
    static constexpr float hoverInkStrength = 0.07f;
    static constexpr std::array<float, 3> sumi{0.102f, 0.102f, 0.122f};

    const StyleDescriptor& descriptor() const override { return descriptor_; }
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width, int64_t height) const override;
    // The same, with the simulation's timings copied to `profile` (benchmarks).
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width, int64_t height,
                                    FluidSim::Profile* profile) const;

    // Every discrete segment's first positioned event becomes an ink drop with a swirl; every
    // used positioned event of a moving segment deposits ink, and all but the segment's first
    // also push the water along the direction travelled since the previous used event.
    std::vector<Scheduled> schedule(const std::vector<MaterializedSegment>& segments, float width, float height) const;

    static FluidSim::Config fluidConfig();
    static FluidReplaySettings replaySettings();

private:
    StyleDescriptor descriptor_{"ink-water", "Ink Water (墨流し)", StyleSeries::traditional};
};

}  // namespace murmura
