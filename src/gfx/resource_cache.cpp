#include "gfx/resource_cache.h"

#include <cstring>

#include "base/log.h"
#include "gfx/bmp.h"
#include "gfx/font.h"
#include "store/hash_ini.h"

namespace {

// The bucket counts of a template INI file.
constexpr uint32_t kTemplateSections = 16;
constexpr uint32_t kTemplateKeys = 64;

bool SameName(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(*a) != lower(*b)) return false;
    if (!*a) return true;
  }
}

std::unique_ptr<CObject> LoadBitmapFile(const char* name, ErrCode* error) {
  return LoadBmp(name, error, false);
}

std::unique_ptr<CObject> LoadFontFile(const char* name, ErrCode* error) {
  return CFont::Load(name, error);
}

std::unique_ptr<CObject> LoadTemplateFile(const char* name, ErrCode* error) {
  auto ini = std::make_unique<CHashIni>(kTemplateSections, kTemplateKeys);
  if ((*error = ini->Load(name))) return nullptr;
  return ini;
}

uint32_t BitmapBytes(CObject* resource) {
  const CBitmap* bitmap = KindOf<CBitmap>(resource);
  return static_cast<uint32_t>(sizeof(CBitmap)) + bitmap->ByteCount() +
         (bitmap->Palette() ? 4 * bitmap->Palette()->Count() : 0);
}

uint32_t FontBytes(CObject* resource) { return KindOf<CFont>(resource)->ByteSize(); }

uint32_t TemplateBytes(CObject* resource) {
  return static_cast<uint32_t>(KindOf<CHashIni>(resource)->Text().size());
}

// The kinds built from files: how each is read and what it weighs.
struct SFileKind {
  uint32_t kind;
  std::unique_ptr<CObject> (*load)(const char* name, ErrCode* error);
  uint32_t (*bytes)(CObject* resource);
};

constexpr SFileKind kFileKinds[] = {
    {kResourceBitmap, LoadBitmapFile, BitmapBytes},
    {kResourceFont, LoadFontFile, FontBytes},
    {kResourceTemplate, LoadTemplateFile, TemplateBytes},
};

const SFileKind* FindFileKind(uint32_t kind) {
  for (const SFileKind& row : kFileKinds)
    if (row.kind == kind) return &row;
  return nullptr;
}

}  // namespace

ErrCode CResourceLoader::Lock(uint32_t, const char*, CObject** resource, uint32_t) {
  *resource = nullptr;
  return err::kNotImplementedYet;
}

ErrCode CResourceLoader::Reload(uint32_t, const char*, CObject*, uint32_t) { return err::kOk; }

ErrCode CResourceLoader::Unlock(uint32_t, CObject*) { return err::kNotImplementedYet; }

ErrCode CResourceLoader::Command(uint32_t, uint32_t, void*) { return err::kNotImplementedYet; }

ErrCode CFileLoader::Lock(uint32_t kind, const char* name, CObject** resource, uint32_t flags) {
  const SFileKind* row = FindFileKind(kind);
  if (!row) return CResourceLoader::Lock(kind, name, resource, flags);
  ErrCode error = err::kOk;
  std::unique_ptr<CObject> loaded = row->load(name, &error);
  *resource = loaded.get();
  if (loaded) m_loaded.emplace(*resource, std::move(loaded));
  return error;
}

ErrCode CFileLoader::Unlock(uint32_t kind, CObject* resource) {
  return m_loaded.erase(resource) ? err::kOk : CResourceLoader::Unlock(kind, resource);
}

void FileResourceSize(uint32_t kind, CObject* resource, uint32_t* size, uint32_t* flags) {
  const SFileKind* row = FindFileKind(kind);
  *flags = 0;
  *size = row ? row->bytes(resource) : 0;
}

CRLCache::CRLCache(std::unique_ptr<CResourceLoader> below, uint32_t table_size, uint32_t budget,
                   ResourceSizeFn size)
    : m_below(std::move(below)),
      m_names(table_size ? table_size : 1, nullptr),
      m_resources(table_size ? table_size : 1, nullptr),
      m_budget(budget),
      m_size(size) {}

CRLCache::~CRLCache() {
  Trim(0);
  for (const SEntry& entry : m_entries)
    TraceOut("Locked resource (0x%08lx, %d bytes): %s\n", static_cast<unsigned long>(entry.kind),
             static_cast<int>(entry.size), entry.name.c_str());
}

uint32_t CRLCache::NameSlot(uint32_t kind, const char* name) const {
  return (CHashIni::Hash(name) + kind) % m_names.size();
}

uint32_t CRLCache::ResourceSlot(uint32_t kind, const CObject* resource) const {
  return static_cast<uint32_t>((reinterpret_cast<uintptr_t>(resource) >> 4) + kind) %
         m_resources.size();
}

CRLCache::SEntry* CRLCache::FindName(uint32_t kind, const char* name) const {
  for (SEntry* e = m_names[NameSlot(kind, name)]; e; e = e->name_next)
    if (e->kind == kind && SameName(e->name.c_str(), name)) return e;
  return nullptr;
}

