// Changing views: requests queued and carried out from the event loop, the
// view sets around a view entered and left in order, shared ones kept, and
// the visits counted, as the views and handlers traces show them.
#include <gtest/gtest.h>

#include "base/trace.h"
#include "gfx/blit.h"
#include "platform/virtual_keys.h"
#include "script/script_machine.h"
#include "store/hash_ini.h"
#include "store/vb_ini.h"
#include "support/scratch_value_base.h"
#include "ui/test_windows.h"
#include "ui/ui_rig.h"
#include "world/view.h"
#include "world/visual_object.h"
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
      "[/World/]\nVillage=container\nHill=container\nBroken=container\nAttic=container\n"
      "Meadow=container\nLake=container\n"
      "[/World/Village/]\nTemplate=str:ViewSet\nHouse=container\nSquare=container\n"
      "Home=container\n"
      // The village's home button, shared by its views.
      "[/World/Village/Home/]\nTemplate=str:HotSpot\nActive=long:1\nZOrder=long:5\n"
      "Pos=rect:600, 400, 639, 479\nOnLButtonDown=script\n"
      "[/World/Village/Home/OnLButtonDown]\n" + script;
  const auto view = [&](const std::string& path, const char* image, const std::string& more) {
    tree += "[/World/" + path + "/]\nTemplate=str:PlaneView\nImageName=str:" + dir + "/" +
            image + "\n" + more;
  };
  // The house's door: a hot spot that answers entering and a press; the
  // house itself hears every click first.
  view("Village/House", "back.bmp",
       "Door=container\nOnClick=script\nBox=container\nStuck=container\nSticky=container\n"
       "Shelf=container\n");
  tree += "[/World/Village/House/OnClick]\n" + script +
          "[/World/Village/House/Door/]\nTemplate=str:HotSpot\nActive=long:1\n"
          "Pos=rect:10, 10, 19, 19\nOnMouseEnter=script\nOnLButtonDown=script\n"
          "[/World/Village/House/Door/OnMouseEnter]\n" + script +
          "[/World/Village/House/Door/OnLButtonDown]\n" + script;
  // Things to carry: Box goes anywhere, Stuck will not come, Sticky will
  // not go; the shelf takes what is dropped on it at (120, 130).
  const auto thing = [&](const std::string& name, const char* pos, const std::string& handlers) {
    tree += "[/World/Village/House/" + name + "/]\nTemplate=str:HotSpot\nActive=long:1\n"
            "Attach=long:1\nPos=rect:" + pos + "\n" + handlers;
  };
  const auto body = [&](const std::string& path, const std::string& text) {
    tree += "[/World/Village/House/" + path + "]\nSize=12\nType=34\nTextSize=" +
            std::to_string(text.size() + 2) + "\n1=." + text + "\n";
  };
  thing("Box", "30, 30, 39, 39", "");
  thing("Stuck", "50, 30, 59, 39", "OnAttach=script\n");
  body("Stuck/OnAttach", "return false\\s");
  thing("Sticky", "70, 30, 79, 39", "OnDetach=script\nSolid=long:1\n");
  body("Sticky/OnDetach", "return false\\s");
  tree += "[/World/Village/House/Shelf/]\nTemplate=str:HotSpot\nActive=long:1\n"
          "Pos=rect:100, 100, 149, 149\nAccept=script\n";
  body("Shelf/Accept", "x = 120\\s y = 130\\s return true\\s");
  view("Village/Square", "back.bmp", "");
  view("Hill", "back.bmp", "");
  // Whole-screen pictures, written by the tests that need them.
  view("Meadow", "meadow.bmp", "Kite=container\n");
  tree += "[/World/Meadow/Kite/]\nTemplate=str:HotSpot\nActive=long:1\nPos=rect:30, 30, 39, 39\n";
  view("Lake", "lake.bmp", "");
  // The attic's roof lies over a rug; the test gives it its polygon.
  view("Attic", "back.bmp", "Roof=container\nRug=container\n");
  tree += "[/World/Attic/Roof/]\nTemplate=str:HotSpot\nActive=long:1\nZOrder=long:3\n"
          "Pos=rect:10, 10, 50, 40\nPolygon=str:none\n"
          "[/World/Attic/Rug/]\nTemplate=str:HotSpot\nActive=long:1\nPos=rect:0, 0, 99, 99\n";
  view("Broken", "deep.bmp", "");
  return tree;
}

class ViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WritePicture(m_rig.Dir(), "back.bmp", 4, std::vector<uint8_t>(16, 3));
    m_rig.Dir().WriteFile("deep.bmp", "BM");
    m_base.Import(Tree(m_rig.Dir().Path()));
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

TEST_F(ViewsTest, TheHotSpotsOfTheViewSetsAreHitInTheirViews) {
  Go({"Village/Square"});
  Tracer().Configure("handlers", m_rig.Dir().Join("trace.txt").c_str());
  CDesktop& desktop = m_rig.Desktop();
  desktop.SendEvent(desktop.Id(), kEvMouseMove, PackPoint({620, 450}), 0);
  desktop.SendEvent(desktop.Id(), kEvLeftDown, PackPoint({620, 450}), 0);
  const std::vector<std::string> lines = m_rig.TraceLines("handlers\t");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "handlers\tcall\t0\tHome\tOnLButtonDown\trun\t20\t50"),
            lines.end());
}

// Where the named object of the current view is now.
TRect PosOf(CWorld& world, const char* name) {
  auto* object = KindOf<CWVisualObject>(world.FindByName(name));
  return object ? object->Pos() : TRect{0, 0, -1, -1};
}

bool Same(const TRect& a, const TRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(ViewsTest, CarriedThingsFollowTheCursorAndGoWhereTheyAreTakenOrHome) {
  Go({"Village/House"});
  CDesktop& desktop = m_rig.Desktop();
  const auto send = [&](uint32_t code, int x, int y) {
    desktop.SendEvent(desktop.Id(), code, PackPoint({static_cast<int16_t>(x), static_cast<int16_t>(y)}), 0);
  };
  // A press where the cursor has moved to.
  const auto press = [&](int x, int y) {
    send(kEvMouseMove, x, y);
    send(kEvLeftDown, x, y);
  };
  auto* view = m_world->CurrentView();
  // Taken 5 pixels in, moved: its top-left follows the cursor.
  press(35, 35);
  send(kEvLeftUp, 35, 35);
  ASSERT_NE(view->Carried(), nullptr);
  send(kEvMouseMove, 60, 61);
  EXPECT_TRUE(Same(PosOf(*m_world, "Box"), {55, 56, 64, 65}));
  // Dropped on the shelf, which takes it at (120, 130).
  press(110, 110);
  EXPECT_EQ(view->Carried(), nullptr);
  EXPECT_TRUE(Same(PosOf(*m_world, "Box"), {120, 130, 129, 139}));
  // Taken again and dropped where nobody takes it: home to its "Pos".
  press(125, 135);
  press(300, 300);
  EXPECT_EQ(view->Carried(), nullptr);
  EXPECT_TRUE(Same(PosOf(*m_world, "Box"), {30, 30, 39, 39}));
  // "OnAttach" false leaves nothing on the cursor; "OnDetach" false keeps
  // the thing there after the click.
  press(55, 35);
  EXPECT_EQ(view->Carried(), nullptr);
  press(75, 35);
  press(300, 300);
  ASSERT_NE(view->Carried(), nullptr);
  EXPECT_EQ(view->Carried()->Name(), "Sticky");
}

// What lies outside a polygon, and a picture's key pixels unless the object
// is solid, let the cursor through to the object below.
TEST_F(ViewsTest, PolygonsAndKeyPixelsPassTheCursorOnAndSolidObjectsCatchIt) {
  {
    COpenContainer roof(m_base.vb(), m_base.vb()->FindPath("/World/Attic/Roof/", m_base.vb()->Root()));
    ASSERT_EQ(roof->SetTypedByName("Polygon", kValueString, "10,10;50,10;30,40"), err::kOk);
  }
  Go({"Attic"});
  EXPECT_EQ(m_world->CurrentView()->ObjectAt({30, 20}), m_world->FindByName("Roof"));
  EXPECT_EQ(m_world->CurrentView()->ObjectAt({12, 35}), m_world->FindByName("Rug"));
  Go({"Village/House"});
  CBitmap picture;
  ASSERT_EQ(picture.Create(10, 10, kPixel8, nullptr, kTopDown, 0), err::kOk);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) picture.SetPixel(x, y, x == 4 && y == 5 ? 1 : 2);
  auto* box = KindOf<CWVisualObject>(m_world->FindByName("Box"));
  auto* sticky = KindOf<CWVisualObject>(m_world->FindByName("Sticky"));
  for (CWVisualObject* object : {box, sticky}) {
    object->SetActive(true);
    object->Drawable().SetBitmap(&picture);
    object->Drawable().SetKey(1);
  }
  EXPECT_FALSE(box->HitTest({34, 35}));
  EXPECT_TRUE(box->HitTest({35, 35}));
  EXPECT_NE(m_world->CurrentView()->ObjectAt({34, 35}), box);
  EXPECT_EQ(m_world->CurrentView()->ObjectAt({35, 35}), box);
  EXPECT_TRUE(sticky->HitTest({74, 35}));
  for (CWVisualObject* object : {box, sticky}) object->Drawable().SetBitmap(nullptr);
}

