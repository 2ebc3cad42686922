#pragma once
// The desktop app's parts over fakes: a scripted window list and event tap, in-memory
// preferences, a scratch gallery, the real default styles and the Qt event loop.
#include <QApplication>
#include <QDir>
#include <QTest>

#include "app/ui/content_view.h"
#include "app/ui/qt_scheduler.h"
#include "capture/fake_event_tap.h"
#include "support/clock.h"
#include "../test_files.h"
#include "../window_scope/fake_window_provider.h"

namespace murmura::test {

struct UiRig {
    // A small window keeps the real renders quick.
    static inline const WindowCandidate kEditor{7, "notes.txt", "Editor", {100, 80, 320, 200}, 0, true};

    ui::QtScheduler scheduler;
    ThreadRenderExecutor executor;
    MemoryPreferences preferences;
    bool trusted = true;
    bool failListing = false;
    std::shared_ptr<FakeEventTap> tap = std::make_shared<FakeEventTap>();
    ScratchDirectory dir{"murmura-ui"};
    ui::ContentView window;
    std::unique_ptr<AppState> state;
    std::unique_ptr<ui::UiServices> services;
    QString exportPath;  // what the save dialog "answers"

    CaptureBackend backend() {
        return {[this](Scheduler& s) {
                    auto provider = std::make_shared<FakeWindowProvider>(s);
                    provider->frames[kEditor.id] = kEditor.frame;
                    provider->candidates = {kEditor};
                    provider->failListing = failListing;
                    return provider;
                },
                [this](Scheduler&) { return tap; }};
    }

    explicit UiRig(bool onboarded = true) {
        preferences.setBoolValue(Preferences::hasCompletedOnboarding, onboarded);
        state = std::make_unique<AppState>(AppEnvironment{scheduler, SystemClock::shared(), preferences, window, executor,
                                                          [this] { return trusted; }, backend(), dir.path()});
        services = std::make_unique<ui::UiServices>(
            ui::UiServices{*state, scheduler, backend(), [this](QWidget*, const QString&) { return exportPath; }, false});
        window.attach(*services);
        window.resize(900, 700);
        window.show();
    }

    template <class W = QWidget>
    W* find(const char* name) {
        return window.currentScreen() ? window.currentScreen()->findChild<W*>(name) : nullptr;
    }
    void click(const char* name) {
        auto* w = find<QWidget>(name);
        ASSERT_NE(w, nullptr) << name;
        QTest::mouseClick(w, Qt::LeftButton);
    }
    bool waitForPhase(AppState::Phase p, int ms = 60000) {
        return QTest::qWaitFor([&] { return state->phase.value() == p; }, ms);
    }
    // Saves the window as it looks now under the build tree's screenshot folder.
    void screenshot(const QString& name) {
        QApplication::processEvents();
        QDir().mkpath(MURMURA_SCREENSHOT_DIR);
        window.grab().save(QString(MURMURA_SCREENSHOT_DIR) + "/" + name + ".png");
    }
};

}  // namespace murmura::test
