#include "cli/commands/commands.h"

namespace murmura::cli {

#define MURMURA_CLI_COMMAND(factory) Command factory();
#include "cli/commands/commands.def"
#undef MURMURA_CLI_COMMAND

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
#define MURMURA_CLI_COMMAND(factory) factory(),
#include "cli/commands/commands.def"
#undef MURMURA_CLI_COMMAND
    };
    return table;
}

}  // namespace murmura::cli
