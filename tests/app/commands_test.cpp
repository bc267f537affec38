// The event filter's character rule: while a table is set, only the
// characters it allows reach the windows.
#include "app/commands.h"

#include <gtest/gtest.h>

namespace {

SEventRecord Character(uint32_t code) {
  SEventRecord record;
  record.code = kEvChar;
  record.p1 = code;
  return record;
}

TEST(CommandFilterTest, TheCharacterFilterConsumesWhatItsTableDoesNotAllow) {
  CCommandFilter filter(nullptr, true);
  EXPECT_TRUE(filter.Pass(Character('b')));
  EXPECT_TRUE(filter.Pass(Character(0x100)));

  std::bitset<256> allowed;
  allowed.set('a');
  allowed.set(0xFF);
  filter.SetCharacterFilter(&allowed);
  EXPECT_TRUE(filter.Pass(Character('a')));
  EXPECT_TRUE(filter.Pass(Character(0xFF)));
  EXPECT_FALSE(filter.Pass(Character('b')));
  // Codes beyond Latin-1 are never allowed, whatever their low byte.
  EXPECT_FALSE(filter.Pass(Character(0x161)));
  SEventRecord key = Character('b');
  key.code = kEvKeyDown;
  EXPECT_TRUE(filter.Pass(key));

  filter.SetCharacterFilter(nullptr);
  EXPECT_TRUE(filter.Pass(Character('b')));
}

}  // namespace
