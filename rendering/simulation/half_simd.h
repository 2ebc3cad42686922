#pragma once
// The storage rule on eight floats at a time, for the kernels' F16C paths (compute.h has the
// scalar form): the same saturation, the same +0 for values that round to zero, and vcvtps2ph
// rounds to nearest even as the scalar conversion does.
#include "rendering/simulation/compute.h"

namespace murmura::compute {

// One value stored by the storage rule: as a half, or as the float the half holds.
inline void store1(Half* p, float v) { *p = toHalf(v); }
inline void store1(float* p, float v) { *p = fromHalf(toHalf(v)); }

// A float that a fused sweep keeps between its passes at full precision: no field holds it, so
// the storage rule does not apply.
struct Wide {
    float value;
};
inline void store1(Wide* p, float v) { p->value = v; }

}  // namespace murmura::compute

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

#define MURMURA_F16C 1

namespace murmura::compute {

// Eight values as the halves a field stores. The conversion itself rounds every value of
// magnitude up to 2^-25 to a zero (2^-25 is the tie between 0 and the smallest subnormal, and
// ties go to the even 0), so of the storage rule only the saturation and the sign of those zeros
// remain: -0 becomes +0. NaN saturates low as in storable().
__attribute__((target("avx,f16c"))) inline __m128i toHalf8(__m256 v) {
    v = _mm256_min_ps(_mm256_max_ps(v, _mm256_set1_ps(-kHalfMax)), _mm256_set1_ps(kHalfMax));
    const __m128i h = _mm256_cvtps_ph(v, _MM_FROUND_TO_NEAREST_INT);
    return _mm_andnot_si128(_mm_cmpeq_epi16(h, _mm_set1_epi16(static_cast<int16_t>(0x8000))), h);
}
__attribute__((target("avx,f16c"))) inline __m256 stored8(__m256 v) { return _mm256_cvtph_ps(toHalf8(v)); }

// Eight values stored by the storage rule: as halves, or as the floats the halves hold.
__attribute__((target("avx,f16c"))) inline void store8(Half* p, __m256 v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), toHalf8(v));
}
__attribute__((target("avx,f16c"))) inline void store8(float* p, __m256 v) { _mm256_storeu_ps(p, stored8(v)); }
__attribute__((target("avx,f16c"))) inline void store8(Wide* p, __m256 v) { _mm256_storeu_ps(&p->value, v); }

// Sixteen values at a time on AVX-512. (The masked forms with an explicit source avoid the
// unmasked intrinsics' undefined registers, which GCC 12 reports as maybe uninitialised.)
#define MURMURA_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,f16c")))
// `Saturate` false skips the clamp to the half range, for values known to lie within it (up to
// float rounding, which the conversion's own rounding absorbs below 65520).
template <bool Saturate = true>
MURMURA_AVX512 inline __m256i toHalf16(__m512 v) {
    constexpr __mmask16 all = 0xffff;
    if constexpr (Saturate) {
        v = _mm512_mask_max_ps(v, all, v, _mm512_set1_ps(-kHalfMax));
        v = _mm512_mask_min_ps(v, all, v, _mm512_set1_ps(kHalfMax));
    }
    const __m256i h = _mm512_mask_cvtps_ph(_mm256_setzero_si256(), all, v, _MM_FROUND_TO_NEAREST_INT);
    return _mm256_andnot_si256(_mm256_cmpeq_epi16(h, _mm256_set1_epi16(static_cast<int16_t>(0x8000))), h);
}
MURMURA_AVX512 inline __m512 widen16(__m256i h) { return _mm512_mask_cvtph_ps(_mm512_setzero_ps(), 0xffff, h); }
template <bool Saturate = true>
MURMURA_AVX512 inline void store16(Half* p, __m512 v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), toHalf16<Saturate>(v));
}
template <bool Saturate = true>
MURMURA_AVX512 inline void store16(float* p, __m512 v) {
    _mm512_storeu_ps(p, widen16(toHalf16<Saturate>(v)));
}
template <bool Saturate = true>
MURMURA_AVX512 inline void store16(Wide* p, __m512 v) {
    _mm512_storeu_ps(&p->value, v);
}
inline const bool kHasAvx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                               __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
                               __builtin_cpu_supports("f16c");

}  // namespace murmura::compute
#endif
