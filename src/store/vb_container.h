// Containers of the value base: named, typed values stored under atoms.
//
// A stored value is u16 size (header included), u16 type, then the payload.
// Values sit at any byte offset of a container's buffer, so they are handled
// as byte pointers and read through the helpers below.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/byte_order.h"
#include "base/errors.h"
#include "base/object.h"
#include "fs/bfhp.h"
#include "base/geometry.h"
#include "store/object_cache.h"

class CHashDict;

using Atom = uint32_t;

enum : uint16_t {
  kValueContainer = 1,
  kValueLong = 2,
  kValueString = 3,
  kValuePoint = 4,
  kValueRect = 5,
  kValueScript = 34,
};

inline constexpr uint32_t kValueHeaderSize = 4;

inline uint16_t ValueSize(const uint8_t* value) { return GetLe16(value); }
inline uint16_t ValueType(const uint8_t* value) { return GetLe16(value + 2); }
inline uint32_t ValueWord(const uint8_t* value, uint32_t index) {
  return GetLe32(value + kValueHeaderSize + 4 * index);
}
// The handle a container value holds, or 0 for any other value.
inline StoreHandle ContainerHandleOf(const uint8_t* value) {
  return value && ValueType(value) == kValueContainer && ValueSize(value) >= 8
             ? ValueWord(value, 0)
             : 0;
}
inline constexpr uint16_t kScriptValueSize = 12;
// Container values hold a child container; script values own the blocks of
// their text and compiled code.
bool HoldsHandles(const uint8_t* value);
// A stored value built from its type and payload.
std::vector<uint8_t> MakeValue(uint16_t type, const void* payload, size_t payload_size);

class CContainer : public CObject {
  TV_CLASS(CContainer, CObject)

 public:
  explicit CContainer(CHashDict* dict) : m_dict(dict) {}

  virtual ErrCode Save() { return err::kOk; }
  // Type 0 accepts any type; only the first entry of the atom counts.
  virtual const uint8_t* GetValue(std::string_view name, uint16_t type);
  virtual const uint8_t* GetValueByAtom(Atom atom, uint16_t type);
  virtual ErrCode SetTyped(Atom atom, uint16_t type, const void* payload);
  virtual ErrCode SetTypedByName(std::string_view name, uint16_t type, const void* payload);
  virtual ErrCode SetValue(std::string_view name, const uint8_t* value);
  virtual ErrCode SetValueByAtom(Atom atom, const uint8_t* value);
  virtual ErrCode DeleteValue(std::string_view name);
  virtual ErrCode DeleteValueByAtom(Atom atom);
  virtual ErrCode RenameValue(std::string_view old_name, std::string_view new_name);
  virtual ErrCode RenameValueByAtom(Atom old_atom, Atom new_atom);
  // `cursor` 0 starts at the first value and is 0 again after the last.
  virtual ErrCode NextValue(uint32_t* cursor, Atom* atom, const uint8_t** value);

  // Typed readers: none, -1, (-1, -1) and all -1 when missing or of another
  // type.
  const char* GetString(std::string_view name);
  const char* GetStringByAtom(Atom atom);
  int32_t GetLong(std::string_view name);
  int32_t GetLongByAtom(Atom atom);
  TPoint GetPoint(std::string_view name);
  TPoint GetPointByAtom(Atom atom);
  TRect GetRect(std::string_view name);
  TRect GetRectByAtom(Atom atom);

 protected:
  // The name's atom, or 0 when it has none.
  Atom AtomOf(std::string_view name) const;
  CHashDict* m_dict;
};

// What a container needs of the value base that holds it: the store of its
// block, the atom dictionary, atoms for new names, and the release of a
// container it stops holding.
class CContainerOwner {
 public:
  virtual CBFHP* Store() const = 0;
  virtual CHashDict* Dict() = 0;
  virtual ErrCode Intern(std::string_view name, Atom* atom) = 0;
  virtual ErrCode Release(StoreHandle handle) = 0;
  // Frees a data block; a copy cached under its handle goes with it, so
  // that a block given the handle again is never read as the old one.
  virtual ErrCode FreeData(StoreHandle handle) = 0;

 protected:
  ~CContainerOwner() = default;
};

class CVBContainer : public CContainer, public CCacheObject {
  TV_CLASS(CVBContainer, CContainer)

 public:
  static constexpr uint32_t kBlockHeader = 8;
  static constexpr uint32_t kEmptyBuffer = 256;

  CVBContainer(CContainerOwner* owner, StoreHandle handle);
  // A container destroyed with reference count 0 releases its children and
  // frees its block; otherwise a dirty one is saved.
  ~CVBContainer() override;

  // Reads the block; INVALIDFORMAT when an entry overruns it.
  ErrCode Load();
  ErrCode Save() override;
  const uint8_t* GetValueByAtom(Atom atom, uint16_t type) override;
  ErrCode SetValue(std::string_view name, const uint8_t* value) override;
  ErrCode SetValueByAtom(Atom atom, const uint8_t* value) override;
  ErrCode DeleteValueByAtom(Atom atom) override;
  ErrCode RenameValue(std::string_view old_name, std::string_view new_name) override;
  ErrCode RenameValueByAtom(Atom old_atom, Atom new_atom) override;
  ErrCode NextValue(uint32_t* cursor, Atom* atom, const uint8_t** value) override;

  StoreHandle Handle() const { return m_handle; }
  uint32_t RefCount() const { return m_ref_count; }
  void SetRefCount(uint32_t count) {
    m_ref_count = count;
    m_dirty = true;
  }
  bool IsDirty() const { return m_dirty; }
  // Grows with every change of the values: what is read from them stays
  // good while it stays.
  uint32_t Changes() const { return m_changes; }
  uint32_t BufferLength() const { return static_cast<uint32_t>(m_buffer.size()); }
  // The bytes the block holds after Save.
  uint32_t UsedBytes() const;

 private:
  static constexpr size_t kNone = ~size_t{0};
  Atom AtomAt(size_t offset) const;
  uint16_t SizeAt(size_t offset) const;
  void SetFree(size_t offset, uint32_t size);
  size_t Find(Atom atom) const;
  size_t FindFreeSlot(uint32_t size);
  size_t AppendSlot(uint32_t size);
  void Place(size_t offset, Atom atom, const uint8_t* value);
  // Gives up what a value replaced or deleted held: a container reference,
  // or a script's text and code blocks, unless `replacement` holds them.
  ErrCode ReleaseHeld(const std::vector<uint8_t>& old, const uint8_t* replacement);
  void ReleaseChildren();

  CContainerOwner* m_owner;
  StoreHandle m_handle;
  uint32_t m_ref_count = 0;
  bool m_dirty = false;
  uint32_t m_changes = 0;
  bool m_loaded = false;
  std::vector<uint8_t> m_buffer;
};
