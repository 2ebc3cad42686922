#include "gallery/artwork_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <span>
#include <system_error>
#include <utility>

#include "rendering/png_io.h"
#include "support/atomic_file.h"
#include "support/diagnostics.h"
#include "support/json.h"

namespace murmura {

namespace fs = std::filesystem;

std::string ArtworkStore::StoreError::message() const {
    switch (code) {
        case Code::artworkNotFound: return "Artwork " + id.toString() + " not found";
        case Code::directoryCreationFailed: return "Failed to create artwork storage directory";
        case Code::imageWriteFailed: return "Failed to write artwork image";
        case Code::catalogWriteFailed: return "Failed to save artwork catalog";
        case Code::underlying: return detail;
    }
    return detail;
}

std::optional<fs::path> ArtworkStore::baseDirectoryFor(const std::optional<std::string>& xdg,
                                                       const std::optional<std::string>& home) {
    // XDG: a relative XDG_DATA_HOME is invalid and ignored.
    if (xdg && !xdg->empty() && (*xdg)[0] == '/') return fs::path(*xdg);
    if (home && !home->empty()) return fs::path(*home) / ".local" / "share";
    return std::nullopt;
}

std::optional<fs::path> ArtworkStore::defaultBaseDirectory() {
    auto variable = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    return baseDirectoryFor(variable("XDG_DATA_HOME"), variable("HOME"));
}

Expected<ArtworkStore, ArtworkStore::StoreError> ArtworkStore::openDefault() {
    const auto base = defaultBaseDirectory();
    if (!base) return unexpected(StoreError{StoreError::Code::directoryCreationFailed, {}, "no home directory"});
    return open(*base);
}

Expected<ArtworkStore, ArtworkStore::StoreError> ArtworkStore::open(const fs::path& baseDirectory) {
    std::error_code ec;
    fs::path base = fs::absolute(baseDirectory, ec);
    if (ec) base = baseDirectory;
    ArtworkStore store(base / "Murmura" / "Artworks");
    fs::create_directories(store.artworksDirectory_, ec);
    if (!ec && !fs::is_directory(store.artworksDirectory_, ec)) ec = std::make_error_code(std::errc::not_a_directory);
    if (ec)
        return unexpected(StoreError::underlying("Cannot create directory " + store.artworksDirectory_.string() + ": " +
                                                 ec.message()));
    store.loadCatalog();
    return store;
}

void ArtworkStore::loadCatalog() {
    records_.clear();
    unreadableCatalog_ = false;
    const fs::path path = catalogPath();
    std::error_code ec;
    if (!fs::exists(path, ec) && !ec) return;
    auto parsed = readJsonFile(path, kMaxCatalogBytes);
    Expected<std::vector<ArtworkRecord>, std::string> decoded =
        parsed ? decodeCatalog(*parsed) : Expected<std::vector<ArtworkRecord>, std::string>(unexpected(parsed.error()));
    if (!decoded) {
        diagnostic("Failed to load artwork catalog: " + path.string() + ": " + decoded.error());
        unreadableCatalog_ = true;
        return;
    }
    records_ = std::move(decoded).value();
}

Expected<void, ArtworkStore::StoreError> ArtworkStore::keepUnreadableCatalog() {
    const fs::path catalog = catalogPath();
    std::error_code ec;
    if (!fs::exists(catalog, ec)) return {};
    for (int n = 1; n <= 1000; ++n) {
        fs::path copy = catalog;
        copy += n == 1 ? std::string(".unreadable") : ".unreadable-" + std::to_string(n);
        if (fs::exists(copy, ec)) continue;
        if (!fs::copy_file(catalog, copy, ec))
            return unexpected(StoreError::underlying("Cannot keep the unreadable catalog as " + copy.string() + ": " +
                                                     ec.message()));
        diagnostic("Kept the unreadable artwork catalog as " + copy.string());
        return {};
    }
    return unexpected(StoreError::underlying("Cannot keep the unreadable catalog " + catalog.string() +
                                             ": too many earlier copies"));
}

namespace {

// An exclusive advisory lock on the catalog while alive (flock on the lock file: released by
// the system when the process dies, so a crash never leaves the gallery locked).
class CatalogLock {
public:
    static Expected<CatalogLock, ArtworkStore::StoreError> acquire(const fs::path& file) {
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) return unexpected(failure(file, errno));
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return unexpected(failure(file, error));
        }
        return CatalogLock(fd);
    }
    CatalogLock(CatalogLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    CatalogLock& operator=(CatalogLock&&) = delete;
    ~CatalogLock() {
        if (fd_ >= 0) ::close(fd_);  // closing the only descriptor releases the lock
    }

private:
    explicit CatalogLock(int fd) : fd_(fd) {}
    static ArtworkStore::StoreError failure(const fs::path& file, int error) {
        return ArtworkStore::StoreError::underlying("Cannot lock the artwork catalog " + file.string() + ": " +
                                                    std::strerror(error));
    }
    int fd_;
};

}  // namespace

