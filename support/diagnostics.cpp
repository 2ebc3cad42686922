#include "support/diagnostics.h"

#include <atomic>
#include <mutex>

namespace murmura {
namespace {
std::atomic<std::FILE*> gStream{nullptr};
std::mutex gMutex;
}  // namespace

void setDiagnosticStream(std::FILE* stream) { gStream.store(stream); }

void diagnostic(std::string_view line) {
    std::FILE* stream = gStream.load();
    if (!stream) stream = stdout;
    std::lock_guard lock(gMutex);
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

}  // namespace murmura
