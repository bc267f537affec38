// The mount table: resolution by longest prefix, ordering, exact unmounting
// and the service entries' answers when nothing matches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fs/file_service.h"

namespace {

// A file system that remembers the last path it was handed.
class CRecordingFS : public CFileService {
 public:
  explicit CRecordingFS(std::string* last) : m_last(last) {}
  bool Exists(const char* path) override {
    *m_last = path;
    return true;
  }
  ErrCode Rename(const char* old_path, const char* new_path) override {
    *m_last = std::string(old_path) + ">" + new_path;
    return err::kOk;
  }

 private:
  std::string* m_last;
};

class FileServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { InitFileService(50); }
  void TearDown() override { ShutdownFileService(); }

  CFileService* Mount(const char* prefix, std::string* last) {
    auto fs = std::make_unique<CRecordingFS>(last);
    CFileService* raw = fs.get();
    RegisterMount(prefix, std::move(fs), 0);
    return raw;
  }
};

}  // namespace

TEST_F(FileServiceTest, LongestPrefixWinsIgnoringCaseAndTheTableStaysSorted) {
  std::string native, hdd, sub, a_upper, a_lower;
  Mount("/HDD/Sub/", &sub);
  Mount("/HDD/", &hdd);
  CFileService* first_a = Mount("/A/", &a_upper);
  Mount("/a/", &a_lower);
  Mount("", &native);
  std::vector<std::string> prefixes;
  for (const auto& mount : Mounts()) prefixes.push_back(mount.prefix);
  // Sorted without regard to case; equal prefixes keep their mount order.
  EXPECT_EQ(prefixes, (std::vector<std::string>{"", "/A/", "/a/", "/HDD/", "/HDD/Sub/"}));
  const char* path = "/hdd/sub/a.bmp";
  EXPECT_EQ(ResolvePath(&path), Mounts()[4].fs.get());
  EXPECT_STREQ(path, "a.bmp");
  path = "/a/x";
  EXPECT_EQ(ResolvePath(&path), first_a);
  EXPECT_TRUE(FsExists("/HDD/x"));
  EXPECT_EQ(hdd, "x");
  // A path matching no prefix goes whole to the native system.
  EXPECT_TRUE(FsExists("/HD/file.txt"));
  EXPECT_EQ(native, "/HD/file.txt");
}

TEST_F(FileServiceTest, RenameStaysInOneFileSystemAndUnmountingNeedsTheExactPrefix) {
  std::string a, b;
  Mount("/A/", &a);
  Mount("/B/", &b);
  EXPECT_EQ(FsRename("/A/x", "/B/y"), err::kNotImplementedYet);
  EXPECT_EQ(a, "");
  EXPECT_EQ(FsRename("/A/x", "/A/y"), err::kOk);
  EXPECT_EQ(a, "x>y");
  for (const char* near : {"/", "/A", "/A/x"}) EXPECT_EQ(UnregisterMount(near), nullptr) << near;
  EXPECT_NE(UnregisterMount("/a/"), nullptr);
  EXPECT_NE(UnregisterMount("/B/"), nullptr);
  EXPECT_TRUE(Mounts().empty());
}

TEST_F(FileServiceTest, EntriesWithoutAFileSystemAnswerAsDocumented) {
  ErrCode error = 12345;
  EXPECT_EQ(FsOpen("/nothing", kOpenRead, &error), nullptr);
  EXPECT_EQ(error, 12345u);
  EXPECT_EQ(FsDelete("/x"), err::kFile);
  EXPECT_EQ(FsRename("/x", "/y"), err::kNotImplementedYet);
  EXPECT_EQ(FsMakeDir("/x", "y"), err::kFile);
  EXPECT_EQ(FsRemoveDir("/x", "y"), err::kFile);
  EXPECT_EQ(FsQuery("/x", kQueryAbsolutePath, nullptr), err::kFile);
  EXPECT_EQ(FsQuery2("/x", 0, 0), err::kFile);
  EXPECT_FALSE(FsExists("/x"));
  FindContext context;
  EXPECT_EQ(FsFindFirst(&context, "/x"), err::kFile);
  EXPECT_EQ(FsFindNext(&context), err::kFile);
  EXPECT_EQ(FsFindClose(&context), err::kFile);
}
