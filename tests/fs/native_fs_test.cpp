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

TEST_F(NativeFSTest, CreateAloneRefusesAnExistingFile) {
  m_dir.WriteFile("a.txt", "old");
  EXPECT_EQ(OpenError("a.txt", 0x07), err::kFileExist);
  EXPECT_EQ(m_dir.ReadFile("a.txt"), "old");
  EXPECT_NE(Open("b.txt", 0x07), nullptr);
  EXPECT_TRUE(m_dir.Exists("b.txt"));
}

TEST_F(NativeFSTest, TruncateAloneOpensTheFileUnchanged) {
  m_dir.WriteFile("a.txt", "keep");
  auto file = Open("a.txt", kOpenRead | kOpenTruncate);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->GetSize(), 4u);
  EXPECT_EQ(OpenError("missing.txt", kOpenRead | kOpenTruncate),
            err::kFileNotFound);
}

TEST_F(NativeFSTest, CreateOrTruncateEmptiesAnExistingFile) {
  m_dir.WriteFile("a.txt", "long old contents");
  {
    auto file = Open("a.txt", 0x0E);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(file->Write("new", 3, nullptr), err::kOk);
  }
  EXPECT_EQ(m_dir.ReadFile("a.txt"), "new");
}

TEST_F(NativeFSTest, MissingFileAndMissingDirectoryHaveTheirOwnCodes) {
  EXPECT_EQ(OpenError("none.txt", kOpenRead), err::kFileNotFound);
  EXPECT_EQ(OpenError("nodir/none.txt", kOpenRead), err::kPathNotFound);
  EXPECT_EQ(OpenError("nodir/new.txt", 0x0E), err::kPathNotFound);
  m_dir.WriteFile("plain", "x");
  EXPECT_EQ(OpenError("plain/inside.txt", kOpenRead), err::kPathNotFound);
}

TEST_F(NativeFSTest, DirectoriesAndModesWithoutAccessAreRefused) {
  m_dir.WriteFile("sub/f", "x");
  EXPECT_EQ(OpenError("sub", kOpenRead), err::kAccessDenied);
  EXPECT_EQ(OpenError("sub/f", kOpenShareRead), err::kBadOpenMode);
}

TEST_F(NativeFSTest, AShortReadAnswersEofWithTheCountRead) {
  m_dir.WriteFile("a.bin", "12345");
  auto file = Open("a.bin", kOpenRead);
  ASSERT_NE(file, nullptr);
  char bytes[8];
  uint32_t count = 99;
  EXPECT_EQ(file->ReadAt(bytes, 2, 8, &count), err::kEof);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(std::string(bytes, 3), "345");
  EXPECT_EQ(file->Tell(), 5u);
}

TEST_F(NativeFSTest, SeekTellTruncateAndTheNativeHandle) {
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
  uint32_t handle = 0;
  EXPECT_EQ(file->GetProperty(kPropertyNativeHandle, &handle, 0), err::kOk);
  EXPECT_GT(handle, 2u);
  EXPECT_EQ(file->Flush(), err::kOk);
}

TEST_F(NativeFSTest, ExclusiveOpensShutOutEveryOtherOpen) {
  m_dir.WriteFile("x", "data");
  auto first = Open("x", kOpenRead);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(OpenError("x", 0x41), err::kSharing);
  EXPECT_EQ(OpenError("x", 0xC3), err::kSharing);
  first.reset();
  EXPECT_NE(Open("x", 0x41), nullptr);
}

TEST_F(NativeFSTest, SharedReadersCoexistButKeepWritersOut) {
  m_dir.WriteFile("x", "data");
  auto a = Open("x", 0x41);
  auto b = Open("x", 0x41);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  // The writer is refused before it could truncate what the readers read.
  EXPECT_EQ(OpenError("x", 0x0F), err::kSharing);
  EXPECT_EQ(m_dir.ReadFile("x"), "data");
}

TEST_F(NativeFSTest, FullySharedOpensCoexist) {
  m_dir.WriteFile("store", "1234");
  auto a = Open("store", 0xC3);
  auto b = Open("store", 0xC3);
  EXPECT_NE(a, nullptr);
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(OpenError("store", kOpenRead | kOpenWrite), err::kSharing);
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

TEST_F(NativeFSTest, CreatingANameThatDiffersOnlyInCaseReplacesTheFile) {
  m_dir.WriteFile("tool.ini", "old");
  {
    auto file = Open("Tool.ini", 0x0E);
    ASSERT_NE(file, nullptr);
    file->Write("new", 3, nullptr);
  }
  EXPECT_EQ(m_dir.ReadFile("tool.ini"), "new");
  EXPECT_FALSE(m_dir.Exists("Tool.ini"));
}

TEST_F(NativeFSTest, DeleteAndRename) {
  m_dir.WriteFile("a", "1");
  m_dir.WriteFile("b", "2");
  EXPECT_EQ(m_fs.Rename(m_dir.Join("a").c_str(), m_dir.Join("B").c_str()),
            err::kAlreadyExists);
  EXPECT_EQ(m_fs.Rename(m_dir.Join("A").c_str(), m_dir.Join("c").c_str()),
            err::kOk);
  EXPECT_EQ(m_dir.ReadFile("c"), "1");
  EXPECT_EQ(m_fs.Delete(m_dir.Join("C").c_str()), err::kOk);
  EXPECT_FALSE(m_dir.Exists("c"));
  EXPECT_EQ(m_fs.Delete(m_dir.Join("c").c_str()), err::kFileNotFound);
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
}

TEST_F(NativeFSTest, AnEmptyDirectoryListsNothing) {
  m_dir.WriteFile("empty/.keep", "");
  std::filesystem::remove(m_dir.Join("empty/.keep"));
  FindContext context;
  EXPECT_EQ(m_fs.FindFirst(&context, m_dir.Join("empty").c_str()),
            err::kNoMoreFiles);
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
  EXPECT_EQ(ErrFromErrno(0, err::kFile), err::kOk);
  EXPECT_EQ(ErrFromErrno(ENOENT, err::kFile), err::kFileNotFound);
  EXPECT_EQ(ErrFromErrno(ENOTDIR, err::kFile), err::kPathNotFound);
  EXPECT_EQ(ErrFromErrno(EMFILE, err::kFile), err::kTooManyOpenFiles);
  EXPECT_EQ(ErrFromErrno(EACCES, err::kFile), err::kAccessDenied);
  EXPECT_EQ(ErrFromErrno(EPERM, err::kFile), err::kAccessDenied);
  EXPECT_EQ(ErrFromErrno(EEXIST, err::kFile), err::kFileExist);
  EXPECT_EQ(ErrFromErrno(ENOSPC, err::kFile), err::kDiskFull);
  EXPECT_EQ(ErrFromErrno(EROFS, err::kFile), err::kWriteProtected);
  EXPECT_EQ(ErrFromErrno(EIO, err::kReadFail), err::kReadFail);
}
