#include "app/ui/icons.h"

#include <QPainter>
#include <QPainterPath>

#include "app/ui/palette.h"

namespace murmura::ui {
namespace {

// Glyphs are designed on a 24 x 24 grid with 1.7-unit round strokes.
void drawGlyph(QPainter& p, Glyph g, const QColor& color) {
    QPen pen(color, 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (g) {
    case Glyph::window:
        p.drawRoundedRect(QRectF(3, 5, 18, 14), 2.2, 2.2);
        p.drawLine(QPointF(3, 9), QPointF(21, 9));
        break;
    case Glyph::eyeSlash: {
        QPainterPath eye;
        eye.moveTo(2.5, 12);
        eye.quadTo(12, 2.5, 21.5, 12);
        eye.quadTo(12, 21.5, 2.5, 12);
        p.drawPath(eye);
        p.drawEllipse(QPointF(12, 12), 3.2, 3.2);
        p.drawLine(QPointF(4, 20), QPointF(20, 4));
        break;
    }
    case Glyph::brush: {
        QPainterPath handle;
        handle.moveTo(20.5, 3.5);
        handle.lineTo(11, 13);
        p.drawPath(handle);
        QPainterPath tip;
        tip.moveTo(11.8, 12.2);
        tip.cubicTo(9, 10.5, 6, 12, 6.2, 15.2);
        tip.cubicTo(6.3, 17.5, 5, 19, 3.5, 20.2);
        tip.cubicTo(8, 21, 12.5, 18.5, 12, 14.5);
        tip.closeSubpath();
        p.setBrush(color);
        p.drawPath(tip);
        break;
    }
    case Glyph::hand: {
        p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
        QPainterPath h;
        h.moveTo(9, 16.5);
        h.lineTo(8, 9);
        h.moveTo(10.7, 15.5);
        h.lineTo(10.7, 7.2);
        h.moveTo(13.2, 15.5);
        h.lineTo(13.2, 7.6);
        h.moveTo(15.5, 16);
        h.lineTo(15.8, 10.3);
        h.moveTo(8.6, 16.8);
        h.quadTo(12, 19.5, 15.4, 16.4);
        p.drawPath(h);
        break;
    }
    case Glyph::grid:
        for (int i = 0; i < 4; ++i) p.drawRoundedRect(QRectF(4 + (i % 2) * 9, 4 + (i / 2) * 9, 7, 7), 1.4, 1.4);
        break;
    case Glyph::refresh: {
        p.drawArc(QRectF(4.5, 4.5, 15, 15), 60 * 16, 290 * 16);
        QPainterPath head;
        head.moveTo(15.2, 2.8);
        head.lineTo(16.6, 6.2);
        head.lineTo(13.1, 7.4);
        p.drawPath(head);
        break;
    }
    case Glyph::chevronDown: p.drawPolyline(QPolygonF({{6, 9}, {12, 15}, {18, 9}})); break;
    case Glyph::chevronLeft: p.drawPolyline(QPolygonF({{15, 5}, {8, 12}, {15, 19}})); break;
    case Glyph::chevronRight: p.drawPolyline(QPolygonF({{9, 5}, {16, 12}, {9, 19}})); break;
    case Glyph::share:
        p.drawPolyline(QPolygonF({{8, 10}, {5, 10}, {5, 21}, {19, 21}, {19, 10}, {16, 10}}));
        p.drawLine(QPointF(12, 3), QPointF(12, 15));
        p.drawPolyline(QPolygonF({{8.5, 6.5}, {12, 3}, {15.5, 6.5}}));
        break;
    case Glyph::plus:
        p.drawLine(QPointF(12, 5), QPointF(12, 19));
        p.drawLine(QPointF(5, 12), QPointF(19, 12));
        break;
    case Glyph::trash:
        p.drawLine(QPointF(4, 6.5), QPointF(20, 6.5));
        p.drawPolyline(QPolygonF({{9, 6.5}, {9.5, 3.5}, {14.5, 3.5}, {15, 6.5}}));
        p.drawPolyline(QPolygonF({{6, 6.5}, {7, 20.5}, {17, 20.5}, {18, 6.5}}));
        p.drawLine(QPointF(10, 10), QPointF(10, 17));
        p.drawLine(QPointF(14, 10), QPointF(14, 17));
        break;
    case Glyph::record:
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.setBrush(color);
        p.drawEllipse(QPointF(12, 12), 5, 5);
        break;
    }
}

QPixmap canvas(int size, qreal dpr) {
    QPixmap pm(int(size * dpr), int(size * dpr));
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    return pm;
}

void drawApp(QPainter& p, int size, bool recording) {
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    // Paper disc with a gold rim, a sumi ink stroke across it.
    p.setPen(QPen(palette::accentGold, 1.4));
    p.setBrush(palette::paperColor);
    p.drawEllipse(QPointF(12, 12), 10.8, 10.8);
    QPainterPath stroke;
    stroke.moveTo(6.0, 15.5);
    stroke.cubicTo(8.5, 8.0, 12.5, 17.5, 17.8, 8.2);
    stroke.cubicTo(13.5, 19.5, 9.0, 11.5, 6.0, 15.5);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::rgb(0.10, 0.10, 0.12));
    p.drawPath(stroke);
    p.drawEllipse(QPointF(15.9, 15.6), 1.5, 1.5);
    if (recording) {
        p.setPen(QPen(palette::paperColor, 1.2));
        p.setBrush(palette::recordRed);
        p.drawEllipse(QPointF(18.6, 5.4), 4.4, 4.4);
    }
}

QPixmap appPixmap(int size, qreal alpha, bool recording) {
    QPixmap pm = canvas(size, 1.0);
    QPainter p(&pm);
    p.setOpacity(alpha);
    drawApp(p, size, recording);
    return pm;
}

}  // namespace

QPixmap glyph(Glyph g, int size, const QColor& color, qreal dpr) {
    QPixmap pm = canvas(size, dpr);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    drawGlyph(p, g, color);
    return pm;
}

QPixmap appIcon(int size, qreal alpha) { return appPixmap(size, alpha, false); }

QPixmap recordingIcon(int size, qreal alpha) { return appPixmap(size, alpha, true); }

}  // namespace murmura::ui
