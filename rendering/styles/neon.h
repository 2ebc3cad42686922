#pragma once
// Neon: the session as glowing heat. Every pointer position is an additive heat dot in the
// emissive field; pressed and dragged positions glow hotter and wider than hovering ones, and
// each click-like gesture leaves one bright drop.
#include <cstdint>
#include <span>
#include <vector>

#include "rendering/simulation/emissive_sim.h"
#include "rendering/style_renderer.h"

namespace murmura {

namespace neon {

// Enough dots that a long session's pointer path still reads as continuous trails; a dot only
// touches the texels its glow reaches, so the cost follows the trail's length, not the field.
inline constexpr int64_t kMaxSplats = 20000;

enum class Kind { contact, hover, drop };

struct Dot {
    float x = 0;  // canvas-normalised
    float y = 0;
    float heat = 0;
    float radius = 0;  // in canvas heights
    Kind kind = Kind::hover;
};

// Every stride-th positioned event of each moving segment (its first always) and the first
// positioned event of each discrete segment. Non-finite positions count as absent.
int64_t stride(std::span<const MaterializedSegment> segments);
std::vector<Dot> dots(std::span<const MaterializedSegment> segments, float width, float height);

EmissiveSim::Config simConfig();
// The dots as emissive splats of colour (heat, 0, 0). A dot's radius is a distance, so the
// splat's Gaussian width (compared with a squared distance) is its square: read as a width
// itself, 0.0062 would spread every dot over a fifth of the canvas and melt the trails into one
// heat map.
std::vector<EmissiveSim::Splat> splats(std::span<const Dot> dots);

}  // namespace neon

class NeonRenderer final : public StyleRenderer {
public:
    const StyleDescriptor& descriptor() const override { return descriptor_; }
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width, int64_t height) const override;

private:
    StyleDescriptor descriptor_{"neon", "Neon (霓虹)", StyleSeries::traditional};
};

}  // namespace murmura
