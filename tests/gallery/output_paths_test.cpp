#include "gallery/output_paths.h"

#include <gtest/gtest.h>

#include <set>

#include "../test_files.h"

using namespace murmura;
namespace fs = std::filesystem;

TEST(OutputPaths, PathsThatResolveIntoTheArtworksDirectoryAreRefused) {
    test::ScratchDirectory dir("output-guard");
    const fs::path gallery = dir / "Murmura/Artworks";
    fs::create_directories(gallery);
    fs::create_directories(dir / "Murmura/Artworks2");
    test::writeFile(gallery / "artworks.json", "[]");
    fs::create_directory_symlink(gallery, dir / "link");
    fs::create_symlink(gallery / "artworks.json", dir / "catalog-link.json");
    const std::pair<fs::path, bool> cases[] = {  // output, refused
        {gallery, true},
        {gallery / "artworks.json", true},
        {dir / "Murmura/Artworks/../Artworks/x.png", true},
        {dir / "link/x.png", true},
        {dir / "catalog-link.json", true},
        {dir / "Murmura/Artworks2/x.png", false},
        {dir / "Murmura/x.png", false},
        {dir / "missing/dir/x.png", false},
    };
    for (const auto& [output, refused] : cases) {
        auto checked = checkOutputOutsideGallery(output, gallery);
        EXPECT_EQ(!checked, refused) << output;
        EXPECT_TRUE(checked || checked.error().find("inside the artworks directory") != std::string::npos);
    }
    // A relative path is resolved against the working directory.
    const fs::path cwd = fs::current_path();
    fs::current_path(gallery);
    EXPECT_FALSE(checkOutputOutsideGallery("artworks.json", gallery));
    fs::current_path(cwd);
}

TEST(OutputPaths, DefaultExportNamesInOneSecondAreAllDifferent) {
    test::ScratchDirectory dir("export-names");
    const auto now = std::chrono::system_clock::now();
    const std::string first = ArtworkExporter::defaultFilename(ArtworkExporter::ExportFormat::pdf, now);
    std::set<fs::path> names;
    for (int i = 0; i < 6; ++i) {
        auto path = reserveDefaultExportPath(dir.path(), ArtworkExporter::ExportFormat::pdf, now);
        ASSERT_TRUE(path) << path.error();
        EXPECT_TRUE(fs::is_regular_file(*path));
        names.insert(*path);
    }
    EXPECT_EQ(names.size(), 6u);
    EXPECT_TRUE(names.count(dir / first));
    EXPECT_TRUE(names.count(dir / (first.substr(0, first.size() - 4) + "-6.pdf")));
    EXPECT_FALSE(reserveDefaultExportPath(dir / "missing", ArtworkExporter::ExportFormat::png, now));
}
