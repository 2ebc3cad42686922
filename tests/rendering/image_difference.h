#pragma once
// Readable failure messages for image comparisons.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "rendering/rgba_image.h"

namespace murmura::test {

// Number of differing bytes and the largest difference, for readable failures.
inline std::string difference(const RgbaImage& a, const RgbaImage& b) {
    size_t count = 0;
    int largest = 0;
    int64_t firstX = -1, firstY = -1;
    for (size_t i = 0; i < a.byteCount() && i < b.byteCount(); ++i) {
        const int d = std::abs(int(a.data()[i]) - int(b.data()[i]));
        if (d && !count) {
            firstX = static_cast<int64_t>(i / 4) % a.width();
            firstY = static_cast<int64_t>(i / 4) / a.width();
        }
        count += d != 0;
        largest = std::max(largest, d);
    }
    return std::to_string(count) + " bytes differ, by up to " + std::to_string(largest) + ", first at " +
           std::to_string(firstX) + "," + std::to_string(firstY);
}


}  // namespace murmura::test
