// Handle table, pools and memory accounting.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/memory.h"

namespace {

using enum EMemCategory;
using enum EHandleOp;
using Ops = std::vector<EHandleOp>;

constexpr uint64_t kTableStepBytes = kHandleTableStep * sizeof(SHandleEntry);
uint64_t Used(EMemCategory category) { return MemCounter(category).used; }

// The table's entry count and capacity, and the handle memory in use.
void ExpectTable(uint32_t count, uint32_t capacity, uint64_t handle_bytes) {
  EXPECT_EQ(HandleTableCount(), count);
  EXPECT_EQ(HandleTableCapacity(), capacity);
  EXPECT_EQ(Used(kHandle), handle_bytes);
}

// A custom handler that records its calls and serves g_handler_bytes.
Ops g_operations;
uintptr_t g_resize_argument = 0;
char g_handler_bytes[32];
bool g_make_available_fails = false;

intptr_t RecordingHandler(EHandleOp operation, SHandleEntry* entry, uintptr_t argument) {
  g_operations.push_back(operation);
  if (operation == kResize) g_resize_argument = argument;
  if (operation == kMakeAvailable) {
    if (g_make_available_fails) return 0;
    entry->pointer = g_handler_bytes;
  }
  return 1;
}

class MemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_operations.clear();
    TakeEarlyLog();  // bad-block reports collect here while no log view exists
  }
  void TearDown() override {
    ResetHandleTable();
    ResetMemAccounting();
  }
};

TEST_F(MemoryTest, HandlerCallsFollowFirstLockAndLastUnlock) {
  const MemHandle handle = AllocCustomHandle(RecordingHandler, 7);
  ASSERT_EQ(handle, 1u);
  g_make_available_fails = true;
  EXPECT_EQ(LockHandle(handle), nullptr);
  EXPECT_EQ(HandleLockCount(handle), 0u);
  g_make_available_fails = false;
  EXPECT_EQ(LockHandle(handle), g_handler_bytes);  // asks the handler again
  EXPECT_EQ(LockHandle(handle), g_handler_bytes);
  UnlockHandle(handle);
  EXPECT_EQ(HandleLockCount(handle), 1u);
  EXPECT_EQ(HandleLockedPointer(handle), g_handler_bytes);
  EXPECT_EQ(g_operations, (Ops{kMakeAvailable, kMakeAvailable}));
  UnlockHandle(handle);
  EXPECT_TRUE(ResizeHandle(handle, 77));
  FreeHandle(handle);
  EXPECT_EQ(g_operations, (Ops{kMakeAvailable, kMakeAvailable, kReleased, kResize, kFree}));
  EXPECT_EQ(g_resize_argument, 77u);
  // A handler set on a pool handle gives the pool block back.
  SetHandleHandler(AllocHandle(100), RecordingHandler, 0);
  ExpectTable(1, kHandleTableStep, kTableStepBytes);
  EXPECT_EQ(LockHandle(1), g_handler_bytes);
  ResetHandleTable();
  EXPECT_EQ(g_operations.back(), kFree);
  ExpectTable(0, 0, 0);
}

TEST_F(MemoryTest, PoolBlockLocking) {
  const MemHandle handle = AllocHandle(64);
  char* pointer = static_cast<char*>(LockHandle(handle));
  ASSERT_NE(pointer, nullptr);
  EXPECT_EQ(LockHandle(handle), pointer);
  UnlockHandle(handle);
  EXPECT_EQ(Used(kLocked), 64u);
  EXPECT_EQ(HandleLockedPointer(handle), pointer);
  EXPECT_EQ(MemTotalCounter().used, kTableStepBytes + 64);  // locked bytes count once
  UnlockHandle(handle);
  EXPECT_EQ(Used(kLocked), 0u);
  UnlockHandle(handle);  // one too many
  EXPECT_EQ(HandleLockCount(handle), 0u);
  SetMemLimit(kLocked, 63);
  EXPECT_EQ(LockHandle(handle), nullptr);
  EXPECT_EQ(Used(kLocked), 0u);
  SetMemLimit(kLocked, kNoMemLimit);
  std::memcpy(LockHandle(handle), "abcd", 4);
  ASSERT_TRUE(ResizeHandle(handle, 1000));
  EXPECT_EQ(std::memcmp(HandleLockedPointer(handle), "abcd", 4), 0);
  EXPECT_EQ(Used(kLocked), 1000u);
  FreeHandle(handle);  // while locked
  ExpectTable(0, 0, 0);
  EXPECT_EQ(Used(kLocked), 0u);
}

TEST_F(MemoryTest, FreedEntriesAreReusedAndOnlyTheLastOneShrinks) {
  EXPECT_EQ(AllocHandle(0), 0u);
  for (MemHandle expected = 1; expected <= 4; ++expected) EXPECT_EQ(AllocHandle(8), expected);
  FreeHandle(2);
  EXPECT_EQ(AllocHandle(8), 2u);
  FreeHandle(1);
  FreeHandle(3);
  EXPECT_EQ(HandleTableCount(), 4u);
  for (MemHandle expected : {3u, 1u, 5u}) EXPECT_EQ(AllocHandle(8), expected);
  FreeHandle(4);
  FreeHandle(5);
  EXPECT_EQ(HandleTableCount(), 4u);  // handle 4 stays behind as a free entry
  for (MemHandle bad : {0u, 4u, 5u, 0xFFFFFFFFu}) {
    EXPECT_EQ(LockHandle(bad), nullptr);
    EXPECT_FALSE(ResizeHandle(bad, 8));
    EXPECT_EQ(HandleSize(bad), 0u);
    EXPECT_EQ(HandleLockCount(bad), 0u);
    EXPECT_EQ(HandleLockedPointer(bad), nullptr);
    UnlockHandle(bad);
    FreeHandle(bad);
  }
  EXPECT_EQ(AllocHandle(8), 4u);
  EXPECT_EQ(AllocHandle(8), 5u);
}

