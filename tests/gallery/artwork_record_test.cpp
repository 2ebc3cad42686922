#include "gallery/artwork_record.h"

#include <gtest/gtest.h>

using namespace murmura;
using std::chrono::seconds;

namespace {

CatalogDate at(int64_t epochSeconds) { return CatalogDate{seconds{epochSeconds}}; }

// Two records exercising slashes, an em dash, quotes, a line break, an optional key and
// fractional and whole durations. Epoch seconds computed independently (calendar.timegm).
std::vector<ArtworkRecord> twoRecords() {
    ArtworkRecord a;
    a.id = *Uuid::parse("0f8e2a7c-3b1d-4e5f-9a6b-7c8d9e0f1a2b");
    a.imageFilePath = "0F8E2A7C-3B1D-4E5F-9A6B-7C8D9E0F1A2B.png";
    a.creationDate = at(1796462682);  // 2026-12-05T09:24:42Z
    a.plannedDuration = 300;
    a.actualDuration = 298.5;
    a.windowName = "Terminal \xE2\x80\x94 ~/src/murmura";
    a.appName = "Terminal";
    a.styleName = "Ink Water";
    a.styleID = "ink-water";
    ArtworkRecord b;
    b.id = *Uuid::parse("C56A4180-65AA-42EC-A945-5FD21DEC0538");
    b.imageFilePath = "C56A4180-65AA-42EC-A945-5FD21DEC0538.png";
    b.creationDate = at(1801439999);  // 2027-01-31T23:59:59Z
    b.plannedDuration = 1500;
    b.actualDuration = 42.125;
    b.windowName = "Firefox \xE2\x80\x94 https://example.org/a?b";
    b.appName = "Firefox";
    b.styleName = "Watercolor";
    b.styleID = "watercolor";
    b.customName = "Morning \"focus\"\n/notes\t\\";
    return {a, b};
}

const char* kGolden =
    "[\n"
    "  {\n"
    "    \"actualDuration\": 298.5,\n"
    "    \"appName\": \"Terminal\",\n"
    "    \"creationDate\": \"2026-12-05T09:24:42Z\",\n"
    "    \"id\": \"0F8E2A7C-3B1D-4E5F-9A6B-7C8D9E0F1A2B\",\n"
    "    \"imageFilePath\": \"0F8E2A7C-3B1D-4E5F-9A6B-7C8D9E0F1A2B.png\",\n"
    "    \"plannedDuration\": 300,\n"
    "    \"styleID\": \"ink-water\",\n"
    "    \"styleName\": \"Ink Water\",\n"
    "    \"windowName\": \"Terminal \xE2\x80\x94 ~\\/src\\/murmura\"\n"
    "  },\n"
    "  {\n"
    "    \"actualDuration\": 42.125,\n"
    "    \"appName\": \"Firefox\",\n"
    "    \"creationDate\": \"2027-01-31T23:59:59Z\",\n"
    "    \"customName\": \"Morning \\\"focus\\\"\\n\\/notes\\t\\\\\",\n"
    "    \"id\": \"C56A4180-65AA-42EC-A945-5FD21DEC0538\",\n"
    "    \"imageFilePath\": \"C56A4180-65AA-42EC-A945-5FD21DEC0538.png\",\n"
    "    \"plannedDuration\": 1500,\n"
    "    \"styleID\": \"watercolor\",\n"
    "    \"styleName\": \"Watercolor\",\n"
    "    \"windowName\": \"Firefox \xE2\x80\x94 https:\\/\\/example.org\\/a?b\"\n"
    "  }\n"
    "]\n";

std::vector<ArtworkRecord> decode(const std::string& text) {
    auto parsed = parseJson(text);
    EXPECT_TRUE(parsed) << text;
    if (!parsed) return {};
    auto records = decodeCatalog(*parsed);
    EXPECT_TRUE(records) << records.error();
    return records ? *records : std::vector<ArtworkRecord>{};
}

std::string decodeError(const std::string& text) {
    auto parsed = parseJson(text);
    if (!parsed) return parsed.error();
    auto records = decodeCatalog(*parsed);
    return records ? "" : records.error();
}

}  // namespace

