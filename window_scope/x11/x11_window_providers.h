#pragma once
// The two X11 window providers. EwmhWindowProvider asks the window manager (its EWMH client
// list and frame extents) and is the one the application uses; X11TreeWindowProvider walks the
// root window's children and works without a window manager.
#include <memory>
#include <string>

#include "support/scheduler.h"
#include "window_scope/polling_window_provider.h"
#include "window_scope/window_list.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_display.h"
#include "window_scope/x11/x11_window_properties.h"  // X11Atoms (no Xlib)

namespace murmura {

// What both providers share: one display connection, its atoms and the pixel-to-point mapping.
class X11WindowProviderBase : public PollingWindowProvider {
public:
    X11WindowProviderBase(Scheduler& scheduler, const std::string& displayName);
    bool isAvailable() const override { return connection_ && connection_->isAlive(); }
    std::optional<Rect> mainDisplayBounds() override;

protected:
    Display* display() const { return connection_->display(); }
    XWindowId root() const;
    void refreshGeometry();

    std::unique_ptr<X11Connection> connection_;
    X11Atoms atoms_;
    DisplayGeometry geometry_;
};

class EwmhWindowProvider final : public X11WindowProviderBase {
public:
    explicit EwmhWindowProvider(Scheduler& scheduler, const std::string& displayName = {})
        : X11WindowProviderBase(scheduler, displayName) {}

    Expected<std::vector<WindowDescriptor>, WindowProviderError> listWindows() override;
    std::optional<Rect> frame(uint32_t windowID) override;
    std::string providerName() const override { return "EWMH client list"; }

    // Whether a window manager that publishes the EWMH client list is running.
    bool windowManagerSupportsEwmh();
};

class X11TreeWindowProvider final : public X11WindowProviderBase {
public:
    explicit X11TreeWindowProvider(Scheduler& scheduler, const std::string& displayName = {})
        : X11WindowProviderBase(scheduler, displayName) {}

    Expected<std::vector<WindowDescriptor>, WindowProviderError> listWindows() override;
    std::optional<Rect> frame(uint32_t windowID) override;
    std::string providerName() const override { return "X11 window tree"; }

private:
    // The root child that holds the window (the window manager's frame, or the window itself).
    std::optional<XWindowId> topLevelAncestor(XWindowId window);
    // The client window inside a root child: the first descendant carrying WM_STATE.
    std::optional<XWindowId> findClient(XWindowId topLevel);
};

// The EWMH provider when the window manager supports it, else the tree provider.
std::shared_ptr<PollingWindowProvider> makeDefaultWindowProvider(Scheduler& scheduler,
                                                                 const std::string& displayName = {});

}  // namespace murmura
