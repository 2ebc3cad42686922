#include "app/ui/screens/wall_view.h"

#include <QEasingCurve>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/gallery_wall.h"
#include "rendering/generators.h"
#include "app/ui/icons.h"
#include "app/ui/palette.h"

namespace murmura::ui {
namespace {

constexpr double kResponse = 0.5;
constexpr double kDragDamping = 0.85;
constexpr double kClickDamping = 0.84;
constexpr int kAppearMs = 650;
// The floor starts at this fraction of the wall's height.
constexpr double kFloorLine = 0.88;
const QColor plaqueInk = palette::rgb(0.18, 0.14, 0.09);
const QColor kLight(255, 236, 204);

// Springs as easing curves: the spring's progress over its settle time, ending exactly at 1.
template <int DampingPercent>
qreal springEase(qreal progress) {
    constexpr double damping = DampingPercent / 100.0;
    static const double settle = wall::springSettleTime(kResponse, damping);
    static const double end = wall::springValue(settle, kResponse, damping);
    return progress >= 1 ? 1 : wall::springValue(progress * settle, kResponse, damping) / end;
}

// The procedural textures, made once for the life of the process.
const QImage& grainImage() {
    static const QImage image = [] {
        static const std::vector<uint8_t> grey = wall::grainTexture();
        return QImage(grey.data(), wall::kGrainSize, wall::kGrainSize, wall::kGrainSize, QImage::Format_Grayscale8)
            .convertToFormat(QImage::Format_RGB32);
    }();
    return image;
}

const QImage& woodImage() {
    static const QImage image = [] {
        static const std::vector<uint8_t> rgb = wall::woodTexture();
        return QImage(rgb.data(), wall::kWoodWidth, wall::kWoodHeight, wall::kWoodWidth * 3, QImage::Format_RGB888)
            .convertToFormat(QImage::Format_RGB32);
    }();
    return image;
}

// The light inside a beam: brightest along its axis and near the lamp, fading to nothing at the
// cone's slanted edges and its lower end, with a little dust from the grain texture. Laid out
// over the cone's bounding box, from its top edge (row 0) to its bottom edge.
constexpr int kBeamRows = 256;
const QImage& beamImage() {
    static const QImage image = [] {
        // Four empty rows below the cone: a brush tiles, and smooth sampling at the cone's lower
        // edge must not reach round to the bright top.
        constexpr int w = 160, h = kBeamRows + 4;
        QImage sprite(w, h, QImage::Format_ARGB32_Premultiplied);
        const QImage& grain = grainImage();
        for (int y = 0; y < h; ++y) {
            const double v = std::min(1.0, (y + 0.5) / kBeamRows);
            const double halfWidth = 0.035 + (0.19 - 0.035) * v;  // of the box's width
            const double fall = (0.35 + 0.65 * std::pow(1 - v, 1.5)) * (1 - gen::smoothstep(0.72, 1.0, v));
            auto* row = reinterpret_cast<QRgb*>(sprite.scanLine(y));
            for (int x = 0; x < w; ++x) {
                const double d = std::abs((x + 0.5) / w - 0.5) / halfWidth;
                const double dust = 0.92 + 0.16 * (qGray(grain.pixel(x % grain.width(), y % grain.height())) - 96) / 64.0;
                const double a = std::clamp(0.22 * fall * (1 - gen::smoothstep(0.25, 1.0, d)) * dust, 0.0, 1.0);
                row[x] = qPremultiply(qRgba(kLight.red(), kLight.green(), kLight.blue(), int(255 * a + 0.5)));
            }
        }
        return sprite;
    }();
    return image;
}

QColor withAlpha(QColor c, double a) {
    c.setAlphaF(float(std::clamp(a, 0.0, 1.0)));
    return c;
}

QRectF toQ(const Rect& r) { return {r.x, r.y, r.width, r.height}; }

// One piece of the moulding: the quadrilateral between the outer and inner edges, filled with
// wood whose grain runs along the piece, then lit from above.
void paintMouldingPiece(QPainter& p, const QPolygonF& piece, bool vertical, double scale, const QColor& shade) {
    QBrush wood(woodImage());
    QTransform t;
    if (vertical) t.rotate(90);
    t.scale(scale, scale);
    wood.setTransform(t);
    p.setPen(Qt::NoPen);
    p.setBrush(wood);
    p.drawPolygon(piece);
    p.setBrush(shade);
    p.drawPolygon(piece);
}

}  // namespace

QRectF frameRect(const QRectF& picture, double scale) {
    const double border = 36 * scale;  // mat and moulding
    return picture.adjusted(-border, -border, border, border);
}

void paintFrameShadow(QPainter& p, const QRectF& frame, double scale) {
    // A soft shadow cast downwards by the light above.
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int i = 8; i >= 1; --i) {
        const double spread = i * 2.2 * scale;
        p.setBrush(QColor(0, 0, 0, 16));
        p.drawRoundedRect(frame.adjusted(-spread * 0.6, -spread * 0.2 + 6 * scale, spread * 0.6, spread + 8 * scale),
                          spread, spread);
    }
    p.restore();
}

