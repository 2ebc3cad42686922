#include "capture/capture_session.h"

#include <gtest/gtest.h>

#include "capture_rig.h"

using namespace murmura;
namespace t = murmura::tap_event_type;
using State = CaptureSession::State;

namespace {

struct SessionTest : ::testing::Test, test::CaptureRig {
    SessionTest() : CaptureRig(100.0) {}

    int completions = 0;
    std::vector<RawEvent> delivered;
    CaptureSession::Completion recordCompletion() {
        return [this](const std::vector<RawEvent>& events) {
            ++completions;
            delivered = events;
        };
    }
    void move(double x) { tap->feed(t::mouseMoved, {x, 0}); }
};

}  // namespace

TEST_F(SessionTest, CompletesOnceAtTheFirstTickAtOrAfterTheDuration) {
    CaptureSession session(capture, 300, scheduler, clock);
    EXPECT_EQ(session.state(), State::idle);
    EXPECT_EQ(session.startTime(), 100.0);
    std::vector<State> states;
    std::vector<double> elapsed;
    auto s = session.stateChanges().subscribe([&](const State& v) { states.push_back(v); });
    auto e = session.elapsedTimeChanges().subscribe([&](const double& v) { elapsed.push_back(v); });
    ASSERT_TRUE(session.start(recordCompletion()));
    EXPECT_TRUE(capture->isCapturing());
    scheduler.advance(0.35);
    ASSERT_EQ(elapsed.size(), 4u);  // the initial 0, then every tenth of a second
    EXPECT_NEAR(elapsed[3], 0.3, 1e-9);
    scheduler.advance(299.5);
    EXPECT_EQ(session.state(), State::capturing);
    EXPECT_NEAR(session.elapsedTime(), 299.8, 1e-6);
    scheduler.advance(0.251);  // ticks at 299.9, 300.0 and (at the latest) 300.1
    EXPECT_EQ(completions, 1);
    EXPECT_GE(session.elapsedTime(), 300.0);
    EXPECT_LE(session.elapsedTime(), 300.1 + 1e-6);
    EXPECT_FALSE(capture->isCapturing());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    scheduler.advance(10);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(states, (std::vector<State>{State::idle, State::capturing, State::completed}));
}

TEST_F(SessionTest, TimeCountsMonotonicallyFromConstruction) {
    CaptureSession session(capture, 1.0, scheduler, clock);
    clock.advance(0.65);
    ASSERT_TRUE(session.start(recordCompletion()));
    clock.setWallTime(4'000'000'000.0);  // the user sets the clock decades ahead
    scheduler.advance(0.3 + 1e-9);      // ticks at 0.75, 0.85 and 0.95 after construction
    EXPECT_EQ(completions, 0);
    clock.setWallTime(0);
    scheduler.advance(0.1);  // 1.05 after construction
    EXPECT_EQ(completions, 1);
}

TEST_F(SessionTest, CollectsEventsWhileCapturingOnlyAndIgnoresRepeatedStartsAndStops) {
    CaptureSession session(capture, 60, scheduler, clock);
    session.stop();
    EXPECT_EQ(session.state(), State::idle);
    ASSERT_TRUE(session.start(recordCompletion()));
    move(1);
    move(2);
    int otherCalls = 0;
    EXPECT_TRUE(session.start([&](const std::vector<RawEvent>&) { ++otherCalls; }));
    ASSERT_EQ(session.capturedEvents().size(), 2u);  // not emptied by the ignored start
    EXPECT_EQ(session.capturedEvents()[1].position->x, 2);
    session.stop();
    session.stop();
    EXPECT_TRUE(session.start([&](const std::vector<RawEvent>&) { ++otherCalls; }));
    EXPECT_EQ(session.state(), State::completed);
    EXPECT_EQ(tap->installCount, 1);
    ASSERT_TRUE(capture->startCapturing());  // running again for someone else
    move(3);
    EXPECT_EQ(session.capturedEvents().size(), 2u);
    EXPECT_EQ(delivered.size(), 2u);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(otherCalls, 0);
}

TEST_F(SessionTest, AFailedStartStaysIdleAndNeverCompletes) {
    tap->trusted = false;
    CaptureSession session(capture, 1, scheduler, clock);
    auto r = session.start(recordCompletion());
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), CaptureError::accessibilityPermissionDenied);
    EXPECT_EQ(session.state(), State::idle);
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    scheduler.advance(5);
    session.stop();
    tap->trusted = true;
    ASSERT_TRUE(capture->startCapturing());
    move(1);
    EXPECT_TRUE(session.capturedEvents().empty());
    EXPECT_EQ(completions, 0);
}

TEST_F(SessionTest, DestroyingTheSessionStopsTheCaptureAndTheCompletionMayDestroyIt) {
    {
        CaptureSession session(capture, 60, scheduler, clock);
        ASSERT_TRUE(session.start(recordCompletion()));
    }
    EXPECT_FALSE(tap->isInstalled());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    scheduler.advance(100);
    EXPECT_EQ(completions, 0);

    auto session = std::make_unique<CaptureSession>(capture, 0.2, scheduler, clock);
    size_t count = 0;
    ASSERT_TRUE(session->start([&](const std::vector<RawEvent>& events) {
        session.reset();
        count = events.size();  // still valid: the events are not the session's own storage
    }));
    move(1);
    scheduler.advance(1);
    EXPECT_EQ(session, nullptr);
    EXPECT_EQ(count, 1u);
}
