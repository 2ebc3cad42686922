// The charcoal style's intermediate results: the simulation scale and grid, the stroke phase's
// counters, and the ink state calculator's inputs and outputs for every replayed event.
#include <cstdint>
#include <ostream>
#include <string>

#include "cli/commands/inspect.h"
#include "rendering/artwork_renderer.h"
#include "rendering/styles/charcoal.h"
#include "support/json.h"

namespace murmura::cli {

namespace {

void number(std::string& out, double v) {
    if (!appendJsonNumber(out, v)) out += "null";
}

void field(std::string& out, const char* key, double v) {
    out += ",\"";
    out += key;
    out += "\":";
    number(out, v);
}

void flag(std::string& out, const char* key, bool v) {
    out += ",\"";
    out += key;
    out += v ? "\":true" : "\":false";
}

void appendEvent(std::string& out, const InkTraceEvent& e) {
    const InkDrawParameters& q = e.parameters;
    out += "{\"segment\":" + std::to_string(e.segment) + ",\"index\":" + std::to_string(e.index);
    field(out, "timestamp", e.timestamp);
    out += ",\"position\":";
    if (e.position) {
        out += '[';
        number(out, e.position->x);
        out += ',';
        number(out, e.position->y);
        out += ']';
    } else {
        out += "null";
    }
    flag(out, "contact", e.contact);
    flag(out, "active", e.active);
    field(out, "inkBefore", e.inkBefore);
    field(out, "inkLevel", q.newState.inkLevel);
    field(out, "brushSize", q.brushSize);
    field(out, "alpha", q.alpha);
    field(out, "erosionStrength", q.erosionStrength);
    field(out, "poolingAmount", q.poolingAmount);
    flag(out, "isSplatter", q.isSplatter);
    flag(out, "isFlyingWhite", q.isFlyingWhite);
    flag(out, "isPooling", q.isPooling);
    flag(out, "triggerGlobalDrying", q.triggerGlobalDrying);
    field(out, "dryingIntensity", q.dryingIntensity);
    out += '}';
}

}  // namespace

void inspectCharcoal(const InspectInput& input, std::ostream& out) {
    const size_t from = input.options.has("from") ? static_cast<size_t>(input.options.integer("from")) : 0;
    const size_t count = input.options.has("count") ? static_cast<size_t>(input.options.integer("count")) : SIZE_MAX;
    const ArtworkRenderer renderer(input.canvas.width, input.canvas.height, InkStyle::longSessionStable, gesturalFlag());
    const InkTrace t = renderer.trace(input.material, from, count);
    const StrokeSummary& s = t.summary;
    std::string text = "{\"simScale\":" + std::to_string(t.simScale) + ",\"grid\":[" + std::to_string(t.gridWidth) +
                       "," + std::to_string(t.gridHeight) + "],\"summary\":{\"strokes\":" + std::to_string(s.strokes) +
                       ",\"entryTapers\":" + std::to_string(s.entryTapers) + ",\"exitTapers\":" +
                       std::to_string(s.exitTapers) + ",\"events\":" + std::to_string(s.events) +
                       ",\"keyDots\":" + std::to_string(s.keyDots) + ",\"pooling\":" + std::to_string(s.pooling) +
                       "},\"events\":[";
    for (size_t i = 0; i < t.events.size(); ++i) {
        if (i) text += ',';
        appendEvent(text, t.events[i]);
        if (text.size() > (1u << 20)) out << text, text.clear();
    }
    text += "]}";
    out << text;
}

}  // namespace murmura::cli
