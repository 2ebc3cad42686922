#pragma once
// An Xlib display connection that never takes the process down: protocol errors on it are
// recorded instead of printed-and-exit, and losing the server marks it dead instead of exiting.
#include <memory>
#include <string>

typedef struct _XDisplay Display;  // from <X11/Xlib.h>, which this header keeps out

namespace murmura {
// Xlib's Window and Atom, both unsigned long, named without including <X11/Xlib.h> (whose macros
// None, Bool, Status and Always break other headers, Qt's among them).
using XWindowId = unsigned long;
using XAtomId = unsigned long;
}  // namespace murmura

namespace murmura {

class X11Connection {
public:
    // Opens the named display (empty: $DISPLAY); nullptr when it cannot be reached.
    static std::unique_ptr<X11Connection> open(const std::string& displayName = {});
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    Display* display() const { return display_; }
    int fd() const;
    // False once the connection to the server has been lost; every later request is a no-op.
    bool isAlive() const { return alive_; }
    // The last protocol error code reported for this connection since the previous call
    // (0 when none), for requests that may fail because a window vanished meanwhile.
    int takeError();
    // Round trip; returns false when the connection is dead.
    bool sync();
    // Closes without waiting for a server that may not answer: the socket is shut down first,
    // so that Xlib's final round trip fails at once instead of blocking.
    void forceClose();

private:
    explicit X11Connection(Display* display) : display_(display) {}
    friend struct X11ConnectionRegistry;
    Display* display_ = nullptr;
    bool alive_ = true;
    int lastError_ = 0;
};

}  // namespace murmura
