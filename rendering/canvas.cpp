#include "rendering/canvas.h"

#include <cairo.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <utility>

#include "support/parallel.h"

namespace murmura {

namespace {
// Antialiased edges reach at most a pixel beyond the geometry; keep a safe margin.
constexpr double kCullMargin = 2.0;

cairo_line_cap_t toCairo(LineCap cap) {
    switch (cap) {
        case LineCap::butt: return CAIRO_LINE_CAP_BUTT;
        case LineCap::round: return CAIRO_LINE_CAP_ROUND;
        case LineCap::square: return CAIRO_LINE_CAP_SQUARE;
    }
    return CAIRO_LINE_CAP_BUTT;
}

cairo_line_join_t toCairo(LineJoin join) {
    switch (join) {
        case LineJoin::miter: return CAIRO_LINE_JOIN_MITER;
        case LineJoin::round: return CAIRO_LINE_JOIN_ROUND;
        case LineJoin::bevel: return CAIRO_LINE_JOIN_BEVEL;
    }
    return CAIRO_LINE_JOIN_MITER;
}
}  // namespace

std::optional<Canvas> Canvas::create(int64_t width, int64_t height) {
    if (!RgbaImage::fits(width, height)) return std::nullopt;
    return wrap(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width), static_cast<int>(height)),
                width, height, 0, height, true);
}

// Takes ownership of the surface; nothing when it or its context failed.
std::optional<Canvas> Canvas::wrap(cairo_surface_t* surface, int64_t width, int64_t height, int64_t rowBegin,
                                   int64_t rowEnd, bool ownsPixels) {
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return std::nullopt;
    }
    cairo_t* cr = cairo_create(surface);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        return std::nullopt;
    }
    return Canvas(surface, cr, width, height, rowBegin, rowEnd, ownsPixels);
}

Canvas::Canvas(cairo_surface_t* surface, cairo_t* cr, int64_t width, int64_t height, int64_t rowBegin,
               int64_t rowEnd, bool ownsPixels)
    : surface_(surface), cr_(cr), width_(width), height_(height), rowBegin_(rowBegin), rowEnd_(rowEnd),
      ownsPixels_(ownsPixels) {
    resetTransform();
}

Canvas::Canvas(Canvas&& o) noexcept { *this = std::move(o); }

Canvas& Canvas::operator=(Canvas&& o) noexcept {
    if (this != &o) {
        release();
        surface_ = std::exchange(o.surface_, nullptr);
        cr_ = std::exchange(o.cr_, nullptr);
        width_ = o.width_;
        height_ = o.height_;
        rowBegin_ = o.rowBegin_;
        rowEnd_ = o.rowEnd_;
        ownsPixels_ = o.ownsPixels_;
        culling_ = o.culling_;
        current_ = o.current_;
        minX_ = o.minX_;
        minY_ = o.minY_;
        maxX_ = o.maxX_;
        maxY_ = o.maxY_;
        hasBounds_ = o.hasBounds_;
    }
    return *this;
}

Canvas::~Canvas() { release(); }

void Canvas::release() {
    if (cr_) cairo_destroy(cr_);
    if (surface_) {
        // A band's surface wraps its parent's memory: make sure its drawing has landed there.
        cairo_surface_flush(surface_);
        cairo_surface_destroy(surface_);
    }
    cr_ = nullptr;
    surface_ = nullptr;
}

std::optional<Canvas> Canvas::band(int64_t rowBegin, int64_t rowEnd) {
    if (!surface_) return std::nullopt;
    cairo_surface_flush(surface_);
    return concurrentBand(rowBegin, rowEnd);
}

std::optional<Canvas> Canvas::concurrentBand(int64_t rowBegin, int64_t rowEnd) {
    if (!surface_ || rowBegin < rowBegin_ || rowEnd > rowEnd_ || rowEnd <= rowBegin) return std::nullopt;
    const int stride = cairo_image_surface_get_stride(surface_);
    unsigned char* base = cairo_image_surface_get_data(surface_);
    if (!base) return std::nullopt;
    unsigned char* first = base + static_cast<size_t>(rowBegin - rowBegin_) * static_cast<size_t>(stride);
    return wrap(cairo_image_surface_create_for_data(first, CAIRO_FORMAT_ARGB32, static_cast<int>(width_),
                                                    static_cast<int>(rowEnd - rowBegin), stride),
                width_, height_, rowBegin, rowEnd, false);
}

