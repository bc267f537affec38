#include "world/animation.h"

#include <algorithm>

#include "base/log.h"
#include "gfx/blit.h"
#include "world/handler_sites.h"
#include "world/world.h"

namespace {

constexpr uint16_t kMaxSide = 4096;

}  // namespace

CAnim::CAnim(CWorld* world, StoreHandle own, StoreHandle template_handle)
    : CWHotSpot(world, own, template_handle), m_loop(GetLong("Looping") != 0) {}

CAnim::~CAnim() = default;

std::unique_ptr<CWObject> CAnim::Load(CWorld* world, StoreHandle own, StoreHandle template_handle,
                                      ErrCode* error) {
  auto anim = std::make_unique<CAnim>(world, own, template_handle);
  const char* name = anim->GetString("ImageName");
  if (const ErrCode failed = anim->Open(name ? name : "")) {
    LogMessage(kLogWarning, "%s: %s\n", PathOf(name ? name : "").c_str(), ErrName(failed));
    *error = err::kOk;  // reported
    return nullptr;
  }
  return anim;
}

std::string CAnim::PathOf(const char* name) { return std::string("/anim/") + name + ".ani"; }

ErrCode CAnim::Open(const char* name) {
  const std::string path = PathOf(name);
  auto reader = std::make_unique<CAnimReader>();
  bool missing = false;
  const int32_t cache = GetLong("CacheSize", &missing);
  reader->SetReadLimit(missing || cache < 0 ? kDefaultCacheSize : static_cast<uint32_t>(cache));
  const ErrCode error = reader->Open(path.c_str());
  if (error == err::kFileNotFound || error == err::kNotFound) {
    LogMessage(kLogScripts, "Anim file not found: %s\n", path.c_str());
    CancelPlay();
    m_playing = false;
    m_reader.reset();
    m_path = path;
    ShowPicture(nullptr, -1);
    return err::kOk;
  }
  if (error) return error;
  if (reader->Width() > kMaxSide || reader->Height() > kMaxSide) return err::kInvalidValue;
  const SAnimRate rate = AnimFileRate(*reader, m_scale_numerator, m_scale_denominator);
  reader->SetRate(rate.numerator, rate.denominator);
  reader->SetLoop(m_loop);
  do {
    if (!reader->ShowTime(0)) return reader->LastError();
  } while (reader->FrameChanged());
  std::unique_ptr<CBitmap> picture;
  if (const CBitmap* frame = reader->GetFrameBitmap()) {
    picture = std::make_unique<CBitmap>(*frame);
    for (const SReplacement& replacement : m_replacements)
      Replace(*picture, replacement, picture->GetBounds());
  }
  m_reader = std::move(reader);
  m_rate = rate;
  m_path = path;
  const int32_t key = picture ? KeyOf(*picture) : -1;
  ShowPicture(std::move(picture), key);
  return err::kOk;
}

bool CAnim::ShowTime(uint64_t time, bool complete) {
  if (!m_reader) return false;
  m_reader->SetLoop(m_loop);
  do {
    if (!m_reader->ShowTime(static_cast<uint32_t>(std::min<uint64_t>(time, UINT32_MAX)))) {
      LogMessage(kLogWarning, "%s: %s\n", m_path.c_str(), ErrName(m_reader->LastError()));
      CancelPlay();
      m_playing = false;
      return false;
    }
    if (m_reader->FrameChanged()) CopyChanged(m_reader->GetChangedRect());
  } while (complete && m_reader->FrameChanged());
  return true;
}

void CAnim::CopyChanged(const TRect& changed) {
  CBitmap* picture = Picture();
  const CBitmap* frame = m_reader->GetFrameBitmap();
  if (!picture || !frame || RectEmpty(changed)) return;
  {
    CBitmapLock to(*picture);
    CBitmapLock from(*frame);
    if (!to || !from) return;
    Blit8(to.View(), changed.left, changed.top, from.View(), changed, kNoKey, changed);
  }
  for (const SReplacement& replacement : m_replacements) Replace(*picture, replacement, changed);
  PictureChanged();
}

void CAnim::Replace(CBitmap& picture, const SReplacement& replacement, const TRect& within) const {
  TRect area = within;
  if (!replacement.whole && !IntersectRect(replacement.area, within, &area)) return;
  CBitmapLock lock(picture);
  if (lock) ReplaceColour(lock.View(), replacement.from, replacement.to, &area);
}

void CAnim::ReplaceColor(uint8_t from, uint8_t to, const TRect* area) {
  const SReplacement replacement{from, to, area == nullptr, area ? *area : TRect{0, 0, -1, -1}};
  m_replacements.push_back(replacement);
  if (!Picture()) return;
  Replace(*Picture(), replacement, Picture()->GetBounds());
  PictureChanged();
}

void CAnim::Start() {
  CWHotSpot::Start();
  if (!IsActive()) return;
  m_loop = GetLong("Looping") != 0;
  const char* sound = GetString("SndObj");
  if (!sound || !*sound) return StartAt(World().Now());
  bool missing = false;
  const int32_t delay = GetLong("AutoDelay", &missing);
  StartAt(int64_t{World().Now()} + (missing ? kDefaultAutoDelay : delay));
}

void CAnim::Stop() {
  CWHotSpot::Stop();
  m_playing = false;
}

void CAnim::SetActive(bool active) {
  CWHotSpot::SetActive(active);
  if (!active) return Halt();
  if (!m_playing) Play(GetLong("Looping") != 0);
}

void CAnim::Play(bool loop) {
  m_loop = loop;
  StartAt(World().Now());
}

