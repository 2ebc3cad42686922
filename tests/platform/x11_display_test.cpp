// The pixel-to-point mapping; no X server needed.
#include "platform/x11/x11_display.h"

#include <gtest/gtest.h>

using namespace murmura;

TEST(DesktopScale, IsXftDpiOver96AndOneWhenUnsetOrUnusable) {
    const std::pair<const char*, double> cases[] = {
        {"Xft.dpi:\t192\n", 2.0}, {"Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n", 1.5}, {"Xft.dpi: 96", 1.0},
        {"*dpi: 120\n", 1.25},  // a wildcard resource applies too
        {nullptr, 1.0}, {"", 1.0}, {"Xcursor.size: 24\n", 1.0}, {"Xft.dpi: abc\n", 1.0}, {"Xft.dpi: -96\n", 1.0},
        {"Xft.dpi: 0\n", 1.0}};
    for (auto [resources, scale] : cases) EXPECT_DOUBLE_EQ(scaleFromResources(resources), scale) << resources;
}

TEST(DisplayGeometry, PointsAreOffsetFromTheMainDisplayAndDividedByTheScale) {
    DisplayGeometry g{1920, 0, 2560, 1440, 2.0};  // primary output right of another one
    EXPECT_EQ(g.toPoints(1920, 0), (Point{0, 0}));
    EXPECT_EQ(g.toPoints(2020, 50), (Point{50, 25}));
    EXPECT_EQ(g.toPoints(0, 0), (Point{-960, 0}));  // the other output lies left of the origin
    EXPECT_EQ(g.toPoints(Rect{2120, 200, 800, 600}), (Rect{100, 100, 400, 300}));
    EXPECT_EQ(g.mainDisplayBounds(), (Rect{0, 0, 1280, 720}));
}
