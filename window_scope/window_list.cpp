#include "window_scope/window_list.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <unordered_map>

namespace murmura {

namespace {

// System surfaces that are never a user's work window, and this application itself.
constexpr std::array<std::string_view, 6> kExcludedOwners = {
    "Window Server", "Dock", "SystemUIServer", "Control Center", "Notification Center", "Murmura",
};

bool titleExcluded(const std::optional<std::string>& title) {
    return title && (title->find("Shield") != std::string::npos || title->find("Backstop") != std::string::npos);
}

}  // namespace

bool isChoosable(const WindowCandidate& c, const WindowFilterOptions& options) {
    if (!c.ownerName && options.requireOwner) return false;
    if (!c.isOnScreen) return false;
    if (c.layer != 0) return false;
    // Absolute sizes: a frame with a negative extent is as large as its mirror image.
    if (!(std::abs(c.frame.width) >= kMinimumWindowSide) || !(std::abs(c.frame.height) >= kMinimumWindowSide))
        return false;
    if (c.ownerName &&
        std::find(kExcludedOwners.begin(), kExcludedOwners.end(), *c.ownerName) != kExcludedOwners.end())
        return false;
    return !titleExcluded(c.title);
}

std::vector<WindowDescriptor> buildWindowList(const std::vector<WindowCandidate>& candidates,
                                              const WindowFilterOptions& options) {
    std::vector<WindowDescriptor> list;
    std::unordered_map<uint32_t, size_t> indexByID;
    for (const auto& c : candidates) {
        if (!isChoosable(c, options)) continue;
        WindowDescriptor d{c.id, c.title, c.ownerName, c.frame, c.isOnScreen};
        auto [it, inserted] = indexByID.emplace(c.id, list.size());
        if (inserted)
            list.push_back(std::move(d));
        else
            list[it->second] = std::move(d);
    }
    std::stable_sort(list.begin(), list.end(), [](const WindowDescriptor& a, const WindowDescriptor& b) {
        return a.ownerName.value_or("") < b.ownerName.value_or("");
    });
    return list;
}

}  // namespace murmura
