#include "cli/command.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

#include "support/atomic_file.h"
#include "support/text.h"

namespace murmura::cli {

void fail(std::string message) { throw CliError{std::move(message)}; }

namespace {

constexpr size_t kLineWidth = 100;
constexpr size_t kOptionColumn = 23;

bool isHelp(const std::string& a) { return a == "--help" || a == "-h"; }

const Option* findOption(const Command& command, const std::string& name) {
    for (const Option& o : command.options)
        if (o.name == name) return &o;
    return nullptr;
}

std::string optionSynopsis(const Option& o) {
    std::string text = "--" + o.name + (o.valueName.empty() ? "" : " " + o.valueName);
    return o.required ? text : "[" + text + "]";
}

std::vector<std::string> synopsisWords(const Command& command) {
    std::vector<std::string> words;
    for (const Positional& p : command.positionals) words.push_back(p.name);
    for (const Option& o : command.options) words.push_back(optionSynopsis(o));
    return words;
}

// "prefix word word ..." wrapped at kLineWidth, continuation lines aligned after the prefix.
std::string wrapped(const std::string& prefix, const std::vector<std::string>& words) {
    const std::string indent(prefix.size(), ' ');
    std::string text = prefix;
    size_t lineLength = prefix.size();
    for (const std::string& w : words) {
        if (lineLength > indent.size() && lineLength + 1 + w.size() > kLineWidth) {
            text += "\n" + indent;
            lineLength = indent.size();
        }
        text += " " + w;
        lineLength += 1 + w.size();
    }
    return text + "\n";
}

// Help text in a column: every line after the first indented to it.
std::string indented(const std::string& help, size_t column) {
    std::string out;
    for (char c : help) {
        out += c;
        if (c == '\n') out.append(column, ' ');
    }
    return out;
}

std::string column(std::string head, size_t width, const std::string& text) {
    head += head.size() + 1 <= width ? std::string(width - head.size(), ' ') : "\n" + std::string(width, ' ');
    return head + indented(text, width) + "\n";
}

std::string countError(const Command& command, const std::string& name, const std::vector<std::string>& given) {
    if (command.positionals.empty()) return name + ": unexpected argument \"" + given[0] + "\"";
    std::string nouns;
    for (size_t i = 0; i < command.positionals.size(); ++i) {
        const Positional& p = command.positionals[i];
        if (i > 0) nouns += i + 1 == command.positionals.size() ? " and " : ", ";
        nouns += p.noun.empty() ? p.name : p.noun;
    }
    if (command.positionals.size() == 1) nouns = "one " + nouns;
    return name + ": expected " + nouns + " (see murmura-cli " + name + " --help)";
}

std::string actionNames(const Command& group, const char* join, const char* lastJoin) {
    std::string names;
    for (size_t i = 0; i < group.actions.size(); ++i) {
        if (i > 0) names += i + 1 == group.actions.size() ? lastJoin : join;
        names += group.actions[i].name;
    }
    return names;
}

// The action a group's arguments name (their first positional), removed from args.
const Command& takeAction(const Command& group, std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("--", 0) == 0) {
            for (const Command& action : group.actions)
                if (const Option* o = findOption(action, args[i].substr(2)); o && !o->valueName.empty()) {
                    ++i;
                    break;
                }
            continue;
        }
        for (const Command& action : group.actions)
            if (action.name == args[i]) {
                args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
                return action;
            }
        fail(group.name + ": unknown action \"" + args[i] + "\" (expected " + actionNames(group, ", ", " or ") + ")");
    }
    fail(group.name + ": expected " + actionNames(group, ", ", " or ") + " (see murmura-cli " + group.name + " --help)");
}

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace

// ---- Args ------------------------------------------------------------------------------------

const std::string& Args::value(const std::string& name) const {
    auto it = values.find(name);
    if (it == values.end()) fail(command + ": missing --" + name + " (see murmura-cli " + command + " --help)");
    return it->second;
}

