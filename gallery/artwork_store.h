#pragma once
// The artworks on disk: one PNG file per artwork and the catalog "artworks.json", both in
// <base>/Murmura/Artworks. The in-memory records and the catalog file are kept in step: every
// change rewrites the whole catalog atomically. Used from the main thread only.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "gallery/artwork_record.h"
#include "rendering/rgba_image.h"
#include "support/expected.h"
#include "support/uuid.h"

namespace murmura {

class ArtworkStore {
public:
    struct StoreError {
        enum class Code {
            artworkNotFound,
            directoryCreationFailed,
            imageWriteFailed,
            catalogWriteFailed,
            underlying,  // a file-system or encoding error passed on as it is
        };
        Code code = Code::underlying;
        Uuid id;             // artworkNotFound: the artwork asked for
        std::string detail;  // underlying: the description; otherwise the cause, if known

        // The fixed user-facing text of the case; the description itself for underlying errors.
        std::string message() const;
        static StoreError artworkNotFound(const Uuid& id) { return {Code::artworkNotFound, id, {}}; }
        static StoreError underlying(std::string description) { return {Code::underlying, {}, std::move(description)}; }
    };

    static constexpr const char* kCatalogFileName = "artworks.json";

    // One owner: two copies would overwrite each other's catalog.
    ArtworkStore(ArtworkStore&&) = default;
    ArtworkStore& operator=(ArtworkStore&&) = default;
    ArtworkStore(const ArtworkStore&) = delete;
    ArtworkStore& operator=(const ArtworkStore&) = delete;

    // $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share; nothing without either.
    static std::optional<std::filesystem::path> defaultBaseDirectory();
    // The same rule for given values of XDG_DATA_HOME and HOME (absent when unset).
    static std::optional<std::filesystem::path> baseDirectoryFor(const std::optional<std::string>& xdgDataHome,
                                                                 const std::optional<std::string>& home);
    // Creates <base>/Murmura/Artworks with its parents where missing and loads the catalog. An
    // unreadable or invalid catalog is reported as "Failed to load artwork catalog: ..." and the
    // store starts empty, leaving the file as it is until the next save.
    static Expected<ArtworkStore, StoreError> open(const std::filesystem::path& baseDirectory);
    // open() on the default base directory; directoryCreationFailed when there is none.
    static Expected<ArtworkStore, StoreError> openDefault();

    const std::filesystem::path& artworksDirectory() const { return artworksDirectory_; }
    std::filesystem::path catalogPath() const { return artworksDirectory_ / kCatalogFileName; }
    // In catalog order; new records are appended at the end and followed by saveCatalog().
    std::vector<ArtworkRecord>& records() { return records_; }
    const std::vector<ArtworkRecord>& records() const { return records_; }
    // True when a catalog existed at start but could not be read.
    bool catalogLoadFailed() const { return unreadableCatalog_; }

    // Writes every record to the catalog atomically. The first save after a failed load first
    // keeps a copy of the unreadable catalog beside it ("artworks.json.unreadable"), so that a
    // catalog that merely failed to parse is never lost.
    Expected<void, StoreError> saveCatalog();
    // Writes the image as a PNG file (atomically: never a half-written file); imageWriteFailed.
    Expected<void, StoreError> writeImage(const RgbaImage& image, const std::filesystem::path& path) const;
    // Sets (or, with nothing, clears) the custom name of the first record with this id and
    // saves. A failed save keeps the change in memory.
    Expected<ArtworkRecord, StoreError> updateCustomName(const Uuid& id, std::optional<std::string> name);
    // Removes the first record with this id and its image file (a missing file is fine) and
    // saves. A failed save keeps the record removed in memory.
    Expected<void, StoreError> deleteArtwork(const Uuid& id);

    const ArtworkRecord* record(const Uuid& id) const;
    // The record's image file: the artworks directory + imageFilePath, or nothing when
    // imageFilePath (read from disk) is not a plain file name of that directory: empty, ".",
    // "..", containing "/" or a NUL, or one of the catalog's own files. Such an image is
    // unavailable; nothing is ever read, written or removed for it.
    std::optional<std::filesystem::path> imagePath(const ArtworkRecord& record) const;
    // Decodes the record's image; the error says why it is unavailable.
    Expected<RgbaImage, std::string> loadImage(const ArtworkRecord& record) const;

private:
    explicit ArtworkStore(std::filesystem::path artworksDirectory) : artworksDirectory_(std::move(artworksDirectory)) {}
    void loadCatalog();
    Expected<void, StoreError> keepUnreadableCatalog();

    std::filesystem::path artworksDirectory_;
    std::vector<ArtworkRecord> records_;
    bool unreadableCatalog_ = false;
};

}  // namespace murmura
