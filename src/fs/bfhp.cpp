// The handle store file.
//
// All integers are little-endian. The file is cut into blocks of B bytes
// (a multiple of 4); K = B / 4 block numbers fit in a block. Block n covers
// file bytes n*B .. n*B+B-1; the blocks that overlap the 32-byte header are
// never handed out, so the first usable block is 31 / B + 1.
//
// Header, file offset 0:
//    0  4  magic "HPFS"
//    4  4  block size B
//    8  4  next block: number of blocks in the file
//   12  4  block limit: the file never grows past this many blocks
//   16  4  free count F, pages included
//   20  4  first free-list page (meaningful when F > 0)
//   24  4  root header size, 8
//   28  4  root handle, 0 = none
//
// A handle is the number of its root block: u32 size, u16 depth D (0..5),
// two unused bytes, then K - 2 slots. Byte p of the handle lies in data block
// i = p / B; i written in base K with D + 1 digits selects the root slot
// (first digit) and then one entry in each of D levels of index blocks (K
// entries each). At depth 0 the slots name the data blocks.
//
// Free list: a chain of pages. A page is a free block whose first u32 is the
// next page and whose further u32 entries name other free blocks; the head
// page holds (F - 1) mod K entries, every later page K - 1.
//
// Seven block buffers stand between the store and the file: the current
// free-list page, the current root block and one index block per level. Data
// blocks go straight to the file, runs of consecutive block numbers in one
// access. The header and the buffers reach the file only when a buffer is
// reused and at Commit, which ends with the file's flush; callers that must
// survive interruption commit into a copy and replace the original after the
// flush.
#include "fs/bfhp.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/byte_order.h"
#include "fs/file.h"

static_assert(std::endian::native == std::endian::little,
              "the store's words are read in host order");

namespace {

constexpr char kMagic[4] = {'H', 'P', 'F', 'S'};
constexpr uint32_t kRootSlotsOffset = 2;  // in words
// Block counts past this cannot be addressed by a 32-bit size.
constexpr uint64_t kCountCap = uint64_t{1} << 40;

uint64_t BlocksFor(uint64_t size, uint32_t block_size) {
  return (size + block_size - 1) / block_size;
}

}  // namespace

CBFHP::CBFHP() = default;
CBFHP::~CBFHP() = default;

void CBFHP::AllocBuffers() {
  for (SBuffer& buffer : m_buffers) {
    buffer.bytes = std::make_unique<uint8_t[]>(m_header.block_size);
    buffer.block = 0;
    buffer.dirty = false;
  }
}

ErrCode CBFHP::Create(CFile* file, uint32_t block_size, uint32_t block_limit) {
  if (!file) return err::kBadParams;
  if (block_size < kMinBlockSize || block_size > kMaxBlockSize || block_size % 4)
    return err::kBadParams;
  m_file = file;
  m_header = SHeader{};
  m_header.block_size = block_size;
  m_header.next_block = FirstBlockFor(block_size);
  m_header.block_limit = block_limit;
  m_header_changed = true;
  AllocBuffers();
  return err::kOk;
}

ErrCode CBFHP::Open(CFile* file) {
  if (!file) return err::kBadParams;
  uint8_t bytes[kHeaderSize];
  const ErrCode error = file->ReadAt(bytes, 0, kHeaderSize, nullptr);
  if (error == err::kEof) return err::kInvalidFormat;
  if (error) return error;
  if (std::memcmp(bytes, kMagic, 4) != 0) return err::kInvalidFormat;
  m_file = file;
  m_header.block_size = GetLe32(bytes + 4);
  m_header.next_block = GetLe32(bytes + 8);
  m_header.block_limit = GetLe32(bytes + 12);
  m_header.free_count = GetLe32(bytes + 16);
  m_header.free_page = GetLe32(bytes + 20);
  m_header.root_header_size = GetLe32(bytes + 24);
  m_header.root = GetLe32(bytes + 28);
  m_header_changed = false;
  if (ErrCode invalid = ValidateHeader()) {
    m_file = nullptr;
    return invalid;
  }
  AllocBuffers();
  std::vector<uint32_t> free_blocks;
  if (ErrCode invalid = WalkFreeList(&free_blocks)) {
    m_file = nullptr;
    return invalid;
  }
  return err::kOk;
}

