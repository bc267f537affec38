// The natives on world objects, views and inventory items, run from scripts
// against a world in a view. No script string outlives a test.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fs/file_service.h"
#include "fs/trans_fs.h"
#include "gfx/bitmap.h"
#include "gfx/bmp.h"
#include "gfx/palette.h"
#include "script/script_call.h"
#include "script/script_machine.h"
#include "script/script_result.h"
#include "script/string_leak_check.h"
#include "store/hash_ini.h"
#include "store/vb_ini.h"
#include "support/scratch_value_base.h"
#include "ui/cursor.h"
#include "ui/os_layer.h"
#include "ui/test_windows.h"
#include "ui/ui_rig.h"
#include "world/bindings/bindings.h"
#include "world/bindings/item_types.h"
#include "world/bindings/natives.h"
#include "world/globals.h"
#include "world/view.h"
#include "world/world.h"

namespace {

// A script value holding `text` (";" written as "\s").
std::string Script(const std::string& path, const std::string& text) {
  return "[" + path + "]\nSize=12\nType=34\nTextSize=" + std::to_string(text.size() + 2) +
         "\n1=." + text + "\n";
}

// The room has a door with values of every kind, a box to carry and a
// cupboard loaded only on request. Handlers count in the global Score.
std::string Tree(const std::string& image) {
  return "[/]\nTemplates=container\nWorld=container\nInventory=container\nGlobals=container\n"
         "[/Templates/]\nPlaneView=container\nViewSet=container\nHotSpot=container\n"
         "Item=container\n"
         "[/Templates/PlaneView/]\nType=str:PlaneView\n"
         "[/Templates/ViewSet/]\nType=str:ViewSet\n"
         "[/Templates/HotSpot/]\nType=str:HotSpot\n"
         "[/Templates/Item/]\nType=str:Inventory Item\nOnAdd=script\nOnRemove=script\n"
         "OnExamine=script\n" +
         Script("/Templates/Item/OnAdd", "Score = Score + 1\\s") +
         Script("/Templates/Item/OnRemove", "Score = Score + 10\\s") +
         Script("/Templates/Item/OnExamine", "Score = Score + 100\\s") +
         "[/Globals/]\nScore=long:0\nName=str:Bob\n"
         "[/Inventory/]\nKey=container\n[/Inventory/Key/]\nTemplate=str:Item\n"
         "[/World/]\nTemplate=str:ViewSet\nRoom=container\nPing=script\nOnConversation=script\n" +
         Script("/World/Ping", "Score = Score + 1000\\s") +
         Script("/World/OnConversation", "Score = Score + 5\\s") +
         "[/World/Room/]\nTemplate=str:PlaneView\nImageName=str:" + image +
         "\nDoor=container\nBox=container\nCupboard=container\n"
         "[/World/Room/Door/]\nTemplate=str:HotSpot\nActive=long:1\nVisible=long:1\n"
         "ZOrder=long:4\nPos=rect:10, 10, 19, 19\nState=long:3\nColor=long:7\nLabel=str:door\n"
         "Spot=point:4, 5\nArea=rect:1, 2, 3, 4\nExamineText=str:plain\nExamineText2=str:other\n"
         "AutoUpdate=long:0\nPing=script\nOnLButtonDown=script\nRecurse=script\n" +
         Script("/World/Room/Door/Recurse", "Score = Score + 1\\s Exec(\"Recurse\")\\s") +
         Script("/World/Room/Door/Ping", "Score = Score + 2\\s") +
         Script("/World/Room/Door/OnLButtonDown", "Score = x * 100 + y\\s") +
         "[/World/Room/Box/]\nTemplate=str:HotSpot\nActive=long:1\nAttach=long:1\n"
         "Pos=rect:30, 30, 39, 39\n"
         "[/World/Room/Cupboard/]\nTemplate=str:HotSpot\nNoAutoLoad=long:1\n"
         "Pos=rect:50, 50, 59, 59\n";
}

struct SCase {
  const char* type;
  const char* text;
  const char* expect;
};

class BindingsObjectsTest : public CStrLeakTest {
 protected:
  void SetUp() override {
    CStrLeakTest::SetUp();
    WritePicture(m_rig.Dir(), "back.bmp", 4, std::vector<uint8_t>(16, 3));
    m_base.Import(Tree(m_rig.Dir().Join("back.bmp")));
    ASSERT_EQ(m_machine.Init(kWorldModules), err::kOk);
    ASSERT_EQ(m_globals.Load(m_base.vb(), &m_machine), err::kOk);
    m_world = std::make_unique<CWorld>(m_base.vb(), &m_machine, &m_rig.Queue(), true);
    m_world->SetDesktop(&m_rig.Desktop());
    ErrCode error = err::kOk;
    m_script = m_world->CreateObject(
        "World", m_base.vb()->FindPath("/World/", m_base.vb()->Root()), CWorld::ViewLoaders(),
        &error);
    ASSERT_TRUE(m_script);
    SetScriptWorld(m_machine, m_world.get(), m_script.get());
    SetScriptGlobals(m_machine, &m_globals);
    SetLogView(&m_log);
    m_world->RequestView("Room", {0, 0}, false);
    m_rig.Queue().DeliverDue(m_rig.Queue().Now(), 100);
    ASSERT_TRUE(m_world->CurrentView());
  }
  void TearDown() override {
    SetLogView(nullptr);
    m_script.reset();
    m_world.reset();
    m_globals.Release();
    m_machine.Shutdown();
    CStrLeakTest::TearDown();
  }
  CWObject* Object(const char* name) const {
    for (const auto& object : m_world->CurrentView()->Objects())
      if (object->Name() == name) return object.get();
    return nullptr;
  }
  // Runs each case as a handler of `current` (none: no current object).
  void CheckAll(std::span<const SCase> cases, CWObject* current = nullptr) {
    for (const SCase& c : cases) {
      std::optional<CHandlerScope> scope;
      if (current) scope.emplace(m_machine, *current, "Probe");
      EXPECT_EQ(ResultOf(m_machine, c.type, c.text), c.expect) << c.text;
    }
  }
  int32_t Score() const { return Peek<int32_t>(m_globals.Variables()[0].storage); }

