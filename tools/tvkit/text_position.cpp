#include "text_position.h"

#include <strings.h>

namespace {

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && (a.empty() || strncasecmp(a.data(), b.data(), a.size()) == 0);
}

}  // namespace

bool IniHeaderName(std::string_view line, std::string_view* name) {
  line = Trim(line.substr(0, line.find(';')));
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
  *name = Trim(line.substr(1, line.size() - 2));
  return true;
}

bool IniBlank(std::string_view line) { return Trim(line).empty(); }

std::string LocatedError(const std::string& file, STextPosition at, const std::string& text) {
  const std::string place = at.line > 0 ? "(" + std::to_string(at.line) + ", " +
                                              std::to_string(at.col) + ")"
                                        : "";
  return file + place + ": error: " + text;
}

STextPosition PositionOf(std::string_view text, size_t offset) {
  STextPosition at{1, 1};
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++at.line;
      at.col = 1;
    } else {
      ++at.col;
    }
  }
  return at;
}

STextPosition FindIniValue(std::string_view text, std::string_view section, std::string_view key) {
  STextPosition found;
  bool inside = false;
  int line_number = 0;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = text.substr(start, end - start);
    ++line_number;
    std::string_view name;
    if (IniHeaderName(line, &name)) {
      inside = SameName(name, section);
      if (inside && key.empty()) return {line_number, static_cast<int>(line.find('[')) + 1};
    } else if (inside && !key.empty()) {
      const size_t equals = line.find('=');
      if (equals != std::string_view::npos && SameName(Trim(line.substr(0, equals)), key)) {
        const size_t value = line.find_first_not_of(kBlanks, equals + 1);
        found = {line_number, static_cast<int>(value == std::string_view::npos ? equals + 1 : value) + 1};
      }
    }
    start = end + 1;
  }
  return found;
}
