// The text form of a script value, the one every tool, trace and test prints:
//   int     decimal                  float  printf "%g"
//   bool    true / false             TPoint {x, y}       TRect {l, t, r, b}
//   str     "text", or (null) for the null string; pstr the same, never null
//   item    item:<variable>, or item:0 when nothing names the handle
// In quoted text `"` and `\` are escaped with a backslash, a line feed is \n
// and every other byte below 0x20, 0x7F and above is \xHH: the engine's text
// is Latin-1, so the form is plain ASCII whatever the text holds.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The name of an item's variable by its container handle; empty when none.
using ItemNamer = std::function<std::string(uint32_t handle)>;

// A value to print: its type id and its bytes as they lie on the script
// stack, except for str and pstr, whose characters come in `text` (none for
// the null string).
struct SValueView {
  uint16_t type = 0;
  const uint8_t* bytes = nullptr;
  std::optional<std::string_view> text;
};

// A type the formatter does not know prints as "(type <id>)".
std::string ValueText(const SValueView& value, const ItemNamer& name_item = {});