  CUiRig m_rig;
  CScratchValueBase m_base;
  CScriptMachine m_machine;
  CGlobalTable m_globals;
  std::unique_ptr<CWorld> m_world;
  std::unique_ptr<CWObject> m_script;
  CLogCapture m_log;
};

}  // namespace

TEST_F(BindingsObjectsTest, ValueLookupsReadOwnValuesAndWriteOnlyOnSuccess) {
  const SCase current[] = {
      {"int", "int c = 1; GetInt(\"Color\", c); return c;", "7"},
      {"int", "int c = 5; if GetInt(\"Nope\", c) then return 0; return c;", "5"},
      {"str", "str s; GetStr(\"Label\", s); return s;", "door"},
      {"str", "str s = \"kept\"; GetStr(\"Nope\", s); return s;", "kept"},
      {"TPoint", "TPoint p; GetPoint(\"Spot\", p); return p;", "4, 5"},
      {"TRect", "TRect r; GetRect(\"Area\", r); return r;", "1, 2, 3, 4"},
      {"bool", "TRect r; return GetRect(\"Spot\", r);", "false"},
      {"bool", "int h; return GetSubHandle(\"Nope\", h);", "false"},
      {"str", "GetID()", "Door"},
  };
  CheckAll(current, Object("Door"));
  const SCase named[] = {
      {"int", "int c; GetInt(\"Door\", \"Color\", c); return c;", "7"},
      {"str", "str s; GetStr(\"Door\", \"Label\", s); return s;", "door"},
      {"TPoint", "TPoint p; GetPoint(\"Door\", \"Spot\", p); return p;", "4, 5"},
      {"bool", "int c; return GetInt(\"Nobody\", \"Color\", c);", "false"},
      {"bool", "int c; return GetInt(\"Color\", c);", "false"},  // no current object
      {"int", "int i; GGetInt(\"Score\", i); return i;", "0"},
      {"str", "str s; GGetStr(\"Name\", s); return s;", "Bob"},
      {"bool", "int i; return GGetInt(\"Name\", i);", "false"},
  };
  CheckAll(named);
}

