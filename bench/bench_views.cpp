// Speed of views full of hot spots, on the headless platform.
//
// Enter: a project of one view holding 1,000 hot spots (a template, six
// properties and three handlers each) opened cold from its bytes and the
// view entered. Budget: 50 ms; reading the project's bytes from a file is
// measured beside it.
// Moves: mouse moves across a view of 200 hot spots, half of them with
// (empty) enter and exit handlers, each move through the top-level window's
// procedure, the queue, the desktop, the hit test and the handlers. Budget:
// 200,000 a second; a move to a plain window is measured beside it.
// Frames: a busy 640 x 480 view (four looping animations, 24 sprites, four
// texts, a timer whose "OnLoop" turns the sprites and rewrites the texts
// every 100 ms), 60 frames a second on the virtual clock, each frame one
// pump pass: the due world work, the redraw and the present. Budget:
// 1.67 ms a frame; the view composed and presented whole, and the palette
// conversion of one frame, are measured beside it.
// Real time: the same view for 10 s of the wall clock on the headless
// platform in real-time mode, the counters frames (presents that copied
// pixels) and cpu_ms (user and system). Budget: 600 frames, 1,000 ms.
// Hit test: the topmost object under a point among 200 overlapping sprites
// whose pixels there are all transparent, so every one is tested. Budget:
// twice a plain loop reading the same 200 pixels.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "frame_yardsticks.h"
#include "fs/bfhp.h"
#include "fs/memory_file.h"
#include "fs/mount_config.h"
#include "fs/replace.h"
#include "gfx/anim_writer.h"
#include "script/script_machine.h"
#include "store/hash_ini.h"
#include "store/vb_ini.h"
#include "store/value_base.h"
#include "ui/test_windows.h"
#include "ui/ui_rig.h"
#include "world/bindings/bindings.h"
#include "world/text.h"
#include "world/view.h"
#include "world/world.h"

namespace {

constexpr char kEmpty[] = "Size=12\nType=34\nTextSize=3\n1=.;\n";

// One view "Room" of `count` hot spots of 20 x 20 pixels in rows of 30,
// every `handled`-th with enter and exit handlers.
std::string RoomText(const std::string& picture, int count, int handled) {
  std::string text =
      "[/]\nTemplates=container\nWorld=container\n"
      "[/Templates/]\nPlaneView=container\nSpot=container\n"
      "[/Templates/PlaneView/]\nType=str:PlaneView\n"
      "[/Templates/Spot/]\nType=str:HotSpot\nActive=long:1\nVisible=long:1\nZOrder=long:2\n"
      "[/World/]\nRoom=container\n[/World/Room/]\nTemplate=str:PlaneView\nImageName=str:" +
      picture + "\n";
  for (int i = 0; i < count; ++i) text += "S" + std::to_string(i) + "=container\n";
  for (int i = 0; i < count; ++i) {
    const std::string name = "/World/Room/S" + std::to_string(i);
    const int x = (i % 30) * 21, y = (i / 30) * 21;
    text += "[" + name + "/]\nTemplate=str:Spot\nPos=rect:" + std::to_string(x) + ", " +
            std::to_string(y) + ", " + std::to_string(x + 19) + ", " + std::to_string(y + 19) +
            "\nAttach=long:0\nModal=long:0\nSolid=long:1\nArea=long:1\nColor=long:" +
            std::to_string(i) + "\nTip=str:spot\n";
    if (i % handled != 0) continue;
    text += "OnMouseEnter=script\nOnMouseExit=script\nOnLButtonDown=script\n";
    for (const char* handler : {"OnMouseEnter", "OnMouseExit", "OnLButtonDown"})
      text += "[" + name + "/" + handler + "]\n" + kEmpty;
  }
  return text;
}

// A project's bytes in memory, and a world over them on the rig; with
// `natives` its scripts reach the engine's functions.
class CRoom {
 public:
  CRoom(CUiRig& rig, const std::string& bytes, bool natives = false)
      : m_file(std::make_shared<std::string>(bytes)) {
    m_store.Open(&m_file);
    m_base = std::make_unique<CValueBase>(&m_store, &m_cache);
    m_base->Init();
    m_machine.Init(natives ? std::span<const SRegistrationModule>(kWorldModules)
                           : std::span<const SRegistrationModule>());
    m_machine.Calls().tool_mode = true;
    m_world = std::make_unique<CWorld>(m_base.get(), &m_machine, &rig.Queue(), true);
    m_world->SetDesktop(&rig.Desktop());
    if (natives) SetScriptWorld(m_machine, m_world.get());
  }
  ~CRoom() {
    m_world.reset();
    m_machine.Shutdown();
  }
  CWorld& World() { return *m_world; }