// Records of the object kind find their object by serial, while it lives;
// while a recording runs a press on the view only stops it.
TEST_F(ViewsTest, PostedEventsReachLiveObjectsAndARecordingTakesThePress) {
  Go({"Village/House"});
  Tracer().Configure("handlers", m_rig.Dir().Join("trace.txt").c_str());
  const uint32_t door = m_world->FindByName("Door")->Serial();
  const auto post_to_door = [&] {
    SEventRecord record;
    record.delivery = kDeliverObject;
    record.target = door;
    record.code = kEvLeftDown;
    record.p1 = PackPoint({12, 13});
    ASSERT_EQ(m_rig.Queue().Post(record), err::kOk);
    m_rig.Queue().DeliverDue(m_rig.Queue().Now(), 100);
  };
  post_to_door();
  m_world->SetRecording(true);
  CDesktop& desktop = m_rig.Desktop();
  desktop.SendEvent(desktop.Id(), kEvLeftDown, PackPoint({15, 15}), 0);
  m_world->SetRecording(false);
  Go({"Hill"});
  post_to_door();
  EXPECT_EQ(m_rig.TraceLines("handlers\t"),
            (std::vector<std::string>{
                "handlers\tcall\t0\tDoor\tOnLButtonDown\trun\t2\t3",
                "handlers\treturn\t0\tDoor\tOnLButtonDown",
                // The press first brings the cursor into the view, over the door.
                "handlers\tcall\t0\tDoor\tOnMouseEnter\trun",
                "handlers\treturn\t0\tDoor\tOnMouseEnter",
                "handlers\tcall\t0\tVillage/House\tOnMouseEnter\tmissing\t15\t15\t\"Door\"",
                "handlers\tcall\t0\tVillage/House\tOnRecordStop\tmissing",
                "handlers\tcall\t0\tVillage/House\tOnExit\trun",
                "handlers\treturn\t0\tVillage/House\tOnExit",
                "handlers\tcall\t0\tVillage\tOnExit\trun",
                "handlers\treturn\t0\tVillage\tOnExit",
                "handlers\tcall\t0\tHill\tOnEntry\trun",
                "handlers\treturn\t0\tHill\tOnEntry",
            }));
}

// What the view area of the presented frame shows: whether each pixel is
// `colour`, and how many are.
struct SShown {
  size_t count = 0;
  bool ranked = true;  // every pixel of `colour` has a rank below `share`
};
SShown ShownOf(CUiRig& rig, uint8_t colour, int share) {
  rig.Desktop().Present();
  const SPresentedFrame frame = rig.Top().PlatformWindow()->Presented();
  SShown shown;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const bool is = frame.pixels[y * frame.width + x] == colour;
      shown.count += is;
      shown.ranked = shown.ranked && is == (DissolveRank(x, y) < share);
    }
  return shown;
}

