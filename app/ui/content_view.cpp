#include "app/ui/content_view.h"

#include <QVBoxLayout>

#include "app/ui/icons.h"
#include "app/ui/palette.h"

namespace murmura::ui {

ContentView::ContentView() {
    setObjectName("mainWindow");
    setWindowTitle("Murmura");
    setWindowIcon(QIcon(appIcon(256)));
    setMinimumSize(820, 640);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, palette::wallColor);
    setPalette(pal);
    setAutoFillBackground(true);
}

ContentView::~ContentView() {
    phaseSubscription_.cancel();
    recordingSubscription_.cancel();
    if (screen_) screen_->retire();
}

void ContentView::attach(UiServices& services) {
    ui_ = &services;
    phaseSubscription_ = services.state.phase.subscribe([this](AppState::Phase p) { showPhase(p); });
    recordingSubscription_ = services.state.isRecording.subscribe([this](bool) { updateTitle(); });
}

void ContentView::showPhase(AppState::Phase phase) {
    if (screen_) {
        // Often called from inside one of the old screen's handlers: stop it now, delete it later.
        screen_->retire();
        screen_->hide();
        screen_->deleteLater();
        screen_ = nullptr;
    }
    using P = AppState::Phase;
    switch (phase) {
    case P::onboarding: screen_ = makeOnboardingView(*ui_); break;
    case P::gallery: screen_ = makeGalleryView(*ui_); break;
    case P::setup: screen_ = makeSetupView(*ui_); break;
    case P::permissionRequired: screen_ = makePermissionView(*ui_); break;
    case P::capturing: screen_ = makeCapturingView(*ui_); break;
    case P::rendering: screen_ = makeRenderingView(*ui_); break;
    case P::complete: screen_ = makeCompleteView(*ui_); break;
    }
    layout()->addWidget(screen_);
    screen_->show();
}

void ContentView::setTrayAvailable(bool available) {
    trayAvailable_ = available;
    updateTitle();
}

void ContentView::updateTitle() {
    const bool recording = ui_ && ui_->state.isRecording.value();
    setWindowTitle(recording && !trayAvailable_ ? "Murmura - Recording" : "Murmura");
}

void ContentView::hideApplication() {
    if (trayAvailable_) hide();
    else showMinimized();
}

void ContentView::showApplication() {
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

}  // namespace murmura::ui
