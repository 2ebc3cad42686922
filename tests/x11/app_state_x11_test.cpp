// The application state on a real server: the X11 window list and RECORD tap, input typed and
// clicked into an xterm, a real style rendered on a worker thread, a scratch gallery.
#include "app/app_state.h"
#include "app/x11/x11_capture_backend.h"
#include "window_scope/x11/x11_window_providers.h"
#include "../test_files.h"
#include "x_session.h"

using namespace murmura;
using namespace murmura::test;

namespace {
struct StillPresenter final : Presenter {
    void hideApplication() override {}
    void showApplication() override {}
};
using AppStateX11 = XTest;
}  // namespace

TEST_F(AppStateX11, RecordsAnXtermSessionStopsEarlyAndStoresTheArtwork) {
    if (runCommand({"sh", "-c", "command -v xterm"}).status != 0) GTEST_SKIP() << "xterm not installed";
    ChildProcess xterm = spawnProcess({"xterm", "-geometry", "80x24+60+40", "-title", "murmura-xterm"});
    ScratchDirectory gallery("murmura-x11-app");
    MemoryPreferences preferences;
    preferences.setBoolValue(Preferences::hasCompletedOnboarding, true);
    StillPresenter presenter;
    ThreadRenderExecutor executor;
    AppState state({loop_, SystemClock::shared(), preferences, presenter, executor, x11TrustProbe(session_->display()),
                    x11CaptureBackend(session_->display()), gallery.path()});
    ASSERT_EQ(state.phase.value(), AppState::Phase::gallery);  // trusted: the display has RECORD

    WindowScopeManager lister(makeDefaultWindowProvider(loop_, session_->display()));
    loop_.runUntil([&] {  // as the setup screen lists windows, until the xterm is managed
        const auto windows = lister.listWindows();
        for (const auto& w : windows ? windows.value() : std::vector<WindowDescriptor>{})
            if (w.title == "murmura-xterm") state.selectedWindow.send(w);
        return state.selectedWindow.value().has_value();
    }, 15);
    ASSERT_TRUE(state.selectedWindow.value());
    const Rect frame = state.selectedWindow.value()->frame;
    state.phase.send(AppState::Phase::setup);
    state.selectedStyleID.send("graffo");
    state.beginSession();

    const auto pt = [](double v) { return std::to_string(static_cast<long>(v)); };
    xdotool({"mousemove", pt(frame.x + 40), pt(frame.y + 40), "click", "1"});
    xdotool({"type", "--delay", "30", "echo murmura"});
    xdotool({"mousemove", pt(frame.x + 200), pt(frame.y + 120), "click", "1"});
    loop_.runUntil([&] { return state.elapsedTime.value() >= 3; }, 20);
    state.stopSession();
    loop_.runUntil([&] { return state.phase.value() != AppState::Phase::capturing &&
                                state.phase.value() != AppState::Phase::rendering; }, 120);
    xterm.stop();

    ASSERT_EQ(state.phase.value(), AppState::Phase::complete) << state.errorMessage.value().value_or("");
    const auto& events = state.sessionCoordinator()->captureSession()->capturedEvents();
    EXPECT_GE(std::count_if(events.begin(), events.end(), [](const RawEvent& e) { return e.type == EventType::keyDown; }), 12);
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const RawEvent& e) { return e.inScope; }));
    EXPECT_EQ(state.artwork.value()->width(), static_cast<int64_t>(2 * frame.width));
    ASSERT_TRUE(state.currentArtwork.value());
    EXPECT_NEAR(state.currentArtwork.value()->actualDuration, 3, 1.0);
    EXPECT_EQ(ArtworkStore::open(gallery.path())->records(), std::vector{*state.currentArtwork.value()});
}
