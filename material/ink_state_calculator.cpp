#include "material/ink_state_calculator.h"

#include <algorithm>
#include <cmath>

namespace murmura {

InkDrawParameters InkStateCalculator::calculate(std::optional<Point> position, bool isInContact, bool isActive,
                                                const BrushState& state, double timestamp) const {
    const InkPhysicsConfig& c = config_;
    InkDrawParameters out;
    BrushState next = state;
    float ink = state.inkLevel;
    const double dt = timestamp - state.lastActivityTime;
    const bool active = position.has_value() && isActive;

    // An active event never dries the canvas; a silence beyond the threshold does.
    const double silence = active ? 0.0 : dt;
    if (silence > c.silenceThreshold) {
        out.dryingIntensity =
            std::min(c.baseDryingRate * static_cast<float>(silence - c.silenceThreshold), c.maxDryingIntensity);
        out.triggerGlobalDrying = true;
    }

    if (!active) {
        next.dwellTime = 0;
        next.isInContact = false;
        next.lastActivityTime = timestamp;
    } else {
        const Point p = *position;
        double d = 0;
        Vector vel;
        double acc = 0;
        if (state.lastPosition) {
            const Point q = *state.lastPosition;
            d = std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y));
            if (dt > 0) {
                vel = {(p.x - q.x) / dt, (p.y - q.y) / dt};
                const double speed = std::sqrt(vel.dx * vel.dx + vel.dy * vel.dy);
                const double lastSpeed =
                    std::sqrt(state.velocity.dx * state.velocity.dx + state.velocity.dy * state.velocity.dy);
                acc = std::abs(speed - lastSpeed) / dt;
            }
        }

        if (isInContact && d < c.dwellDistanceThreshold) {
            const double start = state.dwellStartTime.value_or(timestamp);
            next.dwellStartTime = start;
            if (timestamp - start >= c.minimumDwellDuration) {
                next.dwellTime = state.dwellTime + dt;
                // Recharging stops at 0.75; a fuller brush keeps its level.
                ink = std::min(ink + c.rechargeRate * static_cast<float>(dt), std::max(ink, 0.75f));
                if (next.dwellTime > c.dwellPoolingDelay)
                    out.poolingAmount = std::min(
                        static_cast<float>(next.dwellTime - c.dwellPoolingDelay) * 0.5f * ink, c.maxPoolingAmount);
                out.isPooling = out.poolingAmount > 0;
            }
        } else if (d > c.dwellDistanceThreshold) {
            next.dwellStartTime.reset();
            next.dwellTime = 0;
            if (isInContact) ink = std::max(ink - c.depletionRate * static_cast<float>(d), c.minimumInkLevel);
        } else {
            next.dwellStartTime.reset();
        }

        const double speed = std::sqrt(vel.dx * vel.dx + vel.dy * vel.dy);
        out.isSplatter = speed > c.splatterVelocityThreshold || acc > c.splatterAccelerationThreshold;
        next.lastPosition = p;
        next.velocity = vel;
        next.isInContact = isInContact;
        next.lastActivityTime = timestamp;
        next.inkLevel = ink;
    }

    const double inkD = static_cast<double>(ink);
    out.brushSize = c.brushSizeRange.lo + (c.brushSizeRange.hi - c.brushSizeRange.lo) * inkD * inkD;
    out.alpha = c.alphaRange.lo + std::sqrt(inkD) * (c.alphaRange.hi - c.alphaRange.lo);
    const float dry = 1.0f - ink;
    out.erosionStrength = c.erosionRange.lo + dry * dry * dry * (c.erosionRange.hi - c.erosionRange.lo);
    out.isFlyingWhite = ink < c.flyingWhiteThreshold;
    out.newState = next;
    return out;
}

std::vector<InkDrawParameters> InkStateCalculator::calculateSequence(
    const BrushState& initial, const std::vector<InkSequenceEntry>& entries) const {
    std::vector<InkDrawParameters> out;
    out.reserve(entries.size());
    BrushState state = initial;
    for (const InkSequenceEntry& e : entries) {
        out.push_back(calculate(e.position, e.isInContact, e.isActive, state, e.timestamp));
        state = out.back().newState;
    }
    return out;
}

}  // namespace murmura
