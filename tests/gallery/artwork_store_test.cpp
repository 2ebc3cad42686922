// The artwork catalog format and the store that keeps it with the images.
#include "gallery/artwork_store.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "../test_diagnostics.h"
#include "../test_files.h"
#include "gallery/artwork_finishing.h"
#include "rendering/png_io.h"
#include "support/manual_scheduler.h"

using namespace murmura;
using namespace murmura::test;
namespace fs = std::filesystem;

namespace {

CatalogDate at(int64_t epochSeconds) { return CatalogDate{std::chrono::seconds{epochSeconds}}; }

RgbaImage picture(int64_t w, int64_t h, uint8_t seed) {
    auto image = RgbaImage::create(w, h, ColorSpace::deviceRGB);
    for (size_t i = 0; i < image->byteCount(); ++i) image->data()[i] = i % 4 == 3 ? 255 : uint8_t(i * 7 + seed);
    return std::move(*image);
}

// Slashes, an em dash, quotes, a line break, an optional key, a fractional duration; epoch
// seconds computed independently (calendar.timegm).
ArtworkRecord goldenRecord() {
    return {*Uuid::parse("c56a4180-65aa-42ec-a945-5fd21dec0538"), "C56A4180-65AA-42EC-A945-5FD21DEC0538.png",
            at(1801439999), 1500, 42.125, "Firefox \xE2\x80\x94 https://example.org/a?b", "Firefox",
            "Watercolor", "watercolor", "Morning \"focus\"\n/notes\t\\", {}};
}

const char* kGolden = R"([
  {
    "actualDuration": 42.125,
    "appName": "Firefox",
    "creationDate": "2027-01-31T23:59:59Z",
    "customName": "Morning \"focus\"\n\/notes\t\\",
    "id": "C56A4180-65AA-42EC-A945-5FD21DEC0538",
    "imageFilePath": "C56A4180-65AA-42EC-A945-5FD21DEC0538.png",
    "plannedDuration": 1500,
    "styleID": "watercolor",
    "styleName": "Watercolor",
    "windowName": "Firefox )" "\xE2\x80\x94" R"( https:\/\/example.org\/a?b"
  }
]
)";

Expected<std::vector<ArtworkRecord>, std::string> decode(const std::string& text) {
    auto parsed = parseJson(text);
    if (!parsed) return unexpected(parsed.error());
    return decodeCatalog(*parsed);
}

// The image path goes through the JSON encoder so that every byte of it (NUL included) survives.
std::string recordJson(const std::string& id, const std::string& image, const std::string& extra = "") {
    return R"({"id": ")" + id + R"(", "imageFilePath": )" + Json(image).dump() +
           R"(, "creationDate": "2026-12-05T09:24:42Z", "plannedDuration": 300, "actualDuration": 299,)"
           R"( "windowName": "Terminal", "appName": "Terminal", "styleName": "Ink Water", "styleID": "ink-water")" +
           extra + "}";
}
const char* kIdA = "0F8E2A7C-3B1D-4E5F-9A6B-7C8D9E0F1A2B";
const char* kIdB = "C56A4180-65AA-42EC-A945-5FD21DEC0538";

class Store : public ::testing::Test {
protected:
    fs::path artworks() const { return base_ / "Murmura" / "Artworks"; }
    fs::path catalog() const { return artworks() / "artworks.json"; }
    ArtworkStore open() const {
        auto store = ArtworkStore::open(base_);
        EXPECT_TRUE(store) << store.error().message();
        return std::move(store).value();
    }
    std::vector<ArtworkRecord> reopened() const { return ArtworkStore::open(base_)->records(); }
    void writeCatalog(const std::string& text) const {
        fs::create_directories(artworks());
        writeFile(catalog(), text);
    }
    Expected<ArtworkRecord, ArtworkStore::StoreError> add(ArtworkStore& store, uint8_t seed = 0,
                                                           FinishedSession s = {300, 298.25, "Terminal \xE2\x80\x94 ~/src",
                                                                                "Terminal", {"ink-water", "Ink Water", StyleSeries::traditional}}) {
        return storeFinishedArtwork(store, picture(4, 3, seed), s, clock_);
    }

    ScratchDirectory scratch_{"murmura-store"};
    const fs::path base_ = scratch_.path();
    ManualClock clock_{0, 1796462682.75};  // 2026-12-05T09:24:42.75Z
};

}  // namespace

