#include "support/expected.h"

#include <gtest/gtest.h>

#include <string>

using namespace murmura;

TEST(Expected, HoldsValueOrErrorEvenWhenBothHaveOneType) {
    Expected<int, std::string> ok = 42;
    ASSERT_TRUE(ok.hasValue());
    EXPECT_EQ(*ok, 42);
    Expected<std::string, std::string> bad = unexpected(std::string("boom"));
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error(), "boom");
    EXPECT_TRUE((Expected<void, std::string>{}));
    EXPECT_EQ((Expected<void, std::string>{unexpected(std::string("x"))}).error(), "x");
}
