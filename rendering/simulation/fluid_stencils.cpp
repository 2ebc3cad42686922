// The five-point stencil kernels of the velocity and pressure solve (curl, vorticity confinement,
// divergence, Jacobi pressure, gradient subtraction), the dye's diffusion, and the scaling and
// zeroing passes.
#include "rendering/simulation/fluid_kernels.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "rendering/simulation/fluid_rows.h"
#include "rendering/simulation/half_simd.h"

namespace murmura::fluid {

using compute::Float4;
using compute::forEachRowChunk;
using compute::texelCentre;

namespace {

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

MURMURA_SIMD_CLONES void scaleInPlace(float* __restrict values, float k, int32_t n) {
    for (int32_t i = 0; i < n; ++i) values[i] = k * values[i];
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

// ---- k_zero ----

void kZero(Field& out) { out.clear(); }

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
    forEachStencilRow(vel, 0, 1, 3, ws, [&](int32_t y, const StencilRows& r) {
        float *centre = r.extra, *result = centre + w, *edge = result + w;
        const float v = texelCentre(y, h);
        vel.readRow(1, y, centre);
        // Reflective edge: the missing neighbour is the negated centre (in scratch: the rows
        // read are shared with the neighbouring rows' stencils).
        const bool bottom = v - ty < 0.0f, top = v + ty > 1.0f;
        if (bottom || top) negate(edge, centre, w);
        const float* below = bottom ? edge : r.below;
        const float* above = top ? edge : r.above;
        divergenceRow(result, r.centre, below, above, w);
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

// pressureRow with every value rounded to what a field stores, in the same loop. Inline, so that
// in the vector functions' tails its conversions are F16C instructions rather than library calls.
inline void pressureRowStoredScalar(float* out, const float* padded, const float* below, const float* above, const float* div,
                             int32_t w) {
    for (int32_t x = 0; x < w; ++x)
        compute::store1(out + x, pressureOf(padded[x], padded[x + 2], below[x], above[x], div[x]));
}

#ifdef MURMURA_F16C
__attribute__((target("avx,f16c"))) void pressureRowStoredF16c(float* out, const float* padded, const float* below,
                                                               const float* above, const float* div, int32_t w) {
    const __m256 quarter = _mm256_set1_ps(0.25f);
    int32_t x = 0;
    for (; x + 8 <= w; x += 8) {
        const __m256 sum = _mm256_add_ps(
            _mm256_add_ps(_mm256_add_ps(_mm256_loadu_ps(padded + x), _mm256_loadu_ps(padded + x + 2)),
                          _mm256_loadu_ps(below + x)),
            _mm256_loadu_ps(above + x));
        compute::store8(out + x, _mm256_mul_ps(_mm256_sub_ps(sum, _mm256_loadu_ps(div + x)), quarter));
    }
    pressureRowStoredScalar(out + x, padded + x, below + x, above + x, div + x, w - x);
}
const bool kHasF16c = __builtin_cpu_supports("avx") && __builtin_cpu_supports("f16c");

MURMURA_AVX512 void pressureRowStored512(float* out, const float* padded, const float* below, const float* above,
                                         const float* div, int32_t w) {
    const __m512 quarter = _mm512_set1_ps(0.25f);
    int32_t x = 0;
    for (; x + 16 <= w; x += 16) {
        const __m512 sum = _mm512_loadu_ps(padded + x) + _mm512_loadu_ps(padded + x + 2) + _mm512_loadu_ps(below + x) +
                           _mm512_loadu_ps(above + x);
        compute::store16(out + x, (sum - _mm512_loadu_ps(div + x)) * quarter);
    }
    if (x < w) {  // the last partial vector, masked: the same operations as the full ones
        const auto m = static_cast<__mmask16>((1u << (w - x)) - 1);
        const __m512 sum = _mm512_maskz_loadu_ps(m, padded + x) + _mm512_maskz_loadu_ps(m, padded + x + 2) +
                           _mm512_maskz_loadu_ps(m, below + x) + _mm512_maskz_loadu_ps(m, above + x);
        const __m512 v = (sum - _mm512_maskz_loadu_ps(m, div + x)) * quarter;
        _mm512_mask_storeu_ps(out + x, m, compute::widen16(compute::toHalf16(v)));
    }
}
#endif

void pressureRowStored(float* out, const float* padded, const float* below, const float* above, const float* div,
                       int32_t w) {
#ifdef MURMURA_F16C
    if (compute::kHasAvx512) return pressureRowStored512(out, padded, below, above, div, w);
    if (kHasF16c) return pressureRowStoredF16c(out, padded, below, above, div, w);
#endif
    pressureRowStoredScalar(out, padded, below, above, div, w);
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
    // Rows of whole 64-byte lines with texel 0 at a line's start (the edge copy before it), so
    // that the stencil's loads and stores of a row's body do not straddle lines.
    const size_t stride = (static_cast<size_t>(w) + 2 + 15) / 16 * 16;
    const size_t divStride = (static_cast<size_t>(w) + 15) / 16 * 16;
    float* current = lineAligned(ws.plane(0, stride * h + 32)) + 15;
    float* next = lineAligned(ws.plane(1, stride * h + 32)) + 15;
    float* div = lineAligned(ws.plane(2, divStride * h + 16));
    forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
            prs.read.readRowPadded(0, y, current + y * stride);
            dvrg.readRow(0, y, div + static_cast<size_t>(y) * divStride);
        }
    });
    // One iterate's row y from the rows of the previous one (clamped at the edges).
    auto iterateRow = [&](const float* from, float* out, int32_t y, auto rowOf) {
        const float* below = rowOf(from, std::max(y - 1, 0)) + 1;
        const float* above = rowOf(from, std::min(y + 1, h - 1)) + 1;
        pressureRowStored(out + 1, rowOf(from, y), below, above, div + static_cast<size_t>(y) * divStride, w);
        padRow(out, w);
    };
    auto planeRow = [stride](const float* plane, int32_t y) { return plane + static_cast<size_t>(y) * stride; };
    // Two iterations per sweep while more than two remain (halving the passes over the planes and
    // the joins of the threads): a chunk makes the intermediate iterate's rows in a ring of four,
    // one row ahead of the rows it writes, and the one row beyond each of its ends. The last one
    // or two iterations are single passes, so the last iterate and the one before it are planes.
    const int64_t pairs = (iterations - 1) / 2;
    for (int64_t i = 0; i < pairs; ++i) {
        forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
            float* ring = lineAligned(ws.rowScratch(4 * stride + 32)) + 15;
            auto ringRow = [stride](const float* r, int32_t y) { return r + static_cast<size_t>(y & 3) * stride; };
            int32_t made = std::max(y0 - 1, 0);  // the next intermediate row to make
            for (int32_t y = y0; y < y1; ++y) {
                for (const int32_t reach = std::min(y + 1, h - 1); made <= reach; ++made)
                    iterateRow(current, ring + static_cast<size_t>(made & 3) * stride, made, planeRow);
                iterateRow(ring, next + static_cast<size_t>(y) * stride, y, ringRow);
            }
        });
        std::swap(current, next);
    }
    for (int64_t i = 2 * pairs; i < iterations; ++i) {
        forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
            for (int32_t y = y0; y < y1; ++y) iterateRow(current, next + static_cast<size_t>(y) * stride, y, planeRow);
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
MURMURA_SIMD_CLONES void diffuseRowVector(float* __restrict out, const float* __restrict padded,
                                          const float* __restrict below, const float* __restrict above, float k,
                                          int32_t w) {
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
            diffuseRowVector(r.extra, r.centre, r.below, r.above, k, w);
            out.writeRow(c, y, r.extra);
        });
    }
}

}  // namespace murmura::fluid
