#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "script/string_leak_check.h"

namespace {

std::string Text(StrHandle handle) { return std::string(CStrText(handle).view()); }

using ScriptString = CStrLeakTest;

TEST_F(ScriptString, BlockLayoutAndReferences) {
  const StrHandle s = StrNew("abc");
  ASSERT_NE(s, 0u);
  {
    CHandleLock lock(s);
    const uint8_t* bytes = lock.as<uint8_t>();
    // size = 3 characters + 6, then the count 1, the text and a NUL.
    EXPECT_EQ(bytes[0] | bytes[1] << 8, 9);
    EXPECT_EQ(bytes[2] | bytes[3] << 8, 1);
    EXPECT_EQ(std::memcmp(bytes + 4, "abc", 4), 0);
  }
  StrAddRef(s);
  EXPECT_EQ(StrRefCount(s), 2);
  StrRelease(s);
  EXPECT_EQ(StrRefCount(s), 1);
  StrRelease(s);
  StrRelease(0);
  EXPECT_EQ(StrRefCount(0), 0);
  EXPECT_EQ(Text(0), "");
}

TEST(ScriptStringEnd, FreeAllEndsEveryStringWhateverItsReferences) {
  const StrHandle a = StrNew("a");
  StrAddRef(a);
  const StrHandle b = StrNew("b");
  StrFreeAll();
  EXPECT_EQ(StrLiveCount(), 0u);
  EXPECT_EQ(HandleSize(a), 0u);
  EXPECT_EQ(HandleSize(b), 0u);
  EXPECT_EQ(StrRefCount(a), 0);
  StrRelease(a);  // a handle that is gone is no string any more
  EXPECT_EQ(StrLiveCount(), 0u);
}

TEST_F(ScriptString, EqualityAndOrder) {
  const StrHandle empty = StrNew("");
  const StrHandle abc = StrNew("abc");
  const StrHandle abc2 = StrNew("abc");
  const StrHandle upper = StrNew("ABD");
  const StrHandle ab = StrNew("ab");
  EXPECT_FALSE(StrEqual(0, empty));
  EXPECT_TRUE(StrEqual(0, 0));
  EXPECT_TRUE(StrEqual(abc, abc2));
  EXPECT_FALSE(StrEqual(abc, ab));
  struct SCase {
    StrHandle a, b;
    int exact, folded;
  };
  const SCase cases[] = {
      {0, empty, 0, 0},  {abc, abc2, 0, 0}, {ab, abc, -1, -1}, {abc, ab, 1, 1},
      {abc, upper, 1, -1},  // 'a' > 'A', but 'c' < 'd'
      {0, ab, -1, -1},
  };
  for (const SCase& c : cases) {
    EXPECT_EQ(StrCompare(c.a, c.b, false), c.exact);
    EXPECT_EQ(StrCompare(c.a, c.b, true), c.folded);
  }
  for (StrHandle s : {empty, abc, abc2, upper, ab}) StrRelease(s);
}

TEST_F(ScriptString, ConcatenationSharesANullSide) {
  const StrHandle a = StrNew("Tar");
  const StrHandle b = StrNew("volin");
  const StrHandle ab = StrConcat(a, b);
  EXPECT_EQ(Text(ab), "Tarvolin");
  EXPECT_EQ(StrRefCount(ab), 1);
  const StrHandle same = StrConcat(0, b);
  EXPECT_EQ(same, b);
  EXPECT_EQ(StrRefCount(b), 2);
  EXPECT_EQ(StrConcat(0, 0), 0u);
  // A handle that is no string counts as null.
  const StrHandle other = AllocHandle(16);
  const StrHandle also_b = StrConcat(other, b);
  EXPECT_EQ(also_b, b);
  EXPECT_EQ(StrRefCount(b), 3);
  FreeHandle(other);
  for (StrHandle s : {a, b, ab, same, also_b}) StrRelease(s);
}

TEST_F(ScriptString, AppendMakesUniqueFirst) {
  const StrHandle shared = StrNew("ab");
  StrAddRef(shared);  // a second holder
  const StrHandle tail = StrNew("cd");
  const StrHandle appended = StrAppend(shared, tail);
  EXPECT_NE(appended, shared);
  EXPECT_EQ(Text(appended), "abcd");
  EXPECT_EQ(Text(shared), "ab");
  EXPECT_EQ(StrRefCount(shared), 1);
  // Unique now: changed in place, growing as needed.
  StrHandle grown = appended;
  for (int i = 0; i < 100; ++i) grown = StrAppend(grown, tail);
  EXPECT_EQ(grown, appended);
  EXPECT_EQ(Text(grown).size(), 4u + 200u);
  // Appending a string to itself.
  const StrHandle twice = StrAppend(shared, shared);
  EXPECT_EQ(Text(twice), "abab");
  // A null target becomes the source.
  EXPECT_EQ(StrAppend(0, tail), tail);
  EXPECT_EQ(StrRefCount(tail), 2);
  for (StrHandle s : {tail, tail, grown, twice}) StrRelease(s);
}

TEST_F(ScriptString, LengthIsCutAtTheSizeField) {
  const std::string long_text(kMaxStrLength + 10, 'x');
  const StrHandle s = StrNew(long_text);
  EXPECT_EQ(CStrText(s).view().size(), 65529u);
  const StrHandle more = StrNew("y");
  const StrHandle same = StrAppend(s, more);
  EXPECT_EQ(CStrText(same).view().size(), 65529u);
  StrRelease(same);
  StrRelease(more);
}

TEST_F(ScriptString, CaseConversionTouchesLettersOnly) {
  const StrHandle s = StrNew("aZ09@[`{\xE9");
  StrAddRef(s);
  const StrHandle upper = StrToUpper(s);
  EXPECT_NE(upper, s);  // shared, so copied
  EXPECT_EQ(Text(upper), "AZ09@[`{\xE9");
  const StrHandle lower = StrToLower(upper);
  EXPECT_EQ(lower, upper);  // unique, so in place
  EXPECT_EQ(Text(lower), "az09@[`{\xE9");
  EXPECT_EQ(StrToUpper(0), 0u);
  StrRelease(s);
  StrRelease(s);
  StrRelease(lower);
}

TEST_F(ScriptString, CharacterLookups) {
  const StrHandle s = StrNew("hello\xE9");
  struct SCase {
    int32_t code, position;
  };
  const SCase finds[] = {{'l', 2}, {'h', 0}, {'z', -1}, {0, -1}, {0xE9, 5}, {-23, 5},
                         {'o' + 256, 4}};
  for (const SCase& c : finds) EXPECT_EQ(StrFindChr(s, c.code), c.position) << c.code;
  EXPECT_EQ(StrFindChr(0, 'a'), -1);
  const SCase chars[] = {{0, 'h'}, {4, 'o'}, {5, -23}, {6, 0}, {-1, 0}};
  for (const SCase& c : chars) EXPECT_EQ(StrGetChr(s, c.code), c.position) << c.code;
  EXPECT_EQ(StrGetChr(0, 0), 0);
  char buffer[4];
  EXPECT_EQ(StrCopyOut(s, buffer, sizeof buffer), 3u);
  EXPECT_STREQ(buffer, "hel");
  EXPECT_EQ(StrCopyOut(0, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "");
  StrRelease(s);
}

TEST_F(ScriptString, ShortStringsAndCasts) {
  uint8_t bytes[kPstrSize + 1];
  bytes[kPstrSize] = 0xAA;  // the byte after the short string
  uint8_t* pstr = bytes;
  PstrFromBool(true, pstr);
  EXPECT_EQ(pstr[0], 4);
  EXPECT_EQ(PstrText(pstr), "true");
  PstrFromBool(false, pstr);
  EXPECT_EQ(PstrText(pstr), "false");
  EXPECT_EQ(pstr[6], 0);
  PstrSet(pstr, std::string(300, 'q'));
  // 255 characters fill the 256 bytes; there is no room for the NUL.
  EXPECT_EQ(pstr[0], 255);
  EXPECT_EQ(pstr[255], 'q');
  EXPECT_EQ(bytes[kPstrSize], 0xAA);
  const StrHandle s = StrFromPstr(pstr);
  EXPECT_EQ(CStrText(s).view(), std::string(255, 'q'));
  StrRelease(s);
}

}  // namespace
