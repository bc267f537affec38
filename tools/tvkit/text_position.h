// Places in source texts, for messages of the form "<file>(<line>, <col>)",
// and the reading of INI lines they need.
#pragma once

#include <string>
#include <string_view>

// 1-based; line 0 when unknown.
struct STextPosition {
  int line = 0;
  int col = 0;
};

// "<file>(<line>, <col>): error: <text>", or "<file>: error: <text>" when
// the place is unknown.
std::string LocatedError(const std::string& file, STextPosition at, const std::string& text);

// The position of byte `offset` of `text`.
STextPosition PositionOf(std::string_view text, size_t offset);

// Whether an INI line is a section header, and the section it names.
bool IniHeaderName(std::string_view line, std::string_view* name);
// Whether an INI line holds nothing but blanks.
bool IniBlank(std::string_view line);

// Where the value of the section's key starts (the last such key, as lookups
// find it), or the section's header line when `key` is empty.
STextPosition FindIniValue(std::string_view text, std::string_view section, std::string_view key);
