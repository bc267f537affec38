// Timers: their handlers at exact times of the virtual clock, in ms since
// the room was entered.
#include <gtest/gtest.h>

#include <functional>

#include "world/object_rig.h"
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
       {}, 2000, {"0 T OnStart", "500 T OnStop"}},
      // Each pass: the interrupt 150 ms in, the loop 150 ms later; never a
      // stop until stopped, nothing after it.
      {"looping with an interrupt",
       "Loop=long:1\nInPoint=long:100\nOutPoint=long:400\nInterruptTime=long:250\n",
       {{700, stop}}, 2000,
       {"0 T OnStart", "150 T OnInterrupt 250", "300 T OnLoop", "450 T OnInterrupt 250",
        "600 T OnLoop", "700 T OnStop"}},
      {"empty range", "", {}, 2000, {"0 T OnStart", "0 T OnStop"}},
      {"empty looping range", "Loop=long:1\n", {{3, stop}}, 2000,
       {"0 T OnStart", "0 T OnLoop", "1 T OnLoop", "2 T OnLoop", "3 T OnLoop",
        "3 T OnStop"}},
      // Stopped 300 ms in, it goes on from there when started again.
      {"resumed", "OutPoint=long:1000\n", {{300, stop}, {1000, resume}}, 3000,
       {"0 T OnStart", "300 T OnStop", "1000 T OnStart", "1700 T OnStop"}},
      // 900 is 100 ms before the out point.
      {"set time", "OutPoint=long:1000\n", {{300, [](CWTimerObj& t) { t.SetTime(900); }}},
       3000, {"0 T OnStart", "400 T OnStop"}},
      // 100 ms in the clock is 100; the new range ends 400 ms later. Ranges
      // that leave out the interrupt point are refused; one that takes the
      // clock forward to its in point 200 has the interrupt 100 ms on.
      {"set range", "OutPoint=long:1000\n",
       {{100,
         [](CWTimerObj& t) {
           EXPECT_EQ(t.SetInOutTime(600, 500), err::kInvalidValue);
           EXPECT_EQ(t.SetInOutTime(0, 500), err::kOk);
         }}},
       3000, {"0 T OnStart", "500 T OnStop"}},
      {"set range around the interrupt", "OutPoint=long:1000\nInterruptTime=long:300\n",
       {{100,
         [](CWTimerObj& t) {
           EXPECT_EQ(t.SetInOutTime(400, 900), err::kInvalidValue);
           EXPECT_EQ(t.SetInOutTime(200, 900), err::kOk);
         }}},
       3000, {"0 T OnStart", "200 T OnInterrupt 300", "800 T OnStop"}},
      // A tick brings the clock up to date without moving the out point.
      {"tick", "OutPoint=long:1000\n", {{200, [](CWTimerObj& t) { t.TickAfter(50); }}}, 3000,
       {"0 T OnStart", "1000 T OnStop"}},
  };
  for (const STimerCase& c : kCases) {
    SCOPED_TRACE(c.name);
    CObjectRig rig;
    rig.Enter(CObjectRig::Section("T", "Timer") + "Active=long:1\n" + c.values);
    CWTimerObj* timer = rig.Object<CWTimerObj>("T");
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
  CObjectRig rig;
  rig.Enter(CObjectRig::Section("T", "Timer") +
            "Active=long:1\nOutPoint=long:400\n"
            "InterruptTime=long:100\nAutoUpdate=long:300\nOnInterrupt=script\n"
            "IsLooping=script\n" +
                CObjectRig::Script("/World/Room/T/OnInterrupt", "itime = 350\\s") +
                CObjectRig::Script("/World/Room/T/IsLooping", "return true\\s"));
  rig.RunTo(800);
  rig.Go("Hall");
  rig.RunTo(2000);
  EXPECT_EQ(rig.Calls(), (std::vector<std::string>{
                             "0 T OnStart", "100 T OnInterrupt 100", "300 T IsLooping false",
                             "350 T OnInterrupt 350", "400 T OnLoop", "600 T IsLooping true",
                             "750 T OnInterrupt 350", "800 T OnLoop", "800 T OnStop"}));
}

}  // namespace
