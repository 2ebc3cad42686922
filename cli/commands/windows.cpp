// murmura-cli windows: the X11 windows a session can record.
#include <ostream>

#include "cli/command.h"
#include "support/event_loop.h"
#include "window_scope/window_scope_manager.h"
#include "window_scope/x11/x11_window_providers.h"

namespace murmura::cli {

namespace {

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

int runWindows(const Args&, Context& ctx) {
    EventLoop loop;
    WindowScopeManager manager(makeDefaultWindowProvider(loop));
    if (!manager.provider().isAvailable()) fail("windows: cannot open the X11 display (is DISPLAY set?)");
    auto windows = manager.listWindows();
    if (!windows) fail("windows: " + windows.error().message());
    auto bounds = manager.provider().mainDisplayBounds();
    Json out = Json::array();
    out.push_back(encodeWindow(allWindowsDescriptor(bounds)));
    for (const auto& w : *windows) out.push_back(encodeWindow(w));
    // Window titles come from other programs and need not be valid UTF-8.
    ctx.out << out.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
    return 0;
}

}  // namespace

Command windowsCommand() {
    return Command{
        .name = "windows",
        .summary = "list the windows a session can record (X11)",
        .description =
            "Prints the windows of the running X11 desktop that a session can record, as a JSON array\n"
            "sorted by owner: {\"id\", \"title\", \"ownerName\", \"displayName\", \"frame\": [x, y, w, h],\n"
            "\"isOnScreen\"}, frames in display points. The first entry, id 0, is the whole main display.",
        .run = runWindows,
    };
}

}  // namespace murmura::cli
