#pragma once
// Core X input events, as the RECORD extension reports them, to platform tap events.
#include <cstdint>

#include "capture/event_tap.h"
#include "window_scope/x11/x11_display.h"

namespace murmura {

// The fields of a recorded core device event that matter here.
struct X11InputEvent {
    int type = 0;           // KeyPress, KeyRelease, ButtonPress, ButtonRelease or MotionNotify
    unsigned detail = 0;    // keycode or button number
    int rootX = 0;          // pointer position in root-window pixels
    int rootY = 0;
    unsigned state = 0;     // button and modifier mask before the event
};

// One wheel notch, in points.
inline constexpr double kScrollPointsPerNotch = 10;

// Buttons 1 and 3 are the left and right buttons; 4/5 are the wheel up/down and 6/7 left/right,
// one notch per press (their releases carry nothing); any other button is an "other" button.
// Motion is a drag of the left button when it is held, else of the right button when that is
// held, else of another button when the middle one is held, else a plain move. Keys go through
// the virtual key-code table; modifier keys become flagsChanged; keys without a virtual code
// (and unknown event types) get type 0, which the capture ignores.
TapEvent translateX11Event(const X11InputEvent& event, const DisplayGeometry& geometry);

}  // namespace murmura
