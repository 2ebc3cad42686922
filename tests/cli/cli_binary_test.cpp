// The murmura-cli binary as a user runs it: exit status and one line on standard error.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "../test_files.h"

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

Outcome cli(const murmura::test::ScratchDirectory& dir, const std::string& args) {
    const std::string out = (dir / "stdout").string(), err = (dir / "stderr").string();
    const int raw = std::system((std::string(MURMURA_CLI) + " " + args + " >" + out + " 2>" + err).c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), murmura::test::readFile(out),
            murmura::test::readFile(err)};
}

}  // namespace

TEST(CliBinary, OneErrorLineOnStandardErrorAndCleanStandardOutput) {
    murmura::test::ScratchDirectory dir("murmura-cli-binary");
    const std::string trunc = (dir / "trunc.json").string();
    murmura::test::writeFile(trunc, "{\"duration\": 3");
    Outcome r = cli(dir, "segments " + trunc);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("murmura-cli: " + trunc + ": malformed JSON", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_EQ(r.out + cli(dir, "").out, "");
    // Renderers' progress lines go to standard error.
    const std::string sample = std::string(MURMURA_SOURCE_DIR) + "/data/sample-session.json";
    r = cli(dir, "render " + sample + " --style graffo --width 96 --height 60 --out " + (dir / "a.png").string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(murmura::test::readFile(dir / "a.png").substr(1, 3), "PNG");
}
