#include "rendering/simulation/fluid_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace murmura::fluid {

using compute::Float4;
using compute::forEachRowChunk;
using compute::TapRow;
using compute::texelCentre;

namespace {

// ---- Per-texel formulas, shared by the fast and the reference paths ----

inline float gaussian(float px, float pyy, float radius) { return gen::exp32(-(px * px + pyy) / radius); }

inline float curlOf(float L, float R, float B, float T) { return 0.5f * (R - L - T + B); }

inline float clampVelocity(float v) {
    v = v > -1000.0f ? v : -1000.0f;
    return v < 1000.0f ? v : 1000.0f;
}

struct Vec2 {
    float x, y;
};

inline Vec2 vorticityOf(float L, float R, float B, float T, float C, float vx, float vy, float strength, float dt) {
    float fx = 0.5f * (std::fabs(T) - std::fabs(B));
    float fy = 0.5f * (std::fabs(R) - std::fabs(L));
    const float length = std::sqrt(fx * fx + fy * fy) + 0.0001f;
    fx = fx / length;
    fy = fy / length;
    fx = fx * strength * C;
    fy = fy * strength * C;
    fy = -fy;
    return Vec2{clampVelocity(vx + fx * dt), clampVelocity(vy + fy * dt)};
}

inline float divergenceOf(float L, float R, float B, float T) { return 0.5f * (R - L + T - B); }

inline float pressureOf(float L, float R, float B, float T, float div) { return (L + R + B + T - div) * 0.25f; }

inline float diffuseOf(float c, float L, float R, float B, float T, float k) {
    return c + k * (L + R + B + T - 4.0f * c);
}

inline float inkFibre(float fine, float medium, float coarse) {
    return fine * 0.028f + medium * 0.022f + coarse * 0.018f;
}

inline float watercolorFibre(float fine, float medium) { return fine * 0.020f + medium * 0.016f; }

// a * b * 15 with a = u (1 - v), b = v (1 - u): 1 in the middle, falling to 0 at the edges.
inline float vignetteBase(float u, float v) {
    const float a = u * (1.0f - v), b = v * (1.0f - u);
    return a * b * 15.0f;
}

inline float inkVignette(float u, float v) { return 0.92f + 0.08f * gen::pow32(vignetteBase(u, v), 0.18f); }
inline float watercolorVignette(float u, float v) { return 0.94f + 0.06f * gen::pow32(vignetteBase(u, v), 0.15f); }

inline float paperColour(float paper, float absorbance, float fibre, float vignette) {
    return (paper * gen::exp32(-absorbance) + fibre) * vignette;
}

// Step 2 of the watercolour display, one channel: the centre plus the rim term from the
// one-texel differences around it.
inline float rimmed(float C, float R, float L, float T, float B, float edgeDarken) {
    return C + edgeDarken * (std::fabs(R - L) + std::fabs(T - B));
}

struct Absorbance {
    float r, g, b;
};

// Steps 3 and 4 of the watercolour display: granulation and the hue-preserving cap.
inline Absorbance granulatedCapped(Absorbance A, float grain, float granulate, float absorbCap) {
    const float amount = gen::smoothstep(0.03f, 0.5f, std::max(std::max(A.r, A.g), A.b));
    const float k = 1.0f + granulate * (grain - 0.5f) * 2.0f * amount;
    float r = A.r * k, g = A.g * k, b = A.b * k;
    r = r > 0.0f ? r : 0.0f;
    g = g > 0.0f ? g : 0.0f;
    b = b > 0.0f ? b : 0.0f;
    const float m = std::max(std::max(r, g), b);
    const float capped = absorbCap * (1.0f - gen::exp32(-m / absorbCap));
    const bool cap = absorbCap > 0.0f && m > 1e-5f;
    r = cap ? r * capped / m : r;
    g = cap ? g * capped / m : g;
    b = cap ? b * capped / m : b;
    return Absorbance{r, g, b};
}

// ---- Row primitives ----

// a = mix(a, b, f), element by element.
MURMURA_SIMD_CLONES void mixInto(float* __restrict a, const float* __restrict b, float f, int32_t n) {
    for (int32_t i = 0; i < n; ++i) a[i] = gen::mix(a[i], b[i], f);
}

MURMURA_SIMD_CLONES void gatherMix(float* __restrict out, const float* __restrict row, const int32_t* __restrict i0,
                                   const int32_t* __restrict i1, const float* __restrict f, int32_t n) {
    for (int32_t i = 0; i < n; ++i) out[i] = gen::mix(row[i0[i]], row[i1[i]], f[i]);
}

MURMURA_SIMD_CLONES void gatherExact(float* __restrict out, const float* __restrict row, const int32_t* __restrict i0,
                                     int32_t n) {
    for (int32_t i = 0; i < n; ++i) out[i] = row[i0[i]];
}

MURMURA_SIMD_CLONES void scaleInPlace(float* __restrict values, float k, int32_t n) {
    for (int32_t i = 0; i < n; ++i) values[i] = k * values[i];
}

bool allExact(const TapRow& taps) {
    return std::all_of(taps.f.begin(), taps.f.end(), [](float f) { return f == 0.0f; });
}

// Channel c of `field` read along one output row: the bilinear samples at normalised height v
// and the columns of `cols`. Reads with a zero weight are direct reads (exact: stored values are
// finite and never -0). rowA and rowB are scratch of the field's width.
void sampleRow(const Field& field, int c, float v, const TapRow& cols, bool colsExact, float* out, float* rowA,
               float* rowB) {
    const gen::Tap ty = gen::bilinearTap(v, field.height());
    field.readRow(c, ty.i0, rowA);
    if (ty.f != 0.0f) {
        field.readRow(c, ty.i1, rowB);
        mixInto(rowA, rowB, ty.f, field.width());
    }
    const auto n = static_cast<int32_t>(cols.i0.size());
    if (colsExact)
        gatherExact(out, rowA, cols.i0.data(), n);
    else
        gatherMix(out, rowA, cols.i0.data(), cols.i1.data(), cols.f.data(), n);
}

// The rows a five-point stencil reads at row y of a field: `centre`, channel `across` of row y
// padded with its edge texels (so x - 1 and x + 1 stay inside); `below` and `above`, channel
// `along` of rows y - 1 and y + 1 (clamped); and `extra`, scratch rows of the field's width.
struct StencilRows {
    float* centre;
    float* below;
    float* above;
    float* extra;
};

// Runs fn(y, rows) for every row y of `f`, rows in parallel.
template <class Fn>
void forEachStencilRow(const Field& f, int across, int along, int extraRows, Workspace& ws, Fn&& fn) {
    const int32_t w = f.width();
    forEachRowChunk(f.height(), w, [&](int32_t y0, int32_t y1) {
        float* centre = ws.rowScratch(static_cast<size_t>(w) * (3 + extraRows) + 2);
        const StencilRows rows{centre, centre + w + 2, centre + 2 * w + 2, centre + 3 * w + 2};
        for (int32_t y = y0; y < y1; ++y) {
            f.readRowPadded(across, y, rows.centre);
            f.readRow(along, y - 1, rows.below);
            f.readRow(along, y + 1, rows.above);
            fn(y, rows);
        }
    });
}

// Output channels 1 to 3 of the kernels that write (value, 0, 0, 1) or (x, y, 0, 1).
void fillConstantChannels(Field& out, int firstConstant) {
    for (int c = firstConstant; c < 4; ++c) out.fill(c, c == 3 ? 1.0f : 0.0f);
}

// ---- Reference (per-texel) runner ----

// Writes all four channels of every texel of `out` from fn(u, v) -> Float4.
template <class TexelFn>
void forEachTexel(Field& out, Workspace& ws, TexelFn&& fn) {
    for (int c = 0; c < 4; ++c) out.beginWrite(c);
    const int32_t w = out.width(), h = out.height();
    forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
        float* rows = ws.rowScratch(static_cast<size_t>(w) * 4);
        for (int32_t y = y0; y < y1; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                const Float4 r = fn(texelCentre(x, w), texelCentre(y, h));
                for (int c = 0; c < 4; ++c) rows[c * w + x] = r[c];
            }
            for (int c = 0; c < 4; ++c) out.writeRow(c, y, rows + c * w);
        }
    });
}

