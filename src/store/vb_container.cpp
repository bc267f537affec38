// Containers in memory and in their blocks.
//
// Container block, little-endian:
//    0  4  reserved, 0
//    4  4  reference count: container values anywhere that hold this handle
//    8     entries, packed: u32 atom, then the stored value
// An entry takes 4 + value size bytes; an 8-byte block is an empty container.
//
// In memory the buffer mirrors the block from offset 8 on but may also hold
// free entries (atom 0, a value header whose size covers the free bytes,
// at least 4), so that a value that changes size reuses space instead of
// growing the buffer; Save writes only the used entries.
#include "store/vb_container.h"

#include <algorithm>

#include "base/log.h"
#include "store/hash_dict.h"

namespace {

constexpr uint32_t kEntryHead = 4;  // the atom before the value
constexpr uint32_t kMaxValueSize = 0xFFFF;

// The payload size each settable type takes; 0 for types SetTyped refuses.
size_t TypedPayloadSize(uint16_t type, const void* payload) {
  switch (type) {
    case kValueContainer:
    case kValueLong:
    case kValuePoint:
      return 4;
    case kValueString:
      return std::strlen(static_cast<const char*>(payload)) + 1;
    case kValueRect:
      return 8;
    default:
      return 0;
  }
}

}  // namespace

bool HoldsHandles(const uint8_t* value) {
  return (ValueType(value) == kValueContainer && ValueSize(value) >= 8) ||
         (ValueType(value) == kValueScript && ValueSize(value) >= kScriptValueSize);
}

std::vector<uint8_t> MakeValue(uint16_t type, const void* payload, size_t payload_size) {
  std::vector<uint8_t> value(kValueHeaderSize + payload_size);
  PutLe16(value.data(), static_cast<uint16_t>(value.size()));
  PutLe16(value.data() + 2, type);
  if (payload_size) std::memcpy(value.data() + kValueHeaderSize, payload, payload_size);
  return value;
}

// CContainer: the defaults.

Atom CContainer::AtomOf(std::string_view name) const {
  Atom atom = 0;
  return m_dict && m_dict->Get(name, &atom) == err::kOk ? atom : 0;
}

const uint8_t* CContainer::GetValue(std::string_view name, uint16_t type) {
  const Atom atom = AtomOf(name);
  return atom ? GetValueByAtom(atom, type) : nullptr;
}

const uint8_t* CContainer::GetValueByAtom(Atom, uint16_t) { return nullptr; }

ErrCode CContainer::SetTyped(Atom atom, uint16_t type, const void* payload) {
  const size_t size = TypedPayloadSize(type, payload);
  if (size == 0) return err::kNotImplementedYet;
  if (kValueHeaderSize + size > kMaxValueSize) return err::kBadParams;
  return SetValueByAtom(atom, MakeValue(type, payload, size).data());
}

ErrCode CContainer::SetTypedByName(std::string_view name, uint16_t type, const void* payload) {
  const Atom atom = AtomOf(name);
  if (!atom) return err::kNotFound;
  return SetTyped(atom, type, payload);
}

ErrCode CContainer::SetValue(std::string_view name, const uint8_t* value) {
  const Atom atom = AtomOf(name);
  if (!atom) return err::kNotFound;
  return SetValueByAtom(atom, value);
}

// In place, when the sizes match; the value lives in this container's memory.
ErrCode CContainer::SetValueByAtom(Atom atom, const uint8_t* value) {
  const uint8_t* old = GetValueByAtom(atom, 0);
  if (!old || ValueSize(old) != ValueSize(value)) return err::kNotImplementedYet;
  std::memmove(const_cast<uint8_t*>(old), value, ValueSize(value));
  return err::kOk;
}

ErrCode CContainer::DeleteValue(std::string_view name) {
  const Atom atom = AtomOf(name);
  if (!atom) return err::kNotFound;
  return DeleteValueByAtom(atom);
}

ErrCode CContainer::DeleteValueByAtom(Atom) { return err::kNotImplementedYet; }

ErrCode CContainer::RenameValue(std::string_view old_name, std::string_view new_name) {
  const Atom old_atom = AtomOf(old_name);
  const Atom new_atom = AtomOf(new_name);
  if (!old_atom || !new_atom) return err::kNotFound;
  return RenameValueByAtom(old_atom, new_atom);
}

ErrCode CContainer::RenameValueByAtom(Atom, Atom) { return err::kNotImplementedYet; }

