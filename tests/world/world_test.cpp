// World objects made from their containers: templates found in the view,
// its view sets and "/Templates/", properties and handlers looked up in the
// object, then its template, and handler calls as the handlers trace shows
// them.
#include <gtest/gtest.h>

#include <array>

#include "base/log.h"
#include "base/trace.h"
#include "fs/bfhp.h"
#include "script/script_machine.h"
#include "store/hash_ini.h"
#include "store/vb_ini.h"
#include "support/scratch_value_base.h"
#include "support/temp_dir.h"
#include "ui/event_queue.h"
#include "world/world.h"
#include "world/project.h"
#include "world/world_object.h"

namespace {

std::unique_ptr<CWObject> LoadThing(CWorld* world, StoreHandle own, StoreHandle templ,
                                    ErrCode*) {
  return std::make_unique<CWObject>(world, own, templ);
}
const SLoaderRow kThings[] = {{"Thing", LoadThing}, {"Later", nullptr}};

// A door made from "/Templates/Door", and a sign whose template the view
// itself holds; both templates' handlers write a number to the trace.
const char kTree[] = R"([/]
Templates=container
View=container
Sets=container
[/Templates/]
Door=container
Sign=container
Odd=container
[/Templates/Door/]
Type=str:thing
Visible=long:1
Color=long:5
OnOpen=script
OnBoth=script
[/Templates/Door/OnOpen]
Size=12
Type=34
TextSize=3
1=.;
[/Templates/Door/OnBoth]
Size=12
Type=34
TextSize=3
1=.;
[/Templates/Sign/]
Type=str:Thing
Color=long:1
[/Templates/Odd/]
Type=str:Later
[/View/]
Sign=container
Door1=container
Odd1=container
Lost=container
[/View/Sign/]
Type=str:Thing
Color=long:2
[/View/Door1/]
Template=str:Door
Color=long:7
OnBoth=script
OnBad=script
OnSet=script
[/View/Door1/OnBoth]
Size=12
Type=34
TextSize=3
1=.;
[/View/Door1/OnBad]
Size=12
Type=34
TextSize=6
1=.x = \s
[/View/Door1/OnSet]
Size=12
Type=34
TextSize=21
1=.y = x + 1\s return 7\s
[/View/Odd1/]
Template=str:Odd
[/View/Lost/]
Template=str:Nowhere
)";

class WorldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_base.Import(kTree);
    ASSERT_EQ(m_machine.Init({}), err::kOk);
    m_queue.SetClock([this] { return m_now; });
    Tracer().Configure("handlers", m_dir.Join("trace.txt").c_str());
    m_view = m_base.vb()->FindPath("/View/", m_base.vb()->Root());
  }
  void TearDown() override {
    Tracer().Configure("", nullptr);
    m_machine.Shutdown();
  }
  std::unique_ptr<CWObject> Make(CWorld& world, const char* path, ErrCode* error) {
    return world.CreateObject(path, m_base.vb()->FindPath(path, m_base.vb()->Root()), kThings,
                              error);
  }
  std::string Trace() const { return m_dir.ReadFile("trace.txt"); }
  // The script value `name` of the door's template, compiled against
  // `signature` outside any call.
  void CompileDoorScript(CWObject& door, const char* name, const char* signature) {
    std::string errors;
    ASSERT_EQ(CompileScriptValue(m_base.vb(), &m_machine, door.Template(), name, signature, "x",
                                 &errors),
              err::kOk);
  }

  CTempDir m_dir;
  CScratchValueBase m_base;
  CScriptMachine m_machine;
  CEventQueue m_queue{100, 10};
  uint32_t m_now = 0;
  StoreHandle m_view = 0;
};

