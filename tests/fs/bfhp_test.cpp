#include "fs/bfhp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "fs/handle_io.h"
#include "support/fault_file.h"
#include "support/le_words.h"

namespace {

class BfhpTest : public ::testing::Test {
 protected:
  void Create(uint32_t block_size, uint32_t limit = CBFHP::kNoLimit) {
    ASSERT_EQ(m_store.Create(&m_file, block_size, limit), err::kOk);
  }
  std::vector<uint32_t> Blocks(StoreHandle handle) {
    std::vector<uint32_t> blocks;
    EXPECT_EQ(m_store.HandleBlocks(handle, &blocks), err::kOk);
    return blocks;
  }
  std::shared_ptr<std::string> m_bytes = std::make_shared<std::string>();
  CFaultFile m_file{m_bytes};
  CBFHP m_store;
};

TEST_F(BfhpTest, DepthGrowsOneByteAfterTheRootsSlotsAreFull) {
  Create(256);
  const StoreHandle h = m_store.NewHandle(62 * 256);
  EXPECT_EQ(h, 1u);
  std::vector<uint32_t> blocks = Blocks(h);
  ASSERT_EQ(blocks.size(), 62u);
  EXPECT_EQ(blocks.front(), 2u);
  EXPECT_EQ(blocks.back(), 63u);
  ASSERT_EQ(m_store.Commit(), err::kOk);
  EXPECT_EQ(WordAt(*m_bytes, 256 + 4) & 0xFFFF, 0u);

  // The data block comes first, then the index block that takes the slots.
  ASSERT_EQ(m_store.Resize(h, 62 * 256 + 1), err::kOk);
  ASSERT_EQ(m_store.Commit(), err::kOk);
  // Root: size, depth 1, the index block in the first slot.
  EXPECT_EQ(Words(*m_bytes, {256, 256 + 8, 256 + 12}),
            (std::vector<uint32_t>{62 * 256 + 1, 65, 0}));
  EXPECT_EQ(WordAt(*m_bytes, 256 + 4) & 0xFFFF, 1u);
  EXPECT_EQ(Words(*m_bytes, {65 * 256, 65 * 256 + 61 * 4, 65 * 256 + 62 * 4}),
            (std::vector<uint32_t>{2, 63, 64}));
  EXPECT_EQ(WordAt(*m_bytes, 8), 66u);  // next block
  EXPECT_EQ(m_bytes->size(), 66u * 256);
}

TEST_F(BfhpTest, FreeingTheLastBlocksShortensTheFile) {
  Create(256);
  EXPECT_EQ(m_store.NewHandle(0), 1u);
  const StoreHandle h = m_store.NewHandle(3 * 256);
  EXPECT_EQ(h, 2u);
  ASSERT_EQ(m_store.Commit(), err::kOk);
  EXPECT_EQ(m_bytes->size(), 6u * 256);
  ASSERT_EQ(m_store.FreeHandle(h), err::kOk);
  EXPECT_EQ(m_store.NextBlock(), 2u);
  EXPECT_EQ(m_store.FreeCount(), 0u);
  EXPECT_EQ(m_bytes->size(), 2u * 256);
}

TEST_F(BfhpTest, FreedBlocksComeBackInReverseOrderPageLast) {
  struct SCase {
    uint32_t block_size;
    std::vector<uint32_t> freed;
    uint32_t head_page;
    std::vector<uint32_t> page_words;  // the head page after freeing
    std::vector<uint32_t> reused;
  };
  // K = 4 at 16 bytes: a page holds itself and three entries, the fifth
  // freed block starts a new page that links to the old one.
  const SCase cases[] = {
      {256, {5, 6, 7}, 5, {0, 6, 7}, {7, 6, 5}},
      {16, {2, 3, 4, 5, 6}, 6, {2}, {6, 5, 4, 3, 2}},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.block_size);
    m_bytes->clear();
    m_file.Seek(0, kSeekSet);
    Create(c.block_size);
    const uint32_t first = m_store.FirstBlock();
    for (uint32_t b = first; b <= 8 + first; ++b) ASSERT_EQ(m_store.NewHandle(0), b);
    for (uint32_t b : c.freed) ASSERT_EQ(m_store.FreeHandle(b), err::kOk);
    ASSERT_EQ(m_store.Commit(), err::kOk);
    EXPECT_EQ(WordAt(*m_bytes, 16), c.freed.size());
    const uint32_t page = WordAt(*m_bytes, 20);
    EXPECT_EQ(page, c.head_page);
    for (size_t i = 0; i < c.page_words.size(); ++i)
      EXPECT_EQ(WordAt(*m_bytes, page * c.block_size + 4 * i), c.page_words[i]);
    for (uint32_t b : c.reused) EXPECT_EQ(m_store.NewHandle(0), b);
    EXPECT_EQ(m_store.FreeCount(), 0u);
    EXPECT_EQ(m_store.NewHandle(0), 9 + first);
  }
}

