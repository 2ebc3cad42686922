#include "app/ui/palette.h"

namespace murmura::ui::palette {
namespace {

QString css(const QColor& c) { return c.name(QColor::HexRgb); }

// Shared rules; `text` and `accent` differ between the dark screens and the setup screen.
QString sheet(const QColor& background, const QColor& text, const QColor& accent) {
    const QColor muted = QColor::fromRgbF(text.redF(), text.greenF(), text.blueF(), 0.62f);
    const QColor line = QColor::fromRgbF(accent.redF(), accent.greenF(), accent.blueF(), 0.35f);
    return QString(R"(
QWidget#screen { background: %1; }
QLabel { color: %2; background: transparent; }
QLabel[role="title"] { font-family: serif; font-size: 26px; color: %2; }
QLabel[role="heading"] { font-size: 11px; letter-spacing: 2px; color: %3; font-weight: 600; }
QLabel[role="muted"] { color: %4; font-size: 13px; }
QLabel[role="notice"] { color: #e8a090; font-size: 13px; }
QLabel[role="big"] { font-family: monospace; font-size: 56px; color: %2; }
QPushButton { color: %2; background: transparent; border: 1px solid %5; border-radius: 6px;
              padding: 7px 16px; font-size: 13px; }
QPushButton:hover { border-color: %3; }
QPushButton:checked { background: %3; color: %6; border-color: %3; }
QPushButton[role="primary"] { background: %3; color: %6; border: none; font-weight: 600; padding: 9px 22px; }
QPushButton[role="primary"]:hover { background: %7; }
QPushButton[role="danger"] { color: #e8a090; border-color: rgba(232,160,144,0.45); }
QPushButton[role="danger"]:hover { border-color: #e8a090; }
QPushButton[role="dangerPrimary"] { background: #b8503f; color: %2; border: none; font-weight: 600; padding: 8px 20px; }
QWidget#alertCard { background: %1; border: 1px solid %5; border-radius: 12px; }
QLabel#alertTitle { font-size: 20px; }
QPushButton[role="link"] { border: none; color: %4; }
QPushButton[role="link"]:hover { color: %2; }
QLineEdit { color: %2; background: rgba(255,255,255,0.05); border: 1px solid %5; border-radius: 6px;
            padding: 7px 10px; font-size: 15px; selection-background-color: %3; }
QLineEdit:focus { border-color: %3; }
QListWidget { color: %2; background: rgba(255,255,255,0.04); border: 1px solid %5; border-radius: 6px;
              font-size: 13px; outline: none; }
QListWidget::item { padding: 6px 4px; }
QListWidget::item:selected, QListWidget::item:hover { background: %5; color: %2; }
QScrollArea { background: transparent; border: none; }
QScrollBar:vertical { background: transparent; width: 8px; }
QScrollBar::handle:vertical { background: %5; border-radius: 4px; }
)")
        .arg(css(background), css(text), css(accent), muted.name(QColor::HexArgb), line.name(QColor::HexArgb),
             css(ink), css(accent.lighter(112)));
}

}  // namespace

QString darkStyleSheet() { return sheet(wallColor, paperColor, accentGold); }
QString setupStyleSheet() { return sheet(wallColor.darker(112), cream, gold); }

}  // namespace murmura::ui::palette
