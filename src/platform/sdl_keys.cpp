#include "platform/sdl_keys.h"

#include "platform/platform.h"
#include "platform/sdl_api.h"
#include "platform/virtual_keys.h"

namespace {

// Virtual keys virtual_keys.h has no name for.
constexpr uint16_t kPauseKey = 0x13;
constexpr uint16_t kCapsLockKey = 0x14;
constexpr uint16_t kPrintScreenKey = 0x2C;
constexpr uint16_t kLeftWindowsKey = 0x5B;
constexpr uint16_t kRightWindowsKey = 0x5C;
constexpr uint16_t kApplicationKey = 0x5D;
constexpr uint16_t kNumLockKey = 0x90;
constexpr uint16_t kScrollLockKey = 0x91;
constexpr uint16_t kOem102Key = 0xE2;  // the ISO key left of 'Z'

struct SKeyPlace {
  SDL_Scancode scancode;
  uint16_t virtual_key;
};

// Keys by place. Where two places give the same virtual key, the first one
// is the one ScancodeOf answers.
constexpr SKeyPlace kKeyPlaces[] = {
    {SDL_SCANCODE_BACKSPACE, kVkBack},
    {SDL_SCANCODE_TAB, kVkTab},
    {SDL_SCANCODE_RETURN, kVkReturn},
    {SDL_SCANCODE_KP_ENTER, kVkReturn},
    {SDL_SCANCODE_PAUSE, kPauseKey},
    {SDL_SCANCODE_CAPSLOCK, kCapsLockKey},
    {SDL_SCANCODE_ESCAPE, kVkEscape},
    {SDL_SCANCODE_SPACE, kVkSpace},
    {SDL_SCANCODE_PAGEUP, kVkPrior},
    {SDL_SCANCODE_PAGEDOWN, kVkNext},
    {SDL_SCANCODE_END, kVkEnd},
    {SDL_SCANCODE_HOME, kVkHome},
    {SDL_SCANCODE_LEFT, kVkLeft},
    {SDL_SCANCODE_UP, kVkUp},
    {SDL_SCANCODE_RIGHT, kVkRight},
    {SDL_SCANCODE_DOWN, kVkDown},
    {SDL_SCANCODE_PRINTSCREEN, kPrintScreenKey},
    {SDL_SCANCODE_INSERT, kVkInsert},
    {SDL_SCANCODE_DELETE, kVkDelete},
    {SDL_SCANCODE_LGUI, kLeftWindowsKey},
    {SDL_SCANCODE_RGUI, kRightWindowsKey},
    {SDL_SCANCODE_APPLICATION, kApplicationKey},
    {SDL_SCANCODE_KP_0, kVkNumpad0},
    {SDL_SCANCODE_KP_1, kVkNumpad0 + 1},
    {SDL_SCANCODE_KP_2, kVkNumpad0 + 2},
    {SDL_SCANCODE_KP_3, kVkNumpad0 + 3},
    {SDL_SCANCODE_KP_4, kVkNumpad0 + 4},
    {SDL_SCANCODE_KP_5, kVkNumpad0 + 5},
    {SDL_SCANCODE_KP_6, kVkNumpad0 + 6},
    {SDL_SCANCODE_KP_7, kVkNumpad0 + 7},
    {SDL_SCANCODE_KP_8, kVkNumpad0 + 8},
    {SDL_SCANCODE_KP_9, kVkNumpad0 + 9},
    {SDL_SCANCODE_KP_MULTIPLY, kVkMultiply},
    {SDL_SCANCODE_KP_PLUS, kVkAdd},
    {SDL_SCANCODE_KP_MINUS, kVkSubtract},
    {SDL_SCANCODE_KP_PERIOD, kVkDecimal},
    {SDL_SCANCODE_KP_DIVIDE, kVkDivide},
    {SDL_SCANCODE_NUMLOCKCLEAR, kNumLockKey},
    {SDL_SCANCODE_SCROLLLOCK, kScrollLockKey},
    {SDL_SCANCODE_LSHIFT, kVkShift},
    {SDL_SCANCODE_RSHIFT, kVkShift},
    {SDL_SCANCODE_LCTRL, kVkControl},
    {SDL_SCANCODE_RCTRL, kVkControl},
    {SDL_SCANCODE_LALT, kVkMenu},
    {SDL_SCANCODE_RALT, kVkMenu},
    {SDL_SCANCODE_SEMICOLON, kVkOemSemicolon},
    {SDL_SCANCODE_EQUALS, kVkOemPlus},
    {SDL_SCANCODE_COMMA, kVkOemComma},
    {SDL_SCANCODE_MINUS, kVkOemMinus},
    {SDL_SCANCODE_PERIOD, kVkOemPeriod},
    {SDL_SCANCODE_SLASH, kVkOemSlash},
    {SDL_SCANCODE_GRAVE, kVkOemBackquote},
    {SDL_SCANCODE_LEFTBRACKET, kVkOemOpenBracket},
    {SDL_SCANCODE_BACKSLASH, kVkOemBackslash},
    {SDL_SCANCODE_NONUSHASH, kVkOemBackslash},
    {SDL_SCANCODE_RIGHTBRACKET, kVkOemCloseBracket},
    {SDL_SCANCODE_APOSTROPHE, kVkOemQuote},
    {SDL_SCANCODE_NONUSBACKSLASH, kOem102Key},
};

struct SModifierBit {
  uint16_t either_side;
  uint16_t left_side;
  uint32_t bit;
};

constexpr SModifierBit kModifierBits[] = {
    {KMOD_ALT, KMOD_LALT, kModAlt},
    {KMOD_CTRL, KMOD_LCTRL, kModControl},
    {KMOD_SHIFT, KMOD_LSHIFT, kModShift},
};

// The digit row keeps its digits on layouts that type other characters
// there without shift.
uint16_t DigitRowKey(SDL_Scancode scancode) {
  if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9)
    return kVk0 + 1 + (scancode - SDL_SCANCODE_1);
  return scancode == SDL_SCANCODE_0 ? kVk0 : 0;
}

}  // namespace

