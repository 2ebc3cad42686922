#pragma once
// The tray indicator: idle and recording icons, a 1 s blink while recording, a click that
// brings the window forward and a menu with Show, Stop Session and Quit. Where the desktop has
// no tray, the window carries the recording state instead and closing it quits.
#include <QAction>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>

#include "app/ui/content_view.h"

namespace murmura::ui {

class TrayController final : public QObject {
public:
    static constexpr int blinkIntervalMs = 1000;

    // useTray false (or no tray on this desktop): the no-tray fallback.
    TrayController(AppState& state, ContentView& window, bool useTray);
    ~TrayController() override;

    bool hasTray() const { return tray_ != nullptr; }
    QSystemTrayIcon* trayIcon() const { return tray_.get(); }
    QMenu* menu() const { return menu_.get(); }
    QAction* stopAction() const { return stop_; }
    // The running blink timer, or null when not recording.
    QTimer* blinkTimer() const { return blink_; }
    qreal iconAlpha() const { return alpha_; }
    QString toolTip() const { return toolTip_; }

private:
    void updateRecording(bool recording);
    void blinkTick();
    void setIcon(bool recording, qreal alpha);

    AppState& state_;
    ContentView& window_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    QAction* stop_ = nullptr;
    QTimer* blink_ = nullptr;
    bool dimNext_ = true;
    qreal alpha_ = 1.0;
    QString toolTip_ = "Murmura";
    QIcon idleIcon_, recordingIcon_, recordingDimIcon_;  // the blink's two frames: alpha 1.0 and 0.4
    Subscription recording_;
};

}  // namespace murmura::ui
