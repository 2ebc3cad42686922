// murmura-cli inspect --style neon: the stride, the heat dots as [x, y, heat, radius, kind] in
// the order they are added, and the peak the combined heat is divided by.
#include <ostream>

#include "cli/commands/inspect_list.h"
#include "rendering/styles/neon.h"

namespace murmura::cli {

void inspectNeon(const InspectInput& input, std::ostream& out) {
    const auto w = static_cast<float>(input.canvas.width), h = static_cast<float>(input.canvas.height);
    const std::vector<neon::Dot> dots = neon::dots(input.material.segments, w, h);
    std::string text = "{\"stride\":" + std::to_string(neon::stride(input.material.segments)) + ",\"splats\":[";
    const ListRange range = listRange(input.options, dots.size());
    for (size_t i = range.begin; i < range.end; ++i) {
        const neon::Dot& d = dots[i];
        if (i > range.begin) text += ',';
        appendJsonTuple(text, d.x, d.y, d.heat, d.radius);
        text.pop_back();
        text += d.kind == neon::Kind::contact ? ",\"contact\"]" : d.kind == neon::Kind::hover ? ",\"hover\"]" : ",\"drop\"]";
    }
    text += "],\"peak\":";
    auto sim = EmissiveSim::create(input.canvas.width, input.canvas.height, neon::simConfig());
    if (sim) {
        sim->applySplats(neon::splats(dots));
        appendJsonNumber(text, sim->peak());
    } else {
        text += "null";
    }
    out << text << '}';
}

}  // namespace murmura::cli