TEST(CatalogDate, FormatsUtcWithoutFractions) {
    EXPECT_EQ(formatCatalogDate(at(1796462682)), "2026-12-05T09:24:42Z");
    EXPECT_EQ(formatCatalogDate(at(0)), "1970-01-01T00:00:00Z");
    EXPECT_EQ(formatCatalogDate(at(1709208000)), "2024-02-29T12:00:00Z");
    EXPECT_EQ(formatCatalogDate(at(-1)), "1969-12-31T23:59:59Z");
}

TEST(CatalogDate, ParsesTheInternetFormOnly) {
    EXPECT_EQ(parseCatalogDate("2026-12-05T09:24:42Z"), at(1796462682));
    EXPECT_EQ(parseCatalogDate("2024-02-29T12:00:00Z"), at(1709208000));
    EXPECT_EQ(parseCatalogDate("9999-12-31T23:59:59Z"), at(253402300799));
    EXPECT_EQ(parseCatalogDate("0000-01-01T00:00:00Z"), at(-62167219200));
    // A zone offset names the same instant in UTC.
    EXPECT_EQ(parseCatalogDate("2026-12-05T09:24:42+01:30"), at(1796457282));
    EXPECT_EQ(parseCatalogDate("2026-12-05T09:24:42-00:00"), at(1796462682));

    EXPECT_FALSE(parseCatalogDate("2026-12-05T09:24:42.123Z"));  // fractional seconds
    EXPECT_FALSE(parseCatalogDate("2026-12-05T09:24:42.000Z"));
    EXPECT_FALSE(parseCatalogDate("2026-12-05T09:24:42"));  // no zone
    EXPECT_FALSE(parseCatalogDate("2026-12-05 09:24:42Z"));
    EXPECT_FALSE(parseCatalogDate("2026-12-05t09:24:42z"));
    EXPECT_FALSE(parseCatalogDate("2026-12-05"));
    EXPECT_FALSE(parseCatalogDate("2023-02-29T00:00:00Z"));  // not a leap year
    EXPECT_FALSE(parseCatalogDate("2026-04-31T00:00:00Z"));
    EXPECT_FALSE(parseCatalogDate("2026-13-01T00:00:00Z"));
    EXPECT_FALSE(parseCatalogDate("2026-12-05T24:00:00Z"));
    EXPECT_FALSE(parseCatalogDate("2026-12-05T23:60:00Z"));
    EXPECT_FALSE(parseCatalogDate("2026-12-05T23:00:60Z"));
    EXPECT_FALSE(parseCatalogDate("2026-12-05T09:24:42+0100"));
    EXPECT_FALSE(parseCatalogDate("+2026-12-05T09:24:42Z"));
    EXPECT_FALSE(parseCatalogDate("0000-01-01T00:00:00+00:01"));  // before year 0000
    EXPECT_FALSE(parseCatalogDate(""));
}

TEST(ArtworkRecord, DisplayNameIsTheTrimmedCustomNameOrTheAppName) {
    ArtworkRecord r;
    r.appName = "Terminal";
    EXPECT_EQ(r.displayName(), "Terminal");
    r.customName = "  Night shift \n";
    EXPECT_EQ(r.displayName(), "Night shift");
    r.customName = " \t\n";
    EXPECT_EQ(r.displayName(), "Terminal");
    r.customName = "";
    EXPECT_EQ(r.displayName(), "Terminal");
}

TEST(ArtworkRecord, RenameRuleTrimsAndTreatsTheAppNameAsNoName) {
    ArtworkRecord r;
    r.appName = "Terminal";
    EXPECT_EQ(customNameForRename("  Night shift  ", r), "Night shift");
    EXPECT_EQ(customNameForRename("  Terminal \n", r), std::nullopt);
    EXPECT_EQ(customNameForRename(" \n\t ", r), std::nullopt);
    EXPECT_EQ(customNameForRename("", r), std::nullopt);
    EXPECT_EQ(customNameForRename("terminal", r), "terminal");  // case matters
}

TEST(Catalog, TwoKnownRecordsGiveTheGoldenText) {
    auto text = encodeCatalog(twoRecords());
    ASSERT_TRUE(text) << text.error();
    EXPECT_EQ(*text, kGolden);
}

TEST(Catalog, GoldenTextReadsBackToTheSameRecords) {
    EXPECT_EQ(decode(kGolden), twoRecords());
}

