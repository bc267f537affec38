// Resources by kind and name through a chain of loaders.
//
// At the bottom a loader reads files and builds resources; above it the
// cache keeps resources nobody holds any more, up to a byte budget, so that
// asking again costs no file access. Callers ask the top of the chain.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/errors.h"
#include "base/object.h"

enum : uint32_t {
  kResourceTemplate = 7,  // a CHashIni
  kResourceBitmap = 9,    // a CBitmap
  kResourceFont = 10,     // a CFont
};

// One link of the chain. A resource is handed out by Lock and given back by
// Unlock; the link that built it owns it until then. Its class follows from
// its kind (KindOf checks it).
class CResourceLoader {
 public:
  virtual ~CResourceLoader() = default;
  // Answers "Not implemented yet" here, at the end of every chain.
  virtual ErrCode Lock(uint32_t kind, const char* name, CObject** resource, uint32_t flags);
  virtual ErrCode Reload(uint32_t kind, const char* name, CObject* resource, uint32_t flags);
  virtual ErrCode Unlock(uint32_t kind, CObject* resource);
  // An operation every link hands down unchanged.
  virtual ErrCode Command(uint32_t kind, uint32_t code, void* argument);
};

// Builds the engine's kinds from files named by their virtual paths: bitmaps
// from BMP files, templates from INI files, fonts from font files, and owns
// each until its Unlock. Other kinds go to the base's answer.
class CFileLoader : public CResourceLoader {
 public:
  ErrCode Lock(uint32_t kind, const char* name, CObject** resource, uint32_t flags) override;
  ErrCode Unlock(uint32_t kind, CObject* resource) override;

 private:
  std::unordered_map<CObject*, std::unique_ptr<CObject>> m_loaded;
};

// The size in bytes and the cache flags of a freshly loaded resource.
using ResourceSizeFn = void (*)(uint32_t kind, CObject* resource, uint32_t* size,
                                uint32_t* flags);
// The sizes of the kinds CFileLoader builds; 0 for others.
void FileResourceSize(uint32_t kind, CObject* resource, uint32_t* size, uint32_t* flags);

class CRLCache : public CResourceLoader {
 public:
  // The engine's chain: table size and byte budget.
  static constexpr uint32_t kTableSize = 500;
  static constexpr uint32_t kBudget = 0x106000;
  // Entry flags.
  static constexpr uint32_t kCacheOnly = 0x01;  // loaded unlocked, found by name only
  static constexpr uint32_t kOutOfNames = 0x02;  // already out of the name index
  static constexpr uint32_t kDiscardOnUnlock = 0x04;
  static constexpr uint32_t kPassThrough = 0x08;  // further locks while locked go below
  static constexpr size_t kMaxName = 255;

  CRLCache(std::unique_ptr<CResourceLoader> below, uint32_t table_size, uint32_t budget,
           ResourceSizeFn size);
  // Releases everything cached; every entry still locked gets a trace line.
  ~CRLCache() override;
  CRLCache(const CRLCache&) = delete;
  CRLCache& operator=(const CRLCache&) = delete;

  ErrCode Lock(uint32_t kind, const char* name, CObject** resource, uint32_t flags) override;
  ErrCode Reload(uint32_t kind, const char* name, CObject* resource, uint32_t flags) override;
  ErrCode Unlock(uint32_t kind, CObject* resource) override;
  ErrCode Command(uint32_t kind, uint32_t code, void* argument) override;
  // NOTFOUND for a name the cache does not know.
  ErrCode Forget(uint32_t kind, const char* name);

  // The unlocked resources held and their bytes.
  size_t CachedCount() const;
  uint32_t CachedBytes() const { return m_cached_bytes; }

 private:
  struct SEntry {
    uint32_t kind = 0;
    uint32_t size = 0;
    uint32_t flags = 0;
    uint32_t locks = 0;
    std::string name;
    CObject* resource = nullptr;  // held through a lock on the loader below
    SEntry* name_next = nullptr;
    SEntry* resource_next = nullptr;
    bool in_resources = false;
    // The list of cached entries, oldest first.
    SEntry* older = nullptr;
    SEntry* newer = nullptr;
    bool cached = false;
    std::list<SEntry>::iterator self;
  };

  uint32_t NameSlot(uint32_t kind, const char* name) const;
  uint32_t ResourceSlot(uint32_t kind, const CObject* resource) const;
  SEntry* FindName(uint32_t kind, const char* name) const;
  SEntry* FindResource(uint32_t kind, const CObject* resource) const;
  void RemoveName(SEntry* entry);
  void RemoveResource(SEntry* entry);
  void AppendCached(SEntry* entry);
  void RemoveCached(SEntry* entry);
  // Takes the entry out of everything, releases its resource below and
  // deletes it.
  void Release(SEntry* entry);
  void Trim(uint32_t limit);
  uint32_t LimitFor(uint32_t size) const { return size < m_budget ? m_budget - size : 0; }

  std::unique_ptr<CResourceLoader> m_below;
  std::vector<SEntry*> m_names;
  std::vector<SEntry*> m_resources;
  std::list<SEntry> m_entries;
  SEntry* m_oldest = nullptr;
  SEntry* m_newest = nullptr;
  uint32_t m_cached_bytes = 0;
  uint32_t m_budget;
  ResourceSizeFn m_size;
};
