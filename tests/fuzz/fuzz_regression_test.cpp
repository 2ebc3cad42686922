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
        for (const char* kind : {"corpus", "regressions"}) {
            const fs::path dir = fs::path(MURMURA_SOURCE_DIR) / "fuzz" / kind / name;
            if (!fs::is_directory(dir)) continue;  // a target with no kept crash yet has no folder
            for (const auto& entry : fs::directory_iterator(dir)) {
                auto bytes = readRegularFile(entry.path(), 16 * kMiB);
                ASSERT_TRUE(bytes) << entry.path();
                run(*bytes);
                ++count;
            }
        }
        EXPECT_GT(count, 2u) << name;
    }
}
