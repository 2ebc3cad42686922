#include "support/uuid.h"

#include <gtest/gtest.h>

#include <set>

#include "support/random.h"

using namespace murmura;

TEST(Uuid, FormatsCanonicalUpperCaseAndRejectsMalformedText) {
    auto u = Uuid::parse("6ba7b810-9dad-11d1-80b4-00c04fd430c8");
    ASSERT_TRUE(u);
    EXPECT_EQ(u->toString(), "6BA7B810-9DAD-11D1-80B4-00C04FD430C8");
    EXPECT_EQ(Uuid::parse(u->toString()), u);
    EXPECT_EQ(Uuid().toString(), "00000000-0000-0000-0000-000000000000");
    for (const char* bad : {"", "6BA7B810-9DAD-11D1-80B4-00C04FD430C", "6BA7B810-9DAD-11D1-80B4-00C04FD430C8X",
                            "6BA7B8109DAD-11D1-80B4-00C04FD430C8-", "6BA7B810-9DAD-11D1-80B4-00C04FD430CG",
                            "{6BA7B810-9DAD-11D1-80B4-00C04FD430C}"})
        EXPECT_FALSE(Uuid::parse(bad)) << bad;
}

TEST(Uuid, RandomIsVersion4UniqueAndReproducibleFromASeed) {
    std::set<Uuid> seen;
    for (int i = 0; i < 1000; ++i) {
        const std::string s = Uuid::random().toString();
        ASSERT_EQ(s[14], '4');
        ASSERT_NE(std::string("89AB").find(s[19]), std::string::npos);
        ASSERT_TRUE(seen.insert(*Uuid::parse(s)).second);
    }
    SplitMix64 a(5), b(5);
    EXPECT_EQ(Uuid::random(a), Uuid::random(b));
}
