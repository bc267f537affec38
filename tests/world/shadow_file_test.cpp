// The shadow overlay: page widening, extent merging, truncation and the
// commit, in memory and over files that fail.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fs/file_service.h"
#include "fs/memory_file.h"
#include "support/fault_native_fs.h"
#include "world/shadow_file.h"

namespace {

using SExtent = CShadowFile::SExtent;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
  return bytes;
}

class ShadowFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto shadow = std::make_unique<CMemoryFile>(m_shadow);
    m_file = std::make_unique<CShadowFile>("", std::make_unique<CMemoryFile>(m_base),
                                           std::move(shadow));
  }
  void Write(uint32_t at, const std::string& bytes) {
    ASSERT_EQ(m_file->WriteAt(bytes.data(), at, static_cast<uint32_t>(bytes.size()), nullptr),
              err::kOk);
    m_model.resize(std::max<size_t>(m_model.size(), at + bytes.size()), '\0');
    m_model.replace(at, bytes.size(), bytes);
  }
  std::string ReadAll() {
    std::string bytes(m_file->GetSize(), '\0');
    EXPECT_EQ(m_file->ReadAt(bytes.data(), 0, static_cast<uint32_t>(bytes.size()), nullptr),
              err::kOk);
    return bytes;
  }
  std::vector<SExtent> Extents() const {
    return {m_file->Extents().begin(), m_file->Extents().end()};
  }

  std::string m_base = Pattern(2000);
  std::string m_model = m_base;
  std::shared_ptr<std::string> m_shadow = std::make_shared<std::string>();
  std::unique_ptr<CShadowFile> m_file;
};

TEST_F(ShadowFileTest, AWriteTakesItsWholePageAndLaterWritesToThePageStayInPlace) {
  Write(700, "0123456789");
  EXPECT_EQ(Extents(), (std::vector<SExtent>{{512, 512, 0}}));
  EXPECT_EQ(m_file->ShadowBytes(), 512u);
  // The page came from the base around the written bytes.
  EXPECT_EQ(m_shadow->substr(0, 188), m_base.substr(512, 188));
  Write(600, "ABCD");
  EXPECT_EQ(m_file->ShadowBytes(), 512u);
  EXPECT_EQ(ReadAll(), m_model);
  EXPECT_EQ(m_file->GetSize(), 2000u);
}

TEST_F(ShadowFileTest, APageRightAfterTheLastAppendedExtentLengthensIt) {
  Write(700, "x");
  Write(1100, "y");  // page 1024: follows [512, 1024) in the base and in the shadow
  EXPECT_EQ(Extents(), (std::vector<SExtent>{{512, 1024, 0}}));
  Write(10, "z");  // page 0: before it, so a new extent
  EXPECT_EQ(Extents(), (std::vector<SExtent>{{0, 512, 1024}, {512, 1024, 0}}));
  Write(1600, "w");  // page 1536 follows [512, 1536), but its shadow does not end the file
  EXPECT_EQ(Extents(),
            (std::vector<SExtent>{{0, 512, 1024}, {512, 1024, 0}, {1536, 512, 1536}}));
  // One write across two extents and the gap-free join between them.
  Write(500, std::string(30, 'Q'));
  EXPECT_EQ(m_file->ShadowBytes(), 2048u);
  EXPECT_EQ(ReadAll(), m_model);
}

TEST_F(ShadowFileTest, WritesPastTheEndGrowTheFileWithZerosBetween) {
  Write(2100, "end");
  EXPECT_EQ(m_file->GetSize(), 2103u);
  EXPECT_EQ(Extents(), (std::vector<SExtent>{{2048, 512, 0}}));
  EXPECT_EQ(ReadAll(), m_model);
  EXPECT_EQ(ReadAll().substr(2000, 100), std::string(100, '\0'));
  char byte = 0;
  uint32_t count = 9;
  EXPECT_EQ(m_file->ReadAt(&byte, 2103, 1, &count), err::kEof);
  EXPECT_EQ(count, 0u);
}