ErrCode CContainer::NextValue(uint32_t* cursor, Atom*, const uint8_t**) {
  *cursor = 0;
  return err::kNotImplementedYet;
}

const char* CContainer::GetString(std::string_view name) {
  const Atom atom = AtomOf(name);
  return atom ? GetStringByAtom(atom) : nullptr;
}

const char* CContainer::GetStringByAtom(Atom atom) {
  const uint8_t* value = GetValueByAtom(atom, kValueString);
  if (!value || ValueSize(value) <= kValueHeaderSize) return nullptr;
  const char* text = reinterpret_cast<const char*>(value + kValueHeaderSize);
  const size_t length = ValueSize(value) - kValueHeaderSize;
  return std::memchr(text, '\0', length) ? text : nullptr;
}

int32_t CContainer::GetLong(std::string_view name) {
  const Atom atom = AtomOf(name);
  return atom ? GetLongByAtom(atom) : -1;
}

int32_t CContainer::GetLongByAtom(Atom atom) {
  const uint8_t* value = GetValueByAtom(atom, kValueLong);
  if (!value || ValueSize(value) < 8) return -1;
  return static_cast<int32_t>(ValueWord(value, 0));
}

TPoint CContainer::GetPoint(std::string_view name) {
  const Atom atom = AtomOf(name);
  return atom ? GetPointByAtom(atom) : TPoint{-1, -1};
}

TPoint CContainer::GetPointByAtom(Atom atom) {
  const uint8_t* value = GetValueByAtom(atom, kValuePoint);
  TPoint point{-1, -1};
  if (value && ValueSize(value) >= 8) std::memcpy(&point, value + kValueHeaderSize, 4);
  return point;
}

TRect CContainer::GetRect(std::string_view name) {
  const Atom atom = AtomOf(name);
  return atom ? GetRectByAtom(atom) : TRect{-1, -1, -1, -1};
}

TRect CContainer::GetRectByAtom(Atom atom) {
  const uint8_t* value = GetValueByAtom(atom, kValueRect);
  TRect rect{-1, -1, -1, -1};
  if (value && ValueSize(value) >= 12) std::memcpy(&rect, value + kValueHeaderSize, 8);
  return rect;
}

// CVBContainer.

CVBContainer::CVBContainer(CContainerOwner* owner, StoreHandle handle)
    : CContainer(owner->Dict()), m_owner(owner), m_handle(handle) {}

CVBContainer::~CVBContainer() {
  if (!m_loaded) return;
  ErrCode error = err::kOk;
  if (m_ref_count == 0) {
    ReleaseChildren();
    error = m_owner->Store()->FreeHandle(m_handle);
  } else if (m_dirty) {
    error = Save();
  }
  if (error)
    LogMessage(kLogEngine, "VB: container %u not written back (%s)\n", m_handle,
               ErrName(error));
}

Atom CVBContainer::AtomAt(size_t offset) const {
  return GetLe32(m_buffer.data() + offset);
}

uint16_t CVBContainer::SizeAt(size_t offset) const {
  return ValueSize(m_buffer.data() + offset + kEntryHead);
}

void CVBContainer::SetFree(size_t offset, uint32_t size) {
  PutLe32(m_buffer.data() + offset, 0);
  PutLe16(m_buffer.data() + offset + kEntryHead, static_cast<uint16_t>(size));
  PutLe16(m_buffer.data() + offset + kEntryHead + 2, 0);
}

ErrCode CVBContainer::Load() {
  CBFHP* store = m_owner->Store();
  uint32_t size = 0;
  if (ErrCode error = store->SizeOf(m_handle, &size)) return error;
  if (size < kBlockHeader) return err::kInvalidFormat;
  std::vector<uint8_t> block(size);
  if (ErrCode error = store->Read(m_handle, block.data(), 0, size)) return error;
  m_ref_count = GetLe32(block.data() + 4);
  m_buffer.assign(block.begin() + kBlockHeader, block.end());
  for (size_t offset = 0; offset < m_buffer.size(); offset += kEntryHead + SizeAt(offset)) {
    if (m_buffer.size() - offset < kEntryHead + kValueHeaderSize ||
        SizeAt(offset) < kValueHeaderSize ||
        m_buffer.size() - offset < kEntryHead + SizeAt(offset))
      return err::kInvalidFormat;
  }
  if (m_buffer.empty()) {
    m_buffer.resize(kEmptyBuffer);
    SetFree(0, kEmptyBuffer - kEntryHead);
    m_dirty = true;
  }
  m_loaded = true;
  return err::kOk;
}

