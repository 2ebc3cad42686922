#include "support/utf8.h"

#include <gtest/gtest.h>

using namespace murmura;

TEST(Utf8Repair, KeepsValidTextAndReplacesInvalidBytes) {
    EXPECT_EQ(repairUtf8("Caf\xC3\xA9 \xE2\x80\x94 \xE6\xBC\xA2"), "Caf\xC3\xA9 \xE2\x80\x94 \xE6\xBC\xA2");
    EXPECT_EQ(repairUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(repairUtf8("\xC3"), "\xEF\xBF\xBD");                  // truncated sequence
    EXPECT_EQ(repairUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong '/'
    EXPECT_EQ(repairUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // surrogate
    EXPECT_EQ(repairUtf8("\xF0\x9F\x8E\xA8"), "\xF0\x9F\x8E\xA8");
}
