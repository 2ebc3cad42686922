#include "rendering/png_io.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include <tbb/enumerable_thread_specific.h>

#include "rendering/png_deflate.h"
#include "support/input_file.h"
#include "support/parallel.h"

namespace murmura {
namespace {

// libpng reports errors by longjmp. The functions that call setjmp below hold no C++ objects
// with destructors, so jumping out of libpng never skips one.

struct IoState {
    std::span<const uint8_t> in;  // decoding source
    size_t offset = 0;
    char message[256] = {};
};

void onError(png_structp png, png_const_charp message) {
    auto* state = static_cast<IoState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void onRead(png_structp png, png_bytep data, png_size_t length) {
    auto* state = static_cast<IoState*>(png_get_io_ptr(png));
    if (state->in.size() - state->offset < length) png_error(png, "file is truncated");
    std::memcpy(data, state->in.data() + state->offset, length);
    state->offset += length;
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

// ---- Encoder -------------------------------------------------------------------------------
// Artworks are written on the path between the end of a session and the completion screen, so
// the encoder deflates fixed bands of rows in parallel. Each band is an independent raw deflate
// stream ended by a sync flush (byte aligned, not final); their concatenation is one valid zlib
// stream whose Adler-32 is combined from the bands'. Band boundaries depend only on the image
// width, so the bytes never depend on the number of cores. Every band becomes one IDAT chunk.
//
// Rows are filtered with the per-row heuristic PNG encoders commonly use (the filter with the
// smallest sum of absolute signed residuals) and compressed as zlib's run-length strategy
// would (rendering/png_deflate.h), several times faster than zlib itself: on filtered artwork
// that matches level-1 deflate in size, and on flat graphics it is far smaller.

constexpr size_t kBytesPerPixel = 4;
constexpr size_t kBandBytes = size_t(1) << 20;  // filtered bytes per band, rounded to whole rows
constexpr uint8_t kZlibHeader[2] = {0x78, 0x01};  // deflate, 32 KiB window, fastest (0x7801 % 31 == 0)

void putBigEndian32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

void appendBigEndian32(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t b[4];
    putBigEndian32(b, v);
    out.insert(out.end(), b, b + 4);
}

void appendChunk(std::vector<uint8_t>& out, const char type[4], std::span<const uint8_t> data) {
    appendBigEndian32(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0, out.data() + typeAt, static_cast<uInt>(4 + data.size()));
    appendBigEndian32(out, static_cast<uint32_t>(crc));
}

inline uint32_t magnitude(uint8_t residual) { return residual < 128 ? residual : 256u - residual; }

// The five PNG filters of one row into out[1..n] (out[0] = filter type); returns the sum of
// absolute signed residuals. prev is the unfiltered previous row (zeros for the first row).
uint32_t filterNone(const uint8_t* cur, const uint8_t*, uint8_t* out, size_t n) {
    out[0] = 0;
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        out[1 + i] = cur[i];
        sum += magnitude(cur[i]);
    }
    return sum;
}

uint32_t filterSub(const uint8_t* cur, const uint8_t*, uint8_t* out, size_t n) {
    out[0] = 1;
    uint32_t sum = 0;
    for (size_t i = 0; i < kBytesPerPixel; ++i) {
        out[1 + i] = cur[i];
        sum += magnitude(cur[i]);
    }
    for (size_t i = kBytesPerPixel; i < n; ++i) {
        const uint8_t v = static_cast<uint8_t>(cur[i] - cur[i - kBytesPerPixel]);
        out[1 + i] = v;
        sum += magnitude(v);
    }
    return sum;
}

uint32_t filterUp(const uint8_t* cur, const uint8_t* prev, uint8_t* out, size_t n) {
    out[0] = 2;
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t v = static_cast<uint8_t>(cur[i] - prev[i]);
        out[1 + i] = v;
        sum += magnitude(v);
    }
    return sum;
}

uint32_t filterAverage(const uint8_t* cur, const uint8_t* prev, uint8_t* out, size_t n) {
    out[0] = 3;
    uint32_t sum = 0;
    for (size_t i = 0; i < kBytesPerPixel; ++i) {
        const uint8_t v = static_cast<uint8_t>(cur[i] - (prev[i] >> 1));
        out[1 + i] = v;
        sum += magnitude(v);
    }
    for (size_t i = kBytesPerPixel; i < n; ++i) {
        const uint8_t v = static_cast<uint8_t>(cur[i] - ((unsigned(cur[i - kBytesPerPixel]) + prev[i]) >> 1));
        out[1 + i] = v;
        sum += magnitude(v);
    }
    return sum;
}

// In 16-bit arithmetic (every term fits), which lets the vectoriser use twice the lanes.
inline int16_t abs16(int16_t v) { return static_cast<int16_t>(v < 0 ? -v : v); }
inline uint8_t paethPredictor(int16_t a, int16_t b, int16_t c) {
    const auto p = static_cast<int16_t>(b - c), q = static_cast<int16_t>(a - c);
    const int16_t pa = abs16(p), pb = abs16(q), pc = abs16(static_cast<int16_t>(p + q));
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

uint32_t filterPaeth(const uint8_t* cur, const uint8_t* prev, uint8_t* out, size_t n) {
    out[0] = 4;
    uint32_t sum = 0;
    for (size_t i = 0; i < kBytesPerPixel; ++i) {
        const uint8_t v = static_cast<uint8_t>(cur[i] - prev[i]);  // the predictor of the first pixel is "up"
        out[1 + i] = v;
        sum += magnitude(v);
    }
    for (size_t i = kBytesPerPixel; i < n; ++i) {
        const uint8_t v = static_cast<uint8_t>(
            cur[i] - paethPredictor(cur[i - kBytesPerPixel], prev[i], prev[i - kBytesPerPixel]));
        out[1 + i] = v;
        sum += magnitude(v);
    }
    return sum;
}

bool rowIsOpaque(const uint8_t* row, int64_t width) {
    unsigned all = 255;
    for (int64_t x = 0; x < width; ++x) all &= row[4 * x + 3];
    return all == 255;
}

// One band of rows compressed: its IDAT payload so far, the CRC of "IDAT" + payload, and the
// Adler-32 and length of the filtered bytes.
struct EncodedBand {
    std::vector<uint8_t> payload;
    uLong crc = 0;
    uLong adler = 1;
    size_t filteredLength = 0;
    bool ok = false;
};

// Straight-alpha form of row y: the row itself when opaque, else unpremultiplied into scratch.
const uint8_t* straightRow(const RgbaImage& image, int64_t y, uint8_t* scratch) {
    const uint8_t* row = image.row(y);
    if (rowIsOpaque(row, image.width())) return row;
    unpremultiplyRow(row, scratch, image.width());
    return scratch;
}

// What a thread reuses from band to band: fresh memory costs its first touch (a page fault and
// the kernel's zeroing), which for megabytes per band would cost as much as the filtering.
struct BandScratch {
    std::vector<uint8_t> rows, raw, deflated;
    std::vector<uint16_t> tokens;
};

void encodeBand(const RgbaImage& image, int64_t y0, int64_t y1, bool first, bool last, EncodedBand& band,
                BandScratch& work) {
    const size_t n = image.stride();
    using Filter = uint32_t (*)(const uint8_t*, const uint8_t*, uint8_t*, size_t);
    static constexpr Filter kFilters[5] = {filterNone, filterSub, filterUp, filterAverage, filterPaeth};
    // Rows: two straight-alpha scratch rows, a zero row above the image, five filtered rows;
    // then the band's chosen filtered rows, deflated at once.
    work.rows.resize(3 * n + 5 * (n + 1));
    uint8_t* scratch[2] = {work.rows.data(), work.rows.data() + n};
    uint8_t* zeros = work.rows.data() + 2 * n;
    std::fill_n(zeros, n, uint8_t(0));
    uint8_t* filtered = work.rows.data() + 3 * n;
    const size_t rawBytes = static_cast<size_t>(y1 - y0) * (n + 1);
    std::vector<uint8_t>& raw = work.raw;
    raw.resize(rawBytes);

    const uint8_t* prev = y0 == 0 ? zeros : straightRow(image, y0 - 1, scratch[1]);
    for (int64_t y = y0; y < y1; ++y) {
        uint8_t* own = scratch[(y - y0) & 1];
        const uint8_t* cur = straightRow(image, y, own);
        const uint8_t* best = nullptr;
        uint32_t bestSum = 0;
        for (int f = 0; f < 5; ++f) {
            uint8_t* out = filtered + static_cast<size_t>(f) * (n + 1);
            const uint32_t sum = kFilters[f](cur, prev, out, n);
            if (!best || sum < bestSum) {
                best = out;
                bestSum = sum;
            }
        }
        std::memcpy(raw.data() + static_cast<size_t>(y - y0) * (n + 1), best, n + 1);
        prev = cur;
    }
    band.adler = adler32_z(1, raw.data(), raw.size());
    std::vector<uint8_t>& deflated = work.deflated;
    deflated.assign({'I', 'D', 'A', 'T'});
    if (first) deflated.insert(deflated.end(), kZlibHeader, kZlibHeader + 2);
    deflateRuns(raw, last, deflated, work.tokens);
    // The band keeps its bytes only (plus room for the stream's trailer).
    band.payload.reserve(deflated.size() + 4);
    band.payload.assign(deflated.begin(), deflated.end());
    band.crc = crc32_z(0, band.payload.data(), band.payload.size());
    band.filteredLength = rawBytes;
    band.ok = true;
}

}  // namespace

Expected<std::vector<uint8_t>, std::string> encodePng(const RgbaImage& image) {
    try {
        const size_t n = image.stride();
        const int64_t bandRows = std::max<int64_t>(1, static_cast<int64_t>(kBandBytes / (n + 1)));
        const int64_t bandCount = (image.height() + bandRows - 1) / bandRows;
        std::vector<EncodedBand> bands(static_cast<size_t>(bandCount));
        tbb::enumerable_thread_specific<BandScratch> scratch;
        parallelFor(0, bandCount, 1, [&](int64_t b0, int64_t b1) {
            BandScratch& work = scratch.local();
            for (int64_t b = b0; b < b1; ++b) {
                try {
                    encodeBand(image, b * bandRows, std::min(image.height(), (b + 1) * bandRows), b == 0,
                               b == bandCount - 1, bands[static_cast<size_t>(b)], work);
                } catch (const std::bad_alloc&) {
                    bands[static_cast<size_t>(b)].ok = false;
                }
            }
        });

        uLong adler = 1;
        size_t total = 8 + 25 + (image.colorSpace() == ColorSpace::sRGB ? 13 : 0) + 12;
        for (const EncodedBand& band : bands) {
            if (!band.ok) return unexpected(std::string("PNG encoding failed: out of memory"));
            adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.filteredLength));
            total += band.payload.size() + 8;
        }
        // The stream's Adler-32 closes the last IDAT chunk.
        EncodedBand& lastBand = bands.back();
        uint8_t trailer[4];
        putBigEndian32(trailer, static_cast<uint32_t>(adler));
        lastBand.payload.insert(lastBand.payload.end(), trailer, trailer + 4);
        lastBand.crc = crc32(lastBand.crc, trailer, 4);

