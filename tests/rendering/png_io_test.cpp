#include "rendering/png_io.h"

#include <gtest/gtest.h>

#include <tbb/global_control.h>
#include <zlib.h>

#include <set>

#include "../test_files.h"
#include "support/random.h"

using namespace murmura;

namespace {
RgbaImage gradient(int64_t w, int64_t h, ColorSpace cs, bool opaque) {
    auto image = RgbaImage::create(w, h, cs);
    for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x) {
            uint8_t* p = image->pixel(x, y);
            const uint8_t a = opaque ? 255 : static_cast<uint8_t>((x * 37 + y * 11) % 256);
            // Premultiplied: colour never exceeds alpha.
            p[0] = static_cast<uint8_t>(a * ((x * 7) % 256) / 255);
            p[1] = static_cast<uint8_t>(a * ((y * 13) % 256) / 255);
            p[2] = static_cast<uint8_t>(a * ((x + y) % 256) / 255);
            p[3] = a;
        }
    return std::move(*image);
}
}  // namespace

TEST(RgbaImage, RejectsImpossibleSizes) {
    EXPECT_FALSE(RgbaImage::create(0, 10, ColorSpace::sRGB));
    EXPECT_FALSE(RgbaImage::create(10, -1, ColorSpace::sRGB));
    EXPECT_FALSE(RgbaImage::create(RgbaImage::kMaxSide + 1, 1, ColorSpace::sRGB));
    auto ok = RgbaImage::create(3, 2, ColorSpace::deviceRGB);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->byteCount(), 24u);
    EXPECT_EQ(ok->pixel(2, 1) - ok->data(), 20);
}

TEST(Png, OpaqueImageRoundTripsExactly) {
    RgbaImage image = gradient(61, 17, ColorSpace::deviceRGB, true);
    auto bytes = encodePng(image);
    ASSERT_TRUE(bytes);
    auto back = decodePng(*bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, image);
    EXPECT_EQ(back->colorSpace(), ColorSpace::deviceRGB);
}

TEST(Png, SrgbTagTravelsWithTheFile) {
    RgbaImage image = gradient(8, 8, ColorSpace::sRGB, true);
    auto back = decodePng(*encodePng(image));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->colorSpace(), ColorSpace::sRGB);
}

TEST(Png, TranslucentPixelsSurviveWithinRounding) {
    RgbaImage image = gradient(40, 40, ColorSpace::deviceRGB, false);
    auto back = decodePng(*encodePng(image));
    ASSERT_TRUE(back);
    for (size_t i = 0; i < image.byteCount(); ++i) {
        // Premultiplied -> straight -> premultiplied loses at most one step.
        ASSERT_LE(std::abs(int(image.data()[i]) - int(back->data()[i])), 1) << i;
    }
    // Alpha is exact.
    for (size_t i = 3; i < image.byteCount(); i += 4) ASSERT_EQ(image.data()[i], back->data()[i]);
}

TEST(Png, EncodingIsDeterministic) {
    RgbaImage image = gradient(100, 50, ColorSpace::sRGB, true);
    EXPECT_EQ(*encodePng(image), *encodePng(image));
}

TEST(Png, MalformedInputFailsCleanly) {
    const std::vector<uint8_t> garbage = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_FALSE(decodePng(garbage));
    EXPECT_FALSE(decodePng(std::vector<uint8_t>{}));
    auto bytes = *encodePng(gradient(30, 30, ColorSpace::sRGB, true));
    std::vector<uint8_t> truncated(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2));
    auto r = decodePng(truncated);
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().find("invalid PNG"), std::string::npos);
    std::vector<uint8_t> corrupt = bytes;
    for (size_t i = 40; i < corrupt.size() - 20; i += 7) corrupt[i] ^= 0x5A;
    EXPECT_FALSE(decodePng(corrupt));
}

TEST(Png, FileRoundTripAndErrors) {
    const murmura::test::ScratchDirectory dir("murmura-png");
    RgbaImage image = gradient(9, 9, ColorSpace::sRGB, true);
    const std::string path = (dir / "a.png").string();
    ASSERT_TRUE(writePngFile(image, path));
    auto back = readPngFile(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, image);
    EXPECT_FALSE(writePngFile(image, (dir / "missing" / "b.png").string()));
    EXPECT_FALSE(readPngFile((dir / "none.png").string()));
    EXPECT_EQ(readPngFile(dir.path().string()).error(), "cannot read file: is a directory");
    EXPECT_EQ(readPngFile("/dev/zero").error(), "cannot read file: not a regular file");
}

