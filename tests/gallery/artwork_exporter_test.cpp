#include "gallery/artwork_exporter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>

#include "../test_files.h"
#include "rendering/png_io.h"

using namespace murmura;
using namespace murmura::test;
namespace fs = std::filesystem;
using Format = ArtworkExporter::ExportFormat;
using Code = ArtworkExporter::ExportError::Code;

namespace {

class Exporter : public ::testing::Test {
protected:
    ScratchDirectory dir_{"murmura-export"};
};

RgbaImage picture(int64_t w, int64_t h) {
    auto image = RgbaImage::create(w, h, ColorSpace::deviceRGB);
    for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x) {
            uint8_t* p = image->pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 3);
            p[1] = static_cast<uint8_t>(y * 7);
            p[2] = static_cast<uint8_t>((x + y) / 4);
            p[3] = 255;
        }
    return std::move(*image);
}

// Inflates a FlateDecode stream of known decoded size (or up to limit bytes).
std::string inflate(const std::string& data, size_t limit) {
    std::string out(limit, '\0');
    uLongf length = limit;
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(data.data()),
                   data.size()) != Z_OK)
        return {};
    out.resize(length);
    return out;
}

struct PdfObject {
    std::string dictionary;
    std::string stream;  // raw (still encoded)
};

// The PDF's objects by number: enough of a reader for the files Cairo writes.
std::map<int, PdfObject> pdfObjects(const std::string& pdf) {
    std::map<int, PdfObject> objects;
    const std::regex header(R"((\d+) 0 obj)");
    for (auto it = std::sregex_iterator(pdf.begin(), pdf.end(), header); it != std::sregex_iterator(); ++it) {
        const size_t start = static_cast<size_t>(it->position() + it->length());
        const size_t end = pdf.find("endobj", start);
        std::string body = pdf.substr(start, end - start);
        PdfObject object;
        const size_t streamAt = body.find("stream");  // the keyword comes before "endstream"
        if (streamAt != std::string::npos && body.find("endstream") != std::string::npos) {
            size_t data = streamAt + 6;
            if (body[data] == '\r') ++data;
            if (body[data] == '\n') ++data;
            object.dictionary = body.substr(0, streamAt);
            object.stream = body.substr(data, body.rfind("endstream") - data);
        } else {
            object.dictionary = body;
        }
        objects[std::stoi((*it)[1])] = std::move(object);
    }
    return objects;
}

using Matrix = std::array<double, 6>;  // a b c d e f, as PDF's cm operator

Matrix multiply(const Matrix& m, const Matrix& n) {  // m then n
    return {m[0] * n[0] + m[1] * n[2],        m[0] * n[1] + m[1] * n[3],        m[2] * n[0] + m[3] * n[2],
            m[2] * n[1] + m[3] * n[3],        m[4] * n[0] + m[5] * n[2] + n[4], m[4] * n[1] + m[5] * n[3] + n[5]};
}

}  // namespace

TEST_F(Exporter, PngExportDecodesToTheSamePixels) {
    const RgbaImage image = picture(123, 45);
    const fs::path file = dir_ / "a.png";
    ASSERT_TRUE(ArtworkExporter::exportImage(image, file, Format::png));
    auto back = readPngFile(file.string());
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, image);
}

