// Mounting the file-system section of the configuration.
#include <gtest/gtest.h>

#include "fs/drives.h"
#include "fs/file_service.h"
#include "fs/mount_config.h"
#include "fs/native_fs.h"
#include "fs/trans_fs.h"
#include "support/temp_dir.h"

class MountConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MountNativeFileSystem();
    SDirectories directories{m_dir.Path(), "/tmp/", "/"};
    ScanDrives(directories, {});
  }
  void TearDown() override { ShutdownFileService(); }

  static const CTransFS* TransAt(const char* prefix) {
    const char* path = prefix;
    return KindOf<CTransFS>(ResolvePath(&path));
  }

  CTempDir m_dir;
};

TEST_F(MountConfigTest, KindsMatchIgnoringCaseWithOptionalSeparators) {
  ConfigEntries entries = {{"/A/", "Trans, /a/"},
                           {"/B/", "TRANS/b/"},
                           {"/C/", "trans \t,\t /c/"},
                           {"/D/", "Trans  /d/"}};
  ASSERT_EQ(MountFromConfig(entries), err::kOk);
  EXPECT_EQ(TransAt("/A/")->Prefix(), "/a/");
  EXPECT_EQ(TransAt("/B/")->Prefix(), "/b/");
  EXPECT_EQ(TransAt("/C/")->Prefix(), "/c/");
  EXPECT_EQ(TransAt("/D/")->Prefix(), "/d/");
}

TEST_F(MountConfigTest, RelativeTransArgumentsStartAtTheExecutablesDirectory) {
  m_dir.WriteFile("data/f.txt", "f");
  ASSERT_EQ(MountFromConfig({{"/HDD/", "Trans, ./data/"}}), err::kOk);
  EXPECT_EQ(TransAt("/HDD/")->Prefix(), m_dir.Path() + "./data/");
  EXPECT_TRUE(FsExists("/HDD/F.TXT"));
}

TEST_F(MountConfigTest, UnknownKindsAndEmptyKeysAreIgnored) {
  const size_t before = Mounts().size();
  ASSERT_EQ(MountFromConfig({{"/X/", "Floppy, /x/"}, {"", "Trans, /y/"}}), err::kOk);
  EXPECT_EQ(Mounts().size(), before);
}

TEST_F(MountConfigTest, AFailingEntryDoesNotStopTheOthers) {
  ShutdownFileService();
  InitFileService(50);
  ASSERT_EQ(MountTrans("/HDD/", "x"), err::kNotFound);
  RegisterMount("/N/", std::make_unique<CWinFileService>(), 0);
  EXPECT_EQ(MountFromConfig({{"/A/", "Trans, /nowhere/"},
                             {"/B/", "Trans, /N/b/"}}),
            err::kNotFound);
  EXPECT_EQ(TransAt("/A/"), nullptr);
  ASSERT_NE(TransAt("/B/"), nullptr);
  EXPECT_EQ(TransAt("/B/")->Prefix(), "b/");
}

TEST_F(MountConfigTest, UnmountingRemovesExactlyWhatWasMounted) {
  const ConfigEntries entries = {{"/HDD/", "Trans, /"}, {"/W/", "Trans, /w/"}};
  ASSERT_EQ(MountFromConfig(entries), err::kOk);
  EXPECT_EQ(UnmountFromConfig(entries), err::kOk);
  EXPECT_EQ(TransAt("/HDD/"), nullptr);
  EXPECT_EQ(TransAt("/W/"), nullptr);
  EXPECT_EQ(Mounts().size(), 1u);
  EXPECT_EQ(UnmountFromConfig({{"/Q/", "Trans, /"}}), err::kNotFound);
}
