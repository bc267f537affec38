#include "script/array_functions.h"

#include <string>
#include <type_traits>

#include "script/native.h"
#include "script/native_args.h"
#include "script/registration_rows.h"
#include "script/script_array.h"
#include "script/script_call.h"
#include "script/script_ini.h"
#include "script/script_machine.h"
#include "script/script_run.h"
#include "script/script_string.h"

namespace {

std::string Text(StrHandle handle) { return std::string(CStrText(handle).view()); }

// The running script's arrays and INI files.
CScriptArrays& Arrays() { return RunningMachine().Arrays(); }
CScriptInis& Inis() { return RunningMachine().Inis(); }

CScriptArray* Named(StrHandle name) { return Arrays().Named(name); }

// An element access: the array must hold `type` and `index` be inside it,
// else the diagnostic is written.
CScriptArray* Element(StrHandle name, EArrayType type, int32_t index) {
  CScriptArray* array = Named(name);
  if (!array) return nullptr;
  if (!array->Accepts(type, index)) {
    ScriptDiagnostic("%s", array->AccessText(index).c_str());
    return nullptr;
  }
  return array;
}

uint8_t* ArrDef(uint8_t* sp) {
  CArgs args(&sp, 12);
  const StrHandle name = args.Str();
  const StrHandle type = args.Str();
  const int32_t size = args.Int();
  args.Result(name && type &&
              Arrays().Define(CStrText(name).view(), CStrText(type).view(), size));
  return sp;
}

uint8_t* ArrGetSize(uint8_t* sp) {
  CArgs args(&sp, 8);
  const StrHandle name = args.Str();
  const ScriptAddr out = args.Addr();
  if (!name) {
    args.Result(false);
    return sp;
  }
  // True for any name, but only an existing array has a size to store.
  if (const CScriptArray* array = Named(name))
    if (uint8_t* bytes = ScriptDeref(out, 4)) Poke<int32_t>(bytes, array->Size());
  args.Result(true);
  return sp;
}

// Whether a value is a null str (other types have no null).
template <class T>
bool IsNullText(T value) {
  if constexpr (std::is_same_v<T, StrHandle>) return value == 0;
  else return false;
}

// Stores an element into a script variable; a str variable gets its own
// reference and lets go of its old string.
template <class T>
void StoreOut(uint8_t* bytes, T value) {
  if constexpr (std::is_same_v<T, StrHandle>) {
    StrAddRef(value);
    StrRelease(Peek<StrHandle>(bytes));
  }
  Poke(bytes, value);
}

// Get: bool(str name, int index, T* out).
template <class T, EArrayType kType, T (CScriptArray::*kGet)(int32_t) const, bool kBorrowed>
uint8_t* ArrGet(uint8_t* sp) {
  CArgs args(&sp, 12, kBorrowed);
  const StrHandle name = args.Str();
  const int32_t index = args.Int();
  const ScriptAddr out = args.Addr();
  CScriptArray* array = Element(name, kType, index);
  uint8_t* bytes = array ? ScriptDeref(out, sizeof(T)) : nullptr;
  if (bytes) StoreOut(bytes, (array->*kGet)(index));
  args.Result(bytes != nullptr);
  return sp;
}

// Set: bool(str name, int index, T value).
template <class T, EArrayType kType, void (CScriptArray::*kSet)(int32_t, T), bool kBorrowed>
uint8_t* ArrSet(uint8_t* sp) {
  CArgs args(&sp, 8 + sizeof(T), kBorrowed);
  const StrHandle name = args.Str();
  const int32_t index = args.Int();
  const T value = args.Value<T>();
  if (IsNullText(value)) {
    args.Result(false);
    return sp;
  }
  CScriptArray* array = Element(name, kType, index);
  if (array) (array->*kSet)(index, value);
  args.Result(array != nullptr);
  return sp;
}

// Find: bool(str name, T value, int* index), searching from *index on.
template <class T, EArrayType kType, bool (CScriptArray::*kFind)(T, int32_t*) const,
          bool kBorrowed>
uint8_t* ArrFind(uint8_t* sp) {
  CArgs args(&sp, 8 + sizeof(T), kBorrowed);
  const CScriptArray* array = Named(args.Str());
  const T value = args.Value<T>();
  uint8_t* bytes = ScriptDeref(args.Addr(), 4);
  bool found = false;
  if (array && bytes && array->Type() == kType && !IsNullText(value)) {
    int32_t index = Peek<int32_t>(bytes);
    found = (array->*kFind)(value, &index);
    if (found) Poke(bytes, index);
  }
  args.Result(found);
  return sp;
}

uint8_t* ArrUndef(uint8_t* sp) {
  CArgs args(&sp, 4);
  if (const StrHandle name = args.Str()) Arrays().Undefine(CStrText(name).view());
  return sp;
}

// ArrScramble and ArrScramble2: bool(str name, int, int, int).
template <bool kSecond>
uint8_t* Scramble(uint8_t* sp) {
  CArgs args(&sp, 16);
  CScriptArray* array = Named(args.Str());
  const int32_t first = args.Int();
  const int32_t count = args.Int();
  const int32_t size = args.Int();
  bool done = false;
  if (array) {
    done = kSecond ? (array->Scramble2(first, count, size, EngineRandom()), false)
                   : array->Scramble(first, count, size, EngineRandom());
  }
  args.Result(done);
  return sp;
}

uint8_t* ArrLoad(uint8_t* sp) {
  CArgs args(&sp, 12);
  CScriptArray* array = Named(args.Str());
  const StrHandle file = args.Str();
  const StrHandle section = args.Str();
  const CHashIni* ini = file ? Inis().Find(CStrText(file).view()) : nullptr;
  if (array && ini && section) array->Fill(*ini, Text(section).c_str());
  args.Result(array && ini && section);
  return sp;
}

uint8_t* GetIni(uint8_t* sp) {
  CArgs args(&sp, 16);
  const StrHandle file = args.Str();
  const StrHandle section = args.Str();
  const StrHandle key = args.Str();
  const ScriptAddr out = args.Addr();
  StrHandle value = 0;
  if (file && section && key)
    value = Inis().Get(CStrText(file).view(), Text(section).c_str(), Text(key).c_str());
  uint8_t* bytes = value ? ScriptDeref(out, 4) : nullptr;
  if (bytes) {
    StrRelease(Peek<StrHandle>(bytes));
    Poke(bytes, value);
  } else {
    StrRelease(value);
  }
  args.Result(bytes != nullptr);
  return sp;
}

uint8_t* IniDef(uint8_t* sp) {
  CArgs args(&sp, 4);
  const StrHandle file = args.Str();
  args.Result(file && Inis().Define(CStrText(file).view()));
  return sp;
}

uint8_t* IniUndef(uint8_t* sp) {
  CArgs args(&sp, 4);
  if (const StrHandle file = args.Str()) Inis().Undefine(CStrText(file).view());
  return sp;
}

using rows::Fn;

// Element access in both forms: owning its str arguments, and borrowing.
template <class T, EArrayType kType, T (CScriptArray::*kGet)(int32_t) const>
SRow Get(const char* name, const char* signature) {
  return Fn(name, signature, ArrGet<T, kType, kGet, false>, ArrGet<T, kType, kGet, true>);
}
template <class T, EArrayType kType, void (CScriptArray::*kSet)(int32_t, T)>
SRow Set(const char* name, const char* signature) {
  return Fn(name, signature, ArrSet<T, kType, kSet, false>, ArrSet<T, kType, kSet, true>);
}
template <class T, EArrayType kType, bool (CScriptArray::*kFind)(T, int32_t*) const>
SRow Find(const char* name, const char* signature) {
  return Fn(name, signature, ArrFind<T, kType, kFind, false>, ArrFind<T, kType, kFind, true>);
}

// The array and INI functions in their registration order (slots 321 on).
const SRow kArrayFunctions[] = {
    Fn("ArrDef", "bool, str, str, int", ArrDef),
    Fn("ArrGetSize", "bool, str, int*", ArrGetSize),
    Get<int32_t, EArrayType::kInt, &CScriptArray::GetInt>("ArrGetInt", "bool, str, int, int*"),
    Get<StrHandle, EArrayType::kStr, &CScriptArray::GetStr>("ArrGetStr", "bool, str, int, str*"),
    Set<int32_t, EArrayType::kInt, &CScriptArray::SetInt>("ArrSetInt", "bool, str, int, int"),
    Set<StrHandle, EArrayType::kStr, &CScriptArray::SetStr>("ArrSetStr", "bool, str, int, str"),
    Fn("ArrUndef", "void, str", ArrUndef),
    Fn("ArrScramble", "bool, str, int, int, int", Scramble<false>),
    Fn("ArrScramble2", "bool, str, int, int, int", Scramble<true>),
    Fn("ArrLoad", "bool, str, str, str", ArrLoad),
    Get<TPoint, EArrayType::kPoint, &CScriptArray::GetPoint>("ArrGetPt", "bool, str, int, TPoint*"),
    Set<TPoint, EArrayType::kPoint, &CScriptArray::SetPoint>("ArrSetPt", "bool, str, int, TPoint"),
    Find<int32_t, EArrayType::kInt, &CScriptArray::FindInt>("ArrFindInt", "bool, str, int, int*"),
    Find<StrHandle, EArrayType::kStr, &CScriptArray::FindStr>("ArrFindStr", "bool, str, str, int*"),
    Fn("GetIni", "bool, str, str, str, str*", GetIni),
    Fn("IniDef", "bool, str", IniDef),
    Fn("IniUndef", "void, str", IniUndef),
    Get<TRect, EArrayType::kRect, &CScriptArray::GetRect>("ArrGetRect", "bool, str, int, TRect*"),
    Set<TRect, EArrayType::kRect, &CScriptArray::SetRect>("ArrSetRect", "bool, str, int, TRect"),
};

}  // namespace

std::span<const SRow> ArrayFunctionRows() { return kArrayFunctions; }
