#pragma once
// PNG encoding and decoding of RgbaImage. Files carry straight alpha as PNG requires; the
// sRGB tag travels as the sRGB chunk. Encoding is parallel over bands of rows and gives the
// same bytes on any number of cores.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "rendering/rgba_image.h"
#include "support/expected.h"

namespace murmura {

Expected<std::vector<uint8_t>, std::string> encodePng(const RgbaImage& image);
Expected<RgbaImage, std::string> decodePng(std::span<const uint8_t> bytes);

// File helpers; the error text says what failed (the caller names the file).
Expected<void, std::string> writePngFile(const RgbaImage& image, const std::string& path);
// Largest PNG file read (a regular file only; see support/input_file.h).
inline constexpr uint64_t kMaxPngFileBytes = uint64_t(1024) << 20;
Expected<RgbaImage, std::string> readPngFile(const std::string& path);

}  // namespace murmura
