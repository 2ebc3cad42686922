#pragma once
// A thin drawing layer over Cairo image surfaces, shared by the vector styles: a W x H bitmap
// with transforms, Bezier paths, strokes and fills, direct pixel access for backgrounds written
// as bytes, and one conversion to RgbaImage at the end.
//
// Pixels are held in Cairo's ARGB32 format: premultiplied, one native-endian 32-bit word per
// pixel (alpha in the top byte). They are reordered to RGBA only in toImage().
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "rendering/rgba_image.h"
#include "support/geometry.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace murmura {

enum class LineCap { butt, round, square };
enum class LineJoin { miter, round, bevel };

// Straight (not premultiplied) colour with components in [0, 1].
struct Rgba {
    double r = 0;
    double g = 0;
    double b = 0;
    double a = 1;
};

// An open path kept as pieces (straight lines and cubic curves) with the bounds of each, built
// once and stroked on many bands: a band strokes only the runs of pieces that can reach its
// rows (see Canvas::strokeRuns). Subpaths start with moveTo; closing is not supported.
class PiecewisePath {
public:
    void clear() {
        pieces_.clear();
        hasCurrent_ = false;
    }
    void moveTo(Point p);
    void lineTo(Point p);
    void curveTo(Point c1, Point c2, Point end);
    bool empty() const { return pieces_.empty(); }
    size_t size() const { return pieces_.size(); }
    // User-space bounds of every point, control points included; empty without pieces.
    Rect bounds() const;

private:
    friend class Canvas;
    enum class Kind : uint8_t { move, line, curve };
    struct Piece {
        Kind kind;
        Point c1, c2, end;  // controls used by curves only
        // Bounds of the piece's start, controls and end.
        double minX, minY, maxX, maxY;
    };
    void add(Kind kind, Point c1, Point c2, Point end);
    std::vector<Piece> pieces_;
    Point current_;
    bool hasCurrent_ = false;
    double minX_ = 0, minY_ = 0, maxX_ = 0, maxY_ = 0;
};

class Canvas {
public:
    // A transparent width x height bitmap, or nothing when a side is below 1, the size exceeds
    // RgbaImage's limits or the bitmap cannot be allocated.
    static std::optional<Canvas> create(int64_t width, int64_t height);

    Canvas(Canvas&& other) noexcept;
    Canvas& operator=(Canvas&& other) noexcept;
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    ~Canvas();

    // The full canvas size, also for a band.
    int64_t width() const { return width_; }
    int64_t height() const { return height_; }
    // The rows this canvas draws into: [0, height) for a whole canvas.
    int64_t firstRow() const { return rowBegin_; }
    int64_t endRow() const { return rowEnd_; }

    // A canvas that draws into rows [rowBegin, rowEnd) of this one's pixels, with the same
    // full-size coordinates, a fresh drawing state and the identity transform. Paths whose
    // device bounds miss those rows are dropped without rasterising. The parent must outlive
    // it, must not draw at the same time, and takes the band's drawing in with
    // endPixelAccess().
    std::optional<Canvas> band(int64_t rowBegin, int64_t rowEnd);
    // The same without flushing this canvas first, so that bands can be made from several
    // threads at once; call beginPixelAccess() before and endPixelAccess() after.
    std::optional<Canvas> concurrentBand(int64_t rowBegin, int64_t rowEnd);

    // Culling (on by default) drops paths whose bounds miss this canvas's rows before Cairo
    // sees them. It never changes a pixel; switching it off exists to check exactly that.
    void setCulling(bool on) { culling_ = on; }

    // Whether a user-space rectangle can touch this canvas's pixels under the current
    // transform, so callers can skip whole groups of drawing calls on bands they miss.
    bool touches(const Rect& userBounds);

    // Transforms (user space to device pixels, composed like Cairo's).
    void translate(double tx, double ty);
    void scale(double sx, double sy);
    void rotate(double radians);
    void resetTransform();
    void save();
    void restore();

    // Drawing state.
    void setLineWidth(double width);
    void setLineCap(LineCap cap);
    void setLineJoin(LineJoin join);
    void setColor(const Rgba& color);
    void setAntialias(bool on);

    // Paths.
    void newPath();
    void moveTo(Point p);
    void lineTo(Point p);
    void quadTo(Point control, Point end);
    void curveTo(Point c1, Point c2, Point end);
    void closePath();
    // Stroke or fill the current path with the current state, then clear it.
    void stroke();
    void fill();
    // Strokes a piecewise path with the current state, replacing the current path. With culling
    // on, only the runs of consecutive pieces whose bounds, widened by the stroke's reach and a
    // margin, touch this canvas's rows are stroked, all in one stroke; every run is cut where
    // the pieces around it cannot reach the rows, so the cut ends and their caps lie outside
    // and the pixels are those of stroking the whole path on this canvas.
    void strokeRuns(const PiecewisePath& path);

    // Filled shapes in the given colour, independent of the current path.
    void fillRect(const Rect& rect, const Rgba& color);
    void fillEllipse(const Rect& bounds, const Rgba& color);
    void fillCircle(Point center, double radius, const Rgba& color);

    // Direct pixel access: premultiplied ARGB words of canvas row y (firstRow() <= y <
    // endRow()). Call beginPixelAccess() before and endPixelAccess() after writing.
    uint32_t* pixelRow(int64_t y);
    const uint32_t* pixelRow(int64_t y) const;
    // Pixels from one row to the next.
    ptrdiff_t rowStride() const;
    void beginPixelAccess();
    void endPixelAccess();
    static constexpr uint32_t packPixel(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
        return (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
    }

    // The pixels as premultiplied RGBA, row 0 at the top; nothing for a band or when the
    // image cannot be allocated.
    std::optional<RgbaImage> toImage(ColorSpace colorSpace = ColorSpace::deviceRGB);

private:
    Canvas(cairo_surface_t* surface, cairo_t* cr, int64_t width, int64_t height, int64_t rowBegin,
           int64_t rowEnd, bool ownsPixels);
    static std::optional<Canvas> wrap(cairo_surface_t* surface, int64_t width, int64_t height, int64_t rowBegin,
                                      int64_t rowEnd, bool ownsPixels);
    void release();
    void extendBounds(Point user);
    bool pathMissesRows(double halfWidthUser);
    double strokeReach() const;
    void appendPiece(const PiecewisePath::Piece& piece);
    void resetBounds();

    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
    int64_t width_ = 0;
    int64_t height_ = 0;
    int64_t rowBegin_ = 0;
    int64_t rowEnd_ = 0;
    bool ownsPixels_ = true;
    bool culling_ = true;
    Point current_;  // current point in user space, for quadTo
    // Device-space bounds of the current path's points (control points included).
    double minX_ = 0, minY_ = 0, maxX_ = 0, maxY_ = 0;
    bool hasBounds_ = false;
};

// Fixed band height, in device rows, for drawing one canvas from several threads. It is a
// constant so that the split, and thus every byte, is the same on every machine.
inline constexpr int64_t kCanvasBandRows = 128;

// Runs draw(band) for every band of bandRows rows in parallel and joins. draw must
// issue the same drawing calls in the same order for every band (it replays the whole
// picture; each band keeps what touches its rows). Returns false when a band could not be
// created; the canvas content is then unspecified.
bool drawInBands(Canvas& canvas, const std::function<void(Canvas&)>& draw, int64_t bandRows = kCanvasBandRows);

}  // namespace murmura