// Transfers stop at the size, and consecutive data blocks (2 to 5 here)
// move in one file access.
TEST_F(BfhpTest, ReadsAndWritesStopAtTheSizeAndMoveConsecutiveBlocksAtOnce) {
  Create(256);
  const StoreHandle h = m_store.NewHandle(1000);
  std::string in(1000, '\0');
  for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<char>(i * 7);
  m_file.plan.writes = 0;
  ASSERT_EQ(m_store.Write(h, in.data(), 0, 1000), err::kOk);
  EXPECT_EQ(m_file.plan.writes, 1);
  ASSERT_EQ(m_store.Commit(), err::kOk);
  EXPECT_EQ(m_bytes->substr(2 * 256, 1000), in);
  std::string out(990, '\0');
  m_file.plan.reads = 0;
  ASSERT_EQ(m_store.Read(h, out.data(), 10, 990), err::kOk);
  EXPECT_EQ(m_file.plan.reads, 1);
  EXPECT_EQ(out, in.substr(10));
  uint32_t count = 0;
  ASSERT_EQ(m_store.Read(h, out.data(), 990, 100, &count), err::kOk);
  EXPECT_EQ(count, 10u);
  EXPECT_EQ(out.substr(0, 10), in.substr(990));
  EXPECT_EQ(m_store.Read(h, out.data(), 1000, 1, &count), err::kBadParams);
  EXPECT_EQ(m_store.Write(h, out.data(), 1000, 1), err::kBadParams);
}

TEST_F(BfhpTest, AResizeBeyondTheLimitFailsWithoutChanges) {
  Create(256, 5);
  const StoreHandle h = m_store.NewHandle(256);
  EXPECT_EQ(m_store.Resize(h, 5 * 256), err::kAllocFail);
  uint32_t size = 0;
  ASSERT_EQ(m_store.SizeOf(h, &size), err::kOk);
  EXPECT_EQ(size, 256u);
  EXPECT_EQ(m_store.NextBlock(), 3u);
  EXPECT_EQ(m_store.Resize(h, 3 * 256), err::kOk);
  EXPECT_EQ(m_store.NewHandle(0), 0u);
}

TEST_F(BfhpTest, MappedHandlesGoBackOnlyWhenDirtyAndStreamsEndTheHandle) {
  Create(256);
  const StoreHandle h = m_store.NewHandle(4);
  ASSERT_EQ(m_store.Write(h, "abcd", 0, 4), err::kOk);
  CHandleMap map(&m_store, h);
  ASSERT_EQ(map.Map(), err::kOk);
  map.Bytes()[0] = 'X';
  ASSERT_EQ(map.Unmap(), err::kOk);
  char out[8] = {};
  ASSERT_EQ(m_store.Read(h, out, 0, 4), err::kOk);
  EXPECT_STREQ(out, "abcd");
  ASSERT_EQ(map.Map(), err::kOk);
  map.Bytes().assign(300, 'm');
  map.MarkDirty();
  ASSERT_EQ(map.Unmap(), err::kOk);
  uint32_t size = 0;
  ASSERT_EQ(m_store.SizeOf(h, &size), err::kOk);
  EXPECT_EQ(size, 300u);

  CHandleStream writer(&m_store, h, 2);
  ASSERT_EQ(writer.Write("12", 2), err::kOk);
  ASSERT_EQ(writer.Write("345", 3), err::kOk);
  ASSERT_EQ(writer.Finish(), err::kOk);
  ASSERT_EQ(m_store.SizeOf(h, &size), err::kOk);
  EXPECT_EQ(size, 7u);
  CHandleStream reader(&m_store, h);
  ASSERT_EQ(reader.BeginReading(), err::kOk);
  ASSERT_EQ(reader.Read(out, 3), err::kOk);
  EXPECT_EQ(reader.Remaining(), 4u);
  EXPECT_EQ(reader.Read(out + 3, 5), err::kEof);
  ASSERT_EQ(reader.Read(out + 3, 4), err::kOk);
  EXPECT_EQ(std::string(out, 7), "mm12345");
}

