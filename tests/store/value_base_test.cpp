#include "store/value_base.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "store/hash_dict.h"
#include "store/vb_check.h"
#include "support/le_words.h"
#include "support/scratch_value_base.h"

namespace {

class CStringStream : public CByteStream {
 public:
  explicit CStringStream(std::string bytes = {}) : m_bytes(std::move(bytes)) {}
  ErrCode Read(void* buffer, uint32_t length) override {
    if (length > Remaining()) return err::kEof;
    std::memcpy(buffer, m_bytes.data() + m_position, length);
    m_position += length;
    return err::kOk;
  }
  ErrCode Write(const void* buffer, uint32_t length) override {
    m_bytes.append(static_cast<const char*>(buffer), length);
    return err::kOk;
  }
  uint32_t Remaining() const override {
    return static_cast<uint32_t>(m_bytes.size() - m_position);
  }
  std::string m_bytes;
  size_t m_position = 0;
};

TEST(HashDictTest, HashFollowsTheRotateAddRule) {
  const struct {
    std::string key;
    uint32_t hash;
  } cases[] = {{"", 0}, {"a", 194}, {"ab", 487}, {"\xff", 0xFFFFFFFF}, {"\xff\xff", 0xFFFFFFFD}};
  for (const auto& c : cases) EXPECT_EQ(CHashDict::Hash(c.key), c.hash) << c.key;
}

TEST(HashDictTest, ImageHoldsA64ByteNameWithoutTerminator) {
  CHashDict dict;
  dict.Init(4);
  const std::string long_name(64, 'n');
  const uint32_t first = 0x1000, second = 0x1001;
  ASSERT_EQ(dict.Set(long_name, &first, nullptr), err::kOk);
  ASSERT_EQ(dict.Set("b", &second, nullptr), err::kOk);
  CStringStream out;
  ASSERT_EQ(dict.Save(&out), err::kOk);
  const std::string& image = out.m_bytes;
  ASSERT_EQ(image.size(), 16u + 2 * 74);
  EXPECT_EQ(image.substr(0, 4), "HDIC");
  EXPECT_EQ(Words(image, {4, 8, 12, 16 + 70, 16 + 74 + 70}),
            (std::vector<uint32_t>{16, 74, 2, 0x1000, 0x1001}));
  EXPECT_EQ(image.substr(16 + 4, 66), long_name + std::string("\1\0", 2));
  EXPECT_EQ(image.substr(16 + 74 + 4, 2), std::string("b\0", 2));

  CHashDict loaded;
  loaded.Init(4);
  CStringStream in(image);
  ASSERT_EQ(loaded.Load(&in), err::kOk);
  uint32_t atom = 0;
  ASSERT_EQ(loaded.Get(long_name, &atom), err::kOk);
  EXPECT_EQ(atom, 0x1000u);
  EXPECT_EQ(loaded.KeyAt(0), long_name);
  EXPECT_EQ(loaded.Get(long_name + "x", &atom), err::kOk);  // keys keep 64 bytes

  for (const auto& [offset, value] : {std::pair<size_t, uint32_t>{12, 3}, {8, 75}, {0, 0}}) {
    std::string bad = image;
    std::memcpy(bad.data() + offset, &value, 4);
    CStringStream damaged(bad);
    EXPECT_EQ(loaded.Load(&damaged), err::kInvalidFormat) << offset;
  }
}

TEST(HashDictTest, RemoveMovesTheLastRecordAndShrinksInSteps) {
  CHashDict dict;
  dict.Init(4);
  for (uint32_t i = 0; i < 300; ++i) ASSERT_EQ(dict.Set("k" + std::to_string(i), &i, nullptr), err::kOk);
  EXPECT_EQ(dict.Capacity(), 512u);
  ASSERT_EQ(dict.Remove("k0"), err::kOk);
  EXPECT_EQ(dict.KeyAt(0), "k299");
  EXPECT_EQ(dict.Remove("k0"), err::kNotFound);
  for (uint32_t i = 1; i <= 42; ++i) ASSERT_EQ(dict.Remove("k" + std::to_string(i)), err::kOk);
  EXPECT_EQ(dict.Count(), 257u);
  EXPECT_EQ(dict.Capacity(), 512u);
  ASSERT_EQ(dict.Remove("k43"), err::kOk);
  EXPECT_EQ(dict.Capacity(), 256u);
  uint32_t value = 0;
  for (uint32_t i = 44; i < 300; ++i) {
    ASSERT_EQ(dict.Get("k" + std::to_string(i), &value), err::kOk);
    EXPECT_EQ(value, i);
  }

  char key[8];
  ASSERT_EQ(dict.Enumerate("", key, sizeof key, nullptr, &value), err::kOk);
  EXPECT_STREQ(key, "k299");
  // Removing k1 moved k298 into record 1.
  ASSERT_EQ(dict.Enumerate("k299", key, sizeof key, nullptr, &value), err::kOk);
  EXPECT_STREQ(key, "k298");
  EXPECT_EQ(value, 298u);
  EXPECT_EQ(dict.Enumerate(dict.KeyAt(dict.Count() - 1), key, sizeof key, nullptr, &value),
            err::kNotFound);
  EXPECT_EQ(dict.Enumerate("none", key, sizeof key, nullptr, &value), err::kNotFound);
  int seen = 0;
  EXPECT_EQ(dict.Enumerate("", key, sizeof key,
                           [](std::string_view, const void*, void* n) {
                             return ++*static_cast<int*>(n) == 3 ? 1 : 0;
                           },
                           &seen),
            err::kOk);
  EXPECT_EQ(seen, 3);
}

class ValueBaseTest : public ::testing::Test, protected CScratchValueBase {
 protected:
  std::vector<uint8_t> Long(int32_t value) { return MakeValue(kValueLong, &value, 4); }
  std::vector<uint8_t> Text(const std::string& text) {
    return MakeValue(kValueString, text.c_str(), text.size() + 1);
  }
  std::vector<std::string> Names(CVBContainer* container) {
    std::vector<std::string> names;
    uint32_t cursor = 0;
    Atom atom = 0;
    while (container->NextValue(&cursor, &atom, nullptr) == err::kOk)
      names.push_back(m_vb->NameOfAtom(atom));
    return names;
  }
  // Back to the `committed` bytes, reopened, with `count` new children of the
  // root and the write count cleared.
  void ReopenWithChildren(const std::string& committed, int count) {
    m_vb.reset();  // before the bytes go back: it may still write
    *m_bytes = committed;
    Open(false);
    for (int i = 0; i < count; ++i) NewChild(m_vb->Root(), "c" + std::to_string(i));
    m_file->plan.writes = 0;
  }
  StoreHandle NewChild(StoreHandle parent, const std::string& name) {
    const StoreHandle child = m_vb->CreateContainer();
    return m_vb->LinkContainer(child, parent, name);
  }
};

// Worked through the storing rules on a fresh 256-byte buffer.
TEST_F(ValueBaseTest, SlotsAreReusedSplitAndMerged) {
  COpenContainer root(m_vb.get(), m_vb->Root());
  ASSERT_TRUE(root);
  EXPECT_TRUE(Names(root.get()).empty());
  EXPECT_EQ(root->BufferLength(), 256u);
  ASSERT_EQ(root->SetValue("a", Long(1).data()), err::kOk);      // 0..11, free 240 at 12
  ASSERT_EQ(root->SetValue("b", Text("hello").data()), err::kOk);  // 12..25, free 226
  ASSERT_EQ(root->SetValue("a", Text("0123456789abcde").data()), err::kOk);  // to 26
  EXPECT_EQ(Names(root.get()), (std::vector<std::string>{"b", "a"}));
  ASSERT_EQ(root->SetValue("c", Long(3).data()), err::kOk);  // the 8 bytes a left
  EXPECT_EQ(Names(root.get()), (std::vector<std::string>{"c", "b", "a"}));
  ASSERT_EQ(root->SetValue("b", Text("world").data()), err::kOk);
  EXPECT_EQ(Names(root.get()), (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(root->UsedBytes(), 12u + 14 + 24);
  EXPECT_STREQ(root->GetString("b"), "world");
  EXPECT_EQ(root->GetLong("c"), 3);
  EXPECT_EQ(root->GetLong("b"), -1);
  EXPECT_EQ(root->GetPoint("c").x, -1);
  ASSERT_EQ(m_vb->Flush(), err::kOk);
  // The root container is the second handle: root block 3, data block 4.
  const std::string block = m_bytes->substr(4 * 256, 58);
  EXPECT_EQ(Words(block, {0, 4, 8, 12, 20, 34, 38}),
            (std::vector<uint32_t>{0, 1, m_vb->AtomOf("c"), 0x00020008, m_vb->AtomOf("b"),
                                   m_vb->AtomOf("a"), 0x00030014}));
  EXPECT_EQ(block.substr(28, 6), std::string("world\0", 6));
}

TEST_F(ValueBaseTest, FullBuffersCompactGrowAndMergeFreeNeighbours) {
  COpenContainer root(m_vb.get(), m_vb->Root());
  ASSERT_EQ(root->SetValue("s", Text(std::string(235, 'x')).data()), err::kOk);  // 240
  ASSERT_EQ(root->SetValue("l", Long(1).data()), err::kOk);  // the 8 left
  EXPECT_EQ(root->BufferLength(), 256u);
  ASSERT_EQ(root->SetValue("m", Long(2).data()), err::kOk);
  EXPECT_EQ(root->BufferLength(), 268u);
  ASSERT_EQ(root->DeleteValue("s"), err::kOk);
  ASSERT_EQ(root->SetValue("m", Text(std::string(15, 'y')).data()), err::kOk);
  EXPECT_EQ(Names(root.get()), (std::vector<std::string>{"m", "l"}));
  ASSERT_EQ(root->DeleteValue("m"), err::kOk);
  // Free 20 at 0 merges with free 216 at 24 into exactly enough room.
  ASSERT_EQ(root->SetValue("big", Text(std::string(225, 'z')).data()), err::kOk);
  EXPECT_EQ(Names(root.get()), (std::vector<std::string>{"big", "l"}));
  EXPECT_EQ(root->BufferLength(), 268u);
}

TEST_F(ValueBaseTest, AlternatingSizesDoNotGrowTheBuffer) {
  COpenContainer root(m_vb.get(), m_vb->Root());
  ASSERT_EQ(root->SetValue("other", Long(0).data()), err::kOk);
  for (int i = 0; i < 2000; ++i) {
    const std::string text(i % 3 == 0 ? 1 : i % 3 == 1 ? 40 : 17, 'q');
    ASSERT_EQ(root->SetValue("v", Text(text).data()), err::kOk);
    ASSERT_EQ(root->SetValue("w", Long(i).data()), err::kOk);
  }
  EXPECT_LE(root->BufferLength(), 256u);
  EXPECT_EQ(root->GetLong("w"), 1999);
}

TEST_F(ValueBaseTest, DeletingTheLastReferenceFreesTheSubtree) {
  const StoreHandle a = NewChild(m_vb->Root(), "A");
  const StoreHandle b = NewChild(a, "B");
  const StoreHandle c = NewChild(b, "C");
  EXPECT_EQ(a, 5u);
  EXPECT_EQ(b, 7u);
  EXPECT_EQ(c, 9u);
  ASSERT_EQ(m_vb->Flush(), err::kOk);
  {
    COpenContainer root(m_vb.get(), m_vb->Root());
    ASSERT_EQ(root->DeleteValue("A"), err::kOk);
  }
  // C, B and A go in that order, each the file's last blocks.
  EXPECT_EQ(m_store->NextBlock(), 5u);
  EXPECT_EQ(m_store->FreeCount(), 0u);
  EXPECT_NE(m_vb->AtomOf("B"), 0u);
  EXPECT_EQ(m_vb->FindPath("/A", 0), 0u);
  ASSERT_EQ(m_vb->Flush(), err::kOk);
  EXPECT_TRUE(CheckValueBase(m_vb.get()).empty());
}

TEST_F(ValueBaseTest, ASharedContainerLivesUntilItsLastHolderGoes) {
  const StoreHandle shared = NewChild(m_vb->Root(), "one");
  ASSERT_EQ(m_vb->LinkContainer(shared, m_vb->Root(), "two"), shared);
  {
    COpenContainer root(m_vb.get(), m_vb->Root());
    ASSERT_EQ(root->DeleteValue("one"), err::kOk);
    EXPECT_EQ(m_vb->FindPath("/two", 0), shared);
    COpenContainer opened(m_vb.get(), shared);
    EXPECT_EQ(opened->RefCount(), 1u);
    // Replacing the last holder by a plain value releases the container too.
    ASSERT_EQ(root->SetValue("two", Long(2).data()), err::kOk);
  }
  EXPECT_EQ(m_store->NextBlock(), 5u);
  ASSERT_EQ(m_vb->Flush(), err::kOk);
  EXPECT_TRUE(CheckValueBase(m_vb.get()).empty());
}

TEST_F(ValueBaseTest, ContainersLeavingASmallCacheAreSavedAndComeBack) {
  ASSERT_EQ(m_vb->Flush(), err::kOk);
  m_vb.reset();
  CObjectCache small(2, 512);
  CValueBase vb(m_store.get(), &small);
  ASSERT_EQ(vb.Init(), err::kOk);
  for (int i = 0; i < 20; ++i) {
    const StoreHandle child = vb.LinkContainer(vb.CreateContainer(), vb.Root(), "c" + std::to_string(i));
    ASSERT_NE(child, 0u);
    COpenContainer opened(&vb, child);
    ASSERT_EQ(opened->SetValue("n", Long(i).data()), err::kOk);
    EXPECT_LE(small.Count(), 3u);
  }
  for (int i = 0; i < 20; ++i) {
    COpenContainer opened(&vb, vb.OpenPath("/c" + std::to_string(i), 0));
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->GetLong("n"), i);
  }
  ASSERT_EQ(vb.Flush(), err::kOk);
  EXPECT_EQ(CheckValueBase(&vb), std::vector<std::string>{});
}

TEST_F(ValueBaseTest, AContainerBlockWhoseEntryOverrunsIsRefused) {
  const StoreHandle a = NewChild(m_vb->Root(), "A");
  {
    COpenContainer opened(m_vb.get(), a);
    ASSERT_EQ(opened->SetValue("n", Long(1).data()), err::kOk);
  }
  ASSERT_EQ(m_vb->Flush(), err::kOk);
  m_vb.reset();
  const uint16_t size = 9;  // the entry ends one byte past the block
  ASSERT_EQ(m_store->Write(a, &size, 12, 2), err::kOk);
  m_vb = std::make_unique<CValueBase>(m_store.get(), &m_cache);
  ASSERT_EQ(m_vb->Init(), err::kOk);
  ErrCode error = err::kOk;
  EXPECT_EQ(m_vb->OpenContainer(a, &error), nullptr);
  EXPECT_EQ(error, err::kInvalidFormat);
  EXPECT_FALSE(CheckValueBase(m_vb.get()).empty());
}

TEST_F(ValueBaseTest, TypedSettersRenamesAndDefaults) {
  COpenContainer root(m_vb.get(), m_vb->Root());
  ASSERT_EQ(root->SetValue("x", Long(0).data()), err::kOk);
  const Atom x = m_vb->AtomOf("x");
  const int32_t number = 42;
  const TRect rect{1, 2, 3, 4};
  const struct {
    uint16_t type;
    const void* payload;
    ErrCode expected;
    uint16_t size;
  } cases[] = {
      {kValueLong, &number, err::kOk, 8},     {kValueString, "abc", err::kOk, 8},
      {kValueRect, &rect, err::kOk, 12},      {kValuePoint, &rect, err::kOk, 8},
      {kValueScript, &rect, err::kNotImplementedYet, 8},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(root->SetTyped(x, c.type, c.payload), c.expected) << c.type;
    EXPECT_EQ(ValueSize(root->GetValueByAtom(x, 0)), c.size) << c.type;
  }
  EXPECT_EQ(root->GetPoint("x").y, 2);
  EXPECT_EQ(root->SetTypedByName("unknown", kValueLong, &number), err::kNotFound);
  ASSERT_EQ(root->SetValue("y", Long(5).data()), err::kOk);
  ASSERT_EQ(root->RenameValue("x", "z"), err::kOk);
  EXPECT_EQ(Names(root.get()), (std::vector<std::string>{"z", "y"}));
  EXPECT_EQ(root->RenameValue("x", "w"), err::kNotFound);
  EXPECT_EQ(root->DeleteValue("x"), err::kNotFound);
  CContainer plain(m_vb->Dict());
  uint32_t cursor = 7;
  EXPECT_EQ(plain.NextValue(&cursor, nullptr, nullptr), err::kNotImplementedYet);
  EXPECT_EQ(cursor, 0u);
  EXPECT_EQ(plain.DeleteValue("y"), err::kNotImplementedYet);
  EXPECT_EQ(plain.SetValue("y", Long(1).data()), err::kNotImplementedYet);
}

TEST_F(ValueBaseTest, FindPathCornerCases) {
  const StoreHandle a = NewChild(m_vb->Root(), "A");
  const StoreHandle b = NewChild(a, "B");
  {
    COpenContainer root(m_vb.get(), m_vb->Root());
    ASSERT_EQ(root->SetValue("n", Long(1).data()), err::kOk);
    ASSERT_EQ(root->SetValue(std::string(63, 'x'), Long(1).data()), err::kOk);
  }
  const StoreHandle x63 = NewChild(m_vb->Root(), std::string(63, 'y'));
  const StoreHandle x64 = NewChild(m_vb->Root(), std::string(64, 'z'));
  ASSERT_NE(x64, 0u);
  const struct {
    std::string path;
    StoreHandle start;
    StoreHandle expected;
  } cases[] = {
      {"/", 0, m_vb->Root()},       {"", 0, m_vb->Root()},         {"", a, a},
      {"/A/B", 0, b},               {"/A/B/", 0, b},               {"A/B", 0, b},
      {"B", a, b},                  {"/A", a, a},                  {"/A/C", 0, 0},
      {"/n", 0, 0},                 {"/a", 0, 0},                  {"/A//B", 0, 0},
      {"/" + std::string(63, 'y'), 0, x63}, {"/" + std::string(64, 'z'), 0, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(m_vb->FindPath(c.path, c.start), c.expected) << c.path;
  uint8_t value[8] = {};
  EXPECT_EQ(m_vb->GetValueByPath("/n", value, 8, 0), err::kOk);
  EXPECT_EQ(WordAt(std::string(reinterpret_cast<char*>(value), 8), 4), 1u);
  EXPECT_EQ(m_vb->SetValueByPath("/A/B/m", Long(7).data(), 0), err::kOk);
  EXPECT_EQ(m_vb->GetValueByPath("/A/B/none", value, 8, 0), err::kNotFound);
  EXPECT_EQ(m_vb->GetValueByPath("/Q/m", value, 8, 0), err::kNotFound);
  COpenContainer opened(m_vb.get(), m_vb->OpenPath("/A/B", 0));
  EXPECT_EQ(opened->GetLong("m"), 7);
}

TEST_F(ValueBaseTest, AtomsAreSharedPersistentAndNamed) {
  const StoreHandle a = NewChild(m_vb->Root(), "A");
  {
    COpenContainer root(m_vb.get(), m_vb->Root());
    COpenContainer child(m_vb.get(), a);
    ASSERT_EQ(root->SetValue("same", Long(1).data()), err::kOk);
    ASSERT_EQ(child->SetValue("same", Long(2).data()), err::kOk);
    ASSERT_EQ(root->DeleteValue("same"), err::kOk);
    ASSERT_EQ(child->DeleteValue("same"), err::kOk);
    ASSERT_EQ(child->SetValue(std::string(64, 'q'), Long(3).data()), err::kOk);
  }
  EXPECT_EQ(m_vb->AtomOf("A"), 0x1000u);
  EXPECT_EQ(m_vb->AtomOf("same"), 0x1001u);
  EXPECT_EQ(m_vb->NameOfAtom(0x1001), "same");
  EXPECT_EQ(m_vb->NameOfAtom(0x2000), "unknown");
  ASSERT_EQ(m_vb->Flush(), err::kOk);
  Open(false);
  EXPECT_EQ(m_vb->NextAtom(), 0x1003u);
  EXPECT_EQ(m_vb->AtomOf("same"), 0x1001u);
  COpenContainer child(m_vb.get(), m_vb->OpenPath("/A", 0));
  ASSERT_TRUE(child);
  EXPECT_EQ(child->GetLong(std::string(64, 'q')), 3);
  EXPECT_EQ(m_vb->NameOfAtom(0x1002), std::string(64, 'q'));
}

TEST_F(ValueBaseTest, EveryFailedWriteOfAFlushIsReported) {
  ASSERT_EQ(m_vb->Flush(), err::kOk);
  const std::string committed = *m_bytes;
  auto change_and_flush = [&](int fail_write) {
    ReopenWithChildren(committed, 40);
    m_file->plan.fail_write = fail_write;
    return m_vb->Flush();
  };
  ASSERT_EQ(change_and_flush(0), err::kOk);
  const int writes = m_file->plan.writes;
  EXPECT_EQ(m_file->plan.flushes, 1);
  EXPECT_GT(writes, 3);
  for (int n = 1; n <= writes; ++n) {
    EXPECT_EQ(change_and_flush(n), err::kWriteFail) << n;
    EXPECT_EQ(m_file->plan.flushes, 0) << n;
  }
}

// A power cut in the middle of a flush tears the file; whatever is left must
// be refused or read without harm: a tree that passes the check opens every
// container it leads to. Every write of the flush is cut once, and some torn
// files are read rather than refused.
TEST_F(ValueBaseTest, AFlushCutOffAtAnyWriteLeavesAReadableOrRefusedFile) {
  ASSERT_EQ(m_vb->Flush(), err::kOk);
  const std::string committed = *m_bytes;
  constexpr int kMostWrites = 200;
  int cut_runs = 0;
  int read_runs = 0;
  bool finished = false;
  for (int n = 1; n <= kMostWrites; ++n) {
    ReopenWithChildren(committed, 30);
    m_file->plan.cut_write = n;
    m_vb->Flush();
    finished = !m_file->plan.cut;
    m_vb.reset();
    if (finished) break;
    ++cut_runs;
    CMemoryFile file(*m_bytes);  // a copy: the torn file as it was left
    CBFHP store;
    if (store.Open(&file) != err::kOk) continue;
    CObjectCache cache;
    CValueBase vb(&store, &cache);
    if (vb.Init() != err::kOk) continue;
    ++read_runs;
    if (!CheckValueBase(&vb).empty()) continue;
    for (int i = 0; i < 30; ++i) {
      const StoreHandle child = vb.FindPath("/c" + std::to_string(i), 0);
      if (!child) continue;
      EXPECT_TRUE(COpenContainer(&vb, child)) << "cut at " << n << ", c" << i;
    }
  }
  EXPECT_TRUE(finished) << "a flush of more than " << kMostWrites << " writes";
  EXPECT_GT(cut_runs, 3);
  EXPECT_GT(read_runs, 0);
}

}  // namespace
