#include "capture/global_input_capture.h"

#include <gtest/gtest.h>

#include "capture_rig.h"

using namespace murmura;
namespace t = murmura::tap_event_type;

namespace {

struct CaptureTest : ::testing::Test, test::CaptureRig {
    CaptureTest() : CaptureRig(5000.0) {}
    GlobalInputCapture& capture = *CaptureRig::capture;
    std::vector<RawEvent> received;
    Subscription subscription = capture.events().subscribe([this](const RawEvent& e) { received.push_back(e); });

    void trackWindow() {
        provider->frames[42] = {100, 100, 400, 300};
        ASSERT_TRUE(manager->startTracking(42));
    }
    const RawEvent& only() {
        EXPECT_EQ(received.size(), 1u);
        return received.at(0);
    }
};

}  // namespace

TEST(CaptureError, MessagesAreTheFixedTexts) {
    EXPECT_EQ(message(CaptureError::accessibilityPermissionDenied),
              "Accessibility permission is required to capture input events");
    EXPECT_EQ(message(CaptureError::eventTapCreationFailed), "Failed to create event tap");
    EXPECT_EQ(message(CaptureError::runLoopSourceCreationFailed), "Failed to create run loop source");
}

TEST(CaptureMask, ListsTheRecordedTypes) {
    uint64_t mask = 0;
    for (uint32_t type : {t::leftMouseDown, t::leftMouseUp, t::rightMouseDown, t::rightMouseUp, t::mouseMoved,
                          t::leftMouseDragged, t::rightMouseDragged, t::keyDown, t::keyUp, t::scrollWheel})
        mask |= uint64_t{1} << type;
    EXPECT_EQ(mask, kCaptureEventMask);
    EXPECT_EQ(kCaptureEventMask, 0x400CFEu);
}

TEST_F(CaptureTest, InitiallyNotCapturingWithZeroStartTime) {
    EXPECT_FALSE(capture.isCapturing());
    EXPECT_EQ(capture.sessionStartTime(), 0.0);
    EXPECT_FALSE(tap->isInstalled());
}

TEST_F(CaptureTest, StartingWithoutPermissionFailsEvenWhileCapturing) {
    tap->trusted = false;
    auto denied = capture.startCapturing();
    ASSERT_FALSE(denied);
    EXPECT_EQ(denied.error(), CaptureError::accessibilityPermissionDenied);
    EXPECT_FALSE(capture.isCapturing());
    EXPECT_EQ(tap->installCount, 0);

    tap->trusted = true;
    ASSERT_TRUE(capture.startCapturing());
    tap->trusted = false;
    auto again = capture.startCapturing();
    ASSERT_FALSE(again);
    EXPECT_EQ(message(again.error()), "Accessibility permission is required to capture input events");
    EXPECT_TRUE(capture.isCapturing());  // the running capture is left alone
}

TEST_F(CaptureTest, StartingTwiceInstallsOneTapAndKeepsTheTimeBase) {
    ASSERT_TRUE(capture.startCapturing());
    clock.advance(3);
    ASSERT_TRUE(capture.startCapturing());
    EXPECT_EQ(tap->installCount, 1);
    EXPECT_EQ(capture.sessionStartTime(), 5000.0);
}

TEST_F(CaptureTest, TapCreationFailuresAreReportedAndNothingIsKept) {
    tap->failTapCreation = true;
    clock.advance(1);
    auto r = capture.startCapturing();
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), CaptureError::eventTapCreationFailed);
    EXPECT_FALSE(capture.isCapturing());
    EXPECT_EQ(capture.sessionStartTime(), 5001.0);  // the one thing a failed start leaves behind

    tap->failTapCreation = false;
    tap->failSourceCreation = true;
    auto s = capture.startCapturing();
    ASSERT_FALSE(s);
    EXPECT_EQ(s.error(), CaptureError::runLoopSourceCreationFailed);
    EXPECT_FALSE(capture.isCapturing());
    EXPECT_FALSE(tap->isInstalled());
}

TEST_F(CaptureTest, TypeAndButtonMapping) {
    ASSERT_TRUE(capture.startCapturing());
    struct Case {
        uint32_t type;
        EventType expected;
        std::optional<int64_t> button;
    };
    const Case cases[] = {
        {t::leftMouseDown, EventType::mouseDown, 0},     {t::leftMouseUp, EventType::mouseUp, 0},
        {t::rightMouseDown, EventType::mouseDown, 1},    {t::rightMouseUp, EventType::mouseUp, 1},
        {t::mouseMoved, EventType::mouseMove, std::nullopt}, {t::leftMouseDragged, EventType::mouseDragged, 0},
        {t::rightMouseDragged, EventType::mouseDragged, 1},  {t::keyDown, EventType::keyDown, std::nullopt},
        {t::keyUp, EventType::keyUp, std::nullopt},          {t::scrollWheel, EventType::scrollWheel, std::nullopt},
    };
    for (const auto& c : cases) tap->feed(c.type, {10, 20}, 7, 1, 2);
    ASSERT_EQ(received.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const RawEvent& e = received[i];
        EXPECT_EQ(e.type, cases[i].expected);
        EXPECT_EQ(e.mouseButton, cases[i].button);
        EXPECT_EQ(e.position, (Point{10, 20}));
        const bool key = e.type == EventType::keyDown || e.type == EventType::keyUp;
        EXPECT_EQ(e.keyCode.has_value(), key);
        EXPECT_EQ(e.delta.has_value(), e.type == EventType::scrollWheel);
    }
}

