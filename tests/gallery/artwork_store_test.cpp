#include "gallery/artwork_store.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "gallery/artwork_finishing.h"
#include "rendering/png_io.h"
#include "support/diagnostics.h"
#include "support/manual_scheduler.h"
#include "../test_files.h"

using namespace murmura;
using namespace murmura::test;
namespace fs = std::filesystem;

namespace {

RgbaImage picture(int64_t w, int64_t h, uint8_t seed) {
    auto image = RgbaImage::create(w, h, ColorSpace::deviceRGB);
    for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x) {
            uint8_t* p = image->pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 9 + seed);
            p[1] = static_cast<uint8_t>(y * 5);
            p[2] = static_cast<uint8_t>(x ^ y);
            p[3] = 255;
        }
    return std::move(*image);
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

// Captures diagnostic lines while alive.
class Diagnostics {
public:
    Diagnostics() : file_(std::tmpfile()) { setDiagnosticStream(file_); }
    ~Diagnostics() {
        setDiagnosticStream(nullptr);
        std::fclose(file_);
    }
    std::string text() const {
        std::fflush(file_);
        std::rewind(file_);
        std::string out;
        char buffer[512];
        while (size_t n = std::fread(buffer, 1, sizeof buffer, file_)) out.append(buffer, n);
        return out;
    }

private:
    std::FILE* file_;
};

FinishedSession session() {
    FinishedSession s;
    s.plannedDuration = 300;
    s.actualDuration = 298.25;
    s.windowName = "Terminal \xE2\x80\x94 ~/src";
    s.ownerName = "Terminal";
    s.style = StyleDescriptor{"ink-water", "Ink Water", StyleSeries::traditional};
    return s;
}

class Store : public ::testing::Test {
protected:

    fs::path artworks() const { return base_ / "Murmura" / "Artworks"; }
    fs::path catalog() const { return artworks() / "artworks.json"; }
    ArtworkStore open() const {
        auto store = ArtworkStore::open(base_);
        EXPECT_TRUE(store) << store.error().message();
        return std::move(store).value();
    }
    void writeCatalog(const std::string& text) const {
        fs::create_directories(artworks());
        writeFile(catalog(), text);
    }

    ScratchDirectory scratch_{"murmura-store"};
    const fs::path base_ = scratch_.path();
};

}  // namespace

TEST_F(Store, FirstStartCreatesTheDirectoryAndWritesNoCatalogUntilTheFirstSave) {
    ArtworkStore store = open();
    EXPECT_TRUE(fs::is_directory(artworks()));
    EXPECT_EQ(store.artworksDirectory(), artworks());
    EXPECT_TRUE(store.records().empty());
    EXPECT_FALSE(store.catalogLoadFailed());
    EXPECT_FALSE(fs::exists(catalog()));
    ManualClock clock;
    ASSERT_TRUE(storeFinishedArtwork(store, picture(8, 6, 1), session(), clock));
    EXPECT_TRUE(fs::exists(catalog()));
}

TEST_F(Store, RecordWithoutCustomNameLoadsAbsentAndIsWrittenBackWithoutTheKey) {
    writeCatalog("[" + recordJson(kIdA, std::string(kIdA) + ".png") + ",\n\n" +
                 recordJson(kIdB, std::string(kIdB) + ".png", R"(, "customName": null)") + "]");
    ArtworkStore store = open();
    ASSERT_EQ(store.records().size(), 2u);
    EXPECT_EQ(store.records()[0].customName, std::nullopt);
    EXPECT_EQ(store.records()[1].customName, std::nullopt);
    ASSERT_TRUE(store.saveCatalog());
    const std::string text = readFile(catalog());
    EXPECT_EQ(text.find("customName"), std::string::npos) << text;
    EXPECT_EQ(ArtworkStore::open(base_)->records(), store.records());
}

TEST_F(Store, FractionalSecondsFailTheWholeCatalog) {
    const std::string original = "[" + recordJson(kIdA, "a.png") + "," +
                                 recordJson(kIdB, "b.png").replace(recordJson(kIdB, "b.png").find("42Z"), 3, "42.123Z") +
                                 "]";
    writeCatalog(original);
    Diagnostics lines;
    ArtworkStore store = open();
    EXPECT_TRUE(store.records().empty());
    EXPECT_TRUE(store.catalogLoadFailed());
    const std::string printed = lines.text();
    EXPECT_EQ(printed.rfind("Failed to load artwork catalog: ", 0), 0u) << printed;
    EXPECT_NE(printed.find("[1].creationDate"), std::string::npos) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1);
    EXPECT_EQ(readFile(catalog()), original);  // untouched on disk
}

