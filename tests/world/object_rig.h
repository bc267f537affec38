// A world with the views "Room" and "Hall" on a 64 x 64 background of colour
// 3, templates of every object kind, and the room's objects given as INI text
// ("{dir}" stands for the rig's folder), on the headless platform's virtual
// clock. "/anim/" and "/deco/" are the rig's folder. Handlers are traced with
// their times since "Room" was entered, and the log is kept.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
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

class CObjectRig : public CLogView {
 public:
  CObjectRig() {
    m_mounts = {{"/anim/", "Trans, " + Dir().Path()}, {"/deco/", "Trans, " + Dir().Path()}};
    MountFromConfig(m_mounts);
    SetLogView(this);
  }
  ~CObjectRig() override {
    m_world.reset();
    m_machine.Shutdown();
    UnmountFromConfig(m_mounts);
    SetLogView(nullptr);
  }

  // A script value at `path` running `body` ("\s" ends a statement).
  static std::string Script(const std::string& path, const std::string& body) {
    return "[" + path + "]\nSize=12\nType=34\nTextSize=" + std::to_string(body.size() + 2) +
           "\n1=." + body + "\n";
  }

  // The head of the section of the room's object `name` of `kind`.
  static std::string Section(const std::string& name, const std::string& kind) {
    return "[/World/Room/" + name + "/]\nTemplate=str:" + kind + "\n";
  }

  // Enters "Room" holding the objects whose sections (and their scripts')
  // are `sections`.
  void Enter(const std::string& sections) {
    WritePicture(Dir(), "back.bmp", 64, std::vector<uint8_t>(64 * 64, 3));
    std::string tree =
        "[/]\nTemplates=container\nWorld=container\n"
        "[/Templates/]\nPlaneView=container\nTimer=container\nSprite=container\n"
        "Text=container\nAnimation=container\nDecoration=container\nMap=container\n"
        "MapButton=container\n" +
        Template("PlaneView", {}) + Template("Sprite", {}) + Template("Text", {}) +
        Template("Decoration", {}) + Template("Map", {}) + Template("MapButton", {}) +
        Template("Timer", {"OnStart", "OnStop", "OnLoop", "OnInterrupt"}) +
        Template("Animation", {"OnPreStart", "OnStart", "OnPreStop", "OnStop", "Interrupt",
                               "OnInterrupt"}) +
        "[/World/]\nRoom=container\nHall=container\n"
        "[/World/Hall/]\nTemplate=str:PlaneView\nImageName=str:{dir}/back.bmp\n"
        "[/World/Room/]\nTemplate=str:PlaneView\nImageName=str:{dir}/back.bmp\n" +
        Children(sections) + sections;
    std::string dir = Dir().Path();
    dir.pop_back();
    for (size_t at; (at = tree.find("{dir}")) != std::string::npos;) tree.replace(at, 5, dir);
    m_base.Import(tree);
    ASSERT_EQ(m_machine.Init({}), err::kOk);
    m_machine.Calls().tool_mode = true;
    m_world = std::make_unique<CWorld>(m_base.vb(), &m_machine, &m_rig.Queue(), true);
    m_world->SetDesktop(&m_rig.Desktop());
    Tracer().Configure("handlers", Dir().Join("trace.txt").c_str());
    m_entered = Now();
    Go("Room");
  }
  // Changes to `view` at the current time.
  void Go(const char* view) {
    m_world->RequestView(view, {0, 0}, false);
    Settle();
  }
  // Delivers what is due now.
  void Settle() { RunTo(Now() - m_entered); }

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
  // "<ms since entry> <object> <handler> <argument>..." of each handler run.
  std::vector<std::string> Calls() const {
    std::istringstream in(Dir().ReadFile("trace.txt"));
    std::vector<std::string> calls;
    for (std::string line; std::getline(in, line);) {
      std::vector<std::string> fields;
      std::istringstream split(line);
      for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
      if (fields.size() < 7 || fields[2] != "call" || fields[6] != "run") continue;
      std::string call =
          std::to_string(std::stoul(fields[0]) - m_entered) + " " + fields[4] + " " + fields[5];
      for (size_t i = 7; i < fields.size(); ++i) call += " " + fields[i];
      calls.push_back(call);
    }
    return calls;
  }

  void AddLine(uint32_t category, std::string_view text) override {
    m_log.emplace_back(category, std::string(text));
  }
  // The lines logged in any of `categories`.
  std::vector<std::string> Log(uint32_t categories = kLogWarning) const {
    std::vector<std::string> lines;
    for (const auto& [category, text] : m_log)
      if (category & categories) lines.push_back(text);
    return lines;
  }
  bool Logged(const std::string& line) const {
    const std::vector<std::string> lines = Log(~0u);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  CWorld& World() { return *m_world; }
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
  const CTempDir& Dir() const { return m_rig.Dir(); }
  CDesktop& Desktop() { return m_rig.Desktop(); }

 private:
  // "<name>=container" of each object with a section in `sections`.
  static std::string Children(const std::string& sections) {
    const std::string head = "[/World/Room/";
    std::string lines;
    for (size_t at = 0; (at = sections.find(head, at)) != std::string::npos;) {
      at += head.size();
      const std::string name = sections.substr(at, sections.find("/]", at) - at);
      if (name.find_first_of("/]\n") == std::string::npos) lines += name + "=container\n";
    }
    return lines;
  }
  // The template of `kind`, each handler in `handlers` doing nothing.
  static std::string Template(const std::string& kind, const std::vector<std::string>& handlers) {
    const std::string path = "/Templates/" + kind + "/";
    std::string text = "[" + path + "]\nType=str:" + kind + "\n";
    for (const std::string& handler : handlers) text += handler + "=script\n";
    for (const std::string& handler : handlers) text += Script(path + handler, ";");
    return text;
  }

  CUiRig m_rig;
  CScratchValueBase m_base;
  CScriptMachine m_machine;
  std::unique_ptr<CWorld> m_world;
  ConfigEntries m_mounts;
  std::vector<std::pair<uint32_t, std::string>> m_log;
  uint32_t m_entered = 0;
};
