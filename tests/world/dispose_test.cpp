// An object taken away while one of its handlers runs: it stays until the
// event that ran the handler is over.
#include <gtest/gtest.h>

#include "script/script_machine.h"
#include "script/script_run.h"
#include "store/hash_ini.h"
#include "store/vb_ini.h"
#include "support/scratch_value_base.h"
#include "ui/test_windows.h"
#include "ui/ui_rig.h"
#include "world/bindings/bindings.h"
#include "world/view.h"
#include "world/world.h"

namespace {

// A view change carried out at once from inside a handler, as no native
// does today; it records whether the object whose handler runs is there.
uint32_t g_watched = 0;
bool g_watched_alive = false;
uint8_t* ChangeNow(uint8_t* sp) {
  CWorld* world = BindingsOf(CScriptRun::Current()->Machine())->world;
  world->ChangeView();
  g_watched_alive = world->Find(g_watched) != nullptr;
  return sp;
}
const SRow kTestRows[] = {rows::Fn("ChangeNow", "void", ChangeNow)};
uint32_t RegisterTestRows(CScriptMachine* machine) {
  RegisterRows(machine, kTestRows);
  return 0;
}

// The room's door leaves the room at once.
TEST(DisposeTest, AnObjectTakenAwayWhileItsHandlerRunsGoesAfterItsEvent) {
  CUiRig rig;
  CScratchValueBase base;
  WritePicture(rig.Dir(), "back.bmp", 4, std::vector<uint8_t>(16, 3));
  std::string tree =
      "[/]\nTemplates=container\nWorld=container\n"
      "[/Templates/]\nPlaneView=container\nHotSpot=container\n"
      "[/Templates/PlaneView/]\nType=str:PlaneView\n"
      "[/Templates/HotSpot/]\nType=str:HotSpot\n"
      "[/World/]\nRoom=container\nHall=container\n";
  for (const char* view : {"Room", "Hall"})
    tree += std::string("[/World/") + view + "/]\nTemplate=str:PlaneView\nImageName=str:" +
            rig.Dir().Join("back.bmp") + "\nDoor=container\n";
  const std::string body = "GoToView(\"Hall\", 0, 0)\\s ChangeNow()\\s";
  tree += "[/World/Room/Door/]\nTemplate=str:HotSpot\nActive=long:1\nPos=rect:0, 0, 9, 9\n"
          "OnLButtonDown=script\n[/World/Room/Door/OnLButtonDown]\nSize=12\nType=34\nTextSize=" +
          std::to_string(body.size() + 2) + "\n1=." + body + "\n";
  base.Import(tree);
  CScriptMachine machine;
  std::vector<SRegistrationModule> modules(std::begin(kWorldModules), std::end(kWorldModules));
  modules.push_back({RegisterTestRows, 500});
  ASSERT_EQ(machine.Init(modules), err::kOk);
  machine.Calls().tool_mode = true;
  {
    CWorld world(base.vb(), &machine, &rig.Queue(), true);
    world.SetDesktop(&rig.Desktop());
    SetScriptWorld(machine, &world);
    world.RequestView("Room", {0, 0}, false);
    rig.Queue().DeliverDue(rig.Queue().Now(), 100);
    g_watched = world.FindByName("Door")->Serial();
    rig.Desktop().SendEvent(rig.Desktop().Id(), kEvLeftDown, PackPoint({5, 5}), 0);
    EXPECT_TRUE(g_watched_alive);
    EXPECT_EQ(world.CurrentView()->ViewName(), "Hall");
    EXPECT_NE(world.Find(g_watched), nullptr);
    rig.Queue().DeliverDue(rig.Queue().Now(), 100);
    EXPECT_EQ(world.Find(g_watched), nullptr);
    SetScriptWorld(machine, nullptr);
  }
  machine.Shutdown();
}

}  // namespace
