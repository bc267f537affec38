#include "platform/virtual_keys.h"

#include "platform/platform.h"

namespace {

bool IsLetter(uint16_t virtual_key) {
  return virtual_key >= kVkA && virtual_key <= kVkA + 25;
}

bool IsControlKey(uint16_t virtual_key) {
  return virtual_key == kVkBack || virtual_key == kVkTab ||
         virtual_key == kVkReturn || virtual_key == kVkEscape;
}

}  // namespace

uint16_t KeyCharacter(uint16_t virtual_key) {
  if (IsLetter(virtual_key) || IsControlKey(virtual_key) ||
      virtual_key == kVkSpace)
    return virtual_key;
  if (virtual_key >= kVk0 && virtual_key <= kVk0 + 9) return virtual_key;
  return 0;
}

uint16_t TypedControlCharacter(uint16_t virtual_key, uint32_t modifiers) {
  if (IsControlKey(virtual_key)) return virtual_key;
  if (IsLetter(virtual_key) && (modifiers & kModControl) &&
      !(modifiers & kModAlt))
    return virtual_key - kVkA + 1;
  return 0;
}