TEST_F(CaptureTest, TypesOutsideTheMaskPublishNothing) {
    ASSERT_TRUE(capture.startCapturing());
    for (uint32_t type : {0u, 8u, 9u, t::flagsChanged, 13u, 21u, 23u, t::otherMouseDown, t::otherMouseUp,
                          t::otherMouseDragged, 29u, t::tapDisabledByTimeout, t::tapDisabledByUserInput})
        tap->feed(type, {1, 1});
    EXPECT_TRUE(received.empty());
    // A disabled tap is not re-enabled by the capture; later events are whatever the tap sends.
    EXPECT_EQ(tap->installCount, 1);
}

TEST_F(CaptureTest, RightDragCarriesButtonOneAndAPlainMoveNoButton) {
    ASSERT_TRUE(capture.startCapturing());
    tap->feed(t::rightMouseDragged, {300, 200});
    tap->feed(t::mouseMoved, {301, 200});
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].type, EventType::mouseDragged);
    EXPECT_EQ(received[0].mouseButton, 1);
    EXPECT_EQ(received[1].type, EventType::mouseMove);
    EXPECT_FALSE(received[1].mouseButton.has_value());
}

TEST_F(CaptureTest, ScrollCarriesBothPointDeltas) {
    ASSERT_TRUE(capture.startCapturing());
    tap->feed(t::scrollWheel, {50, 60}, 0, 3, -12);
    const RawEvent& e = only();
    EXPECT_EQ(e.type, EventType::scrollWheel);
    EXPECT_EQ(e.delta, (Vector{3, -12}));
    EXPECT_EQ(e.position, (Point{50, 60}));
    EXPECT_FALSE(e.keyCode.has_value());
    EXPECT_FALSE(e.mouseButton.has_value());
}

TEST_F(CaptureTest, KeyPressCarriesItsCodeAndThePointerLocation) {
    ASSERT_TRUE(capture.startCapturing());
    tap->feed(t::keyDown, {640.5, 480.25}, 36);
    const RawEvent& e = only();
    EXPECT_EQ(e.type, EventType::keyDown);
    EXPECT_EQ(e.keyCode, 36);
    EXPECT_EQ(e.position, (Point{640.5, 480.25}));
    EXPECT_FALSE(e.delta.has_value());
}

TEST_F(CaptureTest, KeyCodesAreReadAsUnsigned16Bit) {
    ASSERT_TRUE(capture.startCapturing());
    tap->feed(t::keyUp, {0, 0}, 65536 + 51);
    EXPECT_EQ(only().keyCode, 51);
}

TEST_F(CaptureTest, CharacterKeysAreRecordedAsThePrivacyCodeWhenTheEventIsMade) {
    ASSERT_TRUE(capture.startCapturing());
    for (int64_t code : {0, 12, 49, 65536 + 0}) tap->feed(t::keyDown, {0, 0}, code);  // a, q, space
    ASSERT_EQ(received.size(), 4u);
    for (const RawEvent& e : received) EXPECT_EQ(e.keyCode, kRedactedKeyCode);
}

TEST_F(CaptureTest, TimestampsCountFromTheStartOnTheMonotonicClock) {
    clock.advance(2.5);
    ASSERT_TRUE(capture.startCapturing());
    EXPECT_EQ(capture.sessionStartTime(), 5002.5);
    clock.advance(0.25);
    tap->feed(t::mouseMoved, {0, 0});
    clock.setWallTime(0);  // the wall clock plays no part
    clock.advance(0.5);
    tap->feed(t::mouseMoved, {1, 0});
    ASSERT_EQ(received.size(), 2u);
    EXPECT_DOUBLE_EQ(received[0].timestamp, 0.25);
    EXPECT_DOUBLE_EQ(received[1].timestamp, 0.75);
}

TEST_F(CaptureTest, AnEventTimeKnownToTheTapIsUsedInsteadOfTheHandlingTime) {
    ASSERT_TRUE(capture.startCapturing());
    clock.advance(0.5);
    TapEvent e{t::mouseMoved, {1, 1}, 0, 0, 0, 5000.125};  // happened 0.375 s before handling
    tap->feed(e);
    EXPECT_DOUBLE_EQ(only().timestamp, 0.125);
}

