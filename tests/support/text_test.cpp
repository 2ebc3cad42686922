#include "support/text.h"

#include <gtest/gtest.h>

using namespace murmura;

TEST(Text, TrimsAsciiAndUnicodeWhiteSpaceAtBothEnds) {
    EXPECT_EQ(trimWhitespace("  hello world \t\r\n"), "hello world");
    EXPECT_EQ(trimWhitespace("\v\fx\n"), "x");
    // U+00A0 no-break space, U+3000 ideographic space, U+2028 line separator, U+0085 NEL.
    EXPECT_EQ(trimWhitespace("\xC2\xA0\xE3\x80\x80Moon\xE2\x80\xA8\xC2\x85"), "Moon");
    // Inner white space stays.
    EXPECT_EQ(trimWhitespace(" a\xC2\xA0 b "), "a\xC2\xA0 b");
    EXPECT_EQ(trimWhitespace(" \n\t "), "");
    EXPECT_EQ(trimWhitespace(""), "");
}

TEST(Text, TrimKeepsNonSpaceCharactersThatShareBytesWithSpaces) {
    // U+00E0 (C3 A0) ends in the byte A0 of U+00A0 and U+30A0 starts like U+3000: neither is space.
    EXPECT_EQ(trimWhitespace("\xC3\xA0"), "\xC3\xA0");
    EXPECT_EQ(trimWhitespace("\xE3\x82\xA0 "), "\xE3\x82\xA0");
    // A zero-width space (U+200B) is not White_Space.
    EXPECT_EQ(trimWhitespace("\xE2\x80\x8B"), "\xE2\x80\x8B");
    // Invalid bytes stop trimming and are kept.
    EXPECT_EQ(trimWhitespace(" \xFF "), "\xFF");
}

TEST(Text, Utf8Validation) {
    EXPECT_TRUE(isValidUtf8("plain"));
    EXPECT_TRUE(isValidUtf8("Terminal \xE2\x80\x94 ~/src"));  // em dash
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x8E\xA8"));             // U+1F3A8
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));                    // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));                // surrogate U+D800
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));            // past U+10FFFF
    EXPECT_FALSE(isValidUtf8("abc\xE2\x80"));                 // truncated
    EXPECT_FALSE(isValidUtf8("\x80"));                        // lone continuation
}

TEST(Text, InvalidSequencesBecomeReplacementCharacters) {
    EXPECT_EQ(toValidUtf8("ok \xE2\x80\x94"), "ok \xE2\x80\x94");
    EXPECT_EQ(toValidUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(toValidUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_TRUE(isValidUtf8(toValidUtf8("x\xE2\x80")));
}

TEST(Text, Utf8RepairOfTitlesFromOtherPrograms) {
    EXPECT_EQ(toValidUtf8("Caf\xC3\xA9 \xE2\x80\x94 \xE6\xBC\xA2"), "Caf\xC3\xA9 \xE2\x80\x94 \xE6\xBC\xA2");
    EXPECT_EQ(toValidUtf8("\xC3"), "\xEF\xBF\xBD");  // truncated sequence
    EXPECT_TRUE(isValidUtf8(toValidUtf8("\xED\xA0\x80")));  // surrogate
    EXPECT_FALSE(toValidUtf8("\xED\xA0\x80").empty());
    EXPECT_EQ(toValidUtf8("\xF0\x9F\x8E\xA8"), "\xF0\x9F\x8E\xA8");
}

TEST(Text, TerminalEscapingKeepsOneLineAndNoControlSequences) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain \xE2\x80\x94 text \\ ok", "plain \xE2\x80\x94 text \\ ok"},
        {"two\nlines\r\tx", "two\\nlines\\r\\tx"},
        {"\x1B[2J\x1B]0;title\x07", "\\u001B[2J\\u001B]0;title\\u0007"},
        {"del\x7F c1\xC2\x9B sep\xE2\x80\xA8", "del\\u007F c1\\u009B sep\\u2028"},
        {"bad\xFF\xC3", "bad\\xFF\\xC3"},
    };
    for (const auto& [text, escaped] : cases) EXPECT_EQ(escapeForTerminal(text), escaped);
}
