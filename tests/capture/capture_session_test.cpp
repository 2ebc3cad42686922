#include "capture/capture_session.h"

#include <gtest/gtest.h>

#include "capture_rig.h"

using namespace murmura;
namespace t = murmura::tap_event_type;

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

TEST_F(SessionTest, StartsIdleWithNothingElapsed) {
    CaptureSession session(capture, 300, scheduler, clock);
    EXPECT_EQ(session.state(), CaptureSession::State::idle);
    EXPECT_EQ(session.elapsedTime(), 0.0);
    EXPECT_TRUE(session.capturedEvents().empty());
    EXPECT_EQ(session.duration(), 300.0);
    EXPECT_EQ(session.startTime(), 100.0);
}

TEST_F(SessionTest, CompletesAtTheFirstTickAtOrAfterTheDuration) {
    CaptureSession session(capture, 300, scheduler, clock);
    ASSERT_TRUE(session.start(recordCompletion()));
    EXPECT_EQ(session.state(), CaptureSession::State::capturing);
    EXPECT_TRUE(capture->isCapturing());
    scheduler.advance(299.85);
    EXPECT_EQ(session.state(), CaptureSession::State::capturing);
    EXPECT_EQ(completions, 0);
    EXPECT_NEAR(session.elapsedTime(), 299.8, 1e-6);
    scheduler.advance(0.251);  // ticks at 299.9, 300.0 and (at the latest) 300.1
    EXPECT_EQ(session.state(), CaptureSession::State::completed);
    EXPECT_EQ(completions, 1);
    EXPECT_GE(session.elapsedTime(), 300.0);
    EXPECT_LE(session.elapsedTime(), 300.1 + 1e-6);
    EXPECT_FALSE(capture->isCapturing());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    scheduler.advance(10);
    EXPECT_EQ(completions, 1);
}

TEST_F(SessionTest, ElapsedTimeIsRefreshedEveryTenthOfASecond) {
    CaptureSession session(capture, 5, scheduler, clock);
    std::vector<double> seen;
    auto s = session.elapsedTimeChanges().subscribe([&](const double& v) { seen.push_back(v); });
    ASSERT_TRUE(session.start(recordCompletion()));
    scheduler.advance(0.35);
    ASSERT_EQ(seen.size(), 4u);  // the initial 0, then 0.1, 0.2, 0.3
    EXPECT_NEAR(seen[1], 0.1, 1e-9);
    EXPECT_NEAR(seen[3], 0.3, 1e-9);
}

TEST_F(SessionTest, ElapsedTimeCountsFromConstructionNotFromStart) {
    CaptureSession session(capture, 1.0, scheduler, clock);
    clock.advance(0.65);
    ASSERT_TRUE(session.start(recordCompletion()));
    scheduler.advance(0.3 + 1e-9);  // ticks at 0.75 and 0.85 after construction... and 0.95
    EXPECT_EQ(completions, 0);
    scheduler.advance(0.1);  // 1.05 after construction
    EXPECT_EQ(completions, 1);
}