// The neighbours of uv for an output of w x h texels.
struct Neighbours {
    Float4 L, R, B, T;
};
Neighbours neighbours(const Field& f, float u, float v, int32_t w, int32_t h) {
    const float tx = 1.0f / static_cast<float>(w), ty = 1.0f / static_cast<float>(h);
    return Neighbours{f.sample(u - tx, v), f.sample(u + tx, v), f.sample(u, v - ty), f.sample(u, v + ty)};
}

}  // namespace

bool isValid(const SplatPass& s) {
    return std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.color[0]) && std::isfinite(s.color[1]) &&
           std::isfinite(s.color[2]) && std::isfinite(s.radius) && s.radius > 0.0f && std::isfinite(s.aspect);
}

// ---- k_zero ----

void kZero(Field& out) { out.clear(); }

// ---- k_splat ----

namespace reference {
void kSplat(const Field& target, Field& out, const SplatPass& s, Workspace& ws) {
    forEachTexel(out, ws, [&](float u, float v) {
        const Float4 t = target.sample(u, v);
        const float py = v - s.y;
        const float e = gaussian((u - s.x) * s.aspect, py * py, s.radius);
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
// margin in the exponent (a factor e) covers float rounding of d2 and the error of exp32, and
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

// Gaussian weights of columns [x0, x0 + n) of a row whose squared offset is pyy.
MURMURA_SIMD_CLONES void splatWeights(float* __restrict e, int32_t x0, int32_t n, int32_t width, float sx,
                                      float aspect, float pyy, float radius) {
    for (int32_t i = 0; i < n; ++i) {
        const float u = texelCentre(x0 + i, width);
        e[i] = gaussian((u - sx) * aspect, pyy, radius);
    }
}

MURMURA_SIMD_CLONES void addWeighted(float* __restrict values, const float* __restrict e, float color, int32_t n) {
    for (int32_t i = 0; i < n; ++i) values[i] = values[i] + e[i] * color;
}

}  // namespace

void applySplats(Field& field, std::span<const SplatPass> splats, Workspace& ws) {
    if (splats.empty()) return;
    const int32_t w = field.width(), h = field.height();
    std::vector<SplatBounds> bounds;
    bounds.reserve(splats.size());
    int32_t rowBegin = h, rowEnd = 0;
    for (const SplatPass& s : splats) {
        bounds.push_back(isValid(s) ? splatBounds(s, h) : SplatBounds{});
        const SplatBounds& b = bounds.back();
        if (b.reach2 < 0 || b.rowBegin >= b.rowEnd) continue;
        rowBegin = std::min(rowBegin, b.rowBegin);
        rowEnd = std::max(rowEnd, b.rowEnd);
        for (int c = 0; c < 3; ++c)
            if (s.color[c] != 0.0f) field.materialize(c);
    }
    if (rowBegin < rowEnd) {
        forEachRowChunk(rowEnd - rowBegin, w, [&](int32_t r0, int32_t r1) {
            float* e = ws.rowScratch(static_cast<size_t>(w) * 2);
            float* values = e + w;
            for (int32_t y = rowBegin + r0; y < rowBegin + r1; ++y) {
                const float v = texelCentre(y, h);
                for (size_t k = 0; k < splats.size(); ++k) {
                    const SplatPass& s = splats[k];
                    const SplatBounds& b = bounds[k];
                    if (b.reach2 < 0 || y < b.rowBegin || y >= b.rowEnd) continue;
                    const float py = v - s.y;
                    const auto [x0, x1] = splatColumns(s, b, py, w);
                    if (x0 >= x1) continue;
                    const int32_t n = x1 - x0;
                    splatWeights(e, x0, n, w, s.x, s.aspect, py * py, s.radius);
                    for (int c = 0; c < 3; ++c) {
                        if (s.color[c] == 0.0f) continue;  // target + e * 0 is the target
                        compute::Half* row = field.row(c, y) + x0;
                        compute::decodeHalves(row, values, static_cast<size_t>(n));
                        addWeighted(values, e, s.color[c], n);
                        compute::encodeHalves(values, row, static_cast<size_t>(n));
                    }
                }
            }
        });
    }
    field.fill(3, 1.0f);
}

// ---- k_advect ----

namespace reference {
void kAdvect(const Field& vel, const Field& src, Field& out, float dt, float dissipation, Workspace& ws) {
    const float tx = 1.0f / static_cast<float>(out.width()), ty = 1.0f / static_cast<float>(out.height());
    const float denominator = 1.0f + dissipation * dt;
    forEachTexel(out, ws, [&](float u, float v) {
        const Float4 velocity = vel.sample(u, v);
        const Float4 s = src.sample(u - dt * velocity.x * tx, v - dt * velocity.y * ty);
        return Float4{s.x / denominator, s.y / denominator, s.z / denominator, s.w / denominator};
    });
}
}  // namespace reference

namespace {

// Backtraced bilinear taps of one output row: indices of the four texels read in a ring of
// source rows (row & mask) * w + x, the two weights, and the range of source rows reached.
MURMURA_SIMD_CLONES void advectTaps(const float* __restrict vx, const float* __restrict vy,
                                    const float* __restrict centres, int32_t y, int32_t w, int32_t h, float dt,
                                    int32_t mask, int32_t* __restrict i00, int32_t* __restrict i10,
                                    int32_t* __restrict i01, int32_t* __restrict i11, float* __restrict fx,
                                    float* __restrict fy, int32_t* first, int32_t* last) {
    const float tx = 1.0f / static_cast<float>(w), ty = 1.0f / static_cast<float>(h);
    const float v = texelCentre(y, h);
    int32_t lo = *first, hi = *last;
    for (int32_t x = 0; x < w; ++x) {
        const gen::Tap cx = gen::bilinearTap(centres[x] - dt * vx[x] * tx, w);
        const gen::Tap cy = gen::bilinearTap(v - dt * vy[x] * ty, h);
        const int32_t top = (cy.i0 & mask) * w, bottom = (cy.i1 & mask) * w;
        i00[x] = top + cx.i0;
        i10[x] = top + cx.i1;
        i01[x] = bottom + cx.i0;
        i11[x] = bottom + cx.i1;
        fx[x] = cx.f;
        fy[x] = cy.f;
        lo = cy.i0 < lo ? cy.i0 : lo;
        hi = cy.i1 > hi ? cy.i1 : hi;
    }
    *first = lo;
    *last = hi;
}

// The band holds the four channels of a texel side by side: a bilinear read of all channels is
// then four loads (and one vector of arithmetic), where separate planes need four gathers per
// channel.
using Lanes = float[4];

// Stored halves of four channel rows, widened and side by side.
MURMURA_SIMD_CLONES void interleaveHalves(Lanes* __restrict out, const compute::Half* __restrict c0,
                                          const compute::Half* __restrict c1, const compute::Half* __restrict c2,
                                          const compute::Half* __restrict c3, int32_t n) {
    using compute::widenHalf;
    for (int32_t i = 0; i < n; ++i) {
        out[i][0] = widenHalf(c0[i]);
        out[i][1] = widenHalf(c1[i]);
        out[i][2] = widenHalf(c2[i]);
        out[i][3] = widenHalf(c3[i]);
    }
}

MURMURA_SIMD_CLONES void deinterleave(float* __restrict c0, float* __restrict c1, float* __restrict c2,
                                      float* __restrict c3, const Lanes* __restrict in, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        c0[i] = in[i][0];
        c1[i] = in[i][1];
        c2[i] = in[i][2];
        c3[i] = in[i][3];
    }
}

// Bilinear reads from the ring of source rows.
MURMURA_SIMD_CLONES void advectGather(Lanes* __restrict out, const Lanes* __restrict ring,
                                      const int32_t* __restrict i00, const int32_t* __restrict i10,
                                      const int32_t* __restrict i01, const int32_t* __restrict i11,
                                      const float* __restrict fx, const float* __restrict fy, float denominator,
                                      int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
        const float* a = ring[i00[x]];
        const float* b = ring[i10[x]];
        const float* c = ring[i01[x]];
        const float* d = ring[i11[x]];
        const float wx = fx[x], wy = fy[x];
        for (int k = 0; k < 4; ++k) out[x][k] = gen::bilinear(a[k], b[k], c[k], d[k], wx, wy) / denominator;
    }
}

// Output rows are backtraced in blocks: first the taps of every row of a block, then the source
// rows they reach that are not yet decoded go into a ring of rows small enough to stay in cache
// (row y in slot y & mask), then the reads. Successive blocks reach mostly the same rows, so
// each source row is decoded about once per chunk. (A float copy of the whole source costs
// more memory traffic than the reads themselves.)
constexpr int32_t kAdvectBlockRows = 16;
constexpr int32_t kAdvectRingRows = 64;

int32_t ringRowsFor(int32_t span) {
    int32_t rows = kAdvectRingRows;
    while (rows < span) rows *= 2;
    return rows;
}

}  // namespace

void kAdvect(const Field& vel, const Field& src, Field& out, float dt, float dissipation, Workspace& ws) {
    if (!src.sameSize(out)) return reference::kAdvect(vel, src, out, dt, dissipation, ws);
    const int32_t w = out.width(), h = out.height();
    const float denominator = 1.0f + dissipation * dt;
    const bool velExact = vel.sameSize(out);
    TapRow& cols = ws.taps(0);
    bool colsExact = true;
    if (!velExact) {
        cols.fill(w, vel.width(), 0.0f);
        colsExact = allExact(cols);
    }
    bool anyPlane = false;
    for (int c = 0; c < 4; ++c) {
        if (src.isUniform(c)) {
            out.fill(c, src.uniformValue(c) / denominator);  // a bilinear read of one value is that value
        } else {
            out.beginWrite(c);
            anyPlane = true;
        }
    }
    if (!anyPlane) return;
    const auto wide = static_cast<size_t>(w);
    const size_t blockTexels = static_cast<size_t>(kAdvectBlockRows) * wide;
    const size_t velRow = static_cast<size_t>(vel.width());
    forEachRowChunk(h, w, [&](int32_t chunkBegin, int32_t chunkEnd) {
        int32_t ringRows = kAdvectRingRows;
        int32_t* i00 = ws.indexScratch(blockTexels * 4 + static_cast<size_t>(ringRowsFor(h)));
        int32_t* i10 = i00 + blockTexels;
        int32_t* i01 = i10 + blockTexels;
        int32_t* i11 = i01 + blockTexels;
        int32_t* slotRow = i11 + blockTexels;  // the source row each ring slot holds
        float* fx = ws.rowScratch(blockTexels * 2 + wide * 7 + velRow * 2);
        float* fy = fx + blockTexels;
        float* centres = fy + blockTexels;
        float* vx = centres + wide;
        float* vy = vx + wide;
        float* rowA = vy + wide;
        float* rowB = rowA + velRow;
        float* values = rowB + velRow;  // four rows of results
        for (int32_t x = 0; x < w; ++x) centres[x] = texelCentre(x, w);
        // A uniform channel is read from a row of its value.
        compute::Half* rows = ws.halfScratch(wide * 4);
        std::array<const compute::Half*, 4> in{};
        for (int c = 0; c < 4; ++c)
            if (src.isUniform(c)) std::fill_n(rows + c * wide, wide, compute::toHalf(src.uniformValue(c)));
        Lanes* texels = ws.texelScratch(wide * (static_cast<size_t>(ringRows) + 1));
        std::fill_n(slotRow, ringRows, -1);
        for (int32_t blockBegin = chunkBegin; blockBegin < chunkEnd; blockBegin += kAdvectBlockRows) {
            const int32_t count = std::min(kAdvectBlockRows, chunkEnd - blockBegin);
            int32_t first = h, last = 0;
            for (int32_t r = 0; r < count; ++r) {
                const int32_t y = blockBegin + r;
                if (velExact) {
                    vel.readRow(0, y, vx);
                    vel.readRow(1, y, vy);
                } else {
                    const float v = texelCentre(y, h);
                    sampleRow(vel, 0, v, cols, colsExact, vx, rowA, rowB);
                    sampleRow(vel, 1, v, cols, colsExact, vy, rowA, rowB);
                }
                const size_t at = static_cast<size_t>(r) * wide;
                advectTaps(vx, vy, centres, y, w, h, dt, ringRows - 1, i00 + at, i10 + at, i01 + at, i11 + at,
                           fx + at, fy + at, &first, &last);
                if (last - first + 1 > ringRows) {
                    // A flow too fast for the ring: a larger ring, and this block's taps again.
                    ringRows = ringRowsFor(last - first + 1);
                    texels = ws.texelScratch(wide * (static_cast<size_t>(ringRows) + 1));
                    std::fill_n(slotRow, ringRows, -1);
                    first = h;
                    last = 0;
                    r = -1;
                }
            }
            Lanes* ring = texels + wide;
            for (int32_t y = first; y <= last; ++y) {
                const int32_t slot = y & (ringRows - 1);
                if (slotRow[slot] == y) continue;
                for (int c = 0; c < 4; ++c) in[c] = src.isUniform(c) ? rows + c * wide : src.row(c, y);
                interleaveHalves(ring + static_cast<size_t>(slot) * wide, in[0], in[1], in[2], in[3], w);
                slotRow[slot] = y;
            }
            for (int32_t r = 0; r < count; ++r) {
                const size_t at = static_cast<size_t>(r) * wide;
                advectGather(texels, ring, i00 + at, i10 + at, i01 + at, i11 + at, fx + at, fy + at, denominator, w);
                deinterleave(values, values + wide, values + 2 * wide, values + 3 * wide, texels, w);
                for (int c = 0; c < 4; ++c)
                    if (!src.isUniform(c)) out.writeRow(c, blockBegin + r, values + c * wide);
            }
        }
    }, kAdvectRingRows);  // chunks of a few blocks, so that the ring is reused
}

// ---- k_curl ----

namespace reference {
void kCurl(const Field& vel, Field& out, Workspace& ws) {
    forEachTexel(out, ws, [&](float u, float v) {
        const Neighbours n = neighbours(vel, u, v, out.width(), out.height());
        return Float4{curlOf(n.L.y, n.R.y, n.B.x, n.T.x), 0.0f, 0.0f, 1.0f};
    });
}
}  // namespace reference

namespace {
MURMURA_SIMD_CLONES void curlRow(float* __restrict out, const float* __restrict vyPadded, const float* __restrict vxB,
                                 const float* __restrict vxT, int32_t w) {
    for (int32_t x = 0; x < w; ++x) out[x] = curlOf(vyPadded[x], vyPadded[x + 2], vxB[x], vxT[x]);
}
}  // namespace

void kCurl(const Field& vel, Field& out, Workspace& ws) {
    if (!vel.sameSize(out)) return reference::kCurl(vel, out, ws);
    const int32_t w = out.width();
    out.beginWrite(0);
    forEachStencilRow(vel, 1, 0, 1, ws, [&](int32_t y, const StencilRows& r) {
        curlRow(r.extra, r.centre, r.below, r.above, w);
        out.writeRow(0, y, r.extra);
    });
    fillConstantChannels(out, 1);
}

// ---- k_vorticity ----

namespace reference {
void kVorticity(const Field& vel, const Field& curl, Field& out, float curlStrength, float dt, Workspace& ws) {
    forEachTexel(out, ws, [&](float u, float v) {
        const Neighbours n = neighbours(curl, u, v, out.width(), out.height());
        const Float4 velocity = vel.sample(u, v);
        const Vec2 r = vorticityOf(n.L.x, n.R.x, n.B.x, n.T.x, curl.sample(u, v).x, velocity.x, velocity.y,
                                   curlStrength, dt);
        return Float4{r.x, r.y, 0.0f, 1.0f};
    });
}
}  // namespace reference

namespace {
MURMURA_SIMD_CLONES void vorticityRow(float* __restrict outX, float* __restrict outY, const float* __restrict curlPadded,
                                      const float* __restrict curlB, const float* __restrict curlT,
                                      const float* __restrict vx, const float* __restrict vy, float strength, float dt,
                                      int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
        const Vec2 r = vorticityOf(curlPadded[x], curlPadded[x + 2], curlB[x], curlT[x], curlPadded[x + 1], vx[x],
                                   vy[x], strength, dt);
        outX[x] = r.x;
        outY[x] = r.y;
    }
}
}  // namespace

