// XPM pictures in their C-source form. The accepted form:
//
//   /* XPM */
//   static char* name[] = {
//   "<width> <height> <colours> <chars per pixel> [<hotspot x> <hotspot y>]",
//   "<code> c <#RRGGBB | None>",     one line per colour
//   "<row>",                         one line per row, top first
//   };
//
// - The file starts with the comment "/* XPM */" (white space may come
//   before it). White space and /* */ comments may stand between any two
//   tokens. "const" may follow "static" and the "*". A comma separates the
//   strings; one after the last is allowed. Nothing but white space and
//   comments follows "};".
// - Strings hold printable ASCII other than '"' and '\' (no escapes).
// - The values line holds four or six decimal numbers separated by spaces:
//   sides from 1 to kXpmMaxSide, at least one colour, 1 or 2 characters per
//   pixel. The hotspot is read and ignored.
// - A colour line is the code (its characters may be spaces), spaces, the key
//   "c", spaces, then "#" with six hex digits (either case) or "None", then
//   perhaps spaces. No other key or colour name is taken. Codes are distinct.
// - Each row holds exactly `width` codes, each one a colour line's.
#include "gfx/xpm.h"

#include <algorithm>
#include <charconv>

namespace {

enum class EToken { kEnd, kBad, kWord, kString, kPunct };

struct SToken {
  EToken kind = EToken::kEnd;
  std::string_view text;  // a string's text is what stands between its quotes
};

bool IsBlank(char c) { return std::string_view(" \t\n\r\f\v").find(c) != std::string_view::npos; }
bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Cuts the next token off `rest`.
SToken NextToken(std::string_view* rest) {
  for (;;) {
    size_t skip = 0;
    while (skip < rest->size() && IsBlank((*rest)[skip])) ++skip;
    rest->remove_prefix(skip);
    if (!rest->starts_with("/*")) break;
    const size_t close = rest->find("*/", 2);
    if (close == std::string_view::npos) return {EToken::kBad, {}};
    rest->remove_prefix(close + 2);
  }
  if (rest->empty()) return {};
  const char first = rest->front();
  size_t length = 1;
  SToken token{EToken::kPunct, {}};
  if (IsWordChar(first)) {
    while (length < rest->size() && IsWordChar((*rest)[length])) ++length;
    token.kind = EToken::kWord;
  } else if (first == '"') {
    while (length < rest->size() && (*rest)[length] != '"') {
      const char c = (*rest)[length++];
      if (c < 0x20 || c > 0x7E || c == '\\') return {EToken::kBad, {}};
    }
    if (length == rest->size()) return {EToken::kBad, {}};
    token = {EToken::kString, rest->substr(1, length - 1)};
    ++length;  // the closing quote
  } else if (std::string_view("*[]={},;").find(first) == std::string_view::npos) {
    return {EToken::kBad, {}};
  }
  if (token.kind != EToken::kString) token.text = rest->substr(0, length);
  rest->remove_prefix(length);
  return token;
}

// The strings of the array declaration that follows the magic comment.
bool SplitStrings(std::string_view text, std::vector<std::string_view>* strings) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  if (!text.starts_with("/* XPM */")) return false;
  text.remove_prefix(9);
  std::vector<SToken> tokens;
  for (SToken token = NextToken(&text); token.kind != EToken::kEnd; token = NextToken(&text)) {
    if (token.kind == EToken::kBad) return false;
    tokens.push_back(token);
  }
  size_t at = 0;
  auto accept = [&](EToken kind, std::string_view text_wanted) {
    if (at == tokens.size() || tokens[at].kind != kind) return false;
    if (!text_wanted.empty() && tokens[at].text != text_wanted) return false;
    ++at;
    return true;
  };
  if (!accept(EToken::kWord, "static")) return false;
  accept(EToken::kWord, "const");
  if (!accept(EToken::kWord, "char") || !accept(EToken::kPunct, "*")) return false;
  accept(EToken::kWord, "const");
  if (!accept(EToken::kWord, {}) || !accept(EToken::kPunct, "[") || !accept(EToken::kPunct, "]") ||
      !accept(EToken::kPunct, "=") || !accept(EToken::kPunct, "{"))
    return false;
  while (at < tokens.size() && tokens[at].kind == EToken::kString) {
    strings->push_back(tokens[at++].text);
    if (!accept(EToken::kPunct, ",")) break;
  }
  return accept(EToken::kPunct, "}") && accept(EToken::kPunct, ";") && at == tokens.size();
}

