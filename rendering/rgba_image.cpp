#include "rendering/rgba_image.h"

#include <new>

namespace murmura {

namespace {
bool fits(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= RgbaImage::kMaxSide && height <= RgbaImage::kMaxSide &&
           width * height <= RgbaImage::kMaxPixels;
}
}  // namespace

std::optional<RgbaImage> RgbaImage::create(int64_t width, int64_t height, ColorSpace colorSpace) {
    if (!fits(width, height)) return std::nullopt;
    try {
        Pixels pixels(static_cast<size_t>(width * height) * 4, 0);
        return RgbaImage(width, height, colorSpace, std::move(pixels));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<RgbaImage> RgbaImage::createForOverwrite(int64_t width, int64_t height, ColorSpace colorSpace) {
    if (!fits(width, height)) return std::nullopt;
    try {
        Pixels pixels(static_cast<size_t>(width * height) * 4);
        return RgbaImage(width, height, colorSpace, std::move(pixels));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace murmura
