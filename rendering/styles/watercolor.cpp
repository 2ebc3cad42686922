#include "rendering/styles/watercolor.h"

#include <cmath>

#include "rendering/generators.h"

namespace murmura {

FluidSim::Config WatercolorRenderer::fluidConfig() {
    return FluidSim::Config{
        .pressureIterations = 28,
        .velocityDissipation = 0.28f,
        .dyeDissipation = 0.06f,
        .curl = 5,
        .simResolution = 256,
        .dyeResolution = 1280,
        .paper = {0.957f, 0.937f, 0.902f},
        .dyeDiffusion = 0.15f,
        .diffuseIterations = 2,
        .displayVariant = FluidSim::DisplayVariant::watercolor,
        .edgeDarken = 0.5f,
        .granulate = 0.35f,
        .absorbanceCap = 1.55f};
}

FluidReplaySettings WatercolorRenderer::replaySettings() {
    return FluidReplaySettings{
        .maxSplats = maxSplats,
        .splatForce = splatForce,
        .pushClamp = pushClamp,
        .baseRadius = baseRadius,
        .widthDivisor = 12,
        .minWidthScale = 0.7f,
        .maxWidthScale = 2.6f,
        .dropStrength = dropStrength,
        .dragStrength = dragStrength,
        .hoverStrength = hoverStrength,
        .dropSwirl = 55,
        .dropSwirlRadius = baseRadius * 1.4f,
        .pushRadius = baseRadius * 1.7f};
}

std::array<float, 3> WatercolorRenderer::pigmentAt(std::array<float, 2> p) {
    constexpr auto n = static_cast<int64_t>(pigments.size());
    const float h = gen::sineHash(std::floor(3.0f * p[0]), std::floor(2.0f * p[1]), 43758.547f);
    const float scaledIndex = h * static_cast<float>(n);
    // h is in [0, 1); a NaN (from a non-finite point) falls to the first pigment.
    const int64_t index = scaledIndex >= 0.0f ? std::min<int64_t>(n - 1, static_cast<int64_t>(scaledIndex)) : 0;
    return pigments[static_cast<size_t>(index)];
}

std::vector<WatercolorRenderer::Scheduled> WatercolorRenderer::schedule(
    const std::vector<MaterializedSegment>& segments, float width, float height) const {
    return scheduleFluidReplay(segments, width, height, replaySettings(),
                               [](std::array<float, 2> p) { return absorbanceOf(pigmentAt(p)); });
}

std::optional<RgbaImage> WatercolorRenderer::render(const MaterialEngineOutput& output, int64_t width,
                                                    int64_t height) const {
    return render(output, width, height, nullptr);
}

std::optional<RgbaImage> WatercolorRenderer::render(const MaterialEngineOutput& output, int64_t width, int64_t height,
                                   FluidSim::Profile* profile) const {
    return renderFluidReplay(
        output, width, height, [this](const auto& segments, float w, float h) { return schedule(segments, w, h); },
        fluidConfig(), {replayFrames, settleFrames, dt}, profile);
}

}  // namespace murmura
