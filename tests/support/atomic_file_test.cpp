#include "support/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../test_files.h"

using namespace murmura;
using namespace murmura::test;
namespace fs = std::filesystem;

namespace {
Expected<void, std::string> write(const fs::path& p, const std::string& text) {
    return writeFileAtomically(p, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}
}  // namespace

TEST(AtomicFile, ReplacesKeepingPermissionsAndLeavesNoTemporary) {
    const ScratchDirectory dir("murmura-atomic");
    const fs::path file = dir / "a.json";
    ASSERT_TRUE(write(file, "first"));
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(write(file, "second, longer"));
    EXPECT_EQ(readFile(file), "second, longer");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(entryCount(dir.path()), 1u);
}

TEST(AtomicFile, FailuresNameTheReasonAndKeepTheOldFile) {
    const ScratchDirectory dir("murmura-atomic");
    const fs::path file = dir / "a.json";
    ASSERT_TRUE(write(file, "previous contents"));
    Expected<void, std::string> full;
    {
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.active());
        full = write(file, std::string(5000, 'z'));
    }
    ASSERT_FALSE(full);
    EXPECT_NE(full.error().find("Cannot write"), std::string::npos) << full.error();
    EXPECT_NE(full.error().find("File too large"), std::string::npos) << full.error();
    EXPECT_EQ(readFile(file), "previous contents");

    auto missing = write(dir / "missing" / "a.json", "x");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find("No such file or directory"), std::string::npos) << missing.error();

    fs::create_directory(dir / "d");
    auto overDirectory = write(dir / "d", "x");
    ASSERT_FALSE(overDirectory);
    EXPECT_NE(overDirectory.error().find("Cannot replace"), std::string::npos) << overDirectory.error();
    EXPECT_TRUE(fs::is_directory(dir / "d"));
    EXPECT_EQ(entryCount(dir.path()), 2u);  // no temporary left by any failure
}
