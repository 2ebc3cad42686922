#pragma once
// Pixel reads and readable failure messages for image comparisons.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

#include "rendering/rgba_image.h"

namespace murmura::test {

using Pixel = std::array<int, 4>;
inline Pixel pixelAt(const RgbaImage& image, int64_t x, int64_t y) {
    const uint8_t* p = image.pixel(x, y);
    return {p[0], p[1], p[2], p[3]};
}

// How many bytes differ and by how much at most.
struct ByteDifference {
    size_t count = 0;
    int largest = 0;
};
inline ByteDifference byteDifference(const RgbaImage& a, const RgbaImage& b) {
    ByteDifference r;
    for (size_t i = 0; i < a.byteCount() && i < b.byteCount(); ++i) {
        const int d = std::abs(int(a.data()[i]) - int(b.data()[i]));
        r.count += d != 0;
        r.largest = std::max(r.largest, d);
    }
    return r;
}

// Number of differing bytes and the largest difference, for readable failures.
inline std::string difference(const RgbaImage& a, const RgbaImage& b) {
    const auto [count, largest] = byteDifference(a, b);
    int64_t firstX = -1, firstY = -1;
    for (size_t i = 0; i < a.byteCount() && i < b.byteCount(); ++i)
        if (a.data()[i] != b.data()[i]) {
            firstX = static_cast<int64_t>(i / 4) % a.width();
            firstY = static_cast<int64_t>(i / 4) / a.width();
            break;
        }
    return std::to_string(count) + " bytes differ, by up to " + std::to_string(largest) + ", first at " +
           std::to_string(firstX) + "," + std::to_string(firstY);
}

}  // namespace murmura::test
