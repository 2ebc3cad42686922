#include "rendering/styles/graffo.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "rendering/capsule_raster.h"
#include "rendering/generators.h"
#include "rendering/styles/logical_canvas.h"
#include "support/parallel.h"

namespace murmura {

namespace graffo {

namespace {

constexpr uint64_t kGamma = kSplitMixGamma;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kRecentAge = 90;    // seconds a layer stays fully coloured after its last mark
constexpr double kDarken = 1.12;     // drag scrawls and knots are a shade darker

// 1 for a scrawl whose middle point is at the canvas centre, 0 from the inscribed ellipse out.
double centreWeight(std::span<const Point> points, double lw, double lh) {
    const Point m = points[points.size() / 2];
    const double dx = (m.x - lw / 2) / (lw / 2), dy = (m.y - lh / 2) / (lh / 2);
    return std::max(1 - std::pow(std::min(std::sqrt(dx * dx + dy * dy), 1.0), 1.4), 0.0);
}

int passCount(double centre) { return static_cast<int>(2 * (0.38 + 0.62 * centre)) + 2; }

Rgba withAlpha(Rgba c, double a) {
    c.a = a;
    return c;
}

Point clampTo(Point p, double lw, double lh) {
    return {std::clamp(p.x, 0.0, lw - 1), std::clamp(p.y, 0.0, lh - 1)};
}

// Where the marks go: the capsule rasteriser writing the band's pixels, or Cairo. Both take
// logical units.
class Pen {
public:
    Pen(Canvas& band, double k, bool cairo) : canvas_(band), k_(k), cairo_(cairo) {
        if (!cairo_) rows_ = pixelRowsOf(band);
    }

    void setLineCap(LineCap cap) {
        cap_ = cap;
        if (cairo_) canvas_.setLineCap(cap);
    }
    void setLineJoin(LineJoin join) {
        if (cairo_) canvas_.setLineJoin(join);
    }

    void curve(Point a, Point c1, Point c2, Point b, double width, const Rgba& color) {
        if (!cairo_) {
            strokeCubic(rows_, {device(a), device(c1), device(c2), device(b)}, width * k_, cap_ == LineCap::round,
                        premultipliedColor(color));
            return;
        }
        canvas_.newPath();
        canvas_.moveTo(a);
        canvas_.curveTo(c1, c2, b);
        finishStroke(width, color);
    }

    // The quadratic a c b, as the cubic with the same curve.
    void quad(Point a, Point c, Point b, double width, const Rgba& color) {
        if (!cairo_) {
            curve(a, {a.x + 2.0 / 3.0 * (c.x - a.x), a.y + 2.0 / 3.0 * (c.y - a.y)},
                  {b.x + 2.0 / 3.0 * (c.x - b.x), b.y + 2.0 / 3.0 * (c.y - b.y)}, b, width, color);
            return;
        }
        canvas_.newPath();
        canvas_.moveTo(a);
        canvas_.quadTo(c, b);
        finishStroke(width, color);
    }

    void ellipse(const Rect& bounds, const Rgba& color) {
        if (cairo_) {
            canvas_.fillEllipse(bounds, color);
            return;
        }
        const double rx = bounds.width / 2, ry = bounds.height / 2;
        fillEllipse(rows_, device({bounds.x + rx, bounds.y + ry}), rx * k_, ry * k_, premultipliedColor(color));
    }

    void smoothSegment(std::span<const Point> path, size_t i, double width, const Rgba& color) {
        const gen::CubicSegment s = gen::smoothSegment(path, i);
        curve(s.start, s.control1, s.control2, s.end, width, color);
    }

private:
    Point device(Point p) const { return {p.x * k_, p.y * k_}; }
    void finishStroke(double width, const Rgba& color) {
        canvas_.setLineWidth(width);
        canvas_.setColor(color);
        canvas_.stroke();
    }

    Canvas& canvas_;
    double k_;
    bool cairo_;
    PixelRows rows_;
    LineCap cap_ = LineCap::butt;  // Cairo's initial cap
};

// Working memory of one band's drawing, reused from element to element.
struct Scratch {
    std::vector<Point> path;
    std::vector<Point> normals;
    std::vector<double> arc;
    std::vector<double> widths;
    std::vector<double> grain;
};

class Painter {
public:
    Painter(Pen& pen, double lw, double lh) : pen_(pen), lw_(lw), lh_(lh) {}

