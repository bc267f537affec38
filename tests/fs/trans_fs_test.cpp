// Translators: prefixes are concatenated, targets are found by the mount
// rule, and a translator never owns its target.
#include <gtest/gtest.h>

#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "fs/replace.h"
#include "fs/trans_fs.h"
#include "support/temp_dir.h"

class TransFSTest : public ::testing::Test {
 protected:
  void SetUp() override { MountNativeFileSystem(); }
  void TearDown() override { ShutdownFileService(); }
  CTempDir m_dir;
};

TEST_F(TransFSTest, PathsAreThePrefixFollowedByTheRest) {
  CTransFS trans("abc/", nullptr);
  EXPECT_EQ(trans.Translate("x.bmp"), "abc/x.bmp");
  CTransFS bare("abc", nullptr);
  EXPECT_EQ(bare.Translate("x.bmp"), "abcx.bmp");
}

TEST_F(TransFSTest, MountedTranslatorReachesTheNativeFiles) {
  m_dir.WriteFile("data/a.txt", "alpha");
  ASSERT_EQ(MountTrans("/HDD/", m_dir.Join("data/").c_str()), err::kOk);
  ErrCode error = 0;
  std::unique_ptr<CFile> file = FsOpen("/hdd/A.TXT", kOpenRead, &error);
  ASSERT_NE(file, nullptr) << ErrName(error);
  char bytes[5];
  ASSERT_EQ(file->Read(bytes, 5, nullptr), err::kOk);
  EXPECT_EQ(std::string(bytes, 5), "alpha");
  EXPECT_TRUE(FsExists("/HDD/a.txt"));
  EXPECT_EQ(FsMakeDir("/HDD/", "sub"), err::kOk);
  EXPECT_TRUE(m_dir.Exists("data/sub"));
}

TEST_F(TransFSTest, TranslatorsChainAndUnmountingOneLeavesItsTarget) {
  m_dir.WriteFile("w/x/f.txt", "f");
  ASSERT_EQ(MountTrans("/HDD/", m_dir.Join("w/").c_str()), err::kOk);
  ASSERT_EQ(MountTrans("/X/", "/HDD/x/"), err::kOk);
  EXPECT_TRUE(FsExists("/X/f.txt"));
  const char* path = "/X/f.txt";
  auto* outer = KindOf<CTransFS>(ResolvePath(&path));
  ASSERT_NE(outer, nullptr);
  EXPECT_EQ(outer->Prefix(), "x/");
  EXPECT_NE(KindOf<CTransFS>(outer->Target()), nullptr);
  EXPECT_NE(UnregisterMount("/X/"), nullptr);
  EXPECT_TRUE(FsExists("/HDD/x/f.txt"));
}

TEST_F(TransFSTest, AFileIsReplacedWholeThroughATranslator) {
  m_dir.WriteFile("out/a.txt", "old");
  ASSERT_EQ(MountTrans("/out/", m_dir.Join("out/").c_str()), err::kOk);
  EXPECT_EQ(ReplaceFileContents("/out/a.txt", "new"), err::kOk);
  EXPECT_EQ(m_dir.ReadFile("out/a.txt"), "new");
  EXPECT_FALSE(m_dir.Exists("out/a.txt.new"));
}
