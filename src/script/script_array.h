// Script arrays: named, typed arrays that scripts create and that survive
// between handler calls, with their persistence form.
//
// Element types are the script type ids of int, str, TPoint (4 bytes each)
// and TRect (8 bytes); a str element owns one reference of its string.
// Names compare case-sensitively; new arrays go to the front of the list.
//
// Persistence form (an INI, written into the saved game): section "Arrays"
// has one key per array, the array's name (empty value); each array has a
// section of its own name with "Count" (element count), "Type" ("int",
// "str", "TPoint" or "TRect") and one key per element named by its index in
// decimal, valued as a decimal integer, "%d, %d" for a point,
// "%d, %d, %d, %d" for a rectangle, or the text of a string (null strings
// are left out). Arrays are written oldest first, so that loading, which
// puts each new array in front, restores the list's order. INI names ignore
// case, so of two arrays whose names differ only in case one is lost there.
#pragma once

#include <cstdint>
#include <cstring>
#include <list>
#include <string>
#include <string_view>
#include <vector>

#include "base/random.h"
#include "script/script_string.h"
#include "base/geometry.h"

class CHashIni;

enum class EArrayType : uint8_t { kInt = 1, kPoint = 6, kRect = 8, kStr = 11 };

inline constexpr int32_t kMaxArraySize = 65535;
inline constexpr int32_t kMaxScramble2Count = 63;

class CScriptArray {
 public:
  CScriptArray(std::string name, EArrayType type, int32_t size);
  ~CScriptArray();
  CScriptArray(const CScriptArray&) = delete;
  CScriptArray& operator=(const CScriptArray&) = delete;

  const std::string& Name() const { return m_name; }
  EArrayType Type() const { return m_type; }
  int32_t Size() const { return m_size; }
  // Whether `index` names an element of an array of `type`.
  bool Accepts(EArrayType type, int32_t index) const {
    return type == m_type && index >= 0 && index < m_size;
  }
  // The diagnostic of a rejected access: "Arr %s, type %d, size %d, idx %d".
  std::string AccessText(int32_t index) const;

  // Element access; the index must pass Accepts for the element's type.
  int32_t GetInt(int32_t index) const { return Load<int32_t>(index); }
  void SetInt(int32_t index, int32_t value) { Store(index, value); }
  TPoint GetPoint(int32_t index) const { return Load<TPoint>(index); }
  void SetPoint(int32_t index, TPoint value) { Store(index, value); }
  TRect GetRect(int32_t index) const { return Load<TRect>(index); }
  void SetRect(int32_t index, TRect value) { Store(index, value); }
  // Borrowed: the caller adds a reference to keep it.
  StrHandle GetStr(int32_t index) const;
  // Adds a reference to `value` and releases the element's old string.
  void SetStr(int32_t index, StrHandle value);

  // ArrFindInt / ArrFindStr: the first index from `*index` (0..65535)
  // upwards holding the value (by text; null elements never match), stored
  // in `*index`; false when none or the start is out of range.
  bool FindInt(int32_t value, int32_t* index) const;
  bool FindStr(StrHandle value, int32_t* index) const;

  // ArrScramble: shuffles `groups` groups of `group_size` elements starting
  // at `first`; false when they do not fit in the array.
  bool Scramble(int32_t first, int32_t groups, int32_t group_size, CRandom& random);
  // ArrScramble2: permutes `count` (0..63) elements taken every `stride`
  // elements from `first`, keeping values whose indices differ only in
  // their lowest bit apart where it can. Answers whether the arguments were
  // in range (the script function itself always answers false).
  bool Scramble2(int32_t first, int32_t count, int32_t stride, CRandom& random);

  // The element keys of a section ("0", "1", ...) written into the
  // elements they name; other elements keep their values.
  void Fill(const CHashIni& ini, const char* section);
  // This array's section of the persistence form.
  void Save(CHashIni* ini) const;

 private:
  uint32_t ElementSize() const { return m_type == EArrayType::kRect ? 8 : 4; }
  uint8_t* At(int32_t index) { return m_bytes.data() + static_cast<size_t>(index) * ElementSize(); }
  const uint8_t* At(int32_t index) const {
    return m_bytes.data() + static_cast<size_t>(index) * ElementSize();
  }
  // Elements are kept unaligned in m_bytes, so they are copied in and out.
  template <class T>
  T Load(int32_t index) const {
    T value;
    std::memcpy(&value, At(index), sizeof value);
    return value;
  }
  template <class T>
  void Store(int32_t index, T value) {
    std::memcpy(At(index), &value, sizeof value);
  }
  void SetFromText(int32_t index, const char* text);
  std::string ElementText(int32_t index) const;

  std::string m_name;
  EArrayType m_type;
  int32_t m_size;
  std::vector<uint8_t> m_bytes;
};

// The element type of a type name ("int", "str", "TPoint", "TRect").
bool ArrayTypeFromName(std::string_view name, EArrayType* type);
const char* ArrayTypeName(EArrayType type);

class CScriptArrays {
 public:
  // ArrDef: false for an existing name, an unknown type or a size outside
  // 1..65535.
  bool Define(std::string_view name, std::string_view type_name, int32_t size);
  CScriptArray* Find(std::string_view name);
  // The array a non-null str names, or null. Scripts name the same array
  // call after call, so the last answer is kept while neither the string
  // nor the array list has changed.
  CScriptArray* Named(StrHandle name);
  // ArrUndef; false when there is no such array.
  bool Undefine(std::string_view name);
  // Frees every array, the front first.
  void Clear();
  size_t Count() const { return m_arrays.size(); }
  // The array list, newest first.
  const std::list<CScriptArray>& Arrays() const { return m_arrays; }

  // The persistence form of every array, added to `ini`.
  void Save(CHashIni* ini) const;
  // Deletes every array, then recreates those listed in "Arrays"; entries
  // without a valid "Count" and "Type", or naming an array twice (letter
  // case ignored, as the INI's names do), are skipped.
  void Load(const CHashIni& ini);

 private:
  bool LoadedAlready(std::string_view name) const;

  struct SLastNamed {
    StrHandle name = 0;
    uint64_t strings = 0;
    uint64_t arrays = 0;
    CScriptArray* array = nullptr;
  };

  std::list<CScriptArray> m_arrays;
  uint64_t m_changes = 0;
  SLastNamed m_last_named;
};