// The parts of `line` between runs of spaces.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < line.size()) {
    if (line[at] == ' ') {
      ++at;
      continue;
    }
    const size_t end = std::min(line.find(' ', at), line.size());
    words.push_back(line.substr(at, end - at));
    at = end;
  }
  return words;
}

// Whether all of `text` is one number in `base`.
bool ReadNumber(std::string_view text, int base, uint32_t* value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, *value, base);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool ReadColour(std::string_view text, SXpmColour* colour) {
  if (text == "None") {
    *colour = SXpmColour{0, 0, 0, true};
    return true;
  }
  if (text.size() != 7 || text[0] != '#') return false;
  uint8_t* channels[] = {&colour->red, &colour->green, &colour->blue};
  for (int i = 0; i < 3; ++i) {
    uint32_t value = 0;
    if (!ReadNumber(text.substr(1 + 2 * i, 2), 16, &value)) return false;
    *channels[i] = static_cast<uint8_t>(value);
  }
  colour->none = false;
  return true;
}

// The code's key in the table of codes.
uint32_t CodeKey(std::string_view code) {
  uint32_t key = 0;
  for (char c : code) key = (key << 8) | static_cast<uint8_t>(c);
  return key;
}

}  // namespace

ErrCode ParseXpm(std::string_view text, SXpmImage* image) {
  std::vector<std::string_view> strings;
  if (!SplitStrings(text, &strings) || strings.empty()) return err::kInvalidFormat;
  const std::vector<std::string_view> values = Words(strings[0]);
  if (values.size() != 4 && values.size() != 6) return err::kInvalidFormat;
  uint32_t numbers[6] = {};
  for (size_t i = 0; i < values.size(); ++i)
    if (!ReadNumber(values[i], 10, &numbers[i])) return err::kInvalidFormat;
  const uint32_t width = numbers[0];
  const uint32_t height = numbers[1];
  const uint32_t count = numbers[2];
  const uint32_t cpp = numbers[3];
  if (width < 1 || width > kXpmMaxSide || height < 1 || height > kXpmMaxSide || count < 1 ||
      (cpp != 1 && cpp != 2) || strings.size() != size_t{1} + count + height)
    return err::kInvalidFormat;

  image->width = static_cast<int>(width);
  image->height = static_cast<int>(height);
  image->colours.assign(count, SXpmColour{});
  image->pixels.clear();
  // Colour index + 1 by code key; 0 for codes without a colour line.
  std::vector<uint32_t> index_of(size_t{1} << (8 * cpp), 0);
  for (uint32_t i = 0; i < count; ++i) {
    const std::string_view line = strings[1 + i];
    if (line.size() <= cpp || line[cpp] != ' ') return err::kInvalidFormat;
    const std::vector<std::string_view> words = Words(line.substr(cpp));
    if (words.size() != 2 || words[0] != "c" || !ReadColour(words[1], &image->colours[i]))
      return err::kInvalidFormat;
    uint32_t& slot = index_of[CodeKey(line.substr(0, cpp))];
    if (slot) return err::kInvalidFormat;
    slot = i + 1;
  }
  image->pixels.reserve(size_t{width} * height);
  for (uint32_t y = 0; y < height; ++y) {
    const std::string_view row = strings[1 + count + y];
    if (row.size() != size_t{width} * cpp) return err::kInvalidFormat;
    for (size_t x = 0; x < row.size(); x += cpp) {
      const uint32_t slot = index_of[CodeKey(row.substr(x, cpp))];
      if (!slot) return err::kInvalidFormat;
      // Distinct codes of printable characters number fewer than 65536.
      image->pixels.push_back(static_cast<uint16_t>(slot - 1));
    }
  }
  return err::kOk;
}