TEST_F(Store, TheFirstSaveAfterAFailedLoadKeepsTheUnreadableCatalog) {
    const std::string broken = "[{\"id\": \"not finished";
    writeCatalog(broken);
    Diagnostics lines;
    ArtworkStore store = open();
    ASSERT_TRUE(store.catalogLoadFailed());
    ManualClock clock;
    auto stored = storeFinishedArtwork(store, picture(4, 4, 2), session(), clock);
    ASSERT_TRUE(stored) << stored.error().message();
    EXPECT_EQ(readFile(artworks() / "artworks.json.unreadable"), broken);
    EXPECT_NE(lines.text().find("Kept the unreadable artwork catalog as"), std::string::npos);
    // The new catalog holds the new artwork only; later saves keep no further copies.
    EXPECT_EQ(ArtworkStore::open(base_)->records().size(), 1u);
    ASSERT_TRUE(store.saveCatalog());
    EXPECT_FALSE(fs::exists(artworks() / "artworks.json.unreadable-2"));
    // A second broken catalog is kept under the next free name.
    writeCatalog(broken + "2");
    ArtworkStore again = open();
    ASSERT_TRUE(again.saveCatalog());
    EXPECT_EQ(readFile(artworks() / "artworks.json.unreadable-2"), broken + "2");
}

TEST_F(Store, StoringAnArtworkWritesItsImageAndRecord) {
    ArtworkStore store = open();
    ManualClock clock(0, 1796462682.75);  // 2026-12-05T09:24:42.75Z
    const RgbaImage image = picture(20, 10, 3);
    auto stored = storeFinishedArtwork(store, image, session(), clock);
    ASSERT_TRUE(stored) << stored.error().message();
    const ArtworkRecord& r = *stored;
    EXPECT_FALSE(r.id.isNil());
    EXPECT_EQ(r.imageFilePath, r.id.toString() + ".png");
    EXPECT_EQ(formatCatalogDate(r.creationDate), "2026-12-05T09:24:42Z");
    EXPECT_EQ(r.plannedDuration, 300);
    EXPECT_EQ(r.actualDuration, 298.25);
    EXPECT_EQ(r.windowName, "Terminal \xE2\x80\x94 ~/src");
    EXPECT_EQ(r.appName, "Terminal");
    EXPECT_EQ(r.styleName, "Ink Water");
    EXPECT_EQ(r.styleID, "ink-water");
    EXPECT_EQ(r.customName, std::nullopt);
    ASSERT_EQ(store.records().size(), 1u);
    EXPECT_EQ(store.records()[0], r);
    auto back = readPngFile((artworks() / r.imageFilePath).string());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, image);
    EXPECT_EQ(*store.loadImage(r), image);
    // The catalog on disk reads back the same record.
    EXPECT_EQ(ArtworkStore::open(base_)->records(), store.records());
    // A second artwork gets its own identity.
    auto second = storeFinishedArtwork(store, image, session(), clock);
    ASSERT_TRUE(second);
    EXPECT_NE(second->id, r.id);
    EXPECT_EQ(store.records().size(), 2u);
}

TEST_F(Store, UnknownOwnerAndInvalidTitlesAreStoredSafely) {
    ArtworkStore store = open();
    ManualClock clock;
    FinishedSession s = session();
    s.ownerName.reset();
    s.windowName = "bad \xFF title";
    auto stored = storeFinishedArtwork(store, picture(2, 2, 0), s, clock);
    ASSERT_TRUE(stored) << stored.error().message();
    EXPECT_EQ(stored->appName, "Unknown");
    EXPECT_EQ(stored->windowName, "bad \xEF\xBF\xBD title");
    s.ownerName = "";
    EXPECT_EQ(storeFinishedArtwork(store, picture(2, 2, 0), s, clock)->appName, "Unknown");
    EXPECT_EQ(ArtworkStore::open(base_)->records().size(), 2u);
}

TEST_F(Store, AnImageThatCannotBeWrittenAddsNoRecord) {
    ArtworkStore store = open();
    fs::remove_all(artworks());
    ManualClock clock;
    auto stored = storeFinishedArtwork(store, picture(2, 2, 0), session(), clock);
    ASSERT_FALSE(stored);
    EXPECT_EQ(stored.error().code, ArtworkStore::StoreError::Code::imageWriteFailed);
    EXPECT_EQ(stored.error().message(), "Failed to write artwork image");
    EXPECT_TRUE(store.records().empty());
}

