#include "fs/hpfs.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "fs/file_service.h"
#include "fs/mount_config.h"
#include "support/mem_fs.h"

namespace {

class HpfsTest : public CMemFsTest {
 protected:
  void SetUp() override {
    CMemFsTest::SetUp();
    std::unique_ptr<CFile> file = FsOpen("/mem/d.prj", 0xCF, nullptr);
    CBFHP store;
    ASSERT_EQ(store.Create(file.get(), 256, CBFHP::kNoLimit), err::kOk);
    ASSERT_EQ(store.Commit(), err::kOk);
    ASSERT_EQ(MountFromConfig({{"/data/", "HPFS, /mem/d.prj"}}), err::kOk);
  }
  void TearDown() override {
    UnmountFromConfig({{"/data/", "HPFS, /mem/d.prj"}});
    CMemFsTest::TearDown();
  }
  static std::string ReadAll(const char* path) {
    ErrCode error = err::kOk;
    std::unique_ptr<CFile> file = FsOpen(path, 0x41, &error);
    if (!file) return ErrName(error);
    std::string bytes(file->GetSize(), '\0');
    file->Read(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
    return bytes;
  }
  static void WriteAll(const char* path, const std::string& bytes) {
    ErrCode error = err::kOk;
    std::unique_ptr<CFile> file = FsOpen(path, 0x0F, &error);
    ASSERT_NE(file, nullptr) << ErrName(error);
    ASSERT_EQ(file->Write(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr), err::kOk);
  }
  static std::set<std::string> List(const char* folder) {
    std::set<std::string> names;
    FindContext context;
    for (ErrCode e = FsFindFirst(&context, folder); e == err::kOk; e = FsFindNext(&context))
      names.insert(std::string(context.name) + (context.attributes & kAttrDirectory ? "/" : ""));
    FsFindClose(&context);
    return names;
  }
};

TEST_F(HpfsTest, FilesAndFoldersLiveInTheStoreAcrossMounts) {
  EXPECT_EQ(FsOpen("/data/a/b.txt", 0x0F, nullptr), nullptr);
  ASSERT_EQ(FsMakeDir("/data/", "Rooms"), err::kOk);
  EXPECT_EQ(FsMakeDir("/data/", "rooms"), err::kAlreadyExists);
  WriteAll("/data/Rooms/one.txt", std::string(700, '1'));
  WriteAll("/data/top.txt", "top");
  EXPECT_TRUE(FsExists("/data/ROOMS/ONE.TXT"));
  EXPECT_FALSE(FsExists("/data/Rooms"));
  EXPECT_EQ(ReadAll("/data/rooms\\one.txt"), std::string(700, '1'));
  EXPECT_EQ(List("/data/"), (std::set<std::string>{"Rooms/", "top.txt"}));
  ErrCode error = err::kOk;
  EXPECT_EQ(FsOpen("/data/top.txt", 0x07, &error), nullptr);
  EXPECT_EQ(error, err::kFileExist);
  EXPECT_EQ(FsOpen("/data/none.txt", 0x01, &error), nullptr);
  EXPECT_EQ(error, err::kFileNotFound);

  UnmountFromConfig({{"/data/", "HPFS, /mem/d.prj"}});
  EXPECT_EQ(Get("d.prj").substr(0, 4), "HPFS");
  ASSERT_EQ(MountFromConfig({{"/data/", "HPFS, /mem/d.prj"}}), err::kOk);
  EXPECT_EQ(ReadAll("/data/Rooms/one.txt"), std::string(700, '1'));
  EXPECT_EQ(FsRemoveDir("/data/", "Rooms"), err::kAccessDenied);
  ASSERT_EQ(FsDelete("/data/Rooms/one.txt"), err::kOk);
  ASSERT_EQ(FsRemoveDir("/data/", "Rooms"), err::kOk);
  EXPECT_EQ(List("/data/"), (std::set<std::string>{"top.txt"}));
  WriteAll("/data/top.txt", "x");  // create or truncate
  EXPECT_EQ(ReadAll("/data/top.txt"), "x");
}

TEST_F(HpfsTest, SharingBitsDecideWhoMayOpenTogether) {
  WriteAll("/data/f", "f");
  const struct {
    uint16_t first, second;
    bool allowed;
  } cases[] = {
      {0x41, 0x41, true},   {0x01, 0x41, false}, {0x41, 0x01, false},
      {0xC3, 0xC3, true},   {0x43, 0x41, false}, {0xC1, 0x43, true},
      {0x41, 0x03, false},  {0xC1, 0x02, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + " " + std::to_string(c.second));
    std::unique_ptr<CFile> first = FsOpen("/data/f", c.first, nullptr);
    ASSERT_NE(first, nullptr);
    ErrCode error = err::kOk;
    std::unique_ptr<CFile> second = FsOpen("/data/f", c.second, &error);
    EXPECT_EQ(second != nullptr, c.allowed);
    if (!c.allowed) {
      EXPECT_EQ(error, err::kSharing);
      EXPECT_EQ(FsDelete("/data/f"), err::kSharing);
    }
  }
  std::unique_ptr<CFile> again = FsOpen("/data/f", 0x01, nullptr);
  EXPECT_NE(again, nullptr);
}

TEST_F(HpfsTest, OtherMagicsAreSkippedAndMissingFilesFail) {
  Put("plain.bin", "PLAINDATA");
  EXPECT_EQ(MountFromConfig({{"/plain/", "HPFS, /mem/plain.bin"}}), err::kOk);
  EXPECT_EQ(MountFromConfig({{"/gone/", "HPFS, /mem/gone.prj"}}), err::kFileNotFound);
  for (const MountEntry& entry : Mounts()) {
    EXPECT_NE(entry.prefix, "/plain/");
    EXPECT_NE(entry.prefix, "/gone/");
  }
}

}  // namespace
