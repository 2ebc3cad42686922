#pragma once
// What every screen shares: the services it works with, and a base widget whose subscriptions,
// timers and tasks stop the moment its phase is left (the widget itself is deleted later, since
// the phase often changes inside one of its own button handlers).
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/app_state.h"

namespace murmura::ui {

struct UiServices {
    AppState& state;
    Scheduler& scheduler;
    // Where the setup screen lists windows from (each listing gets a fresh provider).
    CaptureBackend captureBackend;
    // Asks the user where to export; an empty string when cancelled.
    std::function<QString(QWidget* parent, const QString& suggestedName)> chooseExportPath;
    // Whether the onboarding ink runs (off where no frames are wanted, e.g. screenshots of a
    // still page).
    bool animateOnboarding = true;
};

class Screen : public QWidget {
public:
    explicit Screen(UiServices& services, bool setupColours = false);
    ~Screen() override;
    // Stops everything this screen started; idempotent.
    virtual void retire();

protected:
    void keep(Subscription s) { subscriptions_.push_back(std::move(s)); }
    UiServices& ui_;
    AppState& state_;

private:
    std::vector<Subscription> subscriptions_;
};

// Widgets with the roles the style sheets know.
QLabel* label(const QString& text, const char* role = nullptr, QWidget* parent = nullptr);
QPushButton* button(const QString& text, const char* objectName, const char* role = nullptr);
QString qs(std::string_view text);
// A deep copy of the image (premultiplied RGBA).
QImage toQImage(const RgbaImage& image);

// The screen shown for each phase; the gallery phase shows the wall of stored artworks.
Screen* makeOnboardingView(UiServices& ui);
Screen* makePermissionView(UiServices& ui);
Screen* makeSetupView(UiServices& ui);
Screen* makeCapturingView(UiServices& ui);
Screen* makeRenderingView(UiServices& ui);
Screen* makeCompleteView(UiServices& ui);
Screen* makeGalleryView(UiServices& ui);

// "m:ss" of the whole seconds left, never negative.
QString remainingText(double durationSeconds, double elapsedSeconds);

}  // namespace murmura::ui
