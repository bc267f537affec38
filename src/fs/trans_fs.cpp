#include "fs/trans_fs.h"

#include "fs/file_service.h"

CTransFS::CTransFS(std::string prefix, CFileService* target)
    : m_prefix(std::move(prefix)), m_target(target) {
  if (m_prefix.size() > kTransPrefixLimit) m_prefix.resize(kTransPrefixLimit);
}

std::string CTransFS::Translate(const char* path) const {
  return m_prefix + (path ? path : "");
}

std::unique_ptr<CFile> CTransFS::Open(const char* path, uint16_t mode,
                                      ErrCode* error) {
  return m_target->Open(Translate(path).c_str(), mode, error);
}

bool CTransFS::Exists(const char* path) {
  return m_target->Exists(Translate(path).c_str());
}

ErrCode CTransFS::Delete(const char* path) {
  return m_target->Delete(Translate(path).c_str());
}

ErrCode CTransFS::Rename(const char* old_path, const char* new_path) {
  return m_target->Rename(Translate(old_path).c_str(),
                          Translate(new_path).c_str());
}

ErrCode CTransFS::RenameOver(const char* old_path, const char* new_path) {
  return m_target->RenameOver(Translate(old_path).c_str(), Translate(new_path).c_str());
}

ErrCode CTransFS::FlushDir(const char* directory) {
  return m_target->FlushDir(Translate(directory).c_str());
}

ErrCode CTransFS::MakeDir(const char* parent, const char* name) {
  return m_target->MakeDir(Translate(parent).c_str(), name);
}

ErrCode CTransFS::RemoveDir(const char* parent, const char* name) {
  return m_target->RemoveDir(Translate(parent).c_str(), name);
}

ErrCode CTransFS::FindFirst(FindContext* context, const char* directory) {
  return m_target->FindFirst(context, Translate(directory).c_str());
}

ErrCode CTransFS::FindNext(FindContext* context) {
  return m_target->FindNext(context);
}

ErrCode CTransFS::FindClose(FindContext* context) {
  return m_target->FindClose(context);
}

ErrCode CTransFS::Query(const char* path, uint32_t id, char* buffer) {
  return m_target->Query(Translate(path).c_str(), id, buffer);
}

ErrCode CTransFS::Query2(const char* path, uint32_t a, uint32_t b) {
  return m_target->Query2(Translate(path).c_str(), a, b);
}

ErrCode MountTrans(const char* prefix, const char* target_path) {
  const char* rest = target_path;
  CFileService* target = ResolvePath(&rest);
  if (!target) return err::kNotFound;
  RegisterMount(prefix, std::make_unique<CTransFS>(rest, target), 0);
  return err::kOk;
}
