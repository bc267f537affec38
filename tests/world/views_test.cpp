// Changing views: requests queued and carried out from the event loop, the
// view sets around a view entered and left in order, shared ones kept, and
// the visits counted, as the views and handlers traces show them.
#include <gtest/gtest.h>

#include "base/trace.h"
#include "script/script_machine.h"
#include "store/hash_ini.h"
#include "store/vb_ini.h"
#include "support/scratch_value_base.h"
#include "ui/test_windows.h"
#include "ui/ui_rig.h"
#include "world/view.h"
#include "world/world.h"

namespace {

// Village holds House and Square; Hill lies outside it; Broken's background
// is no 8-bit picture. Every view and set has "OnEntry" and "OnExit".
std::string Tree(const std::string& dir) {
  const std::string script = "Size=12\nType=34\nTextSize=3\n1=.;\n";
  std::string tree =
      "[/]\nTemplates=container\nWorld=container\n"
      "[/Templates/]\nPlaneView=container\nViewSet=container\nHotSpot=container\n"
      "[/Templates/PlaneView/]\nType=str:PlaneView\nOnEntry=script\nOnExit=script\n"
      "[/Templates/PlaneView/OnEntry]\n" + script + "[/Templates/PlaneView/OnExit]\n" + script +
      "[/Templates/ViewSet/]\nType=str:ViewSet\nOnEntry=script\nOnExit=script\n"
      "[/Templates/ViewSet/OnEntry]\n" + script + "[/Templates/ViewSet/OnExit]\n" + script +
      "[/Templates/HotSpot/]\nType=str:HotSpot\n"
      "[/World/]\nVillage=container\nHill=container\nBroken=container\n"
      "[/World/Village/]\nTemplate=str:ViewSet\nHouse=container\nSquare=container\n";
  const auto view = [&](const std::string& path, const char* image, const std::string& more) {
    tree += "[/World/" + path + "/]\nTemplate=str:PlaneView\nImageName=str:" + dir + "/" +
            image + "\n" + more;
  };
  // The house's door: a hot spot that answers entering and a press; the
  // house itself hears every click first.
  view("Village/House", "back.bmp", "Door=container\nOnClick=script\n");
  tree += "[/World/Village/House/OnClick]\n" + script +
          "[/World/Village/House/Door/]\nTemplate=str:HotSpot\nActive=long:1\n"
          "Pos=rect:10, 10, 19, 19\nOnMouseEnter=script\nOnLButtonDown=script\n"
          "[/World/Village/House/Door/OnMouseEnter]\n" + script +
          "[/World/Village/House/Door/OnLButtonDown]\n" + script;
  view("Village/Square", "back.bmp", "");
  view("Hill", "back.bmp", "");
  view("Broken", "deep.bmp", "");
  return tree;
}

class ViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WritePicture(m_rig.Dir(), "back.bmp", 4, std::vector<uint8_t>(16, 3));
    m_rig.Dir().WriteFile("deep.bmp", "BM");
    CHashIni ini(100, 1000);
    ASSERT_EQ(ini.LoadText(Tree(m_rig.Dir().Path())), err::kOk);
    COpenContainer root = m_base.Root();
    ASSERT_EQ(ImportIni(m_base.vb(), root.get(), &ini), err::kOk);
    ASSERT_EQ(m_machine.Init({}), err::kOk);
    m_machine.Calls().tool_mode = true;
    Tracer().Configure("views", m_rig.Dir().Join("trace.txt").c_str());
    m_world = std::make_unique<CWorld>(m_base.vb(), &m_machine, &m_rig.Queue(), true);
    m_world->SetDesktop(&m_rig.Desktop());
  }
  void TearDown() override {
    m_world.reset();
    m_machine.Shutdown();
  }
  // Requests each path in turn and lets the queue carry the change out.
  void Go(std::initializer_list<const char*> paths) {
    for (const char* path : paths) m_world->RequestView(path, {0, 0}, false);
    m_rig.Queue().DeliverDue(m_rig.Queue().Now(), 100);
  }
  std::vector<std::string> Lines() const { return m_rig.TraceLines("views\t"); }

  CUiRig m_rig;
  CScratchValueBase m_base;
  CScriptMachine m_machine;
  std::unique_ptr<CWorld> m_world;
};

TEST_F(ViewsTest, SetsAreEnteredOutsideInAndLeftInsideOutAndSharedOnesStay) {
  Go({"Village/House", "Hill"});
  Go({"/Village/Square/"});
  Go({"Hill"});
  Go({"Village/House"});
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "views\trequest\tVillage/House\t0\tqueued",
                         "views\trequest\tHill\t0\tignored",
                         "views\tenter\tVillage",
                         "views\tenter\tVillage/House",
                         "views\tcurrent\tVillage/House\t1",
                         "views\trequest\tVillage/Square\t0\tqueued",
                         "views\tleave\tVillage/House",
                         "views\tenter\tVillage/Square",
                         "views\tcurrent\tVillage/Square\t1",
                         "views\trequest\tHill\t0\tqueued",
                         "views\tleave\tVillage/Square",
                         "views\tleave\tVillage",
                         "views\tenter\tHill",
                         "views\tcurrent\tHill\t1",
                         "views\trequest\tVillage/House\t0\tqueued",
                         "views\tleave\tHill",
                         "views\tenter\tVillage",
                         "views\tenter\tVillage/House",
                         "views\tcurrent\tVillage/House\t2",
                     }));
}

TEST_F(ViewsTest, OnlyViewsAreRequestedAndABadBackgroundLeavesNoView) {
  EXPECT_TRUE(m_world->IsView("Village/House"));
  EXPECT_FALSE(m_world->IsView("Village"));
  EXPECT_FALSE(m_world->IsView("Nowhere"));
  Go({"Village"});
  Go({"Broken"});
  EXPECT_EQ(m_world->CurrentView(), nullptr);
  EXPECT_EQ(m_world->TimesVisited("Broken"), 0);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "views\trequest\tVillage\t0\tignored",
                         "views\trequest\tBroken\t0\tqueued",
                         "views\tenter\tBroken",
                         "views\tcurrent\t\t0",
                     }));
}

TEST_F(ViewsTest, AHotSpotHearsTheCursorEnterAndThePressAfterTheViewsClick) {
  Go({"Village/House"});
  Tracer().Configure("handlers", m_rig.Dir().Join("trace.txt").c_str());
  CDesktop& desktop = m_rig.Desktop();
  for (const auto& [code, x] : {std::pair{kEvMouseMove, 5}, {kEvMouseMove, 15}, {kEvLeftDown, 15}})
    desktop.SendEvent(desktop.Id(), code, PackPoint({static_cast<int16_t>(x), 15}), 0);
  EXPECT_EQ(m_rig.TraceLines("handlers\t"),
            (std::vector<std::string>{
                "handlers\tcall\t0\tDoor\tOnMouseEnter\trun",
                "handlers\treturn\t0\tDoor\tOnMouseEnter",
                "handlers\tcall\t0\tVillage/House\tOnMouseEnter\tmissing\t15\t15\t\"Door\"",
                "handlers\tcall\t0\tVillage/House\tOnClick\trun\t15\t15\t\"Door\"",
                "handlers\treturn\t0\tVillage/House\tOnClick",
                // The door's own coordinates: the cursor less its top-left (10, 10).
                "handlers\tcall\t0\tDoor\tOnLButtonDown\trun\t5\t5",
                "handlers\treturn\t0\tDoor\tOnLButtonDown",
            }));
}

}  // namespace