TEST_F(WorldTest, ObjectsComeFromTheirTemplatesLoaderAndReadThroughToTheTemplate) {
  CWorld world(m_base.vb(), &m_machine, &m_queue, true);
  ErrCode error = err::kOk;
  std::unique_ptr<CWObject> door = Make(world, "/View/Door1/", &error);
  ASSERT_TRUE(door) << ErrName(error);
  EXPECT_EQ(door->GetLong("Color"), 7);
  EXPECT_EQ(door->GetLong("Visible"), 1);
  bool missing = false;
  EXPECT_EQ(door->GetLong("Nothing", &missing), 0);
  EXPECT_TRUE(missing);
  const TRect pos = door->GetRect("Pos");
  EXPECT_TRUE(pos.left == 0 && pos.top == 0 && pos.right == -1 && pos.bottom == -1);
  // Writes stay in the object's own container.
  EXPECT_EQ(door->SetLong("Visible", 0), err::kOk);
  EXPECT_EQ(door->GetLong("Visible"), 0);
  EXPECT_EQ(door->Template()->GetLong("Visible"), 1);

  EXPECT_FALSE(Make(world, "/View/Odd1/", &error));
  EXPECT_EQ(error, err::kNoLoaderFunction);
  EXPECT_FALSE(Make(world, "/View/Lost/", &error));
  EXPECT_EQ(error, err::kNoSuchTemplate);
}

TEST_F(WorldTest, TheViewsOwnTemplatesComeBeforeTheTemplatesFolder) {
  CWorld world(m_base.vb(), &m_machine, &m_queue, true);
  COpenContainer sign_user(m_base.vb(), m_base.vb()->CreateContainer());
  ASSERT_EQ(sign_user->SetTypedByName("Template", kValueString, "Sign"), err::kOk);
  EXPECT_EQ(world.ResolveTemplate(*sign_user.get()),
            m_base.vb()->FindPath("/Templates/Sign/", m_base.vb()->Root()));
  world.SetTemplateSearch({m_view});
  EXPECT_EQ(world.ResolveTemplate(*sign_user.get()),
            m_base.vb()->FindPath("/View/Sign/", m_base.vb()->Root()));
}

TEST_F(WorldTest, NamesFindTheNewestObjectAndSerialsAreNeverReused) {
  CWorld world(m_base.vb(), &m_machine, &m_queue, true);
  ErrCode error = err::kOk;
  std::unique_ptr<CWObject> first = world.CreateObject("Door", m_base.vb()->FindPath("/View/Door1/", m_base.vb()->Root()), kThings, &error);
  std::unique_ptr<CWObject> second = world.CreateObject("Door", m_base.vb()->FindPath("/View/Door1/", m_base.vb()->Root()), kThings, &error);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(world.FindByName("Door"), second.get());
  const uint32_t gone = second->Serial();
  second.reset();
  EXPECT_EQ(world.FindByName("Door"), first.get());
  EXPECT_EQ(world.Find(gone), nullptr);
  std::unique_ptr<CWObject> third = world.CreateObject("Door", m_base.vb()->FindPath("/View/Door1/", m_base.vb()->Root()), kThings, &error);
  EXPECT_GT(third->Serial(), gone);
  // Names are cut to 127 characters.
  third->SetName(std::string(200, 'x'));
  EXPECT_EQ(third->Name().size(), 127u);
  EXPECT_EQ(world.FindByName(std::string(127, 'x')), third.get());
}

