// murmura-cli render: a session through the application's pipeline to a PNG file and/or the
// gallery.
#include <chrono>
#include <cstdio>
#include <ostream>

#include "app/render_pipeline.h"
#include "cli/commands/commands.h"
#include "gallery/artwork_finishing.h"
#include "rendering/png_io.h"
#include "rendering/style_registry.h"
#include "support/text.h"

namespace murmura::cli {

Option widthOption() {
    return {.name = "width", .valueName = "W",
            .help = "canvas width in pixels (default: twice the window frame's width); the\n"
                    "whole window frame is scaled to the canvas",
            .validate = integerFrom(1, RgbaImage::kMaxSide)};
}

Option heightOption() {
    return {.name = "height", .valueName = "H",
            .help = "canvas height in pixels (default: twice the window frame's height)",
            .validate = integerFrom(1, RgbaImage::kMaxSide)};
}

CanvasSize requestedCanvas(const Args& args, const CaptureResult& session) {
    CanvasSize canvas = canvasSize(session.windowFrame);
    if (args.has("width")) canvas.width = args.integer("width");
    if (args.has("height")) canvas.height = args.integer("height");
    if (canvas.width > RgbaImage::kMaxSide || canvas.height > RgbaImage::kMaxSide)
        fail(args.command + ": canvas " + std::to_string(canvas.width) + " x " + std::to_string(canvas.height) +
             " is larger than " + std::to_string(RgbaImage::kMaxSide) + " pixels a side");
    return canvas;
}

namespace {

int runRender(const Args& args, Context& ctx) {
    const std::string& path = args.positional[0];
    const std::string& styleID = args.value("style");
    const bool save = args.has("save");
    if (!save) args.value("out");
    if (!save && (args.has("data-dir") || args.has("window-name") || args.has("app-name")))
        fail("render: --data-dir, --window-name and --app-name go with --save");
    const StyleRegistry registry = makeFullRegistry();
    auto renderer = registry.renderer(styleID);
    if (!renderer) fail("render: unknown style \"" + styleID + "\" (see murmura-cli styles --all)");
    using Clock = std::chrono::steady_clock;
    auto secondsSince = [](Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    // The timing lines let bench/render_all.sh split the whole command into its parts.
    auto report = [&](const char* format, const std::string& subject, double seconds) {
        char line[512];
        std::snprintf(line, sizeof line, format, escapeForTerminal(subject).c_str(), seconds);
        ctx.err << line << std::endl;
    };
    auto start = Clock::now();
    CaptureResult session = loadSession(ctx, path);
    report("Read %s in %.3f s", path, secondsSince(start));
    const CanvasSize canvas = requestedCanvas(args, session);
    // Opened before rendering so that a gallery problem shows before minutes of work.
    std::optional<ArtworkStore> store;
    if (save) store = openStore(args, ctx);
    if (auto out = args.get("out")) checkOutputPath(args, ctx, *out);

    start = Clock::now();
    // The events go to the pipeline; the header stays for the record below.
    auto image = renderCapture(std::move(session), *renderer, canvas);
    const double seconds = secondsSince(start);
    if (!image) fail(path + ": Rendering failed — the artwork could not be created.");
    char line[256];
    std::snprintf(line, sizeof line, "Rendered %s at %lld x %lld in %.3f s", styleID.c_str(),
                  static_cast<long long>(canvas.width), static_cast<long long>(canvas.height), seconds);
    ctx.err << line << std::endl;
    if (auto out = args.get("out")) {
        start = Clock::now();
        auto bytes = encodePng(*image);
        if (!bytes) fail(*out + ": cannot write PNG: " + bytes.error());
        const double encoding = secondsSince(start);
        if (auto written = writeOutputFile(ctx, *out, *bytes); !written)
            fail(*out + ": cannot write PNG: " + written.error());
        // The write includes flushing the file to disk, which depends on the disk, not on us.
        char line[512];
        std::snprintf(line, sizeof line, "Wrote %s in %.3f s (encoding %.3f s)", escapeForTerminal(*out).c_str(),
                      secondsSince(start), encoding);
        ctx.err << line << std::endl;
    }
    if (store) {
        FinishedSession finished;
        finished.plannedDuration = session.duration;
        finished.actualDuration = session.duration;  // a session file carries no measured length
        finished.windowName = args.get("window-name").value_or("murmura-cli");
        finished.ownerName = args.get("app-name");
        finished.style = renderer->descriptor();
        auto stored = storeFinishedArtwork(*store, *image, finished);
        if (!stored)
            fail("render: " + store->artworksDirectory().string() + ": Failed to save artwork: " +
                 withDetail(stored.error().message(), stored.error().detail));
        ctx.out << stored->id.toString() << '\n';
    }
    return 0;
}

}  // namespace

Command renderCommand() {
    return Command{
        .name = "render",
        .summary = "render a session to a PNG file and/or the gallery",
        .description =
            "Renders the session through the application's pipeline and writes a PNG file, stores it in\n"
            "the gallery as the application does, or both (at least one of --out and --save).",
        .positionals = {{"SESSION", "SESSION file"}},
        .options =
            {
                {.name = "style", .valueName = "ID", .help = "style identifier (see 'murmura-cli styles --all')",
                 .required = true},
                {.name = "out", .valueName = "FILE", .help = "output PNG file"},
                widthOption(),
                heightOption(),
                {.name = "save", .help = "store the artwork and its record in the gallery; prints its ID"},
                dataDirOption(),
                {.name = "window-name", .valueName = "NAME",
                 .help = "window name recorded with the artwork (default: murmura-cli)", .validate = utf8Text()},
                {.name = "app-name", .valueName = "NAME",
                 .help = "application name recorded with the artwork, the default title\n"
                         "(default: Unknown, as for a window without an owner)",
                 .validate = utf8Text()},
            },
        .notes = "--data-dir, --window-name and --app-name go with --save. Both durations of the record are\n"
                 "the session's planned duration.",
        .run = runRender,
    };
}

}  // namespace murmura::cli
