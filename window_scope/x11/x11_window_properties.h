#pragma once
// Reading the window-manager hints of X11 windows: titles, owners, types, states, extents.
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "platform/x11/x11_connection.h"
#include "support/geometry.h"

namespace murmura {

struct X11Atoms {
    XAtomId netClientList = 0;
    XAtomId netSupportingWmCheck = 0;
    XAtomId netWmName = 0;
    XAtomId utf8String = 0;
    XAtomId netFrameExtents = 0;
    XAtomId netWmState = 0;
    XAtomId netWmStateHidden = 0;
    XAtomId netWmWindowType = 0;
    XAtomId wmState = 0;
    // Window types that stand for a layer other than the ordinary application windows.
    std::vector<XAtomId> nonNormalTypes;
    // Types of ordinary, choosable windows.
    std::vector<XAtomId> normalTypes;

    static X11Atoms intern(Display* display);
};

// Format-32 values of a property (any type when type is 0, AnyPropertyType); nothing when the
// window has no such property or it cannot be read.
std::optional<std::vector<unsigned long>> readLongs(Display* display, XWindowId window, XAtomId property, XAtomId type);

// _NET_WM_NAME in UTF-8, else WM_NAME converted to UTF-8 (xterm writes COMPOUND_TEXT).
// Invalid UTF-8 is repaired with U+FFFD.
std::optional<std::string> readTitle(Display* display, XWindowId window, const X11Atoms& atoms);
// The application class from WM_CLASS, else its instance name.
std::optional<std::string> readOwnerName(Display* display, XWindowId window);
// 0 for ordinary windows, -1 for the desktop, 1 for docks, panels, menus, notifications...
int readLayer(Display* display, XWindowId window, const X11Atoms& atoms);
bool readHidden(Display* display, XWindowId window, const X11Atoms& atoms);
bool hasWmState(Display* display, XWindowId window, const X11Atoms& atoms);
// What XGetWindowAttributes reports that the frame computation needs.
struct X11WindowGeometry {
    XWindowId root = 0;
    int width = 0;
    int height = 0;
    int borderWidth = 0;
};

// The window's outer rectangle in root pixels, its border and the window manager's frame
// extents (_NET_FRAME_EXTENTS) included.
std::optional<Rect> decoratedFramePixels(Display* display, XWindowId window, const X11WindowGeometry& geometry,
                                         const X11Atoms& atoms);

}  // namespace murmura
