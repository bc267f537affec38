// A bitmap or font held from the resource cache for as long as its owner
// lives: the control that names it in its template keeps it locked, and
// unlocks it when it goes.
#pragma once

#include <string>

#include "gfx/bitmap.h"
#include "gfx/font.h"
#include "gfx/resource_cache.h"

template <class T, uint32_t kKind>
class CHeldResource {
 public:
  CHeldResource() = default;
  ~CHeldResource() { Release(); }
  CHeldResource(const CHeldResource&) = delete;
  CHeldResource& operator=(const CHeldResource&) = delete;

  // Holds `name` instead of what was held; false, holding nothing, when
  // there are no resources or the name loads as something else.
  bool Load(CResourceLoader* resources, const std::string& name) {
    Release();
    CObject* loaded = nullptr;
    if (!resources || resources->Lock(kKind, name.c_str(), &loaded, 0) != err::kOk) return false;
    m_resources = resources;
    m_held = KindOf<T>(loaded);
    if (!m_held) resources->Unlock(kKind, loaded);
    return m_held != nullptr;
  }
  void Release() {
    if (m_held) m_resources->Unlock(kKind, m_held);
    m_held = nullptr;
  }

  T* get() const { return m_held; }
  T* operator->() const { return m_held; }
  T& operator*() const { return *m_held; }
  explicit operator bool() const { return m_held != nullptr; }

 private:
  CResourceLoader* m_resources = nullptr;
  T* m_held = nullptr;
};

using CHeldFont = CHeldResource<CFont, kResourceFont>;

// Only 8-bit pictures draw into the frame; others are refused.
class CHeldBitmap : public CHeldResource<CBitmap, kResourceBitmap> {
 public:
  bool Load(CResourceLoader* resources, const std::string& name) {
    if (!CHeldResource::Load(resources, name)) return false;
    if (get()->Bits() == 8) return true;
    Release();
    return false;
  }
};
