// The file-open override in front of the open entry.
#include <gtest/gtest.h>

#include "base/log.h"
#include "app/open_override.h"
#include "fs/file_service.h"
#include "fs/mount_config.h"
#include "fs/native_fs.h"
#include "fs/pack_writer.h"
#include "support/temp_dir.h"

namespace {

class CCaptureView : public CLogView {
 public:
  void AddLine(uint32_t, std::string_view text) override { lines += text; }
  std::string lines;
};

}  // namespace

class OpenOverrideTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MountNativeFileSystem();
    SetLogMode(false, false);
    SetLogView(&m_view);
    InstallOpenOverride({m_dir.Path()});
  }
  void TearDown() override {
    RemoveOpenOverride();
    SetLogView(nullptr);
    ShutdownFileService();
  }
  CTempDir m_dir;
  CCaptureView m_view;
};

TEST_F(OpenOverrideTest, RelativePathsOpenInTheExecutablesDirectory) {
  m_dir.WriteFile("sound/a.wav", "A");
  auto file = FsOpen("sound/a.wav", kOpenRead, nullptr);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->GetSize(), 1u);
}

TEST_F(OpenOverrideTest, ShutupStandsForSilence) {
  m_dir.WriteFile("silence.wav", "quiet");
  auto file = FsOpen("ShutUp.WAV", kOpenRead, nullptr);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->GetSize(), 5u);
}

TEST_F(OpenOverrideTest, FailuresLogTheCallersPath) {
  ErrCode error = 0;
  EXPECT_EQ(FsOpen("missing.bmp", kOpenRead, &error), nullptr);
  EXPECT_EQ(error, err::kFileNotFound);
  EXPECT_EQ(FsOpen((m_dir.Path() + "gone.bmp").c_str(), kOpenRead, nullptr),
            nullptr);
  EXPECT_EQ(m_view.lines, "File Not Found: missing.bmp\nFile Not Found: " +
                              m_dir.Path() + "gone.bmp\n");
  EXPECT_EQ(FsOpen("", kOpenRead, nullptr), nullptr);
}

TEST_F(OpenOverrideTest, RemovingTheOverrideRestoresThePlainOpen) {
  RemoveOpenOverride();
  EXPECT_EQ(SetFsOpen(FsOpenDirect), FsOpenDirect);
  RemoveOpenOverride();
}

namespace {

// Loose files under /HDD1 and /Current and a pack mounted at /World/, each
// file holding the name of where it lies.
class OpenOverrideOrderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MountNativeFileSystem();
    SetLogMode(false, false);
    SetLogView(&m_view);
    m_dir.WriteFile("hdd1/World/a/b.bmp", "hdd1");
    m_dir.WriteFile("hdd1/World/a/e.bmp", "hdd1E");
    m_dir.WriteFile("current/World/a/b.bmp", "current");
    m_dir.WriteFile("current/World/a/c.bmp", "currentC");
    const std::vector<std::pair<std::string, std::string>> packed = {
        {"A\\B.BMP", "pack"}, {"A\\C.BMP", "packC"}, {"A\\D.BMP", "packD"}};
    std::vector<SPackItem> items;
    for (size_t i = 0; i < packed.size(); ++i)
      items.push_back({packed[i].first, static_cast<uint32_t>(packed[i].second.size()), i});
    std::unique_ptr<CFile> out =
        FsOpen(m_dir.Join("world.pak").c_str(), kOpenWrite | kOpenCreate | kOpenTruncate,
               nullptr);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(WritePack(*out, items,
                        [&](size_t i, CFile& f) {
                          return f.Write(packed[i].second.data(),
                                         static_cast<uint32_t>(packed[i].second.size()),
                                         nullptr);
                        }),
              err::kOk);
    out.reset();
    ASSERT_EQ(MountFromConfig({{"/HDD1/", "Trans, " + m_dir.Join("hdd1/")},
                               {"/Current/", "Trans, " + m_dir.Join("current/")},
                               {"/World/", "Pack, " + m_dir.Join("world.pak")},
                               {"/W2/", "Trans, /World/"},
                               {"/HDD/", "Trans, /World/"}}),
              err::kOk);
  }
  void TearDown() override {
    RemoveOpenOverride();
    SetLogView(nullptr);
    ShutdownFileService();
  }
  static std::string Open(const char* path) {
    // Failed attempts do not leave their error behind.
    ErrCode error = err::kOk;
    std::unique_ptr<CFile> file = FsOpen(path, kOpenRead | kOpenShareRead, &error);
    if (!file) return "none";
    if (error != err::kOk) return "error";
    std::string bytes(file->GetSize(), '\0');
    file->Read(bytes.data(), file->GetSize(), nullptr);
    return bytes;
  }

  CTempDir m_dir;
  CCaptureView m_view;
};

}  // namespace

TEST_F(OpenOverrideOrderTest, LooseFilesUnderHdd1OverrideThePack) {
  InstallOpenOverride({m_dir.Path(), false});
  EXPECT_EQ(Open("/World/a/b.bmp"), "hdd1");
  EXPECT_EQ(Open("/World/A/C.BMP"), "packC");
  EXPECT_EQ(Open("/W2/a/b.bmp"), "hdd1");
  EXPECT_EQ(Open("/W2/a/d.bmp"), "packD");
  // The translator of /HDD/ is not followed: the pack answers.
  EXPECT_EQ(Open("/HDD/a/b.bmp"), "pack");
  EXPECT_EQ(m_view.lines, "");
  EXPECT_EQ(Open("/World/a/none.bmp"), "none");
  EXPECT_EQ(m_view.lines, "File Not Found: /World/a/none.bmp\n");
}

TEST_F(OpenOverrideOrderTest, OutsidePackFirstTriesCurrentBeforeBoth) {
  InstallOpenOverride({m_dir.Path(), true});
  EXPECT_EQ(Open("/World/a/b.bmp"), "current");
  EXPECT_EQ(Open("/World/a/c.bmp"), "currentC");
  EXPECT_EQ(Open("/World/a/d.bmp"), "packD");
  EXPECT_EQ(Open("/W2/A/C.bmp"), "currentC");
  EXPECT_EQ(Open("/World/a/e.bmp"), "hdd1E");
}
