#pragma once
// Reading the files the program is handed (sessions, the catalog, images): regular files only,
// up to a size limit, so that a device, a FIFO or a runaway file can neither hang a command nor
// exhaust memory. Errors are one line, without the path (the caller names the file).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/expected.h"

namespace murmura {

inline constexpr uint64_t kMiB = uint64_t(1) << 20;

// An open regular file read in chunks. Move-only; closes on destruction.
class InputFile {
public:
    // Fails when path is missing, unreadable, a directory, not a regular file (a device, a FIFO,
    // a socket: opened without blocking, never read) or larger than maxBytes.
    static Expected<InputFile, std::string> open(const std::filesystem::path& path, uint64_t maxBytes);

    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // Size when opened.
    uint64_t size() const { return size_; }
    // Up to capacity bytes; 0 at the end. Fails on a read error, or once more than the limit
    // has been read (a file that grows while it is read).
    Expected<size_t, std::string> read(uint8_t* buffer, size_t capacity);

private:
    InputFile(int fd, uint64_t size, uint64_t maxBytes) : fd_(fd), size_(size), maxBytes_(maxBytes) {}
    int fd_ = -1;
    uint64_t size_ = 0;
    uint64_t maxBytes_ = 0;
    uint64_t consumed_ = 0;
};

// The whole file, under the same rules.
Expected<std::vector<uint8_t>, std::string> readRegularFile(const std::filesystem::path& path, uint64_t maxBytes);

// "larger than 64 MiB" and the like, for errors that quote a limit.
std::string describeByteLimit(uint64_t maxBytes);

}  // namespace murmura
