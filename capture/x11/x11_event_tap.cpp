#include "capture/x11/x11_event_tap.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>
#include <poll.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "capture/x11/x11_event_translator.h"
#include "platform/x11/x11_server_clock.h"
#include "support/clock.h"
#include "support/diagnostics.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_display.h"

namespace murmura {

namespace {

// How long start waits for the server to confirm recording, and stop for it to end it.
constexpr double kStartTimeout = 2.0;
constexpr double kStopTimeout = 0.5;
// The server keeps recorded device events in a 1 KB buffer (about 32 events) that it writes
// out only when it is full or when it sends anything to any client. Sending ourselves an event
// this often bounds how long an event can wait there (a slow mouse would otherwise see delays
// of hundreds of milliseconds, and the last events before a pause would stay stuck). Event
// times do not suffer from the wait: they come from the server's own clock.
constexpr double kFlushInterval = 0.02;

}  // namespace

struct X11EventTap::Recording {
    std::unique_ptr<X11Connection> control;  // creates, disables and frees the context
    std::unique_ptr<X11Connection> data;     // receives the recorded protocol
    XRecordContext context = 0;
    std::shared_ptr<Timer> watch;
    std::shared_ptr<Timer> flushTimer;
    std::shared_ptr<Timer> controlWatch;
    Window flushWindow = None;
    Atom flushProperty = None;
    bool flushOutstanding = false;  // at most one, so a server that stops reading cannot block us
    std::optional<X11EventTranslator> translator;
    std::optional<X11ServerClock> serverClock;
    X11EventTap* owner = nullptr;  // null once uninstalled: whatever still arrives is dropped
    bool enableSent = false;
    bool started = false;
    bool ended = false;
};

struct X11EventTapAccess {
    static void onRecord(XPointer closure, XRecordInterceptData* d) {
        auto* r = reinterpret_cast<X11EventTap::Recording*>(closure);
        switch (d->category) {
        case XRecordStartOfData: r->started = true; break;
        case XRecordEndOfData: r->ended = true; break;
        case XRecordFromServer:
            if (r->owner && d->data && static_cast<size_t>(d->data_len) * 4 >= sizeof(xEvent)) {
                xEvent event;
                std::memcpy(&event, d->data, sizeof event);
                X11InputEvent input;
                input.type = event.u.u.type & 0x7F;
                input.detail = event.u.u.detail;
                input.rootX = event.u.keyButtonPointer.rootX;
                input.rootY = event.u.keyButtonPointer.rootY;
                input.state = event.u.keyButtonPointer.state;
                input.time = event.u.keyButtonPointer.time;
                TapEvent tapEvent = r->translator->translate(input);
                tapEvent.uptime = r->serverClock->eventUptime(input.time, SystemClock::shared().uptime());
                r->owner->deliver(tapEvent);
            }
            break;
        default: break;
        }
        XRecordFreeData(d);
    }

    // Asks the server to write out its buffered recording: the notification of a property
    // change on our own window is output, and writing output flushes the recording contexts.
    // The notification's server time also calibrates the server clock.
    static void requestFlush(X11EventTap::Recording& r) {
        drainControl(r);
        if (r.flushOutstanding || !r.control || !r.control->isAlive()) return;
        XChangeProperty(r.control->display(), r.flushWindow, r.flushProperty, XA_INTEGER, 32, PropModeReplace,
                        nullptr, 0);
        XFlush(r.control->display());
        r.flushOutstanding = true;
        // XFlush also reads whatever has arrived, into Xlib's queue, where the socket watch
        // would never see it.
        drainControl(r);
    }
    static void drainControl(X11EventTap::Recording& r) {
        if (!r.control || !r.control->isAlive()) {
            // A dead socket stays readable; watching it would spin the loop.
            if (r.controlWatch) r.controlWatch->cancel();
            return;
        }
        Display* d = r.control->display();
        while (XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            if (event.type == PropertyNotify && event.xproperty.window == r.flushWindow) {
                r.flushOutstanding = false;
                r.serverClock->observe(static_cast<uint32_t>(event.xproperty.time), SystemClock::shared().uptime());
            }
        }
    }

    // Processes what the data connection has received until done() holds, the connection dies
    // or the timeout passes. Used only outside the main loop's own dispatch (start and stop).
    template <class Done>
    static void pumpUntil(X11EventTap::Recording& r, Done done, double timeout) {
        const double deadline = SystemClock::shared().uptime() + timeout;
        while (!done() && r.data && r.data->isAlive()) {
            const double left = deadline - SystemClock::shared().uptime();
            if (left <= 0) return;
            pollfd p{r.data->fd(), POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(std::ceil(left * 1000))) > 0) XRecordProcessReplies(r.data->display());
        }
    }
};

