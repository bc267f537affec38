// Shared script strings (`str`) and short strings (`pstr`).
//
// A `str` value is a 32-bit memory handle of a block laid out as
//   u16 size (characters + 6), u16 reference count, characters, NUL
// or 0 for "no string". The block may be larger than its size field says
// (room for appending). Creating a string gives it one reference; the block
// is freed when the last reference goes.
//
// The functions here borrow their handle arguments unless they say they
// consume one; a handle they answer is a reference the caller owns. Texts
// longer than kMaxStrLength are cut to it. Allocation failures answer the
// null string, so no function here fails.
//
// String blocks stay locked while they exist (they count as locked memory).
//
// A `pstr` is 256 bytes: a length byte, up to 255 characters and a NUL
// (which a text of 255 characters has no room for).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/memory.h"

using StrHandle = MemHandle;

inline constexpr size_t kStrHeaderSize = 4;
inline constexpr size_t kStrSizeExtra = 6;
inline constexpr size_t kMaxStrLength = 0xFFFF - kStrSizeExtra;
inline constexpr size_t kPstrSize = 256;
inline constexpr size_t kMaxPstrLength = 255;

// A new string holding `text`; 0 when it cannot be allocated.
StrHandle StrNew(std::string_view text);
void StrAddRef(StrHandle handle);
// Drops one reference; frees the block at 0. Null is ignored.
void StrRelease(StrHandle handle);
uint16_t StrRefCount(StrHandle handle);
// Strings alive in the process (for leak checks).
size_t StrLiveCount();
// Frees every string at once, whatever its references: for the end of the
// process's scripts (shutdown), after which no str value is used again. A
// run that stops with an error leaves the strings on its stack allocated.
void StrFreeAll();
// Counts the events after which a handle may name another text: a string
// freed, or changed in place.
namespace str_internal {
extern uint64_t g_changes;
}
inline uint64_t StrChangeCount() { return str_internal::g_changes; }

// A string's text (empty for null), valid until the string next changes.
class CStrText {
 public:
  explicit CStrText(StrHandle handle);
  CStrText(const CStrText&) = delete;
  CStrText& operator=(const CStrText&) = delete;
  std::string_view view() const { return m_text; }

 private:
  std::string_view m_text;
};

// `==` on strings: the same handle, or both non-null with equal bytes.
bool StrEqual(StrHandle a, StrHandle b);
// -1, 0 or 1 by byte comparison, null counting as empty; `ignore_case`
// folds A-Z onto a-z first.
int StrCompare(StrHandle a, StrHandle b, bool ignore_case);
// `+`: a new string with a then b; when one side is null, the other side
// with one more reference.
StrHandle StrConcat(StrHandle a, StrHandle b);
// StrCat: consumes `target` and answers its successor with `source`
// appended (changed in place when `target` is unique and has room). A null
// target becomes `source` with one more reference.
StrHandle StrAppend(StrHandle target, StrHandle source);
// ToUpper / ToLower: consumes `target` and answers it unique with a-z (or
// A-Z) converted.
StrHandle StrToUpper(StrHandle target);
StrHandle StrToLower(StrHandle target);
// The index of the first byte equal to the low 8 bits of `code`, or -1 (also
// for a null string and for code 0).
int32_t StrFindChr(StrHandle handle, int32_t code);
// The byte at `index` as a signed 8-bit code; 0 for null or outside the text.
int32_t StrGetChr(StrHandle handle, int32_t index);
// The text copied into `buffer`: at most size - 1 characters and a NUL
// (nothing for size 0). Answers the characters copied.
size_t StrCopyOut(StrHandle handle, char* buffer, size_t size);

// Takes the string a script variable holds when the variable is destroyed,
// instead of releasing it: how a caller reads back a value parameter that a
// handler assigned to. `slot` is the variable's host address on the script
// stack. Keepers nest with the runs they watch.
class CStrKeeper {
 public:
  explicit CStrKeeper(const uint8_t* slot);
  ~CStrKeeper();
  CStrKeeper(const CStrKeeper&) = delete;
  CStrKeeper& operator=(const CStrKeeper&) = delete;
  // Whether the variable was destroyed (a run that stopped early never
  // destroys it); the kept string belongs to the keeper.
  bool Kept() const { return m_kept; }
  StrHandle Handle() const { return m_handle; }
  // For the `str` destructor: takes `handle` when a keeper watches `slot`.
  static bool Take(const uint8_t* slot, StrHandle handle);

 private:
  const uint8_t* m_slot;
  StrHandle m_handle = 0;
  bool m_kept = false;
  CStrKeeper* m_outer;
};

// Short strings: a text cut to 255 characters, and the text of one (a length
// byte above what the bytes hold cannot occur: it is at most 255).
void PstrSet(uint8_t* pstr, std::string_view text);
std::string_view PstrText(const uint8_t* pstr);
// The casts bool -> pstr ("true"/"false") and pstr -> str.
void PstrFromBool(bool value, uint8_t* pstr);
StrHandle StrFromPstr(const uint8_t* pstr);
