#pragma once
// The arithmetic of the gallery wall, free of any toolkit: picture sizes and positions in the
// row, drag and focus, the light beam's outline, the spring the row moves with, the texts of
// the detail screen and the wall's procedural textures.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/geometry.h"

namespace murmura::wall {

// Pictures keep their image's width / height between these; a record without a loadable
// image hangs at kFallbackAspect.
inline constexpr double kMinAspect = 0.6;
inline constexpr double kMaxAspect = 1.85;
inline constexpr double kFallbackAspect = 1.4;
// Pictures one pitch or more away from the focus hang at this fraction of their focused size.
inline constexpr double kSideScale = 0.6;
// Height of the pictures' centre line, as a fraction of the wall's height.
inline constexpr double kCentreLine = 0.45;

// The aspect ratio a picture hangs at: clamped to [kMinAspect, kMaxAspect]; none, zero,
// negative or non-finite give the fallback.
double clampedAspect(std::optional<double> aspect);
// width / height of an image of that size, or nothing for an empty one.
std::optional<double> aspectOf(double width, double height);

// The picture in focus: 0.4 x the wall's width clamped to [220, 440], reduced proportionally
// when its height would exceed 0.36 x the wall's height. `aspect` is already clamped.
Size focusedPictureSize(Size wall, double aspect);
// Distance between the centres of neighbouring pictures; the same for every picture, so that
// a drag maps to whole pictures.
double pitch(Size wall);
// The picture at `index` when the row's centre is at `position` (fractional while the row
// moves): its own size, shrunk with its distance from the centre, on the centre line.
Rect pictureRect(Size wall, double position, int index, double aspect);

// focus clamped to [0, count - 1]; 0 for an empty wall (never a clamp to an empty range).
int clampFocus(int focus, int count);
// The focus after a drag of `translation` points (positive: the row moved right, towards
// earlier pictures): moved by translation / pitch rounded to the nearest integer, clamped.
// A non-finite translation or pitch leaves the focus where it was (clamped).
int focusAfterDrag(int focus, double translation, double pitch, int count);
// The row's live position during a drag that began at position `start`; past either end it
// follows the pointer at a third of its speed, so the end of the row is felt.
double dragPosition(double start, double translation, double pitch, int count);

// The shape of the light beam over the wall.
struct LightCone {
    // The closed trapezoid inside r, in path order: top left, top right, bottom right, bottom
    // left. The top edge is 0.07 x width wide at minY - 0.04 x height, the bottom 0.38 x width
    // wide at minY + 0.66 x height, both centred on midX.
    static std::array<Point, 4> path(const Rect& r);
};

// A damped spring from 0 towards 1 after t seconds, for a response (period of the undamped
// oscillation) in seconds and a damping fraction in (0, 1].
double springValue(double t, double response, double damping);
// The time after which the spring stays within 0.1 % of its target.
double springSettleTime(double response, double damping);

// Longest duration shown; anything longer (or negative, or not a number) is shown as "—".
inline constexpr double kLongestShownDuration = 24 * 3600;
// "4 min 5 sec" for 245 seconds (rounded to whole seconds), "—" when the value is absurd.
std::string durationText(double seconds);

// The wall's procedural textures, from Lcg64 with its texture seed. Grain: 160 x 160 grey
// bytes in row order. Wood: 240 x 80 RGB bytes in row order.
inline constexpr int kGrainSize = 160;
inline constexpr int kWoodWidth = 240;
inline constexpr int kWoodHeight = 80;
std::vector<uint8_t> grainTexture();
std::vector<uint8_t> woodTexture();

}  // namespace murmura::wall
