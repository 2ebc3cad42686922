// murmura-cli: the analysis and rendering pipeline of Murmura from the command line.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <signal.h>

#include "gallery/artwork_finishing.h"
#include "gallery/artwork_store.h"
#include "app/render_pipeline.h"
#include "session/synthetic_session.h"
#include "capture/capture_session.h"
#include "capture/x11/x11_event_tap.h"
#include "gallery/artwork_exporter.h"
#include "rendering/png_io.h"
#include "rendering/style_registry.h"
#include "support/diagnostics.h"
#include "support/event_loop.h"
#include "support/text.h"
#include "window_scope/window_scope_manager.h"
#include "window_scope/x11/x11_window_providers.h"

using namespace murmura;

namespace {

constexpr const char* kUsage =
    "usage: murmura-cli COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  styles [--all]                     list the styles as JSON\n"
    "  segments SESSION                   print the session's segments and silent spans\n"
    "  material SESSION                   print the material-engine output\n"
    "  render SESSION --style ID [--out FILE.png] [--save] [--width W --height H]\n"
    "                                     render a session to a PNG file and/or the gallery\n"
    "  synth --minutes M --seed S [--window x,y,w,h] --out SESSION\n"
    "                                     write a realistic synthetic session\n"
    "  windows                            list the windows a session can record (X11)\n"
    "  capture --seconds N [--window ID | --all] --out SESSION\n"
    "                                     record a session from the running X11 desktop\n"
    "  gallery list|rename|delete|export  list and manage the stored artworks\n"
    "\n"
    "Run 'murmura-cli COMMAND --help' for a command's options.\n";

const std::map<std::string, std::string> kHelp = {
    {"styles",
     "usage: murmura-cli styles [--all]\n"
     "Prints the style registry's descriptors as a JSON array in registry order.\n"
     "  --all   include the styles the application does not offer\n"},
    {"segments",
     "usage: murmura-cli segments SESSION\n"
     "Rebases the session to canvas pixels and prints\n"
     "{\"segments\": [...], \"silentSpans\": [...], \"silentRatio\": r} as JSON.\n"},
    {"material",
     "usage: murmura-cli material SESSION\n"
     "Prints the material-engine output as JSON: per segment its times, type, event count,\n"
     "properties and energy demand; the energy scale factor; the silent conditioning.\n"},
    {"render",
     "usage: murmura-cli render SESSION --style ID [--out FILE.png] [--width W --height H]\n"
     "                          [--save [--data-dir DIR] [--window-name NAME] [--app-name NAME]]\n"
     "Renders the session through the application's pipeline and writes a PNG file, stores it in\n"
     "the gallery as the application does, or both (at least one of --out and --save).\n"
     "  --style ID           style identifier (see 'murmura-cli styles --all')\n"
     "  --out FILE           output PNG file\n"
     "  --width W            canvas width in pixels (default: twice the window frame's width)\n"
     "  --height H           canvas height in pixels (default: twice the window frame's height)\n"
     "  --save               store the artwork and its record in the gallery; prints its ID\n"
     "  --data-dir DIR       gallery base directory (default: $XDG_DATA_HOME or ~/.local/share)\n"
     "  --window-name NAME   window name recorded with the artwork (default: murmura-cli)\n"
     "  --app-name NAME      application name recorded with the artwork, the default title\n"
     "                       (default: Unknown, as for a window without an owner)\n"
     "Both durations of the record are the session's planned duration.\n"},
    {"gallery",
     "usage: murmura-cli gallery list [--json] [--data-dir DIR]\n"
     "       murmura-cli gallery rename ID NAME [--data-dir DIR]\n"
     "       murmura-cli gallery delete ID [--data-dir DIR]\n"
     "       murmura-cli gallery export ID --format png|pdf [--out FILE] [--data-dir DIR]\n"
     "Works on the artworks stored in DIR/Murmura/Artworks.\n"
     "  list     one line per artwork: ID, creation date (UTC), style, title; with --json the\n"
     "           records as a JSON array, each with its \"displayName\" and \"imageFile\" (null\n"
     "           when the image is unavailable)\n"
     "  rename   sets the title; NAME is trimmed, and empty or the artwork's application name\n"
     "           clears it; prints the updated record as JSON\n"
     "  delete   removes the artwork's record and image file\n"
     "  export   writes the artwork as PNG or one-page PDF (one pixel per point) to FILE\n"
     "           (default: murmura-<local date and time>.png|pdf in the current directory);\n"
     "           prints the file written\n"
     "  --data-dir DIR   base directory (default: $XDG_DATA_HOME or ~/.local/share)\n"},
    {"synth",
     "usage: murmura-cli synth --minutes M --seed S [--window x,y,w,h] --out SESSION\n"
     "Writes a seeded, deterministic synthetic session: pointer travel, clicks, drags, scrolling,\n"
     "typing, pauses and excursions outside the window.\n"
     "  --minutes M        session length in minutes (0 < M <= 1440)\n"
     "  --seed S           unsigned 64-bit seed\n"
     "  --window x,y,w,h   the chosen window in global points (default 240,90,1440,900)\n"
     "  --out SESSION      output session file\n"},
    {"windows",
     "usage: murmura-cli windows\n"
     "Prints the windows of the running X11 desktop that a session can record, as a JSON array\n"
     "sorted by owner: {\"id\", \"title\", \"ownerName\", \"displayName\", \"frame\": [x, y, w, h],\n"
     "\"isOnScreen\"}, frames in display points. The first entry, id 0, is the whole main display.\n"},
    {"capture",
     "usage: murmura-cli capture --seconds N [--window ID | --all] --out SESSION\n"
     "Records a session from the running X11 desktop: every pointer move, click, drag, scroll and\n"
     "key press or release, system-wide, flagged as inside or outside the chosen window. The\n"
     "capture only listens (X RECORD extension); it never grabs or alters input. Ctrl-C stops\n"
     "early and still writes what was recorded.\n"
     "  --seconds N     session length in seconds (0 < N <= 86400)\n"
     "  --window ID     the window to follow (see 'murmura-cli windows')\n"
     "  --all           the whole main display (the default)\n"
     "  --out SESSION   output session file\n"
     "Privacy: what was typed is never written. Character keys are all stored as one code\n"
     "(65535); only Return, Enter, Escape, Backspace, Delete, the arrows and the modifiers keep\n"
     "their own codes, which is all the styles read.\n"},
};

// A usage or input error: printed as one line, exit status 1. An empty message means the line
// has already been printed (the store reports an unreadable catalog itself).
struct CliError {
    std::string message;
};

[[noreturn]] void fail(std::string message) { throw CliError{std::move(message)}; }

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    bool help = false;
};

