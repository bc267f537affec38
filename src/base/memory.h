// Memory handles, pools and accounting.
//
// Larger, longer-lived buffers are movable blocks named by 32-bit handles: a
// handle is locked to get a pointer to its bytes, and the pointer stays valid
// until the matching unlock. Handle h names entry h - 1 of the handle table;
// 0 names nothing. The table itself lives in a block of the handle pool and
// grows and shrinks in steps of kHandleTableStep entries.
//
// Ordinary objects come from the pointer pool. Every allocation is counted
// against a per-category limit and a global limit; all limits start as "no
// limit". Everything runs on the main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/errors.h"

using MemHandle = uint32_t;

enum class EMemCategory : uint8_t { kHandle, kPtr, kNew, kLocked };
inline constexpr int kMemCategoryCount = 4;
inline constexpr uint64_t kNoMemLimit = ~uint64_t{0};

struct SMemCounter {
  uint64_t used = 0;
  uint64_t max = 0;
  uint64_t limit = kNoMemLimit;
};

// Adds `size` (negative: gives back) to the category and to the global total.
// An addition that would pass either limit is refused and changes nothing.
bool MemAccount(EMemCategory category, int64_t size);
const SMemCounter& MemCounter(EMemCategory category);
const SMemCounter& MemTotalCounter();
void SetMemLimit(EMemCategory category, uint64_t limit);
void SetMemTotalLimit(uint64_t limit);
// Clears every counter and limit (tests and start-up).
void ResetMemAccounting();

// The peaks reported at shutdown: overall, handle pools and pointer pools.
uint64_t MemPeakTotal();
uint64_t MemPeakHandles();
uint64_t MemPeakPtrs();
// The memory statistics display: one "Name: value" line per counter.
std::string MemoryStatsText();

// The pool interface shared by the handle pool and the pointer pools. A block
// is the pool's own identifier of the storage; for pointer pools it is the
// pointer itself. Only the handle pool gives lock and unlock a meaning.
class CMemPool {
 public:
  virtual ~CMemPool() = default;
  virtual void* Allocate(size_t size) = 0;
  virtual void* Reallocate(void* block, size_t size) = 0;
  virtual void Free(void* block) = 0;
  virtual void* Lock(void* block) { return block; }
  virtual void Unlock(void* /*block*/, uint32_t /*count*/) {}
  // The size the block was allocated with.
  virtual size_t BlockSize(void* block) = 0;
};

// Heap blocks counted as pointer memory.
class CPtrPool : public CMemPool {
 public:
  CPtrPool() : CPtrPool(EMemCategory::kPtr) {}
  void* Allocate(size_t size) override;
  void* Reallocate(void* block, size_t size) override;
  void Free(void* block) override;
  size_t BlockSize(void* block) override;

 protected:
  // The category the pool counts against and the extra bytes around a block.
  explicit CPtrPool(EMemCategory category, size_t alignment = 16)
      : m_category(category), m_alignment(alignment) {}
  EMemCategory Category() const { return m_category; }
  size_t Alignment() const { return m_alignment; }

 private:
  EMemCategory m_category;
  size_t m_alignment;
};

// Heap blocks counted as handle memory; the bytes of locked blocks are
// counted again as locked memory.
class CHandlePool : public CPtrPool {
 public:
  CHandlePool() : CPtrPool(EMemCategory::kHandle) {}
  void* Lock(void* block) override;
  void Unlock(void* block, uint32_t count) override;
};

// Pointer blocks with guard bytes on both sides, checked when freed and by
// CheckBlock; damage is logged as "Bad block at %08x size %d at offset %d\n".
class CDbgPtrPool : public CPtrPool {
 public:
  static constexpr size_t kGuardSize = 16;
  static constexpr uint8_t kGuardByte = 0xFD;

  void* Allocate(size_t size) override;
  void* Reallocate(void* block, size_t size) override;
  void Free(void* block) override;
  size_t BlockSize(void* block) override;
  // False (after logging) when a guard byte was overwritten.
  bool CheckBlock(void* block);
};

