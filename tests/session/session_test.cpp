// Session files: events and capture results to JSON and back, malformed input, redaction, and
// the synthetic session generator.
#include <gtest/gtest.h>

#include <map>

#include "../test_events.h"
#include "../test_files.h"
#include "session/capture_result.h"
#include "session/raw_event.h"
#include "session/session_file_fast.h"
#include "session/synthetic_session.h"
#include "support/random.h"

using namespace murmura;

namespace {
const std::string kId = R"("id": "6BA7B810-9DAD-11D1-80B4-00C04FD430C8")";
const std::string kEvent = "{" + kId + R"(, "timestamp": 1, "type": "mouseMove", "inScope": true)";

std::string session(const std::string& header, const std::string& events = "[]") {
    return "{" + header + R"(, "events": )" + events + "}";
}
const std::string kHeader = R"("duration": 1, "windowID": 0, "windowFrame": [0,0,10,10])";
}  // namespace

TEST(EventType, RawValuesRoundTripCaseSensitively) {
    for (EventType t : kAllEventTypes) EXPECT_EQ(eventTypeFromRaw(rawValue(t)), t);
    EXPECT_EQ(rawValue(EventType::appResignedActive), "appResignedActive");
    EXPECT_FALSE(eventTypeFromRaw("MouseMove"));
}

TEST(SessionFile, RoundTripsEveryFieldOneEventPerLine) {
    RawEvent full = test::scroll(12.25, -10);
    full.position = Point{10.5, -3};
    full.windowID = 4294967295u;
    full.keyCode = 65535;
    full.mouseButton = -9;
    RawEvent bare;
    bare.type = EventType::appBecameActive;
    std::vector<std::string> keys;
    const Json bareJson = encode(bare);
    for (auto& [k, v] : bareJson.items()) keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{"id", "timestamp", "type", "inScope"}));  // absent optionals omitted

    const CaptureResult r{{test::move(0.01, 5, 6), full, bare}, 300, 42, Rect{-100, 20.5, 1440, 900}};
    const std::string text = encodeSessionFile(r);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
    EXPECT_NE(text.find(full.id.toString()), std::string::npos);  // upper-case canonical id
    auto back = decodeCaptureResult(Json::parse(text));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, r);
}

TEST(SessionFile, AcceptsNullOptionalsLowerCaseIdsAndNoEvents) {
    auto e = decodeRawEvent(Json::parse(
        R"({"id": "6ba7b810-9dad-11d1-80b4-00c04fd430c8", "timestamp": 0.5, "type": "keyDown", "position": [10.5, -3],
            "inScope": false, "delta": null, "windowID": null, "keyCode": 36, "mouseButton": null})"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->position, (Point{10.5, -3}));
    EXPECT_FALSE(e->delta || e->windowID || e->mouseButton);
    EXPECT_EQ(e->keyCode, 36);
    EXPECT_EQ(e->id.toString(), "6BA7B810-9DAD-11D1-80B4-00C04FD430C8");
    auto empty = decodeCaptureResult(Json::parse(session(kHeader)));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->events.empty());
}

