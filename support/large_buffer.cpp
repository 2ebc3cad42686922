#include "support/large_buffer.h"

#include <cstdlib>

#include <sys/mman.h>

namespace murmura {

void* allocateLarge(std::size_t bytes) {
    constexpr std::size_t kHugePage = std::size_t(2) << 20;
    if (bytes > static_cast<std::size_t>(-1) - kHugePage) throw std::bad_alloc();  // rounding up would wrap
    void* p = nullptr;
    if (bytes >= kHugePage) {
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        p = std::aligned_alloc(kHugePage, rounded);
        // Only a hint: where huge pages are off or unavailable the block keeps ordinary pages.
        if (p) madvise(p, rounded, MADV_HUGEPAGE);
    } else {
        p = std::malloc(bytes > 0 ? bytes : 1);
    }
    if (!p) throw std::bad_alloc();
    return p;
}

void freeLarge(void* p) noexcept { std::free(p); }

}  // namespace murmura
