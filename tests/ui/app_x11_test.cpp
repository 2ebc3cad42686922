// The screens over the real X11 window list and RECORD tap on a private Xvfb + openbox: the app
// lists an xterm, records what is typed and clicked into it, is stopped early from its window
// and stores the artwork.
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "app/ui/content_view.h"
#include "app/ui/qt_scheduler.h"
#include "app/x11/x11_capture_backend.h"
#include "support/clock.h"
#include "../test_files.h"
#include "../x11/x_session.h"

using namespace murmura;
using namespace murmura::test;
using Phase = AppState::Phase;

namespace {

using AppX11 = XTest;

TEST_F(AppX11, ScreensRecordAnXtermStopEarlyAndStoreTheArtwork) {
    if (runCommand({"sh", "-c", "command -v xterm"}).status != 0) GTEST_SKIP() << "xterm not installed";
    ChildProcess xterm = spawnProcess({"xterm", "-geometry", "80x24+60+40", "-title", "murmura-xterm"});
    ScratchDirectory gallery("murmura-x11-ui");
    MemoryPreferences preferences;
    preferences.setBoolValue(Preferences::hasCompletedOnboarding, true);
    ui::QtScheduler scheduler;
    ThreadRenderExecutor executor;
    ui::ContentView window;
    AppState state({scheduler, SystemClock::shared(), preferences, window, executor, x11TrustProbe(session_->display()),
                    x11CaptureBackend(session_->display()), gallery.path()});
    ui::UiServices services{state, scheduler, x11CaptureBackend(session_->display()), {}, false};
    window.attach(services);
    window.show();
    ASSERT_EQ(state.phase.value(), Phase::gallery);  // trusted: the server has RECORD
    const auto click = [&](const char* name) {
        auto* w = window.currentScreen()->findChild<QWidget*>(name);
        ASSERT_NE(w, nullptr) << name;
        QTest::mouseClick(w, Qt::LeftButton);
    };
    click("newSessionButton");
    ASSERT_EQ(state.phase.value(), Phase::setup);
    // "Refresh" until the window manager has the xterm.
    int row = -1;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        click("refreshButton");
        auto* list = window.currentScreen()->findChild<QListWidget*>("windowList");
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text().startsWith("murmura-xterm")) row = i;
        return row >= 0;
    }, 15000));
    click("windowPicker");
    auto* list = window.currentScreen()->findChild<QListWidget*>("windowList");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    ASSERT_TRUE(state.selectedWindow.value().has_value());
    const Rect frame = state.selectedWindow.value()->frame;
    click("style-graffo");
    click("beginButton");
    ASSERT_EQ(state.phase.value(), Phase::capturing);

    const auto pt = [](double v) { return std::to_string(static_cast<long>(v)); };
    // xdotool blocks; the RECORD data it causes waits in the socket until the loop runs again.
    xdotool({"mousemove", pt(frame.x + 40), pt(frame.y + 40), "click", "1"});
    xdotool({"type", "--delay", "30", "echo murmura"});
    xdotool({"mousemove", pt(frame.x + 200), pt(frame.y + 120), "click", "1"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return state.elapsedTime.value() >= 3; }, 20000));
    click("stopButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return state.phase.value() == Phase::complete || state.phase.value() == Phase::setup; },
                                120000));
    xterm.stop();
    ASSERT_EQ(state.phase.value(), Phase::complete) << state.errorMessage.value().value_or("");
    const auto& events = state.sessionCoordinator()->captureSession()->capturedEvents();
    EXPECT_GE(std::count_if(events.begin(), events.end(), [](const RawEvent& e) { return e.type == EventType::keyDown; }),
              12);
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const RawEvent& e) { return e.inScope; }));
    ASSERT_TRUE(state.currentArtwork.value().has_value());
    ASSERT_NE(state.artworkStore(), nullptr);
    EXPECT_EQ(state.artworkStore()->records().size(), 1u);
}

}  // namespace
