#include "window_scope/window_descriptor.h"

namespace murmura {

std::string WindowDescriptor::displayName() const {
    std::string owner = ownerName.value_or("Unknown");
    if (title && !title->empty()) return owner + " \u2014 " + *title;
    return owner;
}

WindowDescriptor allWindowsDescriptor(std::optional<Rect> mainDisplayBounds) {
    return WindowDescriptor{0, std::nullopt, "All Windows", mainDisplayBounds.value_or(Rect{}), true};
}

std::string WindowProviderError::message() const {
    switch (kind_) {
    case Kind::windowNotFound: return "Window " + std::to_string(windowID_) + " not found";
    case Kind::trackingFailed: return "Window tracking failed: " + text_;
    case Kind::permissionDenied: return "Screen recording permission is required";
    case Kind::enumerationFailed: return "Failed to enumerate windows";
    }
    return "Failed to enumerate windows";
}

}  // namespace murmura