TEST_F(ShadowFileTest, TruncateDropsAndShortensExtentsAndForgetsTheBaseBeyond) {
  Write(700, "a");
  Write(1600, "b");
  ASSERT_EQ(m_file->Seek(800, kSeekSet), err::kOk);
  ASSERT_EQ(m_file->Truncate(), err::kOk);
  m_model.resize(800);
  EXPECT_EQ(Extents(), (std::vector<SExtent>{{512, 288, 0}}));
  EXPECT_EQ(ReadAll(), m_model);
  // The base bytes after 800 are gone: growing again shows zeros, and the
  // new page starts where the shortened extent ends.
  Write(1000, "c");
  EXPECT_EQ(Extents(), (std::vector<SExtent>{{512, 288, 0}, {800, 224, 1024}}));
  EXPECT_EQ(ReadAll(), m_model);
}

class ShadowCommitTest : public CFaultNativeFsTest {
 protected:
  std::unique_ptr<CShadowFile> OpenOverlay() {
    ErrCode error = err::kOk;
    auto base = FsOpenDirect(Project().c_str(), kOpenRead, &error);
    auto shadow = FsOpenDirect(m_dir.Join("shadow.tmp").c_str(),
                               kOpenRead | kOpenWrite | kOpenCreate | kOpenTruncate, &error);
    EXPECT_TRUE(base && shadow);
    return std::make_unique<CShadowFile>(Project(), std::move(base), std::move(shadow));
  }
  static std::string ReadAll(CShadowFile* file) {
    std::string bytes(file->GetSize(), '\0');
    file->ReadAt(bytes.data(), 0, file->GetSize(), nullptr);
    return bytes;
  }
  std::string Project() const { return m_dir.Join("game.prj"); }
};

TEST_F(ShadowCommitTest, CommitPutsTheLogicalFileInPlaceAndEmptiesTheShadow) {
  const std::string old_bytes = Pattern(40000);
  m_dir.WriteFile("game.prj", old_bytes);
  auto file = OpenOverlay();
  std::string expected = old_bytes;
  ASSERT_EQ(file->WriteAt("new", 35000, 3, nullptr), err::kOk);
  expected.replace(35000, 3, "new");
  ASSERT_EQ(file->Commit(), err::kOk);
  EXPECT_EQ(m_dir.ReadFile("game.prj"), expected);
  EXPECT_TRUE(file->Extents().empty());
  EXPECT_EQ(m_dir.ReadFile("shadow.tmp"), "");
  EXPECT_EQ(ReadAll(file.get()), expected);
}

// Each write, flush and rename of the commit failing in turn: the project is
// the old file or the new one, and the overlay still reads the new one.
TEST_F(ShadowCommitTest, AFailingStepOfTheCommitLeavesTheOldOrTheNewFile) {
  const std::string old_bytes = Pattern(70000);
  std::string new_bytes = old_bytes;
  new_bytes.replace(66000, 4, "NEW!");
  // Runs the commit with the plan `strike` sets up; answers its result.
  auto commit = [&](const std::function<void(SFaultPlan*)>& strike) {
    m_dir.WriteFile("game.prj", old_bytes);
    auto file = OpenOverlay();
    EXPECT_EQ(file->WriteAt("NEW!", 66000, 4, nullptr), err::kOk);
    *m_plan = SFaultPlan{};
    strike(m_plan.get());
    const ErrCode error = file->Commit();
    const SFaultPlan counted = *m_plan;
    *m_plan = SFaultPlan{};
    const std::string on_disk = m_dir.ReadFile("game.prj");
    EXPECT_TRUE(on_disk == old_bytes || on_disk == new_bytes);
    EXPECT_EQ(error == err::kOk, on_disk == new_bytes && file->Extents().empty());
    EXPECT_EQ(ReadAll(file.get()), new_bytes);
    EXPECT_FALSE(m_dir.Exists("game.prj.new"));
    return counted;
  };
  const SFaultPlan counted = commit([](SFaultPlan*) {});
  ASSERT_EQ(counted.renames, 1);
  ASSERT_EQ(counted.writes, 3);  // 70000 bytes in pieces of 32768
  for (int n = 1; n <= counted.writes; ++n) {
    SCOPED_TRACE("write " + std::to_string(n));
    commit([n](SFaultPlan* plan) { plan->fail_write = n; });
  }
  for (int n = 1; n <= counted.flushes; ++n) {
    SCOPED_TRACE("flush " + std::to_string(n));
    commit([n](SFaultPlan* plan) { plan->fail_flush = n; });
  }
  commit([](SFaultPlan* plan) { plan->fail_rename = 1; });
}

}  // namespace
