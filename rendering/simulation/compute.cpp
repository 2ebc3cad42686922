#include "rendering/simulation/compute.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "rendering/simulation/half_simd.h"

namespace murmura::compute {

namespace {

void decodeScalar(const Half* src, float* dst, size_t n) {
    for (size_t i = 0; i < n; ++i) dst[i] = fromHalf(src[i]);
}

void encodeScalar(const float* src, Half* dst, size_t n) {
    for (size_t i = 0; i < n; ++i) dst[i] = toHalf(src[i]);
}

template <class T>
void storeInterleavedScalar(const float (*in)[4], T* const (&out)[4], size_t n) {
    for (int k = 0; k < 4; ++k)
        if (out[k])
            for (size_t i = 0; i < n; ++i) store1(out[k] + i, in[i][k]);
}

#ifdef MURMURA_F16C
__attribute__((target("avx,f16c"))) void decodeF16c(const Half* src, float* dst, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8)
        _mm256_storeu_ps(dst + i, _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i))));
    for (; i < n; ++i) dst[i] = fromHalf(src[i]);
}

__attribute__((target("avx,f16c"))) void encodeF16c(const float* src, Half* dst, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), toHalf8(_mm256_loadu_ps(src + i)));
    for (; i < n; ++i) dst[i] = toHalf(src[i]);
}

__attribute__((target("avx,f16c"))) void roundF16c(float* values, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) _mm256_storeu_ps(values + i, stored8(_mm256_loadu_ps(values + i)));
    for (; i < n; ++i) values[i] = fromHalf(toHalf(values[i]));
}

__attribute__((target("avx,f16c"))) inline __m256 load8(const Half* p) {
    return _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// Eight texels at a time: each channel's halves widened to a vector, then a 4 x 8 transpose.
__attribute__((target("avx,f16c"))) void interleaveF16c(const Half* c0, const Half* c1, const Half* c2,
                                                        const Half* c3, float (*out)[4], size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 r = load8(c0 + i), g = load8(c1 + i), b = load8(c2 + i), a = load8(c3 + i);
        const __m256 rgLo = _mm256_unpacklo_ps(r, g), rgHi = _mm256_unpackhi_ps(r, g);
        const __m256 baLo = _mm256_unpacklo_ps(b, a), baHi = _mm256_unpackhi_ps(b, a);
        const __m256 t0 = _mm256_shuffle_ps(rgLo, baLo, 0x44), t1 = _mm256_shuffle_ps(rgLo, baLo, 0xee);
        const __m256 t2 = _mm256_shuffle_ps(rgHi, baHi, 0x44), t3 = _mm256_shuffle_ps(rgHi, baHi, 0xee);
        float* o = out[i];
        _mm256_storeu_ps(o, _mm256_permute2f128_ps(t0, t1, 0x20));
        _mm256_storeu_ps(o + 8, _mm256_permute2f128_ps(t2, t3, 0x20));
        _mm256_storeu_ps(o + 16, _mm256_permute2f128_ps(t0, t1, 0x31));
        _mm256_storeu_ps(o + 24, _mm256_permute2f128_ps(t2, t3, 0x31));
    }
    for (; i < n; ++i) {
        out[i][0] = fromHalf(c0[i]);
        out[i][1] = fromHalf(c1[i]);
        out[i][2] = fromHalf(c2[i]);
        out[i][3] = fromHalf(c3[i]);
    }
}