        std::vector<uint8_t> out;
        out.reserve(total + 4);
        static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        out.insert(out.end(), kSignature, kSignature + 8);
        uint8_t ihdr[13];
        putBigEndian32(ihdr, static_cast<uint32_t>(image.width()));
        putBigEndian32(ihdr + 4, static_cast<uint32_t>(image.height()));
        ihdr[8] = 8;   // bit depth
        ihdr[9] = 6;   // RGBA
        ihdr[10] = 0;  // deflate
        ihdr[11] = 0;  // adaptive filtering
        ihdr[12] = 0;  // not interlaced
        appendChunk(out, "IHDR", ihdr);
        if (image.colorSpace() == ColorSpace::sRGB) {
            const uint8_t intent = 0;  // perceptual
            appendChunk(out, "sRGB", std::span<const uint8_t>(&intent, 1));
        }
        for (const EncodedBand& band : bands) {
            // payload = "IDAT" + data; the length field counts the data only.
            appendBigEndian32(out, static_cast<uint32_t>(band.payload.size() - 4));
            out.insert(out.end(), band.payload.begin(), band.payload.end());
            appendBigEndian32(out, static_cast<uint32_t>(band.crc));
        }
        appendChunk(out, "IEND", {});
        return out;
    } catch (const std::bad_alloc&) {
        return unexpected(std::string("PNG encoding failed: out of memory"));
    }
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

Expected<void, std::string> writePngFile(const RgbaImage& image, const std::string& path) {
    auto bytes = encodePng(image);
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
    auto bytes = readRegularFile(path, kMaxPngFileBytes);
    if (!bytes) return unexpected(bytes.error());
    return decodePng(*bytes);
}

}  // namespace murmura
