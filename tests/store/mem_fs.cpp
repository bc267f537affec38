#include "store/mem_fs.h"

#include <algorithm>
#include <cstring>

#include "fs/file_service.h"

namespace {

class CMemFile : public CFile {
  TV_CLASS(CMemFile, CFile)

 public:
  CMemFile(std::shared_ptr<SMemFileData> data, uint16_t mode)
      : CFile(mode), m_data(std::move(data)) {}

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override {
    if (count) *count = 0;
    if (m_pos >= m_data->fail_reads_at) return err::kReadFail;
    const size_t n = m_pos < m_data->bytes.size()
                         ? std::min<size_t>(length, m_data->bytes.size() - m_pos)
                         : 0;
    if (n) std::memcpy(buffer, m_data->bytes.data() + m_pos, n);
    m_pos += n;
    if (count) *count = static_cast<uint32_t>(n);
    return n == length ? err::kOk : err::kEof;
  }
  ErrCode Write(const void* buffer, uint32_t length, uint32_t* count) override {
    std::string& bytes = m_data->bytes;
    if (bytes.size() < m_pos + length) bytes.resize(m_pos + length);
    if (length) std::memcpy(bytes.data() + m_pos, buffer, length);
    m_pos += length;
    if (count) *count = length;
    return err::kOk;
  }
  ErrCode Seek(int32_t offset, int origin) override {
    const int64_t base = origin == kSeekSet ? 0
                         : origin == kSeekCur
                             ? static_cast<int64_t>(m_pos)
                             : static_cast<int64_t>(m_data->bytes.size());
    if (base + offset < 0) return err::kSeekFail;
    m_pos = static_cast<size_t>(base + offset);
    return err::kOk;
  }
  uint32_t GetSize() override { return static_cast<uint32_t>(m_data->bytes.size()); }
  uint32_t Tell() override { return static_cast<uint32_t>(m_pos); }

 private:
  std::shared_ptr<SMemFileData> m_data;
  size_t m_pos = 0;
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
  return std::make_unique<CMemFile>(m_files[path], mode);
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
