// The tray controller: one blink timer however often recording starts, alternating alpha, and
// the no-tray fallback (title, minimise, quit on close).
#include <QTimer>
#include <gtest/gtest.h>

#include "app/ui/tray_controller.h"
#include "ui_rig.h"

using namespace murmura;
using namespace murmura::test;
using Phase = AppState::Phase;

namespace {

void startSession(UiRig& rig) {
    rig.state->prepareNewSession();
    rig.state->selectedWindow.send(WindowDescriptor{7, "notes.txt", "Editor", UiRig::kEditor.frame, true});
    rig.state->selectedStyleID.send("graffo");
    rig.state->beginSession();
    for (int i = 0; i < 40; ++i)
        rig.tap->feed(tap_event_type::mouseMoved, {120.0 + i * 6, 100.0 + (i % 7) * 20});
}

int activeTimers(const QObject& o) {
    int n = 0;
    for (auto* t : o.findChildren<QTimer*>()) n += t->isActive();
    return n;
}

TEST(TrayController, BlinksWithOneTimerPerRecordingAndStopsAfter) {
    UiRig rig;
    ui::TrayController tray(*rig.state, rig.window, false);
    EXPECT_EQ(tray.blinkTimer(), nullptr);
    for (int session = 0; session < 2; ++session) {
        startSession(rig);
        ASSERT_TRUE(rig.state->isRecording.value());
        ASSERT_NE(tray.blinkTimer(), nullptr);
        EXPECT_EQ(tray.blinkTimer()->interval(), 1000);
        EXPECT_EQ(activeTimers(tray), 1);
        EXPECT_EQ(tray.toolTip(), "Murmura - Recording");
        // Each tick flips between the two frames, starting with the dimmed one.
        std::vector<qreal> alphas;
        for (int i = 0; i < 3; ++i) {
            QMetaObject::invokeMethod(tray.blinkTimer(), "timeout");
            alphas.push_back(tray.iconAlpha());
        }
        EXPECT_EQ(alphas, (std::vector<qreal>{0.4, 1.0, 0.4}));
        rig.state->stopSession();
        ASSERT_TRUE(rig.waitForPhase(Phase::complete));
        EXPECT_EQ(tray.blinkTimer(), nullptr);
        EXPECT_EQ(activeTimers(tray), 0);
        EXPECT_EQ(tray.iconAlpha(), 1.0);
        EXPECT_EQ(tray.toolTip(), "Murmura");
    }
}

TEST(TrayController, FailedStartLeavesNoBlinkAndStopActionEndsTheSession) {
    UiRig rig;
    ui::TrayController tray(*rig.state, rig.window, false);
    rig.tap->failTapCreation = true;
    startSession(rig);
    ASSERT_TRUE(rig.waitForPhase(Phase::setup, 5000));
    EXPECT_FALSE(rig.state->isRecording.value());
    EXPECT_EQ(tray.blinkTimer(), nullptr);
    EXPECT_FALSE(tray.stopAction()->isVisible());

    rig.tap->failTapCreation = false;
    startSession(rig);
    EXPECT_TRUE(tray.stopAction()->isVisible());
    tray.stopAction()->trigger();
    EXPECT_TRUE(rig.waitForPhase(Phase::complete));
}

TEST(TrayController, WithoutATrayTheWindowCarriesTheRecordingAndIsOnlyMinimised) {
    UiRig rig;
    ui::TrayController tray(*rig.state, rig.window, true);  // offscreen has no tray
    ASSERT_FALSE(tray.hasTray());
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
    EXPECT_EQ(rig.window.windowTitle(), "Murmura");
    startSession(rig);
    EXPECT_EQ(rig.window.windowTitle(), "Murmura - Recording");
    EXPECT_TRUE(rig.window.isVisible());  // minimised, never hidden: the session stays reachable
    rig.window.showApplication();
    EXPECT_TRUE(rig.window.isVisible());
    EXPECT_FALSE(rig.window.isMinimized());
    rig.state->stopSession();
    ASSERT_TRUE(rig.waitForPhase(Phase::complete));
    EXPECT_EQ(rig.window.windowTitle(), "Murmura");
}

}  // namespace
