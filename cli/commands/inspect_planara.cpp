// murmura-cli inspect --style planara: the extraction, the grid after each step, the colouring
// and the fills of the render, in draw order.
#include <ostream>

#include "cli/commands/inspect.h"
#include "rendering/styles/planara.h"

namespace murmura::cli {

namespace {

using namespace planara;

const char* axisName(Axis a) { return a == Axis::vertical ? "vertical" : "horizontal"; }

Json rectJson(const Rect& r) { return Json::array({r.x, r.y, r.width, r.height}); }

Json extractionJson(const ExtractionResult& e) {
    Json ops = Json::array();
    for (const Op& op : e.ops) {
        if (const auto* s = std::get_if<SplitProposal>(&op)) {
            ops.push_back({{"split",
                            {{"axis", axisName(s->axis)},
                             {"coord", s->coord},
                             {"spanLo", s->spanLo},
                             {"spanHi", s->spanHi},
                             {"rank", s->rank},
                             {"round", s->round}}}});
        } else {
            ops.push_back({{"mergeStep", {{"round", std::get<MergeStep>(op).round}}}});
        }
    }
    Json candidates = Json::array();
    for (const ColorCandidate& c : e.candidates)
        candidates.push_back({{"x", c.x},
                              {"y", c.y},
                              {"priority", c.priority},
                              {"round", c.round},
                              {"isDwell", c.isDwell},
                              {"dwellDuration", c.dwellDuration}});
    Json tension = Json::array();
    for (const Point& p : e.tensionPoints) tension.push_back(Json::array({p.x, p.y}));
    return Json{{"ops", std::move(ops)},
                {"candidates", std::move(candidates)},
                {"tensionPoints", std::move(tension)},
                {"sweepTravel", e.sweepTravel},
                {"charKeyCount", e.charKeyCount},
                {"whiteBiasRounds", e.whiteBiasRounds},
                {"balanceBias", Json::array({e.balanceBias.x, e.balanceBias.y})},
                {"rounds", e.rounds}};
}

Json stagesJson(const std::vector<Stage>& stages) {
    Json out = Json::object();
    for (const Stage& s : stages) {
        Json entities = Json::array();
        for (const LineEntity& e : s.entities)
            entities.push_back({{"id", e.id},
                                {"axis", axisName(e.axis)},
                                {"coord", e.coord},
                                {"rank", e.rank},
                                {"round", e.round},
                                {"spanLo", e.spanLo},
                                {"spanHi", e.spanHi}});
        Json leaves = Json::array();
        for (const Rect& r : s.leaves) leaves.push_back(rectJson(r));
        out[std::string(s.name)] = {{"entities", std::move(entities)}, {"leaves", std::move(leaves)}};
    }
    return out;
}

}  // namespace

void inspectPlanara(const InspectInput& input, std::ostream& out) {
    const std::optional<Composition> c = compose(input.material, input.canvas.width, input.canvas.height, true);
    if (!c) {
        out << "{}";
        return;
    }
    Json cells = Json::array();
    for (const Cell& cell : c->cells)
        cells.push_back({{"rect", rectJson(cell.rect)}, {"color", Json::array({cell.color.r, cell.color.g, cell.color.b})}});
    Json fills = Json::array();
    for (const Fill& f : c->fills)
        fills.push_back({{"rect", Json::array({f.x, f.y, f.width, f.height})}, {"rgb", f.rgb}});
    const Json result{{"extraction", extractionJson(c->extraction)},
                      {"lineThickness", c->lineThickness},
                      {"stages", stagesJson(c->stages)},
                      {"colouring", {{"source", rawValue(c->source)}, {"cells", std::move(cells)}}},
                      {"fills", std::move(fills)}};
    out << result.dump();
}

}  // namespace murmura::cli
