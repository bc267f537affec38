// The native file system: modes, sharing between our own opens, error codes,
// case-insensitive resolution, listings and queries.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "fs/native_fs.h"
#include "support/temp_dir.h"

class NativeFSTest : public ::testing::Test {
 protected:
  std::unique_ptr<CFile> Open(const std::string& name, uint16_t mode,
                              ErrCode* error = nullptr) {
    return m_fs.Open(m_dir.Join(name).c_str(), mode, error);
  }
  ErrCode OpenError(const std::string& name, uint16_t mode) {
    ErrCode error = 0;
    EXPECT_EQ(Open(name, mode, &error), nullptr);
    return error;
  }

  CWinFileService m_fs;
  CTempDir m_dir;
};

// Each case starts from the files a.txt ("old"), plain ("x") and sub/f.
TEST_F(NativeFSTest, OpenModesAndTheirErrors) {
  const struct {
    const char* name;
    uint16_t mode;
    ErrCode error;      // kOk: the open succeeds
    const char* after;  // a.txt afterwards
  } cases[] = {
      {"a.txt", kOpenRead | kOpenWrite | kOpenCreate, err::kFileExist, "old"},
      {"b.txt", kOpenRead | kOpenWrite | kOpenCreate, err::kOk, "old"},
      {"a.txt", kOpenRead | kOpenTruncate, err::kOk, "old"},  // truncate alone changes nothing
      {"A.TXT", kOpenWrite | kOpenCreate | kOpenTruncate, err::kOk, ""},
      {"missing.txt", kOpenRead | kOpenTruncate, err::kFileNotFound, "old"},
      {"none.txt", kOpenRead, err::kFileNotFound, "old"},
      {"nodir/none.txt", kOpenRead, err::kPathNotFound, "old"},
      {"nodir/new.txt", kOpenWrite | kOpenCreate | kOpenTruncate, err::kPathNotFound, "old"},
      {"plain/inside.txt", kOpenRead, err::kPathNotFound, "old"},
      {"sub", kOpenRead, err::kAccessDenied, "old"},
      {"sub/f", kOpenShareRead, err::kBadOpenMode, "old"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CTempDir dir;
    dir.WriteFile("a.txt", "old");
    dir.WriteFile("plain", "x");
    dir.WriteFile("sub/f", "x");
    ErrCode error = 0;
    const bool opened = m_fs.Open(dir.Join(c.name).c_str(), c.mode, &error) != nullptr;
    EXPECT_EQ(opened ? err::kOk : error, c.error);
    EXPECT_EQ(dir.ReadFile("a.txt"), c.after);
    // "A.TXT" resolves to a.txt rather than making a second file.
    if (opened) {
      EXPECT_NE(dir.Exists(c.name), c.name[0] == 'A');
    }
  }
}

TEST_F(NativeFSTest, SeekTellTruncateShortReadsAndTheNativeHandle) {
  auto file = Open("t.bin", 0x0F);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->StateWord(), 1);
  ASSERT_EQ(file->Write("abcdefgh", 8, nullptr), err::kOk);
  ASSERT_EQ(file->Seek(-3, kSeekEnd), err::kOk);
  EXPECT_EQ(file->Tell(), 5u);
  ASSERT_EQ(file->Truncate(), err::kOk);
  EXPECT_EQ(file->GetSize(), 5u);
  ASSERT_EQ(file->Seek(-2, kSeekCur), err::kOk);
  EXPECT_EQ(file->Tell(), 3u);
  EXPECT_EQ(file->Seek(0, 7), err::kSeekFail);
  // A short read answers EOF with the count read.
  char bytes[8];
  uint32_t count = 99;
  EXPECT_EQ(file->ReadAt(bytes, 2, 8, &count), err::kEof);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(std::string(bytes, 3), "cde");
  EXPECT_EQ(file->Tell(), 5u);
  uint32_t handle = 0;
  EXPECT_EQ(file->GetProperty(kPropertyNativeHandle, &handle, 0), err::kOk);
  EXPECT_GT(handle, 2u);
  EXPECT_EQ(file->Flush(), err::kOk);
}

