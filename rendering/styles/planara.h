#pragma once
// Planara: straight pointer sweeps become thick black horizontal and vertical lines that cut a
// white field into at most 20 rectangles; pauses of the pointer mark the few cells painted red,
// blue or yellow. No random source: all variation comes from the input. compose() exposes every
// intermediate result for inspection; the renderer only draws its fills.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "rendering/style_renderer.h"
#include "rendering/styles/planara_colouring.h"
#include "rendering/styles/planara_extraction.h"
#include "rendering/styles/planara_subdivision.h"

namespace murmura {

namespace planara {

// The grid after one step of the render.
struct Stage {
    std::string_view name;  // "replay", "topUp", "symmetry", "rhythm" or "refinement"
    std::vector<LineEntity> entities;
    std::vector<Rect> leaves;  // ascending key order
};

enum class ColouringSource { assignment, tension, fallback, none };
std::string_view rawValue(ColouringSource source);

struct Cell {
    Rect rect;
    RGB color;
};

// A pixel rectangle written with one opaque colour; later fills cover earlier ones.
struct Fill {
    int64_t x = 0;
    int64_t y = 0;
    int64_t width = 0;
    int64_t height = 0;
    std::array<uint8_t, 3> rgb{};
    friend bool operator==(const Fill&, const Fill&) = default;
};

struct Composition {
    ExtractionResult extraction;
    int64_t lineThickness = 0;
    std::vector<Stage> stages;  // only when asked for
    ColouringSource source = ColouringSource::none;
    std::vector<Cell> cells;  // coloured leaves, ascending key order
    std::vector<Fill> fills;  // background, cells, lines, frame
};

// round(v * 255), halves away from zero, of a component within [0, 1].
uint8_t componentByte(double v);

// Everything the render decides, for a canvas of at least 1 x 1 pixels (nothing otherwise).
std::optional<Composition> compose(const MaterialEngineOutput& output, int64_t width, int64_t height,
                                   bool recordStages = false);

// Writes the fills, in order, clipped to the image, as opaque pixels.
void drawFills(RgbaImage& image, std::span<const Fill> fills);

}  // namespace planara

class PlanaraRenderer final : public StyleRenderer {
public:
    PlanaraRenderer();
    const StyleDescriptor& descriptor() const override { return descriptor_; }
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width,
                                    int64_t height) const override;

private:
    StyleDescriptor descriptor_;
};

}  // namespace murmura
