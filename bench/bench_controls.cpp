// Speed of the template-built controls on the headless platform, beside the
// palette conversion of a whole frame that one present costs.
//
// Gallery: the shipped gallery built from its cached template and painted
// whole, then destroyed. Budget: 2 ms.
// Keystrokes: a character typed at the end of a focused one-line edit of 40
// characters and taken back with Backspace, each through the top-level
// window's procedure up to its rectangle in the presented frame: two
// keystrokes per iteration. Budget: 100 µs a keystroke.
// Wheel: a wheel step on a list of 10,000 rows to the presented frame.
// Budget: 200 µs.
#include <benchmark/benchmark.h>

#include "frame_yardsticks.h"
#include "platform/virtual_keys.h"
#include "ui/controls.h"
#include "ui/list.h"
#include "ui/text.h"
#include "ui/ui_rig.h"

namespace {

constexpr char kGallery[] = "/Tool Interface/Gallery/Gallery.ini";

// The rig with the shipped tool interface mounted and its font as the
// desktop's, tracing nothing.
class CControlsRig {
 public:
  CControlsRig() {
    Tracer().Configure("", nullptr);
    m_ready = m_rig.UseToolInterface(TARVOLIN_TOOL_INTERFACE);
  }

  bool Ready() const { return m_ready; }
  CUiRig& Rig() { return m_rig; }
  void PaintAll() {
    m_rig.Desktop().Invalidate(m_rig.Desktop().GetRect(), nullptr, false);
    m_rig.Desktop().Present();
  }
  // A message for the top-level window at (x, y).
  SPlatformMessage Message(EPlatformMessage kind, int x, int y) {
    SPlatformMessage message;
    message.kind = kind;
    message.window = m_rig.Top().PlatformWindow();
    message.x = static_cast<int16_t>(x);
    message.y = static_cast<int16_t>(y);
    return message;
  }

 private:
  CUiRig m_rig;
  bool m_ready = false;
};

void BM_GalleryBuildAndPaint(benchmark::State& state) {
  CControlsRig rig;
  if (!rig.Ready()) return state.SkipWithError("no tool font");
  for (auto _ : state) {
    auto* dialog = new CUIDialog(&rig.Rig().Desktop());
    if (dialog->LoadTemplate(kGallery) != err::kOk) return state.SkipWithError("no gallery");
    rig.PaintAll();
    delete dialog;
  }
}
BENCHMARK(BM_GalleryBuildAndPaint)->Unit(benchmark::kMicrosecond);

void BM_EditTypeAndBackspace(benchmark::State& state) {
  CControlsRig rig;
  if (!rig.Ready()) return state.SkipWithError("no tool font");
  rig.Rig().Dir().WriteFile("Edit.ini",
                            "[Edit Params]\nRectWH = 0, 0, 640, 480\nFocus = Line\n"
                            "[Edit Objects]\nLine =\n"
                            "[Line]\nType = Edit\nId = 1\nRectWH = 20, 20, 400, 18\n");
  auto* dialog = new CUIDialog(&rig.Rig().Desktop());
  if (dialog->LoadTemplate(rig.Rig().Dir().Join("Edit.ini")) != err::kOk)
    return state.SkipWithError("no edit");
  auto* line = KindOf<CUIText>(FindControl(dialog, 1));
  if (!line) return state.SkipWithError("no edit");
  line->SetText("The quick brown fox jumps over the dog.!");
  rig.PaintAll();
  SPlatformMessage type = rig.Message(EPlatformMessage::kChar, 0, 0);
  type.character = 'a';
  SPlatformMessage back = rig.Message(EPlatformMessage::kKeyDown, 0, 0);
  back.virtual_key = kVkBack;
  for (auto _ : state) {
    rig.Rig().Top().WindowProc(type);
    rig.Rig().Desktop().Present();
    rig.Rig().Top().WindowProc(back);
    rig.Rig().Desktop().Present();
  }
  if (line->Text().size() != 40) state.SkipWithError("the keys did not reach the edit");
}
BENCHMARK(BM_EditTypeAndBackspace)->Unit(benchmark::kMicrosecond);

void BM_ListWheel10000Rows(benchmark::State& state) {
  CControlsRig rig;
  if (!rig.Ready()) return state.SkipWithError("no tool font");
  rig.Rig().Dir().WriteFile("List.ini",
                            "[List Params]\nRectWH = 0, 0, 640, 480\n[List Objects]\nRows =\n"
                            "[Rows]\nType = List\nId = 1\nRectWH = 20, 20, 300, 400\n");
  auto* dialog = new CUIDialog(&rig.Rig().Desktop());
  if (dialog->LoadTemplate(rig.Rig().Dir().Join("List.ini")) != err::kOk)
    return state.SkipWithError("no list");
  auto* list = KindOf<CUISList>(FindControl(dialog, 1));
  for (int row = 0; row < 10000; ++row) list->AddRow("Row " + std::to_string(row));
  rig.PaintAll();
  SPlatformMessage wheel = rig.Message(EPlatformMessage::kWheel, 100, 100);
  int direction = -1;
  for (auto _ : state) {
    // Down to the end and back up, so that every step moves.
    if (list->TopRow() == 0) direction = -1;
    if (list->TopRow() + 30 >= 10000) direction = 1;
    wheel.steps = direction;
    rig.Rig().Top().WindowProc(wheel);
    rig.Rig().Desktop().Present();
  }
}
BENCHMARK(BM_ListWheel10000Rows)->Unit(benchmark::kMicrosecond);

BENCHMARK(FramePaletteTo32BitYardstick)
    ->Name("BM_YardstickFramePaletteTo32Bit")
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