// The band's device rows start at rowBegin_: every transform starts from that offset.
void Canvas::resetTransform() {
    cairo_identity_matrix(cr_);
    cairo_translate(cr_, 0, -static_cast<double>(rowBegin_));
}
void Canvas::translate(double tx, double ty) { cairo_translate(cr_, tx, ty); }
void Canvas::scale(double sx, double sy) { cairo_scale(cr_, sx, sy); }
void Canvas::rotate(double radians) { cairo_rotate(cr_, radians); }
void Canvas::save() { cairo_save(cr_); }
void Canvas::restore() { cairo_restore(cr_); }

void Canvas::setLineWidth(double width) { cairo_set_line_width(cr_, width); }
void Canvas::setLineCap(LineCap cap) { cairo_set_line_cap(cr_, toCairo(cap)); }
void Canvas::setLineJoin(LineJoin join) { cairo_set_line_join(cr_, toCairo(join)); }
void Canvas::setColor(const Rgba& c) { cairo_set_source_rgba(cr_, c.r, c.g, c.b, c.a); }
void Canvas::setAntialias(bool on) { cairo_set_antialias(cr_, on ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE); }

void Canvas::resetBounds() { hasBounds_ = false; }

void Canvas::extendBounds(Point user) {
    double x = user.x, y = user.y;
    cairo_user_to_device(cr_, &x, &y);
    if (!hasBounds_) {
        minX_ = maxX_ = x;
        minY_ = maxY_ = y;
        hasBounds_ = true;
        return;
    }
    minX_ = std::min(minX_, x);
    maxX_ = std::max(maxX_, x);
    minY_ = std::min(minY_, y);
    maxY_ = std::max(maxY_, y);
}

// True when the current path, widened by halfWidthUser user units, cannot touch this canvas's
// pixels. NaN bounds never count as missing, so Cairo sees (and rejects) them itself.
bool Canvas::pathMissesRows(double halfWidthUser) {
    if (!culling_) return false;
    if (!hasBounds_) return true;
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    // The Frobenius norm bounds how far the matrix can stretch any direction.
    const double stretch = std::sqrt(m.xx * m.xx + m.xy * m.xy + m.yx * m.yx + m.yy * m.yy);
    const double margin = halfWidthUser * stretch + kCullMargin;
    // Device y of the band is relative to its first row (the transform includes the offset).
    const double rows = static_cast<double>(rowEnd_ - rowBegin_);
    return maxY_ + margin < 0 || minY_ - margin > rows || maxX_ + margin < 0 ||
           minX_ - margin > static_cast<double>(width_);
}

bool Canvas::touches(const Rect& r) {
    const bool had = hasBounds_;
    const double saved[4] = {minX_, minY_, maxX_, maxY_};
    resetBounds();
    extendBounds({r.minX(), r.minY()});
    extendBounds({r.maxX(), r.minY()});
    extendBounds({r.minX(), r.maxY()});
    extendBounds({r.maxX(), r.maxY()});
    const bool misses = pathMissesRows(0);
    hasBounds_ = had;
    minX_ = saved[0];
    minY_ = saved[1];
    maxX_ = saved[2];
    maxY_ = saved[3];
    return !misses;
}

void Canvas::newPath() {
    cairo_new_path(cr_);
    resetBounds();
}

void Canvas::moveTo(Point p) {
    cairo_move_to(cr_, p.x, p.y);
    extendBounds(p);
    current_ = p;
}

void Canvas::lineTo(Point p) {
    cairo_line_to(cr_, p.x, p.y);
    extendBounds(p);
    current_ = p;
}

void Canvas::quadTo(Point c, Point e) {
    // The cubic with the same curve: control points two thirds of the way to the quadratic's.
    const Point c1{current_.x + 2.0 / 3.0 * (c.x - current_.x), current_.y + 2.0 / 3.0 * (c.y - current_.y)};
    const Point c2{e.x + 2.0 / 3.0 * (c.x - e.x), e.y + 2.0 / 3.0 * (c.y - e.y)};
    curveTo(c1, c2, e);
}

void Canvas::curveTo(Point c1, Point c2, Point e) {
    cairo_curve_to(cr_, c1.x, c1.y, c2.x, c2.y, e.x, e.y);
    extendBounds(c1);
    extendBounds(c2);
    extendBounds(e);
    current_ = e;
}

void Canvas::closePath() { cairo_close_path(cr_); }

