// Opening and closing projects: new projects from blank.ini, the shadow
// file's life, game mode's read-only overlay, the globals' slots across a
// new game, the script version and a close that fails at any step.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "base/log.h"
#include "fs/file_service.h"
#include "world/bindings/bindings.h"
#include "script/script_machine.h"
#include "store/value_base.h"
#include "store/vb_check.h"
#include "support/fault_native_fs.h"
#include "world/project.h"

namespace {

class CLogCapture : public CLogSink {
 public:
  explicit CLogCapture(std::string* text) : m_text(text) {}
  void Write(std::string_view text) override { m_text->append(text); }

 private:
  std::string* m_text;
};

constexpr char kBlank[] =
    "[/]\r\nWorld=container\r\nTemplates=container\r\nGlobals=container\r\n"
    "[/Globals/]\r\nScore=long:3\r\nname=str:Ann\r\n";

class ProjectTest : public CFaultNativeFsTest {
 protected:
  void SetUp() override {
    CFaultNativeFsTest::SetUp();
    ASSERT_EQ(m_machine.Init(kWorldModules), err::kOk);
    SetLogSink(std::make_unique<CLogCapture>(&m_log));
    m_dir.WriteFile("blank.ini", kBlank);
    m_options.blank_ini = m_dir.Join("blank.ini");
  }
  void TearDown() override {
    m_project.reset();
    SetLogSink(nullptr);
    CFaultNativeFsTest::TearDown();
  }
  std::string Project() const { return m_dir.Join("game.prj"); }
  ErrCode Open(bool game_mode = false) {
    m_options.game_mode = game_mode;
    return m_project->Open(Project(), m_options);
  }
  int32_t Long(const char* path) {
    int32_t value[2] = {};
    m_project->vb()->GetValueByPath(path, value, sizeof value, 0);
    return value[1];
  }
  void SetLong(const char* path, int32_t number) {
    const std::vector<uint8_t> value = MakeValue(kValueLong, &number, sizeof number);
    ASSERT_EQ(m_project->vb()->SetValueByPath(path, value.data(), 0), err::kOk);
  }
  // A project holding the blank contents, closed.
  void MakeProject() {
    ASSERT_EQ(Open(), err::kOk);
    ASSERT_EQ(m_project->Close(), err::kOk);
  }

