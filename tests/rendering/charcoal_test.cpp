#include "rendering/styles/charcoal.h"

#include <gtest/gtest.h>

#include "../test_diagnostics.h"
#include "../test_events.h"
#include "rendering/artwork_renderer.h"
#include "style_test_util.h"

namespace murmura {
namespace {

using namespace test;

MaterialEngineOutput outputOf(std::vector<std::vector<RawEvent>> segments, double silentRatio = 0) {
    return sessionOf(std::move(segments), silentRatio, 0.85, 18);
}

// A drag across the middle of a 640 x 400 canvas, hovering, keys, a scroll; no release.
std::vector<RawEvent> session() {
    std::vector<RawEvent> e;
    double t = 0.1;
    for (int i = 0; i < 60; ++i, t += 0.05) e.push_back(move(t, 40 + 4 * i, 300 - 2 * i));
    e.push_back(down(t, 100, 200));
    for (int i = 0; i < 80; ++i, t += 0.02) e.push_back(drag(t, 100 + 5 * i, 200 + std::sin(i * 0.1) * 40));
    RawEvent k = keyDown(t + 0.5);
    k.position = Point{500, 100};
    e.push_back(k);
    RawEvent s = scroll(t + 1);
    s.position = Point{200, 100};
    e.push_back(s);
    return e;
}

const uint8_t* px(const RgbaImage& im, int64_t x, int64_t y) { return im.pixel(x, y); }

TEST(Charcoal, GesturalFlagIsExactlyOne) {
    EXPECT_TRUE(gesturalFlagValue("1"));
    for (const char* v : {"true", "yes", "", "01", "1 "}) EXPECT_FALSE(gesturalFlagValue(v)) << v;
    EXPECT_FALSE(gesturalFlagValue(nullptr));
}

TEST(Charcoal, BlankPaperNearWhiteWithGrain) {
    const test::Diagnostics lines;
    const auto im = CharcoalRenderer().render(outputOf({}, 1.0), 320, 200);
    ASSERT_TRUE(im);
    int distinct = 0;
    for (int64_t x = 0; x < 320; ++x) {
        const uint8_t* p = px(*im, x, 77);
        ASSERT_GE(p[0], 236);
        ASSERT_LE(p[0] - p[2], 8);
        ASSERT_EQ(p[3], 255);
        distinct += p[0] != px(*im, 0, 77)[0];
    }
    EXPECT_GT(distinct, 0);
    const std::string text = lines.text();
    EXPECT_NE(text.find("Canvas size: 320 x 200, Style: Long Session Stable\nSimulation resolution: 160 x 100\n"
                        "Silent ratio: 1.0, wetness initialized to 0\n[STROKE SUMMARY] Strokes: 0"),
              std::string::npos);
    EXPECT_NE(text.find("Render complete in "), std::string::npos);
}

TEST(Charcoal, ThePathIsDrawnAndAPendingStrokeIsNotLost) {
    const test::Diagnostics lines;
    const auto im = CharcoalRenderer().render(outputOf({session()}), 640, 400);
    ASSERT_TRUE(im);
    // On the drag (no release ever came), on the hover path, and far from both.
    EXPECT_LT(px(*im, 300, 200 + static_cast<int64_t>(std::sin(40 * 0.1) * 40))[0], 150);
    EXPECT_LT(px(*im, 40 + 4 * 10, 300 - 2 * 10)[0], 235);
    EXPECT_GT(px(*im, 600, 380)[0], 235);
    EXPECT_NE(lines.text().find("Strokes: 2, Entry tapers: 2, Exit tapers: 2, Events: 143, KeyDots: 1"), std::string::npos);
}

TEST(Charcoal, TraceFollowsTheCalculatorAndContactRules) {
    const test::Diagnostics lines;
    // A press whose release was never recorded, a long gap, then hovering: not contact.
    std::vector<RawEvent> e = {down(1, 100, 100), drag(1.1, 120, 100), move(20, 130, 100), drag(20.1, 140, 100),
                               move(20.2, 150, 100), move(19.0, 160, 100)};
    const ArtworkRenderer r(640, 400, InkStyle::longSessionStable, false);
    const InkTrace t = r.trace(outputOf({e}));
    ASSERT_EQ(t.events.size(), 6u);
    EXPECT_TRUE(t.simScale == 2 && t.gridWidth == 320);  // three times from 1600 pixels wide
    EXPECT_EQ(ArtworkRenderer(1599, 10, InkStyle::longSessionStable, false).simScale(), 2);
    EXPECT_EQ(ArtworkRenderer(1920, 1080, InkStyle::longSessionStable, false).simScale(), 3);
    EXPECT_TRUE(t.events[0].contact && t.events[1].contact);
    EXPECT_FALSE(t.events[2].contact || t.events[3].contact || t.events[4].contact);
    EXPECT_EQ(t.events[1].position, (Point{60, 50}));
    EXPECT_EQ(t.events[0].inkBefore, 1.0f);
    EXPECT_LT(t.events[1].parameters.newState.inkLevel, 1.0f);  // 10 cells in contact
    EXPECT_EQ(t.events[2].inkBefore, t.events[1].parameters.newState.inkLevel);
    EXPECT_EQ(t.summary.events, 6);
    // Out of order: the calculator sees the raw times; the render still completes.
    EXPECT_EQ(t.events[5].timestamp, 19.0);
    const auto odd = CharcoalRenderer().render(outputOf({e}), 1925, 40);  // grid of a third, rounded
    EXPECT_TRUE(odd && odd->width() == 1925 && odd->height() == 40);
    // The field clock is the latest timestamp: it neither runs back nor drifts over many steps.
    std::vector<RawEvent> many;
    for (int i = 1; i <= 20000; ++i) many.push_back(move(i * 0.01, 10, 10));
    many.push_back(move(3.0, 10, 10));
    EXPECT_TRUE(CharcoalRenderer().render(outputOf({many}), 64, 40));
    EXPECT_NE(lines.text().find("(time=200.0s)"), std::string::npos);
    // A window of the trace; the gestural flag makes hovering contact.
    const InkTrace w = ArtworkRenderer(640, 400, InkStyle::longSessionStable, true).trace(outputOf({e}), 2, 2);
    ASSERT_EQ(w.events.size(), 2u);
    EXPECT_EQ(w.events[0].index, 2u);
    EXPECT_TRUE(w.events[0].contact);
}

}  // namespace
}  // namespace murmura
