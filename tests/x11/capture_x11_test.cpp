// Global input capture through the RECORD extension on a real server, input injected by xdotool.
#include "x_session.h"
// Xlib after GoogleTest: its macros (None, Bool...) collide with names inside gtest.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <sstream>

#include "../test_events.h"
#include "capture/capture_session.h"
#include "capture/x11/x11_event_tap.h"
#include "support/clock.h"
#include "support/manual_scheduler.h"
#include "window_scope/x11/x11_window_providers.h"

using namespace murmura;
using namespace murmura::test;

namespace {

std::string pt(double v) { return std::to_string(static_cast<long>(v)); }

std::string describe(const RawEvent& e) {
    std::ostringstream s;
    s << rawValue(e.type);
    if (e.position) s << " @" << e.position->x << "," << e.position->y;
    if (e.mouseButton) s << " b" << *e.mouseButton;
    if (e.delta) s << " d" << e.delta->dx << "," << e.delta->dy;
    if (e.keyCode) s << " k" << *e.keyCode;
    s << (e.inScope ? " in" : " out");
    return s.str();
}

class X11Capture : public XTest {
protected:
    // A 400 x 300 window tracked by a scope manager, and a capture ready to start.
    void prepare(long eventMask = 0) {
        window_ = managedWindow({.title = "canvas", .ownerClass = "Canvas", .eventMask = eventMask});
        manager_ = std::make_shared<WindowScopeManager>(std::make_shared<EwmhWindowProvider>(loop_));
        ASSERT_TRUE(manager_->startTracking(static_cast<uint32_t>(window_)));
        frame_ = *manager_->currentFrame();
        tap_ = std::make_shared<X11EventTap>(loop_);
        capture_ = std::make_shared<GlobalInputCapture>(manager_, tap_);
        subscription_ = capture_->events().subscribe([this](const RawEvent& e) { events_.push_back(e); });
    }
    bool waitForEvents(size_t count) { return loop_.runUntil([&] { return events_.size() >= count; }, 10.0); }

    unsigned long window_ = 0;
    Rect frame_;
    std::shared_ptr<WindowScopeManager> manager_;
    std::shared_ptr<X11EventTap> tap_;
    std::shared_ptr<GlobalInputCapture> capture_;
    std::vector<RawEvent> events_;
    Subscription subscription_;
};

class X11CaptureBare : public X11Capture {
    XSession::Options options() const override { return {.windowManager = false}; }
};

}  // namespace

TEST_F(X11Capture, RecordsInjectedInputWithTypesButtonsPositionsDeltasAndCodes) {
    prepare(ButtonPressMask);
    const Point p{frame_.x + 50, frame_.y + 60}, p1{p.x + 20, p.y + 10}, p2{p.x + 40, p.y + 20};
    const Point q{frame_.maxX() + 100, frame_.y + 10};
    xdotool({"mousemove", "5", "5"});
    ASSERT_TRUE(capture_->startCapturing());
    EXPECT_NEAR(capture_->sessionStartTime(), SystemClock::shared().uptime(), 1.0);
    xdotool({"mousemove", pt(p.x), pt(p.y), "click", "1", "click", "3", "mousedown", "1", "mousemove", pt(p1.x),
             pt(p1.y), "mouseup", "1", "mousedown", "3", "mousemove", pt(p2.x), pt(p2.y), "mouseup", "3", "click", "4",
             "click", "5", "click", "6", "click", "7", "click", "2", "mousemove", pt(q.x), pt(q.y), "key", "Return",
             "BackSpace", "Left", "Right", "Down", "Up", "shift+a", "Escape"});
    using E = EventType;
    std::vector<std::string> expected;
    auto expect = [&](E type, Point at, std::optional<int64_t> button, std::optional<Vector> delta = {},
                      std::optional<uint16_t> key = {}) {
        RawEvent e = test::event(type, 0, at, frame_.contains(at));
        e.mouseButton = button, e.delta = delta, e.keyCode = key;
        expected.push_back(describe(e));
    };
    expect(E::mouseMove, p, {});
    for (int64_t b : {0, 1}) expect(E::mouseDown, p, b), expect(E::mouseUp, p, b);
    expect(E::mouseDown, p, 0), expect(E::mouseDragged, p1, 0), expect(E::mouseUp, p1, 0);
    expect(E::mouseDown, p1, 1), expect(E::mouseDragged, p2, 1), expect(E::mouseUp, p2, 1);
    for (Vector d : {Vector{0, 10}, Vector{0, -10}, Vector{10, 0}, Vector{-10, 0}}) expect(E::scrollWheel, p2, {}, d);
    expect(E::mouseMove, q, {});  // the middle click is not recorded, nor Shift alone
    for (uint16_t key : {uint16_t{36}, uint16_t{51}, uint16_t{123}, uint16_t{124}, uint16_t{125}, uint16_t{126}, kRedactedKeyCode, uint16_t{53}}) expect(E::keyDown, q, {}, {}, key), expect(E::keyUp, q, {}, {}, key);

    ASSERT_TRUE(waitForEvents(expected.size()));
    idle(0.2);  // nothing more may come
    std::vector<std::string> got;
    double last = 0;
    for (const RawEvent& e : events_) {
        got.push_back(describe(e));
        EXPECT_EQ(e.windowID, static_cast<uint32_t>(window_));
        EXPECT_GE(e.timestamp, last);  // arrival order, monotonic time
        last = e.timestamp;
    }
    EXPECT_EQ(got, expected);
    EXPECT_LT(last, 60.0);

    // Nothing was taken from the window, and no grab is held: another client can grab pointer
    // and keyboard, and the capture still sees the input.
    Display* d = session_->connection().display();
    EXPECT_TRUE(loop_.runUntil([&] {
        for (XEvent event; XPending(d);)
            if (XNextEvent(d, &event); event.type == ButtonPress && event.xbutton.window == window_) return true;
        return false;
    }, 2.0));
    EXPECT_EQ(XGrabPointer(d, DefaultRootWindow(d), False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None, None,
                           CurrentTime), GrabSuccess);
    EXPECT_EQ(XGrabKeyboard(d, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync, CurrentTime), GrabSuccess);
    session_->connection().sync();
    xdotool({"key", "Tab"});
    ASSERT_TRUE(waitForEvents(expected.size() + 2));
    EXPECT_EQ(events_.back().keyCode, kRedactedKeyCode);  // Tab is a character key
}

