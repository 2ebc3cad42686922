#pragma once
// The marks of the Popline style and the single pass over a session's events that makes them:
// pointer travel becomes bold tubes, pauses, sharp turns and flicks radiating dashes, clicks
// dots and typing small strokes and crosses. Nothing is drawn here.
#include <cstdint>
#include <variant>
#include <vector>

#include "material/material_engine.h"
#include "support/geometry.h"

namespace murmura::popline {

// A thick rounded line through the points (logical units).
struct Tube {
    std::vector<Point> points;
    double width = 0;
    int64_t color = 0;  // always 0: every mark is chalk
};

// Dashes radiating from a centre, starting at radius inner, lenLo to lenHi long.
struct Radiate {
    Point center;
    int64_t count = 0;
    double inner = 0;
    double lenLo = 0;
    double lenHi = 0;
    double width = 0;
    double baseAngle = 0;  // radians
    uint64_t seed = 0;
};

// kind 0: a disc; 1: a ring dot (a disc with an inner disc in the ink colour); 2: a small
// disc with eight short rays.
struct ClickDot {
    Point p;
    double r = 0;
    int64_t kind = 0;
    int64_t color = 0;  // always 0
    uint64_t seed = 0;
};

// A typed key: a short stroke centred on p, or a cross.
struct Tick {
    Point p;
    double len = 0;
    double width = 0;
    double angle = 0;  // radians
    bool cross = false;
};

using Element = std::variant<Tube, Radiate, ClickDot, Tick>;

// One pass over the segments' events (segment after segment, all events whether in scope or
// not), in creation order. Positions are canvas pixels; pointScale maps them to logical
// units, whose canvas is logicalWidth x logicalHeight.
std::vector<Element> extract(const std::vector<MaterializedSegment>& segments, double logicalWidth,
                             double logicalHeight, double pointScale);

}  // namespace murmura::popline
