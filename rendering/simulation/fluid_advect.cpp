// Semi-Lagrangian advection: backtrace along the velocity and read the source bilinearly.
#include "rendering/simulation/fluid_kernels.h"

#include <algorithm>
#include <array>

#include "rendering/simulation/fluid_rows.h"

namespace murmura::fluid {

using compute::Float4;
using compute::forEachRowChunk;
using compute::TapRow;
using compute::texelCentre;

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

}  // namespace murmura::fluid
