// Global input capture through the RECORD extension on a real server, with input injected by
// xdotool.
#include <gtest/gtest.h>
// Xlib after GoogleTest: its macros (None, Bool...) collide with names inside gtest.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <sstream>

#include "capture/capture_session.h"
#include "capture/x11/x11_event_tap.h"
#include "support/clock.h"
#include "support/event_loop.h"
#include "support/manual_scheduler.h"
#include "window_scope/x11/x11_window_providers.h"
#include "x_session.h"

using namespace murmura;
using namespace murmura::test;

namespace {

std::string pt(double v) { return std::to_string(static_cast<long>(v)); }

// One expected event: what the user did, where, and what it carries.
struct Expect {
    EventType type;
    Point position;
    std::optional<int64_t> button = std::nullopt;
    std::optional<Vector> delta = std::nullopt;
    std::optional<uint16_t> keyCode = std::nullopt;
    bool inScope = true;
};

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

class X11Capture : public ::testing::Test {
protected:
    void SetUp() override {
        MURMURA_REQUIRE_X_TOOLS();
        session_ = std::make_unique<XSession>();
        ASSERT_TRUE(session_->ok()) << session_->error();
    }

    // A 400 x 300 window tracked by a scope manager, and a capture ready to start.
    void prepare(long eventMask = 0) {
        auto options = windowOptions("canvas", "Canvas", 100, 100, 400, 300);
        options.eventMask = eventMask;
        window_ = createWindow(session_->connection(), options);
        ASSERT_TRUE(waitForManagedWindows(session_->connection(), {window_}));
        manager_ = std::make_shared<WindowScopeManager>(std::make_shared<EwmhWindowProvider>(loop_));
        ASSERT_TRUE(manager_->startTracking(static_cast<uint32_t>(window_)));
        frame_ = *manager_->currentFrame();
        tap_ = std::make_shared<X11EventTap>(loop_);
        capture_ = std::make_shared<GlobalInputCapture>(manager_, tap_);
        subscription_ = capture_->events().subscribe([this](const RawEvent& e) { events_.push_back(e); });
    }

    void xdotool(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        ASSERT_EQ(runCommand(argv).status, 0);
    }

    bool waitForEvents(size_t count, double timeout = 10.0) {
        return loop_.runUntil([&] { return events_.size() >= count; }, timeout);
    }

    std::unique_ptr<XSession> session_;
    EventLoop loop_;
    unsigned long window_ = 0;
    Rect frame_;
    std::shared_ptr<WindowScopeManager> manager_;
    std::shared_ptr<X11EventTap> tap_;
    std::shared_ptr<GlobalInputCapture> capture_;
    std::vector<RawEvent> events_;
    Subscription subscription_;
};

}  // namespace

