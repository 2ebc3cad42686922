#include "rendering/capsule_raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace murmura {

namespace {

// Flattening tolerance in pixels, as Cairo's default.
constexpr double kTolerance = 0.1;
constexpr int kMaxPieces = 64;

// One straight piece of a flattened curve, with the box its stroke can cover pixel centres in.
struct Piece {
    double ax, ay, dx, dy, invLength2;
    double minY, maxY;
    double length, invDx, invDy;
};

// A run of columns [begin, end] in one row.
struct Run {
    int64_t begin, end;
};

// Coverage of a pixel whose centre lies d >= 0 from the centre line of a stroke of half width h:
// the overlap of the pixel's one-pixel span across the line with the stroke's [d - h, d + h].
inline double crossCoverage(double d, double h) {
    const double c = std::min(d + h, 0.5) - std::max(d - h, -0.5);
    return c > 0 ? (c < 1 ? c : 1) : 0;  // NaN: none
}

inline uint32_t coverageByte(double c) { return static_cast<uint32_t>(c * 255 + 0.5); }

// Each 8-bit channel of x times a / 255, rounded as pixman does.
inline uint32_t mulChannels(uint32_t x, uint32_t a) {
    uint32_t rb = (x & 0xFF00FFu) * a + 0x800080u;
    rb = ((rb + ((rb >> 8) & 0xFF00FFu)) >> 8) & 0xFF00FFu;
    uint32_t ag = ((x >> 8) & 0xFF00FFu) * a + 0x800080u;
    ag = (ag + ((ag >> 8) & 0xFF00FFu)) & 0xFF00FF00u;
    return rb | ag;
}

// Channel-wise sum saturating at 255.
inline uint32_t addChannels(uint32_t x, uint32_t y) {
    uint32_t rb = (x & 0xFF00FFu) + (y & 0xFF00FFu);
    rb |= 0x1000100u - ((rb >> 8) & 0x10001u);
    uint32_t ag = ((x >> 8) & 0xFF00FFu) + ((y >> 8) & 0xFF00FFu);
    ag |= 0x1000100u - ((ag >> 8) & 0x10001u);
    return (rb & 0xFF00FFu) | ((ag & 0xFF00FFu) << 8);
}

// Source-over without branches: coverage 255 scales the colour by exactly 1, and coverage 0 leaves
// the destination as it was.
inline uint32_t over(uint32_t dst, uint32_t color, uint32_t coverage) {
    const uint32_t src = mulChannels(color, coverage);
    return addChannels(src, mulChannels(dst, 255 - (src >> 24)));
}

// Source-over of the colour at full coverage on a run of pixels, four at a time in 16-bit lanes:
// the same rounding as over(), and no channel can exceed 255 for premultiplied colours.
void coverRun(uint32_t* p, int64_t count, uint32_t color) {
    using Lanes = uint16_t __attribute__((vector_size(32)));
    using Bytes = uint8_t __attribute__((vector_size(16)));
    const uint16_t keep = static_cast<uint16_t>(255 - (color >> 24));
    int64_t i = 0;
    if (count >= 4) {
        Bytes colorBytes;
        for (int k = 0; k < 4; ++k) std::memcpy(reinterpret_cast<char*>(&colorBytes) + 4 * k, &color, 4);
        const Lanes src = __builtin_convertvector(colorBytes, Lanes);
        for (; i + 4 <= count; i += 4) {
            Bytes d;
            std::memcpy(&d, p + i, 16);
            Lanes t = __builtin_convertvector(d, Lanes) * keep + 0x80;
            t = ((t + (t >> 8)) >> 8) + src;
            d = __builtin_convertvector(t, Bytes);
            std::memcpy(p + i, &d, 16);
        }
    }
    for (; i < count; ++i) p[i] = over(p[i], color, 255);
}

// The x-interval [lo, hi] where the row of pixel centres y = cy lies within distance r of the
// piece: the hull of the chords of the end discs and of the body between them (the set is convex,
// so the hull is exact). False when the row misses it.
bool rowInterval(const Piece& s, double cy, double r, double& lo, double& hi) {
    lo = INFINITY, hi = -INFINITY;
    const double r2 = r * r;
    const double ey = cy - s.ay;
    auto chord = [&](double px, double dy) {
        const double q = r2 - dy * dy;
        if (q < 0) return;
        const double w = std::sqrt(q);
        lo = std::min(lo, px - w);
        hi = std::max(hi, px + w);
    };
    chord(s.ax, ey);
    chord(s.ax + s.dx, ey - s.dy);
    if (s.dy != 0 && s.invLength2 != 0) {  // a horizontal piece's body lies between the chords
        // Across the line: |dx ey - dy u| <= r L, with u = x - ax.
        const double rl = r * s.length;
        double u0 = (s.dx * ey - rl) * s.invDy, u1 = (s.dx * ey + rl) * s.invDy;
        if (u0 > u1) std::swap(u0, u1);
        // Along the line: 0 <= u dx + ey dy <= L^2.
        bool along = true;
        if (s.dx != 0) {
            double v0 = -ey * s.dy * s.invDx, v1 = (s.length * s.length - ey * s.dy) * s.invDx;
            if (v0 > v1) std::swap(v0, v1);
            u0 = std::max(u0, v0), u1 = std::min(u1, v1);
        } else {
            along = ey * s.dy >= 0 && ey * s.dy <= s.length * s.length;
        }
        if (along && u0 <= u1) {
            lo = std::min(lo, s.ax + u0);
            hi = std::max(hi, s.ax + u1);
        }
    }
    return lo <= hi;
}

Point cubicAt(const std::array<Point, 4>& p, double t) {
    const double s = 1 - t;
    const double a = s * s * s, b = 3 * s * s * t, c = 3 * s * t * t, d = t * t * t;
    return {a * p[0].x + b * p[1].x + c * p[2].x + d * p[3].x, a * p[0].y + b * p[1].y + c * p[2].y + d * p[3].y};
}

// Pieces enough that the polyline stays within the tolerance of the curve: the deviation of n
// uniform steps is at most 3/4 of the control polygon's largest second difference over n^2.
int pieceCount(const std::array<Point, 4>& p) {
    const double ddx = std::max(std::abs(p[0].x - 2 * p[1].x + p[2].x), std::abs(p[1].x - 2 * p[2].x + p[3].x));
    const double ddy = std::max(std::abs(p[0].y - 2 * p[1].y + p[2].y), std::abs(p[1].y - 2 * p[2].y + p[3].y));
    const double n = std::ceil(std::sqrt(0.75 * std::sqrt(ddx * ddx + ddy * ddy) / kTolerance));
    return n < kMaxPieces ? std::max(static_cast<int>(n), 1) : kMaxPieces;  // NaN: the most
}

// Indices i in [begin, end) whose pixel centres i + 1/2 lie within [lo, hi], as [first, last].
bool centreRange(double lo, double hi, int64_t begin, int64_t end, int64_t& first, int64_t& last) {
    const double a = lo - 0.5, b = hi - 0.5;
    if (!(b >= static_cast<double>(begin) && a <= static_cast<double>(end - 1))) return false;
    // Both are at least begin >= 0 where they are converted: truncation rounds down.
    if (a <= static_cast<double>(begin)) {
        first = begin;
    } else {
        first = static_cast<int64_t>(a);
        first += static_cast<double>(first) < a;
    }
    last = b >= static_cast<double>(end - 1) ? end - 1 : static_cast<int64_t>(b);
    return first <= last;
}

bool rowRange(const PixelRows& rows, double lo, double hi, int64_t& first, int64_t& last) {
    return centreRange(lo, hi, rows.rowBegin, rows.rowEnd, first, last);
}

bool columnRange(const PixelRows& rows, double lo, double hi, int64_t& first, int64_t& last) {
    return centreRange(lo, hi, 0, rows.width, first, last);
}

}  // namespace

