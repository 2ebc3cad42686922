// The gallery wall and the artwork detail over a scratch gallery: keys, drag and clicks on the
// wall, the detail's rows, export, delete through the confirmation, a failed delete, an
// unreadable image, an empty wall. Screenshots of each go to the build tree.
#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QPushButton>
#include <gtest/gtest.h>

#include "app/ui/screens/artwork_detail_view.h"
#include "app/ui/screens/wall_view.h"
#include "ui_rig.h"

using namespace murmura;
using namespace murmura::test;
using Phase = AppState::Phase;

namespace {

struct Gallery : UiRig {
    ArtworkStore& store() { return *state->artworkStore(); }
    // Stores an artwork whose PNG is the given style's thumbnail, or `bytes` as its file.
    ArtworkRecord add(const std::string& name, const char* style, double duration = 245, QByteArray bytes = {}) {
        ArtworkRecord r;
        r.id = Uuid::random();
        r.imageFilePath = r.id.toString() + ".png";
        r.creationDate = CatalogDate(std::chrono::seconds(1765000000 + 86400 * int64_t(store().records().size())));
        r.plannedDuration = 300;
        r.actualDuration = duration;
        r.windowName = "Editor — " + name + ".txt";
        r.appName = "Editor";
        r.styleName = style;
        r.styleID = style;
        r.customName = name;
        const QString file = QString::fromStdString((store().artworksDirectory() / r.imageFilePath).string());
        if (bytes.isEmpty()) EXPECT_TRUE(QFile::copy(QString(":/thumbnails/style-thumb-%1.png").arg(style), file));
        else {
            QFile f(file);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        EXPECT_TRUE(store().addArtwork(r).hasValue());
        return r;
    }
    ui::WallView* showWall() {
        state->phase.send(Phase::gallery);
        auto* wall = static_cast<ui::WallView*>(find<QWidget>("galleryWall"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return wall->settled(); }, 3000));
        QTest::qWait(150);  // the images' decoding
        return wall;
    }
    bool visible(const char* name) { return find<QWidget>(name) && find<QWidget>(name)->isVisible(); }
    QString text(const char* name) { return find<QLabel>(name) ? find<QLabel>(name)->text() : QString(); }
};

QByteArray tallPng() {
    QImage image(200, 600, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 200, 600);
    g.setColorAt(0, QColor(30, 60, 110));
    g.setColorAt(1, QColor(230, 170, 90));
    p.fillRect(image.rect(), g);
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    image.save(&buffer, "PNG");
    return bytes;
}

TEST(GalleryScreens, EmptyWallThenOneArtwork) {
    Gallery g;
    g.showWall();
    EXPECT_TRUE(g.visible("emptyGallery"));
    EXPECT_TRUE(g.visible("newSessionButton"));
    g.screenshot("gallery-wall-empty");
    g.add("First Light", "ink-water");
    auto* wall = g.showWall();
    EXPECT_EQ(wall->count(), 1);
    EXPECT_FALSE(g.visible("emptyGallery"));
    g.screenshot("gallery-wall-one");
}

TEST(GalleryScreens, KeysDragAndClicksMoveTheFocus) {
    Gallery g;
    for (const char* style : {"graffo", "watercolor", "neon", "planara", "charcoal", "skeinfall"})
        g.add(std::string("Study in ") + style, style);
    g.add("Tall Window", "planara", 600, tallPng());
    auto* wall = g.showWall();
    ASSERT_EQ(wall->count(), 7);
    EXPECT_EQ(wall->focus(), 6);  // the newest
    const QRectF tall = wall->pictureRect(6);
    EXPECT_NEAR(tall.width() / tall.height(), 0.6, 1e-6);  // 1:3 clamped
    g.window.activateWindow();
    wall->setFocus();
    QTest::keyClick(wall, Qt::Key_Left);
    QTest::keyClick(wall, Qt::Key_Left);
    EXPECT_EQ(wall->focus(), 4);
    EXPECT_TRUE(wall->focusRingVisible());
    QTest::keyClick(wall, Qt::Key_Right);
    EXPECT_EQ(wall->focus(), 5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return wall->settled(); }, 3000));
    g.screenshot("gallery-wall-many");

    // 2.4 pitches to the right: two pictures back.
    const double pitch = wall->pictureRect(1).center().x() - wall->pictureRect(0).center().x();
    const QPoint from(wall->width() / 2, wall->height() / 3);
    QTest::mousePress(wall, Qt::LeftButton, {}, from);
    for (int i = 1; i <= 12; ++i) QTest::mouseMove(wall, from + QPoint(int(2.4 * pitch * i / 12), 0));
    QTest::mouseRelease(wall, Qt::LeftButton, {}, from + QPoint(int(2.4 * pitch), 0));
    EXPECT_EQ(wall->focus(), 3);
    EXPECT_FALSE(wall->focusRingVisible());  // the pointer took over
    ASSERT_TRUE(QTest::qWaitFor([&] { return wall->settled(); }, 3000));
    // A click on the neighbour focuses it; a click on the focused picture opens it.
    QTest::mouseClick(wall, Qt::LeftButton, {}, wall->pictureRect(4).center().toPoint());
    EXPECT_EQ(wall->focus(), 4);
    ASSERT_TRUE(QTest::qWaitFor([&] { return wall->settled(); }, 3000));
    QTest::mouseClick(wall, Qt::LeftButton, {}, wall->pictureRect(4).center().toPoint());
    ASSERT_TRUE(g.visible("artworkDetail"));
    EXPECT_EQ(g.text("detailTitle"), "Study in charcoal");
    QTest::keyClick(g.find<QWidget>("artworkDetail"), Qt::Key_Escape);
    EXPECT_FALSE(g.visible("artworkDetail"));
    // Return opens, Delete asks (and Escape keeps the artwork).
    QTest::keyClick(wall, Qt::Key_Return);
    EXPECT_TRUE(g.visible("artworkDetail"));
    g.click("backButton");
    QTest::keyClick(wall, Qt::Key_Delete);
    ASSERT_TRUE(g.visible("deleteAlert"));
    QTest::keyClick(g.find<QWidget>("cancelDeleteButton"), Qt::Key_Escape);
    EXPECT_FALSE(g.visible("deleteAlert"));
    EXPECT_EQ(g.store().records().size(), 7u);
}

