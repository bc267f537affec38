// The text, number and bit functions.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/random.h"
#include "world/bindings/natives.h"

namespace bindings {

namespace {

StrHandle NewText(const std::string& text) { return StrNew(text); }

// Two ints in, one int out.
template <int32_t (*kOp)(int32_t, int32_t)>
uint8_t* IntPair(uint8_t* sp) {
  CArgs args(&sp, 8);
  const int32_t a = args.Int();
  const int32_t b = args.Int();
  args.Result(kOp(a, b));
  return sp;
}

uint32_t Count(int32_t n) { return static_cast<uint32_t>(n) & 31; }

// The separators of GetWord and GetNumWords: a space when none are given.
std::string Separators(StrHandle handle) {
  return handle ? std::string(CStrText(handle).view()) : std::string(" ");
}

}  // namespace

uint8_t* IToA(uint8_t* sp) {
  CArgs args(&sp, 4);
  args.Result(NewText(std::to_string(args.Int())));
  return sp;
}

uint8_t* IToAWidth(uint8_t* sp) {
  CArgs args(&sp, 8);
  const int32_t value = args.Int();
  const int width = std::clamp<int32_t>(args.Int(), 0, 255);
  char text[300];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  args.Result(NewText(text));
  return sp;
}

uint8_t* AToI(uint8_t* sp) {
  CArgs args(&sp, 4);
  uint32_t value = 0;
  for (char c : CStrText(args.Str()).view()) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  args.Result(static_cast<int32_t>(value));
  return sp;
}

uint8_t* TestBit(uint8_t* sp) {
  CArgs args(&sp, 8);
  const auto value = static_cast<uint32_t>(args.Int());
  args.Result(((value >> Count(args.Int())) & 1) != 0);
  return sp;
}

namespace {

int32_t And(int32_t a, int32_t b) { return a & b; }
int32_t Or(int32_t a, int32_t b) { return a | b; }
int32_t Xor(int32_t a, int32_t b) { return a ^ b; }
int32_t Left(int32_t a, int32_t n) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) << Count(n));
}
int32_t Right(int32_t a, int32_t n) { return a >> Count(n); }

}  // namespace

uint8_t* BitAnd(uint8_t* sp) { return IntPair<And>(sp); }
uint8_t* BitOr(uint8_t* sp) { return IntPair<Or>(sp); }
uint8_t* BitXor(uint8_t* sp) { return IntPair<Xor>(sp); }
uint8_t* Shl(uint8_t* sp) { return IntPair<Left>(sp); }
uint8_t* Shr(uint8_t* sp) { return IntPair<Right>(sp); }

uint8_t* BitNot(uint8_t* sp) {
  CArgs args(&sp, 4);
  args.Result(~args.Int());
  return sp;
}

uint8_t* GetWord(uint8_t* sp) {
  CArgs args(&sp, 12);
  const StrHandle text = args.Str();
  int32_t index = args.Int();
  const std::string separators = Separators(args.Str());
  StrHandle word = 0;
  if (text && index >= 0) {
    const std::string_view view = CStrText(text).view();
    size_t start = 0;
    for (; index > 0 && start <= view.size(); --index) {
      const size_t end = view.find_first_of(separators, start);
      start = end == std::string_view::npos ? view.size() + 1 : end + 1;
    }
    if (start <= view.size()) {
      const size_t end = std::min(view.find_first_of(separators, start), view.size());
      word = StrNew(view.substr(start, end - start));
    }
  }
  args.Result(word);
  return sp;
}

uint8_t* GetNumWords(uint8_t* sp) {
  CArgs args(&sp, 8);
  const StrHandle text = args.Str();
  const std::string separators = Separators(args.Str());
  int32_t count = 0;
  if (text) {
    count = 1;
    for (char c : CStrText(text).view()) count += separators.find(c) != std::string::npos;
  }
  args.Result(count);
  return sp;
}

namespace {

// A rectangle and a point in, a rectangle out.
template <bool kOffset>
uint8_t* RectAndPoint(uint8_t* sp) {
  CArgs args(&sp, 16);
  TRect rect = args.Rect();
  const int32_t x = args.Int();
  const int32_t y = args.Int();
  const int32_t dx = kOffset ? x : x - rect.left;
  const int32_t dy = kOffset ? y : y - rect.top;
  rect = {static_cast<int16_t>(rect.left + dx), static_cast<int16_t>(rect.top + dy),
          static_cast<int16_t>(rect.right + dx), static_cast<int16_t>(rect.bottom + dy)};
  args.Result(rect);
  return sp;
}

}  // namespace

