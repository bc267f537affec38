#include "support/mem_fs.h"

#include "fs/file_service.h"
#include "fs/memory_file.h"

namespace {

// A memory file over the service's bytes whose reads can be made to fail.
class CMemFile : public CMemoryFile {
  TV_CLASS(CMemFile, CMemoryFile)

 public:
  explicit CMemFile(const std::shared_ptr<SMemFileData>& data)
      : CMemoryFile(std::shared_ptr<std::string>(data, &data->bytes)), m_data(data) {}

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override {
    if (Tell() < m_data->fail_reads_at) return CMemoryFile::Read(buffer, length, count);
    if (count) *count = 0;
    return err::kReadFail;
  }

 private:
  std::shared_ptr<SMemFileData> m_data;
};

}  // namespace

std::unique_ptr<CFile> CMemFileService::Open(const char* path, uint16_t mode,
                                             ErrCode* error) {
  m_last_mode = mode;
  auto found = m_files.find(path);
  const bool create = mode & kOpenCreate;
  const bool truncate = create && (mode & kOpenTruncate);
  if (found == m_files.end() && !create) {
    if (error) *error = err::kFileNotFound;
    return nullptr;
  }
  if (found != m_files.end() && create && !truncate) {
    if (error) *error = err::kFileExist;
    return nullptr;
  }
  SMemFileData& data = File(path);
  if (truncate) data.bytes.clear();
  if (error) *error = err::kOk;
  return std::make_unique<CMemFile>(m_files[path]);
}

ErrCode CMemFileService::RenameOver(const char* old_path, const char* new_path) {
  auto found = m_files.find(old_path);
  if (found == m_files.end()) return err::kFileNotFound;
  std::shared_ptr<SMemFileData> data = found->second;
  m_files.erase(found);
  m_files[new_path] = std::move(data);
  return err::kOk;
}

SMemFileData& CMemFileService::File(const std::string& name) {
  std::shared_ptr<SMemFileData>& data = m_files[name];
  if (!data) data = std::make_shared<SMemFileData>();
  return *data;
}

void CMemFsTest::SetUp() {
  InitFileService(4);
  auto fs = std::make_unique<CMemFileService>();
  m_fs = fs.get();
  RegisterMount("/mem/", std::move(fs), 0);
}

void CMemFsTest::TearDown() { ShutdownFileService(); }
