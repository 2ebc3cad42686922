// murmura-cli segments: the session's segments and silent spans.
#include "app/render_pipeline.h"
#include "cli/command.h"

namespace murmura::cli {

namespace {
int runSegments(const Args& args, Context& ctx) {
    const SessionAnalysis analysis = analyseSession(loadSession(ctx, args.positional[0]));
    Json segments = Json::array();
    for (const auto& s : analysis.segments) segments.push_back(encode(s));
    Json spans = Json::array();
    for (const auto& s : analysis.silentSpans) spans.push_back(encode(s));
    Json out = Json::object();
    out["segments"] = std::move(segments);
    out["silentSpans"] = std::move(spans);
    out["silentRatio"] = analysis.silentRatio;
    printJson(ctx, out);
    return 0;
}
}  // namespace

Command segmentsCommand() {
    return Command{
        .name = "segments",
        .summary = "print the session's segments and silent spans",
        .description = "Rebases the session to canvas pixels and prints\n"
                       "{\"segments\": [...], \"silentSpans\": [...], \"silentRatio\": r} as JSON.",
        .positionals = {{"SESSION", "SESSION file"}},
        .run = runSegments,
    };
}

}  // namespace murmura::cli
