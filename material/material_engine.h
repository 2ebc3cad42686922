#pragma once
// Turns gesture segments into ink material under one global ink budget, and the session's
// silences into a conditioning of the blank canvas.
#include <vector>

#include "gesture/segment.h"

namespace murmura {

struct VelocityCurve {
    double slowThreshold = 50.0;
    double fastThreshold = 800.0;
    double gamma = 0.6;

    static constexpr VelocityCurve defaultPreset() { return {50.0, 800.0, 0.6}; }
    static constexpr VelocityCurve responsive() { return {30.0, 500.0, 0.5}; }
    static constexpr VelocityCurve smooth() { return {100.0, 1000.0, 0.7}; }

    // Maps slow movement to 0 and fast movement to 1.
    double normalized(double velocity) const;
    friend bool operator==(const VelocityCurve&, const VelocityCurve&) = default;
};

struct InkMaterial {
    double baseStrokeWidth = 18.0;
    double maxSpread = 8.0;
    double baseOpacity = 0.85;
    VelocityCurve velocityCurve = VelocityCurve::defaultPreset();
    double accelerationSensitivity = 0.3;
    friend bool operator==(const InkMaterial&, const InkMaterial&) = default;
};

struct MaterialEnergyModel {
    double totalCapacity = 150.0;
    double minimumScaleFactor = 0.4;
    double eventWeight = 0.3;
    double durationWeight = 0.5;
    double widthWeight = 0.2;

    static constexpr MaterialEnergyModel defaultPreset() { return {150.0, 0.4, 0.3, 0.5, 0.2}; }
    static constexpr MaterialEnergyModel conservative() { return {100.0, 0.5, 0.2, 0.6, 0.2}; }
    static constexpr MaterialEnergyModel generous() { return {200.0, 0.3, 0.4, 0.4, 0.2}; }

    // The global ink budget factor for the given demands: at most 1, at least the floor.
    double scaleFactor(const std::vector<double>& demands) const;
    friend bool operator==(const MaterialEnergyModel&, const MaterialEnergyModel&) = default;
};

class MaterialProperties {
public:
    // Always clamps: opacity and noise to [0, 1], width to at least 0.1, spread to at least 0.
    MaterialProperties(double opacity, double strokeWidth, double spread, double noiseIntensity);

    double opacity() const { return opacity_; }
    double strokeWidth() const { return strokeWidth_; }
    double spread() const { return spread_; }
    double noiseIntensity() const { return noiseIntensity_; }

    // Applies the ink budget factor, keeping every stroke visible (opacity >= 0.15, width >= 1).
    MaterialProperties scaled(double scale) const;
    friend bool operator==(const MaterialProperties&, const MaterialProperties&) = default;

private:
    double opacity_;
    double strokeWidth_;
    double spread_;
    double noiseIntensity_;
};

struct MaterializedSegment {
    Segment segment;
    MaterialProperties properties;
    double energyDemand = 0;
};

struct SilentConditioning {
    SilentConditioning() = default;
    // Derives the other fields from the silent ratio as computed (unclamped).
    explicit SilentConditioning(double silentRatio);

    double silentRatio = 0;  // clamped to [0, 1]
    double canvasGrayLevel = 0.98;
    double noiseScale = 0;
    double compressionSoftness = 0.5;
    friend bool operator==(const SilentConditioning&, const SilentConditioning&) = default;
};

class SilentConditioningBuilder {
public:
    SilentConditioning build(const std::vector<Segment>& segments, double sessionDuration) const;
    const SilentSpanBuilder& silentSpanBuilder() const { return silentSpanBuilder_; }

private:
    SilentSpanBuilder silentSpanBuilder_;
};

struct MaterialEngineOutput {
    std::vector<MaterializedSegment> segments;  // in the order of the input segments
    SilentConditioning conditioning;
    double energyScaleFactor = 1.0;  // at most 1
};

// Speed statistics of one segment's events.
struct SegmentStatistics {
    double averageSpeed = 0;
    double peakSpeed = 0;
    double peakSpeedChange = 0;
};
SegmentStatistics segmentStatistics(const Segment& segment);

class MaterialEngine {
public:
    MaterialEngine(const InkMaterial& inkMaterial, const MaterialEnergyModel& energyModel)
        : inkMaterial_(inkMaterial), energyModel_(energyModel) {}

    MaterialEngineOutput process(const std::vector<Segment>& segments, double sessionDuration) const;

    // The unscaled properties and energy demand of one segment.
    MaterialProperties properties(const Segment& segment) const;
    double energyDemand(const Segment& segment, const MaterialProperties& properties) const;

    const InkMaterial& inkMaterial() const { return inkMaterial_; }
    const MaterialEnergyModel& energyModel() const { return energyModel_; }
    const SilentConditioningBuilder& conditioningBuilder() const { return conditioningBuilder_; }

private:
    InkMaterial inkMaterial_;
    MaterialEnergyModel energyModel_;
    SilentConditioningBuilder conditioningBuilder_;
};

Json encode(const MaterialProperties& properties);
Json encode(const SilentConditioning& conditioning);
// Per segment its times, type, event count, properties and demand (events left out), the
// scale factor and the conditioning.
Json encode(const MaterialEngineOutput& output);

}  // namespace murmura
