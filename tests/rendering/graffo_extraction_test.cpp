// Expected numbers come from an independent python model of the formulas, or by hand.
#include "rendering/styles/graffo_extraction.h"

#include <gtest/gtest.h>

#include <cmath>

#include "../test_events.h"
#include "rendering/generators.h"
#include "style_test_util.h"

using namespace murmura;
using namespace murmura::graffo;
using namespace murmura::test;

namespace {

// A 1920 x 1080 logical canvas at scale 1: positions are logical units.
constexpr double kLW = 1920, kLH = 1080;

Extraction run(std::vector<RawEvent> events, double lw = kLW, double lh = kLH, double scale = 1) {
    return extract(sessionOf({std::move(events)}).segments, lw, lh, scale);
}

template <class T>
std::vector<T> all(const Extraction& x) {
    std::vector<T> out;
    for (const Element& e : x.elements)
        if (const T* p = std::get_if<T>(&e)) out.push_back(*p);
    return out;
}

RawEvent rightButton(RawEvent e) {
    e.mouseButton = 1;
    return e;
}

// Approach (x, y) from the right, keep within a unit of it from t0 + 0.75 to t0 + 2.75 (two
// seconds of stillness after the first still step), then leave to the right.
void hold(std::vector<RawEvent>& ev, double t0, double x, double y, bool dragging = false) {
    auto at = [&](double t, double px, double py) { ev.push_back(dragging ? drag(t, px, py) : move(t, px, py)); };
    at(t0, x + 40, y);
    at(t0 + 0.25, x + 20, y);
    at(t0 + 0.5, x, y);
    for (int i = 0; i < 8; ++i) at(t0 + 0.75 + 0.25 * i, x + (i % 2 ? 0.5 : 1.0), y + (i % 3) * 0.5);
    at(t0 + 2.75, x + 20, y);
}

}  // namespace

TEST(GraffoExtraction, TwoSecondHoldMakesOneKnot) {
    for (bool buttonDown : {false, true}) {
        std::vector<RawEvent> ev;
        if (buttonDown) ev.push_back(down(0, 980, 500));
        hold(ev, 0, 940, 500, buttonDown);
        const Extraction x = run(ev);
        const auto knots = all<Knot>(x);
        ASSERT_EQ(knots.size(), 1u) << buttonDown;
        const Knot& k = knots[0];
        EXPECT_EQ(k.center, (Point{940, 500}));
        // min(sqrt(2) * 11 + 9, 46), edge factor 1 away from the edges.
        EXPECT_NEAR(k.radius, 24.556349186104047, 1e-12);
        EXPECT_TRUE(k.loops == 15 && k.seed == gen::positionHash(19975, 940, 500) && k.pigment == kPigmentPalette[5] &&
                    k.layer == 0);
        // The run before the hold and the one after it are both scrawls.
        const auto scrawls = all<Scrawl>(x);
        ASSERT_EQ(scrawls.size(), 2u);
        EXPECT_EQ(scrawls[0].drag, buttonDown);
        EXPECT_EQ(all<Burst>(x).size(), buttonDown ? 1u : 0u);
        // The second scrawl restarts at the last still point and heads away.
        EXPECT_EQ(scrawls[1].points.front(), (Point{940.5, 500.5}));
    }
}

TEST(GraffoExtraction, KnotsNeedStillnessAndShrinkNearTheEdge) {
    std::vector<RawEvent> ev;
    hold(ev, 0, 10.8, 500);
    auto knots = all<Knot>(run(ev));
    ASSERT_EQ(knots.size(), 1u);
    // e = 10.8 / 43.2 = 0.25, smooth(e) = 0.15625, factor 0.49375.
    EXPECT_NEAR(knots[0].radius, 12.124697410638873, 1e-12);
    EXPECT_EQ(knots[0].loops, 15);
    // Still from 0.5 until leaving at 0.75, not more than 0.32 s: no knot.
    const Extraction brief = run({move(0, 900, 500), move(0.25, 920, 500), move(0.5, 921, 500), move(0.75, 960, 500)});
    EXPECT_TRUE(all<Knot>(brief).empty());
    EXPECT_EQ(all<Scrawl>(brief).size(), 1u);
    // A hold still running at the end counts up to the last sample: 0.5 to 2.5.
    knots = all<Knot>(run({move(0, 900, 500), move(0.25, 920, 500), move(0.5, 921, 500), move(1.0, 920, 500),
                           move(2.5, 921, 500)}));
    ASSERT_EQ(knots.size(), 1u);
    EXPECT_EQ(knots[0].loops, 15);
    EXPECT_EQ(knots[0].center, (Point{920, 500}));
}

