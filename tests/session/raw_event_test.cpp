#include "session/raw_event.h"

#include <gtest/gtest.h>

using namespace murmura;

namespace {
RawEvent fullEvent() {
    RawEvent e;
    e.timestamp = 12.25;
    e.type = EventType::scrollWheel;
    e.position = Point{10.5, -3};
    e.delta = Vector{0, -10};
    e.inScope = true;
    e.windowID = 4294967295u;
    e.keyCode = 65535;
    e.mouseButton = 1;
    return e;
}

std::string failingKey(const std::string& text) {
    auto r = decodeRawEvent(Json::parse(text));
    EXPECT_FALSE(r) << text;
    return r ? "" : r.error().key;
}

const std::string kId = R"("id": "6BA7B810-9DAD-11D1-80B4-00C04FD430C8")";
}  // namespace

TEST(EventType, RawValuesRoundTrip) {
    for (EventType t : kAllEventTypes) EXPECT_EQ(eventTypeFromRaw(rawValue(t)), t);
    EXPECT_EQ(rawValue(EventType::appResignedActive), "appResignedActive");
    EXPECT_FALSE(eventTypeFromRaw("MouseMove"));
    EXPECT_FALSE(eventTypeFromRaw("mouseWheel"));
}

TEST(RawEventJson, AbsentOptionalsAreOmitted) {
    RawEvent e;
    e.type = EventType::appBecameActive;
    e.inScope = true;
    Json j = encode(e);
    std::vector<std::string> keys;
    for (auto& [k, v] : j.items()) keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{"id", "timestamp", "type", "inScope"}));
    EXPECT_EQ(j["id"], e.id.toString());  // upper-case canonical form
}

TEST(RawEventJson, RoundTripKeepsEveryField) {
    RawEvent e = fullEvent();
    auto back = decodeRawEvent(Json::parse(encode(e).dump()));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, e);
}

TEST(RawEventJson, DecodesNegativePositionsAndNullOptionals) {
    auto r = decodeRawEvent(Json::parse("{" + kId +
                                        R"(, "timestamp": 0.5, "type": "keyDown", "position": [10.5, -3],
        "inScope": false, "delta": null, "windowID": null, "keyCode": 36, "mouseButton": null})"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->position, (Point{10.5, -3}));
    EXPECT_FALSE(r->delta);
    EXPECT_FALSE(r->windowID);
    EXPECT_EQ(r->keyCode, 36);
    EXPECT_FALSE(r->mouseButton);
    EXPECT_EQ(r->id.toString(), "6BA7B810-9DAD-11D1-80B4-00C04FD430C8");
}

TEST(RawEventJson, LowerCaseIdIsAccepted) {
    auto r = decodeRawEvent(Json::parse(
        R"({"id": "6ba7b810-9dad-11d1-80b4-00c04fd430c8", "timestamp": 1, "type": "mouseMove", "inScope": true})"));
    ASSERT_TRUE(r);
    EXPECT_EQ(encode(*r)["id"], "6BA7B810-9DAD-11D1-80B4-00C04FD430C8");
}

TEST(RawEventJson, EveryMalformedFieldNamesItsKey) {
    const std::string base = "{" + kId + R"(, "timestamp": 1, "type": "mouseMove", "inScope": true)";
    EXPECT_EQ(failingKey(base + R"(, "keyCode": 70000})"), "keyCode");
    EXPECT_EQ(failingKey(base + R"(, "keyCode": -1})"), "keyCode");
    EXPECT_EQ(failingKey(base + R"(, "keyCode": 3.5})"), "keyCode");
    EXPECT_EQ(failingKey(base + R"(, "windowID": 4294967296})"), "windowID");
    EXPECT_EQ(failingKey(base + R"(, "mouseButton": "left"})"), "mouseButton");
    EXPECT_EQ(failingKey(base + R"(, "position": [1]})"), "position");
    EXPECT_EQ(failingKey(base + R"(, "position": [1, "2"]})"), "position[1]");
    EXPECT_EQ(failingKey(base + R"(, "delta": {"dx": 1, "dy": 2}})"), "delta");
    EXPECT_EQ(failingKey("{" + kId + R"(, "timestamp": 1, "type": "mouseWheel", "inScope": true})"), "type");
    EXPECT_EQ(failingKey("{" + kId + R"(, "timestamp": "1", "type": "mouseMove", "inScope": true})"), "timestamp");
    EXPECT_EQ(failingKey("{" + kId + R"(, "timestamp": 1, "type": "mouseMove", "inScope": 1})"), "inScope");
    EXPECT_EQ(failingKey("{" + kId + R"(, "timestamp": 1, "type": "mouseMove"})"), "inScope");
    EXPECT_EQ(failingKey(R"({"id": "nope", "timestamp": 1, "type": "mouseMove", "inScope": true})"), "id");
    EXPECT_EQ(failingKey(R"({"timestamp": 1, "type": "mouseMove", "inScope": true})"), "id");
    EXPECT_EQ(failingKey("[1, 2]"), "");
}

TEST(RawEventJson, ExtremeButIntegralValuesDecode) {
    const std::string base = "{" + kId + R"(, "timestamp": 1, "type": "mouseDown", "inScope": true)";
    auto r = decodeRawEvent(Json::parse(base + R"(, "windowID": 4294967295, "keyCode": 65535, "mouseButton": -9})"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->windowID, 4294967295u);
    EXPECT_EQ(r->mouseButton, -9);
    EXPECT_EQ(failingKey(base + R"(, "mouseButton": 9223372036854775808})"), "mouseButton");
    EXPECT_EQ(failingKey(base + R"(, "mouseButton": 9.3e18})"), "mouseButton");
}

TEST(KeyRedaction, CharacterKeysLoseTheirCodesFunctionalKeysKeepThem) {
    std::vector<RawEvent> events;
    for (uint16_t code : {0, 12, 36, 49, 51, 53, 54, 63, 64, 76, 117, 122, 123, 126, 127}) {
        RawEvent e;
        e.type = EventType::keyDown;
        e.keyCode = code;
        events.push_back(e);
    }
    RawEvent pointer;
    pointer.type = EventType::mouseMove;
    events.push_back(pointer);
    redactCharacterKeys(events);
    std::vector<int> codes;
    for (const auto& e : events) codes.push_back(e.keyCode ? *e.keyCode : -1);
    EXPECT_EQ(codes, (std::vector<int>{65535, 65535, 36, 65535, 51, 53, 54, 63, 65535, 76, 117, 65535, 123, 126,
                                       65535, -1}));
}
