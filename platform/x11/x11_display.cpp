#include "platform/x11/x11_display.h"

#include <X11/Xatom.h>
#include <X11/Xresource.h>
#include <X11/extensions/Xrandr.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <string>

namespace murmura {

double scaleFromResources(const char* resourceString) {
    if (!resourceString || !*resourceString) return 1;
    static std::once_flag once;
    std::call_once(once, [] { XrmInitialize(); });
    XrmDatabase db = XrmGetStringDatabase(resourceString);
    if (!db) return 1;
    double scale = 1;
    char* type = nullptr;
    XrmValue value{};
    if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
        char* end = nullptr;
        errno = 0;
        double dpi = std::strtod(value.addr, &end);
        if (end != value.addr && errno == 0 && std::isfinite(dpi) && dpi > 0) scale = dpi / 96.0;
    }
    XrmDestroyDatabase(db);
    return scale;
}

namespace {

// The root's RESOURCE_MANAGER property as it is now (XResourceManagerString() is a copy taken
// when the connection was opened).
std::string currentResources(Display* display, Window root) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(display, root, XA_RESOURCE_MANAGER, 0, 1 << 20, False, XA_STRING, &type, &format, &count,
                           &after, &data) == Success &&
        data) {
        if (type == XA_STRING && format == 8) text.assign(reinterpret_cast<const char*>(data), count);
        XFree(data);
    }
    return text;
}

// The primary output's CRTC rectangle, when RandR names a primary output that is lit.
std::optional<Rect> primaryOutputPixels(Display* display, Window root) {
    int eventBase = 0;
    int errorBase = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase)) return std::nullopt;
    int major = 0;
    int minor = 0;
    if (!XRRQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 3)) return std::nullopt;
    RROutput primary = XRRGetOutputPrimary(display, root);
    if (primary == None) return std::nullopt;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
    if (!resources) return std::nullopt;
    std::optional<Rect> result;
    if (XRROutputInfo* output = XRRGetOutputInfo(display, resources, primary)) {
        if (output->crtc != None) {
            if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, output->crtc)) {
                if (crtc->width > 0 && crtc->height > 0)
                    result = Rect{static_cast<double>(crtc->x), static_cast<double>(crtc->y),
                                  static_cast<double>(crtc->width), static_cast<double>(crtc->height)};
                XRRFreeCrtcInfo(crtc);
            }
        }
        XRRFreeOutputInfo(output);
    }
    XRRFreeScreenResources(resources);
    return result;
}

}  // namespace

DisplayGeometry readDisplayGeometry(Display* display) {
    DisplayGeometry g;
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    g.scale = scaleFromResources(currentResources(display, root).c_str());
    if (auto primary = primaryOutputPixels(display, root)) {
        g.originX = primary->x;
        g.originY = primary->y;
        g.width = primary->width;
        g.height = primary->height;
    } else {
        g.width = DisplayWidth(display, screen);
        g.height = DisplayHeight(display, screen);
    }
    return g;
}

}  // namespace murmura