TEST_F(BindingsObjectsTest, StatePlaceDepthAndVisibility) {
  const SCase current[] = {
      {"int", "GetState()", "3"},
      {"int", "SetState(8); return GetState(\"Door\");", "8"},
      {"TRect", "TRect r; GetPos(r); return r;", "10, 10, 19, 19"},
      {"TRect", "TRect r; Move(20, 30); GetPos(r); return r;", "20, 30, 29, 39"},
      {"TRect", "TRect r; rcSet(r, 0, 1, 9, 10); SetPos(\"Door\", r); GetPos(r); return r;",
       "0, 1, 9, 10"},
      {"int", "GetZ()", "4"}, {"int", "SetZ(0); return GetZ();", "1"},
      {"int", "SetObjZ(\"Door\", 300); return GetZ(\"Door\");", "255"},
      {"bool", "IsVisible()", "true"},
      {"bool", "SetObjVisible(\"Door\", false); return IsObjVisible(\"Door\");", "false"},
      {"bool", "Move(\"Nobody\", 1, 1)", "false"},
      {"int", "SetState(\"Nobody\", 4); return GetState(\"Nobody\");", "0"},
      {"str", "str s; SetExamineText(\"Door\", 2); GetStr(\"ExamineText\", s); return s;",
       "other"},
      {"str", "str s; SetExamineText(\"Door\", \"plain\"); GetStr(\"ExamineText\", s); return s;",
       "plain"},
      {"str", "str s; SetExamineText(\"Door\", 9); GetStr(\"ExamineText\", s); return s;",
       "plain"},
  };
  CheckAll(current, Object("Door"));
}

TEST_F(BindingsObjectsTest, ExecCallsTheWorldTheCurrentObjectOrNothing) {
  const SCase cases[] = {{"void", "Exec(\"\\\\Ping\");", ""}};
  CheckAll(cases, Object("Door"));
  EXPECT_EQ(Score(), 0);
  const SCase calls[] = {{"void", "Exec(\"/Ping\"); Exec(\"Ping\"); Exec(\"Door\", \"Ping\");", ""},
                         {"void", "StartConversation(\"hello\");", ""}};
  CheckAll(calls, Object("Door"));
  EXPECT_EQ(Score(), 1009);
  const SCase click[] = {{"void", "SimClick(\"Door\", 1, 2); SimClick(\"Nobody\", 5, 5);", ""}};
  CheckAll(click);
  EXPECT_EQ(Score(), 102);
  // A handler that runs itself again stops at the world's nesting limit
  // (the limit's own count belongs to the world's tests).
  const SCase deep[] = {{"void", "Score = 0; Exec(\"Recurse\");", ""}};
  CheckAll(deep, Object("Door"));
  EXPECT_GE(Score(), static_cast<int32_t>(CWorld::kMaxCallDepth) - 1);
  EXPECT_LE(Score(), static_cast<int32_t>(CWorld::kMaxCallDepth));
}

TEST_F(BindingsObjectsTest, ObjectsComeActivateCarryAndChangeLevel) {
  const SCase cases[] = {
      {"bool", "CreateObject(\"Cupboard\")", "true"},
      {"bool", "CreateObject(\"Cupboard\")", "false"},
      {"bool", "CreateObject(\"Nobody\")", "false"},
      {"int", "int n = 0; int i = 0; while i < 50 do { if CreateObject(\"Cupboard\") then n = n + 1; "
              "i = i + 1; } return n;", "0"},
      {"bool", "IsActive(\"Door\")", "true"},
      {"bool", "Activate(\"Door\", false); return IsActive(\"Door\");", "false"},
      {"bool", "AttachToCursor(\"Box\", 1, 1) && IsAttached(\"Box\")", "true"},
      {"bool", "DetachFromCursor(); return IsAttached(\"Box\");", "false"},
      {"int", "SetModal(2); return GetModal();", "2"},
      {"bool", "DisableAll(); return IsActive(\"Box\") || IsActive(\"Cupboard\");", "false"},
      {"bool", "AttachToCursor(\"Nobody\", 0, 0)", "false"},
  };
  CheckAll(cases);
  EXPECT_TRUE(Object("Cupboard"));
  const SCase timer[] = {{"void", "SetIntTime(\"Door\", 50);", ""}};
  CheckAll(timer);
  EXPECT_EQ(Object("Door")->AutoUpdate(), 50u);
}

