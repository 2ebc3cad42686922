#include "support/json.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace murmura;

namespace {
DecodeError decodeFailure(const std::function<void()>& body) {
    auto r = catchDecode([&] {
        body();
        return 0;
    });
    EXPECT_FALSE(r);
    return r ? DecodeError{} : r.error();
}
}  // namespace

TEST(JsonReaders, IntegersAcceptIntegralFloatsAndCheckRange) {
    Json j = Json::parse(R"({"a": 5, "b": 5.0, "c": 5.5, "d": -1, "e": 18446744073709551615, "f": 1e300, "g": true})");
    auto value = catchDecode([&] { return json::integer(j["a"], "a", 0, 10) + json::integer(j["b"], "b", 0, 10); });
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, 10);
    EXPECT_EQ(decodeFailure([&] { json::integer(j["c"], "c", 0, 10); }).key, "c");
    EXPECT_EQ(decodeFailure([&] { json::integer(j["d"], "d", 0, 10); }).reason, "-1 is out of range 0...10");
    EXPECT_EQ(decodeFailure([&] { json::integer(j["e"], "e", 0, 10); }).key, "e");
    EXPECT_EQ(decodeFailure([&] { json::integer(j["f"], "f", INT64_MIN, INT64_MAX); }).key, "f");
    EXPECT_EQ(decodeFailure([&] { json::integer(j["g"], "g", 0, 10); }).reason, "expected an integer, found a boolean");
}

TEST(JsonReaders, RequireAndPairsNameTheProblem) {
    Json j = Json::parse(R"({"n": null, "p": [1, 2, 3], "q": [1, "2"], "r": "x"})");
    EXPECT_EQ(decodeFailure([&] { json::require(j, "x"); }).reason, "missing");
    EXPECT_EQ(decodeFailure([&] { json::require(j, "n"); }).reason, "must not be null");
    EXPECT_EQ(json::optional(j, "n"), nullptr);
    EXPECT_EQ(json::optional(j, "x"), nullptr);
    EXPECT_EQ(decodeFailure([&] { json::numberPair(j["p"], "p"); }).reason,
              "expected an array of 2 numbers, found an array of 3");
    EXPECT_EQ(decodeFailure([&] { json::numberPair(j["q"], "q"); }).key, "q[1]");
    EXPECT_EQ(decodeFailure([&] { json::numberPair(j["r"], "r"); }).reason,
              "expected an array of 2 numbers, found a string");
}

TEST(DecodeError, PrefixingBuildsAPath) {
    DecodeError e{"keyCode", "bad"};
    EXPECT_EQ(e.prefixed("events[3]").key, "events[3].keyCode");
    EXPECT_EQ(e.prefixed("events[3]").message(), "\"events[3].keyCode\": bad");
    EXPECT_EQ((DecodeError{"", "bad"}).prefixed("events[0]").key, "events[0]");
}

TEST(JsonFiles, ReportsUnreadableAndMalformedFiles) {
    auto missing = readJsonFile("/nonexistent/file.json");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find("cannot open"), std::string::npos);
    EXPECT_FALSE(readJsonFile(std::filesystem::temp_directory_path().string()));
    auto bad = parseJson("{\"a\": ");
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().rfind("malformed JSON: ", 0), 0u);
}
