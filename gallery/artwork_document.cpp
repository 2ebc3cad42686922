#include "gallery/artwork_document.h"

#include <ctime>

#include "rendering/png_io.h"
#include "support/atomic_file.h"

namespace murmura {

Expected<std::vector<uint8_t>, ArtworkDocument::WriteError> ArtworkDocument::fileContents() const {
    if (!image_) return unexpected(WriteError{"no image"});
    auto bytes = encodePng(*image_);
    if (!bytes) return unexpected(WriteError{bytes.error()});
    return std::move(bytes).value();
}

Expected<void, ArtworkDocument::WriteError> ArtworkDocument::write(const std::filesystem::path& path) const {
    auto contents = fileContents();
    if (!contents) return unexpected(contents.error());
    auto written = writeFileAtomically(path, *contents);
    if (!written) return unexpected(WriteError{written.error()});
    return {};
}

std::string detailDocumentName(const ArtworkRecord& record) {
    const std::time_t t = std::chrono::system_clock::to_time_t(record.creationDate);
    std::tm local{};
    localtime_r(&t, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    return "murmura-" + record.styleID + "-" + date;
}

}  // namespace murmura
