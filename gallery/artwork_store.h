#pragma once
// The artworks on disk: one PNG file per artwork and the catalog "artworks.json", both in
// <base>/Murmura/Artworks. Every change rewrites the whole catalog atomically while holding an
// exclusive lock on it, after reading it again under that lock: the application and any number
// of murmura-cli processes may change one gallery at once without losing each other's changes.
// One store object is used from one thread.
#include <filesystem>
#include <functional>
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
    // The lock file beside the catalog; its name starts with the catalog's, so that no record
    // can name it as its image.
    static constexpr const char* kLockFileName = "artworks.json.lock";
    // Largest catalog read: some hundred thousand artworks.
    static constexpr uint64_t kMaxCatalogBytes = uint64_t(256) << 20;

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
    // In catalog order, as of the last load or change by this store.
    std::vector<ArtworkRecord>& records() { return records_; }
    const std::vector<ArtworkRecord>& records() const { return records_; }
    // True when a catalog existed at start but could not be read.
    bool catalogLoadFailed() const { return unreadableCatalog_; }

    // Reads the catalog again (changes made by other processes appear).
    void reload() { loadCatalog(); }
    // Writes the in-memory records to the catalog atomically, under the lock, replacing what
    // other processes may have written since the last load; the operations below merge instead.
    // A save that finds the catalog unreadable first keeps a copy of it beside it
    // ("artworks.json.unreadable"), so that a catalog that merely failed to parse is never lost.
    Expected<void, StoreError> saveCatalog();
    // Under the lock: reloads the catalog, lets change edit the records, saves them. The
    // in-memory records become the edited list, also when the save fails; an error from change
    // saves nothing.
    using CatalogChange = std::function<Expected<void, StoreError>(std::vector<ArtworkRecord>&)>;
    // A catalog that exists but cannot be read fails a change that needs the records on disk
    // (rename, delete) and leaves what is held in memory; adding may start over (the unreadable
    // file is kept aside on the write). A catalog removed by hand is rewritten from memory.
    Expected<void, StoreError> changeCatalog(const CatalogChange& change, bool startOverIfUnreadable = false);
    // Appends a record (its image already written) through changeCatalog.
    Expected<void, StoreError> addArtwork(const ArtworkRecord& record);
    // Writes the image as a PNG file (atomically: never a half-written file); imageWriteFailed.
    Expected<void, StoreError> writeImage(const RgbaImage& image, const std::filesystem::path& path) const;
    // Sets (or, with nothing, clears) the custom name of the first record with this id and
    // saves. A failed save keeps the change in memory.
    Expected<ArtworkRecord, StoreError> updateCustomName(const Uuid& id, std::optional<std::string> name);
    // Removes the first record with this id and saves, then removes its image file (a missing
    // file is fine; a file another record names stays). After a failed save the image stays on
    // disk, named by the catalog there; the record stays removed in memory.
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
    Expected<void, StoreError> writeCatalog();

    std::filesystem::path artworksDirectory_;
    std::vector<ArtworkRecord> records_;
    bool unreadableCatalog_ = false;
};

}  // namespace murmura
