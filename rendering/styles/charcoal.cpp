#include "rendering/styles/charcoal.h"

#include <cstdlib>
#include <cstring>

#include "rendering/artwork_renderer.h"

namespace murmura {

bool gesturalFlagValue(const char* value) { return value && std::strcmp(value, "1") == 0; }

bool gesturalFlag() {
    static const bool flag = gesturalFlagValue(std::getenv("MURMURA_GESTURAL"));
    return flag;
}

CharcoalRenderer::CharcoalRenderer() : descriptor_{"charcoal", "Charcoal (炭筆)", StyleSeries::traditional} {}

std::optional<RgbaImage> CharcoalRenderer::render(const MaterialEngineOutput& output, int64_t width,
                                                  int64_t height) const {
    return ArtworkRenderer(width, height, InkStyle::longSessionStable, gesturalFlag()).render(output);
}

}  // namespace murmura
