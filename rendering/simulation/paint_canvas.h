#pragma once
// An 8-bit RGBA canvas on which soft round blobs are composited one after another, each over
// what is already there. A blob touches only its bounding box, so its cost follows its size.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "rendering/rgba_image.h"

namespace murmura {

class PaintCanvas {
public:
    using Rgb = std::array<float, 3>;

    struct Splat {
        std::array<float, 2> point{};  // canvas-normalised, x from the left, y from the top
        Rgb color{};                   // 0 to 1 (clamped when painted)
        float radius = 0;              // Gaussian width, against a squared distance in canvas heights
        float alpha = 0;               // opacity before the kernel's gain of 1.15
    };

    // A blob's pixel box [x0, x1) x [y0, y1), empty when the blob cannot be painted.
    struct Box {
        int32_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
        bool empty() const { return x1 <= x0 || y1 <= y0; }
        friend bool operator==(const Box&, const Box&) = default;
    };

    // Rows per band of the parallel painting. Fixed, so the work split never depends on the
    // number of cores (and banding never changes a byte anyway).
    static constexpr int32_t kBandRows = 48;

    // A canvas filled with the ground colour (each component clamped to [0, 1], times 255,
    // truncated), or nothing when the size is not positive, too large or cannot be allocated.
    static std::optional<PaintCanvas> create(int64_t width, int64_t height, const Rgb& ground);

    int32_t width() const { return static_cast<int32_t>(pixels_.width()); }
    int32_t height() const { return static_cast<int32_t>(pixels_.height()); }

    // The pixels a blob can change: beyond sqrt(7 * radius) canvas heights (plus a pixel) its
    // weight is below e^-7 * 1.15 * alpha. Computed in double and clamped to the canvas before
    // any integer conversion; empty for a non-finite point, a radius that is not a positive
    // finite number, or a non-finite alpha.
    Box box(const Splat& splat) const;

    // Composites the splats in list order. Rows are painted in bands in parallel, each band
    // taking the splats that reach it in list order: every pixel sees the same sequence of
    // blobs as a sequential pass, so the bytes are the same. bandRows < 1 paints the whole
    // canvas as one band.
    void applySplats(std::span<const Splat> splats, int32_t bandRows = kBandRows);

    // The canvas as an opaque sRGB image.
    const RgbaImage& image() const { return pixels_; }
    std::optional<RgbaImage> makeImage() const { return pixels_; }

private:
    explicit PaintCanvas(RgbaImage pixels) : pixels_(std::move(pixels)) {}
    // Paints the rows of [rowBegin, rowEnd) inside the box; weights: scratch of the canvas width.
    void paintRows(const Splat& splat, const Box& box, int32_t rowBegin, int32_t rowEnd, float* weights);

    RgbaImage pixels_;
    float aspect_ = 1;
    // Band index lists of the last applySplats, kept so repeated calls reuse the memory.
    std::vector<uint32_t> bandStarts_;
    std::vector<uint32_t> bandSplats_;
    std::vector<Box> boxes_;
};

}  // namespace murmura
