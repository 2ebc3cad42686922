#pragma once
// The marks of the Graffo scrawl style and the single pass over a session's events that makes
// them: pointer travel becomes scrawls, resting places knots, clicks bursts and typing ticks,
// each assigned to a layer of session time. Nothing is drawn here.
#include <array>
#include <cstdint>
#include <map>
#include <variant>
#include <vector>

#include "material/material_engine.h"
#include "support/geometry.h"

namespace murmura::graffo {

struct Pigment {
    double r = 0;
    double g = 0;
    double b = 0;
    friend bool operator==(const Pigment&, const Pigment&) = default;
};

inline constexpr Pigment kPaper{0.906, 0.886, 0.846};
inline constexpr std::array<Pigment, 8> kPigmentPalette{{
    {0.86, 0.36, 0.13},
    {0.78, 0.17, 0.14},
    {0.36, 0.5, 0.26},
    {0.55, 0.24, 0.46},
    {0.88, 0.7, 0.18},
    {0.66, 0.46, 0.2},
    {0.7, 0.28, 0.3},
    {0.28, 0.42, 0.4},
}};
inline constexpr Pigment kGraphite{0.165, 0.158, 0.17};
inline constexpr std::array<Pigment, 5> kBurstPalette{{
    {0.9, 0.28, 0.12},
    {0.84, 0.13, 0.13},
    {0.93, 0.74, 0.16},
    {0.4, 0.55, 0.24},
    {0.62, 0.22, 0.52},
}};

// Pointer travel: a wobbly crayon line. weights are stroke widths and grain values in
// [0.62, 1], one of each per point.
struct Scrawl {
    std::vector<Point> points;
    std::vector<double> weights;
    std::vector<double> grain;
    int64_t layer = 0;
    bool drag = false;  // made with the button down
    Pigment pigment;
    bool graphiteMark = false;
    uint64_t seed = 0;
};

// A resting place of the pointer: a tangle of loops.
struct Knot {
    Point center;
    double radius = 0;
    int64_t loops = 0;
    int64_t layer = 0;
    Pigment pigment;
    uint64_t seed = 0;
};

// A click: a fan of short strokes with a blot. color indexes kBurstPalette.
struct Burst {
    Point center;
    double dir = 0;  // radians
    int64_t layer = 0;
    int64_t color = 0;
    uint64_t seed = 0;
};

// A typed key: a short curved mark.
struct Tick {
    Point from;
    Point to;
    double weight = 0;
    int64_t layer = 0;
    Pigment pigment;
};

using Element = std::variant<Scrawl, Knot, Burst, Tick>;

int64_t layerOf(const Element& element);

struct LayerTimes {
    double first = 0;
    double last = 0;
};

struct Extraction {
    std::vector<Element> elements;        // in creation order
    std::map<int64_t, LayerTimes> layers;  // first and last time of a mark per layer
    double endTime = 0;                    // largest event timestamp (0 without events)
    double deleteFade = 0;                 // grows with delete keys, at most 0.06
};

// One pass over the segments' events (segment after segment, all events whether in scope or
// not). Positions are canvas pixels; pointScale maps them to logical units, whose canvas is
// logicalWidth x logicalHeight.
Extraction extract(const std::vector<MaterializedSegment>& segments, double logicalWidth, double logicalHeight,
                   double pointScale);

}  // namespace murmura::graffo