// Our own opens of one file share it as their modes allow.
TEST_F(NativeFSTest, SharingBetweenOpens) {
  const uint16_t kShared = kOpenRead | kOpenShareRead;
  const uint16_t kFully = kOpenRead | kOpenWrite | kOpenShareRead | kOpenShareWrite;
  const struct {
    uint16_t first;
    uint16_t second;
    uint16_t refused;
  } cases[] = {
      {kOpenRead, 0, kShared},                        // exclusive: nobody else
      {kOpenRead, 0, kFully},
      {kShared, kShared, kOpenRead | kOpenWrite | kOpenCreate | kOpenTruncate},
      {kFully, kFully, kOpenRead | kOpenWrite},
  };
  m_dir.WriteFile("x", "data");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.refused);
    auto first = Open("x", c.first);
    auto second = c.second ? Open("x", c.second) : nullptr;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(c.second != 0, second != nullptr);
    // Refused before it could truncate what the others read.
    EXPECT_EQ(OpenError("x", c.refused), err::kSharing);
    EXPECT_EQ(m_dir.ReadFile("x"), "data");
  }
  EXPECT_NE(Open("x", kShared), nullptr);
}

TEST_F(NativeFSTest, NamesResolveIgnoringCaseComponentByComponent) {
  m_dir.WriteFile("Anim/Intro/X.bmp", "bmp");
  auto file = Open("anim/INTRO/x.BMP", kOpenRead);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->GetSize(), 3u);
  EXPECT_TRUE(m_fs.Exists(m_dir.Join("ANIM\\intro\\x.bmp").c_str()));
  EXPECT_FALSE(m_fs.Exists(m_dir.Join("anim").c_str()));
  EXPECT_EQ(ResolveNativePath(m_dir.Join("anim\\intro\\new.bmp").c_str()),
            m_dir.Join("Anim/Intro/new.bmp"));
}

// Renaming over a file replaces the one whose name matches ignoring case,
// which keeps its name on disk; a plain rename never replaces.
TEST_F(NativeFSTest, DeleteRenameAndRenameOver) {
  m_dir.WriteFile("a", "1");
  m_dir.WriteFile("b", "2");
  EXPECT_EQ(m_fs.Rename(m_dir.Join("a").c_str(), m_dir.Join("B").c_str()), err::kAlreadyExists);
  EXPECT_EQ(m_fs.Rename(m_dir.Join("A").c_str(), m_dir.Join("c").c_str()), err::kOk);
  EXPECT_EQ(m_dir.ReadFile("c"), "1");
  EXPECT_EQ(m_fs.Delete(m_dir.Join("B").c_str()), err::kOk);
  EXPECT_EQ(m_fs.Delete(m_dir.Join("b").c_str()), err::kFileNotFound);
  m_dir.WriteFile("Tool.ini", "old");
  EXPECT_EQ(m_fs.RenameOver(m_dir.Join("C").c_str(), m_dir.Join("TOOL.INI").c_str()), err::kOk);
  EXPECT_EQ(m_dir.ReadFile("Tool.ini"), "1");
  EXPECT_FALSE(m_dir.Exists("c"));
  EXPECT_FALSE(m_dir.Exists("TOOL.INI"));
  EXPECT_EQ(m_fs.RenameOver(m_dir.Join("c").c_str(), m_dir.Join("x").c_str()),
            err::kFileNotFound);
  EXPECT_EQ(m_fs.FlushDir(m_dir.Path().c_str()), err::kOk);
  EXPECT_EQ(m_fs.FlushDir(m_dir.Join("none/").c_str()), err::kPathNotFound);
}

