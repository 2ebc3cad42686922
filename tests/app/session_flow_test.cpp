// One session from the setup screen to the gallery, on virtual time: the coordinator and the
// application state over a fake tap, a fake window list, a stub renderer and a scratch gallery.
#include <gtest/gtest.h>

#include "app/app_state.h"
#include "capture/fake_event_tap.h"
#include "support/manual_scheduler.h"
#include "../test_files.h"
#include "../window_scope/fake_window_provider.h"

using namespace murmura;
using namespace murmura::test;
using Phase = AppState::Phase;
using Canvases = std::vector<std::pair<int64_t, int64_t>>;

namespace {

struct StubRenderer final : StyleRenderer {
    StyleDescriptor style{"stub", "Stub", StyleSeries::traditional};
    bool producesImage = true, throws = false;
    mutable Canvases canvases;
    mutable std::vector<Point> positions;  // of the events it was given
    const StyleDescriptor& descriptor() const override { return style; }
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width, int64_t height) const override {
        canvases.emplace_back(width, height);
        if (throws) throw std::bad_alloc();
        for (const auto& s : output.segments)
            for (const auto& e : s.segment.events) positions.push_back(*e.position);
        return producesImage ? RgbaImage::create(2, 2, ColorSpace::deviceRGB) : std::nullopt;
    }
};
struct RecordingPresenter final : Presenter {
    std::string calls;  // h: hidden, s: shown
    void hideApplication() override { calls += 'h'; }
    void showApplication() override { calls += 's'; }
};
struct DeferredExecutor final : RenderExecutor {
    std::vector<std::function<void()>> jobs;
    void execute(std::function<void()> job) override { jobs.push_back(std::move(job)); }
};

const WindowDescriptor kEditor{7, "Canvas", "Editor", {40, 20, 800, 600}, true};

class SessionFlow : public ::testing::Test {
protected:
    ManualClock clock;
    ManualScheduler scheduler{clock};
    MemoryPreferences preferences;
    RecordingPresenter presenter;
    InlineRenderExecutor inlineExecutor;
    DeferredExecutor deferred;
    RenderExecutor* executor = &inlineExecutor;
    bool trusted = true;
    std::optional<Rect> displayBounds = Rect{0, 0, 1440, 900};
    std::shared_ptr<FakeEventTap> tap = std::make_shared<FakeEventTap>();
    std::shared_ptr<StubRenderer> stub = std::make_shared<StubRenderer>();
    ScratchDirectory dir{"murmura-app"};
    std::optional<std::filesystem::path> galleryBase = dir.path();
    std::unique_ptr<AppState> state;

    CaptureBackend backend() {
        return {[this](Scheduler& s) {
                    auto provider = std::make_shared<FakeWindowProvider>(s);
                    provider->frames[kEditor.id] = kEditor.frame;
                    provider->displayBounds = displayBounds;
                    return provider;
                },
                [this](Scheduler&) { return tap; }};
    }
    void makeState(bool defaultRegistry = false) {
        state.reset();
        state = std::make_unique<AppState>(
            AppEnvironment{scheduler, clock, preferences, presenter, *executor, [this] { return trusted; }, backend(),
                           galleryBase},
            defaultRegistry ? std::nullopt : std::optional(StyleRegistry({stub})));
    }
    // The setup screen: a window, a style, "Begin Exposure"; then `run` seconds pass.
    void session(double run = 301, const WindowDescriptor& window = kEditor, std::string style = "stub") {
        if (!state) makeState();
        state->phase.send(Phase::setup);
        state->selectedWindow.send(window);
        state->selectedStyleID.send(std::move(style));
        state->beginSession();
        scheduler.advance(run);
    }
    bool noticeStartsWith(const std::string& prefix) const {
        return state->storageNotice.value() && state->storageNotice.value()->message.rfind(prefix, 0) == 0;
    }
    ArtworkStore& store() { return *state->artworkStore(); }
};

}  // namespace

TEST_F(SessionFlow, StartUpPhaseFollowsOnboardingAndTrustAndOnlyPermissionScreensMoveIt) {
    struct Case { bool onboarded, trusted; Phase atStart, afterCheck; };
    for (const Case c : {Case{false, false, Phase::onboarding, Phase::permissionRequired},
                         Case{false, true, Phase::onboarding, Phase::gallery},
                         Case{true, false, Phase::permissionRequired, Phase::permissionRequired},
                         Case{true, true, Phase::gallery, Phase::gallery}}) {
        preferences.setBoolValue(Preferences::hasCompletedOnboarding, c.onboarded);
        trusted = c.trusted;
        makeState();
        EXPECT_EQ(state->phase.value(), c.atStart);
        state->completeOnboarding();
        EXPECT_EQ(state->phase.value(), c.afterCheck);
    }
    trusted = false;
    session(1);
    state->checkPermission();  // a late poll must not pull a running session away
    EXPECT_EQ(state->phase.value(), Phase::capturing);
}

