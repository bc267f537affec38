// Animation objects: a hot spot whose picture plays an "RLM" animation file,
// "/anim/<ImageName>.ani".
//
// Playing counts time from an origin, the world time at which frame 0
// began: frame = (now - origin) x fps / 1000 x numerator / denominator of
// the rescale, taken modulo the frame count while looping. Only the next
// frame is scheduled; a non-looping animation halts on its last frame once
// that frame's time is over. An interrupt time (ms into each pass, 0 none)
// calls "OnInterrupt", whose written value is the next pass's.
//
// The picture is the object's own copy of the decoded frame: each update
// copies the rectangle that changed, with the colour replacements applied.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "gfx/anim.h"
#include "world/visual_object.h"

class CAnim : public CWHotSpot {
  TV_CLASS(CAnim, CWHotSpot)

 public:
  static constexpr uint32_t kDefaultCacheSize = 32768;
  static constexpr int32_t kDefaultAutoDelay = 5000;

  CAnim(CWorld* world, StoreHandle own, StoreHandle template_handle);
  ~CAnim() override;

  // The loader of "Animation": a missing file keeps the object without a
  // picture; any other failure to open or show frame 0 skips it.
  static std::unique_ptr<CWObject> Load(CWorld* world, StoreHandle own, StoreHandle template_handle,
                                        ErrCode* error);

  // Active: plays from now, or with "SndObj" from now + "AutoDelay".
  void Start() override;
  // Drops the scheduled frame and interrupt, without handlers.
  void Stop() override;
  // Shows and plays ("Looping"), or hides and halts.
  void SetActive(bool active) override;

  // Plays from frame 0 now: "OnPreStart", frame 0, "OnStart".
  void Play(bool loop);
  // Plays as if frame 0 began at `origin` (world ms); until a later origin
  // comes, frame 0 shows.
  void StartAt(int64_t origin);
  // Ends playing: "OnPreStop", "OnStop" (when it played).
  void Halt();
  // Scales the file's rate by numerator / denominator, keeping the frame
  // shown. BADPARAMS for values below 1.
  ErrCode Rescale(int32_t numerator, int32_t denominator);
  // Shows `frame`; while playing, playing goes on from it. BADPARAMS below 0.
  ErrCode SetFrame(int32_t frame);
  // Plays another file: while playing "Interrupt" is called and the new
  // file plays from frame 0; else its frame 0 shows. A file that is no
  // animation changes nothing.
  ErrCode SetFile(const char* name);
  // `from` becomes `to` in the picture (inside `area`, picture coordinates,
  // when given) and in every rectangle decoded from then on.
  void ReplaceColor(uint8_t from, uint8_t to, const TRect* area = nullptr);
  void RecolourSource(uint8_t from, uint8_t to) override { ReplaceColor(from, to); }

  bool IsPlaying() const { return m_playing; }
  bool IsLooping() const { return m_loop; }
  // The path the object's file is looked up at.
  static std::string PathOf(const char* name);

 private:
  struct SReplacement {
    uint8_t from;
    uint8_t to;
    bool whole;
    TRect area;
  };

  // Opens the file of `name` into a new reader and shows its frame 0; a
  // missing file logs and leaves no reader.
  ErrCode Open(const char* name);
  // Decodes up to play time `time`; false (logged, halted) on a read error.
  bool ShowTime(uint64_t time, bool complete = false);
  void CopyChanged(const TRect& changed);
  void Replace(CBitmap& picture, const SReplacement& replacement, const TRect& within) const;
  void Begin();
  void Restart();
  // Shows the frame due now and schedules the next, or halts.
  void Step();
  void ScheduleFrame(uint64_t frame);
  void ScheduleInterrupt();
  void Interrupted();
  void Schedule(uint32_t kind, int64_t due, void (CAnim::*run)());
  void CancelPlay();
  // Play time -> frame, and the first time of a frame, by the rate.
  uint64_t FrameAt(uint64_t time) const;
  uint64_t TimeOf(uint64_t frame) const;
  int64_t PlayTime() const;
  ErrCode CallAnim(const char* handler, std::span<const SCallArg> args = {});

  std::unique_ptr<CAnimReader> m_reader;
  std::string m_path;
  SAnimRate m_rate;
  uint32_t m_scale_numerator = 1;
  uint32_t m_scale_denominator = 1;
  std::vector<SReplacement> m_replacements;
  bool m_playing = false;
  bool m_loop = false;
  int64_t m_origin = 0;
  int32_t m_interrupt_time = 0;
  uint64_t m_interrupt_pass = 0;
};
