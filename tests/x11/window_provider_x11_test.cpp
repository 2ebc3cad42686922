// The X11 window providers against a real server and window manager.
#include <gtest/gtest.h>
// Xlib after GoogleTest: its macros (None, Bool...) collide with names inside gtest.
#include <X11/Xlib.h>

#include <map>

#include "support/event_loop.h"
#include "support/manual_scheduler.h"
#include "window_scope/window_scope_manager.h"
#include "window_scope/x11/x11_window_providers.h"
#include "x_session.h"

using namespace murmura;
using namespace murmura::test;

namespace {

std::vector<uint32_t> ids(const std::vector<WindowDescriptor>& list) {
    std::vector<uint32_t> out;
    for (const auto& d : list) out.push_back(d.id);
    return out;
}

const char* kUtf8Title = "Alpha \xE2\x80\x94 \xC3\xBC \xE6\xBC\xA2";      // "Alpha — ü 漢"
const char* kCompoundTitle = "\xC3\x9Cn\xC3\xAF \xE2\x80\x94 \xE6\xBC\xA2\xE5\xAD\x97";  // "Ünï — 漢字"

struct Desktop {
    unsigned long zeta = 0, alpha = 0, small = 0, shielded = 0, own = 0, dock = 0, lower = 0, compound = 0;
    void open(X11Connection& c) {
        zeta = createWindow(c, windowOptions("Zeta doc", "Zeta", 100, 100, 400, 300));
        alpha = createWindow(c, windowOptions(kUtf8Title, "Alpha", 600, 150, 500, 350));
        small = createWindow(c, windowOptions("tiny", "Small", 50, 500, 150, 150));
        shielded = createWindow(c, windowOptions("My Shield panel", "Guard", 300, 400));
        own = createWindow(c, windowOptions("Gallery", "Murmura", 320, 420));
        auto dockOptions = windowOptions("panel", "Panel", 0, 760, 1280, 40);
        dockOptions.type = "DOCK";
        dock = createWindow(c, dockOptions);
        lower = createWindow(c, windowOptions("a shield, lower case", "Lower", 200, 250));
        auto compoundOptions = windowOptions(kCompoundTitle, "Compound", 700, 520, 300, 220);
        compoundOptions.compoundTextTitle = true;
        compound = createWindow(c, compoundOptions);
    }
    std::vector<unsigned long> all() const { return {zeta, alpha, small, shielded, own, dock, lower, compound}; }
};

class X11Providers : public ::testing::Test {
protected:
    void SetUp() override {
        MURMURA_REQUIRE_X_TOOLS();
        session_ = std::make_unique<XSession>();
        ASSERT_TRUE(session_->ok()) << session_->error();
    }
    std::unique_ptr<XSession> session_;
    EventLoop loop_;
};

}  // namespace

TEST_F(X11Providers, EwmhListingFiltersSortsAndReadsTitlesAndFrames) {
    Desktop desk;
    desk.open(session_->connection());
    ASSERT_TRUE(waitForManagedWindows(session_->connection(), desk.all()));

    EwmhWindowProvider provider(loop_);
    ASSERT_TRUE(provider.isAvailable());
    EXPECT_TRUE(provider.windowManagerSupportsEwmh());
    EXPECT_EQ(provider.providerName(), "EWMH client list");
    auto list = provider.listWindows();
    ASSERT_TRUE(list) << list.error().message();
    // Too small, "Shield" in the title, this application, and a dock are left out; the rest
    // is ordered by owner name.
    EXPECT_EQ(ids(*list), (std::vector<uint32_t>{static_cast<uint32_t>(desk.alpha), static_cast<uint32_t>(desk.compound),
                                                 static_cast<uint32_t>(desk.lower), static_cast<uint32_t>(desk.zeta)}));
    std::map<uint32_t, WindowDescriptor> byID;
    for (const auto& d : *list) byID[d.id] = d;

    const auto& alpha = byID[desk.alpha];
    EXPECT_EQ(alpha.ownerName, "Alpha");
    EXPECT_EQ(alpha.title, kUtf8Title);
    EXPECT_EQ(alpha.displayName(), std::string("Alpha \xE2\x80\x94 ") + kUtf8Title);
    EXPECT_TRUE(alpha.isOnScreen);
    // xterm-style titles: COMPOUND_TEXT in WM_NAME, decoded to UTF-8.
    auto encoding = runCommand({"xprop", "-display", session_->display(), "-id", std::to_string(desk.compound), "WM_NAME"});
    EXPECT_NE(encoding.out.find("WM_NAME(COMPOUND_TEXT)"), std::string::npos) << encoding.out;
    EXPECT_EQ(byID[desk.compound].title, kCompoundTitle);

    for (unsigned long w : {desk.alpha, desk.compound, desk.lower, desk.zeta}) {
        auto expected = frameFromTools(session_->display(), w);
        ASSERT_TRUE(expected.has_value()) << w;
        EXPECT_EQ(byID[static_cast<uint32_t>(w)].frame, *expected) << w;
        EXPECT_EQ(provider.frame(static_cast<uint32_t>(w)), *expected) << w;
    }
    // The decorations belong to the frame: it is larger than the client area.
    EXPECT_GT(byID[desk.zeta].frame.width, 400);
    EXPECT_GT(byID[desk.zeta].frame.height, 300);
    EXPECT_EQ(provider.mainDisplayBounds(), (Rect{0, 0, 1280, 800}));
}

