#include "rendering/styles/popline.h"

#include <gtest/gtest.h>

#include "../test_events.h"
#include "rendering/generators.h"
#include "style_test_util.h"
#include "support/random.h"

using namespace murmura;
using namespace murmura::popline;
using namespace murmura::test;

namespace {

constexpr uint64_t kGamma = kSplitMixGamma;

MaterialEngineOutput outputOf(std::vector<RawEvent> events, double silentRatio = 0) {
    return sessionOf({std::move(events)}, silentRatio);
}

// On a 1080 x 1080 canvas positions are logical units.
std::vector<Element> extract1080(std::vector<RawEvent> events) {
    return extract(outputOf(std::move(events)).segments, 1080, 1080, 1);
}

template <class T>
std::vector<T> only(const std::vector<Element>& elements) {
    std::vector<T> out;
    for (const Element& e : elements)
        if (const auto* x = std::get_if<T>(&e)) out.push_back(*x);
    return out;
}

double widthAt(Point p) { return 20 * gen::draw(gen::positionHash(29051, p) ^ kGamma, 1) + 26; }

RawEvent secondaryDown(double t) {
    RawEvent e = down(t);
    return e.mouseButton = 1, e;
}

}  // namespace

// 0.075 and 0.065 of 255, truncated; silence darkens blue most: q = 0.05 s.
TEST(PoplineGround, EmptySessionIsThePlainGround) {
    using Rgb = std::array<uint8_t, 3>;
    for (const auto& [silence, bytes] : {std::pair{0.0, Rgb{19, 16, 16}}, {0.5, Rgb{17, 13, 12}}, {1.0, Rgb{15, 10, 7}}}) {
        EXPECT_EQ(groundBytes(silence), bytes) << silence;
        const auto image = PoplineRenderer().render(outputOf({}, silence), 7, 5);
        ASSERT_TRUE(image);
        for (size_t i = 0; i < image->byteCount(); ++i) ASSERT_EQ(image->data()[i], i % 4 == 3 ? 255 : bytes[i % 4]) << silence;
    }
}

TEST(PoplineExtraction, StrokeStartsOnlyStartAndOnePointStrokesBecomeRingDots) {
    const auto elements = extract1080({move(0, 100, 100), move(0.1, 150, 100), move(5, 600, 600),
                                       move(5.1, 602, 600), secondaryDown(5.2), move(6, 10, 10)});
    ASSERT_EQ(elements.size(), 3u);
    EXPECT_EQ(std::get<Tube>(elements[0]).points, (std::vector<Point>{{100, 100}, {150, 100}}));
    EXPECT_DOUBLE_EQ(std::get<Tube>(elements[0]).width, widthAt({100, 100}));
    for (size_t i : {1, 2}) {
        const Point p = i == 1 ? Point{600, 600} : Point{10, 10};
        const auto ring = std::get<ClickDot>(elements[i]);
        EXPECT_TRUE(ring.p == p && ring.kind == 1) << i;
        EXPECT_DOUBLE_EQ(ring.r, widthAt(p) / 2);
    }
}

TEST(PoplineExtraction, LongJumpsAndPausesSplitStrokes) {
    // 419 units and 1.19 s keep the stroke; 421 units or 1.21 s split it.
    EXPECT_EQ(only<Tube>(extract1080({move(0, 10, 10), move(0.5, 429, 10), move(1.69, 429, 50)})).size(), 1u);
    EXPECT_EQ(only<Tube>(extract1080({move(0, 10, 10), move(0.5, 20, 10), move(1, 441, 10), move(1.1, 441, 30)})).size(), 2u);
    EXPECT_EQ(only<Tube>(extract1080({move(0, 10, 10), move(0.5, 20, 10), move(1.71, 20, 50), move(1.8, 20, 90)})).size(), 2u);
}

TEST(PoplineExtraction, DwellsTurnsAndFlicksRadiate) {
    // Resting within 5 units for over 0.32 s: one 12-ray radiate at the anchor, however long.
    auto r = only<Radiate>(extract1080({move(0, 100, 100), move(0.1, 101, 100), move(0.4, 102, 100), move(0.9, 101, 101)}));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_TRUE(r[0].count == 12 && r[0].center == (Point{100, 100}) && r[0].inner == 0.62 * widthAt({100, 100}) + 14);
    // Turning straight back: a 5-ray radiate at the turning point, aimed along the new step.
    r = only<Radiate>(extract1080({move(0, 100, 100), move(0.1, 130, 100), move(0.2, 100, 100)}));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_TRUE(r[0].count == 5 && r[0].center == (Point{130, 100}) && r[0].baseAngle == std::atan2(0.0, -30.0));
    // 1000 then 3000 units/s: the smoothed speed passes 900 on the second step.
    r = only<Radiate>(extract1080({move(0, 100, 500), move(0.05, 150, 500), move(0.1, 300, 500)}));
    ASSERT_EQ(r.size(), 1u);
    const uint64_t c = gen::rawDraw(gen::positionHash(24301, Point{300, 500}) ^ kGamma, 1) % 5;
    EXPECT_EQ(r[0].count, static_cast<int64_t>(5 + c));
    EXPECT_EQ(r[0].seed, gen::positionHash(48874 + c, Point{300, 500}));
}