TEST_F(CaptureTest, RestartResetsTheTimeBase) {
    ASSERT_TRUE(capture.startCapturing());
    clock.advance(10);
    capture.stopCapturing();
    EXPECT_FALSE(capture.isCapturing());
    clock.advance(5);
    ASSERT_TRUE(capture.startCapturing());
    EXPECT_EQ(tap->installCount, 2);
    clock.advance(0.125);
    tap->feed(t::mouseMoved, {0, 0});
    EXPECT_DOUBLE_EQ(only().timestamp, 0.125);
}

TEST_F(CaptureTest, ScopeAndWindowNumberComeFromTheManager) {
    ASSERT_TRUE(capture.startCapturing());
    tap->feed(t::mouseMoved, {150, 150});  // nothing tracked yet
    trackWindow();
    tap->feed(t::mouseMoved, {100, 100});
    tap->feed(t::mouseMoved, {500, 250});
    tap->feed(t::keyDown, {499.9, 399.9}, 0);
    ASSERT_TRUE(manager->startTracking(WindowScopeManager::allWindowsID));
    tap->feed(t::mouseMoved, {-3000, 9000});
    ASSERT_EQ(received.size(), 5u);
    EXPECT_FALSE(received[0].inScope);
    EXPECT_FALSE(received[0].windowID.has_value());
    EXPECT_TRUE(received[1].inScope);
    EXPECT_EQ(received[1].windowID, 42u);
    EXPECT_FALSE(received[2].inScope);
    EXPECT_EQ(received[2].windowID, 42u);
    EXPECT_TRUE(received[3].inScope);
    EXPECT_TRUE(received[4].inScope);
    EXPECT_EQ(received[4].windowID, 0u);
}

TEST_F(CaptureTest, EventsOfAClosedWindowAreStillRecordedOutOfScope) {
    trackWindow();
    ASSERT_TRUE(capture.startCapturing());
    provider->frames.erase(42);
    scheduler.advance(1.0 / 30.0);
    tap->feed(t::leftMouseDown, {200, 200});
    EXPECT_FALSE(only().inScope);
    EXPECT_EQ(only().windowID, 42u);
}

TEST_F(CaptureTest, EachEventGetsAFreshIdAndArrivalOrderIsKept) {
    ASSERT_TRUE(capture.startCapturing());
    for (int i = 0; i < 50; ++i) tap->feed(t::mouseMoved, {static_cast<double>(i), 0});
    ASSERT_EQ(received.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(received[i].position->x, i);
    for (int i = 1; i < 50; ++i) EXPECT_NE(received[i].id, received[i - 1].id);
}

TEST_F(CaptureTest, StopRemovesTheTapAndNothingArrivesAfterwards) {
    ASSERT_TRUE(capture.startCapturing());
    capture.stopCapturing();
    EXPECT_EQ(tap->uninstallCount, 1);
    tap->feed(t::mouseMoved, {1, 1});
    EXPECT_TRUE(received.empty());
    capture.stopCapturing();  // no effect when not capturing
    EXPECT_EQ(tap->uninstallCount, 1);
}

TEST_F(CaptureTest, AppStateEventsHaveNoPositionAndAreAlwaysInScope) {
    ASSERT_TRUE(capture.startCapturing());
    clock.advance(1.5);
    capture.sendAppStateEvent(true);
    capture.sendAppStateEvent(false);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].type, EventType::appBecameActive);
    EXPECT_EQ(received[1].type, EventType::appResignedActive);
    for (const auto& e : received) {
        EXPECT_TRUE(e.inScope);
        EXPECT_FALSE(e.position.has_value());
        EXPECT_FALSE(e.delta.has_value());
        EXPECT_FALSE(e.keyCode.has_value());
        EXPECT_FALSE(e.mouseButton.has_value());
        EXPECT_DOUBLE_EQ(e.timestamp, 1.5);
    }
}

TEST_F(CaptureTest, PermissionQueriesGoToTheTap) {
    EXPECT_TRUE(capture.hasAccessibilityPermission());
    tap->trusted = false;
    EXPECT_FALSE(capture.hasAccessibilityPermission());
    capture.requestAccessibilityPermission();
    EXPECT_EQ(tap->permissionRequests, 1);
}

TEST(GlobalInputCaptureLifetime, DestructionRemovesTheTap) {
    test::CaptureRig rig(0);
    ASSERT_TRUE(rig.capture->startCapturing());
    EXPECT_TRUE(rig.tap->isInstalled());
    rig.capture.reset();
    EXPECT_FALSE(rig.tap->isInstalled());
    rig.tap->feed(t::mouseMoved, {0, 0});  // would call into the destroyed capture (ASan)
}