X11EventTap::X11EventTap(Scheduler& scheduler, std::string displayName)
    : scheduler_(scheduler), displayName_(std::move(displayName)) {}

X11EventTap::~X11EventTap() {
    uninstall();
    for (auto& r : retired_) teardown(std::move(r));
}

bool X11EventTap::isWaylandSession() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    if (type && std::strcmp(type, "wayland") == 0) return true;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return wayland && *wayland;
}

namespace {

enum class Availability { available, wayland, noDisplay, noRecord };

Availability availability(const std::string& displayName) {
    if (X11EventTap::isWaylandSession()) return Availability::wayland;
    auto connection = X11Connection::open(displayName);
    if (!connection) return Availability::noDisplay;
    int major = 0;
    int minor = 0;
    const bool record = XRecordQueryVersion(connection->display(), &major, &minor) && connection->isAlive();
    return record ? Availability::available : Availability::noRecord;
}

}  // namespace

bool X11EventTap::hasAccessibilityPermission(const std::string& displayName) {
    return availability(displayName) == Availability::available;
}

bool X11EventTap::hasAccessibilityPermission() const { return hasAccessibilityPermission(displayName_); }

std::string X11EventTap::permissionExplanation(const std::string& displayName) {
    switch (availability(displayName)) {
    case Availability::available:
        return "Input capture is available: the X server's RECORD extension lets Murmura observe pointer and "
               "keyboard activity without altering it.";
    case Availability::wayland:
        return "Murmura observes input through the X11 RECORD extension, which in a Wayland session sees only "
               "X11 applications. Log in to an X11 (Xorg) session to record sessions.";
    case Availability::noDisplay:
        return "Murmura observes input through the X11 RECORD extension, but no X11 display could be opened. "
               "Run it inside an X11 session (with DISPLAY set).";
    case Availability::noRecord:
        return "The X server does not offer the RECORD extension, which Murmura needs to observe input. "
               "Enable it in the server's configuration (module \"record\") and restart the session.";
    }
    return {};
}

void X11EventTap::requestAccessibilityPermission() const { diagnostic(permissionExplanation(displayName_)); }

Expected<void, CaptureError> X11EventTap::install(Callback callback) {
    if (recording_) return {};
    auto r = std::make_unique<Recording>();
    r->serverClock.emplace(SystemClock::shared().uptime());
    r->control = X11Connection::open(displayName_);
    if (!r->control) return unexpected(CaptureError::eventTapCreationFailed);
    int major = 0;
    int minor = 0;
    if (!XRecordQueryVersion(r->control->display(), &major, &minor)) {
        teardown(std::move(r));
        return unexpected(CaptureError::eventTapCreationFailed);
    }
    r->data = X11Connection::open(displayName_);
    if (!r->data) {
        teardown(std::move(r));
        return unexpected(CaptureError::eventTapCreationFailed);
    }
    {
        // Buttons already held when recording starts make the first motions drags.
        Display* d = r->control->display();
        Window root = None, child = None;
        int rootX = 0, rootY = 0, x = 0, y = 0;
        unsigned mask = 0;
        XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rootX, &rootY, &x, &y, &mask);
        r->translator.emplace(readDisplayGeometry(d), mask);
    }

    XRecordRange* range = XRecordAllocRange();
    if (!range) {
        teardown(std::move(r));
        return unexpected(CaptureError::eventTapCreationFailed);
    }
    // Device events are what the server processes from the input devices (XTest included),
    // before any client sees them: grabs, focus and event masks do not hide anything from us.
    range->device_events.first = KeyPress;
    range->device_events.last = MotionNotify;
    XRecordClientSpec clients = XRecordAllClients;
    r->context = XRecordCreateContext(r->control->display(), 0, &clients, 1, &range, 1);
    XFree(range);
    // Synchronise before enabling: the context must exist on the server when the data
    // connection refers to it.
    if (!r->context || !r->control->sync() || r->control->takeError() != 0) {
        teardown(std::move(r));
        return unexpected(CaptureError::eventTapCreationFailed);
    }
    r->owner = this;
    if (!XRecordEnableContextAsync(r->data->display(), r->context, &X11EventTapAccess::onRecord,
                                   reinterpret_cast<XPointer>(r.get()))) {
        teardown(std::move(r));
        return unexpected(CaptureError::eventTapCreationFailed);
    }
    r->enableSent = true;
    XFlush(r->data->display());
    // Once the server confirms, every later input event is recorded.
    X11EventTapAccess::pumpUntil(*r, [&] { return r->started || r->ended; }, kStartTimeout);
    if (!r->started || r->ended || !r->data->isAlive()) {
        teardown(std::move(r));
        return unexpected(CaptureError::eventTapCreationFailed);
    }
    Recording* raw = r.get();
    r->watch = scheduler_.watchReadable(r->data->fd(), [this, raw] { onReadable(raw); });
    r->controlWatch = scheduler_.watchReadable(r->control->fd(), [raw] { X11EventTapAccess::drainControl(*raw); });
    if (!r->watch || !r->controlWatch) {
        teardown(std::move(r));
        return unexpected(CaptureError::runLoopSourceCreationFailed);
    }
    {
        Display* d = r->control->display();
        XSetWindowAttributes attributes{};
        attributes.event_mask = PropertyChangeMask;
        r->flushWindow = XCreateWindow(d, DefaultRootWindow(d), -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent,
                                       CWEventMask, &attributes);
        r->flushProperty = XInternAtom(d, "_MURMURA_CAPTURE_FLUSH", False);
        // One round trip now calibrates the server clock before the first event arrives.
        X11EventTapAccess::requestFlush(*r);
        const double deadline = SystemClock::shared().uptime() + kStartTimeout;
        while (r->flushOutstanding && r->control->isAlive() && SystemClock::shared().uptime() < deadline) {
            pollfd p{r->control->fd(), POLLIN, 0};
            if (poll(&p, 1, 10) > 0) X11EventTapAccess::drainControl(*r);
        }
    }
    r->flushTimer = scheduler_.scheduleRepeating(kFlushInterval, [raw] { X11EventTapAccess::requestFlush(*raw); });
    recording_ = std::move(r);
    callback_ = std::move(callback);
    connectionLost_ = false;
    return {};
}

