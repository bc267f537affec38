// Windows virtual-key codes, the key numbers the engine's key events carry,
// and the characters that go with them.
#pragma once

#include <cstdint>
#include <string_view>

enum : uint16_t {
  kVkBack = 0x08,
  kVkTab = 0x09,
  kVkReturn = 0x0D,
  kVkShift = 0x10,
  kVkControl = 0x11,
  kVkMenu = 0x12,  // Alt
  kVkEscape = 0x1B,
  kVkSpace = 0x20,
  kVkPrior = 0x21,  // Page Up
  kVkNext = 0x22,   // Page Down
  kVkEnd = 0x23,
  kVkHome = 0x24,
  kVkLeft = 0x25,
  kVkUp = 0x26,
  kVkRight = 0x27,
  kVkDown = 0x28,
  kVkInsert = 0x2D,
  kVkDelete = 0x2E,
  kVk0 = 0x30,        // '0' ... '9' are 0x30 ... 0x39
  kVkA = 0x41,        // 'A' ... 'Z' are 0x41 ... 0x5A
  kVkNumpad0 = 0x60,  // ... 0x69
  kVkMultiply = 0x6A,
  kVkAdd = 0x6B,
  kVkSubtract = 0x6D,
  kVkDecimal = 0x6E,
  kVkDivide = 0x6F,
  kVkF1 = 0x70,  // ... F12 = 0x7B
  kVkOemSemicolon = 0xBA,
  kVkOemPlus = 0xBB,
  kVkOemComma = 0xBC,
  kVkOemMinus = 0xBD,
  kVkOemPeriod = 0xBE,
  kVkOemSlash = 0xBF,
  kVkOemBackquote = 0xC0,
  kVkOemOpenBracket = 0xDB,
  kVkOemBackslash = 0xDC,
  kVkOemCloseBracket = 0xDD,
  kVkOemQuote = 0xDE,
};

// The character a key stands for, as key messages carry it: 'A' ... 'Z' for
// letters whatever the shift state, the digits, blank, and the control
// characters of Back, Tab, Return and Escape; 0 for every other key.
uint16_t KeyCharacter(uint16_t virtual_key);

// The character that pressing the key types besides its key message when the
// platform's text input gives none: the control characters of Back, Tab,
// Return and Escape, and 1 ... 26 for Control (without Alt) with a letter;
// 0 when the key types nothing of that kind.
uint16_t TypedControlCharacter(uint16_t virtual_key, uint32_t modifiers);

// The key a lower-case name stands for: a ... z, 0 ... 9, f1 ... f12, enter,
// tab, esc, space, back, delete, home, end, pageup, pagedown, left, right, up,
// down, shift, ctrl, alt; 0 for any other name.
uint16_t VirtualKeyByName(std::string_view name);
