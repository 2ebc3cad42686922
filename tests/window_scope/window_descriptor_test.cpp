#include "window_scope/window_descriptor.h"

#include <gtest/gtest.h>

using namespace murmura;

TEST(WindowDescriptor, DisplayNameJoinsOwnerAndTitleWithAnEmDash) {
    WindowDescriptor d{7, "Notes.txt", "Editor", {0, 0, 300, 300}, true};
    // U+2014 in UTF-8 is E2 80 94, with a space on each side.
    EXPECT_EQ(d.displayName(), "Editor \xE2\x80\x94 Notes.txt");
}

TEST(WindowDescriptor, DisplayNameWithoutTitleIsTheOwner) {
    WindowDescriptor d{7, std::nullopt, "Editor", {}, true};
    EXPECT_EQ(d.displayName(), "Editor");
    d.title = "";
    EXPECT_EQ(d.displayName(), "Editor");
}

TEST(WindowDescriptor, DisplayNameWithoutOwnerSaysUnknown) {
    WindowDescriptor d{7, "Untitled", std::nullopt, {}, true};
    EXPECT_EQ(d.displayName(), "Unknown \xE2\x80\x94 Untitled");
    d.title.reset();
    EXPECT_EQ(d.displayName(), "Unknown");
}

TEST(WindowDescriptor, EqualityComparesAllFieldsWithStandardizedFrames) {
    WindowDescriptor a{1, "T", "O", {10, 20, 30, 40}, true};
    WindowDescriptor b = a;
    EXPECT_EQ(a, b);
    b.frame = {40, 60, -30, -40};  // the same rectangle, described from its other corner
    EXPECT_EQ(a, b);
    b = a;
    b.isOnScreen = false;
    EXPECT_NE(a, b);
    b = a;
    b.title.reset();
    EXPECT_NE(a, b);
    b = a;
    b.id = 2;
    EXPECT_NE(a, b);
    b = a;
    b.frame.width = 31;
    EXPECT_NE(a, b);
}

TEST(WindowProviderError, MessagesAreTheFixedTexts) {
    EXPECT_EQ(WindowProviderError::windowNotFound(4242).message(), "Window 4242 not found");
    EXPECT_EQ(WindowProviderError::windowNotFound(4294967295u).message(), "Window 4294967295 not found");
    EXPECT_EQ(WindowProviderError::trackingFailed("lost").message(), "Window tracking failed: lost");
    EXPECT_EQ(WindowProviderError::permissionDenied().message(), "Screen recording permission is required");
    EXPECT_EQ(WindowProviderError::enumerationFailed().message(), "Failed to enumerate windows");
    EXPECT_EQ(WindowProviderError::windowNotFound(3).windowID(), 3u);
    EXPECT_EQ(WindowProviderError::windowNotFound(3).kind(), WindowProviderError::Kind::windowNotFound);
}
