#pragma once
// The document a save panel writes: the PNG bytes of an artwork. Documents are only ever
// written; the one readable and written content type is PNG.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gallery/artwork_record.h"
#include "rendering/rgba_image.h"
#include "support/expected.h"

namespace murmura {

class ArtworkDocument {
public:
    static constexpr std::string_view kContentType = "image/png";

    // The save panel's generic failure.
    struct WriteError {
        std::string detail;  // the cause, for logs (not part of the message)
        std::string message() const { return "The file could not be saved."; }
    };

    explicit ArtworkDocument(std::optional<RgbaImage> image = std::nullopt) : image_(std::move(image)) {}
    const std::optional<RgbaImage>& image() const { return image_; }

    // The file's contents: the image as PNG. Fails without an image.
    Expected<std::vector<uint8_t>, WriteError> fileContents() const;
    // Writes the contents to the chosen file, replacing it atomically; without an image it
    // fails and no file is created.
    Expected<void, WriteError> write(const std::filesystem::path& path) const;

private:
    std::optional<RgbaImage> image_;
};

// The name the completion screen proposes (the save panel adds ".png").
inline constexpr std::string_view kCompletionDocumentName = "murmura-artwork";
// The name the detail screen proposes: "murmura-" + styleID + "-" + the creation date as
// yyyy-MM-dd in the local time zone, e.g. murmura-ink-water-2026-12-05.
std::string detailDocumentName(const ArtworkRecord& record);

}  // namespace murmura
