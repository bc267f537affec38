// The file-open override in front of the open entry.
#include <gtest/gtest.h>

#include "app/base/log.h"
#include "app/open_override.h"
#include "fs/file_service.h"
#include "fs/native_fs.h"
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
