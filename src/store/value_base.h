// The value base: a tree of named, typed values on a handle store. Every
// container is one handle; the header handle (the store's root handle)
// holds the root container's handle, the next atom and the atom dictionary.
// The header layout is described at the top of value_base.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/errors.h"
#include "base/object.h"
#include "fs/bfhp.h"
#include "store/hash_dict.h"
#include "store/object_cache.h"
#include "store/vb_container.h"

class CValueBase : public CObject, public CContainerOwner {
  TV_CLASS(CValueBase, CObject)

 public:
  static constexpr Atom kFirstAtom = 0x1000;
  static constexpr size_t kMaxComponent = 63;
  static constexpr size_t kMaxAtomName = 100;

  // One value base per cache; both outlive it.
  CValueBase(CBFHP* store, CObjectCache* cache);
  ~CValueBase() override;
  CValueBase(const CValueBase&) = delete;
  CValueBase& operator=(const CValueBase&) = delete;

  // Reads the header of a store that has a root handle, else lays out a new
  // value base with an empty root container.
  ErrCode Init();

  // Writes the header, saves every loaded container and commits the store.
  virtual ErrCode Flush();
  // Pinned until CloseContainer; none for handle 0 or an unreadable block.
  virtual CVBContainer* OpenContainer(StoreHandle handle, ErrCode* error = nullptr);
  virtual void CloseContainer(CVBContainer* container);
  // A cached private copy of a data block; none for an empty block.
  virtual const std::vector<uint8_t>* GetData(StoreHandle handle, ErrCode* error = nullptr);
  virtual void ReleaseData(StoreHandle handle);
  virtual ErrCode AddRef(StoreHandle handle);
  // Taking the count to 0 destroys the container: its children are
  // released and its block freed.
  ErrCode Release(StoreHandle handle) override;
  ErrCode FreeData(StoreHandle handle) override;
  // The container the path names from `start` (0 or a leading "/": the
  // root), or 0.
  virtual StoreHandle FindPath(std::string_view path, StoreHandle start);
  virtual StoreHandle CreateContainer(ErrCode* error = nullptr);
  // Stores the container under `name` in `parent` (when given) and counts
  // the reference; answers the handle, 0 on failure.
  virtual StoreHandle LinkContainer(StoreHandle handle, StoreHandle parent,
                                    std::string_view name);

  CVBContainer* OpenPath(std::string_view path, StoreHandle start);
  // The path's last component names the value; copies at most `size` bytes.
  ErrCode GetValueByPath(std::string_view path, void* buffer, uint32_t size,
                         StoreHandle start);
  ErrCode SetValueByPath(std::string_view path, const uint8_t* value, StoreHandle start);

  // The name of an atom, at most 100 characters; "unknown" when none.
  std::string NameOfAtom(Atom atom);
  // 0 when the name has no atom.
  Atom AtomOf(std::string_view name) const;
  // The name's atom, handed out now when it had none.
  ErrCode Intern(std::string_view name, Atom* atom) override;

  StoreHandle Root() const { return m_root; }
  StoreHandle HeaderHandle() const { return m_header; }
  Atom NextAtom() const { return m_next_atom; }
  CBFHP* Store() const override { return m_store; }
  CHashDict* Dict() override { return &m_dict; }

 private:
  struct SDataCopy : CCacheObject {
    std::vector<uint8_t> bytes;
  };
  ErrCode ReadHeader();
  ErrCode CreateHeader();

  CBFHP* m_store;
  CObjectCache* m_cache;
  CHashDict m_dict;
  StoreHandle m_root = 0;
  StoreHandle m_header = 0;
  Atom m_next_atom = kFirstAtom;
  // Atom -> dictionary record, for the records indexed so far.
  std::unordered_map<Atom, uint32_t> m_atom_records;
  uint32_t m_indexed_records = 0;
};

// An open container that is closed when the object goes.
class COpenContainer {
 public:
  COpenContainer(CValueBase* vb, CVBContainer* container) : m_vb(vb), m_container(container) {}
  COpenContainer(CValueBase* vb, StoreHandle handle, ErrCode* error = nullptr)
      : m_vb(vb), m_container(vb->OpenContainer(handle, error)) {}
  ~COpenContainer() {
    if (m_container) m_vb->CloseContainer(m_container);
  }
  COpenContainer(const COpenContainer&) = delete;
  COpenContainer& operator=(const COpenContainer&) = delete;

  CVBContainer* get() const { return m_container; }
  CVBContainer* operator->() const { return m_container; }
  explicit operator bool() const { return m_container != nullptr; }

 private:
  CValueBase* m_vb;
  CVBContainer* m_container;
};