Expected<void, ArtworkStore::StoreError> ArtworkStore::writeCatalog() {
    auto text = encodeCatalog(records_);
    if (!text) return unexpected(StoreError::underlying("Cannot encode the artwork catalog: " + text.error()));
    if (unreadableCatalog_) {
        if (auto kept = keepUnreadableCatalog(); !kept) return kept;
        unreadableCatalog_ = false;
    }
    const auto bytes = std::as_bytes(std::span(text->data(), text->size()));
    auto written = writeFileAtomically(
        catalogPath(), std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    if (!written) return unexpected(StoreError::underlying(written.error()));
    return {};
}

Expected<void, ArtworkStore::StoreError> ArtworkStore::saveCatalog() {
    auto lock = CatalogLock::acquire(artworksDirectory_ / kLockFileName);
    if (!lock) return unexpected(lock.error());
    return writeCatalog();
}

Expected<void, ArtworkStore::StoreError> ArtworkStore::changeCatalog(const CatalogChange& change,
                                                                     bool startOverIfUnreadable) {
    auto lock = CatalogLock::acquire(artworksDirectory_ / kLockFileName);
    if (!lock) return unexpected(lock.error());
    std::error_code ec;
    if (fs::exists(catalogPath(), ec) || ec) {
        std::vector<ArtworkRecord> held = std::move(records_);
        loadCatalog();
        if (unreadableCatalog_ && !startOverIfUnreadable) {
            records_ = std::move(held);
            return unexpected(StoreError::underlying("Cannot read the artwork catalog " + catalogPath().string()));
        }
    }
    if (auto changed = change(records_); !changed) return changed;
    return writeCatalog();
}

Expected<void, ArtworkStore::StoreError> ArtworkStore::addArtwork(const ArtworkRecord& record) {
    return changeCatalog(
        [&](std::vector<ArtworkRecord>& records) -> Expected<void, StoreError> {
            records.push_back(record);
            return {};
        },
        true);
}

Expected<void, ArtworkStore::StoreError> ArtworkStore::writeImage(const RgbaImage& image, const fs::path& path) const {
    auto bytes = encodePng(image);
    if (!bytes) return unexpected(StoreError{StoreError::Code::imageWriteFailed, {}, bytes.error()});
    auto written = writeFileAtomically(path, *bytes);
    if (!written) return unexpected(StoreError{StoreError::Code::imageWriteFailed, {}, written.error()});
    return {};
}

Expected<ArtworkRecord, ArtworkStore::StoreError> ArtworkStore::updateCustomName(const Uuid& id,
                                                                                 std::optional<std::string> name) {
    ArtworkRecord updated;
    auto changed = changeCatalog([&](std::vector<ArtworkRecord>& records) -> Expected<void, StoreError> {
        for (ArtworkRecord& r : records) {
            if (r.id != id) continue;
            r.customName = std::move(name);
            updated = r;
            return {};
        }
        return unexpected(StoreError::artworkNotFound(id));
    });
    if (!changed) return unexpected(changed.error());
    return updated;
}

Expected<void, ArtworkStore::StoreError> ArtworkStore::deleteArtwork(const Uuid& id) {
    std::optional<fs::path> image;
    auto changed = changeCatalog([&](std::vector<ArtworkRecord>& records) -> Expected<void, StoreError> {
        auto it = std::find_if(records.begin(), records.end(), [&](const ArtworkRecord& r) { return r.id == id; });
        if (it == records.end()) return unexpected(StoreError::artworkNotFound(id));
        // A file another record still names stays: deleting one entry never takes another's image.
        const bool shared = std::any_of(records.begin(), records.end(), [&](const ArtworkRecord& r) {
            return &r != &*it && r.imageFilePath == it->imageFilePath;
        });
        if (!shared) image = imagePath(*it);
        records.erase(it);
        return {};
    });
    if (!changed) return changed;
    // Only once no record names it: a failed save never leaves a record without its image.
    if (image) {
        std::error_code ignored;  // already gone, or not removable: the record is gone regardless
        fs::remove(*image, ignored);
    }
    return {};
}

const ArtworkRecord* ArtworkStore::record(const Uuid& id) const {
    for (const ArtworkRecord& r : records_)
        if (r.id == id) return &r;
    return nullptr;
}

std::optional<fs::path> ArtworkStore::imagePath(const ArtworkRecord& record) const {
    const std::string& name = record.imageFilePath;
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return std::nullopt;
    // The catalog, its temporary files and kept copies all start with the catalog's name.
    if (name.rfind(kCatalogFileName, 0) == 0) return std::nullopt;
    return artworksDirectory_ / name;
}

Expected<RgbaImage, std::string> ArtworkStore::loadImage(const ArtworkRecord& record) const {
    const auto path = imagePath(record);
    if (!path)
        return unexpected("image file name \"" + record.imageFilePath.substr(0, 200) +
                          "\" is not a file name in the artworks directory");
    auto image = readPngFile(path->string());
    if (!image) return unexpected(path->string() + ": " + image.error());
    return std::move(image).value();
}

}  // namespace murmura
