// X11 keycodes, core input events and server times to platform tap events; no X server needed.
#include <gtest/gtest.h>

#include "capture/x11/x11_event_translator.h"
#include "capture/x11/x11_key_codes.h"
#include "platform/x11/x11_server_clock.h"
#include "session/raw_event.h"

using namespace murmura;
namespace t = murmura::tap_event_type;

namespace {

// Core protocol event numbers and masks, written out here rather than taken from <X11/X.h>.
constexpr int kKeyPress = 2, kKeyRelease = 3, kButtonPress = 4, kButtonRelease = 5, kMotionNotify = 6;
constexpr unsigned kButton1Mask = 1u << 8, kButton2Mask = 1u << 9, kButton3Mask = 1u << 10, kButton4Mask = 1u << 11;

uint16_t code(unsigned keycode) {
    auto key = virtualKeyForX11Keycode(keycode);
    EXPECT_TRUE(key.has_value()) << keycode;
    return key ? key->code : 0xFFFF;
}

// A fresh translator (no button held) per event.
TapEvent translate(int type, unsigned detail, unsigned state = 0, int x = 0, int y = 0) {
    X11EventTranslator translator(DisplayGeometry{0, 0, 1280, 800, 1});
    return translator.translate(X11InputEvent{type, detail, x, y, state});
}

}  // namespace

TEST(X11KeyCodes, SpecialKeysHaveTheirVirtualCodes) {
    // X keycodes of the evdev keymap (evdev code + 8).
    EXPECT_EQ(code(36), 36);    // Return
    EXPECT_EQ(code(22), 51);    // BackSpace
    EXPECT_EQ(code(9), 53);     // Escape
    EXPECT_EQ(code(104), 76);   // KP_Enter
    EXPECT_EQ(code(119), 117);  // Delete
    EXPECT_EQ(code(113), 123);  // Left
    EXPECT_EQ(code(114), 124);  // Right
    EXPECT_EQ(code(116), 125);  // Down
    EXPECT_EQ(code(111), 126);  // Up
    EXPECT_EQ(code(23), 48);    // Tab
    EXPECT_EQ(code(65), 49);    // space
}

TEST(X11KeyCodes, ModifierKeysAreMarked) {
    struct Case {
        unsigned keycode;
        uint16_t code;
    };
    // Super_R, Super_L, Shift_L, Caps_Lock, Alt_L, Control_L, Shift_R, Alt_R, Control_R
    for (Case c : {Case{134, 54}, Case{133, 55}, Case{50, 56}, Case{66, 57}, Case{64, 58}, Case{37, 59},
                   Case{62, 60}, Case{108, 61}, Case{105, 62}}) {
        auto key = virtualKeyForX11Keycode(c.keycode);
        ASSERT_TRUE(key.has_value()) << c.keycode;
        EXPECT_EQ(key->code, c.code) << c.keycode;
        EXPECT_TRUE(key->isModifier) << c.keycode;
    }
    EXPECT_FALSE(virtualKeyForX11Keycode(36)->isModifier);
}

TEST(X11KeyCodes, LettersAndDigitsSitAtTheirAnsiPositions) {
    // (X keycode, ANSI virtual code) for a..z and 0..9, from the two published tables.
    const std::pair<unsigned, uint16_t> letters[] = {
        {38, 0},  {56, 11}, {54, 8},  {40, 2},  {26, 14}, {41, 3},  {42, 5},  {43, 4},  {31, 34},
        {44, 38}, {45, 40}, {46, 37}, {58, 46}, {57, 45}, {32, 31}, {33, 35}, {24, 12}, {27, 15},
        {39, 1},  {28, 17}, {30, 32}, {55, 9},  {25, 13}, {53, 7},  {29, 16}, {52, 6},
    };
    for (auto [x, v] : letters) EXPECT_EQ(code(x), v) << x;
    const std::pair<unsigned, uint16_t> digits[] = {
        {19, 29}, {10, 18}, {11, 19}, {12, 20}, {13, 21}, {14, 23}, {15, 22}, {16, 26}, {17, 28}, {18, 25},
    };
    for (auto [x, v] : digits) EXPECT_EQ(code(x), v) << x;
}

TEST(X11KeyCodes, KeysOutsideTheKeyboardHaveNoCode) {
    EXPECT_FALSE(virtualKeyForX11Keycode(0).has_value());
    EXPECT_FALSE(virtualKeyForX11Keycode(8).has_value());
    EXPECT_FALSE(virtualKeyForX11Keycode(156).has_value());  // XF86Launch1
    EXPECT_FALSE(virtualKeyForX11Keycode(255).has_value());
    EXPECT_FALSE(virtualKeyForX11Keycode(256).has_value());
    EXPECT_FALSE(virtualKeyForX11Keycode(100000).has_value());
}

