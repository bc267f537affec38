// The default operations of CFile, driven through a file over a byte vector.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fs/file.h"

namespace {

class CVectorFile : public CFile {
 public:
  explicit CVectorFile(std::string bytes) : m_bytes(std::move(bytes)) {}

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override {
    const uint32_t n = std::min<uint32_t>(length, Size() - m_position);
    std::memcpy(buffer, m_bytes.data() + m_position, n);
    m_position += n;
    if (count) *count = n;
    return n < length ? err::kEof : err::kOk;
  }
  ErrCode Write(const void* buffer, uint32_t length, uint32_t* count) override {
    if (m_position + length > Size()) m_bytes.resize(m_position + length);
    std::memcpy(m_bytes.data() + m_position, buffer, length);
    m_position += length;
    if (count) *count = length;
    return err::kOk;
  }
  ErrCode Seek(int32_t offset, int origin) override {
    const int64_t base = origin == kSeekSet ? 0 : origin == kSeekCur ? m_position : Size();
    m_position = static_cast<uint32_t>(base + offset);
    return err::kOk;
  }
  uint32_t GetSize() override { return Size(); }
  uint32_t Tell() override { return m_position; }

  const std::string& Bytes() const { return m_bytes; }

 private:
  uint32_t Size() const { return static_cast<uint32_t>(m_bytes.size()); }
  std::string m_bytes;
  uint32_t m_position = 0;
};

}  // namespace

TEST(FileMoveBlock, OverlapsRunTheSafeWayAndRangesAreCutAtTheEnd) {
  const struct {
    const char* bytes;
    uint32_t to, from, length, chunk;
    const char* after;
  } cases[] = {
      // Chunks of 3 from the front would overwrite the source before reading it.
      {"0123456789", 2, 0, 7, 3, "0101234569"},
      {"0123456789", 0, 3, 7, 2, "3456789789"},
      {"abcdef", 0, 4, 100, 4, "efcdef"},
      {"abcdef", 0, 6, 3, 4, "abcdef"},  // a source at the end moves nothing
  };
  for (const auto& c : cases) {
    CVectorFile file(c.bytes);
    char buffer[2];
    ASSERT_EQ(file.MoveBlock(c.to, c.from, c.length, c.chunk, c.chunk == 2 ? buffer : nullptr),
              err::kOk);
    EXPECT_EQ(file.Bytes(), c.after) << c.after;
  }
}

TEST(FileReadAlloc, BuffersAreCountedUntilGivenBackAndAShortReadGivesNull) {
  CVectorFile file("hello world");
  void* buffer = nullptr;
  ASSERT_EQ(file.ReadAlloc(6, 5, &buffer), err::kOk);
  EXPECT_EQ(std::string(static_cast<char*>(buffer), 5), "world");
  EXPECT_EQ(file.AllocCount(), 1);
  file.FreeAlloc(buffer);
  EXPECT_EQ(file.AllocCount(), 0);
  EXPECT_EQ(file.ReadAlloc(8, 5, &buffer), err::kEof);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(file.AllocCount(), 0);
}

// Properties are unknown by default, and a layer that owns the file under
// it destroys it with itself.
TEST(FileDefaults, PropertiesAreUnknownAndAnOwnedUnderlyingFileDiesWithItsLayer) {
  CFile file;
  uint32_t value = 0;
  EXPECT_EQ(file.GetProperty(1, &value, 0), err::kUnknownPid);
  EXPECT_EQ(file.SetProperty(1, 0, 0), err::kUnknownPid);
  EXPECT_EQ(KindOf<CFile>(&file), &file);
  EXPECT_EQ(KindOf<CFileService>(&file), nullptr);
  struct CLayer : CFile {
    explicit CLayer(CFile* under) { SetUnderlying(under, true); }
  };
  static int destroyed = 0;
  struct CCounted : CFile {
    ~CCounted() override { ++destroyed; }
  };
  auto* under = new CCounted;
  {
    CLayer layer(under);
    EXPECT_EQ(layer.Underlying(), under);
  }
  EXPECT_EQ(destroyed, 1);
}
