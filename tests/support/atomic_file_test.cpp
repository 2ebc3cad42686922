#include "support/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace murmura;
namespace fs = std::filesystem;

namespace {

class AtomicFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("murmura-atomic-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static Expected<void, std::string> write(const fs::path& p, const std::string& text) {
        return writeFileAtomically(p, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    }
    size_t entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {})); }

    fs::path dir_;
};

}  // namespace

TEST_F(AtomicFile, CreatesAndReplaces) {
    const fs::path file = dir_ / "a.json";
    ASSERT_TRUE(write(file, "first"));
    EXPECT_EQ(read(file), "first");
    ASSERT_TRUE(write(file, "second, longer"));
    EXPECT_EQ(read(file), "second, longer");
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
    // A file-size limit makes the write fail part-way, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    auto r = write(file, std::string(5000, 'z'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().find("Cannot write"), std::string::npos) << r.error();
    EXPECT_NE(r.error().find("File too large"), std::string::npos) << r.error();
    EXPECT_EQ(read(file), "previous contents");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicFile, MissingDirectoryFailsWithTheReason) {
    auto r = write(dir_ / "missing" / "a.json", "x");
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
