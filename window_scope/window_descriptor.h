#pragma once
// One choosable on-screen window, and the errors of the window providers.
#include <cstdint>
#include <optional>
#include <string>

#include "support/geometry.h"

namespace murmura {

struct WindowDescriptor {
    uint32_t id = 0;  // the platform's window number; 0 stands for the whole main display
    std::optional<std::string> title;
    std::optional<std::string> ownerName;
    Rect frame;  // global display points, origin top left of the main display
    bool isOnScreen = true;

    // "Owner — Title", or just the owner ("Unknown" when absent) when there is no title.
    std::string displayName() const;

    friend bool operator==(const WindowDescriptor& a, const WindowDescriptor& b) {
        return a.id == b.id && a.title == b.title && a.ownerName == b.ownerName &&
               a.frame.standardized() == b.frame.standardized() && a.isOnScreen == b.isOnScreen;
    }
};

// The setup screen's pseudo-window for the whole main display: id 0, no title, owner
// "All Windows", the display's bounds as frame (empty when they are unknown).
WindowDescriptor allWindowsDescriptor(std::optional<Rect> mainDisplayBounds);

class WindowProviderError {
public:
    enum class Kind { windowNotFound, trackingFailed, permissionDenied, enumerationFailed };

    WindowProviderError() = default;
    static WindowProviderError windowNotFound(uint32_t windowID) { return {Kind::windowNotFound, windowID, {}}; }
    static WindowProviderError trackingFailed(std::string text) { return {Kind::trackingFailed, 0, std::move(text)}; }
    static WindowProviderError permissionDenied() { return {Kind::permissionDenied, 0, {}}; }
    static WindowProviderError enumerationFailed() { return {Kind::enumerationFailed, 0, {}}; }

    Kind kind() const { return kind_; }
    uint32_t windowID() const { return windowID_; }
    const std::string& text() const { return text_; }
    // The fixed user-facing message of the case.
    std::string message() const;

    friend bool operator==(const WindowProviderError&, const WindowProviderError&) = default;

private:
    WindowProviderError(Kind kind, uint32_t windowID, std::string text)
        : kind_(kind), windowID_(windowID), text_(std::move(text)) {}
    Kind kind_ = Kind::enumerationFailed;
    uint32_t windowID_ = 0;
    std::string text_;
};

}  // namespace murmura
