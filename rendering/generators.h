#pragma once
// Shared generators and shading helpers of the styles and simulations. Every style includes
// this header; nothing here is written twice elsewhere.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "support/geometry.h"
#include "support/random.h"

namespace murmura::gen {

// The k-th draw from a base state: the SplitMix64 mix of base + k * gamma (wrapping).
constexpr uint64_t rawDraw(uint64_t base, uint64_t k) { return splitMixFinalize(base + k * kSplitMixGamma); }
// Unit value in [0, 1) from the top 53 bits of a draw.
constexpr double unit53(uint64_t raw) { return static_cast<double>(raw >> 11) * 0x1.0p-53; }
// Unit value in [0, 1) from the top 24 bits of a draw.
constexpr float unit24(uint64_t raw) { return static_cast<float>(raw >> 40) * 0x1.0p-24f; }
constexpr double draw(uint64_t base, uint64_t k) { return unit53(rawDraw(base, k)); }

template <class T>
inline T fract(T v) {
    return v - std::floor(v);
}

template <class T>
constexpr T clamp01(T v) {
    return v < T(0) ? T(0) : (v > T(1) ? T(1) : v);
}

// t^2 (3 - 2t) of an argument already in [0, 1].
template <class T>
constexpr T smooth(T t) {
    return t * t * (T(3) - T(2) * t);
}

// smoothstep(e0, e1, x) as in shading languages.
template <class T>
constexpr T smoothstep(T e0, T e1, T x) {
    return smooth(clamp01((x - e0) / (e1 - e0)));
}

template <class T>
constexpr T mix(T a, T b, T t) {
    return a + (b - a) * t;
}

// The sine hash fract(sin(x * 127.1 + y * 311.7) * scale), evaluated in T.
template <class T>
inline T sineHash(T x, T y, T scale = T(43758.5453)) {
    return fract(std::sin(x * T(127.1) + y * T(311.7)) * scale);
}

// fract(sin(v) * 43758.547) in single precision: the one-argument sine hash of the ink field.
inline float sinFract(float v) { return fract(std::sin(v) * 43758.547f); }

// The two-argument sine hash of the ink field: sinFract((a + 311.7) * 78.233 + (b + 127.1) * 12.9898).
inline float hash2(float a, float b) { return sinFract((a + 311.7f) * 78.233f + (b + 127.1f) * 12.9898f); }

// Value noise from an integer lattice hash (32-bit wrapping), in -1 .. 1; the lattice repeats
// every 256 cells.
inline float latticeValueNoise(float x, float y) {
    const float flx = std::floor(x), fly = std::floor(y);
    const uint32_t a = (static_cast<uint32_t>(static_cast<int64_t>(flx)) & 255u) * 374761393u;
    const uint32_t b = (static_cast<uint32_t>(static_cast<int64_t>(fly)) & 255u) * 668265263u;
    const auto corner = [&](uint32_t i, uint32_t j) {
        const uint32_t h = a + i * 374761393u + b + j * 668265263u;
        return static_cast<float>(((h ^ (h >> 13)) * 97u) % 256u) / 255.0f;
    };
    const float sx = smooth(x - flx), sy = smooth(y - fly);
    const float top = mix(corner(0, 0), corner(1, 0), sx), bottom = mix(corner(0, 1), corner(1, 1), sx);
    return 2.0f * mix(top, bottom, sy) - 1.0f;
}

// A coordinate rounded to the nearest integer (halves away from zero), as a wrapping 64-bit
// word. Non-finite values give 0 and values beyond the 64-bit range saturate, so any input
// hashes without undefined behaviour.
inline uint64_t roundedWord(double v) {
    if (!std::isfinite(v)) return 0;
    const double r = std::round(v);
    if (r >= 9.2233720368547758e18) return static_cast<uint64_t>(INT64_MAX);
    if (r <= -9.2233720368547758e18) return static_cast<uint64_t>(INT64_MIN);
    return static_cast<uint64_t>(static_cast<int64_t>(r));
}

// Hash of a tagged position at quarter-unit resolution: nearby points a quarter unit apart
// get unrelated values, the same point always the same one.
inline uint64_t positionHash(uint64_t tag, double x, double y) {
    const uint64_t a = roundedWord(4 * x), b = roundedWord(4 * y);
    return splitMixFinalize(a * 0x9E3779B97F4A7C15ULL ^ tag * 0x94D049BB133111EBULL ^ b * 0xBF58476D1CE4E5B9ULL);
}
inline uint64_t positionHash(uint64_t tag, Point p) { return positionHash(tag, p.x, p.y); }

struct CubicSegment {
    Point start, control1, control2, end;
};

// Segment i of the smooth curve through the points q (0 <= i < q.size() - 1): a cubic Bezier
// from q[i] to q[i + 1] whose tangents follow the neighbouring points, (q[i+1] - q[i-1]) / 6 and
// (q[i+2] - q[i]) / 6, with indices clamped to the list.
inline CubicSegment smoothSegment(std::span<const Point> q, size_t i) {
    const size_t last = q.size() - 1;
    const Point& prev = q[i == 0 ? 0 : i - 1];
    const Point& a = q[i];
    const Point& b = q[std::min(i + 1, last)];
    const Point& next = q[std::min(i + 2, last)];
    return CubicSegment{a,
                        {a.x + (b.x - prev.x) / 6, a.y + (b.y - prev.y) / 6},
                        {b.x - (next.x - a.x) / 6, b.y - (next.y - a.y) / 6},
                        b};
}

// Value noise: the sine hash at the integer lattice around p, blended with smoothed fractions,
// first along x, then along y.
template <class T>
inline T valueNoise(T px, T py) {
    const T ix = std::floor(px), iy = std::floor(py);
    const T fx = smooth(px - ix), fy = smooth(py - iy);
    return mix(mix(sineHash(ix, iy), sineHash(ix + T(1), iy), fx),
               mix(sineHash(ix, iy + T(1)), sineHash(ix + T(1), iy + T(1)), fx), fy);
}

// valueNoise<float> over [0, cells) x [0, cells) from a table of the lattice hashes, for shading
// loops that evaluate the noise once per pixel: the same values without a sine per corner.
class ValueNoiseLattice {
public:
    explicit ValueNoiseLattice(int32_t cells) : cells_(cells < 1 ? 1 : cells), stride_(cells_ + 2) {
        hashes_.resize(static_cast<size_t>(stride_) * static_cast<size_t>(stride_));
        for (int32_t y = 0; y < stride_; ++y)
            for (int32_t x = 0; x < stride_; ++x)
                hashes_[static_cast<size_t>(y) * stride_ + x] = sineHash(static_cast<float>(x), static_cast<float>(y));
    }
    int32_t cells() const { return cells_; }
    // Hashes of lattice row iy (clamped to the table), indexed by lattice x from 0 to cells + 1.
    const float* row(int32_t iy) const {
        iy = iy < 0 ? 0 : (iy > cells_ ? cells_ : iy);
        return hashes_.data() + static_cast<size_t>(iy) * stride_;
    }
    // Lattice index of a coordinate, clamped to the table.
    int32_t index(float p) const {
        const float i = std::floor(p);
        return i < 0.0f ? 0 : (i > static_cast<float>(cells_) ? cells_ : static_cast<int32_t>(i));
    }
    float at(float px, float py) const {
        const int32_t ix = index(px), iy = index(py);
        const float fx = smooth(px - std::floor(px)), fy = smooth(py - std::floor(py));
        const float* r0 = row(iy);
        const float* r1 = row(iy + 1);
        return mix(mix(r0[ix], r0[ix + 1], fx), mix(r1[ix], r1[ix + 1], fx), fy);
    }

private:
    int32_t cells_;
    int32_t stride_;
    std::vector<float> hashes_;
};

// ---- Texture sampling ----

// One axis of a bilinear read: the two texel indices and the weight of the second.
struct Tap {
    int32_t i0;
    int32_t i1;
    float f;
};

// The bilinear tap at normalised coordinate `coord` on an axis of `size` texels, where texel i
// has its centre at (i + 0.5) / size, with clamp-to-edge addressing. The weight is quantised to
// 1/256 of a texel as texture units do, so that a read at a texel centre is exactly that texel
// even when (i + 0.5) / size is not exact in float.
// The read position in 1/256 texels: q >> 8 is the first texel, from -1 to size, and q & 255
// the weight of the second in 256ths.
inline int32_t tapPosition(float coord, int32_t size) {
    const float hi = static_cast<float>(size);
    float x = coord * hi - 0.5f;
    // Beyond the edges every read is the edge texel; NaN goes to -1. (In this form, the form of
    // the processors' min and max instructions, the clamps vectorise without blends.)
    x = x > -1.0f ? x : -1.0f;
    x = x < hi ? x : hi;
    return static_cast<int32_t>(x * 256.0f + 512.5f) - 512;  // round(x * 256), x >= -1
}

inline Tap bilinearTap(float coord, int32_t size) {
    const int32_t q = tapPosition(coord, size);
    const int32_t i = q >> 8;
    const int32_t last = size - 1;
    int32_t i0 = i < 0 ? 0 : i;
    i0 = i0 > last ? last : i0;
    int32_t i1 = i + 1 > last ? last : i + 1;
    i1 = i1 < 0 ? 0 : i1;
    return Tap{i0, i1, static_cast<float>(q & 255) * (1.0f / 256.0f)};
}

// Bilinear blend of the texels (i0, j0), (i1, j0), (i0, j1), (i1, j1): along y first, then x.
template <class T>
constexpr T bilinear(T v00, T v10, T v01, T v11, T fx, T fy) {
    return mix(mix(v00, v01, fy), mix(v10, v11, fy), fx);
}

// ---- Float exp, log and pow for shading loops ----
// Built from plain arithmetic (Cephes polynomials), so that loops calling them vectorise and a
// value comes out with the same bits in scalar and vector code. Relative error below 2^-22.

// e^x; arguments are clamped to [-87.3, 88], so the result is never 0 or infinite.
inline float exp32(float x) {
    x = x >= -87.3f ? x : -87.3f;  // NaN goes to the low end
    x = x <= 88.0f ? x : 88.0f;
    const float n = (x * 1.44269504088896341f + 12582912.0f) - 12582912.0f;  // round to nearest
    float r = x - n * 0.693359375f;
    r = r + n * 2.12194440e-4f;
    float p = 1.9875691500e-4f;
    p = p * r + 1.3981999507e-3f;
    p = p * r + 8.3334519073e-3f;
    p = p * r + 4.1665795894e-2f;
    p = p * r + 1.6666665459e-1f;
    p = p * r + 5.0000001201e-1f;
    p = p * (r * r) + r + 1.0f;
    const int32_t e = static_cast<int32_t>(n) + 127;
    return p * std::bit_cast<float>(e << 23);
}

// Natural logarithm of a positive normal float.
inline float log32(float x) {
    const int32_t bits = std::bit_cast<int32_t>(x);
    float e = static_cast<float>((bits >> 23) - 126);
    float m = std::bit_cast<float>((bits & 0x007fffff) | 0x3f000000);  // [0.5, 1)
    const bool low = m < 0.707106781186547524f;
    e = low ? e - 1.0f : e;
    m = low ? m + m - 1.0f : m - 1.0f;
    const float z = m * m;
    float y = 7.0376836292e-2f;
    y = y * m - 1.1514610310e-1f;
    y = y * m + 1.1676998740e-1f;
    y = y * m - 1.2420140846e-1f;
    y = y * m + 1.4249322787e-1f;
    y = y * m - 1.6668057665e-1f;
    y = y * m + 2.0000714765e-1f;
    y = y * m - 2.4999993993e-1f;
    y = y * m + 3.3333331174e-1f;
    y = y * m * z;
    y = y - e * 2.12194440e-4f;
    y = y - 0.5f * z;
    return m + y + e * 0.693359375f;
}

// x^y for x >= 0 and y > 0; 0 for x below the normal range (and for x <= 0).
inline float pow32(float x, float y) {
    const float v = exp32(y * log32(x >= 0x1p-126f ? x : 1.0f));
    return x >= 0x1p-126f ? v : 0.0f;
}

}  // namespace murmura::gen
