// The natives on timers, sprites, texts, animations, decorations and
// paintings, and on the view's dissolves and cursor restriction, run from
// scripts. A refusal writes its script diagnostic and changes nothing. No
// script string outlives a test.
#include <gtest/gtest.h>

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "fs/mount_config.h"
#include "gfx/bitmap.h"
#include "gfx/bmp.h"
#include "script/script_machine.h"
#include "script/script_result.h"
#include "script/string_leak_check.h"
#include "store/hash_ini.h"
#include "store/vb_ini.h"
#include "support/scratch_value_base.h"
#include "ui/test_windows.h"
#include "ui/ui_rig.h"
#include "world/animation.h"
#include "world/bindings/bindings.h"
#include "world/decoration.h"
#include "world/paint.h"
#include "world/sprite.h"
#include "world/text.h"
#include "world/timer.h"
#include "world/view.h"
#include "world/world.h"

#include "kind_files.h"

namespace {

// "/g/", "/anim/" and "/out/" are the rig's folder.
std::string Tree(const std::string& back) {
  return "[/]\nTemplates=container\nWorld=container\n"
         "[/Templates/]\nPlaneView=container\nTimer=container\nSprite=container\n"
         "Text=container\nAnimation=container\nDecoration=container\nPaint=container\n"
         "HotSpot=container\n"
         "[/Templates/PlaneView/]\nType=str:PlaneView\n[/Templates/Timer/]\nType=str:Timer\n"
         "[/Templates/Sprite/]\nType=str:Sprite\n[/Templates/Text/]\nType=str:Text\n"
         "[/Templates/Animation/]\nType=str:Animation\n"
         "[/Templates/Decoration/]\nType=str:Decoration\n[/Templates/Paint/]\nType=str:Paint\n"
         "[/Templates/HotSpot/]\nType=str:HotSpot\n"
         "[/World/]\nRoom=container\nHall=container\n"
         "[/World/Hall/]\nTemplate=str:PlaneView\nImageName=str:" + back + "\n"
         "[/World/Room/]\nTemplate=str:PlaneView\nImageName=str:" + back + "\n"
         "Clock=container\nStrip=container\nLabel=container\nWalk=container\nBoard=container\n"
         "Canvas=container\nDoor=container\n"
         "[/World/Room/Clock/]\nTemplate=str:Timer\nInPoint=long:0\nOutPoint=long:1000\n"
         "[/World/Room/Strip/]\nTemplate=str:Sprite\nImageName=str:/g/strip.bmp\nCols=long:4\n"
         "Pos=rect:40, 0, 41, 1\n"
         "[/World/Room/Label/]\nTemplate=str:Text\nPos=rect:0, 40, 19, 47\n"
         "FontName=str:/g/blocks.fnt\nColor=long:5\nHLColor=long:9\nLetterHL=long:1\n"
         "[/World/Room/Walk/]\nTemplate=str:Animation\nImageName=str:walk\n"
         "Pos=rect:50, 50, 51, 51\n"
         "[/World/Room/Board/]\nTemplate=str:Decoration\nPos=rect:30, 30, 37, 33\nTColor=long:0\n"
         "[/World/Room/Canvas/]\nTemplate=str:Paint\nImageName=str:/g/page.bmp\nTColor=long:5\n"
         "Pos=rect:20, 20, 23, 23\n"
         "[/World/Room/Door/]\nTemplate=str:HotSpot\nActive=long:1\nPos=rect:10, 10, 19, 19\n";
}

struct SCase {
  const char* type;
  const char* text;
  const char* expect;
  const char* diagnostic;  // "": none
};

class BindingsVisualTest : public CStrLeakTest {
 protected:
  void SetUp() override {
    CStrLeakTest::SetUp();
    const CTempDir& dir = m_rig.Dir();
    WritePicture(dir, "back.bmp", 64, std::vector<uint8_t>(64 * 64, 3));
    // Four 2 x 2 columns of 11 to 14.
    std::vector<uint8_t> strip(16);
    for (int i = 0; i < 16; ++i) strip[i] = static_cast<uint8_t>(11 + (i % 8) / 2);
    WritePicture(dir, "strip.bmp", 8, strip);
    WritePicture(dir, "page.bmp", 4, std::vector<uint8_t>(16, 2));
    WritePicture(dir, "p1.bmp", 2, std::vector<uint8_t>(4, 21));
    WriteAnim(dir, "walk", {10, 11, 12, 13});
    WriteAnim(dir, "other", {20, 21});
    m_mounts = {{"/g/", "Trans, " + dir.Path()}, {"/anim/", "Trans, " + dir.Path()},
                {"/out/", "Trans, " + dir.Path()}};
    MountFromConfig(m_mounts);
    WriteBlockFont(dir.Join("blocks.fnt"));
    m_base.Import(Tree(dir.Join("back.bmp")));
    ASSERT_EQ(m_machine.Init(kWorldModules), err::kOk);
    m_world = std::make_unique<CWorld>(m_base.vb(), &m_machine, &m_rig.Queue(), true);
    m_world->SetDesktop(&m_rig.Desktop());
    SetScriptWorld(m_machine, m_world.get());
    SetLogView(&m_log);
    m_world->RequestView("Room", {0, 0}, false);
    m_rig.Queue().DeliverDue(m_rig.Queue().Now(), 100);
    ASSERT_TRUE(m_world->CurrentView());
  }
  void TearDown() override {
    SetLogView(nullptr);
    m_world.reset();
    m_machine.Shutdown();
    UnmountFromConfig(m_mounts);
    CStrLeakTest::TearDown();
  }
  template <class T>
  T* Find(const char* name) const {
    return KindOf<T>(m_world->FindByName(name));
  }
  void CheckAll(std::span<const SCase> cases) {
    for (const SCase& c : cases) {
      m_log.m_text.clear();
      EXPECT_EQ(ResultOf(m_machine, c.type, c.text), c.expect) << c.text;
      if (*c.diagnostic) EXPECT_NE(m_log.m_text.find(c.diagnostic), std::string::npos) << c.text;
      else EXPECT_EQ(m_log.m_text, "") << c.text;
    }
  }
  int Pixel(const char* name, int x, int y) const {
    const CWVisualObject* visual = Find<CWVisualObject>(name);
    return visual && visual->Picture() ? visual->Picture()->GetPixel(x, y) : -1;
  }

