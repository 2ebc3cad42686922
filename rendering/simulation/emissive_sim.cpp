#include "rendering/simulation/emissive_sim.h"

#include <cmath>
#include <new>

namespace murmura {

namespace emissive {

Size fieldSize(int64_t width, int64_t height, int64_t longSide) {
    const double aspect = static_cast<double>(width) / static_cast<double>(std::max<int64_t>(height, 1));
    auto atLeastOne = [](double v) { return static_cast<int32_t>(std::clamp(std::round(v), 1.0, 1e9)); };
    const double side = static_cast<double>(longSide);
    if (aspect >= 1.0) return Size{atLeastOne(side), atLeastOne(side / aspect)};
    return Size{atLeastOne(aspect * side), atLeastOne(side)};
}

Size halfSize(Size s) { return Size{s.width > 1 ? s.width / 2 : 1, s.height > 1 ? s.height / 2 : 1}; }

}  // namespace emissive

EmissiveSim::EmissiveSim(int64_t width, int64_t height, const Config& config, compute::FieldPair emit,
                         compute::FieldPair blur, emissive::StatsPlane stats)
    : outW_(width),
      outH_(height),
      config_(config),
      aspect_(static_cast<float>(width) / static_cast<float>(std::max<int64_t>(height, 1))),
      emit_(std::move(emit)),
      blur_(std::move(blur)),
      stats_(std::move(stats)) {}

std::unique_ptr<EmissiveSim> EmissiveSim::create(int64_t width, int64_t height, const Config& config) {
    if (width < 1 || height < 1 || width > RgbaImage::kMaxSide || height > RgbaImage::kMaxSide ||
        config.emissiveRes < 1 || config.emissiveRes > compute::Field::kMaxSide)
        return nullptr;
    const emissive::Size e = emissive::fieldSize(width, height, config.emissiveRes);
    const emissive::Size b = emissive::halfSize(e);
    auto emitRead = compute::Field::create(e.width, e.height), emitWrite = compute::Field::create(e.width, e.height);
    auto blurA = compute::Field::create(b.width, b.height), blurB = compute::Field::create(b.width, b.height);
    if (!emitRead || !emitWrite || !blurA || !blurB) return nullptr;
    emissive::StatsPlane stats{emissive::fieldSize(width, height, 128), {}};
    return std::unique_ptr<EmissiveSim>(new (std::nothrow) EmissiveSim(
        width, height, config, {std::move(*emitRead), std::move(*emitWrite)}, {std::move(*blurA), std::move(*blurB)},
        std::move(stats)));
}

void EmissiveSim::applySplats(std::span<const Splat> splats) {
    passes_.clear();
    for (const Splat& s : splats) passes_.push_back({s.point[0], s.point[1], s.color, s.radius, aspect_});
    compute::applySplats(emit_.read, passes_, workspace_);
}

float EmissiveSim::peak() {
    emissive::nCopy(emit_.read, blur_.read, workspace_);
    const auto dirX = config_.blurSpread / static_cast<float>(blur_.read.width());
    const auto dirY = config_.blurSpread / static_cast<float>(blur_.read.height());
    for (int64_t i = 0; i < config_.blurPasses; ++i) {
        emissive::nBlur(blur_.read, blur_.write, dirX, 0.0f, workspace_);
        blur_.exchange();
        emissive::nBlur(blur_.read, blur_.write, 0.0f, dirY, workspace_);
        blur_.exchange();
    }
    emissive::nHeat(emit_.read, blur_.read, stats_, config_.coreGain, config_.bloomGain, workspace_);
    return emissive::peakOf(stats_.heat);
}

std::optional<RgbaImage> EmissiveSim::renderImage() {
    const float heatScale = 1.0f / peak();
    auto display = compute::DisplayField::create(outW_, outH_);
    if (!display) return std::nullopt;
    const emissive::CompositeParams params{config_.background, config_.coreGain, config_.bloomGain, config_.exposure,
                                           heatScale};
    emissive::nComposite(emit_.read, blur_.read, *display, params, workspace_);
    return std::move(*display).takeImage();
}

}  // namespace murmura
