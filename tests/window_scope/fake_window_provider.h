#pragma once
// A window provider over a hand-edited table of windows, with the real tracking behaviour.
#include <map>

#include "window_scope/polling_window_provider.h"
#include "window_scope/window_list.h"

namespace murmura::test {

class FakeWindowProvider final : public PollingWindowProvider {
public:
    explicit FakeWindowProvider(Scheduler& scheduler) : PollingWindowProvider(scheduler) {}

    std::map<uint32_t, Rect> frames;  // the windows that exist now
    std::vector<WindowCandidate> candidates;
    bool failListing = false;
    std::optional<Rect> displayBounds = Rect{0, 0, 1440, 900};
    int frameQueries = 0;

    Expected<std::vector<WindowDescriptor>, WindowProviderError> listWindows() override {
        if (failListing) return unexpected(WindowProviderError::enumerationFailed());
        return buildWindowList(candidates, {});
    }
    std::optional<Rect> frame(uint32_t windowID) override {
        ++frameQueries;
        auto it = frames.find(windowID);
        if (it == frames.end()) return std::nullopt;
        return it->second;
    }
    bool isAvailable() const override { return true; }
    std::string providerName() const override { return "Fake"; }
    std::optional<Rect> mainDisplayBounds() override { return displayBounds; }
};

}  // namespace murmura::test
