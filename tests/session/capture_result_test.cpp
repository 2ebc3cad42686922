#include "session/capture_result.h"

#include <gtest/gtest.h>

#include "../test_events.h"
#include "../test_files.h"

using namespace murmura;

namespace {
std::string decodeError(const std::string& text) {
    auto r = decodeCaptureResult(Json::parse(text));
    EXPECT_FALSE(r) << text;
    return r ? "" : r.error().message();
}
}  // namespace

TEST(SessionFile, RoundTrips) {
    CaptureResult r;
    r.duration = 300;
    r.windowID = 42;
    r.windowFrame = Rect{-100, 20.5, 1440, 900};
    r.events = {test::move(0.01, 5, 6), test::down(0.2, 5, 6), test::scroll(0.3)};
    const std::string text = encodeSessionFile(r);
    auto back = decodeCaptureResult(Json::parse(text));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, r);
    // One event per line.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
}

TEST(SessionFile, EmptyEventListIsValid) {
    auto r = decodeCaptureResult(Json::parse(R"({"duration": 0, "windowID": 0, "windowFrame": [0,0,10,10], "events": []})"));
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->events.empty());
}

TEST(SessionFile, RejectsMalformedHeaders) {
    EXPECT_EQ(decodeError("[]"), "expected an object, found an array");
    EXPECT_EQ(decodeError(R"({"windowID": 0, "windowFrame": [0,0,10,10], "events": []})"), "\"duration\": missing");
    EXPECT_EQ(decodeError(R"({"duration": -1, "windowID": 0, "windowFrame": [0,0,10,10], "events": []})"),
              "\"duration\": must not be negative");
    EXPECT_EQ(decodeError(R"({"duration": 1, "windowID": -1, "windowFrame": [0,0,10,10], "events": []})"),
              "\"windowID\": -1 is out of range 0...4294967295");
    EXPECT_EQ(decodeError(R"({"duration": 1, "windowID": 0, "windowFrame": [0,0,0,10], "events": []})"),
              "\"windowFrame\": width and height must be positive");
    EXPECT_EQ(decodeError(R"({"duration": 1, "windowID": 0, "windowFrame": [0,0,1e9,10], "events": []})"),
              "\"windowFrame\": width and height must be at most 8192");
    EXPECT_EQ(decodeError(R"({"duration": 1, "windowID": 0, "windowFrame": [0,0,10], "events": []})"),
              "\"windowFrame\": expected an array of 4 numbers, found an array of 3");
    EXPECT_EQ(decodeError(R"({"duration": 1, "windowID": 0, "windowFrame": [0,0,10,10], "events": {}})"),
              "\"events\": expected an array, found an object");
}

TEST(SessionFile, EventErrorsNameIndexAndKey) {
    const std::string head = R"({"duration": 1, "windowID": 0, "windowFrame": [0,0,10,10], "events": [)";
    const std::string good = R"({"id": "6BA7B810-9DAD-11D1-80B4-00C04FD430C8", "timestamp": 1, "type": "keyDown", "inScope": true})";
    EXPECT_EQ(decodeError(head + good + R"(, {"id": "6BA7B810-9DAD-11D1-80B4-00C04FD430C8", "timestamp": 1,
        "type": "keyDown", "inScope": true, "keyCode": 70000}]})"),
              "\"events[1].keyCode\": 70000 is out of range 0...65535");
    EXPECT_EQ(decodeError(head + R"(7]})"), "\"events[0]\": expected an object, found a number");
}

// (The streamed reading of valid files is checked against decodeCaptureResult by the fuzz
// regression test, on every seed.)
TEST(SessionFile, HostileFilesFailInOneLineNamingTheEventAndKey) {
    test::ScratchDirectory dir("session-files");
    const std::string head = R"({"duration": 1, "windowID": 0, "windowFrame": [0,0,10,10], "events": [)";
    const std::string event = R"({"id": "6BA7B810-9DAD-11D1-80B4-00C04FD430C8", "timestamp": 1, "type": "keyDown", "inScope": true})";
    const std::pair<std::string, std::string> cases[] = {
        {head + event + R"(, {"timestamp": 1e309}]})", "\"events[1].timestamp\": number out of range"},
        {head + event + R"(, {"id": 1}]})", "\"events[1].id\": expected a string, found a number"},
        {R"({"events": [], "windowFrame": [0,0,10,)" + std::string(400, '9') + "]}", "\"windowFrame[3]\": number out of range"},
        {R"({"duration": 1, "windowID": 0, "windowFrame": [0,0,10,10]})", "\"events\": missing"},
        {head + event + "]}" + std::string("\0\0trailing", 10), "malformed JSON: NUL byte at offset 170"},
    };
    for (const auto& [text, error] : cases) {
        test::writeFile(dir / "bad.json", text);
        EXPECT_EQ(readSessionFile((dir / "bad.json").string()).error(), error) << text.substr(0, 120);
    }
    EXPECT_EQ(readSessionFile("/dev/urandom").error(), "cannot read file: not a regular file");
}