uint32_t CVBContainer::UsedBytes() const {
  uint32_t used = 0;
  for (size_t offset = 0; offset < m_buffer.size(); offset += kEntryHead + SizeAt(offset))
    if (AtomAt(offset)) used += kEntryHead + SizeAt(offset);
  return used;
}

ErrCode CVBContainer::Save() {
  if (!m_dirty) return err::kOk;
  CBFHP* store = m_owner->Store();
  const uint32_t used = UsedBytes();
  std::vector<uint8_t> block(kBlockHeader + used);
  PutLe32(block.data(), 0);
  PutLe32(block.data() + 4, m_ref_count);
  if (used == m_buffer.size()) {
    std::memcpy(block.data() + kBlockHeader, m_buffer.data(), used);
  } else {
    uint8_t* out = block.data() + kBlockHeader;
    for (size_t offset = 0; offset < m_buffer.size(); offset += kEntryHead + SizeAt(offset)) {
      if (!AtomAt(offset)) continue;
      const size_t length = kEntryHead + SizeAt(offset);
      std::memcpy(out, m_buffer.data() + offset, length);
      out += length;
    }
  }
  uint32_t size = 0;
  if (ErrCode error = store->SizeOf(m_handle, &size)) return error;
  if (size != block.size())
    if (ErrCode error = store->Resize(m_handle, static_cast<uint32_t>(block.size()))) return error;
  if (ErrCode error = store->Write(m_handle, block.data(), 0,
                                   static_cast<uint32_t>(block.size())))
    return error;
  m_dirty = false;
  return err::kOk;
}

size_t CVBContainer::Find(Atom atom) const {
  for (size_t offset = 0; offset < m_buffer.size(); offset += kEntryHead + SizeAt(offset))
    if (AtomAt(offset) == atom) return offset;
  return kNone;
}

const uint8_t* CVBContainer::GetValueByAtom(Atom atom, uint16_t type) {
  if (atom == 0) return nullptr;
  const size_t offset = Find(atom);
  if (offset == kNone) return nullptr;
  const uint8_t* value = m_buffer.data() + offset + kEntryHead;
  return type == 0 || ValueType(value) == type ? value : nullptr;
}

ErrCode CVBContainer::SetValue(std::string_view name, const uint8_t* value) {
  Atom atom = 0;
  if (ErrCode error = m_owner->Intern(name, &atom)) return error;
  return SetValueByAtom(atom, value);
}

// The first free entry that holds `size` exactly or with room for a free
// remainder, merging each free entry with a free successor on the way.
size_t CVBContainer::FindFreeSlot(uint32_t size) {
  for (size_t offset = 0; offset < m_buffer.size(); offset += kEntryHead + SizeAt(offset)) {
    if (AtomAt(offset)) continue;
    const size_t next = offset + kEntryHead + SizeAt(offset);
    if (next < m_buffer.size() && AtomAt(next) == 0) {
      const uint32_t merged = SizeAt(offset) + SizeAt(next) + kEntryHead;
      if (merged <= kMaxValueSize) SetFree(offset, merged);
    }
    const uint32_t free_size = SizeAt(offset);
    if (free_size == size || free_size >= size + 8) return offset;
  }
  return kNone;
}

// Moves the used entries to the front and makes room for `size` at their end.
size_t CVBContainer::AppendSlot(uint32_t size) {
  size_t used = 0;
  for (size_t offset = 0; offset < m_buffer.size();) {
    const size_t length = kEntryHead + SizeAt(offset);
    if (AtomAt(offset)) {
      if (offset != used) std::memmove(m_buffer.data() + used, m_buffer.data() + offset, length);
      used += length;
    }
    offset += length;
  }
  const size_t left = m_buffer.size() - used;
  const size_t entry = kEntryHead + size;
  if ((left != entry && left < entry + 8) || left - kEntryHead > kMaxValueSize)
    m_buffer.resize(used + entry);
  SetFree(used, static_cast<uint32_t>(m_buffer.size() - used - kEntryHead));
  return used;
}

void CVBContainer::Place(size_t offset, Atom atom, const uint8_t* value) {
  const uint32_t slot = SizeAt(offset);
  const uint32_t size = ValueSize(value);
  PutLe32(m_buffer.data() + offset, atom);
  std::memcpy(m_buffer.data() + offset + kEntryHead, value, size);
  if (slot > size) SetFree(offset + kEntryHead + size, slot - size - kEntryHead);
}