ErrCode CBFHP::ValidateHeader() {
  const SHeader& h = m_header;
  if (h.block_size < kMinBlockSize || h.block_size > kMaxBlockSize || h.block_size % 4)
    return err::kInvalidFormat;
  const uint64_t file_size = m_file->GetSize();
  if (h.next_block < FirstBlock() || h.block_limit < h.next_block ||
      uint64_t{h.next_block - 1} * h.block_size >= file_size)
    return err::kInvalidFormat;
  if (h.free_count > h.next_block - FirstBlock()) return err::kInvalidFormat;
  if (h.free_count > 0 && !IsBlock(h.free_page)) return err::kInvalidFormat;
  if (h.root != 0 && !IsBlock(h.root)) return err::kInvalidFormat;
  return err::kOk;
}

// Reads every page of the free list once, outside the buffers, and checks
// that the pages and entries name distinct blocks of the file.
ErrCode CBFHP::WalkFreeList(std::vector<uint32_t>* blocks) {
  blocks->clear();
  const uint32_t free_count = m_header.free_count;
  if (free_count == 0) return err::kOk;
  std::vector<bool> seen(m_header.next_block);
  std::vector<uint8_t> page(m_header.block_size);
  auto take = [&](uint32_t block) {
    if (!IsBlock(block) || seen[block]) return false;
    seen[block] = true;
    blocks->push_back(block);
    return true;
  };
  uint32_t page_block = m_header.free_page;
  uint32_t entries = (free_count - 1) % K();
  for (uint32_t left = free_count; left > 0;) {
    if (!take(page_block)) return err::kInvalidFormat;
    if (ErrCode error = ReadBlock(page_block, page.data())) return error;
    // The buffered copy of a page is newer than the file's.
    for (const SBuffer& buffer : m_buffers)
      if (buffer.block == page_block && buffer.bytes)
        std::memcpy(page.data(), buffer.bytes.get(), m_header.block_size);
    for (uint32_t k = 1; k <= entries; ++k)
      if (!take(GetLe32(page.data() + 4 * k))) return err::kInvalidFormat;
    left -= entries + 1;
    page_block = GetLe32(page.data());
    entries = K() - 1;
  }
  return err::kOk;
}

ErrCode CBFHP::FreeBlocks(std::vector<uint32_t>* blocks) {
  if (!m_file) return err::kBadParams;
  return WalkFreeList(blocks);
}

// Blocks that were handed out but never written lie past the end of the
// file; they read as zeros.
ErrCode CBFHP::ReadBlock(uint32_t block, uint8_t* bytes) {
  uint32_t count = 0;
  const ErrCode error = m_file->ReadAt(bytes, block * m_header.block_size,
                                       m_header.block_size, &count);
  if (error == err::kEof) {
    std::memset(bytes + count, 0, m_header.block_size - count);
    return err::kOk;
  }
  return error;
}

ErrCode CBFHP::WriteBack(SBuffer& buffer) {
  if (!buffer.dirty || buffer.block == 0) return err::kOk;
  if (ErrCode error = m_file->WriteAt(buffer.bytes.get(),
                                      buffer.block * m_header.block_size,
                                      m_header.block_size, nullptr))
    return error;
  buffer.dirty = false;
  return err::kOk;
}

// Makes buffer `slot` hold `block`, read from the file. A block held by
// another buffer moves here, so no block is ever buffered twice.
ErrCode CBFHP::Load(int slot, uint32_t block) {
  if (!IsBlock(block)) return err::kInvalidFormat;
  SBuffer& buffer = m_buffers[slot];
  if (buffer.block == block) return err::kOk;
  for (int other = 0; other < kBufferCount; ++other) {
    if (other == slot || m_buffers[other].block != block) continue;
    if (ErrCode error = WriteBack(m_buffers[other])) return error;
    m_buffers[other].block = 0;
  }
  if (ErrCode error = WriteBack(buffer)) return error;
  buffer.block = 0;
  if (ErrCode error = ReadBlock(block, buffer.bytes.get())) return error;
  buffer.block = block;
  return err::kOk;
}

// Makes buffer `slot` hold `block` (a block just handed out) cleared to zeros.
ErrCode CBFHP::Claim(int slot, uint32_t block) {
  SBuffer& buffer = m_buffers[slot];
  if (ErrCode error = WriteBack(buffer)) return error;
  Forget(block);
  std::memset(buffer.bytes.get(), 0, m_header.block_size);
  buffer.block = block;
  buffer.dirty = true;
  return err::kOk;
}

// Drops `block` from the buffers without writing it: its contents ended.
void CBFHP::Forget(uint32_t block) {
  for (SBuffer& buffer : m_buffers) {
    if (buffer.block != block) continue;
    buffer.block = 0;
    buffer.dirty = false;
  }
}

