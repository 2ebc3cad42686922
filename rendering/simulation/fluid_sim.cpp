#include "rendering/simulation/fluid_sim.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>

#include <time.h>

namespace murmura {

namespace {

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int64_t atLeastOne(double v) {
    if (!(v >= 1.0)) return 1;
    return v > 1e12 ? int64_t(1e12) : static_cast<int64_t>(v);
}

}  // namespace

FluidContext::FluidContext() = default;

const FluidContext* FluidContext::shared() {
    static const FluidContext* const instance = []() -> const FluidContext* {
        try {
            return new FluidContext();
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }();
    return instance;
}

bool FluidContext::hasKernel(std::string_view name) const {
    return std::find(kKernelNames.begin(), kKernelNames.end(), name) != kKernelNames.end();
}

FluidSim::Grids FluidSim::gridSizes(int64_t width, int64_t height, const Config& config) {
    const double aspect = double(width) / double(std::max<int64_t>(height, 1));
    const auto simRes = double(config.simResolution);
    const auto d = double(std::min(std::max(width, height), config.dyeResolution));
    // The shorter side alone would give a thin strip of a window (a 3840 x 40 canvas) a velocity
    // grid of 256 x 24576 texels, a minute of work for a few rows of pixels; the longer side
    // therefore stops at the dye grid's (or simResolution where that is smaller). The usual
    // canvases, up to 5:1 with a longer side of at least the dye resolution, keep their grids.
    const double longSide = std::max(simRes, d);
    Grids g;
    if (aspect >= 1.0) {
        const double w = std::round(aspect * simRes);
        g.sim = w <= longSide ? GridSize{atLeastOne(w), atLeastOne(simRes)}
                              : GridSize{atLeastOne(longSide), atLeastOne(std::round(longSide / aspect))};
        g.dye = {atLeastOne(d), atLeastOne(std::round(d / aspect))};
    } else {
        const double h = std::round(simRes / aspect);
        g.sim = h <= longSide ? GridSize{atLeastOne(simRes), atLeastOne(h)}
                              : GridSize{atLeastOne(std::round(aspect * longSide)), atLeastOne(longSide)};
        g.dye = {atLeastOne(std::round(aspect * d)), atLeastOne(d)};
    }
    return g;
}

std::unique_ptr<FluidSim> FluidSim::create(int64_t width, int64_t height, const Config& config,
                                           const FluidContext* context) {
    if (!context || width < 1 || height < 1) return nullptr;
    const Grids g = gridSizes(width, height, config);
    auto field = [](GridSize s) { return compute::Field::create(s.width, s.height); };
    auto velRead = field(g.sim), velWrite = field(g.sim);
    auto dyeRead = compute::TexelField::create(g.dye.width, g.dye.height);
    auto dyeWrite = compute::TexelField::create(g.dye.width, g.dye.height);
    auto velTexels = compute::TexelField::create(g.sim.width, g.sim.height);
    auto prsRead = field(g.sim), prsWrite = field(g.sim);
    auto curl = field(g.sim), div = field(g.sim);
    // The display image is made when it is asked for; its size is checked here.
    if (!RgbaImage::fits(width, height)) return nullptr;
    if (!velRead || !velWrite || !dyeRead || !dyeWrite || !velTexels || !prsRead || !prsWrite || !curl || !div)
        return nullptr;
    std::unique_ptr<FluidSim> sim(new (std::nothrow) FluidSim(
        *context, config, width, height, {std::move(*velRead), std::move(*velWrite)},
        {std::move(*dyeRead), std::move(*dyeWrite)}, std::move(*velTexels), {std::move(*prsRead), std::move(*prsWrite)},
        std::move(*curl), std::move(*div)));
    return sim;
}

FluidSim::FluidSim(const FluidContext& context, const Config& config, int64_t width, int64_t height,
                   compute::FieldPair vel, compute::TexelFieldPair dye, compute::TexelField velTexels,
                   compute::FieldPair prs, compute::Field curl, compute::Field div)
    : ctx_(context),
      config_(config),
      outW_(width),
      outH_(height),
      aspect_(static_cast<float>(width) / static_cast<float>(std::max<int64_t>(height, 1))),
      vel_(std::move(vel)),
      dye_(std::move(dye)),
      velTexels_(std::move(velTexels)),
      prs_(std::move(prs)),
      curlT_(std::move(curl)),
      divT_(std::move(div)) {
    // Every texture starts at zero (k_zero); the texel fields are made so.
    for (compute::Field* f : {&vel_.read, &vel_.write, &prs_.read, &prs_.write, &curlT_, &divT_}) fluid::kZero(*f);
    dyeSplats_.reserve(64);
    velocitySplats_.reserve(64);
}

void FluidSim::step(std::span<const Splat> splats, float dt) {
    auto start = std::chrono::steady_clock::now();
    double cpu = processCpuSeconds();
    // Dye splats touch only the dye and velocity splats only the velocity, so applying each kind
    // in list order gives the same fields as the interleaved order.
    dyeSplats_.clear();
    velocitySplats_.clear();
    for (const Splat& s : splats) {
        // The dye is passive: the separable Gaussian's roundings go nowhere else. The velocity's
        // would grow through the flow, so its splats keep the one exponential per texel.
        const bool dye = s.kind == Splat::Kind::dye;
        const fluid::SplatPass pass{s.point[0], s.point[1], {s.color[0], s.color[1], s.color[2]}, s.radius, aspect_, dye};
        (dye ? dyeSplats_ : velocitySplats_).push_back(pass);
    }
    fluid::applySplats(dye_.read, dyeSplats_, workspace_);
    fluid::applySplats(vel_.read, velocitySplats_, workspace_);
    profile_.splatSeconds += secondsSince(start);
    profile_.splatCpuSeconds += processCpuSeconds() - cpu;
    cpu = processCpuSeconds();
    profile_.splats += static_cast<int64_t>(splats.size());

    start = std::chrono::steady_clock::now();
    compute::Workspace& ws = workspace_;
    fluid::kCurl(vel_.read, curlT_, ws);
    fluid::kVorticity(vel_.read, curlT_, vel_.write, config_.curl, dt, ws);
    vel_.exchange();
    fluid::kDivergence(vel_.read, divT_, ws);
    fluid::kClear(prs_.read, prs_.write, 0.8f, ws);  // 80 % of the last pressure is the first guess
    prs_.exchange();
    fluid::kPressureIterations(prs_, divT_, config_.pressureIterations, ws);
    fluid::kGradient(prs_.read, vel_.read, vel_.write, ws);
    vel_.exchange();
    fluid::kAdvectVelocity(vel_.read, vel_.write, velTexels_, dt, config_.velocityDissipation, ws);
    vel_.exchange();
    // The backtrace is in dye texels, so velocity moves dye by as many dye texels as it moves
    // itself in simulation texels.
    fluid::kAdvectDiffuse(vel_.read, dye_, dt, config_.dyeDissipation, config_.dyeDiffusion,
                          config_.dyeDiffusion > 0 ? config_.diffuseIterations : 0, ws);
    profile_.updateSeconds += secondsSince(start);
    profile_.updateCpuSeconds += processCpuSeconds() - cpu;
    ++profile_.steps;
}

const compute::Field* FluidSim::planarDye() const {
    if (!dyePlanes_) dyePlanes_ = compute::Field::create(dye_.read.width(), dye_.read.height());
    if (!dyePlanes_) return nullptr;
    dye_.read.copyTo(*dyePlanes_);
    return &*dyePlanes_;
}

const compute::Field& FluidSim::dye() const {
    const compute::Field* planes = planarDye();
    if (!planes) throw std::bad_alloc();
    return *planes;
}

std::optional<RgbaImage> FluidSim::makeImage() {
    const auto start = std::chrono::steady_clock::now();
    auto display = compute::DisplayField::create(outW_, outH_);
    if (!display) return std::nullopt;
    if (config_.displayVariant == DisplayVariant::ink) {
        fluid::kDisplay(dye_.read, *display, config_.paper, ctx_.inkNoise(), workspace_);
    } else {
        const fluid::WatercolorDisplayParams params{config_.paper, config_.edgeDarken, config_.granulate,
                                                    config_.absorbanceCap};
        fluid::kDisplayWc(dye_.read, *display, params, ctx_.watercolorNoise(), workspace_);
    }
    RgbaImage image = std::move(*display).takeImage();
    profile_.displaySeconds += secondsSince(start);
    return image;
}

}  // namespace murmura