TEST(GraffoExtraction, KnotAreaBudget) {
    // A 400 x 300 canvas allows 12000 square units of knots; each two-second knot at full
    // size covers pi * 24.556^2 = 1894.4, so six fit and the rest are shrunk.
    std::vector<RawEvent> ev;
    for (int i = 0; i < 8; ++i) hold(ev, 10.0 * i, 120 + 20 * i, 100 + 10 * i);
    const auto knots = all<Knot>(run(ev, 400, 300));
    ASSERT_EQ(knots.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_NEAR(knots[i].radius, 24.556349186104047 * (i < 6 ? 1 : 0.55), 1e-12) << i;
        EXPECT_EQ(knots[i].loops, i < 6 ? 15 : 7) << i;
    }
}

TEST(GraffoExtraction, DeleteFadeStopsAtSixHundredths) {
    std::vector<RawEvent> ev;
    for (int i = 0; i < 11; ++i) ev.push_back(keyDown(i, i % 2 ? 51 : 117));
    EXPECT_NEAR(run(ev).deleteFade, 0.055, 1e-12);
    ev.push_back(keyDown(11, 51));
    EXPECT_NEAR(run(ev).deleteFade, 0.06, 1e-12);
    for (int i = 12; i < 20; ++i) ev.push_back(keyDown(i, 51));
    EXPECT_TRUE(run(ev).deleteFade == 0.06 && run(ev).elements.empty());  // capped; delete keys make no ticks
}

TEST(GraffoExtraction, LongJumpsSplitScrawls) {
    auto scrawlsWithJump = [](double jump, double pause) {
        std::vector<RawEvent> ev{move(0, 100, 500), move(0.05, 110, 500), move(0.1, 120, 500)};
        ev.push_back(move(0.1 + pause, 120 + jump, 500));
        ev.push_back(move(0.15 + pause, 130 + jump, 500));
        return all<Scrawl>(run(ev));
    };
    EXPECT_EQ(scrawlsWithJump(359, 0.05).size(), 1u);
    const auto split = scrawlsWithJump(361, 0.05);
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(split[1].points.front(), (Point{481, 500}));
    EXPECT_EQ(scrawlsWithJump(10, 1.49).size(), 1u);
    EXPECT_EQ(scrawlsWithJump(10, 1.51).size(), 2u);
    // No scrawl ever joins two points more than 360 units apart.
    for (const Scrawl& s : split)
        for (size_t i = 1; i < s.points.size(); ++i) EXPECT_LE(distance(s.points[i - 1], s.points[i]), 360);
}

TEST(GraffoExtraction, SecondaryButtonNeitherBurstsNorLiftsTheButton) {
    std::vector<RawEvent> ev{down(0, 500, 500),         rightButton(down(0.1, 500, 500)), rightButton(up(0.2, 500, 500)),
                             drag(0.3, 520, 500),       drag(0.35, 540, 500),     up(0.4, 540, 500),
                             move(0.5, 560, 500),       move(0.55, 580, 500),     rightButton(down(0.6, 580, 500)),
                             move(0.7, 600, 500)};
    const Extraction x = run(ev);
    const auto bursts = all<Burst>(x);
    ASSERT_EQ(bursts.size(), 1u);
    EXPECT_EQ(bursts[0].center, (Point{500, 500}));
    const auto scrawls = all<Scrawl>(x);
    ASSERT_EQ(scrawls.size(), 2u);
    EXPECT_TRUE(scrawls[0].drag);  // the secondary release did not lift the primary button
    EXPECT_FALSE(scrawls[1].drag);
    // The secondary press did not cut the second run either.
    EXPECT_EQ(scrawls[1].points.back().x > 590, true);
}