    void scrawl(const Scrawl& e, const LayerStatus& st) {
        const size_t n = e.points.size();
        if (n < 2 || e.weights.size() != n || e.grain.size() != n) return;
        const std::span<const Point> P(e.points);
        const std::vector<double>& w = e.weights;
        const std::vector<double>& g = e.grain;
        const Ink ink = statusInk(e.pigment, st, MarkKind::scrawl, e.drag);
        const double halo = st.kind == LayerStatus::Kind::archive ? 0.22 * st.fade : 0;
        pen_.setLineCap(LineCap::round);
        pen_.setLineJoin(LineJoin::round);

        const double c = centreWeight(P, lw_, lh_);

        std::vector<Point>& path = scratch_.path;
        path.resize(n);
        if (halo > 0.001) {
            // A faint offset shadow keeps archived lines legible.
            for (size_t i = 0; i < n; ++i) path[i] = {P[i].x + 1.4, P[i].y + 1.1};
            const Rgba color = withAlpha(ink.color, std::min(halo, 1.0));
            for (size_t i = 0; i + 1 < n; ++i)
                pen_.smoothSegment(path, i, std::max((w[i] + w[i + 1]) / 2 * 2.04, 0.4), color);
        }

        std::vector<Point>& normals = scratch_.normals;
        std::vector<double>& arc = scratch_.arc;
        normals.resize(n);
        arc.resize(n);
        for (size_t i = 0; i < n; ++i) {
            const Point a = i == 0 ? P[0] : P[i - 1];
            const Point b = i == 0 ? P[1] : P[std::min(i + 1, n - 1)];
            const double ddx = b.x - a.x, ddy = b.y - a.y;
            const double len = std::max(std::sqrt(ddx * ddx + ddy * ddy), 0.0001);
            normals[i] = {-ddy / len, ddx / len};
            arc[i] = i == 0 ? 0 : arc[i - 1] + std::hypot(P[i].x - P[i - 1].x, P[i].y - P[i - 1].y);
        }

        const int passes = passCount(c);
        uint64_t b = e.seed ^ 0x91C2BBA2D5396C1CULL;
        for (int pass = 0; pass < passes; ++pass) {
            Rgba color = ink.color;
            double widthFactor = 1;
            std::span<const Point> points = P;
            if (pass > 0) {
                color = statusInk(kPigmentPalette[gen::rawDraw(b, 1) & 7], st, MarkKind::scrawl, e.drag).color;
                const double u1 = gen::draw(b, 2), u2 = gen::draw(b, 3), u3 = gen::draw(b, 4);
                const double amplitude = (7.5 * c + 3.5) * (0.4 * u3 + 0.6);
                const double phase = kTwoPi * u2, frequency = kTwoPi / (150 * u1 + 90);
                for (size_t i = 0; i < n; ++i) {
                    const double shift = amplitude * std::sin(phase + frequency * arc[i]);
                    path[i] = {P[i].x + normals[i].x * shift, P[i].y + normals[i].y * shift};
                }
                points = path;
                b += 5 * kGamma;
                widthFactor = 0.2 * gen::draw(b, 0) + 0.85;
            }
            for (size_t i = 0; i + 1 < n; ++i) {
                const double texture = 0.22 * g[i + 1] + 0.78;
                pen_.smoothSegment(points, i, std::max(widthFactor * 1.7 * (w[i] + w[i + 1]) / 2, 0.4),
                                   withAlpha(color, std::clamp(ink.alpha * 0.16 * texture, 0.0, 1.0)));
            }
            for (size_t i = 0; i + 1 < n; ++i) {
                const double texture = 0.22 * g[i + 1] + 0.78;
                pen_.smoothSegment(points, i, std::max(widthFactor * (w[i] + w[i + 1]) / 2, 0.4),
                                   withAlpha(color, std::clamp(ink.alpha * 0.8 * texture, 0.0, 1.0)));
            }
        }
    }

