// The intro the game opens with and the credits it closes with: full-screen
// animations played one after the other, each with its sound, skipped by a
// click or by Enter, Space, Escape or key 0.
//
// A step plays "/anim/<name>.ani" centred on (320, 240) with
// "/anim/<name>.wav". Skipping before the step's skip point jumps there,
// the sound too; skipping after it (or in a step without one) ends the
// step. A step whose animation cannot be opened is passed over. The window
// moves on by a tick it posts to itself every 10 ms.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "gfx/anim.h"
#include "ui/window.h"

// What the intro needs of the mixer's channel 0.
class CIntroSound {
 public:
  virtual ~CIntroSound() = default;
  virtual void Play(const std::string& path) = 0;
  // Plays on from `ms` into the sound started last.
  virtual void Seek(uint32_t ms) = 0;
};

class CIntroWindow : public CWindow {
  TV_CLASS(CIntroWindow, CWindow)

 public:
  static constexpr uint32_t kTick = 0x23496523;
  static constexpr uint32_t kTickInterval = 10;
  static constexpr TRect kRect{0, 0, 639, 489};

  enum class EMode : uint8_t { kIntro, kCredits };
  struct SOptions {
    EMode mode = EMode::kIntro;
    bool slow = false;       // the short intro and the plain credits
    bool tool_mode = false;  // shows the cursor again at the end
    CIntroSound* sound = nullptr;
    // Called once the window has gone: the intro's end opens the sign-in,
    // the credits' end lets the shutdown go on.
    std::function<void()> finished;
  };

  CIntroWindow(CDesktop* desktop, SOptions options);
  ~CIntroWindow() override;

  uint32_t OnEvent(const SEventRecord& record) override;
  bool OnKey(uint32_t code, uint16_t virtual_key, uint16_t character) override;
  bool OnMouse(uint32_t code, TPoint point, int32_t steps) override;
  void Draw(const SDrawContext& context, const TRect& rect) override;

  int Step() const { return m_step; }
  const CAnimReader* Animation() const { return m_animation.get(); }

 private:
  struct SStep {
    const char* name;  // null: the end
    uint32_t skip;     // ms
  };

  void Tick();
  // Jumps to the step's skip point, or ends the step's animation.
  void Skip();
  // Starts the next step; after the last the window goes.
  void NextStep();
  void Start(const char* name, const char* sound);
  uint32_t Elapsed() const;

  SOptions m_options;
  std::array<SStep, 3> m_steps{{{"quillanvex", 0}, {"introLast", 26022}, {nullptr, 0}}};
  int m_step = -1;
  std::unique_ptr<CAnimReader> m_animation;
  uint32_t m_start = 0;
  TPoint m_position{0, 0};
  bool m_latch = false;  // a left press waits for its release
};