uint8_t* MoveRect(uint8_t* sp) { return RectAndPoint<false>(sp); }
uint8_t* OffsetRect(uint8_t* sp) { return RectAndPoint<true>(sp); }

uint8_t* StrLen(uint8_t* sp) {
  CArgs args(&sp, 4);
  args.Result(static_cast<int32_t>(CStrText(args.Str()).view().size()));
  return sp;
}

uint8_t* StrGetChr(uint8_t* sp) {
  CArgs args(&sp, 8);
  const std::string_view text = CStrText(args.Str()).view();
  const int32_t index = args.Int();
  const bool inside = index >= 0 && static_cast<size_t>(index) < text.size();
  args.Result(StrNew(inside ? text.substr(static_cast<size_t>(index), 1) : std::string_view()));
  return sp;
}

uint8_t* Int(uint8_t* sp) {
  CArgs args(&sp, 4);
  const std::string_view text = CStrText(args.Str()).view();
  args.Result(text.empty() ? 0 : static_cast<int32_t>(static_cast<uint8_t>(text[0])));
  return sp;
}

uint8_t* Chr(uint8_t* sp) {
  CArgs args(&sp, 4);
  const char code = static_cast<char>(args.Int());
  args.Result(StrNew(code ? std::string_view(&code, 1) : std::string_view()));
  return sp;
}

uint8_t* StrCatInt(uint8_t* sp) {
  CArgs args(&sp, 8);
  const ScriptAddr target = args.Addr();
  const StrHandle digits = StrNew(std::to_string(args.Int()));
  if (uint8_t* variable = Out(target, 4))
    Poke(variable, StrAppend(Peek<StrHandle>(variable), digits));
  StrRelease(digits);
  return sp;
}

namespace {

// The first (kLeft) or last n characters, n clamped to the length.
template <bool kLeft>
uint8_t* Part(uint8_t* sp) {
  CArgs args(&sp, 8);
  const std::string_view text = CStrText(args.Str()).view();
  const auto n = static_cast<size_t>(std::clamp<int64_t>(args.Int(), 0, text.size()));
  args.Result(StrNew(kLeft ? text.substr(0, n) : text.substr(text.size() - n)));
  return sp;
}

}  // namespace

uint8_t* StrLeft(uint8_t* sp) { return Part<true>(sp); }
uint8_t* StrRight(uint8_t* sp) { return Part<false>(sp); }

uint8_t* MakeFN(uint8_t* sp) {
  CArgs args(&sp, 12);
  std::string name;
  bool any = false;
  for (int i = 0; i < 3; ++i) {
    const StrHandle part = args.Str();
    any |= part != 0;
    name += CStrText(part).view();
  }
  args.Result(any ? StrNew(name) : StrHandle{0});
  return sp;
}

uint8_t* Perm(uint8_t* sp) {
  CArgs args(&sp, 8);
  uint8_t* first = Out(args.Addr(), 4);
  uint8_t* second = first ? Out(args.Addr(), 4) : nullptr;
  if (second && EngineRandom().Between(0, 1) == 1) {
    const auto kept = Peek<StrHandle>(first);
    Poke(first, Peek<StrHandle>(second));
    Poke(second, kept);
  }
  return sp;
}

uint8_t* HPathFind(uint8_t* sp) {
  CArgs args(&sp, 16);
  const int64_t x1 = args.Int(), y1 = args.Int(), x2 = args.Int(), y2 = args.Int();
  args.Result(static_cast<int32_t>(std::max(std::llabs(x2 - x1), std::llabs(y2 - y1))));
  return sp;
}

uint8_t* Nop(uint8_t* sp) { return sp; }

uint8_t* GetExeVer(uint8_t* sp) {
  Push(sp, StrNew("Tarvolin " TV_PROJECT_VERSION));
  return sp;
}

uint8_t* PlatformName(uint8_t* sp) {
  Push(sp, StrNew("PC"));
  return sp;
}

}  // namespace bindings
