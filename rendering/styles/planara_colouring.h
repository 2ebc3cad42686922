#pragma once
// Which cells of a finished Planara grid are painted, and in which colour: cells holding or
// bordering the session's pauses are scored and painted red, blue or yellow within an area
// budget, touching cells never share a colour, one small cell may turn black, and the result
// is pushed away from a centred balance.
#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <vector>

#include "rendering/styles/planara_subdivision.h"

namespace murmura::planara {

struct RGB {
    double r = 0;
    double g = 0;
    double b = 0;
    friend bool operator==(const RGB&, const RGB&) = default;
};

inline constexpr std::array<RGB, 3> kPalette{{
    {0.88, 0.05, 0.02},  // red
    {0.0, 0.05, 0.58},   // blue
    {1.0, 0.9, 0.0},     // yellow
}};
inline constexpr RGB kBlack{0, 0, 0};

using Colouring = std::map<int64_t, RGB>;  // leaf key -> colour

struct AssignmentInputs {
    std::span<const ColorCandidate> candidates;
    const std::set<int64_t>* whiteBiasRounds = nullptr;
    Point balanceBias;
    double silentRatio = 0;  // within [0, 1]
    double aspect = 1;       // canvas width / height
    int64_t salt = 0;
    double areaLimit = 0.18;  // largest cell a candidate may claim when nothing better fits
};

// The last two well-separated ends of long sweeps, as weak candidates of the given round.
std::vector<ColorCandidate> tensionCandidates(std::span<const Point> tensionPoints, int64_t round);

// The main assignment; may be empty.
Colouring assignColours(const Subdivision& grid, const AssignmentInputs& in);

// Uncolours at most two cells, while the coloured weight sits within 0.08 of the centre, each
// time the one whose removal moves it furthest off; returns the number removed.
size_t balanceColouring(const std::map<int64_t, Rect>& leaves, Colouring& colours);

// At most one off-centre, modest cell in palette colour salt mod 3, never the largest cell.
Colouring fallbackColouring(const Subdivision& grid, double aspect, int64_t salt);

}  // namespace murmura::planara
