#include "rendering/rgba_image.h"

#include <new>

namespace murmura {

std::optional<RgbaImage> RgbaImage::create(int64_t width, int64_t height, ColorSpace colorSpace) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || width * height > kMaxPixels)
        return std::nullopt;
    try {
        Pixels pixels(static_cast<size_t>(width * height) * 4, 0);
        return RgbaImage(width, height, colorSpace, std::move(pixels));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace murmura
