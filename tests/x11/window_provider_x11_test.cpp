// The X11 window providers against a real server and window manager.
#include "x_session.h"
// Xlib after GoogleTest: its macros (None, Bool...) collide with names inside gtest.
#include <X11/Xlib.h>

#include <map>

#include "support/manual_scheduler.h"
#include "window_scope/window_scope_manager.h"
#include "window_scope/x11/x11_window_providers.h"

using namespace murmura;
using namespace murmura::test;

namespace {

std::vector<uint32_t> ids(const std::vector<WindowDescriptor>& list) {
    std::vector<uint32_t> out;
    for (const auto& d : list) out.push_back(d.id);
    return out;
}

const char* kUtf8Title = "Alpha \xE2\x80\x94 \xC3\xBC \xE6\xBC\xA2";                       // "Alpha — ü 漢"
const char* kCompoundTitle = "\xC3\x9Cn\xC3\xAF \xE2\x80\x94 \xE6\xBC\xA2\xE5\xAD\x97";  // "Ünï — 漢字"

using X11Providers = XTest;
class X11ProvidersBare : public XTest {
    XSession::Options options() const override { return {.windowManager = false}; }
};

}  // namespace

TEST_F(X11Providers, ListingFiltersSortsAndReadsTitlesAndFramesAlikeFromEwmhAndTree) {
    X11Connection& c = session_->connection();
    const unsigned long zeta = createWindow(c, {.title = "Zeta doc", .ownerClass = "Zeta"});
    const unsigned long alpha = createWindow(c, {kUtf8Title, "Alpha", 600, 150, 500, 350});
    const unsigned long compound = createWindow(c, {kCompoundTitle, "Compound", 700, 520, 300, 220, "", true});
    const unsigned long lower = createWindow(c, {"a shield, lower case", "Lower", 200, 250});
    std::vector<unsigned long> all = {zeta, alpha, compound, lower};
    // Left out: too small, "Shield" in the title, this application, a dock.
    for (const TestWindow& w : {TestWindow{"tiny", "Small", 50, 500, 150, 150}, TestWindow{"My Shield panel", "Guard"},
                                TestWindow{"Gallery", "Murmura"}, TestWindow{"panel", "Panel", 0, 760, 1280, 40, "DOCK"}})
        all.push_back(createWindow(c, w));
    ASSERT_TRUE(waitForManagedWindows(c, all));

    EwmhWindowProvider provider(loop_);
    ASSERT_TRUE(provider.isAvailable());
    EXPECT_TRUE(provider.windowManagerSupportsEwmh());
    auto list = provider.listWindows();
    ASSERT_TRUE(list) << list.error().message();
    EXPECT_EQ(ids(*list), (std::vector<uint32_t>{static_cast<uint32_t>(alpha), static_cast<uint32_t>(compound),
                                                 static_cast<uint32_t>(lower), static_cast<uint32_t>(zeta)}));
    std::map<unsigned long, WindowDescriptor> byID;
    for (const auto& d : *list) byID[d.id] = d;
    EXPECT_EQ(byID[alpha].ownerName, "Alpha");
    EXPECT_EQ(byID[alpha].title, kUtf8Title);
    EXPECT_TRUE(byID[alpha].isOnScreen);
    auto encoding = runCommand({"xprop", "-display", session_->display(), "-id", std::to_string(compound), "WM_NAME"});
    EXPECT_NE(encoding.out.find("WM_NAME(COMPOUND_TEXT)"), std::string::npos) << encoding.out;
    EXPECT_EQ(byID[compound].title, kCompoundTitle);  // xterm-style titles decoded to UTF-8
    for (unsigned long w : {alpha, compound, lower, zeta}) {
        auto expected = frameFromTools(session_->display(), w);
        ASSERT_TRUE(expected.has_value()) << w;
        EXPECT_EQ(byID[w].frame, *expected) << w;
        EXPECT_EQ(provider.frame(static_cast<uint32_t>(w)), *expected) << w;
    }
    EXPECT_GT(byID[zeta].frame.width, 400);  // the decorations belong to the frame
    EXPECT_EQ(provider.mainDisplayBounds(), (Rect{0, 0, 1280, 800}));

    // The tree walk finds the same clients inside the window manager's frames.
    X11TreeWindowProvider tree(loop_);
    EXPECT_EQ(tree.listWindows().value(), *list);
    EXPECT_EQ(tree.frame(static_cast<uint32_t>(zeta)), provider.frame(static_cast<uint32_t>(zeta)));

    // Minimized and closed windows leave both lists.
    XIconifyWindow(c.display(), alpha, DefaultScreen(c.display()));
    XDestroyWindow(c.display(), compound);
    XDestroyWindow(c.display(), lower);
    c.sync();
    for (WindowProvider* p : std::initializer_list<WindowProvider*>{&provider, &tree}) {
        SCOPED_TRACE(p->providerName());
        EXPECT_TRUE(loop_.runUntil([&] { return ids(p->listWindows().value()) == std::vector{uint32_t(zeta)}; }, 10.0));
        EXPECT_FALSE(p->frame(static_cast<uint32_t>(lower)).has_value());
        EXPECT_FALSE(p->frame(0).has_value());
    }
}

