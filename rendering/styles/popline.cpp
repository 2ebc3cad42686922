#include "rendering/styles/popline.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "rendering/generators.h"
#include "support/parallel.h"

namespace murmura {

namespace popline {

namespace {

constexpr uint64_t kGamma = kSplitMixGamma;
constexpr double kPi = 3.141592653589793;
constexpr Rgba kChalk{0.96, 0.95, 0.92, 1};
// The inner passes of tubes and ring dots: the same cream as the chalk.
constexpr Rgba kInk{0.96, 0.95, 0.92, 1};

// Tube ink per unit of canvas area above which tubes thin: keeps the dark ground showing.
constexpr double kTubeInkBudget = 1.46;
// The least width factor: tubes stay at least as wide as the radiating dashes and ticks.
constexpr double kMinTubeWidthFactor = 0.2;

double coreWidth(double w) { return std::max(std::min(0.52 * w, w - 14), 2.0); }

// The smooth curve through the points: a line for two, one cubic per step for more.
PiecewisePath smoothPath(std::span<const Point> points) {
    PiecewisePath path;
    path.moveTo(points[0]);
    if (points.size() == 2) {
        path.lineTo(points[1]);
        return path;
    }
    for (size_t i = 0; i + 1 < points.size(); ++i) {
        const gen::CubicSegment s = gen::smoothSegment(points, i);
        path.curveTo(s.control1, s.control2, s.end);
    }
    return path;
}

Point along(Point c, double radius, double angle) {
    return {c.x + radius * std::cos(angle), c.y + radius * std::sin(angle)};
}

void addLine(Canvas& canvas, Point a, Point b) {
    canvas.moveTo(a);
    canvas.lineTo(b);
}

// count rays around c, starting at radius inner: ray j points at (2 pi / m) j, jittered by up
// to 0.28 of the spacing, and is lenLo + (lenHi - lenLo) u long, u from draw 2 + 2j.
void strokeRays(Canvas& canvas, Point c, int64_t count, double inner, double lenLo, double lenHi, double width,
                uint64_t seed) {
    const double spacing = 2 * kPi / static_cast<double>(std::max<int64_t>(count, 1));
    const uint64_t b = seed ^ kGamma;
    canvas.newPath();
    for (int64_t j = 0; j < count; ++j) {
        const auto k = static_cast<uint64_t>(j);
        const double u = gen::draw(b, 1 + 2 * k);
        const double l = lenLo + (lenHi - lenLo) * gen::draw(b, 2 + 2 * k);
        const double a = spacing * static_cast<double>(j) + spacing * (2 * u - 1) * 0.28;
        addLine(canvas, along(c, inner, a), along(c, inner + l, a));
    }
    canvas.setLineCap(LineCap::round);
    canvas.setLineWidth(width);
    canvas.setColor(kChalk);
    canvas.stroke();
}

struct Painter {
    Canvas& canvas;

    void operator()(const Tube&) const {}

    void operator()(const Radiate& e) const {
        strokeRays(canvas, e.center, e.count, e.inner, e.lenLo, e.lenHi, e.width, e.seed);
    }

    void operator()(const ClickDot& e) const {
        switch (e.kind) {
            case 1:
                canvas.fillCircle(e.p, e.r, kChalk);
                canvas.fillCircle(e.p, std::max(e.r - std::max(0.34 * e.r, 4.0), 1.5), kInk);
                break;
            case 2: {
                canvas.fillCircle(e.p, e.r / 2, kChalk);
                const uint64_t b = e.seed ^ kGamma;
                const double rho = 0.7 * e.r + 4;
                canvas.newPath();
                for (uint64_t j = 0; j < 8; ++j) {
                    const double a = static_cast<double>(j) * kPi / 4 + (2 * gen::draw(b, 1 + 2 * j) - 1) * (kPi / 4) * 0.28;
                    const double len = 12.6 * gen::draw(b, 2 + 2 * j) + 11.2;
                    addLine(canvas, along(e.p, rho, a), along(e.p, rho + len, a));
                }
                canvas.setLineCap(LineCap::round);
                canvas.setLineWidth(5.5);
                canvas.setColor(kChalk);
                canvas.stroke();
                break;
            }
            default: canvas.fillCircle(e.p, e.r, kChalk);
        }
    }