TEST(GraffoExtraction, BurstDirectionSeedAndColour) {
    // Without pointer velocity the direction comes from the position hash.
    const Extraction still = run({down(0, 600, 400), up(0.1, 600, 400), down(0.2, 600, 400)});
    const auto b = all<Burst>(still);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_NEAR(b[0].dir, 1.7244054791839798, 1e-12);
    EXPECT_EQ(b[0].seed, 1450744344952528791ULL);
    EXPECT_TRUE(b[0].color == 1 && b[1].color == 2);  // the click counter
    // Moving right at 100 units/s: click velocity 0.4 x 100 along x, direction 0.
    const auto moving = all<Burst>(run({move(0, 100, 100), move(0.1, 110, 100), down(0.15, 110, 100)}));
    ASSERT_EQ(moving.size(), 1u);
    EXPECT_EQ(moving[0].dir, 0.0);
}

TEST(GraffoExtraction, RunSeedPigmentAndFirstWeight) {
    const auto s = all<Scrawl>(run({move(0, 960, 540), move(0.05, 970, 540)}));
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].seed, gen::positionHash(45297, 960, 540));
    EXPECT_EQ(s[0].points.front(), (Point{960, 540}));
    // Base 5.2 at full edge factor, no heat: min(5.2, 5.2) x 0.8.
    EXPECT_NEAR(s[0].weights.front(), 4.16, 1e-12);
    EXPECT_EQ(s[0].grain.front(), 0.7);
    for (double g : s[0].grain) EXPECT_TRUE(g >= 0.62 && g <= 1.0) << g;
    for (double w : s[0].weights) EXPECT_TRUE(w >= 0.4 && w <= 8.5) << w;
    // Shift held: base 3.744.
    const auto shifted = all<Scrawl>(run({keyDown(0, 56), move(0.1, 960, 540), move(0.15, 970, 540)}));
    ASSERT_EQ(shifted.size(), 1u);
    EXPECT_NEAR(shifted[0].weights.front(), 2.9952, 1e-12);
    // Released again: back to full weight.
    const auto released =
        all<Scrawl>(run({keyDown(0, 56), keyUp(0.05, 56), move(0.1, 960, 540), move(0.15, 970, 540)}));
    EXPECT_NEAR(released[0].weights.front(), 4.16, 1e-12);
    // With the button down the run is a drag run hashed with its own tag.
    const auto dragged = all<Scrawl>(run({down(0, 960, 540), drag(0.1, 960, 540), drag(0.15, 970, 540)}));
    ASSERT_EQ(dragged.size(), 1u);
    EXPECT_TRUE(dragged[0].drag);
    EXPECT_EQ(dragged[0].seed, gen::positionHash(1958, 960, 540));
}

TEST(GraffoExtraction, LongRunsAreCutAtSixHundredPoints) {
    // Steps of 15 units around a circle make one point each.
    std::vector<RawEvent> ev;
    for (int i = 0; i < 700; ++i) ev.push_back(move(0.02 * i, 960 + 300 * std::cos(0.05 * i), 540 + 300 * std::sin(0.05 * i)));
    const auto s = all<Scrawl>(run(ev));
    ASSERT_GE(s.size(), 2u);
    EXPECT_EQ(s[0].points.size(), 600u);
    // The next piece carries on from the cut with the same run's look.
    EXPECT_TRUE(s[1].points.front() == s[0].points.back() && s[1].weights.front() == s[0].weights.back() &&
                s[1].grain.front() == s[0].grain.back() && s[1].seed == s[0].seed && s[1].pigment == s[0].pigment &&
                s[1].layer == s[0].layer);
}

