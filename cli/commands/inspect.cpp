// murmura-cli inspect SESSION --style ID: dispatches to the style's inspector.
#include "cli/commands/inspect.h"

#include <ostream>

#include "cli/commands/commands.h"
#include "rendering/style_registry.h"

namespace murmura::cli {

#define MURMURA_INSPECTOR(id, function) void function(const InspectInput& input, std::ostream& out);
#include "cli/commands/inspectors.def"
#undef MURMURA_INSPECTOR

const InspectorTable& inspectors() {
    static const InspectorTable table = {
#define MURMURA_INSPECTOR(id, function) {id, function},
#include "cli/commands/inspectors.def"
#undef MURMURA_INSPECTOR
    };
    return table;
}

int runInspect(const Args& args, Context& ctx, const InspectorTable& table) {
    const std::string& styleID = args.value("style");
    if (!makeFullRegistry().renderer(styleID))
        fail("inspect: unknown style \"" + styleID + "\" (see murmura-cli styles --all)");
    const auto inspector = table.find(styleID);
    if (inspector == table.end()) fail("inspect: style '" + styleID + "' has no intermediate results to show");
    const CaptureResult session = loadSession(ctx, args.positional[0]);
    const CanvasSize canvas = requestedCanvas(args, session);
    const MaterialEngineOutput material = materialize(session, canvas);
    inspector->second(InspectInput{session, material, canvas, args}, ctx.out);
    ctx.out << '\n';
    return 0;
}

Command inspectCommand() {
    const Validator index = integerFrom(0, INT64_MAX);
    return Command{
        .name = "inspect",
        .summary = "print a style's intermediate results as JSON",
        .description = "Prints the intermediate results of a style's rendering of the session as one JSON object,\n"
                       "on the canvas the same options of render give. Styles that list many items show\n"
                       "those from --from on, at most --count of them.",
        .positionals = {{"SESSION", "SESSION file"}},
        .options =
            {
                {.name = "style", .valueName = "ID", .help = "style identifier (see 'murmura-cli styles --all')",
                 .required = true},
                widthOption(),
                heightOption(),
                {.name = "from", .valueName = "I", .help = "index of the first listed item (default 0)",
                 .validate = index},
                {.name = "count", .valueName = "N", .help = "how many items to list at most (default: all)",
                 .validate = index},
            },
        .run = [](const Args& args, Context& ctx) { return runInspect(args, ctx, inspectors()); },
    };
}

}  // namespace murmura::cli
