// The declared-command parser and each command's wiring, run in-process; the binary once.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <regex>
#include <sstream>

#include "../test_events.h"
#include "../test_files.h"
#include "cli/commands/commands.h"
#include "cli/commands/inspect.h"
#include "rendering/artwork_renderer.h"
#include "rendering/png_io.h"
#include "rendering/styles/planara.h"

using namespace murmura;
using namespace murmura::cli;

namespace {

struct Result {
    int status;
    std::string out, err;
};

Result run(std::span<const Command> table, const std::vector<std::string>& args,
           std::map<std::string, std::string> env = {}) {
    std::ostringstream out, err;
    Context ctx{out, err, [env](const std::string& name) -> std::optional<std::string> {
                    auto it = env.find(name);
                    return it == env.end() ? std::nullopt : std::optional(it->second);
                }};
    const int status = runCommandLine(table, args, ctx);
    return {status, out.str(), err.str()};
}
Result run(const std::vector<std::string>& args, std::map<std::string, std::string> env = {}) {
    return run(commands(), args, std::move(env));
}

const Command& command(const std::string& name) {
    return *std::find_if(commands().begin(), commands().end(), [&](const Command& c) { return c.name == name; });
}

const std::vector<Command> kProbe = {{
    .name = "probe",
    .summary = "probe things",
    .description = "Probes.",
    .positionals = {{"IN", "IN file"}, {"OUT"}},
    .options = {{.name = "size", .valueName = "N", .help = "how big", .validate = integerFrom(1, 9), .required = true},
                {.name = "fast", .help = "hurry\nvery much"}},
    .run = [](const Args& a, Context& c) { return (c.out << a.positional[0] << a.positional[1] << a.integer("size")
                                                         << a.has("fast"), 0); },
}};

class CommandTest : public ::testing::Test {
protected:
    test::ScratchDirectory dir_{"murmura-cli"};
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    // A 60 s session in the window (100, 50, 400, 300).
    std::string session(std::vector<RawEvent> events) const {
        test::writeFile(path("s.json"), encodeSessionFile(CaptureResult{std::move(events), 60, 0, Rect{100, 50, 400, 300}}));
        return path("s.json");
    }
};

}  // namespace

TEST(CommandParser, GeneratesUsageAndHelpFromTheDeclaration) {
    EXPECT_EQ(helpText(kProbe[0]),
              "usage: murmura-cli probe IN OUT --size N [--fast]\nProbes.\n"
              "  --size N             how big\n  --fast               hurry\n                       very much\n");
    EXPECT_NE(usageText(kProbe).find("\n  probe IN OUT --size N [--fast]     probe things\n"), std::string::npos);
    const Result help = run(kProbe, {"probe", "--bogus", "--help"}), none = run(kProbe, {});
    EXPECT_EQ(std::tie(help.status, help.out), std::make_tuple(0, helpText(kProbe[0])));
    EXPECT_EQ(std::tie(none.status, none.err), std::make_tuple(1, usageText(kProbe)));
}

