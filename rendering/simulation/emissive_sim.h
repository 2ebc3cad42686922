#pragma once
// A glowing picture from additive Gaussian heat dots: the dots accumulate in a half-float
// emissive field, which is bloomed (halved and blurred), normalised by a high percentile of its
// own coarse values and mapped through a thermal ramp that drifts to cyan in places, over a dark
// background with a vignette.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "rendering/rgba_image.h"
#include "rendering/simulation/compute.h"
#include "rendering/simulation/compute_splat.h"

namespace murmura {

namespace emissive {

using compute::DisplayField;
using compute::Field;
using compute::Rgb;
using compute::Workspace;

struct Size {
    int32_t width = 0;
    int32_t height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};
// `longSide` texels on the canvas's longer side, the other side in proportion (rounded, at least 1).
Size fieldSize(int64_t width, int64_t height, int64_t longSide);
// Half of each side (integer division), 1 for a side of 1.
Size halfSize(Size s);

// The coarse heat field the peak is taken from: channel 0 of a float texture.
struct StatsPlane {
    Size size;
    std::vector<float> heat;
};

struct CompositeParams {
    Rgb background{};
    float coreGain = 0;
    float bloomGain = 0;
    float exposure = 0;
    float heatScale = 1;
};

// The 98.5th percentile of the positive values (at least 1e-4), or 1 when there is none.
float peakOf(std::span<const float> heat);

// n_copy: src sampled at every output texel, all channels (a downsample when out is smaller).
void nCopy(const Field& src, Field& out, Workspace& ws);
// n_blur: nine taps dir apart (uv units) with the Gaussian weights, all channels.
void nBlur(const Field& src, Field& out, float dirX, float dirY, Workspace& ws);
// n_heat: core.r * coreGain + halo.r * bloomGain at every texel of the plane.
void nHeat(const Field& core, const Field& halo, StatsPlane& out, float coreGain, float bloomGain, Workspace& ws);
// n_composite: the thermal picture.
void nComposite(const Field& core, const Field& halo, DisplayField& out, const CompositeParams& p, Workspace& ws);

// The same kernels texel by texel through Field::sample, as the formulas are written.
namespace reference {
void nCopy(const Field& src, Field& out, Workspace& ws);
void nBlur(const Field& src, Field& out, float dirX, float dirY, Workspace& ws);
void nHeat(const Field& core, const Field& halo, StatsPlane& out, float coreGain, float bloomGain);
void nComposite(const Field& core, const Field& halo, DisplayField& out, const CompositeParams& p);
}  // namespace reference

}  // namespace emissive

class EmissiveSim {
public:
    struct Config {
        compute::Rgb background{};
        float coreGain = 0;
        float bloomGain = 0;
        float exposure = 0;
        int64_t blurPasses = 0;  // negative counts as 0
        float blurSpread = 0;    // tap spacing in bloom texels
        int64_t emissiveRes = 0; // texels on the longer side of the emissive field
    };

    struct Splat {
        std::array<float, 2> point{};  // canvas-normalised, x from the left, y from the top
        compute::Rgb color{};                // heat added; only the first channel is read later
        float radius = 0;              // Gaussian width against a squared normalised distance
    };

    // A simulation for a width x height picture, or nothing when a field cannot be made.
    static std::unique_ptr<EmissiveSim> create(int64_t width, int64_t height, const Config& config);

    // Adds the splats in order (each rounds the field to half floats).
    void applySplats(std::span<const Splat> splats);
    // Bloom, heat and the peak: the value the combined heat is divided by.
    float peak();
    // The thermal picture; the emissive field is left as it is.
    std::optional<RgbaImage> renderImage();

    const compute::Field& emissive() const { return emit_.read; }

private:
    EmissiveSim(int64_t width, int64_t height, const Config& config, compute::FieldPair emit, compute::FieldPair blur,
                emissive::StatsPlane stats);

    int64_t outW_, outH_;
    Config config_;
    float aspect_;
    compute::FieldPair emit_;
    compute::FieldPair blur_;
    emissive::StatsPlane stats_;
    compute::Workspace workspace_;
    std::vector<compute::SplatPass> passes_;
};

}  // namespace murmura