uint16_t VirtualKeyOf(SDL_Scancode scancode, SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return kVkA + (key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return kVk0 + (key - SDLK_0);
  if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12)
    return kVkF1 + (scancode - SDL_SCANCODE_F1);
  for (const SKeyPlace& place : kKeyPlaces)
    if (place.scancode == scancode) return place.virtual_key;
  return DigitRowKey(scancode);
}

SDL_Scancode ScancodeOf(uint16_t virtual_key) {
  if (virtual_key >= kVkA && virtual_key < kVkA + 26)
    return Sdl().SDL_GetScancodeFromKey(SDLK_a + (virtual_key - kVkA));
  if (virtual_key >= kVk0 && virtual_key < kVk0 + 10)
    return Sdl().SDL_GetScancodeFromKey(SDLK_0 + (virtual_key - kVk0));
  if (virtual_key >= kVkF1 && virtual_key < kVkF1 + 12)
    return static_cast<SDL_Scancode>(SDL_SCANCODE_F1 + (virtual_key - kVkF1));
  for (const SKeyPlace& place : kKeyPlaces)
    if (place.virtual_key == virtual_key) return place.scancode;
  return SDL_SCANCODE_UNKNOWN;
}

uint32_t ModifiersOf(uint16_t sdl_modifiers) {
  uint32_t modifiers = 0;
  for (const SModifierBit& bit : kModifierBits)
    if (sdl_modifiers & bit.either_side) modifiers |= bit.bit;
  return modifiers;
}

uint16_t SdlModifiersOf(uint32_t modifiers) {
  uint16_t sdl_modifiers = 0;
  for (const SModifierBit& bit : kModifierBits)
    if (modifiers & bit.bit) sdl_modifiers |= bit.left_side;
  return sdl_modifiers;
}
