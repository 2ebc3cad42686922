// murmura-cli styles: the style registry's descriptors.
#include "cli/command.h"
#include "rendering/style_registry.h"

namespace murmura::cli {

namespace {
int runStyles(const Args& args, Context& ctx) {
    const StyleRegistry registry = args.has("all") ? makeFullRegistry() : makeDefaultRegistry();
    Json out = Json::array();
    for (const auto& d : registry.descriptors()) out.push_back(encode(d));
    printJson(ctx, out);
    return 0;
}
}  // namespace

Command stylesCommand() {
    return Command{
        .name = "styles",
        .summary = "list the styles as JSON",
        .description = "Prints the style registry's descriptors as a JSON array in registry order.",
        .options = {{.name = "all", .help = "include the styles the application does not offer"}},
        .run = runStyles,
    };
}

}  // namespace murmura::cli
