#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/fuzz_targets.h"
#include "support/input_file.h"

using namespace murmura;
namespace fs = std::filesystem;

// Every seed and kept input runs through each target's checks, which abort on a failure.
TEST(FuzzRegression, KeptInputsPass) {
    const std::pair<const char*, void (*)(std::span<const uint8_t>)> targets[] = {
        {"sessionFile", fuzz::sessionFile}, {"catalog", fuzz::catalog}, {"pngImage", fuzz::pngImage}};
    for (const auto& [name, run] : targets) {
        size_t count = 0;
        for (const char* kind : {"corpus", "regressions"})
            for (const auto& entry : fs::directory_iterator(fs::path(MURMURA_SOURCE_DIR) / "fuzz" / kind / name)) {
                auto bytes = readRegularFile(entry.path(), 16 * kMiB);
                ASSERT_TRUE(bytes) << entry.path();
                run(*bytes);
                ++count;
            }
        EXPECT_GT(count, 2u) << name;
    }
}
