#include "rendering/png_io.h"
#include "rendering/png_deflate.h"

#include <gtest/gtest.h>
#include <tbb/global_control.h>
#include <zlib.h>

#include <set>

#include "../test_files.h"
#include "support/random.h"

using namespace murmura;

namespace {
// Noisy premultiplied content so that every filter type and real compression take part;
// every translucentEvery-th row is translucent.
RgbaImage textured(int64_t w, int64_t h, ColorSpace cs = ColorSpace::deviceRGB, int64_t translucentEvery = 0) {
    auto image = RgbaImage::create(w, h, cs);
    SplitMix64 rng(11);
    for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x) {
            uint8_t* p = image->pixel(x, y);
            const bool flat = (x / 64 + y / 64) % 3 == 0;
            const uint8_t a = translucentEvery && y % translucentEvery == 0 ? static_cast<uint8_t>(x * 37 + y) : 255;
            auto premultiplied = [a](uint64_t v) { return static_cast<uint8_t>(static_cast<uint8_t>(v) * a / 255); };
            p[0] = premultiplied(flat ? 200 : (x * 3 + y) / 4 + rng.below(3));
            p[1] = premultiplied(flat ? 40 : y / 3 + rng.below(5));
            p[2] = premultiplied(flat ? 90 : rng.below(256));
            p[3] = a;
        }
    return std::move(*image);
}

uint32_t bigEndian32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// Premultiplied to straight and back loses at most one step; alpha is exact.
void expectRoundTrip(const RgbaImage& image, const RgbaImage& back) {
    ASSERT_EQ(back.width(), image.width());
    ASSERT_EQ(back.height(), image.height());
    EXPECT_EQ(back.colorSpace(), image.colorSpace());
    for (size_t i = 0; i < image.byteCount(); ++i)
        ASSERT_LE(std::abs(int(image.data()[i]) - int(back.data()[i])), i % 4 == 3 ? 0 : 1) << i;
}
}  // namespace

TEST(Png, ImagesRoundTripExactlyWhenOpaqueAndWithinRoundingOtherwise) {
    for (auto [w, h] : {std::pair<int64_t, int64_t>{0, 10}, {10, -1}, {RgbaImage::kMaxSide + 1, 1}})
        EXPECT_FALSE(RgbaImage::create(w, h, ColorSpace::sRGB));
    for (ColorSpace cs : {ColorSpace::deviceRGB, ColorSpace::sRGB}) {
        const RgbaImage opaque = textured(61, 17, cs);
        auto bytes = encodePng(opaque);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(*bytes, *encodePng(opaque));
        EXPECT_EQ(*decodePng(*bytes), opaque);  // the colour space tag travels too
        const RgbaImage translucent = textured(40, 40, cs, 1);
        expectRoundTrip(translucent, *decodePng(*encodePng(translucent)));
    }
}

