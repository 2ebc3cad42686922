#include "window_scope/window_list.h"

#include <gtest/gtest.h>

using namespace murmura;

namespace {

WindowCandidate window(uint32_t id, std::optional<std::string> owner, std::optional<std::string> title = "Doc",
                       Rect frame = {0, 0, 400, 300}) {
    WindowCandidate c;
    c.id = id;
    c.ownerName = std::move(owner);
    c.title = std::move(title);
    c.frame = frame;
    return c;
}

std::vector<uint32_t> ids(const std::vector<WindowDescriptor>& list) {
    std::vector<uint32_t> out;
    for (const auto& d : list) out.push_back(d.id);
    return out;
}

}  // namespace

TEST(WindowList, MinimumSizeIs200By200Points) {
    std::vector<WindowCandidate> c = {
        window(1, "A", "t", {0, 0, 199, 400}), window(2, "A", "t", {0, 0, 200, 200}),
        window(3, "A", "t", {0, 0, 400, 199.9}), window(4, "A", "t", {0, 0, 199.99, 199.99}),
        // Sizes are absolute: a rectangle given from its far corner is just as large.
        window(5, "A", "t", {500, 500, -250, -250}),
    };
    EXPECT_EQ(ids(buildWindowList(c, {})), (std::vector<uint32_t>{2, 5}));
}

TEST(WindowList, TitlesContainingShieldOrBackstopAreDroppedCaseSensitively) {
    std::vector<WindowCandidate> c = {
        window(1, "A", "Shield"),        window(2, "A", "My Backstop window"), window(3, "A", "xShieldx"),
        window(4, "A", "shield"),        window(5, "A", "BACKSTOP"),           window(6, "A", std::nullopt),
        window(7, "Shield", "Document"),  // only titles are searched
    };
    EXPECT_EQ(ids(buildWindowList(c, {})), (std::vector<uint32_t>{4, 5, 6, 7}));
}

TEST(WindowList, ExcludedOwnersIncludeThisApplication) {
    std::vector<WindowCandidate> c = {
        window(1, "Murmura"), window(2, "murmura"), window(3, "Window Server"), window(4, "Dock"),
        window(5, "SystemUIServer"), window(6, "Control Center"), window(7, "Notification Center"),
        window(8, "Murmura2"), window(9, "Docker"),
    };
    EXPECT_EQ(ids(buildWindowList(c, {})), (std::vector<uint32_t>{9, 8, 2}));
}

TEST(WindowList, NonZeroLayersAndOffScreenWindowsAreDropped) {
    auto dock = window(1, "Panel");
    dock.layer = 1;
    auto desktop = window(2, "Desktop");
    desktop.layer = -1;
    auto hidden = window(3, "Hidden");
    hidden.isOnScreen = false;
    auto normal = window(4, "Normal");
    EXPECT_EQ(ids(buildWindowList({dock, desktop, hidden, normal}, {})), (std::vector<uint32_t>{4}));
}

TEST(WindowList, OwnerlessWindowsAreKeptUnlessAnOwnerIsRequired) {
    std::vector<WindowCandidate> c = {window(1, std::nullopt), window(2, "B")};
    auto kept = buildWindowList(c, {.requireOwner = false});
    ASSERT_EQ(ids(kept), (std::vector<uint32_t>{1, 2}));  // absent owner sorts as ""
    EXPECT_FALSE(kept[0].ownerName.has_value());
    EXPECT_EQ(ids(buildWindowList(c, {.requireOwner = true})), (std::vector<uint32_t>{2}));
}

TEST(WindowList, SortedByOwnerAscendingStableWithinAnOwner) {
    std::vector<WindowCandidate> c = {
        window(1, "Firefox"), window(2, "Alacritty"), window(3, "Firefox"), window(4, "Code"), window(5, "Alacritty"),
    };
    EXPECT_EQ(ids(buildWindowList(c, {})), (std::vector<uint32_t>{2, 5, 4, 1, 3}));
}

TEST(WindowList, ALaterDuplicateReplacesTheEarlierOne) {
    std::vector<WindowCandidate> c = {window(9, "B", "old"), window(3, "A"), window(9, "B", "new")};
    auto list = buildWindowList(c, {});
    ASSERT_EQ(ids(list), (std::vector<uint32_t>{3, 9}));
    EXPECT_EQ(list[1].title, "new");
}

TEST(WindowList, DescriptorsCarryTheCandidateFields) {
    auto c = window(77, "Term", "shell", {10.5, -20, 640, 480});
    auto list = buildWindowList({c}, {});
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], (WindowDescriptor{77, "shell", "Term", {10.5, -20, 640, 480}, true}));
}

TEST(WindowList, NonFiniteFramesAreDropped) {
    auto c = window(1, "A", "t", {0, 0, std::nan(""), 300});
    EXPECT_TRUE(buildWindowList({c}, {}).empty());
}