// The inverse transpose of interleaveF16c: eight texels into one vector per channel.
__attribute__((target("avx,f16c"))) inline void channels8(const float (*in)[4], __m256 (&c)[4]) {
    const float* p = in[0];
    const __m256 t01 = _mm256_loadu_ps(p), t23 = _mm256_loadu_ps(p + 8);
    const __m256 t45 = _mm256_loadu_ps(p + 16), t67 = _mm256_loadu_ps(p + 24);
    const __m256 t0 = _mm256_permute2f128_ps(t01, t45, 0x20), t1 = _mm256_permute2f128_ps(t01, t45, 0x31);
    const __m256 t2 = _mm256_permute2f128_ps(t23, t67, 0x20), t3 = _mm256_permute2f128_ps(t23, t67, 0x31);
    const __m256 lo01 = _mm256_unpacklo_ps(t0, t1), hi01 = _mm256_unpackhi_ps(t0, t1);
    const __m256 lo23 = _mm256_unpacklo_ps(t2, t3), hi23 = _mm256_unpackhi_ps(t2, t3);
    c[0] = _mm256_shuffle_ps(lo01, lo23, 0x44);
    c[1] = _mm256_shuffle_ps(lo01, lo23, 0xee);
    c[2] = _mm256_shuffle_ps(hi01, hi23, 0x44);
    c[3] = _mm256_shuffle_ps(hi01, hi23, 0xee);
}

template <class T>
__attribute__((target("avx,f16c"))) void storeInterleavedF16c(const float (*in)[4], T* const (&out)[4], size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256 c[4];
        channels8(in + i, c);
        for (int k = 0; k < 4; ++k)
            if (out[k]) store8(out[k] + i, c[k]);
    }
    for (; i < n; ++i)
        for (int k = 0; k < 4; ++k)
            if (out[k]) store1(out[k] + i, in[i][k]);
}

__attribute__((target("avx,f16c"))) void addScaledF16c(Half* row, const float* e, float k, size_t n) {
    const __m256 scale = _mm256_set1_ps(k);
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m128i* at = reinterpret_cast<__m128i*>(row + i);
        const __m256 deposit = _mm256_mul_ps(_mm256_loadu_ps(e + i), scale);
        const __m256 v = _mm256_add_ps(_mm256_cvtph_ps(_mm_loadu_si128(at)), deposit);
        _mm_storeu_si128(at, toHalf8(v));
    }
    for (; i < n; ++i) row[i] = toHalf(fromHalf(row[i]) + e[i] * k);
}

// Two texels per vector: the halves of both widened at once, each texel's weight in its half.
__attribute__((target("avx,f16c"))) void addScaledTexelsF16c(Half* texels, const float* e,
                                                             const std::array<float, 3>& color, size_t n) {
    const __m256 k = _mm256_setr_ps(color[0], color[1], color[2], 0.0f, color[0], color[1], color[2], 0.0f);
    size_t i = 0;
    for (; i + 2 <= n; i += 2) {
        __m128i* at = reinterpret_cast<__m128i*>(texels + i * 4);
        const __m256 weight = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_broadcast_ss(e + i)),
                                                   _mm_broadcast_ss(e + i + 1), 1);
        const __m256 v = _mm256_add_ps(_mm256_cvtph_ps(_mm_loadu_si128(at)), _mm256_mul_ps(weight, k));
        _mm_storeu_si128(at, toHalf8(v));
    }
    for (; i < n; ++i)
        for (int c = 0; c < 3; ++c) texels[i * 4 + c] = toHalf(fromHalf(texels[i * 4 + c]) + e[i] * color[c]);
}

// The AVX-512 forms: sixteen values (four texels) per step, the rest by the F16C forms.
// The last partial vector of a row goes through masked loads and stores: the same conversion
// of each value as the full vectors, without a scalar tail (rows of 455 leave 7).
MURMURA_AVX512 void decode512(const Half* src, float* dst, size_t n) {
    size_t i = 0;
    for (; i + 16 <= n; i += 16)
        _mm512_storeu_ps(dst + i, widen16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i))));
    if (i < n) {
        const auto mask = static_cast<__mmask16>((1u << (n - i)) - 1);
        _mm512_mask_storeu_ps(dst + i, mask, widen16(_mm256_maskz_loadu_epi16(mask, src + i)));
    }
}

