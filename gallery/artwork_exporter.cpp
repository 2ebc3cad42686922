#include "gallery/artwork_exporter.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "rendering/png_io.h"

namespace murmura {

namespace {

using ExportError = ArtworkExporter::ExportError;

ExportError exportError(ExportError::Code code, std::string detail = {}) { return ExportError{code, std::move(detail)}; }

Expected<void, ExportError> exportPng(const RgbaImage& image, const std::filesystem::path& path) {
    auto bytes = encodePng(image);
    if (!bytes) return unexpected(exportError(ExportError::Code::writeFailed, bytes.error()));
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return unexpected(exportError(ExportError::Code::destinationCreationFailed, std::strerror(errno)));
    const size_t written = std::fwrite(bytes->data(), 1, bytes->size(), file);
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (written != bytes->size() || !closed) {
        const int error = written != bytes->size() ? writeError : errno;
        std::error_code ignored;
        if (std::filesystem::is_regular_file(path, ignored)) std::filesystem::remove(path, ignored);
        return unexpected(exportError(ExportError::Code::writeFailed, std::strerror(error)));
    }
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

// Draws the one page onto a PDF surface and finishes it; the surface is destroyed.
Expected<void, ExportError> drawPdf(cairo_surface_t* pdf, const RgbaImage& image) {
    if (cairo_surface_status(pdf) != CAIRO_STATUS_SUCCESS) {
        const std::string reason = cairo_status_to_string(cairo_surface_status(pdf));
        cairo_surface_destroy(pdf);
        return unexpected(exportError(ExportError::Code::pdfContextCreationFailed, reason));
    }
    const double width = static_cast<double>(image.width());
    const double height = static_cast<double>(image.height());
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
    cairo_surface_finish(pdf);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(pdf);
    cairo_surface_destroy(pdf);
    if (status != CAIRO_STATUS_SUCCESS)
        return unexpected(exportError(ExportError::Code::writeFailed, cairo_status_to_string(status)));
    return {};
}

Expected<void, ExportError> exportPdf(const RgbaImage& image, const std::filesystem::path& path) {
    const double width = static_cast<double>(image.width());
    const double height = static_cast<double>(image.height());
    auto drawn = drawPdf(cairo_pdf_surface_create(path.c_str(), width, height), image);
    if (!drawn && drawn.error().code == ExportError::Code::writeFailed) {
        std::error_code ignored;
        if (std::filesystem::is_regular_file(path, ignored)) std::filesystem::remove(path, ignored);
    }
    return drawn;
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(closure);
    bytes->insert(bytes->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
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
    return format == ExportFormat::pdf ? exportPdf(image, path) : exportPng(image, path);
}

Expected<std::vector<uint8_t>, ArtworkExporter::ExportError> ArtworkExporter::encode(const RgbaImage& image,
                                                                                    ExportFormat format) {
    if (format == ExportFormat::png) {
        auto bytes = encodePng(image);
        if (!bytes) return unexpected(exportError(ExportError::Code::writeFailed, bytes.error()));
        return std::move(bytes).value();
    }
    std::vector<uint8_t> bytes;
    auto drawn = drawPdf(cairo_pdf_surface_create_for_stream(appendBytes, &bytes, static_cast<double>(image.width()),
                                                             static_cast<double>(image.height())),
                         image);
    if (!drawn) return unexpected(drawn.error());
    return bytes;
}

}  // namespace murmura
