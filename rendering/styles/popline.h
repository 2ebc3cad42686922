#pragma once
// Popline: the session as bold cream lines on a near-black ground, with radiating dashes where
// the pointer paused, turned sharply or flicked, dots where it clicked and small strokes and
// crosses for typing (see popline_extraction.h).
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "rendering/canvas.h"
#include "rendering/style_renderer.h"
#include "rendering/styles/logical_canvas.h"
#include "rendering/styles/popline_extraction.h"

namespace murmura {

namespace popline {

// The ground's red, green and blue bytes: near black, a little darker with more silence.
std::array<uint8_t, 3> groundBytes(double silentRatio);

// Draws the elements over the canvas at k pixels per logical unit, in parallel bands of
// bandRows rows: every tube wide, every tube's core, then the other marks. False when the
// canvas could not be split into bands.
// The ink the tubes lay down: the sum over tubes of polyline length x width, over the logical
// canvas area (overlaps counted twice, so it can exceed 1).
double tubeInk(std::span<const Element> elements, double logicalWidth, double logicalHeight);

// The factor every tube's width is scaled by so a busy session's tubes leave the ground showing:
// 1 within the budget, else budget / ink, never below a floor that keeps the lines bold.
double tubeWidthFactor(double ink);

// Scales every tube's width by tubeWidthFactor of their ink; returns the factor.
double fitTubeInk(std::vector<Element>& elements, double logicalWidth, double logicalHeight);

bool drawElements(Canvas& canvas, std::span<const Element> elements, double k,
                  int64_t bandRows = kCanvasBandRows);

}  // namespace popline

class PoplineRenderer final : public StyleRenderer {
public:
    PoplineRenderer();

    const StyleDescriptor& descriptor() const override { return descriptor_; }
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width,
                                    int64_t height) const override;

private:
    StyleDescriptor descriptor_;
};

}  // namespace murmura
