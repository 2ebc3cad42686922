#include "support/text.h"

#include <gtest/gtest.h>

using namespace murmura;

TEST(Text, TrimsUnicodeWhiteSpaceOnlyAtTheEnds) {
    const std::pair<const char*, const char*> cases[] = {
        {"  hello world \t\r\n", "hello world"},
        {"\v\fx\n", "x"},
        // U+00A0, U+3000, U+2028, U+0085 around; U+00A0 inside stays.
        {"\xC2\xA0\xE3\x80\x80Moon\xE2\x80\xA8\xC2\x85", "Moon"},
        {" a\xC2\xA0 b ", "a\xC2\xA0 b"},
        {" \n\t ", ""},
        {"", ""},
        // U+00E0 ends in A0 and U+30A0 starts like U+3000; U+200B is not white space.
        {"\xC3\xA0", "\xC3\xA0"},
        {"\xE3\x82\xA0 ", "\xE3\x82\xA0"},
        {"\xE2\x80\x8B", "\xE2\x80\x8B"},
        {" \xFF ", "\xFF"},  // invalid bytes stop trimming and stay
    };
    for (auto [in, out] : cases) EXPECT_EQ(trimWhitespace(in), out) << in;
}

TEST(Text, Utf8ValidationAndRepair) {
    for (const char* valid : {"plain", "Terminal \xE2\x80\x94 ~/src", "\xF0\x9F\x8E\xA8", "Caf\xC3\xA9 \xE6\xBC\xA2"}) {
        EXPECT_TRUE(isValidUtf8(valid)) << valid;
        EXPECT_EQ(toValidUtf8(valid), valid);
    }
    // Overlong, surrogate, past U+10FFFF, truncated, lone continuation.
    for (const char* invalid : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "abc\xE2\x80", "\x80", "\xC3"}) {
        EXPECT_FALSE(isValidUtf8(invalid)) << invalid;
        EXPECT_TRUE(isValidUtf8(toValidUtf8(invalid))) << invalid;
        EXPECT_NE(toValidUtf8(invalid).find("\xEF\xBF\xBD"), std::string::npos) << invalid;
    }
    EXPECT_EQ(toValidUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(toValidUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
}
