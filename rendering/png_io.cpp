#include "rendering/png_io.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace murmura {
namespace {

// libpng reports errors by longjmp. The functions that call setjmp below hold no C++ objects
// with destructors, so jumping out of libpng never skips one.

struct IoState {
    std::vector<uint8_t>* out = nullptr;     // encoding target
    std::span<const uint8_t> in;             // decoding source
    size_t offset = 0;
    char message[256] = {};
};

void onError(png_structp png, png_const_charp message) {
    auto* state = static_cast<IoState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void onWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* state = static_cast<IoState*>(png_get_io_ptr(png));
    try {
        state->out->insert(state->out->end(), data, data + length);
    } catch (...) {
        png_error(png, "out of memory");
    }
}

void onFlush(png_structp) {}

void onRead(png_structp png, png_bytep data, png_size_t length) {
    auto* state = static_cast<IoState*>(png_get_io_ptr(png));
    if (state->in.size() - state->offset < length) png_error(png, "file is truncated");
    std::memcpy(data, state->in.data() + state->offset, length);
    state->offset += length;
}

bool hasTransparency(const RgbaImage& image) {
    const uint8_t* p = image.data();
    const size_t n = image.byteCount();
    for (size_t i = 3; i < n; i += 4)
        if (p[i] != 255) return true;
    return false;
}

void unpremultiplyRow(const uint8_t* src, uint8_t* dst, int64_t width) {
    for (int64_t x = 0; x < width; ++x, src += 4, dst += 4) {
        const unsigned a = src[3];
        dst[3] = static_cast<uint8_t>(a);
        for (int c = 0; c < 3; ++c) {
            unsigned v = a == 0 ? 0 : (src[c] * 255u + a / 2) / a;
            dst[c] = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
    }
}

void premultiplyRow(uint8_t* p, int64_t width) {
    for (int64_t x = 0; x < width; ++x, p += 4) {
        const unsigned a = p[3];
        if (a == 255) continue;
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((p[c] * a + 127) / 255);
    }
}

bool encodeRows(png_structp png, png_infop info, const RgbaImage& image, const PngOptions& options,
                uint8_t* scratch) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()), static_cast<png_uint_32>(image.height()), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (image.colorSpace() == ColorSpace::sRGB) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    const int level = options.compressionLevel < 0 ? 0 : options.compressionLevel > 9 ? 9 : options.compressionLevel;
    png_set_compression_level(png, level);
    // SUB suits smooth artwork and is the cheapest filter to choose.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, level == 0 ? PNG_FILTER_NONE : PNG_FILTER_SUB);
    png_write_info(png, info);
    for (int64_t y = 0; y < image.height(); ++y) {
        const uint8_t* row = image.row(y);
        if (scratch) {
            unpremultiplyRow(row, scratch, image.width());
            row = scratch;
        }
        png_write_row(png, const_cast<png_bytep>(row));
    }
    png_write_end(png, nullptr);
    return true;
}

struct Header {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    bool sRGB = false;
};

bool readHeader(png_structp png, png_infop info, Header* header) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_user_limits(png, static_cast<png_uint_32>(RgbaImage::kMaxSide), static_cast<png_uint_32>(RgbaImage::kMaxSide));
    png_read_info(png, info);
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    header->sRGB = png_get_valid(png, info, PNG_INFO_sRGB) != 0;
    const int colorType = png_get_color_type(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(header->width) * 4) png_error(png, "unsupported pixel format");
    return true;
}

bool readRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

}  // namespace

Expected<std::vector<uint8_t>, std::string> encodePng(const RgbaImage& image, const PngOptions& options) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> scratch;
    if (hasTransparency(image)) scratch.resize(image.stride());
    IoState state;
    state.out = &out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    if (!png) return unexpected(std::string("cannot create PNG encoder"));
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return unexpected(std::string("cannot create PNG encoder"));
    }
    png_set_write_fn(png, &state, onWrite, onFlush);
    const bool ok = encodeRows(png, info, image, options, scratch.empty() ? nullptr : scratch.data());
    png_destroy_write_struct(&png, &info);
    if (!ok) return unexpected(std::string("PNG encoding failed: ") + state.message);
    return out;
}

Expected<RgbaImage, std::string> decodePng(std::span<const uint8_t> bytes) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) return unexpected(std::string("not a PNG file"));
    IoState state;
    state.in = bytes;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    if (!png) return unexpected(std::string("cannot create PNG decoder"));
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return unexpected(std::string("cannot create PNG decoder"));
    }
    png_set_read_fn(png, &state, onRead);
    Header header;
    if (!readHeader(png, info, &header)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return unexpected(std::string("invalid PNG: ") + state.message);
    }
    auto image = RgbaImage::create(header.width, header.height, header.sRGB ? ColorSpace::sRGB : ColorSpace::deviceRGB);
    if (!image) {
        png_destroy_read_struct(&png, &info, nullptr);
        return unexpected(std::string("PNG image is too large"));
    }
    std::vector<png_bytep> rows(static_cast<size_t>(image->height()));
    for (int64_t y = 0; y < image->height(); ++y) rows[static_cast<size_t>(y)] = image->row(y);
    const bool ok = readRows(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) return unexpected(std::string("invalid PNG: ") + state.message);
    for (int64_t y = 0; y < image->height(); ++y) premultiplyRow(image->row(y), image->width());
    return std::move(*image);
}

Expected<void, std::string> writePngFile(const RgbaImage& image, const std::string& path, const PngOptions& options) {
    auto bytes = encodePng(image, options);
    if (!bytes) return unexpected(bytes.error());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return unexpected(std::string(std::strerror(errno)));
    const size_t written = std::fwrite(bytes->data(), 1, bytes->size(), file);
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (written != bytes->size()) return unexpected(std::string(std::strerror(writeErrno)));
    if (!closed) return unexpected(std::string(std::strerror(errno)));
    return {};
}

Expected<RgbaImage, std::string> readPngFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return unexpected(std::string(std::strerror(errno)));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return unexpected(std::string("read error"));
    return decodePng(bytes);
}

}  // namespace murmura
