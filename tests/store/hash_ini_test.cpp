#include "store/hash_ini.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "fs/file_service.h"
#include "support/fault_file.h"
#include "support/mem_fs.h"

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

std::unique_ptr<CHashIni> Loaded(const std::string& text) {
  auto ini = std::make_unique<CHashIni>(10, 100);
  EXPECT_EQ(ini->LoadText(text), err::kOk);
  return ini;
}

TEST(HashIniHash, FollowsTheShiftAndAddRule) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"", 0},
      {"a", 0x41414141},
      {"ab", 0x83838383},
      {"ba", 0x83838383},     // letters in any order
      {"abcde", 0x5050504F},  // the accumulator wraps
      {"AbCdE", 0x5050504F},
      {"\xE9", 0xE8E8E8E9},   // bytes count as signed
  };
  for (const auto& [text, hash] : cases) EXPECT_EQ(CHashIni::Hash(text), hash) << text;
}

TEST(HashIni, NamesIgnoreAsciiCaseOnly) {
  const auto ini = Loaded("[Main]\r\nSlow=1\r\n[ Pad ]\r\n[\xE9t\xE9]\r\nk=2\r\n");
  EXPECT_STREQ(ini->GetString("main", "SLOW"), "1");
  ASSERT_NE(ini->FindSection(" pad "), nullptr);  // blanks belong to the name
  EXPECT_EQ(ini->FindSection("Pad"), nullptr);
  EXPECT_STREQ(ini->GetString("\xE9T\xE9", "K"), "2");
  EXPECT_EQ(ini->FindSection("\xC9T\xC9"), nullptr);
  EXPECT_EQ(ini->GetString("Main", "Fast"), nullptr);
  EXPECT_EQ(ini->GetString("Other", "Slow"), nullptr);
}

TEST(HashIni, LaterDuplicatesWinAndAllAreWritten) {
  auto ini = Loaded("[S]\nX=1\nX=2\n[A]\nk=1\n[a]\nk=2\n");
  EXPECT_STREQ(ini->GetString("S", "x"), "2");
  EXPECT_STREQ(ini->GetString("A", "k"), "2");
  ASSERT_EQ(ini->SetString("S", "X", "3"), err::kOk);
  EXPECT_EQ(ini->Text(), "[S]\r\nX=1\r\nX=3\r\n\r\n[A]\r\nk=1\r\n\r\n[a]\r\nk=2\r\n\r\n");
  ASSERT_EQ(ini->DeleteKey("S", "X"), err::kOk);
  EXPECT_STREQ(ini->GetString("S", "X"), "1");
  ASSERT_EQ(ini->DeleteSection("A"), err::kOk);
  EXPECT_STREQ(ini->GetString("A", "k"), "1");
  EXPECT_EQ(ini->Text(), "[S]\r\nX=1\r\n\r\n[A]\r\nk=1\r\n\r\n");
}

TEST(HashIni, SingleBucketTablesChainEverything) {
  CHashIni ini(1, 1);
  for (int s = 0; s < 20; ++s)
    for (int k = 0; k < 20; ++k)
      ASSERT_EQ(ini.SetInt(("s" + std::to_string(s)).c_str(),
                           ("k" + std::to_string(k)).c_str(), s * 100 + k),
                err::kOk);
  ASSERT_EQ(ini.DeleteKey("s7", "k7"), err::kOk);
  ASSERT_EQ(ini.DeleteSection("s3"), err::kOk);
  int32_t value = -1;
  EXPECT_EQ(ini.GetInt("s7", "k7", &value), err::kNotFound);
  EXPECT_EQ(ini.FindSection("s3"), nullptr);
  EXPECT_EQ(ini.GetInt("s7", "k8", &value), err::kOk);
  EXPECT_EQ(value, 708);
  EXPECT_EQ(ini.GetInt("s19", "k0", &value), err::kOk);
  EXPECT_EQ(value, 1900);
}