TEST_F(Store, ACatalogThatCannotBeSavedTakesTheImageAwayAgain) {
    ArtworkStore store = open();
    fs::create_directory(catalog());  // a directory where the catalog belongs
    ManualClock clock;
    auto stored = storeFinishedArtwork(store, picture(2, 2, 0), session(), clock);
    ASSERT_FALSE(stored);
    EXPECT_EQ(stored.error().code, ArtworkStore::StoreError::Code::underlying);
    EXPECT_NE(stored.error().message().find("artworks.json"), std::string::npos) << stored.error().message();
    EXPECT_TRUE(store.records().empty());
    // Only the catalog's directory and the lock file: no image that no record names.
    EXPECT_EQ(entryCount(artworks()), 2u);
}

TEST_F(Store, AWriteFailureDuringSaveLeavesThePreviousCatalogIntact) {
    ArtworkStore store = open();
    ManualClock clock;
    ASSERT_TRUE(storeFinishedArtwork(store, picture(4, 4, 0), session(), clock));
    const std::string before = readFile(catalog());
    // Make the next catalog much larger than the file-size limit lets a write reach.
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
    // Only the catalog, its lock file and the one image: no temporary file is left behind.
    EXPECT_EQ(entryCount(artworks()), 3u);
    EXPECT_EQ(ArtworkStore::open(base_)->records().size(), 1u);
    // With room again the same save succeeds.
    ASSERT_TRUE(store.saveCatalog());
    EXPECT_EQ(ArtworkStore::open(base_)->records()[0].customName, std::string(20000, 'n'));
}

TEST_F(Store, RenameSetsAndClearsTheCustomNameAndSaves) {
    ArtworkStore store = open();
    ManualClock clock;
    const ArtworkRecord r = *storeFinishedArtwork(store, picture(2, 2, 0), session(), clock);
    auto renamed = store.updateCustomName(r.id, "Night shift");
    ASSERT_TRUE(renamed);
    EXPECT_EQ(renamed->customName, "Night shift");
    EXPECT_EQ(ArtworkStore::open(base_)->records()[0].customName, "Night shift");
    auto cleared = store.updateCustomName(r.id, std::nullopt);
    ASSERT_TRUE(cleared);
    EXPECT_EQ(cleared->customName, std::nullopt);
    EXPECT_EQ(readFile(catalog()).find("customName"), std::string::npos);
}

TEST_F(Store, RenamingOrDeletingAnUnknownArtworkFails) {
    ArtworkStore store = open();
    const Uuid unknown = *Uuid::parse("c56a4180-65aa-42ec-a945-5fd21dec0538");
    auto renamed = store.updateCustomName(unknown, "x");
    ASSERT_FALSE(renamed);
    EXPECT_EQ(renamed.error().code, ArtworkStore::StoreError::Code::artworkNotFound);
    EXPECT_EQ(renamed.error().message(), "Artwork C56A4180-65AA-42EC-A945-5FD21DEC0538 not found");
    auto deleted = store.deleteArtwork(unknown);
    ASSERT_FALSE(deleted);
    EXPECT_EQ(deleted.error().message(), "Artwork C56A4180-65AA-42EC-A945-5FD21DEC0538 not found");
    EXPECT_FALSE(fs::exists(catalog()));
}

TEST_F(Store, DeleteRemovesTheRecordAndItsImageKeepingTheOrder) {
    ArtworkStore store = open();
    ManualClock clock;
    const ArtworkRecord a = *storeFinishedArtwork(store, picture(2, 2, 0), session(), clock);
    const ArtworkRecord b = *storeFinishedArtwork(store, picture(2, 2, 1), session(), clock);
    const ArtworkRecord c = *storeFinishedArtwork(store, picture(2, 2, 2), session(), clock);
    ASSERT_TRUE(store.deleteArtwork(b.id));
    EXPECT_FALSE(fs::exists(artworks() / b.imageFilePath));
    EXPECT_TRUE(fs::exists(artworks() / a.imageFilePath));
    const std::vector<ArtworkRecord> expected = {a, c};
    EXPECT_EQ(store.records(), expected);
    EXPECT_EQ(ArtworkStore::open(base_)->records(), expected);
}

