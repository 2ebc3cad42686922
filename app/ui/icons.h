#pragma once
// The application's own icons, drawn as vector paths (no theme or system symbols).
#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace murmura::ui {

enum class Glyph {
    window, eyeSlash, brush, hand, grid, refresh, chevronDown, chevronLeft, chevronRight, share, record, plus, trash
};

// The glyph in the colour, size x size device-independent pixels, crisp on high-density screens.
QPixmap glyph(Glyph g, int size, const QColor& color, qreal devicePixelRatio = 2.0);
// The application icon (ink drop and brush stroke on paper), opaque colours at the given alpha.
QPixmap appIcon(int size, qreal alpha = 1.0);
// The tray's recording mark: the application icon with a red recording dot.
QPixmap recordingIcon(int size, qreal alpha = 1.0);

}  // namespace murmura::ui