void kVorticity(const Field& vel, const Field& curl, Field& out, float curlStrength, float dt, Workspace& ws) {
    if (!vel.sameSize(out) || !curl.sameSize(out)) return reference::kVorticity(vel, curl, out, curlStrength, dt, ws);
    const int32_t w = out.width();
    out.beginWrite(0);
    out.beginWrite(1);
    forEachStencilRow(curl, 0, 0, 4, ws, [&](int32_t y, const StencilRows& r) {
        float *vx = r.extra, *vy = vx + w, *rx = vy + w, *ry = rx + w;
        vel.readRow(0, y, vx);
        vel.readRow(1, y, vy);
        vorticityRow(rx, ry, r.centre, r.below, r.above, vx, vy, curlStrength, dt, w);
        out.writeRow(0, y, rx);
        out.writeRow(1, y, ry);
    });
    fillConstantChannels(out, 2);
}

// ---- k_divergence ----

namespace reference {
void kDivergence(const Field& vel, Field& out, Workspace& ws) {
    const float tx = 1.0f / static_cast<float>(out.width()), ty = 1.0f / static_cast<float>(out.height());
    forEachTexel(out, ws, [&](float u, float v) {
        const Neighbours n = neighbours(vel, u, v, out.width(), out.height());
        const Float4 C = vel.sample(u, v);
        float L = n.L.x, R = n.R.x, B = n.B.y, T = n.T.y;
        if (u - tx < 0.0f) L = -C.x;
        if (u + tx > 1.0f) R = -C.x;
        if (v - ty < 0.0f) B = -C.y;
        if (v + ty > 1.0f) T = -C.y;
        return Float4{divergenceOf(L, R, B, T), 0.0f, 0.0f, 1.0f};
    });
}
}  // namespace reference