TEST_F(X11Providers, TrackingFollowsAMoveThenReportsTheClosedWindowAsAbsent) {
    X11Connection& c = session_->connection();
    const auto window = managedWindow({"tracked", "Tracked"});
    const auto id = static_cast<uint32_t>(window);
    WindowScopeManager manager(std::make_shared<EwmhWindowProvider>(loop_));
    ASSERT_TRUE(manager.startTracking(id));
    const auto before = manager.currentFrame();
    EXPECT_EQ(before, frameFromTools(session_->display(), window));
    XMoveWindow(c.display(), window, 420, 260);
    c.sync();
    ASSERT_TRUE(loop_.runUntil([&] { return manager.currentFrame() != before; }, 10.0));
    const auto moved = frameFromTools(session_->display(), window);
    ASSERT_TRUE(moved.has_value());
    ASSERT_TRUE(loop_.runUntil([&] { return manager.currentFrame() == moved; }, 10.0));
    EXPECT_EQ(moved->width, before->width);  // moved, not resized
    // (Polling every tick and keeping the closed window's number are the tracking unit tests'.)
    XDestroyWindow(c.display(), window);
    c.sync();
    EXPECT_TRUE(loop_.runUntil([&] { return !manager.currentFrame().has_value(); }, 10.0));
}

TEST_F(X11ProvidersBare, WithoutAWindowManagerTheTreeListsMappedTopLevelWindows) {
    X11Connection& c = session_->connection();
    const auto a = createWindow(c, {"plain", "Plain", 30, 40, 420, 310});
    createWindow(c, {"small", "Tiny", 600, 40, 120, 120});
    X11TreeWindowProvider tree(loop_);
    auto list = tree.listWindows();
    ASSERT_TRUE(list) << list.error().message();
    ASSERT_EQ(ids(*list), (std::vector<uint32_t>{static_cast<uint32_t>(a)}));
    EXPECT_EQ((*list)[0].frame, (Rect{30, 40, 420, 310}));  // no decorations without a manager
    EXPECT_EQ((*list)[0].title, "plain");
    // No client list: the EWMH provider cannot enumerate, and the default falls back to the tree.
    EwmhWindowProvider ewmh(loop_);
    EXPECT_FALSE(ewmh.windowManagerSupportsEwmh());
    EXPECT_EQ(ewmh.listWindows().error(), WindowProviderError::enumerationFailed());
    EXPECT_EQ(makeDefaultWindowProvider(loop_)->providerName(), tree.providerName());
}

TEST(X11ProvidersWithoutServer, FailCleanlyWhenTheDisplayCannotBeOpened) {
    ManualClock clock;
    ManualScheduler scheduler(clock);
    EwmhWindowProvider provider(scheduler, ":987654");
    EXPECT_FALSE(provider.isAvailable());
    EXPECT_EQ(provider.listWindows().error(), WindowProviderError::enumerationFailed());
    EXPECT_FALSE(provider.frame(1).has_value());
    EXPECT_FALSE(provider.mainDisplayBounds().has_value());
    EXPECT_EQ(provider.startTracking(5).error(), WindowProviderError::windowNotFound(5));
    EXPECT_FALSE(X11TreeWindowProvider(scheduler, ":987654").listWindows());
}
