#include "rendering/brush_texture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <numbers>

#include "support/random.h"

namespace murmura {

namespace {

// The shared 64-bit LCG; a brush draw is the low 24 bits of the stepped state.
struct Lcg {
    Lcg64 gen;
    uint64_t step() { return gen.next(); }
    double unit() { return static_cast<double>(step() & 0xFFFFFFu) / 16777215.0; }
};

struct Bristle {
    double offset, halfWidth;
};
struct Streak {
    double offset, width, angle, start, end;
};

}  // namespace

BrushTexture::BrushTexture(int32_t size, uint64_t seed) : size_(std::max(size, 3)) {
    Lcg rng{Lcg64(seed)};
    const uint64_t s0 = rng.step();
    std::vector<Bristle> bristles(8 + s0 % 11);
    for (Bristle& b : bristles) {
        b.offset = 1.6 * rng.unit() - 0.8;
        b.halfWidth = 0.17 * rng.unit() + 0.08;
    }
    std::vector<Streak> streaks(5 + (rng.step() & 3u));
    for (Streak& s : streaks) {
        s.offset = 1.3 * rng.unit() - 0.65;
        const double w1 = rng.unit();
        s.width = (0.18 * w1 + 0.1) * (1.3 * rng.unit() + 0.5);
        s.angle = 0.28 * rng.unit() - 0.14;
        if (rng.unit() < 0.35) {
            s.start = 0.9 * rng.unit() - 0.6;
            s.end = std::min(s.start + 0.3 * rng.unit() + 0.3, 1.0);
        } else {
            s.start = -0.9, s.end = 0.9;
        }
    }

    const int32_t n = size_;
    data_.assign(static_cast<size_t>(n) * n, 0.0f);
    const double c = 0.5 * n, R = c - 1;
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j) {
            const double ny = (i - c) / R, nx = (j - c) / R;
            const double r = std::sqrt((i - c) * (i - c) + (j - c) * (j - c)) / R;
            if (r > 1) continue;
            double sum = 0;
            for (const Bristle& b : bristles) {
                const double d = std::abs(nx - b.offset);
                if (d < b.halfWidth) {
                    const double e = 1 - (d / b.halfWidth) * (d / b.halfWidth);
                    sum += e * e;
                }
            }
            double bristle = std::min(sum, 1.0);
            for (const Streak& s : streaks) {
                if (ny < s.start || ny > s.end) continue;
                const double t = (ny - s.start) / std::max(s.end - s.start, 0.001);
                const double reach = (0.3 * std::sin(std::numbers::pi * t) + 0.85) * s.width;
                const double d = std::abs(nx - ny * std::tan(s.angle) - s.offset);
                if (d < reach) {
                    const double edge = t < 0.15 ? t / 0.15 : (t > 0.85 ? (1 - t) / 0.15 : 1.0);
                    bristle *= 1 - 0.98 * (1 - (d / reach) * (d / reach)) * edge;
                }
            }
            const double f = r < 0.6 ? 1.0 : 1 - std::pow((r - 0.6) / 0.4, 3);
            if (ny > 0.3 && std::abs(nx) > (ny - 0.3) / -0.7 * 0.5 + 1) continue;  // the tip narrows
            data_[static_cast<size_t>(i) * n + j] = static_cast<float>(bristle * f);
        }
}

std::shared_ptr<const BrushTexture> BrushTexture::texture(int32_t size, int64_t variant) {
    using Set = std::array<std::shared_ptr<const BrushTexture>, kVariants>;
    static std::mutex mutex;
    static std::map<int32_t, Set> cache;
    size = std::clamp(size, kMinCachedSize, kMaxCachedSize);
    const auto k = static_cast<size_t>(((variant % kVariants) + kVariants) % kVariants);
    std::lock_guard lock(mutex);
    auto it = cache.find(size);
    if (it == cache.end()) {
        Set set;
        for (uint64_t v = 0; v < kVariants; ++v)
            set[v] = std::make_shared<const BrushTexture>(
                size, static_cast<uint64_t>(size) * 1000003u + 12345678u + v * 999983u);
        it = cache.emplace(size, std::move(set)).first;
    }
    return it->second[k];
}

}  // namespace murmura