uint32_t CBFHP::Word(int slot, uint32_t index) const {
  return GetLe32(m_buffers[slot].bytes.get() + 4 * index);
}

void CBFHP::SetWord(int slot, uint32_t index, uint32_t value) {
  PutLe32(m_buffers[slot].bytes.get() + 4 * index, value);
  m_buffers[slot].dirty = true;
}

ErrCode CBFHP::AllocBlock(uint32_t* block) {
  SHeader& h = m_header;
  if (h.free_count > 0) {
    if (ErrCode error = Load(kFreePageBuffer, h.free_page)) return error;
    const uint32_t k = (h.free_count - 1) % K();
    if (k != 0) {
      *block = Word(kFreePageBuffer, k);
    } else {
      *block = h.free_page;
      h.free_page = Word(kFreePageBuffer, 0);
    }
    if (!IsBlock(*block)) return err::kInvalidFormat;
    --h.free_count;
  } else {
    if (h.next_block >= h.block_limit) return err::kAllocFail;
    *block = h.next_block++;
  }
  Forget(*block);
  m_header_changed = true;
  return err::kOk;
}

ErrCode CBFHP::FreeBlock(uint32_t block) {
  SHeader& h = m_header;
  Forget(block);
  m_header_changed = true;
  if (block == h.next_block - 1) {
    --h.next_block;
    if (ErrCode error = m_file->Seek(static_cast<int32_t>(h.next_block * h.block_size),
                                     kSeekSet))
      return error;
    return m_file->Truncate();
  }
  if (h.free_count == 0 || (h.free_count - 1) % K() == K() - 1) {
    if (ErrCode error = Claim(kFreePageBuffer, block)) return error;
    SetWord(kFreePageBuffer, 0, h.free_count == 0 ? 0 : h.free_page);
    h.free_page = block;
  } else {
    if (ErrCode error = Load(kFreePageBuffer, h.free_page)) return error;
    SetWord(kFreePageBuffer, (h.free_count - 1) % K() + 1, block);
  }
  ++h.free_count;
  return err::kOk;
}

uint64_t CBFHP::Power(uint32_t exponent) const {
  uint64_t value = 1;
  for (uint32_t i = 0; i < exponent && value < kCountCap; ++i) value *= K();
  return std::min(value, kCountCap);
}

// Data blocks a root of this depth can address.
uint64_t CBFHP::Capacity(uint32_t depth) const {
  return std::min(uint64_t{K() - 2} * Power(depth), kCountCap);
}

// Index blocks below the root when `count` data blocks hang at this depth.
uint64_t CBFHP::IndexBlocks(uint64_t count, uint32_t depth) const {
  uint64_t blocks = 0;
  for (uint32_t level = 1; level <= depth; ++level) {
    const uint64_t span = Power(depth - level + 1);
    blocks += (count + span - 1) / span;
  }
  return blocks;
}

uint32_t CBFHP::Digit(uint64_t index, uint32_t level, uint32_t depth) const {
  const uint64_t scaled = index / Power(depth - level);
  return static_cast<uint32_t>(level == 0 ? scaled : scaled % K());
}

ErrCode CBFHP::LoadRoot(StoreHandle handle, SRoot* root) {
  if (!m_file) return err::kBadParams;
  if (ErrCode error = Load(kRootBuffer, handle)) return error;
  root->size = Word(kRootBuffer, 0);
  root->depth = Word(kRootBuffer, 1) & 0xFFFF;
  // Every data and index block is a different block of the file.
  const uint64_t count = BlocksFor(root->size, m_header.block_size);
  if (root->depth > kMaxDepth || count > Capacity(root->depth) ||
      count + IndexBlocks(count, root->depth) > m_header.next_block - FirstBlock())
    return err::kInvalidFormat;
  return err::kOk;
}

void CBFHP::StoreRoot(const SRoot& root) {
  SetWord(kRootBuffer, 0, root.size);
  SetWord(kRootBuffer, 1, root.depth);
}

ErrCode CBFHP::DataBlock(const SRoot& root, uint64_t index, uint32_t* block,
                         uint32_t* path) {
  uint32_t next = Word(kRootBuffer, kRootSlotsOffset + Digit(index, 0, root.depth));
  for (uint32_t level = 1; level <= root.depth; ++level) {
    const int slot = kRootBuffer + static_cast<int>(level);
    if (ErrCode error = Load(slot, next)) return error;
    if (path) path[level - 1] = next;
    next = Word(slot, Digit(index, level, root.depth));
  }
  if (!IsBlock(next)) return err::kInvalidFormat;
  *block = next;
  return err::kOk;
}

