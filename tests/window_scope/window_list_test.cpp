#include "window_scope/window_list.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace murmura;

namespace {
WindowCandidate window(uint32_t id, std::optional<std::string> owner, std::optional<std::string> title = "Doc",
                       Rect frame = {0, 0, 400, 300}, int layer = 0, bool onScreen = true) {
    return WindowCandidate{id, std::move(title), std::move(owner), frame, layer, onScreen};
}

std::vector<uint32_t> ids(const std::vector<WindowCandidate>& candidates, WindowFilterOptions options = {}) {
    std::vector<uint32_t> out;
    for (const auto& d : buildWindowList(candidates, options)) out.push_back(d.id);
    return out;
}
}  // namespace

TEST(WindowDescriptor, DisplayNameAndEquality) {
    WindowDescriptor d{7, "Notes.txt", "Editor", {10, 20, 30, 40}, true};
    EXPECT_EQ(d.displayName(), "Editor \xE2\x80\x94 Notes.txt");
    EXPECT_EQ((WindowDescriptor{7, "", "Editor", {}, true}).displayName(), "Editor");
    EXPECT_EQ((WindowDescriptor{7, std::nullopt, "Editor", {}, true}).displayName(), "Editor");
    EXPECT_EQ((WindowDescriptor{7, "Untitled", std::nullopt, {}, true}).displayName(), "Unknown \xE2\x80\x94 Untitled");
    EXPECT_EQ((WindowDescriptor{7, std::nullopt, std::nullopt, {}, true}).displayName(), "Unknown");

    EXPECT_EQ(d, (WindowDescriptor{7, "Notes.txt", "Editor", {40, 60, -30, -40}, true}));  // same rectangle
    for (const WindowDescriptor& other :
         {WindowDescriptor{8, "Notes.txt", "Editor", {10, 20, 30, 40}, true},
          WindowDescriptor{7, std::nullopt, "Editor", {10, 20, 30, 40}, true},
          WindowDescriptor{7, "Notes.txt", "Editor", {10, 20, 31, 40}, true},
          WindowDescriptor{7, "Notes.txt", "Editor", {10, 20, 30, 40}, false}})
        EXPECT_NE(d, other);
    EXPECT_EQ(WindowProviderError::windowNotFound(4294967295u).message(), "Window 4294967295 not found");
    EXPECT_EQ(WindowProviderError::trackingFailed("lost").message(), "Window tracking failed: lost");
}

TEST(WindowList, FiltersSmallShieldedOwnLayeredHiddenAndNonFiniteWindows) {
    EXPECT_EQ(ids({window(1, "A", "t", {0, 0, 199, 400}), window(2, "A", "t", {0, 0, 200, 200}),
                   window(3, "A", "t", {0, 0, 400, 199.9}), window(4, "A", "t", {0, 0, 199.99, 199.99}),
                   window(5, "A", "t", {500, 500, -250, -250}), window(6, "A", "t", {0, 0, std::nan(""), 300})}),
              (std::vector<uint32_t>{2, 5}));
    // Titles containing "Shield" or "Backstop", case-sensitively; owners are not searched.
    EXPECT_EQ(ids({window(1, "A", "Shield"), window(2, "A", "My Backstop window"), window(3, "A", "xShieldx"),
                   window(4, "A", "shield"), window(5, "A", "BACKSTOP"), window(6, "A", std::nullopt),
                   window(7, "Shield", "Document")}),
              (std::vector<uint32_t>{4, 5, 6, 7}));
    EXPECT_EQ(ids({window(1, "Murmura"), window(2, "murmura"), window(3, "Window Server"), window(4, "Dock"),
                   window(5, "SystemUIServer"), window(6, "Control Center"), window(7, "Notification Center"),
                   window(8, "Murmura2"), window(9, "Docker")}),
              (std::vector<uint32_t>{9, 8, 2}));
    EXPECT_EQ(ids({window(1, "Panel", "t", {0, 0, 400, 300}, 1), window(2, "Desktop", "t", {0, 0, 400, 300}, -1),
                   window(3, "Hidden", "t", {0, 0, 400, 300}, 0, false), window(4, "Normal")}),
              (std::vector<uint32_t>{4}));
}

TEST(WindowList, SortsByOwnerStablyAndALaterDuplicateWins) {
    EXPECT_EQ(ids({window(1, "Firefox"), window(2, "Alacritty"), window(3, "Firefox"), window(4, "Code"),
                   window(5, "Alacritty")}),
              (std::vector<uint32_t>{2, 5, 4, 1, 3}));
    const std::vector<WindowCandidate> ownerless = {window(1, std::nullopt), window(2, "B")};
    EXPECT_EQ(ids(ownerless, {.requireOwner = false}), (std::vector<uint32_t>{1, 2}));  // absent sorts as ""
    EXPECT_EQ(ids(ownerless, {.requireOwner = true}), (std::vector<uint32_t>{2}));
    auto list = buildWindowList({window(9, "B", "old"), window(3, "A"), window(9, "B", "new", {10.5, -20, 640, 480})}, {});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1], (WindowDescriptor{9, "new", "B", {10.5, -20, 640, 480}, true}));
    EXPECT_FALSE(buildWindowList({window(1, std::nullopt)}, {})[0].ownerName.has_value());
}
