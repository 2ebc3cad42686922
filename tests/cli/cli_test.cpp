// Runs the murmura-cli binary as a user would and checks its output and exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/json.h"

namespace fs = std::filesystem;

namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("murmura-cli-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }

    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    CliRun run(const std::string& args) const {
        const std::string cmd = std::string(MURMURA_CLI) + " " + args + " >" + path("stdout") + " 2>" + path("stderr");
        CliRun r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        r.out = read(path("stdout"));
        r.err = read(path("stderr"));
        return r;
    }

    // A failure must be exit status 1 with exactly one line on standard error.
    void expectCleanFailure(const std::string& args, const std::string& mention) const {
        CliRun r = run(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(mention), std::string::npos) << "stderr: " << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }

    fs::path dir_;
};

const char* kId = "6BA7B810-9DAD-11D1-80B4-00C04FD430C8";

std::string eventJson(const std::string& type, double t, double x, double y, const std::string& extra = "") {
    std::ostringstream s;
    s << R"({"id": ")" << kId << R"(", "timestamp": )" << t << R"(, "type": ")" << type << R"(", "position": [)" << x
      << ", " << y << R"(], "inScope": true)" << extra << "}";
    return s.str();
}

std::string session(const std::vector<std::string>& events, double duration = 60) {
    std::ostringstream s;
    s << R"({"duration": )" << duration << R"(, "windowID": 7, "windowFrame": [100, 50, 400, 300], "events": [)";
    for (size_t i = 0; i < events.size(); ++i) s << (i ? "," : "") << events[i];
    s << "]}";
    return s.str();
}

}  // namespace

TEST_F(Cli, HelpAndUsage) {
    CliRun r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: murmura-cli"), std::string::npos);
    for (const char* cmd : {"styles", "segments", "material", "render", "synth"}) {
        CliRun h = run(std::string(cmd) + " --help");
        EXPECT_EQ(h.status, 0) << cmd;
        EXPECT_NE(h.out.find(std::string("usage: murmura-cli ") + cmd), std::string::npos) << cmd;
    }
    EXPECT_EQ(run("").status, 1);
    expectCleanFailure("paint", "unknown command");
    expectCleanFailure("styles --bogus", "unknown option --bogus");
}

TEST_F(Cli, StylesPrintsDescriptorArray) {
    CliRun r = run("styles");
    ASSERT_EQ(r.status, 0) << r.err;
    auto j = murmura::parseJson(r.out);
    ASSERT_TRUE(j);
    ASSERT_TRUE(j->is_array());
    for (const auto& d : *j) {
        EXPECT_TRUE(d.contains("id"));
        EXPECT_TRUE(d.contains("series"));
    }
    CliRun all = run("styles --all");
    ASSERT_EQ(all.status, 0);
    EXPECT_GE(murmura::parseJson(all.out)->size(), j->size());
}

TEST_F(Cli, SegmentsOfAHandMadeSession) {
    // Window origin (100, 50): positions rebase to ((x - 100) * 2, (y - 50) * 2).
    const std::string file = write("s.json", session({eventJson("mouseMove", 1.0, 110, 60),
                                                      eventJson("mouseMove", 1.1, 160, 60),
                                                      eventJson("mouseDown", 1.2, 160, 60, R"(, "mouseButton": 0)")}));
    CliRun r = run("segments " + file);
    ASSERT_EQ(r.status, 0) << r.err;
    auto j = murmura::parseJson(r.out);
    ASSERT_TRUE(j);
    const auto& segments = (*j)["segments"];
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0]["segmentType"], "moving");
    EXPECT_EQ(segments[0]["events"][0]["position"], murmura::Json::parse("[20.0, 20.0]"));
    EXPECT_EQ(segments[1]["segmentType"], "discrete");
    EXPECT_EQ(segments[1]["startTime"], 1.2);
    // Silent: [0, 1], [1.1, 1.2] and [1.2, 60] of 60 s.
    EXPECT_NEAR((*j)["silentRatio"].get<double>(), (1.0 + 0.1 + 58.8) / 60.0, 1e-12);
    EXPECT_EQ((*j)["silentSpans"].size(), 3u);
}

TEST_F(Cli, MaterialOfOneEventSegmentAndBudget) {
    const std::string one = write("one.json", session({eventJson("keyDown", 2.0, 110, 60, R"(, "keyCode": 36)")}));
    CliRun r = run("material " + one);
    ASSERT_EQ(r.status, 0) << r.err;
    auto j = *murmura::parseJson(r.out);
    const auto& p = j["segments"][0]["properties"];
    EXPECT_DOUBLE_EQ(p["strokeWidth"].get<double>(), 27.0);
    EXPECT_DOUBLE_EQ(p["spread"].get<double>(), 4.0);
    EXPECT_DOUBLE_EQ(p["opacity"].get<double>(), 0.595);
    EXPECT_EQ(j["segments"][0]["eventCount"], 1);
    EXPECT_EQ(j["energyScaleFactor"], 1.0);

    // 300 keys 11 s apart: 300 one-event segments demanding 1.072785 each, 321.8 in all.
    std::vector<std::string> events;
    for (int i = 0; i < 300; ++i) events.push_back(eventJson("keyDown", 1.0 + 11.0 * i, 110, 60, R"(, "keyCode": 0)"));
    const std::string many = write("many.json", session(events, 3400));
    CliRun m = run("material " + many);
    ASSERT_EQ(m.status, 0) << m.err;
    auto jm = *murmura::parseJson(m.out);
    EXPECT_NEAR(jm["energyScaleFactor"].get<double>(), 150.0 / (300 * 1.072785), 1e-12);
}