TEST(GraffoExtraction, LayersFollowPausesReturnAndAppChanges) {
    auto layers = [](std::vector<RawEvent> ev) {
        std::vector<int64_t> out;
        for (const Element& e : run(std::move(ev)).elements) out.push_back(layerOf(e));
        return out;
    };
    // Pauses of 45 s or more between mark starts open a new layer.
    EXPECT_EQ(layers({keyDown(0, 0), keyDown(45, 0), keyDown(89.9, 0), keyDown(140, 0)}),
              (std::vector<int64_t>{0, 1, 1, 2}));
    EXPECT_EQ(layers({keyDown(0, 0), keyDown(44.9, 0)}), (std::vector<int64_t>{0, 0}));
    // Return (36) and keypad Enter (76) open one at the next mark; escape does nothing.
    EXPECT_EQ(layers({keyDown(0, 0), keyDown(1, 36), keyDown(2, 53), keyDown(3, 0), keyDown(4, 76), keyDown(5, 1)}),
              (std::vector<int64_t>{0, 1, 2}));
    // Before any mark, the flag only clears.
    EXPECT_EQ(layers({keyDown(0, 36), keyDown(1, 0)}), (std::vector<int64_t>{0}));
    // Application changes too.
    RawEvent app = event(EventType::appBecameActive, 2, std::nullopt);
    EXPECT_EQ(layers({keyDown(0, 0), app, keyDown(3, 0)}), (std::vector<int64_t>{0, 1}));

    const Extraction x = run({keyDown(10, 0), keyDown(20, 0), keyDown(70, 0), scroll(80)});
    ASSERT_EQ(x.layers.size(), 2u);
    EXPECT_TRUE(x.layers.at(0).first == 10 && x.layers.at(0).last == 20 && x.layers.at(1).first == 70 && x.endTime == 80);
}

TEST(GraffoExtraction, TicksWithoutPointerFollowTheTypingCursor) {
    const auto ticks = all<Tick>(run({keyDown(0, 0), keyDown(0.2, 12)}));
    ASSERT_EQ(ticks.size(), 2u);
    const double expected[2][5] = {{612.4430290288805, 442.32431456963747, 609.6077221148375, 431.9140230556081,
                                    2.3672693722298317},
                                   {693.8861726697836, 467.54975088134046, 703.7544547412376, 474.29475570572384,
                                    2.190600187897319}};
    for (size_t i = 0; i < 2; ++i) {
        const Tick& t = ticks[i];
        const double got[5] = {t.from.x, t.from.y, t.to.x, t.to.y, t.weight};
        for (size_t k = 0; k < 5; ++k) EXPECT_NEAR(got[k], expected[i][k], 1e-9) << i << " " << k;
    }
    EXPECT_EQ(ticks[0].pigment, kPigmentPalette[1]);
    // Near the pointer, 6 to 22 units long; a modifier makes none.
    const auto near = all<Tick>(run({move(0, 800, 300), keyDown(1, 56), keyDown(2, 4), keyUp(3, 56)}));
    ASSERT_EQ(near.size(), 1u);
    EXPECT_LE(distance(near[0].from, Point{800, 300}), 30);
    EXPECT_NEAR(distance(near[0].from, near[0].to), 14, 8 + 1e-9);
}

TEST(GraffoExtraction, NothingFromScrollsOrEmptySessionsAndPositionsAreScaledAndClamped) {
    const Extraction empty = extract({}, kLW, kLH, 1);
    EXPECT_TRUE(empty.elements.empty() && empty.layers.empty() && empty.endTime == 0 && empty.deleteFade == 0);
    const Extraction scrolls = run({scroll(1), scroll(2.5), scroll(2)});
    EXPECT_TRUE(scrolls.elements.empty());
    EXPECT_EQ(scrolls.endTime, 2.5);
    // Scale 0.5: canvas pixels (3600, 200) are logical (1800, 100); (2000, -50) clamps to (1919, 0).
    const auto s = all<Scrawl>(run({move(0, 3600, 200), move(0.05, 4000, -100)}, 1920, 1080, 0.5));
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].points.front(), (Point{1800, 100}));
    for (const Point& p : s[0].points) EXPECT_TRUE(p.x >= 0 && p.x <= 1919 && p.y >= 0 && p.y <= 1079);
}