// Parses "--name value" pairs and positionals; flags lists the options that take no value.
Args parseArgs(const std::string& command, int argc, char** argv, const std::vector<std::string>& valued,
               const std::vector<std::string>& flags) {
    Args args;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            args.help = true;
        } else if (a.rfind("--", 0) == 0) {
            std::string name = a.substr(2);
            if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
                args.options[name] = "";
            } else if (std::find(valued.begin(), valued.end(), name) != valued.end()) {
                if (i + 1 >= argc) fail(command + ": option " + a + " needs a value");
                args.options[name] = argv[++i];
            } else {
                fail(command + ": unknown option " + a);
            }
        } else {
            args.positional.push_back(a);
        }
    }
    return args;
}

double parseNumber(const std::string& command, const std::string& name, const std::string& text) {
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v))
        fail(command + ": --" + name + " expects a number, got \"" + text + "\"");
    return v;
}

int64_t parseInteger(const std::string& command, const std::string& name, const std::string& text, int64_t min,
                     int64_t max) {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || v < min || v > max)
        fail(command + ": --" + name + " expects an integer from " + std::to_string(min) + " to " +
             std::to_string(max) + ", got \"" + text + "\"");
    return v;
}

std::string requireOption(const Args& args, const std::string& command, const std::string& name) {
    auto it = args.options.find(name);
    if (it == args.options.end()) fail(command + ": missing --" + name + " (see murmura-cli " + command + " --help)");
    return it->second;
}

std::string requireSession(const Args& args, const std::string& command) {
    if (args.positional.size() != 1)
        fail(command + ": expected one SESSION file (see murmura-cli " + command + " --help)");
    return args.positional[0];
}

CaptureResult loadSession(const std::string& path) {
    auto session = readSessionFile(path);
    if (!session) fail(path + ": " + session.error());
    return std::move(session).value();
}

void printJson(const Json& j) { std::cout << j.dump(2) << '\n'; }

int cmdStyles(int argc, char** argv) {
    Args args = parseArgs("styles", argc, argv, {}, {"all"});
    if (!args.positional.empty()) fail("styles: unexpected argument \"" + args.positional[0] + "\"");
    StyleRegistry registry = args.options.count("all") ? makeFullRegistry() : makeDefaultRegistry();
    Json out = Json::array();
    for (const auto& d : registry.descriptors()) out.push_back(encode(d));
    printJson(out);
    return 0;
}

