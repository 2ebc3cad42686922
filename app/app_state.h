#pragma once
// The one observable object behind the user interface: the phase shown, the user's selections,
// the running session and its result, and the flow of one session from capture through
// rendering to the gallery. Main thread only; the rendering pipeline alone runs on the render
// executor.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/app_services.h"
#include "app/session_coordinator.h"
#include "gallery/artwork_store.h"
#include "rendering/style_registry.h"
#include "support/observable.h"

namespace murmura {

enum class SessionDuration { fiveMinutes, tenMinutes, twentyFiveMinutes };
inline constexpr std::array<SessionDuration, 3> allSessionDurations{
    SessionDuration::fiveMinutes, SessionDuration::tenMinutes, SessionDuration::twentyFiveMinutes};
double seconds(SessionDuration duration);
std::string_view label(SessionDuration duration);

// A field the state publishes: everyone may read and observe it, only AppState writes it.
// Observers are called synchronously on every assignment, and once with the current value when
// they subscribe.
template <class T>
class Published final : public Observable<T> {
public:
    explicit Published(T initial) : subject_(std::move(initial)) {}
    const T& value() const { return subject_.value(); }
    using Observable<T>::subscribe;
    [[nodiscard]] Subscription subscribe(std::function<void(const T&)> callback) override {
        return subject_.subscribe(std::move(callback));
    }

private:
    friend class AppState;
    void send(T value) { subject_.send(std::move(value)); }
    ValueSubject<T> subject_;
};

// A change to the gallery that failed: printed, and kept here for the screens to show.
struct StorageNotice {
    enum class Operation { save, rename, remove };
    Operation operation = Operation::save;
    std::string message;  // "Failed to save artwork: <why>" and likewise
    friend bool operator==(const StorageNotice&, const StorageNotice&) = default;
};

// What the state needs from its surroundings. The scheduler and the render executor must
// outlive the state; the executor must be destroyed before the scheduler.
struct AppEnvironment {
    Scheduler& scheduler;
    const Clock& clock;
    Preferences& preferences;
    Presenter& presenter;
    RenderExecutor& renderExecutor;
    TrustProbe isTrusted;
    CaptureBackend captureBackend;
    // The folder that holds "Murmura/Artworks"; the user's data folder when absent.
    std::optional<std::filesystem::path> galleryBaseDirectory;
};

class AppState {
public:
    enum class Phase { onboarding, gallery, setup, permissionRequired, capturing, rendering, complete };
    static constexpr std::string_view renderingFailedMessage = "Rendering failed — the artwork could not be created.";

    // Without a registry, the default one. Opens the gallery (carrying on without one when that
    // fails) and picks the first phase from the onboarding flag and the trust probe.
    explicit AppState(AppEnvironment environment, std::optional<StyleRegistry> registry = std::nullopt);
    // Safe at any time: a session still running is stopped, and a render still on its way is
    // dropped when it arrives.
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Set by the screens for navigation and on the setup screen.
    ValueSubject<Phase> phase{Phase::gallery};
    ValueSubject<std::optional<WindowDescriptor>> selectedWindow{std::nullopt};
    ValueSubject<SessionDuration> selectedDuration{SessionDuration::fiveMinutes};
    ValueSubject<std::string> selectedStyleID{"ink-water"};
    // Written by the session flow.
    Published<double> elapsedTime{0.0};
    Published<std::shared_ptr<const RgbaImage>> artwork{nullptr};
    Published<std::optional<std::string>> errorMessage{std::nullopt};
    Published<bool> isRecording{false};
    Published<std::optional<ArtworkRecord>> currentArtwork{std::nullopt};
    // The last failed save, rename or delete; cleared when a session begins or the user leaves
    // its result.
    Published<std::optional<StorageNotice>> storageNotice{std::nullopt};
    // Counts changes this state made to the store's records, so a gallery view knows to reload.
    Published<uint64_t> catalogRevision{0};

    const StyleRegistry& styleRegistry() const { return styleRegistry_; }
    // Absent when the gallery could not be opened: artworks are then shown but never stored.
    ArtworkStore* artworkStore() { return artworkStore_ ? &*artworkStore_ : nullptr; }
    const ArtworkStore* artworkStore() const { return artworkStore_ ? &*artworkStore_ : nullptr; }
    // The coordinator of the running or last session, until the user leaves its result.
    SessionCoordinator* sessionCoordinator() { return sessionCoordinator_.get(); }

    // From onboarding or the permission screen only: gallery when trusted, else
    // permissionRequired. Any other phase is left alone.
    void checkPermission();
    // Stores the onboarding flag, then checks the permission.
    void completeOnboarding();
    // In phase setup, with a window and a known style: records, renders and stores a session.
    void beginSession();
    // Ends the running capture early; the session then renders as after a timed end.
    void stopSession();
    // Sets the custom name of the current artwork from typed text; blank text or the default
    // title clears it.
    void renameCurrentArtwork(std::string_view text);
    // Removes an artwork from the gallery; false (with a notice) when that failed.
    bool deleteArtwork(const Uuid& id);
    // Both abandon a session still recording or rendering (stopped, nothing stored).
    void returnToGallery();
    void prepareNewSession();

private:
    void onCaptureFinished(const SessionCoordinator::Result& result, const WindowDescriptor& window,
                           const std::shared_ptr<const StyleRenderer>& renderer);
    void finishSession(std::shared_ptr<const RgbaImage> image, const WindowDescriptor& window, double plannedDuration,
                       const StyleDescriptor& style);
    void failSession(std::string message);
    void abandonSession();
    void releaseCoordinator();
    // The result, notices and coordinator of the last session, in the order screens expect.
    void clearSessionResult();
    void reportStorageFailure(StorageNotice::Operation operation, std::string_view prefix,
                              const ArtworkStore::StoreError& error);
    void catalogChanged() { catalogRevision.send(catalogRevision.value() + 1); }

    AppEnvironment env_;
    StyleRegistry styleRegistry_;
    std::optional<ArtworkStore> artworkStore_;
    std::unique_ptr<SessionCoordinator> sessionCoordinator_;
    Subscription elapsedBinding_;
    // Numbers the sessions; results of an abandoned session carry an old number and are dropped.
    uint64_t sessionNumber_ = 0;
    // Tasks posted back from the render executor hold this weakly: a destroyed state gets none.
    std::shared_ptr<AppState*> self_ = std::make_shared<AppState*>(this);
};

}  // namespace murmura
