// The tokenizer: tokens, positions and errors of short texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "script/tokenizer.h"

namespace {

// A table with the fixed words and a few operators, as the compiler builds
// it from its configuration.
class TokenizerTest : public ::testing::Test {
 protected:
  TokenizerTest() {
    m_table.Allocate(kFixedTokenCount + 8);
    for (size_t i = 0; i < kFixedTokenCount; ++i) m_table.Add(kFixedTokens[i].text, kFixedTokens[i].code);
    m_table.Add("int", kTokTypeBase | 1);
    for (const char* op : {"<", "<>", "=", "==", ">", "NOT", "XOR"}) m_table.Add(op, kOp + m_ops++);
    m_table.Close();
  }

  // Kinds of all tokens of `text` up to the end, or with the error status
  // as the last entry.
  std::vector<uint32_t> Kinds(const std::string& text, uint32_t buffer_size = kTokenBufferSize) {
    CTokenizer tokenizer(text.c_str());
    tokenizer.AttachTable(m_table.Entries());
    std::vector<uint32_t> kinds;
    for (;;) {
      const uint32_t status = tokenizer.NextToken(m_buffer, buffer_size);
      if (status == err::kEof) return kinds;
      if (status) {
        kinds.push_back(status);
        return kinds;
      }
      uint32_t kind = 0;
      std::memcpy(&kind, m_buffer, 4);
      kinds.push_back(kind);
    }
  }
  // Reads only the first token of `text`.
  uint32_t First(const std::string& text) {
    CTokenizer tokenizer(text.c_str());
    tokenizer.AttachTable(m_table.Entries());
    if (tokenizer.NextToken(m_buffer, kTokenBufferSize)) return 0;
    return U32(0);
  }
  uint32_t U32(size_t at) const {
    uint32_t value = 0;
    std::memcpy(&value, m_buffer + at, 4);
    return value;
  }
  double F64() const {
    double value = 0;
    std::memcpy(&value, m_buffer + 4, 8);
    return value;
  }
  const char* Text(size_t at) const { return reinterpret_cast<const char*>(m_buffer + at); }

