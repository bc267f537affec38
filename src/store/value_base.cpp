// The value base on its store.
//
// Header handle (the store's root handle), little-endian:
//    0  4  handle of the root container
//    4  4  next atom to hand out (4096 in a new value base)
//    8     the atom dictionary's HDIC image, 4-byte atoms as data
//
// Atoms are handed out in increasing order from 4096, one per distinct
// name, and never reused. Loaded containers live in the object cache at the
// cost of their buffer length; a container whose reference count reaches 0
// is destroyed as soon as nobody has it open, which releases its children
// and frees its block.
#include "store/value_base.h"

#include <cstring>

#include "fs/handle_io.h"

namespace {

constexpr uint32_t kHeaderFields = 8;
constexpr uint32_t kRefCountOffset = 4;

}  // namespace

CValueBase::CValueBase(CBFHP* store, CObjectCache* cache) : m_store(store), m_cache(cache) {
  m_dict.Init(sizeof(Atom));
}

CValueBase::~CValueBase() { m_cache->Clear(); }

ErrCode CValueBase::Init() {
  if (!m_store) return err::kBadParams;
  return m_store->RootHandle() ? ReadHeader() : CreateHeader();
}

ErrCode CValueBase::ReadHeader() {
  m_header = m_store->RootHandle();
  CHandleStream stream(m_store, m_header);
  if (ErrCode error = stream.BeginReading()) return error;
  uint32_t fields[2];
  if (stream.Read(fields, kHeaderFields)) return err::kInvalidFormat;
  m_root = fields[0];
  m_next_atom = fields[1];
  if (m_root == 0 || m_next_atom < kFirstAtom) return err::kInvalidFormat;
  return m_dict.Load(&stream);
}

ErrCode CValueBase::CreateHeader() {
  ErrCode error = err::kOk;
  m_header = m_store->NewHandle(kHeaderFields, &error);
  if (error) return error;
  m_root = CreateContainer(&error);
  if (error) return error;
  m_next_atom = kFirstAtom;
  m_dict.Init(sizeof(Atom));
  return AddRef(m_root);
}

ErrCode CValueBase::Flush() {
  if (!m_store) return err::kUnknownError;
  CHandleStream stream(m_store, m_header);
  const uint32_t fields[2] = {m_root, m_next_atom};
  stream.Write(fields, kHeaderFields);
  m_dict.Save(&stream);
  if (ErrCode error = stream.Finish()) return error;
  m_store->SetRootHandle(m_header);
  for (uint32_t handle : m_cache->Handles(ECacheKind::kContainer)) {
    auto* container = static_cast<CVBContainer*>(m_cache->Peek(ECacheKind::kContainer, handle));
    if (ErrCode error = container->Save()) return error;
  }
  return m_store->Commit();
}

CVBContainer* CValueBase::OpenContainer(StoreHandle handle, ErrCode* error) {
  if (error) *error = err::kOk;
  if (handle == 0) return nullptr;
  if (CCacheObject* cached = m_cache->FindAndPin(ECacheKind::kContainer, handle))
    return static_cast<CVBContainer*>(cached);
  auto container = std::make_unique<CVBContainer>(this, handle);
  if (ErrCode load = container->Load()) {
    if (error) *error = load;
    return nullptr;
  }
  const uint32_t cost = container->BufferLength();
  return static_cast<CVBContainer*>(
      m_cache->Insert(ECacheKind::kContainer, handle, std::move(container), cost));
}

void CValueBase::CloseContainer(CVBContainer* container) {
  const StoreHandle handle = container->Handle();
  const bool unreferenced = container->RefCount() == 0;
  m_cache->Unpin(ECacheKind::kContainer, handle);
  if (unreferenced && m_cache->Peek(ECacheKind::kContainer, handle) &&
      !m_cache->IsPinned(ECacheKind::kContainer, handle))
    m_cache->Remove(ECacheKind::kContainer, handle);
}

const std::vector<uint8_t>* CValueBase::GetData(StoreHandle handle, ErrCode* error) {
  if (error) *error = err::kOk;
  if (handle == 0) return nullptr;
  if (CCacheObject* cached = m_cache->FindAndPin(ECacheKind::kData, handle))
    return &static_cast<SDataCopy*>(cached)->bytes;
  CHandleMap map(m_store, handle);
  if (ErrCode read = map.Map()) {
    if (error) *error = read;
    return nullptr;
  }
  if (map.Bytes().empty()) return nullptr;
  auto copy = std::make_unique<SDataCopy>();
  copy->bytes = std::move(map.Bytes());
  const uint64_t cost = copy->bytes.size();
  return &static_cast<SDataCopy*>(
              m_cache->Insert(ECacheKind::kData, handle, std::move(copy), cost))
              ->bytes;
}

void CValueBase::ReleaseData(StoreHandle handle) { m_cache->Unpin(ECacheKind::kData, handle); }

ErrCode CValueBase::FreeData(StoreHandle handle) {
  m_cache->Remove(ECacheKind::kData, handle);
  return m_store->FreeHandle(handle);
}

ErrCode CValueBase::AddRef(StoreHandle handle) {
  if (auto* loaded =
          static_cast<CVBContainer*>(m_cache->Peek(ECacheKind::kContainer, handle))) {
    loaded->SetRefCount(loaded->RefCount() + 1);
    return err::kOk;
  }
  uint32_t count = 0;
  if (ErrCode error = m_store->Read(handle, &count, kRefCountOffset, 4)) return error;
  ++count;
  return m_store->Write(handle, &count, kRefCountOffset, 4);
}

