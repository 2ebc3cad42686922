#pragma once
// Memory for large buffers (fields, images, planes). A 4K render touches about 100 MB of fresh
// memory, and with 4 KiB pages each first touch of a page is a fault of its own: blocks of 2 MiB
// or more are therefore aligned to 2 MiB and offered to the kernel as transparent huge pages,
// which fault 512 times less often.
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace murmura {

// At least `bytes` bytes (bad_alloc when they cannot be had); release with freeLarge.
void* allocateLarge(std::size_t bytes);
void freeLarge(void* p) noexcept;

template <class T>
struct LargeBufferAllocator {
    using value_type = T;
    LargeBufferAllocator() = default;
    template <class U>
    LargeBufferAllocator(const LargeBufferAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(allocateLarge(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t) noexcept { freeLarge(p); }
    // Elements made without a value are default-initialised, so that a buffer its user
    // overwrites entirely is not written twice (and first touched by one thread).
    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U>
    bool operator==(const LargeBufferAllocator<U>&) const noexcept {
        return true;
    }
};

struct LargeBufferDeleter {
    void operator()(void* p) const noexcept { freeLarge(p); }
};

// An uninitialised array of n trivially constructible values, or nullptr without memory.
template <class T>
std::unique_ptr<T[], LargeBufferDeleter> makeLargeArray(std::size_t n) noexcept {
    static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>);
    try {
        return std::unique_ptr<T[], LargeBufferDeleter>(LargeBufferAllocator<T>().allocate(n));
    } catch (const std::bad_alloc&) {  // bad_array_new_length too
        return nullptr;
    }
}

}  // namespace murmura
