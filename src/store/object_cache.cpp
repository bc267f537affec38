#include "store/object_cache.h"

CObjectCache::CObjectCache(uint32_t max_objects, uint64_t max_cost)
    : m_max_objects(max_objects), m_max_cost(max_cost) {}

CObjectCache::~CObjectCache() { Clear(); }

CCacheObject* CObjectCache::FindAndPin(ECacheKind kind, uint32_t handle) {
  auto found = m_entries.find(KeyOf(kind, handle));
  if (found == m_entries.end()) return nullptr;
  SEntry& entry = found->second;
  if (entry.pins++ == 0) m_pinned.splice(m_pinned.begin(), m_unpinned, entry.order);
  return entry.object.get();
}

CCacheObject* CObjectCache::Peek(ECacheKind kind, uint32_t handle) const {
  auto found = m_entries.find(KeyOf(kind, handle));
  return found == m_entries.end() ? nullptr : found->second.object.get();
}

bool CObjectCache::IsPinned(ECacheKind kind, uint32_t handle) const {
  auto found = m_entries.find(KeyOf(kind, handle));
  return found != m_entries.end() && found->second.pins > 0;
}

CCacheObject* CObjectCache::Insert(ECacheKind kind, uint32_t handle,
                                   std::unique_ptr<CCacheObject> object, uint64_t cost) {
  const Key key = KeyOf(kind, handle);
  std::unique_ptr<CCacheObject> replaced = Take(key);
  SEntry& entry = m_entries[key];
  entry.object = std::move(object);
  entry.pins = 1;
  entry.cost = cost;
  entry.order = m_pinned.insert(m_pinned.begin(), key);
  m_cost += cost;
  CCacheObject* inserted = entry.object.get();
  replaced.reset();
  Trim();
  return inserted;
}

void CObjectCache::Unpin(ECacheKind kind, uint32_t handle) {
  auto found = m_entries.find(KeyOf(kind, handle));
  if (found == m_entries.end() || found->second.pins == 0) return;
  SEntry& entry = found->second;
  if (--entry.pins == 0) m_unpinned.splice(m_unpinned.begin(), m_pinned, entry.order);
  Trim();
}

std::unique_ptr<CCacheObject> CObjectCache::Take(Key key) {
  auto found = m_entries.find(key);
  if (found == m_entries.end()) return nullptr;
  SEntry& entry = found->second;
  (entry.pins ? m_pinned : m_unpinned).erase(entry.order);
  m_cost -= entry.cost;
  std::unique_ptr<CCacheObject> object = std::move(entry.object);
  m_entries.erase(found);
  return object;
}

void CObjectCache::Remove(ECacheKind kind, uint32_t handle) { Take(KeyOf(kind, handle)); }

void CObjectCache::Trim() {
  while ((m_entries.size() > m_max_objects || m_cost > m_max_cost) && !m_unpinned.empty())
    Take(m_unpinned.back());
}

std::vector<uint32_t> CObjectCache::Handles(ECacheKind kind) const {
  std::vector<uint32_t> handles;
  for (const auto& [key, entry] : m_entries)
    if (key >> 32 == static_cast<uint8_t>(kind)) handles.push_back(static_cast<uint32_t>(key));
  return handles;
}

void CObjectCache::Clear() {
  while (!m_entries.empty()) Take(m_entries.begin()->first);
}
