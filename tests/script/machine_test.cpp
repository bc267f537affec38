// The machine's compile-error log, and allocation failures while compiling
// and loading, which must end in their messages and never in a crash.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "base/log.h"
#include "base/memory.h"
#include "fs/memory_file.h"
#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "script/script_machine.h"
#include "store/hash_ini.h"
#include "support/temp_dir.h"

namespace {

TEST(ScriptMachineTest, TheCompileErrorLogIsSavedAtShutdown) {
  CTempDir dir;
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  MountNativeFileSystem();
  {
    CScriptMachine machine;
    ASSERT_EQ(machine.Init({}), err::kOk);
    SCodeBlock block;
    EXPECT_TRUE(machine.CompileText("rand();", "void", &block));
    EXPECT_FALSE(machine.CompileText("x", "void, int", &block));
    EXPECT_FALSE(machine.CompileText("1", "void, nosuch", &block));
    EXPECT_EQ(machine.ErrorLog(),
              "(1, 7): Warning: Returned value not used - removed from stack\r\n"
              "(1, 2): Left bracket expected for possible function name x\r\n");
  }
  ShutdownFileService();
  std::filesystem::current_path(previous);
  EXPECT_EQ(dir.ReadFile("comp_err.txt"),
            "(1, 7): Warning: Returned value not used - removed from stack\r\n"
            "(1, 2): Left bracket expected for possible function name x\r\n");
}

// Limits the pointer pool to what is in use plus `extra` bytes for a scope.
class CPtrLimit {
 public:
  explicit CPtrLimit(uint64_t extra) {
    SetMemLimit(EMemCategory::kPtr, MemCounter(EMemCategory::kPtr).used + extra);
  }
  ~CPtrLimit() { SetMemLimit(EMemCategory::kPtr, kNoMemLimit); }
};

class ScriptMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(m_machine.Init({}), err::kOk); }
  bool Compile(const char* text, uint64_t extra) {
    SParamInfo params;
    EXPECT_TRUE(ParseSignature(*m_machine.Compiler(), "void", true, &params));
    CTokenizer tokenizer(text);
    m_log.clear();
    CPtrLimit limit(extra);
    return m_machine.Compiler()->Compile(&tokenizer, params, &m_log, &m_block);
  }
  CScriptMachine m_machine;
  SCodeBlock m_block;
  std::string m_log;
};

TEST_F(ScriptMemoryTest, CompilingWithoutMemory) {
  // The code buffer takes 1024 bytes; nothing is left for the block.
  EXPECT_FALSE(Compile("rand();", 1024));
  EXPECT_EQ(m_log, "(1, 7): Warning: Returned value not used - removed from stack\r\n");
  EXPECT_FALSE(Compile("rand();", 0));
  EXPECT_EQ(m_log, "");
  EXPECT_FALSE(Compile("int a;", 1024 + 100));
  EXPECT_EQ(m_log, "(1, 6): Memory allocation fail.\r\n");
  EXPECT_FALSE(Compile("while 1 do break;", 1024 + 8));
  EXPECT_EQ(m_log, "(1, 17): Can't register break operator ! \r\n");
  EXPECT_TRUE(Compile("while 1 do break;", 4096));
}

// A file whose reads fail.
class CBrokenFile : public CFile {
 public:
  ErrCode Read(void*, uint32_t, uint32_t* count) override {
    *count = 0;
    return err::kReadFail;
  }
  uint32_t GetSize() override { return 100; }
};


const char kIni[] =
    "[BaseTypes]\nMaxUserTypes = 3\nIntConst = 1, int\nFloatConst = 1, int\n"
    "StrConst = 1, int\nBoolConst = 1, int\n"
    "[DataTypes]\nint =\n[int]\nTypeID = 1\nSize = 4\nVoidConstr = 1\nAddrConstr = 2\n"
    "Destr = 3\n[Operators]\ninf9 = \"=\"\n[GlobalVars]\ng = int, 5\n"
    "[Functions]\nf =\n[f]\nIndex = 9\nResult = void\n";

TEST(ScriptIniMemoryTest, LoadFailures) {
  CBrokenFile broken;
  EXPECT_NE(CScriptCompiler::FromIni(&broken)->Error(), err::kOk);
  EXPECT_STREQ(TraceBuffer(), "Error on ini file loading.\n");

  // What the INI text itself takes in the pool while it is loaded.
  uint64_t ini_bytes = 0;
  {
    const uint64_t before = MemCounter(EMemCategory::kPtr).used;
    CHashIni ini(64, 64);
    ASSERT_EQ(ini.LoadText(kIni), err::kOk);
    ini_bytes = MemCounter(EMemCategory::kPtr).used - before;
  }
  const uint64_t types = 3 * sizeof(STypeRecord);
  const uint64_t globals = kListStep * sizeof(SGlobalRecord);
  struct SCase {
    uint64_t extra;
    const char* message;
  };
  const SCase cases[] = {
      {ini_bytes + types - 1, "Can't allocate memory for types array.\n"},
      {ini_bytes + types + globals - 1, "Not enough mem for GLOBALS.\n"},
      {ini_bytes + types + globals + 10, "Not enough mem for FUNCTIONS.\n"},
  };
  for (const SCase& c : cases) {
    CMemoryFile file{std::string_view(kIni)};
    std::unique_ptr<CScriptCompiler> tables;
    {
      CPtrLimit limit(c.extra);
      tables = CScriptCompiler::FromIni(&file);
    }
    EXPECT_EQ(tables->Error(), err::kAllocFail) << c.message;
    EXPECT_STREQ(TraceBuffer(), c.message);
  }
  CMemoryFile file{std::string_view(kIni)};
  EXPECT_EQ(CScriptCompiler::FromIni(&file)->Error(), err::kOk) << TraceBuffer();
}

}  // namespace