TEST_F(X11Capture, StopReturnsPromptlyEveryTimeAndEvenWhenTheServerIsGrabbed) {
    prepare();
    auto stopTakes = [&] {
        const double t0 = SystemClock::shared().uptime();
        capture_->stopCapturing();
        return SystemClock::shared().uptime() - t0;  // a hang would be the failure
    };
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(capture_->startCapturing()) << i;
        xdotool({"mousemove", pt(200 + i), "200"});
        ASSERT_TRUE(waitForEvents(static_cast<size_t>(i + 1))) << i;
        EXPECT_LT(stopTakes(), 2.0) << i;
    }
    xdotool({"mousemove", "300", "300"});
    idle(0.1);
    EXPECT_EQ(events_.size(), 10u);  // nothing while stopped
    ASSERT_TRUE(capture_->startCapturing());
    auto grabber = X11Connection::open(session_->display());
    ASSERT_NE(grabber, nullptr);
    XGrabServer(grabber->display());  // a grabbed server answers nobody else
    grabber->sync();
    EXPECT_LT(stopTakes(), 3.0);
    XUngrabServer(grabber->display());
    grabber->sync();
    ASSERT_TRUE(capture_->startCapturing());
    xdotool({"mousemove", "400", "420"});
    ASSERT_TRUE(waitForEvents(11));
    EXPECT_EQ(events_.back().position, (Point{400, 420}));
}

TEST_F(X11Capture, LosingTheServerEndsCaptureAndKeepsWhatWasRecorded) {
    prepare();
    CaptureSession session(capture_, 2.0, loop_);
    std::optional<std::vector<RawEvent>> result;
    ASSERT_TRUE(session.start([&](const std::vector<RawEvent>& events) { result = events; }));
    xdotool({"mousemove", "250", "250", "click", "1"});
    ASSERT_TRUE(loop_.runUntil([&] { return session.capturedEvents().size() >= 3; }, 10.0));
    session_->killServer();
    ASSERT_TRUE(loop_.runUntil([&] { return tap_->connectionLost(); }, 10.0));
    EXPECT_FALSE(tap_->isInstalled());
    ASSERT_TRUE(loop_.runUntil([&] { return result.has_value(); }, 10.0));  // the session runs to its end
    ASSERT_EQ(result->size(), 3u);
    EXPECT_EQ((*result)[0].position, (Point{250, 250}));
    EXPECT_EQ((*result)[1].type, EventType::mouseDown);
    EXPECT_FALSE(capture_->isCapturing());
    // The window provider on the same server reports the window gone instead of failing hard.
    EXPECT_FALSE(manager_->provider().frame(static_cast<uint32_t>(window_)).has_value());
    EXPECT_FALSE(manager_->provider().isAvailable());
    idle(0.1);
    EXPECT_FALSE(manager_->currentFrame().has_value());
}