ErrCode CValueBase::Release(StoreHandle handle) {
  if (auto* loaded =
          static_cast<CVBContainer*>(m_cache->Peek(ECacheKind::kContainer, handle))) {
    if (loaded->RefCount() == 0) return err::kInvalidFormat;
    loaded->SetRefCount(loaded->RefCount() - 1);
    if (loaded->RefCount() == 0 && !m_cache->IsPinned(ECacheKind::kContainer, handle))
      m_cache->Remove(ECacheKind::kContainer, handle);
    return err::kOk;
  }
  uint32_t count = 0;
  uint32_t got = 0;
  if (ErrCode error = m_store->Read(handle, &count, kRefCountOffset, 4, &got)) return error;
  if (got != 4 || count == 0) return err::kInvalidFormat;
  --count;
  if (ErrCode error = m_store->Write(handle, &count, kRefCountOffset, 4)) return error;
  if (count) return err::kOk;
  ErrCode error = err::kOk;
  if (CVBContainer* container = OpenContainer(handle, &error)) CloseContainer(container);
  return error;
}

StoreHandle CValueBase::FindPath(std::string_view path, StoreHandle start) {
  StoreHandle current = start;
  if (start == 0 || (!path.empty() && path[0] == '/')) {
    current = m_root;
    if (!path.empty() && path[0] == '/') path.remove_prefix(1);
  }
  while (!path.empty()) {
    const size_t end = std::min(path.find('/'), path.size());
    if (end > kMaxComponent) return 0;
    const Atom atom = AtomOf(path.substr(0, end));
    if (!atom) return 0;
    // A loaded container is read in place: nothing can unload it meanwhile.
    if (auto* loaded =
            static_cast<CVBContainer*>(m_cache->Peek(ECacheKind::kContainer, current))) {
      current = ContainerHandleOf(loaded->GetValueByAtom(atom, kValueContainer));
    } else {
      CVBContainer* container = OpenContainer(current);
      if (!container) return 0;
      current = ContainerHandleOf(container->GetValueByAtom(atom, kValueContainer));
      CloseContainer(container);
    }
    if (!current) return 0;
    path.remove_prefix(end < path.size() ? end + 1 : end);
  }
  return current;
}

StoreHandle CValueBase::CreateContainer(ErrCode* error) {
  ErrCode result = err::kOk;
  const StoreHandle handle = m_store->NewHandle(CVBContainer::kBlockHeader, &result);
  const uint8_t zeros[CVBContainer::kBlockHeader] = {};
  if (!result) result = m_store->Write(handle, zeros, 0, sizeof zeros);
  if (error) *error = result;
  return result ? 0 : handle;
}

StoreHandle CValueBase::LinkContainer(StoreHandle handle, StoreHandle parent,
                                      std::string_view name) {
  if (parent) {
    COpenContainer container(this, parent);
    if (!container) return 0;
    if (container->SetValue(name, MakeValue(kValueContainer, &handle, 4).data())) return 0;
  }
  return AddRef(handle) ? 0 : handle;
}

namespace {

// The container part of a value path and the value's name.
std::pair<std::string_view, std::string_view> SplitValuePath(std::string_view path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {{}, path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

}  // namespace

CVBContainer* CValueBase::OpenPath(std::string_view path, StoreHandle start) {
  return OpenContainer(FindPath(path, start));
}

ErrCode CValueBase::GetValueByPath(std::string_view path, void* buffer, uint32_t size,
                                   StoreHandle start) {
  const auto [folder, name] = SplitValuePath(path);
  COpenContainer container(this, OpenPath(folder, start));
  const uint8_t* value = container ? container->GetValue(name, 0) : nullptr;
  if (!value) return err::kNotFound;
  std::memcpy(buffer, value, std::min<uint32_t>(size, ValueSize(value)));
  return err::kOk;
}

ErrCode CValueBase::SetValueByPath(std::string_view path, const uint8_t* value,
                                   StoreHandle start) {
  const auto [folder, name] = SplitValuePath(path);
  COpenContainer container(this, OpenPath(folder, start));
  if (!container) return err::kNotFound;
  return container->SetValue(name, value);
}

std::string CValueBase::NameOfAtom(Atom atom) {
  if (m_indexed_records > m_dict.Count()) {
    m_atom_records.clear();
    m_indexed_records = 0;
  }
  for (; m_indexed_records < m_dict.Count(); ++m_indexed_records) {
    Atom data;
    std::memcpy(&data, m_dict.DataAt(m_indexed_records), sizeof data);
    m_atom_records.emplace(data, m_indexed_records);
  }
  auto found = m_atom_records.find(atom);
  if (found == m_atom_records.end()) return "unknown";
  return std::string(m_dict.KeyAt(found->second).substr(0, kMaxAtomName));
}

Atom CValueBase::AtomOf(std::string_view name) const {
  Atom atom = 0;
  return m_dict.Get(name, &atom) == err::kOk ? atom : 0;
}

ErrCode CValueBase::Intern(std::string_view name, Atom* atom) {
  if (name.empty() || name.find('/') != std::string_view::npos) return err::kBadParams;
  if (m_dict.Get(name, atom) == err::kOk) return err::kOk;
  *atom = m_next_atom;
  if (ErrCode error = m_dict.Set(name, atom, nullptr)) return error;
  ++m_next_atom;
  return err::kOk;
}