TEST_F(WorldTest, HandlersComeFromTheObjectThenItsTemplateAndGameModeRunsOnlyCompiledCode) {
  ErrCode error = err::kOk;
  {
    CWorld game(m_base.vb(), &m_machine, &m_queue, false);
    m_machine.Calls().tool_mode = false;
    std::unique_ptr<CWObject> door = Make(game, "/View/Door1/", &error);
    EXPECT_EQ(door->Call("OnOpen", "void"), err::kNotFound);
    EXPECT_EQ(door->Call("OnShut", "void"), err::kNotFound);
  }
  CWorld tool(m_base.vb(), &m_machine, &m_queue, true);
  m_machine.Calls().tool_mode = true;
  std::unique_ptr<CWObject> door = Make(tool, "/View/Door1/", &error);
  EXPECT_EQ(door->Call("OnOpen", "void"), err::kOk);
  EXPECT_EQ(door->Call("OnBoth", "void"), err::kOk);
  // The compiled blocks went to the containers that hold the scripts.
  const uint8_t* own = door->Own()->GetValue("OnBoth", kValueScript);
  const uint8_t* templ = door->Template()->GetValue("OnOpen", kValueScript);
  EXPECT_NE(ValueWord(own, 1), 0u);
  EXPECT_NE(ValueWord(templ, 1), 0u);
  EXPECT_EQ(door->Template()->GetValue("OnBoth", kValueScript) != nullptr, true);
  EXPECT_EQ(ValueWord(door->Template()->GetValue("OnBoth", kValueScript), 1), 0u);
  // Now game mode runs them.
  CWorld game(m_base.vb(), &m_machine, &m_queue, false);
  m_machine.Calls().tool_mode = false;
  std::unique_ptr<CWObject> again = Make(game, "/View/Door1/", &error);
  EXPECT_EQ(again->Call("OnOpen", "void"), err::kOk);
  EXPECT_EQ(Trace(),
            "0\thandlers\tcall\t0\t/View/Door1/\tOnOpen\tuncompiled\n"
            "0\thandlers\tcall\t0\t/View/Door1/\tOnShut\tmissing\n"
            "0\thandlers\tcall\t0\t/View/Door1/\tOnOpen\trun\n"
            "0\thandlers\treturn\t0\t/View/Door1/\tOnOpen\n"
            "0\thandlers\tcall\t0\t/View/Door1/\tOnBoth\trun\n"
            "0\thandlers\treturn\t0\t/View/Door1/\tOnBoth\n"
            "0\thandlers\tcall\t0\t/View/Door1/\tOnOpen\trun\n"
            "0\thandlers\treturn\t0\t/View/Door1/\tOnOpen\n");
}

class CLogLines : public CLogSink {
 public:
  void Write(std::string_view text) override { g_text += text; }
  static inline std::string g_text;
};

// How many lines of the log hold `part`.
int LogLinesWith(std::string_view part) {
  int count = 0;
  for (size_t at = CLogLines::g_text.find(part); at != std::string::npos;
       at = CLogLines::g_text.find(part, at + 1))
    ++count;
  return count;
}

class HandlerCallTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    SetLogSink(std::make_unique<CLogLines>());
    CLogLines::g_text.clear();
  }
  void TearDown() override {
    SetLogSink(nullptr);
    WorldTest::TearDown();
  }
};

TEST_F(HandlerCallTest, AWarmCallFetchesNothingUntilTheScriptValueChanges) {
  CWorld tool(m_base.vb(), &m_machine, &m_queue, true);
  ErrCode error = err::kOk;
  std::unique_ptr<CWObject> door = Make(tool, "/View/Door1/", &error);
  std::unique_ptr<CWObject> twin = Make(tool, "/View/Door1/", &error);
  ASSERT_TRUE(door && twin);
  EXPECT_EQ(door->Call("OnOpen", "void"), err::kOk);  // compiled, then fetched once
  EXPECT_EQ(tool.ProgramLoads(), 1u);
  EXPECT_EQ(door->Call("OnOpen", "void"), err::kOk);
  // Another object of the template shares the decoded block.
  EXPECT_EQ(twin->Call("OnOpen", "void"), err::kOk);
  EXPECT_EQ(tool.ProgramLoads(), 1u);
  // A property written beside the script keeps the block.
  EXPECT_EQ(door->Template()->SetTypedByName("Visible", kValueLong, "\1\0\0\0"), err::kOk);
  EXPECT_EQ(door->Call("OnOpen", "void"), err::kOk);
  EXPECT_EQ(tool.ProgramLoads(), 1u);
  // New code in the script value is fetched again, once.
  CompileDoorScript(*door, "OnOpen", "void");
  EXPECT_EQ(door->Call("OnOpen", "void"), err::kOk);
  EXPECT_EQ(twin->Call("OnOpen", "void"), err::kOk);
  EXPECT_EQ(tool.ProgramLoads(), 2u);
  // Decoded code holds the globals' addresses: registering them anew
  // decodes again.
  m_machine.ClearWorldGlobals();
  EXPECT_EQ(door->Call("OnOpen", "void"), err::kOk);
  EXPECT_EQ(tool.ProgramLoads(), 3u);
}