    void operator()(const Tick& e) const {
        const double h = e.len / 2, c = std::cos(e.angle), s = std::sin(e.angle);
        canvas.newPath();
        addLine(canvas, {e.p.x - h * c, e.p.y - h * s}, {e.p.x + h * c, e.p.y + h * s});
        if (e.cross) addLine(canvas, {e.p.x + h * s, e.p.y - h * c}, {e.p.x - h * s, e.p.y + h * c});
        canvas.setLineCap(LineCap::round);
        canvas.setLineWidth(e.width);
        canvas.setColor(kChalk);
        canvas.stroke();
    }
};

Rect around(Point c, double r) { return Rect{c.x - r, c.y - r, 2 * r, 2 * r}; }

// Logical-unit bounds of everything a non-tube element draws, to skip it on bands it misses.
Rect markBounds(const Element& element) {
    struct Visitor {
        Rect operator()(const Tube&) const { return Rect{}; }
        Rect operator()(const Radiate& e) const {
            return around(e.center, std::abs(e.inner) + std::max(std::abs(e.lenLo), std::abs(e.lenHi)) + e.width);
        }
        Rect operator()(const ClickDot& e) const {
            // Rays of kind 2 end at most 0.7 r + 27.8 units out, plus half their width.
            return around(e.p, std::abs(e.r) + 30);
        }
        Rect operator()(const Tick& e) const { return around(e.p, std::abs(e.len) + e.width); }
    };
    return std::visit(Visitor{}, element);
}

}  // namespace

std::array<uint8_t, 3> groundBytes(double silentRatio) {
    const double q = silentRatio > 0 ? 0.05 * std::min(silentRatio, 1.0) : 0;
    auto channel = [](double v) { return static_cast<uint8_t>(std::clamp(v * 255, 0.0, 255.0)); };
    return {channel(0.075 - 0.3 * q), channel(0.065 - 0.5 * q), channel(0.065 - 0.7 * q)};
}

double tubeInk(std::span<const Element> elements, double logicalWidth, double logicalHeight) {
    double ink = 0;
    for (const Element& e : elements) {
        const auto* t = std::get_if<Tube>(&e);
        if (!t) continue;
        double length = 0;
        for (size_t i = 1; i < t->points.size(); ++i)
            length += std::hypot(t->points[i].x - t->points[i - 1].x, t->points[i].y - t->points[i - 1].y);
        ink += length * t->width;
    }
    const double area = logicalWidth * logicalHeight;
    return area > 0 ? ink / area : 0;
}

double tubeWidthFactor(double ink) {
    return ink > kTubeInkBudget ? std::max(kTubeInkBudget / ink, kMinTubeWidthFactor) : 1.0;
}

double fitTubeInk(std::vector<Element>& elements, double logicalWidth, double logicalHeight) {
    const double factor = tubeWidthFactor(tubeInk(elements, logicalWidth, logicalHeight));
    if (factor == 1.0) return factor;
    for (Element& e : elements)
        if (auto* t = std::get_if<Tube>(&e)) t->width *= factor;
    return factor;
}

bool drawElements(Canvas& canvas, std::span<const Element> elements, double k, int64_t bandRows) {
    // Paths and bounds once, shared read-only by the bands.
    struct TubePath {
        PiecewisePath path;
        double width;
    };
    std::vector<TubePath> tubes;
    struct Mark {
        const Element* element;
        Rect bounds;
    };
    std::vector<Mark> marks;
    for (const Element& e : elements) {
        if (const auto* t = std::get_if<Tube>(&e)) {
            if (t->points.size() >= 2) tubes.push_back({smoothPath(t->points), t->width});
        } else {
            marks.push_back({&e, markBounds(e)});
        }
    }
    return drawInBands(
        canvas,
        [&](Canvas& band) {
            band.scale(k, k);
            band.setLineCap(LineCap::round);
            band.setLineJoin(LineJoin::round);
            band.setColor(kChalk);
            for (const TubePath& t : tubes) {
                band.setLineWidth(t.width);
                band.strokeRuns(t.path);
            }
            band.setColor(kInk);
            for (const TubePath& t : tubes) {
                band.setLineWidth(coreWidth(t.width));
                band.strokeRuns(t.path);
            }
            const Painter painter{band};
            for (const Mark& m : marks)
                if (band.touches(m.bounds)) std::visit(painter, *m.element);
        },
        bandRows);
}

}  // namespace popline

PoplineRenderer::PoplineRenderer() : descriptor_{"popline", "Popline", StyleSeries::artist} {}

std::optional<RgbaImage> PoplineRenderer::render(const MaterialEngineOutput& output, int64_t width,
                                                 int64_t height) const {
    using namespace popline;
    if (width < 1 || height < 1) return std::nullopt;
    try {
        auto canvas = Canvas::create(width, height);
        if (!canvas) return std::nullopt;
        const LogicalCanvas lg = logicalCanvas(width, height);
        const std::array<uint8_t, 3> g = groundBytes(output.conditioning.silentRatio);
        const uint32_t ground = Canvas::packPixel(g[0], g[1], g[2], 255);
        canvas->beginPixelAccess();
        parallelFor(0, height, 16, [&](int64_t y0, int64_t y1) {
            for (int64_t y = y0; y < y1; ++y) std::fill_n(canvas->pixelRow(y), width, ground);
        });
        canvas->endPixelAccess();
        std::vector<Element> elements = extract(output.segments, lg.width, lg.height, 1 / lg.k);
        fitTubeInk(elements, lg.width, lg.height);
        if (!drawElements(*canvas, elements, lg.k)) return std::nullopt;
        return canvas->toImage(ColorSpace::deviceRGB);
    } catch (...) {
        // Renderers report no errors; running out of memory means no image.
        return std::nullopt;
    }
}

}  // namespace murmura
