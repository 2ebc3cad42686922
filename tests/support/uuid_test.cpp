#include "support/uuid.h"

#include <gtest/gtest.h>

#include <set>

#include "support/random.h"

using namespace murmura;

TEST(Uuid, FormatsCanonicalUpperCaseAndParsesBack) {
    auto u = Uuid::parse("6ba7b810-9dad-11d1-80b4-00c04fd430c8");
    ASSERT_TRUE(u);
    EXPECT_EQ(u->toString(), "6BA7B810-9DAD-11D1-80B4-00C04FD430C8");
    EXPECT_EQ(Uuid::parse(u->toString()), u);
}

TEST(Uuid, RejectsMalformedText) {
    for (const char* bad : {"", "6BA7B810-9DAD-11D1-80B4-00C04FD430C", "6BA7B810-9DAD-11D1-80B4-00C04FD430C8X",
                            "6BA7B8109DAD-11D1-80B4-00C04FD430C8-", "6BA7B810-9DAD-11D1-80B4-00C04FD430CG",
                            "{6BA7B810-9DAD-11D1-80B4-00C04FD430C}"})
        EXPECT_FALSE(Uuid::parse(bad)) << bad;
}

TEST(Uuid, RandomIsVersion4AndUnique) {
    std::set<Uuid> seen;
    for (int i = 0; i < 1000; ++i) {
        Uuid u = Uuid::random();
        std::string s = u.toString();
        ASSERT_EQ(s.size(), 36u);
        EXPECT_EQ(s[14], '4');
        EXPECT_TRUE(s[19] == '8' || s[19] == '9' || s[19] == 'A' || s[19] == 'B');
        EXPECT_TRUE(seen.insert(u).second);
    }
}

TEST(Uuid, SeededGenerationIsReproducible) {
    SplitMix64 a(5), b(5);
    EXPECT_EQ(Uuid::random(a), Uuid::random(b));
    EXPECT_TRUE(Uuid().isNil());
    EXPECT_EQ(Uuid().toString(), "00000000-0000-0000-0000-000000000000");
}
