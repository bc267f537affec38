// The world scheduler: one queue record for every timed entry.
#include "world/scheduler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/os_layer.h"
#include "ui/ui_rig.h"

namespace {

class SchedulerTest : public testing::Test {
 protected:
  SchedulerTest() { m_queue.SetClock([this] { return m_now; }); }

  uint32_t DeliverAt(uint32_t now) {
    m_now = now;
    return m_queue.DeliverDue(now, COSLayer::kDeliverLimit);
  }
  std::function<void()> Note(const std::string& what) {
    return [this, what] { m_log.push_back(what + "@" + std::to_string(m_now)); };
  }
  uint32_t NextDue() const {
    uint32_t due = 0;
    return m_queue.NextDue(&due) ? due : 0;
  }

  uint32_t m_now = 1000;
  CEventQueue m_queue{100, 10};
  CWorldScheduler m_scheduler{m_queue};
  std::vector<std::string> m_log;
};

TEST_F(SchedulerTest, RunsByDueTimeThenInSchedulingOrderFromOneRecord) {
  m_scheduler.Schedule(1, 0, 1030, Note("a"));
  m_scheduler.Schedule(2, 0, 1010, Note("b"));
  m_scheduler.Schedule(3, 0, 1030, Note("c"));
  m_scheduler.Schedule(4, 0, 1020, Note("d"));
  EXPECT_EQ(m_queue.Waiting(), 1u);
  EXPECT_EQ(NextDue(), 1010u);
  EXPECT_EQ(DeliverAt(1009), 0u);
  EXPECT_EQ(DeliverAt(1030), 4u);
  EXPECT_EQ(m_log, (std::vector<std::string>{"b@1030", "d@1030", "a@1030", "c@1030"}));
  EXPECT_EQ(m_queue.Waiting(), 0u);
  EXPECT_EQ(m_scheduler.Pending(), 0u);
}

TEST_F(SchedulerTest, RescheduleOfItselfAtNowIsDueOneMillisecondLater) {
  m_scheduler.Schedule(1, 7, 1000, [this] {
    Note("tick")();
    m_scheduler.Schedule(1, 7, m_now, Note("again"));
    m_scheduler.Schedule(1, 8, m_now, Note("other kind"));
    m_scheduler.Schedule(2, 7, m_now - 5, Note("other object"));
  });
  EXPECT_EQ(DeliverAt(1000), 3u);
  EXPECT_EQ(m_log, (std::vector<std::string>{"tick@1000", "other object@1000",
                                             "other kind@1000"}));
  EXPECT_TRUE(m_scheduler.IsScheduled(1, 7));
  EXPECT_EQ(NextDue(), 1001u);
  EXPECT_EQ(DeliverAt(1001), 1u);
  EXPECT_EQ(m_log.back(), "again@1001");
}

TEST_F(SchedulerTest, CancelsByObjectAndByKind) {
  m_scheduler.Schedule(1, 0, 1010, Note("1/0"));
  m_scheduler.Schedule(1, 1, 1020, Note("1/1"));
  m_scheduler.Schedule(2, 0, 1015, Note("2/0"));
  m_scheduler.Schedule(2, 1, 1005, Note("2/1"));
  m_scheduler.Cancel(1);
  EXPECT_FALSE(m_scheduler.IsScheduled(1, 0));
  EXPECT_FALSE(m_scheduler.IsScheduled(1, 1));
  m_scheduler.Cancel(2, 1);
  EXPECT_TRUE(m_scheduler.IsScheduled(2, 0));
  EXPECT_EQ(m_queue.Waiting(), 1u);
  EXPECT_EQ(NextDue(), 1015u);
  // An entry cancels another due in the same pass: (3, 0) would cancel 2.
  m_scheduler.Schedule(3, 0, 1012, [this] { m_scheduler.Cancel(2); });
  m_scheduler.Schedule(3, 1, 1010, [this] { m_scheduler.Cancel(3); });
  EXPECT_EQ(DeliverAt(1100), 2u);
  EXPECT_EQ(m_log, (std::vector<std::string>{"2/0@1100"}));
  EXPECT_EQ(m_queue.Waiting(), 0u);
}

TEST_F(SchedulerTest, InterleavesWithPostedRecordsByDueTimeAndSerial) {
  const uint32_t target = m_queue.RegisterFunction(
      [this](const SEventRecord& record) { Note("event " + std::to_string(record.p1))(); });
  const auto post = [&](uint32_t p1, uint32_t due) {
    SEventRecord record;
    record.delivery = kDeliverFunction;
    record.target = target;
    record.p1 = p1;
    record.due = due;
    record.serial = m_queue.NextSerial();
    ASSERT_EQ(m_queue.Post(record), err::kOk);
  };
  post(1, 1010);
  m_scheduler.Schedule(1, 0, 1010, Note("tick 1"));
  post(2, 1010);
  m_scheduler.Schedule(2, 0, 1005, Note("tick 2"));
  post(3, 1005);
  EXPECT_EQ(DeliverAt(1010), 5u);
  EXPECT_EQ(m_log, (std::vector<std::string>{"tick 2@1010", "event 3@1010", "event 1@1010",
                                             "tick 1@1010", "event 2@1010"}));
}

TEST_F(SchedulerTest, EachEntryCountsTowardsThePassLimit) {
  int runs = 0;
  for (uint32_t object = 1; object <= 150; ++object)
    m_scheduler.Schedule(object, 0, 1000, [&runs] { ++runs; });
  EXPECT_EQ(m_queue.Waiting(), 1u);
  EXPECT_EQ(DeliverAt(1000), 100u);
  EXPECT_EQ(runs, 100);
  EXPECT_EQ(DeliverAt(1000), 50u);
  EXPECT_EQ(runs, 150);
}

TEST(SchedulerIdleTest, TicksDoNotDelayTheHeadlessIdleQuit) {
  CUiRig rig;  // quits 100 virtual ms after the start
  CWorldScheduler scheduler(rig.Queue());
  std::vector<uint32_t> ticks;
  std::function<void()> tick = [&] {
    ticks.push_back(rig.Queue().Now());
    scheduler.Schedule(1, 0, rig.Queue().Now() + 10, tick);
  };
  scheduler.Schedule(1, 0, 10, tick);
  rig.Run();
  EXPECT_EQ(rig.Queue().Now(), 100u);
  EXPECT_EQ(ticks, (std::vector<uint32_t>{10, 20, 30, 40, 50, 60, 70, 80, 90}));
}

}  // namespace