  CScriptMachine m_machine;
  std::unique_ptr<CProject> m_project = std::make_unique<CProject>(&m_machine);
  SProjectOptions m_options;
  std::string m_log;
};

TEST_F(ProjectTest, ANewProjectHoldsBlankIniAndCloseLeavesNoShadow) {
  ASSERT_EQ(Open(), err::kOk);
  EXPECT_TRUE(m_project->IsNew());
  EXPECT_TRUE(m_dir.Exists("shadow.tmp"));
  EXPECT_FALSE(m_dir.Exists("game.prj"));  // it appears with the first commit
  EXPECT_NE(m_project->vb()->FindPath("/World/", 0), 0u);
  EXPECT_NE(m_project->Templates(), 0u);
  EXPECT_EQ(Long("/Globals/Score"), 3);
  SetLong("/Globals/Score", 9);
  const uint32_t version = m_project->ScriptVersion();
  ASSERT_EQ(m_project->Close(), err::kOk);
  EXPECT_FALSE(m_dir.Exists("shadow.tmp"));

  ASSERT_EQ(Open(), err::kOk);
  EXPECT_FALSE(m_project->IsNew());
  EXPECT_EQ(Long("/Globals/Score"), 9);
  EXPECT_EQ(static_cast<uint32_t>(Long("/ScriptVersion")), version);
  EXPECT_TRUE(CheckValueBase(m_project->vb()).empty());
}

TEST_F(ProjectTest, AMissingBlankIniIsLoggedAndTheProjectStartsEmpty) {
  m_options.blank_ini = m_dir.Join("none.ini");
  ASSERT_EQ(Open(), err::kOk);
  EXPECT_EQ(m_log,
            "Error: Cannot import blank.ini\n"
            "Globals section in VB is not found.\n"
            "No variables found in Globals section!\n");
}

TEST_F(ProjectTest, AStaleShadowIsTruncatedAndAFileThatIsNoStoreOpensNothing) {
  MakeProject();
  m_dir.WriteFile("shadow.tmp", "left over");
  ASSERT_EQ(Open(), err::kOk);
  EXPECT_EQ(m_dir.ReadFile("shadow.tmp"), "");
  m_project->Close();
  m_dir.WriteFile("game.prj", std::string(64, 'x'));
  EXPECT_EQ(Open(), err::kInvalidFormat);
  EXPECT_FALSE(m_project->IsOpen());
  EXPECT_FALSE(m_dir.Exists("shadow.tmp"));
}

TEST_F(ProjectTest, GameModeNeverWritesTheProject) {
  MakeProject();
  const std::string before = m_dir.ReadFile("game.prj");
  ASSERT_EQ(Open(true), err::kOk);
  EXPECT_FALSE(m_dir.Exists("shadow.tmp"));
  SetLong("/Globals/Score", 40);
  EXPECT_EQ(Long("/Globals/Score"), 40);
  ASSERT_EQ(m_project->Close(), err::kOk);
  EXPECT_EQ(m_dir.ReadFile("game.prj"), before);
  EXPECT_NE(m_project->Open(m_dir.Join("none.prj"), m_options), err::kOk);
  EXPECT_FALSE(m_project->IsOpen());
  EXPECT_FALSE(m_dir.Exists("none.prj"));
}

TEST_F(ProjectTest, ANewGameGivesEveryGlobalItsSlotAgain) {
  MakeProject();
  ASSERT_EQ(Open(), err::kOk);
  const uint16_t first = 430;  // after the engine module
  ASSERT_EQ(m_project->Globals().Variables().size(), 2u);
  EXPECT_EQ(m_project->Globals().Variables()[0].slot, first);
  EXPECT_EQ(m_project->Globals().Variables()[1].slot, first + 1);
  EXPECT_EQ(m_machine.NextSlot(), first + 2);
  for (int game = 0; game < 2; ++game) {
    ASSERT_EQ(m_project->ReloadGlobals(), err::kOk);
    EXPECT_EQ(m_project->Globals().Variables()[1].name, "name");
    EXPECT_EQ(m_project->Globals().Variables()[1].slot, first + 1);
    EXPECT_EQ(m_machine.NextSlot(), first + 2);
  }
  m_project->Close();
  EXPECT_EQ(m_machine.NextSlot(), first);
}

// A script value with its source and no code, under `container`.
void AddScript(CValueBase* vb, const char* container, const char* name, const std::string& text) {
  COpenContainer holder(vb, vb->FindPath(container, 0));
  ASSERT_TRUE(holder);
  const StoreHandle source = vb->Store()->NewHandle(static_cast<uint32_t>(text.size() + 1));
  vb->Store()->Write(source, text.c_str(), 0, static_cast<uint32_t>(text.size() + 1));
  const uint32_t payload[2] = {source, 0};
  ASSERT_EQ(holder->SetValue(name, MakeValue(kValueScript, payload, sizeof payload).data()),
            err::kOk);
}

uint32_t CodeOf(CValueBase* vb, const char* container, const char* name) {
  COpenContainer holder(vb, vb->FindPath(container, 0));
  const uint8_t* value = holder->GetValue(name, kValueScript);
  return value ? ValueWord(value, 1) : 0xFFFFFFFF;
}

TEST_F(ProjectTest, AStaleScriptVersionRecompilesScriptsWithASignature) {
  m_dir.WriteFile("blank.ini",
                  "[/]\r\nWorld=container\r\nTemplates=container\r\n"
                  "[/Templates/]\r\nDoor=container\r\n"
                  "[/Templates/Door/]\r\nOnUse Descr=str:int\r\n"
                  "[/World/]\r\nDoor1=container\r\n"
                  "[/World/Door1/]\r\nTemplate=str:Door\r\nOnClick Descr=str:void\r\n");
  ASSERT_EQ(Open(), err::kOk);
  CValueBase* vb = m_project->vb();
  AddScript(vb, "/World/Door1/", "OnClick", "int a = 1;\n");
  AddScript(vb, "/World/Door1/", "OnUse", "return 7;\n");
  AddScript(vb, "/World/Door1/", "Loose", "int b = 2;\n");
  ASSERT_EQ(m_project->Close(), err::kOk);  // stores the running version

  ASSERT_EQ(Open(), err::kOk);
  EXPECT_EQ(m_project->CheckScriptVersion(), err::kOk);
  EXPECT_EQ(m_log.find("Scripts will be recompiled."), std::string::npos);
  SetLong("/ScriptVersion", 1);
  ASSERT_EQ(m_project->Close(), err::kOk);  // the version is written again
  ASSERT_EQ(Open(), err::kOk);
  SetLong("/ScriptVersion", 1);
  EXPECT_EQ(m_project->CheckScriptVersion(), err::kOk);
  EXPECT_NE(m_log.find("Scripts will be recompiled.\n"), std::string::npos);
  EXPECT_NE(CodeOf(m_project->vb(), "/World/Door1/", "OnClick"), 0u);
  EXPECT_NE(CodeOf(m_project->vb(), "/World/Door1/", "OnUse"), 0u);  // from the template
  EXPECT_EQ(CodeOf(m_project->vb(), "/World/Door1/", "Loose"), 0u);
  ASSERT_EQ(m_project->Close(), err::kOk);

  ASSERT_EQ(Open(true), err::kOk);
  EXPECT_TRUE(CheckValueBase(m_project->vb()).empty());
  SetLong("/ScriptVersion", 1);
  EXPECT_EQ(m_project->CheckScriptVersion(), err::kUnknownError);
}

// Each write, flush and rename of the close failing in turn: the project is
// the old one or the new one, whole.
TEST_F(ProjectTest, ACloseFailingAtAnyStepLeavesTheOldOrTheNewProject) {
  MakeProject();
  const std::string old_bytes = m_dir.ReadFile("game.prj");
  auto close = [&](const std::function<void(SFaultPlan*)>& strike) {
    m_dir.WriteFile("game.prj", old_bytes);
    EXPECT_EQ(Open(), err::kOk);
    SetLong("/Globals/Score", 77);
    *m_plan = SFaultPlan{};
    strike(m_plan.get());
    m_project->Close();
    const SFaultPlan counted = *m_plan;
    *m_plan = SFaultPlan{};
    EXPECT_FALSE(m_dir.Exists("game.prj.new"));
    EXPECT_EQ(Open(true), err::kOk);
    const int32_t score = Long("/Globals/Score");
    EXPECT_TRUE(score == 3 || score == 77) << score;
    EXPECT_TRUE(CheckValueBase(m_project->vb()).empty());
    m_project->Close();
    return counted;
  };
  const SFaultPlan counted = close([](SFaultPlan*) {});
  ASSERT_EQ(counted.renames, 1);
  for (int n = 1; n <= counted.writes; ++n) {
    SCOPED_TRACE("write " + std::to_string(n));
    close([n](SFaultPlan* plan) { plan->fail_write = n; });
  }
  for (int n = 1; n <= counted.flushes; ++n) {
    SCOPED_TRACE("flush " + std::to_string(n));
    close([n](SFaultPlan* plan) { plan->fail_flush = n; });
  }
  close([](SFaultPlan* plan) { plan->fail_rename = 1; });
}

TEST_F(ProjectTest, SaveAsWritesEveryChangeToTheNewFile) {
  MakeProject();
  ASSERT_EQ(Open(), err::kOk);
  SetLong("/Globals/Score", 12);
  ASSERT_EQ(m_project->SaveAs(m_dir.Join("copy.prj")), err::kOk);
  m_project->Close();
  ASSERT_EQ(m_project->Open(m_dir.Join("copy.prj"), m_options), err::kOk);
  EXPECT_EQ(Long("/Globals/Score"), 12);
}

}  // namespace
