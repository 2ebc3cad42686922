#pragma once
// Classifies a time-ordered event stream into resting, moving, pausing, breaking off and
// discrete actions.
#include <optional>
#include <string_view>

#include "session/raw_event.h"

namespace murmura {

// `break` is spelled break_ because it is a C++ keyword; its raw value is "break".
enum class GestureState { idle, moving, paused, break_, discrete };

std::string_view rawValue(GestureState state);
std::optional<GestureState> gestureStateFromRaw(std::string_view raw);

struct GestureThresholds {
    double pauseThreshold = 1.0;          // seconds without events: paused
    double breakThreshold = 10.0;         // seconds without events: broken off; largest gap in a segment
    double minimumVelocity = 5.0;         // units per second at or above which the pointer moves
    double discreteDecayThreshold = 0.5;  // seconds after a discrete action before falling back to idle

    // Presets. `default` is a C++ keyword, hence defaultPreset().
    static constexpr GestureThresholds defaultPreset() { return {1.0, 10.0, 5.0, 0.5}; }
    static constexpr GestureThresholds responsive() { return {0.5, 5.0, 3.0, 0.3}; }
    static constexpr GestureThresholds relaxed() { return {2.0, 15.0, 10.0, 1.0}; }

    friend bool operator==(const GestureThresholds&, const GestureThresholds&) = default;
};

class GestureStateMachine {
public:
    explicit GestureStateMachine(const GestureThresholds& thresholds = GestureThresholds::defaultPreset())
        : thresholds_(thresholds) {}

    // Feeds one event (in recorded order) and returns the state after it.
    GestureState process(const RawEvent& event);
    // Applies time-outs at a moment without events.
    void update(double currentTime);
    void reset();

    GestureState currentState() const { return currentState_; }
    const GestureThresholds& thresholds() const { return thresholds_; }
    double lastEventTime() const { return lastEventTime_; }
    const std::optional<Point>& lastPosition() const { return lastPosition_; }
    double lastVelocity() const { return lastVelocity_; }

private:
    GestureState currentState_ = GestureState::idle;
    GestureThresholds thresholds_;
    double lastEventTime_ = 0;
    std::optional<Point> lastPosition_;
    double lastVelocity_ = 0;
};

}  // namespace murmura
