#pragma once
// Lists the windows of other applications and follows one chosen window's frame.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/expected.h"
#include "support/geometry.h"
#include "support/observable.h"
#include "window_scope/window_descriptor.h"

namespace murmura {

class WindowProvider {
public:
    virtual ~WindowProvider() = default;

    // The choosable windows: filtered, one per window number, sorted by owner name.
    virtual Expected<std::vector<WindowDescriptor>, WindowProviderError> listWindows() = 0;
    // The window's current frame in global display points, or nothing when it does not exist.
    virtual std::optional<Rect> frame(uint32_t windowID) = 0;
    // Publishes the window's frame on frameUpdates() every polling tick until stopTracking().
    virtual Expected<void, WindowProviderError> startTracking(uint32_t windowID) = 0;
    // Stops polling and publishes one absent frame.
    virtual void stopTracking() = 0;
    // Latest-value stream: a new subscriber first receives the current value.
    virtual Observable<std::optional<Rect>>& frameUpdates() = 0;
    virtual bool isAvailable() const = 0;
    virtual std::string providerName() const = 0;
    // Bounds of the main display in global points (origin at its top left), when known.
    virtual std::optional<Rect> mainDisplayBounds() = 0;
};

}  // namespace murmura