TEST(PoplineExtraction, EachClickIsOneHashedDotUntilItsCellIsHot) {
    // Each dot heats its cell by 722.5; from 19435 / 0.36 on (the 76th click) none are added.
    const Point p{500, 200};
    std::vector<RawEvent> events;
    for (int i = 0; i < 100; ++i) events.push_back(down(i, p.x, p.y));
    const auto dots = only<ClickDot>(extract1080(events));
    ASSERT_EQ(dots.size(), 75u);
    const uint64_t b = gen::positionHash(49436, p) ^ kGamma;
    EXPECT_TRUE(dots[0].p == p && dots[0].kind == static_cast<int64_t>(gen::rawDraw(b, 1) % 3) &&
                dots[0].seed == gen::positionHash(3335, p));
    EXPECT_DOUBLE_EQ(dots[0].r, (0.4 * gen::draw(b, 2) + 0.85) * 17);
}

TEST(PoplineExtraction, LongStrokesAreCutAtSixHundredPoints) {
    std::vector<RawEvent> events;
    for (int i = 0; i < 700; ++i) {  // a zigzag of 6-unit steps
        const int row = i / 150, col = row % 2 ? 149 - i % 150 : i % 150;
        events.push_back(move(0.01 * i, 10 + 6 * col, 10 + 6 * row));
    }
    const auto tubes = only<Tube>(extract1080(events));
    ASSERT_EQ(tubes.size(), 2u);
    EXPECT_EQ(tubes[0].points.size(), 600u);
    EXPECT_EQ(tubes[1].points.size(), 101u);
    EXPECT_TRUE(tubes[1].points.front() == tubes[0].points.back() && tubes[1].width == tubes[0].width);
}

TEST(PoplineExtraction, TypingTicksStayCentralUntilThePointerShows) {
    std::vector<RawEvent> events;
    for (int i = 0; i < 3000; ++i) events.push_back(keyDown(i, i % 2 ? kRedactedKeyCode : 36));
    events.push_back(move(4000, 900, 100));
    for (int i = 0; i < 50; ++i) events.push_back(keyDown(4001 + i, 0));
    const auto ticks = only<Tick>(extract(outputOf(events).segments, 1920, 1080, 1));
    ASSERT_EQ(ticks.size(), 1550u);  // Return keys make none
    double minX = 1e9, maxX = 0;
    for (size_t i = 0; i < ticks.size(); ++i) {
        // Ticks land 8 to 46 units from their base: the wandering cursor, later the pointer.
        const bool typed = i < 1500;
        if (typed) minX = std::min(minX, ticks[i].p.x), maxX = std::max(maxX, ticks[i].p.x);
        const Rect base = typed ? Rect{192, 108, 1536, 864} : Rect{900, 100, 0, 0};
        EXPECT_TRUE(Rect(base.x - 46, base.y - 46, base.width + 92, base.height + 92).contains(ticks[i].p)) << i;
    }
    EXPECT_LT(minX, 192 + 46);  // the cursor reaches both sides
    EXPECT_GT(maxX, 1728 - 46);
}

TEST(PoplineRenderer, MarksLandAndBandsEqualOneBand) {
    std::vector<RawEvent> events{down(0.5, 400, 150)};
    for (int i = 0; i < 400; ++i) events.push_back(move(1 + 0.02 * i, 100 + 3 * i, 300 + 150 * std::sin(i / 30.0)));
    for (int i = 0; i < 40; ++i) events.push_back(keyDown(10 + i, 0));
    const MaterialEngineOutput out = outputOf(events, 0.2);
    const RgbaImage image = *PoplineRenderer().render(out, 1600, 600);
    EXPECT_GT(image.pixel(250, static_cast<int64_t>(300 + 150 * std::sin(50 / 30.0)))[0], 200);  // tube: cream
    EXPECT_LT(image.pixel(1590, 590)[0], 20);  // far from every mark: ground
    // The marks drawn in bands equal them drawn on the canvas as one band.
    const LogicalCanvas lg = logicalCanvas(1600, 600);
    const auto marks = extract(out.segments, lg.width, lg.height, 1 / lg.k);
    auto banded = Canvas::create(1600, 600), whole = Canvas::create(1600, 600);
    ASSERT_TRUE(drawElements(*banded, marks, lg.k) && drawElements(*whole, marks, lg.k, 600));
    EXPECT_EQ(*banded->toImage(), *whole->toImage());
}

// Ink 110 x 40 / 2000 = 2.2 thins by 1.46 / 2.2 (a fifth at most); doubled strokes end at the budget.
TEST(PoplineTubeInk, BusyTubesThinToTheBudgetAndQuietOnesStayAsTheyAre) {
    std::vector<Element> busy{Tube{{{0, 0}, {30, 40}, {30, 100}}, 40, 0}};
    EXPECT_TRUE(fitTubeInk(busy, 50, 40) == 1.46 / 2.2 && std::get<Tube>(busy[0]).width == 40 * (1.46 / 2.2) &&
                tubeWidthFactor(100) == 0.2);
    SplitMix64 rng(11);
    for (int trial = 0; trial < 20; ++trial) {
        std::vector<Element> once(6, Tube{{}, rng.uniform(26, 46), 0}), twice;
        for (int i = 0; i < 48; ++i) std::get<Tube>(once[i / 8]).points.push_back({rng.uniform(0, 400), rng.uniform(0, 300)});
        const double area = tubeInk(once, 1, 1) * rng.uniform(0.5, 1.2) / 1.46, ink = tubeInk(once, area, 1);
        twice = once, twice.insert(twice.end(), once.begin(), once.end());
        EXPECT_EQ(fitTubeInk(once, area, 1) == 1, ink <= 1.46);  // within the budget: untouched
        EXPECT_NEAR(tubeInk(once, area, 1), std::min(ink, 1.46), ink > 1.46 ? 1e-9 : 0);
        EXPECT_NEAR((fitTubeInk(twice, area, 1), tubeInk(twice, area, 1)), 1.46, 1e-9);
    }
}