TEST(CatalogDate, InternetFormOnlyWholeSeconds) {
    const std::pair<const char*, int64_t> valid[] = {
        {"2026-12-05T09:24:42Z", 1796462682},       {"2024-02-29T12:00:00Z", 1709208000},
        {"9999-12-31T23:59:59Z", 253402300799},     {"0000-01-01T00:00:00Z", -62167219200},
        {"2026-12-05T09:24:42+01:30", 1796457282},  {"2026-12-05T09:24:42-00:00", 1796462682}};
    for (auto [text, seconds] : valid) EXPECT_EQ(parseCatalogDate(text), at(seconds)) << text;
    for (const char* text : {"2026-12-05T09:24:42.123Z", "2026-12-05T09:24:42.000Z", "2026-12-05T09:24:42",
                             "2026-12-05 09:24:42Z", "2026-12-05t09:24:42z", "2026-12-05", "2023-02-29T00:00:00Z",
                             "2026-04-31T00:00:00Z", "2026-13-01T00:00:00Z", "2026-12-05T24:00:00Z",
                             "2026-12-05T23:60:00Z", "2026-12-05T23:00:60Z", "2026-12-05T09:24:42+0100",
                             "+2026-12-05T09:24:42Z", "0000-01-01T00:00:00+00:01", ""})
        EXPECT_FALSE(parseCatalogDate(text)) << text;
    EXPECT_EQ(formatCatalogDate(at(-1)), "1969-12-31T23:59:59Z");
}

TEST(ArtworkRecord, DisplayNameAndRenameTrimAndFallBackToTheAppName) {
    ArtworkRecord r;
    r.appName = "Terminal";
    for (auto [custom, shown] : {std::pair<std::optional<std::string>, std::string>{std::nullopt, "Terminal"},
                                 {"  Night shift \n", "Night shift"}, {" \t\n", "Terminal"}, {"", "Terminal"}}) {
        r.customName = custom;
        EXPECT_EQ(r.displayName(), shown);
    }
    // (Trimming and clearing on the default title are the session flow's rename test.)
    EXPECT_EQ(customNameForRename("  Terminal \n", r), std::nullopt);
    EXPECT_EQ(customNameForRename("terminal", r), "terminal");  // case matters
}

TEST(Catalog, GoldenTextBothWaysAndLenientReading) {
    EXPECT_EQ(encodeCatalog({goldenRecord()}).value(), kGolden);
    EXPECT_EQ(decode(kGolden).value(), std::vector{goldenRecord()});
    EXPECT_EQ(encodeCatalog({}).value(), "[]\n");
    // Any key order and white space, a null custom name, an exponent, unknown keys.
    auto records = decode(
        R"([{"windowName":"w","styleName":"S","styleID":"s","plannedDuration":600,"imageFilePath":"x.png",)"
        R"("id":"c56a4180-65aa-42ec-a945-5fd21dec0538","customName":null,"creationDate":"2026-12-05T09:24:42Z",)"
        R"("appName":"A","actualDuration":1e2, "someFutureKey": [1, 2]}])");
    ASSERT_TRUE(records) << records.error();
    EXPECT_EQ(records->at(0).customName, std::nullopt);
    const std::string back = encodeCatalog(*records).value();
    EXPECT_EQ(back.find("customName"), std::string::npos);
    EXPECT_NE(back.find("\"someFutureKey\": [\n      1,\n      2\n    ],\n    \"styleID\""), std::string::npos) << back;
    EXPECT_NE(back.find("\"id\": \"C56A4180-65AA-42EC-A945-5FD21DEC0538\""), std::string::npos);
    EXPECT_NE(back.find("\"actualDuration\": 100,"), std::string::npos);
    // Control characters are escaped and read back.
    std::vector control = {goldenRecord()};
    control[0].customName = std::string("a\x01" "b\x1f" "c") + '\0' + "d";
    const std::string text = encodeCatalog(control).value();
    EXPECT_NE(text.find(R"("a\u0001b\u001fc\u0000d")"), std::string::npos) << text;
    EXPECT_EQ(decode(text).value(), control);
}

