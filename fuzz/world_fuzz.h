// What the world fuzz targets share: a world made from INI text on a
// scratch value base, on a rig's queue and desktop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "fs/bfhp.h"
#include "fs/memory_file.h"
#include "script/script_machine.h"
#include "store/hash_ini.h"
#include "store/vb_ini.h"
#include "store/value_base.h"
#include "ui/ui_rig.h"
#include "world/world.h"

// The world of `text`, scripts compiled on demand and cut off after 10,000
// steps; World() is null when the text is no value-base tree.
class CFuzzWorld {
 public:
  CFuzzWorld(CUiRig& rig, const std::string& text) {
    CHashIni ini(100, 1000);
    if (ini.LoadText(text) != err::kOk) return;
    if (m_store.Create(&m_file, 256, CBFHP::kNoLimit) != err::kOk) return;
    m_base = std::make_unique<CValueBase>(&m_store, &m_cache);
    if (m_base->Init() != err::kOk) return;
    {
      COpenContainer root(m_base.get(), m_base->Root());
      ImportIni(m_base.get(), root.get(), &ini);
    }
    if (m_machine.Init({}) != err::kOk) return;
    m_machine.Calls().tool_mode = true;
    m_machine.Calls().step_limit = 10000;
    m_world = std::make_unique<CWorld>(m_base.get(), &m_machine, &rig.Queue(), true);
    m_world->SetDesktop(&rig.Desktop());
  }
  ~CFuzzWorld() {
    m_world.reset();
    m_machine.Shutdown();
  }
  CFuzzWorld(const CFuzzWorld&) = delete;
  CFuzzWorld& operator=(const CFuzzWorld&) = delete;

  CWorld* World() { return m_world.get(); }
  CValueBase& Base() { return *m_base; }

 private:
  CMemoryFile m_file;
  CBFHP m_store;
  CObjectCache m_cache{1000, 1 << 24};
  std::unique_ptr<CValueBase> m_base;
  CScriptMachine m_machine;
  std::unique_ptr<CWorld> m_world;
};
