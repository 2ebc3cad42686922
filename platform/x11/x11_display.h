#pragma once
// From X11 pixels to display points: the desktop scale factor (Xft.dpi / 96) and the main
// display (RandR primary output, else the whole root window), whose top left is the origin.
#include <optional>

#include "support/geometry.h"

typedef struct _XDisplay Display;  // from <X11/Xlib.h>, which this header keeps out

namespace murmura {

struct DisplayGeometry {
    // Main display in root-window pixels.
    double originX = 0;
    double originY = 0;
    double width = 0;
    double height = 0;
    double scale = 1;  // pixels per point

    Point toPoints(double pixelX, double pixelY) const {
        return {(pixelX - originX) / scale, (pixelY - originY) / scale};
    }
    Rect toPoints(const Rect& pixels) const {
        Point p = toPoints(pixels.x, pixels.y);
        return {p.x, p.y, pixels.width / scale, pixels.height / scale};
    }
    Rect mainDisplayBounds() const { return {0, 0, width / scale, height / scale}; }
};

// Xft.dpi / 96 from an X resource database string; 1 when the resource is missing or not a
// positive number.
double scaleFromResources(const char* resourceString);

// Reads the scale factor and the main display of the connection's default screen.
DisplayGeometry readDisplayGeometry(Display* display);

}  // namespace murmura
