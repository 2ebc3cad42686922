// X11 keycodes, core input events and server times to platform tap events; no X server needed.
#include <gtest/gtest.h>

#include <map>

#include "capture/x11/x11_event_translator.h"
#include "capture/x11/x11_key_codes.h"
#include "platform/x11/x11_server_clock.h"
#include "session/raw_event.h"

using namespace murmura;
namespace t = murmura::tap_event_type;

namespace {

// Core protocol event numbers and masks, written out here rather than taken from <X11/X.h>.
constexpr int kKeyPress = 2, kKeyRelease = 3, kButtonPress = 4, kButtonRelease = 5, kMotionNotify = 6;
constexpr unsigned kButton1 = 1u << 8, kButton2 = 1u << 9, kButton3 = 1u << 10, kButton4 = 1u << 11;

// A fresh translator (no button held) per event.
TapEvent translate(int type, unsigned detail, unsigned state = 0) {
    return X11EventTranslator(DisplayGeometry{0, 0, 1280, 800, 1}).translate(X11InputEvent{type, detail, 0, 0, state});
}

}  // namespace

TEST(X11KeyCodes, EvdevKeycodesMapToDistinctAnsiVirtualCodes) {
    // (X keycode, virtual code, modifier): Return, BackSpace, Escape, KP_Enter, Delete, arrows, Tab,
    // space, a, s, z, q, 1, 0, 9; then Super_R/L, Shift_L, Caps_Lock, Alt_L, Control_L, Shift_R, Alt_R, Control_R.
    const std::tuple<unsigned, uint16_t, bool> keys[] = {
        {36, 36, false},  {22, 51, false},  {9, 53, false},   {104, 76, false}, {119, 117, false}, {113, 123, false},
        {114, 124, false}, {116, 125, false}, {111, 126, false}, {23, 48, false}, {65, 49, false},  {38, 0, false},
        {39, 1, false},   {52, 6, false},   {24, 12, false},  {10, 18, false},  {19, 29, false},   {18, 25, false},
        {134, 54, true},  {133, 55, true},  {50, 56, true},   {66, 57, true},   {64, 58, true},    {37, 59, true},
        {62, 60, true},   {108, 61, true},  {105, 62, true}};
    for (auto [x, v, modifier] : keys) {
        auto key = virtualKeyForX11Keycode(x);
        ASSERT_TRUE(key) << x;
        EXPECT_EQ(std::pair(key->code, key->isModifier), std::pair(v, modifier)) << x;
    }
    for (unsigned outside : {0u, 8u, 156u, 255u, 256u, 100000u}) EXPECT_FALSE(virtualKeyForX11Keycode(outside)) << outside;
    // No two keys share a code, but for the aliases Print/F13, Scroll Lock/F14 and Pause/F15.
    std::map<uint16_t, unsigned> seen;
    for (unsigned k = 0; k < 256; ++k) {
        auto key = virtualKeyForX11Keycode(k);
        if (!key) continue;
        auto [it, inserted] = seen.emplace(key->code, k);
        const bool alias = key->code == 105 || key->code == 107 || key->code == 113;
        EXPECT_TRUE(inserted || alias) << "keycodes " << it->second << " and " << k << " share " << key->code;
    }
}

TEST(X11Translation, EventsAndButtonStatesMapToTapTypes) {
    struct Case {
        int type;
        unsigned detail, state;
        uint32_t expected;
        double dx = 0, dy = 0;
    };
    const Case cases[] = {
        {kButtonPress, 1, 0, t::leftMouseDown},       {kButtonRelease, 1, 0, t::leftMouseUp},
        {kButtonPress, 3, 0, t::rightMouseDown},      {kButtonRelease, 3, 0, t::rightMouseUp},
        {kButtonPress, 2, 0, t::otherMouseDown},      {kButtonRelease, 2, 0, t::otherMouseUp},
        {kButtonPress, 8, 0, t::otherMouseDown},      {kButtonRelease, 9, 0, t::otherMouseUp},
        // Each wheel notch is ten points; its release is not another scroll.
        {kButtonPress, 4, 0, t::scrollWheel, 0, 10},  {kButtonPress, 5, 0, t::scrollWheel, 0, -10},
        {kButtonPress, 6, 0, t::scrollWheel, 10, 0},  {kButtonPress, 7, 0, t::scrollWheel, -10, 0},
        {kButtonRelease, 4, 0, 0},                    {kButtonRelease, 7, 0, 0},
        {kMotionNotify, 0, 0, t::mouseMoved},         {kMotionNotify, 0, kButton1, t::leftMouseDragged},
        {kMotionNotify, 0, kButton3, t::rightMouseDragged},
        {kMotionNotify, 0, kButton1 | kButton3, t::leftMouseDragged},
        {kMotionNotify, 0, kButton2, t::otherMouseDragged},
        {kMotionNotify, 0, kButton2 | kButton3, t::rightMouseDragged},
        {kMotionNotify, 0, kButton4, t::mouseMoved},  {kMotionNotify, 0, 0x1 | 0x4, t::mouseMoved},  // Shift+Control
        {kKeyPress, 50, 0, t::flagsChanged},          {kKeyRelease, 50, 0, t::flagsChanged},
        {kKeyPress, 200, 0, 0},                       {12, 0, 0, 0},  // no virtual code; Expose
        {0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.detail << " " << c.state);
        const TapEvent e = translate(c.type, c.detail, c.state);
        EXPECT_EQ(e.type, c.expected);
        EXPECT_EQ(e.scrollDx, c.dx);
        EXPECT_EQ(e.scrollDy, c.dy);
    }
    // Letters, digits, space and punctuation all leave as the one privacy code.
    for (unsigned x : {38u, 56u, 10u, 19u, 65u, 61u}) {
        EXPECT_EQ(translate(kKeyPress, x).keyCode, kRedactedKeyCode) << x;
        EXPECT_EQ(translate(kKeyRelease, x).keyCode, kRedactedKeyCode) << x;
    }
    EXPECT_EQ(translate(kKeyPress, 36).keyCode, 36);
    EXPECT_EQ(translate(kKeyRelease, 22).type, t::keyUp);
    EXPECT_EQ(translate(kKeyRelease, 22).keyCode, 51);
}

