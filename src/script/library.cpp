#include "script/library.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "base/log.h"
#include "script/code_dump.h"
#include "base/random.h"
#include "script/registration_rows.h"
#include "script/script_machine.h"
#include "script/script_run.h"
#include "script/script_string.h"
#include "base/geometry.h"

namespace {

using enum lib::ETypeId;

// --- Values by size ---------------------------------------------------------

template <uint32_t N>
uint8_t* Reserve(uint8_t* sp) {
  return sp + N;
}
template <uint32_t N>
uint8_t* Zeros(uint8_t* sp) {
  std::memset(sp, 0, N);
  return sp + N;
}
template <uint32_t N>
uint8_t* Drop(uint8_t* sp) {
  return sp - N;
}
template <uint32_t N>
uint8_t* Copy(uint8_t* sp, ScriptAddr source) {
  const uint8_t* bytes = ScriptDeref(source, N);
  if (!bytes) return sp;
  std::memmove(sp, bytes, N);  // a frame variable may lie where the copy goes
  return sp + N;
}
// void(T*, T): pops the value and the address, stores the value there.
template <uint32_t N>
uint8_t* Assign(uint8_t* sp) {
  const uint8_t* value = sp - N;
  const ScriptAddr target = Peek<ScriptAddr>(value - 4);
  if (uint8_t* bytes = ScriptDeref(target, N)) std::memmove(bytes, value, N);
  return sp - N - 4;
}

// The value behind an address argument, or null after faulting the run.
template <class T>
uint8_t* Out(ScriptAddr address) {
  return ScriptDeref(address, sizeof(T));
}

// --- Literals and addresses -------------------------------------------------

uint8_t* FloatLiteral(uint8_t* sp, uint32_t low, uint32_t high) {
  const uint64_t bits = uint64_t{high} << 32 | low;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  Push(sp, value);
  return sp;
}
uint8_t* StrLiteral(uint8_t* sp, const char* text) {
  Push(sp, StrNew(text));
  return sp;
}
uint8_t* BoolLiteral(uint8_t* sp, uint8_t value) {
  Push<uint8_t>(sp, value != 0);
  return sp;
}

// --- str values -------------------------------------------------------------

uint8_t* StrDestroy(uint8_t* sp) {
  const StrHandle handle = Pop<StrHandle>(sp);
  if (!CStrKeeper::Take(sp, handle)) StrRelease(handle);
  return sp;
}
// Owns the str arguments a function popped and releases them on return.
class CStrArgs {
 public:
  template <class... H>
  explicit CStrArgs(H... handles) : m_handles{handles...}, m_count(sizeof...(H)) {}
  ~CStrArgs() {
    for (size_t i = 0; i < m_count; ++i) StrRelease(m_handles[i]);
  }
  CStrArgs(const CStrArgs&) = delete;
  CStrArgs& operator=(const CStrArgs&) = delete;

