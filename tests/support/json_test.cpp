#include "support/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sys/stat.h>

#include "../test_files.h"

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

TEST(JsonParsing, HostileTextFailsInOneLineNamingWhere) {
    std::string deepPath;  // the innermost accepted array when nesting one level too deep
    for (size_t i = 0; i < kMaxJsonDepth; ++i) deepPath += "[0]";
    const std::string tooDeep = "\"" + deepPath + "\": nested more than 64 levels deep";
    const std::string longToken = "parse error at line 1, column 100003: syntax error while parsing value - invalid "
                                  "string: missing closing quote; last read: '\"" + std::string(160, 'x');
    const std::pair<std::string, std::string> cases[] = {  // text, error ("" = parses)
        {R"({"a": 1e309})", "\"a\": number out of range"},
        {R"({"events": [{"t": 1}, {"t": )" + std::string(400, '9') + "}]}", "\"events[1].t\": number out of range"},
        {"[[1], [2, [3, -1e999]]]", "\"[1][1][1]\": number out of range"},
        {R"({"a": 1.7976931348623157e308})", ""},
        {std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']'), ""},
        {std::string(kMaxJsonDepth + 1, '[') + std::string(kMaxJsonDepth + 1, ']'), tooDeep},
        {std::string(100000, '['), tooDeep},
        {std::string("{}\0{\"x\": 1}", 11), "malformed JSON: NUL byte at offset 2"},
        {"[\"" + std::string(100000, 'x'), "malformed JSON: " + longToken.substr(0, 160) + "..."},
    };
    for (const auto& [text, error] : cases) {
        auto parsed = parseJson(text);
        EXPECT_EQ(parsed ? std::string() : parsed.error(), error) << text.substr(0, 80);
    }
}

TEST(JsonParsing, ObjectsKeepOrderAndLastDuplicateWins) {
    for (size_t keys : {3u, 40u}) {  // below and above the size where a hash index takes over
        std::string text = "{";
        for (size_t i = 0; i < keys; ++i) text += "\"k" + std::to_string(i) + "\": " + std::to_string(i) + ",";
        auto parsed = parseJson(text + "\"k1\": \"again\", \"k0\": null}");
        ASSERT_TRUE(parsed) << parsed.error();
        ASSERT_EQ(parsed->size(), keys);
        EXPECT_EQ((*parsed)["k1"], "again");
        EXPECT_TRUE((*parsed)["k0"].is_null());
        EXPECT_EQ(parsed->begin().key(), "k0");
        EXPECT_EQ((*parsed)["k" + std::to_string(keys - 1)], keys - 1);
    }
}

TEST(JsonNumbers, WrittenNumbersReadBackAsTheSameDoubleAndWriteTheSameText) {
    for (double v : {0.0, -0.0, 3.0, -3.0, 0.1, 1e300, -1e-300, 5e-324, 9007199254740993.0}) {
        std::string text;
        ASSERT_TRUE(appendJsonNumber(text, v));
        auto parsed = parseJson(text);
        ASSERT_TRUE(parsed) << text;
        const double back = parsed->get<double>();
        EXPECT_EQ(back, v) << text;
        EXPECT_EQ(std::signbit(back), std::signbit(v)) << text;
        std::string again;
        ASSERT_TRUE(appendJsonNumber(again, back));
        EXPECT_EQ(again, text);
    }
    EXPECT_EQ([] { std::string t; appendJsonNumber(t, -0.0); return t; }(), "-0.0");
    std::string untouched = "x";
    EXPECT_FALSE(appendJsonNumber(untouched, std::nan("")));
    EXPECT_FALSE(appendJsonNumber(untouched, -INFINITY));
    EXPECT_EQ(untouched, "x");
}

TEST(JsonFiles, ReadsRegularFilesOnlyWithinTheLimitAndStreamsTheNamedArray) {
    test::ScratchDirectory dir("json-files");
    test::writeFile(dir / "s.json", R"({"head": 1, "items": [{"v": 1}, 2, [3]], "tail": {"items": [9]}})");
    test::writeFile(dir / "twice.json", R"({"items": [], "items": [1]})");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const std::tuple<std::filesystem::path, uint64_t, std::string> cases[] = {
        {dir / "s.json", 40, "cannot read file: larger than 40 bytes"},
        {dir / "missing.json", 64, "cannot open file: No such file or directory"},
        {dir.path(), 64, "cannot read file: is a directory"},
        {dir / "fifo", 64, "cannot read file: not a regular file"},
        {"/dev/zero", 64, "cannot read file: not a regular file"},
        {dir / "twice.json", 64, "\"items\": appears twice"},
    };
    for (const auto& [path, limit, error] : cases)
        EXPECT_EQ(readJsonFile(path, limit, "items", [](const Json&) {}).error(), error) << path;

    std::vector<Json> seen;
    auto read = readJsonFile(dir / "s.json", 1024, "items", [&](const Json& e) { seen.push_back(e); });
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(seen, (std::vector<Json>{Json{{"v", 1}}, 2, Json::array({3})}));
    EXPECT_EQ((*read)["items"], Json::array());
    EXPECT_EQ((*read)["tail"]["items"], Json::array({9}));  // only the top-level member streams
    auto failed = readJsonFile(dir / "s.json", 1024, "items", [](const Json& e) {
        if (e.is_array()) json::fail("x", "bad");
    });
    EXPECT_EQ(failed.error(), "\"items[2].x\": bad");
}
