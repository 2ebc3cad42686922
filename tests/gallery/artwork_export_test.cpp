// Saving and exporting an artwork: the document, PNG and PDF files, and their proposed names.
#include <gtest/gtest.h>
#include <zlib.h>

#include <regex>

#include "../test_files.h"
#include "gallery/artwork_document.h"
#include "gallery/artwork_exporter.h"
#include "rendering/png_io.h"

using namespace murmura;
using namespace murmura::test;
namespace fs = std::filesystem;
using Format = ArtworkExporter::ExportFormat;
using Code = ArtworkExporter::ExportError::Code;

namespace {

RgbaImage picture(int64_t w, int64_t h) {
    auto image = RgbaImage::create(w, h, ColorSpace::deviceRGB);
    for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x) {
            uint8_t* p = image->pixel(x, y);
            p[0] = uint8_t(x * 3), p[1] = uint8_t(y * 7), p[2] = uint8_t((x + y) / 4), p[3] = 255;
        }
    return std::move(*image);
}

std::string inflate(const std::string& data, size_t limit) {
    std::string out(limit, '\0');
    uLongf length = limit;
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(data.data()),
                   data.size()) != Z_OK)
        return {};
    return out.substr(0, length);
}

// The dictionary and raw stream of each object, by number: enough of a reader for Cairo's files.
std::map<int, std::pair<std::string, std::string>> pdfObjects(const std::string& pdf) {
    std::map<int, std::pair<std::string, std::string>> objects;
    const std::regex header(R"((\d+) 0 obj)");
    for (auto it = std::sregex_iterator(pdf.begin(), pdf.end(), header); it != std::sregex_iterator(); ++it) {
        const size_t start = static_cast<size_t>(it->position() + it->length());
        const std::string body = pdf.substr(start, pdf.find("endobj", start) - start);
        const size_t streamAt = body.find("stream"), end = body.rfind("endstream");
        auto& [dictionary, stream] = objects[std::stoi((*it)[1])];
        dictionary = body.substr(0, streamAt);
        if (streamAt == std::string::npos || end == std::string::npos) continue;
        const size_t data = body.find('\n', streamAt) + 1;
        stream = body.substr(data, end - data);
    }
    return objects;
}

void setTimeZone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
}

}  // namespace

TEST(ArtworkDocument, WritesThePngOfItsImageOrFailsWithoutOne) {
    const ScratchDirectory dir("murmura-document");
    const RgbaImage image = picture(7, 5);
    ASSERT_TRUE(ArtworkDocument(image).write(dir / "a.png"));
    EXPECT_EQ(*readPngFile((dir / "a.png").string()), image);
    EXPECT_EQ(*decodePng(*ArtworkDocument(image).fileContents()), image);
    auto empty = ArtworkDocument().write(dir / "none.png");
    ASSERT_FALSE(empty);
    EXPECT_EQ(empty.error().message(), "The file could not be saved.");
    EXPECT_EQ(entryCount(dir.path()), 1u);
}

TEST(ArtworkNames, LocalDatesAndTimes) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ArtworkRecord r;
    r.styleID = "ink-water";
    r.creationDate = CatalogDate{std::chrono::seconds{1796511600}};  // 2026-12-05T23:00:00Z
    const auto at = std::chrono::system_clock::time_point(std::chrono::seconds(1796462682));  // 09:24:42Z
    setTimeZone("UTC");
    EXPECT_EQ(detailDocumentName(r), "murmura-ink-water-2026-12-05");
    EXPECT_EQ(ArtworkExporter::defaultFilename(Format::png, at), "murmura-2026-12-05-092442.png");
    EXPECT_EQ(ArtworkExporter::defaultFilename(Format::pdf, at + std::chrono::milliseconds(999)),
              "murmura-2026-12-05-092442.pdf");
    setTimeZone("Europe/Berlin");  // UTC+1 in December: already the 6th
    EXPECT_EQ(detailDocumentName(r), "murmura-ink-water-2026-12-06");
    setTimeZone("Asia/Tokyo");
    EXPECT_EQ(ArtworkExporter::defaultFilename(Format::png, at), "murmura-2026-12-05-182442.png");
    old ? setTimeZone(saved.c_str()) : (::unsetenv("TZ"), ::tzset());
    EXPECT_EQ(ArtworkExporter::formatNamed("pdf"), Format::pdf);
    EXPECT_EQ(ArtworkExporter::formatNamed("PDF"), std::nullopt);
}

