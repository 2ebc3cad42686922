#pragma once
// The two fluid replay styles.
//
// Ink Water: the session as sumi ink floating on water. Gestures are replayed as ink drops and
// pushes, so ink laid early is carried, curled and marbled by later movement; then the water
// settles and the dye is shown on paper.
//
// Watercolor: the session as transparent washes. Gestures are replayed as pigment drops and
// pushes with slow dye diffusion, shown with water-mark rims, granulation and a saturation cap,
// so washes bleed outward and pool at their edges. Each of the 3 x 2 canvas regions has a fixed
// pseudo-random pigment of a palette of five.
#include "rendering/styles/fluid_replay.h"

namespace murmura {

FluidStyleDefinition inkWaterStyle();
FluidStyleDefinition watercolorStyle();

}  // namespace murmura