MURMURA_AVX512 void encode512(const float* src, Half* dst, size_t n) {
    size_t i = 0;
    for (; i + 16 <= n; i += 16) store16(dst + i, _mm512_loadu_ps(src + i));
    if (i < n) {
        const auto mask = static_cast<__mmask16>((1u << (n - i)) - 1);
        _mm256_mask_storeu_epi16(dst + i, mask, toHalf16(_mm512_maskz_loadu_ps(mask, src + i)));
    }
}

MURMURA_AVX512 void addScaledTexels512(Half* texels, const float* e, const std::array<float, 3>& color, size_t n) {
    const __m512 k = _mm512_setr_ps(color[0], color[1], color[2], 0.0f, color[0], color[1], color[2], 0.0f, color[0],
                                     color[1], color[2], 0.0f, color[0], color[1], color[2], 0.0f);
    const __m512i eachFour = _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        Half* at = texels + i * 4;
        const __m512 weight =
            _mm512_mask_permutexvar_ps(_mm512_setzero_ps(), 0xffff, eachFour, _mm512_castps128_ps512(_mm_loadu_ps(e + i)));
        store16(at, widen16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at))) + weight * k);
    }
    addScaledTexelsF16c(texels + i * 4, e + i, color, n - i);
}

const bool kHasF16c = __builtin_cpu_supports("avx") && __builtin_cpu_supports("f16c");
#endif

MURMURA_SIMD_CLONES void interleaveScalar(const Half* __restrict c0, const Half* __restrict c1,
                                          const Half* __restrict c2, const Half* __restrict c3,
                                          float (*__restrict out)[4], size_t n) {
    for (size_t i = 0; i < n; ++i) {
        out[i][0] = widenHalf(c0[i]);
        out[i][1] = widenHalf(c1[i]);
        out[i][2] = widenHalf(c2[i]);
        out[i][3] = widenHalf(c3[i]);
    }
}

}  // namespace

void decodeHalves(const Half* src, float* dst, size_t count) {
#ifdef MURMURA_F16C
    if (kHasAvx512) return decode512(src, dst, count);
    if (kHasF16c) return decodeF16c(src, dst, count);
#endif
    decodeScalar(src, dst, count);
}

void encodeHalves(const float* src, Half* dst, size_t count) {
#ifdef MURMURA_F16C
    if (kHasAvx512) return encode512(src, dst, count);
    if (kHasF16c) return encodeF16c(src, dst, count);
#endif
    encodeScalar(src, dst, count);
}

void decodeHalvesInterleaved(const Half* c0, const Half* c1, const Half* c2, const Half* c3, float (*out)[4],
                             size_t count) {
#ifdef MURMURA_F16C
    if (kHasF16c) return interleaveF16c(c0, c1, c2, c3, out, count);
#endif
    interleaveScalar(c0, c1, c2, c3, out, count);
}

void encodeHalvesInterleaved(const float (*in)[4], Half* const (&out)[4], size_t count) {
#ifdef MURMURA_F16C
    if (kHasF16c) return storeInterleavedF16c(in, out, count);
#endif
    storeInterleavedScalar(in, out, count);
}

void addScaledToHalves(Half* row, const float* e, float k, size_t count) {
#ifdef MURMURA_F16C
    if (kHasF16c) return addScaledF16c(row, e, k, count);
#endif
    for (size_t i = 0; i < count; ++i) row[i] = toHalf(fromHalf(row[i]) + e[i] * k);
}

void addScaledToTexels(Half* texels, const float* e, const std::array<float, 3>& color, size_t count) {
#ifdef MURMURA_F16C
    if (kHasAvx512) return addScaledTexels512(texels, e, color, count);
    if (kHasF16c) return addScaledTexelsF16c(texels, e, color, count);
#endif
    for (size_t i = 0; i < count; ++i)
        for (int c = 0; c < 3; ++c) texels[i * 4 + c] = toHalf(fromHalf(texels[i * 4 + c]) + e[i] * color[c]);
}

