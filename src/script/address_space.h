// The script address space.
//
// Script memory never holds a host pointer. A script address is 32 bits: the
// high kSlotBits name a slot of the region table, the low kOffsetBits an
// offset into that slot's region. Regions are the memory the engine hands a
// script: a running context's stack, the temporary argument area of a call,
// each registered global. Resolve checks that the whole value lies inside
// one region, so no address a script or a malformed block makes up can
// reach other memory; a failed resolution is kAddressFault, never a stray
// access. Slot 0 is never used, so address 0 resolves to nothing.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/errors.h"

using ScriptAddr = uint32_t;

// The error a native reports when an address does not resolve.
inline constexpr ErrCode kAddressFault = err::kInvalidStoff;

class CScriptAddressSpace {
 public:
  static constexpr uint32_t kOffsetBits = 20;
  static constexpr uint32_t kSlotBits = 32 - kOffsetBits;
  static constexpr uint32_t kMaxRegionSize = uint32_t{1} << kOffsetBits;
  static constexpr uint32_t kSlotCount = uint32_t{1} << kSlotBits;

  // Maps `size` bytes at `base` (1 .. kMaxRegionSize) and answers the
  // address of the first byte; 0 when the size is out of range or every
  // slot is taken. The bytes stay the caller's; they must outlive the map.
  ScriptAddr Map(void* base, uint32_t size);
  // Takes the region holding `address` out of the table.
  void Unmap(ScriptAddr address);

  // The host bytes of `size` bytes at `address`, or null unless they all lie
  // inside one mapped region.
  uint8_t* Resolve(ScriptAddr address, uint32_t size) const {
    const uint32_t slot = address >> kOffsetBits;
    const uint32_t offset = address & (kMaxRegionSize - 1);
    if (slot >= m_regions.size()) return nullptr;
    const SRegion& region = m_regions[slot];
    if (size > region.size || offset > region.size - size) return nullptr;
    return region.base + offset;
  }

  // Copies between script memory and the host; kAddressFault when the
  // address does not resolve (nothing is copied then).
  ErrCode Read(ScriptAddr address, void* out, uint32_t size) const;
  ErrCode Write(ScriptAddr address, const void* bytes, uint32_t size) const;
  template <class T>
  ErrCode Load(ScriptAddr address, T* out) const {
    return Read(address, out, sizeof(T));
  }
  template <class T>
  ErrCode Store(ScriptAddr address, const T& value) const {
    return Write(address, &value, sizeof(T));
  }

  uint32_t MappedCount() const { return m_mapped; }

 private:
  struct SRegion {
    uint8_t* base = nullptr;
    uint32_t size = 0;  // 0: a free slot
  };

  std::vector<SRegion> m_regions{1};  // slot 0 stays empty
  std::vector<uint32_t> m_free_slots;
  uint32_t m_mapped = 0;
};

// Keeps one region mapped for a scope.
class CMappedRegion {
 public:
  CMappedRegion(void* base, uint32_t size, CScriptAddressSpace& space)
      : m_space(space), m_address(space.Map(base, size)) {}
  ~CMappedRegion() {
    if (m_address) m_space.Unmap(m_address);
  }
  CMappedRegion(const CMappedRegion&) = delete;
  CMappedRegion& operator=(const CMappedRegion&) = delete;

  // 0 when the region could not be mapped.
  ScriptAddr Address() const { return m_address; }

 private:
  CScriptAddressSpace& m_space;
  ScriptAddr m_address;
};
