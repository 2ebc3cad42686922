#include "support/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace murmura {

std::string describeByteLimit(uint64_t maxBytes) {
    if (maxBytes >= kMiB && maxBytes % kMiB == 0) return "larger than " + std::to_string(maxBytes / kMiB) + " MiB";
    return "larger than " + std::to_string(maxBytes) + " bytes";
}

Expected<InputFile, std::string> InputFile::open(const std::filesystem::path& path, uint64_t maxBytes) {
    // Non-blocking so that opening a FIFO without a writer returns at once; the flag has no
    // effect on the regular files that are then read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return unexpected(std::string("cannot open file: ") + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return unexpected(std::string("cannot read file: ") + std::strerror(error));
    }
    std::string refusal;
    if (S_ISDIR(st.st_mode))
        refusal = "cannot read file: is a directory";
    else if (!S_ISREG(st.st_mode))
        refusal = "cannot read file: not a regular file";
    else if (static_cast<uint64_t>(st.st_size) > maxBytes)
        refusal = "cannot read file: " + describeByteLimit(maxBytes);
    if (!refusal.empty()) {
        ::close(fd);
        return unexpected(std::move(refusal));
    }
    return InputFile(fd, static_cast<uint64_t>(st.st_size), maxBytes);
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_), maxBytes_(other.maxBytes_), consumed_(other.consumed_) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
        maxBytes_ = other.maxBytes_;
        consumed_ = other.consumed_;
    }
    return *this;
}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

Expected<size_t, std::string> InputFile::read(uint8_t* buffer, size_t capacity) {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, capacity);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return unexpected(std::string("cannot read file: ") + std::strerror(errno));
        consumed_ += static_cast<uint64_t>(n);
        if (consumed_ > maxBytes_) return unexpected("cannot read file: " + describeByteLimit(maxBytes_));
        return static_cast<size_t>(n);
    }
}

Expected<std::vector<uint8_t>, std::string> readRegularFile(const std::filesystem::path& path, uint64_t maxBytes) {
    auto file = InputFile::open(path, maxBytes);
    if (!file) return unexpected(file.error());
    std::vector<uint8_t> bytes(static_cast<size_t>(file->size()));
    size_t used = 0;
    for (;;) {
        if (used == bytes.size()) bytes.resize(bytes.size() + 64 * 1024);  // the file grew
        auto n = file->read(bytes.data() + used, bytes.size() - used);
        if (!n) return unexpected(n.error());
        if (*n == 0) break;
        used += *n;
    }
    bytes.resize(used);
    return bytes;
}

}  // namespace murmura
