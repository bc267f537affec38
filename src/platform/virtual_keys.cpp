#include "platform/virtual_keys.h"

#include <charconv>

#include "platform/platform.h"

namespace {

bool IsLetter(uint16_t virtual_key) {
  return virtual_key >= kVkA && virtual_key <= kVkA + 25;
}

bool IsControlKey(uint16_t virtual_key) {
  return virtual_key == kVkBack || virtual_key == kVkTab ||
         virtual_key == kVkReturn || virtual_key == kVkEscape;
}

struct SKeyName {
  std::string_view name;
  uint16_t virtual_key;
};

constexpr SKeyName kKeyNames[] = {
    {"enter", kVkReturn},  {"tab", kVkTab},   {"esc", kVkEscape},
    {"space", kVkSpace},   {"back", kVkBack}, {"delete", kVkDelete},
    {"home", kVkHome},     {"end", kVkEnd},   {"pageup", kVkPrior},
    {"pagedown", kVkNext}, {"left", kVkLeft}, {"right", kVkRight},
    {"up", kVkUp},         {"down", kVkDown}, {"shift", kVkShift},
    {"ctrl", kVkControl},  {"alt", kVkMenu},
};

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

uint16_t VirtualKeyByName(std::string_view name) {
  if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z')
    return static_cast<uint16_t>(kVkA + (name[0] - 'a'));
  if (name.size() == 1 && name[0] >= '0' && name[0] <= '9')
    return static_cast<uint16_t>(kVk0 + (name[0] - '0'));
  if (name.size() > 1 && name[0] == 'f' && name[1] != '0') {
    int number = 0;
    const char* end = name.data() + name.size();
    const auto result = std::from_chars(name.data() + 1, end, number);
    if (result.ec == std::errc() && result.ptr == end && number >= 1 &&
        number <= 12)
      return static_cast<uint16_t>(kVkF1 + number - 1);
  }
  for (const SKeyName& key : kKeyNames)
    if (name == key.name) return key.virtual_key;
  return 0;
}
