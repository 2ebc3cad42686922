#pragma once
// A rasteriser for the short stroked curves that hand-drawn styles lay down by the hundred
// thousand: one cubic Bezier per stroke with round or butt caps, and filled ellipses, in a solid
// colour composited source-over into premultiplied ARGB32 rows (Canvas's pixel format).
//
// A pixel's coverage comes from its centre's distance to the shape: the curve is flattened to
// within a tenth of a pixel, and the coverage is the overlap of a one-pixel box with the stroke's
// cross-section at that distance. Nothing depends on which rows are drawn together, so a picture
// drawn in bands has the same bytes whatever the band layout or thread count. Fully covered pixels
// composite exactly as Cairo does (pixman's rounding); edges differ from Cairo's sampled coverage
// by a few levels.
#include <array>
#include <cstddef>
#include <cstdint>

#include "rendering/canvas.h"

namespace murmura {

// Rows [rowBegin, rowEnd) of an ARGB32 image `width` pixels wide.
struct PixelRows {
    uint32_t* first = nullptr;  // the pixels of row rowBegin
    ptrdiff_t stride = 0;       // pixels from one row to the next
    int64_t width = 0;
    int64_t rowBegin = 0;
    int64_t rowEnd = 0;
    uint32_t* row(int64_t y) const { return first + (y - rowBegin) * stride; }
};

// The rows a canvas (or band) draws into. Call beginPixelAccess() before drawing with the
// rasteriser and endPixelAccess() before Cairo draws there again.
PixelRows pixelRowsOf(Canvas& canvas);

// The premultiplied colour word Cairo composites for a straight colour (16-bit premultiplied
// components, truncated to 8 bits).
uint32_t premultipliedColor(const Rgba& color);

// Source-over of a premultiplied colour at coverage 0..255, with pixman's rounding.
uint32_t compositeOver(uint32_t dst, uint32_t color, uint32_t coverage);

// Strokes the cubic Bezier p[0] p[1] p[2] p[3] (device pixels) with the given width in pixels.
// Round caps end it in half discs, butt caps cut it square; a curve of no length draws a dot with
// round caps and nothing with butt caps.
void strokeCubic(const PixelRows& rows, const std::array<Point, 4>& p, double width, bool roundCaps, uint32_t color);

// Fills the ellipse with the given centre and radii (device pixels).
void fillEllipse(const PixelRows& rows, Point centre, double rx, double ry, uint32_t color);

}  // namespace murmura
