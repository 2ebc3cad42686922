#include "fuzz/fuzz_targets.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "gallery/artwork_record.h"
#include "rendering/png_io.h"
#include "session/capture_result.h"

namespace murmura::fuzz {
namespace {

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz property failed: %s\n", what);
    std::abort();
}

std::string_view text(std::span<const uint8_t> input) {
    return {reinterpret_cast<const char*>(input.data()), input.size()};
}

// The input as a regular file without touching the disk: a memory file, opened by its path.
std::string asFile(std::span<const uint8_t> input) {
    static const int fd = ::memfd_create("fuzz-input", 0);
    check(fd >= 0, "memfd_create");
    check(::ftruncate(fd, 0) == 0 && ::pwrite(fd, input.data(), input.size(), 0) == ssize_t(input.size()),
          "writing the memory file");
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

void sessionFile(std::span<const uint8_t> input) {
    auto streamed = readSessionFile(asFile(input));
    auto parsed = parseJson(text(input));
    if (!parsed) {
        check(!streamed, "the file reader accepted what the parser refused");
        return;
    }
    auto decoded = decodeCaptureResult(*parsed);
    if (streamed) {
        check(decoded.hasValue(), "the file reader accepted what the decoder refused");
        check(*streamed == *decoded, "the file reader and the decoder disagree");
    }
}

void catalog(std::span<const uint8_t> input) {
    auto parsed = parseJson(text(input));
    if (!parsed) return;
    auto records = decodeCatalog(*parsed);
    if (!records) return;
    auto written = encodeCatalog(*records);
    check(written.hasValue(), "a decoded catalog could not be written");
    auto reparsed = parseJson(*written);
    check(reparsed.hasValue(), "a written catalog does not parse");
    auto reread = decodeCatalog(*reparsed);
    check(reread.hasValue(), "a written catalog does not decode");
    check(reread->size() == records->size(), "a written catalog lost records");
    auto rewritten = encodeCatalog(*reread);
    check(rewritten && *rewritten == *written, "writing a catalog twice gives different text");
}

void pngImage(std::span<const uint8_t> input) {
    auto image = decodePng(input);
    if (!image) return;
    check(image->width() > 0 && image->height() > 0 && image->width() * image->height() <= RgbaImage::kMaxPixels,
          "decoded size out of bounds");
    check(image->byteCount() == static_cast<size_t>(image->width() * image->height() * 4), "pixel buffer size");
    for (size_t i = 0; i < image->byteCount(); i += 4)
        for (int c = 0; c < 3; ++c) check(image->data()[i + c] <= image->data()[i + 3], "not premultiplied");
    auto again = encodePng(*image);
    check(again.hasValue(), "a decoded image does not encode");
    auto back = decodePng(*again);
    check(back && back->width() == image->width() && back->height() == image->height(), "re-encoding changed size");
}

}  // namespace murmura::fuzz
