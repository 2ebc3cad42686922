// The Gaussian deposit: the per-texel form over the whole grid, and the batch that visits only
// the texels a splat can change.
#include "rendering/simulation/compute_splat.h"

#include <algorithm>
#include <cmath>

#include "rendering/simulation/compute_rows.h"

namespace murmura::compute {

namespace {
inline float gaussian(float px, float pyy, float radius) { return gen::exp32(-(px * px + pyy) / radius); }
// The Gaussian's factor along one axis, for separable splats.
inline float gaussianFactor(float d, float radius) { return gen::exp32(-(d * d) / radius); }
}  // namespace

bool isValid(const SplatPass& s) {
    return std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.color[0]) && std::isfinite(s.color[1]) &&
           std::isfinite(s.color[2]) && std::isfinite(s.radius) && s.radius > 0.0f && std::isfinite(s.aspect);
}

namespace reference {
void kSplat(const Field& target, Field& out, const SplatPass& s, Workspace& ws) {
    forEachTexel(out, ws, [&](float u, float v) {
        const Float4 t = target.sample(u, v);
        const float px = (u - s.x) * s.aspect, py = v - s.y;
        if (s.separable) {
            const float ex = gaussianFactor(px, s.radius), ey = gaussianFactor(py, s.radius);
            return Float4{t.x + ex * (ey * s.color[0]), t.y + ex * (ey * s.color[1]), t.z + ex * (ey * s.color[2]),
                          1.0f};
        }
        const float e = gaussian(px, py * py, s.radius);
        return Float4{t.x + e * s.color[0], t.y + e * s.color[1], t.z + e * s.color[2], 1.0f};
    });
}
}  // namespace reference

void kSplat(const Field& target, Field& out, const SplatPass& s, Workspace& ws) {
    reference::kSplat(target, out, s, ws);
}

