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

class OpenOverrideTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MountNativeFileSystem();
    SetLogMode(false, false);
    SetLogView(&m_view);
  }
  void TearDown() override {
    RemoveOpenOverride();
    SetLogView(nullptr);
    ShutdownFileService();
  }
  // The file's bytes, "none" when it does not open, "error" when it opens
  // but leaves an error behind.
  static std::string Open(const std::string& path) {
    ErrCode error = err::kOk;
    std::unique_ptr<CFile> file = FsOpen(path.c_str(), kOpenRead | kOpenShareRead, &error);
    if (!file) return "none";
    if (error != err::kOk) return "error";
    std::string bytes(file->GetSize(), '\0');
    file->Read(bytes.data(), file->GetSize(), nullptr);
    return bytes;
  }
  // Loose files under /HDD1 and /Current and a pack mounted at /World/, each
  // file holding the name of where it lies.
  void MountWorld() {
    m_dir.WriteFile("hdd1/World/a/b.bmp", "hdd1");
    m_dir.WriteFile("hdd1/World/a/e.bmp", "hdd1E");
    m_dir.WriteFile("current/World/a/b.bmp", "current");
    m_dir.WriteFile("current/World/a/c.bmp", "currentC");
    const std::vector<std::pair<std::string, std::string>> packed = {
        {"A\\B.BMP", "pack"}, {"A\\C.BMP", "packC"}, {"A\\D.BMP", "packD"}};
    std::vector<SPackItem> items;
    for (size_t i = 0; i < packed.size(); ++i)
      items.push_back({packed[i].first, static_cast<uint32_t>(packed[i].second.size()), i});
    std::unique_ptr<CFile> out = FsOpen(m_dir.Join("world.pak").c_str(),
                                        kOpenWrite | kOpenCreate | kOpenTruncate, nullptr);
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

  CTempDir m_dir;
  CCaptureView m_view;
};

}  // namespace

TEST_F(OpenOverrideTest, RelativePathsOpenInTheExecutablesDirectoryAndFailuresAreLogged) {
  InstallOpenOverride({m_dir.Path()});
  m_dir.WriteFile("sound/a.wav", "A");
  m_dir.WriteFile("silence.wav", "quiet");
  EXPECT_EQ(Open("sound/a.wav"), "A");
  EXPECT_EQ(Open("ShutUp.WAV"), "quiet");  // stands for silence
  ErrCode error = 0;
  EXPECT_EQ(FsOpen("missing.bmp", kOpenRead, &error), nullptr);
  EXPECT_EQ(error, err::kFileNotFound);
  EXPECT_EQ(Open(m_dir.Path() + "gone.bmp"), "none");
  EXPECT_EQ(m_view.lines, "File Not Found: missing.bmp\nFile Not Found: " +
                              m_dir.Path() + "gone.bmp\n");
  EXPECT_EQ(Open(""), "none");
  // Removing the override restores the plain open.
  RemoveOpenOverride();
  EXPECT_EQ(SetFsOpen(FsOpenDirect), FsOpenDirect);
}

TEST_F(OpenOverrideTest, LooseFilesOverrideThePackInTheirOrder) {
  MountWorld();
  // The translator of /HDD/ is not followed: the pack answers there.
  const struct {
    const char* path;
    const char* hdd1_then_pack;
    const char* current_first;
  } cases[] = {
      {"/World/a/b.bmp", "hdd1", "current"}, {"/World/A/C.BMP", "packC", "currentC"},
      {"/World/a/d.bmp", "packD", "packD"},  {"/World/a/e.bmp", "hdd1E", "hdd1E"},
      {"/W2/a/b.bmp", "hdd1", "current"},    {"/W2/A/C.bmp", "packC", "currentC"},
      {"/HDD/a/b.bmp", "pack", "pack"},
  };
  for (bool outside_first : {false, true}) {
    InstallOpenOverride({m_dir.Path(), outside_first});
    for (const auto& c : cases)
      EXPECT_EQ(Open(c.path), outside_first ? c.current_first : c.hdd1_then_pack) << c.path;
    EXPECT_EQ(m_view.lines, "");
    RemoveOpenOverride();
  }
  InstallOpenOverride({m_dir.Path(), false});
  EXPECT_EQ(Open("/World/a/none.bmp"), "none");
  EXPECT_EQ(m_view.lines, "File Not Found: /World/a/none.bmp\n");
}
