// The natives on world objects and views, run from scripts against a world.
#include <gtest/gtest.h>

#include "script/script_call.h"
#include "script/script_machine.h"
#include "store/hash_ini.h"
#include "store/vb_ini.h"
#include "support/scratch_value_base.h"
#include "ui/test_windows.h"
#include "ui/ui_rig.h"
#include "world/view.h"
#include "world/world.h"
#include "world/bindings/bindings.h"

namespace {

class WorldNativesRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WritePicture(m_rig.Dir(), "back.bmp", 4, std::vector<uint8_t>(16, 3));
    std::string tree =
        "[/]\nTemplates=container\nWorld=container\n"
        "[/Templates/]\nPlaneView=container\n"
        "[/Templates/PlaneView/]\nType=str:PlaneView\n"
        "[/World/]\nRoom=container\nHall=container\n";
    for (const char* view : {"Room", "Hall"})
      tree += std::string("[/World/") + view + "/]\nTemplate=str:PlaneView\nImageName=str:" +
              m_rig.Dir().Join("back.bmp") + "\n";
    CHashIni ini(100, 1000);
    ASSERT_EQ(ini.LoadText(tree), err::kOk);
    COpenContainer root = m_base.Root();
    ASSERT_EQ(ImportIni(m_base.vb(), root.get(), &ini), err::kOk);
    ASSERT_EQ(m_machine.Init(kWorldModules), err::kOk);
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