TEST_F(X11Capture, RecordsInjectedInputWithTypesButtonsPositionsDeltasAndCodes) {
    prepare();
    const Point p{frame_.x + 50, frame_.y + 60};
    const Point p1{p.x + 20, p.y + 10};
    const Point p2{p.x + 40, p.y + 20};
    const Point q{frame_.maxX() + 100, frame_.y + 10};
    xdotool({"mousemove", "5", "5"});
    ASSERT_TRUE(capture_->startCapturing());
    const double started = SystemClock::shared().uptime();
    EXPECT_NEAR(capture_->sessionStartTime(), started, 1.0);

    xdotool({"mousemove", pt(p.x), pt(p.y), "click", "1", "click", "3",
             "mousedown", "1", "mousemove", pt(p1.x), pt(p1.y), "mouseup", "1",
             "mousedown", "3", "mousemove", pt(p2.x), pt(p2.y), "mouseup", "3",
             "click", "4", "click", "5", "click", "6", "click", "7", "click", "2",
             "mousemove", pt(q.x), pt(q.y),
             "key", "Return", "BackSpace", "Left", "Right", "Down", "Up", "shift+a", "Escape"});
    const std::vector<Expect> expected = {
        {EventType::mouseMove, p},
        {EventType::mouseDown, p, 0},
        {EventType::mouseUp, p, 0},
        {EventType::mouseDown, p, 1},
        {EventType::mouseUp, p, 1},
        {EventType::mouseDown, p, 0},
        {EventType::mouseDragged, p1, 0},
        {EventType::mouseUp, p1, 0},
        {EventType::mouseDown, p1, 1},
        {EventType::mouseDragged, p2, 1},
        {EventType::mouseUp, p2, 1},
        {EventType::scrollWheel, p2, std::nullopt, Vector{0, 10}},
        {EventType::scrollWheel, p2, std::nullopt, Vector{0, -10}},
        {EventType::scrollWheel, p2, std::nullopt, Vector{10, 0}},
        {EventType::scrollWheel, p2, std::nullopt, Vector{-10, 0}},
        // the middle click is not recorded
        {EventType::mouseMove, q, std::nullopt, std::nullopt, std::nullopt, false},
        {EventType::keyDown, q, std::nullopt, std::nullopt, 36, false},
        {EventType::keyUp, q, std::nullopt, std::nullopt, 36, false},
        {EventType::keyDown, q, std::nullopt, std::nullopt, 51, false},
        {EventType::keyUp, q, std::nullopt, std::nullopt, 51, false},
        {EventType::keyDown, q, std::nullopt, std::nullopt, 123, false},
        {EventType::keyUp, q, std::nullopt, std::nullopt, 123, false},
        {EventType::keyDown, q, std::nullopt, std::nullopt, 124, false},
        {EventType::keyUp, q, std::nullopt, std::nullopt, 124, false},
        {EventType::keyDown, q, std::nullopt, std::nullopt, 125, false},
        {EventType::keyUp, q, std::nullopt, std::nullopt, 125, false},
        {EventType::keyDown, q, std::nullopt, std::nullopt, 126, false},
        {EventType::keyUp, q, std::nullopt, std::nullopt, 126, false},
        // Shift alone is a modifier change and not recorded; the A key is, as the privacy code.
        {EventType::keyDown, q, std::nullopt, std::nullopt, kRedactedKeyCode, false},
        {EventType::keyUp, q, std::nullopt, std::nullopt, kRedactedKeyCode, false},
        {EventType::keyDown, q, std::nullopt, std::nullopt, 53, false},
        {EventType::keyUp, q, std::nullopt, std::nullopt, 53, false},
    };
    ASSERT_TRUE(waitForEvents(expected.size()));
    loop_.runUntil([] { return false; }, 0.2);  // nothing more may come
    std::ostringstream all;
    for (const auto& e : events_) all << describe(e) << "\n";
    ASSERT_EQ(events_.size(), expected.size()) << all.str();
    double last = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "event " << i << ": " << describe(events_[i]));
        const RawEvent& e = events_[i];
        const Expect& x = expected[i];
        EXPECT_EQ(e.type, x.type);
        EXPECT_EQ(e.position, x.position);
        EXPECT_EQ(e.mouseButton, x.button);
        EXPECT_EQ(e.delta, x.delta);
        EXPECT_EQ(e.keyCode, x.keyCode);
        EXPECT_EQ(e.inScope, x.inScope);
        EXPECT_EQ(e.windowID, static_cast<uint32_t>(window_));
        EXPECT_GE(e.timestamp, last);  // arrival order, monotonic time
        last = e.timestamp;
    }
    EXPECT_GE(events_.front().timestamp, 0.0);
    EXPECT_LT(events_.back().timestamp, 60.0);
    capture_->stopCapturing();
}

TEST_F(X11Capture, OnlyListensTheFocusedWindowStillGetsItsInputAndOthersCanGrab) {
    prepare(ButtonPressMask);
    ASSERT_TRUE(capture_->startCapturing());
    const Point p{frame_.x + 80, frame_.y + 90};
    xdotool({"mousemove", pt(p.x), pt(p.y), "click", "1"});
    ASSERT_TRUE(waitForEvents(3));
    // The window received its own click: nothing was taken away from it.
    Display* d = session_->connection().display();
    XEvent event;
    bool windowGotClick = false;
    for (int i = 0; i < 200 && !windowGotClick; ++i) {
        while (XPending(d)) {
            XNextEvent(d, &event);
            if (event.type == ButtonPress && event.xbutton.window == window_) windowGotClick = true;
        }
        if (!windowGotClick) loop_.runUntil([] { return false; }, 0.01);
    }
    EXPECT_TRUE(windowGotClick);

    // Capturing holds no grab: another client can grab pointer and keyboard, and the capture
    // still sees what goes to that client.
    EXPECT_EQ(XGrabPointer(d, DefaultRootWindow(d), False, ButtonPressMask | PointerMotionMask, GrabModeAsync,
                           GrabModeAsync, None, None, CurrentTime),
              GrabSuccess);
    EXPECT_EQ(XGrabKeyboard(d, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync, CurrentTime), GrabSuccess);
    session_->connection().sync();
    const size_t before = events_.size();
    xdotool({"mousemove", pt(p.x + 5), pt(p.y + 5), "key", "Tab"});
    EXPECT_TRUE(waitForEvents(before + 3));
    XUngrabKeyboard(d, CurrentTime);
    XUngrabPointer(d, CurrentTime);
    session_->connection().sync();
    ASSERT_EQ(events_.size(), before + 3);
    EXPECT_EQ(events_[before].type, EventType::mouseMove);
    EXPECT_EQ(events_[before + 1].keyCode, kRedactedKeyCode);  // Tab is a character key
}

