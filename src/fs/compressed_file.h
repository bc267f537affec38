// Compressed files: the uncompressed contents of a file stored in blocks of
// K bytes compressed independently (the layout is described at the top of
// compressed_file.cpp), presented as an ordinary seekable, readable and
// writable file over an underlying file.
//
// One block is cached, uncompressed, in a buffer that also takes a stored
// block at its end while it is decoded in place; writes go to the cached
// block, which is written back when another block is loaded and by Flush.
// CLzssFile and CLzisFile supply the codecs. A file that failed to open has
// state word 0; its reads answer INVALIDFORMAT and its other operations the
// error met while opening.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "fs/file.h"

inline constexpr uint32_t kCompressedHeaderSize = 14;
inline constexpr uint32_t kDefaultBlockSize = 32768;
inline constexpr uint32_t kMaxBlockSize = 1u << 24;

// The file a compressed file reads through, owned or borrowed.
struct SUnderFile {
  template <class T>
  SUnderFile(std::unique_ptr<T> owned) : file(owned.release()), owned(true) {}
  SUnderFile(CFile& borrowed) : file(&borrowed), owned(false) {}
  CFile* file;
  bool owned;
};

class CCompressedFile : public CFile {
  TV_CLASS(CCompressedFile, CFile)

 public:
  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override;
  ErrCode Write(const void* buffer, uint32_t length, uint32_t* count) override;
  ErrCode Seek(int32_t offset, int origin) override;
  uint32_t GetSize() override { return m_size; }
  uint32_t Tell() override { return m_position; }
  ErrCode Flush() override;
  ErrCode Truncate() override { return SetSize(m_position); }

  virtual ErrCode SetBlockCount(uint32_t count);
  virtual ErrCode SetSize(uint32_t size);
  // Makes block `index` the cached one, writing back the block cached before;
  // without `read` the block's old contents are not needed and it starts as
  // zeros.
  virtual ErrCode LoadBlock(uint32_t index, bool read);
  // The codec. `*destination_length` is the capacity on entry, the result's
  // length on return. An encoded block must decode in place from the end of
  // a buffer of that capacity (BUFFERTOOSMALL otherwise).
  virtual ErrCode EncodeBlock(const uint8_t* source, uint32_t length,
                              uint8_t* destination, uint32_t* destination_length) = 0;
  virtual ErrCode DecodeBlock(const uint8_t* source, uint32_t length,
                              uint8_t* destination, uint32_t* destination_length) = 0;

  ErrCode OpenError() const { return m_open_error; }
  uint32_t BlockSize() const { return m_block_size; }
  uint8_t Parameter() const { return m_parameter; }
  uint32_t BlockCount() const { return static_cast<uint32_t>(m_offsets.size() - 1); }

 protected:
  using CacheSizeFn = uint32_t (*)(uint32_t block_size);

  // Opens an existing compressed file with the given magic.
  CCompressedFile(SUnderFile file, const char* magic, CacheSizeFn cache_size);
  // Creates an empty compressed file, emptying the underlying file.
  CCompressedFile(SUnderFile file, const char* magic, CacheSizeFn cache_size,
                  uint32_t block_size, uint8_t parameter);
  // Writes everything back; the leaf classes call it from their destructors,
  // while the codec is still there.
  void Close();
  // Marks the file unusable with `error`.
  void Fail(ErrCode error);
  // BUFFERTOOSMALL unless a stream of `length` bytes whose output runs at
  // most `lead` bytes ahead of its input, and whose decoder writes up to
  // `slack` bytes past its output, decodes in place from the end of a buffer
  // of `capacity` bytes.
  static ErrCode CheckInPlace(int64_t lead, int64_t slack, uint32_t capacity,
                              uint32_t length);

 private:
  struct SPtrFree {
    void operator()(uint8_t* p) const;
  };
  using PoolBuffer = std::unique_ptr<uint8_t, SPtrFree>;

  ErrCode ReadHeader();
  uint32_t RawLength(uint32_t index) const;
  ErrCode AllocateCache();
  ErrCode StoreCachedBlock();
  ErrCode ReadBlock(uint32_t index);
  ErrCode TruncateUnderlying(uint32_t end);
  bool Usable() const { return StateWord() == 1; }

  char m_magic[4];
  uint32_t m_size = 0;  // U, uncompressed
  uint32_t m_block_size = 0;
  uint8_t m_parameter = 0;
  bool m_header_dirty = false;
  // Each block's start in the underlying file, then the end of the data.
  std::vector<uint32_t> m_offsets;
  int64_t m_cached = -1;
  bool m_cache_dirty = false;
  uint32_t m_cache_size = 0;
  PoolBuffer m_cache;
  uint32_t m_position = 0;
  ErrCode m_open_error = err::kOk;
  CacheSizeFn m_cache_size_of;
};

class CLzssFile : public CCompressedFile {
  TV_CLASS(CLzssFile, CCompressedFile)

 public:
  explicit CLzssFile(SUnderFile file);
  CLzssFile(SUnderFile file, uint32_t block_size, uint8_t parameter);
  ~CLzssFile() override { Close(); }

  ErrCode EncodeBlock(const uint8_t* source, uint32_t length, uint8_t* destination,
                      uint32_t* destination_length) override;
  ErrCode DecodeBlock(const uint8_t* source, uint32_t length, uint8_t* destination,
                      uint32_t* destination_length) override;
};

class CLzisFile : public CCompressedFile {
  TV_CLASS(CLzisFile, CCompressedFile)

 public:
  explicit CLzisFile(SUnderFile file);
  CLzisFile(SUnderFile file, uint32_t block_size, uint8_t level);
  ~CLzisFile() override { Close(); }

  ErrCode EncodeBlock(const uint8_t* source, uint32_t length, uint8_t* destination,
                      uint32_t* destination_length) override;
  ErrCode DecodeBlock(const uint8_t* source, uint32_t length, uint8_t* destination,
                      uint32_t* destination_length) override;
};

// The file itself, or, when it starts with "LZSS" or "LZIS", the file
// wrapped in an owning compressed file; either way positioned at 0.
std::unique_ptr<CFile> OpenCompressed(std::unique_ptr<CFile> file);

// The decompressing open hook: opens through the entry it replaced, then
// OpenCompressed. Installed around mounting.
std::unique_ptr<CFile> DecompressingOpen(const char* path, uint16_t mode,
                                         ErrCode* error);
void InstallDecompressingHook();
void RemoveDecompressingHook();

// Holds the decompressing hook installed for a scope.
class CDecompressingHook {
 public:
  CDecompressingHook() { InstallDecompressingHook(); }
  ~CDecompressingHook() { RemoveDecompressingHook(); }
  CDecompressingHook(const CDecompressingHook&) = delete;
  CDecompressingHook& operator=(const CDecompressingHook&) = delete;
};
