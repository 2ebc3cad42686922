#pragma once
// The main window: shows the screen of the current phase, rebuilding it on every phase change,
// and is the Presenter the core hides and shows during a session.
#include <QWidget>

#include "app/ui/screens/screen.h"

namespace murmura::ui {

class ContentView final : public QWidget, public Presenter {
public:
    // services.state may be bound later with attach(); until then nothing is shown.
    ContentView();
    ~ContentView() override;
    void attach(UiServices& services);

    // With a tray the window hides during a session; without one it only minimises, so a
    // recording can always be reached, and the title carries the recording state.
    void setTrayAvailable(bool available);
    bool trayAvailable() const { return trayAvailable_; }
    Screen* currentScreen() const { return screen_; }

    void hideApplication() override;
    void showApplication() override;

private:
    void showPhase(AppState::Phase phase);
    void updateTitle();

    UiServices* ui_ = nullptr;
    Screen* screen_ = nullptr;
    bool trayAvailable_ = false;
    Subscription phaseSubscription_, recordingSubscription_;
};

}  // namespace murmura::ui
