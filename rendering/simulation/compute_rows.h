#pragma once
// What the simulation kernels share: the row reads of the fast paths, the stencil row runner and
// the per-texel runner of the reference forms. Internal to the kernel files.
#include <algorithm>
#include <cstdint>

#include "rendering/simulation/compute.h"

namespace murmura::compute {

// The first 64-byte boundary at or after p: rows placed from there keep their vector loads and
// stores within cache lines (the caller allocates up to 15 floats more than it uses).
inline float* lineAligned(float* p) {
    return reinterpret_cast<float*>((reinterpret_cast<uintptr_t>(p) + 63) & ~uintptr_t(63));
}

// out = mix(a, b, f), element by element (out may be a).
void mixRows(float* out, const float* a, const float* b, float f, int32_t n);

// True when every tap of the row falls on a texel centre.
bool allExact(const TapRow& taps);

// Channel c of `field` read along one output row: the bilinear samples at normalised height v
// and the columns of `cols`. Reads with a zero weight are direct reads (exact: stored values are
// finite and never -0). rowA and rowB are scratch of the field's width.
void sampleRow(const Field& field, int c, float v, const TapRow& cols, bool colsExact, float* out,
               float* rowA, float* rowB);
// sampleRow in its two halves, for reads of several column sets at one height: the field's row
// at height v (the blend of the two rows there, in rowA or a direct read), then the read of it
// at the columns.
const float* rowAtHeight(const Field& field, int c, float v, float* rowA, float* rowB);
void gatherRow(float* out, const float* row, const TapRow& cols, bool colsExact);
// The same from one channel already decoded into a plane of floats, `width` x `height`, row 0
// first. `scratch` holds `width` floats.
void sampleRow(const float* plane, int32_t width, int32_t height, float v, const TapRow& cols, bool colsExact,
               float* out, float* scratch);

// The rows a five-point stencil reads at row y of a field: `centre`, channel `across` of row y
// padded with its edge texels (so x - 1 and x + 1 stay inside); `below` and `above`, channel
// `along` of rows y - 1 and y + 1 (clamped); and `extra`, scratch rows of the field's width.
struct StencilRows {
    const float* centre;
    const float* below;
    const float* above;
    float* extra;
};

// Runs fn(y, rows) for every row y of `f`, rows in parallel. Each decoded row of channel
// `along` serves as the row above, the centre and the row below of three successive rows.
template <class Fn>
void forEachStencilRow(const Field& f, int across, int along, int extraRows, Workspace& ws, Fn&& fn) {
    const int32_t w = f.width(), h = f.height();
    const auto padded = static_cast<size_t>(w) + 2;
    forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
        float* ring = ws.rowScratch(padded * 4 + static_cast<size_t>(w) * extraRows);
        float* centre = ring + 3 * padded;
        float* extra = centre + padded;
        int32_t slotRow[3] = {-1, -1, -1};
        auto alongRow = [&](int32_t r) {  // row r (clamped) of channel `along`, padded
            r = std::clamp(r, 0, h - 1);
            float* row = ring + static_cast<size_t>(r % 3) * padded;
            if (slotRow[r % 3] != r) {
                f.readRowPadded(along, r, row);
                slotRow[r % 3] = r;
            }
            return row;
        };
        for (int32_t y = y0; y < y1; ++y) {
            const float* below = alongRow(y - 1) + 1;
            const float* above = alongRow(y + 1) + 1;
            const float* middle = centre;
            if (across == along) {
                middle = alongRow(y);
            } else {
                f.readRowPadded(across, y, centre);
            }
            fn(y, StencilRows{middle, below, above, extra});
        }
    });
}

// Output channels 1 to 3 of the kernels that write (value, 0, 0, 1) or (x, y, 0, 1).
void fillConstantChannels(Field& out, int firstConstant);

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

}  // namespace murmura::compute
