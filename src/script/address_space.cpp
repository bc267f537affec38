#include "script/address_space.h"

ScriptAddr CScriptAddressSpace::Map(void* base, uint32_t size) {
  if (!base || size == 0 || size > kMaxRegionSize) return 0;
  uint32_t slot;
  if (!m_free_slots.empty()) {
    slot = m_free_slots.back();
    m_free_slots.pop_back();
  } else {
    if (m_regions.size() >= kSlotCount) return 0;
    slot = static_cast<uint32_t>(m_regions.size());
    m_regions.emplace_back();
  }
  m_regions[slot] = {static_cast<uint8_t*>(base), size};
  ++m_mapped;
  return slot << kOffsetBits;
}

void CScriptAddressSpace::Unmap(ScriptAddr address) {
  const uint32_t slot = address >> kOffsetBits;
  if (slot == 0 || slot >= m_regions.size() || m_regions[slot].size == 0) return;
  m_regions[slot] = {};
  --m_mapped;
  if (slot + 1 == m_regions.size()) {
    m_regions.pop_back();
  } else {
    m_free_slots.push_back(slot);
  }
}

ErrCode CScriptAddressSpace::Read(ScriptAddr address, void* out, uint32_t size) const {
  const uint8_t* bytes = Resolve(address, size);
  if (!bytes) return kAddressFault;
  std::memcpy(out, bytes, size);
  return err::kOk;
}

ErrCode CScriptAddressSpace::Write(ScriptAddr address, const void* bytes,
                                   uint32_t size) const {
  uint8_t* target = Resolve(address, size);
  if (!target) return kAddressFault;
  std::memcpy(target, bytes, size);
  return err::kOk;
}
