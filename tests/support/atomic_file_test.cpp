#include "support/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../test_files.h"

using namespace murmura;
using namespace murmura::test;
namespace fs = std::filesystem;

namespace {

class AtomicFile : public ::testing::Test {
protected:
    static Expected<void, std::string> write(const fs::path& p, const std::string& text) {
        return writeFileAtomically(p, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    }
    size_t entries() const { return entryCount(dir_.path()); }

    ScratchDirectory dir_{"murmura-atomic"};
};

}  // namespace

TEST_F(AtomicFile, CreatesAndReplaces) {
    const fs::path file = dir_ / "a.json";
    ASSERT_TRUE(write(file, "first"));
    EXPECT_EQ(readFile(file), "first");
    ASSERT_TRUE(write(file, "second, longer"));
    EXPECT_EQ(readFile(file), "second, longer");
    EXPECT_EQ(entries(), 1u);  // no temporary file left behind
}

TEST_F(AtomicFile, KeepsPermissionBitsOfTheReplacedFile) {
    const fs::path file = dir_ / "a.json";
    ASSERT_TRUE(write(file, "x"));
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(write(file, "y"));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(AtomicFile, FailedWriteLeavesTheOldFileAndNoTemporary) {
    const fs::path file = dir_ / "a.json";
    ASSERT_TRUE(write(file, "previous contents"));
    Expected<void, std::string> r;
    {
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.active());
        r = write(file, std::string(5000, 'z'));
    }
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().find("Cannot write"), std::string::npos) << r.error();
    EXPECT_NE(r.error().find("File too large"), std::string::npos) << r.error();
    EXPECT_EQ(readFile(file), "previous contents");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicFile, MissingDirectoryFailsWithTheReason) {
    auto r = write(dir_.path() / "missing" / "a.json", "x");
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().find("No such file or directory"), std::string::npos) << r.error();
}

TEST_F(AtomicFile, ReplacingADirectoryFailsAndCleansUp) {
    fs::create_directory(dir_ / "a.json");
    auto r = write(dir_ / "a.json", "x");
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().find("Cannot replace"), std::string::npos) << r.error();
    EXPECT_TRUE(fs::is_directory(dir_ / "a.json"));
    EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicFile, OutputFilesFollowLinksAndAreCheckedBeforeLongWork) {
    writeFile(dir_ / "target", "old");
    std::filesystem::create_symlink(dir_ / "target", dir_ / "link");
    const std::string text = "new";
    ASSERT_TRUE(writeOutputFile(dir_ / "link", std::span(reinterpret_cast<const uint8_t*>(text.data()), 3)));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "link"));
    EXPECT_EQ(readFile(dir_ / "target"), "new");
    const std::pair<std::filesystem::path, bool> cases[] = {  // path, writable
        {dir_ / "target", true}, {dir_ / "new.json", true}, {"/dev/null", true}, {dir_.path(), false},
        {dir_ / "missing" / "a.json", false}, {dir_ / "target" / "a.json", false},
    };
    for (const auto& [path, writable] : cases) EXPECT_EQ(checkOutputWritable(path).hasValue(), writable) << path;
}
