#include "ui/event_queue.h"

#include <algorithm>

#include "base/trace.h"
#include "ui/window.h"

CEventQueue::CEventQueue(uint32_t capacity, uint32_t filter_slots)
    : m_capacity(capacity), m_filter_slots(filter_slots) {
  m_heap.reserve(capacity);
  m_filters.reserve(filter_slots);
}

uint32_t CEventQueue::RegisterWindow(CWindow* window) {
  const uint32_t id = m_next_id++;
  m_targets[id].window = window;
  return id;
}

uint32_t CEventQueue::RegisterFunction(EventFunction function) {
  const uint32_t id = m_next_id++;
  m_targets[id].function = std::move(function);
  return id;
}

void CEventQueue::Unregister(uint32_t id) { m_targets.erase(id); }

CWindow* CEventQueue::WindowById(uint32_t id) const {
  const auto found = m_targets.find(id);
  return found == m_targets.end() ? nullptr : found->second.window;
}

ErrCode CEventQueue::Post(const SEventRecord& record) {
  if (m_heap.size() >= m_capacity) return err::kMhFullHeap;
  m_heap.push_back(record);
  std::push_heap(m_heap.begin(), m_heap.end(), HeapOrder());
  return err::kOk;
}

uint32_t CEventQueue::Dispatch(const SEventRecord& record) {
  if (Traced(kTraceEvent)) {
    const CWindow* window =
        record.delivery == kDeliverWindow ? WindowById(record.target) : nullptr;
    Tracer().LineF(kTraceEvent, "record\t%u\t0x%X\t0x%X\t0x%X\t%s", record.serial,
                   record.code, record.p1, record.p2,
                   window ? window->Label().c_str() : std::to_string(record.target).c_str());
  }
  // Every event passes here, so the list is walked in place. A filter may
  // remove others or itself while it runs: the walk goes on after wherever
  // it now stands, or at its old place when it is gone.
  for (size_t i = 0; i < m_filters.size();) {
    CEventFilter* filter = m_filters[i].filter;
    if (!filter->Pass(record)) return kNotDelivered;
    const auto at = std::find_if(m_filters.begin(), m_filters.end(),
                                 [&](const SFilter& f) { return f.filter == filter; });
    if (at != m_filters.end()) i = static_cast<size_t>(at - m_filters.begin()) + 1;
  }
  return Deliver(record);
}

uint32_t CEventQueue::Deliver(const SEventRecord& record) {
  if (record.delivery == kDeliverObject) {
    if (!m_object_hook) return kNotDelivered;
    m_object_hook(record);
    return 0;
  }
  const auto found = m_targets.find(record.target);
  if (found == m_targets.end()) return kNotDelivered;
  if (record.delivery == kDeliverWindow && found->second.window)
    return found->second.window->OnEvent(record);
  if (record.delivery == kDeliverFunction && found->second.function) {
    // The function may unregister itself.
    const EventFunction function = found->second.function;
    function(record);
    return 0;
  }
  return kNotDelivered;
}

uint32_t CEventQueue::DeliverDue(uint32_t now, uint32_t limit) {
  uint32_t delivered = 0;
  while (delivered < limit && !m_heap.empty() &&
         static_cast<int32_t>(m_heap.front().due - now) <= 0) {
    std::pop_heap(m_heap.begin(), m_heap.end(), HeapOrder());
    const SEventRecord record = m_heap.back();
    m_heap.pop_back();
    Dispatch(record);
    ++delivered;
  }
  return delivered;
}

bool CEventQueue::NextDue(uint32_t* due) const {
  if (m_heap.empty()) return false;
  *due = m_heap.front().due;
  return true;
}

ErrCode CEventQueue::AddFilter(CEventFilter* filter, int32_t priority) {
  if (m_filters.size() >= m_filter_slots) return err::kUnknownError;
  const auto place = std::find_if(m_filters.begin(), m_filters.end(),
                                  [&](const SFilter& f) { return f.priority < priority; });
  m_filters.insert(place, {filter, priority});
  return err::kOk;
}

void CEventQueue::RemoveFilter(CEventFilter* filter) {
  std::erase_if(m_filters, [&](const SFilter& f) { return f.filter == filter; });
}

void CEventQueue::RemoveIf(const std::function<bool(const SEventRecord&)>& doomed) {
  std::erase_if(m_heap, doomed);
  std::make_heap(m_heap.begin(), m_heap.end(), HeapOrder());
}

void CEventQueue::Purge(uint32_t target) {
  RemoveIf([&](const SEventRecord& r) { return r.target == target; });
}

void CEventQueue::Purge(uint32_t target, uint32_t code) {
  RemoveIf([&](const SEventRecord& r) { return r.target == target && r.code == code; });
}

void CEventQueue::Compact() {
  RemoveIf([&](const SEventRecord& r) { return r.delivery != kDeliverObject && !IsLive(r.target); });
}