TEST_F(X11Capture, PositionsAndFramesAreDisplayPointsUnderADesktopScale) {
    setResources(session_->connection(), "Xft.antialias:\t1\nXft.dpi:\t192\n");
    prepare();
    auto pixels = frameFromTools(session_->display(), window_);
    ASSERT_TRUE(pixels.has_value());
    EXPECT_EQ(frame_, (Rect{pixels->x / 2, pixels->y / 2, pixels->width / 2, pixels->height / 2}));
    EXPECT_EQ(manager_->provider().mainDisplayBounds(), (Rect{0, 0, 640, 400}));
    ASSERT_TRUE(capture_->startCapturing());
    xdotool({"mousemove", "301", "401", "key", "Return"});
    ASSERT_TRUE(waitForEvents(3));
    EXPECT_EQ(events_[0].position, (Point{150.5, 200.5}));
    EXPECT_EQ(events_[1].position, (Point{150.5, 200.5}));
}

TEST_F(X11Capture, PermissionExplanationsAndTapFailures) {
    EXPECT_TRUE(X11EventTap::hasAccessibilityPermission(session_->display()));
    EXPECT_NE(X11EventTap::permissionExplanation(session_->display()).find("available"), std::string::npos);
    setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    EXPECT_FALSE(X11EventTap::hasAccessibilityPermission(session_->display()));
    EXPECT_NE(X11EventTap::permissionExplanation(session_->display()).find("Wayland"), std::string::npos);
    unsetenv("WAYLAND_DISPLAY");
    EXPECT_FALSE(X11EventTap::hasAccessibilityPermission(":987654"));
    EXPECT_NE(X11EventTap::permissionExplanation(":987654").find("no X11 display"), std::string::npos);
    X11EventTap missing(loop_, ":987654");
    missing.requestAccessibilityPermission();  // explains; never fails
    EXPECT_EQ(missing.install([](const TapEvent&) {}).error(), CaptureError::eventTapCreationFailed);

    // A loop that cannot watch the connection, and nothing left behind for a working one.
    ManualClock clock;
    ManualScheduler manual(clock);
    X11EventTap unwatchable(manual, session_->display());
    EXPECT_EQ(unwatchable.install([](const TapEvent&) {}).error(), CaptureError::runLoopSourceCreationFailed);
    EXPECT_FALSE(unwatchable.isInstalled());
    X11EventTap working(loop_, session_->display());
    EXPECT_TRUE(working.install([](const TapEvent&) {}));
    working.uninstall();
}

TEST_F(X11CaptureBare, ALoneEventArrivesOnAQuietDesktopStampedWhenTheServerSawIt) {
    // The server buffers recorded events until about 32 have gathered or some client gets
    // output; injected over a connection that stays quiet (xdotool's exit would flush).
    auto manager = std::make_shared<WindowScopeManager>(std::make_shared<X11TreeWindowProvider>(loop_));
    ASSERT_TRUE(manager->startTracking(WindowScopeManager::allWindowsID));
    GlobalInputCapture capture(manager, std::make_shared<X11EventTap>(loop_));
    auto s = capture.events().subscribe([&](const RawEvent& e) { events_.push_back(e); });
    ASSERT_TRUE(capture.startCapturing());
    Display* d = session_->connection().display();
    XTestFakeMotionEvent(d, -1, 321, 123, CurrentTime);
    XFlush(d);
    const double sent = SystemClock::shared().uptime();
    ASSERT_TRUE(loop_.runUntil([&] { return !events_.empty(); }, 5.0));
    EXPECT_EQ(events_[0].position, (Point{321, 123}));
    EXPECT_LE(events_[0].timestamp + capture.sessionStartTime(), SystemClock::shared().uptime());
    EXPECT_NEAR(events_[0].timestamp + capture.sessionStartTime(), sent, 0.25);
    XTestFakeMotionEvent(d, -1, 322, 124, CurrentTime);
    XFlush(d);
    EXPECT_TRUE(loop_.runUntil([&] { return events_.size() == 2; }, 5.0));
}

class X11CaptureWithoutRecord : public XTest {
    XSession::Options options() const override { return {.windowManager = false, .extraServerArgs = {"-extension", "RECORD"}}; }
};

TEST_F(X11CaptureWithoutRecord, IsNotPermittedAndCannotCreateTheTap) {
    EXPECT_FALSE(X11EventTap::hasAccessibilityPermission(session_->display()));
    EXPECT_NE(X11EventTap::permissionExplanation(session_->display()).find("RECORD"), std::string::npos);
    X11EventTap tap(loop_, session_->display());
    EXPECT_EQ(tap.install([](const TapEvent&) {}).error(), CaptureError::eventTapCreationFailed);
}
