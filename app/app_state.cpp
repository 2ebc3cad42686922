#include "app/app_state.h"

#include "app/render_pipeline.h"
#include "gallery/artwork_finishing.h"
#include "support/diagnostics.h"
#include "support/text.h"

namespace murmura {

double seconds(SessionDuration duration) {
    switch (duration) {
    case SessionDuration::fiveMinutes: return 300;
    case SessionDuration::tenMinutes: return 600;
    case SessionDuration::twentyFiveMinutes: return 1500;
    }
    return 300;
}

std::string_view label(SessionDuration duration) {
    switch (duration) {
    case SessionDuration::fiveMinutes: return "5 min";
    case SessionDuration::tenMinutes: return "10 min";
    case SessionDuration::twentyFiveMinutes: return "25 min";
    }
    return "5 min";
}

namespace {

std::optional<ArtworkStore> openStore(const std::optional<std::filesystem::path>& baseDirectory) {
    auto store = baseDirectory ? ArtworkStore::open(*baseDirectory) : ArtworkStore::openDefault();
    if (!store) {
        diagnostic("Failed to initialize ArtworkStore: " + store.error().message());
        return std::nullopt;
    }
    return std::move(store).value();
}

// The canvas is twice the window's size as listed at setup. The whole display, or a window
// listed without a usable size, takes the frame the capture itself recorded (the display's
// bounds, or the coordinator's fallback), so that such a session still renders.
Rect canvasFrame(const WindowDescriptor& window, const CaptureResult& capture) {
    const CanvasSize listed = canvasSize(window.frame);
    if (window.id == WindowScopeManager::allWindowsID || listed.width <= 0 || listed.height <= 0)
        return capture.windowFrame;
    return window.frame;
}

}  // namespace

AppState::AppState(AppEnvironment environment, std::optional<StyleRegistry> registry)
    : env_(std::move(environment)),
      styleRegistry_(registry ? std::move(*registry) : makeDefaultRegistry()),
      artworkStore_(openStore(env_.galleryBaseDirectory)) {
    if (!env_.preferences.boolValue(Preferences::hasCompletedOnboarding))
        phase.send(Phase::onboarding);
    else if (!(env_.isTrusted && env_.isTrusted()))
        phase.send(Phase::permissionRequired);
}

AppState::~AppState() {
    self_.reset();
    elapsedBinding_.cancel();
    sessionCoordinator_.reset();
}

void AppState::checkPermission() {
    const Phase now = phase.value();
    if (now != Phase::onboarding && now != Phase::permissionRequired) return;
    const Phase next = env_.isTrusted && env_.isTrusted() ? Phase::gallery : Phase::permissionRequired;
    if (next != now) phase.send(next);
}

void AppState::completeOnboarding() {
    env_.preferences.setBoolValue(Preferences::hasCompletedOnboarding, true);
    checkPermission();
}

void AppState::beginSession() {
    // Only from the setup screen: a second "Begin" must not start a second capture.
    if (phase.value() != Phase::setup) return;
    const std::optional<WindowDescriptor> window = selectedWindow.value();
    if (!window) return;
    std::shared_ptr<const StyleRenderer> renderer = styleRegistry_.renderer(selectedStyleID.value());
    if (!renderer) return;

    // The previous result goes first, so nothing of this session can touch it.
    artwork.send(nullptr);
    currentArtwork.send(std::nullopt);
    storageNotice.send(std::nullopt);
    phase.send(Phase::capturing);
    isRecording.send(true);
    errorMessage.send(std::nullopt);

    releaseCoordinator();
    const uint64_t session = ++sessionNumber_;
    sessionCoordinator_ = std::make_unique<SessionCoordinator>(env_.scheduler, env_.clock, env_.captureBackend);
    elapsedBinding_ = sessionCoordinator_->elapsedTimeChanges().subscribe([this](double t) { elapsedTime.send(t); });
    env_.presenter.hideApplication();

    sessionCoordinator_->start(window->id, seconds(selectedDuration.value()),
                               [this, session, window = *window, renderer](const SessionCoordinator::Result& result) {
                                   // The coordinator lives in this state, so this runs only while both do.
                                   if (session == sessionNumber_) onCaptureFinished(result, window, renderer);
                               });
}

void AppState::onCaptureFinished(const SessionCoordinator::Result& result, const WindowDescriptor& window,
                                 const std::shared_ptr<const StyleRenderer>& renderer) {
    if (!result) {
        failSession(result.error().message());
        return;
    }
    phase.send(Phase::rendering);

    const CaptureResult& capture = result.value();
    const Rect frame = canvasFrame(window, capture);
    Scheduler& scheduler = env_.scheduler;
    std::weak_ptr<AppState*> alive = self_;
    const uint64_t session = sessionNumber_;
    env_.renderExecutor.execute([capture, renderer, frame, &scheduler, alive, session, window]() mutable {
        // Worker thread: only the copies above are touched here. A renderer that fails in an
        // unforeseen way (out of memory) counts as one that made no image.
        std::optional<RgbaImage> image;
        try {
            image = renderCapture(std::move(capture), *renderer, frame);
        } catch (...) {
            image.reset();
        }
        std::shared_ptr<const RgbaImage> shared =
            image ? std::make_shared<const RgbaImage>(std::move(*image)) : nullptr;
        scheduler.post([alive, session, shared, window, renderer, planned = capture.duration] {
            auto self = alive.lock();
            if (!self || (*self)->sessionNumber_ != session) return;  // state gone or session abandoned
            (*self)->finishSession(shared, window, planned, renderer->descriptor());
        });
    });
}

void AppState::finishSession(std::shared_ptr<const RgbaImage> image, const WindowDescriptor& window,
                             double plannedDuration, const StyleDescriptor& style) {
    isRecording.send(false);
    if (!image) {
        failSession(std::string(renderingFailedMessage));
        return;
    }
    artwork.send(image);
    if (artworkStore_) {
        const FinishedSession finished{plannedDuration, elapsedTime.value(), window.displayName(), window.ownerName,
                                       style};
        auto stored = storeFinishedArtwork(*artworkStore_, *image, finished, env_.clock);
        if (stored)
            currentArtwork.send(stored.value());
        else
            reportStorageFailure(StorageNotice::Operation::save, "Failed to save artwork: ", stored.error());
        catalogChanged();
    }
    phase.send(Phase::complete);
    env_.presenter.showApplication();
}

void AppState::failSession(std::string message) {
    errorMessage.send(std::move(message));
    if (isRecording.value()) isRecording.send(false);
    phase.send(Phase::setup);
    env_.presenter.showApplication();
}

void AppState::stopSession() {
    if (sessionCoordinator_) sessionCoordinator_->stop();
}

void AppState::renameCurrentArtwork(std::string_view text) {
    if (!artworkStore_ || !currentArtwork.value()) return;
    const ArtworkRecord& record = *currentArtwork.value();
    const std::string_view trimmed = trimWhitespace(text);
    std::optional<std::string> name;
    if (!trimmed.empty() && trimmed != record.appName) name = std::string(trimmed);
    auto updated = artworkStore_->updateCustomName(record.id, std::move(name));
    if (updated) {
        currentArtwork.send(updated.value());
        storageNotice.send(std::nullopt);
    } else {
        reportStorageFailure(StorageNotice::Operation::rename, "Failed to rename artwork: ", updated.error());
    }
    catalogChanged();
}

bool AppState::deleteArtwork(const Uuid& id) {
    if (!artworkStore_) return false;
    auto removed = artworkStore_->deleteArtwork(id);
    catalogChanged();
    if (!removed) {
        reportStorageFailure(StorageNotice::Operation::remove, "Failed to delete artwork: ", removed.error());
        return false;
    }
    if (currentArtwork.value() && currentArtwork.value()->id == id) currentArtwork.send(std::nullopt);
    return true;
}

void AppState::abandonSession() {
    ++sessionNumber_;  // a capture result or image still on its way is dropped
    if (sessionCoordinator_) sessionCoordinator_->stop();
    if (!isRecording.value()) return;
    isRecording.send(false);
    env_.presenter.showApplication();  // hidden when the session began
}

void AppState::releaseCoordinator() {
    elapsedBinding_.cancel();
    sessionCoordinator_.reset();
}

void AppState::clearSessionResult() {
    artwork.send(nullptr);
    currentArtwork.send(std::nullopt);
    elapsedTime.send(0.0);
    errorMessage.send(std::nullopt);
    storageNotice.send(std::nullopt);
    releaseCoordinator();
}

void AppState::returnToGallery() {
    abandonSession();
    clearSessionResult();
    phase.send(Phase::gallery);
}

void AppState::prepareNewSession() {
    abandonSession();
    phase.send(Phase::setup);
    selectedWindow.send(std::nullopt);
    clearSessionResult();
}

void AppState::reportStorageFailure(StorageNotice::Operation operation, std::string_view prefix,
                                    const ArtworkStore::StoreError& error) {
    std::string line = std::string(prefix) + error.message();
    diagnostic(line);
    storageNotice.send(StorageNotice{operation, std::move(line)});
}

}  // namespace murmura