TEST(ArtworkExporter, PngDecodesToTheSamePixelsAndPdfIsOnePageOfTheImageSize) {
    const ScratchDirectory dir("murmura-export");
    const RgbaImage small = picture(123, 45);
    ASSERT_TRUE(ArtworkExporter::exportImage(small, dir / "a.png", Format::png));
    EXPECT_EQ(*readPngFile((dir / "a.png").string()), small);

    const RgbaImage image = picture(3200, 2000);
    auto r = ArtworkExporter::exportImage(image, dir / "a.pdf", Format::pdf);
    ASSERT_TRUE(r) << r.error().message();
    const std::string pdf = readFile(dir / "a.pdf");
    ASSERT_EQ(pdf.rfind("%PDF-", 0), 0u);
    const std::pair<std::string, std::string>* page = nullptr;
    const std::pair<std::string, std::string>* embedded = nullptr;
    const auto objects = pdfObjects(pdf);
    for (const auto& [number, object] : objects) {
        if (std::regex_search(object.first, std::regex(R"(/Type\s*/Page\b(?!s))"))) {
            EXPECT_EQ(page, nullptr) << "a second page";
            page = &object;
        }
        if (object.first.find("/Subtype /Image") != std::string::npos) embedded = &object;
    }
    ASSERT_TRUE(page && embedded);
    EXPECT_TRUE(std::regex_search(page->first, std::regex(R"(/MediaBox\s*\[\s*0\s+0\s+3200\s+2000\s*\])"))) << page->first;
    // The image is embedded pixel for pixel.
    EXPECT_NE(embedded->first.find("/Width 3200"), std::string::npos);
    EXPECT_NE(embedded->first.find("/Height 2000"), std::string::npos);
    const std::string rgb = inflate(embedded->second, 3200 * 2000 * 3 + 1);
    ASSERT_EQ(rgb.size(), 3200u * 2000u * 3u);
    for (int64_t y = 0; y < 2000; y += 97)
        for (int64_t x = 0; x < 3200; x += 89)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(uint8_t(rgb[size_t((y * 3200 + x) * 3 + c)]), image.pixel(x, y)[c]) << x << "," << y;
    // Drawn once, its unit square mapped by the product of the cm matrices onto the whole page.
    std::smatch contents;
    ASSERT_TRUE(std::regex_search(page->first, contents, std::regex(R"(/Contents\s+(\d+)\s+0\s+R)")));
    const std::string ops = inflate(objects.at(std::stoi(contents[1])).second, 1 << 16);
    const size_t drawAt = ops.find(" Do");
    ASSERT_NE(drawAt, std::string::npos) << ops;
    EXPECT_EQ(ops.find(" Do", drawAt + 1), std::string::npos) << ops;
    std::array<double, 6> m = {1, 0, 0, 1, 0, 0};
    const std::string beforeDraw = ops.substr(0, drawAt);
    const std::regex cm(R"(([-\d.]+) ([-\d.]+) ([-\d.]+) ([-\d.]+) ([-\d.]+) ([-\d.]+) cm)");
    for (auto it = std::sregex_iterator(beforeDraw.begin(), beforeDraw.end(), cm); it != std::sregex_iterator(); ++it) {
        std::array<double, 6> n;
        for (size_t i = 0; i < 6; ++i) n[i] = std::stod((*it)[int(i) + 1]);
        m = {n[0] * m[0] + n[1] * m[2], n[0] * m[1] + n[1] * m[3], n[2] * m[0] + n[3] * m[2],
             n[2] * m[1] + n[3] * m[3], n[4] * m[0] + n[5] * m[2] + m[4], n[4] * m[1] + n[5] * m[3] + m[5]};
    }
    const double x0 = m[4], y0 = m[5], x1 = m[0] + m[2] + m[4], y1 = m[1] + m[3] + m[5];  // (0,0) and (1,1)
    EXPECT_EQ(std::min(x0, x1), 0.0) << ops;
    EXPECT_EQ(std::max(x0, x1), 3200.0) << ops;
    EXPECT_EQ(std::min(y0, y1), 0.0) << ops;
    EXPECT_EQ(std::max(y0, y1), 2000.0) << ops;
}

TEST(ArtworkExporter, FailuresAreReportedAndLeaveNoPartialFile) {
    const ScratchDirectory dir("murmura-export");
    for (Format format : {Format::png, Format::pdf}) {
        SCOPED_TRACE(ArtworkExporter::extension(format));
        const Code notCreated = format == Format::png ? Code::destinationCreationFailed : Code::pdfContextCreationFailed;
        EXPECT_EQ(ArtworkExporter::exportImage(picture(4, 4), dir / "missing" / "a", format).error().code, notCreated);
        EXPECT_EQ(ArtworkExporter::exportImage(picture(4, 4), dir.path(), format).error().code, notCreated);
        const fs::path file = dir / "a";
        writeFile(file, std::string(100, 'o'));
        {
            FileSizeLimit limit(2000);
            ASSERT_TRUE(limit.active());
            EXPECT_EQ(ArtworkExporter::exportImage(picture(300, 300), file, format).error().code, Code::writeFailed);
        }
        EXPECT_EQ(readFile(file), std::string(100, 'o'));  // a failed export leaves the old file as it was
        fs::remove(file);
        // Devices are written in place, never replaced, and their failures reported.
        EXPECT_TRUE(ArtworkExporter::exportImage(picture(8, 8), "/dev/null", format));
        auto full = ArtworkExporter::exportImage(picture(64, 64), "/dev/full", format);
        ASSERT_FALSE(full);
        EXPECT_EQ(full.error().code, Code::writeFailed);
        EXPECT_NE(full.error().detail.find("No space left on device"), std::string::npos) << full.error().detail;
    }
    EXPECT_EQ(entryCount(dir.path()), 0u);  // no temporary file left behind
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}
