#include "x_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "support/clock.h"
#include "window_scope/x11/x11_window_properties.h"

// libXtst frees the state of XRecordEnableContextAsync only when the server's last reply
// arrives. When the server is gone or does not answer, the capture closes the connection
// without that reply, and those 72 bytes stay allocated; nothing else may leak.
extern "C" const char* __lsan_default_suppressions() { return "leak:XRecordEnableContextAsync\n"; }

namespace murmura::test {

namespace {

double now() { return SystemClock::shared().uptime(); }

void sleepSeconds(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

}  // namespace

ChildProcess spawnProcess(const std::vector<std::string>& argv, int keepFd, int outFd, int errFd) {
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return ChildProcess{pid};
    // Child: die with the test process, whatever happens to it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, STDIN_FILENO);
    dup2(outFd >= 0 ? outFd : devnull, STDOUT_FILENO);
    dup2(errFd >= 0 ? errFd : devnull, STDERR_FILENO);
    for (int fd = 3; fd < 1024; ++fd)
        if (fd != keepFd) close(fd);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

std::optional<int> ChildProcess::wait(double timeout) {
    if (pid <= 0) return std::nullopt;
    const double deadline = now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (r < 0) {
            pid = -1;
            return std::nullopt;
        }
        if (now() >= deadline) return std::nullopt;
        sleepSeconds(0.005);
    }
}

void ChildProcess::stop(double grace) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (wait(grace)) return;
    kill(pid, SIGKILL);
    wait(10.0);
}

bool readUntil(int fd, std::string& out, double timeout, const std::function<bool(const std::string&)>& done) {
    const double deadline = now() + timeout;
    while (!(done && done(out))) {
        const double left = deadline - now();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left * 1000) + 1) <= 0) return false;
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return !done;
        out.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

CommandResult runCommand(const std::vector<std::string>& argv, double timeout, bool withStderr) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return {};
    ChildProcess child = spawnProcess(argv, -1, out[1], withStderr ? out[1] : -1);
    close(out[1]);
    const double deadline = now() + timeout;
    CommandResult result;
    readUntil(out[0], result.out, timeout);
    close(out[0]);
    auto status = child.wait(std::max(0.0, deadline - now()));
    if (!status) child.stop(0.5);
    result.status = status.value_or(-1);
    return result;
}

XSession::XSession(const Options& options) {
    // Only this server, never a Wayland compositor of the desktop the tests may run from.
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("XDG_SESSION_TYPE");
    int fds[2];
    if (pipe(fds) != 0) {
        error_ = "pipe failed";
        return;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x800x24",
                                      "-nolisten", "tcp", "-noreset"};
    args.insert(args.end(), options.extraServerArgs.begin(), options.extraServerArgs.end());
    server_ = spawnProcess(args, fds[1]);
    close(fds[1]);
    // Xvfb writes the display number it chose once it accepts connections.
    std::string number;
    readUntil(fds[0], number, 20.0, [](const std::string& text) { return text.find('\n') != std::string::npos; });
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        error_ = "Xvfb did not report a display number";
        server_.stop();
        return;
    }
    display_ = ":" + number.substr(0, number.find('\n'));
    setenv("DISPLAY", display_.c_str(), 1);
    connection_ = X11Connection::open(display_);
    if (!connection_) {
        error_ = "cannot connect to Xvfb on " + display_;
        server_.stop();
        return;
    }
    if (!options.windowManager) return;
    windowManager_ = spawnProcess({"openbox", "--sm-disable"});
    // openbox publishes its EWMH properties before it handles map requests; a window mapped in
    // between is never managed. Ready means: a probe window gets managed.
    Display* d = connection_->display();
    const X11Atoms atoms = X11Atoms::intern(d);
    const double wmDeadline = now() + 20.0;
    while (now() < wmDeadline) {
        auto check = readLongs(d, DefaultRootWindow(d), atoms.netSupportingWmCheck, XA_WINDOW);
        if (!check || check->empty()) {
            sleepSeconds(0.01);
            continue;
        }
        const auto probe = createWindow(*connection_, {.title = "probe", .ownerClass = "Probe", .x = 0, .y = 0, .width = 50, .height = 50});
        const bool managed = waitForManagedWindows(*connection_, {probe}, 1.0);
        XDestroyWindow(d, probe);
        connection_->sync();
        if (!managed) continue;
        while (now() < wmDeadline) {
            auto clients = readLongs(d, DefaultRootWindow(d), atoms.netClientList, XA_WINDOW);
            if (clients && std::find(clients->begin(), clients->end(), probe) == clients->end()) return;
            sleepSeconds(0.005);
        }
    }
    error_ = "openbox did not start";
}

XSession::~XSession() {
    connection_.reset();
    windowManager_.stop();
    server_.stop();
}

void XSession::killServer() {
    if (server_.pid > 0) kill(server_.pid, SIGKILL);
    server_.wait(10.0);
    windowManager_.stop(1.0);
}

