// Handle table, pools and memory accounting.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/base/log.h"
#include "app/base/memory.h"

namespace {

constexpr uint64_t kTableStepBytes = kHandleTableStep * sizeof(SHandleEntry);

uint64_t Used(EMemCategory category) { return MemCounter(category).used; }

class MemoryTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    ResetHandleTable();
    ResetMemAccounting();
  }
};

// A custom handler that records its calls and serves bytes from `data`.
struct SHandlerCall {
  EHandleOp operation;
  uintptr_t argument;
};
std::vector<SHandlerCall> g_calls;
char g_handler_bytes[32];
bool g_make_available_fails = false;

intptr_t RecordingHandler(EHandleOp operation, SHandleEntry* entry,
                          uintptr_t argument) {
  g_calls.push_back({operation, argument});
  if (operation == EHandleOp::kMakeAvailable) {
    if (g_make_available_fails) return 0;
    entry->pointer = g_handler_bytes;
  }
  return 1;
}

std::vector<EHandleOp> Operations() {
  std::vector<EHandleOp> operations;
  for (const SHandlerCall& call : g_calls) operations.push_back(call.operation);
  return operations;
}

class CustomHandleTest : public MemoryTest {
 protected:
  void SetUp() override {
    MemoryTest::SetUp();
    g_calls.clear();
    g_make_available_fails = false;
  }
};

TEST_F(CustomHandleTest, DoubleLockSingleUnlockStaysLocked) {
  const MemHandle handle = AllocCustomHandle(RecordingHandler, 7);
  ASSERT_EQ(handle, 1u);
  EXPECT_EQ(LockHandle(handle), g_handler_bytes);
  EXPECT_EQ(LockHandle(handle), g_handler_bytes);
  UnlockHandle(handle);
  EXPECT_EQ(HandleLockCount(handle), 1u);
  EXPECT_EQ(HandleLockedPointer(handle), g_handler_bytes);
  EXPECT_EQ(Operations(), std::vector<EHandleOp>{EHandleOp::kMakeAvailable});
  UnlockHandle(handle);
  EXPECT_EQ(HandleLockCount(handle), 0u);
  EXPECT_EQ(HandleLockedPointer(handle), nullptr);
  EXPECT_EQ(Operations(), (std::vector<EHandleOp>{EHandleOp::kMakeAvailable,
                                                  EHandleOp::kReleased}));
}

TEST_F(CustomHandleTest, OperationsInOrderWithResizeArgument) {
  const MemHandle handle = AllocCustomHandle(RecordingHandler, 0);
  EXPECT_EQ(HandleSize(handle), 0u);
  LockHandle(handle);
  UnlockHandle(handle);
  EXPECT_TRUE(ResizeHandle(handle, 77));
  FreeHandle(handle);
  EXPECT_EQ(Operations(),
            (std::vector<EHandleOp>{EHandleOp::kMakeAvailable,
                                    EHandleOp::kReleased, EHandleOp::kResize,
                                    EHandleOp::kFree}));
  EXPECT_EQ(g_calls[2].argument, 77u);
  EXPECT_EQ(HandleTableCount(), 0u);
}

TEST_F(CustomHandleTest, FailedMakeAvailableLeavesCountAndRetries) {
  const MemHandle handle = AllocCustomHandle(RecordingHandler, 0);
  g_make_available_fails = true;
  EXPECT_EQ(LockHandle(handle), nullptr);
  EXPECT_EQ(HandleLockCount(handle), 0u);
  g_make_available_fails = false;
  EXPECT_EQ(LockHandle(handle), g_handler_bytes);
  EXPECT_EQ(HandleLockCount(handle), 1u);
  EXPECT_EQ(g_calls.size(), 2u);
}

TEST_F(CustomHandleTest, HandlerReplacesPoolBlock) {
  const MemHandle handle = AllocHandle(100);
  SetHandleHandler(handle, RecordingHandler, 0);
  EXPECT_EQ(HandleSize(handle), 0u);
  EXPECT_EQ(Used(EMemCategory::kHandle), kTableStepBytes);
  EXPECT_EQ(LockHandle(handle), g_handler_bytes);
  ResetHandleTable();
  EXPECT_EQ(Operations(), (std::vector<EHandleOp>{EHandleOp::kMakeAvailable,
                                                  EHandleOp::kFree}));
  EXPECT_EQ(Used(EMemCategory::kHandle), 0u);
  EXPECT_EQ(HandleTableCapacity(), 0u);
}

