// The engine's event queue: records ordered by due time, delivered from the
// pump, and the registry of the ids that records name as targets.
//
// Records of equal due time leave in the order they were posted. Before a
// record reaches its target, the filters see it by descending priority; one
// that does not pass it consumes it.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "base/errors.h"
#include "ui/event.h"

class CWindow;

class CEventFilter {
 public:
  virtual ~CEventFilter() = default;
  // False consumes the record.
  virtual bool Pass(const SEventRecord& record) = 0;
};

using EventFunction = std::function<void(const SEventRecord&)>;

// The queue's order: by due time, which wraps with the 32-bit clock and so
// compares by difference, then by serial.
inline bool DueBefore(uint32_t due, uint32_t serial, uint32_t other_due, uint32_t other_serial) {
  const int32_t difference = static_cast<int32_t>(due - other_due);
  if (difference != 0) return difference < 0;
  return static_cast<int32_t>(serial - other_serial) < 0;
}

class CEventQueue {
 public:
  // What Dispatch answers for a record no target received.
  static constexpr uint32_t kNotDelivered = 0xFFFFFFFF;

  CEventQueue(uint32_t capacity, uint32_t filter_slots);
  CEventQueue(const CEventQueue&) = delete;
  CEventQueue& operator=(const CEventQueue&) = delete;

  // Targets. Ids count up from 1 and are never handed out twice.
  uint32_t RegisterWindow(CWindow* window);
  uint32_t RegisterFunction(EventFunction function);
  void Unregister(uint32_t id);
  CWindow* WindowById(uint32_t id) const;
  bool IsLive(uint32_t id) const { return m_targets.count(id) != 0; }
  // Receives records of kind kDeliverObject; the world installs it.
  void SetObjectHook(EventFunction hook) { m_object_hook = std::move(hook); }

  // The clock that stamps records; the platform layer sets it.
  void SetClock(std::function<uint32_t()> clock) { m_clock = std::move(clock); }
  uint32_t Now() const { return m_clock ? m_clock() : 0; }
  // The serial the next posted record gets.
  uint32_t NextSerial() { return ++m_serial; }

  // MHFULLHEAP when every record is in use.
  ErrCode Post(const SEventRecord& record);
  // Filters first, then the target; the target's answer (OnEvent's for a
  // window, 0 otherwise), or kNotDelivered when a filter consumed the
  // record or its target is gone.
  uint32_t Dispatch(const SEventRecord& record);
  // Dispatches due records, at most `limit` of them; answers how many.
  uint32_t DeliverDue(uint32_t now, uint32_t limit);
  // When the next record is due; false when none waits.
  bool NextDue(uint32_t* due) const;

  // "Unknown error" once every slot holds a filter.
  ErrCode AddFilter(CEventFilter* filter, int32_t priority);
  void RemoveFilter(CEventFilter* filter);

  void Purge(uint32_t target);
  void Purge(uint32_t target, uint32_t code);
  // Frees the records whose targets are gone.
  void Compact();

  uint32_t Waiting() const { return static_cast<uint32_t>(m_heap.size()); }
  uint32_t Capacity() const { return m_capacity; }

 private:
  struct STarget {
    CWindow* window = nullptr;  // null for functions
    EventFunction function;
  };
  struct SFilter {
    CEventFilter* filter;
    int32_t priority;
  };

  // The heap's order: std's heaps keep the greatest first.
  static auto HeapOrder() {
    return [](const SEventRecord& a, const SEventRecord& b) {
      return DueBefore(b.due, b.serial, a.due, a.serial);
    };
  }
  void RemoveIf(const std::function<bool(const SEventRecord&)>& doomed);
  uint32_t Deliver(const SEventRecord& record);

  uint32_t m_capacity;
  uint32_t m_filter_slots;
  std::vector<SEventRecord> m_heap;  // a binary heap, earliest first
  std::vector<SFilter> m_filters;    // by descending priority
  std::unordered_map<uint32_t, STarget> m_targets;
  uint32_t m_next_id = 1;
  uint32_t m_serial = 0;
  EventFunction m_object_hook;
  std::function<uint32_t()> m_clock;
};