CRLCache::SEntry* CRLCache::FindResource(uint32_t kind, const CObject* resource) const {
  for (SEntry* e = m_resources[ResourceSlot(kind, resource)]; e; e = e->resource_next)
    if (e->kind == kind && e->resource == resource) return e;
  return nullptr;
}

void CRLCache::RemoveName(SEntry* entry) {
  if (entry->flags & kOutOfNames) return;
  for (SEntry** link = &m_names[NameSlot(entry->kind, entry->name.c_str())]; *link;
       link = &(*link)->name_next) {
    if (*link == entry) {
      *link = entry->name_next;
      break;
    }
  }
  entry->flags |= kOutOfNames;
}

void CRLCache::RemoveResource(SEntry* entry) {
  if (!entry->in_resources) return;
  for (SEntry** link = &m_resources[ResourceSlot(entry->kind, entry->resource)]; *link;
       link = &(*link)->resource_next) {
    if (*link == entry) {
      *link = entry->resource_next;
      break;
    }
  }
  entry->in_resources = false;
}

void CRLCache::AppendCached(SEntry* entry) {
  entry->older = m_newest;
  entry->newer = nullptr;
  (m_newest ? m_newest->newer : m_oldest) = entry;
  m_newest = entry;
  entry->cached = true;
  m_cached_bytes += entry->size;
}

void CRLCache::RemoveCached(SEntry* entry) {
  if (!entry->cached) return;
  (entry->older ? entry->older->newer : m_oldest) = entry->newer;
  (entry->newer ? entry->newer->older : m_newest) = entry->older;
  entry->older = entry->newer = nullptr;
  entry->cached = false;
  m_cached_bytes -= entry->size;
}

void CRLCache::Release(SEntry* entry) {
  RemoveCached(entry);
  RemoveName(entry);
  RemoveResource(entry);
  m_below->Unlock(entry->kind, entry->resource);
  m_entries.erase(entry->self);
}

void CRLCache::Trim(uint32_t limit) {
  while (m_cached_bytes > limit && m_oldest) Release(m_oldest);
}

ErrCode CRLCache::Lock(uint32_t kind, const char* name, CObject** resource, uint32_t flags) {
  if (std::strlen(name) > kMaxName) return m_below->Lock(kind, name, resource, flags);
  if (SEntry* entry = FindName(kind, name)) {
    if ((entry->flags & kPassThrough) && entry->locks > 0)
      return m_below->Lock(kind, name, resource, flags);
    if (!(entry->flags & kCacheOnly) && entry->locks == 0) RemoveCached(entry);
    ++entry->locks;
    *resource = entry->resource;
    return err::kOk;
  }
  CObject* loaded = nullptr;
  if (ErrCode error = m_below->Lock(kind, name, &loaded, flags)) {
    *resource = nullptr;
    return error;
  }
  uint32_t size = 0;
  uint32_t entry_flags = 0;
  m_size(kind, loaded, &size, &entry_flags);
  SEntry& entry = m_entries.emplace_back();
  entry.self = std::prev(m_entries.end());
  entry.kind = kind;
  entry.size = size ? size : 1;
  entry.flags = entry_flags & ~kOutOfNames;
  entry.name = name;
  entry.resource = loaded;
  SEntry*& names = m_names[NameSlot(kind, name)];
  entry.name_next = names;
  names = &entry;
  if (entry.flags & kCacheOnly) {
    Trim(LimitFor(entry.size));
    AppendCached(&entry);
  } else {
    entry.locks = 1;
    SEntry*& resources = m_resources[ResourceSlot(kind, loaded)];
    entry.resource_next = resources;
    resources = &entry;
    entry.in_resources = true;
  }
  *resource = loaded;
  return err::kOk;
}

ErrCode CRLCache::Unlock(uint32_t kind, CObject* resource) {
  SEntry* entry = FindResource(kind, resource);
  if (!entry) return m_below->Unlock(kind, resource);
  if (entry->locks == 0 || --entry->locks > 0) return err::kOk;
  if (entry->size >= m_budget || (entry->flags & kDiscardOnUnlock)) {
    Release(entry);
    return err::kOk;
  }
  Trim(LimitFor(entry->size));
  AppendCached(entry);
  return err::kOk;
}

ErrCode CRLCache::Forget(uint32_t kind, const char* name) {
  SEntry* entry = FindName(kind, name);
  if (!entry) return err::kNotFound;
  if (entry->locks > 0) {
    RemoveName(entry);
    entry->flags |= kOutOfNames | kDiscardOnUnlock;
  } else {
    Release(entry);
  }
  return err::kOk;
}

ErrCode CRLCache::Reload(uint32_t kind, const char* name, CObject* resource, uint32_t flags) {
  Forget(kind, name);
  return m_below->Reload(kind, name, resource, flags);
}

ErrCode CRLCache::Command(uint32_t kind, uint32_t code, void* argument) {
  return m_below->Command(kind, code, argument);
}

size_t CRLCache::CachedCount() const {
  size_t count = 0;
  for (const SEntry* e = m_oldest; e; e = e->newer) ++count;
  return count;
}