 private:
  StrHandle m_handles[3];
  size_t m_count;
};

// --- Casts ------------------------------------------------------------------

uint8_t* IntToFloat(uint8_t* sp) {
  const int32_t value = Pop<int32_t>(sp);
  Push(sp, static_cast<double>(value));
  return sp;
}
uint8_t* BoolToPstr(uint8_t* sp) {
  const bool value = Pop<uint8_t>(sp) != 0;
  PstrFromBool(value, sp);
  return sp + kPstrSize;
}
uint8_t* BoolToInt(uint8_t* sp) {
  const int32_t value = Pop<uint8_t>(sp) != 0;
  Push(sp, value);
  return sp;
}
uint8_t* PstrToStr(uint8_t* sp) {
  sp -= kPstrSize;
  const StrHandle handle = StrFromPstr(sp);
  Push(sp, handle);
  return sp;
}

// --- Operators --------------------------------------------------------------

template <class T, class R, R (*F)(T, T)>
uint8_t* Binary(uint8_t* sp) {
  const T y = Pop<T>(sp);
  const T x = Pop<T>(sp);
  Push(sp, F(x, y));
  return sp;
}
template <class T>
T Negate(T x) {
  return -x;
}
template <>
int32_t Negate(int32_t x) {
  return lib::Wrap(-int64_t{x});
}
template <class T>
uint8_t* Unary(uint8_t* sp) {
  Poke(sp - sizeof(T), Negate(Peek<T>(sp - sizeof(T))));
  return sp;
}

int32_t AddInt(int32_t x, int32_t y) { return lib::Wrap(int64_t{x} + y); }
int32_t SubInt(int32_t x, int32_t y) { return lib::Wrap(int64_t{x} - y); }
int32_t MulInt(int32_t x, int32_t y) { return lib::Wrap(int64_t{x} * y); }
template <class T> uint8_t EqualTo(T x, T y) { return x == y; }
template <class T> uint8_t NotEqual(T x, T y) { return x != y; }
template <class T> uint8_t Less(T x, T y) { return x < y; }
template <class T> uint8_t Greater(T x, T y) { return x > y; }
double AddFloat(double x, double y) { return x + y; }
double SubFloat(double x, double y) { return x - y; }
double MulFloat(double x, double y) { return x * y; }
double DivFloat(double x, double y) { return x / y; }
uint8_t And(uint8_t x, uint8_t y) { return (x != 0) & (y != 0); }
uint8_t Xor(uint8_t x, uint8_t y) { return (x != 0) ^ (y != 0); }
uint8_t Or(uint8_t x, uint8_t y) { return (x != 0) | (y != 0); }

uint8_t* BoolNot(uint8_t* sp) {
  sp[-1] = sp[-1] == 0;
  return sp;
}

uint8_t* PstrAssign(uint8_t* sp) {
  const uint8_t* value = sp - kPstrSize;
  const ScriptAddr target = Peek<ScriptAddr>(value - 4);
  if (uint8_t* bytes = ScriptDeref(target, kPstrSize)) std::memmove(bytes, value, 1 + value[0]);
  return sp - kPstrSize - 4;
}
uint8_t* StrAssign(uint8_t* sp) {
  const StrHandle value = Pop<StrHandle>(sp);
  const ScriptAddr target = Pop<ScriptAddr>(sp);
  uint8_t* bytes = ScriptDeref(target, 4);
  if (!bytes) {
    StrRelease(value);
    return sp;
  }
  StrRelease(Peek<StrHandle>(bytes));
  Poke(bytes, value);
  return sp;
}
uint8_t* StrEq(uint8_t* sp) {
  const StrHandle b = Pop<StrHandle>(sp);
  const StrHandle a = Pop<StrHandle>(sp);
  const CStrArgs args(a, b);
  Push<uint8_t>(sp, StrEqual(a, b));
  return sp;
}
uint8_t* StrNe(uint8_t* sp) {
  sp = StrEq(sp);
  sp[-1] = !sp[-1];
  return sp;
}
uint8_t* StrPlus(uint8_t* sp) {
  const StrHandle b = Pop<StrHandle>(sp);
  const StrHandle a = Pop<StrHandle>(sp);
  const CStrArgs args(a, b);
  Push(sp, StrConcat(a, b));
  return sp;
}

// --- Named functions --------------------------------------------------------

uint8_t* Rand(uint8_t* sp) {
  Push(sp, EngineRandom().Next());
  return sp;
}
uint8_t* WriteInt(uint8_t* sp) {
  LogMessage(kLogScripts, "%ld", static_cast<long>(Pop<int32_t>(sp)));
  return sp;
}
uint8_t* WriteFloat(uint8_t* sp) {
  LogMessage(kLogScripts, "%f", Pop<double>(sp));
  return sp;
}
uint8_t* WritePstr(uint8_t* sp) {
  sp -= kPstrSize;
  const std::string text(PstrText(sp));
  LogMessage(kLogScripts, "%s", text.c_str());
  return sp;
}
uint8_t* WriteStr(uint8_t* sp) {
  const StrHandle handle = Pop<StrHandle>(sp);
  const CStrArgs args(handle);
  if (handle) LogMessage(kLogScripts, "%s", std::string(CStrText(handle).view()).c_str());
  return sp;
}

template <bool kIgnoreCase>
uint8_t* Compare(uint8_t* sp) {
  const StrHandle b = Pop<StrHandle>(sp);
  const StrHandle a = Pop<StrHandle>(sp);
  const CStrArgs args(a, b);
  Push<int32_t>(sp, StrCompare(a, b, kIgnoreCase));
  return sp;
}
uint8_t* StrCatStr(uint8_t* sp) {
  const StrHandle source = Pop<StrHandle>(sp);
  const ScriptAddr target = Pop<ScriptAddr>(sp);
  const CStrArgs args(source);
  if (uint8_t* bytes = Out<StrHandle>(target)) Poke(bytes, StrAppend(Peek<StrHandle>(bytes), source));
  return sp;
}
template <int32_t (*F)(StrHandle, int32_t)>
uint8_t* StrIndexed(uint8_t* sp) {
  const int32_t value = Pop<int32_t>(sp);
  const StrHandle handle = Pop<StrHandle>(sp);
  const CStrArgs args(handle);
  Push(sp, F(handle, value));
  return sp;
}
uint8_t* IsNull(uint8_t* sp) {
  const StrHandle handle = Pop<StrHandle>(sp);
  const CStrArgs args(handle);
  Push<uint8_t>(sp, handle == 0);
  return sp;
}
template <StrHandle (*F)(StrHandle)>
uint8_t* ConvertCase(uint8_t* sp) {
  const ScriptAddr target = Pop<ScriptAddr>(sp);
  if (uint8_t* bytes = Out<StrHandle>(target)) Poke(bytes, F(Peek<StrHandle>(bytes)));
  return sp;
}

// TPoint and TRect fields are signed 16-bit values.
template <class T, int16_t T::*kField>
uint8_t* Field(uint8_t* sp) {
  const T value = Pop<T>(sp);
  Push<int32_t>(sp, value.*kField);
  return sp;
}
uint8_t* PtSet(uint8_t* sp) {
  const int32_t y = Pop<int32_t>(sp);
  const int32_t x = Pop<int32_t>(sp);
  const ScriptAddr target = Pop<ScriptAddr>(sp);
  if (uint8_t* bytes = Out<TPoint>(target))
    Poke(bytes, TPoint{static_cast<int16_t>(x), static_cast<int16_t>(y)});
  return sp;
}
uint8_t* PtInRect(uint8_t* sp) {
  const TRect rect = Pop<TRect>(sp);
  const TPoint point = Pop<TPoint>(sp);
  Push<uint8_t>(sp, rect.left <= point.x && point.x <= rect.right && rect.top <= point.y &&
                        point.y <= rect.bottom);
  return sp;
}
uint8_t* RcSet(uint8_t* sp) {
  int32_t edges[4];
  for (int i = 3; i >= 0; --i) edges[i] = Pop<int32_t>(sp);
  const ScriptAddr target = Pop<ScriptAddr>(sp);
  if (uint8_t* bytes = Out<TRect>(target))
    Poke(bytes, TRect{static_cast<int16_t>(edges[0]), static_cast<int16_t>(edges[1]),
                      static_cast<int16_t>(edges[2]), static_cast<int16_t>(edges[3])});
  return sp;
}
TRect Intersect(TRect a, TRect b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}
TRect Union(TRect a, TRect b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}
uint8_t* RcGetCenter(uint8_t* sp) {
  Push(sp, RectCenter(Pop<TRect>(sp)));
  return sp;
}

uint8_t* DumpStack(uint8_t* sp) {
  const CScriptRun* run = CScriptRun::Current();
  if (!run) return sp;
  std::string text = "Stack content:\n";
  const uint8_t* bottom = run->StackBottom();
  for (const uint8_t* at = bottom; at + 4 <= sp; at += 4) {
    char word[16];
    std::snprintf(word, sizeof word, "%x  ", Peek<uint32_t>(at));
    text += word;
  }
  TraceOut("%s\n", text.c_str());
  return sp;
}
uint8_t* DumpCodeFn(uint8_t* sp) {
  const int32_t count = Pop<int32_t>(sp);
  const CScriptRun* run = CScriptRun::Current();
  if (!run) return sp;
  const SCodeDump dump = DumpCode(run->Code(), run->CodeSize(), run->Ip(),
                                  count < 0 ? 0 : static_cast<size_t>(count));
  // One trace call: each call replaces what the trace buffer holds.
  char line[64];
  std::snprintf(line, sizeof line, "Code at offset %d:\n", static_cast<int>(run->Ip()));
  std::string text = line + dump.text;
  std::snprintf(line, sizeof line, "Instructions dumped: %ld.\n", static_cast<long>(dump.count));
  text += line;
  if (dump.stopped) {
    std::snprintf(line, sizeof line, "Invalid instruction code found:%u.\n", dump.opcode);
    text += line;
  }
  TraceOut("%s", text.c_str());
  return sp;
}

using rows::Cast;
using rows::Entry;
using rows::Fn;
using rows::Op;
using rows::Type;
constexpr EOpKind kPre = EOpKind::kPrefix;
constexpr EOpKind kIn = EOpKind::kInfix;

SRow Literals() {
  SRow row{ERow::kLiterals};
  row.entries[0] = AsEntry(lib::IntLiteral);
  row.entries[1] = AsEntry(FloatLiteral);
  row.entries[2] = AsEntry(StrLiteral);
  row.entries[3] = AsEntry(BoolLiteral);
  return row;
}
SRow Addresses() {
  SRow row{ERow::kAddress};
  row.entries[0] = AsEntry(Copy<4>);
  row.entries[1] = AsEntry(Drop<4>);
  return row;
}

// The library in its registration order; the comments give native slots.
const SRow kLibrary[] = {
    Literals(),   // 0 .. 3
    Addresses(),  // 4, 5
    Type("int", kInt, 4),
    Entry(ERow::kVoidCons, kInt, Reserve<4>),          // 6
    Entry(ERow::kAddrCons, kInt, lib::IntCopy),        // 7
    Entry(ERow::kDestructor, kInt, lib::IntDestroy),   // 8
    Entry(ERow::kIsTrue, kInt, lib::IntTruth),         // 9
    Type("float", kFloat, 8),
    Entry(ERow::kVoidCons, kFloat, Reserve<8>),        // 10
    Entry(ERow::kAddrCons, kFloat, Copy<8>),           // 11
    Entry(ERow::kDestructor, kFloat, Drop<8>),         // 12
    Type("TPoint", kPoint, 4),
    Entry(ERow::kVoidCons, kPoint, Zeros<4>),          // 13
    Entry(ERow::kAddrCons, kPoint, Copy<4>),           // 14
    Entry(ERow::kDestructor, kPoint, Drop<4>),         // 15
    Type("bool", kBool, 1),
    Entry(ERow::kVoidCons, kBool, Reserve<1>),         // 16
    Entry(ERow::kAddrCons, kBool, Copy<1>),            // 17
    Entry(ERow::kDestructor, kBool, lib::BoolDestroy), // 18
    Entry(ERow::kIsTrue, kBool, lib::BoolTruth),       // 19
    Type("TRect", kRect, 8),
    Entry(ERow::kVoidCons, kRect, Zeros<8>),           // 20
    Entry(ERow::kAddrCons, kRect, Copy<8>),            // 21
    Entry(ERow::kDestructor, kRect, Drop<8>),          // 22
    Type("pstr", kPstr, 256),
    Entry(ERow::kVoidCons, kPstr, Reserve<256>),       // 23
    Entry(ERow::kAddrCons, kPstr, Copy<256>),          // 24
    Entry(ERow::kDestructor, kPstr, Drop<256>),        // 25
    Type("str", kStr, 4),
    Entry(ERow::kVoidCons, kStr, Zeros<4>),            // 26
    Entry(ERow::kAddrCons, kStr, lib::StrCopy),        // 27
    Entry(ERow::kDestructor, kStr, StrDestroy),        // 28
    Cast(kInt, kFloat, 30, IntToFloat),                // 29
    Cast(kBool, kPstr, 50, BoolToPstr),                // 30
    Cast(kBool, kInt, 15, BoolToInt),                  // 31
    Cast(kPstr, kStr, 15, PstrToStr),                  // 32
    // Operators (no native code).
    Op("*", 1, kIn), Op("/", 1, kIn),
    Op("-", 1, kPre), Op("+", 1, kPre),
    Op("+", 2, kIn), Op("-", 2, kIn),
    Op("==", 3, kIn), Op("<>", 3, kIn), Op("<", 3, kIn), Op(">", 3, kIn),
    Op("NOT", 4, kPre),
    Op("&&", 5, kIn),
    Op("||", 6, kIn), Op("XOR", 6, kIn),
    Op("=", 10, kIn, EAssoc::kRight),
    rows::Index("[", "]"),
    Fn("+", "int, int, int", lib::IntAdd),                        // 33
    Fn("-", "int, int, int", lib::IntSub),                        // 34
    Fn("*", "int, int, int", lib::IntMul),                        // 35
    Fn("/", "int, int, int", lib::IntDiv),                        // 36
    Fn("-", "int, int", lib::IntNeg),                             // 37
    Fn("==", "bool, int, int", lib::IntEq),                       // 38
    Fn("<>", "bool, int, int", lib::IntNe),                       // 39
    Fn("<", "bool, int, int", lib::IntLt),                        // 40
    Fn(">", "bool, int, int", lib::IntGt),                        // 41
    Fn("[", "int, int, int", lib::IntMul),                        // 42
    Fn("=", "void, int*, int", lib::IntAssign),                   // 43
    Fn("+", "float, float, float", Binary<double, double, AddFloat>),  // 44
    Fn("-", "float, float, float", Binary<double, double, SubFloat>),  // 45
    Fn("*", "float, float, float", Binary<double, double, MulFloat>),  // 46
    Fn("/", "float, float, float", Binary<double, double, DivFloat>),  // 47
    Fn("-", "float, float", Unary<double>),                            // 48
    Fn("==", "bool, float, float", Binary<double, uint8_t, EqualTo<double>>),   // 49
    Fn("<>", "bool, float, float", Binary<double, uint8_t, NotEqual<double>>),  // 50
    Fn("<", "bool, float, float", Binary<double, uint8_t, Less<double>>),       // 51
    Fn(">", "bool, float, float", Binary<double, uint8_t, Greater<double>>),    // 52
    Fn("=", "void, float*, float", Assign<8>),                    // 53
    Fn("=", "void, bool*, bool", Assign<1>),                      // 54
    Fn("NOT", "bool, bool", BoolNot),                             // 55
    Fn("&&", "bool, bool, bool", Binary<uint8_t, uint8_t, And>),  // 56
    Fn("XOR", "bool, bool, bool", Binary<uint8_t, uint8_t, Xor>), // 57
    Fn("||", "bool, bool, bool", Binary<uint8_t, uint8_t, Or>),   // 58
    Fn("=", "void, pstr*, pstr", PstrAssign),                     // 59
    Fn("=", "void, str*, str", StrAssign),                        // 60
    Fn("==", "bool, str, str", StrEq),                            // 61
    Fn("<>", "bool, str, str", StrNe),                            // 62
    Fn("+", "str, str, str", StrPlus),                            // 63
    Fn("=", "void, TPoint*, TPoint", Assign<4>),                  // 64
    Fn("=", "void, TRect*, TRect", Assign<8>),                    // 65
    Fn("rand", "int", Rand),                                      // 66
    Fn("Write", "void, int", WriteInt),                           // 67
    Fn("Write", "void, float", WriteFloat),                       // 68
    Fn("Write", "void, pstr", WritePstr),                         // 69
    Fn("Write", "void, str", WriteStr),                           // 70
    Fn("StrCmp", "int, str, str", Compare<false>),                // 71
    Fn("StrICmp", "int, str, str", Compare<true>),                // 72
    Fn("StrCat", "void, str*, str", StrCatStr),                   // 73
    Fn("FindChrPos", "int, str, int", StrIndexed<StrFindChr>),    // 74
    Fn("GetChr", "int, str, int", StrIndexed<StrGetChr>),         // 75
    Fn("IsNull", "bool, str", IsNull),                            // 76
    Fn("ToUpper", "void, str*", ConvertCase<StrToUpper>),         // 77
    Fn("ToLower", "void, str*", ConvertCase<StrToLower>),         // 78
    Fn("ptGetX", "int, TPoint", Field<TPoint, &TPoint::x>),       // 79
    Fn("ptGetY", "int, TPoint", Field<TPoint, &TPoint::y>),       // 80
    Fn("ptSet", "void, TPoint*, int, int", PtSet),                // 81
    Fn("ptInRect", "bool, TPoint, TRect", PtInRect),              // 82
    Fn("rcLeft", "int, TRect", Field<TRect, &TRect::left>),       // 83
    Fn("rcTop", "int, TRect", Field<TRect, &TRect::top>),         // 84
    Fn("rcRight", "int, TRect", Field<TRect, &TRect::right>),     // 85
    Fn("rcBottom", "int, TRect", Field<TRect, &TRect::bottom>),   // 86
    Fn("rcSet", "void, TRect*, int, int, int, int", RcSet),       // 87
    Fn("rcIntersect", "TRect, TRect, TRect", Binary<TRect, TRect, Intersect>),  // 88
    Fn("rcAdd", "TRect, TRect, TRect", Binary<TRect, TRect, Union>),            // 89
    Fn("rcGetCenter", "TPoint, TRect", RcGetCenter),              // 90
    Fn("DumpStack", "void", DumpStack),                           // 91
    Fn("DumpCode", "void, int", DumpCodeFn),                      // 92
};

}  // namespace

