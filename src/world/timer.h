// Timers: world objects with a virtual clock in milliseconds that runs
// through a range. The clock calls "OnInterrupt" at the range's interrupt
// point and, at its out point, jumps back to the in point with "OnLoop" or
// stops with "OnStop".
//
// One timed entry is pending per running timer, tagged with the run's
// generation: every stop starts a new generation, so nothing of an earlier
// run can reach a later one. In the tool's edit mode nothing is scheduled.
#pragma once

#include <cstdint>

#include "world/world_object.h"

class CWTimerObj : public CWObject {
  TV_CLASS(CWTimerObj, CWObject)

 public:
  // Reads the range: an out point not above the in point makes the in point
  // 0, an interrupt point not strictly inside the range is none (0).
  CWTimerObj(CWorld* world, StoreHandle own, StoreHandle template_handle);

  std::string_view SiteKind() const override;
  // An active timer runs from here on (not in the tool's edit mode).
  void Start() override;
  // Unloading a running timer stops it, with "OnStop".
  void Stop() override;
  // Also takes "IsLooping"'s answer as the new "Loop".
  void Update() override;
  // Starts the clock ("OnStart"; a clock outside [in, out) starts at the in
  // point) or stops it where it stands ("OnStop").
  void SetActive(bool active) override;

  bool IsRunning() const { return m_running; }
  // Where the clock stands now.
  int32_t Clock() const;
  int32_t InPoint() const { return m_in; }
  int32_t OutPoint() const { return m_out; }
  int32_t InterruptTime() const { return m_interrupt; }
  bool Loops() const { return m_loop; }
  uint32_t Generation() const { return m_generation; }

  // Moves the clock to `time`, clamped into [in, out].
  void SetTime(int32_t time);
  // A new range, taken only when in < out and in <= the interrupt point <
  // out (else INVALIDVALUE); the clock is clamped into it.
  ErrCode SetInOutTime(int32_t in, int32_t out);
  // Replaces the pending entry by a tick after `delay` ms, which brings the
  // clock up to date and schedules again.
  void TickAfter(uint32_t delay);

 protected:
  // The out point's event: back to the in point, then on with "OnLoop" or
  // stopped with "OnStop".
  virtual void OutPointReached();

 private:
  enum EEvent : uint8_t { kEvInterrupt, kEvOutPoint, kEvTick };

  void Begin();
  // Stops the run where the clock stands.
  void Halt();
  // Ends the run: a new generation, not running, "OnStop".
  void Finish();
  // Folds the time run since the last update into the clock.
  void Sync();
  // Cancels the pending entry and, while running, posts the next one.
  void Schedule();
  void Post(EEvent event, uint32_t delay);
  void Fire(EEvent event, uint32_t generation);
  void Interrupted();
  void Ticked();

  int32_t m_in = 0;
  int32_t m_out = 0;
  int32_t m_interrupt = 0;
  bool m_loop = false;
  bool m_running = false;
  int32_t m_clock = 0;
  uint32_t m_wall = 0;  // the world's time the clock was last brought up to
  uint32_t m_generation = 1;
};
