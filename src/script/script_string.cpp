#include "script/script_string.h"

#include <algorithm>
#include <cstring>
#include <vector>

// String values are memory handles, which are numbered process-wide
// (base/memory.h); the table of string blocks follows that numbering, so it
// and its counters are process-wide too.
namespace str_internal {
uint64_t g_changes = 0;
}

namespace {

size_t g_live_strings = 0;
CStrKeeper* g_keepers = nullptr;  // the innermost
// The bytes of every string block by handle, null for handles that are not
// strings. A str value comes from script memory, which a malformed block
// can fill with any bits; a handle that is not a string counts as null, so
// no other block is ever touched. String blocks stay locked from their
// creation to their end, so their bytes only move when a string grows.
std::vector<uint8_t*> g_blocks;

uint8_t* Bytes(StrHandle handle) { return handle < g_blocks.size() ? g_blocks[handle] : nullptr; }
bool IsString(StrHandle handle) { return Bytes(handle) != nullptr; }

// Records where a string's locked block is now (null: it is gone).
void MarkString(StrHandle handle, void* block) {
  if (handle >= g_blocks.size()) g_blocks.resize(handle + 1024, nullptr);
  g_blocks[handle] = static_cast<uint8_t*>(block);
}

struct SStrHeader {
  uint16_t size;
  uint16_t refs;
};

SStrHeader ReadHeader(const void* block) {
  SStrHeader header;
  std::memcpy(&header, block, sizeof header);
  return header;
}

void WriteHeader(void* block, SStrHeader header) {
  std::memcpy(block, &header, sizeof header);
}

char* Chars(void* block) { return static_cast<char*>(block) + kStrHeaderSize; }

size_t Capacity(StrHandle handle) {
  const size_t bytes = HandleSize(handle);
  return bytes > kStrHeaderSize ? bytes - kStrHeaderSize - 1 : 0;
}

// A fresh block with room for `capacity` characters, holding `text`.
StrHandle Allocate(std::string_view text, size_t capacity) {
  const size_t length = std::min(text.size(), kMaxStrLength);
  capacity = std::clamp(capacity, length, kMaxStrLength);
  const StrHandle handle = AllocHandle(std::max(kStrHeaderSize + capacity + 1, kStrSizeExtra));
  void* block = LockHandle(handle);
  if (!block) {
    FreeHandle(handle);
    return 0;
  }
  WriteHeader(block, {static_cast<uint16_t>(length + kStrSizeExtra), 1});
  // An empty view may have no characters to point at.
  if (length) std::memcpy(Chars(block), text.data(), length);
  Chars(block)[length] = '\0';
  ++g_live_strings;
  MarkString(handle, block);
  return handle;
}

// `target` with one reference and room for `length` characters; the old
// reference is consumed. Null when no room can be had (target unchanged).
StrHandle MakeUnique(StrHandle target, size_t length) {
  length = std::min(length, kMaxStrLength);
  const uint8_t* block = Bytes(target);
  if (!block) return 0;
  const uint16_t refs = ReadHeader(block).refs;
  // Appending grows by doubling so that building a string stays linear.
  const size_t room = std::min(std::max(length, 2 * length - length / 2), kMaxStrLength);
  if (refs == 1) {
    ++str_internal::g_changes;  // the caller changes the text in place
    if (Capacity(target) >= length) return target;
    if (!ResizeHandle(target, kStrHeaderSize + room + 1)) return 0;
    MarkString(target, HandleLockedPointer(target));
    return target;
  }
  const StrHandle copy = Allocate(CStrText(target).view(), room);
  if (copy) StrRelease(target);
  return copy;
}

StrHandle ConvertCase(StrHandle target, char from, char to) {
  if (!IsString(target)) return 0;
  const size_t length = CStrText(target).view().size();
  const StrHandle unique = MakeUnique(target, length);
  if (!unique) return target;
  char* chars = Chars(Bytes(unique));
  for (size_t i = 0; i < length; ++i)
    if (chars[i] >= from && chars[i] <= from + 25) chars[i] = static_cast<char>(chars[i] - from + to);
  return unique;
}

}  // namespace

CStrText::CStrText(StrHandle handle) {
  uint8_t* block = Bytes(handle);
  if (!block) return;
  const SStrHeader header = ReadHeader(block);
  m_text = std::string_view(Chars(block), header.size - kStrSizeExtra);
}

StrHandle StrNew(std::string_view text) { return Allocate(text, text.size()); }

void StrAddRef(StrHandle handle) {
  uint8_t* block = Bytes(handle);
  if (!block) return;
  SStrHeader header = ReadHeader(block);
  ++header.refs;
  WriteHeader(block, header);
}

void StrRelease(StrHandle handle) {
  uint8_t* block = Bytes(handle);
  if (!block) return;
  SStrHeader header = ReadHeader(block);
  if (--header.refs != 0) {
    WriteHeader(block, header);
    return;
  }
  MarkString(handle, nullptr);
  ++str_internal::g_changes;
  UnlockHandle(handle);
  FreeHandle(handle);
  --g_live_strings;
}