void paintFramedPicture(QPainter& p, const QRectF& picture, const QImage* image, double scale, bool loading, bool shadow) {
    const QRectF outer = frameRect(picture, scale);
    const double moulding = 15 * scale;
    const QRectF inner = outer.adjusted(moulding, moulding, -moulding, -moulding);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    if (shadow) paintFrameShadow(p, outer, scale);
    const bool empty = image == nullptr && !loading;
    // Inside: the mat (or, for an empty frame, the bare wall in shadow).
    if (empty) {
        QLinearGradient recess(inner.topLeft(), inner.bottomLeft());
        recess.setColorAt(0, palette::wallColor.darker(190));
        recess.setColorAt(0.25, palette::wallColor.darker(130));
        recess.setColorAt(1, palette::wallColor.darker(115));
        p.setBrush(recess);
    } else {
        QLinearGradient mat(inner.topLeft(), inner.bottomRight());
        mat.setColorAt(0, palette::rgb(0.95, 0.93, 0.885));
        mat.setColorAt(1, palette::rgb(0.90, 0.875, 0.825));
        p.setBrush(mat);
    }
    p.drawRect(inner);
    if (!empty) {
        // The mat's bevelled cut, then the picture (or its place while it loads).
        const double bevel = std::max(1.0, 2.0 * scale);
        p.setBrush(palette::rgb(0.99, 0.98, 0.95));
        p.drawRect(picture.adjusted(-bevel, -bevel, bevel, bevel));
        if (image) {
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(picture, *image);
        } else {
            p.setBrush(palette::rgb(0.84, 0.82, 0.77));
            p.drawRect(picture);
        }
        // Depth of the cut: a thin shadow along the top and left edges of the picture.
        QLinearGradient top(picture.topLeft(), picture.topLeft() + QPointF(0, 5 * scale));
        top.setColorAt(0, QColor(0, 0, 0, 60));
        top.setColorAt(1, QColor(0, 0, 0, 0));
        p.setBrush(top);
        p.drawRect(QRectF(picture.topLeft(), QSizeF(picture.width(), 5 * scale)));
        // Glass: the faintest sheen from the upper left.
        QLinearGradient glass(picture.topLeft(), picture.bottomRight());
        glass.setColorAt(0, QColor(255, 255, 255, 22));
        glass.setColorAt(0.45, QColor(255, 255, 255, 0));
        p.setBrush(glass);
        p.drawRect(picture);
    }
    // The moulding in four mitred pieces, lit from above.
    const QPolygonF topPiece({outer.topLeft(), outer.topRight(), inner.topRight(), inner.topLeft()});
    const QPolygonF bottomPiece({outer.bottomLeft(), outer.bottomRight(), inner.bottomRight(), inner.bottomLeft()});
    const QPolygonF leftPiece({outer.topLeft(), inner.topLeft(), inner.bottomLeft(), outer.bottomLeft()});
    const QPolygonF rightPiece({outer.topRight(), inner.topRight(), inner.bottomRight(), outer.bottomRight()});
    paintMouldingPiece(p, topPiece, false, scale, QColor(255, 240, 210, 40));
    paintMouldingPiece(p, leftPiece, true, scale, QColor(40, 25, 10, 40));
    paintMouldingPiece(p, rightPiece, true, scale, QColor(30, 18, 6, 110));
    paintMouldingPiece(p, bottomPiece, false, scale, QColor(25, 14, 4, 150));
    // A rounded profile: dark lines at the outer edge and the rebate, a gilt lip inside.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(20, 12, 6, 200), std::max(1.0, 1.4 * scale)));
    p.drawRect(outer);
    p.drawRect(inner);
    p.setPen(QPen(withAlpha(palette::accentGold, 0.85), std::max(0.8, 1.6 * scale)));
    const double lip = 2.4 * scale;
    p.drawRect(inner.adjusted(-lip, -lip, lip, lip));
    p.restore();
}

