// The one text form of script values.
#include "script/value_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "script/library.h"

namespace {

template <typename... T>
std::vector<uint8_t> Bytes(T... values) {
  std::vector<uint8_t> bytes;
  for (const auto value : {values...}) {
    const size_t at = bytes.size();
    bytes.resize(at + sizeof value);
    std::memcpy(bytes.data() + at, &value, sizeof value);
  }
  return bytes;
}

std::string Text(uint16_t type, const std::vector<uint8_t>& bytes) {
  return ValueText({type, bytes.data(), std::nullopt});
}

std::string Quoted(std::optional<std::string_view> text) {
  return ValueText({lib::kStr, nullptr, text});
}

TEST(ValueTextTest, NumbersPointsAndRectangles) {
  const struct {
    uint16_t type;
    std::vector<uint8_t> bytes;
    const char* expected;
  } kCases[] = {
      {lib::kInt, Bytes(int32_t{-2147483647 - 1}), "-2147483648"},
      {lib::kInt, Bytes(int32_t{0}), "0"},
      {lib::kFloat, Bytes(2.5), "2.5"},
      {lib::kFloat, Bytes(1e20), "1e+20"},
      {lib::kFloat, Bytes(1.0 / 3), "0.333333"},
      {lib::kBool, {1}, "true"},
      {lib::kBool, {0}, "false"},
      {lib::kPoint, Bytes(int16_t{-4}, int16_t{9}), "{-4, 9}"},
      {lib::kRect, Bytes(int16_t{0}, int16_t{-1}, int16_t{32767}, int16_t{-32768}),
       "{0, -1, 32767, -32768}"},
      {2, Bytes(int32_t{7}), "(type 2)"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Text(c.type, c.bytes), c.expected) << c.expected;
}

TEST(ValueTextTest, StringsAreQuotedInPlainAscii) {
  EXPECT_EQ(Quoted(std::nullopt), "(null)");
  EXPECT_EQ(Quoted(""), "\"\"");
  EXPECT_EQ(Quoted("say \"hi\"\\"), "\"say \\\"hi\\\"\\\\\"");
  EXPECT_EQ(Quoted("a\nb\tc\rd"), "\"a\\nb\\x09c\\x0Dd\"");
  // The edges of the printable range, and Latin-1 letters.
  EXPECT_EQ(Quoted(std::string_view("\x1F \x7E\x7F\xE9\xFF", 6)), "\"\\x1F ~\\x7F\\xE9\\xFF\"");
  EXPECT_EQ(Quoted(std::string_view("a\0b", 3)), "\"a\\x00b\"");
  const std::vector<uint8_t> pstr(256, 0);
  EXPECT_EQ(ValueText({lib::kPstr, pstr.data(), "x"}), "\"x\"");
}

TEST(ValueTextTest, ItemsByTheirVariableName) {
  const ItemNamer names = [](uint32_t handle) {
    return handle == 0x1234 ? std::string("Key") : std::string();
  };
  EXPECT_EQ(ValueText({lib::kItem, Bytes(uint32_t{0x1234}).data(), {}}, names), "item:Key");
  EXPECT_EQ(ValueText({lib::kItem, Bytes(uint32_t{0x99}).data(), {}}, names), "item:0");
  EXPECT_EQ(Text(lib::kItem, Bytes(uint32_t{0x1234})), "item:0");
}

}  // namespace
