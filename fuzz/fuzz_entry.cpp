// libFuzzer entry for one target, chosen at compile time (MURMURA_FUZZ_TARGET).
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    murmura::fuzz::MURMURA_FUZZ_TARGET(std::span<const uint8_t>(data, size));
    return 0;
}
