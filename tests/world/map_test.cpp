// The map over the view: buttons for the visited views only, placed on
// their points inside the map's area, the exit button in from its top-right
// corner; a button goes to its view, Escape and releasing M close it.
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fs/mount_config.h"
#include "platform/virtual_keys.h"
#include "ui/button.h"
#include "world/map.h"

#include "object_rig.h"

namespace {

// The room's map "Chart" over the area (10, 5) to (59, 54): places for the
// hall, the room (its picture halved by "AB"), the cellar (no view, never
// visited) and the hall again without a picture.
class MapTest : public CObjectRig, public ::testing::Test {
 protected:
  void SetUp() override {
    // A 10 x 6 place picture; the exit's two 6 x 5 cells.
    WritePicture(Dir(), "place.bmp", 10, std::vector<uint8_t>(60, 4));
    Dir().WriteFile("Map/keep", "");
    WritePicture(Dir(), "Map/ExitMapBtn.bmp", 12, std::vector<uint8_t>(60, 5));
    MountFromConfig(m_interface);
    const auto place = [](const std::string& name, const std::string& more) {
      return "[/World/Room/Chart/" + name + "/]\nTemplate=str:MapButton\n" + more;
    };
    Enter(Section("Chart", "Map") +
          "Rectangle=rect:10, 5, 59, 54\nToHall=container\nToRoom=container\n"
          "ToCellar=container\nBare=container\n" +
          place("ToHall", "View=str:Hall\nPos=point:20, 15\nViewPoint=point:7, 8\n"
                          "Image=str:{dir}/place.bmp\n") +
          place("ToRoom", "View=str:/Room/\nPos=point:21, 31\nImgType=str:AB\n"
                          "Image=str:{dir}/place.bmp\n") +
          place("ToCellar", "View=str:Cellar\nPos=point:30, 40\nImage=str:{dir}/place.bmp\n") +
          place("Bare", "View=str:Hall\nPos=point:5, 5\n"));
    Go("Hall");
    Go("Room");
  }
  void TearDown() override { UnmountFromConfig(m_interface); }
  void Send(uint32_t code, uint32_t p1) {
    Desktop().SendEvent(Desktop().Id(), code, p1, 0);
    Settle();
  }
  // The rectangles of the map's buttons, and of its exit.
  std::set<std::vector<int>> Buttons(std::vector<int>* exit) {
    std::set<std::vector<int>> buttons;
    for (CWindow* child = World().OpenedMap()->FirstChild(); child; child = child->NextSibling())
      if (const auto* button = KindOf<CUIButton>(child)) {
        const TRect r = button->GetRect();
        buttons.insert({r.left, r.top, r.right, r.bottom});
        if (button->ControlId() == CMapDialog::kExitId) *exit = {r.left, r.top, r.right, r.bottom};
      }
    return buttons;
  }

  const ConfigEntries m_interface = {{"/Game Interface/", "Trans, " + Dir().Path()}};
};

TEST_F(MapTest, ButtonsShowForVisitedViewsOnTheirPointsAndTheExitSitsInTheCorner) {
  ASSERT_EQ(World().OpenMap(), err::kOk);
  ASSERT_TRUE(World().OpenedMap());
  // Exit: right edge 59 - 15, top 5 + 15, one 6 x 5 cell. The hall: 10 x 6
  // centred on (10 + 20, 5 + 15), so from (30 - 5, 20 - 3). The room's
  // cell is 5 x 6, centred on (31, 36): from (31 - 2, 36 - 3).
  std::vector<int> exit;
  EXPECT_EQ(Buttons(&exit), (std::set<std::vector<int>>{
                                {39, 20, 44, 24}, {25, 17, 34, 22}, {29, 33, 33, 38}}));
  EXPECT_EQ(exit, (std::vector<int>{39, 20, 44, 24}));
}

TEST_F(MapTest, AButtonGoesToItsViewAndTheKeysClose) {
  ASSERT_EQ(World().OpenMap(), err::kOk);
  for (uint32_t code : {kEvMouseMove, kEvLeftDown, kEvLeftUp}) Send(code, PackPoint({26, 18}));
  EXPECT_EQ(World().OpenedMap(), nullptr);
  EXPECT_EQ(World().CurrentView()->ViewName(), "Hall");
  EXPECT_EQ(World().TimesVisited("Hall"), 2);
  // The hall has no map until it names the room's.
  EXPECT_EQ(World().OpenMap(), err::kNotFound);
  ASSERT_EQ(World().CurrentView()->SetString("MapName", "Room/Chart"), err::kOk);
  const std::pair<uint32_t, uint32_t> closing[] = {{kEvKeyDown, kVkEscape}, {kEvKeyUp, kVkA + 12}};
  for (const auto& [code, key] : closing) {
    ASSERT_EQ(World().OpenMap(), err::kOk);
    ASSERT_NE(World().OpenedMap(), nullptr);
    Send(code, key << 16);
    EXPECT_EQ(World().OpenedMap(), nullptr) << key;
    // The view has the keys again.
    EXPECT_EQ(Desktop().GetFocus(), World().CurrentView()->Window());
  }
  EXPECT_EQ(World().CurrentView()->ViewName(), "Hall");
}

}  // namespace
