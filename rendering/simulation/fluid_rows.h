#pragma once
// The shared row primitives under the names the fluid kernel files use.
#include "rendering/simulation/compute_rows.h"

namespace murmura::fluid {

using compute::allExact;
using compute::fillConstantChannels;
using compute::forEachStencilRow;
using compute::forEachTexel;
using compute::lineAligned;
using compute::sampleRow;
using compute::StencilRows;

// k_diffuse at one texel: c + k * (L + R + B + T - 4c).
inline float diffuseOf(float c, float L, float R, float B, float T, float k) {
    return c + k * (L + R + B + T - 4.0f * c);
}

// Pads a row stored at row[1..w] with its edge values at row[0] and row[w + 1].
inline void padRow(float* row, int32_t w) {
    row[0] = row[1];
    row[w + 1] = row[w];
}

}  // namespace murmura::fluid
