#include "rendering/rgba_image.h"

#include <new>

namespace murmura {

std::optional<RgbaImage> RgbaImage::create(int64_t width, int64_t height, ColorSpace colorSpace) {
    return make(width, height, colorSpace, true);
}

std::optional<RgbaImage> RgbaImage::createForOverwrite(int64_t width, int64_t height, ColorSpace colorSpace) {
    return make(width, height, colorSpace, false);
}

std::optional<RgbaImage> RgbaImage::make(int64_t width, int64_t height, ColorSpace colorSpace, bool zeroed) {
    if (!fits(width, height)) return std::nullopt;
    const auto bytes = static_cast<size_t>(width * height) * 4;
    try {
        // Sized without a value, the allocator leaves the bytes as they come.
        Pixels pixels = zeroed ? Pixels(bytes, 0) : Pixels(bytes);
        return RgbaImage(width, height, colorSpace, std::move(pixels));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace murmura
