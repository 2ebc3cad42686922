#include "support/expected.h"

#include <gtest/gtest.h>

#include <string>

using namespace murmura;

TEST(Expected, HoldsValueOrError) {
    Expected<int, std::string> ok = 42;
    ASSERT_TRUE(ok.hasValue());
    EXPECT_EQ(*ok, 42);
    Expected<int, std::string> bad = unexpected(std::string("boom"));
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error(), "boom");
    // Same type for value and error stays unambiguous.
    Expected<std::string, std::string> s = unexpected(std::string("e"));
    EXPECT_FALSE(s.hasValue());
    Expected<void, std::string> v;
    EXPECT_TRUE(v);
    Expected<void, std::string> vf = unexpected(std::string("x"));
    EXPECT_EQ(vf.error(), "x");
}