WallView::WallView(ImageCache& cache, QWidget* parent) : QWidget(parent), cache_(cache) {
    setObjectName("galleryWall");
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(480, 360);
    connect(&motion_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        position_ = v.toDouble();
        update();
    });
    // The wall comes up from half strength: its pictures are there from the first frame.
    appear_.setStartValue(0.5);
    appear_.setEndValue(1.0);
    appear_.setDuration(kAppearMs);
    appear_.setEasingCurve(QEasingCurve::OutCubic);
    connect(&appear_, &QVariantAnimation::valueChanged, this, [this] { update(); });
    connect(&appear_, &QVariantAnimation::finished, this, [this] { appeared_ = true; });
}

void WallView::setItems(std::vector<Item> items) {
    items_ = std::move(items);
    aspects_.assign(items_.size(), -1.0);
    const int clamped = wall::clampFocus(focus_, count());
    if (clamped != focus_ || motion_.state() != QAbstractAnimation::Running) {
        focus_ = clamped;
        motion_.stop();
        position_ = focus_;
    }
    hovered_.reset();
    update();
}

void WallView::focusOn(int index, bool clickSpring, bool animate) {
    focus_ = wall::clampFocus(index, count());
    motion_.stop();
    if (!animate || !isVisible()) {
        position_ = focus_;
        update();
        return;
    }
    const double damping = clickSpring ? kClickDamping : kDragDamping;
    QEasingCurve curve;
    curve.setCustomType(clickSpring ? &springEase<84> : &springEase<85>);
    motion_.setEasingCurve(curve);
    motion_.setDuration(int(1000 * wall::springSettleTime(kResponse, damping)));
    motion_.setStartValue(position_);
    motion_.setEndValue(double(focus_));
    motion_.start();
}

bool WallView::settled() const {
    return motion_.state() != QAbstractAnimation::Running && appear_.state() != QAbstractAnimation::Running;
}

double WallView::aspect(int index) {
    double& a = aspects_[size_t(index)];
    const Item& item = items_[size_t(index)];
    const auto status = cache_.status(item.id);
    if (a < 0 || status == ImageCache::Status::unavailable) {
        std::optional<double> measured;
        if (auto size = cache_.sourceSize(item.id, item.path)) measured = wall::aspectOf(size->width(), size->height());
        a = wall::clampedAspect(measured);
    }
    return a;
}

QRectF WallView::pictureRect(int index) const {
    const double a = aspects_.empty() || aspects_[size_t(index)] < 0 ? wall::kFallbackAspect : aspects_[size_t(index)];
    return toQ(wall::pictureRect({double(width()), double(height())}, position_, index, a));
}

std::optional<int> WallView::pictureAt(QPointF p) const {
    if (items_.empty()) return std::nullopt;
    // The focused picture is in front; then its neighbours outwards.
    const int centre = wall::clampFocus(int(std::lround(position_)), count());
    for (int k = 0; k < 6; ++k)
        for (int index : {centre - k, centre + k}) {
            if (index < 0 || index >= count()) continue;
            if (frameRect(pictureRect(index), pictureScale(index)).contains(p)) return index;
        }
    return std::nullopt;
}

QRectF WallView::arrowRect(Arrow a) const {
    const double r = 23, cy = wall::kCentreLine * height();
    const double cx = a == Arrow::left ? 46 : width() - 46;
    return {cx - r, cy - r, 2 * r, 2 * r};
}

std::optional<WallView::Arrow> WallView::arrowAt(QPointF p) const {
    if (focus_ > 0 && arrowRect(Arrow::left).contains(p)) return Arrow::left;
    if (focus_ < count() - 1 && arrowRect(Arrow::right).contains(p)) return Arrow::right;
    return std::nullopt;
}

void WallView::step(int delta) { focusOn(focus_ + delta); }

void WallView::resizeEvent(QResizeEvent*) { background_ = QImage(); }

void WallView::showEvent(QShowEvent*) {
    if (!appeared_ && appear_.state() != QAbstractAnimation::Running) appear_.start();
}