TEST(SessionFile, MalformedInputIsRefusedNamingTheKeyPath) {
    const std::pair<std::string, std::string> cases[] = {
        {"[]", "expected an object, found an array"},
        {session(R"("windowID": 0, "windowFrame": [0,0,10,10])"), "\"duration\": missing"},
        {session(R"("duration": -1, "windowID": 0, "windowFrame": [0,0,10,10])"), "\"duration\": must not be negative"},
        {session(R"("duration": 1, "windowID": -1, "windowFrame": [0,0,10,10])"),
         "\"windowID\": -1 is out of range 0...4294967295"},
        {session(R"("duration": 1, "windowID": 0, "windowFrame": [0,0,0,10])"),
         "\"windowFrame\": width and height must be positive"},
        {session(R"("duration": 1, "windowID": 0, "windowFrame": [0,0,1e9,10])"),
         "\"windowFrame\": width and height must be at most 8192"},
        {session(R"("duration": 1, "windowID": 0, "windowFrame": [0,0,10])"),
         "\"windowFrame\": expected an array of 4 numbers, found an array of 3"},
        {session(kHeader, "{}"), "\"events\": expected an array, found an object"},
        {session(kHeader, "[7]"), "\"events[0]\": expected an object, found a number"},
        {session(kHeader, "[" + kEvent + "}, " + kEvent + R"(, "keyCode": 70000}])"),
         "\"events[1].keyCode\": 70000 is out of range 0...65535"},
        {session(kHeader, "[" + kEvent + R"(, "windowID": 4294967296}])"), "\"events[0].windowID\""},
        {session(kHeader, "[" + kEvent + R"(, "mouseButton": "left"}])"), "\"events[0].mouseButton\""},
        {session(kHeader, "[" + kEvent + R"(, "mouseButton": 9223372036854775808}])"), "\"events[0].mouseButton\""},
        {session(kHeader, "[" + kEvent + R"(, "position": [1, "2"]}])"), "\"events[0].position[1]\""},
        {session(kHeader, "[" + kEvent + R"(, "delta": {"dx": 1, "dy": 2}}])"), "\"events[0].delta\""},
        {session(kHeader, "[{" + kId + R"(, "timestamp": 1, "type": "mouseWheel", "inScope": true}])"),
         "\"events[0].type\""},
        {session(kHeader, "[{" + kId + R"(, "timestamp": "1", "type": "mouseMove", "inScope": true}])"),
         "\"events[0].timestamp\""},
        {session(kHeader, "[{" + kId + R"(, "timestamp": 1, "type": "mouseMove", "inScope": 1}])"),
         "\"events[0].inScope\""},
        {session(kHeader, "[{" + kId + R"(, "timestamp": 1, "type": "mouseMove"}])"), "\"events[0].inScope\""},
        {session(kHeader, R"([{"id": "nope", "timestamp": 1, "type": "mouseMove", "inScope": true}])"),
         "\"events[0].id\""},
        {session(kHeader, R"([{"timestamp": 1, "type": "mouseMove", "inScope": true}])"), "\"events[0].id\""},
        // Beyond what a parsed document can hold: numbers out of range, a NUL after the end.
        {session(kHeader, "[" + kEvent + R"(}, {"timestamp": 1e309}])"), "\"events[1].timestamp\": number out of range"},
        {session(kHeader, "[" + kEvent + R"(}, {"id": 1}])"), "\"events[1].id\": expected a string, found a number"},
        {R"({"events": [], "windowFrame": [0,0,10,)" + std::string(400, '9') + "]}", "\"windowFrame[3]\": number out of range"},
        {"{" + kHeader + "}", "\"events\": missing"},
        {session(kHeader) + std::string("\0\0trailing", 10), "malformed JSON: NUL byte at offset " + std::to_string(session(kHeader).size())},
    };
    // The streaming file reader and the decoder of a parsed document refuse alike.
    test::ScratchDirectory dir("session-files");
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text.substr(0, 120));
        test::writeFile(dir / "bad.json", text);
        const auto read = readSessionFile((dir / "bad.json").string());
        ASSERT_FALSE(read);
        EXPECT_EQ(read.error().substr(0, expected.size()), expected);
        if (auto json = parseJson(text)) {
            EXPECT_EQ(decodeCaptureResult(*json).error().message(), read.error());
        }
    }
    EXPECT_EQ(readSessionFile("/dev/urandom").error(), "cannot read file: not a regular file");
}

TEST(KeyRedaction, CharacterKeysLoseTheirCodesFunctionalKeysKeepThem) {
    std::vector<RawEvent> events;
    for (uint16_t code : {0, 12, 36, 49, 51, 53, 54, 63, 64, 76, 117, 122, 123, 126, 127})
        events.push_back(test::keyDown(0, code));
    events.push_back(test::move(0, 1, 1));
    redactCharacterKeys(events);
    std::vector<int> codes;
    for (const auto& e : events) codes.push_back(e.keyCode ? *e.keyCode : -1);
    EXPECT_EQ(codes, (std::vector<int>{65535, 65535, 36, 65535, 51, 53, 54, 63, 65535, 76, 117, 65535, 123, 126,
                                       65535, -1}));
}

TEST(SyntheticSession, DeterministicWellFormedAndRealistic) {
    SynthOptions o{.minutes = 5, .seed = 3, .window = Rect{200, 100, 1440, 900}};
    const CaptureResult s = synthesizeSession(o);
    EXPECT_EQ(encodeSessionFile(synthesizeSession(o)), encodeSessionFile(s));
    o.seed = 4;
    EXPECT_NE(encodeSessionFile(synthesizeSession(o)), encodeSessionFile(s));
    EXPECT_EQ(s.duration, 300);
    EXPECT_EQ(s.windowFrame, o.window);
    ASSERT_GT(s.events.size(), 10000u);
    EXPECT_LT(s.events.front().timestamp, 1.0);
    std::map<EventType, size_t> byType;
    size_t outside = 0;
    for (size_t i = 0; i < s.events.size(); ++i) {
        const RawEvent& e = s.events[i];
        SCOPED_TRACE(i);
        ASSERT_LE(e.timestamp, 300.0);
        ASSERT_TRUE(e.position);
        ASSERT_EQ(e.inScope, s.windowFrame.contains(*e.position));
        ++byType[e.type];
        outside += !e.inScope;
        ASSERT_EQ(e.keyCode.has_value(), e.type == EventType::keyDown || e.type == EventType::keyUp);
        ASSERT_TRUE(e.type != EventType::scrollWheel || e.delta);
        ASSERT_TRUE((e.type != EventType::mouseDown && e.type != EventType::mouseDragged) || e.mouseButton);
        if (i == 0) continue;
        const RawEvent& before = s.events[i - 1];
        ASSERT_GE(e.timestamp, before.timestamp);
        // Pointer samples within a movement come at 60-125 Hz with jitter, never faster.
        const bool samples = e.type == EventType::mouseMove && before.type == EventType::mouseMove;
        ASSERT_TRUE(!samples || e.timestamp - before.timestamp >= 0.0072);
    }
    for (EventType t : {EventType::mouseMove, EventType::mouseDown, EventType::mouseUp, EventType::mouseDragged,
                        EventType::scrollWheel, EventType::keyDown, EventType::keyUp})
        EXPECT_GT(byType[t], 0u) << rawValue(t);
    EXPECT_EQ(byType[EventType::appBecameActive], 0u);
    EXPECT_GT(outside, 0u);
    EXPECT_LT(outside, s.events.size() / 2);
}
TEST(EventBlocks, KeepTheOrderWhateverTheBoundAndItsBlocks) {
    // No bound (blocks of 16384), a bound above the count (one block, handed over), a bound below
    // it (the first block then more), a bound of 0 events.
    for (size_t bound : {size_t(0), size_t(50000), size_t(20000), size_t(1)}) {
        EventBlocks blocks(bound);
        for (int i = 0; i < 40000; ++i) {
            RawEvent e;
            e.timestamp = double(i);
            blocks.push(std::move(e));
        }
        const std::vector<RawEvent> events = blocks.take();
        ASSERT_EQ(events.size(), 40000u) << bound;
        for (int i = 0; i < 40000; ++i) ASSERT_EQ(events[i].timestamp, double(i)) << bound;
        EXPECT_TRUE(blocks.take().empty());
    }
}

