#include "platform/x11/x11_connection.h"

#include <X11/Xlib.h>

#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <mutex>
#include <type_traits>
#include <vector>

namespace murmura {

static_assert(std::is_same_v<XWindowId, Window> && std::is_same_v<XAtomId, Atom>);

// Xlib's error handlers are process-wide; this registry routes them to our connections and
// hands everything else to whatever handler was installed before.
struct X11ConnectionRegistry {
    static X11ConnectionRegistry& shared() {
        static X11ConnectionRegistry registry;
        return registry;
    }

    void add(X11Connection* c) {
        std::call_once(installed_, [this] {
            previousError_ = XSetErrorHandler(&X11ConnectionRegistry::onError);
            previousIOError_ = XSetIOErrorHandler(&X11ConnectionRegistry::onIOError);
            // A write to a socket whose server has gone would otherwise kill the process
            // before Xlib could report the lost connection. Only the default action is replaced.
            struct sigaction current{};
            if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
                signal(SIGPIPE, SIG_IGN);
        });
        std::lock_guard lock(mutex_);
        connections_.push_back(c);
    }
    void remove(X11Connection* c) {
        std::lock_guard lock(mutex_);
        std::erase(connections_, c);
    }
    X11Connection* find(Display* d) {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(connections_.begin(), connections_.end(),
                               [d](X11Connection* c) { return c->display_ == d; });
        return it == connections_.end() ? nullptr : *it;
    }

    static int onError(Display* d, XErrorEvent* e) {
        auto& self = shared();
        if (X11Connection* c = self.find(d)) {
            c->lastError_ = e->error_code;
            return 0;
        }
        return self.previousError_ ? self.previousError_(d, e) : 0;
    }
    static int onIOError(Display* d) {
        auto& self = shared();
        if (X11Connection* c = self.find(d)) {
            c->alive_ = false;
            return 0;  // the per-connection exit handler below then returns instead of exiting
        }
        return self.previousIOError_ ? self.previousIOError_(d) : 0;
    }
    static void onIOErrorExit(Display* d, void* user) {
        auto* c = static_cast<X11Connection*>(user);
        if (c && c->display_ == d) c->alive_ = false;
        // Returning lets Xlib mark the display dead; later calls on it return at once.
    }

private:
    std::once_flag installed_;
    std::mutex mutex_;
    std::vector<X11Connection*> connections_;
    XErrorHandler previousError_ = nullptr;
    XIOErrorHandler previousIOError_ = nullptr;
};

std::unique_ptr<X11Connection> X11Connection::open(const std::string& displayName) {
    Display* d = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!d) return nullptr;
    std::unique_ptr<X11Connection> c(new X11Connection(d));
    X11ConnectionRegistry::shared().add(c.get());
    XSetIOErrorExitHandler(d, &X11ConnectionRegistry::onIOErrorExit, c.get());
    return c;
}

X11Connection::~X11Connection() {
    if (!display_) return;
    XCloseDisplay(display_);
    X11ConnectionRegistry::shared().remove(this);
}

int X11Connection::fd() const { return ConnectionNumber(display_); }

int X11Connection::takeError() {
    int e = lastError_;
    lastError_ = 0;
    return e;
}

bool X11Connection::sync() {
    if (alive_) XSync(display_, False);
    return alive_;
}

void X11Connection::forceClose() {
    if (!display_) return;
    shutdown(ConnectionNumber(display_), SHUT_RDWR);
    XCloseDisplay(display_);
    X11ConnectionRegistry::shared().remove(this);
    display_ = nullptr;
    alive_ = false;
}

}  // namespace murmura