TEST_F(X11Providers, TreeProviderFindsTheSameClientsInsideTheWindowManagerFrames) {
    Desktop desk;
    desk.open(session_->connection());
    ASSERT_TRUE(waitForManagedWindows(session_->connection(), desk.all()));
    EwmhWindowProvider ewmh(loop_);
    X11TreeWindowProvider tree(loop_);
    EXPECT_EQ(tree.providerName(), "X11 window tree");
    auto a = ewmh.listWindows();
    auto b = tree.listWindows();
    ASSERT_TRUE(a);
    ASSERT_TRUE(b);
    // Same windows, titles and frames, found by walking the tree instead of asking the manager.
    EXPECT_EQ(*a, *b);
    EXPECT_EQ(tree.frame(static_cast<uint32_t>(desk.zeta)), ewmh.frame(static_cast<uint32_t>(desk.zeta)));
}

TEST_F(X11Providers, ReadsTheTitleOfAnXterm) {
    if (!haveExecutable("xterm")) {
        if (std::getenv("CI")) FAIL() << "xterm missing under CI";
        GTEST_SKIP() << "xterm not installed";
    }
    // xterm sets no _NET_WM_NAME and writes a non-Latin-1 title as COMPOUND_TEXT in WM_NAME.
    ChildProcess xterm;
    {
        const std::string previous = std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "";
        setenv("LC_ALL", "C.UTF-8", 1);
        xterm = spawnProcess({"xterm", "-u8", "-T", kCompoundTitle, "-class", "TermTest", "-geometry", "60x20+40+40"});
        if (previous.empty()) unsetenv("LC_ALL"); else setenv("LC_ALL", previous.c_str(), 1);
    }
    EwmhWindowProvider provider(loop_);
    std::optional<WindowDescriptor> found;
    loop_.runUntil([&] {
        auto list = provider.listWindows();
        if (list)
            for (const auto& d : *list)
                if (d.ownerName == "TermTest") found = d;
        return found.has_value();
    }, 20.0);
    xterm.stop();
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->title, kCompoundTitle);
}

TEST_F(X11Providers, MinimizedAndClosedWindowsAreNotListed) {
    X11Connection& c = session_->connection();
    auto keep = createWindow(c, windowOptions("stays", "Keep"));
    auto minimized = createWindow(c, windowOptions("goes down", "Mini", 500));
    auto closed = createWindow(c, windowOptions("goes away", "Gone", 600, 400));
    ASSERT_TRUE(waitForManagedWindows(c, {keep, minimized, closed}));
    XIconifyWindow(c.display(), minimized, DefaultScreen(c.display()));
    XDestroyWindow(c.display(), closed);
    c.sync();
    EwmhWindowProvider provider(loop_);
    X11TreeWindowProvider tree(loop_);
    const std::vector<uint32_t> expected = {static_cast<uint32_t>(keep)};
    EXPECT_TRUE(loop_.runUntil([&] { return ids(provider.listWindows().value()) == expected; }, 10.0));
    EXPECT_TRUE(loop_.runUntil([&] { return ids(tree.listWindows().value()) == expected; }, 10.0));
    EXPECT_FALSE(provider.frame(static_cast<uint32_t>(closed)).has_value());
    EXPECT_FALSE(tree.frame(static_cast<uint32_t>(closed)).has_value());
    EXPECT_FALSE(provider.frame(0).has_value());
}

