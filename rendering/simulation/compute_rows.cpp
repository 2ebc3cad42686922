#include "rendering/simulation/compute_rows.h"

#include <algorithm>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "rendering/simulation/half_simd.h"

namespace murmura::compute {

namespace {

MURMURA_SIMD_CLONES void gatherMixScalar(float* __restrict out, const float* __restrict row,
                                         const int32_t* __restrict i0, const int32_t* __restrict i1,
                                         const float* __restrict f, int32_t n) {
    for (int32_t i = 0; i < n; ++i) out[i] = gen::mix(row[i0[i]], row[i1[i]], f[i]);
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(MURMURA_NO_SIMD)
#define MURMURA_PERMUTE_GATHER 1
// An upsampling read reaches at most eight consecutive texels in eight outputs: one load of
// those texels and two permutes replace sixteen scalar reads. Blocks that reach further (or past
// the row's end) take the scalar form; the arithmetic is the same either way.
__attribute__((target("avx2"))) void gatherMixPermute(float* out, const float* row, const TapRow& taps, int32_t n) {
    const auto blocks = static_cast<int32_t>(taps.blockBase.size());
    const int32_t *bases = taps.blockBase.data(), *i0 = taps.i0.data(), *i1 = taps.i1.data();
    const auto* k0 = reinterpret_cast<const __m256i*>(taps.k0.data());
    const auto* k1 = reinterpret_cast<const __m256i*>(taps.k1.data());
    const float* f = taps.f.data();
    for (int32_t b = 0; b < blocks; ++b) {
        const int32_t i = b * 8, base = bases[b];
        if (base < 0) {
            gatherMixScalar(out + i, row, i0 + i, i1 + i, f + i, 8);
            continue;
        }
        const __m256 texels = _mm256_loadu_ps(row + base);
        const __m256 a = _mm256_permutevar8x32_ps(texels, _mm256_loadu_si256(k0 + b));
        const __m256 c = _mm256_permutevar8x32_ps(texels, _mm256_loadu_si256(k1 + b));
        _mm256_storeu_ps(out + i, _mm256_add_ps(a, _mm256_mul_ps(_mm256_sub_ps(c, a), _mm256_loadu_ps(f + i))));
    }
    const int32_t done = blocks * 8;
    gatherMixScalar(out + done, row, i0 + done, i1 + done, f + done, n - done);
}
const bool kHasAvx2 = __builtin_cpu_supports("avx2");

// Sixteen outputs per load and two permutes on AVX-512 (the permutes are what the eight-wide form
// waits for); the rest of the row as above.
MURMURA_AVX512 void gatherMixPermute512(float* out, const float* row, const TapRow& taps, int32_t n) {
    constexpr __mmask16 all = 0xffff;
    const auto blocks = static_cast<int32_t>(taps.wideBase.size());
    const int32_t *bases = taps.wideBase.data(), *i0 = taps.i0.data(), *i1 = taps.i1.data();
    const float* f = taps.f.data();
    const __m512 zero = _mm512_setzero_ps();
    for (int32_t b = 0; b < blocks; ++b) {
        const int32_t i = b * 16, base = bases[b];
        if (base < 0) {
            gatherMixScalar(out + i, row, i0 + i, i1 + i, f + i, 16);
            continue;
        }
        const __m512 texels = _mm512_loadu_ps(row + base);
        const __m512 a = _mm512_mask_permutexvar_ps(zero, all, _mm512_loadu_si512(taps.wideK0.data() + i), texels);
        const __m512 c = _mm512_mask_permutexvar_ps(zero, all, _mm512_loadu_si512(taps.wideK1.data() + i), texels);
        _mm512_storeu_ps(out + i, a + (c - a) * _mm512_loadu_ps(f + i));
    }
    const int32_t done = blocks * 16;
    gatherMixScalar(out + done, row, i0 + done, i1 + done, f + done, n - done);
}
#endif

void gatherMix(float* out, const float* row, const TapRow& taps, int32_t n) {
#ifdef MURMURA_PERMUTE_GATHER
    if (kHasAvx512) return gatherMixPermute512(out, row, taps, n);
    if (kHasAvx2) return gatherMixPermute(out, row, taps, n);
#endif
    gatherMixScalar(out, row, taps.i0.data(), taps.i1.data(), taps.f.data(), n);
}

MURMURA_SIMD_CLONES void gatherExact(float* __restrict out, const float* __restrict row, const int32_t* __restrict i0,
                                     int32_t n) {
    for (int32_t i = 0; i < n; ++i) out[i] = row[i0[i]];
}

}  // namespace

MURMURA_SIMD_CLONES void mixRows(float* out, const float* a, const float* __restrict b, float f, int32_t n) {
    for (int32_t i = 0; i < n; ++i) out[i] = gen::mix(a[i], b[i], f);
}

bool allExact(const TapRow& taps) {
    return std::all_of(taps.f.begin(), taps.f.end(), [](float f) { return f == 0.0f; });
}

void gatherRow(float* out, const float* row, const TapRow& cols, bool colsExact) {
    const auto n = static_cast<int32_t>(cols.i0.size());
    if (colsExact)
        gatherExact(out, row, cols.i0.data(), n);
    else
        gatherMix(out, row, cols, n);
}

const float* rowAtHeight(const Field& field, int c, float v, float* rowA, float* rowB) {
    const gen::Tap ty = gen::bilinearTap(v, field.height());
    field.readRow(c, ty.i0, rowA);
    if (ty.f != 0.0f) {
        field.readRow(c, ty.i1, rowB);
        mixRows(rowA, rowA, rowB, ty.f, field.width());
    }
    return rowA;
}

void sampleRow(const Field& field, int c, float v, const TapRow& cols, bool colsExact, float* out, float* rowA,
               float* rowB) {
    gatherRow(out, rowAtHeight(field, c, v, rowA, rowB), cols, colsExact);
}

void sampleRow(const float* plane, int32_t width, int32_t height, float v, const TapRow& cols, bool colsExact,
               float* out, float* scratch) {
    const gen::Tap ty = gen::bilinearTap(v, height);
    const float* row = plane + static_cast<size_t>(ty.i0) * width;
    if (ty.f != 0.0f) {
        mixRows(scratch, row, plane + static_cast<size_t>(ty.i1) * width, ty.f, width);
        row = scratch;
    }
    gatherRow(out, row, cols, colsExact);
}

void fillConstantChannels(Field& out, int firstConstant) {
    for (int c = firstConstant; c < 4; ++c) out.fill(c, c == 3 ? 1.0f : 0.0f);
}

}  // namespace murmura::compute
