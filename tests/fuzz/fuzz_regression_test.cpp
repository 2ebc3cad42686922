#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "fuzz/fuzz_targets.h"
#include "support/input_file.h"

using namespace murmura;
namespace fs = std::filesystem;

struct FuzzTarget {
    const char* name;
    std::function<void(std::span<const uint8_t>)> run;
};

class FuzzRegression : public ::testing::TestWithParam<FuzzTarget> {};

// Every seed and kept input runs through the target's checks, which abort on a failure.
TEST_P(FuzzRegression, KeptInputsPass) {
    size_t count = 0;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path dir = fs::path(MURMURA_SOURCE_DIR) / "fuzz" / kind / GetParam().name;
        for (const auto& entry : fs::directory_iterator(dir)) {
            auto bytes = readRegularFile(entry.path(), 16 * kMiB);
            ASSERT_TRUE(bytes) << entry.path();
            GetParam().run(*bytes);
            ++count;
        }
    }
    EXPECT_GT(count, 2u);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegression,
                         ::testing::Values(FuzzTarget{"sessionFile", fuzz::sessionFile},
                                           FuzzTarget{"catalog", fuzz::catalog},
                                           FuzzTarget{"pngImage", fuzz::pngImage}),
                         [](const auto& info) { return std::string(info.param.name); });