// A dissolving change shows the new view at the pixels whose rank is below
// the share done, half at 1000 ms and all at 2000 ms, and drops clicks
// meanwhile; an image dissolved in stays until the next change while the
// view hears the clicks.
TEST_F(ViewsTest, DissolvesShowTheNewPictureInRankOrder) {
  WritePicture(m_rig.Dir(), "meadow.bmp", 640, std::vector<uint8_t>(640 * 480, 3), true);
  WritePicture(m_rig.Dir(), "lake.bmp", 640, std::vector<uint8_t>(640 * 480, 5), true);
  Go({"Meadow"});
  Tracer().Configure("handlers", m_rig.Dir().Join("trace.txt").c_str());
  const uint32_t start = m_rig.Queue().Now();
  const auto at = [&](uint32_t ms) { m_rig.Queue().DeliverDue(start + ms, 1000); };
  const auto click = [&] {
    m_rig.Desktop().SendEvent(m_rig.Desktop().Id(), kEvLeftDown, PackPoint({5, 5}), 0);
  };
  m_world->RequestView("Lake", {0, 0}, true);
  at(999);
  EXPECT_EQ(ShownOf(m_rig, 5, 127).count, 640u * 480 * 127 / 256);
  at(1000);
  const SShown half = ShownOf(m_rig, 5, 128);
  EXPECT_EQ(half.count, 153600u);
  EXPECT_TRUE(half.ranked);
  click();
  EXPECT_TRUE(m_rig.TraceLines("\tOnClick\t").empty());
  at(2000);
  EXPECT_EQ(ShownOf(m_rig, 5, 256).count, 307200u);
  click();
  EXPECT_EQ(m_rig.TraceLines("\tOnClick\t").size(), 1u);

  const uint32_t image_start = m_rig.Queue().Now();
  ASSERT_EQ(m_world->DissolveToImage(m_rig.Dir().Join("meadow.bmp").c_str()), err::kOk);
  m_rig.Queue().DeliverDue(image_start + 1000, 1000);
  EXPECT_TRUE(ShownOf(m_rig, 3, 128).ranked);
  m_rig.Queue().DeliverDue(image_start + 5000, 1000);
  EXPECT_EQ(ShownOf(m_rig, 3, 256).count, 307200u);
  click();
  EXPECT_EQ(m_rig.TraceLines("\tOnClick\t").size(), 2u);
  Go({"Lake"});
  EXPECT_EQ(ShownOf(m_rig, 5, 256).count, 307200u);
}

// An arrow key held from 0 to 95 ms moves the cursor along its line 5
// pixels at once and every 10 ms after: ten warps.
TEST_F(ViewsTest, AHeldArrowMovesTheCursorAlongItsLine) {
  Go({"Village/House"});
  Tracer().Configure("cursor", m_rig.Dir().Join("trace.txt").c_str());
  m_world->CurrentView()->RestrictToLine(300, 100, 200);
  const uint32_t start = m_rig.Queue().Now();
  CDesktop& desktop = m_rig.Desktop();
  desktop.SendEvent(desktop.Id(), kEvKeyDown, uint32_t{kVkRight} << 16, 0);
  m_rig.Queue().DeliverDue(start + 95, 100);
  desktop.SendEvent(desktop.Id(), kEvKeyUp, uint32_t{kVkRight} << 16, 0);
  m_rig.Queue().DeliverDue(start + 200, 100);
  std::vector<std::string> expected = {"cursor\twarp\t100,300"};
  for (int x = 105; x <= 150; x += 5) expected.push_back("cursor\twarp\t" + std::to_string(x) + ",300");
  EXPECT_EQ(m_rig.TraceLines("\twarp\t"), expected);
}

// A picture that moves reaches the screen as one frame once the events due
// are delivered, not before.
TEST_F(ViewsTest, AMovedPictureReachesTheScreenWithTheNextDelivery) {
  WritePicture(m_rig.Dir(), "meadow.bmp", 640, std::vector<uint8_t>(640 * 480, 3), true);
  Go({"Meadow"});
  CBitmap picture;
  ASSERT_EQ(picture.Create(10, 10, kPixel8, nullptr, kTopDown, 0), err::kOk);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) picture.SetPixel(x, y, 9);
  auto* box = KindOf<CWVisualObject>(m_world->FindByName("Kite"));
  box->Drawable().SetBitmap(&picture);
  box->SetActive(true);
  const auto shown_at = [&](int x, int y) {
    m_rig.Desktop().Present();
    const SPresentedFrame frame = m_rig.Top().PlatformWindow()->Presented();
    return frame.pixels[y * frame.width + x];
  };
  m_rig.Queue().DeliverDue(m_rig.Queue().Now(), 100);
  EXPECT_EQ(shown_at(35, 35), 9);
  box->MoveBy(100, 0);
  EXPECT_EQ(shown_at(135, 35), 3);
  m_rig.Queue().DeliverDue(m_rig.Queue().Now(), 100);
  EXPECT_EQ(shown_at(135, 35), 9);
  EXPECT_EQ(shown_at(35, 35), 3);
  box->Drawable().SetBitmap(nullptr);
}

}  // namespace
