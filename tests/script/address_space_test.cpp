#include <gtest/gtest.h>

#include "script/address_space.h"

namespace {

TEST(AddressSpace, ResolutionChecksTheWholeValue) {
  CScriptAddressSpace space;
  uint8_t stack[8] = {};
  const ScriptAddr base = space.Map(stack, sizeof stack);
  // The first region takes slot 1: 1 << 20.
  EXPECT_EQ(base, 0x100000u);
  struct SCase {
    uint32_t offset, size;
    bool resolves;
  };
  const SCase cases[] = {{0, 8, true},  {4, 4, true},  {7, 1, true},  {5, 4, false},
                         {8, 1, false}, {0, 9, false}, {8, 0, true},  {9, 0, false},
                         {0xFFFFF, 1, false}};
  for (const SCase& c : cases) {
    uint8_t* bytes = space.Resolve(base + c.offset, c.size);
    EXPECT_EQ(bytes != nullptr, c.resolves) << c.offset << "+" << c.size;
    if (bytes) {
      EXPECT_EQ(bytes, stack + c.offset);
    }
  }
  EXPECT_EQ(space.Resolve(0, 1), nullptr);
  EXPECT_EQ(space.Resolve(0x200000, 1), nullptr);
  EXPECT_EQ(space.Resolve(0xFFFFFFFF, 1), nullptr);
}

TEST(AddressSpace, ReadAndWriteFailAsValues) {
  CScriptAddressSpace space;
  uint8_t global[4] = {};
  const ScriptAddr at = space.Map(global, sizeof global);
  EXPECT_EQ(space.Store(at, int32_t{-2}), err::kOk);
  EXPECT_EQ(global[0], 0xFE);
  EXPECT_EQ(global[3], 0xFF);
  int32_t value = 7;
  EXPECT_EQ(space.Load(at + 1, &value), kAddressFault);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(space.Store(at + 2, int32_t{0}), kAddressFault);
  EXPECT_EQ(global[2], 0xFF);
  EXPECT_EQ(space.Load(at, &value), err::kOk);
  EXPECT_EQ(value, -2);
}

TEST(AddressSpace, RegionsComeAndGo) {
  CScriptAddressSpace space;
  uint8_t a[4], b[4], c[4];
  EXPECT_EQ(space.Map(a, 0), 0u);
  EXPECT_EQ(space.Map(nullptr, 4), 0u);
  static uint8_t big[CScriptAddressSpace::kMaxRegionSize + 1];
  EXPECT_EQ(space.Map(big, sizeof big), 0u);
  EXPECT_EQ(space.Map(big, CScriptAddressSpace::kMaxRegionSize), 0x100000u);
  const ScriptAddr at_a = space.Map(a, 4);
  const ScriptAddr at_b = space.Map(b, 4);
  EXPECT_EQ(at_a, 0x200000u);
  EXPECT_EQ(at_b, 0x300000u);
  space.Unmap(at_a);
  EXPECT_EQ(space.Resolve(at_a, 1), nullptr);
  EXPECT_EQ(space.Resolve(at_b, 4), b);
  // A freed middle slot is taken again.
  EXPECT_EQ(space.Map(c, 4), at_a);
  EXPECT_EQ(space.MappedCount(), 3u);
  space.Unmap(at_a + 3);  // any address inside names its region
  space.Unmap(at_a);      // unmapping twice does nothing
  EXPECT_EQ(space.MappedCount(), 2u);
}

TEST(AddressSpace, MappedRegionUnmapsAtScopeEnd) {
  CScriptAddressSpace space;
  uint8_t bytes[16];
  ScriptAddr at;
  {
    CMappedRegion region(bytes, sizeof bytes, space);
    at = region.Address();
    EXPECT_EQ(space.Resolve(at + 12, 4), bytes + 12);
  }
  EXPECT_EQ(space.Resolve(at, 1), nullptr);
  EXPECT_EQ(space.MappedCount(), 0u);
}

}  // namespace