TEST_F(SessionTest, AWallClockChangeNeitherEndsNorStretchesTheSession) {
    CaptureSession session(capture, 10, scheduler, clock);
    ASSERT_TRUE(session.start(recordCompletion()));
    clock.setWallTime(4'000'000'000.0);  // the user sets the clock decades ahead
    scheduler.advance(1);
    EXPECT_EQ(session.state(), CaptureSession::State::capturing);
    clock.setWallTime(0);
    scheduler.advance(8.85);
    EXPECT_EQ(session.state(), CaptureSession::State::capturing);
    scheduler.advance(0.3);  // past 10 s of monotonic time, with at most one tick to spare
    EXPECT_EQ(session.state(), CaptureSession::State::completed);
}

TEST_F(SessionTest, CollectsEventsInArrivalOrderAndShowsThemDuringCapture) {
    CaptureSession session(capture, 60, scheduler, clock);
    ASSERT_TRUE(session.start(recordCompletion()));
    move(1);
    move(2);
    auto soFar = session.capturedEvents();
    ASSERT_EQ(soFar.size(), 2u);
    EXPECT_EQ(soFar[0].position->x, 1);
    move(3);
    session.stop();
    ASSERT_EQ(delivered.size(), 3u);
    EXPECT_EQ(delivered[2].position->x, 3);
    EXPECT_EQ(session.capturedEvents().size(), 3u);
}

TEST_F(SessionTest, StopBeforeStartDoesNothingAndStopTwiceCompletesOnce) {
    CaptureSession session(capture, 60, scheduler, clock);
    session.stop();
    EXPECT_EQ(session.state(), CaptureSession::State::idle);
    ASSERT_TRUE(session.start(recordCompletion()));
    session.stop();
    session.stop();
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(session.state(), CaptureSession::State::completed);
}

TEST_F(SessionTest, ASecondStartIsIgnoredWhileRunningAndAfterCompletion) {
    CaptureSession session(capture, 60, scheduler, clock);
    ASSERT_TRUE(session.start(recordCompletion()));
    move(1);
    int otherCalls = 0;
    EXPECT_TRUE(session.start([&](const std::vector<RawEvent>&) { ++otherCalls; }));
    EXPECT_EQ(session.capturedEvents().size(), 1u);  // not emptied by the ignored start
    EXPECT_EQ(tap->installCount, 1);
    session.stop();
    EXPECT_TRUE(session.start([&](const std::vector<RawEvent>&) { ++otherCalls; }));
    EXPECT_EQ(session.state(), CaptureSession::State::completed);
    EXPECT_EQ(otherCalls, 0);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(tap->installCount, 1);
}

TEST_F(SessionTest, EventsPublishedAfterStopAreNotCollected) {
    CaptureSession session(capture, 60, scheduler, clock);
    ASSERT_TRUE(session.start(recordCompletion()));
    move(1);
    session.stop();
    // Even if the capture were running again for someone else, this session is done.
    ASSERT_TRUE(capture->startCapturing());
    move(2);
    EXPECT_EQ(session.capturedEvents().size(), 1u);
    EXPECT_EQ(delivered.size(), 1u);
}

TEST_F(SessionTest, AFailedStartStaysIdleAndNeverCompletes) {
    tap->trusted = false;
    CaptureSession session(capture, 1, scheduler, clock);
    auto r = session.start(recordCompletion());
    ASSERT_FALSE(r);
    EXPECT_EQ(message(r.error()), "Accessibility permission is required to capture input events");
    EXPECT_EQ(session.state(), CaptureSession::State::idle);
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    scheduler.advance(5);
    session.stop();
    EXPECT_EQ(completions, 0);
    // Events sent through the capture by someone else do not land in the failed session.
    tap->trusted = true;
    ASSERT_TRUE(capture->startCapturing());
    move(1);
    EXPECT_TRUE(session.capturedEvents().empty());
}

TEST_F(SessionTest, StateObserversSeeEachTransition) {
    CaptureSession session(capture, 0.3, scheduler, clock);
    std::vector<CaptureSession::State> states;
    auto s = session.stateChanges().subscribe([&](const CaptureSession::State& v) { states.push_back(v); });
    ASSERT_TRUE(session.start(recordCompletion()));
    scheduler.advance(1);
    EXPECT_EQ(states, (std::vector<CaptureSession::State>{CaptureSession::State::idle,
                                                          CaptureSession::State::capturing,
                                                          CaptureSession::State::completed}));
}

TEST_F(SessionTest, DestroyingARunningSessionStopsTheCaptureWithoutCompleting) {
    {
        CaptureSession session(capture, 60, scheduler, clock);
        ASSERT_TRUE(session.start(recordCompletion()));
    }
    EXPECT_FALSE(tap->isInstalled());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    move(1);
    scheduler.advance(100);
    EXPECT_EQ(completions, 0);
}

TEST_F(SessionTest, TheCompletionMayDestroyTheSession) {
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
