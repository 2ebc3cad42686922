#pragma once
// The X11 event tap: the RECORD extension on a second display connection, whose socket the
// main loop watches. It only listens: it never grabs, alters, delays or drops an event.
#include <memory>
#include <string>
#include <vector>

#include "capture/event_tap.h"
#include "support/scheduler.h"

namespace murmura {

class X11EventTap final : public EventTap {
public:
    // displayName empty: $DISPLAY.
    explicit X11EventTap(Scheduler& scheduler, std::string displayName = {});
    ~X11EventTap() override;
    X11EventTap(const X11EventTap&) = delete;
    X11EventTap& operator=(const X11EventTap&) = delete;

    // An X11 display with the RECORD extension is reachable and this is not a Wayland session
    // (where RECORD would see only the few X11 clients).
    bool hasAccessibilityPermission() const override;
    // Prints what is missing and how to get it; never fails.
    void requestAccessibilityPermission() const override;

    // eventTapCreationFailed: no display, no RECORD, or the context could not be created and
    // enabled. runLoopSourceCreationFailed: the main loop cannot watch the connection.
    Expected<void, CaptureError> install(Callback callback) override;
    // Disables and frees the context; returns within about half a second even when the server
    // does not answer (the connections are then closed without waiting).
    void uninstall() override;
    bool isInstalled() const override { return recording_ != nullptr; }
    // True once the X connection was lost while installed; events stop until a new install().
    bool connectionLost() const { return connectionLost_; }

    static bool isWaylandSession();
    static bool hasAccessibilityPermission(const std::string& displayName);
    // One paragraph for the user: what capture needs and what is missing.
    static std::string permissionExplanation(const std::string& displayName);

private:
    struct Recording;
    friend struct X11EventTapAccess;
    void onReadable(Recording* recording);
    void deliver(const TapEvent& event);
    static void teardown(std::unique_ptr<Recording> recording);

    Scheduler& scheduler_;
    std::string displayName_;
    std::unique_ptr<Recording> recording_;
    // Uninstalled from inside a delivery: torn down once Xlib has returned.
    std::vector<std::unique_ptr<Recording>> retired_;
    Callback callback_;
    bool delivering_ = false;
    bool connectionLost_ = false;
};

}  // namespace murmura