namespace {
// B and T are the rows below and above, already replaced by the negated centre on edge rows.
MURMURA_SIMD_CLONES void divergenceRow(float* __restrict out, const float* __restrict vxPadded,
                                       const float* __restrict B, const float* __restrict T, int32_t w) {
    const float tx = 1.0f / static_cast<float>(w);
    for (int32_t x = 0; x < w; ++x) {
        const float u = texelCentre(x, w);
        const float left = vxPadded[x], cx = vxPadded[x + 1], right = vxPadded[x + 2];
        const float L = u - tx < 0.0f ? -cx : left;
        const float R = u + tx > 1.0f ? -cx : right;
        out[x] = divergenceOf(L, R, B[x], T[x]);
    }
}

MURMURA_SIMD_CLONES void negate(float* __restrict out, const float* __restrict in, int32_t n) {
    for (int32_t i = 0; i < n; ++i) out[i] = -in[i];
}
}  // namespace

void kDivergence(const Field& vel, Field& out, Workspace& ws) {
    if (!vel.sameSize(out)) return reference::kDivergence(vel, out, ws);
    const int32_t w = out.width(), h = out.height();
    const float ty = 1.0f / static_cast<float>(h);
    out.beginWrite(0);
    forEachStencilRow(vel, 0, 1, 2, ws, [&](int32_t y, const StencilRows& r) {
        float *centre = r.extra, *result = centre + w;
        const float v = texelCentre(y, h);
        vel.readRow(1, y, centre);
        // Reflective edge: the missing neighbour is the negated centre.
        if (v - ty < 0.0f) negate(r.below, centre, w);
        if (v + ty > 1.0f) negate(r.above, centre, w);
        divergenceRow(result, r.centre, r.below, r.above, w);
        out.writeRow(0, y, result);
    });
    fillConstantChannels(out, 1);
}

