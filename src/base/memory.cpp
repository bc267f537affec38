#include "base/memory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/log.h"

namespace {

// ---- Accounting ----

constinit SMemCounter g_counters[kMemCategoryCount];
constinit SMemCounter g_total;

SMemCounter& Counter(EMemCategory category) {
  return g_counters[static_cast<int>(category)];
}

bool WouldPass(const SMemCounter& counter, uint64_t size) {
  return counter.limit != kNoMemLimit && counter.used + size > counter.limit;
}

void Add(SMemCounter& counter, uint64_t size) {
  counter.used += size;
  counter.max = std::max(counter.max, counter.used);
}

// Counters reset while blocks were live must not wrap when those blocks go.
void GiveBack(SMemCounter& counter, uint64_t size) {
  counter.used -= std::min(counter.used, size);
}

// Locked memory is handle memory seen a second time, so it is kept in its own
// category only and never added to the global total.
bool CountsInTotal(EMemCategory category) {
  return category != EMemCategory::kLocked;
}

long StatValue(uint64_t value) {
  return value == kNoMemLimit ? -1L : static_cast<long>(value);
}

// ---- Pointer pool blocks ----
//
// A block is [header | bytes]: the header, Alignment() bytes long, holds the
// size of the bytes, and the pointer handed out is the address of the bytes.

void* RawAllocate(size_t total, size_t alignment) {
  return ::operator new(total, std::align_val_t(alignment), std::nothrow);
}

void RawFree(void* base, size_t alignment) {
  ::operator delete(base, std::align_val_t(alignment));
}

size_t& StoredSize(void* block, size_t alignment) {
  return *reinterpret_cast<size_t*>(static_cast<char*>(block) - alignment);
}

// ---- Handle table ----

CHandlePool& ProcessHandlePool() {
  static CHandlePool pool;
  return pool;
}

CPtrPool& ProcessPtrPool() {
  static CPtrPool pool;
  return pool;
}

// Marks the block field of a custom handle so that it does not read as free.
constinit char g_custom_block_marker = 0;

// The table's storage is a block of the process's handle pool. That pool never
// moves its blocks, so the table is used in place instead of being locked
// around each operation.
struct STableState {
  SHandleEntry* entries = nullptr;
  uint32_t count = 0;
  uint32_t capacity = 0;
  uint32_t free_head = kNoFreeEntry;
};
constinit STableState g_table;

uint32_t CapacityFor(uint32_t count) {
  return (count + kHandleTableStep - 1) / kHandleTableStep * kHandleTableStep;
}

// Resizes the storage to fit `count` entries; false leaves it as it was.
bool FitTable(uint32_t count) {
  const uint32_t capacity = CapacityFor(count);
  if (capacity == g_table.capacity) return true;
  CHandlePool& pool = ProcessHandlePool();
  if (capacity == 0) {
    pool.Free(g_table.entries);
    g_table.entries = nullptr;
  } else {
    void* storage = pool.Reallocate(g_table.entries,
                                    capacity * sizeof(SHandleEntry));
    if (!storage) return false;
    g_table.entries = static_cast<SHandleEntry*>(storage);
  }
  g_table.capacity = capacity;
  return true;
}

// The entry of a handle in use, or null.
SHandleEntry* EntryOf(MemHandle handle) {
  if (handle == 0 || handle > g_table.count) return nullptr;
  SHandleEntry* entry = &g_table.entries[handle - 1];
  return entry->block ? entry : nullptr;
}

// Takes the head of the free chain or appends an entry; 0 when the table
// cannot grow.
MemHandle TakeEntry(void* block, HandleHandler handler,
                    uintptr_t handler_data) {
  uint32_t index = g_table.free_head;
  if (index != kNoFreeEntry) {
    g_table.free_head = g_table.entries[index].next_free;
  } else {
    if (!FitTable(g_table.count + 1)) return 0;
    index = g_table.count++;
  }
  SHandleEntry& entry = g_table.entries[index];
  entry = SHandleEntry{};
  entry.block = block;
  entry.handler = handler;
  entry.handler_data = handler_data;
  return index + 1;
}

void ReleaseEntry(uint32_t index) {
  if (index + 1 == g_table.count) {
    // The last entry is in use, so it is never on the free chain. A failed
    // shrink keeps the larger storage.
    --g_table.count;
    FitTable(g_table.count);
    return;
  }
  SHandleEntry& entry = g_table.entries[index];
  entry = SHandleEntry{};
  entry.next_free = g_table.free_head;
  g_table.free_head = index;
}

// Gives the entry's storage back: through its handler or the pool.
void DiscardStorage(SHandleEntry& entry) {
  if (entry.handler) {
    entry.handler(EHandleOp::kFree, &entry, 0);
    return;
  }
  CHandlePool& pool = ProcessHandlePool();
  if (entry.lock_count > 0) pool.Unlock(entry.block, 0);
  pool.Free(entry.block);
}

}  // namespace