// Item handlers run on a temporary object: OnAdd adds 1, OnRemove 10,
// OnExamine 100 to Score.
TEST_F(BindingsObjectsTest, ItemsCountAddRemoveExamineAndUse) {
  const SCase cases[] = {
      {"bool", "IsItemInInv(Key)", "false"},
      {"bool", "InvAdd(Key); InvAdd(InvItem(\"Key\")); return IsItemInInv(Key);", "true"},
      {"int", "InvExamine(Key); InvExamine(Key); return InvTimesExamined(Key);", "2"},
      {"bool", "InvUse(Key); return IsInvItemUsed(Key);", "true"},
      {"bool", "InvRemove(Key); InvRemove(Key); return IsItemInInv(Key);", "false"},
      {"int", "InvTimesExamined(InvItem(\"Nothing\"))", "-1"},
      {"bool", "item i; return GetInvItem(\"Nothing\", i);", "false"},
      {"bool", "item i; item j; GetInvItem(\"Key\", i); j = i; return IsInvItemUsed(j);", "true"},
  };
  CheckAll(cases);
  EXPECT_EQ(Score(), 211);
  const auto record = Peek<SItemRecord>(m_globals.Variables()[2].storage);
  EXPECT_EQ(record.state, (1u << 17) | 2u);
}

TEST_F(BindingsObjectsTest, ItemsTravelToAndFromHandlers) {
  const uint32_t handle = Peek<SItemRecord>(m_globals.Variables()[2].storage).container;
  ASSERT_NE(handle, 0u);
  uint32_t out = 0;
  const SCallArg args[] = {SCallArg::Int(static_cast<int32_t>(handle)), SCallArg::Ref(&out)};
  ASSERT_EQ(CompileAndCall(m_machine, "out = SelectedItem;", "void, item SelectedItem, item* out",
                           args),
            err::kOk)
      << m_machine.TakeErrorLog();
  EXPECT_EQ(out, handle);
  // A position without its argument runs nothing.
  EXPECT_EQ(CompileAndCall(m_machine, "out = SelectedItem;", "void, item SelectedItem, item* out",
                           std::span(args, 1)),
            err::kBadParams);
  // A TInvItem* position: its record goes out by address and comes back.
  SItemRecord record{5, handle};
  const SCallArg ref[] = {SCallArg::Ref(&record)};
  const SCallArg* at = ref;
  uint8_t stack[16] = {};
  uint8_t area[16] = {};
  uint8_t* sp = stack;
  CTempCursor temp(area, area + sizeof area, 0x100);
  ASSERT_TRUE(bindings::MarshalItems(kInvItemType | kAddrFlag, &sp, &temp, &at));
  EXPECT_EQ(Peek<uint32_t>(stack), 0x100u);
  Poke(area, SItemRecord{7, handle});
  CTempCursor back(area, area + sizeof area, 0x100);
  at = ref;
  bindings::MarshalItems(kInvItemType | kAddrFlag, nullptr, &back, &at);
  EXPECT_EQ(record.state, 7u);
}