TEST(GalleryScreens, DetailExportsAndDeletesThroughTheConfirmation) {
    Gallery g;
    g.add("Morning", "graffo");
    const ArtworkRecord last = g.add("Evening Edits", "watercolor", 245);
    auto* wall = g.showWall();
    QTest::keyClick(wall, Qt::Key_Return);
    QTest::qWait(300);  // fade in, full-size image
    EXPECT_FALSE(g.visible("imageUnavailable"));
    EXPECT_EQ(g.text("durationValue"), "4 min 5 sec");
    EXPECT_EQ(g.text("windowValue"), "Editor — Evening Edits.txt");
    EXPECT_EQ(g.text("applicationValue"), "Editor");
    EXPECT_EQ(g.text("dateValue"), ui::detailDateText(last));
    g.screenshot("gallery-detail");

    g.exportPath = QString::fromStdString((g.dir.path() / "out.png").string());
    g.click("exportButton");
    EXPECT_TRUE(std::filesystem::file_size(g.exportPath.toStdString()) > 100);
    const auto image = g.store().artworksDirectory() / last.imageFilePath;
    g.click("deleteButton");
    ASSERT_TRUE(g.visible("deleteAlert"));
    g.screenshot("gallery-delete-alert");
    g.click("cancelDeleteButton");
    EXPECT_TRUE(std::filesystem::exists(image));
    g.click("deleteButton");
    g.click("confirmDeleteButton");
    EXPECT_FALSE(g.visible("artworkDetail"));
    EXPECT_FALSE(std::filesystem::exists(image));
    g.store().reload();
    ASSERT_EQ(g.store().records().size(), 1u);
    EXPECT_EQ(*g.store().records()[0].customName, "Morning");
    EXPECT_EQ(wall->count(), 1);
    EXPECT_EQ(wall->focus(), 0);  // clamped again
}

TEST(GalleryScreens, FailedDeleteKeepsTheDetailOpenWithTheFailure) {
    Gallery g;
    const ArtworkRecord r = g.add("Keeper", "neon");
    auto* wall = g.showWall();
    QTest::keyClick(wall, Qt::Key_Return);
    QTest::qWait(300);  // fade in
    // Another process left a catalog this one cannot read: deleting must not go ahead.
    QFile catalog(QString::fromStdString(g.store().catalogPath().string()));
    ASSERT_TRUE(catalog.open(QIODevice::WriteOnly));
    catalog.write("{ not a catalog");
    catalog.close();
    testing::internal::CaptureStdout();
    g.click("deleteButton");
    g.click("confirmDeleteButton");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Failed to delete artwork: "), std::string::npos) << out;
    EXPECT_TRUE(g.visible("artworkDetail"));
    EXPECT_TRUE(g.visible("detailNotice"));
    EXPECT_TRUE(g.text("detailNotice").startsWith("Failed to delete artwork: "));
    EXPECT_TRUE(std::filesystem::exists(g.store().artworksDirectory() / r.imageFilePath));
    g.screenshot("gallery-detail-delete-failed");
}

TEST(GalleryScreens, UnreadableImageAndAbsurdDurationKeepTheirRecord) {
    Gallery g;
    g.add("Fine", "skeinfall");
    const ArtworkRecord broken = g.add("Broken", "graffo", 1e300, "\x89PNG not really");
    auto* wall = g.showWall();
    ASSERT_EQ(wall->count(), 2);
    EXPECT_NEAR(wall->pictureRect(1).width() / wall->pictureRect(1).height(), 1.4, 1e-6);
    g.screenshot("gallery-wall-unavailable");
    QTest::keyClick(wall, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return g.visible("imageUnavailable"); }, 3000));
    QTest::qWait(300);  // fade in
    EXPECT_EQ(g.text("durationValue"), "—");
    g.screenshot("gallery-detail-unavailable");
    g.click("backButton");
    g.store().reload();
    EXPECT_EQ(g.store().records().size(), 2u);
    EXPECT_NE(g.store().record(broken.id), nullptr);
}

}  // namespace
