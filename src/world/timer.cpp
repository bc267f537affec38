#include "world/timer.h"

#include <algorithm>

#include "world/handler_sites.h"
#include "world/world.h"

CWTimerObj::CWTimerObj(CWorld* world, StoreHandle own, StoreHandle template_handle)
    : CWObject(world, own, template_handle),
      m_in(GetLong("InPoint")),
      m_out(GetLong("OutPoint")),
      m_interrupt(GetLong("InterruptTime")),
      m_loop(GetLong("Loop") != 0),
      m_clock(GetLong("Time")) {
  if (m_out <= m_in) m_in = 0;
  if (m_interrupt <= m_in || m_interrupt >= m_out) m_interrupt = 0;
}

std::string_view CWTimerObj::SiteKind() const { return kSiteTimer; }

void CWTimerObj::Start() {
  CWObject::Start();
  if (IsActive() && !m_running && !World().EditMode()) Begin();
}

void CWTimerObj::Stop() {
  if (m_running) Halt();
  CWObject::Stop();
}

void CWTimerObj::Update() {
  const uint32_t serial = Serial();
  CWObject::Update();
  if (!World().Find(serial)) return;
  uint8_t looping = m_loop;
  const SCallArg args[] = {SCallArg::Ref(&looping)};
  if (CallSite("IsLooping", args) == err::kOk) m_loop = looping != 0;
}

void CWTimerObj::SetActive(bool active) {
  if (active == m_running) return CWObject::SetActive(active);
  if (active)
    Begin();
  else
    Halt();
}

int32_t CWTimerObj::Clock() const {
  return m_running ? m_clock + static_cast<int32_t>(World().Now() - m_wall) : m_clock;
}

void CWTimerObj::Sync() {
  m_clock = Clock();
  m_wall = World().Now();
}

void CWTimerObj::SetTime(int32_t time) {
  m_clock = std::clamp(time, m_in, m_out);
  m_wall = World().Now();
  Schedule();
}

ErrCode CWTimerObj::SetInOutTime(int32_t in, int32_t out) {
  if (in >= out || m_interrupt < in || m_interrupt >= out) return err::kInvalidValue;
  Sync();
  m_in = in;
  m_out = out;
  m_clock = std::clamp(m_clock, in, out);
  Schedule();
  return err::kOk;
}

void CWTimerObj::TickAfter(uint32_t delay) {
  if (!m_running || World().EditMode()) return;
  World().Scheduler().Cancel(Serial(), kTickTimer);
  Post(kEvTick, delay);
}

void CWTimerObj::Begin() {
  m_running = true;
  CWObject::SetActive(true);
  m_wall = World().Now();
  if (m_clock < m_in || m_clock >= m_out) m_clock = m_in;
  Schedule();
  CallSite("OnStart");
}

void CWTimerObj::Halt() {
  Sync();
  Finish();
}

void CWTimerObj::Finish() {
  ++m_generation;
  m_running = false;
  CWObject::SetActive(false);
  World().Scheduler().Cancel(Serial(), kTickTimer);
  CallSite("OnStop");
}

void CWTimerObj::Schedule() {
  World().Scheduler().Cancel(Serial(), kTickTimer);
  if (!m_running || World().EditMode()) return;
  if (m_interrupt != 0 && m_clock < m_interrupt)
    Post(kEvInterrupt, static_cast<uint32_t>(m_interrupt - m_clock));
  else if (m_clock <= m_out)
    Post(kEvOutPoint, static_cast<uint32_t>(m_out - m_clock));
}

void CWTimerObj::Post(EEvent event, uint32_t delay) {
  CWorld* world = &World();
  const uint32_t serial = Serial();
  const uint32_t generation = m_generation;
  world->Scheduler().Schedule(serial, kTickTimer, world->Now() + delay,
                              [world, serial, event, generation] {
                                if (auto* timer = KindOf<CWTimerObj>(world->Find(serial)))
                                  timer->Fire(event, generation);
                              });
}

void CWTimerObj::Fire(EEvent event, uint32_t generation) {
  if (generation != m_generation || !m_running) return;
  switch (event) {
    case kEvInterrupt: return Interrupted();
    case kEvOutPoint: return OutPointReached();
    case kEvTick: return Ticked();
  }
}

void CWTimerObj::Interrupted() {
  m_clock = m_interrupt;
  m_wall = World().Now();
  int32_t next = m_interrupt;
  const SCallArg args[] = {SCallArg::Ref(&next)};
  CallSite("OnInterrupt", args);
  m_interrupt = next > m_in && next < m_out ? next : 0;
  Schedule();
}

void CWTimerObj::OutPointReached() {
  m_clock = m_in;
  m_wall = World().Now();
  if (!m_loop) return Finish();
  CallSite("OnLoop");
  Schedule();
}

void CWTimerObj::Ticked() {
  Sync();
  Schedule();
}
