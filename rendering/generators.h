#pragma once
// Shared generators and shading helpers of the styles and simulations. Every style includes
// this header; nothing here is written twice elsewhere.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>

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

}  // namespace murmura::gen