void WallView::paintBackground() {
    const qreal dpr = devicePixelRatioF();
    background_ = QImage(size() * dpr, QImage::Format_ARGB32_Premultiplied);
    background_.setDevicePixelRatio(dpr);
    const double w = width(), h = height(), floorY = kFloorLine * h;
    QPainter p(&background_);
    p.setRenderHint(QPainter::Antialiasing);
    // The wall: darker towards the ceiling and the floor, warmest where the pictures hang.
    QLinearGradient wallLight(0, 0, 0, floorY);
    wallLight.setColorAt(0, palette::rgb(0.075, 0.068, 0.062));
    wallLight.setColorAt(wall::kCentreLine, palette::rgb(0.150, 0.137, 0.122));
    wallLight.setColorAt(1, palette::rgb(0.105, 0.096, 0.086));
    p.fillRect(QRectF(0, 0, w, floorY), wallLight);
    // Plaster grain.
    p.setCompositionMode(QPainter::CompositionMode_Overlay);
    p.setOpacity(0.22);
    p.fillRect(QRectF(0, 0, w, floorY), QBrush(grainImage()));
    p.setOpacity(1);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    // The floor: dark oak boards, fading into shadow, under a skirting board.
    QBrush boards(woodImage());
    QTransform t;
    t.scale(2.2, 0.6);
    boards.setTransform(t);
    p.fillRect(QRectF(0, floorY, w, h - floorY), boards);
    QLinearGradient floorShade(0, floorY, 0, h);
    floorShade.setColorAt(0, QColor(14, 10, 7, 180));
    floorShade.setColorAt(1, QColor(6, 5, 4, 245));
    p.fillRect(QRectF(0, floorY, w, h - floorY), floorShade);
    p.fillRect(QRectF(0, floorY - 7, w, 7), palette::rgb(0.07, 0.064, 0.058));
    p.fillRect(QRectF(0, floorY - 7, w, 1), QColor(255, 240, 215, 26));
    // Vignette towards the corners.
    QRadialGradient vignette(QPointF(w / 2, wall::kCentreLine * h), std::hypot(w, h) * 0.62);
    vignette.setColorAt(0, QColor(0, 0, 0, 0));
    vignette.setColorAt(0.55, QColor(0, 0, 0, 30));
    vignette.setColorAt(1, QColor(0, 0, 0, 150));
    p.fillRect(rect(), vignette);
}