TEST_F(Store, DeletingARecordWhoseImageWasRemovedByHandStillRemovesIt) {
    ArtworkStore store = open();
    ManualClock clock;
    const ArtworkRecord r = *storeFinishedArtwork(store, picture(2, 2, 0), session(), clock);
    fs::remove(artworks() / r.imageFilePath);
    EXPECT_FALSE(store.loadImage(r));
    ASSERT_TRUE(store.deleteArtwork(r.id));
    EXPECT_TRUE(store.records().empty());
    EXPECT_EQ(readFile(catalog()), "[]\n");
}

TEST_F(Store, EveryChangeReloadsTheCatalogSoNoWriterLosesAnother) {
    ArtworkStore first = open();
    ArtworkStore second = open();  // both loaded the empty gallery
    ManualClock clock;
    const ArtworkRecord a = *storeFinishedArtwork(first, picture(2, 2, 0), session(), clock);
    const ArtworkRecord b = *storeFinishedArtwork(second, picture(2, 2, 1), session(), clock);
    EXPECT_EQ(second.records(), (std::vector<ArtworkRecord>{a, b}));
    ASSERT_TRUE(first.deleteArtwork(b.id));
    // A rename by the store that still remembers b does not bring it back.
    ASSERT_TRUE(second.updateCustomName(a.id, "kept"));
    const auto onDisk = open().records();
    ASSERT_EQ(onDisk.size(), 1u);
    EXPECT_EQ(onDisk[0].customName, "kept");
    EXPECT_FALSE(fs::exists(artworks() / b.imageFilePath));
    auto gone = second.deleteArtwork(b.id);
    ASSERT_FALSE(gone);
    EXPECT_EQ(gone.error().code, ArtworkStore::StoreError::Code::artworkNotFound);
}

TEST_F(Store, FieldsOfANewerVersionSurviveARewrite) {
    const char* extra = R"({"rating": 5, "tags": ["x", "y/z"], "zz": {"a": [], "b": null}})";
    writeCatalog("[" + recordJson(kIdA, "a.png", ", " + std::string(extra + 1, std::strlen(extra) - 2)) + "]");
    ASSERT_TRUE(open().updateCustomName(*Uuid::parse(kIdA), "named"));
    const auto reread = open().records();
    ASSERT_EQ(reread.size(), 1u);
    EXPECT_EQ(reread[0].customName, "named");
    EXPECT_EQ(reread[0].otherFields, Json::parse(extra));
}

TEST_F(Store, ImageNamedByAnotherRecordStaysWhenOneIsDeleted) {
    writeCatalog("[" + recordJson(kIdA, "shared.png") + "," + recordJson(kIdB, "shared.png") + "]");
    ASSERT_TRUE(writePngFile(picture(2, 2, 0), (artworks() / "shared.png").string()));
    ArtworkStore store = open();
    ASSERT_TRUE(store.deleteArtwork(*Uuid::parse(kIdA)));
    EXPECT_TRUE(fs::exists(artworks() / "shared.png"));
    ASSERT_TRUE(store.deleteArtwork(*Uuid::parse(kIdB)));
    EXPECT_FALSE(fs::exists(artworks() / "shared.png"));
}

TEST_F(Store, ImagePathsOutsideTheDirectoryAreNeverTouched) {
    // Valid PNG files outside the artworks directory that a traversal path would reach, and the
    // store's own kept catalog copy inside it.
    const RgbaImage victim = picture(3, 3, 7);
    fs::create_directories(artworks() / "sub");
    ASSERT_TRUE(writePngFile(victim, (base_ / "victim.png").string()));
    ASSERT_TRUE(writePngFile(victim, (base_ / "Murmura" / "victim.png").string()));
    ASSERT_TRUE(writePngFile(victim, (artworks() / "sub" / "inner.png").string()));
    writeFile(artworks() / "artworks.json.unreadable", "kept");
    const std::vector<std::string> paths = {"../victim.png",
                                            "../../victim.png",
                                            (base_ / "victim.png").string(),
                                            "sub/inner.png",
                                            "./../victim.png",
                                            "..",
                                            ".",
                                            "",
                                            "artworks.json.unreadable",
                                            "artworks.json",
                                            std::string("x.png\0/../../victim.png", 23),
                                            std::string("victim.png\0", 11)};
    std::string catalogText = "[";
    std::vector<Uuid> ids;
    for (size_t i = 0; i < paths.size(); ++i) {
        char id[64];
        std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012zu", i);
        ids.push_back(*Uuid::parse(id));
        catalogText += (i ? "," : "") + recordJson(id, paths[i]);
    }
    writeCatalog(catalogText + "]");

    ArtworkStore store = open();
    ASSERT_EQ(store.records().size(), paths.size());  // every record is still listed
    for (const ArtworkRecord& r : store.records()) {
        EXPECT_EQ(store.imagePath(r), std::nullopt) << r.imageFilePath;
        auto image = store.loadImage(r);
        EXPECT_FALSE(image) << r.imageFilePath;  // unavailable, although the target decodes
    }
    for (const Uuid& id : ids) ASSERT_TRUE(store.deleteArtwork(id));
    EXPECT_TRUE(store.records().empty());
    EXPECT_TRUE(fs::exists(base_ / "victim.png"));
    EXPECT_TRUE(fs::exists(base_ / "Murmura" / "victim.png"));
    EXPECT_TRUE(fs::exists(artworks() / "sub" / "inner.png"));
    EXPECT_EQ(readFile(artworks() / "artworks.json.unreadable"), "kept");
    EXPECT_EQ(readFile(catalog()), "[]\n");
}

