#include "gesture/gesture_state_machine.h"

#include <gtest/gtest.h>

#include "../test_events.h"

using namespace murmura;
using namespace murmura::test;

TEST(GestureState, RawValues) {
    EXPECT_EQ(rawValue(GestureState::break_), "break");
    EXPECT_EQ(gestureStateFromRaw("paused"), GestureState::paused);
    EXPECT_FALSE(gestureStateFromRaw("Paused"));
}

TEST(GestureThresholds, Presets) {
    EXPECT_EQ(GestureThresholds::defaultPreset(), (GestureThresholds{1.0, 10.0, 5.0, 0.5}));
    EXPECT_EQ(GestureThresholds::responsive(), (GestureThresholds{0.5, 5.0, 3.0, 0.3}));
    EXPECT_EQ(GestureThresholds::relaxed(), (GestureThresholds{2.0, 15.0, 10.0, 1.0}));
}

TEST(GestureStateMachine, FirstMotionEventHasNoVelocity) {
    GestureStateMachine m;
    EXPECT_EQ(m.process(move(0.5, 100, 100)), GestureState::idle);
    EXPECT_EQ(m.lastVelocity(), 0);
    // 10 units in 0.1 s = 100 u/s
    EXPECT_EQ(m.process(move(0.6, 106, 108)), GestureState::moving);
    EXPECT_NEAR(m.lastVelocity(), 100.0, 1e-9);
}

TEST(GestureStateMachine, VelocityExactlyAtMinimumCountsAsMoving) {
    GestureStateMachine m;
    m.process(move(1.0, 0, 0));
    EXPECT_EQ(m.process(move(2.0, 5, 0)), GestureState::moving);  // 5 u/s
    GestureStateMachine slow;
    slow.process(move(1.0, 0, 0));
    EXPECT_EQ(slow.process(move(2.0, 4.999, 0)), GestureState::idle);
}

TEST(GestureStateMachine, SameTimestampGivesZeroVelocity) {
    GestureStateMachine m;
    m.process(move(1.0, 0, 0));
    EXPECT_EQ(m.process(move(1.0, 500, 0)), GestureState::idle);
    EXPECT_EQ(m.lastVelocity(), 0);
}

TEST(GestureStateMachine, MotionWithoutPositionClearsLastPosition) {
    GestureStateMachine m;
    m.process(move(1.0, 0, 0));
    m.process(event(EventType::mouseMove, 1.1, std::nullopt));
    EXPECT_FALSE(m.lastPosition());
    EXPECT_EQ(m.process(move(1.2, 500, 0)), GestureState::idle);  // still no previous position
    EXPECT_EQ(m.lastVelocity(), 0);
}

TEST(GestureStateMachine, PauseAndBreakOnSlowEventsAfterGaps) {
    GestureStateMachine m;
    m.process(move(0.0, 0, 0));
    m.process(move(0.1, 10, 0));
    ASSERT_EQ(m.currentState(), GestureState::moving);
    EXPECT_EQ(m.process(move(1.1, 10, 0)), GestureState::paused);  // dt = 1.0 exactly
    GestureStateMachine b;
    b.process(move(0.0, 0, 0));
    b.process(move(0.1, 10, 0));
    EXPECT_EQ(b.process(move(10.1, 10, 1)), GestureState::break_);  // 0.1 u/s after 10 s
    EXPECT_EQ(b.process(move(10.2, 10, 1)), GestureState::break_);  // stays until fast
    EXPECT_EQ(b.process(move(10.3, 40, 1)), GestureState::moving);
}

TEST(GestureStateMachine, FastResumeAfterLongGapStaysMoving) {
    GestureStateMachine m;
    m.process(move(0.0, 0, 0));
    m.process(move(0.1, 10, 0));
    // 200 units in 20 s = 10 u/s: the velocity test comes before the gap tests.
    EXPECT_EQ(m.process(move(20.1, 210, 0)), GestureState::moving);
}