TEST(X11Translation, HeldButtonsAreFollowedWhenTheEventStateOmitsThem) {
    X11EventTranslator tr(DisplayGeometry{0, 0, 1280, 800, 1});
    const std::pair<X11InputEvent, uint32_t> steps[] = {
        {{kMotionNotify, 0, 1, 1, 0}, t::mouseMoved},      {{kButtonPress, 3, 1, 1, 0}, t::rightMouseDown},
        {{kMotionNotify, 0, 2, 1, 0}, t::rightMouseDragged}, {{kButtonPress, 1, 2, 1, 0}, t::leftMouseDown},
        {{kMotionNotify, 0, 3, 1, 0}, t::leftMouseDragged}, {{kButtonRelease, 1, 3, 1, 0}, t::leftMouseUp},
        {{kMotionNotify, 0, 4, 1, 0}, t::rightMouseDragged}, {{kButtonRelease, 3, 4, 1, 0}, t::rightMouseUp},
        {{kMotionNotify, 0, 5, 1, 0}, t::mouseMoved},      {{kButtonPress, 4, 5, 1, 0}, t::scrollWheel},
        {{kButtonRelease, 4, 5, 1, 0}, 0},                 {{kMotionNotify, 0, 6, 1, 0}, t::mouseMoved},
    };
    for (size_t i = 0; i < std::size(steps); ++i) EXPECT_EQ(tr.translate(steps[i].first).type, steps[i].second) << i;
    // A button held when recording starts makes a drag until released.
    X11EventTranslator held(DisplayGeometry{0, 0, 1280, 800, 1}, kButton1 | 0x1 /* Shift */);
    EXPECT_EQ(held.translate({kMotionNotify, 0, 1, 1, 0}).type, t::leftMouseDragged);
    EXPECT_EQ(held.translate({kButtonRelease, 1, 1, 1, kButton1}).type, t::leftMouseUp);
    EXPECT_EQ(held.translate({kMotionNotify, 0, 2, 1, 0x1}).type, t::mouseMoved);
}

TEST(X11Translation, LocationsAreDisplayPoints) {
    X11EventTranslator tr(DisplayGeometry{100, 50, 2560, 1600, 2.0});
    EXPECT_EQ(tr.translate(X11InputEvent{kMotionNotify, 0, 300, 250, 0}).location, (Point{100, 100}));
    EXPECT_EQ(tr.translate(X11InputEvent{kKeyPress, 36, 101, 51, 0}).location, (Point{0.5, 0.5}));
    EXPECT_EQ(tr.translate(X11InputEvent{kButtonPress, 1, 0, 0, 0}).location, (Point{-50, -25}));
}

TEST(X11ServerClock, KeepsServerSpacingRefinesTheOffsetOnPromptArrivals) {
    X11ServerClock batch(49.9);
    batch.observe(1000, 50.0);  // a prompt round trip: offset 49.0 s
    // Three motions 8 ms apart reach us in one batch.
    EXPECT_NEAR(batch.eventUptime(2000, 51.02), 51.000, 1e-9);
    EXPECT_NEAR(batch.eventUptime(2008, 51.02), 51.008, 1e-9);
    EXPECT_NEAR(batch.eventUptime(2016, 51.02), 51.016, 1e-9);

    X11ServerClock clock(0);
    EXPECT_NEAR(clock.eventUptime(5000, 70.0), 70.0, 1e-9);  // first sight: offset 65
    EXPECT_NEAR(clock.eventUptime(5100, 70.3), 70.1, 1e-9);  // waited 0.2 s: mapped by the offset
    EXPECT_NEAR(clock.eventUptime(5350, 70.3), 70.3, 1e-9);  // same batch, later stamp: offset 64.95
    EXPECT_NEAR(clock.eventUptime(5400, 70.5), 70.35, 1e-9);
}

TEST(X11ServerClock, NeverRunsBackwardsNorBelowItsFloorAndFollowsWrapAround) {
    X11ServerClock clock(50.0);
    clock.observe(1000, 50.05);  // offset 49.05
    EXPECT_NEAR(clock.eventUptime(1100, 50.2), 50.15, 1e-9);
    clock.observe(1200, 50.2);  // offset 49.0
    // An event stamped before that notification, arriving after it: 50.12 would step back.
    EXPECT_NEAR(clock.eventUptime(1120, 50.21), 50.15, 1e-9);
    X11ServerClock floored(80.0);
    floored.observe(5000, 80.1);                               // offset 75.1
    EXPECT_NEAR(floored.eventUptime(4800, 80.2), 80.0, 1e-9);  // 79.9 would precede the start
    X11ServerClock wrapping(0);
    wrapping.observe(0xFFFFFF00u, 10.0);
    // 0x100 is 512 ms after 0xFFFFFF00 once the 32-bit counter wraps.
    EXPECT_NEAR(wrapping.eventUptime(0x00000100u, 10.6), 10.512, 1e-6);
}
