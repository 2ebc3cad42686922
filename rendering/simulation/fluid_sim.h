#pragma once
// A two-dimensional incompressible fluid (semi-Lagrangian advection, vorticity confinement,
// Jacobi pressure projection) carrying a dye of optical absorbance per channel, shown as paper
// colour x exp(-absorbance): plain ink on paper, or watercolour with rims, granulation and a
// saturation cap. Styles drive it by replaying gestures as splats.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "rendering/rgba_image.h"
#include "rendering/simulation/compute.h"
#include "rendering/simulation/fluid_kernels.h"

namespace murmura {

// What every fluid simulation shares: the kernel table and the noise lattices of the display
// kernels. One instance per process, made on first request and kept.
class FluidContext {
public:
    // Short kernel names, in the order the table is built.
    static constexpr std::array<std::string_view, 12> kKernelNames = {
        "zero", "splat", "advect", "curl", "vorticity", "divergence", "clear", "pressure", "gradient", "display",
        "diffuse", "display_wc"};

    // The shared context; nullptr when it could not be made (then no simulation can be created).
    // A failed creation is not retried.
    static const FluidContext* shared();

    bool hasKernel(std::string_view name) const;
    fluid::InkDisplayNoise inkNoise() const { return {fine420_, medium180_, coarse60_}; }
    fluid::WatercolorDisplayNoise watercolorNoise() const { return {granulation150_, fine430_, medium170_}; }

    FluidContext();

private:
    gen::ValueNoiseLattice fine420_{420}, medium180_{180}, coarse60_{60};
    gen::ValueNoiseLattice granulation150_{150}, fine430_{430}, medium170_{170};
};

class FluidSim {
public:
    enum class DisplayVariant { ink, watercolor };

    struct Config {
        int64_t pressureIterations = 0;  // Jacobi iterations per step; negative counts as 0
        float velocityDissipation = 0;
        float dyeDissipation = 0;
        float curl = 0;               // vorticity confinement strength
        int64_t simResolution = 0;    // texels on the shorter side of the velocity/pressure grid
        int64_t dyeResolution = 0;    // upper limit for texels on the longer side of the dye grid
        std::array<float, 3> paper{};  // paper colour, RGB 0 to 1
        float dyeDiffusion = 0;       // 0 or less: no diffusion
        int64_t diffuseIterations = 0;
        DisplayVariant displayVariant = DisplayVariant::ink;
        float edgeDarken = 0;     // watercolour only
        float granulate = 0;      // watercolour only
        float absorbanceCap = 0;  // watercolour only; 0 or less: no cap
    };

    struct Splat {
        enum class Kind { velocity, dye };
        Kind kind = Kind::dye;
        std::array<float, 2> point{};  // canvas-normalised, x from the left, y from the top
        std::array<float, 3> color{};  // dye: absorbance added; velocity: (vx, vy, 0)
        float radius = 0;              // Gaussian width, compared with a squared normalised distance
        friend bool operator==(const Splat&, const Splat&) = default;
    };

    struct GridSize {
        int64_t width = 0;
        int64_t height = 0;
        friend bool operator==(const GridSize&, const GridSize&) = default;
    };
    struct Grids {
        GridSize sim;
        GridSize dye;
    };
    // The simulation grid (simResolution on the shorter side) and the dye grid
    // (min(max(width, height), dyeResolution) on the longer side) for an output of width x height.
    static Grids gridSizes(int64_t width, int64_t height, const Config& config);

    // Where the time of a simulation went, for benchmarks.
    struct Profile {
        double splatSeconds = 0;
        double updateSeconds = 0;
        double displaySeconds = 0;
        double splatCpuSeconds = 0;   // processor time of all threads
        double updateCpuSeconds = 0;
        int64_t steps = 0;
        int64_t splats = 0;
    };

    // A simulation for a width x height output with every field zero, or nothing when the
    // context is absent, the size is not positive or too large, or memory cannot be had.
    static std::unique_ptr<FluidSim> create(int64_t width, int64_t height, const Config& config,
                                            const FluidContext* context = FluidContext::shared());

    // Applies the splats in order, then advances the fluid by dt seconds.
    void step(std::span<const Splat> splats, float dt);
    // The dye shown through the configured display, width x height, sRGB; nothing when the
    // image cannot be made.
    std::optional<RgbaImage> makeImage();

    const Config& config() const { return config_; }
    int64_t outputWidth() const { return outW_; }
    int64_t outputHeight() const { return outH_; }
    float aspect() const { return aspect_; }
    const compute::Field& velocity() const { return vel_.read; }
    // The dye in a plane-backed field (a copy, renewed on each call).
    const compute::Field& dye() const;
    const compute::Field& pressure() const { return prs_.read; }
    const Profile& profile() const { return profile_; }

private:
    FluidSim(const FluidContext& context, const Config& config, int64_t width, int64_t height,
             compute::FieldPair vel, compute::TexelFieldPair dye, compute::TexelField velTexels,
             compute::FieldPair prs, compute::Field curl, compute::Field div);

    const FluidContext& ctx_;
    Config config_;
    int64_t outW_;
    int64_t outH_;
    float aspect_;
    compute::FieldPair vel_;
    compute::TexelFieldPair dye_;  // channels side by side: the advection reads texel pairs
    compute::TexelField velTexels_;  // the velocity's copy for its own advection
    compute::FieldPair prs_;
    compute::Field curlT_;
    compute::Field divT_;
    compute::Workspace workspace_;
    std::vector<fluid::SplatPass> dyeSplats_;
    std::vector<fluid::SplatPass> velocitySplats_;
    Profile profile_;
    // The dye copied into a plane-backed field (kept for the next call), or nullptr without memory.
    const compute::Field* planarDye() const;

    mutable std::optional<compute::Field> dyePlanes_;  // what the display kernels and dye() read
};

}  // namespace murmura