void WallView::paintBeam(QPainter& p, const QRectF& picture, double light) {
    // The cone reaches from above the wall to just below the plaque.
    const double bottom = picture.bottom() + 0.35 * picture.height() + 70;
    const double coneHeight = bottom / 0.66;
    const double coneWidth = 3.3 * picture.width();
    const Rect r{picture.center().x() - coneWidth / 2, 0, coneWidth, coneHeight};
    const auto c = wall::LightCone::path(r);
    // The cone filled with the beam's light, stretched from its top edge to its bottom edge.
    QBrush beam(beamImage());
    const double top = c[0].y, coneBottom = c[2].y;
    beam.setTransform(QTransform::fromTranslate(r.x, top).scale(r.width / beamImage().width(),
                                                                  (coneBottom - top) / kBeamRows));
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setPen(Qt::NoPen);
    p.setCompositionMode(QPainter::CompositionMode_Screen);
    p.setOpacity(p.opacity() * light);
    p.setBrush(beam);
    p.drawPolygon(QPolygonF({QPointF(c[0].x, c[0].y), QPointF(c[1].x, c[1].y), QPointF(c[2].x, c[2].y),
                             QPointF(c[3].x, c[3].y)}));
    p.restore();
    p.setPen(Qt::NoPen);
    p.setCompositionMode(QPainter::CompositionMode_Screen);
    // Where the beam meets the wall.
    QRadialGradient pool(picture.center() - QPointF(0, 0.12 * picture.height()), 1.25 * picture.width());
    pool.setColorAt(0, withAlpha(kLight, 0.22 * light));
    pool.setColorAt(0.5, withAlpha(kLight, 0.07 * light));
    pool.setColorAt(1, withAlpha(kLight, 0));
    p.setBrush(pool);
    p.drawEllipse(pool.center(), pool.radius(), pool.radius() * 0.95);
    // Its spill on the floor, seen at a glancing angle.
    const double floorY = kFloorLine * height();
    p.save();
    p.setClipRect(QRectF(0, floorY, width(), height() - floorY));
    p.translate(picture.center().x(), floorY + 6);
    p.scale(1, 0.2);
    QRadialGradient spill(QPointF(0, 0), 1.3 * picture.width());
    spill.setColorAt(0, withAlpha(kLight, 0.12 * light));
    spill.setColorAt(1, withAlpha(kLight, 0));
    p.setBrush(spill);
    p.drawEllipse(QPointF(0, 0), spill.radius(), spill.radius());
    p.restore();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void WallView::paintPicture(QPainter& p, int index, const QRectF& picture, double light) {
    const Item& item = items_[size_t(index)];
    const double scale = pictureScale(index);
    const QImage* image = cache_.image(item.id, item.path);
    const bool loading = cache_.status(item.id) == ImageCache::Status::loading;
    paintFramedPicture(p, picture, image, scale, loading, false);
    const QRectF frame = frameRect(picture, scale);
    // The plaque, drawn at its own size and scaled with the picture.
    p.save();
    p.translate(frame.center().x(), frame.bottom() + 18 * scale);
    p.scale(scale, scale);
    QFont nameFont("serif");
    nameFont.setPixelSize(14);
    nameFont.setWeight(QFont::DemiBold);
    QFont captionFont;
    captionFont.setPixelSize(10);
    captionFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    const QString name = QFontMetricsF(nameFont).elidedText(item.name, Qt::ElideRight, 250);
    const double textWidth =
        std::max(QFontMetricsF(nameFont).horizontalAdvance(name), QFontMetricsF(captionFont).horizontalAdvance(item.caption));
    const QRectF plaque(-std::clamp(textWidth / 2 + 18, 70.0, 145.0), 0, 2 * std::clamp(textWidth / 2 + 18, 70.0, 145.0), 46);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawRoundedRect(plaque.translated(0, 2.5), 2.5, 2.5);
    QLinearGradient brass(plaque.topLeft(), plaque.bottomLeft());
    brass.setColorAt(0, palette::rgb(0.93, 0.89, 0.79));
    brass.setColorAt(1, palette::rgb(0.83, 0.77, 0.64));
    p.setBrush(brass);
    p.setPen(QPen(palette::rgb(0.55, 0.47, 0.33), 1));
    p.drawRoundedRect(plaque, 2.5, 2.5);
    p.setPen(plaqueInk);
    p.setFont(nameFont);
    p.drawText(plaque.adjusted(10, 6, -10, -22), Qt::AlignCenter, name);
    p.setFont(captionFont);
    p.setPen(withAlpha(plaqueInk, 0.7));
    p.drawText(plaque.adjusted(10, 26, -10, -5), Qt::AlignCenter,
               QFontMetricsF(captionFont).elidedText(item.caption, Qt::ElideRight, 270));
    // Pictures out of focus sit further from the light.
    const QColor dim(8, 6, 4, int(150 * (1 - light)));
    p.setPen(Qt::NoPen);
    p.setBrush(dim);
    if (light < 1) p.drawRoundedRect(plaque.adjusted(-0.5, -0.5, 0.5, 0.5), 2.5, 2.5);
    p.restore();
    if (light < 1) p.fillRect(frame.adjusted(-0.5, -0.5, 0.5, 0.5), dim);
    if (hovered_ == index && index != focus_) {
        p.setPen(QPen(withAlpha(palette::accentGold, 0.6), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRect(frame.adjusted(-5, -5, 5, 5));
    }
    if (index == focus_ && focusRingVisible()) {
        p.setPen(QPen(palette::accentGold, 2, Qt::SolidLine));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(frame.adjusted(-9, -9, 9, 9), 4, 4);
    }
}

void WallView::paintArrow(QPainter& p, Arrow a) {
    const QRectF r = arrowRect(a);
    const bool hover = hoveredArrow_ == a;
    p.setPen(QPen(withAlpha(palette::accentGold, hover ? 0.95 : 0.45), 1.2));
    p.setBrush(QColor(12, 10, 8, hover ? 215 : 160));
    p.drawEllipse(r);
    const QPixmap chevron = glyph(a == Arrow::left ? Glyph::chevronLeft : Glyph::chevronRight, 22,
                                  withAlpha(palette::accentGold, hover ? 1.0 : 0.8));
    p.drawPixmap(QPointF(r.center().x() - 11 + (a == Arrow::left ? -1 : 1), r.center().y() - 11), chevron);
}

double WallView::pictureScale(int index) const {
    const double slot = std::clamp(0.4 * width(), 220.0, 440.0) / 360.0;
    return (1 - (1 - wall::kSideScale) * std::min(std::abs(index - position_), 1.0)) * slot;
}

void WallView::paintLighting(QPainter& p, const std::vector<int>& backToFront, double appear) {
    // Light and shadow are soft: drawn at a quarter of the resolution, smoothly enlarged, and
    // kept while the row stands still.
    const QSize layerSize = (QSizeF(size()) / 4).toSize().expandedTo(QSize(1, 1));
    const std::array<double, 4> key{position_, appear, double(width()), double(height())};
    if (lights_.size() != layerSize || key != lightingKey_ || lightingCount_ != count()) {
        lightingKey_ = key;
        lightingCount_ = count();
        lights_ = QImage(layerSize, QImage::Format_ARGB32_Premultiplied);
        shadows_ = QImage(layerSize, QImage::Format_ARGB32_Premultiplied);
        lights_.fill(Qt::transparent);
        shadows_.fill(Qt::transparent);
        QPainter lp(&lights_), sp(&shadows_);
        for (QPainter* layer : {&lp, &sp}) {
            layer->setRenderHint(QPainter::Antialiasing);
            layer->scale(double(layerSize.width()) / width(), double(layerSize.height()) / height());
            layer->setOpacity(appear);
            layer->translate(0, 14 * (1 - appear));
        }
        if (items_.empty())
            paintBeam(lp, toQ(wall::pictureRect({double(width()), double(height())}, 0, 0, wall::kFallbackAspect)), 0.8);
        for (int i : backToFront) {
            paintBeam(lp, pictureRect(i), 1 - 0.6 * std::min(std::abs(i - position_), 1.0));
            paintFrameShadow(sp, frameRect(pictureRect(i), pictureScale(i)), pictureScale(i));
        }
    }
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setCompositionMode(QPainter::CompositionMode_Screen);
    p.drawImage(QRectF(rect()), lights_);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.drawImage(QRectF(rect()), shadows_);
    // The lamps on their ceiling track.
    p.setPen(Qt::NoPen);
    p.setOpacity(appear);
    const auto lamp = [&](double x, double light) {
        p.setBrush(palette::rgb(0.05, 0.045, 0.04));
        p.drawRoundedRect(QRectF(x - 13, -6, 26, 16), 5, 5);
        p.setBrush(withAlpha(kLight, 0.55 * light));
        p.drawEllipse(QRectF(x - 6, 7, 12, 4));
    };
    if (items_.empty()) lamp(0.5 * width(), 0.8);
    for (int i : backToFront) lamp(pictureRect(i).center().x(), 1 - 0.6 * std::min(std::abs(i - position_), 1.0));
    p.restore();
}

void WallView::paintEvent(QPaintEvent*) {
    if (background_.size() != size() * devicePixelRatioF()) paintBackground();
    QPainter p(this);
    p.drawImage(0, 0, background_);
    p.setRenderHint(QPainter::Antialiasing);
    const double appear = appear_.state() == QAbstractAnimation::Running ? appear_.currentValue().toDouble() : 1.0;
    const double pitch = wall::pitch({double(width()), double(height())});
    const int reach = int(std::ceil(0.5 * width() / pitch)) + 1;
    const int first = std::max(0, int(std::floor(position_)) - reach);
    const int last = std::min(count() - 1, int(std::ceil(position_)) + reach);
    // Nearest first for the loads; farthest first for the painting, so the focus is on top.
    std::vector<int> order;
    for (int i = first; i <= last; ++i) order.push_back(i);
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return std::abs(a - position_) < std::abs(b - position_); });
    for (int i : order) aspect(i);
    for (int i = std::max(0, first - 2); i <= std::min(count() - 1, last + 2); ++i)
        cache_.image(items_[size_t(i)].id, items_[size_t(i)].path);  // the next ones, before they show
    std::reverse(order.begin(), order.end());
    paintLighting(p, order, items_.empty() ? 1.0 : appear);
    // Header.
    QFont title("serif");
    title.setPixelSize(22);
    p.setFont(title);
    p.setPen(palette::paperColor);
    p.drawText(QPointF(34, 46), "Gallery");
    QFont small;
    small.setPixelSize(11);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 1.6);
    small.setWeight(QFont::DemiBold);
    p.setFont(small);
    p.setPen(withAlpha(palette::accentGold, 0.85));
    const QString countText = items_.empty() ? QString("NO ARTWORKS YET")
                                             : QString("%1 ARTWORK%2").arg(count()).arg(count() == 1 ? "" : "S");
    p.drawText(QPointF(36, 66), countText);
    if (items_.empty()) return;
    p.save();
    p.setOpacity(appear);
    p.translate(0, 14 * (1 - appear));
    for (int i : order) paintPicture(p, i, pictureRect(i), 1 - 0.6 * std::min(std::abs(i - position_), 1.0));
    p.restore();
    if (focus_ > 0) paintArrow(p, Arrow::left);
    if (focus_ < count() - 1) paintArrow(p, Arrow::right);
    p.setFont(small);
    p.setPen(withAlpha(palette::paperColor, 0.45));
    p.drawText(QRectF(0, kFloorLine * height() - 34, width(), 20), Qt::AlignCenter,
               QString("%1 / %2").arg(focus_ + 1).arg(count()));
}

