#pragma once
// A private X server for integration tests: Xvfb on a free display (-displayfd), optionally
// openbox, real client windows and helpers to run xdotool and friends against it. Every
// process started here dies with the test (it is killed in teardown, and by the kernel if the
// test process itself dies).
#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/geometry.h"
#include "platform/x11/x11_connection.h"

namespace murmura::test {

struct ChildProcess {
    pid_t pid = -1;
    // Waits up to timeout seconds; returns the exit status (128 + signal when killed).
    std::optional<int> wait(double timeout);
    // SIGTERM, then SIGKILL after grace seconds; always reaps.
    void stop(double grace = 2.0);
};

// Spawns argv with stdout and stderr sent to /dev/null unless outFd/errFd are given; keepFd
// stays open in the child.
ChildProcess spawnProcess(const std::vector<std::string>& argv, int keepFd = -1, int outFd = -1, int errFd = -1);

struct CommandResult {
    int status = -1;  // -1 when it did not finish in time (it is then killed)
    std::string out;
};
// out holds standard output (and standard error too when withStderr).
CommandResult runCommand(const std::vector<std::string>& argv, double timeout = 20.0, bool withStderr = false);

bool haveExecutable(const std::string& name);

class XSession {
public:
    struct Options {
        bool windowManager = true;
        std::vector<std::string> extraServerArgs;
    };
    // Starts the server (and window manager); on failure the reason is in error().
    explicit XSession(Options options);
    XSession() : XSession(Options{}) {}
    ~XSession();

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& display() const { return display_; }
    // A connection of the test's own, used to create, move and close windows.
    X11Connection& connection() { return *connection_; }

    void killServer();

    // Skips (or fails under CI) unless Xvfb, openbox and xdotool are installed; returns true when
    // the test may go on.
    static bool toolsAvailable(std::string& missing);

private:
    std::string error_;
    std::string display_;
    ChildProcess server_;
    ChildProcess windowManager_;
    std::unique_ptr<X11Connection> connection_;
};

struct TestWindowOptions {
    std::string title = "Test window";
    std::string ownerClass = "MurmuraTest";
    int x = 100;
    int y = 100;
    int width = 400;
    int height = 300;
    std::string type;               // an _NET_WM_WINDOW_TYPE_* suffix such as "DOCK"
    bool compoundTextTitle = false;  // WM_NAME as COMPOUND_TEXT and no _NET_WM_NAME, like xterm
    long eventMask = 0;
};

inline TestWindowOptions windowOptions(std::string title, std::string ownerClass, int x = 100, int y = 100,
                                       int width = 400, int height = 300) {
    TestWindowOptions o;
    o.title = std::move(title);
    o.ownerClass = std::move(ownerClass);
    o.x = x;
    o.y = y;
    o.width = width;
    o.height = height;
    return o;
}

// Creates and maps a top-level window; returns its id (0 on failure).
unsigned long createWindow(X11Connection& connection, const TestWindowOptions& options);

// Waits (pumping nothing) until the window manager lists every window in _NET_CLIENT_LIST
// with frame extents set.
bool waitForManagedWindows(X11Connection& connection, const std::vector<unsigned long>& windows, double timeout = 10.0);

// The frame of a managed window in root pixels, computed with xwininfo and xprop.
std::optional<Rect> frameFromTools(const std::string& display, unsigned long window);

// Sets the root's RESOURCE_MANAGER string (as xrdb would).
void setResources(X11Connection& connection, const std::string& resources);

}  // namespace murmura::test

// Skips the test when the tools are missing, except under CI, where that is a failure.
#define MURMURA_REQUIRE_X_TOOLS()                                                                          \
    do {                                                                                                   \
        std::string missing_;                                                                              \
        if (!::murmura::test::XSession::toolsAvailable(missing_)) {                                       \
            if (std::getenv("CI")) FAIL() << "X11 integration tools missing under CI: " << missing_;      \
            GTEST_SKIP() << "X11 integration test skipped: " << missing_                                   \
                         << " not installed (apt-get install xvfb openbox xdotool x11-utils)";            \
        }                                                                                                  \
    } while (0)
