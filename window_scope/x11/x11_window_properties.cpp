#include "window_scope/x11/x11_window_properties.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <array>
#include <cstdint>

#include "support/text.h"

namespace murmura {

X11Atoms X11Atoms::intern(Display* display) {
    static constexpr std::array kNames = {
        "_NET_CLIENT_LIST", "_NET_SUPPORTING_WM_CHECK", "_NET_WM_NAME", "UTF8_STRING", "_NET_FRAME_EXTENTS",
        "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN", "_NET_WM_WINDOW_TYPE", "WM_STATE",
        // non-normal types
        "_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_DOCK", "_NET_WM_WINDOW_TYPE_TOOLBAR",
        "_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_SPLASH", "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
        "_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_TOOLTIP", "_NET_WM_WINDOW_TYPE_NOTIFICATION",
        "_NET_WM_WINDOW_TYPE_COMBO", "_NET_WM_WINDOW_TYPE_DND",
        // normal types
        "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_WINDOW_TYPE_UTILITY"};
    constexpr size_t kFixed = 9;
    constexpr size_t kNonNormal = 11;
    std::array<Atom, kNames.size()> atoms{};
    XInternAtoms(display, const_cast<char**>(kNames.data()), static_cast<int>(kNames.size()), False, atoms.data());
    X11Atoms a;
    a.netClientList = atoms[0];
    a.netSupportingWmCheck = atoms[1];
    a.netWmName = atoms[2];
    a.utf8String = atoms[3];
    a.netFrameExtents = atoms[4];
    a.netWmState = atoms[5];
    a.netWmStateHidden = atoms[6];
    a.netWmWindowType = atoms[7];
    a.wmState = atoms[8];
    a.nonNormalTypes.assign(atoms.begin() + kFixed, atoms.begin() + kFixed + kNonNormal);
    a.normalTypes.assign(atoms.begin() + kFixed + kNonNormal, atoms.end());
    return a;
}

std::optional<std::vector<unsigned long>> readLongs(Display* display, Window window, Atom property, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 1 << 16, False, type, &actualType, &format, &count, &after,
                           &data) != Success)
        return std::nullopt;
    std::optional<std::vector<unsigned long>> values;
    if (actualType != None && format == 32 && (type == AnyPropertyType || actualType == type)) {
        // Xlib hands format-32 data back as an array of long, whatever the platform's width.
        const auto* longs = reinterpret_cast<const unsigned long*>(data);
        values.emplace(longs, longs + count);
    }
    if (data) XFree(data);
    return values;
}

namespace {

std::string latin1ToUtf8(const unsigned char* bytes, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = bytes[i];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> readTitle(Display* display, Window window, const X11Atoms& atoms) {
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, window, atoms.netWmName, 0, 1 << 16, False, atoms.utf8String, &type, &format,
                               &count, &after, &data) == Success) {
            std::optional<std::string> title;
            if (data && type == atoms.utf8String && format == 8)
                title = toValidUtf8(std::string_view(reinterpret_cast<const char*>(data), count));
            if (data) XFree(data);
            if (title) return title;
        }
    }
    XTextProperty property{};
    if (!XGetWMName(display, window, &property)) return std::nullopt;
    std::optional<std::string> title;
    if (!property.value) return std::nullopt;
    if (property.encoding == atoms.utf8String && property.format == 8) {
        title = toValidUtf8(std::string_view(reinterpret_cast<const char*>(property.value), property.nitems));
    } else {
        char** list = nullptr;
        int n = 0;
        // A non-negative result is success, possibly with a few unconvertible characters.
        if (Xutf8TextPropertyToTextList(display, &property, &list, &n) >= 0 && list) {
            std::string joined;
            for (int i = 0; i < n; ++i) joined += list[i];
            title = toValidUtf8(joined);
            XFreeStringList(list);
        } else if (property.encoding == XA_STRING && property.format == 8) {
            title = latin1ToUtf8(property.value, property.nitems);
        }
    }
    XFree(property.value);
    return title;
}

std::optional<std::string> readOwnerName(Display* display, Window window) {
    XClassHint hint{};
    if (!XGetClassHint(display, window, &hint)) return std::nullopt;
    std::optional<std::string> owner;
    if (hint.res_class && *hint.res_class)
        owner = toValidUtf8(hint.res_class);
    else if (hint.res_name && *hint.res_name)
        owner = toValidUtf8(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    if (hint.res_name) XFree(hint.res_name);
    return owner;
}

int readLayer(Display* display, Window window, const X11Atoms& atoms) {
    auto types = readLongs(display, window, atoms.netWmWindowType, XA_ATOM);
    if (!types) return 0;
    // The list is in order of preference; the first type we know decides.
    for (unsigned long t : *types) {
        const auto atom = static_cast<Atom>(t);
        if (std::find(atoms.normalTypes.begin(), atoms.normalTypes.end(), atom) != atoms.normalTypes.end()) return 0;
        if (std::find(atoms.nonNormalTypes.begin(), atoms.nonNormalTypes.end(), atom) != atoms.nonNormalTypes.end())
            return atom == atoms.nonNormalTypes.front() ? -1 : 1;  // the desktop lies below everything
    }
    return 0;
}

bool readHidden(Display* display, Window window, const X11Atoms& atoms) {
    auto states = readLongs(display, window, atoms.netWmState, XA_ATOM);
    if (!states) return false;
    return std::find(states->begin(), states->end(), atoms.netWmStateHidden) != states->end();
}

bool hasWmState(Display* display, Window window, const X11Atoms& atoms) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const bool ok = XGetWindowProperty(display, window, atoms.wmState, 0, 0, False, AnyPropertyType, &type, &format,
                                       &count, &after, &data) == Success;
    if (data) XFree(data);
    return ok && type != None;
}

std::optional<Rect> decoratedFramePixels(Display* display, Window window, const X11WindowGeometry& a,
                                         const X11Atoms& atoms) {
    int x = 0;
    int y = 0;
    Window child = None;
    if (!XTranslateCoordinates(display, window, static_cast<Window>(a.root), 0, 0, &x, &y, &child)) return std::nullopt;
    double left = 0, right = 0, top = 0, bottom = 0;
    if (auto extents = readLongs(display, window, atoms.netFrameExtents, XA_CARDINAL); extents && extents->size() >= 4) {
        left = static_cast<double>((*extents)[0]);
        right = static_cast<double>((*extents)[1]);
        top = static_cast<double>((*extents)[2]);
        bottom = static_cast<double>((*extents)[3]);
    }
    const double border = a.borderWidth;
    return Rect{x - border - left, y - border - top, a.width + 2 * border + left + right,
                a.height + 2 * border + top + bottom};
}

}  // namespace murmura
