// Runs the murmura-cli binary as a user would and checks its output and exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <sstream>

#include "../test_files.h"
#include "gallery/artwork_finishing.h"
#include "gallery/artwork_store.h"
#include "rendering/png_io.h"
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
        scratch_.emplace("murmura-cli");
        dir_ = scratch_->path();
    }
    void TearDown() override { scratch_.reset(); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    std::string write(const std::string& name, const std::string& text) const {
        murmura::test::writeFile(path(name), text);
        return path(name);
    }

    static std::string read(const std::string& file) { return murmura::test::readFile(file); }

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

    std::optional<murmura::test::ScratchDirectory> scratch_;
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
    for (const char* cmd : {"styles", "segments", "material", "render", "synth", "gallery"}) {
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

// ---- gallery ---------------------------------------------------------------------------------

namespace {

murmura::RgbaImage smallArtwork(uint8_t shade) {
    auto image = murmura::RgbaImage::create(48, 32, murmura::ColorSpace::deviceRGB);
    for (int64_t y = 0; y < 32; ++y)
        for (int64_t x = 0; x < 48; ++x) {
            uint8_t* p = image->pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 5);
            p[1] = static_cast<uint8_t>(y * 7);
            p[2] = shade;
            p[3] = 255;
        }
    return std::move(*image);
}

// Stores an artwork the way the application does, in dir/Murmura/Artworks.
murmura::ArtworkRecord storeArtwork(const fs::path& dir, uint8_t shade, const std::string& app) {
    auto store = murmura::ArtworkStore::open(dir);
    murmura::FinishedSession s;
    s.plannedDuration = 300;
    s.actualDuration = 300;
    s.windowName = app + " \xE2\x80\x94 notes/today";
    s.ownerName = app;
    s.style = murmura::StyleDescriptor{"ink-water", "Ink Water", murmura::StyleSeries::traditional};
    return *murmura::storeFinishedArtwork(*store, smallArtwork(shade), s);
}

}  // namespace

TEST_F(Cli, GalleryListRenameExportDelete) {
    const fs::path data = dir_ / "data";
    const auto a = storeArtwork(data, 10, "Terminal");
    const auto b = storeArtwork(data, 200, "Firefox");
    const std::string dd = " --data-dir " + data.string();
    const std::string idA = a.id.toString(), idB = b.id.toString();

    CliRun list = run("gallery list" + dd);
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, idA + "  " + murmura::formatCatalogDate(a.creationDate) + "  ink-water  Terminal\n" + idB +
                            "  " + murmura::formatCatalogDate(b.creationDate) + "  ink-water  Firefox\n");

    // Rename with the application's rule: trimmed; the app name or blanks clear the title.
    CliRun renamed = run("gallery rename " + idB + " '  Night shift  '" + dd);
    ASSERT_EQ(renamed.status, 0) << renamed.err;
    auto j = *murmura::parseJson(renamed.out);
    EXPECT_EQ(j["customName"], "Night shift");
    EXPECT_EQ(j["displayName"], "Night shift");
    // Lower-case IDs are accepted.
    std::string lower = idA;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    CliRun same = run("gallery rename " + lower + " ' Terminal '" + dd);
    ASSERT_EQ(same.status, 0) << same.err;
    EXPECT_FALSE(murmura::parseJson(same.out)->contains("customName"));

    CliRun json = run("gallery list --json" + dd);
    ASSERT_EQ(json.status, 0) << json.err;
    auto listed = *murmura::parseJson(json.out);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1]["id"], idB);
    EXPECT_EQ(listed[1]["displayName"], "Night shift");
    EXPECT_EQ(listed[1]["windowName"], "Firefox \xE2\x80\x94 notes/today");
    EXPECT_EQ(listed[0]["imageFile"], (data / "Murmura" / "Artworks" / (idA + ".png")).string());
    // The catalog itself keeps its own form.
    const std::string catalog = read((data / "Murmura" / "Artworks" / "artworks.json").string());
    EXPECT_NE(catalog.find("\"customName\": \"Night shift\""), std::string::npos) << catalog;
    EXPECT_NE(catalog.find("notes\\/today"), std::string::npos) << catalog;

    // Export PNG (decodes to the stored pixels) and PDF (one page of 48 x 32 points).
    CliRun png = run("gallery export " + idB + " --format png --out " + path("b.png") + dd);
    ASSERT_EQ(png.status, 0) << png.err;
    EXPECT_EQ(png.out, path("b.png") + "\n");
    EXPECT_EQ(*murmura::readPngFile(path("b.png")), smallArtwork(200));
    CliRun pdf = run("gallery export " + idB + " --format pdf --out " + path("b.pdf") + dd);
    ASSERT_EQ(pdf.status, 0) << pdf.err;
    const std::string pdfText = read(path("b.pdf"));
    EXPECT_EQ(pdfText.rfind("%PDF-", 0), 0u);
    EXPECT_NE(pdfText.find("/MediaBox [ 0 0 48 32 ]"), std::string::npos);
    // Without --out the time-stamped default name, in the current directory.
    const std::string cd = "cd " + dir_.string() + " && ";
    const int raw = std::system((cd + MURMURA_CLI + " gallery export " + idA + " --format pdf" + dd + " >" +
                                 path("named") + " 2>&1").c_str());
    ASSERT_EQ(WEXITSTATUS(raw), 0) << read(path("named"));
    const std::string named = read(path("named"));
    EXPECT_EQ(named.rfind("murmura-", 0), 0u) << named;
    EXPECT_EQ(named.size(), std::string("murmura-2026-12-05-092442.pdf\n").size()) << named;
    EXPECT_TRUE(fs::exists(dir_ / named.substr(0, named.size() - 1)));

    // Delete: record and image go.
    CliRun del = run("gallery delete " + idA + dd);
    ASSERT_EQ(del.status, 0) << del.err;
    EXPECT_FALSE(fs::exists(data / "Murmura" / "Artworks" / (idA + ".png")));
    CliRun after = run("gallery list" + dd);
    EXPECT_EQ(after.out.find(idA), std::string::npos);
    EXPECT_NE(after.out.find(idB + "  "), std::string::npos);
    EXPECT_NE(after.out.find("  Night shift\n"), std::string::npos);
}

