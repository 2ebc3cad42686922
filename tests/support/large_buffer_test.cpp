#include "support/large_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

using namespace murmura;

// Large blocks start on a 2 MiB boundary (so that they can be huge pages); every block holds
// what is written to it, small and empty requests included; impossible sizes fail cleanly.
TEST(LargeBuffer, AllocatesAlignedUsableBlocksAndRefusesImpossibleSizes) {
    for (std::size_t bytes : {std::size_t(0), std::size_t(1), std::size_t(4096), std::size_t(2) << 20,
                              (std::size_t(5) << 20) + 3}) {
        auto block = makeLargeArray<uint8_t>(bytes);
        ASSERT_TRUE(block) << bytes;
        if (bytes >= (std::size_t(2) << 20)) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block.get()) % (2 << 20), 0u);
        }
        for (std::size_t i = 0; i < bytes; i += 4093) block[i] = static_cast<uint8_t>(i);
        for (std::size_t i = 0; i < bytes; i += 4093) ASSERT_EQ(block[i], static_cast<uint8_t>(i));
    }
    EXPECT_FALSE(makeLargeArray<uint16_t>(std::numeric_limits<std::size_t>::max() / 2));
    EXPECT_THROW(allocateLarge(std::numeric_limits<std::size_t>::max() - 4096), std::bad_alloc);
    LargeBufferAllocator<float> alloc;
    EXPECT_THROW(static_cast<void>(alloc.allocate(std::numeric_limits<std::size_t>::max() / 2)), std::bad_array_new_length);
}

// A vector on this allocator keeps the usual value semantics: sized construction fills with the
// given value, copies compare equal.
TEST(LargeBuffer, VectorsOnTheAllocatorBehaveAsVectors) {
    std::vector<uint8_t, LargeBufferAllocator<uint8_t>> a((std::size_t(3) << 20), 7);
    EXPECT_EQ(a.front(), 7);
    EXPECT_EQ(a.back(), 7);
    auto b = a;
    b[12345] = 1;
    EXPECT_NE(a, b);
    b[12345] = 7;
    EXPECT_EQ(a, b);
}
