#pragma once
// The image every renderer returns: 8-bit RGBA, premultiplied alpha, alpha last, row 0 at the
// top, tightly packed rows.
#include <cstdint>
#include <optional>
#include <vector>

#include "support/large_buffer.h"

namespace murmura {

enum class ColorSpace { sRGB, deviceRGB };

class RgbaImage {
public:
    // Largest side and pixel count accepted; larger requests (a render, or a PNG header asking
    // for more) yield no image instead of exhausting memory. 2^27 pixels (512 MiB) hold twice
    // an 8K display (15360 x 8640); a 16384 x 16384 image, four bytes of pixels per byte of a
    // PNG of zeros, is refused.
    static constexpr int64_t kMaxSide = 16384;
    static constexpr int64_t kMaxPixels = int64_t(1) << 27;

    // True when an image of this size may exist: positive sides within the limits above.
    static bool fits(int64_t width, int64_t height) {
        return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
    }
    // A transparent image, or nothing when the size does not fit or cannot be allocated.
    static std::optional<RgbaImage> create(int64_t width, int64_t height, ColorSpace colorSpace);
    // The same for a caller that writes every pixel itself: until then their values are unspecified.
    static std::optional<RgbaImage> createForOverwrite(int64_t width, int64_t height, ColorSpace colorSpace);

    int64_t width() const { return width_; }
    int64_t height() const { return height_; }
    ColorSpace colorSpace() const { return colorSpace_; }
    size_t stride() const { return static_cast<size_t>(width_) * 4; }
    uint8_t* data() { return pixels_.data(); }
    const uint8_t* data() const { return pixels_.data(); }
    size_t byteCount() const { return pixels_.size(); }
    uint8_t* row(int64_t y) { return pixels_.data() + static_cast<size_t>(y) * stride(); }
    const uint8_t* row(int64_t y) const { return pixels_.data() + static_cast<size_t>(y) * stride(); }
    uint8_t* pixel(int64_t x, int64_t y) { return row(y) + static_cast<size_t>(x) * 4; }
    const uint8_t* pixel(int64_t x, int64_t y) const { return row(y) + static_cast<size_t>(x) * 4; }

    friend bool operator==(const RgbaImage&, const RgbaImage&) = default;

private:
    using Pixels = std::vector<uint8_t, LargeBufferAllocator<uint8_t>>;
    static std::optional<RgbaImage> make(int64_t width, int64_t height, ColorSpace colorSpace, bool zeroed);
    RgbaImage(int64_t width, int64_t height, ColorSpace colorSpace, Pixels pixels)
        : width_(width), height_(height), colorSpace_(colorSpace), pixels_(std::move(pixels)) {}

    int64_t width_ = 0;
    int64_t height_ = 0;
    ColorSpace colorSpace_ = ColorSpace::deviceRGB;
    Pixels pixels_;
};

}  // namespace murmura
