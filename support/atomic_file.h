#pragma once
// Replacing a file so that a crash or a failed write never leaves a half-written one.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "support/expected.h"

namespace murmura {

// Writes bytes to a new temporary file beside path, flushes it to disk, renames it over path
// and flushes the directory: readers see the old file or the new one, never a mix. On failure
// the temporary file is removed and path is untouched; the error names the file and the
// system's reason. An existing file's permission bits are kept.
Expected<void, std::string> writeFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes);

struct OutputWriteError {
    bool created = false;  // false: the file could not even be created or opened
    std::string message;   // names the file and the system's reason
};

// Writes a file the user named. A new file, or an existing regular file (also through a
// symbolic link), is replaced atomically as above: a failed write leaves the old file as it
// was. Anything else that exists (a device such as /dev/stdout, a FIFO) is written in place,
// every write and the close checked. A directory fails.
Expected<void, OutputWriteError> writeOutputFile(const std::filesystem::path& path, std::span<const uint8_t> bytes);

// Whether writeOutputFile could write path now, without writing anything: an existing file must
// be writable and not a directory; a new file needs a writable directory. For commands that
// would otherwise find out only after long work (a recording). The error is one line.
Expected<void, std::string> checkOutputWritable(const std::filesystem::path& path);

}  // namespace murmura
