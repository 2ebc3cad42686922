#pragma once
// PNG encoding and decoding of RgbaImage. Files carry straight alpha as PNG requires; the
// sRGB tag travels as the sRGB chunk.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "rendering/rgba_image.h"
#include "support/expected.h"

namespace murmura {

struct PngOptions {
    int compressionLevel = 1;  // zlib level 0-9: artworks are large and written on the user's path
};

Expected<std::vector<uint8_t>, std::string> encodePng(const RgbaImage& image, const PngOptions& options = {});
Expected<RgbaImage, std::string> decodePng(std::span<const uint8_t> bytes);

// File helpers; the error text says what failed (the caller names the file).
Expected<void, std::string> writePngFile(const RgbaImage& image, const std::string& path,
                                         const PngOptions& options = {});
Expected<RgbaImage, std::string> readPngFile(const std::string& path);

}  // namespace murmura