TEST_F(BindingsObjectsTest, FixedColoursOutlastPalettesAndSnapshotsSaveTheFrame) {
  const SCase fix[] = {{"void", "FixColor(5, 300, -4, 7); FixColor(256, 1, 1, 1);", ""}};
  CheckAll(fix);
  COSWindow& screen = *m_rig.Desktop().TopLevel();
  EXPECT_EQ(screen.Palette()[5].red, 255);
  EXPECT_EQ(screen.Palette()[5].green, 0);
  EXPECT_EQ(screen.Palette()[5].blue, 7);
  CPalette grey;
  ASSERT_EQ(grey.SetCount(256), err::kOk);
  for (uint32_t i = 0; i < 256; ++i) grey.SetEntry(i, {9, 9, 9, 0});
  m_world->ShowPalette(grey);
  EXPECT_EQ(screen.Palette()[5].red, 255);
  EXPECT_EQ(screen.Palette()[6].red, 9);

  CFileService* native = nullptr;
  for (const MountEntry& entry : Mounts())
    if (entry.prefix.empty()) native = entry.fs.get();
  ASSERT_TRUE(native);
  RegisterMount("/out/", std::make_unique<CTransFS>(m_rig.Dir().Path(), native), 0);
  m_rig.Desktop().Invalidate();
  m_rig.Desktop().Present();
  const SCase shot[] = {{"void", "Snapshot(\"/out/shot.bmp\"); Snapshot(\"/World/x.bmp\");", ""}};
  CheckAll(shot);
  UnregisterMount("/out/");
  ErrCode error = err::kOk;
  std::unique_ptr<CBitmap> saved = LoadBmp(m_rig.Dir().Join("shot.bmp").c_str(), &error, false);
  ASSERT_TRUE(saved) << ErrName(error) << m_log.m_text;
  const SPresentedFrame frame = screen.PlatformWindow()->Presented();
  EXPECT_EQ(saved->Width(), frame.width);
  EXPECT_EQ(saved->Height(), frame.height);
  SPalEntry entry;
  ASSERT_EQ(saved->Palette()->GetEntry(5, &entry), err::kOk);
  EXPECT_EQ(entry.red, 255);
  EXPECT_NE(m_log.m_text.find("file access denied: /World/x.bmp"), std::string::npos);
}

// The mouse moves in view coordinates and the rollover follows it.
TEST_F(BindingsObjectsTest, SetMousePosMovesOnceAndTheRolloverFollows) {
  const SCase move[] = {{"void", "SetMousePos(12, 13);", ""}};
  CheckAll(move);
  m_rig.Pump();
  m_rig.Queue().DeliverDue(m_rig.Queue().Now(), 100);
  const SCase over[] = {{"str", "GetMouseOver()", "Door"}};
  CheckAll(over);
}

TEST_F(BindingsObjectsTest, SetCursorGivesTheViewANamedShapeOrTheDefault) {
  std::filesystem::create_directories(m_rig.Dir().Join("Cursors"));
  WritePicture(m_rig.Dir(), "Cursors/hand.bmp", 4, std::vector<uint8_t>(16, 1));
  CFileService* native = nullptr;
  for (const MountEntry& entry : Mounts())
    if (entry.prefix.empty()) native = entry.fs.get();
  RegisterMount("/Game Interface/", std::make_unique<CTransFS>(m_rig.Dir().Path(), native), 0);
  CWindow* window = m_world->CurrentView()->Window();
  const SCase hand[] = {{"void", "SetCursor(\"hand\"); SetCursor(\"missing\");", ""}};
  CheckAll(hand);
  ASSERT_TRUE(window->Cursor());
  EXPECT_NE(window->Cursor()->Path().find("hand.bmp"), std::string::npos);
  const SCase none[] = {{"void", "SetCursor(\"\");", ""}};
  CheckAll(none);
  EXPECT_FALSE(window->Cursor());
  UnregisterMount("/Game Interface/");
}

// With the platform known, Wait lets its clock move on and QuitGame posts
// the quit the main loop ends at.
TEST_F(BindingsObjectsTest, WaitAndQuitGoThroughThePlatform) {
  SetScriptPlatform(m_machine, &m_rig.Platform());
  const SCase waits[] = {{"int", "InitTime(); Wait(60); return GetTime();", "60"},
                         {"int", "InitTime(); Wait(-5); return GetTime();", "0"}};
  CheckAll(waits);
  const SCase quit[] = {{"void", "QuitGame();", ""}};
  CheckAll(quit);
  EXPECT_FALSE(m_rig.Layer().Pump());
}