// Pointer blocks whose addresses are multiples of `alignment` (a power of
// two, at least 16).
class CAlignedPtrPool : public CPtrPool {
 public:
  explicit CAlignedPtrPool(size_t alignment)
      : CPtrPool(EMemCategory::kPtr, alignment) {}
};

// The process's pointer pool.
void* PtrAlloc(size_t size);
void* PtrRealloc(void* pointer, size_t size);
void PtrFree(void* pointer);

// One entry of the handle table.
struct SHandleEntry;
// A custom handler stands in for the pool for one handle. kMakeAvailable
// stores the bytes' pointer in the entry (answer 0 = failure); kResize gets
// the new size as its argument.
enum class EHandleOp : uint8_t {
  kMakeAvailable = 0,
  kReleased = 1,
  kFree = 2,
  kResize = 3
};
using HandleHandler = intptr_t (*)(EHandleOp operation, SHandleEntry* entry,
                                   uintptr_t argument);

struct SHandleEntry {
  void* block = nullptr;    // the pool's block; null when the entry is free
  void* pointer = nullptr;  // the bytes while locked
  uint32_t next_free = 0;   // free entries: the next free entry's index
  uint8_t lock_count = 0;
  HandleHandler handler = nullptr;
  uintptr_t handler_data = 0;  // the handler's own value
};

inline constexpr uint32_t kHandleTableStep = 4096;
inline constexpr uint32_t kNoFreeEntry = 0xFFFFFFFF;

// Size 0 gives 0, as does a failure.
MemHandle AllocHandle(size_t size);
bool ResizeHandle(MemHandle handle, size_t size);
void FreeHandle(MemHandle handle);
void* LockHandle(MemHandle handle);
void UnlockHandle(MemHandle handle);
uint32_t HandleLockCount(MemHandle handle);
void* HandleLockedPointer(MemHandle handle);
// The size of the handle's pool block (0 for handles with a custom handler).
size_t HandleSize(MemHandle handle);
void SetHandleHandler(MemHandle handle, HandleHandler handler,
                      uintptr_t handler_data);
// A handle with a custom handler and no pool block.
MemHandle AllocCustomHandle(HandleHandler handler, uintptr_t handler_data);
// The table's entry count and the entries its storage holds.
uint32_t HandleTableCount();
uint32_t HandleTableCapacity();
// Frees every handle and the table (shutdown and tests).
void ResetHandleTable();

// Holds one lock of a handle for a scope.
class CHandleLock {
 public:
  explicit CHandleLock(MemHandle handle)
      : m_handle(handle), m_pointer(LockHandle(handle)) {}
  ~CHandleLock() {
    if (m_pointer) UnlockHandle(m_handle);
  }
  CHandleLock(const CHandleLock&) = delete;
  CHandleLock& operator=(const CHandleLock&) = delete;

  void* get() const { return m_pointer; }
  template <class T>
  T* as() const {
    return static_cast<T*>(m_pointer);
  }
  explicit operator bool() const { return m_pointer != nullptr; }

 private:
  MemHandle m_handle;
  void* m_pointer;
};

// Owns a handle: frees it when destroyed.
class CHandle {
 public:
  CHandle() = default;
  explicit CHandle(MemHandle handle) : m_handle(handle) {}
  ~CHandle() { FreeHandle(m_handle); }
  CHandle(CHandle&& other) noexcept : m_handle(other.release()) {}
  CHandle& operator=(CHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  MemHandle get() const { return m_handle; }
  MemHandle release() {
    MemHandle handle = m_handle;
    m_handle = 0;
    return handle;
  }
  void reset(MemHandle handle = 0) {
    FreeHandle(m_handle);
    m_handle = handle;
  }
  explicit operator bool() const { return m_handle != 0; }

 private:
  MemHandle m_handle = 0;
};