void X11EventTap::deliver(const TapEvent& event) {
    if (callback_) callback_(event);
}

void X11EventTap::onReadable(Recording* r) {
    if (!r->data || !r->data->isAlive()) return;
    delivering_ = true;
    XRecordProcessReplies(r->data->display());
    delivering_ = false;
    if (recording_.get() == r && (!r->data->isAlive() || r->ended)) {
        // The server went away (or ended the recording itself): capture ends here, what was
        // recorded so far stays with the subscribers.
        connectionLost_ = true;
        callback_ = nullptr;
        diagnostic("Input capture ended: the connection to the X server was lost");
        teardown(std::move(recording_));
    }
    auto retired = std::move(retired_);
    retired_.clear();
    for (auto& old : retired) teardown(std::move(old));
}

void X11EventTap::uninstall() {
    callback_ = nullptr;
    if (!recording_) return;
    recording_->owner = nullptr;
    if (delivering_) {
        // Inside XRecordProcessReplies of this very connection: Xlib must return first.
        retired_.push_back(std::move(recording_));
        return;
    }
    teardown(std::move(recording_));
}

void X11EventTap::teardown(std::unique_ptr<Recording> r) {
    if (!r) return;
    r->owner = nullptr;
    if (r->watch) r->watch->cancel();
    if (r->controlWatch) r->controlWatch->cancel();
    if (r->flushTimer) r->flushTimer->cancel();
    bool clean = false;
    if (r->control && r->control->isAlive() && r->context) {
        Display* control = r->control->display();
        if (r->enableSent && r->started && !r->ended) {
            XRecordDisableContext(control, r->context);
            XFlush(control);
            // The server answers the disable with a last reply on the data connection; only then
            // is that connection served again, so closing it before would block in Xlib.
            X11EventTapAccess::pumpUntil(*r, [&] { return r->ended; }, kStopTimeout);
        }
        // An enabled context that never ended means a server that does not answer.
        if (!r->enableSent || r->ended) {
            XRecordFreeContext(control, r->context);
            clean = r->control->sync();
        }
    } else if (r->control && r->control->isAlive()) {
        clean = true;  // nothing was created on the server
    }
    if (clean) {
        r->data.reset();
        r->control.reset();
    } else {
        // A server that does not answer (or is gone) must not hold up stop: close without the
        // final round trips. The server frees the context with the control connection.
        if (r->data) r->data->forceClose();
        if (r->control) r->control->forceClose();
    }
}

}  // namespace murmura
