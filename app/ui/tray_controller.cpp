#include "app/ui/tray_controller.h"

#include <QApplication>

#include "app/ui/icons.h"

namespace murmura::ui {

TrayController::TrayController(AppState& state, ContentView& window, bool useTray)
    : state_(state), window_(window) {
    const bool tray = useTray && QSystemTrayIcon::isSystemTrayAvailable();
    menu_ = std::make_unique<QMenu>();
    connect(menu_->addAction("Show"), &QAction::triggered, this, [this] { window_.showApplication(); });
    stop_ = menu_->addAction("Stop Session");
    connect(stop_, &QAction::triggered, this, [this] { state_.stopSession(); });
    menu_->addSeparator();
    connect(menu_->addAction("Quit"), &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    if (tray) {
        idleIcon_ = QIcon(appIcon(64));
        recordingIcon_ = QIcon(recordingIcon(64, 1.0));
        recordingDimIcon_ = QIcon(recordingIcon(64, 0.4));
        tray_ = std::make_unique<QSystemTrayIcon>();
        tray_->setContextMenu(menu_.get());
        connect(tray_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
            if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick) window_.showApplication();
        });
    }
    window_.setTrayAvailable(tray);
    // Without a tray the window is the only way back to the app, so closing it ends the app.
    QApplication::setQuitOnLastWindowClosed(!tray);
    recording_ = state_.isRecording.subscribe([this](bool r) { updateRecording(r); });
    if (tray_) tray_->show();
}

TrayController::~TrayController() { recording_.cancel(); }

void TrayController::updateRecording(bool recording) {
    delete blink_;  // at most one blink timer, however often recording starts
    blink_ = nullptr;
    stop_->setVisible(recording);
    toolTip_ = recording ? "Murmura - Recording" : "Murmura";
    setIcon(recording, 1.0);
    if (!recording) return;
    dimNext_ = true;
    blink_ = new QTimer(this);
    blink_->setInterval(blinkIntervalMs);
    connect(blink_, &QTimer::timeout, this, [this] { blinkTick(); });
    blink_->start();
}

void TrayController::blinkTick() {
    setIcon(true, dimNext_ ? 0.4 : 1.0);
    dimNext_ = !dimNext_;
}

void TrayController::setIcon(bool recording, qreal alpha) {
    alpha_ = alpha;
    if (!tray_) return;
    tray_->setIcon(!recording ? idleIcon_ : alpha < 1.0 ? recordingDimIcon_ : recordingIcon_);
    tray_->setToolTip(toolTip_);
}

}  // namespace murmura::ui
