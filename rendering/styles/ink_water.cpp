#include "rendering/styles/ink_water.h"


namespace murmura {

FluidSim::Config InkWaterRenderer::fluidConfig() {
    FluidSim::Config c;
    c.pressureIterations = 28;
    c.velocityDissipation = 0.16f;
    c.dyeDissipation = 0.07f;
    c.curl = 14;
    c.simResolution = 256;
    c.dyeResolution = 1280;
    c.paper = {0.937f, 0.917f, 0.878f};
    c.dyeDiffusion = 0;
    c.diffuseIterations = 0;
    c.displayVariant = FluidSim::DisplayVariant::ink;
    c.edgeDarken = 0;
    c.granulate = 0;
    c.absorbanceCap = 0;
    return c;
}

FluidReplaySettings InkWaterRenderer::replaySettings() {
    FluidReplaySettings s;
    s.maxSplats = maxSplats;
    s.splatForce = splatForce;
    s.pushClamp = pushClamp;
    s.baseRadius = baseRadius;
    s.widthDivisor = 14;
    s.minWidthScale = 0.6f;
    s.maxWidthScale = 2.4f;
    s.dropStrength = dropInkStrength;
    s.dragStrength = dragInkStrength;
    s.hoverStrength = hoverInkStrength;
    s.dropSwirl = 90;
    s.dropSwirlRadius = baseRadius * 1.3f;
    s.pushRadius = baseRadius * 1.6f;
    return s;
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