TEST(Png, MalformedInputAndFileErrorsFailCleanly) {
    EXPECT_FALSE(decodePng(std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_FALSE(decodePng(std::vector<uint8_t>{}));
    const std::vector<uint8_t> bytes = *encodePng(textured(30, 30));
    auto truncated = decodePng(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(bytes.size() / 2)));
    ASSERT_FALSE(truncated);
    EXPECT_NE(truncated.error().find("invalid PNG"), std::string::npos);
    std::vector<uint8_t> corrupt = bytes;
    for (size_t i = 40; i < corrupt.size() - 20; i += 7) corrupt[i] ^= 0x5A;
    EXPECT_FALSE(decodePng(corrupt));

    const test::ScratchDirectory dir("murmura-png");
    const RgbaImage image = textured(9, 9, ColorSpace::sRGB);
    ASSERT_TRUE(writePngFile(image, (dir / "a.png").string()));
    EXPECT_EQ(*readPngFile((dir / "a.png").string()), image);
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

TEST(Png, LargeImageIsOneValidZlibStreamOverSeveralIdatChunks) {
    // 700 pixels a row: about 374 rows per band, so 1200 rows make four bands. Translucent rows
    // cross band boundaries, so a band's first row is filtered against the straight form of
    // the row above it.
    const RgbaImage image = textured(700, 1200, ColorSpace::deviceRGB, 3);
    const std::vector<uint8_t> file = *encodePng(image);
    std::vector<std::string> types;
    std::vector<uint8_t> stream;
    size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const uint32_t length = bigEndian32(&file[pos]);
        ASSERT_LE(pos + 12 + length, file.size());
        types.emplace_back(file.begin() + long(pos) + 4, file.begin() + long(pos) + 8);
        EXPECT_EQ(bigEndian32(&file[pos + 8 + length]), crc32(0, &file[pos + 4], 4 + length)) << types.back();
        if (types.back() == "IDAT") stream.insert(stream.end(), &file[pos + 8], &file[pos + 8 + length]);
        pos += 12 + length;
    }
    EXPECT_EQ(pos, file.size());
    EXPECT_EQ(types.front(), "IHDR");
    EXPECT_EQ(types.back(), "IEND");
    EXPECT_EQ(std::count(types.begin(), types.end(), "IDAT"), 4);
    // zlib's own inflate checks the header and the Adler-32 of the whole stream.
    const size_t rowBytes = 700 * 4 + 1;
    std::vector<uint8_t> raw(rowBytes * 1200 + 1);
    uLongf rawLength = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &rawLength, stream.data(), stream.size()), Z_OK);
    EXPECT_EQ(rawLength, rowBytes * 1200);
    std::set<int> filters;
    for (size_t y = 0; y < 1200; ++y) filters.insert(raw[y * rowBytes]);
    EXPECT_LE(*filters.rbegin(), 4);
    EXPECT_GE(filters.size(), 2u);
    expectRoundTrip(image, *decodePng(file));
}

TEST(Png, BytesDoNotDependOnTheNumberOfThreads) {
    const RgbaImage image = textured(300, 2000);
    const auto parallel = encodePng(image);
    tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
    EXPECT_EQ(*parallel, *encodePng(image));
}

TEST(PngDeflate, PartsAloneAndConcatenatedInflateToTheirData) {
    SplitMix64 rng(5);
    std::vector<std::vector<uint8_t>> parts = {{}, {7}, {1, 1, 1}, std::vector<uint8_t>(300000, 0)};
    std::vector<uint8_t> noise(200000), runs, mixed;  // noise: stored blocks; runs of every length up to 600
    for (auto& b : noise) b = static_cast<uint8_t>(rng.below(256));
    for (size_t length = 1; length <= 600; ++length) runs.insert(runs.end(), length, static_cast<uint8_t>(length));
    for (int i = 0; i < 300000; ++i) mixed.push_back(static_cast<uint8_t>(rng.below(5) == 0 ? rng.below(8) : i ? mixed.back() : 0));
    parts.insert(parts.end(), {noise, runs, mixed});
    auto inflateRaw = [](const std::vector<uint8_t>& in, size_t expected) {
        z_stream z{};
        EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
        std::vector<uint8_t> out(expected + 1);
        z.next_in = const_cast<Bytef*>(in.data()), z.avail_in = static_cast<uInt>(in.size());
        z.next_out = out.data(), z.avail_out = static_cast<uInt>(out.size());
        EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
        EXPECT_EQ(z.avail_in, 0u);  // nothing after the final block
        out.resize(z.total_out);
        inflateEnd(&z);
        return out;
    };
    std::vector<uint8_t> all, stream;
    for (size_t k = 0; k < parts.size(); ++k) {
        std::vector<uint8_t> alone;
        deflateRuns(parts[k], true, alone);
        EXPECT_EQ(inflateRaw(alone, parts[k].size()), parts[k]) << k;
        deflateRuns(parts[k], k + 1 == parts.size(), stream);
        all.insert(all.end(), parts[k].begin(), parts[k].end());
    }
    EXPECT_EQ(inflateRaw(stream, all.size()), all);
}