TEST_F(MemoryTest, PoolUnlockOnlyAtLastUnlock) {
  const MemHandle handle = AllocHandle(64);
  void* pointer = LockHandle(handle);
  ASSERT_NE(pointer, nullptr);
  EXPECT_EQ(LockHandle(handle), pointer);
  EXPECT_EQ(Used(EMemCategory::kLocked), 64u);
  UnlockHandle(handle);
  EXPECT_EQ(Used(EMemCategory::kLocked), 64u);
  EXPECT_EQ(HandleLockedPointer(handle), pointer);
  UnlockHandle(handle);
  EXPECT_EQ(Used(EMemCategory::kLocked), 0u);
  EXPECT_EQ(HandleLockedPointer(handle), nullptr);
  // Locked memory is not counted in the total a second time.
  EXPECT_EQ(MemTotalCounter().max, kTableStepBytes + 64);
  UnlockHandle(handle);
  EXPECT_EQ(HandleLockCount(handle), 0u);
}

TEST_F(MemoryTest, FreedEntriesAreReusedLastFreedFirst) {
  EXPECT_EQ(AllocHandle(0), 0u);
  const MemHandle a = AllocHandle(8);
  const MemHandle b = AllocHandle(8);
  const MemHandle c = AllocHandle(8);
  const MemHandle d = AllocHandle(8);
  EXPECT_EQ(std::vector<MemHandle>({a, b, c, d}),
            std::vector<MemHandle>({1, 2, 3, 4}));
  FreeHandle(b);
  EXPECT_EQ(AllocHandle(8), 2u);
  FreeHandle(a);
  FreeHandle(c);
  EXPECT_EQ(HandleTableCount(), 4u);
  EXPECT_EQ(AllocHandle(8), 3u);
  EXPECT_EQ(AllocHandle(8), 1u);
  EXPECT_EQ(AllocHandle(8), 5u);
}

TEST_F(MemoryTest, FreeingLastEntryShrinksByOne) {
  AllocHandle(8);
  const MemHandle b = AllocHandle(8);
  const MemHandle c = AllocHandle(8);
  FreeHandle(b);
  FreeHandle(c);
  // Entry 2 (handle 2) stays behind as a free entry at the end.
  EXPECT_EQ(HandleTableCount(), 2u);
  EXPECT_EQ(LockHandle(b), nullptr);
  EXPECT_EQ(AllocHandle(8), 2u);
  EXPECT_EQ(AllocHandle(8), 3u);
}

TEST_F(MemoryTest, TableGrowsAndShrinksInSteps) {
  std::vector<MemHandle> handles;
  for (uint32_t i = 0; i < kHandleTableStep; ++i) handles.push_back(AllocHandle(1));
  EXPECT_EQ(handles.back(), 4096u);
  EXPECT_EQ(HandleTableCapacity(), 4096u);
  EXPECT_EQ(Used(EMemCategory::kHandle), kTableStepBytes + 4096);

  const MemHandle extra = AllocHandle(1);
  EXPECT_EQ(extra, 4097u);
  EXPECT_EQ(HandleTableCapacity(), 8192u);
  EXPECT_EQ(Used(EMemCategory::kHandle), 2 * kTableStepBytes + 4097);
  EXPECT_EQ(AllocHandle(1), 4098u);
  EXPECT_EQ(HandleTableCapacity(), 8192u);

  FreeHandle(4098);
  EXPECT_EQ(HandleTableCapacity(), 8192u);
  FreeHandle(extra);
  EXPECT_EQ(HandleTableCount(), 4096u);
  EXPECT_EQ(HandleTableCapacity(), 4096u);
  EXPECT_EQ(Used(EMemCategory::kHandle), kTableStepBytes + 4096);

  for (auto it = handles.rbegin(); it != handles.rend(); ++it) FreeHandle(*it);
  EXPECT_EQ(HandleTableCount(), 0u);
  EXPECT_EQ(HandleTableCapacity(), 0u);
  EXPECT_EQ(Used(EMemCategory::kHandle), 0u);
}

TEST_F(MemoryTest, LimitRefusalLeavesCountersUnchanged) {
  const MemHandle first = AllocHandle(100);
  SetMemLimit(EMemCategory::kHandle, kTableStepBytes + 150);
  EXPECT_EQ(AllocHandle(50), 2u);  // exactly reaches the limit
  EXPECT_EQ(AllocHandle(1), 0u);
  EXPECT_EQ(Used(EMemCategory::kHandle), kTableStepBytes + 150);
  EXPECT_EQ(MemCounter(EMemCategory::kHandle).max, kTableStepBytes + 150);
  EXPECT_EQ(MemTotalCounter().used, kTableStepBytes + 150);
  EXPECT_EQ(HandleTableCount(), 2u);
  EXPECT_FALSE(ResizeHandle(first, 101));
  EXPECT_EQ(HandleSize(first), 100u);
  FreeHandle(2);
  EXPECT_EQ(Used(EMemCategory::kHandle), kTableStepBytes + 100);
  EXPECT_EQ(MemCounter(EMemCategory::kHandle).max, kTableStepBytes + 150);
}

