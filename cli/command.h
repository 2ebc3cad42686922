#pragma once
// murmura-cli's commands as data: each declares its name, help, positional arguments and options
// once; one parser turns a command line into Args (or one error line) and one generator writes
// the usage texts. Commands run in-process against the streams and environment of a Context.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "session/capture_result.h"
#include "support/expected.h"
#include "support/json.h"

namespace murmura::cli {

// A usage or input error: printed as "murmura-cli: <message>", exit status 1. An empty message
// means the line has already been printed elsewhere (the store reports an unreadable catalog).
struct CliError {
    std::string message;
};
[[noreturn]] void fail(std::string message);

// Checks an option's text: nothing when it is fine, else what is wrong, worded to follow
// "COMMAND: --NAME ", e.g. "expects a number, got \"x\"".
using Validator = std::function<std::optional<std::string>(const std::string& text)>;

struct Option {
    std::string name = {};       // "out" for --out
    std::string valueName = {};  // "FILE"; empty for a flag, which takes no value
    std::string help = {};       // may span lines
    Validator validate = {};
    bool required = false;
};

struct Positional {
    std::string name = {};  // "SESSION"
    std::string noun = {};  // in count errors ("expected one SESSION file"); the name when empty
};

struct Context;
class Args;
using RunCommand = std::function<int(const Args&, Context&)>;

struct Command {
    std::string name = {};
    std::string summary = {};      // one line in murmura-cli --help
    std::string description = {};  // what COMMAND --help says before the options
    std::vector<Positional> positionals = {};
    std::vector<Option> options = {};
    std::string notes = {};  // what COMMAND --help says after the options
    RunCommand run = {};
    // A command made of actions ("gallery list", ...): the first positional picks one, which
    // then parses the rest with its own declaration.
    std::vector<Command> actions = {};
};

// Where a command writes and what it reads from outside its arguments.
struct Context {
    std::ostream& out;
    std::ostream& err;
    std::function<std::optional<std::string>(const std::string& name)> env;
    // The file being worked on, named by the line an unexpected failure prints.
    std::string subject = {};
};

class Args {
public:
    std::string command;  // "render", "gallery export": the prefix of error lines
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;  // by option name; flags map to ""

    bool has(const std::string& name) const { return values.count(name) > 0; }
    // The option's text; an absent one fails as a missing required option would.
    const std::string& value(const std::string& name) const;
    std::optional<std::string> get(const std::string& name) const;
    // Typed values of validated options (see the validators below).
    double number(const std::string& name) const;
    int64_t integer(const std::string& name) const;
};

// Parses one command's arguments (after its name, or after the action's name).
Args parseArgs(const Command& command, const std::string& qualifiedName, const std::vector<std::string>& args);

std::string usageText(std::span<const Command> commands);
std::string helpText(const Command& command);

// Runs a whole command line (without the program name) against a table of commands: usage,
// help, dispatch, parsing. Every failure, anticipated or not, is one line on ctx.err and exit
// status 1.
int runCommandLine(std::span<const Command> commands, const std::vector<std::string>& args, Context& ctx);

// ---- validators ------------------------------------------------------------------------------

std::optional<double> parseNumber(const std::string& text);
std::optional<int64_t> parseInteger(const std::string& text, int64_t min, int64_t max);
Validator integerFrom(int64_t min, int64_t max);
Validator numberAbove0AtMost(double max);
Validator notEmpty();
Validator utf8Text();

// ---- shared pieces of commands ---------------------------------------------------------------

CaptureResult loadSession(Context& ctx, const std::string& path);
void printJson(Context& ctx, const Json& json);
// Replaces a regular file atomically (a failed write leaves the old one); a device or pipe is
// written in place. The error says what failed and why.
Expected<void, std::string> writeOutputFile(Context& ctx, const std::string& path, std::span<const uint8_t> bytes);
// Writes a session file through writeOutputFile; a failure is one error line.
void writeSession(Context& ctx, const CaptureResult& session, const std::string& path);
// An error's fixed message followed by its cause in parentheses, where one is known.
std::string withDetail(const std::string& message, const std::string& detail);

}  // namespace murmura::cli
