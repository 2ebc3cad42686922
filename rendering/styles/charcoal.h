#pragma once
// Charcoal: the session drawn as charcoal on paper by the ink artwork renderer in its
// long-session mode.
#include <optional>
#include <string_view>

#include "rendering/style_renderer.h"

namespace murmura {

// Whether a value of MURMURA_GESTURAL turns the gestural mode on: exactly "1".
bool gesturalFlagValue(const char* value);
// MURMURA_GESTURAL as read once for the life of the process.
bool gesturalFlag();

class CharcoalRenderer final : public StyleRenderer {
public:
    CharcoalRenderer();
    const StyleDescriptor& descriptor() const override { return descriptor_; }
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width, int64_t height) const override;

private:
    StyleDescriptor descriptor_;
};

}  // namespace murmura
