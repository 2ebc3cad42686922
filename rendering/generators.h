#pragma once
// Shared generators and shading helpers of the styles and simulations. Every style includes
// this header; nothing here is written twice elsewhere.
#include <cmath>
#include <cstdint>

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

}  // namespace murmura::gen
