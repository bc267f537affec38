#include "script/value_text.h"

#include <cstdio>
#include <cstring>

#include "script/library.h"

namespace {

template <typename T>
T Read(const uint8_t* bytes, size_t index = 0) {
  T value;
  std::memcpy(&value, bytes + index * sizeof(T), sizeof(T));
  return value;
}

std::string Format(const char* format, auto... args) {
  char text[64];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::string Quoted(std::optional<std::string_view> text) {
  if (!text) return "(null)";
  std::string out = "\"";
  for (const char c : *text) {
    const auto byte = static_cast<uint8_t>(c);
    if (c == '"' || c == '\\') out += {'\\', c};
    else if (c == '\n') out += "\\n";
    else if (byte < 0x20 || byte >= 0x7F) out += Format("\\x%02X", byte);
    else out += c;
  }
  return out + '"';
}

std::string ItemText(uint32_t handle, const ItemNamer& name_item) {
  const std::string name = name_item ? name_item(handle) : std::string();
  return "item:" + (name.empty() ? std::string("0") : name);
}

}  // namespace

std::string ValueText(const SValueView& value, const ItemNamer& name_item) {
  const uint8_t* bytes = value.bytes;
  switch (value.type) {
    case lib::kInt:
      return std::to_string(Read<int32_t>(bytes));
    case lib::kFloat:
      return Format("%g", Read<double>(bytes));
    case lib::kBool:
      return bytes[0] ? "true" : "false";
    case lib::kPoint:
      return Format("{%d, %d}", Read<int16_t>(bytes), Read<int16_t>(bytes, 1));
    case lib::kRect:
      return Format("{%d, %d, %d, %d}", Read<int16_t>(bytes), Read<int16_t>(bytes, 1),
                    Read<int16_t>(bytes, 2), Read<int16_t>(bytes, 3));
    case lib::kPstr:
    case lib::kStr:
      return Quoted(value.text);
    case lib::kItem:
      return ItemText(Read<uint32_t>(bytes), name_item);
    default:
      return Format("(type %u)", unsigned{value.type});
  }
}