std::optional<std::string> Args::get(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() ? std::nullopt : std::optional(it->second);
}

double Args::number(const std::string& name) const {
    const auto v = parseNumber(value(name));
    if (!v) fail(command + ": --" + name + " expects a number, got \"" + value(name) + "\"");
    return *v;
}

int64_t Args::integer(const std::string& name) const {
    const auto v = parseInteger(value(name), INT64_MIN, INT64_MAX);
    if (!v) fail(command + ": --" + name + " expects an integer, got \"" + value(name) + "\"");
    return *v;
}

Args parseArgs(const Command& command, const std::string& name, const std::vector<std::string>& args) {
    Args parsed;
    parsed.command = name;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            parsed.positional.push_back(a);
            continue;
        }
        const Option* option = findOption(command, a.substr(2));
        if (!option) fail(name + ": unknown option " + a);
        if (option->valueName.empty()) {
            parsed.values[option->name] = "";
            continue;
        }
        if (i + 1 >= args.size()) fail(name + ": option " + a + " needs a value");
        const std::string& text = args[++i];
        if (option->validate)
            if (auto problem = option->validate(text)) fail(name + ": " + a + " " + *problem);
        parsed.values[option->name] = text;
    }
    if (parsed.positional.size() != command.positionals.size()) fail(countError(command, name, parsed.positional));
    for (const Option& o : command.options)
        if (o.required) parsed.value(o.name);
    return parsed;
}

// ---- usage texts -----------------------------------------------------------------------------

std::string usageText(std::span<const Command> commands) {
    std::string text = "usage: murmura-cli COMMAND [ARGS]\n\ncommands:\n";
    for (const Command& c : commands) {
        std::string synopsis = c.name;
        if (!c.actions.empty()) {
            synopsis += " " + actionNames(c, "|", "|");
        } else {
            std::string full = c.name, brief = c.name;
            for (const std::string& w : synopsisWords(c)) full += " " + w;
            for (const Positional& p : c.positionals) brief += " " + p.name;
            bool optional = false;
            for (const Option& o : c.options) {
                if (o.required) brief += " " + optionSynopsis(o);
                optional = optional || !o.required;
            }
            synopsis = full.size() <= 33 || !optional ? full : brief + " [OPTIONS]";
        }
        text += column("  " + synopsis, 37, c.summary);
    }
    return text + "\nRun 'murmura-cli COMMAND --help' for a command's options.\n";
}

std::string helpText(const Command& command) {
    std::string text;
    std::vector<const Option*> options;
    if (command.actions.empty()) {
        text = wrapped("usage: murmura-cli " + command.name, synopsisWords(command));
        for (const Option& o : command.options) options.push_back(&o);
    } else {
        for (const Command& a : command.actions) {
            text += wrapped((text.empty() ? "usage: murmura-cli " : "       murmura-cli ") + command.name + " " + a.name,
                            synopsisWords(a));
            for (const Option& o : a.options)
                if (std::none_of(options.begin(), options.end(), [&](const Option* s) { return s->name == o.name; }))
                    options.push_back(&o);
        }
    }
    if (!command.description.empty()) text += command.description + "\n";
    for (const Command& a : command.actions) text += column("  " + a.name, 11, a.description);
    for (const Option* o : options)
        text += column("  --" + o->name + (o->valueName.empty() ? "" : " " + o->valueName), kOptionColumn, o->help);
    if (!command.notes.empty()) text += command.notes + "\n";
    return text;
}

// ---- dispatch --------------------------------------------------------------------------------

