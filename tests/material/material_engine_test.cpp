#include "material/material_engine.h"

#include <gtest/gtest.h>

#include "../test_events.h"

using namespace murmura;
using namespace murmura::test;

namespace {
const InkMaterial kInk{18.0, 8.0, 0.85, VelocityCurve::defaultPreset(), 0.3};

Segment segmentOf(std::vector<RawEvent> events, SegmentType type = SegmentType::moving) {
    Segment s;
    s.startTime = events.front().timestamp;
    s.endTime = events.back().timestamp;
    s.events = std::move(events);
    s.segmentType = type;
    return s;
}

MaterialEngine engine() { return MaterialEngine(kInk, MaterialEnergyModel::defaultPreset()); }
}  // namespace

TEST(VelocityCurve, MapsSlowToZeroAndFastToOne) {
    VelocityCurve c = VelocityCurve::defaultPreset();
    EXPECT_EQ(c.normalized(10), 0.0);
    EXPECT_EQ(c.normalized(50), 0.0);
    EXPECT_EQ(c.normalized(800), 1.0);
    EXPECT_EQ(c.normalized(5000), 1.0);
    EXPECT_NEAR(c.normalized(425), 0.6597539553864471, 1e-12);  // 0.5^0.6
    EXPECT_EQ(VelocityCurve::responsive(), (VelocityCurve{30, 500, 0.5}));
    EXPECT_EQ(VelocityCurve::smooth(), (VelocityCurve{100, 1000, 0.7}));
}

TEST(MaterialEnergyModel, Presets) {
    EXPECT_EQ(MaterialEnergyModel::defaultPreset(), (MaterialEnergyModel{150, 0.4, 0.3, 0.5, 0.2}));
    EXPECT_EQ(MaterialEnergyModel::conservative(), (MaterialEnergyModel{100, 0.5, 0.2, 0.6, 0.2}));
    EXPECT_EQ(MaterialEnergyModel::generous(), (MaterialEnergyModel{200, 0.3, 0.4, 0.4, 0.2}));
}

TEST(MaterialEnergyModel, ScaleFactorAndItsFloor) {
    MaterialEnergyModel m = MaterialEnergyModel::defaultPreset();
    EXPECT_EQ(m.scaleFactor({}), 1.0);
    EXPECT_EQ(m.scaleFactor({150}), 1.0);  // at capacity: no scaling
    EXPECT_DOUBLE_EQ(m.scaleFactor({100, 200}), 0.5);
    EXPECT_DOUBLE_EQ(m.scaleFactor({1000}), 0.4);  // 0.15 raised to the floor
}

TEST(MaterialProperties, InitialiserClamps) {
    MaterialProperties p(1.5, 0.05, -1, 2);
    EXPECT_EQ(p.opacity(), 1.0);
    EXPECT_EQ(p.strokeWidth(), 0.1);
    EXPECT_EQ(p.spread(), 0.0);
    EXPECT_EQ(p.noiseIntensity(), 1.0);
    MaterialProperties q(-0.5, 3, 2, -1);
    EXPECT_EQ(q.opacity(), 0.0);
    EXPECT_EQ(q.noiseIntensity(), 0.0);
}

TEST(MaterialProperties, ScalingKeepsStrokesVisible) {
    MaterialProperties p(0.2, 2.0, 3.0, 0.4);
    MaterialProperties s = p.scaled(0.4);
    EXPECT_EQ(s.opacity(), 0.15);     // 0.08 raised
    EXPECT_EQ(s.strokeWidth(), 1.0);  // 0.8 raised
    EXPECT_DOUBLE_EQ(s.spread(), 1.2);
    EXPECT_EQ(s.noiseIntensity(), 0.4);
    EXPECT_EQ(MaterialProperties(0.9, 10, 1, 0).scaled(2.0).opacity(), 1.0);
}

TEST(MaterialEngine, OneEventSegment) {
    Segment s = segmentOf({move(3.0, 10, 10)});
    MaterialProperties p = engine().properties(s);
    EXPECT_DOUBLE_EQ(p.strokeWidth(), 27.0);
    EXPECT_DOUBLE_EQ(p.spread(), 4.0);
    EXPECT_DOUBLE_EQ(p.opacity(), 0.595);
    EXPECT_DOUBLE_EQ(p.noiseIntensity(), 0.1);  // density 1 / 0.1 / 100
    EXPECT_NEAR(engine().energyDemand(s, p), 0.595 * (0.003 + 1.8), 1e-12);
}

TEST(MaterialEngine, FastSegmentIsThinAndOpaque) {
    Segment s = segmentOf({move(0.0, 0, 0), move(0.1, 100, 0)});  // 1000 units/s
    MaterialProperties p = engine().properties(s);
    EXPECT_DOUBLE_EQ(p.strokeWidth(), 0.7 * 18.0);
    EXPECT_DOUBLE_EQ(p.spread(), 0.0);
    EXPECT_DOUBLE_EQ(p.opacity(), 0.85);
    EXPECT_DOUBLE_EQ(p.noiseIntensity(), 0.2);
}

