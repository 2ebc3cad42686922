#pragma once
// The first stage of the Planara style: one pass over a session's events that condenses them
// into proposed lines (straight pointer sweeps), removal requests (delete keys), colour
// candidates (pauses during drags, bursts of typing) and a few totals. Nothing is drawn here.
// All positions are canvas-normalised: x / width and y / height, origin top left, y down.
#include <cstdint>
#include <set>
#include <variant>
#include <vector>

#include "material/material_engine.h"
#include "support/geometry.h"

namespace murmura::planara {

// A vertical line has constant x and runs along y; a horizontal one has constant y.
enum class Axis { horizontal, vertical };

struct SplitProposal {
    Axis axis = Axis::horizontal;
    double coord = 0;   // position across the axis
    double spanLo = 0;  // extent along the axis
    double spanHi = 0;
    double rank = 0;    // weight
    int64_t round = 0;
    friend bool operator==(const SplitProposal&, const SplitProposal&) = default;
};

struct MergeStep {
    int64_t round = 0;
    friend bool operator==(const MergeStep&, const MergeStep&) = default;
};

using Op = std::variant<SplitProposal, MergeStep>;

struct ColorCandidate {
    double x = 0;
    double y = 0;
    double priority = 0;
    int64_t round = 0;
    bool isDwell = false;
    double dwellDuration = 0;  // seconds
    friend bool operator==(const ColorCandidate&, const ColorCandidate&) = default;
};

struct ExtractionResult {
    std::vector<Op> ops;
    std::vector<ColorCandidate> candidates;
    std::vector<Point> tensionPoints;  // ends of long sweeps
    double sweepTravel = 0;            // summed length of the accepted sweeps
    int64_t charKeyCount = 0;
    std::set<int64_t> whiteBiasRounds;  // rounds in which a secondary click happened
    Point balanceBias;                  // arrow keys, each coordinate within [-0.1, 0.1]
    int64_t rounds = 0;                 // final round counter
};

// fract(sin(n * 12.9898 + 4.1414) * 43758.5453): the style's only source of variation besides
// the input itself.
double unitHash(int64_t n);

// The extraction over the segments' events, segment after segment; only in-scope events count.
// Positions are canvas pixels of a width x height canvas.
ExtractionResult extract(const std::vector<MaterializedSegment>& segments, int64_t width, int64_t height);

}  // namespace murmura::planara
