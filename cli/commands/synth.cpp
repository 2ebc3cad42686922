// murmura-cli synth: a seeded synthetic session file.
#include <cerrno>
#include <cstdlib>

#include "cli/command.h"
#include "session/synthetic_session.h"

namespace murmura::cli {

namespace {

std::optional<uint64_t> parseSeed(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long seed = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno == ERANGE) return std::nullopt;
    return seed;
}

// x,y,w,h in points; the error follows "--window ".
Expected<Rect, std::string> parseWindow(const std::string& text) {
    std::vector<double> v;
    for (size_t start = 0;;) {
        const size_t comma = text.find(',', start);
        const std::string part = text.substr(start, comma - start);
        const auto number = parseNumber(part);
        if (!number) return unexpected("expects a number, got \"" + part + "\"");
        v.push_back(*number);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (v.size() != 4) return unexpected("expects x,y,w,h, got \"" + text + "\"");
    if (!(v[2] > 0 && v[3] > 0 && v[2] <= 8192 && v[3] <= 8192))
        return unexpected(std::string("width and height must be from 1 to 8192 points"));
    return Rect{v[0], v[1], v[2], v[3]};
}

int runSynth(const Args& args, Context& ctx) {
    SynthOptions options;
    options.minutes = args.number("minutes");
    options.seed = *parseSeed(args.value("seed"));
    if (auto window = args.get("window")) options.window = *parseWindow(*window);
    writeSession(ctx, synthesizeSession(options), args.value("out"));
    return 0;
}

}  // namespace

Command synthCommand() {
    return Command{
        .name = "synth",
        .summary = "write a realistic synthetic session",
        .description =
            "Writes a seeded, deterministic synthetic session: pointer travel, clicks, drags, scrolling,\n"
            "typing, pauses and excursions outside the window.",
        .options =
            {
                {.name = "minutes", .valueName = "M", .help = "session length in minutes (0 < M <= 1440)",
                 .validate = numberAbove0AtMost(1440), .required = true},
                {.name = "seed", .valueName = "S", .help = "unsigned 64-bit seed",
                 .validate =
                     [](const std::string& text) -> std::optional<std::string> {
                         if (parseSeed(text)) return std::nullopt;
                         return "expects an unsigned 64-bit integer, got \"" + text + "\"";
                     },
                 .required = true},
                {.name = "window", .valueName = "x,y,w,h",
                 .help = "the chosen window in global points (default 240,90,1440,900)",
                 .validate =
                     [](const std::string& text) -> std::optional<std::string> {
                         auto window = parseWindow(text);
                         return window ? std::nullopt : std::optional(window.error());
                     }},
                {.name = "out", .valueName = "SESSION", .help = "output session file", .required = true},
            },
        .run = runSynth,
    };
}

}  // namespace murmura::cli
