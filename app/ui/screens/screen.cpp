#include "app/ui/screens/screen.h"

#include <QTimer>
#include <algorithm>
#include <cmath>

#include "app/ui/palette.h"

namespace murmura::ui {

Screen::Screen(UiServices& services, bool setupColours) : ui_(services), state_(services.state) {
    setObjectName("screen");
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(setupColours ? palette::setupStyleSheet() : palette::darkStyleSheet());
}

Screen::~Screen() { Screen::retire(); }

void Screen::retire() {
    subscriptions_.clear();
    for (auto* timer : findChildren<QTimer*>()) timer->stop();
}

QLabel* label(const QString& text, const char* role, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    if (role) l->setProperty("role", role);
    return l;
}

QPushButton* button(const QString& text, const char* objectName, const char* role) {
    auto* b = new QPushButton(text);
    b->setObjectName(objectName);
    if (role) b->setProperty("role", role);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

QImage toQImage(const RgbaImage& image) {
    QImage view(image.data(), int(image.width()), int(image.height()), qsizetype(image.stride()),
                QImage::Format_RGBA8888_Premultiplied);
    return view.copy();
}

QString remainingText(double durationSeconds, double elapsedSeconds) {
    double r = durationSeconds - elapsedSeconds;
    if (!(r > 0)) r = 0;  // NaN too
    const auto whole = static_cast<long long>(std::floor(r));
    return QString::asprintf("%lld:%02lld", whole / 60, whole % 60);
}

}  // namespace murmura::ui
