#include "base/byte_order.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Low byte first, at any position: the odd offset catches a load that
// assumes alignment, the high bytes one that sign-extends.
TEST(ByteOrderTest, ReadsLowByteFirstAtAnyPosition) {
  const uint8_t bytes[] = {0xAA, 0x78, 0x56, 0x34, 0xF2, 0xBB};
  EXPECT_EQ(GetLe32(bytes + 1), 0xF2345678u);
  EXPECT_EQ(GetLe16(bytes + 1), 0x5678u);
  EXPECT_EQ(GetLe16(bytes + 3), 0xF234u);
}

TEST(ByteOrderTest, WritesLowByteFirstAndNothingAround) {
  uint8_t bytes[7] = {};
  PutLe32(bytes + 1, 0x89ABCDEF);
  PutLe16(bytes + 5, 0x0102);
  const uint8_t expected[7] = {0x00, 0xEF, 0xCD, 0xAB, 0x89, 0x02, 0x01};
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 7),
            std::vector<uint8_t>(expected, expected + 7));
}

TEST(ByteOrderTest, AppendsToVectorsAndStrings) {
  std::vector<uint8_t> vector = {0x10};
  AppendLe16(&vector, 0xBEEF);
  AppendLe32(&vector, 0x00000102);
  EXPECT_EQ(vector, (std::vector<uint8_t>{0x10, 0xEF, 0xBE, 0x02, 0x01, 0x00, 0x00}));
  std::string text;
  AppendLe32(&text, 0x44434241);
  EXPECT_EQ(text, "ABCD");
}

}  // namespace
