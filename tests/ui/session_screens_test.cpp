// A person's way through the app, clicked through the real screens: onboarding, permission,
// gallery, setup, capturing, stop early, rendering, completion, rename, export, gallery.
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>

#include "app/ui/screens/wall_view.h"
#include "ui_rig.h"

using namespace murmura;
using namespace murmura::test;
using Phase = AppState::Phase;

namespace {

QString text(UiRig& rig, const char* name) {
    if (auto* l = rig.find<QLabel>(name)) return l->text();
    if (auto* b = rig.find<QPushButton>(name)) return b->text();
    return "<missing " + QString(name) + ">";
}

TEST(SessionScreens, RemainingTimeIsWholeSecondsAndNeverNegative) {
    EXPECT_EQ(ui::remainingText(300, 234.1), "1:05");  // 65.9 s left
    EXPECT_EQ(ui::remainingText(300, 0), "5:00");
    EXPECT_EQ(ui::remainingText(300, 301), "0:00");
    EXPECT_EQ(ui::remainingText(1500, 0.5), "24:59");
}

TEST(SessionScreens, ClickThroughFromOnboardingToTheGallery) {
    UiRig rig(false);
    rig.trusted = false;
    rig.services->animateOnboarding = true;
    rig.state->phase.send(Phase::onboarding);  // rebuilt with the animation on
    ASSERT_EQ(rig.state->phase.value(), Phase::onboarding);
    auto* canvas = rig.find<QWidget>("inkCanvas");
    ASSERT_NE(canvas, nullptr);
    // Frames come from the worker thread; the opening drops land within the first 1.4 s.
    QTest::qWait(1800);
    rig.screenshot("01-onboarding");
    EXPECT_EQ(text(rig, "pageTitle"), "Pick a Window");
    rig.click("nextButton");
    rig.click("nextButton");
    EXPECT_EQ(text(rig, "pageTitle"), "See Your Artwork");
    EXPECT_EQ(text(rig, "nextButton"), "Get Started");
    rig.screenshot("02-onboarding-last-page");
    rig.click("nextButton");
    EXPECT_TRUE(rig.preferences.boolValue(Preferences::hasCompletedOnboarding));
    ASSERT_EQ(rig.state->phase.value(), Phase::permissionRequired);
    rig.screenshot("03-permission");
    // The once-a-second poll notices the permission without a click.
    rig.trusted = true;
    ASSERT_TRUE(rig.waitForPhase(Phase::gallery, 5000));
    EXPECT_TRUE(rig.find<QLabel>("emptyGallery")->isVisible());
    rig.screenshot("04-gallery-empty");

    rig.click("newSessionButton");
    ASSERT_EQ(rig.state->phase.value(), Phase::setup);
    rig.click("beginButton");  // no window yet: nothing happens
    EXPECT_EQ(rig.state->phase.value(), Phase::setup);
    rig.click("windowPicker");
    auto* list = rig.find<QListWidget>("windowList");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "All Windows");
    EXPECT_TRUE(list->item(1)->text().contains("notes.txt"));
    rig.screenshot("05-setup-window-list");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    ASSERT_TRUE(rig.state->selectedWindow.value().has_value());
    EXPECT_EQ(rig.state->selectedWindow.value()->id, 7u);
    EXPECT_FALSE(list->isVisible());
    rig.click("duration-10 min");
    EXPECT_EQ(rig.state->selectedDuration.value(), SessionDuration::tenMinutes);
    rig.click("style-graffo");
    EXPECT_EQ(rig.state->selectedStyleID.value(), "graffo");
    rig.screenshot("06-setup");

    rig.click("beginButton");
    ASSERT_EQ(rig.state->phase.value(), Phase::capturing);
    // A second of drawing: one drag along a loop, fed at 100 events a second.
    int step = 0;
    auto pen = rig.scheduler.scheduleRepeating(0.01, [&] {
        const double t = step * 0.063;
        const Point p{260 + 130 * std::sin(t) * std::cos(0.5 * t), 180 + 80 * std::sin(1.3 * t)};
        rig.tap->feed(step == 0 ? tap_event_type::leftMouseDown : tap_event_type::leftMouseDragged, p);
        ++step;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return step >= 100; }, 10000));
    pen->cancel();
    rig.tap->feed(tap_event_type::leftMouseUp, {260, 180});
    const QString remaining = text(rig, "remaining");
    EXPECT_TRUE(remaining == "9:59" || remaining == "9:58") << remaining.toStdString();
    rig.window.showApplication();
    rig.screenshot("07-capturing");

    rig.click("stopButton");
    ASSERT_TRUE(rig.waitForPhase(Phase::rendering, 5000));
    rig.screenshot("08-rendering");
    ASSERT_TRUE(rig.waitForPhase(Phase::complete));
    ASSERT_TRUE(rig.state->currentArtwork.value().has_value());
    ASSERT_NE(rig.find<QWidget>("artworkImage"), nullptr);
    auto* title = rig.find<QLineEdit>("titleField");
    EXPECT_EQ(title->text(), "Editor");  // the default title
    title->clear();
    QTest::keyClicks(title, "  Morning Sketch ");
    QTest::keyClick(title, Qt::Key_Return);
    EXPECT_EQ(rig.state->currentArtwork.value()->customName, "Morning Sketch");

    rig.exportPath = QString::fromStdString((rig.dir.path() / "export.png").string());
    rig.click("exportButton");
    std::ifstream exported(rig.exportPath.toStdString(), std::ios::binary);
    char signature[8] = {};
    exported.read(signature, 8);
    EXPECT_EQ(std::string(signature + 1, 3), "PNG");
    rig.exportPath = QString::fromStdString((rig.dir.path() / "missing" / "export.png").string());
    rig.click("exportButton");
    EXPECT_TRUE(text(rig, "notice").startsWith("Failed to export artwork: ")) << text(rig, "notice").toStdString();
    rig.screenshot("09-complete");

    rig.click("galleryButton");
    ASSERT_EQ(rig.state->phase.value(), Phase::gallery);
    auto* wall = static_cast<ui::WallView*>(rig.find<QWidget>("galleryWall"));
    ASSERT_EQ(wall->count(), 1);
    EXPECT_EQ(wall->items()[0].name, "Morning Sketch");
    ASSERT_TRUE(QTest::qWaitFor([&] { return wall->settled() && !wall->loadingImages(); }, 5000));
    rig.screenshot("10-gallery");
}

TEST(SessionScreens, FailedWindowListingAndFailedStartAreShownOnSetup) {
    UiRig rig;
    rig.failListing = true;
    rig.services->captureBackend = rig.backend();
    rig.state->prepareNewSession();
    EXPECT_EQ(text(rig, "errorMessage"), "Failed to list windows");
    rig.click("windowPicker");
    auto* list = rig.find<QListWidget>("windowList");
    ASSERT_EQ(list->count(), 2);  // "All Windows" and the empty note
    EXPECT_EQ(list->item(1)->text(), "No windows available");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    ASSERT_TRUE(rig.state->selectedWindow.value().has_value());
    EXPECT_EQ(rig.state->selectedWindow.value()->id, 0u);
    EXPECT_EQ(rig.state->selectedWindow.value()->frame, (Rect{0, 0, 1440, 900}));

    rig.tap->trusted = false;
    rig.click("beginButton");
    ASSERT_TRUE(rig.waitForPhase(Phase::setup, 5000));
    EXPECT_TRUE(text(rig, "errorMessage").startsWith("Accessibility permission is required"));
    rig.screenshot("11-setup-errors");
}

}  // namespace
