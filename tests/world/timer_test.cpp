// Timers: their handlers at exact times of the virtual clock, entered with
// the room at 1000 ms.
#include <gtest/gtest.h>

#include <functional>

#include "world/kind_rig.h"
#include "world/timer.h"

namespace {

struct STimerCase {
  const char* name;
  std::string values;  // of the timer "T"
  // What the test does at a time, before running on to the next.
  std::vector<std::pair<uint32_t, std::function<void(CWTimerObj&)>>> steps;
  uint32_t end;
  std::vector<std::string> calls;
};

TEST(TimerTest, HandlersComeAtTheirTimes) {
  const auto stop = [](CWTimerObj& t) { t.SetActive(false); };
  const auto resume = [](CWTimerObj& t) { t.SetActive(true); };
  const STimerCase kCases[] = {
      // The range becomes [0, 500), the interrupt point none.
      {"backwards range", "InPoint=long:1000\nOutPoint=long:500\nInterruptTime=long:500\n",
       {}, 3000, {"1000 T OnStart", "1500 T OnStop"}},
      // Each pass: the interrupt 150 ms in, the loop 150 ms later; never a
      // stop until stopped, nothing after it.
      {"looping with an interrupt",
       "Loop=long:1\nInPoint=long:100\nOutPoint=long:400\nInterruptTime=long:250\n",
       {{1700, stop}}, 3000,
       {"1000 T OnStart", "1150 T OnInterrupt 250", "1300 T OnLoop", "1450 T OnInterrupt 250",
        "1600 T OnLoop", "1700 T OnStop"}},
      {"empty range", "", {}, 3000, {"1000 T OnStart", "1000 T OnStop"}},
      {"empty looping range", "Loop=long:1\n", {{1003, stop}}, 3000,
       {"1000 T OnStart", "1000 T OnLoop", "1001 T OnLoop", "1002 T OnLoop", "1003 T OnLoop",
        "1003 T OnStop"}},
      // Stopped 300 ms in, it goes on from there when started again.
      {"resumed", "OutPoint=long:1000\n", {{1300, stop}, {2000, resume}}, 4000,
       {"1000 T OnStart", "1300 T OnStop", "2000 T OnStart", "2700 T OnStop"}},
      // 900 is 100 ms before the out point.
      {"set time", "OutPoint=long:1000\n", {{1300, [](CWTimerObj& t) { t.SetTime(900); }}},
       4000, {"1000 T OnStart", "1400 T OnStop"}},
      // At 1100 the clock is 100; the new range ends 400 ms later. Ranges
      // that leave out the interrupt point are refused; one that takes the
      // clock forward to its in point 200 has the interrupt 100 ms on.
      {"set range", "OutPoint=long:1000\n",
       {{1100,
         [](CWTimerObj& t) {
           EXPECT_EQ(t.SetInOutTime(600, 500), err::kInvalidValue);
           EXPECT_EQ(t.SetInOutTime(0, 500), err::kOk);
         }}},
       4000, {"1000 T OnStart", "1500 T OnStop"}},
      {"set range around the interrupt", "OutPoint=long:1000\nInterruptTime=long:300\n",
       {{1100,
         [](CWTimerObj& t) {
           EXPECT_EQ(t.SetInOutTime(400, 900), err::kInvalidValue);
           EXPECT_EQ(t.SetInOutTime(200, 900), err::kOk);
         }}},
       4000, {"1000 T OnStart", "1200 T OnInterrupt 300", "1800 T OnStop"}},
      // A tick brings the clock up to date without moving the out point.
      {"tick", "OutPoint=long:1000\n", {{1200, [](CWTimerObj& t) { t.TickAfter(50); }}}, 4000,
       {"1000 T OnStart", "2000 T OnStop"}},
  };
  for (const STimerCase& c : kCases) {
    SCOPED_TRACE(c.name);
    CKindRig rig("T=container\n", "[/World/Room/T/]\nTemplate=str:Timer\nActive=long:1\n" + c.values);
    rig.Go("Room");
    CWTimerObj* timer = rig.Find<CWTimerObj>("T");
    ASSERT_NE(timer, nullptr);
    for (const auto& [at, step] : c.steps) {
      rig.RunTo(at);
      step(*timer);
    }
    rig.RunTo(c.end);
    EXPECT_EQ(rig.Calls(), c.calls);
  }
}

// The interrupt handler moves the next interrupt; "IsLooping" (shown with
// the answer preset, the "Loop" before) turns looping on at the AutoUpdate
// tick; leaving the room stops the running timer.
TEST(TimerTest, HandlersSteerTheClockAndLeavingStopsIt) {
  CKindRig rig("T=container\n",
               "[/World/Room/T/]\nTemplate=str:Timer\nActive=long:1\nOutPoint=long:400\n"
               "InterruptTime=long:100\nAutoUpdate=long:300\nOnInterrupt=script\n"
               "IsLooping=script\n" +
                   ScriptSection("/World/Room/T/OnInterrupt", "itime = 350\\s") +
                   ScriptSection("/World/Room/T/IsLooping", "return true\\s"));
  rig.Go("Room");
  rig.RunTo(1800);
  rig.Go("Hall");
  rig.RunTo(3000);
  EXPECT_EQ(rig.Calls(), (std::vector<std::string>{
                             "1000 T OnStart", "1100 T OnInterrupt 100", "1300 T IsLooping false",
                             "1350 T OnInterrupt 350", "1400 T OnLoop", "1600 T IsLooping true",
                             "1750 T OnInterrupt 350", "1800 T OnLoop", "1800 T OnStop"}));
}

}  // namespace
