// murmura-cli windows and capture on a real server, as a user would run them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "session/capture_result.h"
#include "support/clock.h"
#include "support/json.h"
#include "x_session.h"

using namespace murmura;
using namespace murmura::test;
namespace fs = std::filesystem;

namespace {

class CliCapture : public ::testing::Test {
protected:
    void SetUp() override {
        MURMURA_REQUIRE_X_TOOLS();
        session_ = std::make_unique<XSession>();
        ASSERT_TRUE(session_->ok()) << session_->error();
        dir_ = fs::temp_directory_path() / ("murmura-x11-cli-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        if (capture_.pid > 0) capture_.stop(1.0);
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    // Starts `murmura-cli capture ...` and waits for it to say that recording has begun.
    bool startCapture(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {MURMURA_CLI, "capture"};
        argv.insert(argv.end(), args.begin(), args.end());
        int err[2];
        if (pipe2(err, O_CLOEXEC) != 0) return false;
        capture_ = spawnProcess(argv, -1, -1, err[1]);
        close(err[1]);
        errFd_ = err[0];
        const double deadline = SystemClock::shared().uptime() + 20.0;
        while (stderr_.find("Recording") == std::string::npos) {
            const double left = deadline - SystemClock::shared().uptime();
            pollfd p{errFd_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left * 1000) + 1) <= 0) return false;
            char buffer[512];
            const ssize_t n = read(errFd_, buffer, sizeof buffer);
            if (n <= 0) return false;
            stderr_.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }
    std::optional<int> finishCapture(double timeout) {
        auto status = capture_.wait(timeout);
        char buffer[512];
        ssize_t n;
        while ((n = read(errFd_, buffer, sizeof buffer)) > 0) stderr_.append(buffer, static_cast<size_t>(n));
        close(errFd_);
        return status;
    }

    std::unique_ptr<XSession> session_;
    fs::path dir_;
    ChildProcess capture_;
    int errFd_ = -1;
    std::string stderr_;
};

}  // namespace

TEST_F(CliCapture, ListsWindowsThenRecordsASessionThatThePipelineReads) {
    const auto window = createWindow(session_->connection(), windowOptions("drawing board", "Board", 150, 120, 500, 400));
    ASSERT_TRUE(waitForManagedWindows(session_->connection(), {window}));
    auto frame = frameFromTools(session_->display(), window);
    ASSERT_TRUE(frame.has_value());

    auto listing = runCommand({MURMURA_CLI, "windows"});
    ASSERT_EQ(listing.status, 0) << listing.out;
    Json windows = Json::parse(listing.out);
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0]["id"], 0);
    EXPECT_EQ(windows[0]["displayName"], "All Windows");
    EXPECT_EQ(windows[1]["id"], window);
    EXPECT_EQ(windows[1]["displayName"], "Board \xE2\x80\x94 drawing board");
    EXPECT_EQ(windows[1]["frame"], Json::array({frame->x, frame->y, frame->width, frame->height}));

    const std::string out = (dir_ / "session.json").string();
    ASSERT_TRUE(startCapture({"--seconds", "2.5", "--window", std::to_string(window), "--out", out})) << stderr_;
    const int x = static_cast<int>(frame->x) + 100;
    const int y = static_cast<int>(frame->y) + 100;
    ASSERT_EQ(runCommand({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "mousedown", "1",
                          "mousemove", std::to_string(x + 30), std::to_string(y + 30), "mouseup", "1", "click",
                          "5", "key", "Return"})
                  .status,
              0);
    auto status = finishCapture(20.0);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0) << stderr_;

    auto session = readSessionFile(out);
    ASSERT_TRUE(session) << session.error();
    EXPECT_EQ(session->duration, 2.5);
    EXPECT_EQ(session->windowID, window);
    EXPECT_EQ(session->windowFrame, *frame);
    std::vector<EventType> types;
    for (const auto& e : session->events) types.push_back(e.type);
    const std::vector<EventType> expected = {EventType::mouseMove,    EventType::mouseDown, EventType::mouseDragged,
                                             EventType::mouseUp,      EventType::scrollWheel, EventType::keyDown,
                                             EventType::keyUp};
    ASSERT_EQ(types, expected);
    EXPECT_EQ(session->events[0].position, (Point{static_cast<double>(x), static_cast<double>(y)}));
    EXPECT_TRUE(session->events[0].inScope);
    EXPECT_EQ(session->events[4].delta, (Vector{0, -10}));
    EXPECT_EQ(session->events[5].keyCode, 36);
    EXPECT_NE(stderr_.find("Recorded 7 events"), std::string::npos) << stderr_;

    // The recorded file goes through the same analysis as any session.
    auto segments = runCommand({MURMURA_CLI, "segments", out});
    ASSERT_EQ(segments.status, 0);
    EXPECT_FALSE(Json::parse(segments.out)["segments"].empty());
    auto styles = Json::parse(runCommand({MURMURA_CLI, "styles", "--all"}).out);
    if (!styles.empty()) {
        const std::string png = (dir_ / "art.png").string();
        EXPECT_EQ(runCommand({MURMURA_CLI, "render", out, "--style", styles[0]["id"].get<std::string>(), "--out", png},
                             120.0)
                      .status,
                  0);
        EXPECT_TRUE(fs::exists(png));
    }
}