    // Knots keep whatever cap and join the drawing before them left; the caller passes them.
    void knot(const Knot& e, const LayerStatus& st, LineCap cap, LineJoin join) {
        if (e.loops < 1) return;
        const Ink ink = statusInk(e.pigment, st, MarkKind::knot, false);
        pen_.setLineCap(cap);
        pen_.setLineJoin(join);
        uint64_t b = (e.seed ^ kGamma) + kGamma;
        double theta = kTwoPi * gen::draw(b, 0);
        std::vector<Point>& path = scratch_.path;
        std::vector<double>& widths = scratch_.widths;
        std::vector<double>& grain = scratch_.grain;
        path.clear();
        widths.clear();
        grain.clear();
        constexpr int kLoopPoints = 20;
        for (int64_t loop = 0; loop < e.loops; ++loop) {
            const double u1 = gen::draw(b, 1), u2 = gen::draw(b, 2), u3 = gen::draw(b, 3);
            const double u4 = gen::draw(b, 4), u5 = gen::draw(b, 5), u6 = gen::draw(b, 6);
            const double rl = e.radius * (0.65 * u1 + 0.35);
            const Point centre{e.center.x + 0.39 * e.radius * (2 * u2 - 1), e.center.y + 0.39 * e.radius * (2 * u3 - 1)};
            const double sense = u4 >= 0.5 ? -1 : 1;
            const double q = 0.45 * u5 + 0.55;
            const double cosPhi = std::cos(3.141592653589793 * u6), sinPhi = std::sin(3.141592653589793 * u6);
            for (int j = 0; j < kLoopPoints; ++j) {
                const double a = theta + sense * kTwoPi * j / kLoopPoints;
                const double ex = rl * std::cos(a), ey = q * rl * std::sin(a);
                path.push_back(clampTo({centre.x + ex * cosPhi - ey * sinPhi, centre.y + ex * sinPhi + ey * cosPhi},
                                       lw_, lh_));
                widths.push_back(gen::draw(b, 7 + 2 * static_cast<uint64_t>(j)) + 1.4);
                grain.push_back(0.38 * gen::draw(b, 8 + 2 * static_cast<uint64_t>(j)) + 0.62);
            }
            b += 47 * kGamma;
            theta += (2 * gen::draw(b, 0) - 1) * 1.2;
        }
        const size_t n = path.size();
        for (size_t i = 0; i + 1 < n; ++i)
            pen_.smoothSegment(path, i, 1.7 * (widths[i] + widths[i + 1]) / 2,
                               withAlpha(ink.color, std::clamp(ink.alpha * 0.128 * (0.22 * grain[i + 1] + 0.78), 0.0, 1.0)));
        for (size_t i = 0; i + 1 < n; ++i)
            pen_.smoothSegment(path, i, (widths[i] + widths[i + 1]) / 2,
                               withAlpha(ink.color, std::clamp(ink.alpha * 0.774 * (0.22 * grain[i + 1] + 0.78), 0.0, 1.0)));
    }

