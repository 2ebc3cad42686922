#pragma once
// X keycodes (evdev code + 8) to the virtual key codes recorded in sessions: the positions of
// the keys on an ANSI keyboard, with the special keys the styles react to (36 Return,
// 51 Backspace, 53 Escape, 76 keypad Enter, 117 Delete, 123-126 arrows, 54-63 modifiers).
#include <cstdint>
#include <optional>

namespace murmura {

struct VirtualKey {
    uint16_t code = 0;
    bool isModifier = false;  // modifier keys alone are modifier-state changes, not key presses
};

// Nothing for keycodes that have no place on the keyboard the virtual codes describe
// (multimedia and launcher keys, for example).
std::optional<VirtualKey> virtualKeyForX11Keycode(unsigned int x11Keycode);

}  // namespace murmura
