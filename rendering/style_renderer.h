#pragma once
// The interface every art style implements, and the descriptor the style picker shows.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "material/material_engine.h"
#include "rendering/rgba_image.h"
#include "support/json.h"

namespace murmura {

enum class StyleSeries { traditional, artist };

inline constexpr StyleSeries kAllStyleSeries[] = {StyleSeries::traditional, StyleSeries::artist};
std::string_view rawValue(StyleSeries series);
// Exact, case-sensitive match of "Traditional Media" or "Artist".
std::optional<StyleSeries> styleSeriesFromRaw(std::string_view raw);

struct StyleDescriptor {
    std::string id;    // registry key, stored in the catalog as styleID
    std::string name;  // display name, stored in the catalog as styleName
    StyleSeries series = StyleSeries::traditional;
    friend bool operator==(const StyleDescriptor&, const StyleDescriptor&) = default;
};

Json encode(const StyleDescriptor& descriptor);
Expected<StyleDescriptor, DecodeError> decodeStyleDescriptor(const Json& json);

class StyleRenderer {
public:
    virtual ~StyleRenderer() = default;
    // A constant of the renderer object.
    virtual const StyleDescriptor& descriptor() const = 0;
    // Renders the session's material onto a width x height canvas, or returns nothing when no
    // image can be produced. Never throws; callable from a worker thread; keeps no state
    // between calls.
    virtual std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width,
                                            int64_t height) const = 0;
};

}  // namespace murmura
