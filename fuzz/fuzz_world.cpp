// Builds the bytes, read as INI text below a fixed prelude of templates, one
// background picture, a sprite strip and a font, into a world on a scratch
// value base; goes to every view under "/World/" and sends each 200 mouse
// and key events, and calls on sprites, texts and timers.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/virtual_keys.h"
#include "ui/test_windows.h"
#include "world/sprite.h"
#include "world/text.h"
#include "world/timer.h"
#include "world/view.h"
#include "world/world.h"
#include "world_fuzz.h"

namespace {

// Templates of every kind a view loads, and a view that uses them.
std::string Prelude(const std::string& picture, const std::string& strip, const std::string& font) {
  const std::string script = "Size=12\nType=34\nTextSize=3\n1=.;\n";
  return "[/]\nTemplates=container\nWorld=container\n"
         "[/Templates/]\nPlaneView=container\nViewSet=container\nHotSpot=container\n"
         "Sprite=container\nText=container\nTimer=container\n"
         "[/Templates/Sprite/]\nType=str:Sprite\nImageName=str:" + strip + "\n"
         "[/Templates/Text/]\nType=str:Text\nFontName=str:" + font + "\n"
         "[/Templates/Timer/]\nType=str:Timer\nOnLoop=script\nOnInterrupt=script\n"
         "[/Templates/Timer/OnLoop]\n" + script + "[/Templates/Timer/OnInterrupt]\n" + script +
         "[/Templates/PlaneView/]\nType=str:PlaneView\nImageName=str:" + picture + "\n"
         "OnClick=script\n[/Templates/PlaneView/OnClick]\n" + script +
         "[/Templates/ViewSet/]\nType=str:ViewSet\n"
         "[/Templates/HotSpot/]\nType=str:HotSpot\nActive=long:1\nAttach=long:1\n"
         "OnLButtonDown=script\n[/Templates/HotSpot/OnLButtonDown]\n" + script;
}

// Every container path below "/World/", as view paths.
void ViewPaths(CValueBase& base, StoreHandle handle, const std::string& path, int depth,
               std::vector<std::string>* paths) {
  COpenContainer container(&base, handle);
  if (!container || depth > 4) return;
  uint32_t cursor = 0;
  Atom atom = 0;
  const uint8_t* value = nullptr;
  while (container->NextValue(&cursor, &atom, &value) == err::kOk && paths->size() < 20)
    if (const StoreHandle child = ContainerHandleOf(value)) {
      const std::string name = path + base.NameOfAtom(atom);
      paths->push_back(name);
      ViewPaths(base, child, name + "/", depth + 1, paths);
    }
}

// One operation of a sprite, text or timer on the object of `serial`, with
// arguments from `seed`.
void Poke(CWorld& world, uint32_t serial, uint32_t seed) {
  CWObject* object = world.Find(serial);
  const int a = static_cast<int>((seed >> 8) & 0x3FF) - 100;
  const int b = static_cast<int>((seed >> 18) & 0x3FF) - 100;
  if (auto* sprite = KindOf<CWSprite>(object)) sprite->SetColumn(a % 8);
  if (auto* text = KindOf<CText>(object)) {
    if (seed & 0x10)
      text->TextOut(std::string(static_cast<size_t>(a & 31), static_cast<char>('A' + (b & 31))) +
                    "\n x y");
    else
      text->SetTextHLChar(a, b);
  }
  auto* timer = KindOf<CWTimerObj>(object);
  if (!timer) return;
  switch (seed & 0x30) {
    case 0x00: return timer->SetTime(a);
    case 0x10: return static_cast<void>(timer->SetInOutTime(a, b));
    case 0x20: return timer->SetActive(!timer->IsRunning());
    default: return timer->TickAfter(static_cast<uint32_t>(b & 0xFF));
  }
}

void Exercise(CUiRig& rig, CWorld& world, uint32_t seed) {
  CDesktop& desktop = rig.Desktop();
  static constexpr uint32_t kCodes[] = {kEvMouseMove, kEvLeftDown, kEvLeftUp, kEvLeftDouble,
                                        kEvRightDown, kEvRightUp};
  for (int i = 0; i < 200; ++i) {
    seed = seed * 1103515245 + 12345;
    const TPoint point{static_cast<int16_t>((seed >> 8) % 660), static_cast<int16_t>((seed >> 18) % 500)};
    const uint32_t code = kCodes[(seed >> 4) % 6];
    if ((seed & 15) == 13) {
      Poke(world, (seed >> 20) % (world.ObjectCount() + 40), seed);
    } else if ((seed & 15) == 15) {
      desktop.SendEvent(desktop.Id(), kEvKeyDown, uint32_t{'R'} << 16, 2);
    } else if ((seed & 15) == 14) {
      // Straight to an object, live or long gone.
      SEventRecord record;
      record.delivery = kDeliverObject;
      record.target = (seed >> 20) % (world.ObjectCount() + 40);
      record.code = code;
      record.p1 = PackPoint(point);
      rig.Queue().Post(record);
    } else {
      desktop.SendEvent(desktop.Id(), code, PackPoint(point), 0);
    }
  }
  rig.Queue().DeliverDue(rig.Queue().Now() + 1000, 100);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CUiRig rig;
  WritePicture(rig.Dir(), "back.bmp", 8, std::vector<uint8_t>(64, 3));
  std::vector<uint8_t> strip(64);
  for (size_t i = 0; i < strip.size(); ++i) strip[i] = static_cast<uint8_t>(i);
  WritePicture(rig.Dir(), "strip.bmp", 16, strip);
  WriteBoxFont(rig.Dir().Join("font.fnt"));
  const std::string text = Prelude(rig.Dir().Join("back.bmp"), rig.Dir().Join("strip.bmp"),
                                   rig.Dir().Join("font.fnt")) +
                           std::string(reinterpret_cast<const char*>(data), size);
  CFuzzWorld fuzz(rig, text);
  CWorld* world = fuzz.World();
  if (!world) return 0;
  std::vector<std::string> paths;
  ViewPaths(fuzz.Base(), fuzz.Base().FindPath("/World/", fuzz.Base().Root()), "", 0, &paths);
  uint32_t seed = static_cast<uint32_t>(size);
  for (const std::string& path : paths) {
    world->RequestView(path, {0, 0}, false);
    rig.Queue().DeliverDue(rig.Queue().Now(), 100);
    Exercise(rig, *world, seed++);
  }
  return 0;
}