TEST(X11KeyCodes, NoTwoOrdinaryKeysShareACode) {
    // Only the documented aliases (Print/F13, Scroll Lock/F14, Pause/F15) may repeat a code.
    std::map<uint16_t, unsigned> seen;
    for (unsigned k = 0; k < 256; ++k) {
        auto key = virtualKeyForX11Keycode(k);
        if (!key) continue;
        auto [it, inserted] = seen.emplace(key->code, k);
        if (!inserted) {
            const bool alias = (key->code == 105 || key->code == 107 || key->code == 113);
            EXPECT_TRUE(alias) << "keycodes " << it->second << " and " << k << " share " << key->code;
        }
    }
}

TEST(X11Translation, ButtonsOneAndThreeAreLeftAndRight) {
    EXPECT_EQ(translate(kButtonPress, 1).type, t::leftMouseDown);
    EXPECT_EQ(translate(kButtonRelease, 1).type, t::leftMouseUp);
    EXPECT_EQ(translate(kButtonPress, 3).type, t::rightMouseDown);
    EXPECT_EQ(translate(kButtonRelease, 3).type, t::rightMouseUp);
    EXPECT_EQ(translate(kButtonPress, 2).type, t::otherMouseDown);
    EXPECT_EQ(translate(kButtonRelease, 2).type, t::otherMouseUp);
    EXPECT_EQ(translate(kButtonPress, 8).type, t::otherMouseDown);
    EXPECT_EQ(translate(kButtonRelease, 9).type, t::otherMouseUp);
}

TEST(X11Translation, EachWheelNotchIsTenPoints) {
    TapEvent up = translate(kButtonPress, 4);
    EXPECT_EQ(up.type, t::scrollWheel);
    EXPECT_EQ(up.scrollDx, 0);
    EXPECT_EQ(up.scrollDy, 10);
    TapEvent down = translate(kButtonPress, 5);
    EXPECT_EQ(down.scrollDy, -10);
    TapEvent left = translate(kButtonPress, 6);
    EXPECT_EQ(left.scrollDx, 10);
    EXPECT_EQ(left.scrollDy, 0);
    TapEvent right = translate(kButtonPress, 7);
    EXPECT_EQ(right.scrollDx, -10);
    // The release of a notch is not another scroll.
    for (unsigned b : {4u, 5u, 6u, 7u}) EXPECT_EQ(translate(kButtonRelease, b).type, 0u) << b;
}

TEST(X11Translation, MotionIsADragWhileAButtonIsHeld) {
    EXPECT_EQ(translate(kMotionNotify, 0).type, t::mouseMoved);
    EXPECT_EQ(translate(kMotionNotify, 0, kButton1Mask).type, t::leftMouseDragged);
    EXPECT_EQ(translate(kMotionNotify, 0, kButton3Mask).type, t::rightMouseDragged);
    EXPECT_EQ(translate(kMotionNotify, 0, kButton1Mask | kButton3Mask).type, t::leftMouseDragged);
    EXPECT_EQ(translate(kMotionNotify, 0, kButton2Mask).type, t::otherMouseDragged);
    EXPECT_EQ(translate(kMotionNotify, 0, kButton2Mask | kButton3Mask).type, t::rightMouseDragged);
    EXPECT_EQ(translate(kMotionNotify, 0, kButton4Mask).type, t::mouseMoved);
    EXPECT_EQ(translate(kMotionNotify, 0, 0x1 | 0x4).type, t::mouseMoved);  // Shift+Control held
}

TEST(X11Translation, ButtonsAreFollowedWhenTheEventStateOmitsThem) {
    X11EventTranslator tr(DisplayGeometry{0, 0, 1280, 800, 1});
    EXPECT_EQ(tr.translate({kMotionNotify, 0, 1, 1, 0}).type, t::mouseMoved);
    EXPECT_EQ(tr.translate({kButtonPress, 3, 1, 1, 0}).type, t::rightMouseDown);
    EXPECT_EQ(tr.translate({kMotionNotify, 0, 2, 1, 0}).type, t::rightMouseDragged);
    EXPECT_EQ(tr.translate({kButtonPress, 1, 2, 1, 0}).type, t::leftMouseDown);
    EXPECT_EQ(tr.translate({kMotionNotify, 0, 3, 1, 0}).type, t::leftMouseDragged);  // left wins
    EXPECT_EQ(tr.translate({kButtonRelease, 1, 3, 1, 0}).type, t::leftMouseUp);
    EXPECT_EQ(tr.translate({kMotionNotify, 0, 4, 1, 0}).type, t::rightMouseDragged);
    EXPECT_EQ(tr.translate({kButtonRelease, 3, 4, 1, 0}).type, t::rightMouseUp);
    EXPECT_EQ(tr.translate({kMotionNotify, 0, 5, 1, 0}).type, t::mouseMoved);
    // Wheel notches do not leave a button held behind.
    EXPECT_EQ(tr.translate({kButtonPress, 4, 5, 1, 0}).type, t::scrollWheel);
    EXPECT_EQ(tr.translate({kButtonRelease, 4, 5, 1, 0}).type, 0u);
    EXPECT_EQ(tr.translate({kMotionNotify, 0, 6, 1, 0}).type, t::mouseMoved);
}