TEST_F(SessionFlow, BeginSessionActsOnlyInSetupWithAWindowAndAKnownStyle) {
    makeState(true);
    session(1, kEditor, "popline");  // implemented, but not offered by the default registry
    state->selectedWindow.send(std::nullopt);
    state->selectedStyleID.send("ink-water");
    state->beginSession();
    EXPECT_EQ(state->phase.value(), Phase::setup);
    EXPECT_EQ(state->sessionCoordinator(), nullptr);

    makeState();
    session(1);
    const SessionCoordinator* first = state->sessionCoordinator();
    state->beginSession();  // a second queued "Begin"
    EXPECT_EQ(state->sessionCoordinator(), first);
    EXPECT_EQ(tap->installCount, 1);
    EXPECT_EQ(presenter.calls, "h");
}

// The session flow's table: each row is one session from "Begin" to its end.
TEST_F(SessionFlow, SessionsEndCompleteOrBackInSetupWithTheirMessage) {
    struct Walk {
        std::string name;
        WindowDescriptor window = kEditor;
        std::optional<Rect> bounds = Rect{0, 0, 1440, 900};
        bool tapTrusted = true, tapFails = false, image = true, throws = false, gallery = true;
        double stopAt = 0;  // 0: runs to its end
        Phase phase = Phase::complete;
        std::string error = {};
        std::pair<int64_t, int64_t> canvas{1600, 1200};  // {0, 0}: nothing rendered
        double actualDuration = 300;
    };
    for (const Walk& w : std::vector<Walk>{
             {.name = "timed"},
             {.name = "stopped early", .stopAt = 42, .actualDuration = 42},
             {.name = "fractional", .window = {7, "Canvas", "Editor", {40, 20, 800.7, 600.2}, true}, .canvas = {1601, 1200}},
             {.name = "whole display", .window = allWindowsDescriptor(Rect{0, 0, 1440, 900}), .canvas = {2880, 1800}},
             {.name = "display unknown", .window = allWindowsDescriptor(std::nullopt), .bounds = {}, .canvas = {3840, 2160}},
             {.name = "no gallery", .gallery = false},
             {.name = "window gone", .window = {99, "Gone", "Editor", {0, 0, 10, 10}, true}, .phase = Phase::setup,
              .error = "Window 99 not found", .canvas = {}},
             {.name = "untrusted", .tapTrusted = false, .phase = Phase::setup,
              .error = "Accessibility permission is required to capture input events", .canvas = {}},
             {.name = "no tap", .tapFails = true, .phase = Phase::setup,
              .error = std::string(message(CaptureError::eventTapCreationFailed)), .canvas = {}},
             {.name = "no image", .image = false, .phase = Phase::setup, .error = std::string(AppState::renderingFailedMessage)},
             {.name = "renderer throws", .throws = true, .phase = Phase::setup, .error = std::string(AppState::renderingFailedMessage)}}) {
        SCOPED_TRACE(w.name);
        tap->trusted = w.tapTrusted, tap->failTapCreation = w.tapFails, stub->producesImage = w.image, stub->throws = w.throws;
        stub->canvases.clear(), stub->positions.clear(), presenter.calls.clear();
        displayBounds = w.bounds;
        galleryBase = dir / w.name;
        if (!w.gallery) writeFile(*galleryBase, "");
        makeState();
        session(w.stopAt ? w.stopAt : 1, w.window);
        tap->feed(tap_event_type::mouseMoved, {100, 50});
        tap->feed(tap_event_type::mouseMoved, {110, 55});
        clock.setWallTime(0);  // the user sets the clock back: durations do not notice
        if (w.stopAt) {
            state->stopSession();
            EXPECT_EQ(state->phase.value(), Phase::capturing);  // the result is posted, never nested in stop()
        }
        scheduler.advance(301);

        EXPECT_EQ(state->phase.value(), w.phase);
        EXPECT_EQ(state->errorMessage.value().value_or(""), w.error);
        EXPECT_EQ(presenter.calls, "hs");
        EXPECT_FALSE(state->isRecording.value() || tap->isInstalled());
        EXPECT_EQ(scheduler.activeTimerCount(), 0u);
        EXPECT_EQ(stub->canvases, w.canvas.first ? Canvases{w.canvas} : Canvases{});
        if (w.window.id == kEditor.id && w.phase == Phase::complete) {
            EXPECT_EQ(stub->positions.at(0), (Point{120, 60}));
        }
        EXPECT_EQ(state->artwork.value() != nullptr, w.phase == Phase::complete);
        ASSERT_EQ(state->currentArtwork.value().has_value(), w.gallery && w.phase == Phase::complete);
        if (!state->currentArtwork.value()) continue;
        EXPECT_EQ(state->currentArtwork.value()->plannedDuration, 300);
        EXPECT_NEAR(state->currentArtwork.value()->actualDuration, w.actualDuration, 0.1 + 1e-9);
        EXPECT_EQ(ArtworkStore::open(*galleryBase)->records(), std::vector{*state->currentArtwork.value()});
    }
}

