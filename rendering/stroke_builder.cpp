#include "rendering/stroke_builder.h"

#include <string>

#include "support/diagnostics.h"
#include "support/text.h"

namespace murmura {

namespace {

std::string pointText(Point p) { return "(" + shortestDecimal(p.x) + ", " + shortestDecimal(p.y) + ")"; }

}  // namespace

std::vector<StrokePoint> StrokeBuilder::buildPath(std::span<const RawEvent> events, double opacity,
                                                  double width) const {
    std::vector<StrokePoint> points;
    for (const RawEvent& e : events) {
        if (!e.position) continue;
        const double factor = e.type == EventType::mouseDown ? 1.5 : e.type == EventType::mouseDragged ? 1.2 : 1.0;
        points.push_back({*e.position, width * factor, opacity, e.timestamp});
    }
    return points;
}

std::vector<StrokeData> StrokeBuilder::buildStrokes(const std::vector<MaterializedSegment>& segments) const {
    std::vector<StrokeData> strokes;
    strokes.reserve(segments.size());
    for (const MaterializedSegment& m : segments) {
        auto points = buildPath(m.segment.events, m.properties.opacity(), m.properties.strokeWidth());
        diagnostic("Segment " + std::to_string(m.segment.events.size()) + " events, built " +
                   std::to_string(points.size()) + " points");
        if (!points.empty())
            diagnostic("  First point: " + pointText(points.front().position) + ", Last: " +
                       pointText(points.back().position));
        strokes.push_back({StrokePath{std::move(points), false}, m.properties});
    }
    return strokes;
}

}  // namespace murmura