TEST_F(NativeFSTest, DirectoriesAreMadeAndRemovedUnderTheirParent) {
  const std::string parent = m_dir.Join("");
  EXPECT_EQ(m_fs.MakeDir(m_dir.Path().c_str(), "sub"), err::kOk);
  EXPECT_EQ(m_fs.MakeDir(parent.substr(0, parent.size() - 1).c_str(), "two"),
            err::kOk);
  EXPECT_TRUE(m_dir.Exists("sub"));
  EXPECT_TRUE(m_dir.Exists("two"));
  EXPECT_EQ(m_fs.MakeDir(parent.c_str(), "a\\b"), err::kBadParams);
  EXPECT_EQ(m_fs.MakeDir(parent.c_str(), "c:d"), err::kBadParams);
  EXPECT_EQ(m_fs.MakeDir(nullptr, "x"), err::kBadParams);
  EXPECT_EQ(m_fs.MakeDir(parent.c_str(), "sub"), err::kFileExist);
  EXPECT_EQ(m_fs.RemoveDir(parent.c_str(), "SUB"), err::kOk);
  EXPECT_FALSE(m_dir.Exists("sub"));
}

TEST_F(NativeFSTest, ListingsSkipTheDotEntriesAndEndWithNoMoreFiles) {
  m_dir.WriteFile("list/one.txt", "1");
  m_dir.WriteFile("list/dir/two.txt", "2");
  std::filesystem::create_directory(m_dir.Join("empty"));
  FindContext context;
  std::set<std::string> names;
  uint32_t dir_attributes = 0;
  ErrCode error = m_fs.FindFirst(&context, m_dir.Join("list").c_str());
  for (; error == err::kOk; error = m_fs.FindNext(&context)) {
    names.insert(context.name);
    if (std::string(context.name) == "dir") dir_attributes = context.attributes;
  }
  EXPECT_EQ(error, err::kNoMoreFiles);
  EXPECT_EQ(names, (std::set<std::string>{"dir", "one.txt"}));
  EXPECT_TRUE(dir_attributes & kAttrDirectory);
  EXPECT_EQ(context.owner, &m_fs);
  EXPECT_EQ(m_fs.FindClose(&context), err::kOk);
  EXPECT_EQ(context.owner, nullptr);
  EXPECT_EQ(m_fs.FindNext(&context), err::kBadParams);
  EXPECT_EQ(m_fs.FindFirst(&context, m_dir.Join("empty").c_str()), err::kNoMoreFiles);
  EXPECT_EQ(m_fs.FindClose(&context), err::kOk);
  EXPECT_EQ(m_fs.FindFirst(&context, nullptr), err::kBadParams);
}

TEST_F(NativeFSTest, TheAbsolutePathQuery) {
  char buffer[kQueryBufferSize];
  m_dir.WriteFile("Q.txt", "");
  ASSERT_EQ(m_fs.Query(m_dir.Join("q.txt").c_str(), kQueryAbsolutePath, buffer),
            err::kOk);
  EXPECT_EQ(std::string(buffer), m_dir.Join("Q.txt"));
  ASSERT_EQ(m_fs.Query("relative.txt", kQueryAbsolutePath, buffer), err::kOk);
  EXPECT_EQ(std::string(buffer),
            std::filesystem::current_path().string() + "/relative.txt");
  EXPECT_EQ(m_fs.Query("x", 1, buffer), err::kNotImplementedYet);
  EXPECT_EQ(m_fs.Query(std::string(300, 'a').c_str(), kQueryAbsolutePath, buffer),
            err::kUnknownError);
}

TEST(ErrnoCodes, FollowTheFileCodes) {
  const std::pair<int, ErrCode> cases[] = {
      {0, err::kOk},           {ENOENT, err::kFileNotFound},   {ENOTDIR, err::kPathNotFound},
      {EMFILE, err::kTooManyOpenFiles}, {EACCES, err::kAccessDenied},
      {EPERM, err::kAccessDenied},      {EEXIST, err::kFileExist},
      {ENOSPC, err::kDiskFull},         {EROFS, err::kWriteProtected}};
  for (const auto& [number, code] : cases) EXPECT_EQ(ErrFromErrno(number, err::kFile), code);
  EXPECT_EQ(ErrFromErrno(EIO, err::kReadFail), err::kReadFail);
}
