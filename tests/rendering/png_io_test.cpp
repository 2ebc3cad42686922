#include "rendering/png_io.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

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
    auto dir = std::filesystem::temp_directory_path() / ("murmura-png-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    RgbaImage image = gradient(9, 9, ColorSpace::sRGB, true);
    const std::string path = (dir / "a.png").string();
    ASSERT_TRUE(writePngFile(image, path));
    auto back = readPngFile(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, image);
    EXPECT_FALSE(writePngFile(image, (dir / "missing" / "b.png").string()));
    EXPECT_FALSE(readPngFile((dir / "none.png").string()));
    std::filesystem::remove_all(dir);
}