// ---- Accounting ----

bool MemAccount(EMemCategory category, int64_t size) {
  SMemCounter& counter = Counter(category);
  const bool in_total = CountsInTotal(category);
  if (size < 0) {
    const uint64_t amount = static_cast<uint64_t>(-size);
    GiveBack(counter, amount);
    if (in_total) GiveBack(g_total, amount);
    return true;
  }
  const uint64_t amount = static_cast<uint64_t>(size);
  if (WouldPass(counter, amount) || (in_total && WouldPass(g_total, amount)))
    return false;
  Add(counter, amount);
  if (in_total) Add(g_total, amount);
  return true;
}

const SMemCounter& MemCounter(EMemCategory category) { return Counter(category); }
const SMemCounter& MemTotalCounter() { return g_total; }
void SetMemLimit(EMemCategory category, uint64_t limit) {
  Counter(category).limit = limit;
}
void SetMemTotalLimit(uint64_t limit) { g_total.limit = limit; }

void ResetMemAccounting() {
  for (SMemCounter& counter : g_counters) counter = SMemCounter{};
  g_total = SMemCounter{};
}

uint64_t MemPeakTotal() { return g_total.max; }
uint64_t MemPeakHandles() { return Counter(EMemCategory::kHandle).max; }
uint64_t MemPeakPtrs() { return Counter(EMemCategory::kPtr).max; }

std::string MemoryStatsText() {
  const SMemCounter& handle = Counter(EMemCategory::kHandle);
  const SMemCounter& ptr = Counter(EMemCategory::kPtr);
  const SMemCounter& new_mem = Counter(EMemCategory::kNew);
  const SMemCounter& locked = Counter(EMemCategory::kLocked);
  const struct {
    const char* format;
    uint64_t value;
  } lines[] = {
      {"Mem Used: %ld\n", g_total.used},
      {"Handle Mem Used: %ld\n", handle.used},
      {"Ptr Mem Used: %ld\n", ptr.used},
      {"New Mem Used: %ld\n", new_mem.used},
      {"Max Mem Used: %ld\n", g_total.max},
      {"Max Handle Mem Used: %ld\n", handle.max},
      {"Max Ptr Mem Used: %ld\n", ptr.max},
      {"Max New Mem Used: %ld\n", new_mem.max},
      {"Mem Limit: %ld\n", g_total.limit},
      {"Handle Mem Limit: %ld\n", handle.limit},
      {"Ptr Mem Limit: %ld\n", ptr.limit},
      {"New Mem Limit: %ld\n", new_mem.limit},
      {"HLocked Mem: %ld\n", locked.used},
      {"Max HLocked Mem: %ld\n", locked.max},
      {"HLocked Mem Limit: %ld\n", locked.limit},
  };
  std::string text;
  for (const auto& line : lines) {
    char buffer[64];
    const int length =
        std::snprintf(buffer, sizeof buffer, line.format, StatValue(line.value));
    text.append(buffer, static_cast<size_t>(length));
  }
  return text;
}

// ---- CPtrPool ----

void* CPtrPool::Allocate(size_t size) {
  if (!MemAccount(m_category, static_cast<int64_t>(size))) return nullptr;
  char* base = static_cast<char*>(RawAllocate(m_alignment + size, m_alignment));
  if (!base) {
    MemAccount(m_category, -static_cast<int64_t>(size));
    return nullptr;
  }
  void* block = base + m_alignment;
  StoredSize(block, m_alignment) = size;
  return block;
}