void StrFreeAll() {
  for (StrHandle handle = 0; handle < g_blocks.size(); ++handle) {
    if (!g_blocks[handle]) continue;
    UnlockHandle(handle);
    FreeHandle(handle);
  }
  g_blocks.clear();
  g_live_strings = 0;
  ++str_internal::g_changes;
}

uint16_t StrRefCount(StrHandle handle) {
  const uint8_t* block = Bytes(handle);
  return block ? ReadHeader(block).refs : 0;
}

size_t StrLiveCount() { return g_live_strings; }

bool StrEqual(StrHandle a, StrHandle b) {
  if (a == b) return true;
  if (!a || !b) return false;
  return CStrText(a).view() == CStrText(b).view();
}

int StrCompare(StrHandle a, StrHandle b, bool ignore_case) {
  const CStrText left(a);
  const CStrText right(b);
  const std::string_view x = left.view();
  const std::string_view y = right.view();
  const auto fold = [ignore_case](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return ignore_case && byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
  };
  for (size_t i = 0; i < std::min(x.size(), y.size()); ++i) {
    const int diff = fold(x[i]) - fold(y[i]);
    if (diff) return diff < 0 ? -1 : 1;
  }
  if (x.size() == y.size()) return 0;
  return x.size() < y.size() ? -1 : 1;
}

StrHandle StrConcat(StrHandle a, StrHandle b) {
  if (!IsString(a) || !IsString(b)) {
    const StrHandle side = IsString(a) ? a : IsString(b) ? b : 0;
    StrAddRef(side);
    return side;
  }
  const CStrText left(a);
  const CStrText right(b);
  const StrHandle result = Allocate(left.view(), left.view().size() + right.view().size());
  return result ? StrAppend(result, b) : 0;
}

StrHandle StrAppend(StrHandle target, StrHandle source) {
  if (!IsString(target)) {
    StrAddRef(source);
    return source;
  }
  // The source may be the target itself: take its text before it changes.
  const size_t old_length = CStrText(target).view().size();
  const size_t added = CStrText(source).view().size();
  const size_t length = std::min(old_length + added, kMaxStrLength);
  if (length == old_length) return target;
  if (source == target) StrAddRef(source);
  const StrHandle unique = MakeUnique(target, length);
  if (unique) {
    uint8_t* block = Bytes(unique);
    const CStrText text(source);
    std::memcpy(Chars(block) + old_length, text.view().data(), length - old_length);
    Chars(block)[length] = '\0';
    WriteHeader(block, {static_cast<uint16_t>(length + kStrSizeExtra), 1});
  }
  if (source == target) StrRelease(source);
  return unique ? unique : target;
}

StrHandle StrToUpper(StrHandle target) { return ConvertCase(target, 'a', 'A'); }
StrHandle StrToLower(StrHandle target) { return ConvertCase(target, 'A', 'a'); }

int32_t StrFindChr(StrHandle handle, int32_t code) {
  const CStrText text(handle);
  const char wanted = static_cast<char>(code & 0xFF);
  if (wanted == '\0') return -1;
  const size_t at = text.view().find(wanted);
  return at == std::string_view::npos ? -1 : static_cast<int32_t>(at);
}

int32_t StrGetChr(StrHandle handle, int32_t index) {
  const CStrText text(handle);
  if (index < 0 || static_cast<size_t>(index) >= text.view().size()) return 0;
  return static_cast<int8_t>(text.view()[static_cast<size_t>(index)]);
}

size_t StrCopyOut(StrHandle handle, char* buffer, size_t size) {
  if (size == 0) return 0;
  const CStrText text(handle);
  const size_t count = std::min(text.view().size(), size - 1);
  std::copy_n(text.view().data(), count, buffer);
  buffer[count] = '\0';
  return count;
}

void PstrSet(uint8_t* pstr, std::string_view text) {
  const size_t length = std::min(text.size(), kMaxPstrLength);
  pstr[0] = static_cast<uint8_t>(length);
  std::memcpy(pstr + 1, text.data(), length);
  if (length < kMaxPstrLength) pstr[1 + length] = '\0';
}

std::string_view PstrText(const uint8_t* pstr) {
  return std::string_view(reinterpret_cast<const char*>(pstr + 1), pstr[0]);
}

void PstrFromBool(bool value, uint8_t* pstr) { PstrSet(pstr, value ? "true" : "false"); }

StrHandle StrFromPstr(const uint8_t* pstr) { return StrNew(PstrText(pstr)); }

CStrKeeper::CStrKeeper(const uint8_t* slot) : m_slot(slot), m_outer(g_keepers) { g_keepers = this; }

CStrKeeper::~CStrKeeper() {
  g_keepers = m_outer;
  StrRelease(m_handle);
}

bool CStrKeeper::Take(const uint8_t* slot, StrHandle handle) {
  for (CStrKeeper* keeper = g_keepers; keeper; keeper = keeper->m_outer) {
    if (keeper->m_slot != slot || keeper->m_kept) continue;
    keeper->m_handle = handle;
    keeper->m_kept = true;
    return true;
  }
  return false;
}
