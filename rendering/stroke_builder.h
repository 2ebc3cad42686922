#pragma once
// Materialized segments as simple stroke paths: points with width, opacity and time. A general
// utility of the rendering module.
#include <vector>

#include "material/material_engine.h"
#include "support/geometry.h"

namespace murmura {

struct StrokePoint {
    Point position;
    double width = 0;
    double opacity = 0;
    double timestamp = 0;
    friend bool operator==(const StrokePoint&, const StrokePoint&) = default;
};

struct StrokePath {
    std::vector<StrokePoint> points;
    bool isClosed = false;
};

struct StrokeData {
    StrokePath path;
    MaterialProperties properties;
};

struct StrokeBuilder {
    // One stroke per segment, in order; prints a line (two with points) per segment.
    std::vector<StrokeData> buildStrokes(const std::vector<MaterializedSegment>& segments) const;
    // A point per event with a position: width x 1.5 on a press, x 1.2 on a drag step.
    std::vector<StrokePoint> buildPath(std::span<const RawEvent> events, double opacity, double width) const;
};

}  // namespace murmura