ErrCode CVBContainer::SetValueByAtom(Atom atom, const uint8_t* value) {
  const uint32_t size = ValueSize(value);
  if (atom == 0 || size < kValueHeaderSize) return err::kBadParams;
  // The value may be one of this buffer's own, which compaction moves.
  std::vector<uint8_t> copy;
  if (value >= m_buffer.data() && value < m_buffer.data() + m_buffer.size()) {
    copy.assign(value, value + size);
    value = copy.data();
  }
  m_dirty = true;
  ++m_changes;
  std::vector<uint8_t> replaced;
  size_t slot = Find(atom);
  if (slot != kNone) {
    const uint8_t* old_value = m_buffer.data() + slot + kEntryHead;
    if (HoldsHandles(old_value)) replaced.assign(old_value, old_value + ValueSize(old_value));
    const uint32_t old = SizeAt(slot);
    if (old != size && old < size + 8) {
      PutLe32(m_buffer.data() + slot, 0);
      slot = kNone;
    }
  }
  if (slot == kNone) slot = FindFreeSlot(size);
  if (slot == kNone) slot = AppendSlot(size);
  Place(slot, atom, value);
  return ReleaseHeld(replaced, value);
}

ErrCode CVBContainer::DeleteValueByAtom(Atom atom) {
  const size_t slot = atom ? Find(atom) : kNone;
  if (slot == kNone) return err::kNotFound;
  m_dirty = true;
  ++m_changes;
  const uint8_t* value = m_buffer.data() + slot + kEntryHead;
  std::vector<uint8_t> held;
  if (HoldsHandles(value)) held.assign(value, value + ValueSize(value));
  PutLe32(m_buffer.data() + slot, 0);
  return ReleaseHeld(held, nullptr);
}

ErrCode CVBContainer::ReleaseHeld(const std::vector<uint8_t>& old, const uint8_t* replacement) {
  if (old.empty()) return err::kOk;
  const uint8_t* value = old.data();
  auto kept = [&](uint32_t index) {
    return replacement && ValueType(replacement) == ValueType(value) &&
           ValueSize(replacement) >= kValueHeaderSize + 4 * (index + 1) &&
           ValueWord(replacement, index) == ValueWord(value, index);
  };
  if (ValueType(value) == kValueContainer) return kept(0) ? err::kOk : m_owner->Release(ValueWord(value, 0));
  ErrCode result = err::kOk;
  for (uint32_t index = 0; index < 2; ++index) {
    const StoreHandle block = ValueWord(value, index);
    if (block && !kept(index))
      if (ErrCode error = m_owner->FreeData(block)) result = error;
  }
  return result;
}

ErrCode CVBContainer::RenameValue(std::string_view old_name, std::string_view new_name) {
  const Atom old_atom = AtomOf(old_name);
  if (!old_atom) return err::kNotFound;
  Atom new_atom = 0;
  if (ErrCode error = m_owner->Intern(new_name, &new_atom)) return error;
  return RenameValueByAtom(old_atom, new_atom);
}

ErrCode CVBContainer::RenameValueByAtom(Atom old_atom, Atom new_atom) {
  const size_t slot = old_atom ? Find(old_atom) : kNone;
  if (slot == kNone) return err::kNotFound;
  PutLe32(m_buffer.data() + slot, new_atom);
  m_dirty = true;
  ++m_changes;
  return err::kOk;
}

ErrCode CVBContainer::NextValue(uint32_t* cursor, Atom* atom, const uint8_t** value) {
  size_t offset = 0;
  if (*cursor > m_buffer.size()) offset = m_buffer.size();
  else if (*cursor) offset = *cursor - 1 + kEntryHead + SizeAt(*cursor - 1);
  for (; offset < m_buffer.size(); offset += kEntryHead + SizeAt(offset)) {
    if (!AtomAt(offset)) continue;
    *cursor = static_cast<uint32_t>(offset + 1);
    if (atom) *atom = AtomAt(offset);
    if (value) *value = m_buffer.data() + offset + kEntryHead;
    return err::kOk;
  }
  *cursor = 0;
  return err::kNotFound;
}

void CVBContainer::ReleaseChildren() {
  for (size_t offset = 0; offset < m_buffer.size(); offset += kEntryHead + SizeAt(offset)) {
    const uint8_t* value = m_buffer.data() + offset + kEntryHead;
    if (AtomAt(offset) && HoldsHandles(value))
      ReleaseHeld(std::vector<uint8_t>(value, value + ValueSize(value)), nullptr);
  }
}