void roundToStorage(float* values, size_t count) {
#ifdef MURMURA_F16C
    if (kHasF16c) return roundF16c(values, count);
#endif
    for (size_t i = 0; i < count; ++i) values[i] = fromHalf(toHalf(values[i]));
}

std::optional<Field> Field::create(int64_t width, int64_t height) {
    if (!fits(width, height)) return std::nullopt;
    HalfArray planes = makeLargeArray<Half>(static_cast<size_t>(width * height) * 4);
    if (!planes) return std::nullopt;
    return Field(static_cast<int32_t>(width), static_cast<int32_t>(height), std::move(planes));
}

void Field::fill(int c, float v) {
    uniform_[c] = true;
    value_[c] = toHalf(v);
}

void Field::clear() {
    for (int c = 0; c < 4; ++c) fill(c, 0.0f);
}

void Field::materialize(int c) {
    if (!uniform_[c]) return;
    std::fill_n(plane(c), texelCount(), value_[c]);
    uniform_[c] = false;
}

void Field::readRow(int c, int32_t y, float* out) const {
    if (uniform_[c]) {
        std::fill_n(out, width_, fromHalf(value_[c]));
        return;
    }
    y = std::clamp(y, 0, height_ - 1);
    decodeHalves(row(c, y), out, static_cast<size_t>(width_));
}

void Field::readRowPadded(int c, int32_t y, float* out) const {
    readRow(c, y, out + 1);
    out[0] = out[1];
    out[width_ + 1] = out[width_];
}

Float4 Field::texel(int32_t x, int32_t y) const {
    x = std::clamp(x, 0, width_ - 1);
    y = std::clamp(y, 0, height_ - 1);
    const size_t at = static_cast<size_t>(y) * width_ + x;
    std::array<float, 4> v{};
    for (int c = 0; c < 4; ++c) v[c] = uniform_[c] ? fromHalf(value_[c]) : fromHalf(plane(c)[at]);
    return Float4{v[0], v[1], v[2], v[3]};
}

Float4 Field::sample(float u, float v) const {
    const gen::Tap tx = gen::bilinearTap(u, width_), ty = gen::bilinearTap(v, height_);
    const Float4 a = texel(tx.i0, ty.i0), b = texel(tx.i1, ty.i0), c = texel(tx.i0, ty.i1), d = texel(tx.i1, ty.i1);
    auto blend = [&](int k) { return gen::bilinear(a[k], b[k], c[k], d[k], tx.f, ty.f); };
    return Float4{blend(0), blend(1), blend(2), blend(3)};
}

std::optional<TexelField> TexelField::create(int64_t width, int64_t height) {
    if (!Field::fits(width, height)) return std::nullopt;
    const size_t halves = (static_cast<size_t>(width) + 2) * 4 * static_cast<size_t>(height);
    HalfArray texels = makeLargeArray<Half>(halves);
    if (!texels) return std::nullopt;
    // Zeroed by both cores: the first touch of fresh memory is most of the cost.
    const size_t rowHalves = halves / static_cast<size_t>(height);
    parallelFor(0, height, 64, [&](int64_t y0, int64_t y1) {
        std::fill_n(texels.get() + static_cast<size_t>(y0) * rowHalves, static_cast<size_t>(y1 - y0) * rowHalves, Half{0});
    });
    return TexelField(static_cast<int32_t>(width), static_cast<int32_t>(height), std::move(texels));
}

std::optional<TexelField> TexelField::fromField(const Field& field) {
    auto out = create(field.width(), field.height());
    if (!out) return std::nullopt;
    for (int32_t y = 0; y < field.height(); ++y) {
        Half* texels = out->row(y);
        for (int32_t x = 0; x < field.width(); ++x) {
            const Float4 t = field.texel(x, y);
            for (int c = 0; c < 3; ++c) texels[x * 4 + c] = toHalf(t[c]);
        }
        out->padRow(y);
    }
    out->setAlpha(field.texel(0, 0).w);
    return out;
}