  static constexpr uint32_t kOp = kTokOperatorBase;
  CTokenTable m_table;
  uint32_t m_ops = 0;
  uint8_t m_buffer[kTokenBufferSize] = {};
};

TEST_F(TokenizerTest, LongestMatchAndWholeWords) {
  struct SCase {
    const char* text;
    std::vector<uint32_t> kinds;
  };
  const SCase cases[] = {
      {"a<>b", {kTokIdentifier, kOp + 1, kTokIdentifier}},
      {"a< >b", {kTokIdentifier, kOp + 0, kOp + 4, kTokIdentifier}},
      {"a==b=c", {kTokIdentifier, kOp + 3, kTokIdentifier, kOp + 2, kTokIdentifier}},
      {"NOT a XOR b", {kOp + 5, kTokIdentifier, kOp + 6, kTokIdentifier}},
      {"NOTE XORb", {kTokIdentifier, kTokIdentifier}},
      {"iffy double do if", {kTokIdentifier, kTokIdentifier, kTokDo, kTokIf}},
      {"int intx", {kTokTypeBase | 1, kTokIdentifier}},
      {"while(x){}", {kTokWhile, kTokLeftParen, kTokIdentifier, kTokRightParen, kTokLeftBrace,
                      kTokRightBrace}},
      {"a /* b */ c // d\n e", {kTokIdentifier, kTokIdentifier, kTokIdentifier}},
      {"a // b \\\n c\n d", {kTokIdentifier, kTokIdentifier}},
      {"a // open", {kTokIdentifier}},
      {"a /* open", {kTokIdentifier, kTokErrOpenComment}},
      {"\"abc", {kTokErrOpenString}},
      {"\"ab\nc\"", {kTokErrOpenString}},
      {"\"\\x41\"", {kTokErrBadEscape}},
      {"\"\\256\"", {kTokErrBadEscape}},
      {"''", {kTokErrBadChar}},
      {"'ab'", {kTokErrBadChar}},
      {"a @", {kTokIdentifier, kTokErrNoToken}},
      {"1.5e3", {kTokFloat, kTokIdentifier}},
      {"true false break continue return then else",
       {kTokTrue, kTokFalse, kTokBreak, kTokContinue, kTokReturn, kTokThen, kTokElse}},
  };
  for (const SCase& c : cases) EXPECT_EQ(Kinds(c.text), c.kinds) << c.text;
}

TEST_F(TokenizerTest, NumbersAndLiterals) {
  struct SInt {
    const char* text;
    uint32_t value;
  };
  const SInt ints[] = {{"0xFF", 255},   {"0xff", 255},     {"0x1g", 1},
                       {"42", 42},      {"'A'", 65},       {"'\\n'", 10},
                       {"'\\0x41'", 65}, {"'\\65'", 65},   {"4294967297", 1},
                       {"0x123456789", 0x23456789}};
  for (const SInt& c : ints) {
    ASSERT_EQ(First(c.text), kTokInteger) << c.text;
    EXPECT_EQ(U32(4), c.value) << c.text;
  }
  struct SFloat {
    const char* text;
    double value;
  };
  const SFloat floats[] = {{"3.", 3.0}, {".5", 0.5}, {"1.5e3", 1.5}, {"2.25", 2.25}};
  for (const SFloat& c : floats) {
    ASSERT_EQ(First(c.text), kTokFloat) << c.text;
    EXPECT_EQ(F64(), c.value) << c.text;
  }
  struct SString {
    const char* text;
    std::string value;
  };
  const SString strings[] = {
      {"\"\\0x41\"", "A"}, {"\"\\65\"", "A"}, {"\"a\\tb\"", "a\tb"},
      {"\"\\\"\\'\\?\\\\\"", "\"'?\\"}, {"\"\\a\\b\\f\\n\\r\\v\"", "\a\b\f\n\r\v"}, {"\"\"", ""}};
  for (const SString& c : strings) {
    ASSERT_EQ(Kinds(c.text), std::vector<uint32_t>{kTokString}) << c.text;
    EXPECT_EQ(U32(4), c.value.size() + 1) << c.text;
    EXPECT_EQ(std::string(Text(8)), c.value) << c.text;
  }
}

TEST_F(TokenizerTest, BufferLimits) {
  // 1024 bytes hold a kind, 1019 identifier characters and the NUL.
  EXPECT_EQ(Kinds(std::string(1019, 'a')), std::vector<uint32_t>{kTokIdentifier});
  EXPECT_EQ(Kinds(std::string(1020, 'a')), std::vector<uint32_t>{kTokErrTooLong});
  // Strings also keep their count: 1015 characters.
  EXPECT_EQ(Kinds("\"" + std::string(1015, 's') + "\""), std::vector<uint32_t>{kTokString});
  EXPECT_EQ(Kinds("\"" + std::string(1016, 's') + "\""), std::vector<uint32_t>{kTokErrTooLong});
}

TEST_F(TokenizerTest, LinesAndColumns) {
  CTokenizer tokenizer("a\r\n\tb\n\rc\n\n  d /* x\n y */ e");
  tokenizer.AttachTable(m_table.Entries());
  const uint32_t expected[][2] = {{1, 1}, {2, 3}, {3, 1}, {5, 3}, {6, 7}};
  for (const auto& position : expected) {
    ASSERT_EQ(tokenizer.NextToken(m_buffer, kTokenBufferSize), 0u);
    uint32_t line = 0;
    uint32_t column = 0;
    tokenizer.Position(&line, &column);
    EXPECT_EQ(line, position[0]);
    EXPECT_EQ(column, position[1]);
  }
  EXPECT_EQ(tokenizer.NextToken(m_buffer, kTokenBufferSize), err::kEof);
  EXPECT_STREQ(tokenizer.SourceName(), "");
}

TEST_F(TokenizerTest, RawReads) {
  CTokenizer tokenizer("x <file.h> rest\nnext");
  tokenizer.AttachTable(m_table.Entries());
  ASSERT_EQ(tokenizer.NextToken(m_buffer, kTokenBufferSize), 0u);
  EXPECT_EQ(tokenizer.ReadChar(), ' ');
  EXPECT_EQ(tokenizer.ReadChar(), '<');
  std::string text;
  EXPECT_EQ(tokenizer.ReadRaw('>', &text), 0u);
  EXPECT_EQ(text, "file.h");
  EXPECT_EQ(tokenizer.ReadRaw('>', &text), kTokErrNoDelimiter);
  tokenizer.SkipLine();
  ASSERT_EQ(tokenizer.NextToken(m_buffer, kTokenBufferSize), 0u);
  EXPECT_STREQ(Text(4), "next");
}

}  // namespace