    void burst(const Burst& e, const LayerStatus& st) {
        const Pigment base = kBurstPalette[static_cast<size_t>(std::clamp<int64_t>(e.color, 0, 4))];
        const Ink ink = statusInk(base, st, MarkKind::burst, false);
        const Rgba& c = ink.color;
        const double A = ink.alpha;
        uint64_t b = e.seed ^ kGamma;
        const double len = 46 * gen::draw(b, 1) + 34;
        const double wd = 7 * gen::draw(b, 2) + 5.5;
        pen_.setLineCap(LineCap::round);
        pen_.setLineJoin(LineJoin::round);
        const int64_t count = static_cast<int64_t>(gen::rawDraw(b, 3) % 5) + 4;
        const double cosDir = std::cos(e.dir), sinDir = std::sin(e.dir);
        for (int64_t s = 0; s < count; ++s) {
            if (s > 0) b += 9 * kGamma;
            const double along = len * (2 * gen::draw(b, 4) - 1) * 0.5;
            const double across = wd * (2 * gen::draw(b, 5) - 1) * 0.9;
            const Point start0{e.center.x + along * cosDir - across * sinDir, e.center.y + along * sinDir + across * cosDir};
            const double l = len * (0.55 * gen::draw(b, 6) + 0.3);
            const double angle = e.dir + (2 * gen::draw(b, 7) - 1) * 0.5;
            const Point start = clampTo(start0, lw_, lh_);
            const Point end = clampTo({start0.x + l * std::cos(angle), start0.y + l * std::sin(angle)}, lw_, lh_);
            const double tint = 0.18 * gen::draw(b, 9) + 0.88;
            const Rgba color{std::min(c.r * tint, 1.0), std::min(c.g * tint, 1.0), std::min(c.b * tint, 1.0),
                             A * (0.45 * gen::draw(b, 8) + 0.3)};
            const Point control{(start.x + end.x) / 2 + wd * 0.4 * (2 * gen::draw(b, 11) - 1) * -sinDir,
                                (start.y + end.y) / 2 + wd * 0.4 * (2 * gen::draw(b, 12) - 1) * cosDir};
            pen_.quad(start, control, end, wd * (0.45 * gen::draw(b, 10) + 0.35), color);
        }
        const double cx = e.center.x, cy = e.center.y;
        const double r = wd * (0.4 * gen::draw(b, 13) + 0.5);
        pen_.ellipse(Rect{cx - r, cy - 0.8 * r, 2 * r, 1.6 * r}, withAlpha(c, A * 0.5));
        if (gen::draw(b, 14) < 0.42) {
            const double endY = std::min(cy + 66 * gen::draw(b, 15) + 14, lh_ - 1);
            const double dx = (2 * gen::draw(b, 16) - 1) * 3;
            const double width = std::max(wd * (0.18 * gen::draw(b, 17) + 0.16), 0.7);
            pen_.quad({cx, cy}, {cx + 0.4 * dx, (cy + endY) / 2}, {cx + dx, endY}, width, withAlpha(c, A * 0.5));
            if (gen::draw(b, 18) < 0.6) {
                const double drop = width * (0.9 * gen::draw(b, 19) + 1.1);
                pen_.ellipse(Rect{cx + dx - drop, endY - drop, 2 * drop, 2 * drop}, withAlpha(c, A * 0.55));
            }
        }
    }