void WallView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    keyboardFocus_ = false;
    setFocus(Qt::MouseFocusReason);
    pressAt_ = e->position();
    dragging_ = false;
    if (motion_.state() == QAbstractAnimation::Running) {
        // Caught in motion: the row stays where it is and the drag starts from there.
        motion_.stop();
        focus_ = wall::clampFocus(int(std::lround(position_)), count());
    }
    pressPosition_ = position_;
}

void WallView::mouseMoveEvent(QMouseEvent* e) {
    if (pressAt_) {
        const double dx = e->position().x() - pressAt_->x();
        if (!dragging_ && std::abs(dx) > 5) dragging_ = true;
        if (dragging_) {
            position_ = wall::dragPosition(pressPosition_, dx, wall::pitch({double(width()), double(height())}), count());
            setCursor(Qt::ClosedHandCursor);
            update();
        }
        return;
    }
    const auto arrow = arrowAt(e->position());
    const auto picture = arrow ? std::nullopt : pictureAt(e->position());
    if (arrow != hoveredArrow_ || picture != hovered_) {
        hoveredArrow_ = arrow;
        hovered_ = picture;
        setCursor(arrow || picture ? Qt::PointingHandCursor : Qt::ArrowCursor);
        update();
    }
}

void WallView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !pressAt_) return;
    const double dx = e->position().x() - pressAt_->x();
    pressAt_.reset();
    setCursor(Qt::ArrowCursor);
    if (dragging_) {
        dragging_ = false;
        focusOn(wall::focusAfterDrag(focus_, dx, wall::pitch({double(width()), double(height())}), count()));
        return;
    }
    if (auto arrow = arrowAt(e->position())) {
        step(*arrow == Arrow::left ? -1 : 1);
    } else if (auto index = pictureAt(e->position())) {
        if (*index == focus_) {
            position_ = focus_;
            if (onOpen) onOpen(*index);
        } else {
            focusOn(*index, true);
        }
    } else if (std::abs(position_ - focus_) > 1e-9) {
        focusOn(focus_);  // caught in motion and let go: finish the move
    }
}

void WallView::leaveEvent(QEvent*) {
    hovered_.reset();
    hoveredArrow_.reset();
    update();
}

void WallView::wheelEvent(QWheelEvent* e) {
    const QPoint d = e->angleDelta();
    wheelRemainder_ += std::abs(d.x()) > std::abs(d.y()) ? -d.x() : -d.y();
    const int steps = wheelRemainder_ / 120;
    if (steps != 0) {
        wheelRemainder_ -= steps * 120;
        step(steps);
    }
    e->accept();
}

void WallView::keyPressEvent(QKeyEvent* e) {
    keyboardFocus_ = true;
    switch (e->key()) {
    case Qt::Key_Left: step(-1); break;
    case Qt::Key_Right: step(1); break;
    case Qt::Key_Home: focusOn(0); break;
    case Qt::Key_End: focusOn(count() - 1); break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!items_.empty() && onOpen) onOpen(focus_);
        break;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        if (!items_.empty() && onDelete) onDelete(focus_);
        break;
    default: QWidget::keyPressEvent(e); return;
    }
    update();
}

}  // namespace murmura::ui
