#pragma once
// The shared row primitives under the names the fluid kernel files use.
#include "rendering/simulation/compute_rows.h"

namespace murmura::fluid {

using compute::allExact;
using compute::fillConstantChannels;
using compute::forEachStencilRow;
using compute::forEachTexel;
using compute::sampleRow;
using compute::StencilRows;

}  // namespace murmura::fluid