TEST_F(X11Capture, StartTwiceIsOneTapAndRestartResetsTheTimeBase) {
    prepare();
    ASSERT_TRUE(capture_->startCapturing());
    ASSERT_TRUE(capture_->startCapturing());
    xdotool({"mousemove", "300", "300"});
    ASSERT_TRUE(waitForEvents(1));
    loop_.runUntil([] { return false; }, 0.1);
    EXPECT_EQ(events_.size(), 1u);  // two taps would deliver it twice
    const double firstStart = capture_->sessionStartTime();
    loop_.runUntil([] { return false; }, 0.3);
    capture_->stopCapturing();
    xdotool({"mousemove", "310", "300"});
    loop_.runUntil([] { return false; }, 0.1);
    EXPECT_EQ(events_.size(), 1u);  // nothing while stopped
    ASSERT_TRUE(capture_->startCapturing());
    EXPECT_GT(capture_->sessionStartTime(), firstStart + 0.25);
    xdotool({"mousemove", "320", "300"});
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_LT(events_[1].timestamp, events_[0].timestamp + 0.25);
}

TEST_F(X11Capture, StopReturnsPromptlyEveryTimeAndEvenWhenTheServerIsGrabbed) {
    prepare();
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(capture_->startCapturing()) << i;
        xdotool({"mousemove", pt(200 + i), "200"});
        ASSERT_TRUE(waitForEvents(static_cast<size_t>(i + 1))) << i;
        const double t0 = SystemClock::shared().uptime();
        capture_->stopCapturing();
        EXPECT_LT(SystemClock::shared().uptime() - t0, 2.0) << i;  // a hang would be the failure
    }
    // A server grabbed by another client answers nobody else: stop must not wait for it.
    ASSERT_TRUE(capture_->startCapturing());
    auto grabber = X11Connection::open(session_->display());
    ASSERT_NE(grabber, nullptr);
    XGrabServer(grabber->display());
    grabber->sync();
    const double t0 = SystemClock::shared().uptime();
    capture_->stopCapturing();
    EXPECT_LT(SystemClock::shared().uptime() - t0, 3.0);
    XUngrabServer(grabber->display());
    grabber->sync();
    // And the next session works.
    const size_t before = events_.size();
    ASSERT_TRUE(capture_->startCapturing());
    xdotool({"mousemove", "400", "420"});
    ASSERT_TRUE(waitForEvents(before + 1));
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
    // The session runs to its end and hands over what was recorded.
    ASSERT_TRUE(loop_.runUntil([&] { return result.has_value(); }, 10.0));
    ASSERT_EQ(result->size(), 3u);
    EXPECT_EQ((*result)[0].position, (Point{250, 250}));
    EXPECT_EQ((*result)[1].type, EventType::mouseDown);
    EXPECT_FALSE(capture_->isCapturing());
    // The window provider on the same server reports the window gone instead of failing hard.
    EXPECT_FALSE(manager_->provider().frame(static_cast<uint32_t>(window_)).has_value());
    EXPECT_FALSE(manager_->provider().isAvailable());
    loop_.runUntil([] { return false; }, 0.1);
    EXPECT_FALSE(manager_->currentFrame().has_value());
    // (Starting again is not tried here: another test's server may already have taken over
    // the display number.)
}

TEST_F(X11Capture, PositionsAreDisplayPointsUnderADesktopScale) {
    setResources(session_->connection(), "Xft.dpi:\t192\n");
    prepare();
    ASSERT_TRUE(capture_->startCapturing());
    xdotool({"mousemove", "301", "401", "key", "Return"});
    ASSERT_TRUE(waitForEvents(3));
    EXPECT_EQ(events_[0].position, (Point{150.5, 200.5}));
    EXPECT_EQ(events_[1].position, (Point{150.5, 200.5}));
    // The window frame is in the same points, so the scope test agrees with the pixels.
    auto pixels = frameFromTools(session_->display(), window_);
    ASSERT_TRUE(pixels.has_value());
    EXPECT_EQ(frame_, (Rect{pixels->x / 2, pixels->y / 2, pixels->width / 2, pixels->height / 2}));
}