// ---- k_clear ----

namespace reference {
void kClear(const Field& src, Field& out, float value, Workspace& ws) {
    forEachTexel(out, ws, [&](float u, float v) {
        const Float4 s = src.sample(u, v);
        return Float4{value * s.x, value * s.y, value * s.z, value * s.w};
    });
}
}  // namespace reference

void kClear(const Field& src, Field& out, float value, Workspace& ws) {
    if (!src.sameSize(out)) return reference::kClear(src, out, value, ws);
    const int32_t w = out.width();
    for (int c = 0; c < 4; ++c) {
        if (src.isUniform(c)) {
            out.fill(c, value * src.uniformValue(c));
            continue;
        }
        out.beginWrite(c);
        forEachRowChunk(out.height(), w, [&](int32_t y0, int32_t y1) {
            float* row = ws.rowScratch(static_cast<size_t>(w));
            for (int32_t y = y0; y < y1; ++y) {
                src.readRow(c, y, row);
                scaleInPlace(row, value, w);
                out.writeRow(c, y, row);
            }
        });
    }
}

// ---- k_pressure ----

namespace reference {
void kPressure(const Field& press, const Field& dvrg, Field& out, Workspace& ws) {
    forEachTexel(out, ws, [&](float u, float v) {
        const Neighbours n = neighbours(press, u, v, out.width(), out.height());
        return Float4{pressureOf(n.L.x, n.R.x, n.B.x, n.T.x, dvrg.sample(u, v).x), 0.0f, 0.0f, 1.0f};
    });
}
}  // namespace reference