TEST(Catalog, ErrorsNameTheRecordAndKeyAndUnreadableRecordsAreNotWritten) {
    auto edited = [](const std::string& from, const std::string& to) {  // the golden record second
        std::string text = kGolden;
        return "[" + recordJson(kIdA, "a.png") + "," + text.replace(text.find(from), from.size(), to).substr(1);
    };
    const std::pair<std::string, std::string> cases[] = {
        {edited("23:59:59Z", "23:59:59.123Z"), "\"[1].creationDate\""},
        {edited("\"styleID\": \"watercolor\",", ""), "\"[1].styleID\": missing"},
        {edited("C56A4180-65AA", "XXXX4180-65AA"), "\"[1].id\""},
        {edited("42.125", "\"42\""), "\"[1].actualDuration\": expected a number"},
        {edited("\"Morning", "17, \"x\": \""), "\"[1].customName\": expected a string"},
        {R"({"records": []})", "expected an array"}, {"[1]", "expected an object"}, {"[", "malformed JSON"},
        {R"([{"id": null}])", "\"[0].id\": must not be null"}};
    for (const auto& [text, expected] : cases) {
        auto r = decode(text);
        ASSERT_FALSE(r) << text;
        EXPECT_NE(r.error().find(expected), std::string::npos) << r.error();
    }
    // A record that cannot be written fails the whole catalog, naming the record.
    for (const auto& spoil : std::vector<std::function<void(ArtworkRecord&)>>{
             [](ArtworkRecord& r) { r.actualDuration = std::numeric_limits<double>::infinity(); },
             [](ArtworkRecord& r) { r.customName = "bad \xFF name"; },
             [](ArtworkRecord& r) { r.creationDate = at(253402300800); }}) {  // year 10000
        std::vector records = {goldenRecord()};
        spoil(records[0]);
        auto r = encodeCatalog(records);
        ASSERT_FALSE(r);
        EXPECT_NE(r.error().find(kIdB), std::string::npos) << r.error();
    }
}

TEST_F(Store, StoresImageAndRecordAndWritesTheCatalogOnlyOnSave) {
    ArtworkStore store = open();
    EXPECT_TRUE(fs::is_directory(artworks()));
    EXPECT_TRUE(store.records().empty());
    EXPECT_FALSE(fs::exists(catalog()));
    auto r = add(store, 3);
    ASSERT_TRUE(r) << r.error().message();
    EXPECT_EQ(r->imageFilePath, r->id.toString() + ".png");
    EXPECT_EQ(*r, (ArtworkRecord{r->id, r->imageFilePath, at(1796462682), 300, 298.25, "Terminal \xE2\x80\x94 ~/src",
                                 "Terminal", "Ink Water", "ink-water", std::nullopt, {}}));
    EXPECT_EQ(*readPngFile((artworks() / r->imageFilePath).string()), picture(4, 3, 3));
    EXPECT_EQ(*store.loadImage(*r), picture(4, 3, 3));
    EXPECT_EQ(reopened(), store.records());
    // Unknown or empty owners and invalid titles are stored safely; each artwork has its own id.
    auto second = add(store, 0, {300, 1, "bad \xFF title", std::nullopt, {}});
    ASSERT_TRUE(second);
    EXPECT_NE(second->id, r->id);
    EXPECT_EQ(second->appName, "Unknown");
    EXPECT_EQ(second->windowName, "bad \xEF\xBF\xBD title");
    EXPECT_EQ(add(store, 0, {300, 1, "w", "", {}})->appName, "Unknown");
    EXPECT_EQ(reopened().size(), 3u);
}

TEST_F(Store, AnUnreadableCatalogLoadsEmptyStaysUntouchedAndIsKeptOnTheFirstSave) {
    const std::string fractional = "[" + recordJson(kIdA, "a.png") + "," +
                                   recordJson(kIdB, "b.png", R"(, "creationDate": "2026-12-05T09:24:42.123Z")") + "]";
    for (const std::string& text : {fractional, std::string("[{\"id\": \"not finished"), std::string(""),
                                    std::string("{}"), std::string("[{}]"), std::string("null")}) {
        SCOPED_TRACE(text);
        writeCatalog(text);
        Diagnostics lines;
        ArtworkStore store = open();
        EXPECT_TRUE(store.records().empty());
        EXPECT_TRUE(store.catalogLoadFailed());
        const std::string printed = lines.text();
        EXPECT_EQ(printed.rfind("Failed to load artwork catalog: ", 0), 0u) << printed;
        EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
        EXPECT_TRUE(text != fractional || printed.find("[1].creationDate") != std::string::npos) << printed;
        EXPECT_EQ(readFile(catalog()), text);
    }
    Diagnostics lines;
    ArtworkStore store = open();
    ASSERT_TRUE(add(store));
    EXPECT_EQ(readFile(artworks() / "artworks.json.unreadable"), "null");
    EXPECT_NE(lines.text().find("Kept the unreadable artwork catalog as"), std::string::npos);
    EXPECT_EQ(reopened().size(), 1u);
    ASSERT_TRUE(store.saveCatalog());  // later saves keep no further copies
    EXPECT_FALSE(fs::exists(artworks() / "artworks.json.unreadable-2"));
    writeCatalog("[");
    ASSERT_TRUE(open().saveCatalog());  // a second broken catalog is kept under the next free name
    EXPECT_EQ(readFile(artworks() / "artworks.json.unreadable-2"), "[");
}