TEST(X11Translation, AButtonHeldWhenRecordingStartsMakesADrag) {
    X11EventTranslator tr(DisplayGeometry{0, 0, 1280, 800, 1}, kButton1Mask | 0x1 /* Shift */);
    EXPECT_EQ(tr.translate({kMotionNotify, 0, 1, 1, 0}).type, t::leftMouseDragged);
    EXPECT_EQ(tr.translate({kButtonRelease, 1, 1, 1, kButton1Mask}).type, t::leftMouseUp);
    EXPECT_EQ(tr.translate({kMotionNotify, 0, 2, 1, 0x1}).type, t::mouseMoved);
}

TEST(X11Translation, KeysCarryVirtualCodesAndModifiersAreFlagChanges) {
    TapEvent ret = translate(kKeyPress, 36);
    EXPECT_EQ(ret.type, t::keyDown);
    EXPECT_EQ(ret.keyCode, 36);
    TapEvent bs = translate(kKeyRelease, 22);
    EXPECT_EQ(bs.type, t::keyUp);
    EXPECT_EQ(bs.keyCode, 51);
    EXPECT_EQ(translate(kKeyPress, 50).type, t::flagsChanged);
    EXPECT_EQ(translate(kKeyRelease, 50).type, t::flagsChanged);
    EXPECT_EQ(translate(kKeyPress, 200).type, 0u);  // no virtual code: ignored
    // Letters, digits, space and punctuation all leave as the one privacy code.
    for (unsigned x : {38u, 56u, 10u, 19u, 65u, 61u}) {
        EXPECT_EQ(translate(kKeyPress, x).keyCode, kRedactedKeyCode) << x;
        EXPECT_EQ(translate(kKeyRelease, x).keyCode, kRedactedKeyCode) << x;
    }
}

TEST(X11Translation, LocationsAreDisplayPoints) {
    X11EventTranslator tr(DisplayGeometry{100, 50, 2560, 1600, 2.0});
    TapEvent e = tr.translate(X11InputEvent{kMotionNotify, 0, 300, 250, 0});
    EXPECT_EQ(e.location, (Point{100, 100}));
    TapEvent k = tr.translate(X11InputEvent{kKeyPress, 36, 101, 51, 0});
    EXPECT_EQ(k.location, (Point{0.5, 0.5}));
    TapEvent outside = tr.translate(X11InputEvent{kButtonPress, 1, 0, 0, 0});
    EXPECT_EQ(outside.location, (Point{-50, -25}));
}

TEST(X11Translation, UnknownEventTypesAreIgnored) {
    EXPECT_EQ(translate(12, 0).type, 0u);  // Expose
    EXPECT_EQ(translate(0, 0).type, 0u);
}

TEST(X11ServerClock, KeepsTheServerSpacingOfEventsThatArriveTogether) {
    X11ServerClock clock(49.9);
    clock.observe(1000, 50.0);  // a prompt round trip: offset 49.0 s
    // Three motions 8 ms apart reach us in one batch.
    EXPECT_NEAR(clock.eventUptime(2000, 51.02), 51.000, 1e-9);
    EXPECT_NEAR(clock.eventUptime(2008, 51.02), 51.008, 1e-9);
    EXPECT_NEAR(clock.eventUptime(2016, 51.02), 51.016, 1e-9);
}

TEST(X11ServerClock, APromptArrivalRefinesTheOffset) {
    X11ServerClock clock(0);
    EXPECT_NEAR(clock.eventUptime(5000, 70.0), 70.0, 1e-9);      // first sight: offset 65
    EXPECT_NEAR(clock.eventUptime(5100, 70.3), 70.1, 1e-9);      // waited 0.2 s: mapped by the offset
    EXPECT_NEAR(clock.eventUptime(5350, 70.3), 70.3, 1e-9);      // same batch, later stamp: offset 64.95
    EXPECT_NEAR(clock.eventUptime(5400, 70.5), 70.35, 1e-9);
}

TEST(X11ServerClock, NeverRunsBackwardsNorBelowItsFloor) {
    X11ServerClock clock(50.0);
    clock.observe(1000, 50.05);                                  // offset 49.05
    EXPECT_NEAR(clock.eventUptime(1100, 50.2), 50.15, 1e-9);
    clock.observe(1200, 50.2);                                   // offset 49.0
    // A recorded event stamped before that notification arrives after it: 1.12 + 49 = 50.12
    // would step back behind the previous event.
    EXPECT_NEAR(clock.eventUptime(1120, 50.21), 50.15, 1e-9);
    X11ServerClock floored(80.0);
    floored.observe(5000, 80.1);                                 // offset 75.1
    EXPECT_NEAR(floored.eventUptime(4800, 80.2), 80.0, 1e-9);    // 79.9 would precede the start
}

TEST(X11ServerClock, FollowsTheServerClockAcrossItsWrapAround) {
    X11ServerClock clock(0);
    clock.observe(0xFFFFFF00u, 10.0);
    // 0x100 is 512 ms after 0xFFFFFF00 once the 32-bit counter wraps.
    EXPECT_NEAR(clock.eventUptime(0x00000100u, 10.6), 10.512, 1e-6);
}