TEST(GestureStateMachine, PausedGoesToBreakOrBackToMoving) {
    GestureStateMachine m;
    m.process(move(0.0, 0, 0));
    m.process(move(0.1, 10, 0));
    m.process(move(1.5, 10, 0));
    ASSERT_EQ(m.currentState(), GestureState::paused);
    EXPECT_EQ(m.process(move(2.0, 10, 0)), GestureState::paused);
    EXPECT_EQ(m.process(move(12.0, 10, 0)), GestureState::break_);
}

TEST(GestureStateMachine, DiscreteEventsAndDecay) {
    GestureStateMachine m;
    m.process(move(0.0, 0, 0));
    m.process(move(0.1, 10, 0));
    EXPECT_EQ(m.process(down(0.2, 50, 50)), GestureState::discrete);
    EXPECT_EQ(m.lastPosition(), (Point{50, 50}));
    EXPECT_EQ(m.lastVelocity(), 100.0);  // left unchanged by the click
    EXPECT_EQ(m.process(move(0.3, 50, 50.1)), GestureState::idle);  // slow motion after a click
    m.process(keyDown(0.4));
    EXPECT_EQ(m.process(move(0.5, 100, 50)), GestureState::moving);
}

TEST(GestureStateMachine, ScrollKeepsLastPosition) {
    GestureStateMachine m;
    m.process(move(0.0, 3, 4));
    RawEvent s = scroll(0.5);
    s.position = Point{900, 900};
    EXPECT_EQ(m.process(s), GestureState::discrete);
    EXPECT_EQ(m.lastPosition(), (Point{3, 4}));
    EXPECT_EQ(m.lastEventTime(), 0.5);
}

TEST(GestureStateMachine, AppActivationIsIgnored) {
    GestureStateMachine m;
    m.process(move(0.0, 0, 0));
    m.process(move(0.1, 10, 0));
    EXPECT_EQ(m.process(event(EventType::appBecameActive, 50, std::nullopt)), GestureState::moving);
    EXPECT_EQ(m.process(event(EventType::appResignedActive, 60, std::nullopt)), GestureState::moving);
    EXPECT_EQ(m.lastEventTime(), 0.1);
}

TEST(GestureStateMachine, UpdateAppliesTimeouts) {
    GestureStateMachine m;
    m.process(move(0.0, 0, 0));
    m.process(move(0.1, 10, 0));
    m.update(1.0);
    EXPECT_EQ(m.currentState(), GestureState::moving);
    m.update(1.1);
    EXPECT_EQ(m.currentState(), GestureState::paused);
    m.update(10.0);
    EXPECT_EQ(m.currentState(), GestureState::paused);
    m.update(10.1);
    EXPECT_EQ(m.currentState(), GestureState::break_);
    EXPECT_EQ(m.lastEventTime(), 0.1);  // update touches nothing else

    GestureStateMachine d;
    d.process(down(2.0));
    d.update(2.49);
    EXPECT_EQ(d.currentState(), GestureState::discrete);
    d.update(2.5);
    EXPECT_EQ(d.currentState(), GestureState::idle);

    GestureStateMachine jump;
    jump.process(move(0.0, 0, 0));
    jump.process(move(0.1, 10, 0));
    jump.update(30);  // straight from moving to break
    EXPECT_EQ(jump.currentState(), GestureState::break_);
}

TEST(GestureStateMachine, ResetRestoresInitialStateKeepingThresholds) {
    GestureStateMachine m(GestureThresholds::relaxed());
    m.process(move(0.0, 0, 0));
    m.process(move(0.1, 100, 0));
    m.reset();
    EXPECT_EQ(m.currentState(), GestureState::idle);
    EXPECT_EQ(m.lastEventTime(), 0);
    EXPECT_FALSE(m.lastPosition());
    EXPECT_EQ(m.lastVelocity(), 0);
    EXPECT_EQ(m.thresholds(), GestureThresholds::relaxed());
}
