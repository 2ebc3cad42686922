#pragma once
// A private X server for integration tests: Xvfb on a free display (-displayfd), optionally
// openbox, real client windows, and tools run against it. Every process started here dies with
// the test (killed in teardown, and by the kernel if the test process itself dies).
#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/x11/x11_connection.h"
#include "support/event_loop.h"
#include "support/geometry.h"

namespace murmura::test {

struct ChildProcess {
    pid_t pid = -1;
    // Waits up to timeout seconds; the exit status (128 + signal when killed).
    std::optional<int> wait(double timeout);
    // SIGTERM, then SIGKILL after grace seconds; always reaps.
    void stop(double grace = 2.0);
};

// Standard output and error go to /dev/null unless outFd/errFd are given.
ChildProcess spawnProcess(const std::vector<std::string>& argv, int keepFd = -1, int outFd = -1, int errFd = -1);

struct CommandResult {
    int status = -1;  // -1 when it did not finish in time (it is then killed)
    std::string out;  // standard output, and standard error too when asked for
};
// Appends what fd delivers until done(out) holds (else until end of file) or timeout seconds
// pass; whether it got there.
bool readUntil(int fd, std::string& out, double timeout, const std::function<bool(const std::string&)>& done = {});
CommandResult runCommand(const std::vector<std::string>& argv, double timeout = 20.0, bool withStderr = false);

class XSession {
public:
    struct Options {
        bool windowManager = true;
        std::vector<std::string> extraServerArgs = {};
    };
    explicit XSession(const Options& options);  // on failure the reason is in error()
    ~XSession();

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& display() const { return display_; }
    X11Connection& connection() { return *connection_; }  // the test's own, for its windows
    void killServer();

private:
    std::string error_, display_;
    ChildProcess server_, windowManager_;
    std::unique_ptr<X11Connection> connection_;
};

struct TestWindow {
    std::string title, ownerClass;
    int x = 100, y = 100, width = 400, height = 300;
    std::string type = {};           // an _NET_WM_WINDOW_TYPE_* suffix such as "DOCK"
    bool compoundTextTitle = false;  // WM_NAME as COMPOUND_TEXT and no _NET_WM_NAME, like xterm
    long eventMask = 0;
};

// Creates and maps a top-level window; its id, 0 on failure.
unsigned long createWindow(X11Connection& connection, const TestWindow& window);
// Waits until the window manager lists every window in _NET_CLIENT_LIST with frame extents set.
bool waitForManagedWindows(X11Connection& connection, const std::vector<unsigned long>& windows, double timeout = 10.0);
// The frame of a managed window in root pixels, measured with xwininfo and xprop.
std::optional<Rect> frameFromTools(const std::string& display, unsigned long window);
// Sets the root's RESOURCE_MANAGER string, as xrdb would.
void setResources(X11Connection& connection, const std::string& resources);

// One private server per test. Skips when Xvfb, openbox or xdotool are missing, except under
// CI, where that fails.
class XTest : public ::testing::Test {
protected:
    virtual XSession::Options options() const { return {}; }
    void SetUp() override;

    // A window, once the window manager has it.
    unsigned long managedWindow(const TestWindow& window);
    void xdotool(const std::vector<std::string>& args);
    void idle(double seconds) { loop_.runUntil([] { return false; }, seconds); }

    std::unique_ptr<XSession> session_;
    EventLoop loop_;
};

}  // namespace murmura::test