TEST_F(Exporter, PdfOfA3200By2000ImageIsOnePageOf3200By2000Points) {
    const RgbaImage image = picture(3200, 2000);
    const fs::path file = dir_ / "a.pdf";
    auto r = ArtworkExporter::exportImage(image, file, Format::pdf);
    ASSERT_TRUE(r) << r.error().message();
    const std::string pdf = readFile(file);
    ASSERT_EQ(pdf.rfind("%PDF-", 0), 0u);
    const auto objects = pdfObjects(pdf);

    // Exactly one page, with the image's size in points as its box.
    int pages = 0;
    const PdfObject* page = nullptr;
    const PdfObject* imageObject = nullptr;
    for (const auto& [number, object] : objects) {
        if (std::regex_search(object.dictionary, std::regex(R"(/Type\s*/Page\b(?!s))"))) {
            ++pages;
            page = &object;
        }
        if (object.dictionary.find("/Subtype /Image") != std::string::npos) imageObject = &object;
        if (std::regex_search(object.dictionary, std::regex(R"(/Type\s*/Pages\b)"))) {
            EXPECT_NE(object.dictionary.find("/Count 1"), std::string::npos) << object.dictionary;
        }
    }
    ASSERT_EQ(pages, 1);
    std::smatch box;
    ASSERT_TRUE(std::regex_search(page->dictionary, box, std::regex(R"(/MediaBox\s*\[\s*([-\d.]+)\s+([-\d.]+)\s+([-\d.]+)\s+([-\d.]+)\s*\])")));
    EXPECT_EQ(std::stod(box[1]), 0.0);
    EXPECT_EQ(std::stod(box[2]), 0.0);
    EXPECT_EQ(std::stod(box[3]), 3200.0);
    EXPECT_EQ(std::stod(box[4]), 2000.0);

    // The image is embedded at full size, pixel for pixel.
    ASSERT_NE(imageObject, nullptr);
    EXPECT_NE(imageObject->dictionary.find("/Width 3200"), std::string::npos);
    EXPECT_NE(imageObject->dictionary.find("/Height 2000"), std::string::npos);
    const std::string rgb = inflate(imageObject->stream, 3200 * 2000 * 3 + 1);
    ASSERT_EQ(rgb.size(), 3200u * 2000u * 3u);
    for (int64_t y = 0; y < 2000; y += 97)
        for (int64_t x = 0; x < 3200; x += 89)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(static_cast<uint8_t>(rgb[static_cast<size_t>((y * 3200 + x) * 3 + c)]), image.pixel(x, y)[c]);

    // The page's drawing maps the image's unit square onto the whole page box: the product of
    // the content stream's cm matrices sends (0,0) and (1,1) to opposite corners of the box.
    std::smatch contents;
    ASSERT_TRUE(std::regex_search(page->dictionary, contents, std::regex(R"(/Contents\s+(\d+)\s+0\s+R)")));
    const std::string ops = inflate(objects.at(std::stoi(contents[1])).stream, 1 << 16);
    ASSERT_FALSE(ops.empty());
    Matrix m = {1, 0, 0, 1, 0, 0};
    const std::regex cm(R"(([-\d.]+) ([-\d.]+) ([-\d.]+) ([-\d.]+) ([-\d.]+) ([-\d.]+) cm)");
    const size_t drawAt = ops.find(" Do");
    ASSERT_NE(drawAt, std::string::npos) << ops;
    EXPECT_EQ(ops.find(" Do", drawAt + 1), std::string::npos) << "drawn once, not tiled: " << ops;
    const std::string beforeDraw = ops.substr(0, drawAt);
    for (auto it = std::sregex_iterator(beforeDraw.begin(), beforeDraw.end(), cm); it != std::sregex_iterator(); ++it) {
        Matrix n;
        for (int i = 0; i < 6; ++i) n[static_cast<size_t>(i)] = std::stod((*it)[i + 1]);
        m = multiply(n, m);  // a later cm applies first to the image space
    }
    auto apply = [&](double u, double v) { return std::pair{m[0] * u + m[2] * v + m[4], m[1] * u + m[3] * v + m[5]}; };
    const auto [x0, y0] = apply(0, 0);
    const auto [x1, y1] = apply(1, 1);
    EXPECT_EQ(std::min(x0, x1), 0.0) << ops;
    EXPECT_EQ(std::max(x0, x1), 3200.0) << ops;
    EXPECT_EQ(std::min(y0, y1), 0.0) << ops;
    EXPECT_EQ(std::max(y0, y1), 2000.0) << ops;
}

TEST_F(Exporter, FailuresCarryTheirMessages) {
    const RgbaImage image = picture(4, 4);
    auto png = ArtworkExporter::exportImage(image, dir_.path() / "missing" / "a.png", Format::png);
    ASSERT_FALSE(png);
    EXPECT_EQ(png.error().code, Code::destinationCreationFailed);
    EXPECT_EQ(png.error().message(), "Failed to create export destination");
    auto pdf = ArtworkExporter::exportImage(image, dir_.path() / "missing" / "a.pdf", Format::pdf);
    ASSERT_FALSE(pdf);
    EXPECT_EQ(pdf.error().code, Code::pdfContextCreationFailed);
    EXPECT_EQ(pdf.error().message(), "Failed to create PDF context");
    EXPECT_FALSE(fs::exists(dir_.path() / "missing"));
    EXPECT_EQ((ArtworkExporter::ExportError{Code::noImage, {}}).message(), "No image to export");
    EXPECT_EQ((ArtworkExporter::ExportError{Code::writeFailed, {}}).message(), "Failed to write file");
}

