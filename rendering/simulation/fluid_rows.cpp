#include "rendering/simulation/fluid_rows.h"

#include <algorithm>

namespace murmura::fluid {

using compute::TapRow;

namespace {

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

}  // namespace

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

void fillConstantChannels(Field& out, int firstConstant) {
    for (int c = firstConstant; c < 4; ++c) out.fill(c, c == 3 ? 1.0f : 0.0f);
}

}  // namespace murmura::fluid
