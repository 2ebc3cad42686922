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
};

}  // namespace

TEST_F(CaptureTest, StartNeedsPermissionInstallsOneTapAndReportsTapFailures) {
    EXPECT_FALSE(capture.isCapturing());
    tap->trusted = false;
    EXPECT_FALSE(capture.hasAccessibilityPermission());
    capture.requestAccessibilityPermission();
    EXPECT_EQ(tap->permissionRequests, 1);
    EXPECT_EQ(capture.startCapturing().error(), CaptureError::accessibilityPermissionDenied);
    EXPECT_EQ(tap->installCount, 0);

    tap->failTapCreation = true;
    tap->trusted = true;
    clock.advance(1);
    EXPECT_EQ(capture.startCapturing().error(), CaptureError::eventTapCreationFailed);
    EXPECT_EQ(capture.sessionStartTime(), 5001.0);  // the one thing a failed start leaves behind
    tap->failTapCreation = false;
    tap->failSourceCreation = true;
    EXPECT_EQ(capture.startCapturing().error(), CaptureError::runLoopSourceCreationFailed);
    EXPECT_FALSE(capture.isCapturing() || tap->isInstalled());

    tap->failSourceCreation = false;
    ASSERT_TRUE(capture.startCapturing());
    clock.advance(3);
    ASSERT_TRUE(capture.startCapturing());
    EXPECT_EQ(tap->installCount, 1);
    EXPECT_EQ(capture.sessionStartTime(), 5001.0);
    tap->trusted = false;
    const auto denied = capture.startCapturing();  // (error() of a success would read as this first code)
    EXPECT_TRUE(!denied && denied.error() == CaptureError::accessibilityPermissionDenied);
    EXPECT_TRUE(capture.isCapturing());  // the running capture is left alone

    capture.stopCapturing();
    capture.stopCapturing();
    EXPECT_EQ(tap->uninstallCount, 1);
    tap->feed(t::mouseMoved, {1, 1});
    EXPECT_TRUE(received.empty());
}

TEST_F(CaptureTest, TapEventsBecomeRawEventsOfTheRecordedTypes) {
    ASSERT_TRUE(capture.startCapturing());
    struct Case {
        uint32_t type;
        std::optional<EventType> expected;
        std::optional<int64_t> button = std::nullopt;
    };
    const Case cases[] = {
        {t::leftMouseDown, EventType::mouseDown, 0},       {t::leftMouseUp, EventType::mouseUp, 0},
        {t::rightMouseDown, EventType::mouseDown, 1},      {t::rightMouseUp, EventType::mouseUp, 1},
        {t::mouseMoved, EventType::mouseMove},             {t::leftMouseDragged, EventType::mouseDragged, 0},
        {t::rightMouseDragged, EventType::mouseDragged, 1}, {t::keyDown, EventType::keyDown},
        {t::keyUp, EventType::keyUp},                      {t::scrollWheel, EventType::scrollWheel},
        // Not recorded: other buttons, modifier changes, a disabled tap and unknown numbers.
        {t::otherMouseDown, std::nullopt}, {t::otherMouseUp, std::nullopt}, {t::otherMouseDragged, std::nullopt},
        {t::flagsChanged, std::nullopt}, {t::tapDisabledByTimeout, std::nullopt},
        {t::tapDisabledByUserInput, std::nullopt}, {0, std::nullopt}, {8, std::nullopt}, {13, std::nullopt},
        {21, std::nullopt}, {29, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        received.clear();
        tap->feed(c.type, {640.5, 480.25}, 65536 + 51, 3, -12);
        ASSERT_EQ(received.size(), c.expected ? 1u : 0u);
        if (!c.expected) continue;
        const RawEvent& e = received[0];
        EXPECT_EQ(e.type, *c.expected);
        EXPECT_EQ(e.mouseButton, c.button);
        EXPECT_EQ(e.position, (Point{640.5, 480.25}));
        const bool key = e.type == EventType::keyDown || e.type == EventType::keyUp;
        EXPECT_EQ(e.keyCode, key ? std::optional<uint16_t>(51) : std::nullopt);  // read as unsigned 16 bits
        EXPECT_EQ(e.delta, e.type == EventType::scrollWheel ? std::optional(Vector{3, -12}) : std::nullopt);
    }
    EXPECT_EQ(tap->installCount, 1);  // a disabled tap is not re-enabled by the capture
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
    tap->feed(TapEvent{t::mouseMoved, {1, 1}, 0, 0, 0, 5002.875});  // the tap knows it happened earlier
    capture.sendAppStateEvent(true);
    capture.sendAppStateEvent(false);
    ASSERT_EQ(received.size(), 4u);
    EXPECT_DOUBLE_EQ(received[0].timestamp, 0.25);
    EXPECT_DOUBLE_EQ(received[1].timestamp, 0.375);
    EXPECT_EQ(received[2].type, EventType::appBecameActive);
    EXPECT_EQ(received[3].type, EventType::appResignedActive);
    for (const RawEvent& e : {received[2], received[3]}) {
        EXPECT_DOUBLE_EQ(e.timestamp, 0.75);
        EXPECT_TRUE(e.inScope);
        EXPECT_FALSE(e.position || e.delta || e.keyCode || e.mouseButton);
    }
    for (size_t i = 1; i < received.size(); ++i) EXPECT_NE(received[i].id, received[i - 1].id);

    capture.stopCapturing();
    clock.advance(5);
    ASSERT_TRUE(capture.startCapturing());
    clock.advance(0.125);
    tap->feed(t::mouseMoved, {0, 0});
    EXPECT_DOUBLE_EQ(received.back().timestamp, 0.125);  // a restart resets the time base
}

TEST_F(CaptureTest, ScopeAndWindowNumberComeFromTheManager) {
    ASSERT_TRUE(capture.startCapturing());
    tap->feed(t::mouseMoved, {150, 150});  // nothing tracked yet
    provider->frames[42] = {100, 100, 400, 300};
    ASSERT_TRUE(manager->startTracking(42));
    tap->feed(t::mouseMoved, {100, 100});
    tap->feed(t::mouseMoved, {500, 250});
    tap->feed(t::keyDown, {499.9, 399.9}, 0);
    provider->frames.erase(42);
    scheduler.advance(1.0 / 30.0);
    tap->feed(t::leftMouseDown, {200, 200});  // the window closed: recorded, out of scope
    ASSERT_TRUE(manager->startTracking(WindowScopeManager::allWindowsID));
    tap->feed(t::mouseMoved, {-3000, 9000});
    std::vector<std::pair<bool, std::optional<uint32_t>>> scope;
    for (const RawEvent& e : received) scope.emplace_back(e.inScope, e.windowID);
    EXPECT_EQ(scope, (std::vector<std::pair<bool, std::optional<uint32_t>>>{
                         {false, std::nullopt}, {true, 42}, {false, 42}, {true, 42}, {false, 42}, {true, 0}}));
}

TEST(GlobalInputCaptureLifetime, DestructionRemovesTheTap) {
    test::CaptureRig rig(0);
    ASSERT_TRUE(rig.capture->startCapturing());
    rig.capture.reset();
    EXPECT_FALSE(rig.tap->isInstalled());
    rig.tap->feed(t::mouseMoved, {0, 0});  // would call into the destroyed capture (ASan)
}
