// Replacing whole files through a copy, with every write, flush and rename
// failing or lost in turn.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "fs/replace.h"
#include "support/fault_native_fs.h"

namespace {

const std::string kOld = "[main]\r\nold=1\r\n\r\n";
const std::string kPieces[] = {"[main]\r\n", "new=2\r\n", "\r\n"};
const std::string kNew = kPieces[0] + kPieces[1] + kPieces[2];

class FileReplaceTest : public CFaultNativeFsTest {
 protected:
  void SetUp() override {
    CFaultNativeFsTest::SetUp();
    m_dir.WriteFile("Tool.ini", kOld);
  }

  // Writes kNew in three pieces over the file, asked for in lower case.
  ErrCode ReplaceInPieces() {
    CFileReplace replace;
    if (ErrCode error = replace.Begin(Path().c_str())) return error;
    for (const std::string& piece : kPieces)
      if (ErrCode error = replace.File()->Write(piece.data(), static_cast<uint32_t>(piece.size()),
                                                nullptr))
        return error;
    return replace.Commit();
  }
  std::string Path() const { return m_dir.Join("tool.ini"); }
  // Opens the file the next time: a stale copy goes first.
  std::string ReadAfterNextOpen() {
    *m_plan = SFaultPlan{};
    RemoveStaleCopy(Path().c_str());
    return m_dir.ReadFile("Tool.ini");
  }
  size_t FilesInFolder() const {
    const std::filesystem::directory_iterator files(m_dir.Path());
    return static_cast<size_t>(std::distance(begin(files), end(files)));
  }
};

// Three writes into the copy, its flush, the rename and the folder's flush.
TEST_F(FileReplaceTest, ReplacesTheFileFoundIgnoringCaseAndLeavesNoCopy) {
  ASSERT_EQ(ReplaceInPieces(), err::kOk);
  EXPECT_EQ(m_dir.ReadFile("Tool.ini"), kNew);
  EXPECT_EQ(FilesInFolder(), 1u);
  EXPECT_EQ(m_plan->writes, 3);
  EXPECT_EQ(m_plan->flushes, 2);
  EXPECT_EQ(m_plan->renames, 1);
  ASSERT_EQ(ReplaceFileContents(Path().c_str(), kOld), err::kOk);
  EXPECT_EQ(m_dir.ReadFile("Tool.ini"), kOld);
  EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(FileReplaceTest, AFailedStepLeavesTheOldFileWholeOrTheNewOneAfterTheRename) {
  const struct {
    const char* step;
    int SFaultPlan::*strike;
    int number;
    ErrCode error;
    const std::string& after;
  } cases[] = {
      {"first write", &SFaultPlan::fail_write, 1, err::kWriteFail, kOld},
      {"second write", &SFaultPlan::fail_write, 2, err::kWriteFail, kOld},
      {"last write", &SFaultPlan::fail_write, 3, err::kWriteFail, kOld},
      {"flush of the copy", &SFaultPlan::fail_flush, 1, err::kFlushFail, kOld},
      {"rename", &SFaultPlan::fail_rename, 1, err::kFile, kOld},
      {"flush of the folder", &SFaultPlan::fail_flush, 2, err::kFlushFail, kNew},
  };
  for (const auto& c : cases) {
    m_dir.WriteFile("Tool.ini", kOld);
    *m_plan = SFaultPlan{};
    (*m_plan).*c.strike = c.number;
    EXPECT_EQ(ReplaceInPieces(), c.error) << c.step;
    EXPECT_EQ(ReadAfterNextOpen(), c.after) << c.step;
    EXPECT_EQ(FilesInFolder(), 1u) << c.step;
  }
}

// A program killed (or the power cut) before any of the seven changes, the
// copy's creation first: up to the rename, the sixth, the old file stays.
TEST_F(FileReplaceTest, AnInterruptionAtAnyStepLeavesTheOldOrTheNewFile) {
  constexpr int kRename = 6;
  for (int n = 1; n <= kRename + 1; ++n) {
    m_dir.WriteFile("Tool.ini", kOld);
    *m_plan = SFaultPlan{};
    m_plan->lose_from = n;
    ReplaceInPieces();
    EXPECT_EQ(ReadAfterNextOpen(), n <= kRename ? kOld : kNew) << n;
    EXPECT_EQ(FilesInFolder(), 1u) << n;
  }
  for (int n = 1; n <= 3; ++n) {
    m_dir.WriteFile("Tool.ini", kOld);
    *m_plan = SFaultPlan{};
    m_plan->cut_write = n;
    ReplaceInPieces();
    EXPECT_EQ(ReadAfterNextOpen(), kOld) << n;
    EXPECT_EQ(FilesInFolder(), 1u) << n;
  }
}

TEST_F(FileReplaceTest, AStaleCopyIsDeletedAtTheNextOpenAndNeverMixedIn) {
  m_dir.WriteFile("Tool.ini.new", std::string(100, 'x'));
  EXPECT_EQ(ReadAfterNextOpen(), kOld);
  EXPECT_FALSE(m_dir.Exists("Tool.ini.new"));
  m_dir.WriteFile("Tool.ini.new", std::string(100, 'x'));
  ASSERT_EQ(ReplaceInPieces(), err::kOk);
  EXPECT_EQ(m_dir.ReadFile("Tool.ini"), kNew);
  EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(FileReplaceTest, AReplacementNotCommittedDeletesItsCopy) {
  {
    CFileReplace replace;
    ASSERT_EQ(replace.Begin(Path().c_str()), err::kOk);
    ASSERT_EQ(replace.File()->Write(kNew.data(), static_cast<uint32_t>(kNew.size()), nullptr),
              err::kOk);
    EXPECT_EQ(FilesInFolder(), 2u);
  }
  EXPECT_EQ(m_dir.ReadFile("Tool.ini"), kOld);
  EXPECT_EQ(FilesInFolder(), 1u);
}

// A writer that opens files by name writes the copy itself; the commit still
// flushes it before the rename.
TEST_F(FileReplaceTest, ACopyWrittenByNameIsFlushedAndPutInPlace) {
  CFileReplace replace;
  replace.BeginNamed(Path().c_str());
  std::ofstream(replace.CopyPath(), std::ios::binary) << kNew;
  ASSERT_EQ(replace.Commit(), err::kOk);
  EXPECT_EQ(m_dir.ReadFile("Tool.ini"), kNew);
  EXPECT_EQ(m_plan->flushes, 2);
  EXPECT_EQ(FilesInFolder(), 1u);
}

}  // namespace