TEST(Png, HeadersAskingForMoreThanTheLargestImageAreRefusedBeforeAllocating) {
    // Signature, IHDR of the given size (8-bit RGBA), then the start of an IDAT chunk: all a
    // decoder sees before it must allocate.
    auto header = [](uint32_t w, uint32_t h) {
        std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
        for (uint32_t v : {w, h})
            for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(v >> shift));
        png.insert(png.end(), {8, 6, 0, 0, 0});
        const uLong crc = crc32(0, png.data() + 12, 17);
        for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(crc >> shift));
        png.insert(png.end(), {0, 0, 0, 0, 'I', 'D', 'A', 'T'});
        return png;
    };
    EXPECT_EQ(decodePng(header(16384, 16384)).error(), "PNG image is too large");
    // Within the bound the header is accepted and the missing data is what fails.
    EXPECT_NE(decodePng(header(64, 64)).error(), "PNG image is too large");
}

namespace {
uint32_t bigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

struct Chunk {
    std::string type;
    std::vector<uint8_t> data;
};

// Splits a PNG file into chunks, checking every CRC with zlib's own implementation.
std::vector<Chunk> chunksOf(const std::vector<uint8_t>& file) {
    std::vector<Chunk> chunks;
    size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const uint32_t length = bigEndian32(&file[pos]);
        EXPECT_LE(pos + 12 + length, file.size());
        Chunk c{std::string(file.begin() + long(pos) + 4, file.begin() + long(pos) + 8),
                std::vector<uint8_t>(file.begin() + long(pos) + 8, file.begin() + long(pos + 8 + length))};
        const uLong crc = crc32(0, &file[pos + 4], 4 + length);
        EXPECT_EQ(bigEndian32(&file[pos + 8 + length]), crc) << c.type;
        chunks.push_back(std::move(c));
        pos += 12 + length;
    }
    EXPECT_EQ(pos, file.size());
    return chunks;
}

// Noisy content so that every filter type and real compression take part.
RgbaImage textured(int64_t w, int64_t h) {
    auto image = RgbaImage::create(w, h, ColorSpace::deviceRGB);
    murmura::SplitMix64 rng(11);
    for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x) {
            uint8_t* p = image->pixel(x, y);
            const bool flat = (x / 64 + y / 64) % 3 == 0;
            p[0] = flat ? 200 : static_cast<uint8_t>((x * 3 + y) / 4 + rng.below(3));
            p[1] = flat ? 40 : static_cast<uint8_t>(y / 3 + rng.below(5));
            p[2] = flat ? 90 : static_cast<uint8_t>(rng.below(256));
            p[3] = 255;
        }
    return std::move(*image);
}
}  // namespace

TEST(Png, LargeImageIsOneValidZlibStreamOverSeveralIdatChunks) {
    // 700 pixels a row: about 374 rows per band, so 1200 rows make four bands.
    RgbaImage image = textured(700, 1200);
    auto bytes = encodePng(image);
    ASSERT_TRUE(bytes);
    auto chunks = chunksOf(*bytes);
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.back().type, "IEND");
    std::vector<uint8_t> stream;
    size_t idat = 0;
    for (const auto& c : chunks)
        if (c.type == "IDAT") {
            ++idat;
            stream.insert(stream.end(), c.data.begin(), c.data.end());
        }
    EXPECT_EQ(idat, 4u);
    // zlib's own inflate checks the header and the Adler-32 of the whole stream.
    const size_t rowBytes = 700 * 4 + 1;
    std::vector<uint8_t> raw(rowBytes * 1200 + 1);
    uLongf rawLength = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &rawLength, stream.data(), stream.size()), Z_OK);
    EXPECT_EQ(rawLength, rowBytes * 1200);
    // Each row starts with a filter type from 0 to 4; the textured image uses more than one.
    std::set<int> types;
    for (size_t y = 0; y < 1200; ++y) {
        ASSERT_LE(raw[y * rowBytes], 4);
        types.insert(raw[y * rowBytes]);
    }
    EXPECT_GE(types.size(), 2u);
    auto back = decodePng(*bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, image);
}

TEST(Png, BytesDoNotDependOnTheNumberOfThreads) {
    RgbaImage image = textured(300, 2000);
    auto parallel = encodePng(image);
    ASSERT_TRUE(parallel);
    tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
    auto serial = encodePng(image);
    ASSERT_TRUE(serial);
    EXPECT_EQ(*parallel, *serial);
}

TEST(Png, TranslucentRowsInsideLargeImagesRoundTrip) {
    // Rows alternate between opaque and translucent across band boundaries, so a band's first
    // row is filtered against the straight form of the row above it.
    RgbaImage image = textured(700, 900);
    for (int64_t y = 0; y < image.height(); y += 3)
        for (int64_t x = 0; x < image.width(); ++x) {
            uint8_t* p = image.pixel(x, y);
            const uint8_t a = static_cast<uint8_t>(x % 256);
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(p[c] * a / 255);
            p[3] = a;
        }
    auto back = decodePng(*encodePng(image));
    ASSERT_TRUE(back);
    for (size_t i = 0; i < image.byteCount(); ++i)
        ASSERT_LE(std::abs(int(image.data()[i]) - int(back->data()[i])), 1) << i;
}