TEST_F(Cli, GalleryRejectsBadInputWithOneLine) {
    const fs::path data = dir_ / "data";
    const auto a = storeArtwork(data, 10, "Terminal");
    const std::string dd = " --data-dir " + data.string();
    const std::string unknown = "C56A4180-65AA-42EC-A945-5FD21DEC0538";
    expectCleanFailure("gallery rename nope x" + dd, "\"nope\" is not an artwork ID");
    expectCleanFailure("gallery rename " + unknown + " x" + dd, "Artwork " + unknown + " not found");
    expectCleanFailure("gallery delete " + unknown + dd, "gallery delete: Artwork " + unknown + " not found");
    expectCleanFailure("gallery export " + unknown + " --format png" + dd, "Artwork " + unknown + " not found");
    expectCleanFailure("gallery export " + a.id.toString() + " --format gif" + dd, "--format expects png or pdf");
    expectCleanFailure("gallery export " + a.id.toString() + dd, "missing --format");
    expectCleanFailure("gallery export " + a.id.toString() + " --format png --out " + path("no/such/dir.png") + dd,
                       "no/such/dir.png: Failed to create export destination");
    expectCleanFailure("gallery list --format png" + dd, "gallery list: unknown option --format");
    expectCleanFailure("gallery paint" + dd, "unknown action \"paint\"");
    expectCleanFailure("gallery" + dd, "expected list, rename, delete or export");
    expectCleanFailure("gallery rename " + a.id.toString() + dd, "expected ID and NAME");
    expectCleanFailure("gallery list --data-dir " + write("file", "x"), "Cannot create directory");

    // The image of a record is gone: listed as unavailable, export names the problem.
    fs::remove(data / "Murmura" / "Artworks" / (a.id.toString() + ".png"));
    CliRun list = run("gallery list" + dd);
    EXPECT_NE(list.out.find("(image unavailable)"), std::string::npos);
    expectCleanFailure("gallery export " + a.id.toString() + " --format png --out " + path("x.png") + dd,
                       "image unavailable");
    EXPECT_FALSE(fs::exists(path("x.png")));
}

TEST_F(Cli, GalleryRefusesAnUnreadableCatalogAndLeavesIt) {
    const fs::path artworks = dir_ / "data" / "Murmura" / "Artworks";
    fs::create_directories(artworks);
    const std::string broken = R"([{"id": "C56A4180-65AA-42EC-A945-5FD21DEC0538", "creationDate": "2026-12-05T09:24:42.123Z"}])";
    write("data/Murmura/Artworks/artworks.json", broken);
    for (const std::string& args : {std::string("gallery list"), std::string("gallery delete C56A4180-65AA-42EC-A945-5FD21DEC0538")}) {
        CliRun r = run(args + " --data-dir " + (dir_ / "data").string());
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("Failed to load artwork catalog: " + (artworks / "artworks.json").string(), 0), 0u) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(read((artworks / "artworks.json").string()), broken);
    EXPECT_EQ(std::distance(fs::directory_iterator(artworks), {}), 1);
}