 private:
  CMemoryFile m_file;
  CBFHP m_store;
  CObjectCache m_cache{500, 0x20000};
  std::unique_ptr<CValueBase> m_base;
  CScriptMachine m_machine;
  std::unique_ptr<CWorld> m_world;
};

// The bytes of a project made from `text`.
std::string ProjectBytes(const std::string& text) {
  auto bytes = std::make_shared<std::string>();
  CMemoryFile file(bytes);
  CBFHP store;
  CObjectCache cache;
  store.Create(&file, 256, CBFHP::kNoLimit);
  {
    CValueBase base(&store, &cache);
    base.Init();
    CHashIni ini(100, 1000);
    ini.LoadText(text);
    COpenContainer root(&base, base.Root());
    ImportIni(&base, root.get(), &ini);
    base.Flush();
  }
  store.Commit();
  return *bytes;
}

void Enter(CUiRig& rig, CWorld& world) {
  world.RequestView("Room", {0, 0}, false);
  rig.Queue().DeliverDue(rig.Queue().Now(), 100);
}

void BM_Enter1000HotSpotsCold(benchmark::State& state) {
  CUiRig rig;
  Tracer().Configure("", nullptr);
  WritePicture(rig.Dir(), "back.bmp", 16, std::vector<uint8_t>(256, 3));
  const std::string bytes = ProjectBytes(RoomText(rig.Dir().Join("back.bmp"), 1000, 1));
  for (auto _ : state) {
    CRoom room(rig, bytes);
    Enter(rig, room.World());
    if (!room.World().CurrentView()) return state.SkipWithError("the view did not open");
  }
}
BENCHMARK(BM_Enter1000HotSpotsCold)->Unit(benchmark::kMillisecond);

void BM_YardstickReadProjectFile(benchmark::State& state) {
  CUiRig rig;
  WritePicture(rig.Dir(), "back.bmp", 16, std::vector<uint8_t>(256, 3));
  const std::string path = rig.Dir().Join("game.prj");
  std::ofstream(path, std::ios::binary) << ProjectBytes(RoomText(rig.Dir().Join("back.bmp"), 1000, 1));
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    std::string read((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    benchmark::DoNotOptimize(read);
  }
}
BENCHMARK(BM_YardstickReadProjectFile)->Unit(benchmark::kMillisecond);

SPlatformMessage Move(CUiRig& rig, int x, int y) {
  SPlatformMessage move;
  move.kind = EPlatformMessage::kMouseMove;
  move.window = rig.Top().PlatformWindow();
  move.x = static_cast<int16_t>(x);
  move.y = static_cast<int16_t>(y);
  return move;
}

void BM_MovesAcross200HotSpots(benchmark::State& state) {
  CUiRig rig;
  Tracer().Configure("", nullptr);
  WritePicture(rig.Dir(), "back.bmp", 16, std::vector<uint8_t>(256, 3));
  CRoom room(rig, ProjectBytes(RoomText(rig.Dir().Join("back.bmp"), 200, 2)));
  Enter(rig, room.World());
  // The first pass compiles the handlers.
  for (int i = 0; i < 400; ++i) rig.Top().WindowProc(Move(rig, (i % 30) * 21 + 5, (i / 30 % 7) * 21 + 5));
  int i = 0;
  for (auto _ : state) {
    rig.Top().WindowProc(Move(rig, (i % 30) * 21 + 5, (i / 30 % 7) * 21 + 5));
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MovesAcross200HotSpots);

void BM_YardstickMoveToAPlainWindow(benchmark::State& state) {
  CUiRig rig;
  Tracer().Configure("", nullptr);
  new CWindow(&rig.Desktop(), &rig.Desktop(), {0, 0, 639, 479}, kStyleVisible);
  int i = 0;
  for (auto _ : state) {
    rig.Top().WindowProc(Move(rig, i % 600, 10 + i % 400));
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_YardstickMoveToAPlainWindow);

// The busy view's files in the rig's folder, mounted as "/anim/" for the
// animations while it lives.
class CBusyFiles {
 public:
  static constexpr int kAnimations = 4;
  static constexpr int kSprites = 24;
  static constexpr int kTexts = 4;

  explicit CBusyFiles(const CTempDir& dir) : m_dir(dir), m_mounts{{"/anim/", "Trans, " + dir.Path()}} {
    WritePicture(dir, "back.bmp", 640, std::vector<uint8_t>(640 * 480, 3));
    // Four columns of 32 x 32, each a ring of its colour around a
    // transparent middle.
    std::vector<uint8_t> strip(128 * 32, 0);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 128; ++x)
        if (x % 32 < 8 || x % 32 >= 24 || y < 8 || y >= 24) strip[y * 128 + x] = static_cast<uint8_t>(20 + x / 32);
    WritePicture(dir, "strip.bmp", 128, strip);
    WriteBoxFont(dir.Join("font.fnt"));
    for (int i = 0; i < kAnimations; ++i) WriteAnim("a" + std::to_string(i), kRates[i]);
    MountFromConfig(m_mounts);
  }
  ~CBusyFiles() { UnmountFromConfig(m_mounts); }
  CBusyFiles(const CBusyFiles&) = delete;
  CBusyFiles& operator=(const CBusyFiles&) = delete;

  // The project's text: "Room" holding the objects, and "Curtain", a hot
  // spot over the whole view that nothing draws.
  std::string RoomText() const {
    std::string text =
        "[/]\nTemplates=container\nWorld=container\n"
        "[/Templates/]\nPlaneView=container\nSprite=container\nAnimation=container\n"
        "Text=container\nTimer=container\nHotSpot=container\n"
        "[/Templates/PlaneView/]\nType=str:PlaneView\n"
        "[/Templates/Sprite/]\nType=str:Sprite\n[/Templates/Animation/]\nType=str:Animation\n"
        "[/Templates/Text/]\nType=str:Text\n[/Templates/Timer/]\nType=str:Timer\n"
        "[/Templates/HotSpot/]\nType=str:HotSpot\n"
        "[/World/]\nRoom=container\n[/World/Room/]\nTemplate=str:PlaneView\nImageName=str:" +
        m_dir.Join("back.bmp") + "\nClock=container\nCurtain=container\n";
    std::string objects =
        "[/World/Room/Curtain/]\nTemplate=str:HotSpot\nActive=long:1\nVisible=long:1\n"
        "ZOrder=long:1\nPos=rect:0, 0, 639, 479\n";
    const auto object = [&](const std::string& name, const std::string& kind, int x, int y,
                            const std::string& more) {
      text += name + "=container\n";
      objects += "[/World/Room/" + name + "/]\nTemplate=str:" + kind +
                 "\nActive=long:1\nVisible=long:1\nZOrder=long:2\nPos=rect:" + std::to_string(x) +
                 ", " + std::to_string(y) + ", " + std::to_string(x + 95) + ", " +
                 std::to_string(y + 19) + "\n" + more;
    };
    for (int i = 0; i < kAnimations; ++i)
      object("A" + std::to_string(i), "Animation", 20 + i * 150, 20,
             "ImageName=str:a" + std::to_string(i) + "\nLooping=long:1\n");
    for (int i = 0; i < kSprites; ++i)
      object("S" + std::to_string(i), "Sprite", 20 + i % 12 * 50, 180 + i / 12 * 60,
             "ImageName=str:" + m_dir.Join("strip.bmp") + "\nCols=long:4\nTColor=long:0\n");
    for (int i = 0; i < kTexts; ++i)
      object("T" + std::to_string(i), "Text", 20 + i * 150, 360,
             "FontName=str:" + m_dir.Join("font.fnt") + "\nColor=long:200\n");
    // The clock turns every sprite to its next column and shortens or
    // lengthens every text; a statement a line, ";" written "\s".
    std::vector<std::string> loop = {"{ int c\\s c = GetColumn(\"S0\") + 1\\s",
                                     "if c > 3 then { c = 0\\s }"};
    for (int i = 0; i < kSprites; ++i) loop.push_back("SetColumn(\"S" + std::to_string(i) + "\", c)\\s");
    for (int i = 0; i < kTexts; ++i)
      loop.push_back("TextOut(\"T" + std::to_string(i) + "\", StrLeft(\"SCORE 12345\", c + 8))\\s");
    loop.push_back("}");
    std::string lines;
    size_t size = 1;
    for (size_t i = 0; i < loop.size(); ++i) {
      lines += std::to_string(i + 1) + "=." + loop[i] + "\n";
      size += loop[i].size() + 1;
    }
    objects += "[/World/Room/Clock/]\nTemplate=str:Timer\nActive=long:1\nInPoint=long:0\n"
               "OutPoint=long:100\nLoop=long:1\nOnLoop=script\n[/World/Room/Clock/OnLoop]\n"
               "Size=12\nType=34\nTextSize=" + std::to_string(size) + "\n" + lines;
    return text + objects;
  }

 private:
  static constexpr uint32_t kRates[kAnimations] = {60, 30, 25, 20};

  // 96 x 20 frames at `fps`, twelve of them, a bar of colour 40 + frame
  // growing across colour 30.
  void WriteAnim(const std::string& name, uint32_t fps) const {
    SAnimFormat format{96, 20, fps, 24};
    CPalette palette;
    palette.SetCount(256);
    std::vector<std::vector<uint8_t>> frames;
    for (int f = 0; f < 12; ++f) {
      std::vector<uint8_t> frame(96 * 20, 30);
      for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 8 * (f + 1); ++x) frame[y * 96 + x] = static_cast<uint8_t>(40 + f);
      frames.push_back(std::move(frame));
    }
    WriteReplacing(m_dir.Join(name + ".ani").c_str(), 0,
                   [&](CFile& file) { return WriteAnimation(&file, format, palette, frames); });
  }
  const CTempDir& m_dir;
  ConfigEntries m_mounts;
};

// The platform of the frame benchmarks: its virtual clock moves only when
// told to, and no idle quit ends anything.
std::unique_ptr<CPlatform> QuietPlatform(bool realtime) {
  SHeadlessOptions options;
  options.idle_quit_ms = UINT32_MAX;
  options.realtime = realtime;
  return std::make_unique<CHeadlessPlatform>(options);
}

// The busy view entered, with the world's first round of work done.
class CBusyView {
 public:
  explicit CBusyView(CUiRig& rig)
      : m_rig(rig), m_files(rig.Dir()), m_room(rig, ProjectBytes(m_files.RoomText()), true) {
    Tracer().Configure("", nullptr);
    Enter(rig, m_room.World());
    rig.Pump();
  }
  CWPlaneViewWindow* View() { return m_room.World().CurrentView(); }
  // Whether the clock's handler has written the texts and something was
  // presented after the entry.
  bool Busy() {
    const auto* text = KindOf<CText>(m_room.World().FindByName("T0"));
    return View() && text && text->Text().starts_with("SCORE") && m_rig.Top().PresentCount() > 1;
  }
  CWorld& World() { return m_room.World(); }

 private:
  CUiRig& m_rig;
  CBusyFiles m_files;
  CRoom m_room;
};

// One frame of 60 a second: the virtual clock moves on to the next whole
// millisecond at or after the frame's time (17, 34, 50, ...), and one pump
// pass runs what is due, redraws and presents.
void NextFrame(CUiRig& rig, uint64_t frame) {
  rig.Platform().WaitMessage(frame % 3 == 2 ? 16 : 17);
  rig.Pump();
}

void BM_BusyViewFrame(benchmark::State& state) {
  CUiRig rig(QuietPlatform(false));
  CBusyView view(rig);
  // The first pass compiles the clock's handler.
  uint64_t frame = 0;
  for (; frame < 12; ++frame) NextFrame(rig, frame);
  const uint64_t presents = rig.Top().PresentCount();
  for (auto _ : state) NextFrame(rig, frame++);
  if (!view.Busy()) return state.SkipWithError("the view does not move");
  state.counters["presents_per_frame"] = benchmark::Counter(
      static_cast<double>(rig.Top().PresentCount() - presents) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_BusyViewFrame)->Unit(benchmark::kMicrosecond);

void BM_YardstickBusyViewComposedWhole(benchmark::State& state) {
  CUiRig rig(QuietPlatform(false));
  CBusyView view(rig);
  auto* curtain = KindOf<CWVisualObject>(view.World().FindByName("Curtain"));
  if (!curtain || !view.View()) return state.SkipWithError("the view did not open");
  for (auto _ : state) {
    curtain->SetVisible(!curtain->IsVisible());
    view.View()->Redraw();
    rig.Desktop().Present();
  }
}
BENCHMARK(BM_YardstickBusyViewComposedWhole)->Unit(benchmark::kMicrosecond);
BENCHMARK(FramePaletteTo32BitYardstick)
    ->Name("BM_YardstickFramePaletteTo32Bit")
    ->Unit(benchmark::kMicrosecond);

uint64_t CpuMicroseconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto micros = [](const timeval& time) { return uint64_t(time.tv_sec) * 1000000 + uint64_t(time.tv_usec); };
  return micros(usage.ru_utime) + micros(usage.ru_stime);
}

// The main loop's passes for 10 s of the wall clock.
void BM_BusyViewRealTime10s(benchmark::State& state) {
  for (auto _ : state) {
    CUiRig rig(QuietPlatform(true));
    CBusyView view(rig);
    const uint64_t presents = rig.Top().PresentCount();
    const uint64_t cpu = CpuMicroseconds();
    const uint32_t end = rig.Platform().TickCount() + 10000;
    for (uint32_t now; (now = rig.Platform().TickCount()) < end;) {
      rig.Pump();
      rig.Layer().Wait(end - now);
    }
    state.counters["cpu_ms"] = static_cast<double>(CpuMicroseconds() - cpu) / 1000.0;
    state.counters["frames"] = static_cast<double>(rig.Top().PresentCount() - presents);
    if (!view.Busy()) state.SkipWithError("the view does not move");
  }
}
BENCHMARK(BM_BusyViewRealTime10s)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// 200 sprites of 64 x 64, two pixels apart in rows of 20, all transparent
// but their bottom-right corner; every one covers (140..163, 118..163).
constexpr int kStack = 200;

std::string StackText(const std::string& picture, const std::string& background) {
  std::string text =
      "[/]\nTemplates=container\nWorld=container\n"
      "[/Templates/]\nPlaneView=container\nSprite=container\n"
      "[/Templates/PlaneView/]\nType=str:PlaneView\n[/Templates/Sprite/]\nType=str:Sprite\n"
      "[/World/]\nRoom=container\n[/World/Room/]\nTemplate=str:PlaneView\nImageName=str:" +
      background + "\n";
  std::string objects;
  for (int i = 0; i < kStack; ++i) {
    const std::string name = "K" + std::to_string(i);
    const int x = 100 + i % 20 * 2, y = 100 + i / 20 * 2;
    text += name + "=container\n";
    objects += "[/World/Room/" + name + "/]\nTemplate=str:Sprite\nActive=long:1\nVisible=long:1\n"
               "ZOrder=long:" + std::to_string(1 + i) + "\nTColor=long:0\nImageName=str:" + picture +
               "\nPos=rect:" + std::to_string(x) + ", " + std::to_string(y) + ", " +
               std::to_string(x + 63) + ", " + std::to_string(y + 63) + "\n";
  }
  return text + objects;
}

// Points inside every sprite, on transparent pixels of each.
TPoint StackPoint(int i) { return {static_cast<int16_t>(140 + i % 20), static_cast<int16_t>(120 + i / 20 % 40)}; }

// The view of the stacked sprites, entered.
class CStackRoom {
 public:
  CStackRoom() {
    Tracer().Configure("", nullptr);
    WritePicture(m_rig.Dir(), "back.bmp", 16, std::vector<uint8_t>(256, 3));
    std::vector<uint8_t> picture(64 * 64, 0);
    for (int y = 60; y < 64; ++y)
      for (int x = 60; x < 64; ++x) picture[y * 64 + x] = 9;
    const std::string keyed = WritePicture(m_rig.Dir(), "keyed.bmp", 64, picture);
    m_room = std::make_unique<CRoom>(m_rig, ProjectBytes(StackText(keyed, m_rig.Dir().Join("back.bmp"))));
    Enter(m_rig, m_room->World());
  }
  // The view, or null when it did not open with every sprite.
  const CWPlaneViewWindow* View() {
    const CWPlaneViewWindow* view = m_room->World().CurrentView();
    return view && view->Objects().size() == kStack ? view : nullptr;
  }
  CWorld& World() { return m_room->World(); }

 private:
  CUiRig m_rig;
  std::unique_ptr<CRoom> m_room;
};

void BM_HitTest200KeyedSprites(benchmark::State& state) {
  CStackRoom stack;
  const CWPlaneViewWindow* view = stack.View();
  if (!view) return state.SkipWithError("the view did not open");
  int i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(view->ObjectAt(StackPoint(i++)));
  // The corner of the nearest sprite is hit.
  if (view->ObjectAt({static_cast<int16_t>(100 + 19 * 2 + 61), static_cast<int16_t>(100 + 9 * 2 + 61)}) !=
      stack.World().FindByName("K199"))
    state.SkipWithError("the hit test missed");
}
BENCHMARK(BM_HitTest200KeyedSprites);

// The same 200 pixels of the same pictures, read by a loop over their
// rectangles, nearest first.
void BM_YardstickLoopOver200KeyedRects(benchmark::State& state) {
  CStackRoom stack;
  const CWPlaneViewWindow* view = stack.View();
  if (!view) return state.SkipWithError("the view did not open");
  struct SKeyed {
    TRect rect;
    std::unique_ptr<CBitmapLock> pixels;
  };
  std::vector<SKeyed> keyed;
  for (const auto& object : view->Objects()) {
    const auto* sprite = KindOf<CWVisualObject>(object.get());
    if (!sprite || !sprite->Picture()) return state.SkipWithError("a sprite shows no picture");
    keyed.push_back({sprite->Pos(), std::make_unique<CBitmapLock>(*sprite->Picture())});
  }
  int i = 0;
  for (auto _ : state) {
    const TPoint point = StackPoint(i++);
    const SKeyed* hit = nullptr;
    for (auto entry = keyed.rbegin(); entry != keyed.rend() && !hit; ++entry)
      if (RectContains(entry->rect, point) &&
          entry->pixels->View().Row(point.y - entry->rect.top)[point.x - entry->rect.left] != 0)
        hit = &*entry;
    benchmark::DoNotOptimize(hit);
  }
}
BENCHMARK(BM_YardstickLoopOver200KeyedRects);

}  // namespace

BENCHMARK_MAIN();
