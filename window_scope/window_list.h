#pragma once
// The filters, de-duplication and order shared by the window providers, on plain records so
// that they are testable without a window system.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/geometry.h"
#include "window_scope/window_descriptor.h"

namespace murmura {

// One window as the platform reported it, before filtering.
struct WindowCandidate {
    uint32_t id = 0;
    std::optional<std::string> title;
    std::optional<std::string> ownerName;
    Rect frame;  // global display points
    // 0 for ordinary application windows; desktops, docks, panels, menus, notifications and
    // similar surfaces stand above or below them.
    int layer = 0;
    bool isOnScreen = true;
};

struct WindowFilterOptions {
    // Windows without an owning application are dropped (else they are kept, owner absent).
    bool requireOwner = false;
};

// True when the window may be offered for a session.
bool isChoosable(const WindowCandidate& candidate, const WindowFilterOptions& options);

// Filters, keeps one descriptor per window number (a later duplicate replaces the earlier one)
// and sorts by owner name ascending (absent sorts as ""); equal owners keep the input order.
std::vector<WindowDescriptor> buildWindowList(const std::vector<WindowCandidate>& candidates,
                                              const WindowFilterOptions& options);

inline constexpr double kMinimumWindowSide = 200;

}  // namespace murmura