TEST(HashIniText, ReaderSplitsAndWriterNormalises) {
  const auto ini = Loaded(
      "lead=dropped\r\n[Main] ;top\r\n; a note\r\nk = v ; note\r\n\r\n\n\r  \t \r\n"
      "B\r\nC=2;c\r\n=dropped\r\n[unclosed\r\n[a=b]\r\n[x]=v\r\n[]\n");
  EXPECT_STREQ(ini->FindSection("Main")->comment, "top");
  EXPECT_STREQ(ini->FindKey("Main", "k")->comment, " note");
  EXPECT_STREQ(ini->GetString("Main", "k"), "v");
  EXPECT_STREQ(ini->GetString("Main", "[a"), "b]");
  EXPECT_EQ(ini->Text(),
            "[Main] ;top\r\n; a note\r\nk=v ; note\r\nB=\r\nC=2 ;c\r\n[unclosed=\r\n"
            "[a=b]\r\n\r\n[x]\r\n\r\n[]\r\n\r\n");
  EXPECT_EQ(Loaded("no sections at all\r\n")->Text(), "");
}

// A line is cut at 1023 characters, its rest read as the next line; a NUL
// ends a line's text.
TEST(HashIniText, LongLinesAreCutAt1023AndBinaryBytesDoNoHarm) {
  const std::string value(1021, 'v');
  EXPECT_EQ(Loaded("[S]\nk=" + value + "\n")->GetString("S", "k"), value);
  const auto cut = Loaded("[S]\nk=" + value + "X=1\n");
  EXPECT_EQ(cut->GetString("S", "k"), value);
  EXPECT_STREQ(cut->GetString("S", "X"), "1");
  const char bytes[] = "[S]\nk=ab\0cd\n\x01\xFF=\x7F\n[\0]\n";
  const auto ini = Loaded(std::string(bytes, sizeof bytes - 1));
  EXPECT_STREQ(ini->GetString("S", "k"), "ab");
  EXPECT_STREQ(ini->GetString("S", "\x01\xFF"), "\x7F");
  EXPECT_EQ(ini->FindSection(""), nullptr);  // "[" ends at the NUL: a key
}

TEST(HashIniGetters, StringCopyBounds) {
  const auto ini = Loaded("[S]\nv=abcdef\n");
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(ini->GetStringCopy("S", "v", buffer, 4), err::kOk);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], '#');
  EXPECT_EQ(ini->GetStringCopy("S", "v", buffer, 7), err::kOk);
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(ini->GetStringCopy("S", "v", buffer, CHashIni::kCopyWhole), err::kOk);
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(ini->GetStringCopy("S", "w", buffer, 8), err::kNotFound);
  EXPECT_EQ(ini->GetStringCopy("S", "v", nullptr, 8), err::kUnknownError);
  EXPECT_EQ(ini->GetStringCopy("S", "v", buffer, 0), err::kUnknownError);
}

