#pragma once
// The museum wall: the stored artworks framed in one row under their light beams, the one in
// focus centred. Drawn entirely here (wall, beams, frames, plaques, chevrons); the row moves
// with the pointer, the arrow keys, the wheel and the chevrons, on springs.
#include <QImage>
#include <QRectF>
#include <QString>
#include <QVariantAnimation>
#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "app/ui/image_cache.h"

class QPainter;

namespace murmura::ui {

class WallView final : public QWidget {
public:
    struct Item {
        QString id;
        QString name;     // on the plaque
        QString caption;  // the plaque's second line
        std::optional<std::filesystem::path> path;
    };
    enum class Arrow { left, right };

    explicit WallView(ImageCache& cache, QWidget* parent = nullptr);

    // Replaces the row; the focus stays where it was, clamped to the new row.
    void setItems(std::vector<Item> items);
    const std::vector<Item>& items() const { return items_; }
    int count() const { return int(items_.size()); }
    int focus() const { return focus_; }
    // The row's shown position (fractional while it moves).
    double position() const { return position_; }
    // Moves the focus (clamped) with the spring of a click (response 0.5, damping 0.84) or of
    // arrows, keys and drags (damping 0.85); without animation when `animate` is false.
    void focusOn(int index, bool clickSpring = false, bool animate = true);
    // Where picture `index` hangs now (the image area, inside mat and frame).
    QRectF pictureRect(int index) const;
    std::optional<Arrow> arrowAt(QPointF p) const;
    // Whether the focused picture shows its keyboard focus ring (after keys, until the pointer).
    bool focusRingVisible() const { return hasFocus() && keyboardFocus_ && !items_.empty(); }
    // The first-appearance and motion animations have finished.
    bool settled() const;
    // Images asked for are still being decoded.
    bool loadingImages() const { return cache_.loadsInFlight() > 0; }

    std::function<void(int index)> onOpen;    // the focused picture was clicked, or Return
    std::function<void(int index)> onDelete;  // Delete on the focused picture

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    double aspect(int index);
    std::optional<int> pictureAt(QPointF p) const;
    QRectF arrowRect(Arrow a) const;
    void step(int delta);
    void paintBackground();
    double pictureScale(int index) const;
    void paintLighting(QPainter& p, const std::vector<int>& backToFront, double appear);
    void paintBeam(QPainter& p, const QRectF& picture, double light);
    void paintPicture(QPainter& p, int index, const QRectF& picture, double light);
    void paintArrow(QPainter& p, Arrow a);

    ImageCache& cache_;
    std::vector<Item> items_;
    std::vector<double> aspects_;  // per item; < 0 until known
    int focus_ = 0;
    double position_ = 0;
    QVariantAnimation motion_, appear_;
    bool appeared_ = false;
    // Pointer state.
    std::optional<QPointF> pressAt_;
    double pressPosition_ = 0;
    bool dragging_ = false;
    std::optional<int> hovered_;
    std::optional<Arrow> hoveredArrow_;
    bool keyboardFocus_ = false;
    int wheelRemainder_ = 0;
    QImage background_;  // wall, grain and floor at the current size
    QImage lights_, shadows_;  // beams and frame shadows at a quarter of the size
    std::array<double, 4> lightingKey_{};
    int lightingCount_ = -1;
};

// A framed picture as the wall and the detail screen draw it: shadow, wood moulding, mat and
// the image (or, without one, the empty recess of an unavailable picture). `scale` shrinks
// moulding and mat with the picture.
void paintFramedPicture(QPainter& p, const QRectF& picture, const QImage* image, double scale, bool loading,
                        bool shadow = true);
// The soft shadow a frame casts on the wall below the lamp.
void paintFrameShadow(QPainter& p, const QRectF& frame, double scale);
// The frame's outer rectangle around a picture rectangle.
QRectF frameRect(const QRectF& picture, double scale);

}  // namespace murmura::ui