TEST_F(HandlerCallTest, ABlockOfAnotherSignatureIsRefusedInTheGameAndRecompiledInTheTool) {
  ErrCode error = err::kOk;
  CWorld tool(m_base.vb(), &m_machine, &m_queue, true);
  std::unique_ptr<CWObject> door = Make(tool, "/View/Door1/", &error);
  CompileDoorScript(*door, "OnOpen", "void");
  const auto code = [&] { return ValueWord(door->Template()->GetValue("OnOpen", kValueScript), 1); };
  const StoreHandle for_void = code();
  {
    CWorld game(m_base.vb(), &m_machine, &m_queue, false);
    std::unique_ptr<CWObject> played = Make(game, "/View/Door1/", &error);
    const SCallArg args[] = {SCallArg::Int(3)};
    EXPECT_EQ(played->Call("OnOpen", "void, int x", args), err::kBadParamString);
    EXPECT_EQ(played->Call("OnOpen", "void, int x", args), err::kBadParamString);
    EXPECT_EQ(LogLinesWith("OnOpen is compiled for another signature than \"void, int x\""), 1);
    EXPECT_EQ(code(), for_void);
    EXPECT_EQ(played->Call("OnOpen", "void"), err::kOk);
  }
  const SCallArg args[] = {SCallArg::Int(3)};
  EXPECT_EQ(door->Call("OnOpen", "void, int x", args), err::kOk);
  const StoreHandle for_int = code();
  EXPECT_NE(for_int, for_void);
  EXPECT_EQ(door->Call("OnOpen", "void, int x", args), err::kOk);
  EXPECT_EQ(code(), for_int);
}

TEST_F(HandlerCallTest, AFailedCompileIsLoggedOnceUnderItsPathAndTriedAgainOnNewSource) {
  CWorld tool(m_base.vb(), &m_machine, &m_queue, true);
  ErrCode error = err::kOk;
  std::unique_ptr<CWObject> door = Make(tool, "/View/Door1/", &error);
  EXPECT_EQ(door->Call("OnBad", "void"), err::kSyntax);
  EXPECT_EQ(door->Call("OnBad", "void"), err::kSyntax);
  EXPECT_EQ(LogLinesWith("/View/Door1/OnBad(1, "), 1);
  // New source text: compiled again, and now it runs.
  const char kText[] = "x = 1;";
  CBFHP* store = m_base.vb()->Store();
  const StoreHandle source = store->NewHandle(sizeof kText);
  ASSERT_EQ(store->Write(source, kText, 0, sizeof kText), err::kOk);
  const uint32_t payload[2] = {source, 0};
  ASSERT_EQ(door->Own()->SetValue("OnBad", MakeValue(kValueScript, payload, 8).data()), err::kOk);
  EXPECT_EQ(door->Call("OnBad", "void, int x", std::array{SCallArg::Int(0)}), err::kOk);
  EXPECT_EQ(LogLinesWith("/View/Door1/OnBad("), 1);
}

TEST_F(HandlerCallTest, TheTraceShowsTheArgumentsAndWhatCameBack) {
  CWorld tool(m_base.vb(), &m_machine, &m_queue, true);
  ErrCode error = err::kOk;
  std::unique_ptr<CWObject> door = Make(tool, "/View/Door1/", &error);
  door->SetName("Door");
  int32_t result = -1;
  int32_t y = 0;
  const SCallArg args[] = {SCallArg::Ref(&result), SCallArg::Int(4), SCallArg::Ref(&y),
                           SCallArg::Text("a\"b")};
  const char* kSig = "int, int x, int* y, str s";
  EXPECT_EQ(door->Call("OnSet", kSig, args), err::kOk);
  EXPECT_EQ(door->Call("OnNone", kSig, args), err::kNotFound);
  EXPECT_EQ(door->Call("OnSet", "void, nosuch"), err::kBadParamString);
  EXPECT_EQ(Trace(),
            "0\thandlers\tcall\t0\tDoor\tOnSet\trun\t-1\t4\t0\t\"a\\\"b\"\n"
            "0\thandlers\treturn\t0\tDoor\tOnSet\t7\t5\n"
            "0\thandlers\tcall\t0\tDoor\tOnNone\tmissing\t7\t4\t5\t\"a\\\"b\"\n"
            "0\thandlers\tcall\t0\tDoor\tOnSet\terror BAD_PARAM_STRING\n");
}

}  // namespace