struct ParseCase {
    std::vector<std::string> args;
    std::string err;  // empty: succeeds with out "ab31"
    friend void PrintTo(const ParseCase& c, std::ostream* os) { *os << (c.err.empty() ? "accepted" : c.err); }
};
class CommandParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CommandParse, AcceptsOrFailsWithOneLine) {
    std::vector<std::string> args = {"probe"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    Result r = run(kProbe, args);
    EXPECT_EQ(r.status, GetParam().err.empty() ? 0 : 1);
    EXPECT_EQ(r.out, GetParam().err.empty() ? "ab31" : "");
    EXPECT_EQ(r.err, GetParam().err.empty() ? "" : "murmura-cli: " + GetParam().err + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandParse,
    ::testing::Values(ParseCase{{"a", "--fast", "b", "--size", "3"}, ""},
                      ParseCase{{"a", "--size", "3"}, "probe: expected IN file and OUT (see murmura-cli probe --help)"},
                      ParseCase{{"a", "b", "c", "--size", "3"}, "probe: expected IN file and OUT (see murmura-cli probe --help)"},
                      ParseCase{{"a", "b"}, "probe: missing --size (see murmura-cli probe --help)"},
                      ParseCase{{"a", "b", "--size"}, "probe: option --size needs a value"},
                      ParseCase{{"a", "b", "--size", "12"}, "probe: --size expects an integer from 1 to 9, got \"12\""},
                      ParseCase{{"a", "b", "--size", "3", "--slow"}, "probe: unknown option --slow"}));

TEST(CommandParser, EveryFailureIsOneLine) {
    const std::vector<Command> table = {{.name = "boom", .run = [](const Args&, Context& c) -> int {
                                             c.subject = "x.json";
                                             throw std::runtime_error("disk on fire\nfor real");
                                         }}};
    EXPECT_EQ(run(table, {"boom"}).err, "murmura-cli: boom: x.json: disk on fire\\nfor real\n");
    EXPECT_EQ(run(table, {"paint"}).err, "murmura-cli: unknown command \"paint\" (see murmura-cli --help)\n");
    EXPECT_EQ(run({"gallery", "paint"}).err,
              "murmura-cli: gallery: unknown action \"paint\" (expected list, rename, delete or export)\n");
}

TEST_F(CommandTest, StylesSegmentsAndMaterial) {
    EXPECT_GE(Json::parse(run({"styles", "--all"}).out).size(), Json::parse(run({"styles"}).out).size());
    // Positions rebase to ((x - 100) * 2, (y - 50) * 2); silent: [0, 1], [1.1, 1.2], [1.2, 60].
    Result seg = run({"segments", session({test::move(1.0, 110, 60), test::move(1.1, 160, 60), test::down(1.2, 160, 60)})});
    ASSERT_EQ(seg.status, 0) << seg.err;
    const Json j = Json::parse(seg.out);
    ASSERT_EQ(j["segments"].size(), 2u);
    EXPECT_EQ(j["segments"][0]["events"][0]["position"], Json::parse("[20.0, 20.0]"));
    EXPECT_EQ(j["segments"][1]["segmentType"], "discrete");
    EXPECT_NEAR(j["silentRatio"].get<double>(), (1.0 + 0.1 + 58.8) / 60.0, 1e-12);

    const Result material = run({"material", session({test::keyDown(2.0, 36)})});
    EXPECT_DOUBLE_EQ(Json::parse(material.out)["segments"][0]["properties"]["strokeWidth"].get<double>(), 27.0);
    EXPECT_EQ(run({"segments", path("missing.json")}).err.find("murmura-cli: " + path("missing.json") + ": "), 0u);
}

TEST_F(CommandTest, RenderWritesTheRequestedCanvas) {
    const std::string file = session({test::move(1.0, 110, 60), test::move(1.2, 300, 200), test::move(1.4, 480, 330)});
    EXPECT_EQ(run({"render", file, "--style", "nope", "--out", path("o.png")}).err,
              "murmura-cli: render: unknown style \"nope\" (see murmura-cli styles --all)\n");
    EXPECT_EQ(run({"render", file, "--style", "graffo"}).err,
              "murmura-cli: render: missing --out (see murmura-cli render --help)\n");
    EXPECT_NE(run({"render", file, "--style", "graffo", "--save", "--window-name", "\xff"}).err.find("not valid UTF-8"),
              std::string::npos);
    Result r = run({"render", file, "--style", "graffo", "--width", "80", "--height", "30", "--out", path("o.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    // Read, render and write timed in that order, each on its own line.
    EXPECT_TRUE(std::regex_match(r.err, std::regex("Read .*s\\.json in [0-9.]+ s\nRendered graffo at 80 x 30 in "
                                                   "[0-9.]+ s\nWrote .*o\\.png in [0-9.]+ s \\(encoding [0-9.]+ s\\)\n")))
        << r.err;
    EXPECT_EQ(r.out, "");  // progress is never on standard output
    auto image = readPngFile(path("o.png"));
    EXPECT_TRUE(image && image->width() == 80 && image->height() == 30);
}

TEST_F(CommandTest, InspectHandsTheStyleItsInputs) {
    const std::string file = session({test::move(1.0, 110, 60), test::move(1.1, 160, 60)});
    EXPECT_EQ(run({"inspect", file, "--style", "graffo"}).err,
              "murmura-cli: inspect: style 'graffo' has no intermediate results to show\n");
    const InspectorTable table = {{"graffo", [](const InspectInput& in, std::ostream& out) {
                                       const Point p = *in.material.segments[0].segment.events[0].position;
                                       out << "[" << in.canvas.width << ", " << in.canvas.height << ", " << p.x << ", "
                                           << p.y << ", " << in.options.integer("count") << "]";
                                   }}};
    std::ostringstream out, err;
    Context ctx{out, err, {}};
    const Args args = parseArgs(command("inspect"), "inspect",
                                {file, "--style", "graffo", "--width", "400", "--height", "150", "--count", "7"});
    ASSERT_EQ(runInspect(args, ctx, table), 0);
    // (110, 60) in the frame (100, 50, 400, 300) scaled by 400 / 400 and 150 / 300.
    EXPECT_EQ(out.str(), "[400, 150, 10, 5, 7]\n");
}

// Charcoal's inspector writes the calculator's trace of the material the command renders; every
// event reads back exactly, and --from/--count select a window of it.
TEST_F(CommandTest, InspectCharcoalWritesTheTraceExactly) {
    std::vector<RawEvent> events = {test::move(1.0, 110, 60), test::down(1.2, 150, 90), test::drag(1.3, 190, 97),
                                    test::up(1.4, 190, 97), test::keyDown(5.0)};
    events.back().position.reset();
    const std::string file = session(events);
    const Json all = Json::parse(run({"inspect", file, "--style", "charcoal"}).out);
    EXPECT_EQ(all["grid"], Json::parse("[400, 300]"));
    const InkTrace t = ArtworkRenderer(800, 600, InkStyle::longSessionStable, false)
                           .trace(materialize(*readSessionFile(file), {800, 600}));
    ASSERT_EQ(all["events"].size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        const Json& e = all["events"][i];
        const InkTraceEvent& x = t.events[i];
        const InkDrawParameters& q = x.parameters;
        EXPECT_EQ(std::make_tuple(e["index"].get<size_t>(), e["timestamp"].get<double>(), e["contact"].get<bool>(),
                                  e["brushSize"].get<double>(), e["isSplatter"].get<bool>()),
                  std::make_tuple(x.index, x.timestamp, x.contact, q.brushSize, q.isSplatter)) << i;
        EXPECT_EQ(float(e["inkLevel"].get<double>()), q.newState.inkLevel) << i;
        EXPECT_EQ(float(e["erosionStrength"].get<double>()), q.erosionStrength) << i;
        EXPECT_EQ(e["position"], x.position ? Json::array({x.position->x, x.position->y}) : Json()) << i;
    }
    EXPECT_TRUE(all["events"][2]["contact"].get<bool>() && all["events"][4]["triggerGlobalDrying"].get<bool>());
    const Json window = Json::parse(run({"inspect", file, "--style", "charcoal", "--from", "1", "--count", "2"}).out);
    ASSERT_EQ(window["events"].size(), 2u);
    EXPECT_EQ(window["events"][0], all["events"][1]);
    EXPECT_EQ(window["summary"], all["summary"]);
}

// Planara's inspector lists the fills: drawn again they are exactly the rendered image.
TEST_F(CommandTest, InspectPlanaraFillsRedrawTheRenderedImage) {
    std::vector<RawEvent> ev{test::down(0, 140, 200)};  // a pressed sweep and a one-second rest, drawn 1:1
    for (int k = 1; k <= 20; ++k) ev.push_back(test::drag(0.05 * k, 140 + 12 * k, 200));
    for (int k = 1; k <= 10; ++k) ev.push_back(test::drag(1 + 0.1 * k, 380, 200));
    ev.push_back(test::up(2.1, 380, 200));
    const std::string file = session(ev);
    const Json j = Json::parse(run({"inspect", file, "--style", "planara", "--width", "400", "--height", "300"}).out);
    ASSERT_EQ(run({"render", file, "--style", "planara", "--width", "400", "--height", "300", "--out", path("o.png")})
                  .status, 0);
    EXPECT_EQ(j["extraction"]["ops"][0]["split"]["axis"], "horizontal");
    std::vector<planara::Fill> fills;
    for (const Json& f : j["fills"]) {
        const auto r = f["rect"].get<std::array<int64_t, 4>>();
        fills.push_back({r[0], r[1], r[2], r[3], f["rgb"].get<std::array<uint8_t, 3>>()});
    }
    ASSERT_GE(fills.size(), 6u);  // background, lines, frame
    RgbaImage redrawn = *RgbaImage::create(400, 300, ColorSpace::deviceRGB);
    planara::drawFills(redrawn, fills);
    EXPECT_EQ(readPngFile(path("o.png")).value(), redrawn);
}

TEST_F(CommandTest, SynthCaptureAndWindowsArguments) {
    ASSERT_EQ(run({"synth", "--minutes", "0.2", "--seed", "4", "--window", "10,20,800,600", "--out", path("a")}).status, 0);
    EXPECT_EQ(readSessionFile(path("a"))->windowFrame, (Rect{10, 20, 800, 600}));
    EXPECT_EQ(run({"synth", "--minutes", "1", "--seed", "-4", "--out", "x"}).err,
              "murmura-cli: synth: --seed expects an unsigned 64-bit integer, got \"-4\"\n");
    EXPECT_EQ(run({"capture", "--seconds", "0", "--out", "x"}).err,
              "murmura-cli: capture: --seconds must be above 0 and at most 86400\n");
    EXPECT_EQ(run({"capture", "--seconds", "1", "--window", "3", "--all", "--out", "x"}).err,
              "murmura-cli: capture: give either --window or --all\n");
    EXPECT_EQ(run({"windows", "x"}).err, "murmura-cli: windows: unexpected argument \"x\"\n");
    // An unwritable session path fails before any recording is attempted (no display needed).
    EXPECT_EQ(run({"capture", "--seconds", "1", "--out", path("missing/s.json")}).err,
              "murmura-cli: capture: Cannot write into " + path("missing") + ": No such file or directory\n");
}

TEST_F(CommandTest, AFailedWriteLeavesTheOldFileIntact) {
    test::writeFile(path("s.json"), "old");
    {
        test::FileSizeLimit limit(100);
        ASSERT_TRUE(limit.active());
        Result r = run({"synth", "--minutes", "0.2", "--seed", "1", "--out", path("s.json")});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("murmura-cli: " + path("s.json") + ": cannot write the session: ", 0), 0u) << r.err;
    }
    EXPECT_EQ(test::readFile(path("s.json")), "old");
    EXPECT_EQ(test::entryCount(dir_.path()), 1u);  // no temporary file left behind
}

TEST_F(CommandTest, GalleryFindsItsStoreEscapesGuardsAndNamesOutput) {
    EXPECT_EQ(run({"gallery", "list", "--json"}, {{"XDG_DATA_HOME", path("xdg")}, {"HOME", path("h")}}).out, "[]\n");
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "xdg" / "Murmura" / "Artworks"));
    EXPECT_NE(run({"gallery", "list"}, {}).err.find("no home directory"), std::string::npos);
    EXPECT_EQ(run({"gallery", "delete", "nope", "--data-dir", path("d")}).err.find("gallery delete: \"nope\" is not an"),
              13u);
    const std::filesystem::path artworks = dir_ / "d" / "Murmura" / "Artworks";
    std::filesystem::create_directories(artworks);
    const std::string id = "0F8E2A7C-3B1D-4E5F-9A6B-7C8D9E0F1A2B";
    test::writeFile(artworks / "artworks.json",
                    R"([{"id": ")" + id + R"(", "imageFilePath": ")" + id + R"(.png", "creationDate": "2026-12-05T09:24:42Z",)"
                    R"( "plannedDuration": 300, "actualDuration": 299, "windowName": "w", "appName": "A",)"
                    R"( "styleName": "S", "styleID": "s\u001b[2J", "customName": "two\nlines\u001b]0;x\u0007"}])");
    ASSERT_TRUE(writePngFile(*RgbaImage::create(3, 2, ColorSpace::deviceRGB), (artworks / (id + ".png")).string()));
    const std::string catalog = test::readFile(artworks / "artworks.json");
    const std::string dataDir = path("d");
    EXPECT_EQ(run({"gallery", "list", "--data-dir", dataDir}).out,
              id + "  2026-12-05T09:24:42Z  s\\u001B[2J  two\\nlines\\u001B]0;x\\u0007\n");
    // Onto the catalog: refused, the catalog untouched (which paths count is the output guard's own test).
    EXPECT_NE(run({"gallery", "export", id, "--format", "png", "--out", (artworks / "artworks.json").string(),
                   "--data-dir", dataDir}).err.find("inside the artworks directory"), std::string::npos);
    EXPECT_EQ(test::readFile(artworks / "artworks.json"), catalog);
    // Default names in one second: each export its own file.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    const Result first = run({"gallery", "export", id, "--format", "pdf", "--data-dir", dataDir});
    const Result second = run({"gallery", "export", id, "--format", "pdf", "--data-dir", dataDir});
    std::filesystem::current_path(cwd);
    EXPECT_NE(first.out, second.out);
    for (const Result& r : {first, second}) EXPECT_GT(std::filesystem::file_size(dir_ / r.out.substr(0, r.out.size() - 1)), 0u);
}

// main: failures are one line and renderers' progress lines go to standard error, which keeps
// standard output machine-readable.
TEST_F(CommandTest, TheBinaryKeepsStandardOutputClean) {
    const auto cli = [&](const std::string& args) {
        const int raw = std::system((MURMURA_CLI " " + args + " >" + path("out") + " 2>" + path("err")).c_str());
        EXPECT_EQ(test::readFile(path("out")), "") << args;
        return std::pair(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, test::readFile(path("err")));
    };
    test::writeFile(path("trunc.json"), "{\"duration\": 3");
    auto [status, err] = cli("segments " + path("trunc.json"));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err.rfind("murmura-cli: " + path("trunc.json") + ": malformed JSON", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    std::tie(status, err) = cli("render " + session({test::move(1.0, 110, 60)}) +
                                " --style charcoal --width 96 --height 60 --out " + path("a.png"));
    EXPECT_EQ(status, 0) << err;
    EXPECT_NE(err.find("simulation complete"), std::string::npos) << err;
}
