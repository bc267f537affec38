// The world's registration module: where its functions sit, the version
// that pins its table, and what they do to the world a script runs in.
#include <gtest/gtest.h>

#include "script/script_call.h"
#include "script/script_machine.h"
#include "script/script_run.h"
#include "store/hash_ini.h"
#include "store/vb_ini.h"
#include "support/scratch_value_base.h"
#include "ui/test_windows.h"
#include "ui/ui_rig.h"
#include "world/view.h"
#include "world/world.h"
#include "world/world_natives.h"

// A table change without a new version text fails here.
TEST(WorldNativesTest, TheVersionPinsTheTable) {
  EXPECT_EQ(RowsHash(WorldFunctionRows()), kWorldFunctionsVersion.rows_hash)
      << "The table changed: set the date-and-time text of kWorldFunctionsVersion to the time "
         "of the change and its hash to "
      << RowsHash(WorldFunctionRows()) << ", together.";
}

// Compiled code names natives by slot: the world's start at 200, the array
// functions still at 321 after them.
TEST(WorldNativesTest, GoToViewTakesTheWorldModulesFirstSlot) {
  CScriptMachine machine;
  ASSERT_EQ(machine.Init(kWorldModules), err::kOk);
  EXPECT_EQ(machine.NativeName(kWorldModuleBase), "GoToView");
  EXPECT_EQ(machine.NativeName(kWorldModuleBase + 1), "");
  EXPECT_EQ(machine.NativeName(kArrayFunctionsBase), "ArrDef");
  EXPECT_EQ(machine.ArgumentBytes(kWorldModuleBase), 12u);
}

namespace {

// A view change carried out at once from inside a handler, as later
// functions may; it records whether the object whose handler runs is still
// there.
uint32_t g_watched = 0;
bool g_watched_alive = false;
uint8_t* ChangeNow(uint8_t* sp) {
  auto* world = static_cast<CWorld*>(CScriptRun::Current()->Machine().Calls().host);
  world->ChangeView();
  g_watched_alive = world->Find(g_watched) != nullptr;
  return sp;
}
const SRow kTestRows[] = {rows::Fn("ChangeNow", "void", ChangeNow)};
uint32_t RegisterTestRows(CScriptMachine* machine) {
  RegisterRows(machine, kTestRows);
  return 0;
}

class WorldNativesRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WritePicture(m_rig.Dir(), "back.bmp", 4, std::vector<uint8_t>(16, 3));
    std::string tree =
        "[/]\nTemplates=container\nWorld=container\n"
        "[/Templates/]\nPlaneView=container\nHotSpot=container\n"
        "[/Templates/PlaneView/]\nType=str:PlaneView\n"
        "[/Templates/HotSpot/]\nType=str:HotSpot\n"
        "[/World/]\nRoom=container\nHall=container\n";
    for (const char* view : {"Room", "Hall"})
      tree += std::string("[/World/") + view + "/]\nTemplate=str:PlaneView\nImageName=str:" +
              m_rig.Dir().Join("back.bmp") + "\nDoor=container\n";
    // The room's door leaves the room at once.
    const std::string body = "GoToView(\"Hall\", 0, 0)\\s ChangeNow()\\s";
    tree += "[/World/Room/Door/]\nTemplate=str:HotSpot\nActive=long:1\nPos=rect:0, 0, 9, 9\n"
            "OnLButtonDown=script\n[/World/Room/Door/OnLButtonDown]\nSize=12\nType=34\nTextSize=" +
            std::to_string(body.size() + 2) + "\n1=." + body + "\n";
    CHashIni ini(100, 1000);
    ASSERT_EQ(ini.LoadText(tree), err::kOk);
    COpenContainer root = m_base.Root();
    ASSERT_EQ(ImportIni(m_base.vb(), root.get(), &ini), err::kOk);
    std::vector<SRegistrationModule> modules(std::begin(kWorldModules), std::end(kWorldModules));
    modules.push_back({RegisterTestRows, 500});
    ASSERT_EQ(m_machine.Init(modules), err::kOk);
    m_machine.Calls().tool_mode = true;
    m_world = std::make_unique<CWorld>(m_base.vb(), &m_machine, &m_rig.Queue(), true);
    m_world->SetDesktop(&m_rig.Desktop());
    SetScriptWorld(m_machine, m_world.get());
  }
  void TearDown() override {
    m_world.reset();
    m_machine.Shutdown();
  }
  // Runs the script, then lets the queue carry out what it asked for.
  void Run(const char* text) {
    ASSERT_EQ(CompileAndCall(m_machine, text, "void", {}), err::kOk) << m_machine.ErrorLog();
    m_rig.Queue().DeliverDue(m_rig.Queue().Now(), 100);
  }
  std::string Current() const {
    return m_world->CurrentView() ? m_world->CurrentView()->ViewName() : "";
  }

  CUiRig m_rig;
  CScratchValueBase m_base;
  CScriptMachine m_machine;
  std::unique_ptr<CWorld> m_world;
};

}  // namespace

TEST_F(WorldNativesRunTest, GoToViewChangesOnceFromTheLoopAndTheViewTakesTheKeys) {
  Run("GoToView(\"Hall\", 1, 2);");
  Run("GoToView(\"Room\", 1, 2); GoToView(\"Hall\", 0, 0);");
  EXPECT_EQ(Current(), "Room");
  EXPECT_EQ(m_world->TimesVisited("Hall"), 1);
  EXPECT_EQ(m_rig.Desktop().GetFocus(), m_world->CurrentView()->Window());
  // Without a world to act on the function does nothing.
  SetScriptWorld(m_machine, nullptr);
  Run("GoToView(\"Hall\", 0, 0);");
  EXPECT_EQ(Current(), "Room");
}

// The door's handler takes its own view away; the door goes only when the
// press that ran the handler is over.
TEST_F(WorldNativesRunTest, AnObjectTakenAwayWhileItsHandlerRunsGoesAfterItsEvent) {
  Run("GoToView(\"Room\", 0, 0);");
  g_watched = m_world->FindByName("Door")->Serial();
  CDesktop& desktop = m_rig.Desktop();
  desktop.SendEvent(desktop.Id(), kEvLeftDown, PackPoint({5, 5}), 0);
  EXPECT_TRUE(g_watched_alive);
  EXPECT_EQ(Current(), "Hall");
  EXPECT_NE(m_world->Find(g_watched), nullptr);
  m_rig.Queue().DeliverDue(m_rig.Queue().Now(), 100);
  EXPECT_EQ(m_world->Find(g_watched), nullptr);
}