namespace lib {

uint8_t* IntLiteral(uint8_t* sp, int32_t value) {
  Push(sp, value);
  return sp;
}
uint8_t* IntCopy(uint8_t* sp, ScriptAddr source) { return Copy<4>(sp, source); }
uint8_t* IntDestroy(uint8_t* sp) { return sp - 4; }
int IntTruth(uint8_t** sp) { return Pop<int32_t>(*sp) != 0; }
int BoolTruth(uint8_t** sp) { return Pop<uint8_t>(*sp) != 0; }
uint8_t* IntAdd(uint8_t* sp) { return Binary<int32_t, int32_t, AddInt>(sp); }
uint8_t* IntSub(uint8_t* sp) { return Binary<int32_t, int32_t, SubInt>(sp); }
uint8_t* IntMul(uint8_t* sp) { return Binary<int32_t, int32_t, MulInt>(sp); }
uint8_t* IntDiv(uint8_t* sp) { return Binary<int32_t, int32_t, Divide>(sp); }
uint8_t* IntNeg(uint8_t* sp) { return Unary<int32_t>(sp); }
uint8_t* IntEq(uint8_t* sp) { return Binary<int32_t, uint8_t, EqualTo<int32_t>>(sp); }
uint8_t* IntNe(uint8_t* sp) { return Binary<int32_t, uint8_t, NotEqual<int32_t>>(sp); }
uint8_t* IntLt(uint8_t* sp) { return Binary<int32_t, uint8_t, Less<int32_t>>(sp); }
uint8_t* IntGt(uint8_t* sp) { return Binary<int32_t, uint8_t, Greater<int32_t>>(sp); }
uint8_t* IntAssign(uint8_t* sp) { return Assign<4>(sp); }
uint8_t* StrCopy(uint8_t* sp, ScriptAddr source) {
  const uint8_t* bytes = ScriptDeref(source, 4);
  if (!bytes) return sp;
  const StrHandle handle = Peek<StrHandle>(bytes);
  StrAddRef(handle);
  Push(sp, handle);
  return sp;
}
uint8_t* BoolDestroy(uint8_t* sp) { return sp - 1; }

}  // namespace lib

// Changed together with kLibrary.
const SModuleVersion kLibraryVersion = {"Mon Dec  7 19:40:00 2026", 0x6645fbad};

std::span<const SRow> LibraryRows() { return kLibrary; }

uint32_t RegisterLibrary(CScriptMachine* machine) {
  RegisterRows(machine, kLibrary);
  return BuildStamp(kLibraryVersion.date_time);
}
