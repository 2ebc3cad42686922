#pragma once
// Core X input events, as the RECORD extension reports them, to platform tap events.
#include <cstdint>

#include "capture/event_tap.h"
#include "platform/x11/x11_display.h"

namespace murmura {

// The fields of a recorded core device event that matter here.
struct X11InputEvent {
    int type = 0;           // KeyPress, KeyRelease, ButtonPress, ButtonRelease or MotionNotify
    unsigned detail = 0;    // keycode or button number
    int rootX = 0;          // pointer position in root-window pixels
    int rootY = 0;
    unsigned state = 0;     // button and modifier mask before the event
    uint32_t time = 0;      // server time in milliseconds
};

// One wheel notch, in points.
inline constexpr double kScrollPointsPerNotch = 10;

// Buttons 1 and 3 are the left and right buttons; 4/5 are the wheel up/down and 6/7 left/right,
// one notch per press (their releases carry nothing); any other button is an "other" button.
// Motion is a drag of the left button when it is held, else of the right button when that is
// held, else of another button when the middle one is held, else a plain move. Keys go through
// the virtual key-code table; modifier keys become flagsChanged; keys without a virtual code
// (and unknown event types) get type 0, which the capture ignores.
class X11EventTranslator {
public:
    // initialButtons: the core button mask when recording began (buttons already held).
    explicit X11EventTranslator(DisplayGeometry geometry, unsigned initialButtons = 0)
        : geometry_(geometry), held_(initialButtons & kButtonMasks) {}
    TapEvent translate(const X11InputEvent& event);

private:
    // Button1Mask to Button5Mask.
    static constexpr unsigned kButtonMasks = 0x1F00;
    DisplayGeometry geometry_;
    // Which buttons are down. The recorded events' own state field does not always carry the
    // buttons (it depends on how the server routed the event), so presses and releases are
    // followed here too.
    unsigned held_ = 0;
};

}  // namespace murmura
