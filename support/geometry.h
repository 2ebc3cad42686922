#pragma once
// Plane geometry in 64-bit floats: display points (origin top left, y down) or canvas pixels.
#include <cmath>

namespace murmura {

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Vector {
    double dx = 0;
    double dy = 0;
    friend bool operator==(const Vector&, const Vector&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    // Half-open containment: the right and bottom edges are outside.
    bool contains(Point p) const { return p.x >= x && p.x < x + width && p.y >= y && p.y < y + height; }
    // The same rectangle with a non-negative width and height (a negative size extends left or up).
    Rect standardized() const {
        Rect r = *this;
        if (r.width < 0) {
            r.x += r.width;
            r.width = -r.width;
        }
        if (r.height < 0) {
            r.y += r.height;
            r.height = -r.height;
        }
        return r;
    }
};

inline double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

}  // namespace murmura