PixelRows pixelRowsOf(Canvas& canvas) {
    PixelRows r;
    r.first = canvas.pixelRow(canvas.firstRow());
    r.stride = canvas.rowStride();
    r.width = canvas.width();
    r.rowBegin = canvas.firstRow();
    r.rowEnd = canvas.endRow();
    return r;
}

uint32_t premultipliedColor(const Rgba& c) {
    auto unit = [](double v) { return v >= 0 ? (v <= 1 ? v : 1.0) : 0.0; };
    const double a = unit(c.a);
    // Cairo keeps colours as 16-bit premultiplied components; pixman takes their top bytes.
    auto byte = [](double v) { return static_cast<uint32_t>(v * 65535.0 + 0.5) >> 8; };
    return Canvas::packPixel(static_cast<uint8_t>(byte(unit(c.r) * a)), static_cast<uint8_t>(byte(unit(c.g) * a)),
                             static_cast<uint8_t>(byte(unit(c.b) * a)), static_cast<uint8_t>(byte(a)));
}

uint32_t compositeOver(uint32_t dst, uint32_t color, uint32_t coverage) { return over(dst, color, coverage); }

void strokeCubic(const PixelRows& rows, const std::array<Point, 4>& p, double width, bool roundCaps, uint32_t color) {
    const double h = width / 2;
    if (!(h > 0) || color == 0) return;
    const double reach = h + 0.5;  // centres farther than this from the line get no coverage
    double minY = p[0].y, maxY = p[0].y;
    for (const Point& q : p) minY = std::min(minY, q.y), maxY = std::max(maxY, q.y);
    int64_t y0 = 0, y1 = 0;
    if (!rowRange(rows, minY - reach, maxY + reach, y0, y1)) return;

    const int n = pieceCount(p);
    std::array<Point, kMaxPieces + 1> q;
    q[0] = p[0];
    for (int i = 1; i < n; ++i) q[static_cast<size_t>(i)] = cubicAt(p, static_cast<double>(i) / n);
    q[static_cast<size_t>(n)] = p[3];
    std::array<Piece, kMaxPieces> pieces;
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
        const Point a = q[i], b = q[i + 1];
        const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
        pieces[i] = {a.x, a.y, dx, dy, l2 > 1e-18 ? 1 / l2 : 0, std::min(a.y, b.y) - reach, std::max(a.y, b.y) + reach,
                     std::sqrt(l2), dx != 0 ? 1 / dx : 0, dy != 0 ? 1 / dy : 0};
    }
    double length = 0;
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) length += pieces[i].length;
    if (!roundCaps && !(length > 1e-9)) return;
    // Butt caps: the directions in which the curve leaves its ends.
    Point startDir{0, 0}, endDir{0, 0};
    if (!roundCaps) {
        for (size_t i = 1; i <= static_cast<size_t>(n) && startDir.x == 0 && startDir.y == 0; ++i) {
            const double dx = q[i].x - q[0].x, dy = q[i].y - q[0].y, l = std::hypot(dx, dy);
            if (l > 1e-9) startDir = {-dx / l, -dy / l};
        }
        for (size_t i = static_cast<size_t>(n); i-- > 0 && endDir.x == 0 && endDir.y == 0;) {
            const double dx = q[static_cast<size_t>(n)].x - q[i].x, dy = q[static_cast<size_t>(n)].y - q[i].y;
            const double l = std::hypot(dx, dy);
            if (l > 1e-9) endDir = {dx / l, dy / l};
        }
    }

    // The rows, compiled once for each cap.
    auto strokeRows = [&](auto round) {
        constexpr bool kRound = decltype(round)::value;
        // Centres within h - 1/2 of the line are fully covered, except beyond butt ends; runs of
        // them are worth finding in strokes wider than two pixels.
        const double inner = kRound && h >= 1 ? h - 0.5 : 0;
        struct Active {
            const Piece* piece;
            double lo, hi;  // where the row's centres lie within reach
        };
        std::array<Active, kMaxPieces> active;
        std::array<Run, kMaxPieces> full;
        for (int64_t y = y0; y <= y1; ++y) {
            const double cy = static_cast<double>(y) + 0.5;
            size_t count = 0, runs = 0;
            double lo = INFINITY, hi = -INFINITY;
            for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
                const Piece& s = pieces[i];
                double a = 0, b = 0;
                if (cy < s.minY || cy > s.maxY || !rowInterval(s, cy, reach, a, b)) continue;
                active[count++] = {&s, a, b};
                lo = std::min(lo, a), hi = std::max(hi, b);
                int64_t f0 = 0, f1 = 0;
                if (inner > 0 && rowInterval(s, cy, inner, a, b) && columnRange(rows, a, b, f0, f1))
                    full[runs++] = {f0, f1};
            }
            int64_t x0 = 0, x1 = 0;
            if (count == 0 || !columnRange(rows, lo, hi, x0, x1)) continue;
            // Fully covered runs in order, overlapping ones merged.
            for (size_t i = 1; i < runs; ++i)
                for (size_t j = i; j > 0 && full[j].begin < full[j - 1].begin; --j) std::swap(full[j], full[j - 1]);
            size_t merged = 0;
            for (size_t i = 0; i < runs; ++i) {
                if (merged > 0 && full[i].begin <= full[merged - 1].end + 1)
                    full[merged - 1].end = std::max(full[merged - 1].end, full[i].end);
                else
                    full[merged++] = full[i];
            }
            uint32_t* row = rows.row(y);
            size_t next = 0;
            for (int64_t x = x0; x <= x1; ++x) {
                if (next < merged && x == full[next].begin) {
                    coverRun(row + x, full[next].end + 1 - x, color);
                    x = full[next++].end;
                    continue;
                }
                const double cx = static_cast<double>(x) + 0.5;
                double best = INFINITY;
                const Piece* nearest = nullptr;
                for (size_t j = 0; j < count; ++j) {
                    if (cx < active[j].lo || cx > active[j].hi) continue;
                    const Piece& s = *active[j].piece;
                    const double px = cx - s.ax, py = cy - s.ay;
                    const double t = std::clamp((px * s.dx + py * s.dy) * s.invLength2, 0.0, 1.0);
                    const double ex = px - t * s.dx, ey = py - t * s.dy;
                    const double d2 = ex * ex + ey * ey;
                    if (d2 < best) best = d2, nearest = &s;
                }
                double coverage = crossCoverage(std::sqrt(best), h);
                if constexpr (!kRound) {
                    // Pixels at a cut end keep the part of them before the cut.
                    const Point& end = q[static_cast<size_t>(n)];
                    if (nearest == &pieces[0])
                        coverage *= std::clamp(0.5 - (cx - q[0].x) * startDir.x - (cy - q[0].y) * startDir.y, 0.0, 1.0);
                    if (nearest == &pieces[static_cast<size_t>(n) - 1])
                        coverage *= std::clamp(0.5 - (cx - end.x) * endDir.x - (cy - end.y) * endDir.y, 0.0, 1.0);
                }
                row[x] = over(row[x], color, coverageByte(coverage));
            }
        }
    };
    if (roundCaps)
        strokeRows(std::true_type{});
    else
        strokeRows(std::false_type{});
}