void CAnim::StartAt(int64_t origin) {
  if (!m_reader) return;
  CancelPlay();
  m_playing = false;
  m_origin = origin;
  if (origin <= int64_t{World().Now()}) return Begin();
  if (ShowTime(0, true)) Schedule(kTickAnimFrame, origin, &CAnim::Begin);
}

void CAnim::Begin() {
  m_playing = true;
  CallAnim("OnPreStart");
  if (!m_playing || !ShowTime(0, true)) return;
  CallAnim("OnStart");
  if (m_playing) Restart();
}

// Plays on from the origin as set, from the first pass's interrupt.
void CAnim::Restart() {
  m_interrupt_pass = 0;
  m_interrupt_time = std::max(0, GetLong("InterruptTime"));
  ScheduleInterrupt();
  Step();
}

void CAnim::Halt() {
  CancelPlay();
  if (!m_playing) return;
  m_playing = false;
  CallAnim("OnPreStop");
  CallAnim("OnStop");
}

ErrCode CAnim::Rescale(int32_t numerator, int32_t denominator) {
  if (numerator < 1 || denominator < 1) return err::kBadParams;
  const uint64_t frame = m_playing ? FrameAt(PlayTime()) : 0;
  m_scale_numerator = static_cast<uint32_t>(numerator);
  m_scale_denominator = static_cast<uint32_t>(denominator);
  if (!m_reader) return err::kOk;
  m_rate = AnimFileRate(*m_reader, m_scale_numerator, m_scale_denominator);
  m_reader->SetRate(m_rate.numerator, m_rate.denominator);
  if (!m_playing) return err::kOk;
  m_origin = int64_t{World().Now()} - static_cast<int64_t>(TimeOf(frame));
  ScheduleFrame(frame + 1);
  ScheduleInterrupt();
  return err::kOk;
}

ErrCode CAnim::SetFrame(int32_t frame) {
  if (frame < 0) return err::kBadParams;
  if (!m_reader) return err::kOk;
  const uint64_t time = TimeOf(static_cast<uint64_t>(frame));
  if (!m_playing) return ShowTime(time, true), err::kOk;
  m_origin = int64_t{World().Now()} - static_cast<int64_t>(time);
  ScheduleInterrupt();
  Step();
  return err::kOk;
}

ErrCode CAnim::SetFile(const char* name) {
  const bool running = m_playing;
  if (running) CallAnim("Interrupt");
  if (const ErrCode error = Open(name)) {
    LogMessage(kLogWarning, "%s: %s\n", PathOf(name).c_str(), ErrName(error));
    return error;
  }
  if (running && m_playing) {
    m_origin = World().Now();
    Restart();
  }
  return err::kOk;
}

void CAnim::Step() {
  const uint64_t time = static_cast<uint64_t>(PlayTime());
  const uint64_t frame = FrameAt(time);
  const uint32_t count = m_reader->FrameCount();
  // The last frame's time is over: it stays, whole.
  const bool over = !m_loop && frame >= count;
  if (!ShowTime(time, over)) return;
  if (over) return Halt();
  if (count) ScheduleFrame(frame + 1);
}

void CAnim::ScheduleFrame(uint64_t frame) {
  Schedule(kTickAnimFrame, m_origin + static_cast<int64_t>(TimeOf(frame)), &CAnim::Step);
}

void CAnim::ScheduleInterrupt() {
  World().Scheduler().Cancel(Serial(), kTickAnimInterrupt);
  const uint32_t count = m_reader ? m_reader->FrameCount() : 0;
  if (!m_playing || m_interrupt_time <= 0 || count == 0 || (!m_loop && m_interrupt_pass > 0)) return;
  const uint64_t start = TimeOf(m_interrupt_pass * count);
  const uint64_t due = start + static_cast<uint64_t>(m_interrupt_time);
  if (due >= TimeOf((m_interrupt_pass + 1) * count)) return;
  Schedule(kTickAnimInterrupt, m_origin + static_cast<int64_t>(due), &CAnim::Interrupted);
}

void CAnim::Interrupted() {
  int32_t time = m_interrupt_time;
  const SCallArg args[] = {SCallArg::Ref(&time)};
  CallAnim("OnInterrupt", args);
  if (!m_playing) return;
  m_interrupt_time = time;
  ++m_interrupt_pass;
  ScheduleInterrupt();
}

void CAnim::Schedule(uint32_t kind, int64_t due, void (CAnim::*run)()) {
  CWorld* world = &World();
  const uint32_t serial = Serial();
  world->Scheduler().Cancel(serial, kind);
  const auto at = static_cast<uint32_t>(std::clamp<int64_t>(due, 0, UINT32_MAX));
  world->Scheduler().Schedule(serial, kind, at, [world, serial, run] {
    if (auto* anim = KindOf<CAnim>(world->Find(serial))) (anim->*run)();
  });
}

void CAnim::CancelPlay() {
  World().Scheduler().Cancel(Serial(), kTickAnimFrame);
  World().Scheduler().Cancel(Serial(), kTickAnimInterrupt);
}

uint64_t CAnim::FrameAt(uint64_t time) const { return time * m_rate.numerator / m_rate.denominator; }

uint64_t CAnim::TimeOf(uint64_t frame) const {
  return (frame * m_rate.denominator + m_rate.numerator - 1) / m_rate.numerator;
}

int64_t CAnim::PlayTime() const { return std::max<int64_t>(0, int64_t{World().Now()} - m_origin); }

ErrCode CAnim::CallAnim(const char* handler, std::span<const SCallArg> args) {
  const SHandlerSite* site = FindHandlerSite(kSiteAnimation, handler);
  return Call(handler, site->signature.data(), args);
}
