#include "rendering/styles/fluid_styles.h"

#include "rendering/ink_colours.h"

namespace murmura {

FluidStyleDefinition inkWaterStyle() {
    constexpr float baseRadius = 0.0026f;
    return FluidStyleDefinition{
        .descriptor = {"ink-water", "Ink Water (墨流し)", StyleSeries::traditional},
        .timing = {.replayFrames = 220, .settleFrames = 90, .dt = 1.0f / 60.0f},
        .splats = {.maxSplats = 2600,
                   .splatForce = 5200,
                   .pushClamp = 320,
                   .baseRadius = baseRadius,
                   .widthDivisor = 14,
                   .minWidthScale = 0.6f,
                   .maxWidthScale = 2.4f,
                   .dropStrength = 0.85f,
                   .dragStrength = 0.2f,
                   .hoverStrength = 0.07f,
                   .dropSwirl = 90,
                   .dropSwirlRadius = baseRadius * 1.3f,
                   .pushRadius = baseRadius * 1.6f},
        .pigments = {colours::kSumi},
        // No dye diffusion; the watercolour-only display settings stay at zero.
        .fluid = {.pressureIterations = 28,
                  .velocityDissipation = 0.16f,
                  .dyeDissipation = 0.07f,
                  .curl = 14,
                  .simResolution = 256,
                  .dyeResolution = 1280,
                  .paper = colours::kInkPaper,
                  .displayVariant = FluidSim::DisplayVariant::ink},
        // Marbled ink over about half the page, cream paper showing through the rest.
        .dyeBudget = 0.254};
}

FluidStyleDefinition watercolorStyle() {
    constexpr float baseRadius = 0.0042f;
    return FluidStyleDefinition{
        .descriptor = {"watercolor", "Watercolor (水彩)", StyleSeries::traditional},
        .timing = {.replayFrames = 200, .settleFrames = 120, .dt = 1.0f / 60.0f},
        .splats = {.maxSplats = 2600,
                   .splatForce = 3600,
                   .pushClamp = 240,
                   .baseRadius = baseRadius,
                   .widthDivisor = 12,
                   .minWidthScale = 0.7f,
                   .maxWidthScale = 2.6f,
                   .dropStrength = 0.46f,
                   .dragStrength = 0.14f,
                   .hoverStrength = 0.05f,
                   .dropSwirl = 55,
                   .dropSwirlRadius = baseRadius * 1.4f,
                   .pushRadius = baseRadius * 1.7f},
        // Blue, green, crimson, ochre, violet.
        .pigments = {{0.184f, 0.416f, 0.69f},
                     {0.18f, 0.545f, 0.435f},
                     {0.765f, 0.192f, 0.286f},
                     {0.82f, 0.635f, 0.29f},
                     {0.424f, 0.29f, 0.612f}},
        .fluid = {.pressureIterations = 28,
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
                  .absorbanceCap = 1.55f},
        // Transparent washes over about half the page, paper left between and under them.
        .dyeBudget = 0.26};
}

}  // namespace murmura