void fillEllipse(const PixelRows& rows, Point c, double rx, double ry, uint32_t color) {
    rx = std::abs(rx), ry = std::abs(ry);
    if (!(rx > 0 && ry > 0) || color == 0) return;
    int64_t y0 = 0, y1 = 0, x0 = 0, x1 = 0;
    if (!rowRange(rows, c.y - ry - 0.5, c.y + ry + 0.5, y0, y1) ||
        !columnRange(rows, c.x - rx - 0.5, c.x + rx + 0.5, x0, x1))
        return;
    // An ellipse thinner than a pixel covers each pixel only in part.
    const double thin = std::min(2 * std::min(rx, ry), 1.0);
    const double irx2 = 1 / (rx * rx), iry2 = 1 / (ry * ry);
    for (int64_t y = y0; y <= y1; ++y) {
        const double v = (static_cast<double>(y) + 0.5 - c.y) / ry;
        uint32_t* row = rows.row(y);
        for (int64_t x = x0; x <= x1; ++x) {
            const double u = (static_cast<double>(x) + 0.5 - c.x) / rx;
            const double f = std::sqrt(u * u + v * v);
            // Signed distance to the outline, to first order: (1 - f) / |grad f|.
            const double grad = std::sqrt(u * u * irx2 + v * v * iry2);
            const double inside = grad > 1e-12 ? f * (1 - f) / grad : 1;
            const uint32_t m = coverageByte(std::clamp(inside + 0.5, 0.0, 1.0) * thin);
            if (m) row[x] = over(row[x], color, m);
        }
    }
}

}  // namespace murmura