TEST_F(Store, PlainFileNamesOfTheDirectoryAreUsable) {
    writeCatalog("[" + recordJson(kIdA, "older name.png") + "]");
    ASSERT_TRUE(writePngFile(picture(5, 5, 1), (artworks() / "older name.png").string()));
    ArtworkStore store = open();
    ASSERT_EQ(store.records().size(), 1u);
    EXPECT_EQ(store.imagePath(store.records()[0]), artworks() / "older name.png");
    EXPECT_TRUE(store.loadImage(store.records()[0]));
}

TEST_F(Store, ConstructionFailsWhenTheDirectoryCannotBeCreated) {
    writeFile(base_ / "Murmura", "a file where a folder belongs");
    auto store = ArtworkStore::open(base_);
    ASSERT_FALSE(store);
    EXPECT_EQ(store.error().code, ArtworkStore::StoreError::Code::underlying);
    EXPECT_NE(store.error().message().find((base_ / "Murmura").string()), std::string::npos)
        << store.error().message();
}

TEST_F(Store, UnreadableCatalogsOfOtherKinds) {
    for (const char* text : {"", "{}", "[{}]", "null"}) {
        writeCatalog(text);
        Diagnostics lines;
        ArtworkStore store = open();
        EXPECT_TRUE(store.records().empty()) << text;
        EXPECT_TRUE(store.catalogLoadFailed()) << text;
        EXPECT_NE(lines.text().find("Failed to load artwork catalog: "), std::string::npos) << text;
        EXPECT_EQ(readFile(catalog()), text);
    }
}

TEST(StoreLocation, DefaultBaseDirectoryFollowsXdg) {
    const char* oldXdg = std::getenv("XDG_DATA_HOME");
    const char* oldHome = std::getenv("HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "", savedHome = oldHome ? oldHome : "";
    ::setenv("XDG_DATA_HOME", "/data/xdg", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(ArtworkStore::defaultBaseDirectory(), fs::path("/data/xdg"));
    ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
    EXPECT_EQ(ArtworkStore::defaultBaseDirectory(), fs::path("/home/someone/.local/share"));
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(ArtworkStore::defaultBaseDirectory(), fs::path("/home/someone/.local/share"));
    ::unsetenv("HOME");
    EXPECT_EQ(ArtworkStore::defaultBaseDirectory(), std::nullopt);
    auto store = ArtworkStore::openDefault();
    ASSERT_FALSE(store);
    EXPECT_EQ(store.error().message(), "Failed to create artwork storage directory");
    if (oldXdg) ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
    if (oldHome) ::setenv("HOME", savedHome.c_str(), 1);
}

TEST(StoreError, Messages) {
    using E = ArtworkStore::StoreError;
    EXPECT_EQ((E{E::Code::directoryCreationFailed, {}, {}}).message(), "Failed to create artwork storage directory");
    EXPECT_EQ((E{E::Code::imageWriteFailed, {}, "disk full"}).message(), "Failed to write artwork image");
    EXPECT_EQ((E{E::Code::catalogWriteFailed, {}, {}}).message(), "Failed to save artwork catalog");
    EXPECT_EQ(E::artworkNotFound(*Uuid::parse("0f8e2a7c-3b1d-4e5f-9a6b-7c8d9e0f1a2b")).message(),
              "Artwork 0F8E2A7C-3B1D-4E5F-9A6B-7C8D9E0F1A2B not found");
    EXPECT_EQ(E::underlying("Cannot write x: No space left on device").message(),
              "Cannot write x: No space left on device");
}