unsigned long createWindow(X11Connection& connection, const TestWindow& o) {
    Display* d = connection.display();
    const int screen = DefaultScreen(d);
    const Window w = XCreateSimpleWindow(d, RootWindow(d, screen), o.x, o.y, static_cast<unsigned>(o.width),
                                         static_cast<unsigned>(o.height), 0, BlackPixel(d, screen),
                                         WhitePixel(d, screen));
    std::string instance = o.ownerClass;
    for (auto& ch : instance) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    XClassHint hint{instance.data(), const_cast<char*>(o.ownerClass.c_str())};
    XSetClassHint(d, w, &hint);
    XSizeHints size{};
    size.flags = USPosition | USSize;
    size.x = o.x, size.y = o.y, size.width = o.width, size.height = o.height;
    XSetWMNormalHints(d, w, &size);

    char* text = const_cast<char*>(o.title.c_str());
    XTextProperty property{};
    if (o.compoundTextTitle) {
        // Encoding non-Latin-1 text as COMPOUND_TEXT needs a UTF-8 locale, as in xterm.
        const std::string previous = setlocale(LC_CTYPE, nullptr);
        setlocale(LC_CTYPE, "C.UTF-8");
        if (Xutf8TextListToTextProperty(d, &text, 1, XCompoundTextStyle, &property) >= 0) {
            XSetWMName(d, w, &property);
            XFree(property.value);
        }
        setlocale(LC_CTYPE, previous.c_str());
    } else {
        const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
        XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(o.title.data()), static_cast<int>(o.title.size()));
        XStoreName(d, w, "fallback title");  // must never win over _NET_WM_NAME
    }
    if (!o.type.empty()) {
        const Atom type = XInternAtom(d, ("_NET_WM_WINDOW_TYPE_" + o.type).c_str(), False);
        XChangeProperty(d, w, XInternAtom(d, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&type), 1);
    }
    if (o.eventMask) XSelectInput(d, w, o.eventMask);
    XMapWindow(d, w);
    connection.sync();
    return w;
}

bool waitForManagedWindows(X11Connection& connection, const std::vector<unsigned long>& windows, double timeout) {
    Display* d = connection.display();
    const X11Atoms atoms = X11Atoms::intern(d);
    const double deadline = now() + timeout;
    while (now() < deadline) {
        auto clients = readLongs(d, DefaultRootWindow(d), atoms.netClientList, XA_WINDOW);
        bool all = clients.has_value();
        for (unsigned long w : windows) {
            if (!all) break;
            all = std::find(clients->begin(), clients->end(), w) != clients->end() &&
                  readLongs(d, w, atoms.netFrameExtents, XA_CARDINAL).has_value();
            XWindowAttributes a{};
            all = all && XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
        }
        connection.takeError();
        if (all) return true;
        sleepSeconds(0.01);
    }
    return false;
}

std::optional<Rect> frameFromTools(const std::string& display, unsigned long window) {
    const std::string id = std::to_string(window);
    const auto info = runCommand({"xwininfo", "-display", display, "-id", id});
    const auto extents = runCommand({"xprop", "-display", display, "-id", id, "_NET_FRAME_EXTENTS"});
    // xwininfo's labelled lines; "_NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom".
    double v[5], e[4];
    const char* labels[] = {"Absolute upper-left X:", "Absolute upper-left Y:", "Width:", "Height:", "Border width:"};
    for (size_t i = 0; i < 5; ++i) {
        const auto at = info.out.find(labels[i]);
        if (info.status != 0 || at == std::string::npos) return std::nullopt;
        v[i] = std::strtod(info.out.c_str() + at + std::strlen(labels[i]), nullptr);
    }
    const auto eq = extents.out.find('=');
    if (extents.status != 0 || eq == std::string::npos ||
        std::sscanf(extents.out.c_str() + eq + 1, "%lf , %lf , %lf , %lf", &e[0], &e[1], &e[2], &e[3]) != 4)
        return std::nullopt;
    // xwininfo's absolute corner is the outer corner of the border already.
    return Rect{v[0] - e[0], v[1] - e[2], v[2] + 2 * v[4] + e[0] + e[1], v[3] + 2 * v[4] + e[2] + e[3]};
}

void setResources(X11Connection& connection, const std::string& resources) {
    Display* d = connection.display();
    XChangeProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources.data()), static_cast<int>(resources.size()));
    connection.sync();
}

void XTest::SetUp() {
    std::string missing;
    for (const char* tool : {"Xvfb", "openbox", "xdotool", "xwininfo", "xprop"})
        if (runCommand({"sh", "-c", std::string("command -v ") + tool}).status != 0) missing += std::string(" ") + tool;
    if (!missing.empty()) {
        if (std::getenv("CI")) FAIL() << "X11 integration tools missing under CI:" << missing;
        GTEST_SKIP() << "X11 integration test skipped, not installed:" << missing;
    }
    session_ = std::make_unique<XSession>(options());
    ASSERT_TRUE(session_->ok()) << session_->error();
}

unsigned long XTest::managedWindow(const TestWindow& window) {
    const unsigned long id = createWindow(session_->connection(), window);
    EXPECT_TRUE(waitForManagedWindows(session_->connection(), {id})) << window.title;
    return id;
}

void XTest::xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    ASSERT_EQ(runCommand(argv).status, 0);
}

}  // namespace murmura::test
