// murmura: the desktop app. One instance per user; the window shows the session flow and the
// tray icon shows when a session records.
#include <QApplication>
#include <QFileDialog>
#include <QStandardPaths>
#include <cstdio>

#include "app/app_state.h"
#include "app/ui/content_view.h"
#include "app/ui/icons.h"
#include "app/ui/qt_preferences.h"
#include "app/ui/qt_scheduler.h"
#include "app/ui/single_instance.h"
#include "app/ui/tray_controller.h"
#include "app/x11/x11_capture_backend.h"
#include "support/clock.h"

int main(int argc, char** argv) {
    using namespace murmura;
    using namespace murmura::ui;
    // The name also makes the window list leave Murmura's own window out.
    QApplication::setApplicationName("Murmura");
    QApplication::setOrganizationName("Murmura");
    QApplication::setApplicationVersion(MURMURA_VERSION);
    QApplication::setDesktopFileName("io.github.murmura.Murmura");
    QApplication app(argc, argv);
    app.setWindowIcon(QIcon(appIcon(256)));
    // Each of our lines is whole when it appears, even when standard output is a pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    ContentView window;
    SingleInstance instance(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation),
                            [&window] { window.showApplication(); });
    if (instance.outcome() == SingleInstance::Outcome::raisedOther) return 0;

    QtScheduler scheduler;
    ThreadRenderExecutor renderExecutor;  // after the scheduler: destroyed before it
    QtPreferences preferences;
    AppState state(AppEnvironment{scheduler, SystemClock::shared(), preferences, window, renderExecutor,
                                  x11TrustProbe(), x11CaptureBackend(), std::nullopt},
                   makeDefaultRegistry());
    UiServices services{state, scheduler, x11CaptureBackend(),
                        [](QWidget* parent, const QString& suggested) {
                            const QString dir = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
                            return QFileDialog::getSaveFileName(parent, "Export Artwork", dir + "/" + suggested,
                                                                "PNG image (*.png);;PDF document (*.pdf)");
                        }};
    window.attach(services);
    TrayController tray(state, window, true);
    window.resize(900, 700);
    window.show();
    return app.exec();
}