TEST_F(MemoryTest, TableGrowthFailureGivesBlockBack) {
  SetMemLimit(EMemCategory::kHandle, kTableStepBytes);  // no room for a block
  EXPECT_EQ(AllocHandle(1), 0u);
  EXPECT_EQ(Used(EMemCategory::kHandle), 0u);
  EXPECT_EQ(HandleTableCount(), 0u);
}

TEST_F(MemoryTest, LockedLimitFailsLock) {
  const MemHandle handle = AllocHandle(40);
  SetMemLimit(EMemCategory::kLocked, 39);
  EXPECT_EQ(LockHandle(handle), nullptr);
  EXPECT_EQ(HandleLockCount(handle), 0u);
  EXPECT_EQ(Used(EMemCategory::kLocked), 0u);
}

TEST_F(MemoryTest, MissingHandlesAreRejected) {
  const MemHandle handle = AllocHandle(16);
  for (MemHandle bad : {MemHandle{0}, handle + 1, MemHandle{0xFFFFFFFF}}) {
    EXPECT_EQ(LockHandle(bad), nullptr);
    EXPECT_FALSE(ResizeHandle(bad, 8));
    EXPECT_EQ(HandleSize(bad), 0u);
    EXPECT_EQ(HandleLockCount(bad), 0u);
    EXPECT_EQ(HandleLockedPointer(bad), nullptr);
    UnlockHandle(bad);
    FreeHandle(bad);
  }
  EXPECT_EQ(HandleTableCount(), 1u);
  EXPECT_EQ(HandleSize(handle), 16u);
}

TEST_F(MemoryTest, ResizeKeepsBytesAndLockedPointer) {
  const MemHandle handle = AllocHandle(4);
  std::memcpy(LockHandle(handle), "abcd", 4);
  ASSERT_TRUE(ResizeHandle(handle, 1000));
  EXPECT_EQ(HandleSize(handle), 1000u);
  EXPECT_EQ(Used(EMemCategory::kLocked), 1000u);
  EXPECT_EQ(std::memcmp(HandleLockedPointer(handle), "abcd", 4), 0);
  EXPECT_EQ(Used(EMemCategory::kHandle), kTableStepBytes + 1000);
  FreeHandle(handle);
  EXPECT_EQ(Used(EMemCategory::kLocked), 0u);
  EXPECT_EQ(Used(EMemCategory::kHandle), 0u);
}

TEST_F(MemoryTest, OwnersReleaseTheirHandles) {
  {
    CHandle owner(AllocHandle(10));
    CHandleLock lock(owner.get());
    ASSERT_TRUE(lock);
    EXPECT_EQ(HandleLockCount(owner.get()), 1u);
    CHandleLock nothing(0);
    EXPECT_FALSE(nothing);
  }
  EXPECT_EQ(HandleTableCount(), 0u);
  EXPECT_EQ(Used(EMemCategory::kLocked), 0u);
}

TEST_F(MemoryTest, AccountingCategoryAndTotal) {
  SetMemTotalLimit(100);
  EXPECT_TRUE(MemAccount(EMemCategory::kPtr, 60));
  EXPECT_FALSE(MemAccount(EMemCategory::kNew, 41));  // total would be 101
  EXPECT_EQ(Used(EMemCategory::kNew), 0u);
  EXPECT_TRUE(MemAccount(EMemCategory::kNew, 40));
  EXPECT_TRUE(MemAccount(EMemCategory::kPtr, -50));
  EXPECT_EQ(MemTotalCounter().used, 50u);
  EXPECT_EQ(MemTotalCounter().max, 100u);
  EXPECT_EQ(MemCounter(EMemCategory::kPtr).max, 60u);
  EXPECT_TRUE(MemAccount(EMemCategory::kLocked, 500));  // not in the total
  EXPECT_EQ(MemTotalCounter().used, 50u);
}