ErrCode CBFHP::AppendBlock(SRoot* root, uint64_t index) {
  uint32_t data = 0;
  if (ErrCode error = AllocBlock(&data)) return error;
  if (index == Capacity(root->depth)) {
    // The root is full: its slots move down into a new index block.
    uint32_t top = 0;
    if (ErrCode error = AllocBlock(&top)) return error;
    const int level_one = kRootBuffer + 1;
    if (ErrCode error = Claim(level_one, top)) return error;
    for (uint32_t s = 0; s < K() - 2; ++s) {
      SetWord(level_one, s, Word(kRootBuffer, kRootSlotsOffset + s));
      SetWord(kRootBuffer, kRootSlotsOffset + s, 0);
    }
    SetWord(kRootBuffer, kRootSlotsOffset, top);
    ++root->depth;
  }
  int slot = kRootBuffer;
  uint32_t entry = kRootSlotsOffset + Digit(index, 0, root->depth);
  for (uint32_t level = 1; level <= root->depth; ++level) {
    const int child_slot = kRootBuffer + static_cast<int>(level);
    uint32_t child = Word(slot, entry);
    if (child == 0) {
      if (ErrCode error = AllocBlock(&child)) return error;
      if (ErrCode error = Claim(child_slot, child)) return error;
      SetWord(slot, entry, child);
    } else if (ErrCode error = Load(child_slot, child)) {
      return error;
    }
    slot = child_slot;
    entry = Digit(index, level, root->depth);
  }
  SetWord(slot, entry, data);
  return err::kOk;
}

// Frees the data block at `index`, the last one, and every index block that
// it leaves empty, lowest level first.
ErrCode CBFHP::RemoveLastBlock(SRoot* root, uint64_t index) {
  uint32_t path[kMaxDepth];
  uint32_t data = 0;
  if (ErrCode error = DataBlock(*root, index, &data, path)) return error;
  auto entry_of = [&](uint32_t level) {
    return level == 0 ? kRootSlotsOffset + Digit(index, 0, root->depth)
                      : Digit(index, level, root->depth);
  };
  const int lowest = kRootBuffer + static_cast<int>(root->depth);
  SetWord(lowest, entry_of(root->depth), 0);
  if (ErrCode error = FreeBlock(data)) return error;
  for (uint32_t level = root->depth; level >= 1; --level) {
    if (Digit(index, level, root->depth) != 0) break;
    SetWord(kRootBuffer + static_cast<int>(level) - 1, entry_of(level - 1), 0);
    if (ErrCode error = FreeBlock(path[level - 1])) return error;
  }
  return err::kOk;
}

StoreHandle CBFHP::NewHandle(uint32_t size, ErrCode* error) {
  ErrCode result = m_file ? err::kOk : err::kBadParams;
  uint32_t block = 0;
  if (!result) result = AllocBlock(&block);
  if (!result) result = Claim(kRootBuffer, block);
  if (!result) {
    result = Resize(block, size);
    if (result) FreeBlock(block);
  }
  if (error) *error = result;
  return result ? 0 : block;
}

ErrCode CBFHP::Resize(StoreHandle handle, uint32_t size) {
  SRoot root;
  if (ErrCode error = LoadRoot(handle, &root)) return error;
  if (size == root.size) return err::kOk;
  const uint32_t block_size = m_header.block_size;
  uint64_t count = BlocksFor(root.size, block_size);
  const uint64_t wanted = BlocksFor(size, block_size);
  if (wanted > count) {
    uint32_t depth = root.depth;
    while (Capacity(depth) < wanted) ++depth;
    if (depth > kMaxDepth) return err::kAllocFail;
    const uint64_t needed =
        wanted - count + IndexBlocks(wanted, depth) - IndexBlocks(count, root.depth);
    const uint64_t available =
        uint64_t{m_header.block_limit - m_header.next_block} + m_header.free_count;
    if (available < needed) return err::kAllocFail;
  }
  root.size = size;
  for (; count < wanted; ++count)
    if (ErrCode error = AppendBlock(&root, count)) return error;
  for (; count > wanted; --count)
    if (ErrCode error = RemoveLastBlock(&root, count - 1)) return error;
  if (count == 0) root.depth = 0;
  StoreRoot(root);
  return err::kOk;
}

