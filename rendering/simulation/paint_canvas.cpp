#include "rendering/simulation/paint_canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "rendering/generators.h"
#include "rendering/simulation/compute.h"
#include "support/parallel.h"

namespace murmura {

namespace {

// Gain of a blob's opacity: the centre of a blob with alpha >= 1 / 1.15 takes its colour exactly.
constexpr float kAlphaGain = 1.15f;

float unitClamp(float v) {
    v = v > 0.0f ? v : 0.0f;  // NaN goes to 0
    return v < 1.0f ? v : 1.0f;
}

// Coverage of pixels [x0, x0 + n) of a row whose squared offset from the blob is pyy.
MURMURA_SIMD_CLONES void blobWeights(float* __restrict a, int32_t x0, int32_t n, int32_t width, float sx,
                                     float aspect, float pyy, float radius, float alpha) {
    for (int32_t i = 0; i < n; ++i) {
        const float px = (compute::texelCentre(x0 + i, width) - sx) * aspect;
        float w = gen::exp32(-(px * px + pyy) / radius) * alpha * kAlphaGain;
        w = w > 0.0f ? w : 0.0f;
        a[i] = w < 1.0f ? w : 1.0f;
    }
}

// A channel value in [-0.5, 255.5) rounded to the nearest byte, halves away from zero. The
// fraction x - trunc(x) is exact, so the comparison decides exactly where x + 0.5 rounded in
// float would not.
inline uint8_t roundByte(float x) {
    const int32_t t = static_cast<int32_t>(x);
    return static_cast<uint8_t>(t + (x - static_cast<float>(t) >= 0.5f ? 1 : 0));
}

// Moves n pixels towards (r, g, b) by their coverage.
MURMURA_SIMD_CLONES void blendPixels(uint8_t* __restrict px, const float* __restrict a, int32_t n, float r, float g,
                                     float b) {
    for (int32_t i = 0; i < n; ++i) {
        uint8_t* p = px + 4 * static_cast<size_t>(i);
        const float br = static_cast<float>(p[0]) / 255.0f, bg = static_cast<float>(p[1]) / 255.0f,
                    bb = static_cast<float>(p[2]) / 255.0f;
        p[0] = roundByte((br + (r - br) * a[i]) * 255.0f);
        p[1] = roundByte((bg + (g - bg) * a[i]) * 255.0f);
        p[2] = roundByte((bb + (b - bb) * a[i]) * 255.0f);
    }
}

}  // namespace

std::optional<PaintCanvas> PaintCanvas::create(int64_t width, int64_t height, const Rgb& ground) {
    auto image = RgbaImage::create(width, height, ColorSpace::sRGB);
    if (!image) return std::nullopt;
    uint8_t pixel[4] = {0, 0, 0, 255};
    for (int c = 0; c < 3; ++c) pixel[c] = static_cast<uint8_t>(unitClamp(ground[c]) * 255.0f);
    for (size_t i = 0; i < image->byteCount(); i += 4) std::memcpy(image->data() + i, pixel, 4);
    PaintCanvas canvas(std::move(*image));
    canvas.aspect_ = static_cast<float>(width) / static_cast<float>(std::max<int64_t>(height, 1));
    return canvas;
}

PaintCanvas::Box PaintCanvas::box(const Splat& s) const {
    if (!std::isfinite(s.point[0]) || !std::isfinite(s.point[1]) || !std::isfinite(s.radius) || !(s.radius > 0.0f) ||
        !std::isfinite(s.alpha))
        return Box{};
    const double w = width(), h = height();
    const double r = std::sqrt(double(s.radius) * 7.0) * h + 1.0;
    const double cx = w * double(s.point[0]), cy = h * double(s.point[1]);
    auto edge = [](double v, double limit) { return static_cast<int32_t>(std::clamp(v, 0.0, limit)); };
    return Box{edge(std::trunc(cx - r), w), edge(std::trunc(cx + r) + 1.0, w), edge(std::trunc(cy - r), h),
               edge(std::trunc(cy + r) + 1.0, h)};
}

void PaintCanvas::paintRows(const Splat& s, const Box& b, int32_t rowBegin, int32_t rowEnd, float* a) {
    const int32_t w = width(), h = height();
    const int32_t y0 = std::max(b.y0, rowBegin), y1 = std::min(b.y1, rowEnd);
    const int32_t n = b.x1 - b.x0;
    const Rgb color{unitClamp(s.color[0]), unitClamp(s.color[1]), unitClamp(s.color[2])};
    for (int32_t y = y0; y < y1; ++y) {
        const float py = compute::texelCentre(y, h) - s.point[1];
        blobWeights(a, b.x0, n, w, s.point[0], aspect_, py * py, s.radius, s.alpha);
        blendPixels(pixels_.pixel(b.x0, y), a, n, color[0], color[1], color[2]);
    }
}

void PaintCanvas::applySplats(std::span<const Splat> splats, int32_t bandRows) {
    const int32_t h = height();
    if (bandRows < 1 || bandRows > h) bandRows = h;
    const int32_t bands = (h + bandRows - 1) / bandRows;
    boxes_.resize(splats.size());
    bandStarts_.assign(static_cast<size_t>(bands) + 1, 0);
    // Bins the splats by band in list order: counts, prefix sums, then the indices.
    for (size_t i = 0; i < splats.size(); ++i) {
        boxes_[i] = box(splats[i]);
        if (boxes_[i].empty()) continue;
        for (int32_t band = boxes_[i].y0 / bandRows; band <= (boxes_[i].y1 - 1) / bandRows; ++band)
            ++bandStarts_[band + 1];
    }
    for (int32_t band = 0; band < bands; ++band) bandStarts_[band + 1] += bandStarts_[band];
    bandSplats_.resize(bandStarts_[bands]);
    std::vector<uint32_t> fill(bandStarts_.begin(), bandStarts_.end() - 1);
    for (size_t i = 0; i < splats.size(); ++i) {
        if (boxes_[i].empty()) continue;
        for (int32_t band = boxes_[i].y0 / bandRows; band <= (boxes_[i].y1 - 1) / bandRows; ++band)
            bandSplats_[fill[band]++] = static_cast<uint32_t>(i);
    }
    parallelFor(0, bands, [&](int64_t first, int64_t last) {
        std::vector<float> weights(static_cast<size_t>(width()));  // once per chunk of bands
        for (int64_t band = first; band < last; ++band) {
            const int32_t rowBegin = static_cast<int32_t>(band) * bandRows;
            const int32_t rowEnd = std::min(rowBegin + bandRows, h);
            for (uint32_t k = bandStarts_[band]; k < bandStarts_[band + 1]; ++k)
                paintRows(splats[bandSplats_[k]], boxes_[bandSplats_[k]], rowBegin, rowEnd, weights.data());
        }
    });
}

}  // namespace murmura
