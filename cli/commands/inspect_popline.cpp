// murmura-cli inspect --style popline: the logical canvas, the ground bytes and the extracted
// marks in drawing-list order, tube widths as drawn (after the ink budget).
#include <cinttypes>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "cli/commands/inspect.h"
#include "rendering/styles/popline.h"

namespace murmura::cli {

namespace {

Json point(Point p) { return Json::array({p.x, p.y}); }

std::string hex(uint64_t v) {
    char text[19];
    std::snprintf(text, sizeof text, "0x%016" PRIx64, v);
    return text;
}

Json describe(const popline::Element& element) {
    struct Visitor {
        Json operator()(const popline::Tube& e) const {
            Json points = Json::array();
            for (const Point& p : e.points) points.push_back(point(p));
            return {{"tube", {{"points", std::move(points)}, {"width", e.width}}}};
        }
        Json operator()(const popline::Radiate& e) const {
            return {{"radiate",
                     {{"center", point(e.center)}, {"count", e.count}, {"inner", e.inner}, {"lenLo", e.lenLo},
                      {"lenHi", e.lenHi}, {"width", e.width}, {"baseAngle", e.baseAngle}, {"seed", hex(e.seed)}}}};
        }
        Json operator()(const popline::ClickDot& e) const {
            return {{"clickDot", {{"p", point(e.p)}, {"r", e.r}, {"kind", e.kind}, {"seed", hex(e.seed)}}}};
        }
        Json operator()(const popline::Tick& e) const {
            return {{"tick",
                     {{"p", point(e.p)}, {"len", e.len}, {"width", e.width}, {"angle", e.angle}, {"cross", e.cross}}}};
        }
    };
    return std::visit(Visitor{}, element);
}

}  // namespace

void inspectPopline(const InspectInput& input, std::ostream& out) {
    const LogicalCanvas lg = logicalCanvas(input.canvas.width, input.canvas.height);
    const auto ground = popline::groundBytes(input.material.conditioning.silentRatio);
    std::vector<popline::Element> list = popline::extract(input.material.segments, lg.width, lg.height, 1 / lg.k);
    const double ink = popline::tubeInk(list, lg.width, lg.height);
    const double factor = popline::fitTubeInk(list, lg.width, lg.height);
    Json elements = Json::array();
    for (const popline::Element& e : list) elements.push_back(describe(e));
    Json result = {{"logical", {{"k", lg.k}, {"width", lg.width}, {"height", lg.height}}},
                   {"groundBytes", Json::array({ground[0], ground[1], ground[2]})},
                   {"tubeInk", ink},
                   {"tubeWidthFactor", factor},
                   {"elements", std::move(elements)}};
    out << result.dump();
}

}  // namespace murmura::cli