// How far, in user units, the current stroke style reaches from the path.
double Canvas::strokeReach() const {
    double halfWidth = cairo_get_line_width(cr_) / 2;
    // Mitred corners and square caps reach beyond half the width.
    if (cairo_get_line_join(cr_) == CAIRO_LINE_JOIN_MITER)
        halfWidth *= std::max(cairo_get_miter_limit(cr_), 1.0);
    if (cairo_get_line_cap(cr_) == CAIRO_LINE_CAP_SQUARE) halfWidth *= std::sqrt(2.0);
    return halfWidth;
}

void Canvas::stroke() {
    if (pathMissesRows(strokeReach()))
        cairo_new_path(cr_);
    else
        cairo_stroke(cr_);
    resetBounds();
}

void Canvas::appendPiece(const PiecewisePath::Piece& p) {
    if (p.kind == PiecewisePath::Kind::curve)
        cairo_curve_to(cr_, p.c1.x, p.c1.y, p.c2.x, p.c2.y, p.end.x, p.end.y);
    else
        cairo_line_to(cr_, p.end.x, p.end.y);
}

void Canvas::strokeRuns(const PiecewisePath& path) {
    using Kind = PiecewisePath::Kind;
    cairo_new_path(cr_);
    resetBounds();
    if (path.pieces_.empty()) return;
    if (!culling_) {
        for (const auto& p : path.pieces_) {
            if (p.kind == Kind::move)
                cairo_move_to(cr_, p.end.x, p.end.y);
            else
                appendPiece(p);
        }
        cairo_stroke(cr_);
        return;
    }
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    // The Frobenius norm bounds how far the matrix can stretch any direction.
    const double stretch = std::sqrt(m.xx * m.xx + m.xy * m.xy + m.yx * m.yx + m.yy * m.yy);
    const double margin = strokeReach() * stretch + kCullMargin;
    // Device rows of this canvas, relative to its first row (the transform holds the offset).
    const double top = -margin, bottom = static_cast<double>(rowEnd_ - rowBegin_) + margin;
    // Whether a user-space box, mapped to device space, can reach the rows; NaN counts as
    // reaching, so Cairo sees (and rejects) it itself.
    auto reaches = [&](double minX, double minY, double maxX, double maxY) {
        const double x0 = m.yx * minX, x1 = m.yx * maxX, y0 = m.yy * minY, y1 = m.yy * maxY;
        const double lo = m.y0 + std::min(x0, x1) + std::min(y0, y1);
        const double hi = m.y0 + std::max(x0, x1) + std::max(y0, y1);
        return !(hi < top || lo > bottom);
    };
    if (!reaches(path.minX_, path.minY_, path.maxX_, path.maxY_)) return;
    bool inRun = false;
    Point start;
    bool any = false;
    for (const auto& p : path.pieces_) {
        if (p.kind == Kind::move) {
            inRun = false;
        } else if (reaches(p.minX, p.minY, p.maxX, p.maxY)) {
            if (!inRun) cairo_move_to(cr_, start.x, start.y);
            appendPiece(p);
            inRun = any = true;
        } else {
            inRun = false;
        }
        start = p.end;
    }
    if (any)
        cairo_stroke(cr_);
    else
        cairo_new_path(cr_);
}

void Canvas::fill() {
    if (pathMissesRows(0))
        cairo_new_path(cr_);
    else
        cairo_fill(cr_);
    resetBounds();
}

void Canvas::fillRect(const Rect& r, const Rgba& color) {
    newPath();
    moveTo({r.x, r.y});
    lineTo({r.x + r.width, r.y});
    lineTo({r.x + r.width, r.y + r.height});
    lineTo({r.x, r.y + r.height});
    closePath();
    setColor(color);
    fill();
}

void Canvas::fillEllipse(const Rect& b, const Rgba& color) {
    // Four cubic arcs; kappa places the control points of a quarter circle.
    constexpr double kappa = 0.5522847498307936;
    const double rx = b.width / 2, ry = b.height / 2;
    const double cx = b.x + rx, cy = b.y + ry;
    const double ox = rx * kappa, oy = ry * kappa;
    newPath();
    moveTo({cx + rx, cy});
    curveTo({cx + rx, cy + oy}, {cx + ox, cy + ry}, {cx, cy + ry});
    curveTo({cx - ox, cy + ry}, {cx - rx, cy + oy}, {cx - rx, cy});
    curveTo({cx - rx, cy - oy}, {cx - ox, cy - ry}, {cx, cy - ry});
    curveTo({cx + ox, cy - ry}, {cx + rx, cy - oy}, {cx + rx, cy});
    closePath();
    setColor(color);
    fill();
}

