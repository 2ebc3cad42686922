#pragma once
// Where the commands that write files a person names (exports, renders) may write them.
#include <chrono>
#include <filesystem>
#include <string>

#include "gallery/artwork_exporter.h"
#include "support/expected.h"

namespace murmura {

// Refuses an output path that resolves (following symbolic links and "..") to the artworks
// directory or anything inside it: a file written there could replace the catalog or an
// artwork's image. The error is one line.
Expected<void, std::string> checkOutputOutsideGallery(const std::filesystem::path& output,
                                                      const std::filesystem::path& artworksDirectory);

// A default export name in directory that no other file has: ArtworkExporter::defaultFilename,
// or, when that is taken, the same name with "-2", "-3", ... before the extension. The file is
// created empty and exclusively, so that exports in the same second, in this process or in
// others, never share one; the export then replaces it (and should remove it on failure).
Expected<std::filesystem::path, std::string> reserveDefaultExportPath(
    const std::filesystem::path& directory, ArtworkExporter::ExportFormat format,
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

}  // namespace murmura