TEST_F(Exporter, WriteFailuresAreReportedAndLeaveNoPartialFile) {
    Expected<void, ArtworkExporter::ExportError> png, pdf;
    {
        FileSizeLimit limit(2000);
        ASSERT_TRUE(limit.active());
        png = ArtworkExporter::exportImage(picture(300, 300), dir_ / "a.png", Format::png);
        pdf = ArtworkExporter::exportImage(picture(300, 300), dir_ / "a.pdf", Format::pdf);
    }
    ASSERT_FALSE(png);
    EXPECT_EQ(png.error().code, Code::writeFailed);
    EXPECT_FALSE(fs::exists(dir_ / "a.png"));
    ASSERT_FALSE(pdf);
    EXPECT_EQ(pdf.error().code, Code::writeFailed);
    EXPECT_FALSE(fs::exists(dir_ / "a.pdf"));
}

TEST_F(Exporter, DevicesAreWrittenInPlaceAndTheirFailuresReported) {
    if (!fs::exists("/dev/full") || !fs::exists("/dev/null")) GTEST_SKIP() << "no /dev/full or /dev/null";
    for (Format format : {Format::png, Format::pdf}) {
        EXPECT_TRUE(ArtworkExporter::exportImage(picture(8, 8), "/dev/null", format));
        auto r = ArtworkExporter::exportImage(picture(64, 64), "/dev/full", format);
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error().code, Code::writeFailed);
        EXPECT_NE(r.error().detail.find("No space left on device"), std::string::npos) << r.error().detail;
    }
    EXPECT_TRUE(fs::exists("/dev/full"));
    EXPECT_TRUE(fs::exists("/dev/null"));
}

TEST_F(Exporter, AFailedExportLeavesTheExistingFileAndADirectoryIsNoFile) {
    for (Format format : {Format::png, Format::pdf}) {
        const fs::path file = dir_ / ("old." + std::string(ArtworkExporter::extension(format)));
        writeFile(file, std::string(100, 'o'));
        Expected<void, ArtworkExporter::ExportError> r;
        {
            FileSizeLimit limit(2000);
            ASSERT_TRUE(limit.active());
            r = ArtworkExporter::exportImage(picture(300, 300), file, format);
        }
        ASSERT_FALSE(r);
        EXPECT_EQ(readFile(file), std::string(100, 'o'));
        auto intoDirectory = ArtworkExporter::exportImage(picture(4, 4), dir_.path(), format);
        ASSERT_FALSE(intoDirectory);
        EXPECT_EQ(intoDirectory.error().code,
                  format == Format::png ? Code::destinationCreationFailed : Code::pdfContextCreationFailed);
    }
    EXPECT_EQ(entryCount(dir_.path()), 2u);  // no temporary file left behind
}

TEST(ExporterNames, DefaultFilenameIsTheLocalTimeStamp) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    // 2026-12-05T09:24:42Z.
    const auto at = std::chrono::system_clock::time_point(std::chrono::seconds(1796462682));
    EXPECT_EQ(ArtworkExporter::defaultFilename(Format::png, at), "murmura-2026-12-05-092442.png");
    EXPECT_EQ(ArtworkExporter::defaultFilename(Format::pdf, at), "murmura-2026-12-05-092442.pdf");
    // Two exports within the same second propose the same name.
    EXPECT_EQ(ArtworkExporter::defaultFilename(Format::png, at + std::chrono::milliseconds(999)),
              "murmura-2026-12-05-092442.png");
    ::setenv("TZ", "Asia/Tokyo", 1);  // UTC+9
    ::tzset();
    EXPECT_EQ(ArtworkExporter::defaultFilename(Format::png, at), "murmura-2026-12-05-182442.png");
    if (old) ::setenv("TZ", saved.c_str(), 1); else ::unsetenv("TZ");
    ::tzset();
}

TEST(ExporterNames, FormatNames) {
    EXPECT_EQ(ArtworkExporter::formatNamed("png"), Format::png);
    EXPECT_EQ(ArtworkExporter::formatNamed("pdf"), Format::pdf);
    EXPECT_EQ(ArtworkExporter::formatNamed("PDF"), std::nullopt);
    EXPECT_EQ(ArtworkExporter::extension(Format::pdf), "pdf");
}
