// A world with one view, "Room", whose objects a test describes as INI text,
// on the headless platform's virtual clock; "/anim/" and "/deco/" are the
// rig's folder. Handlers are traced with their times since the view was
// entered, and the log is kept.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/trace.h"
#include "fs/mount_config.h"
#include "script/script_machine.h"
#include "store/hash_ini.h"
#include "store/vb_ini.h"
#include "support/scratch_value_base.h"
#include "ui/test_windows.h"
#include "ui/ui_rig.h"
#include "world/view.h"
#include "world/world.h"

class CRigLog : public CLogSink {
 public:
  void Write(std::string_view text) override { g_text += text; }
  static inline std::string g_text;
};

class WorldObjectRig : public ::testing::Test {
 protected:
  void TearDown() override {
    m_world.reset();
    m_machine.Shutdown();
    UnmountFromConfig(m_mounts);
    SetLogSink(nullptr);
  }

  // A script value at `path` running `body` ("\s" ends a statement).
  static std::string Script(const std::string& path, const std::string& body) {
    return "[" + path + "]\nSize=12\nType=34\nTextSize=" + std::to_string(body.size() + 2) +
           "\n1=." + body + "\n";
  }

  // Enters "Room" holding `objects` (its value lines) and the sections
  // `more` (the animation template's among them).
  void Enter(const std::string& objects, const std::string& more) {
    WritePicture(m_rig.Dir(), "back.bmp", 4, std::vector<uint8_t>(16, 3));
    m_mounts = {{"/anim/", "Trans, " + m_rig.Dir().Path()}, {"/deco/", "Trans, " + m_rig.Dir().Path()}};
    MountFromConfig(m_mounts);
    const std::string tree =
        "[/]\nTemplates=container\nWorld=container\n"
        "[/Templates/]\nPlaneView=container\nAnimation=container\nDecoration=container\n"
        "[/Templates/PlaneView/]\nType=str:PlaneView\n"
        "[/Templates/Decoration/]\nType=str:Decoration\n"
        "[/World/]\nRoom=container\n"
        "[/World/Room/]\nTemplate=str:PlaneView\nImageName=str:" + m_rig.Dir().Join("back.bmp") +
        "\n" + objects + more;
    CHashIni ini(100, 1000);
    ASSERT_EQ(ini.LoadText(tree), err::kOk);
    COpenContainer root = m_base.Root();
    ASSERT_EQ(ImportIni(m_base.vb(), root.get(), &ini), err::kOk);
    ASSERT_EQ(m_machine.Init({}), err::kOk);
    m_machine.Calls().tool_mode = true;
    m_world = std::make_unique<CWorld>(m_base.vb(), &m_machine, &m_rig.Queue(), true);
    m_world->SetDesktop(&m_rig.Desktop());
    SetLogSink(std::make_unique<CRigLog>());
    CRigLog::g_text.clear();
    Tracer().Configure("handlers", m_rig.Dir().Join("trace.txt").c_str());
    m_entered = Now();
    m_world->RequestView("Room", {0, 0}, false);
    RunTo(0);
  }

  uint32_t Now() { return m_rig.Queue().Now(); }
  // Delivers everything due up to `ms` after the entry, the clock standing
  // at each due time on the way.
  void RunTo(uint32_t ms) {
    const uint32_t until = m_entered + ms;
    for (;;) {
      // The platform's idle quit may end a pump before its delivery.
      m_rig.Pump();
      m_rig.Queue().DeliverDue(Now(), 100);
      if (Now() >= until) return;
      m_rig.Layer().Wait(until - Now());
    }
  }
  // The handlers called, as "<ms since entry> <object> <handler>".
  std::vector<std::string> Calls() const {
    std::istringstream in(m_rig.Dir().ReadFile("trace.txt"));
    std::vector<std::string> calls;
    for (std::string line; std::getline(in, line);) {
      std::vector<std::string> fields;
      std::istringstream split(line);
      for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
      if (fields.size() > 5 && fields[1] == "handlers" && fields[2] == "call" && fields[4] != "Room")
        calls.push_back(std::to_string(std::stoul(fields[0]) - m_entered) + " " + fields[4] + " " +
                        fields[5]);
    }
    return calls;
  }
  template <class T>
  T* Object(const char* name) const {
    return KindOf<T>(m_world->FindByName(name));
  }
  // The pixel of the object's picture, -1 without one.
  template <class T>
  int Pixel(const char* name, int x, int y) const {
    const T* object = Object<T>(name);
    return object && object->Picture() ? object->Picture()->GetPixel(x, y) : -1;
  }

  CUiRig m_rig;
  CScratchValueBase m_base;
  CScriptMachine m_machine;
  std::unique_ptr<CWorld> m_world;
  ConfigEntries m_mounts;
  uint32_t m_entered = 0;
};
