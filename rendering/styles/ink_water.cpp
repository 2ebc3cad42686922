#include "rendering/styles/ink_water.h"


namespace murmura {

FluidSim::Config InkWaterRenderer::fluidConfig() {
    return FluidSim::Config{
        .pressureIterations = 28,
        .velocityDissipation = 0.16f,
        .dyeDissipation = 0.07f,
        .curl = 14,
        .simResolution = 256,
        .dyeResolution = 1280,
        .paper = {0.937f, 0.917f, 0.878f},
        .dyeDiffusion = 0,
        .diffuseIterations = 0,
        .displayVariant = FluidSim::DisplayVariant::ink,
        .edgeDarken = 0,
        .granulate = 0,
        .absorbanceCap = 0};
}

FluidReplaySettings InkWaterRenderer::replaySettings() {
    return FluidReplaySettings{
        .maxSplats = maxSplats,
        .splatForce = splatForce,
        .pushClamp = pushClamp,
        .baseRadius = baseRadius,
        .widthDivisor = 14,
        .minWidthScale = 0.6f,
        .maxWidthScale = 2.4f,
        .dropStrength = dropInkStrength,
        .dragStrength = dragInkStrength,
        .hoverStrength = hoverInkStrength,
        .dropSwirl = 90,
        .dropSwirlRadius = baseRadius * 1.3f,
        .pushRadius = baseRadius * 1.6f};
}

std::vector<InkWaterRenderer::Scheduled> InkWaterRenderer::schedule(const std::vector<MaterializedSegment>& segments,
                                                                    float width, float height) const {
    const std::array<float, 3> ink = absorbanceOf(sumi);
    return scheduleFluidReplay(segments, width, height, replaySettings(), [&](std::array<float, 2>) { return ink; });
}

std::optional<RgbaImage> InkWaterRenderer::render(const MaterialEngineOutput& output, int64_t width,
                                                  int64_t height) const {
    return render(output, width, height, nullptr);
}

std::optional<RgbaImage> InkWaterRenderer::render(const MaterialEngineOutput& output, int64_t width, int64_t height,
                                   FluidSim::Profile* profile) const {
    return renderFluidReplay(
        output, width, height, [this](const auto& segments, float w, float h) { return schedule(segments, w, h); },
        fluidConfig(), {replayFrames, settleFrames, dt}, profile);
}

}  // namespace murmura
