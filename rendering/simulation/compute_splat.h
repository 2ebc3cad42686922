#pragma once
// The Gaussian deposit the simulations share (the fluid's k_splat, the emissive field's n_splat),
// whole-grid and bounded to the texels a splat can change.
#include <span>

#include "rendering/simulation/compute.h"

namespace murmura::compute {

using Rgb = std::array<float, 3>;

// One Gaussian deposit: output = target + exp(-(p . p) / radius) * color with
// p = ((u - x) * aspect, v - y); the fourth channel becomes 1.
struct SplatPass {
    float x = 0;
    float y = 0;
    Rgb color{};
    float radius = 0;
    float aspect = 1;
    // The Gaussian as the product of its factors exp(-px^2 / radius) * exp(-py^2 / radius): one
    // exponential per column and one per row instead of one per texel. The same function, rounded
    // differently; for a passive dye, where no other field feeds on those roundings.
    bool separable = false;
};

// True when the pass has finite values and a positive radius; others are not applied (a zero
// radius would put a NaN at the centre).
bool isValid(const SplatPass& splat);

// The deposit over the whole target grid.
void kSplat(const Field& target, Field& out, const SplatPass& splat, Workspace& ws);
// The splats in order, each as k_splat from `field` into a second field followed by an
// exchange, done in place and only where a splat can change a stored value.
void applySplats(Field& field, std::span<const SplatPass> splats, Workspace& ws);
void applySplats(TexelField& field, std::span<const SplatPass> splats, Workspace& ws);

namespace reference {
void kSplat(const Field& target, Field& out, const SplatPass& splat, Workspace& ws);
}  // namespace reference

}  // namespace murmura::compute