TEST_F(Store, FailedWritesAreReportedAndLoseNothing) {
    ArtworkStore store = open();
    fs::remove_all(artworks());
    auto noImage = add(store);
    ASSERT_FALSE(noImage);
    EXPECT_EQ(noImage.error().code, ArtworkStore::StoreError::Code::imageWriteFailed);
    EXPECT_TRUE(store.records().empty());

    fs::create_directories(catalog());  // a directory where the catalog belongs
    auto noCatalog = add(store);
    ASSERT_FALSE(noCatalog);
    EXPECT_NE(noCatalog.error().message().find("artworks.json"), std::string::npos) << noCatalog.error().message();
    EXPECT_TRUE(store.records().empty());  // the image is taken away again: no record, no orphan
    EXPECT_EQ(entryCount(artworks()), 2u);  // the catalog's directory and the lock file
    fs::remove(catalog());

    ASSERT_TRUE(add(store));
    const std::string before = readFile(catalog());
    store.records()[0].customName = std::string(20000, 'n');
    Expected<void, ArtworkStore::StoreError> saved;
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active());
        saved = store.saveCatalog();
    }
    ASSERT_FALSE(saved);
    EXPECT_NE(saved.error().message().find("File too large"), std::string::npos) << saved.error().message();
    EXPECT_EQ(readFile(catalog()), before);
    EXPECT_EQ(entryCount(artworks()), 3u);  // the catalog, its lock and the one image: no temporary left
    ASSERT_TRUE(store.saveCatalog());
    EXPECT_EQ(reopened()[0].customName, std::string(20000, 'n'));

    writeFile(base_ / "other", "a file where a folder belongs");
    auto blocked = ArtworkStore::open(base_ / "other");
    ASSERT_FALSE(blocked);
    EXPECT_NE(blocked.error().message().find((base_ / "other").string()), std::string::npos);
}

TEST_F(Store, RenameAndDeleteSaveAndKeepImagesOtherRecordsName) {
    ArtworkStore store = open();
    const ArtworkRecord a = *add(store, 0), b = *add(store, 1), c = *add(store, 2);
    EXPECT_EQ(store.updateCustomName(a.id, "Night shift")->customName, "Night shift");
    EXPECT_EQ(reopened()[0].customName, "Night shift");
    EXPECT_EQ(store.updateCustomName(a.id, std::nullopt)->customName, std::nullopt);
    EXPECT_EQ(readFile(catalog()).find("customName"), std::string::npos);
    ASSERT_TRUE(store.deleteArtwork(b.id));
    EXPECT_FALSE(fs::exists(artworks() / b.imageFilePath));
    EXPECT_EQ(reopened(), (std::vector<ArtworkRecord>{store.records()[0], c}));
    fs::remove(artworks() / c.imageFilePath);  // removed by hand: the record still goes
    EXPECT_FALSE(store.loadImage(c));
    ASSERT_TRUE(store.deleteArtwork(c.id));
    const Uuid unknown = *Uuid::parse(kIdB);
    EXPECT_EQ(store.updateCustomName(unknown, "x").error().message(), "Artwork " + std::string(kIdB) + " not found");
    EXPECT_EQ(store.deleteArtwork(unknown).error().code, ArtworkStore::StoreError::Code::artworkNotFound);

    // Two records naming one image; the second has fields of a newer version, which survive rewrites.
    const std::string newer = R"("rating": 5, "tags": ["x", "y/z"], "zz": {"a": [], "b": null})";
    writeCatalog("[" + recordJson(kIdA, "shared name.png") + "," + recordJson(kIdB, "shared name.png", "," + newer) + "]");
    ASSERT_TRUE(writePngFile(picture(2, 2, 0), (artworks() / "shared name.png").string()));
    ArtworkStore shared = open();
    EXPECT_EQ(shared.imagePath(shared.records()[0]), artworks() / "shared name.png");
    ASSERT_TRUE(shared.deleteArtwork(*Uuid::parse(kIdA)));
    EXPECT_TRUE(fs::exists(artworks() / "shared name.png"));
    ASSERT_TRUE(shared.updateCustomName(*Uuid::parse(kIdB), "named"));
    EXPECT_EQ(reopened().at(0).otherFields, Json::parse("{" + newer + "}"));
    ASSERT_TRUE(shared.deleteArtwork(*Uuid::parse(kIdB)));
    EXPECT_FALSE(fs::exists(artworks() / "shared name.png"));
}