ErrCode CBFHP::SizeOf(StoreHandle handle, uint32_t* size) {
  SRoot root;
  if (ErrCode error = LoadRoot(handle, &root)) return error;
  *size = root.size;
  return err::kOk;
}

// Reads into `in` or writes from `out`, whichever is given.
ErrCode CBFHP::Transfer(StoreHandle handle, uint8_t* in, const uint8_t* out, uint32_t offset,
                        uint32_t length, uint32_t* count) {
  if (count) *count = 0;
  SRoot root;
  if (ErrCode error = LoadRoot(handle, &root)) return error;
  if (offset >= root.size) return err::kBadParams;
  length = std::min(length, root.size - offset);
  const uint32_t block_size = m_header.block_size;
  uint32_t done = 0;
  while (done < length) {
    const uint32_t position = offset + done;
    uint64_t index = position / block_size;
    uint32_t first = 0;
    if (ErrCode error = DataBlock(root, index, &first)) return error;
    uint32_t run = std::min(block_size - position % block_size, length - done);
    for (uint32_t last = first; done + run < length; ++last) {
      uint32_t next = 0;
      if (ErrCode error = DataBlock(root, ++index, &next)) return error;
      if (next != last + 1) break;
      run += std::min(block_size, length - done - run);
    }
    const uint32_t at = first * block_size + position % block_size;
    if (out) {
      if (ErrCode error = m_file->WriteAt(out + done, at, run, nullptr)) return error;
    } else {
      uint32_t got = 0;
      const ErrCode error = m_file->ReadAt(in + done, at, run, &got);
      if (error == err::kEof)
        std::memset(in + done + got, 0, run - got);
      else if (error)
        return error;
    }
    done += run;
    if (count) *count = done;
  }
  return err::kOk;
}

ErrCode CBFHP::Read(StoreHandle handle, void* buffer, uint32_t offset, uint32_t length,
                    uint32_t* count) {
  return Transfer(handle, static_cast<uint8_t*>(buffer), nullptr, offset, length, count);
}

ErrCode CBFHP::Write(StoreHandle handle, const void* buffer, uint32_t offset,
                     uint32_t length, uint32_t* count) {
  return Transfer(handle, nullptr, static_cast<const uint8_t*>(buffer), offset, length, count);
}

ErrCode CBFHP::FreeHandle(StoreHandle handle) {
  ++m_frees;
  if (ErrCode error = Resize(handle, 0)) return error;
  return FreeBlock(handle);
}

void CBFHP::SetRootHandle(StoreHandle handle) {
  if (handle == m_header.root) return;
  m_header.root = handle;
  m_header_changed = true;
}

ErrCode CBFHP::Commit() {
  if (!m_file) return err::kBadParams;
  const SHeader& h = m_header;
  if (m_header_changed) {
    uint8_t bytes[kHeaderSize];
    std::memcpy(bytes, kMagic, 4);
    const uint32_t words[] = {h.block_size, h.next_block, h.block_limit, h.free_count,
                              h.free_page,  h.root_header_size, h.root};
    for (size_t i = 0; i < std::size(words); ++i) PutLe32(bytes + 4 + 4 * i, words[i]);
    if (ErrCode error = m_file->WriteAt(bytes, 0, kHeaderSize, nullptr)) return error;
    m_header_changed = false;
  }
  for (SBuffer& buffer : m_buffers)
    if (ErrCode error = WriteBack(buffer)) return error;
  // The file reaches to the end of its last block, written or not, so that
  // opening it finds every block inside.
  const uint32_t end = h.next_block * h.block_size;
  if (m_file->GetSize() < end) {
    const uint8_t zero = 0;
    if (ErrCode error = m_file->WriteAt(&zero, end - 1, 1, nullptr)) return error;
  }
  return m_file->Flush();
}

ErrCode CBFHP::HandleBlocks(StoreHandle handle, std::vector<uint32_t>* blocks) {
  blocks->clear();
  SRoot root;
  if (ErrCode error = LoadRoot(handle, &root)) return error;
  const uint64_t count = BlocksFor(root.size, m_header.block_size);
  uint32_t path[kMaxDepth];
  for (uint64_t index = 0; index < count; ++index) {
    uint32_t data = 0;
    if (ErrCode error = DataBlock(root, index, &data, path)) return error;
    for (uint32_t level = 1; level <= root.depth; ++level)
      if (index % Power(root.depth - level + 1) == 0) blocks->push_back(path[level - 1]);
    blocks->push_back(data);
  }
  return err::kOk;
}
