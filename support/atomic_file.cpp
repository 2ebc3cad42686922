#include "support/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/uuid.h"

namespace murmura {
namespace {

std::string failure(const std::string& what, const std::filesystem::path& file, int error) {
    return what + " " + file.string() + ": " + std::strerror(error);
}

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

Expected<void, OutputWriteError> replaceAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    const std::filesystem::path directory = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::filesystem::path temporary;
    int fd = -1;
    // The random suffix keeps two writers (the application and murmura-cli) apart.
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        temporary = path;
        temporary += "." + Uuid::random().toString().substr(0, 8) + ".tmp";
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return unexpected(OutputWriteError{false, failure("Cannot create", temporary, errno)});

    auto abandon = [&](const std::string& message) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return unexpected(OutputWriteError{true, message});
    };
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) (void)::fchmod(fd, existing.st_mode & 07777);
    if (!writeAll(fd, bytes)) return abandon(failure("Cannot write", temporary, errno));
    if (::fsync(fd) != 0) return abandon(failure("Cannot flush", temporary, errno));
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return unexpected(OutputWriteError{true, failure("Cannot write", temporary, error)});
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return unexpected(OutputWriteError{true, failure("Cannot replace", path, error)});
    }
    // Makes the rename itself durable; some file systems cannot sync a directory, which only
    // weakens durability after a power cut, not the atomicity of the replacement.
    const int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    return {};
}

Expected<void, OutputWriteError> writeInPlace(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return unexpected(OutputWriteError{false, failure("Cannot open", path, errno)});
    if (!writeAll(fd, bytes)) {
        const int error = errno;
        ::close(fd);
        return unexpected(OutputWriteError{true, failure("Cannot write", path, error)});
    }
    if (::close(fd) != 0) return unexpected(OutputWriteError{true, failure("Cannot write", path, errno)});
    return {};
}

}  // namespace

Expected<void, std::string> writeFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    auto written = replaceAtomically(path, bytes);
    if (!written) return unexpected(written.error().message);
    return {};
}

Expected<void, OutputWriteError> writeOutputFile(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return unexpected(OutputWriteError{false, failure("Cannot write", path, errno)});
        return replaceAtomically(path, bytes);
    }
    if (S_ISDIR(st.st_mode)) return unexpected(OutputWriteError{false, failure("Cannot write", path, EISDIR)});
    if (!S_ISREG(st.st_mode)) return writeInPlace(path, bytes);
    // Replace the file a link points to, not the link.
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::canonical(path, ec);
    return replaceAtomically(ec ? path : target, bytes);
}

Expected<void, std::string> checkOutputWritable(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return unexpected(failure("Cannot write", path, EISDIR));
        // A regular file is replaced through a temporary file beside it; anything else in place.
        if (!S_ISREG(st.st_mode)) {
            if (::access(path.c_str(), W_OK) != 0) return unexpected(failure("Cannot write", path, errno));
            return {};
        }
    } else if (errno != ENOENT) {
        return unexpected(failure("Cannot write", path, errno));
    }
    const std::filesystem::path directory = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    if (::stat(directory.c_str(), &st) != 0) return unexpected(failure("Cannot write into", directory, errno));
    if (!S_ISDIR(st.st_mode)) return unexpected(failure("Cannot write into", directory, ENOTDIR));
    if (::access(directory.c_str(), W_OK | X_OK) != 0) return unexpected(failure("Cannot write into", directory, errno));
    return {};
}

}  // namespace murmura