TEST_F(Store, EveryChangeReloadsTheCatalogSoNoWriterLosesAnother) {
    ArtworkStore first = open();
    ArtworkStore second = open();  // both loaded the empty gallery
    const ArtworkRecord a = *add(first, 0);
    const ArtworkRecord b = *add(second, 1);
    EXPECT_EQ(second.records(), (std::vector<ArtworkRecord>{a, b}));
    ASSERT_TRUE(first.deleteArtwork(b.id));
    // A rename by the store that still remembers b does not bring it back.
    ASSERT_TRUE(second.updateCustomName(a.id, "kept"));
    const auto onDisk = reopened();
    ASSERT_EQ(onDisk.size(), 1u);
    EXPECT_EQ(onDisk[0].customName, "kept");
    EXPECT_FALSE(fs::exists(artworks() / b.imageFilePath));
    EXPECT_EQ(second.deleteArtwork(b.id).error().code, ArtworkStore::StoreError::Code::artworkNotFound);
}

TEST_F(Store, ImagePathsOutsideTheDirectoryAreNeverTouched) {
    // Valid PNG files a traversal would reach, and the store's own kept catalog copy.
    fs::create_directories(artworks() / "sub");
    for (const fs::path& p : {base_ / "victim.png", base_ / "Murmura" / "victim.png", artworks() / "sub" / "inner.png"})
        ASSERT_TRUE(writePngFile(picture(3, 3, 7), p.string()));
    writeFile(artworks() / "artworks.json.unreadable", "kept");
    const std::vector<std::string> paths = {"../victim.png", "../../victim.png", (base_ / "victim.png").string(),
                                            "sub/inner.png", "./../victim.png", "..", ".", "",
                                            "artworks.json.unreadable", "artworks.json",
                                            std::string("x.png\0/../../victim.png", 23), std::string("victim.png\0", 11)};
    std::string text = "[";
    for (size_t i = 0; i < paths.size(); ++i) {
        char id[64];
        std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012zu", i);
        text += (i ? "," : "") + recordJson(id, paths[i]);
    }
    writeCatalog(text + "]");
    ArtworkStore store = open();
    ASSERT_EQ(store.records().size(), paths.size());  // every record is still listed
    const std::vector<ArtworkRecord> records = store.records();
    for (const ArtworkRecord& r : records) {
        EXPECT_EQ(store.imagePath(r), std::nullopt) << r.imageFilePath;
        EXPECT_FALSE(store.loadImage(r)) << r.imageFilePath;  // unavailable, although the target decodes
        ASSERT_TRUE(store.deleteArtwork(r.id));
    }
    for (const fs::path& p : {base_ / "victim.png", base_ / "Murmura" / "victim.png", artworks() / "sub" / "inner.png"})
        EXPECT_TRUE(fs::exists(p)) << p;
    EXPECT_EQ(readFile(artworks() / "artworks.json.unreadable"), "kept");
    EXPECT_EQ(readFile(catalog()), "[]\n");
}

TEST(StoreLocation, DefaultBaseDirectoryFollowsXdg) {
    auto env = [](const char* name) { return std::string(std::getenv(name) ? std::getenv(name) : ""); };
    const std::string xdg = env("XDG_DATA_HOME"), home = env("HOME");
    ::setenv("XDG_DATA_HOME", "/data/xdg", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(ArtworkStore::defaultBaseDirectory(), fs::path("/data/xdg"));
    ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
    EXPECT_EQ(ArtworkStore::defaultBaseDirectory(), fs::path("/home/someone/.local/share"));
    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("HOME");
    EXPECT_EQ(ArtworkStore::defaultBaseDirectory(), std::nullopt);
    EXPECT_EQ(ArtworkStore::openDefault().error().message(), "Failed to create artwork storage directory");
    if (!xdg.empty()) ::setenv("XDG_DATA_HOME", xdg.c_str(), 1);
    if (!home.empty()) ::setenv("HOME", home.c_str(), 1);
}