// Random growing and shrinking at a block size that makes deep trees: the
// contents match a model, and every block is the header's, free, or one
// handle's, across commit and reopen.
TEST_F(BfhpTest, RandomResizesKeepContentsAndAccountForEveryBlock) {
  Create(16);
  std::mt19937 random(7);
  std::map<StoreHandle, std::string> model;
  for (int i = 0; i < 6; ++i) model[m_store.NewHandle(0)] = "";
  auto check = [&](CBFHP& store) {
    std::vector<uint32_t> owner(store.NextBlock(), 0);
    std::vector<uint32_t> free_blocks;
    ASSERT_EQ(store.FreeBlocks(&free_blocks), err::kOk);
    for (uint32_t b : free_blocks) owner[b] = 1;
    for (const auto& [h, bytes] : model) {
      std::vector<uint32_t> blocks;
      ASSERT_EQ(store.HandleBlocks(h, &blocks), err::kOk);
      blocks.push_back(h);
      for (uint32_t b : blocks) {
        ASSERT_LT(b, owner.size());
        ASSERT_EQ(owner[b], 0u) << b;
        owner[b] = h + 1;
      }
      std::string read(bytes.size(), '\0');
      if (!bytes.empty()) {
        ASSERT_EQ(store.Read(h, read.data(), 0, read.size()), err::kOk);
      }
      ASSERT_EQ(read, bytes);
    }
    for (uint32_t b = store.FirstBlock(); b < owner.size(); ++b) ASSERT_NE(owner[b], 0u) << b;
  };
  for (int step = 0; step < 300; ++step) {
    auto it = model.begin();
    std::advance(it, random() % model.size());
    const uint32_t size = random() % 5 == 0 ? 0 : random() % 2100;
    ASSERT_EQ(m_store.Resize(it->first, size), err::kOk);
    std::string& bytes = it->second;
    bytes.resize(size);
    for (char& c : bytes) c = static_cast<char>(random());
    if (size) {
      ASSERT_EQ(m_store.Write(it->first, bytes.data(), 0, size), err::kOk);
    }
    if (step % 50 == 0) check(m_store);
  }
  ASSERT_EQ(m_store.Commit(), err::kOk);
  CBFHP reopened;
  ASSERT_EQ(reopened.Open(&m_file), err::kOk);
  check(reopened);
}

TEST_F(BfhpTest, DamagedFilesAreRefusedOrGiveReadErrors) {
  Create(256);
  const StoreHandle h = m_store.NewHandle(300);  // root 1, data 2 and 3
  EXPECT_EQ(m_store.NewHandle(0), 4u);
  EXPECT_EQ(m_store.NewHandle(0), 5u);
  ASSERT_EQ(m_store.FreeHandle(4), err::kOk);
  m_store.SetRootHandle(h);
  ASSERT_EQ(m_store.Commit(), err::kOk);
  const std::string good = *m_bytes;
  struct SCase {
    const char* what;
    size_t offset;
    uint32_t value;
    bool open_fails;
  };
  const SCase cases[] = {
      {"magic", 0, 0x53465049, true},
      {"block size 0", 4, 0, true},
      {"block size not a multiple of 4", 4, 258, true},
      {"next block beyond the file", 8, 7, true},
      {"block limit below next block", 12, 2, true},
      {"free count past the pages", 16, 2, true},
      {"free page at the header", 20, 0, true},
      {"root handle outside", 28, 77, true},
      {"depth 6", 256 + 4, 6, false},
      {"slot at the header", 256 + 8, 0, false},
      {"slot outside the file", 256 + 12, 1000, false},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.what);
    *m_bytes = good;
    PutWord(m_bytes.get(), c.offset, c.value);
    CBFHP store;
    const ErrCode open = store.Open(&m_file);
    if (c.open_fails) {
      EXPECT_EQ(open, err::kInvalidFormat);
      continue;
    }
    ASSERT_EQ(open, err::kOk);
    uint8_t out[300];
    EXPECT_EQ(store.Read(h, out, 0, 300), err::kInvalidFormat);
  }
  // A free list whose page names itself among its entries.
  *m_bytes = good;
  PutWord(m_bytes.get(), 4 * 256 + 4, 4);
  PutWord(m_bytes.get(), 16, 2);
  CBFHP store;
  EXPECT_EQ(store.Open(&m_file), err::kInvalidFormat);
  m_bytes->resize(20);
  EXPECT_EQ(store.Open(&m_file), err::kInvalidFormat);
}

}  // namespace