TEST(HashIniGetters, Integers) {
  CHashIni ini(1, 16);
  struct SCase {
    const char* text;
    ErrCode result;
    int32_t value;
  };
  const SCase cases[] = {
      {"  -0x1F", err::kOk, -31},   {"12 ", err::kInvalidFormat, 12},
      {"0X1F", err::kInvalidFormat, 0}, {"", err::kOk, 0},
      {"+42", err::kOk, 42},         {"0xfF", err::kOk, 255},
      {"-", err::kOk, 0},            {"4294967295", err::kOk, -1},
      {"0x12g4", err::kInvalidFormat, 0x12}, {"- 5", err::kInvalidFormat, 0},
  };
  for (const SCase& c : cases) {
    ASSERT_EQ(ini.SetString("S", "n", c.text), err::kOk);
    int32_t value = 777;
    EXPECT_EQ(ini.GetInt("S", "n", &value), c.result) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  int32_t untouched = 777;
  EXPECT_EQ(ini.GetInt("S", "missing", &untouched), err::kNotFound);
  EXPECT_EQ(untouched, 777);
}

TEST(HashIniGetters, PointsRectsAndColours) {
  auto ini = Loaded(
      "[S]\np=3 px, -4 px\nbig=70000,0\nshort=10\nr=1,2,3,4\nwh=10, 20, 100, 50\n"
      "r3=1,2,3\nc=255, 0, 128\n");
  using Ints = std::vector<int>;
  TPoint point{};
  EXPECT_EQ(ini->GetPoint("S", "p", &point), err::kOk);
  EXPECT_EQ((Ints{point.x, point.y}), (Ints{3, -4}));
  EXPECT_EQ(ini->GetPoint("S", "big", &point), err::kOk);
  EXPECT_EQ(point.x, 4464);  // 70000 - 65536
  point = TPoint{9, 9};
  EXPECT_EQ(ini->GetPoint("S", "short", &point), err::kInvalidFormat);
  EXPECT_EQ(point.x, 9);
  EXPECT_EQ(ini->GetPoint("S", "none", &point), err::kNotFound);
  TRect rect{};
  const auto sides = [&] { return Ints{rect.left, rect.top, rect.right, rect.bottom}; };
  EXPECT_EQ(ini->GetRect("S", "r", &rect), err::kOk);
  EXPECT_EQ(sides(), (Ints{1, 2, 3, 4}));
  EXPECT_EQ(ini->GetRectWH("S", "wh", &rect), err::kOk);
  EXPECT_EQ(sides(), (Ints{10, 20, 109, 69}));
  EXPECT_EQ(ini->GetRect("S", "r3", &rect), err::kInvalidFormat);
  uint8_t colour[4] = {9, 9, 9, 9};
  EXPECT_EQ(ini->GetColor("S", "c", colour), err::kOk);
  EXPECT_EQ((Ints{colour[0], colour[1], colour[2], colour[3]}), (Ints{128, 0, 255, 0}));
}

TEST(HashIniGetters, ParsedValuesStopAt127Characters) {
  CHashIni ini(1, 16);
  ASSERT_EQ(ini.SetString("S", "p", (std::string(125, ' ') + "5, 6").c_str()), err::kOk);
  ASSERT_EQ(ini.SetString("S", "q", (std::string(127, ' ') + ",1").c_str()), err::kOk);
  ASSERT_EQ(ini.SetString("S", "f", (std::string(126, ' ') + "AB").c_str()), err::kOk);
  TPoint point{};
  EXPECT_EQ(ini.GetPoint("S", "p", &point), err::kOk);
  EXPECT_EQ(point.x, 5);
  EXPECT_EQ(point.y, 0);  // the 6 lies past the cut
  EXPECT_EQ(ini.GetPoint("S", "q", &point), err::kInvalidFormat);
  const SIniFlag table[] = {{"AB", 1}, {"A", 2}, {nullptr, 0}};
  uint32_t flags = 0;
  EXPECT_EQ(ini.GetFlags("S", "f", table, &flags), err::kOk);
  EXPECT_EQ(flags, 2u);  // only "A" is left after the cut
  EXPECT_EQ(std::strlen(ini.GetString("S", "p")), 129u);
}

TEST(HashIniGetters, Flags) {
  const auto ini = Loaded(
      "[S]\nboth=HIDDEN, TRANSPARENT\nbad=HIDDEN, "
      "BOGUS\nx=HIDDENX\nempty=\nlower=hidden\n"
      "short=HID\ntail=HIDDEN,\nnamed=door, 5, TRANSPARENT\nplain=door, -7\nnoname=door\n"
      "badflag=door, 5, NOPE\n");
  const SIniFlag table[] = {{"HIDDEN", 1}, {"TRANSPARENT", 2}, {nullptr, 0}};
  uint32_t flags = 0x80;
  EXPECT_EQ(ini->GetFlags("S", "both", table, &flags), err::kOk);
  EXPECT_EQ(flags, 3u);
  flags = 0x80;
  for (const char* key : {"bad", "empty", "lower", "short", "tail"}) {
    EXPECT_EQ(ini->GetFlags("S", key, table, &flags), err::kNotInList) << key;
    EXPECT_EQ(flags, 0x80u) << key;
  }
  EXPECT_EQ(ini->GetFlags("S", "x", table, &flags), err::kOk);
  EXPECT_EQ(flags, 1u);
  const SIniFlag ordered[] = {{"HID", 4}, {"HIDDEN", 1}, {nullptr, 0}};
  EXPECT_EQ(ini->GetFlags("S", "x", ordered, &flags), err::kOk);
  EXPECT_EQ(flags, 4u);

  char name[8];
  int32_t number = 0;
  EXPECT_EQ(ini->GetNamedFlags("S", "named", table, name, sizeof name, &number, &flags),
            err::kOk);
  EXPECT_STREQ(name, "door");
  EXPECT_EQ(number, 5);
  EXPECT_EQ(flags, 2u);
  EXPECT_EQ(ini->GetNamedFlags("S", "plain", table, name, 3, &number, &flags), err::kOk);
  EXPECT_STREQ(name, "do");
  EXPECT_EQ(number, -7);
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(ini->GetNamedFlags("S", "noname", table, name, 8, &number, &flags),
            err::kInvalidFormat);
  EXPECT_EQ(ini->GetNamedFlags("S", "badflag", table, name, 8, &number, &flags),
            err::kNotInList);
}

TEST(HashIniEdits, SetAddDeleteKeepOrder) {
  auto ini = Loaded("[S]\na=1 ;c\nb=2\n");
  ASSERT_EQ(ini->SetString("s", "A", "9"), err::kOk);
  ASSERT_EQ(ini->SetInt("S", "z", -5), err::kOk);
  ASSERT_EQ(ini->SetString("New", "k", "v"), err::kOk);
  ASSERT_EQ(ini->AddKey("S", "m", "3", "", ini->FindKey("S", "b")), err::kOk);
  ASSERT_EQ(ini->AddKey("S", "", "", "remark", nullptr), err::kOk);
  EXPECT_EQ(ini->AddKey("New", "q", "1", "", ini->FindKey("S", "b")), err::kBadParams);
  EXPECT_EQ(ini->SetString("S", "", "v"), err::kBadParams);
  EXPECT_EQ(ini->FindKey("S", ""), nullptr);
  EXPECT_EQ(ini->Text(),
            "[S]\r\na=9 ;c\r\nm=3\r\nb=2\r\nz=-5\r\n;remark\r\n\r\n[New]\r\nk=v\r\n\r\n");
  EXPECT_EQ(SectionEntries(*ini, "s"),
            (Entries{{"a", "9"}, {"m", "3"}, {"b", "2"}, {"z", "-5"}}));
  EXPECT_TRUE(SectionEntries(*ini, "none").empty());
  EXPECT_EQ(ini->DeleteKey("S", "nothing"), err::kNotFound);
  EXPECT_EQ(ini->DeleteSection("nothing"), err::kNotFound);
  ASSERT_EQ(ini->DeleteSection("S"), err::kOk);
  EXPECT_EQ(ini->Text(), "[New]\r\nk=v\r\n\r\n");
  ini->Clear();
  EXPECT_EQ(ini->FirstSection(), nullptr);
  EXPECT_EQ(ini->Text(), "");
}

// Counts blocks and can refuse them; tells when it is destroyed.
class CCountingPool : public CPtrPool {
 public:
  CCountingPool(int allow, bool* destroyed) : m_allow(allow), m_destroyed(destroyed) {}
  ~CCountingPool() override {
    if (m_destroyed) *m_destroyed = true;
  }
  void* Allocate(size_t size) override {
    if (m_allow-- <= 0) return nullptr;
    ++live;
    return CPtrPool::Allocate(size);
  }
  void Free(void* block) override {
    --live;
    CPtrPool::Free(block);
  }
  int live = 0;

 private:
  int m_allow;
  bool* m_destroyed;
};

TEST(HashIniAllocator, RecordsComeFromThePoolAndFailureKeepsWhatWasRead) {
  CCountingPool pool(4, nullptr);
  {
    CHashIni ini(10, 100, &pool, false);
    EXPECT_EQ(ini.LoadText("[A]\na=1\nb=2\n[B]\nc=3\n"), err::kAllocFail);
    EXPECT_EQ(pool.live, 4);
    EXPECT_EQ(ini.Text(), "[A]\r\na=1\r\nb=2\r\n\r\n[B]\r\n\r\n");
    EXPECT_EQ(ini.SetString("A", "a", "5"), err::kAllocFail);
    EXPECT_STREQ(ini.GetString("A", "a"), "1");
  }
  EXPECT_EQ(pool.live, 0);
  bool destroyed = false;
  { CHashIni owner(1, 1, new CCountingPool(10, &destroyed), true); }
  EXPECT_TRUE(destroyed);
}

class HashIniFiles : public CMemFsTest {};

TEST_F(HashIniFiles, LoadsAndSavesThroughTheFileServiceAndFailuresLeaveClearState) {
  // The key line straddles the 4096-byte read block.
  std::string text = "[S]\r\n";
  for (int i = 0; i < 8; ++i) text += ";" + std::string(508, 'x') + "\r\n";
  text += "key=value\r\n";
  Put("in.ini", text);
  CHashIni ini(10, 100);
  ASSERT_EQ(ini.Load("/MEM/in.ini"), err::kOk);
  EXPECT_EQ(m_fs->LastOpenMode(), 0xC1);
  EXPECT_STREQ(ini.GetString("S", "key"), "value");
  ASSERT_EQ(ini.Save("/mem/out.ini"), err::kOk);
  EXPECT_EQ(m_fs->LastOpenMode(), 0x1E);
  EXPECT_EQ(Get("out.ini"), text + "\r\n");
  EXPECT_FALSE(m_fs->Exists("out.ini.new"));
  EXPECT_EQ(ini.Save("/elsewhere/out.ini"), err::kFile);
  EXPECT_EQ(ini.Load("/mem/missing.ini"), err::kFileNotFound);
  EXPECT_EQ(ini.FirstSection(), nullptr);
  EXPECT_EQ(ini.Load("/nowhere/a.ini"), err::kFile);
  EXPECT_EQ(ini.Load(static_cast<CFile*>(nullptr)), err::kBadParams);

  SMemFileData& broken = m_fs->File("broken.ini");
  broken.bytes = "[S]\nk=1\n" + std::string(5000, 'z');
  broken.fail_reads_at = 4096;
  EXPECT_EQ(ini.Load("/mem/broken.ini"), err::kReadFail);
  EXPECT_STREQ(ini.GetString("S", "k"), "1");

  CHashIni empty(1, 1);
  Put("e.ini", "old");
  ASSERT_EQ(empty.Save("/mem/e.ini"), err::kOk);
  EXPECT_EQ(Get("e.ini"), "");
}

// A save that fails at its write, at either flush or at the rename leaves the
// old file whole, or the new one once renamed; the next load finds no copy.
TEST_F(HashIniFiles, AFailingSaveLeavesTheOldFileOrTheNew) {
  auto plan = std::make_shared<SFaultPlan>();
  auto inner = std::make_unique<CMemFileService>();
  CMemFileService* files = inner.get();
  RegisterMount("/faulty/", std::make_unique<CFaultFileService>(std::move(inner), plan), 0);
  const std::string old_text = "[main]\r\nold=1\r\n\r\n";
  CHashIni ini(10, 100);
  ASSERT_EQ(ini.LoadText("[main]\nnew=2\n"), err::kOk);
  const struct {
    int SFaultPlan::*strike;
    int number;
    ErrCode error;
    const char* after;
  } cases[] = {
      {nullptr, 0, err::kOk, "[main]\r\nnew=2\r\n\r\n"},
      {&SFaultPlan::fail_write, 1, err::kWriteFail, "[main]\r\nold=1\r\n\r\n"},
      {&SFaultPlan::fail_flush, 1, err::kFlushFail, "[main]\r\nold=1\r\n\r\n"},
      {&SFaultPlan::fail_rename, 1, err::kFile, "[main]\r\nold=1\r\n\r\n"},
      {&SFaultPlan::fail_flush, 2, err::kFlushFail, "[main]\r\nnew=2\r\n\r\n"},
  };
  for (const auto& c : cases) {
    files->File("Tool.ini").bytes = old_text;
    *plan = SFaultPlan{};
    if (c.strike) (*plan).*c.strike = c.number;
    EXPECT_EQ(ini.Save("/faulty/Tool.ini"), c.error) << c.number;
    EXPECT_EQ(files->File("Tool.ini").bytes, c.after) << c.number;
    files->File("Tool.ini.new").bytes = "torn";  // as if the program had died
    CHashIni next(10, 100);
    EXPECT_EQ(next.Load("/faulty/Tool.ini"), err::kOk);
    EXPECT_FALSE(files->Exists("Tool.ini.new")) << c.number;
  }
}

}  // namespace
