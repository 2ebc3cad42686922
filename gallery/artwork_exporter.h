#pragma once
// Writing an artwork to a file the user chose, as PNG or as a one-page PDF. Never touches the
// artwork store.
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rendering/rgba_image.h"
#include "support/expected.h"

namespace murmura {

class ArtworkExporter {
public:
    enum class ExportFormat { png, pdf };

    struct ExportError {
        enum class Code { noImage, destinationCreationFailed, writeFailed, pdfContextCreationFailed };
        Code code = Code::writeFailed;
        std::string detail;  // the system's reason, where there is one (not part of the message)
        std::string message() const;
    };

    // "png" or "pdf".
    static std::string_view extension(ExportFormat format);
    static std::optional<ExportFormat> formatNamed(std::string_view name);

    // "murmura-" + the local date and time as yyyy-MM-dd-HHmmss + "." + extension, e.g.
    // murmura-2026-12-05-092442.png.
    static std::string defaultFilename(ExportFormat format,
                                       std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

    // png: the image's PNG file. pdf: one page whose box is (0, 0, width, height) in points,
    // one pixel per point, the image filling it exactly. The file is written in place (it may
    // be a device or a pipe); after a failed write it is removed.
    static Expected<void, ExportError> exportImage(const RgbaImage& image, const std::filesystem::path& path,
                                                   ExportFormat format);
    // The bytes exportImage writes, for callers that place the file themselves (atomically).
    static Expected<std::vector<uint8_t>, ExportError> encode(const RgbaImage& image, ExportFormat format);
};

}  // namespace murmura
