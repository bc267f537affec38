// The preprocessing token source: directives, macros and conditions, fed
// into the compiler.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "script/bytecode.h"
#include "script/preprocessor.h"
#include "script/script_machine.h"
#include "support/temp_dir.h"

namespace {

class PreprocessorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(m_machine.Init({}), err::kOk);
    // The compiler's words and symbols, then the directive symbols it lacks.
    const CTokenTable& tokens = m_machine.Compiler()->Tokens();
    uint32_t extra = 0x200000;
    m_table.Allocate(tokens.Count() + 15);
    for (const STokenEntry* entry = tokens.Entries(); entry->text; ++entry)
      m_table.Add(entry->text, entry->code);
    for (const char* symbol : {"#", "\\", "define", "ifdef", "ifndef", "elif", "endif",
                               "include", "line", "undef", "error", "pragma", "!=", ">=",
                               "<="})
      m_table.Add(symbol, extra++);
    m_table.Close();
  }

  // The kinds the preprocessor hands on for `text`, with a failing status
  // as the last entry.
  std::vector<uint32_t> Kinds(const char* text, const std::string& dirs = "") {
    CPreprocessor source("main.s", dirs, m_table.Entries());
    EXPECT_EQ(source.StartText(text), 0u);
    source.AttachTable(m_machine.Compiler()->Tokens().Entries());
    std::vector<uint32_t> kinds;
    for (;;) {
      const uint32_t status = source.NextToken(m_buffer, sizeof m_buffer);
      if (status == err::kEof) return kinds;
      if (status) {
        kinds.push_back(status);
        return kinds;
      }
      uint32_t kind = 0;
      std::memcpy(&kind, m_buffer, 4);
      kinds.push_back(kind == kTokInteger ? 0x9000000 + m_buffer[4] : kind);
    }
  }

  CScriptMachine m_machine;
  CTokenTable m_table;
  uint8_t m_buffer[kTokenBufferSize] = {};
};

constexpr uint32_t Int(uint8_t value) { return 0x9000000u + value; }

TEST_F(PreprocessorTest, MacrosAndConditions) {
  const uint32_t kPlus = m_machine.Compiler()->Tokens().CodeOf("+");
  struct SCase {
    const char* text;
    std::vector<uint32_t> kinds;
  };
  const SCase cases[] = {
      {"#define N 7\nN", {Int(7)}},
      {"#define ADD(a, b) a + b\nADD(1, 2)", {Int(1), kPlus, Int(2)}},
      {"#define F (x)\nF", {kTokLeftParen, kTokIdentifier, kTokRightParen}},
      {"#define N 1\n#undef N\nN", {kTokIdentifier}},
      {"#define A B\n#define B A\nA", {kTokIdentifier}},
      {"#ifdef N\n1\n#else\n2\n#endif", {Int(2)}},
      {"#ifndef N\n1\n#endif", {Int(1)}},
      {"#define V 3\n#if V == 3\n1\n#elif V > 2\n2\n#else\n3\n#endif", {Int(1)}},
      {"#define V 3\n#if (V < 3)\n1\n#elif defined(V)\n2\n#endif", {Int(2)}},
      {"#if defined V != 1 \\\n  || 0\n1\n#endif", {kPpErrSyntax}},
      {"#if 2 >= 3\n1\n#elif 3 <= 3\n2\n#endif", {Int(2)}},
      {"#if 0\n#if 1\n1\n#endif\n#else\n3\n#endif", {Int(3)}},
      {"\n\n__LINE__", {Int(3)}},
      {"#line 40\n__LINE__", {Int(40)}},
      {"__FILE__", {kTokString}},
      {"#pragma anything\n1", {Int(1)}},
      {"#error stop\n1", {kPpErrDirective}},
      {"#if 1\n1", {Int(1), kPpErrOpenCondition}},
      {"#bogus", {kPpErrSyntax}},
      {"a # b", {kTokIdentifier, kTokIdentifier, kTokIdentifier}},
      {"line error", {kTokIdentifier, kTokIdentifier}},
      {"#define X 1\nint i;", {0x80001, kTokIdentifier, kTokSemicolon}},
  };
  for (const SCase& c : cases) EXPECT_EQ(Kinds(c.text), c.kinds) << c.text;
}

TEST_F(PreprocessorTest, MissingSymbolsAndFiles) {
  CPreprocessor bare("main.s", "", m_machine.Compiler()->Tokens().Entries());
  EXPECT_EQ(bare.StartText("1"), kPpErrMissingSymbol);
  EXPECT_EQ(Kinds("#include \"none.h\"\n1", "/nowhere"),
            std::vector<uint32_t>{err::kFileNotFound});
}

TEST_F(PreprocessorTest, IncludesFeedTheCompiler) {
  CTempDir dir;
  dir.WriteFile("lib/defs.h", "#define LIMIT 3\nint i;\n");
  dir.WriteFile("main.s", "#include <defs.h>\nwhile i < LIMIT do i = i + 1;\n");
  MountNativeFileSystem();
  {
    CPreprocessor source(dir.Join("main.s"), "/nowhere;" + dir.Join("lib"), m_table.Entries());
    ASSERT_EQ(source.Start(), 0u);
    SParamInfo params;
    ASSERT_TRUE(ParseSignature(*m_machine.Compiler(), "void", true, &params));
    std::string log;
    SCodeBlock block;
    EXPECT_TRUE(m_machine.Compiler()->Compile(&source, params, &log, &block)) << log;
    // int i (line 2 of the header), then the loop on line 2 of the main file.
    ASSERT_GT(block.size, kBlockHeaderSize + 13);
    EXPECT_EQ(block.data[kBlockHeaderSize], kOpSrcLine);
    EXPECT_EQ(GetLe32(block.data + kBlockHeaderSize + 1), 2u);
    EXPECT_EQ(block.data[kBlockHeaderSize + 8], kOpSrcLine);
    EXPECT_EQ(GetLe32(block.data + kBlockHeaderSize + 9), 2u);
    EXPECT_EQ(block.data[kBlockHeaderSize + 20], kOpConsI);
    EXPECT_EQ(GetLe32(block.data + kBlockHeaderSize + 23), 3u);
  }
  ShutdownFileService();
}

}  // namespace