TEST_F(MemoryTest, TableGrowsAndShrinksInSteps) {
  for (MemHandle expected = 1; expected <= kHandleTableStep; ++expected)
    ASSERT_EQ(AllocHandle(1), expected);
  ExpectTable(4096, 4096, kTableStepBytes + 4096);
  EXPECT_EQ(AllocHandle(1), 4097u);
  ExpectTable(4097, 8192, 2 * kTableStepBytes + 4097);
  EXPECT_EQ(AllocHandle(1), 4098u);
  FreeHandle(4098);
  ExpectTable(4097, 8192, 2 * kTableStepBytes + 4097);
  FreeHandle(4097);
  ExpectTable(4096, 4096, kTableStepBytes + 4096);
  for (MemHandle handle = kHandleTableStep; handle >= 1; --handle) FreeHandle(handle);
  ExpectTable(0, 0, 0);
}

TEST_F(MemoryTest, LimitRefusalLeavesCountersUnchanged) {
  SetMemLimit(kHandle, kTableStepBytes);  // room for the table but not a block
  EXPECT_EQ(AllocHandle(1), 0u);
  ExpectTable(0, 0, 0);
  SetMemLimit(kHandle, kTableStepBytes + 150);
  EXPECT_EQ(AllocHandle(100), 1u);
  EXPECT_EQ(AllocHandle(50), 2u);  // exactly reaches the limit
  EXPECT_EQ(AllocHandle(1), 0u);
  EXPECT_FALSE(ResizeHandle(1, 101));
  EXPECT_EQ(HandleSize(1), 100u);
  ExpectTable(2, 4096, kTableStepBytes + 150);
  EXPECT_EQ(MemTotalCounter().used, kTableStepBytes + 150);
  FreeHandle(2);
  ExpectTable(1, 4096, kTableStepBytes + 100);
  EXPECT_EQ(MemCounter(kHandle).max, kTableStepBytes + 150);

  SetMemTotalLimit(kTableStepBytes + 160);  // the total limit binds every category
  EXPECT_FALSE(MemAccount(kNew, 61));
  EXPECT_EQ(Used(kNew), 0u);
  EXPECT_TRUE(MemAccount(kNew, 60));
  EXPECT_TRUE(MemAccount(kLocked, 500));  // not part of the total
  EXPECT_EQ(MemTotalCounter().used, kTableStepBytes + 160);
}

TEST_F(MemoryTest, StatsTextAndPeaks) {
  MemAccount(kHandle, 100);
  MemAccount(kPtr, 30);
  MemAccount(kPtr, -10);
  MemAccount(kLocked, 40);
  SetMemLimit(kNew, 5000);
  EXPECT_EQ(MemoryStatsText(),
            "Mem Used: 120\nHandle Mem Used: 100\nPtr Mem Used: 20\nNew Mem Used: 0\n"
            "Max Mem Used: 130\nMax Handle Mem Used: 100\nMax Ptr Mem Used: 30\n"
            "Max New Mem Used: 0\nMem Limit: -1\nHandle Mem Limit: -1\nPtr Mem Limit: -1\n"
            "New Mem Limit: 5000\nHLocked Mem: 40\nMax HLocked Mem: 40\n"
            "HLocked Mem Limit: -1\n");
  EXPECT_EQ(MemPeakTotal(), 130u);
  EXPECT_EQ(MemPeakHandles(), 100u);
  EXPECT_EQ(MemPeakPtrs(), 30u);
}

std::string BadBlockReport(void* block, int size, int offset) {
  char text[80];
  std::snprintf(text, sizeof text, "Bad block at %08x size %d at offset %d\n",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(block)), size, offset);
  return text;
}

TEST_F(MemoryTest, PointerPoolsAlignAndGuardTheirBlocks) {
  CAlignedPtrPool aligned(256);
  for (void* block : {aligned.Allocate(3), aligned.Reallocate(aligned.Allocate(5), 700)}) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 256, 0u);
    aligned.Free(block);
  }
  // The debug pool reports the first damaged guard byte.
  CDbgPtrPool pool;
  char* block = static_cast<char*>(pool.Allocate(10));
  block[10] = 0;  // one past the end
  EXPECT_FALSE(pool.CheckBlock(block));
  block[-3] = 0;
  block[-16] = 0;
  pool.Free(block);
  EXPECT_EQ(TakeEarlyLog(), BadBlockReport(block, 10, 10) + BadBlockReport(block, 10, -16));
  // Reallocation moves the trailing guard; intact blocks pass without a report.
  block = static_cast<char*>(pool.Reallocate(pool.Allocate(4), 20));
  std::memset(block, 1, 20);
  EXPECT_TRUE(pool.CheckBlock(block));
  EXPECT_FALSE(HasEarlyLog());
  block[23] = 0;
  pool.Free(block);
  EXPECT_EQ(TakeEarlyLog(), BadBlockReport(block, 20, 23));
  EXPECT_EQ(Used(kPtr), 0u);
}

}  // namespace