namespace {
MURMURA_SIMD_CLONES void pressureRow(float* __restrict out, const float* __restrict padded, const float* __restrict below,
                                     const float* __restrict above, const float* __restrict div, int32_t w) {
    for (int32_t x = 0; x < w; ++x) out[x] = pressureOf(padded[x], padded[x + 2], below[x], above[x], div[x]);
}
}  // namespace

void kPressure(const Field& press, const Field& dvrg, Field& out, Workspace& ws) {
    if (!press.sameSize(out) || !dvrg.sameSize(out)) return reference::kPressure(press, dvrg, out, ws);
    const int32_t w = out.width();
    out.beginWrite(0);
    forEachStencilRow(press, 0, 0, 2, ws, [&](int32_t y, const StencilRows& r) {
        float *div = r.extra, *result = div + w;
        dvrg.readRow(0, y, div);
        pressureRow(result, r.centre, r.below, r.above, div, w);
        out.writeRow(0, y, result);
    });
    fillConstantChannels(out, 1);
}

namespace {
// Pads a row stored at row[1..w] with its edge values at row[0] and row[w + 1].
void padRow(float* row, int32_t w) {
    row[0] = row[1];
    row[w + 1] = row[w];
}
}  // namespace

// The iterations run on float copies of the pressure, rounded to half precision after every
// iteration so that they hold exactly what the fields would hold; the stored halves are decoded
// once and encoded once instead of at every iteration.
void kPressureIterations(compute::FieldPair& prs, const Field& dvrg, int64_t iterations, Workspace& ws) {
    if (iterations <= 0) return;
    if (!prs.read.sameSize(prs.write) || !prs.read.sameSize(dvrg)) {
        for (int64_t i = 0; i < iterations; ++i) {
            kPressure(prs.read, dvrg, prs.write, ws);
            prs.exchange();
        }
        return;
    }
    const int32_t w = prs.read.width(), h = prs.read.height();
    const size_t stride = static_cast<size_t>(w) + 2;
    float* current = ws.plane(0, stride * h);
    float* next = ws.plane(1, stride * h);
    float* div = ws.plane(2, static_cast<size_t>(w) * h);
    forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
            prs.read.readRowPadded(0, y, current + y * stride);
            dvrg.readRow(0, y, div + static_cast<size_t>(y) * w);
        }
    });
    for (int64_t i = 0; i < iterations; ++i) {
        forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
            for (int32_t y = y0; y < y1; ++y) {
                const float* mid = current + y * stride;
                const float* below = current + std::max(y - 1, 0) * stride + 1;
                const float* above = current + std::min(y + 1, h - 1) * stride + 1;
                float* out = next + y * stride;
                pressureRow(out + 1, mid, below, above, div + static_cast<size_t>(y) * w, w);
                compute::roundToStorage(out + 1, static_cast<size_t>(w));
                padRow(out, w);
            }
        });
        std::swap(current, next);
    }
    // As after the exchanges: the last iterate in prs.read, the one before it in prs.write (the
    // cleared input itself after a single iteration).
    prs.write.beginWrite(0);
    fillConstantChannels(prs.write, 1);
    if (iterations > 1) {
        prs.read.beginWrite(0);
        fillConstantChannels(prs.read, 1);
    }
    forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
            prs.write.writeRow(0, y, current + y * stride + 1);
            if (iterations > 1) prs.read.writeRow(0, y, next + y * stride + 1);
        }
    });
    prs.exchange();
}

// ---- k_gradient ----

namespace reference {
void kGradient(const Field& press, const Field& vel, Field& out, Workspace& ws) {
    forEachTexel(out, ws, [&](float u, float v) {
        const Neighbours n = neighbours(press, u, v, out.width(), out.height());
        const Float4 velocity = vel.sample(u, v);
        return Float4{velocity.x - (n.R.x - n.L.x), velocity.y - (n.T.x - n.B.x), 0.0f, 1.0f};
    });
}
}  // namespace reference

namespace {
MURMURA_SIMD_CLONES void gradientRow(float* __restrict outX, float* __restrict outY, const float* __restrict padded,
                                     const float* __restrict below, const float* __restrict above,
                                     const float* __restrict vx, const float* __restrict vy, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
        outX[x] = vx[x] - (padded[x + 2] - padded[x]);
        outY[x] = vy[x] - (above[x] - below[x]);
    }
}
}  // namespace

void kGradient(const Field& press, const Field& vel, Field& out, Workspace& ws) {
    if (!press.sameSize(out) || !vel.sameSize(out)) return reference::kGradient(press, vel, out, ws);
    const int32_t w = out.width();
    out.beginWrite(0);
    out.beginWrite(1);
    forEachStencilRow(press, 0, 0, 4, ws, [&](int32_t y, const StencilRows& r) {
        float *vx = r.extra, *vy = vx + w, *rx = vy + w, *ry = rx + w;
        vel.readRow(0, y, vx);
        vel.readRow(1, y, vy);
        gradientRow(rx, ry, r.centre, r.below, r.above, vx, vy, w);
        out.writeRow(0, y, rx);
        out.writeRow(1, y, ry);
    });
    fillConstantChannels(out, 2);
}

// ---- k_diffuse ----

namespace reference {
void kDiffuse(const Field& src, Field& out, float k, Workspace& ws) {
    forEachTexel(out, ws, [&](float u, float v) {
        const Float4 c = src.sample(u, v);
        const Neighbours n = neighbours(src, u, v, out.width(), out.height());
        std::array<float, 4> r{};
        for (int i = 0; i < 4; ++i) r[i] = diffuseOf(c[i], n.L[i], n.R[i], n.B[i], n.T[i], k);
        return Float4{r[0], r[1], r[2], r[3]};
    });
}
}  // namespace reference