    void tick(const Tick& e, const LayerStatus& st) {
        const Ink ink = statusInk(e.pigment, st, MarkKind::tick, false);
        pen_.setLineCap(LineCap::round);
        const double x0 = e.from.x, y0 = e.from.y, x1 = e.to.x, y1 = e.to.y;
        pen_.quad(e.from, {(x0 + x1) / 2 + 0.12 * (y1 - y0), (y0 + y1) / 2 - 0.12 * (x1 - x0)}, e.to,
                  std::max(e.weight, 0.5), withAlpha(ink.color, ink.alpha));
    }

private:
    Pen& pen_;
    double lw_, lh_;
    Scratch scratch_;
};

// Bounds of a polyline drawn as smooth segments: the Bezier control points stray at most a
// third of the longest step from the points.
Rect polylineBounds(std::span<const Point> p, double margin) {
    double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y, step = 0;
    for (size_t i = 1; i < p.size(); ++i) {
        x0 = std::min(x0, p[i].x);
        x1 = std::max(x1, p[i].x);
        y0 = std::min(y0, p[i].y);
        y1 = std::max(y1, p[i].y);
        step = std::max(step, std::hypot(p[i].x - p[i - 1].x, p[i].y - p[i - 1].y));
    }
    const double m = margin + step / 3;
    return Rect{x0 - m, y0 - m, x1 - x0 + 2 * m, y1 - y0 + 2 * m};
}

Rect around(Point c, double r) { return Rect{c.x - r, c.y - r, 2 * r, 2 * r}; }

// Conservative logical-unit bounds of everything an element draws, to skip it on bands it
// cannot touch.
Rect elementBounds(const Element& element) {
    struct Visitor {
        Rect operator()(const Scrawl& e) const {
            if (e.points.size() < 2) return Rect{};
            // Passes wander up to 11 units; the widest stroke is 1.7 x 1.2 x 8.5 (halo 2.04 x
            // 8.5, shifted by under 2 units); the displacement also lengthens steps.
            constexpr double kWander = 11;
            return polylineBounds(e.points, kWander + kWander * 2 / 3 + 9.5 + 2);
        }
        Rect operator()(const Knot& e) const {
            // Loops reach 1.56 radius from the centre, steps between loops up to twice that.
            return around(e.center, e.radius * (1.56 + 3.12 / 3) + 2.1 + 2);
        }
        Rect operator()(const Burst& e) const {
            // Strokes start up to 40 + 11.25 units out and run 68 more, bending 7.1 units;
            // drips fall 80 units with a drop under 9 units.
            return around(e.center, 140);
        }
        Rect operator()(const Tick& e) const {
            const std::array<Point, 2> p{e.from, e.to};
            return polylineBounds(p, 0.12 * std::hypot(e.to.x - e.from.x, e.to.y - e.from.y) + e.weight + 2);
        }
    };
    return std::visit(Visitor{}, element);
}

}  // namespace

std::map<int64_t, LayerStatus> layerStatuses(const std::map<int64_t, LayerTimes>& layers, double endTime,
                                             double deleteFade) {
    std::map<int64_t, LayerStatus> statuses;
    if (layers.empty()) return statuses;
    const int64_t latest = layers.rbegin()->first;
    for (const auto& [layer, times] : layers) {
        if (layer == latest) {
            statuses[layer] = LayerStatus{LayerStatus::Kind::active, 1};
            continue;
        }
        const double age = endTime - times.last;
        if (age <= kRecentAge) {
            statuses[layer] = LayerStatus{LayerStatus::Kind::recent, 1};
            continue;
        }
        double f = 2 * (age - kRecentAge) / std::max(endTime, 1.0);
        if (!(f <= 1)) f = 1;  // also when absurd timestamps overflow to NaN
        statuses[layer] = LayerStatus{LayerStatus::Kind::archive, std::max(0.62 - 0.32 * f - deleteFade, 0.24)};
    }
    return statuses;
}

// The status colour rule: full colour for the live layers (drag scrawls and knots a shade
// darker), older layers pulled towards the paper and made fainter.
Ink statusInk(Pigment c, const LayerStatus& st, MarkKind kind, bool drag) {
    if (st.kind == LayerStatus::Kind::archive) {
        const double f = st.fade;
        const Rgba color{c.r + (1 - f) * (kPaper.r - c.r), c.g + (1 - f) * (kPaper.g - c.g),
                         c.b + (1 - f) * (kPaper.b - c.b), 1};
        const double alpha = kind == MarkKind::burst ? 0.5 * f + 0.3 : 0.55 * f + 0.25;
        return {color, kind == MarkKind::tick ? alpha * 0.86 : alpha};
    }
    const bool darker = kind == MarkKind::knot || (kind == MarkKind::scrawl && drag);
    const Rgba color = darker ? Rgba{c.r / kDarken, c.g / kDarken, c.b / kDarken, 1} : Rgba{c.r, c.g, c.b, 1};
    const bool active = st.kind == LayerStatus::Kind::active;
    switch (kind) {
        case MarkKind::burst: return {color, active ? 1.0 : 0.95};
        case MarkKind::tick: return {color, active ? 0.86 : 0.86 * 0.92};
        default: return {color, active ? 1.0 : 0.92};
    }
}

int scrawlPassCount(std::span<const Point> points, double lw, double lh) {
    return points.empty() ? 0 : passCount(centreWeight(points, lw, lh));
}

void paintPaper(Canvas& canvas, double silentRatio) {
    const int64_t w = canvas.width();
    const double amplitude = silentRatio > 0 ? 0.012 + 0.006 * std::min(silentRatio, 1.0) : 0.012;
    // Sine tables per column and per row instead of per-pixel trigonometry.
    std::vector<double> c1(static_cast<size_t>(w)), c2(static_cast<size_t>(w));
    for (int64_t x = 0; x < w; ++x) {
        c1[static_cast<size_t>(x)] = std::sin(1.7 * static_cast<double>(x));
        c2[static_cast<size_t>(x)] = std::sin(0.008 * static_cast<double>(x) + 1.3);
    }
    canvas.beginPixelAccess();
    parallelFor(canvas.firstRow(), canvas.endRow(), 8, [&](int64_t y0, int64_t y1) {
        for (int64_t y = y0; y < y1; ++y) {
            const double yd = static_cast<double>(y);
            const double r1 = std::sin(1.7 * 0.97 * yd + 0.5), r2 = std::sin(0.01 * yd + 0.7);
            const uint64_t yHash = static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4FULL;
            uint32_t* row = canvas.pixelRow(y);
            for (int64_t x = 0; x < w; ++x) {
                const uint64_t u = (static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ULL) ^ yHash;
                const uint64_t hh = (u ^ (u >> 29)) * 0xBF58476D1CE4E5B9ULL;
                const double n = static_cast<double>(((hh >> 32) ^ hh) & 0xFFFF) / 65535 - 0.5;
                const size_t xi = static_cast<size_t>(x);
                const double v = amplitude * 2 * n + (r1 + c1[xi]) * 0.5 * 0.01 + r2 * c2[xi] * 0.009;
                auto channel = [](double value) {
                    return static_cast<uint8_t>(std::clamp(value * 255, 0.0, 255.0));
                };
                row[x] = Canvas::packPixel(channel(v + 0.906), channel(0.95 * v + 0.886), channel(0.82 * v + 0.846), 255);
            }
        }
    });
    canvas.endPixelAccess();
}

bool drawMarks(Canvas& canvas, const Extraction& ex, double k, const DrawingOptions& options) {
    const double lw = static_cast<double>(canvas.width()) / k, lh = static_cast<double>(canvas.height()) / k;
    const std::map<int64_t, LayerStatus> statuses = layerStatuses(ex.layers, ex.endTime, ex.deleteFade);
    // Layers in ascending order, each in element-list order; elements of layers without a time
    // entry are not drawn.
    struct Item {
        size_t index;
        LayerStatus status;
        Rect bounds;
    };
    std::vector<Item> order;
    order.reserve(ex.elements.size());
    for (size_t i = 0; i < ex.elements.size(); ++i) {
        auto it = statuses.find(layerOf(ex.elements[i]));
        if (it != statuses.end()) order.push_back({i, it->second, elementBounds(ex.elements[i])});
    }
    std::stable_sort(order.begin(), order.end(), [&](const Item& a, const Item& b) {
        return layerOf(ex.elements[a.index]) < layerOf(ex.elements[b.index]);
    });

    return drawInBands(
        canvas,
        [&](Canvas& band) {
            band.setCulling(options.culling);
            band.scale(k, k);
            Pen pen(band, k, options.rasteriser == Rasteriser::cairo);
            Painter painter(pen, lw, lh);
            // Knots inherit the cap and join left by the marks before them, whether or not those
            // touched this band.
            LineCap cap = LineCap::butt;
            LineJoin join = LineJoin::miter;
            for (const Item& item : order) {
                const Element& e = ex.elements[item.index];
                const bool visible = band.touches(item.bounds);
                if (const auto* s = std::get_if<Scrawl>(&e)) {
                    if (visible) painter.scrawl(*s, item.status);
                    if (s->points.size() >= 2) cap = LineCap::round, join = LineJoin::round;
                } else if (const auto* kn = std::get_if<Knot>(&e)) {
                    if (visible) painter.knot(*kn, item.status, cap, join);
                } else if (const auto* bu = std::get_if<Burst>(&e)) {
                    if (visible) painter.burst(*bu, item.status);
                    cap = LineCap::round, join = LineJoin::round;
                } else if (const auto* t = std::get_if<Tick>(&e)) {
                    if (visible) painter.tick(*t, item.status);
                    cap = LineCap::round;
                }
            }
        },
        options.bandRows);
}

double canvasScale(int64_t width, int64_t height) { return logicalCanvas(width, height).k; }

}  // namespace graffo

GraffoRenderer::GraffoRenderer(DrawingOptions options)
    : descriptor_{"graffo", "Graffo", StyleSeries::artist}, options_(options) {}

std::optional<RgbaImage> GraffoRenderer::render(const MaterialEngineOutput& output, int64_t width,
                                                int64_t height) const {
    using namespace graffo;
    if (width < 1 || height < 1) return std::nullopt;
    try {
        auto canvas = Canvas::create(width, height);
        if (!canvas) return std::nullopt;
        const double k = canvasScale(width, height);
        const Extraction ex = extract(output.segments, static_cast<double>(width) / k,
                                      static_cast<double>(height) / k, 1 / k);
        paintPaper(*canvas, output.conditioning.silentRatio);
        if (!drawMarks(*canvas, ex, k, options_)) return std::nullopt;
        return canvas->toImage(ColorSpace::deviceRGB);
    } catch (...) {
        // Renderers report no errors; running out of memory means no image.
        return std::nullopt;
    }
}

}  // namespace murmura
