// The handle store: one file of fixed-size blocks in which numbered,
// variable-size byte strings ("handles") live. The file format is described
// at the top of bfhp.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "base/object.h"

class CFile;

using StoreHandle = uint32_t;

class CBFHP : public CObject {
  TV_CLASS(CBFHP, CObject)

 public:
  static constexpr uint32_t kHeaderSize = 32;
  static constexpr uint32_t kMaxDepth = 5;
  static constexpr uint32_t kMinBlockSize = 16;
  static constexpr uint32_t kMaxBlockSize = 65536;
  static constexpr uint32_t kNoLimit = 0xFFFFFFFF;

  CBFHP();
  ~CBFHP() override;
  CBFHP(const CBFHP&) = delete;
  CBFHP& operator=(const CBFHP&) = delete;

  // Both work on `file`, which the caller keeps open while the store lives.
  ErrCode Create(CFile* file, uint32_t block_size, uint32_t block_limit);
  ErrCode Open(CFile* file);

  // The root block of a new handle of `size` bytes, or 0.
  StoreHandle NewHandle(uint32_t size, ErrCode* error = nullptr);
  ErrCode Resize(StoreHandle handle, uint32_t size);
  ErrCode SizeOf(StoreHandle handle, uint32_t* size);
  // Transfers end at the handle's size; `count` (may be null) receives the
  // bytes moved.
  ErrCode Read(StoreHandle handle, void* buffer, uint32_t offset, uint32_t length,
               uint32_t* count = nullptr);
  ErrCode Write(StoreHandle handle, const void* buffer, uint32_t offset,
                uint32_t length, uint32_t* count = nullptr);
  ErrCode FreeHandle(StoreHandle handle);
  // Handles freed so far: what is cached by handle is good while it stays.
  uint32_t Frees() const { return m_frees; }

  StoreHandle RootHandle() const { return m_header.root; }
  void SetRootHandle(StoreHandle handle);
  // Writes the header when changed and every dirty block buffer, then
  // flushes the file.
  ErrCode Commit();

  uint32_t BlockSize() const { return m_header.block_size; }
  uint32_t NextBlock() const { return m_header.next_block; }
  uint32_t FreeCount() const { return m_header.free_count; }
  uint32_t FirstBlock() const { return FirstBlockFor(m_header.block_size); }
  static uint32_t FirstBlockFor(uint32_t block_size) { return 31 / block_size + 1; }

  // The integrity check's view: every free block (pages included), and the
  // index and data blocks of a handle (its root not included).
  ErrCode FreeBlocks(std::vector<uint32_t>* blocks);
  ErrCode HandleBlocks(StoreHandle handle, std::vector<uint32_t>* blocks);

 private:
  struct SHeader {
    uint32_t block_size = 0;
    uint32_t next_block = 0;
    uint32_t block_limit = 0;
    uint32_t free_count = 0;
    uint32_t free_page = 0;
    uint32_t root_header_size = 8;
    uint32_t root = 0;
  };
  struct SBuffer {
    uint32_t block = 0;  // 0: holds nothing
    bool dirty = false;
    std::unique_ptr<uint8_t[]> bytes;
  };
  struct SRoot {
    uint32_t size;
    uint32_t depth;
  };

  static constexpr int kFreePageBuffer = 0;
  static constexpr int kRootBuffer = 1;
  static constexpr int kBufferCount = 7;

  uint32_t K() const { return m_header.block_size / 4; }
  bool IsBlock(uint32_t block) const {
    return block >= FirstBlock() && block < m_header.next_block;
  }
  void AllocBuffers();
  ErrCode ValidateHeader();

  ErrCode ReadBlock(uint32_t block, uint8_t* bytes);
  ErrCode WriteBack(SBuffer& buffer);
  ErrCode Load(int slot, uint32_t block);
  ErrCode Claim(int slot, uint32_t block);
  void Forget(uint32_t block);
  uint32_t Word(int slot, uint32_t index) const;
  void SetWord(int slot, uint32_t index, uint32_t value);

  ErrCode AllocBlock(uint32_t* block);
  ErrCode FreeBlock(uint32_t block);

  ErrCode LoadRoot(StoreHandle handle, SRoot* root);
  void StoreRoot(const SRoot& root);
  uint64_t Capacity(uint32_t depth) const;
  uint64_t IndexBlocks(uint64_t count, uint32_t depth) const;
  // The data block of position `index`; `path` (may be null) receives the
  // index blocks passed on the way, level 1 first.
  ErrCode DataBlock(const SRoot& root, uint64_t index, uint32_t* block,
                    uint32_t* path = nullptr);
  uint32_t Digit(uint64_t index, uint32_t level, uint32_t depth) const;
  uint64_t Power(uint32_t exponent) const;
  ErrCode AppendBlock(SRoot* root, uint64_t index);
  ErrCode RemoveLastBlock(SRoot* root, uint64_t index);
  ErrCode Transfer(StoreHandle handle, uint8_t* in, const uint8_t* out, uint32_t offset,
                   uint32_t length, uint32_t* count);
  ErrCode WalkFreeList(std::vector<uint32_t>* blocks);

  CFile* m_file = nullptr;
  SHeader m_header;
  bool m_header_changed = false;
  SBuffer m_buffers[kBufferCount];
  uint32_t m_frees = 0;
};