TEST(Catalog, EmptyCatalog) {
    EXPECT_EQ(*encodeCatalog({}), "[]\n");
    EXPECT_TRUE(decode("[]").empty());
}

TEST(Catalog, ReadersAcceptAnyWhitespaceKeyOrderAndNullCustomName) {
    const std::string text =
        R"([{"windowName":"w","styleName":"S","styleID":"s","plannedDuration":600,"imageFilePath":"x.png",)"
        R"("id":"c56a4180-65aa-42ec-a945-5fd21dec0538","customName":null,"creationDate":"2026-12-05T09:24:42Z",)"
        R"("appName":"A","actualDuration":1e2, "someFutureKey": [1, 2]}])";
    auto records = decode(text);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].id.toString(), "C56A4180-65AA-42EC-A945-5FD21DEC0538");
    EXPECT_EQ(records[0].customName, std::nullopt);
    EXPECT_EQ(records[0].actualDuration, 100.0);
    EXPECT_EQ(records[0].plannedDuration, 600.0);
    // Written back: no "customName" key, upper-case id, unknown keys kept in sorted place.
    const std::string back = *encodeCatalog(records);
    EXPECT_EQ(back.find("customName"), std::string::npos);
    EXPECT_NE(back.find("\"someFutureKey\": [\n      1,\n      2\n    ],\n    \"styleID\""), std::string::npos) << back;
    EXPECT_NE(back.find("\"id\": \"C56A4180-65AA-42EC-A945-5FD21DEC0538\""), std::string::npos);
    EXPECT_NE(back.find("\"actualDuration\": 100,"), std::string::npos);
}

TEST(Catalog, DecodingErrorsNameTheRecordAndKey) {
    std::string valid = kGolden;
    std::string fractional = valid;
    fractional.replace(fractional.find("09:24:42Z"), 9, "09:24:42.123Z");
    EXPECT_NE(decodeError(fractional).find("\"[0].creationDate\""), std::string::npos) << decodeError(fractional);

    std::string missing = valid;
    missing.replace(missing.find("\"styleID\": \"watercolor\","), 24, "");
    EXPECT_NE(decodeError(missing).find("\"[1].styleID\": missing"), std::string::npos) << decodeError(missing);

    std::string badId = valid;
    badId.replace(badId.find("C56A4180-65AA"), 4, "XXXX");
    EXPECT_NE(decodeError(badId).find("\"[1].id\""), std::string::npos);

    std::string badNumber = valid;
    badNumber.replace(badNumber.find("298.5"), 5, "\"298\"");
    EXPECT_NE(decodeError(badNumber).find("\"[0].actualDuration\": expected a number"), std::string::npos);

    std::string badName = valid;
    badName.replace(badName.find("\"Morning"), 8, "17, \"x\": \"");
    EXPECT_NE(decodeError(badName).find("\"[1].customName\": expected a string"), std::string::npos)
        << decodeError(badName);

    EXPECT_NE(decodeError(R"({"records": []})").find("expected an array"), std::string::npos);
    EXPECT_NE(decodeError("[1]").find("expected an object"), std::string::npos);
    EXPECT_NE(decodeError("[").find("malformed JSON"), std::string::npos);
    EXPECT_NE(decodeError(R"([{"id": null}])").find("\"[0].id\": must not be null"), std::string::npos);
}

TEST(Catalog, EncodingRejectsWhatCouldNotBeReadBack) {
    auto records = twoRecords();
    records[1].actualDuration = std::numeric_limits<double>::infinity();
    auto r = encodeCatalog(records);
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().find("C56A4180-65AA-42EC-A945-5FD21DEC0538"), std::string::npos);

    records = twoRecords();
    records[0].customName = "bad \xFF name";
    EXPECT_FALSE(encodeCatalog(records));

    records = twoRecords();
    records[0].creationDate = at(253402300800);  // year 10000
    EXPECT_FALSE(encodeCatalog(records));
}

TEST(Catalog, ControlCharactersAreEscapedAndRoundTrip) {
    auto records = twoRecords();
    records[0].customName = std::string("a\x01" "b\x1f" "c") + '\0' + "d";
    auto text = encodeCatalog(records);
    ASSERT_TRUE(text);
    EXPECT_NE(text->find(R"("a\u0001b\u001fc\u0000d")"), std::string::npos) << *text;
    EXPECT_EQ(decode(*text), records);
}
