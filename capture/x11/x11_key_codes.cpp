#include "capture/x11/x11_key_codes.h"

#include <array>

namespace murmura {

namespace {

struct Entry {
    uint16_t evdev;
    uint16_t code;
    bool modifier;
};

// Linux input key codes (linux/input-event-codes.h) to virtual key codes.
constexpr Entry kTable[] = {
    {1, 53, false},    // Escape
    {2, 18, false},    // 1
    {3, 19, false},    // 2
    {4, 20, false},    // 3
    {5, 21, false},    // 4
    {6, 23, false},    // 5
    {7, 22, false},    // 6
    {8, 26, false},    // 7
    {9, 28, false},    // 8
    {10, 25, false},   // 9
    {11, 29, false},   // 0
    {12, 27, false},   // -
    {13, 24, false},   // =
    {14, 51, false},   // Backspace
    {15, 48, false},   // Tab
    {16, 12, false},   // Q
    {17, 13, false},   // W
    {18, 14, false},   // E
    {19, 15, false},   // R
    {20, 17, false},   // T
    {21, 16, false},   // Y
    {22, 32, false},   // U
    {23, 34, false},   // I
    {24, 31, false},   // O
    {25, 35, false},   // P
    {26, 33, false},   // [
    {27, 30, false},   // ]
    {28, 36, false},   // Return
    {29, 59, true},    // left Control
    {30, 0, false},    // A
    {31, 1, false},    // S
    {32, 2, false},    // D
    {33, 3, false},    // F
    {34, 5, false},    // G
    {35, 4, false},    // H
    {36, 38, false},   // J
    {37, 40, false},   // K
    {38, 37, false},   // L
    {39, 41, false},   // ;
    {40, 39, false},   // '
    {41, 50, false},   // `
    {42, 56, true},    // left Shift
    {43, 42, false},   // backslash
    {44, 6, false},    // Z
    {45, 7, false},    // X
    {46, 8, false},    // C
    {47, 9, false},    // V
    {48, 11, false},   // B
    {49, 45, false},   // N
    {50, 46, false},   // M
    {51, 43, false},   // ,
    {52, 47, false},   // .
    {53, 44, false},   // /
    {54, 60, true},    // right Shift
    {55, 67, false},   // keypad *
    {56, 58, true},    // left Alt (option)
    {57, 49, false},   // Space
    {58, 57, true},    // Caps Lock
    {59, 122, false},  // F1
    {60, 120, false},  // F2
    {61, 99, false},   // F3
    {62, 118, false},  // F4
    {63, 96, false},   // F5
    {64, 97, false},   // F6
    {65, 98, false},   // F7
    {66, 100, false},  // F8
    {67, 101, false},  // F9
    {68, 109, false},  // F10
    {69, 71, false},   // Num Lock sits where the keypad Clear key is
    {70, 107, false},  // Scroll Lock at F14
    {71, 89, false},   // keypad 7
    {72, 91, false},   // keypad 8
    {73, 92, false},   // keypad 9
    {74, 78, false},   // keypad -
    {75, 86, false},   // keypad 4
    {76, 87, false},   // keypad 5
    {77, 88, false},   // keypad 6
    {78, 69, false},   // keypad +
    {79, 83, false},   // keypad 1
    {80, 84, false},   // keypad 2
    {81, 85, false},   // keypad 3
    {82, 82, false},   // keypad 0
    {83, 65, false},   // keypad .
    {86, 10, false},   // ISO key beside left Shift
    {87, 103, false},  // F11
    {88, 111, false},  // F12
    {89, 94, false},   // JIS Ro
    {92, 104, false},  // JIS Henkan (Kana)
    {94, 102, false},  // JIS Muhenkan (Eisu)
    {96, 76, false},   // keypad Enter
    {97, 62, true},    // right Control
    {98, 75, false},   // keypad /
    {99, 105, false},  // Print Screen at F13
    {100, 61, true},   // right Alt (option, AltGr)
    {102, 115, false}, // Home
    {103, 126, false}, // Up
    {104, 116, false}, // Page Up
    {105, 123, false}, // Left
    {106, 124, false}, // Right
    {107, 119, false}, // End
    {108, 125, false}, // Down
    {109, 121, false}, // Page Down
    {110, 114, false}, // Insert sits where Help is
    {111, 117, false}, // Delete (forward)
    {113, 74, false},  // Mute
    {114, 73, false},  // Volume Down
    {115, 72, false},  // Volume Up
    {117, 81, false},  // keypad =
    {119, 113, false}, // Pause at F15
    {121, 95, false},  // keypad , (JIS)
    {124, 93, false},  // JIS Yen
    {125, 55, true},   // left Super (command)
    {126, 54, true},   // right Super (right command)
    {127, 110, false}, // Menu (context menu)
    {183, 105, false}, // F13
    {184, 107, false}, // F14
    {185, 113, false}, // F15
    {186, 106, false}, // F16
    {187, 64, false},  // F17
    {188, 79, false},  // F18
    {189, 80, false},  // F19
    {190, 90, false},  // F20
};

constexpr unsigned kX11Offset = 8;

struct Lookup {
    std::array<std::optional<VirtualKey>, 256> byKeycode{};
    constexpr Lookup() {
        for (const Entry& e : kTable) byKeycode[e.evdev + kX11Offset] = VirtualKey{e.code, e.modifier};
    }
};

constexpr Lookup kLookup;

}  // namespace

std::optional<VirtualKey> virtualKeyForX11Keycode(unsigned int x11Keycode) {
    if (x11Keycode >= kLookup.byKeycode.size()) return std::nullopt;
    return kLookup.byKeycode[x11Keycode];
}

}  // namespace murmura