TEST_F(Cli, GalleryNeverTouchesFilesOutsideItsDirectory) {
    const fs::path data = dir_ / "data";
    fs::create_directories(data / "Murmura" / "Artworks");
    ASSERT_TRUE(murmura::writePngFile(smallArtwork(1), (data / "victim.png").string()));
    const std::string id = "C56A4180-65AA-42EC-A945-5FD21DEC0538";
    write("data/Murmura/Artworks/artworks.json",
          R"([{"id": ")" + id + R"(", "imageFilePath": "../../victim.png", "creationDate": "2026-12-05T09:24:42Z",)"
          R"( "plannedDuration": 300, "actualDuration": 300, "windowName": "w", "appName": "A", "styleName": "S",)"
          R"( "styleID": "s"}])");
    const std::string dd = " --data-dir " + data.string();
    CliRun list = run("gallery list --json" + dd);
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_TRUE((*murmura::parseJson(list.out))[0]["imageFile"].is_null());
    expectCleanFailure("gallery export " + id + " --format png --out " + path("x.png") + dd, "image unavailable");
    CliRun del = run("gallery delete " + id + dd);
    ASSERT_EQ(del.status, 0) << del.err;
    EXPECT_TRUE(fs::exists(data / "victim.png"));
    EXPECT_EQ(read((data / "Murmura" / "Artworks" / "artworks.json").string()), "[]\n");
}

TEST_F(Cli, RenderSaveStoresTheArtworkAsTheApplicationDoes) {
    CliRun styles = run("styles --all");
    ASSERT_EQ(styles.status, 0);
    auto list = *murmura::parseJson(styles.out);
    if (list.empty()) GTEST_SKIP() << "no style is registered yet, so nothing can be rendered";
    const std::string style = list[0]["id"];
    const std::string name = list[0]["name"];
    ASSERT_EQ(run("synth --minutes 0.2 --seed 3 --window 0,0,200,150 --out " + path("s.json")).status, 0);
    const std::string dd = " --data-dir " + path("data");
    CliRun saved = run("render " + path("s.json") + " --style " + style + " --save --out " + path("o.png") + dd);
    ASSERT_EQ(saved.status, 0) << saved.err;
    const std::string id = saved.out.substr(0, saved.out.size() - 1);
    ASSERT_TRUE(murmura::Uuid::parse(id)) << saved.out;
    CliRun named = run("render " + path("s.json") + " --style " + style +
                       " --save --window-name 'Editor \xE2\x80\x94 draft' --app-name Editor" + dd);
    ASSERT_EQ(named.status, 0) << named.err;

    auto records = *murmura::parseJson(run("gallery list --json" + dd).out);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["id"], id);
    EXPECT_EQ(records[0]["imageFilePath"], id + ".png");
    EXPECT_EQ(records[0]["windowName"], "murmura-cli");
    EXPECT_EQ(records[0]["appName"], "Unknown");
    EXPECT_EQ(records[0]["styleID"], style);
    EXPECT_EQ(records[0]["styleName"], name);
    EXPECT_EQ(records[0]["plannedDuration"], 12.0);
    EXPECT_EQ(records[1]["windowName"], "Editor \xE2\x80\x94 draft");
    EXPECT_EQ(records[1]["displayName"], "Editor");
    // The stored image is the rendered one.
    EXPECT_EQ(*murmura::readPngFile(records[0]["imageFile"].get<std::string>()), *murmura::readPngFile(path("o.png")));
    // Round trip on: rename, export both formats, delete.
    ASSERT_EQ(run("gallery rename " + id + " Sketch" + dd).status, 0);
    ASSERT_EQ(run("gallery export " + id + " --format png --out " + path("e.png") + dd).status, 0);
    ASSERT_EQ(run("gallery export " + id + " --format pdf --out " + path("e.pdf") + dd).status, 0);
    EXPECT_EQ(*murmura::readPngFile(path("e.png")), *murmura::readPngFile(path("o.png")));
    ASSERT_EQ(run("gallery delete " + id + dd).status, 0);
    EXPECT_EQ(murmura::parseJson(run("gallery list --json" + dd).out)->size(), 1u);
}

TEST_F(Cli, RenderSaveRejectsBadRequests) {
    const std::string file = write("s.json", session({eventJson("mouseMove", 1.0, 110, 60)}));
    expectCleanFailure("render " + file + " --style nope --save --data-dir " + path("d"), "unknown style \"nope\"");
    expectCleanFailure("render " + file + " --style nope --out " + path("o.png") + " --window-name x",
                       "go with --save");
    EXPECT_FALSE(fs::exists(path("d")));
}