TEST_F(CliCapture, InterruptStopsEarlyAndKeepsWhatWasRecorded) {
    const std::string out = (dir_ / "short.json").string();
    ASSERT_TRUE(startCapture({"--seconds", "600", "--all", "--out", out})) << stderr_;
    ASSERT_EQ(runCommand({"xdotool", "mousemove", "640", "100", "key", "BackSpace"}).status, 0);
    // Give the capture a moment to read the events before asking it to stop.
    const double until = SystemClock::shared().uptime() + 0.5;
    while (SystemClock::shared().uptime() < until) usleep(10000);
    kill(capture_.pid, SIGINT);
    auto status = finishCapture(10.0);
    ASSERT_TRUE(status.has_value()) << "capture did not stop on SIGINT";
    EXPECT_EQ(*status, 0) << stderr_;
    auto session = readSessionFile(out);
    ASSERT_TRUE(session) << session.error();
    EXPECT_EQ(session->windowID, 0u);
    EXPECT_EQ(session->windowFrame, (Rect{0, 0, 1280, 800}));
    ASSERT_EQ(session->events.size(), 3u);
    EXPECT_EQ(session->events[0].position, (Point{640, 100}));
    EXPECT_TRUE(session->events[0].inScope);
    EXPECT_EQ(session->events[1].keyCode, 51);
}

TEST_F(CliCapture, FailsWithOneLineWithoutADisplayOrForAMissingWindow) {
    auto missing = runCommand({MURMURA_CLI, "capture", "--seconds", "1", "--window", "12345", "--out",
                               (dir_ / "x.json").string()},
                              20.0, true);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "murmura-cli: capture: Window 12345 not found\n");
    const std::string saved = session_->display();
    setenv("DISPLAY", ":987654", 1);
    auto noDisplay = runCommand({MURMURA_CLI, "windows"}, 20.0, true);
    auto noCapture = runCommand({MURMURA_CLI, "capture", "--seconds", "1", "--out", (dir_ / "x.json").string()}, 20.0,
                                true);
    setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(noDisplay.status, 1);
    EXPECT_EQ(noDisplay.out, "murmura-cli: windows: cannot open the X11 display (is DISPLAY set?)\n");
    EXPECT_EQ(noCapture.status, 1);
    EXPECT_EQ(std::count(noCapture.out.begin(), noCapture.out.end(), '\n'), 1) << noCapture.out;
    EXPECT_FALSE(fs::exists(dir_ / "x.json"));
}
