// murmura-cli: the analysis and rendering pipeline of Murmura from the command line.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "cli/commands/commands.h"
#include "support/diagnostics.h"

int main(int argc, char** argv) {
    using namespace murmura;
    // Renderers' progress lines: standard output stays machine-readable.
    setDiagnosticStream(stderr);
    try {
        cli::Context ctx{std::cout, std::cerr, [](const std::string& name) -> std::optional<std::string> {
                             const char* value = std::getenv(name.c_str());
                             return value ? std::optional<std::string>(value) : std::nullopt;
                         }};
        const int status = cli::runCommandLine(cli::commands(), std::vector<std::string>(argv + 1, argv + argc), ctx);
        std::cout.flush();
        if (!std::cout) {
            std::fputs("murmura-cli: cannot write to standard output\n", stderr);
            return 1;
        }
        return status;
    } catch (...) {
        // Only what runs outside a command (building the table) gets here.
        std::fputs("murmura-cli: unexpected failure\n", stderr);
        return 1;
    }
}