void* CPtrPool::Reallocate(void* block, size_t size) {
  if (!block) return Allocate(size);
  const size_t old_size = StoredSize(block, m_alignment);
  const int64_t growth =
      static_cast<int64_t>(size) - static_cast<int64_t>(old_size);
  if (!MemAccount(m_category, growth)) return nullptr;
  char* base = static_cast<char*>(RawAllocate(m_alignment + size, m_alignment));
  if (!base) {
    MemAccount(m_category, -growth);
    return nullptr;
  }
  void* moved = base + m_alignment;
  std::memcpy(moved, block, std::min(size, old_size));
  StoredSize(moved, m_alignment) = size;
  RawFree(static_cast<char*>(block) - m_alignment, m_alignment);
  return moved;
}

void CPtrPool::Free(void* block) {
  if (!block) return;
  MemAccount(m_category, -static_cast<int64_t>(StoredSize(block, m_alignment)));
  RawFree(static_cast<char*>(block) - m_alignment, m_alignment);
}

size_t CPtrPool::BlockSize(void* block) {
  return block ? StoredSize(block, m_alignment) : 0;
}

// ---- CHandlePool ----

void* CHandlePool::Lock(void* block) {
  if (!block) return nullptr;
  if (!MemAccount(EMemCategory::kLocked, static_cast<int64_t>(BlockSize(block))))
    return nullptr;
  return block;
}

// The table unlocks a block only when its last lock goes, so `count` (the
// locks left) is always 0 here and the whole block stops counting as locked.
void CHandlePool::Unlock(void* block, uint32_t /*count*/) {
  if (!block) return;
  MemAccount(EMemCategory::kLocked, -static_cast<int64_t>(BlockSize(block)));
}

// ---- CDbgPtrPool ----
//
// The bytes handed out sit between two guards: [guard | bytes | guard].

void* CDbgPtrPool::Allocate(size_t size) {
  char* base = static_cast<char*>(CPtrPool::Allocate(size + 2 * kGuardSize));
  if (!base) return nullptr;
  std::memset(base, kGuardByte, kGuardSize);
  std::memset(base + kGuardSize + size, kGuardByte, kGuardSize);
  return base + kGuardSize;
}

void* CDbgPtrPool::Reallocate(void* block, size_t size) {
  if (!block) return Allocate(size);
  CheckBlock(block);
  char* base = static_cast<char*>(
      CPtrPool::Reallocate(static_cast<char*>(block) - kGuardSize,
                           size + 2 * kGuardSize));
  if (!base) return nullptr;
  std::memset(base + kGuardSize + size, kGuardByte, kGuardSize);
  return base + kGuardSize;
}

void CDbgPtrPool::Free(void* block) {
  if (!block) return;
  CheckBlock(block);
  CPtrPool::Free(static_cast<char*>(block) - kGuardSize);
}

size_t CDbgPtrPool::BlockSize(void* block) {
  if (!block) return 0;
  return CPtrPool::BlockSize(static_cast<char*>(block) - kGuardSize) -
         2 * kGuardSize;
}

bool CDbgPtrPool::CheckBlock(void* block) {
  if (!block) return true;
  const uint8_t* bytes = static_cast<const uint8_t*>(block);
  const uint8_t* front = bytes - kGuardSize;
  const size_t size = BlockSize(block);
  const auto report = [&](long offset) {
    LogMessage(kLogWarning, "Bad block at %08x size %d at offset %d\n",
               static_cast<unsigned>(reinterpret_cast<uintptr_t>(block)),
               static_cast<int>(size), static_cast<int>(offset));
    return false;
  };
  for (size_t i = 0; i < kGuardSize; ++i)
    if (front[i] != kGuardByte)
      return report(static_cast<long>(i) - static_cast<long>(kGuardSize));
  for (size_t i = 0; i < kGuardSize; ++i)
    if (bytes[size + i] != kGuardByte)
      return report(static_cast<long>(size + i));
  return true;
}

// ---- The process's pointer pool ----

void* PtrAlloc(size_t size) { return ProcessPtrPool().Allocate(size); }
void* PtrRealloc(void* pointer, size_t size) {
  return ProcessPtrPool().Reallocate(pointer, size);
}
void PtrFree(void* pointer) { ProcessPtrPool().Free(pointer); }