namespace {
MURMURA_SIMD_CLONES void diffuseRow(float* __restrict out, const float* __restrict padded, const float* __restrict below,
                                    const float* __restrict above, float k, int32_t w) {
    for (int32_t x = 0; x < w; ++x) out[x] = diffuseOf(padded[x + 1], padded[x], padded[x + 2], below[x], above[x], k);
}
}  // namespace

void kDiffuse(const Field& src, Field& out, float k, Workspace& ws) {
    if (!src.sameSize(out)) return reference::kDiffuse(src, out, k, ws);
    const int32_t w = out.width();
    for (int c = 0; c < 4; ++c) {
        if (src.isUniform(c)) {
            const float value = src.uniformValue(c);
            out.fill(c, diffuseOf(value, value, value, value, value, k));
            continue;
        }
        out.beginWrite(c);
        forEachStencilRow(src, c, c, 1, ws, [&](int32_t y, const StencilRows& r) {
            diffuseRow(r.extra, r.centre, r.below, r.above, k, w);
            out.writeRow(c, y, r.extra);
        });
    }
}

// ---- k_display and k_display_wc ----

namespace {

// Writes every pixel of `out` from fn(u, v) -> {r, g, b} (before clamping), alpha 1.
template <class PixelFn>
void forEachPixel(DisplayField& out, PixelFn&& fn) {
    const int32_t w = out.width(), h = out.height();
    forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
            uint8_t* row = out.row(y);
            for (int32_t x = 0; x < w; ++x) {
                const Rgb c = fn(texelCentre(x, w), texelCentre(y, h));
                row[4 * x] = compute::toUnorm8(c[0]);
                row[4 * x + 1] = compute::toUnorm8(c[1]);
                row[4 * x + 2] = compute::toUnorm8(c[2]);
                row[4 * x + 3] = 255;
            }
        }
    });
}

// Column part of value noise at scale `cells` for an output of `width` texels: lattice index
// in i0 and smoothed fraction in f.
void fillNoiseColumns(TapRow& taps, const gen::ValueNoiseLattice& lattice, int32_t width) {
    taps.i0.resize(static_cast<size_t>(width));
    taps.i1.clear();
    taps.f.resize(static_cast<size_t>(width));
    const auto scale = static_cast<float>(lattice.cells());
    for (int32_t x = 0; x < width; ++x) {
        const float p = texelCentre(x, width) * scale;
        taps.i0[x] = lattice.index(p);
        taps.f[x] = gen::smooth(p - std::floor(p));
    }
}

MURMURA_SIMD_CLONES void noiseRow(float* __restrict out, const float* __restrict r0, const float* __restrict r1,
                                  const int32_t* __restrict ix, const float* __restrict fx, float fy, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const int32_t a = ix[i];
        out[i] = gen::mix(gen::mix(r0[a], r0[a + 1], fx[i]), gen::mix(r1[a], r1[a + 1], fx[i]), fy);
    }
}

// One output row of value noise, the row part computed here from v.
void noiseAlongRow(float* out, const gen::ValueNoiseLattice& lattice, const TapRow& columns, float v) {
    const float p = v * static_cast<float>(lattice.cells());
    const int32_t iy = lattice.index(p);
    noiseRow(out, lattice.row(iy), lattice.row(iy + 1), columns.i0.data(), columns.f.data(),
             gen::smooth(p - std::floor(p)), static_cast<int32_t>(columns.i0.size()));
}

MURMURA_SIMD_CLONES void inkDisplayRow(uint8_t* __restrict out, const float* __restrict ar, const float* __restrict ag,
                                       const float* __restrict ab, const float* __restrict fine,
                                       const float* __restrict medium, const float* __restrict coarse, float pr,
                                       float pg, float pb, float v, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
        const float u = texelCentre(x, w);
        const float fibre = inkFibre(fine[x], medium[x], coarse[x]);
        const float vignette = inkVignette(u, v);
        out[4 * x] = compute::toUnorm8(paperColour(pr, ar[x], fibre, vignette));
        out[4 * x + 1] = compute::toUnorm8(paperColour(pg, ag[x], fibre, vignette));
        out[4 * x + 2] = compute::toUnorm8(paperColour(pb, ab[x], fibre, vignette));
        out[4 * x + 3] = 255;
    }
}

MURMURA_SIMD_CLONES void rimRow(float* __restrict out, const float* __restrict C, const float* __restrict R,
                                const float* __restrict L, const float* __restrict T, const float* __restrict B,
                                float edgeDarken, int32_t w) {
    for (int32_t x = 0; x < w; ++x) out[x] = rimmed(C[x], R[x], L[x], T[x], B[x], edgeDarken);
}

MURMURA_SIMD_CLONES void watercolorDisplayRow(uint8_t* __restrict out, const float* __restrict ar,
                                              const float* __restrict ag, const float* __restrict ab,
                                              const float* __restrict grain, const float* __restrict fine,
                                              const float* __restrict medium, float pr, float pg, float pb,
                                              float granulate, float absorbCap, float v, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
        const float u = texelCentre(x, w);
        const Absorbance a = granulatedCapped(Absorbance{ar[x], ag[x], ab[x]}, grain[x], granulate, absorbCap);
        const float fibre = watercolorFibre(fine[x], medium[x]);
        const float vignette = watercolorVignette(u, v);
        out[4 * x] = compute::toUnorm8(paperColour(pr, a.r, fibre, vignette));
        out[4 * x + 1] = compute::toUnorm8(paperColour(pg, a.g, fibre, vignette));
        out[4 * x + 2] = compute::toUnorm8(paperColour(pb, a.b, fibre, vignette));
        out[4 * x + 3] = 255;
    }
}

}  // namespace