namespace {

// The texels a splat can change. Adding a value of magnitude below 2^-25 (half the smallest
// positive half float) to a stored half rounds back to it: the spacing of halves is at least
// 2^-24 everywhere, and the storage rule writes +0 where a zero texel would round to -0. So a
// texel where exp(-d2 / radius) * max|color| < 2^-25 keeps its stored bits, and skipping it is
// exactly the full pass. That holds where d2 / radius > ln(max|color| * 2^25); one more unit of
// margin in the exponent (a factor e) covers float rounding of the offsets, the error of exp32
// and the product of the two factors, and
// one more texel on each side of the ranges covers the rounding of texel centres.
struct SplatBounds {
    double reach2 = -1;  // radius * (ln(max|color| * 2^25) + 1), in squared canvas heights
    int32_t rowBegin = 0, rowEnd = 0;
};

SplatBounds splatBounds(const SplatPass& s, int32_t height) {
    SplatBounds b;
    const double peak = std::max({std::fabs(double(s.color[0])), std::fabs(double(s.color[1])), std::fabs(double(s.color[2]))});
    if (!(peak > 0)) return b;
    const double exponent = std::log(peak) + 25.0 * std::log(2.0) + 1.0;
    if (exponent <= 0) return b;
    b.reach2 = double(s.radius) * exponent;
    const double reach = std::sqrt(b.reach2);
    const double lo = std::floor(double(height) * (double(s.y) - reach) - 0.5) - 1.0;
    const double hi = std::ceil(double(height) * (double(s.y) + reach) - 0.5) + 1.0;
    b.rowBegin = static_cast<int32_t>(std::clamp(lo, 0.0, double(height)));
    b.rowEnd = static_cast<int32_t>(std::clamp(hi + 1.0, 0.0, double(height)));
    return b;
}

// Columns [begin, end) of row y the splat can change, from the float offset py of the row.
std::pair<int32_t, int32_t> splatColumns(const SplatPass& s, const SplatBounds& b, float py, int32_t width) {
    const double rest = b.reach2 - double(py) * double(py);
    if (rest < 0) return {0, 0};
    const double halfWidth = std::sqrt(rest) / std::max(double(std::fabs(s.aspect)), 1e-30);
    const double lo = std::floor(double(width) * (double(s.x) - halfWidth) - 0.5) - 1.0;
    const double hi = std::ceil(double(width) * (double(s.x) + halfWidth) - 0.5) + 1.0;
    return {static_cast<int32_t>(std::clamp(lo, 0.0, double(width))),
            static_cast<int32_t>(std::clamp(hi + 1.0, 0.0, double(width)))};
}

// What a splat needs of its columns [x0, x0 + n), the same for every row, so computed once per
// splat: the squared offsets ((u - x) * aspect)^2 at the texel centres u, or for a separable
// splat the Gaussian's factors there.
MURMURA_SIMD_CLONES void columnOffsets(float* __restrict pxx, int32_t x0, int32_t n, int32_t width, float sx,
                                       float aspect) {
    for (int32_t i = 0; i < n; ++i) {
        const float px = (texelCentre(x0 + i, width) - sx) * aspect;
        pxx[i] = px * px;
    }
}
MURMURA_SIMD_CLONES void columnFactors(float* __restrict ex, int32_t x0, int32_t n, int32_t width, float sx,
                                       float aspect, float radius) {
    for (int32_t i = 0; i < n; ++i) ex[i] = gaussianFactor((texelCentre(x0 + i, width) - sx) * aspect, radius);
}

// Gaussian weights of a row whose squared offset is pyy, from the columns' squared offsets.
MURMURA_SIMD_CLONES void splatWeights(float* __restrict e, const float* __restrict pxx, int32_t n, float pyy,
                                      float radius) {
    for (int32_t i = 0; i < n; ++i) e[i] = gen::exp32(-(pxx[i] + pyy) / radius);
}

// What the deposit does to the two field layouts.
void prepareChannels(Field& field, const SplatPass& s) {
    for (int c = 0; c < 3; ++c)
        if (s.color[c] != 0.0f) field.materialize(c);
}
void prepareChannels(TexelField&, const SplatPass&) {}

// Adds e[i] * color[c] to the columns [x0, x0 + n) of row y.
void addToRow(Field& field, int32_t y, int32_t x0, const float* e, int32_t n, const Rgb& color) {
    for (int c = 0; c < 3; ++c) {
        if (color[c] == 0.0f) continue;  // target + e * 0 is the target
        addScaledToHalves(field.row(c, y) + x0, e, color[c], static_cast<size_t>(n));
    }
}
void addToRow(TexelField& field, int32_t y, int32_t x0, const float* e, int32_t n, const Rgb& color) {
    addScaledToTexels(field.row(y) + static_cast<size_t>(x0) * 4, e, color, static_cast<size_t>(n));
    if (x0 == 0 || x0 + n == field.width()) field.padRow(y);
}

template <class F>
void applySplatBlock(F& field, std::span<const SplatPass> splats, Workspace& ws) {
    const int32_t w = field.width(), h = field.height();
    SplatBounds* bounds = ws.objects<SplatBounds>(splats.size());
    int32_t rowBegin = h, rowEnd = 0;
    for (size_t k = 0; k < splats.size(); ++k) {
        const SplatPass& s = splats[k];
        bounds[k] = isValid(s) ? splatBounds(s, h) : SplatBounds{};
        const SplatBounds& b = bounds[k];
        if (b.reach2 < 0 || b.rowBegin >= b.rowEnd) continue;
        rowBegin = std::min(rowBegin, b.rowBegin);
        rowEnd = std::max(rowEnd, b.rowEnd);
        prepareChannels(field, s);
    }
    if (rowBegin < rowEnd) {
        // Each splat's columns over the widest range any of its rows reaches.
        float* columns = ws.plane(3, splats.size() * static_cast<size_t>(w));
        for (size_t k = 0; k < splats.size(); ++k) {
            const SplatPass& s = splats[k];
            if (bounds[k].reach2 < 0 || bounds[k].rowBegin >= bounds[k].rowEnd) continue;
            const auto [x0, x1] = splatColumns(s, bounds[k], 0.0f, w);
            if (s.separable)
                columnFactors(columns + k * w + x0, x0, x1 - x0, w, s.x, s.aspect, s.radius);
            else
                columnOffsets(columns + k * w + x0, x0, x1 - x0, w, s.x, s.aspect);
        }
        forEachRowChunk(rowEnd - rowBegin, w, [&](int32_t r0, int32_t r1) {
            float* e = ws.rowScratch(static_cast<size_t>(w));
            for (int32_t y = rowBegin + r0; y < rowBegin + r1; ++y) {
                const float v = texelCentre(y, h);
                for (size_t k = 0; k < splats.size(); ++k) {
                    const SplatPass& s = splats[k];
                    const SplatBounds& b = bounds[k];
                    if (b.reach2 < 0 || y < b.rowBegin || y >= b.rowEnd) continue;
                    const float py = v - s.y;
                    const auto [x0, x1] = splatColumns(s, b, py, w);
                    if (x0 >= x1) continue;
                    const float* column = columns + k * w + x0;
                    if (s.separable) {
                        const float ey = gaussianFactor(py, s.radius);
                        addToRow(field, y, x0, column, x1 - x0, {ey * s.color[0], ey * s.color[1], ey * s.color[2]});
                    } else {
                        splatWeights(e, column, x1 - x0, py * py, s.radius);
                        addToRow(field, y, x0, e, x1 - x0, s.color);
                    }
                }
            }
        });
    }
}

}  // namespace

namespace {
template <class F>
void applySplatBlocks(F& field, std::span<const SplatPass> splats, Workspace& ws) {
    // Blocks of splats in list order keep every texel's additions in that order, and the column
    // offsets to one block's worth: a whole Neon session at once would need 20,000 rows of them.
    constexpr size_t kBlock = 256;
    for (size_t first = 0; first < splats.size(); first += kBlock)
        applySplatBlock(field, splats.subspan(first, std::min(kBlock, splats.size() - first)), ws);
}
}  // namespace

void applySplats(Field& field, std::span<const SplatPass> splats, Workspace& ws) {
    if (splats.empty()) return;
    applySplatBlocks(field, splats, ws);
    field.fill(3, 1.0f);
}

void applySplats(TexelField& field, std::span<const SplatPass> splats, Workspace& ws) {
    if (splats.empty()) return;
    applySplatBlocks(field, splats, ws);
    field.setAlpha(1.0f);
}

}  // namespace murmura::compute
