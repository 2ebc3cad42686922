#include "rendering/styles/watercolor.h"

#include <cmath>

#include "rendering/generators.h"

namespace murmura {

FluidSim::Config WatercolorRenderer::fluidConfig() {
    FluidSim::Config c;
    c.pressureIterations = 28;
    c.velocityDissipation = 0.28f;
    c.dyeDissipation = 0.06f;
    c.curl = 5;
    c.simResolution = 256;
    c.dyeResolution = 1280;
    c.paper = {0.957f, 0.937f, 0.902f};
    c.dyeDiffusion = 0.15f;
    c.diffuseIterations = 2;
    c.displayVariant = FluidSim::DisplayVariant::watercolor;
    c.edgeDarken = 0.5f;
    c.granulate = 0.35f;
    c.absorbanceCap = 1.55f;
    return c;
}

FluidReplaySettings WatercolorRenderer::replaySettings() {
    FluidReplaySettings s;
    s.maxSplats = maxSplats;
    s.splatForce = splatForce;
    s.pushClamp = pushClamp;
    s.baseRadius = baseRadius;
    s.widthDivisor = 12;
    s.minWidthScale = 0.7f;
    s.maxWidthScale = 2.6f;
    s.dropStrength = dropStrength;
    s.dragStrength = dragStrength;
    s.hoverStrength = hoverStrength;
    s.dropSwirl = 55;
    s.dropSwirlRadius = baseRadius * 1.4f;
    s.pushRadius = baseRadius * 1.7f;
    return s;
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