TEST_F(X11Capture, PermissionAndItsExplanation) {
    EXPECT_TRUE(X11EventTap::hasAccessibilityPermission(session_->display()));
    EXPECT_NE(X11EventTap::permissionExplanation(session_->display()).find("available"), std::string::npos);
    setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    EXPECT_FALSE(X11EventTap::hasAccessibilityPermission(session_->display()));
    EXPECT_NE(X11EventTap::permissionExplanation(session_->display()).find("Wayland"), std::string::npos);
    unsetenv("WAYLAND_DISPLAY");
    EXPECT_FALSE(X11EventTap::hasAccessibilityPermission(":987654"));
    EXPECT_NE(X11EventTap::permissionExplanation(":987654").find("no X11 display"), std::string::npos);
    X11EventTap(loop_, ":987654").requestAccessibilityPermission();  // explains; never fails

    X11EventTap missing(loop_, ":987654");
    auto failed = missing.install([](const TapEvent&) {});
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), CaptureError::eventTapCreationFailed);
}

TEST_F(X11Capture, ALoopThatCannotWatchTheConnectionIsARunLoopSourceFailure) {
    ManualClock clock;
    ManualScheduler manual(clock);
    X11EventTap tap(manual, session_->display());
    auto r = tap.install([](const TapEvent&) {});
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), CaptureError::runLoopSourceCreationFailed);
    EXPECT_FALSE(tap.isInstalled());
    // Nothing was left behind: a working loop can install right after.
    X11EventTap working(loop_, session_->display());
    EXPECT_TRUE(working.install([](const TapEvent&) {}));
    working.uninstall();
}

TEST(X11CaptureQuietDesktop, AnEventIsDeliveredEvenWhenNothingElseHappens) {
    // The server buffers recorded events until about 32 have gathered or some client receives
    // output. On a desktop where nothing else happens a lone event must still arrive.
    MURMURA_REQUIRE_X_TOOLS();
    XSession::Options options;
    options.windowManager = false;
    XSession session(options);
    ASSERT_TRUE(session.ok()) << session.error();
    EventLoop loop;
    auto manager = std::make_shared<WindowScopeManager>(std::make_shared<X11TreeWindowProvider>(loop));
    ASSERT_TRUE(manager->startTracking(WindowScopeManager::allWindowsID));
    GlobalInputCapture capture(manager, std::make_shared<X11EventTap>(loop));
    std::vector<RawEvent> events;
    auto s = capture.events().subscribe([&](const RawEvent& e) { events.push_back(e); });
    ASSERT_TRUE(capture.startCapturing());
    // Injected over a connection that stays open and quiet afterwards (xdotool's exit would
    // itself make the server flush).
    Display* d = session.connection().display();
    XTestFakeMotionEvent(d, -1, 321, 123, CurrentTime);
    XFlush(d);
    const double sent = SystemClock::shared().uptime();
    ASSERT_TRUE(loop.runUntil([&] { return !events.empty(); }, 5.0));
    EXPECT_EQ(events[0].position, (Point{321, 123}));
    // The timestamp is when the server saw the motion, not when it reached us.
    EXPECT_LE(events[0].timestamp + capture.sessionStartTime(), SystemClock::shared().uptime());
    EXPECT_NEAR(events[0].timestamp + capture.sessionStartTime(), sent, 0.25);
    XTestFakeMotionEvent(d, -1, 322, 124, CurrentTime);
    XFlush(d);
    ASSERT_TRUE(loop.runUntil([&] { return events.size() == 2; }, 5.0));
}

TEST(X11CaptureWithoutRecord, IsNotPermittedAndCannotCreateTheTap) {
    MURMURA_REQUIRE_X_TOOLS();
    XSession::Options options;
    options.windowManager = false;
    options.extraServerArgs = {"-extension", "RECORD"};
    XSession session(options);
    ASSERT_TRUE(session.ok()) << session.error();
    EXPECT_FALSE(X11EventTap::hasAccessibilityPermission(session.display()));
    EXPECT_NE(X11EventTap::permissionExplanation(session.display()).find("RECORD"), std::string::npos);
    EventLoop loop;
    X11EventTap tap(loop, session.display());
    auto r = tap.install([](const TapEvent&) {});
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), CaptureError::eventTapCreationFailed);
}