int runCommandLine(std::span<const Command> commands, const std::vector<std::string>& args, Context& ctx) {
    if (args.empty()) {
        ctx.err << usageText(commands);
        return 1;
    }
    if (isHelp(args[0]) || args[0] == "help") {
        ctx.out << usageText(commands);
        return 0;
    }
    const auto command = std::find_if(commands.begin(), commands.end(), [&](const Command& c) { return c.name == args[0]; });
    if (command == commands.end()) {
        ctx.err << "murmura-cli: unknown command \"" << args[0] << "\" (see murmura-cli --help)\n";
        return 1;
    }
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (std::any_of(rest.begin(), rest.end(), isHelp)) {
        ctx.out << helpText(*command);
        return 0;
    }
    std::string name = command->name;
    try {
        const Command& chosen = command->actions.empty() ? *command : takeAction(*command, rest);
        if (&chosen != &*command) name += " " + chosen.name;
        return chosen.run(parseArgs(chosen, name, rest), ctx);
    } catch (const CliError& e) {
        if (!e.message.empty()) ctx.err << "murmura-cli: " << e.message << '\n';
    } catch (const std::bad_alloc&) {
        ctx.err << "murmura-cli: " << name << ": out of memory\n";
    } catch (const std::exception& e) {
        ctx.err << "murmura-cli: " << name << ": " << (ctx.subject.empty() ? "" : ctx.subject + ": ")
                << oneLine(e.what()) << '\n';
    } catch (...) {
        ctx.err << "murmura-cli: " << name << ": " << (ctx.subject.empty() ? "" : ctx.subject + ": ")
                << "unexpected failure\n";
    }
    return 1;
}

// ---- validators ------------------------------------------------------------------------------

std::optional<double> parseNumber(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<int64_t> parseInteger(const std::string& text, int64_t min, int64_t max) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || v < min || v > max) return std::nullopt;
    return v;
}

Validator integerFrom(int64_t min, int64_t max) {
    return [min, max](const std::string& text) -> std::optional<std::string> {
        if (parseInteger(text, min, max)) return std::nullopt;
        return "expects an integer from " + std::to_string(min) + " to " + std::to_string(max) + ", got \"" + text +
               "\"";
    };
}

Validator numberAbove0AtMost(double max) {
    return [max](const std::string& text) -> std::optional<std::string> {
        const auto v = parseNumber(text);
        if (!v) return "expects a number, got \"" + text + "\"";
        if (*v > 0 && *v <= max) return std::nullopt;
        char limit[32];
        std::snprintf(limit, sizeof limit, "%g", max);
        return std::string("must be above 0 and at most ") + limit;
    };
}

Validator notEmpty() {
    return [](const std::string& text) -> std::optional<std::string> {
        if (text.empty()) return "must not be empty";
        return std::nullopt;
    };
}

Validator utf8Text() {
    return [](const std::string& text) -> std::optional<std::string> {
        if (isValidUtf8(text)) return std::nullopt;
        return "is not valid UTF-8 text";
    };
}

// ---- shared pieces ---------------------------------------------------------------------------

CaptureResult loadSession(Context& ctx, const std::string& path) {
    ctx.subject = path;
    auto session = readSessionFile(path);
    if (!session) fail(path + ": " + session.error());
    return std::move(session).value();
}

void printJson(Context& ctx, const Json& json) { ctx.out << json.dump(2) << '\n'; }

Expected<void, std::string> writeOutputFile(Context& ctx, const std::string& path, std::span<const uint8_t> bytes) {
    ctx.subject = path;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status) || std::filesystem::is_regular_file(status))
        return writeFileAtomically(path, bytes);
    std::ofstream file(path, std::ios::binary);
    if (file) file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (file) file.close();
    if (!file) return unexpected("Cannot write " + path + ": " + std::strerror(errno));
    return {};
}

void writeSession(Context& ctx, const CaptureResult& session, const std::string& path) {
    const std::string text = encodeSessionFile(session);
    auto written = writeOutputFile(ctx, path, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    if (!written) fail(path + ": cannot write the session: " + written.error());
}

std::string withDetail(const std::string& message, const std::string& detail) {
    return detail.empty() || detail == message ? message : message + " (" + detail + ")";
}

}  // namespace murmura::cli
