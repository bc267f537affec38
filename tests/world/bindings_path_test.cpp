// The gate of script file access: which names scripts may read and write,
// directly and through the natives that take file names.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "base/log.h"
#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "fs/trans_fs.h"
#include "script/script_call.h"
#include "script/script_machine.h"
#include "script/script_result.h"
#include "support/temp_dir.h"
#include "world/bindings/bindings.h"
#include "world/bindings/path_check.h"

namespace {

class BindingsPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitFileService(8);
    auto native = std::make_unique<CWinFileService>();
    CFileService* target = native.get();
    RegisterMount("", std::move(native), 0);
    std::filesystem::create_directories(m_dir.Join("World"));
    std::filesystem::create_directories(m_dir.Join("out"));
    std::filesystem::create_directories(m_dir.Join("elsewhere"));
    std::filesystem::create_directory_symlink(m_dir.Join("elsewhere"), m_dir.Join("out/link"));
    m_dir.WriteFile("World/a.ini", "[s]\nk=v\n");
    RegisterMount("/World/", std::make_unique<CTransFS>(m_dir.Join("World/"), target), 0);
    RegisterMount("/out/", std::make_unique<CTransFS>(m_dir.Join("out/"), target), 0);
    SetLogView(&m_log);
  }
  void TearDown() override {
    SetLogView(nullptr);
    ShutdownFileService();
  }
  static bool Allowed(const std::string& name, EFileAccess access) {
    std::string path;
    return ScriptPathAllowed(name, access, &path);
  }

  CTempDir m_dir;
  CLogCapture m_log;
};

}  // namespace

TEST_F(BindingsPathTest, RefusedNames) {
  const char* const refused[] = {
      "/etc/passwd", "../tool.ini", "/World/../../x", "/out/..\\tool.ini", "C:\\x", "//etc/x",
      "", "/World/./a.ini", "/World/a.ini/", "a\tb.ini", "a\x7F.ini", "/", "/out/",
  };
  for (const char* name : refused) {
    EXPECT_FALSE(Allowed(name, EFileAccess::kRead)) << name;
    EXPECT_FALSE(Allowed(name, EFileAccess::kWrite)) << name;
  }
  EXPECT_FALSE(Allowed(std::string(256, 'a'), EFileAccess::kRead));
  EXPECT_TRUE(Allowed(std::string(255, 'a'), EFileAccess::kRead));
  // Writes go only below "/out/", and never through a link.
  for (const char* name : {"/World/a.ini", "a.bmp", "/out/link/a.bmp", "/outside.bmp"})
    EXPECT_FALSE(Allowed(name, EFileAccess::kWrite)) << name;
}

TEST_F(BindingsPathTest, AllowedNamesAndTheNameToOpen) {
  std::string path;
  EXPECT_TRUE(ScriptPathAllowed("/World/a.ini", EFileAccess::kRead, &path));
  EXPECT_TRUE(ScriptPathAllowed("\\World\\a.ini", EFileAccess::kRead, &path));
  EXPECT_EQ(path, "/World/a.ini");
  EXPECT_TRUE(ScriptPathAllowed("/out/a.bmp", EFileAccess::kWrite, &path));
  EXPECT_TRUE(ScriptPathAllowed("/OUT/sub/a.bmp", EFileAccess::kWrite, &path));
  EXPECT_TRUE(ScriptPathAllowed("sub/a.ini", EFileAccess::kRead, &path));
  // Without the "/out/" mount nothing is written.
  UnregisterMount("/out/");
  EXPECT_FALSE(Allowed("/out/a.bmp", EFileAccess::kWrite));
}

TEST_F(BindingsPathTest, NativesTakingFilesPassTheGate) {
  CScriptMachine machine;
  ASSERT_EQ(machine.Init(kWorldModules), err::kOk);
  const struct {
    const char* text;
    bool result;
    const char* denied;  // the name refused, or null
  } cases[] = {
      {"FileExist(\"/World/a.ini\")", true, nullptr},
      {"FileExist(\"/World/b.ini\")", false, nullptr},
      {"FileExist(\"/etc/passwd\")", false, "/etc/passwd"},
      {"IniDef(\"/World/a.ini\")", true, nullptr},
      {"IniDef(\"../tool.ini\")", false, "../tool.ini"},
      {"Snapshot(\"/World/x.bmp\"); return false;", false, "/World/x.bmp"},
      {"Record(\"/out/..\\\\tool.ini\"); return false;", false, "/out/..\\tool.ini"},
      {"SetCursor(\"../../etc/x\"); return false;", false, "/Game Interface/Cursors/../../etc/x.bmp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    m_log.m_text.clear();
    EXPECT_EQ(ResultOf(machine, "bool", c.text), c.result ? "true" : "false");
    if (c.denied)
      EXPECT_NE(m_log.m_text.find(std::string("file access denied: ") + c.denied),
                std::string::npos)
          << m_log.m_text;
    else
      EXPECT_EQ(m_log.m_text, "");
  }
  machine.Inis().Clear();
}
