#include "gallery/artwork_exporter.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <ctime>
#include <new>
#include <span>
#include <vector>

#include "rendering/png_io.h"
#include "support/atomic_file.h"

namespace murmura {

namespace {

using ExportError = ArtworkExporter::ExportError;

ExportError exportError(ExportError::Code code, std::string detail = {}) { return ExportError{code, std::move(detail)}; }

// notCreated: the error when the file cannot even be created or opened.
Expected<void, ExportError> writeExport(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                                        ExportError::Code notCreated) {
    auto written = writeOutputFile(path, bytes);
    if (!written)
        return unexpected(exportError(written.error().created ? ExportError::Code::writeFailed : notCreated,
                                      written.error().message));
    return {};
}

// The artwork as a Cairo image surface (premultiplied native-endian ARGB32, or RGB24 when
// opaque so that the PDF carries no soft mask).
cairo_surface_t* cairoImage(const RgbaImage& image) {
    bool opaque = true;
    for (size_t i = 3; i < image.byteCount() && opaque; i += 4) opaque = image.data()[i] == 255;
    cairo_surface_t* surface = cairo_image_surface_create(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32,
                                                          static_cast<int>(image.width()),
                                                          static_cast<int>(image.height()));
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return surface;
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int64_t y = 0; y < image.height(); ++y) {
        const uint8_t* src = image.row(y);
        auto* dst = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int64_t x = 0; x < image.width(); ++x, src += 4)
            dst[x] = uint32_t(src[3]) << 24 | uint32_t(src[0]) << 16 | uint32_t(src[1]) << 8 | src[2];
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

cairo_status_t appendToBuffer(void* closure, const unsigned char* data, unsigned int length) {
    auto* buffer = static_cast<std::vector<uint8_t>*>(closure);
    try {
        buffer->insert(buffer->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        return CAIRO_STATUS_NO_MEMORY;
    }
    return CAIRO_STATUS_SUCCESS;
}

// The document is made in memory and then written like a PNG: Cairo's own file output does
// not report every failed write or close, and a failure must never leave a broken file.
Expected<std::vector<uint8_t>, ExportError> encodePdf(const RgbaImage& image) {
    const double width = static_cast<double>(image.width());
    const double height = static_cast<double>(image.height());
    std::vector<uint8_t> document;
    cairo_surface_t* pdf = cairo_pdf_surface_create_for_stream(appendToBuffer, &document, width, height);
    if (cairo_surface_status(pdf) != CAIRO_STATUS_SUCCESS) {
        const std::string reason = cairo_status_to_string(cairo_surface_status(pdf));
        cairo_surface_destroy(pdf);
        return unexpected(exportError(ExportError::Code::pdfContextCreationFailed, reason));
    }
    cairo_surface_t* source = cairoImage(image);
    cairo_t* cr = cairo_create(pdf);
    // One pixel per point from the origin: the image covers the page box exactly, once.
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_NONE);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_fill(cr);
    cairo_show_page(cr);
    cairo_status_t status = cairo_status(cr);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(source);
    cairo_destroy(cr);
    cairo_surface_destroy(source);
    cairo_surface_finish(pdf);  // writes the rest of the document into the buffer
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(pdf);
    cairo_surface_destroy(pdf);
    if (status != CAIRO_STATUS_SUCCESS)
        return unexpected(exportError(ExportError::Code::writeFailed, cairo_status_to_string(status)));
    return document;
}

}  // namespace

std::string ArtworkExporter::ExportError::message() const {
    switch (code) {
        case Code::noImage: return "No image to export";
        case Code::destinationCreationFailed: return "Failed to create export destination";
        case Code::writeFailed: return "Failed to write file";
        case Code::pdfContextCreationFailed: return "Failed to create PDF context";
    }
    return "Failed to write file";
}

std::string_view ArtworkExporter::extension(ExportFormat format) { return format == ExportFormat::pdf ? "pdf" : "png"; }

std::optional<ArtworkExporter::ExportFormat> ArtworkExporter::formatNamed(std::string_view name) {
    if (name == "png") return ExportFormat::png;
    if (name == "pdf") return ExportFormat::pdf;
    return std::nullopt;
}

std::string ArtworkExporter::defaultFilename(ExportFormat format, std::chrono::system_clock::time_point now) {
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    return "murmura-" + std::string(stamp) + "." + std::string(extension(format));
}

Expected<void, ArtworkExporter::ExportError> ArtworkExporter::exportImage(const RgbaImage& image,
                                                                          const std::filesystem::path& path,
                                                                          ExportFormat format) {
    auto bytes = encode(image, format);
    if (!bytes) return unexpected(bytes.error());
    return writeExport(path, *bytes,
                       format == ExportFormat::pdf ? ExportError::Code::pdfContextCreationFailed
                                                   : ExportError::Code::destinationCreationFailed);
}

Expected<std::vector<uint8_t>, ArtworkExporter::ExportError> ArtworkExporter::encode(const RgbaImage& image,
                                                                                    ExportFormat format) {
    if (format == ExportFormat::pdf) return encodePdf(image);
    auto bytes = encodePng(image);
    if (!bytes) return unexpected(exportError(ExportError::Code::writeFailed, bytes.error()));
    return std::move(bytes).value();
}

}  // namespace murmura
