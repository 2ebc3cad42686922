#include "gesture/gesture_state_machine.h"

namespace murmura {

std::string_view rawValue(GestureState state) {
    switch (state) {
        case GestureState::idle: return "idle";
        case GestureState::moving: return "moving";
        case GestureState::paused: return "paused";
        case GestureState::break_: return "break";
        case GestureState::discrete: return "discrete";
    }
    return "";
}

std::optional<GestureState> gestureStateFromRaw(std::string_view raw) {
    for (GestureState s : {GestureState::idle, GestureState::moving, GestureState::paused, GestureState::break_,
                           GestureState::discrete})
        if (rawValue(s) == raw) return s;
    return std::nullopt;
}

GestureState GestureStateMachine::process(const RawEvent& event) {
    switch (event.type) {
        case EventType::appBecameActive:
        case EventType::appResignedActive:
            return currentState_;
        case EventType::mouseDown:
        case EventType::mouseUp:
        case EventType::keyDown:
        case EventType::keyUp:
            currentState_ = GestureState::discrete;
            lastEventTime_ = event.timestamp;
            lastPosition_ = event.position;
            return currentState_;
        case EventType::scrollWheel:
            currentState_ = GestureState::discrete;
            lastEventTime_ = event.timestamp;
            return currentState_;
        case EventType::mouseMove:
        case EventType::mouseDragged:
            break;
    }

    const double dt = event.timestamp - lastEventTime_;
    double v = 0;
    if (event.position && lastPosition_ && dt > 0) v = distance(*event.position, *lastPosition_) / dt;

    const auto& t = thresholds_;
    const bool fast = v >= t.minimumVelocity;
    GestureState next = currentState_;
    switch (currentState_) {
        case GestureState::idle:
            next = fast ? GestureState::moving : GestureState::idle;
            break;
        case GestureState::moving:
            if (fast) next = GestureState::moving;
            else if (dt >= t.breakThreshold) next = GestureState::break_;
            else if (dt >= t.pauseThreshold) next = GestureState::paused;
            else next = GestureState::moving;
            break;
        case GestureState::paused:
            if (fast) next = GestureState::moving;
            else if (dt >= t.breakThreshold) next = GestureState::break_;
            else next = GestureState::paused;
            break;
        case GestureState::break_:
            next = fast ? GestureState::moving : GestureState::break_;
            break;
        case GestureState::discrete:
            next = fast ? GestureState::moving : GestureState::idle;
            break;
    }

    currentState_ = next;
    lastEventTime_ = event.timestamp;
    lastPosition_ = event.position;
    lastVelocity_ = v;
    return next;
}

void GestureStateMachine::update(double currentTime) {
    const double dt = currentTime - lastEventTime_;
    const auto& t = thresholds_;
    if ((currentState_ == GestureState::moving || currentState_ == GestureState::paused) && dt >= t.breakThreshold)
        currentState_ = GestureState::break_;
    else if (currentState_ == GestureState::moving && dt >= t.pauseThreshold)
        currentState_ = GestureState::paused;
    else if (currentState_ == GestureState::discrete && dt >= t.discreteDecayThreshold)
        currentState_ = GestureState::idle;
}

void GestureStateMachine::reset() {
    currentState_ = GestureState::idle;
    lastEventTime_ = 0;
    lastPosition_.reset();
    lastVelocity_ = 0;
}

}  // namespace murmura
