#pragma once
// Procedural brush footprints: a round head of bristles with dry streaks and a tapered tip,
// seeded, and cached per size for the whole process.
#include <cstdint>
#include <memory>
#include <vector>

namespace murmura {

class BrushTexture {
public:
    static constexpr int32_t kMinCachedSize = 8, kMaxCachedSize = 128, kVariants = 16;

    // One texture of n x n texels (n below 3 is taken as 3: the head needs a radius).
    BrushTexture(int32_t size, uint64_t seed);

    // Texture (variant mod 16) of the size clamped to 8 ... 128, from a process-wide cache that
    // creates all 16 variants of a size on first use. Safe to call from concurrent renders.
    static std::shared_ptr<const BrushTexture> texture(int32_t size, int64_t variant);

    const std::vector<float>& data() const { return data_; }  // row-major coverage, 0 ... 1
    int32_t width() const { return size_; }
    int32_t height() const { return size_; }

private:
    int32_t size_;
    std::vector<float> data_;
};

}  // namespace murmura
