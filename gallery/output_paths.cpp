#include "gallery/output_paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace murmura {

namespace fs = std::filesystem;

namespace {

fs::path resolved(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    fs::path canonical = fs::weakly_canonical(absolute, ec);
    return ec ? absolute.lexically_normal() : canonical;
}

}  // namespace

Expected<void, std::string> checkOutputOutsideGallery(const fs::path& output, const fs::path& artworksDirectory) {
    const fs::path target = resolved(output);
    const fs::path gallery = resolved(artworksDirectory);
    // Compare whole components: /a/Artworks2 is not inside /a/Artworks.
    auto t = target.begin();
    for (auto g = gallery.begin(); g != gallery.end(); ++g, ++t) {
        if (t == target.end() || *t != *g) return {};
    }
    return unexpected("refusing to write " + output.string() + ": it is inside the artworks directory " +
                      gallery.string());
}

Expected<fs::path, std::string> reserveDefaultExportPath(const fs::path& directory,
                                                         ArtworkExporter::ExportFormat format,
                                                         std::chrono::system_clock::time_point now) {
    const std::string name = ArtworkExporter::defaultFilename(format, now);
    const std::string extension = "." + std::string(ArtworkExporter::extension(format));
    const std::string stem = name.substr(0, name.size() - extension.size());
    for (int n = 1; n <= 10000; ++n) {
        const fs::path candidate = directory / (n == 1 ? name : stem + "-" + std::to_string(n) + extension);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        if (errno != EEXIST) return unexpected("Cannot create " + candidate.string() + ": " + std::strerror(errno));
    }
    return unexpected("Cannot create an export file in " + directory.string() + ": too many files named " + name);
}

}  // namespace murmura
