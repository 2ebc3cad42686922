// murmura-cli material: the material engine's output.
#include "app/render_pipeline.h"
#include "cli/command.h"

namespace murmura::cli {

Command materialCommand() {
    return Command{
        .name = "material",
        .summary = "print the material-engine output",
        .description = "Prints the material-engine output as JSON: per segment its times, type, event count,\n"
                       "properties and energy demand; the energy scale factor; the silent conditioning.",
        .positionals = {{"SESSION", "SESSION file"}},
        .run = [](const Args& args, Context& ctx) {
            printJson(ctx, encode(materialize(loadSession(ctx, args.positional[0]))));
            return 0;
        },
    };
}

}  // namespace murmura::cli
