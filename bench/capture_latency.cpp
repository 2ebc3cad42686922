// End-to-end latency and throughput of the X11 input capture: a child process injects pointer
// motions with XTEST, the capture records them through RECORD on the main loop, and each
// event's delivery time and recorded timestamp are compared with its injection time (all on
// CLOCK_MONOTONIC).
//
//   capture_latency [--events N] [--interval-us U]     (needs DISPLAY; see capture_latency.sh)
//
// U = 0 injects as fast as possible (throughput); U = 1000 is a fast mouse (1 kHz).
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "capture/global_input_capture.h"
#include "capture/x11/x11_event_tap.h"
#include "support/clock.h"
#include "support/event_loop.h"
#include "window_scope/window_scope_manager.h"
#include "window_scope/x11/x11_window_providers.h"

using namespace murmura;

namespace {

Point positionOf(long i) { return {100.0 + static_cast<double>(i % 1000), 100.0 + static_cast<double>(i / 1000 % 500)}; }
long indexOf(Point p) { return static_cast<long>(p.y - 100) * 1000 + static_cast<long>(p.x - 100); }

// The injecting child: its own connection, one flushed motion per event, paced by interval.
[[noreturn]] void inject(long count, long intervalUs, int out) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) _exit(2);
    std::vector<double> sent(static_cast<size_t>(count));
    const double start = SystemClock::shared().uptime();
    for (long i = 0; i < count; ++i) {
        if (intervalUs > 0) {
            const double due = start + static_cast<double>(i) * static_cast<double>(intervalUs) * 1e-6;
            while (SystemClock::shared().uptime() < due) std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        const Point p = positionOf(i);
        sent[static_cast<size_t>(i)] = SystemClock::shared().uptime();
        XTestFakeMotionEvent(d, -1, static_cast<int>(p.x), static_cast<int>(p.y), CurrentTime);
        XFlush(d);
    }
    XSync(d, False);
    const char* bytes = reinterpret_cast<const char*>(sent.data());
    size_t left = sent.size() * sizeof(double);
    while (left > 0) {
        const ssize_t n = write(out, bytes, left);
        if (n <= 0) _exit(3);
        bytes += n;
        left -= static_cast<size_t>(n);
    }
    XCloseDisplay(d);
    _exit(0);
}

double percentile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    const size_t k = static_cast<size_t>(std::min<double>(static_cast<double>(v.size()) - 1, std::floor(q * static_cast<double>(v.size()))));
    return v[k];
}

}  // namespace

int main(int argc, char** argv) {
    long count = 5000;
    long intervalUs = 1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--events") == 0) count = std::strtol(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--interval-us") == 0) intervalUs = std::strtol(argv[i + 1], nullptr, 10);
    }
    if (count <= 0 || count > 500000 || intervalUs < 0) {
        std::fprintf(stderr, "usage: capture_latency [--events 1..500000] [--interval-us U]\n");
        return 1;
    }
    EventLoop loop;
    auto manager = std::make_shared<WindowScopeManager>(std::make_shared<X11TreeWindowProvider>(loop));
    if (!manager->startTracking(WindowScopeManager::allWindowsID)) return 1;
    auto tap = std::make_shared<X11EventTap>(loop);
    GlobalInputCapture capture(manager, tap);
    struct Received {
        long index;
        double delivered;
        double stamped;  // the event's timestamp on the uptime clock
    };
    std::vector<Received> received;
    received.reserve(static_cast<size_t>(count));
    auto subscription = capture.events().subscribe([&](const RawEvent& e) {
        if (e.type == EventType::mouseMove && e.position)
            received.push_back({indexOf(*e.position), SystemClock::shared().uptime(),
                                e.timestamp + capture.sessionStartTime()});
    });
    // Start from a position no injected event uses, so that the first motion is a real move.
    {
        Display* d = XOpenDisplay(nullptr);
        if (!d) {
            std::fprintf(stderr, "capture_latency: cannot open DISPLAY\n");
            return 1;
        }
        XTestFakeMotionEvent(d, -1, 5, 5, CurrentTime);
        XSync(d, False);
        XCloseDisplay(d);
    }
    auto started = capture.startCapturing();
    if (!started) {
        std::fprintf(stderr, "capture_latency: %s\n", std::string(message(started.error())).c_str());
        return 1;
    }
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return 1;
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        inject(count, intervalUs, pipeFds[1]);
    }
    close(pipeFds[1]);
    const double timeout = 30.0 + static_cast<double>(count) * static_cast<double>(intervalUs) * 1e-6;
    loop.runUntil([&] { return received.size() >= static_cast<size_t>(count); }, timeout);
    std::vector<double> sent(static_cast<size_t>(count));
    char* bytes = reinterpret_cast<char*>(sent.data());
    size_t left = sent.size() * sizeof(double);
    while (left > 0) {
        const ssize_t n = read(pipeFds[0], bytes, left);
        if (n <= 0) break;
        bytes += n;
        left -= static_cast<size_t>(n);
    }
    int status = 0;
    waitpid(child, &status, 0);
    capture.stopCapturing();
    if (left > 0) {
        std::fprintf(stderr, "capture_latency: the injecting process failed\n");
        return 1;
    }

    bool ordered = true;
    std::vector<double> latency;
    std::vector<double> stampError;
    for (size_t k = 0; k < received.size(); ++k) {
        const long i = received[k].index;
        if (i != static_cast<long>(k)) ordered = false;
        if (i < 0 || i >= count) continue;
        latency.push_back(received[k].delivered - sent[static_cast<size_t>(i)]);
        stampError.push_back(std::abs(received[k].stamped - sent[static_cast<size_t>(i)]));
    }
    std::printf("injected %ld motions at %s, received %zu, in order: %s\n", count,
                intervalUs > 0 ? (std::to_string(1e6 / static_cast<double>(intervalUs)) + " Hz").c_str() : "full speed",
                received.size(), ordered ? "yes" : "no");
    if (!latency.empty()) {
        std::printf("latency ms: median %.3f  p90 %.3f  p99 %.3f  max %.3f\n", percentile(latency, 0.5) * 1e3,
                    percentile(latency, 0.9) * 1e3, percentile(latency, 0.99) * 1e3,
                    percentile(latency, 1.0) * 1e3);
        std::printf("timestamp error ms: median %.3f  p90 %.3f  p99 %.3f  max %.3f\n",
                    percentile(stampError, 0.5) * 1e3, percentile(stampError, 0.9) * 1e3,
                    percentile(stampError, 0.99) * 1e3, percentile(stampError, 1.0) * 1e3);
        const double span = received.back().delivered - sent.front();
        std::printf("throughput: %.0f events/s over %.3f s\n", static_cast<double>(received.size()) / span, span);
    }
    return received.size() == static_cast<size_t>(count) && ordered ? 0 : 2;
}
