// murmura-cli capture: records a session from the running X11 desktop.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "capture/capture_session.h"
#include "capture/x11/x11_event_tap.h"
#include "cli/command.h"
#include "support/event_loop.h"
#include "window_scope/window_scope_manager.h"
#include "window_scope/x11/x11_window_providers.h"

namespace murmura::cli {

namespace {

// Ctrl-C and SIGTERM end a capture early through the main loop.
int gSignalPipe[2] = {-1, -1};
void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(gSignalPipe[1], &byte, 1);
}

int runCapture(const Args& args, Context& ctx) {
    const double seconds = args.number("seconds");
    if (args.has("window") && args.has("all")) fail("capture: give either --window or --all");
    uint32_t windowID = WindowScopeManager::allWindowsID;
    if (args.has("window")) windowID = static_cast<uint32_t>(args.integer("window"));
    const std::string& out = args.value("out");

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
        ctx.err << line << std::endl;
    }
    loop.runUntil([&] { return events.has_value() || interrupted; }, seconds + 60);
    session.stop();  // early on Ctrl-C; no effect once the session has completed
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signalWatch->cancel();
    close(gSignalPipe[0]);
    close(gSignalPipe[1]);
    manager->stopTracking();
    if (tap->connectionLost()) ctx.err << "capture: the X connection was lost; keeping what was recorded" << std::endl;

    CaptureResult result;
    result.events = events.value_or(std::vector<RawEvent>{});
    redactCharacterKeys(result.events);
    result.duration = seconds;
    result.windowID = windowID;
    result.windowFrame = *frame;
    writeSession(ctx, result, out);
    ctx.err << "Recorded " << result.events.size() << " events to " << out << std::endl;
    return 0;
}

}  // namespace

Command captureCommand() {
    return Command{
        .name = "capture",
        .summary = "record a session from the running X11 desktop",
        .description =
            "Records a session from the running X11 desktop: every pointer move, click, drag, scroll and\n"
            "key press or release, system-wide, flagged as inside or outside the chosen window. The\n"
            "capture only listens (X RECORD extension); it never grabs or alters input. Ctrl-C stops\n"
            "early and still writes what was recorded.",
        .options =
            {
                {.name = "seconds", .valueName = "N", .help = "session length in seconds (0 < N <= 86400)",
                 .validate = numberAbove0AtMost(86400), .required = true},
                {.name = "window", .valueName = "ID", .help = "the window to follow (see 'murmura-cli windows')",
                 .validate = integerFrom(1, UINT32_MAX)},
                {.name = "all", .help = "the whole main display (the default)"},
                {.name = "out", .valueName = "SESSION", .help = "output session file", .required = true},
            },
        .notes = "Privacy: what was typed is never written. Character keys are all stored as one code\n"
                 "(65535); only Return, Enter, Escape, Backspace, Delete, the arrows and the modifiers keep\n"
                 "their own codes, which is all the styles read.",
        .run = runCapture,
    };
}

}  // namespace murmura::cli
