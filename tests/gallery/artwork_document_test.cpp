#include "gallery/artwork_document.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "../test_files.h"
#include "rendering/png_io.h"

using namespace murmura;
namespace fs = std::filesystem;

TEST(ArtworkDocument, ContentsAreThePngOfTheImage) {
    auto image = RgbaImage::create(7, 5, ColorSpace::sRGB);
    for (size_t i = 0; i < image->byteCount(); ++i) image->data()[i] = i % 4 == 3 ? 255 : static_cast<uint8_t>(i);
    ArtworkDocument document(*image);
    auto bytes = document.fileContents();
    ASSERT_TRUE(bytes);
    auto back = decodePng(*bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, *image);
    EXPECT_EQ(ArtworkDocument::kContentType, "image/png");

    const test::ScratchDirectory dir("murmura-document");
    ASSERT_TRUE(document.write(dir / "a.png"));
    EXPECT_EQ(*readPngFile((dir / "a.png").string()), *image);
}

TEST(ArtworkDocument, WithoutAnImageWritingFailsAndCreatesNoFile) {
    ArtworkDocument document;
    auto bytes = document.fileContents();
    ASSERT_FALSE(bytes);
    EXPECT_EQ(bytes.error().message(), "The file could not be saved.");
    const test::ScratchDirectory dir("murmura-document");
    auto written = document.write(dir / "none.png");
    ASSERT_FALSE(written);
    EXPECT_EQ(test::entryCount(dir.path()), 0u);
}

TEST(ArtworkDocument, ProposedNames) {
    EXPECT_EQ(kCompletionDocumentName, "murmura-artwork");
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ArtworkRecord r;
    r.styleID = "ink-water";
    r.creationDate = CatalogDate{std::chrono::seconds{1796511600}};  // 2026-12-05T23:00:00Z
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(detailDocumentName(r), "murmura-ink-water-2026-12-05");
    ::setenv("TZ", "Europe/Berlin", 1);  // UTC+1 in December: already the 6th
    ::tzset();
    EXPECT_EQ(detailDocumentName(r), "murmura-ink-water-2026-12-06");
    if (old) ::setenv("TZ", saved.c_str(), 1); else ::unsetenv("TZ");
    ::tzset();
}
