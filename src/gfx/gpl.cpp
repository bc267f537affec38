// GIMP palettes. The accepted form, line by line (lines end in "\n" or
// "\r\n"):
//
//   GIMP Palette
//   Name: <anything>            optional, before the first colour
//   Columns: <0 to 256>         optional, before the first colour
//   # <anything>                comments, anywhere after the first line
//   <red> <green> <blue> [<name>]
//
// The channels are decimal numbers from 0 to 255 separated by spaces or tabs;
// the name, after more white space, is anything. Lines of white space alone
// are skipped. There are 1 to 256 colours.
#include "gfx/gpl.h"

#include <charconv>
#include <vector>

namespace {

constexpr size_t kMaxEntries = 256;

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  return text;
}

// A decimal number at the start of `*text` of at most `limit`, cut off it.
// The number ends at white space or at the end of the line.
bool TakeNumber(std::string_view* text, uint32_t limit, uint32_t* value) {
  const char* end = text->data() + text->size();
  const auto result = std::from_chars(text->data(), end, *value);
  if (result.ec != std::errc() || *value > limit) return false;
  if (result.ptr != end && !IsSpace(*result.ptr)) return false;
  text->remove_prefix(static_cast<size_t>(result.ptr - text->data()));
  return true;
}

bool ReadEntry(std::string_view line, SPalEntry* entry) {
  uint8_t* channels[] = {&entry->red, &entry->green, &entry->blue};
  for (uint8_t* channel : channels) {
    uint32_t value = 0;
    line = TrimLeft(line);
    if (!TakeNumber(&line, 255, &value)) return false;
    *channel = static_cast<uint8_t>(value);
  }
  return true;
}

}  // namespace

ErrCode ParseGpl(std::string_view text, CPalette* palette) {
  std::vector<SPalEntry> entries;
  bool header = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!header) {
      if (line != "GIMP Palette") return err::kInvalidFormat;
      header = true;
      continue;
    }
    line = TrimLeft(line);
    if (line.empty() || line.starts_with('#')) continue;
    if (entries.empty() && line.starts_with("Name:")) continue;
    if (entries.empty() && line.starts_with("Columns:")) {
      std::string_view rest = TrimLeft(line.substr(8));
      uint32_t columns = 0;
      if (!TakeNumber(&rest, 256, &columns) || !TrimLeft(rest).empty()) return err::kInvalidFormat;
      continue;
    }
    SPalEntry entry;
    if (entries.size() == kMaxEntries || !ReadEntry(line, &entry)) return err::kInvalidFormat;
    entries.push_back(entry);
  }
  if (entries.empty()) return err::kInvalidFormat;
  if (ErrCode error = palette->SetCount(static_cast<uint32_t>(entries.size()))) return error;
  for (uint32_t i = 0; i < entries.size(); ++i)
    if (ErrCode error = palette->SetEntry(i, entries[i])) return error;
  return err::kOk;
}