TEST_F(Cli, MalformedSessionsFailWithOneLine) {
    expectCleanFailure("segments " + path("missing.json"), "missing.json: cannot open file");
    expectCleanFailure("segments " + dir_.string(), "is a directory");
    expectCleanFailure("segments " + write("trunc.json", "{\"duration\": 3"), "trunc.json: malformed JSON");
    expectCleanFailure("segments " + write("empty.json", ""), "empty.json: malformed JSON");
    expectCleanFailure("material " + write("types.json", R"({"duration": "long", "windowID": 0, "windowFrame": [0,0,1,1], "events": []})"),
                       "\"duration\": expected a number, found a string");
    expectCleanFailure("segments " + write("type.json", session({eventJson("mouseWheel", 1, 1, 1)})),
                       "\"events[0].type\": unknown event type \"mouseWheel\"");
    expectCleanFailure("segments " + write("range.json", session({eventJson("keyDown", 1, 1, 1, R"(, "keyCode": 70000)")})),
                       "\"events[0].keyCode\": 70000 is out of range");
    expectCleanFailure("segments " + write("frame.json", R"({"duration": 1, "windowID": 0, "windowFrame": [0,0,0,0], "events": []})"),
                       "\"windowFrame\"");
    expectCleanFailure("segments " + write("binary.json", std::string("\x89PNG\r\n\x1a\n\0\0", 10)), "malformed JSON");
    expectCleanFailure("segments", "expected one SESSION file");
}

TEST_F(Cli, RenderRejectsBadRequests) {
    const std::string file = write("s.json", session({eventJson("mouseMove", 1.0, 110, 60)}));
    expectCleanFailure("render " + file + " --style nope --out " + path("o.png"), "unknown style \"nope\"");
    expectCleanFailure("render " + file + " --out " + path("o.png"), "missing --style");
    expectCleanFailure("render " + file + " --style nope", "missing --out");
    expectCleanFailure("render " + file + " --style x --out o.png --width", "--width needs a value");
    EXPECT_FALSE(fs::exists(path("o.png")));
}

TEST_F(Cli, GraffoRendersTheSameBytesInTwoProcesses) {
    const std::string sample = std::string(MURMURA_SOURCE_DIR) + "/data/sample-session.json";
    const std::string args = "render " + sample + " --style graffo --width 360 --height 225 --out ";
    CliRun a = run(args + path("a.png"));
    ASSERT_EQ(a.status, 0) << a.err;
    CliRun b = run(args + path("b.png"));
    ASSERT_EQ(b.status, 0) << b.err;
    const std::string first = read(path("a.png"));
    EXPECT_GT(first.size(), 1000u);
    EXPECT_EQ(first.substr(1, 3), "PNG");
    EXPECT_TRUE(first == read(path("b.png")));
    // The style is offered.
    EXPECT_NE(run("styles").out.find("\"graffo\""), std::string::npos);
}

TEST_F(Cli, SynthIsDeterministicAndReadable) {
    CliRun a = run("synth --minutes 0.5 --seed 42 --window 10,20,800,600 --out " + path("a.json"));
    ASSERT_EQ(a.status, 0) << a.err;
    CliRun b = run("synth --minutes 0.5 --seed 42 --window 10,20,800,600 --out " + path("b.json"));
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(read(path("a.json")), read(path("b.json")));
    CliRun seg = run("segments " + path("a.json"));
    EXPECT_EQ(seg.status, 0) << seg.err;
    auto j = murmura::parseJson(read(path("a.json")));
    ASSERT_TRUE(j);
    EXPECT_EQ((*j)["windowFrame"], murmura::Json::parse("[10.0, 20.0, 800.0, 600.0]"));
    EXPECT_EQ((*j)["duration"], 30.0);
}

TEST_F(Cli, SynthRejectsBadArguments) {
    expectCleanFailure("synth --minutes 0 --seed 1 --out " + path("x.json"), "--minutes must be above 0");
    expectCleanFailure("synth --minutes abc --seed 1 --out " + path("x.json"), "--minutes expects a number");
    expectCleanFailure("synth --minutes 1 --seed -4 --out " + path("x.json"), "--seed expects an unsigned");
    expectCleanFailure("synth --minutes 1 --seed 1 --window 1,2,3 --out " + path("x.json"), "--window expects x,y,w,h");
    expectCleanFailure("synth --minutes 1 --seed 1 --window 0,0,0,5 --out " + path("x.json"), "width and height");
    expectCleanFailure("synth --minutes 1 --seed 1", "missing --out");
    expectCleanFailure("synth --minutes 1 --seed 1 --out " + path("no/such/dir.json"), "cannot open for writing");
}
