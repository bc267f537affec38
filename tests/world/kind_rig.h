// One room for the tests of the object kinds: a 64 x 64 background of
// colour 3, templates of every kind, the room's objects given as INI text, the
// virtual clock in the test's hands, the handlers trace read back with the
// time of each call, and the log's warnings.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/trace.h"
#include "script/script_machine.h"
#include "store/hash_ini.h"
#include "store/vb_ini.h"
#include "support/scratch_value_base.h"
#include "ui/test_windows.h"
#include "ui/ui_rig.h"
#include "world/view.h"
#include "world/world.h"

// A script value whose body is `body` ("\s" ends a line).
inline std::string ScriptSection(const std::string& path, const std::string& body) {
  return "[" + path + "]\nSize=12\nType=34\nTextSize=" + std::to_string(body.size() + 2) +
         "\n1=." + body + "\n";
}

class CKindRig : public CLogView {
 public:
  // `room`: the lines of "/World/Room/" naming its objects; `sections`: the
  // objects' own sections. "{dir}" stands for the rig's folder.
  CKindRig(const std::string& room, const std::string& sections) {
    WritePicture(m_rig.Dir(), "back.bmp", 64, std::vector<uint8_t>(64 * 64, 3));
    std::string tree =
        "[/]\nTemplates=container\nWorld=container\n"
        "[/Templates/]\nPlaneView=container\nTimer=container\nSprite=container\n"
        "Text=container\n"
        "[/Templates/PlaneView/]\nType=str:PlaneView\n"
        "[/Templates/Timer/]\nType=str:Timer\nOnStart=script\nOnStop=script\nOnLoop=script\n"
        "OnInterrupt=script\n" +
        ScriptSection("/Templates/Timer/OnStart", ";") +
        ScriptSection("/Templates/Timer/OnStop", ";") +
        ScriptSection("/Templates/Timer/OnLoop", ";") +
        ScriptSection("/Templates/Timer/OnInterrupt", ";") +
        "[/Templates/Sprite/]\nType=str:Sprite\n[/Templates/Text/]\nType=str:Text\n"
        "[/World/]\nRoom=container\nHall=container\n"
        "[/World/Hall/]\nTemplate=str:PlaneView\nImageName=str:{dir}/back.bmp\n"
        "[/World/Room/]\nTemplate=str:PlaneView\nImageName=str:{dir}/back.bmp\n" +
        room + sections;
    std::string dir = m_rig.Dir().Path();
    dir.pop_back();
    for (size_t at; (at = tree.find("{dir}")) != std::string::npos;) tree.replace(at, 5, dir);
    CHashIni ini(100, 1000);
    EXPECT_EQ(ini.LoadText(tree), err::kOk);
    COpenContainer root = m_base.Root();
    EXPECT_EQ(ImportIni(m_base.vb(), root.get(), &ini), err::kOk);
    EXPECT_EQ(m_machine.Init({}), err::kOk);
    m_machine.Calls().tool_mode = true;
    m_rig.Queue().SetClock([this] { return m_now; });
    Tracer().SetClock([this] { return m_now; });
    Tracer().Configure("handlers", m_rig.Dir().Join("trace.txt").c_str());
    SetLogView(this);
    m_world = std::make_unique<CWorld>(m_base.vb(), &m_machine, &m_rig.Queue(), true);
    m_world->SetDesktop(&m_rig.Desktop());
  }
  ~CKindRig() override {
    m_world.reset();
    SetLogView(nullptr);
    m_machine.Shutdown();
  }

  void AddLine(uint32_t category, std::string_view text) override {
    if (category == kLogWarning) log.push_back(std::string(text));
  }

  // Changes to `view` at the current time.
  void Go(const char* view) {
    m_world->RequestView(view, {0, 0}, false);
    m_rig.Queue().DeliverDue(m_now, 100);
  }
  // Runs everything due up to `ms`, each at its own time.
  void RunTo(uint32_t ms) {
    uint32_t due = 0;
    while (m_rig.Queue().NextDue(&due) && due <= ms) {
      m_now = std::max(m_now, due);
      m_rig.Queue().DeliverDue(m_now, 100);
    }
    m_now = ms;
  }
  uint32_t Now() const { return m_now; }
  // "<ms> <object> <handler> <argument>..." of each handler that ran.
  std::vector<std::string> Calls() const {
    std::istringstream in(m_rig.Dir().ReadFile("trace.txt"));
    std::vector<std::string> calls;
    for (std::string line; std::getline(in, line);) {
      std::vector<std::string> fields;
      std::istringstream split(line);
      for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
      if (fields.size() < 7 || fields[2] != "call" || fields[6] != "run") continue;
      std::string call = fields[0] + " " + fields[4] + " " + fields[5];
      for (size_t i = 7; i < fields.size(); ++i) call += " " + fields[i];
      calls.push_back(call);
    }
    return calls;
  }
  CWorld& World() { return *m_world; }
  template <class T>
  T* Find(const char* name) {
    return KindOf<T>(m_world->FindByName(name));
  }
  const CTempDir& Dir() const { return m_rig.Dir(); }

  std::vector<std::string> log;

 private:
  uint32_t m_now = 1000;
  CUiRig m_rig;
  CScratchValueBase m_base;
  CScriptMachine m_machine;
  std::unique_ptr<CWorld> m_world;
};
