#include "capture/x11/x11_event_translator.h"

#include <X11/X.h>

#include "capture/x11/x11_key_codes.h"
#include "session/raw_event.h"

namespace murmura {

namespace t = tap_event_type;

namespace {

unsigned maskOfButton(unsigned button) { return button >= 1 && button <= 5 ? (Button1Mask << (button - 1)) : 0; }

}  // namespace

TapEvent X11EventTranslator::translate(const X11InputEvent& e) {
    TapEvent out;
    out.location = geometry_.toPoints(e.rootX, e.rootY);
    switch (e.type) {
    case KeyPress:
    case KeyRelease: {
        auto key = virtualKeyForX11Keycode(e.detail);
        if (!key) return out;
        // Character keys leave the translator as the one privacy code: the key typed is never
        // held beyond this point.
        out.keyCode = key->isModifier ? key->code : recordedKeyCode(key->code);
        out.type = key->isModifier ? t::flagsChanged : (e.type == KeyPress ? t::keyDown : t::keyUp);
        return out;
    }
    case ButtonPress:
    case ButtonRelease: {
        const bool press = e.type == ButtonPress;
        if (press)
            held_ |= maskOfButton(e.detail);
        else
            held_ &= ~maskOfButton(e.detail);
        switch (e.detail) {
        case Button1: out.type = press ? t::leftMouseDown : t::leftMouseUp; return out;
        case Button3: out.type = press ? t::rightMouseDown : t::rightMouseUp; return out;
        case Button4:
        case Button5:
        case 6:
        case 7:
            if (!press) return out;  // the release of a wheel notch says nothing new
            out.type = t::scrollWheel;
            if (e.detail == Button4) out.scrollDy = kScrollPointsPerNotch;
            if (e.detail == Button5) out.scrollDy = -kScrollPointsPerNotch;
            if (e.detail == 6) out.scrollDx = kScrollPointsPerNotch;
            if (e.detail == 7) out.scrollDx = -kScrollPointsPerNotch;
            return out;
        default: out.type = press ? t::otherMouseDown : t::otherMouseUp; return out;
        }
    }
    case MotionNotify: {
        const unsigned buttons = held_ | (e.state & kButtonMasks);
        if (buttons & Button1Mask)
            out.type = t::leftMouseDragged;
        else if (buttons & Button3Mask)
            out.type = t::rightMouseDragged;
        else if (buttons & Button2Mask)
            out.type = t::otherMouseDragged;
        else
            out.type = t::mouseMoved;
        return out;
    }
    default: return out;
    }
}

}  // namespace murmura