// The fast path takes on the form murmura writes and files near it; whatever the file reader
// accepts must be what the general parser and decoder make of the text, to the last bit.
TEST(SessionFile, FastPathReadsTheUsualFormAndAgreesWithTheGeneralReader) {
    test::ScratchDirectory dir("session-fast");
    const std::string path = (dir / "s.json").string();
    auto fastAndAgreeing = [&](const std::string& text) {
        test::writeFile(path, text);
        auto read = readSessionFile(path);
        auto parsed = parseJson(text);
        auto decoded = parsed ? decodeCaptureResult(*parsed) : unexpected(DecodeError{"", parsed.error()});
        EXPECT_EQ(read.hasValue(), decoded.hasValue()) << text;
        if (read && decoded) {
            EXPECT_EQ(encodeSessionFile(*read), encodeSessionFile(*decoded)) << text;
        }
        return readSessionFileFast(path, kMaxSessionFileBytes).has_value();
    };
    SynthOptions o;
    o.minutes = 3;  // about 1.7 MB: read in more than one buffer
    const CaptureResult synthetic = synthesizeSession(o);
    EXPECT_TRUE(fastAndAgreeing(encodeSessionFile(synthetic)));
    EXPECT_EQ(readSessionFile(path).value(), synthetic);

    const std::string fields[] = {R"("id":"6ba7b810-9dad-11d1-80b4-00c04fd430c8")", R"("timestamp":0.5)",
                                  R"("type":"mouseDown")", R"("position":[1.5,-2])", R"("delta":[0,1e2])",
                                  R"("inScope":true)", R"("windowID":7)", R"("keyCode":36)", R"("mouseButton":-1)"};
    // One event, with the field of the variant's key replaced by the variant (or added).
    auto sessionWith = [&](const std::string& variant) {
        std::string event = "{";
        bool replaced = false;
        for (const std::string& f : fields) {
            const bool same = f.substr(0, f.find(':')) == variant.substr(0, variant.find(':'));
            event += (event.size() > 1 ? ", " : "") + (same ? variant : f);
            replaced = replaced || same;
        }
        if (!replaced && !variant.empty()) event += ", " + variant;
        return R"( {"duration":1.5,"windowID":7,"windowFrame":[0,0,10,10],"events":[)" + event + "}]}\n";
    };
    const std::pair<std::string, bool> variants[] = {  // taken on by the fast path or not
        {"", true}, {R"("timestamp":-0)", true}, {R"("timestamp":1E2)", true}, {R"("timestamp":-0.0)", true},
        {R"("timestamp":18446744073709551616)", false}, {R"("timestamp":1e-400)", false}, {R"("timestamp":01)", false},
        {R"("windowID":4294967295.0)", true}, {R"("windowID":4294967296)", false}, {R"("windowID":null)", true},
        {R"("position":[1,2,3])", false}, {R"("id":"\u0036ba7b810-9dad-11d1-80b4-00c04fd430c8")", false},
        {R"("extra":1)", false}, {R"("inScope":false,"inScope":true)", false}, {R"("inScope":null)", false}};
    for (const auto& [variant, taken] : variants) EXPECT_EQ(fastAndAgreeing(sessionWith(variant)), taken) << variant;
    SplitMix64 g(11);
    const std::string bytes = std::string(" \t\n-+.019eE\"\\,:[]{}nul\x80") + '\0';
    for (int round = 0; round < 300; ++round) {
        std::string t = sessionWith("");
        for (int k = 0; k <= static_cast<int>(g.below(2)); ++k) t[g.below(t.size())] = bytes[g.below(bytes.size())];
        fastAndAgreeing(t);
    }
}
