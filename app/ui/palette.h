#pragma once
// The application's colours and the style sheet built from them.
#include <QColor>
#include <QString>

namespace murmura::ui::palette {

inline QColor rgb(double r, double g, double b) { return QColor::fromRgbF(float(r), float(g), float(b)); }
inline const QColor wallColor = rgb(0.12, 0.11, 0.10);
inline const QColor accentGold = rgb(0.76, 0.68, 0.50);
inline const QColor paperColor = rgb(0.937, 0.917, 0.878);
inline const QColor gold = rgb(0.80, 0.69, 0.46);
inline const QColor cream = rgb(0.90, 0.87, 0.80);
inline const QColor ink = rgb(0.16, 0.13, 0.09);
inline const QColor recordRed = rgb(0.84, 0.26, 0.22);

// Dark screens (wall background, gold accents) and the light setup screen (paper background,
// ink text, gold accents).
QString darkStyleSheet();
QString setupStyleSheet();

}  // namespace murmura::ui::palette