int cmdSegments(int argc, char** argv) {
    Args args = parseArgs("segments", argc, argv, {}, {});
    CaptureResult session = loadSession(requireSession(args, "segments"));
    SessionAnalysis analysis = analyseSession(session);
    Json segments = Json::array();
    for (const auto& s : analysis.segments) segments.push_back(encode(s));
    Json spans = Json::array();
    for (const auto& s : analysis.silentSpans) spans.push_back(encode(s));
    Json out = Json::object();
    out["segments"] = std::move(segments);
    out["silentSpans"] = std::move(spans);
    out["silentRatio"] = analysis.silentRatio;
    printJson(out);
    return 0;
}

int cmdMaterial(int argc, char** argv) {
    Args args = parseArgs("material", argc, argv, {}, {});
    CaptureResult session = loadSession(requireSession(args, "material"));
    printJson(encode(materialize(session)));
    return 0;
}

// An error's fixed message followed by its cause in parentheses, where one is known.
std::string withDetail(const std::string& message, const std::string& detail) {
    return detail.empty() || detail == message ? message : message + " (" + detail + ")";
}

// Opens the gallery of --data-dir (or the default one). An unreadable catalog is refused: the
// store has printed why, and murmura-cli never overwrites it.
ArtworkStore openStore(const Args& args, const std::string& command) {
    auto dir = args.options.find("data-dir");
    if (dir != args.options.end() && dir->second.empty()) fail(command + ": --data-dir must not be empty");
    auto store = dir != args.options.end() ? ArtworkStore::open(dir->second) : ArtworkStore::openDefault();
    if (!store) fail(command + ": " + withDetail(store.error().message(), store.error().detail));
    if (store->catalogLoadFailed()) fail("");
    return std::move(store).value();
}

int cmdRender(int argc, char** argv) {
    Args args = parseArgs("render", argc, argv,
                          {"style", "out", "width", "height", "data-dir", "window-name", "app-name"}, {"save"});
    const std::string path = requireSession(args, "render");
    const std::string styleID = requireOption(args, "render", "style");
    const bool save = args.options.count("save") > 0;
    if (!save) requireOption(args, "render", "out");
    if (!save && (args.options.count("data-dir") || args.options.count("window-name") || args.options.count("app-name")))
        fail("render: --data-dir, --window-name and --app-name go with --save");
    StyleRegistry registry = makeFullRegistry();
    auto renderer = registry.renderer(styleID);
    if (!renderer) fail("render: unknown style \"" + styleID + "\" (see murmura-cli styles --all)");
    CaptureResult session = loadSession(path);
    CanvasSize canvas = canvasSize(session.windowFrame);
    if (args.options.count("width"))
        canvas.width = parseInteger("render", "width", args.options["width"], 1, RgbaImage::kMaxSide);
    if (args.options.count("height"))
        canvas.height = parseInteger("render", "height", args.options["height"], 1, RgbaImage::kMaxSide);
    if (canvas.width > RgbaImage::kMaxSide || canvas.height > RgbaImage::kMaxSide)
        fail("render: canvas " + std::to_string(canvas.width) + " x " + std::to_string(canvas.height) +
             " is larger than " + std::to_string(RgbaImage::kMaxSide) + " pixels a side");
    // Opened before rendering so that a gallery problem shows before minutes of work.
    std::optional<ArtworkStore> store;
    if (save) store = openStore(args, "render");

    const auto start = std::chrono::steady_clock::now();
    auto image = renderCapture(session, *renderer, canvas);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!image) fail(path + ": Rendering failed — the artwork could not be created.");
    if (args.options.count("out")) {
        const std::string out = args.options["out"];
        auto written = writePngFile(*image, out);
        if (!written) fail(out + ": cannot write PNG: " + written.error());
    }
    char line[256];
    std::snprintf(line, sizeof line, "Rendered %s at %lld x %lld in %.3f s", styleID.c_str(),
                  static_cast<long long>(canvas.width), static_cast<long long>(canvas.height), seconds);
    diagnostic(line);
    if (store) {
        FinishedSession finished;
        finished.plannedDuration = session.duration;
        finished.actualDuration = session.duration;  // a session file carries no measured length
        finished.windowName = args.options.count("window-name") ? args.options["window-name"] : "murmura-cli";
        if (args.options.count("app-name")) finished.ownerName = args.options["app-name"];
        finished.style = renderer->descriptor();
        auto stored = storeFinishedArtwork(*store, *image, finished);
        if (!stored)
            fail("render: " + store->artworksDirectory().string() + ": Failed to save artwork: " +
                 withDetail(stored.error().message(), stored.error().detail));
        std::cout << stored->id.toString() << '\n';
    }
    return 0;
}

