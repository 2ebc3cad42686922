#pragma once
// Reading the window-manager hints of X11 windows: titles, owners, types, states, extents.
#include <X11/Xlib.h>

#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "support/geometry.h"

namespace murmura {

struct X11Atoms {
    Atom netClientList = None;
    Atom netSupportingWmCheck = None;
    Atom netWmName = None;
    Atom utf8String = None;
    Atom netFrameExtents = None;
    Atom netWmState = None;
    Atom netWmStateHidden = None;
    Atom netWmWindowType = None;
    Atom wmState = None;
    // Window types that stand for a layer other than the ordinary application windows.
    std::vector<Atom> nonNormalTypes;
    // Types of ordinary, choosable windows.
    std::vector<Atom> normalTypes;

    static X11Atoms intern(Display* display);
};

// Format-32 values of a property (any type when type is AnyPropertyType); nothing when the
// window has no such property or it cannot be read.
std::optional<std::vector<unsigned long>> readLongs(Display* display, Window window, Atom property, Atom type);

// _NET_WM_NAME in UTF-8, else WM_NAME converted to UTF-8 (xterm writes COMPOUND_TEXT).
// Invalid UTF-8 is repaired with U+FFFD.
std::optional<std::string> readTitle(Display* display, Window window, const X11Atoms& atoms);
// The application class from WM_CLASS, else its instance name.
std::optional<std::string> readOwnerName(Display* display, Window window);
// 0 for ordinary windows, -1 for the desktop, 1 for docks, panels, menus, notifications...
int readLayer(Display* display, Window window, const X11Atoms& atoms);
bool readHidden(Display* display, Window window, const X11Atoms& atoms);
bool hasWmState(Display* display, Window window, const X11Atoms& atoms);
// The window's outer rectangle in root pixels, its border and the window manager's frame
// extents (_NET_FRAME_EXTENTS) included.
std::optional<Rect> decoratedFramePixels(Display* display, Window window, const XWindowAttributes& attributes,
                                         const X11Atoms& atoms);

}  // namespace murmura
