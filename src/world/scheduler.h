// Timed world work (AutoUpdate ticks, timer events, frame steps) run from
// one record of the event queue.
//
// Each entry is keyed by the serial of the object it belongs to (a 32-bit
// number never reused, never a pointer) and a kind the caller chooses, and
// takes a serial from the queue's counter when scheduled. The queue holds a
// single record for all of them, carrying the earliest entry's due time and
// serial, so entries leave in exactly the order per-object records would:
// by due time, then by serial (equal due times in scheduling order), mixed
// with every other record. The record runs one entry and is posted again
// for the next, so each entry counts as one record of a delivery pass.
//
// Schedule adds an entry even when the object already has one of that kind;
// cancel first to keep one pending. While an entry runs, scheduling its own
// object and kind again at the current millisecond or earlier makes the new
// entry due a millisecond later, so a self-repeating entry cannot run twice
// at one time.
//
// The record keeps nothing alive: the headless run's idle quit comes at its
// fixed time on the virtual clock, and waiting for the record only stops the
// clock at its due times on the way there.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ui/event_queue.h"

class CWorldScheduler {
 public:
  explicit CWorldScheduler(CEventQueue& queue);
  ~CWorldScheduler();
  CWorldScheduler(const CWorldScheduler&) = delete;
  CWorldScheduler& operator=(const CWorldScheduler&) = delete;

  // The entry's serial.
  uint32_t Schedule(uint32_t object, uint32_t kind, uint32_t due, std::function<void()> run);
  // Every entry of the object.
  void Cancel(uint32_t object);
  void Cancel(uint32_t object, uint32_t kind);
  bool IsScheduled(uint32_t object, uint32_t kind) const;
  size_t Pending() const { return m_entries.size(); }

 private:
  struct SEntry {
    uint32_t object;
    uint32_t kind;
    uint32_t due;
    uint32_t serial;
    std::function<void()> run;
  };

  struct SRunning {
    bool on = false;
    uint32_t object = 0;
    uint32_t kind = 0;
  };

  std::vector<SEntry>::iterator Earliest();
  // Keeps the queue's record on the earliest entry.
  void Repost();
  void RunEarliest(const SEventRecord& record);

  CEventQueue& m_queue;
  uint32_t m_target = 0;
  std::vector<SEntry> m_entries;
  bool m_posted = false;
  uint32_t m_posted_serial = 0;  // of the entry the record carries
  SRunning m_running;
};
