// murmura-cli capture: records a session from the running X11 desktop.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "app/session_coordinator.h"
#include "app/x11/x11_capture_backend.h"
#include "capture/x11/x11_event_tap.h"
#include "cli/command.h"
#include "support/event_loop.h"
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
    if (!makeDefaultWindowProvider(loop)->isAvailable()) fail("capture: cannot open the X11 display (is DISPLAY set?)");
    if (!x11TrustProbe()())
        fail("capture: " + std::string(message(CaptureError::accessibilityPermissionDenied)) + ". " +
             X11EventTap::permissionExplanation({}));

    // The application's session flow, with a hold on the tap to report a lost connection.
    CaptureBackend backend = x11CaptureBackend();
    std::shared_ptr<X11EventTap> tap;
    backend.makeEventTap = [&tap](Scheduler& scheduler) {
        tap = std::make_shared<X11EventTap>(scheduler);
        return tap;
    };
    SessionCoordinator coordinator(loop, SystemClock::shared(), std::move(backend));

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

    std::optional<SessionCoordinator::Result> outcome;
    coordinator.start(windowID, seconds, [&](const SessionCoordinator::Result& r) { outcome = r; });
    if (coordinator.isRecording()) {
        char line[160];
        std::snprintf(line, sizeof line, "Recording %.1f s of input on %s; Ctrl-C stops early", seconds,
                      windowID == WindowScopeManager::allWindowsID ? "the whole display"
                                                                   : ("window " + std::to_string(windowID)).c_str());
        ctx.err << line << std::endl;
    }
    loop.runUntil([&] { return outcome.has_value() || interrupted; }, seconds + 60);
    coordinator.stop();  // early on Ctrl-C; the result then arrives as a posted task
    loop.runUntil([&] { return outcome.has_value(); }, 5);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signalWatch->cancel();
    close(gSignalPipe[0]);
    close(gSignalPipe[1]);
    if (!outcome) fail("capture: the session did not end");
    if (!*outcome) fail("capture: " + outcome->error().message());
    if (tap && tap->connectionLost()) ctx.err << "capture: the X connection was lost; keeping what was recorded" << std::endl;

    CaptureResult result = outcome->value();
    redactCharacterKeys(result.events);
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
