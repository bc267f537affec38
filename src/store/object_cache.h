// The object cache: loaded objects of a value base by kind and store handle.
//
// Objects in use are pinned; unpinned objects stay loaded until the cache
// needs room, and then the least recently unpinned go first. Destroying an
// object may call back into the cache (a container releases its children),
// so an object leaves the tables before its destructor runs.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

class CCacheObject {
 public:
  virtual ~CCacheObject() = default;
};

enum class ECacheKind : uint8_t { kContainer, kData };

class CObjectCache {
 public:
  // The world's budgets.
  static constexpr uint32_t kDefaultObjects = 500;
  static constexpr uint64_t kDefaultCost = 128 * 1024;

  CObjectCache(uint32_t max_objects = kDefaultObjects, uint64_t max_cost = kDefaultCost);
  ~CObjectCache();
  CObjectCache(const CObjectCache&) = delete;
  CObjectCache& operator=(const CObjectCache&) = delete;

  CCacheObject* FindAndPin(ECacheKind kind, uint32_t handle);
  // Without pinning; null when not loaded.
  CCacheObject* Peek(ECacheKind kind, uint32_t handle) const;
  bool IsPinned(ECacheKind kind, uint32_t handle) const;
  // The object enters pinned.
  CCacheObject* Insert(ECacheKind kind, uint32_t handle, std::unique_ptr<CCacheObject> object,
                       uint64_t cost);
  void Unpin(ECacheKind kind, uint32_t handle);
  void Remove(ECacheKind kind, uint32_t handle);
  // Every loaded object of the kind, pinned or not.
  std::vector<uint32_t> Handles(ECacheKind kind) const;
  // Destroys every object.
  void Clear();

  uint32_t Count() const { return static_cast<uint32_t>(m_entries.size()); }
  uint64_t Cost() const { return m_cost; }

 private:
  using Key = uint64_t;
  struct SEntry {
    std::unique_ptr<CCacheObject> object;
    uint32_t pins = 0;
    uint64_t cost = 0;
    std::list<Key>::iterator order;  // in m_unpinned or m_pinned
  };
  static Key KeyOf(ECacheKind kind, uint32_t handle) {
    return (uint64_t{static_cast<uint8_t>(kind)} << 32) | handle;
  }
  void Trim();
  std::unique_ptr<CCacheObject> Take(Key key);

  uint32_t m_max_objects;
  uint64_t m_max_cost;
  uint64_t m_cost = 0;
  std::unordered_map<Key, SEntry> m_entries;
  std::list<Key> m_unpinned;  // most recently unpinned first
  std::list<Key> m_pinned;
};
