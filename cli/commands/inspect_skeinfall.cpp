// murmura-cli inspect --style skeinfall: the anchors, the blob counts after each phase and the
// blobs as [x, y, paletteIndex, radius, alpha].
#include <ostream>

#include "cli/commands/inspect_list.h"
#include "rendering/styles/skeinfall.h"

namespace murmura::cli {

void inspectSkeinfall(const InspectInput& input, std::ostream& out) {
    const auto anchors = skeinfall::anchors(input.material.segments, static_cast<float>(input.canvas.width),
                                            static_cast<float>(input.canvas.height));
    const skeinfall::Blobs paint = skeinfall::throwPaint(anchors);
    std::string text = "{\"anchors\":[";
    for (size_t i = 0; i < anchors.size(); ++i) {
        if (i > 0) text += ',';
        appendJsonTuple(text, anchors[i].x, anchors[i].y);
    }
    text += "],\"phaseEnds\":";
    appendJsonTuple(text, paint.phaseEnds[0], paint.phaseEnds[1], paint.phaseEnds[2], paint.phaseEnds[3]);
    text += ",\"splats\":[";
    const ListRange range = listRange(input.options, paint.blobs.size());
    for (size_t i = range.begin; i < range.end; ++i) {
        const skeinfall::Blob& b = paint.blobs[i];
        if (i > range.begin) text += ',';
        appendJsonTuple(text, b.x, b.y, b.paletteIndex, b.radius, b.alpha);
    }
    out << text << "]}";
}

}  // namespace murmura::cli