TEST_F(MemoryTest, StatsTextAndPeaks) {
  MemAccount(EMemCategory::kHandle, 100);
  MemAccount(EMemCategory::kPtr, 30);
  MemAccount(EMemCategory::kPtr, -10);
  MemAccount(EMemCategory::kLocked, 40);
  SetMemLimit(EMemCategory::kNew, 5000);
  EXPECT_EQ(MemoryStatsText(),
            "Mem Used: 120\n"
            "Handle Mem Used: 100\n"
            "Ptr Mem Used: 20\n"
            "New Mem Used: 0\n"
            "Max Mem Used: 130\n"
            "Max Handle Mem Used: 100\n"
            "Max Ptr Mem Used: 30\n"
            "Max New Mem Used: 0\n"
            "Mem Limit: -1\n"
            "Handle Mem Limit: -1\n"
            "Ptr Mem Limit: -1\n"
            "New Mem Limit: 5000\n"
            "HLocked Mem: 40\n"
            "Max HLocked Mem: 40\n"
            "HLocked Mem Limit: -1\n");
  EXPECT_EQ(MemPeakTotal(), 130u);
  EXPECT_EQ(MemPeakHandles(), 100u);
  EXPECT_EQ(MemPeakPtrs(), 30u);
}

TEST_F(MemoryTest, PointerPoolCountsAndMovesBytes) {
  char* bytes = static_cast<char*>(PtrAlloc(10));
  std::memcpy(bytes, "0123456789", 10);
  EXPECT_EQ(Used(EMemCategory::kPtr), 10u);
  bytes = static_cast<char*>(PtrRealloc(bytes, 4));
  EXPECT_EQ(std::string(bytes, 4), "0123");
  EXPECT_EQ(Used(EMemCategory::kPtr), 4u);
  EXPECT_EQ(MemTotalCounter().max, 10u);
  SetMemLimit(EMemCategory::kPtr, 8);
  EXPECT_EQ(PtrRealloc(bytes, 9), nullptr);  // the old block stays
  EXPECT_EQ(PtrAlloc(5), nullptr);
  PtrFree(bytes);
  EXPECT_EQ(Used(EMemCategory::kPtr), 0u);
}

TEST_F(MemoryTest, AlignedPoolAligns) {
  CAlignedPtrPool pool(256);
  void* a = pool.Allocate(3);
  void* b = pool.Reallocate(pool.Allocate(5), 700);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 256, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 256, 0u);
  EXPECT_EQ(pool.BlockSize(b), 700u);
  pool.Free(a);
  pool.Free(b);
  EXPECT_EQ(Used(EMemCategory::kPtr), 0u);
}

class CLineCapture : public CLogView {
 public:
  void AddLine(uint32_t /*category*/, std::string_view text) override {
    lines.emplace_back(text);
  }
  std::vector<std::string> lines;
};

class DbgPoolTest : public MemoryTest {
 protected:
  void SetUp() override {
    MemoryTest::SetUp();
    SetLogMode(false, false);
    SetLogView(&m_capture);
  }
  void TearDown() override {
    SetLogView(nullptr);
    MemoryTest::TearDown();
  }
  static std::string Report(void* block, int size, int offset) {
    char text[80];
    std::snprintf(text, sizeof text, "Bad block at %08x size %d at offset %d\n",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(block)),
                  size, offset);
    return text;
  }
  CLineCapture m_capture;
  CDbgPtrPool m_pool;
};

TEST_F(DbgPoolTest, IntactBlockPasses) {
  char* block = static_cast<char*>(m_pool.Allocate(10));
  std::memset(block, 0, 10);
  EXPECT_EQ(m_pool.BlockSize(block), 10u);
  EXPECT_TRUE(m_pool.CheckBlock(block));
  m_pool.Free(block);
  EXPECT_TRUE(m_capture.lines.empty());
  EXPECT_EQ(Used(EMemCategory::kPtr), 0u);
}

TEST_F(DbgPoolTest, ReportsFirstDamagedByte) {
  char* block = static_cast<char*>(m_pool.Allocate(10));
  block[10] = 0;  // one past the end
  EXPECT_FALSE(m_pool.CheckBlock(block));
  block[-3] = 0;
  block[-16] = 0;
  m_pool.Free(block);
  ASSERT_EQ(m_capture.lines.size(), 2u);
  EXPECT_EQ(m_capture.lines[0], Report(block, 10, 10));
  EXPECT_EQ(m_capture.lines[1], Report(block, 10, -16));
}

TEST_F(DbgPoolTest, ReallocateMovesTrailingGuard) {
  char* block = static_cast<char*>(m_pool.Allocate(4));
  block = static_cast<char*>(m_pool.Reallocate(block, 20));
  std::memset(block, 1, 20);
  EXPECT_TRUE(m_pool.CheckBlock(block));
  block[23] = 0;
  EXPECT_FALSE(m_pool.CheckBlock(block));
  block[23] = static_cast<char>(CDbgPtrPool::kGuardByte);
  m_pool.Free(block);
  ASSERT_EQ(m_capture.lines.size(), 1u);
  EXPECT_EQ(m_capture.lines[0], Report(block, 20, 23));
}

}  // namespace