void writeSessionFile(const CaptureResult& session, const std::string& out) {
    const std::string text = encodeSessionFile(session);
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    if (!file) fail(out + ": cannot open for writing: " + std::strerror(errno));
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file) fail(out + ": write failed: " + std::strerror(errno));
}

// ---- gallery ---------------------------------------------------------------------------------

Uuid parseArtworkID(const std::string& command, const std::string& text) {
    auto id = Uuid::parse(text);
    if (!id) fail(command + ": \"" + text + "\" is not an artwork ID (a UUID such as those 'gallery list' shows)");
    return *id;
}

Json listedRecord(const ArtworkStore& store, const ArtworkRecord& record) {
    Json j = encode(record);
    j["displayName"] = record.displayName();
    const auto image = store.imagePath(record);
    std::error_code ec;
    j["imageFile"] = image && std::filesystem::is_regular_file(*image, ec) ? Json(image->string()) : Json(nullptr);
    return j;
}

int galleryList(const Args& args, ArtworkStore& store) {
    if (args.positional.size() != 1) fail("gallery list: unexpected argument \"" + args.positional[1] + "\"");
    if (args.options.count("json")) {
        Json out = Json::array();
        for (const ArtworkRecord& r : store.records()) out.push_back(listedRecord(store, r));
        printJson(out);
        return 0;
    }
    for (const ArtworkRecord& r : store.records()) {
        const auto image = store.imagePath(r);
        std::error_code ec;
        const bool available = image && std::filesystem::is_regular_file(*image, ec);
        std::cout << r.id.toString() << "  " << formatCatalogDate(r.creationDate) << "  " << r.styleID << "  "
                  << r.displayName() << (available ? "" : "  (image unavailable)") << '\n';
    }
    return 0;
}

int galleryRename(const Args& args, ArtworkStore& store) {
    if (args.positional.size() != 3) fail("gallery rename: expected ID and NAME (see murmura-cli gallery --help)");
    const Uuid id = parseArtworkID("gallery rename", args.positional[1]);
    const std::string& typed = args.positional[2];
    if (!isValidUtf8(typed)) fail("gallery rename: NAME is not valid UTF-8 text");
    const ArtworkRecord* record = store.record(id);
    if (!record) fail("gallery rename: " + ArtworkStore::StoreError::artworkNotFound(id).message());
    auto renamed = store.updateCustomName(id, customNameForRename(typed, *record));
    if (!renamed) fail("gallery rename: Failed to rename artwork: " + renamed.error().message());
    printJson(listedRecord(store, *renamed));
    return 0;
}

int galleryDelete(const Args& args, ArtworkStore& store) {
    if (args.positional.size() != 2) fail("gallery delete: expected one ID (see murmura-cli gallery --help)");
    const Uuid id = parseArtworkID("gallery delete", args.positional[1]);
    auto deleted = store.deleteArtwork(id);
    if (!deleted) {
        const bool missing = deleted.error().code == ArtworkStore::StoreError::Code::artworkNotFound;
        fail("gallery delete: " + std::string(missing ? "" : "Failed to delete artwork: ") + deleted.error().message());
    }
    return 0;
}

int galleryExport(const Args& args, ArtworkStore& store) {
    if (args.positional.size() != 2) fail("gallery export: expected one ID (see murmura-cli gallery --help)");
    const Uuid id = parseArtworkID("gallery export", args.positional[1]);
    const std::string formatName = requireOption(args, "gallery export", "format");
    const auto format = ArtworkExporter::formatNamed(formatName);
    if (!format) fail("gallery export: --format expects png or pdf, got \"" + formatName + "\"");
    const ArtworkRecord* record = store.record(id);
    if (!record) fail("gallery export: " + ArtworkStore::StoreError::artworkNotFound(id).message());
    auto image = store.loadImage(*record);
    if (!image) fail("gallery export: artwork " + id.toString() + ": image unavailable: " + image.error());
    auto out = args.options.find("out");
    const std::string file = out != args.options.end() ? out->second : ArtworkExporter::defaultFilename(*format);
    auto exported = ArtworkExporter::exportImage(*image, file, *format);
    if (!exported) fail("gallery export: " + file + ": " + withDetail(exported.error().message(), exported.error().detail));
    std::cout << file << '\n';
    return 0;
}