// ---- Handles ----

MemHandle AllocHandle(size_t size) {
  if (size == 0) return 0;
  CHandlePool& pool = ProcessHandlePool();
  void* block = pool.Allocate(size);
  if (!block) return 0;
  const MemHandle handle = TakeEntry(block, nullptr, 0);
  if (!handle) pool.Free(block);
  return handle;
}

MemHandle AllocCustomHandle(HandleHandler handler, uintptr_t handler_data) {
  if (!handler) return 0;
  return TakeEntry(&g_custom_block_marker, handler, handler_data);
}

bool ResizeHandle(MemHandle handle, size_t size) {
  SHandleEntry* entry = EntryOf(handle);
  if (!entry) return false;
  if (entry->handler) return entry->handler(EHandleOp::kResize, entry, size) != 0;
  CHandlePool& pool = ProcessHandlePool();
  const bool locked = entry->lock_count > 0;
  // A locked block keeps counting as locked at its new size, and its holders
  // see the moved bytes.
  const int64_t growth = static_cast<int64_t>(size) -
                         static_cast<int64_t>(pool.BlockSize(entry->block));
  if (locked && !MemAccount(EMemCategory::kLocked, growth)) return false;
  void* block = pool.Reallocate(entry->block, size);
  if (!block) {
    if (locked) MemAccount(EMemCategory::kLocked, -growth);
    return false;
  }
  entry->block = block;
  if (locked) entry->pointer = block;
  return true;
}

void FreeHandle(MemHandle handle) {
  SHandleEntry* entry = EntryOf(handle);
  if (!entry) return;
  DiscardStorage(*entry);
  ReleaseEntry(handle - 1);
}

void* LockHandle(MemHandle handle) {
  SHandleEntry* entry = EntryOf(handle);
  if (!entry) return nullptr;
  if (entry->lock_count == 0) {
    if (entry->handler) {
      if (entry->handler(EHandleOp::kMakeAvailable, entry, 0) == 0) {
        entry->pointer = nullptr;
        return nullptr;
      }
    } else {
      entry->pointer = ProcessHandlePool().Lock(entry->block);
      if (!entry->pointer) return nullptr;
    }
  }
  ++entry->lock_count;
  return entry->pointer;
}

void UnlockHandle(MemHandle handle) {
  SHandleEntry* entry = EntryOf(handle);
  if (!entry || entry->lock_count == 0) return;
  if (--entry->lock_count > 0) return;
  if (entry->handler)
    entry->handler(EHandleOp::kReleased, entry, 0);
  else
    ProcessHandlePool().Unlock(entry->block, 0);
  entry->pointer = nullptr;
}

uint32_t HandleLockCount(MemHandle handle) {
  const SHandleEntry* entry = EntryOf(handle);
  return entry ? entry->lock_count : 0;
}

void* HandleLockedPointer(MemHandle handle) {
  const SHandleEntry* entry = EntryOf(handle);
  return entry && entry->lock_count > 0 ? entry->pointer : nullptr;
}

size_t HandleSize(MemHandle handle) {
  const SHandleEntry* entry = EntryOf(handle);
  if (!entry || entry->handler) return 0;
  return ProcessHandlePool().BlockSize(entry->block);
}

// The handler replaces the pool for the handle: a pool block is given back.
// Refused while the handle is locked.
void SetHandleHandler(MemHandle handle, HandleHandler handler,
                      uintptr_t handler_data) {
  SHandleEntry* entry = EntryOf(handle);
  if (!entry || !handler || entry->lock_count > 0) return;
  if (!entry->handler) {
    ProcessHandlePool().Free(entry->block);
    entry->block = &g_custom_block_marker;
  }
  entry->handler = handler;
  entry->handler_data = handler_data;
}

uint32_t HandleTableCount() { return g_table.count; }
uint32_t HandleTableCapacity() { return g_table.capacity; }

void ResetHandleTable() {
  for (uint32_t i = 0; i < g_table.count; ++i)
    if (g_table.entries[i].block) DiscardStorage(g_table.entries[i]);
  g_table.count = 0;
  g_table.free_head = kNoFreeEntry;
  FitTable(0);
}
