// Expected values are worked out by hand from the formulas.
#include "material/material_engine.h"

#include <gtest/gtest.h>

#include "../test_events.h"

using namespace murmura;
using namespace murmura::test;

namespace {
Segment segmentOf(std::vector<RawEvent> events) {
    Segment s;
    s.startTime = events.front().timestamp;
    s.endTime = events.back().timestamp;
    s.setEvents(std::move(events));
    return s;
}

MaterialEngine engine() {
    return MaterialEngine(InkMaterial{18.0, 8.0, 0.85, VelocityCurve::defaultPreset(), 0.3},
                          MaterialEnergyModel::defaultPreset());
}
}  // namespace

TEST(MaterialFormulas, VelocityCurveEnergyScaleAndClamping) {
    const VelocityCurve c{50, 800, 0.6};
    EXPECT_TRUE(c.normalized(10) == 0.0 && c.normalized(800) == 1.0 && c.normalized(5000) == 1.0);
    EXPECT_NEAR(c.normalized(425), 0.6597539553864471, 1e-12);  // 0.5^0.6

    const MaterialEnergyModel m{150, 0.4, 0.3, 0.5, 0.2};
    EXPECT_TRUE(m.scaleFactor({}) == 1.0 && m.scaleFactor({150}) == 1.0);
    EXPECT_DOUBLE_EQ(m.scaleFactor({100, 200}), 0.5);
    EXPECT_DOUBLE_EQ(m.scaleFactor({1000}), 0.4);  // 0.15 raised to the floor

    const MaterialProperties p(1.5, 0.05, -1, 2);
    EXPECT_TRUE(p.opacity() == 1.0 && p.strokeWidth() == 0.1 && p.spread() == 0.0 && p.noiseIntensity() == 1.0);
    EXPECT_EQ(MaterialProperties(-0.5, 3, 2, -1).opacity(), 0.0);
    // Scaling keeps strokes visible: 0.08 opacity is raised to 0.15, 0.8 width to 1.
    const MaterialProperties s = MaterialProperties(0.2, 2.0, 3.0, 0.4).scaled(0.4);
    EXPECT_TRUE(s.opacity() == 0.15 && s.strokeWidth() == 1.0 && s.noiseIntensity() == 0.4);
    EXPECT_DOUBLE_EQ(s.spread(), 1.2);
    EXPECT_EQ(MaterialProperties(0.9, 10, 1, 0).scaled(2.0).opacity(), 1.0);
}

TEST(MaterialEngine, PropertiesOfSlowFastAndAcceleratingSegments) {
    struct Case {
        std::vector<RawEvent> events;
        double width, spread, opacity, noise, demand;
    };
    const Case cases[] = {
        // One event: no speed, density 1 / 0.1 / 100.
        {{move(3.0, 10, 10)}, 27.0, 4.0, 0.595, 0.1, 0.595 * (0.003 + 1.8)},
        // 1000 units/s: thin and opaque.
        {{move(0.0, 0, 0), move(0.1, 100, 0)}, 0.7 * 18.0, 0.0, 0.85, 0.2, -1},
        // Speeds 100 then 500 u/s: average 60 / 0.2 = 300, peak change 400.
        {{move(0.0, 0, 0), move(0.1, 10, 0), move(0.2, 60, 0)}, 21.897278194631024, 1.9308725681128536,
         0.7269068737828056, 0.162, 1.0689058091077923},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.events.size());
        const Segment s = segmentOf(c.events);
        const MaterialProperties p = engine().properties(s);
        EXPECT_NEAR(p.strokeWidth(), c.width, 1e-9);
        EXPECT_NEAR(p.spread(), c.spread, 1e-9);
        EXPECT_NEAR(p.opacity(), c.opacity, 1e-9);
        EXPECT_NEAR(p.noiseIntensity(), c.noise, 1e-12);
        if (c.demand >= 0) {
            EXPECT_NEAR(engine().energyDemand(s, p), c.demand, 1e-9);
        }
    }
    const SegmentStatistics stats = segmentStatistics(segmentOf(cases[2].events));
    EXPECT_DOUBLE_EQ(stats.averageSpeed, 300.0);
    EXPECT_DOUBLE_EQ(stats.peakSpeed, 500.0);
    EXPECT_DOUBLE_EQ(stats.peakSpeedChange, 400.0);
}

TEST(MaterialEngine, PairsWithoutPositionsOrTimeGiveNoSpeed) {
    RawEvent noPosition = scroll(0.1);
    noPosition.position.reset();
    SegmentStatistics stats = segmentStatistics(segmentOf({move(0.0, 0, 0), noPosition, move(0.2, 100, 0)}));
    EXPECT_TRUE(stats.averageSpeed == 0.0 && stats.peakSpeed == 0.0);
    // Zero-time pairs count distance and time but give no speed.
    stats = segmentStatistics(segmentOf({move(0.0, 0, 0), move(0.0, 30, 40), move(1.0, 30, 40)}));
    EXPECT_DOUBLE_EQ(stats.averageSpeed, 50.0);
    EXPECT_EQ(stats.peakSpeed, 0.0);
}

TEST(MaterialEngine, SilentConditioningFromTheRatio) {
    SilentConditioning c(0.25);
    EXPECT_DOUBLE_EQ(c.canvasGrayLevel, 0.9225);
    EXPECT_DOUBLE_EQ(c.noiseScale, 0.01);
    EXPECT_DOUBLE_EQ(c.compressionSoftness, 0.575);
    SilentConditioning over(1.5);  // only the ratio itself is clamped
    EXPECT_EQ(over.silentRatio, 1.0);
    EXPECT_DOUBLE_EQ(over.canvasGrayLevel, 0.98 - 0.23 * 1.5);
    MaterialEngineOutput empty = engine().process({}, 300);
    EXPECT_TRUE(empty.segments.empty() && empty.energyScaleFactor == 1.0);
    EXPECT_DOUBLE_EQ(empty.conditioning.canvasGrayLevel, 0.75);
}

TEST(MaterialEngine, BudgetScalesEverySegmentOnlyWhenExceeded) {
    std::vector<Segment> segments;
    for (int i = 0; i < 200; ++i) segments.push_back(segmentOf({move(i * 1.0, 0, 0)}));
    MaterialEngineOutput out = engine().process(segments, 300);
    const double f = 150.0 / (200 * 1.072785);
    EXPECT_NEAR(out.energyScaleFactor, f, 1e-12);
    ASSERT_EQ(out.segments.size(), 200u);
    const MaterializedSegment& m = out.segments[7];
    EXPECT_NEAR(m.properties.opacity(), 0.595 * f, 1e-12);
    EXPECT_NEAR(m.properties.strokeWidth(), 27.0 * f, 1e-12);
    EXPECT_NEAR(m.properties.spread(), 4.0 * f, 1e-12);
    EXPECT_NEAR(m.energyDemand, 1.072785 * f, 1e-12);
    EXPECT_EQ(m.segment.startTime, 7.0);  // the segment itself unchanged, input order kept
    EXPECT_DOUBLE_EQ(out.conditioning.silentRatio, 1.0);  // one-event segments cover no time

    out = engine().process({segmentOf({move(0.0, 0, 0), move(30.0, 0, 0)})}, 60);
    EXPECT_EQ(out.energyScaleFactor, 1.0);
    EXPECT_DOUBLE_EQ(out.segments[0].properties.strokeWidth(), 27.0);
    EXPECT_DOUBLE_EQ(out.conditioning.silentRatio, 0.5);
}