TEST_F(SessionFlow, FailedSaveIsNoticedAndARenameCannotReachThePreviousArtwork) {
    session();
    const auto artworks = store().artworksDirectory();
    std::filesystem::remove_all(artworks);
    writeFile(artworks, "");  // nothing can be written there any more
    session();                // straight from the result to setup, as a screen may navigate
    EXPECT_EQ(state->phase.value(), Phase::complete);
    EXPECT_TRUE(state->artwork.value() && !state->currentArtwork.value());
    EXPECT_TRUE(noticeStartsWith("Failed to save artwork: "));
    state->renameCurrentArtwork("New name");
    EXPECT_EQ(store().records().front().customName, std::nullopt);
}

TEST_F(SessionFlow, RenameTrimsAndClearsOnTheDefaultTitleAndFailuresAreNoticed) {
    session();
    for (const auto& [typed, expected] : std::vector<std::pair<std::string, std::optional<std::string>>>{
             {"  Morning sketch \t", "Morning sketch"}, {"  Editor \n", std::nullopt}, {"x", "x"}, {" \n\t", std::nullopt}}) {
        state->renameCurrentArtwork(typed);
        EXPECT_EQ(state->currentArtwork.value()->customName, expected) << typed;
        EXPECT_EQ(store().records().front().customName, expected) << typed;
    }
    std::filesystem::remove(store().catalogPath());
    std::filesystem::create_directory(store().catalogPath());  // the catalog can no longer be replaced
    state->renameCurrentArtwork("Evening");
    EXPECT_EQ(state->currentArtwork.value()->customName, std::nullopt);
    EXPECT_TRUE(noticeStartsWith("Failed to rename artwork: "));

    std::filesystem::remove(store().catalogPath());
    const Uuid id = state->currentArtwork.value()->id;
    const uint64_t revision = state->catalogRevision.value();
    EXPECT_TRUE(state->deleteArtwork(id));
    EXPECT_FALSE(state->currentArtwork.value());
    EXPECT_FALSE(state->deleteArtwork(id));
    EXPECT_TRUE(noticeStartsWith("Failed to delete artwork: "));
    EXPECT_EQ(state->catalogRevision.value(), revision + 2);  // the gallery reloads after each attempt
}

TEST_F(SessionFlow, LeavingAResultClearsInOrderAndKeepsTheSelections) {
    session();
    std::string log;  // one letter per field notified, in order
    std::vector<Subscription> subscriptions;
    auto watch = [&](auto& field, char name) {
        subscriptions.push_back(field.subscribe([&log, name](const auto&) { log += name; }));
    };
    watch(state->phase, 'p'), watch(state->selectedWindow, 'w'), watch(state->artwork, 'a');
    watch(state->currentArtwork, 'c'), watch(state->elapsedTime, 't'), watch(state->errorMessage, 'e');
    watch(state->isRecording, 'r'), watch(state->storageNotice, 'n');
    state->selectedDuration.send(SessionDuration::tenMinutes);
    log.clear();
    state->prepareNewSession();
    EXPECT_EQ(log, "pwacten");
    EXPECT_EQ(state->sessionCoordinator(), nullptr);
    EXPECT_EQ(state->selectedDuration.value(), SessionDuration::tenMinutes);

    session(601);
    log.clear();
    state->returnToGallery();
    EXPECT_EQ(log, "actenp");
    EXPECT_EQ(state->sessionCoordinator(), nullptr);
}

TEST_F(SessionFlow, LeavingARunningSessionStopsItAndDropsItsResult) {
    session(5);
    state->returnToGallery();
    EXPECT_EQ(presenter.calls, "hs");
    EXPECT_FALSE(state->isRecording.value() || tap->isInstalled());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);

    executor = &deferred;
    makeState();
    session();
    EXPECT_EQ(state->phase.value(), Phase::rendering);
    state->prepareNewSession();
    EXPECT_FALSE(state->isRecording.value());
    deferred.jobs.back()();
    scheduler.runPending();
    EXPECT_EQ(state->phase.value(), Phase::setup);

    session();
    state.reset();  // quitting while the worker renders: its result has nowhere to go
    deferred.jobs.back()();
    scheduler.runPending();
    EXPECT_TRUE(ArtworkStore::open(dir.path())->records().empty());
}

TEST_F(SessionFlow, CoordinatorRunsOnceAndADestroyedOneDeliversNothing) {
    std::vector<SessionCoordinator::Result> results;
    auto coordinator = std::make_unique<SessionCoordinator>(scheduler, clock, backend());
    coordinator->stop();  // before start: harmless
    ASSERT_TRUE(coordinator->start(0, 300, [&](const auto& result) { results.push_back(result); }));
    EXPECT_FALSE(coordinator->start(0, 300, [&](const auto& result) { results.push_back(result); }));
    scheduler.advance(2);
    coordinator->stop();
    coordinator.reset();
    scheduler.runPending();
    EXPECT_TRUE(results.empty());
}