TEST(MaterialEngine, AccelerationWidensStrokes) {
    // Speeds 100 then 500 u/s: average 60 / 0.2 = 300, peak change 400.
    Segment s = segmentOf({move(0.0, 0, 0), move(0.1, 10, 0), move(0.2, 60, 0)});
    SegmentStatistics stats = segmentStatistics(s);
    EXPECT_DOUBLE_EQ(stats.averageSpeed, 300.0);
    EXPECT_DOUBLE_EQ(stats.peakSpeed, 500.0);
    EXPECT_DOUBLE_EQ(stats.peakSpeedChange, 400.0);
    MaterialProperties p = engine().properties(s);
    EXPECT_NEAR(p.strokeWidth(), 21.897278194631024, 1e-9);
    EXPECT_NEAR(p.spread(), 1.9308725681128536, 1e-9);
    EXPECT_NEAR(p.opacity(), 0.7269068737828056, 1e-9);
    EXPECT_NEAR(p.noiseIntensity(), 0.162, 1e-12);
    EXPECT_NEAR(engine().energyDemand(s, p), 1.0689058091077923, 1e-9);
}

TEST(MaterialEngine, PairsWithoutPositionsAddNothing) {
    RawEvent noPosition = scroll(0.1);
    noPosition.position.reset();
    Segment s = segmentOf({move(0.0, 0, 0), noPosition, move(0.2, 100, 0)});
    SegmentStatistics stats = segmentStatistics(s);
    EXPECT_EQ(stats.averageSpeed, 0.0);
    EXPECT_EQ(stats.peakSpeed, 0.0);
    // Zero-time pairs count distance and time but give no speed.
    Segment z = segmentOf({move(0.0, 0, 0), move(0.0, 30, 40), move(1.0, 30, 40)});
    stats = segmentStatistics(z);
    EXPECT_DOUBLE_EQ(stats.averageSpeed, 50.0);
    EXPECT_EQ(stats.peakSpeed, 0.0);
}

TEST(SilentConditioning, DerivedFromRatio) {
    SilentConditioning c(0.25);
    EXPECT_DOUBLE_EQ(c.silentRatio, 0.25);
    EXPECT_DOUBLE_EQ(c.canvasGrayLevel, 0.9225);
    EXPECT_DOUBLE_EQ(c.noiseScale, 0.01);
    EXPECT_DOUBLE_EQ(c.compressionSoftness, 0.575);
    EXPECT_DOUBLE_EQ(SilentConditioning(1.0).canvasGrayLevel, 0.75);
    EXPECT_DOUBLE_EQ(SilentConditioning(0.0).canvasGrayLevel, 0.98);
    SilentConditioning over(1.5);  // only the ratio itself is clamped
    EXPECT_EQ(over.silentRatio, 1.0);
    EXPECT_DOUBLE_EQ(over.canvasGrayLevel, 0.98 - 0.23 * 1.5);
}

TEST(MaterialEngine, EmptySessionIsFullySilent) {
    MaterialEngineOutput out = engine().process({}, 300);
    EXPECT_TRUE(out.segments.empty());
    EXPECT_EQ(out.energyScaleFactor, 1.0);
    EXPECT_EQ(out.conditioning.silentRatio, 1.0);
    EXPECT_DOUBLE_EQ(out.conditioning.canvasGrayLevel, 0.75);
}

TEST(MaterialEngine, BudgetScalesEverySegment) {
    std::vector<Segment> segments;
    for (int i = 0; i < 200; ++i) segments.push_back(segmentOf({move(i * 1.0, 0, 0)}));
    MaterialEngineOutput out = engine().process(segments, 300);
    const double f = 150.0 / (200 * 1.072785);
    EXPECT_NEAR(out.energyScaleFactor, f, 1e-12);
    ASSERT_EQ(out.segments.size(), 200u);
    EXPECT_NEAR(out.segments[7].properties.opacity(), 0.595 * f, 1e-12);
    EXPECT_NEAR(out.segments[7].properties.strokeWidth(), 27.0 * f, 1e-12);
    EXPECT_NEAR(out.segments[7].properties.spread(), 4.0 * f, 1e-12);
    EXPECT_NEAR(out.segments[7].energyDemand, 1.072785 * f, 1e-12);
    EXPECT_EQ(out.segments[7].segment.startTime, 7.0);  // segment itself unchanged, input order kept
    // The conditioning comes from the unscaled segments: 200 one-event segments, no covered time.
    EXPECT_DOUBLE_EQ(out.conditioning.silentRatio, 1.0);
}

TEST(MaterialEngine, NoScalingUnderBudget) {
    std::vector<Segment> segments = {segmentOf({move(0.0, 0, 0), move(30.0, 0, 0)})};
    MaterialEngineOutput out = engine().process(segments, 60);
    EXPECT_EQ(out.energyScaleFactor, 1.0);
    EXPECT_DOUBLE_EQ(out.segments[0].properties.strokeWidth(), 27.0);
    EXPECT_DOUBLE_EQ(out.conditioning.silentRatio, 0.5);
}
