#pragma once
// Watercolor: the session as transparent washes. Gestures are replayed as pigment drops and
// pushes into the fluid with slow dye diffusion, shown with water-mark rims, granulation and a
// saturation cap, so washes bleed outward and pool at their edges. The canvas is split into
// 3 x 2 regions, each with a fixed pseudo-random pigment of a palette of five.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "rendering/style_renderer.h"
#include "rendering/styles/fluid_replay.h"

namespace murmura {

class WatercolorRenderer final : public StyleRenderer {
public:
    using Scheduled = FluidScheduled;

    static constexpr int64_t replayFrames = 200;
    static constexpr int64_t settleFrames = 120;
    static constexpr float dt = 1.0f / 60.0f;
    static constexpr int64_t maxSplats = 2600;
    static constexpr float splatForce = 3600;
    static constexpr float pushClamp = 240;
    static constexpr float baseRadius = 0.0042f;
    static constexpr float dropStrength = 0.46f;
    static constexpr float dragStrength = 0.14f;
    static constexpr float hoverStrength = 0.05f;
    // Blue, green, crimson, ochre, violet.
    static constexpr std::array<std::array<float, 3>, 5> pigments{{{0.184f, 0.416f, 0.69f},
                                                                   {0.18f, 0.545f, 0.435f},
                                                                   {0.765f, 0.192f, 0.286f},
                                                                   {0.82f, 0.635f, 0.29f},
                                                                   {0.424f, 0.29f, 0.612f}}};

    const StyleDescriptor& descriptor() const override { return descriptor_; }
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width, int64_t height) const override;
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width, int64_t height,
                                    FluidSim::Profile* profile) const;

    // As the ink water style's schedule, with this style's constants and the pigment of the
    // region each mark falls in.
    std::vector<Scheduled> schedule(const std::vector<MaterializedSegment>& segments, float width, float height) const;

    // The pigment of the region (of 3 columns and 2 rows) that canvas-normalised p falls in;
    // points outside [0, 1) fall in further regions with their own hashed pigments.
    static std::array<float, 3> pigmentAt(std::array<float, 2> p);

    static FluidSim::Config fluidConfig();
    static FluidReplaySettings replaySettings();

private:
    StyleDescriptor descriptor_{"watercolor", "Watercolor (水彩)", StyleSeries::traditional};
};

}  // namespace murmura
