#pragma once
// The codebase's pseudo-random generators: SplitMix64 for everything that renders, and the
// 64-bit linear congruential generator of the gallery's procedural textures. Every random
// source is seeded explicitly so that the same input gives the same output.
#include <cmath>
#include <cstdint>

namespace murmura {

inline constexpr uint64_t kSplitMixGamma = 0x9E3779B97F4A7C15ULL;

// The output mixer of SplitMix64 applied to an already advanced state.
constexpr uint64_t splitMixFinalize(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// One full SplitMix64 step as a pure function: advance, then mix.
constexpr uint64_t splitMix(uint64_t state) { return splitMixFinalize(state + kSplitMixGamma); }

class SplitMix64 {
public:
    explicit constexpr SplitMix64(uint64_t seed) : state_(seed) {}

    constexpr uint64_t next() {
        state_ += kSplitMixGamma;
        return splitMixFinalize(state_);
    }
    // Uniform in [0, 1) with 53 bits of precision.
    constexpr double nextUnit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    // Uniform in [0, 1) with 24 bits of precision, as a float.
    constexpr float nextUnitFloat() { return static_cast<float>(next() >> 40) * 0x1.0p-24f; }
    constexpr double uniform(double lo, double hi) { return lo + (hi - lo) * nextUnit(); }
    // Uniform integer in [0, n); n > 0. The modulo bias is below 2^-40 for the small n used.
    constexpr uint64_t below(uint64_t n) { return next() % n; }
    constexpr bool chance(double p) { return nextUnit() < p; }
    // Standard normal variate (Box-Muller, one value per call).
    double nextGaussian() {
        const double u1 = 1.0 - nextUnit();  // (0, 1]: keeps log finite
        const double u2 = nextUnit();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }
    constexpr uint64_t state() const { return state_; }

private:
    uint64_t state_;
};

// x(n+1) = x(n) * 6364136223846793005 + 1442695040888963407 (wrapping), drawn from the top 31
// bits of each new state: the generator of the gallery wall's grain and wood textures.
class Lcg64 {
public:
    static constexpr uint64_t kTextureSeed = 0x9E3779B97F4A7C15ULL;
    explicit constexpr Lcg64(uint64_t seed = kTextureSeed) : state_(seed) {}

    constexpr uint64_t next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return state_;
    }
    // (x >> 33) * 2^-31 of the next state: uniform in [0, 1).
    constexpr double nextUnit() { return static_cast<double>(next() >> 33) * 0x1.0p-31; }
    constexpr uint64_t state() const { return state_; }

private:
    uint64_t state_;
};

}  // namespace murmura