void Canvas::fillCircle(Point c, double radius, const Rgba& color) {
    fillEllipse(Rect{c.x - radius, c.y - radius, 2 * radius, 2 * radius}, color);
}

void PiecewisePath::add(Kind kind, Point c1, Point c2, Point end) {
    const Point s = kind == Kind::move || !hasCurrent_ ? end : current_;
    Piece p{kind, c1, c2, end, std::min(s.x, end.x), std::min(s.y, end.y), std::max(s.x, end.x), std::max(s.y, end.y)};
    if (kind == Kind::curve) {
        p.minX = std::min({p.minX, c1.x, c2.x});
        p.minY = std::min({p.minY, c1.y, c2.y});
        p.maxX = std::max({p.maxX, c1.x, c2.x});
        p.maxY = std::max({p.maxY, c1.y, c2.y});
    }
    if (pieces_.empty()) {
        minX_ = p.minX, minY_ = p.minY, maxX_ = p.maxX, maxY_ = p.maxY;
    } else {
        minX_ = std::min(minX_, p.minX), minY_ = std::min(minY_, p.minY);
        maxX_ = std::max(maxX_, p.maxX), maxY_ = std::max(maxY_, p.maxY);
    }
    pieces_.push_back(p);
    current_ = end;
    hasCurrent_ = true;
}

void PiecewisePath::moveTo(Point p) { add(Kind::move, p, p, p); }
// Without a current point a line or curve starts the path where it ends, as in Cairo.
void PiecewisePath::lineTo(Point p) {
    if (!hasCurrent_) moveTo(p);
    add(Kind::line, p, p, p);
}
void PiecewisePath::curveTo(Point c1, Point c2, Point end) {
    if (!hasCurrent_) moveTo(c1);
    add(Kind::curve, c1, c2, end);
}

Rect PiecewisePath::bounds() const {
    if (pieces_.empty()) return Rect{};
    return Rect{minX_, minY_, maxX_ - minX_, maxY_ - minY_};
}

uint32_t* Canvas::pixelRow(int64_t y) {
    const int stride = cairo_image_surface_get_stride(surface_);
    return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface_) +
                                       static_cast<size_t>(y - rowBegin_) * static_cast<size_t>(stride));
}

const uint32_t* Canvas::pixelRow(int64_t y) const { return const_cast<Canvas*>(this)->pixelRow(y); }

ptrdiff_t Canvas::rowStride() const { return cairo_image_surface_get_stride(surface_) / 4; }

void Canvas::beginPixelAccess() { cairo_surface_flush(surface_); }
void Canvas::endPixelAccess() { cairo_surface_mark_dirty(surface_); }

std::optional<RgbaImage> Canvas::toImage(ColorSpace colorSpace) {
    if (!ownsPixels_ || !surface_) return std::nullopt;
    auto image = RgbaImage::createForOverwrite(width_, height_, colorSpace);  // every pixel is copied
    if (!image) return std::nullopt;
    cairo_surface_flush(surface_);
    parallelFor(0, height_, 16, [&](int64_t y0, int64_t y1) {
        for (int64_t y = y0; y < y1; ++y) {
            const uint32_t* src = pixelRow(y);
            uint8_t* dst = image->row(y);
            for (int64_t x = 0; x < width_; ++x) {
                const uint32_t p = src[x];
                dst[4 * x + 0] = static_cast<uint8_t>(p >> 16);
                dst[4 * x + 1] = static_cast<uint8_t>(p >> 8);
                dst[4 * x + 2] = static_cast<uint8_t>(p);
                dst[4 * x + 3] = static_cast<uint8_t>(p >> 24);
            }
        }
    });
    return image;
}

bool drawInBands(Canvas& canvas, const std::function<void(Canvas&)>& draw, int64_t bandRows) {
    if (bandRows < 1) return false;
    const int64_t first = canvas.firstRow(), end = canvas.endRow();
    const int64_t bands = (end - first + bandRows - 1) / bandRows;
    std::atomic<bool> ok{true};
    canvas.beginPixelAccess();
    parallelFor(0, bands, 1, [&](int64_t b0, int64_t b1) {
        for (int64_t b = b0; b < b1; ++b) {
            const int64_t r0 = first + b * bandRows;
            auto band = canvas.concurrentBand(r0, std::min(r0 + bandRows, end));
            if (!band) {
                ok = false;
                continue;
            }
            draw(*band);
        }
    });
    canvas.endPixelAccess();
    return ok;
}

}  // namespace murmura