TEST_F(X11Providers, TrackingFollowsAMoveThenReportsTheClosedWindowAsAbsent) {
    X11Connection& c = session_->connection();
    auto window = createWindow(c, windowOptions("tracked", "Tracked"));
    ASSERT_TRUE(waitForManagedWindows(c, {window}));
    const auto id = static_cast<uint32_t>(window);
    auto manager = std::make_shared<WindowScopeManager>(std::make_shared<EwmhWindowProvider>(loop_));
    ASSERT_TRUE(manager->startTracking(id));
    const auto before = manager->currentFrame();
    ASSERT_TRUE(before.has_value());
    EXPECT_EQ(*before, *frameFromTools(session_->display(), window));

    int updates = 0;
    auto s = manager->currentFrameChanges().subscribe([&](const std::optional<Rect>&) { ++updates; });
    XMoveWindow(c.display(), window, 420, 260);
    c.sync();
    ASSERT_TRUE(loop_.runUntil([&] { return manager->currentFrame() != before; }, 10.0));
    auto moved = frameFromTools(session_->display(), window);
    ASSERT_TRUE(moved.has_value());
    ASSERT_TRUE(loop_.runUntil([&] { return manager->currentFrame() == moved; }, 10.0));
    EXPECT_EQ(manager->currentFrame()->width, before->width);  // moved, not resized
    const Point inside{moved->x + 10, moved->y + 10};
    EXPECT_TRUE(manager->isPointInScope(inside));

    // Frames keep coming while nothing changes.
    const int counted = updates;
    loop_.runUntil([] { return false; }, 0.5);
    EXPECT_GE(updates - counted, 5);

    XDestroyWindow(c.display(), window);
    c.sync();
    ASSERT_TRUE(loop_.runUntil([&] { return !manager->currentFrame().has_value(); }, 10.0));
    EXPECT_FALSE(manager->isPointInScope(inside));
    EXPECT_EQ(manager->windowID(), id);

    manager->stopTracking();
    auto again = manager->startTracking(id);
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().message(), "Window " + std::to_string(id) + " not found");
    EXPECT_FALSE(manager->isTracking());
}

TEST_F(X11Providers, DisplayPointsFollowTheDesktopScale) {
    X11Connection& c = session_->connection();
    auto window = createWindow(c, windowOptions("scaled", "Scaled", 200, 120));
    ASSERT_TRUE(waitForManagedWindows(c, {window}));
    auto pixels = frameFromTools(session_->display(), window);
    ASSERT_TRUE(pixels.has_value());
    setResources(c, "Xft.antialias:\t1\nXft.dpi:\t192\n");
    EwmhWindowProvider provider(loop_);
    EXPECT_EQ(provider.mainDisplayBounds(), (Rect{0, 0, 640, 400}));
    EXPECT_EQ(provider.frame(static_cast<uint32_t>(window)),
              (Rect{pixels->x / 2, pixels->y / 2, pixels->width / 2, pixels->height / 2}));
    WindowScopeManager manager(std::make_shared<EwmhWindowProvider>(loop_));
    ASSERT_TRUE(manager.startTracking(WindowScopeManager::allWindowsID));
    EXPECT_EQ(manager.currentFrame(), (Rect{0, 0, 640, 400}));
}

TEST(X11ProvidersWithoutWindowManager, TreeProviderListsMappedTopLevelWindows) {
    MURMURA_REQUIRE_X_TOOLS();
    XSession::Options options;
    options.windowManager = false;
    XSession session(options);
    ASSERT_TRUE(session.ok()) << session.error();
    X11Connection& c = session.connection();
    auto a = createWindow(c, windowOptions("plain", "Plain", 30, 40, 420, 310));
    createWindow(c, windowOptions("small", "Tiny", 600, 40, 120, 120));
    EventLoop loop;
    X11TreeWindowProvider tree(loop);
    auto list = tree.listWindows();
    ASSERT_TRUE(list) << list.error().message();
    ASSERT_EQ(ids(*list), (std::vector<uint32_t>{static_cast<uint32_t>(a)}));
    EXPECT_EQ((*list)[0].frame, (Rect{30, 40, 420, 310}));  // no decorations without a manager
    EXPECT_EQ((*list)[0].title, "plain");
    EXPECT_EQ(tree.frame(static_cast<uint32_t>(a)), (Rect{30, 40, 420, 310}));

    // Without a window manager there is no client list: the EWMH provider cannot enumerate,
    // and the default choice falls back to the tree.
    EwmhWindowProvider ewmh(loop);
    EXPECT_FALSE(ewmh.windowManagerSupportsEwmh());
    auto failed = ewmh.listWindows();
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().message(), "Failed to enumerate windows");
    EXPECT_EQ(makeDefaultWindowProvider(loop)->providerName(), "X11 window tree");
}

TEST(X11ProvidersWithoutServer, FailCleanlyWhenTheDisplayCannotBeOpened) {
    ManualClock clock;
    ManualScheduler scheduler(clock);
    EwmhWindowProvider provider(scheduler, ":987654");
    EXPECT_FALSE(provider.isAvailable());
    auto list = provider.listWindows();
    ASSERT_FALSE(list);
    EXPECT_EQ(list.error().message(), "Failed to enumerate windows");
    EXPECT_FALSE(provider.frame(1).has_value());
    EXPECT_FALSE(provider.mainDisplayBounds().has_value());
    auto tracked = provider.startTracking(5);
    ASSERT_FALSE(tracked);
    EXPECT_EQ(tracked.error(), WindowProviderError::windowNotFound(5));
    X11TreeWindowProvider tree(scheduler, ":987654");
    EXPECT_FALSE(tree.listWindows());
}
