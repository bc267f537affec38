#include "world/scheduler.h"

#include <algorithm>
#include <utility>

CWorldScheduler::CWorldScheduler(CEventQueue& queue) : m_queue(queue) {
  m_target = m_queue.RegisterFunction([this](const SEventRecord& record) { RunEarliest(record); });
}

CWorldScheduler::~CWorldScheduler() {
  m_queue.Purge(m_target);
  m_queue.Unregister(m_target);
}

uint32_t CWorldScheduler::Schedule(uint32_t object, uint32_t kind, uint32_t due,
                                   std::function<void()> run) {
  const uint32_t now = m_queue.Now();
  const bool itself = m_running.on && m_running.object == object && m_running.kind == kind;
  if (itself && static_cast<int32_t>(due - now) <= 0) due = now + 1;
  const uint32_t serial = m_queue.NextSerial();
  m_entries.push_back({object, kind, due, serial, std::move(run)});
  Repost();
  return serial;
}

void CWorldScheduler::Cancel(uint32_t object) {
  std::erase_if(m_entries, [&](const SEntry& entry) { return entry.object == object; });
  Repost();
}

void CWorldScheduler::Cancel(uint32_t object, uint32_t kind) {
  std::erase_if(m_entries, [&](const SEntry& entry) {
    return entry.object == object && entry.kind == kind;
  });
  Repost();
}

bool CWorldScheduler::IsScheduled(uint32_t object, uint32_t kind) const {
  return std::any_of(m_entries.begin(), m_entries.end(), [&](const SEntry& entry) {
    return entry.object == object && entry.kind == kind;
  });
}

std::vector<CWorldScheduler::SEntry>::iterator CWorldScheduler::Earliest() {
  return std::min_element(m_entries.begin(), m_entries.end(),
                          [](const SEntry& a, const SEntry& b) {
                            return DueBefore(a.due, a.serial, b.due, b.serial);
                          });
}

void CWorldScheduler::Repost() {
  const auto earliest = Earliest();
  const bool wanted = earliest != m_entries.end();
  if (m_posted && wanted && earliest->serial == m_posted_serial) return;
  if (m_posted) m_queue.Purge(m_target);
  m_posted = false;
  if (!wanted) return;
  SEventRecord record;
  record.delivery = kDeliverFunction;
  record.target = m_target;
  record.p1 = earliest->object;
  record.p2 = earliest->kind;
  record.posted = m_queue.Now();
  record.due = earliest->due;
  record.serial = earliest->serial;
  // A full queue leaves the entries waiting for the next change here.
  m_posted = m_queue.Post(record) == err::kOk;
  m_posted_serial = record.serial;
}

void CWorldScheduler::RunEarliest(const SEventRecord& record) {
  m_posted = false;
  const auto earliest = Earliest();
  if (earliest == m_entries.end() || earliest->serial != record.serial) return Repost();
  const std::function<void()> run = std::move(earliest->run);
  const SRunning outer = std::exchange(m_running, {true, earliest->object, earliest->kind});
  m_entries.erase(earliest);
  // Posted before the run, so that a pump nested in it goes on with the rest.
  Repost();
  run();
  m_running = outer;
}
