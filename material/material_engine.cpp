#include "material/material_engine.h"

#include <algorithm>
#include <cmath>

namespace murmura {

double VelocityCurve::normalized(double velocity) const {
    const double clamped = std::min(std::max(velocity, slowThreshold), fastThreshold);
    return std::pow((clamped - slowThreshold) / (fastThreshold - slowThreshold), gamma);
}

double MaterialEnergyModel::scaleFactor(const std::vector<double>& demands) const {
    double total = 0;
    for (double d : demands) total += d;
    if (total > totalCapacity) return std::max(totalCapacity / total, minimumScaleFactor);
    return 1.0;
}

MaterialProperties::MaterialProperties(double opacity, double strokeWidth, double spread, double noiseIntensity)
    : opacity_(std::clamp(opacity, 0.0, 1.0)),
      strokeWidth_(std::max(strokeWidth, 0.1)),
      spread_(std::max(spread, 0.0)),
      noiseIntensity_(std::clamp(noiseIntensity, 0.0, 1.0)) {}

MaterialProperties MaterialProperties::scaled(double f) const {
    return MaterialProperties(std::min(std::max(f * opacity_, 0.15), 1.0), std::max(f * strokeWidth_, 1.0),
                              std::max(f * spread_, 0.0), noiseIntensity_);
}

SilentConditioning::SilentConditioning(double r)
    : silentRatio(std::clamp(r, 0.0, 1.0)),
      canvasGrayLevel(0.98 - 0.23 * r),
      noiseScale(0.04 * r),
      compressionSoftness(0.5 + 0.3 * r) {}

SilentConditioning SilentConditioningBuilder::build(const std::vector<Segment>& segments,
                                                    double sessionDuration) const {
    const auto spans = silentSpanBuilder_.build(segments, sessionDuration);
    return SilentConditioning(silentSpanBuilder_.silentRatio(spans, sessionDuration));
}

SegmentStatistics segmentStatistics(const Segment& segment) {
    SegmentStatistics stats;
    const auto& events = segment.events;
    if (events.size() < 2) return stats;
    double totalDistance = 0;
    double totalTime = 0;
    double previousSpeed = 0;
    size_t speedCount = 0;
    for (size_t i = 1; i < events.size(); ++i) {
        const auto& a = events[i - 1];
        const auto& b = events[i];
        if (!a.position || !b.position) continue;
        const double dist = distance(*a.position, *b.position);
        const double dt = b.timestamp - a.timestamp;
        totalDistance += dist;
        totalTime += dt;
        if (dt > 0) {
            const double speed = dist / dt;
            stats.peakSpeed = speedCount == 0 ? speed : std::max(stats.peakSpeed, speed);
            if (speedCount > 0) stats.peakSpeedChange = std::max(stats.peakSpeedChange, std::abs(speed - previousSpeed));
            previousSpeed = speed;
            ++speedCount;
        }
    }
    stats.averageSpeed = totalTime > 0 ? totalDistance / totalTime : 0;
    return stats;
}

MaterialProperties MaterialEngine::properties(const Segment& segment) const {
    const InkMaterial& m = inkMaterial_;
    const SegmentStatistics stats = segmentStatistics(segment);
    const double t = m.velocityCurve.normalized(stats.averageSpeed);
    const double a = stats.peakSpeedChange * m.accelerationSensitivity / 1000.0;
    const double strokeWidth = m.baseStrokeWidth * (1.5 - 0.8 * t) * (1.0 + std::min(a, 0.5));
    const double spread = (1.0 - t) * m.maxSpread * 0.5;
    const double opacity = (0.7 + 0.3 * t) * m.baseOpacity;
    const double density = static_cast<double>(segment.eventCount()) / std::max(segment.duration(), 0.1) / 100.0;
    const double noise = std::min(density, 0.3) + std::min(0.1 * a, 0.1);
    return MaterialProperties(opacity, strokeWidth, spread, noise);
}

double MaterialEngine::energyDemand(const Segment& segment, const MaterialProperties& p) const {
    const MaterialEnergyModel& e = energyModel_;
    return p.opacity() * (e.eventWeight * static_cast<double>(segment.eventCount()) / 100.0 +
                          e.durationWeight * segment.duration() / 60.0 + e.widthWeight * p.strokeWidth() / 3.0);
}

MaterialEngineOutput MaterialEngine::process(const std::vector<Segment>& segments, double sessionDuration) const {
    MaterialEngineOutput output;
    output.segments.reserve(segments.size());
    std::vector<double> demands;
    demands.reserve(segments.size());
    for (const Segment& s : segments) {
        MaterialProperties p = properties(s);
        const double demand = energyDemand(s, p);
        output.segments.push_back(MaterializedSegment{s, p, demand});
        demands.push_back(demand);
    }
    const double factor = energyModel_.scaleFactor(demands);
    if (factor < 1.0) {
        for (auto& m : output.segments) {
            m.properties = m.properties.scaled(factor);
            m.energyDemand *= factor;
        }
    }
    output.conditioning = conditioningBuilder_.build(segments, sessionDuration);
    output.energyScaleFactor = factor;
    return output;
}

Json encode(const MaterialProperties& p) {
    Json j = Json::object();
    j["opacity"] = p.opacity();
    j["strokeWidth"] = p.strokeWidth();
    j["spread"] = p.spread();
    j["noiseIntensity"] = p.noiseIntensity();
    return j;
}

Json encode(const SilentConditioning& c) {
    Json j = Json::object();
    j["silentRatio"] = c.silentRatio;
    j["canvasGrayLevel"] = c.canvasGrayLevel;
    j["noiseScale"] = c.noiseScale;
    j["compressionSoftness"] = c.compressionSoftness;
    return j;
}

Json encode(const MaterialEngineOutput& output) {
    Json segments = Json::array();
    for (const auto& m : output.segments) {
        Json s = Json::object();
        s["startTime"] = m.segment.startTime;
        s["endTime"] = m.segment.endTime;
        s["segmentType"] = rawValue(m.segment.segmentType);
        s["eventCount"] = m.segment.eventCount();
        s["properties"] = encode(m.properties);
        s["energyDemand"] = m.energyDemand;
        segments.push_back(std::move(s));
    }
    Json j = Json::object();
    j["segments"] = std::move(segments);
    j["energyScaleFactor"] = output.energyScaleFactor;
    j["conditioning"] = encode(output.conditioning);
    return j;
}

}  // namespace murmura
