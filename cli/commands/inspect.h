#pragma once
// murmura-cli inspect: a style's intermediate results as one JSON object, so that independent
// checks can compare them.
//
// A style shows its results by adding cli/commands/inspect_<style>.cpp, which defines
//     void inspect<Style>(const InspectInput& input, std::ostream& out)
// in namespace murmura::cli, writing one JSON object (no trailing newline) to out, and one line
// to inspectors.def. Numbers: Json values (dump gives the shortest round trip) or, for long
// streamed lists, appendJsonNumber (support/json.h).
#include <iosfwd>
#include <map>
#include <string>

#include "app/render_pipeline.h"
#include "cli/command.h"

namespace murmura::cli {

struct InspectInput {
    const CaptureResult& session;          // as read from the file
    const MaterialEngineOutput& material;  // the renderer's input on this canvas
    CanvasSize canvas;                     // --width/--height, else the default canvas
    const Args& options;                   // --from, --count and whatever inspect declares later
};

using Inspector = void (*)(const InspectInput& input, std::ostream& out);
using InspectorTable = std::map<std::string, Inspector, std::less<>>;

// The styles' inspectors, from inspectors.def.
const InspectorTable& inspectors();

// The command's body against any table (tests use their own).
int runInspect(const Args& args, Context& ctx, const InspectorTable& table);

}  // namespace murmura::cli