void TexelField::padRow(int32_t y) {
    Half* texels = row(y);
    std::copy_n(texels, 4, texels - 4);
    std::copy_n(texels + static_cast<size_t>(width_ - 1) * 4, 4, texels + static_cast<size_t>(width_) * 4);
}

Float4 TexelField::texel(int32_t x, int32_t y) const {
    x = std::clamp(x, 0, width_ - 1);
    y = std::clamp(y, 0, height_ - 1);
    const Half* t = row(y) + static_cast<size_t>(x) * 4;
    return Float4{fromHalf(t[0]), fromHalf(t[1]), fromHalf(t[2]), alpha()};
}

void TexelField::copyTo(Field& out) const {
    for (int c = 0; c < 3; ++c) out.beginWrite(c);
    out.fill(3, alpha());
    parallelFor(0, height_, 16, [&](int64_t y0, int64_t y1) {
        for (auto y = static_cast<int32_t>(y0); y < y1; ++y) {
            const Half* t = row(y);
            for (int c = 0; c < 3; ++c) {
                Half* r = out.row(c, y);
                for (int32_t x = 0; x < width_; ++x) r[x] = t[x * 4 + c];
            }
        }
    });
}

std::optional<DisplayField> DisplayField::create(int64_t width, int64_t height) {
    // Every display kernel writes every pixel.
    auto image = RgbaImage::createForOverwrite(width, height, ColorSpace::sRGB);
    if (!image) return std::nullopt;
    return DisplayField(std::move(*image));
}

void TapRow::fill(int32_t outSize, int32_t srcSize, float offset) {
    const auto n = static_cast<size_t>(outSize);
    i0.resize(n);
    i1.resize(n);
    f.resize(n);
    for (int32_t i = 0; i < outSize; ++i) {
        const gen::Tap t = gen::bilinearTap(texelCentre(i, outSize) + offset, srcSize);
        i0[i] = t.i0;
        i1[i] = t.i1;
        f[i] = t.f;
    }
    auto blocks = [&](size_t size, std::vector<int32_t>& bases, std::vector<int32_t>& r0, std::vector<int32_t>& r1) {
        bases.resize(n / size);
        r0.resize(n);
        r1.resize(n);
        const auto last = static_cast<int32_t>(size) - 1;
        for (size_t b = 0; b < n / size; ++b) {
            const size_t first = b * size;
            int32_t base = std::min(i0[first], i1[first]);
            for (size_t i = first; i < first + size; ++i) {
                r0[i] = i0[i] - base;
                r1[i] = i1[i] - base;
                if (r0[i] < 0 || r0[i] > last || r1[i] < 0 || r1[i] > last) base = -1;
            }
            bases[b] = base >= 0 && base + last < srcSize ? base : -1;
        }
    };
    blocks(8, blockBase, k0, k1);
    blocks(16, wideBase, wideK0, wideK1);
}

float* Workspace::rowScratch(size_t floats) {
    std::vector<float>& buffer = rows_.local();
    if (buffer.size() < floats) buffer.resize(floats);
    return buffer.data();
}

float* Workspace::plane(int slot, size_t floats) {
    auto& buffer = planes_[slot];
    if (buffer.size() < floats) buffer.resize(floats);
    return buffer.data();
}

int32_t* Workspace::indexScratch(size_t count) {
    std::vector<int32_t>& buffer = indices_.local();
    if (buffer.size() < count) buffer.resize(count);
    return buffer.data();
}

Half* Workspace::halfScratch(size_t count) {
    std::vector<Half>& buffer = halves_.local();
    if (buffer.size() < count) buffer.resize(count);
    return buffer.data();
}

float (*Workspace::texelScratch(size_t count))[4] {
    std::vector<std::array<float, 4>>& buffer = texels_.local();
    if (buffer.size() < count) buffer.resize(count);
    return reinterpret_cast<float(*)[4]>(buffer.data());
}

TapRow& Workspace::taps(int slot) { return taps_[slot]; }

}  // namespace murmura::compute