int cmdGallery(int argc, char** argv) {
    Args args = parseArgs("gallery", argc, argv, {"data-dir", "format", "out"}, {"json"});
    if (args.positional.empty()) fail("gallery: expected list, rename, delete or export (see murmura-cli gallery --help)");
    const std::string action = args.positional[0];
    const std::map<std::string, std::pair<std::vector<std::string>, int (*)(const Args&, ArtworkStore&)>> actions = {
        {"list", {{"json"}, galleryList}},
        {"rename", {{}, galleryRename}},
        {"delete", {{}, galleryDelete}},
        {"export", {{"format", "out"}, galleryExport}},
    };
    auto it = actions.find(action);
    if (it == actions.end()) fail("gallery: unknown action \"" + action + "\" (expected list, rename, delete or export)");
    for (const auto& [name, value] : args.options) {
        const auto& allowed = it->second.first;
        if (name != "data-dir" && std::find(allowed.begin(), allowed.end(), name) == allowed.end())
            fail("gallery " + action + ": unknown option --" + name);
    }
    ArtworkStore store = openStore(args, "gallery " + action);
    return it->second.second(args, store);
}

Rect parseWindow(const std::string& text) {
    std::vector<double> v;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        v.push_back(parseNumber("synth", "window", text.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (v.size() != 4) fail("synth: --window expects x,y,w,h, got \"" + text + "\"");
    if (!(v[2] > 0 && v[3] > 0 && v[2] <= 8192 && v[3] <= 8192))
        fail("synth: --window width and height must be from 1 to 8192 points");
    return Rect{v[0], v[1], v[2], v[3]};
}

int cmdSynth(int argc, char** argv) {
    Args args = parseArgs("synth", argc, argv, {"minutes", "seed", "window", "out"}, {});
    if (!args.positional.empty()) fail("synth: unexpected argument \"" + args.positional[0] + "\"");
    SynthOptions options;
    options.minutes = parseNumber("synth", "minutes", requireOption(args, "synth", "minutes"));
    if (!(options.minutes > 0 && options.minutes <= 1440)) fail("synth: --minutes must be above 0 and at most 1440");
    const std::string seedText = requireOption(args, "synth", "seed");
    char* end = nullptr;
    errno = 0;
    unsigned long long seed = std::strtoull(seedText.c_str(), &end, 10);
    if (seedText.empty() || seedText[0] == '-' || *end != '\0' || errno == ERANGE)
        fail("synth: --seed expects an unsigned 64-bit integer, got \"" + seedText + "\"");
    options.seed = seed;
    if (args.options.count("window")) options.window = parseWindow(args.options["window"]);
    const std::string out = requireOption(args, "synth", "out");

    writeSessionFile(synthesizeSession(options), out);
    return 0;
}

Json encodeWindow(const WindowDescriptor& w) {
    Json j = Json::object();
    j["id"] = w.id;
    if (w.title) j["title"] = *w.title;
    if (w.ownerName) j["ownerName"] = *w.ownerName;
    j["displayName"] = w.displayName();
    j["frame"] = Json::array({w.frame.x, w.frame.y, w.frame.width, w.frame.height});
    j["isOnScreen"] = w.isOnScreen;
    return j;
}

int cmdWindows(int argc, char** argv) {
    Args args = parseArgs("windows", argc, argv, {}, {});
    if (!args.positional.empty()) fail("windows: unexpected argument \"" + args.positional[0] + "\"");
    EventLoop loop;
    WindowScopeManager manager(makeDefaultWindowProvider(loop));
    if (!manager.provider().isAvailable()) fail("windows: cannot open the X11 display (is DISPLAY set?)");
    auto windows = manager.listWindows();
    if (!windows) fail("windows: " + windows.error().message());
    auto bounds = manager.provider().mainDisplayBounds();
    Json out = Json::array();
    out.push_back(encodeWindow(WindowDescriptor{WindowScopeManager::allWindowsID, std::nullopt, "All Windows",
                                                bounds.value_or(Rect{}), true}));
    for (const auto& w : *windows) out.push_back(encodeWindow(w));
    std::cout << out.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
    return 0;
}

// Ctrl-C and SIGTERM end a capture early through the main loop.
int gSignalPipe[2] = {-1, -1};
void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(gSignalPipe[1], &byte, 1);
}

int cmdCapture(int argc, char** argv) {
    Args args = parseArgs("capture", argc, argv, {"seconds", "window", "out"}, {"all"});
    if (!args.positional.empty()) fail("capture: unexpected argument \"" + args.positional[0] + "\"");
    const double seconds = parseNumber("capture", "seconds", requireOption(args, "capture", "seconds"));
    if (!(seconds > 0 && seconds <= 86400)) fail("capture: --seconds must be above 0 and at most 86400");
    if (args.options.count("window") && args.options.count("all")) fail("capture: give either --window or --all");
    uint32_t windowID = WindowScopeManager::allWindowsID;
    if (args.options.count("window"))
        windowID = static_cast<uint32_t>(parseInteger("capture", "window", args.options["window"], 1, UINT32_MAX));
    const std::string out = requireOption(args, "capture", "out");

    EventLoop loop;
    auto manager = std::make_shared<WindowScopeManager>(makeDefaultWindowProvider(loop));
    if (!manager->provider().isAvailable()) fail("capture: cannot open the X11 display (is DISPLAY set?)");
    auto tracked = manager->startTracking(windowID);
    if (!tracked) fail("capture: " + tracked.error().message());
    const auto frame = manager->currentFrame();
    if (!frame || !(frame->width > 0 && frame->height > 0)) fail("capture: the window has no usable frame");

    auto tap = std::make_shared<X11EventTap>(loop);
    auto input = std::make_shared<GlobalInputCapture>(manager, tap);
    if (!input->hasAccessibilityPermission())
        fail("capture: " + std::string(message(CaptureError::accessibilityPermissionDenied)) + ". " +
             X11EventTap::permissionExplanation({}));

    if (pipe(gSignalPipe) != 0) fail(std::string("capture: pipe failed: ") + std::strerror(errno));
    bool interrupted = false;
    auto signalWatch = loop.watchReadable(gSignalPipe[0], [&] {
        char buffer[16];
        [[maybe_unused]] ssize_t n = read(gSignalPipe[0], buffer, sizeof buffer);
        interrupted = true;
    });
    struct sigaction action{};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    CaptureSession session(input, seconds, loop);
    std::optional<std::vector<RawEvent>> events;
    auto started = session.start([&](const std::vector<RawEvent>& recorded) { events = recorded; });
    if (!started) fail("capture: " + std::string(message(started.error())));
    {
        char line[160];
        std::snprintf(line, sizeof line, "Recording %.1f s of input on %s; Ctrl-C stops early", seconds,
                      windowID == WindowScopeManager::allWindowsID ? "the whole display"
                                                                   : ("window " + std::to_string(windowID)).c_str());
        diagnostic(line);
    }
    loop.runUntil([&] { return events.has_value() || interrupted; }, seconds + 60);
    session.stop();  // early on Ctrl-C; no effect once the session has completed
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signalWatch->cancel();
    close(gSignalPipe[0]);
    close(gSignalPipe[1]);
    manager->stopTracking();
    if (tap->connectionLost()) diagnostic("capture: the X connection was lost; keeping what was recorded");

    CaptureResult result;
    result.events = events.value_or(std::vector<RawEvent>{});
    redactCharacterKeys(result.events);
    result.duration = seconds;
    result.windowID = windowID;
    result.windowFrame = *frame;
    writeSessionFile(result, out);
    diagnostic("Recorded " + std::to_string(result.events.size()) + " events to " + out);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    setDiagnosticStream(stderr);
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 1 : 0;
    }
    const std::string command = argv[1];
    const std::map<std::string, std::function<int(int, char**)>> commands = {
        {"styles", cmdStyles}, {"segments", cmdSegments}, {"material", cmdMaterial},
        {"render", cmdRender}, {"synth", cmdSynth},   {"windows", cmdWindows}, {"capture", cmdCapture},
        {"gallery", cmdGallery},
    };
    auto it = commands.find(command);
    if (it == commands.end()) {
        std::fprintf(stderr, "murmura-cli: unknown command \"%s\" (see murmura-cli --help)\n", command.c_str());
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp.at(command).c_str(), stdout);
            return 0;
        }
    }
    try {
        return it->second(argc - 2, argv + 2);
    } catch (const CliError& e) {
        if (!e.message.empty()) std::fprintf(stderr, "murmura-cli: %s\n", e.message.c_str());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "murmura-cli: %s: out of memory\n", command.c_str());
        return 1;
    }
}
