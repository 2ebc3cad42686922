// murmura-cli windows and capture on a real server, as a user would run them.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "../test_files.h"
#include "session/capture_result.h"
#include "support/json.h"
#include "x_session.h"

using namespace murmura;
using namespace murmura::test;

namespace {

class CliCapture : public XTest {
protected:
    void TearDown() override {
        if (capture_.pid > 0) capture_.stop(1.0);
        if (errFd_ >= 0) close(errFd_);
    }
    // Starts `murmura-cli capture ...` and waits until it says that recording has begun.
    bool startCapture(std::vector<std::string> args) {
        args.insert(args.begin(), {MURMURA_CLI, "capture"});
        int err[2];
        if (pipe2(err, O_CLOEXEC) != 0) return false;
        capture_ = spawnProcess(args, -1, -1, err[1]);
        close(err[1]);
        errFd_ = err[0];
        return readUntil(errFd_, stderr_, 20.0, [](const std::string& s) { return s.find("Recording") != std::string::npos; });
    }
    std::optional<int> finishCapture(double timeout) {
        auto status = capture_.wait(timeout);
        readUntil(errFd_, stderr_, 1.0);
        return status;
    }

    ScratchDirectory dir_{"murmura-x11-cli"};
    ChildProcess capture_;
    int errFd_ = -1;
    std::string stderr_;
};

}  // namespace

TEST_F(CliCapture, ListsWindowsRecordsUntilInterruptedAndFailsWithOneLine) {
    const auto window = managedWindow({"drawing board", "Board", 150, 120, 500, 400});
    const auto frame = frameFromTools(session_->display(), window);
    ASSERT_TRUE(frame.has_value());
    auto listing = runCommand({MURMURA_CLI, "windows"});
    ASSERT_EQ(listing.status, 0) << listing.out;
    const Json windows = Json::parse(listing.out);
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0]["id"], 0);
    EXPECT_EQ(windows[1]["id"], window);
    EXPECT_EQ(windows[1]["displayName"], "Board \xE2\x80\x94 drawing board");
    EXPECT_EQ(windows[1]["frame"], Json::array({frame->x, frame->y, frame->width, frame->height}));

    const std::string out = (dir_ / "session.json").string();
    ASSERT_TRUE(startCapture({"--seconds", "600", "--window", std::to_string(window), "--out", out})) << stderr_;
    const int x = static_cast<int>(frame->x) + 100, y = static_cast<int>(frame->y) + 100;
    xdotool({"mousemove", std::to_string(x), std::to_string(y), "mousedown", "1", "mousemove", std::to_string(x + 30),
             std::to_string(y + 30), "mouseup", "1", "click", "5", "key", "Return"});
    idle(0.5);  // a moment to read the events before being asked to stop
    kill(capture_.pid, SIGINT);
    EXPECT_EQ(finishCapture(10.0), 0) << "no clean stop on SIGINT: " << stderr_;
    auto session = readSessionFile(out);
    ASSERT_TRUE(session) << session.error();
    EXPECT_EQ(session->windowID, window);
    EXPECT_EQ(session->windowFrame, *frame);
    // The events as recorded (their translation is the capture tests' subject).
    ASSERT_EQ(session->events.size(), 7u);
    EXPECT_EQ(session->events[0].position, (Point{double(x), double(y)}));
    EXPECT_TRUE(session->events[0].inScope);
    EXPECT_NE(stderr_.find("Recorded 7 events"), std::string::npos) << stderr_;

    auto missing = runCommand({MURMURA_CLI, "capture", "--seconds", "1", "--window", "12345", "--out", out + "2"}, 20.0, true);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "murmura-cli: capture: Window 12345 not found\n");
    setenv("DISPLAY", ":987654", 1);
    auto noDisplay = runCommand({MURMURA_CLI, "windows"}, 20.0, true);
    auto noCapture = runCommand({MURMURA_CLI, "capture", "--seconds", "1", "--all", "--out", out + "2"}, 20.0, true);
    setenv("DISPLAY", session_->display().c_str(), 1);
    EXPECT_EQ(noDisplay.status, 1);
    EXPECT_EQ(noDisplay.out, "murmura-cli: windows: cannot open the X11 display (is DISPLAY set?)\n");
    EXPECT_EQ(noCapture.status, 1);
    EXPECT_EQ(std::count(noCapture.out.begin(), noCapture.out.end(), '\n'), 1) << noCapture.out;
    EXPECT_FALSE(std::filesystem::exists(out + "2"));
}
