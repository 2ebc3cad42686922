#pragma once
// A loaded ink brush following the pointer: per event, the brush's next state and the drawing
// parameters of that moment (size, opacity, dry-brush erosion, pooling, splatter, drying).
// Pure arithmetic: the caller owns the state and threads it from one event to the next.
#include <optional>
#include <vector>

#include "support/geometry.h"

namespace murmura {

template <class T>
struct ClosedRange {
    T lo{};
    T hi{};
    friend bool operator==(const ClosedRange&, const ClosedRange&) = default;
};

struct InkPhysicsConfig {
    float depletionRate = 0;           // ink lost per unit moved in contact
    float flyingWhiteThreshold = 0;    // below this level the stroke breaks up (dry brush)
    float minimumInkLevel = 0;         // floor under depletion
    double dwellDistanceThreshold = 0; // largest move that still counts as dwelling
    double minimumDwellDuration = 0;   // seconds of dwell before recharging
    float rechargeRate = 0;            // ink per second while dwelling
    double dwellPoolingDelay = 0;      // seconds of dwell before ink pools
    float maxPoolingAmount = 0;
    double silenceThreshold = 0;       // seconds of silence before the canvas dries
    float baseDryingRate = 0;          // drying per second beyond the threshold
    float maxDryingIntensity = 0;
    double splatterVelocityThreshold = 0;      // units per second
    double splatterAccelerationThreshold = 0;  // units per second per second
    ClosedRange<double> brushSizeRange;
    ClosedRange<double> alphaRange;
    ClosedRange<float> erosionRange;
    friend bool operator==(const InkPhysicsConfig&, const InkPhysicsConfig&) = default;
};

struct BrushState {
    float inkLevel = 1;                  // 1 = full
    std::optional<Point> lastPosition;   // of the last active event
    double lastActivityTime = 0;         // timestamp of the last event processed
    double dwellTime = 0;                // accumulated since the dwell began recharging
    std::optional<double> dwellStartTime;
    bool isInContact = false;
    Vector velocity;                     // at the last active event
    friend bool operator==(const BrushState&, const BrushState&) = default;
};

struct InkDrawParameters {
    BrushState newState;
    double brushSize = 0;
    double alpha = 0;
    float erosionStrength = 0;
    float poolingAmount = 0;
    bool isSplatter = false;
    bool isFlyingWhite = false;
    bool isPooling = false;
    bool triggerGlobalDrying = false;
    float dryingIntensity = 0;
    friend bool operator==(const InkDrawParameters&, const InkDrawParameters&) = default;
};

struct InkSequenceEntry {
    std::optional<Point> position;
    double timestamp = 0;
    bool isInContact = false;
    bool isActive = false;
};

class InkStateCalculator {
public:
    explicit InkStateCalculator(const InkPhysicsConfig& config) : config_(config) {}

    const InkPhysicsConfig& config() const { return config_; }

    // isActive: whether the event counts (the renderer passes its in-scope flag). An event
    // without a position is never active.
    InkDrawParameters calculate(std::optional<Point> position, bool isInContact, bool isActive,
                                const BrushState& state, double timestamp) const;

    // calculate over the entries in turn, threading the state.
    std::vector<InkDrawParameters> calculateSequence(const BrushState& initial,
                                                     const std::vector<InkSequenceEntry>& entries) const;

private:
    InkPhysicsConfig config_;
};

}  // namespace murmura