namespace reference {
void kDisplay(const Field& dye, DisplayField& out, const Rgb& paper, Workspace&) {
    forEachPixel(out, [&](float u, float v) {
        const Float4 A = dye.sample(u, v);
        const float fibre = inkFibre(gen::valueNoise(u * 420.0f, v * 420.0f), gen::valueNoise(u * 180.0f, v * 180.0f),
                                     gen::valueNoise(u * 60.0f, v * 60.0f));
        const float vignette = inkVignette(u, v);
        return Rgb{paperColour(paper[0], A.x, fibre, vignette), paperColour(paper[1], A.y, fibre, vignette),
                   paperColour(paper[2], A.z, fibre, vignette)};
    });
}

void kDisplayWc(const Field& dye, DisplayField& out, const WatercolorDisplayParams& p, Workspace&) {
    const float sx = 1.0f / static_cast<float>(dye.width()), sy = 1.0f / static_cast<float>(dye.height());
    forEachPixel(out, [&](float u, float v) {
        const Float4 C = dye.sample(u, v), R = dye.sample(u + sx, v), L = dye.sample(u - sx, v);
        const Float4 T = dye.sample(u, v + sy), B = dye.sample(u, v - sy);
        Absorbance A{rimmed(C.x, R.x, L.x, T.x, B.x, p.edgeDarken), rimmed(C.y, R.y, L.y, T.y, B.y, p.edgeDarken),
                     rimmed(C.z, R.z, L.z, T.z, B.z, p.edgeDarken)};
        A = granulatedCapped(A, gen::valueNoise(u * 150.0f, v * 150.0f), p.granulate, p.absorbCap);
        const float fibre = watercolorFibre(gen::valueNoise(u * 430.0f, v * 430.0f), gen::valueNoise(u * 170.0f, v * 170.0f));
        const float vignette = watercolorVignette(u, v);
        return Rgb{paperColour(p.paper[0], A.r, fibre, vignette), paperColour(p.paper[1], A.g, fibre, vignette),
                   paperColour(p.paper[2], A.b, fibre, vignette)};
    });
}
}  // namespace reference

void kDisplay(const Field& dye, DisplayField& out, const Rgb& paper, const InkDisplayNoise& noise, Workspace& ws) {
    const int32_t w = out.width(), h = out.height();
    TapRow& cols = ws.taps(0);
    cols.fill(w, dye.width(), 0.0f);
    const bool colsExact = allExact(cols);
    fillNoiseColumns(ws.taps(1), noise.fine, w);
    fillNoiseColumns(ws.taps(2), noise.medium, w);
    fillNoiseColumns(ws.taps(3), noise.coarse, w);
    const size_t dw = static_cast<size_t>(dye.width());
    forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
        float* a = ws.rowScratch(static_cast<size_t>(w) * 6 + dw * 2);
        float* fine = a + 3 * static_cast<size_t>(w);
        float* medium = fine + w;
        float* coarse = medium + w;
        float* rowA = coarse + w;
        float* rowB = rowA + dw;
        for (int32_t y = y0; y < y1; ++y) {
            const float v = texelCentre(y, h);
            for (int c = 0; c < 3; ++c) sampleRow(dye, c, v, cols, colsExact, a + c * w, rowA, rowB);
            noiseAlongRow(fine, noise.fine, ws.taps(1), v);
            noiseAlongRow(medium, noise.medium, ws.taps(2), v);
            noiseAlongRow(coarse, noise.coarse, ws.taps(3), v);
            inkDisplayRow(out.row(y), a, a + w, a + 2 * w, fine, medium, coarse, paper[0], paper[1], paper[2], v, w);
        }
    });
}

void kDisplayWc(const Field& dye, DisplayField& out, const WatercolorDisplayParams& p,
                const WatercolorDisplayNoise& noise, Workspace& ws) {
    const int32_t w = out.width(), h = out.height();
    const float sx = 1.0f / static_cast<float>(dye.width()), sy = 1.0f / static_cast<float>(dye.height());
    TapRow& centre = ws.taps(0);
    TapRow& right = ws.taps(1);
    TapRow& left = ws.taps(2);
    centre.fill(w, dye.width(), 0.0f);
    right.fill(w, dye.width(), sx);
    left.fill(w, dye.width(), -sx);
    const bool centreExact = allExact(centre), rightExact = allExact(right), leftExact = allExact(left);
    fillNoiseColumns(ws.taps(3), noise.granulation, w);
    fillNoiseColumns(ws.taps(4), noise.fine, w);
    fillNoiseColumns(ws.taps(5), noise.medium, w);
    const size_t dw = static_cast<size_t>(dye.width());
    forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
        float* a = ws.rowScratch(static_cast<size_t>(w) * 11 + dw * 2);
        float* C = a + 3 * static_cast<size_t>(w);
        float* R = C + w;
        float* L = R + w;
        float* T = L + w;
        float* B = T + w;
        float* grain = B + w;
        float* fine = grain + w;
        float* medium = fine + w;
        float* rowA = medium + w;
        float* rowB = rowA + dw;
        for (int32_t y = y0; y < y1; ++y) {
            const float v = texelCentre(y, h);
            for (int c = 0; c < 3; ++c) {
                sampleRow(dye, c, v, centre, centreExact, C, rowA, rowB);
                sampleRow(dye, c, v, right, rightExact, R, rowA, rowB);
                sampleRow(dye, c, v, left, leftExact, L, rowA, rowB);
                sampleRow(dye, c, v + sy, centre, centreExact, T, rowA, rowB);
                sampleRow(dye, c, v - sy, centre, centreExact, B, rowA, rowB);
                rimRow(a + c * w, C, R, L, T, B, p.edgeDarken, w);
            }
            noiseAlongRow(grain, noise.granulation, ws.taps(3), v);
            noiseAlongRow(fine, noise.fine, ws.taps(4), v);
            noiseAlongRow(medium, noise.medium, ws.taps(5), v);
            watercolorDisplayRow(out.row(y), a, a + w, a + 2 * w, grain, fine, medium, p.paper[0], p.paper[1],
                                 p.paper[2], p.granulate, p.absorbCap, v, w);
        }
    });
}

}  // namespace murmura::fluid