  CUiRig m_rig;
  CScratchValueBase m_base;
  CScriptMachine m_machine;
  std::unique_ptr<CWorld> m_world;
  ConfigEntries m_mounts;
  CLogCapture m_log;
};

TEST_F(BindingsVisualTest, TimersTakeATimeAndARangeOrRefuseIt) {
  CWTimerObj* clock = Find<CWTimerObj>("Clock");
  ASSERT_TRUE(clock);
  const SCase cases[] = {
      {"void", "SetTime(\"Clock\", 2000);", "", ""},
      {"void", "SetInOutTime(\"Clock\", 100, 50);", "", "SetInOutTime: INVALIDVALUE"},
      {"void", "SetInOutTime(\"Clock\", 0, 300);", "", ""},
      {"void", "SetTime(\"Nobody\", 5);", "", ""},
  };
  CheckAll(cases);
  EXPECT_EQ(clock->InPoint(), 0);
  EXPECT_EQ(clock->OutPoint(), 300);
  EXPECT_EQ(clock->Clock(), 300);
}

TEST_F(BindingsVisualTest, SpritesChangeColumnAndPicture) {
  const SCase cases[] = {
      {"int", "SetColumn(\"Strip\", 3); return GetColumn(\"Strip\");", "3", ""},
      {"int", "SetColumn(\"Strip\", 4); return GetColumn(\"Strip\");", "3", "INVALIDVALUE"},
      {"int", "SetColumn(\"Strip\", -1); return GetColumn(\"Strip\");", "3", "INVALIDVALUE"},
      {"str", "GetImage(\"Strip\")", "/g/strip.bmp", ""},
      {"str", "SetObjImage(\"Strip\", \"/g/page.bmp\"); return GetImage(\"Strip\");",
       "/g/page.bmp", ""},
      {"str", "SetObjImage(\"Strip\", \"/g/none.bmp\"); return GetImage(\"Strip\");",
       "/g/page.bmp", "INVALIDVALUE"},
      {"str", "SetObjImage(\"Strip\", \"/etc/x.bmp\"); return GetImage(\"Strip\");",
       "/g/page.bmp", "file access denied: /etc/x.bmp"},
      {"int", "GetColumn(\"Walk\")", "0", ""},
      {"str", "GetImage(\"Nobody\")", "(null)", ""},
  };
  CheckAll(cases);
}

// The picture shown: its pixels object-local (-1 outside or without one),
// and saved as it is in the view's palette (entry 0 white).
TEST_F(BindingsVisualTest, PicturesAreReadAndSavedAsShown) {
  const SCase cases[] = {
      {"int", "GetPixel(\"Strip\", 1, 1)", "11", ""},
      {"int", "GetPixel(\"Strip\", 2, 0)", "-1", ""},
      {"int", "GetPixel(\"Door\", 0, 0)", "-1", ""},
      {"int", "GetPixel(\"Nobody\", 0, 0)", "-1", ""},
      {"void", "SaveBmp(\"Strip\", \"/out/strip2.bmp\");", "", ""},
      {"void", "SaveBmp(\"Strip\", \"/g/strip3.bmp\");", "", "file access denied: /g/strip3.bmp"},
  };
  CheckAll(cases);
  ErrCode error = err::kOk;
  const std::unique_ptr<CBitmap> saved = LoadBmp(m_rig.Dir().Join("strip2.bmp").c_str(), &error, false);
  ASSERT_NE(saved, nullptr) << ErrName(error);
  EXPECT_EQ(saved->Width(), 2);
  EXPECT_EQ(saved->GetPixel(1, 1), 11);
  const SPalEntry white = saved->Palette()->Entries()[0];
  EXPECT_EQ(white.red + white.green + white.blue, 3 * 255);
  EXPECT_FALSE(std::filesystem::exists(m_rig.Dir().Join("strip3.bmp")));
}

// The strip's columns are 11, 12, 13 and 14; column 0 shows.
TEST_F(BindingsVisualTest, ColoursAreReplacedInTheWholeStripOrInTheFrameShown) {
  const SCase cases[] = {
      {"void", "BReplaceColor(\"Strip\", 12, 30); PReplaceColor(\"Strip\", 11, 31);", "", ""},
      {"void", "PReplaceColor(\"Strip\", 31, 256);", "", "INVALIDVALUE"},
      {"void", "BReplaceColor(\"Canvas\", 2, 8); PReplaceColor(\"Door\", 0, 1);", "", ""},
  };
  CheckAll(cases);
  EXPECT_EQ(Pixel("Strip", 1, 1), 31);
  EXPECT_EQ(Pixel("Canvas", 3, 3), 8);
  // Cut again: the frame shown loses its change, the strip's stays.
  const SCase other[] = {{"void", "SetColumn(\"Strip\", 1);", "", ""}};
  CheckAll(other);
  EXPECT_EQ(Pixel("Strip", 0, 0), 30);
  const SCase back[] = {{"void", "SetColumn(\"Strip\", 0);", "", ""}};
  CheckAll(back);
  EXPECT_EQ(Pixel("Strip", 0, 0), 11);
}

// Into the 4 x 4 page of 2: column 2 of 4 (2 x 2 of 13) at (1, 0); the whole
// strip at (-5, 2) keyed by 13, so that its columns 5 to 7 (13, 14, 14)
// fall on x 0 to 2 and the 13 is left out.
TEST_F(BindingsVisualTest, SpriteFramesAreDrawnIntoAPictureClippedAndKeyed) {
  const SCase cases[] = {
      {"void", "DrawSprite(\"Canvas\", \"/g/strip.bmp\", 1, 0, 2, 4, -1);", "", ""},
      {"void", "DrawSprite(\"Canvas\", \"/g/strip.bmp\", -5, 2, 0, 1, 13);", "", ""},
      {"void", "DrawSprite(\"Canvas\", \"/g/strip.bmp\", 0, 0, 4, 4, -1);", "", "INVALIDVALUE"},
      {"void", "DrawSprite(\"Canvas\", \"/g/strip.bmp\", 0, 0, 0, 1, 256);", "", "INVALIDVALUE"},
      {"void", "DrawSprite(\"Canvas\", \"/g/none.bmp\", 0, 0, 0, 1, -1);", "", "INVALIDVALUE"},
      {"void", "DrawSprite(\"Door\", \"/g/strip.bmp\", 0, 0, 0, 1, -1);", "", "INVALIDVALUE"},
      {"void", "DrawSprite(\"Canvas\", \"/etc/x.bmp\", 0, 0, 0, 1, -1);", "",
       "file access denied: /etc/x.bmp"},
  };
  CheckAll(cases);
  const int expected[4][4] = {{2, 13, 13, 2}, {2, 13, 13, 2}, {2, 14, 14, 2}, {2, 14, 14, 2}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel("Canvas", x, y), expected[y][x]) << x << "," << y;
}

TEST_F(BindingsVisualTest, TextsShowAndHighlight) {
  const SCase cases[] = {{"void", "TextOut(\"Label\", \"AB\"); SetTextHLChar(\"Label\", 1, 1);", "",
                          ""}};
  CheckAll(cases);
  const CText* label = Find<CText>("Label");
  ASSERT_TRUE(label && label->Picture());
  EXPECT_EQ(label->Text(), "AB");
  // Each letter is 6 pixels: A in the text colour, B highlighted.
  int plain = 0;
  int lit = 0;
  for (int y = 0; y < label->Picture()->Height(); ++y)
    for (int x = 0; x < label->Picture()->Width(); ++x) {
      plain += label->Picture()->GetPixel(x, y) == 5;
      lit += label->Picture()->GetPixel(x, y) == 9;
    }
  EXPECT_EQ(plain, 6);
  EXPECT_EQ(lit, 6);
}

TEST_F(BindingsVisualTest, AnimationsShowFramesPlayRescaleAndRecolour) {
  const SCase cases[] = {
      {"void", "SetObjFrame(\"Walk\", 2);", "", ""},
      {"void", "SetObjFrame(\"Walk\", -1);", "", "BADPARAMS"},
      {"void", "TRect r; rcSet(r, 1, 1, 1, 1); RReplaceColor(\"Walk\", 12, 40, r);", "", ""},
      {"void", "ReplaceColor(\"Walk\", 12, 300);", "", "INVALIDVALUE"},
      {"void", "AnimRescale(\"Walk\", 0, 1);", "", "BADPARAMS"},
  };
  CheckAll(cases);
  EXPECT_EQ(Pixel("Walk", 0, 0), 12);
  const SCase recolour[] = {{"void", "ReplaceColor(\"Walk\", 12, 41);", "", ""}};
  CheckAll(recolour);
  EXPECT_EQ(Pixel("Walk", 0, 0), 41);
  const SCase play[] = {{"void", "PlayAnimation(\"Walk\", 1);", "", ""}};
  CheckAll(play);
  CAnim* walk = Find<CAnim>("Walk");
  EXPECT_TRUE(walk->IsPlaying() && walk->IsLooping());
  const SCase file[] = {{"void", "SetObjImage(\"Walk\", \"other\");", "", ""}};
  CheckAll(file);
  EXPECT_EQ(Pixel("Walk", 0, 0), 20);
}

TEST_F(BindingsVisualTest, DecorationsAddPickSaveAndLoad) {
  const std::string long_name = "/g/" + std::string(64, 'a');
  const SCase cases[] = {
      {"bool", "str s; AddDecoration(\"Board\", 0, 0, \"/g/p1.bmp\"); "
               "return GetDecoration(\"Board\", 1, 1, s) && s == \"/g/p1.bmp\";", "true", ""},
      {"bool", "str s; return GetDecoration(\"Board\", 1, 1, s);", "false", ""},
      {"bool", "AddDecoration(\"Board\", 2, 0, \"/g/p\", 1, 1, 100); "
               "return SaveDecoration(\"Board\", \"/out/b.dcr\", 0);", "true", ""},
      {"bool", "SaveDecoration(\"Board\", \"/g/b.dcr\", 0)", "false", "file access denied"},
      {"int", "int n = 0; ClearDecoration(\"Board\"); LoadDecoration(\"Board\", \"/out/b.dcr\", n); "
              "return n;", "1", ""},
  };
  CheckAll(cases);
  EXPECT_EQ(Find<CDecoration>("Board")->PieceCount(), 1u);
  const std::string add = "AddDecoration(\"Board\", 0, 0, \"" + long_name + "\");";
  const SCase too_long[] = {{"void", add.c_str(), "", "BADPARAMS"}};
  CheckAll(too_long);
  EXPECT_EQ(Find<CDecoration>("Board")->PieceCount(), 1u);
}

TEST_F(BindingsVisualTest, PaintingsFillClearSelectAndSave) {
  const SCase cases[] = {
      {"void", "PaintFill(\"Canvas\", 7);", "", ""},
      {"void", "PaintSetColor(\"Canvas\", 9); PaintSelectFill(\"Canvas\");", "", ""},
      {"void", "PaintSetBrush(\"Canvas\", \"\", 65);", "", "INVALIDVALUE"},
      {"void", "PaintSetStamp(\"Canvas\", \"/g/p1.bmp\", 0); "
               "PaintSetFillPattern(\"Canvas\", \"/g/p1.bmp\", 0); PaintSetRubber(\"Canvas\", 5, 1);",
       "", ""},
      {"void", "PaintSetMap(\"Canvas\", \"/g/p1.bmp\");", "", "INVALIDVALUE"},
      {"void", "PaintSave(\"Canvas\"); PaintSaveImage(\"Canvas\", \"/g/c.bmp\");", "",
       "file access denied: /g/c.bmp"},
  };
  CheckAll(cases);
  const CPaint* canvas = Find<CPaint>("Canvas");
  EXPECT_EQ(Pixel("Canvas", 0, 0), 7);
  EXPECT_EQ(canvas->GetLong("SColor"), 9);
  EXPECT_EQ(canvas->Board().Tool(), CPaintBoard::ETool::kFill);
  EXPECT_TRUE(std::filesystem::exists(m_rig.Dir().Join("Canvas.bmp")));
  const SCase tools[] = {{"void", "PaintSelectStamp(\"Canvas\");", "", ""},
                         {"void", "PaintClear(\"Canvas\");", "", ""}};
  CheckAll(tools);
  EXPECT_EQ(canvas->Board().Tool(), CPaintBoard::ETool::kStamp);
  EXPECT_EQ(Pixel("Canvas", 0, 0), 2);
  const SCase load[] = {{"void", "PaintLoadImage(\"Canvas\", \"/g/p1.bmp\");", "", ""}};
  CheckAll(load);
  EXPECT_EQ(Pixel("Canvas", 0, 0), 21);
  const SCase reset[] = {{"void", "PaintReset(\"Canvas\");", "", ""}};
  CheckAll(reset);
  EXPECT_EQ(canvas->Board().Tool(), CPaintBoard::ETool::kBrush);
}

TEST_F(BindingsVisualTest, TheCursorKeepsToTheRestriction) {
  const SCase line[] = {{"void", "SetMRHLine(12, 10, 19); SetMousePos(50, 50);", "", ""},
                        {"void", "SetMRMask(\"Nobody\", 0, 0);", "", "BADPARAMS"}};
  CheckAll(line);
  m_rig.Pump();
  m_rig.Queue().DeliverDue(m_rig.Queue().Now(), 100);
  const SCase over[] = {{"str", "GetMouseOver()", "Door", ""}};
  CheckAll(over);
  const SCase free[] = {{"void", "MRRemove(); SetMousePos(60, 5);", "", ""}};
  CheckAll(free);
  m_rig.Pump();
  m_rig.Queue().DeliverDue(m_rig.Queue().Now(), 100);
  const SCase away[] = {{"str", "GetMouseOver()", "(null)", ""}};
  CheckAll(away);
}

TEST_F(BindingsVisualTest, DissolvesCoverTheViewOrChangeIt) {
  const SCase cases[] = {
      {"void", "DissolveToImage(\"/g/none.bmp\");", "", "INVALIDVALUE"},
      {"void", "DissolveToImage(\"/g/page.bmp\");", "", ""},
  };
  CheckAll(cases);
  EXPECT_TRUE(m_world->Overlay());
  const SCase change[] = {{"void", "DissolveToView(\"Hall\", 0, 0);", "", ""}};
  CheckAll(change);
  m_rig.Queue().DeliverDue(m_rig.Queue().Now(), 100);
  EXPECT_EQ(m_world->CurrentView()->ViewName(), "Hall");
}

}  // namespace
