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
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "fs/bfhp.h"
#include "fs/memory_file.h"
#include "script/script_machine.h"
#include "store/hash_ini.h"
#include "store/vb_ini.h"
#include "store/value_base.h"
#include "ui/test_windows.h"
#include "ui/ui_rig.h"
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

// A project's bytes in memory, and a world over them on the rig.
class CRoom {
 public:
  CRoom(CUiRig& rig, const std::string& bytes) : m_file(std::make_shared<std::string>(bytes)) {
    m_store.Open(&m_file);
    m_base = std::make_unique<CValueBase>(&m_store, &m_cache);
    m_base->Init();
    m_machine.Init({});
    m_machine.Calls().tool_mode = true;
    m_world = std::make_unique<CWorld>(m_base.get(), &m_machine, &rig.Queue(), true);
    m_world->SetDesktop(&rig.Desktop());
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

}  // namespace

BENCHMARK_MAIN();
