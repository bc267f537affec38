// The running game: the world of the open project, whose script object is
// the view set "World" made from "/World/".
#pragma once

#include <memory>

#include "base/errors.h"
#include "base/geometry.h"

class CDesktop;
class CEventQueue;
class CProject;
class CRecorder;
class CScriptMachine;
class CWViewSet;
class CWorld;

class CWGame {
 public:
  // Where the game plays and what it plays with.
  struct SStage {
    CScriptMachine* machine;
    CEventQueue* queue;
    CDesktop* desktop;
    bool tool_mode;
    CRecorder* recorder = nullptr;  // what Record starts
  };
  static constexpr TRect kDefaultViewRect{0, 0, 639, 479};

  // The world of `project` with its script object and "ViewRect"; null when
  // "/World/" is missing or makes no view set (`error` says why). The
  // machine's world functions act on this world while it lives.
  static std::unique_ptr<CWGame> Build(CProject& project, const SStage& stage, ErrCode* error);
  ~CWGame();
  CWGame(const CWGame&) = delete;
  CWGame& operator=(const CWGame&) = delete;

  CWorld& World() const { return *m_world; }
  CWViewSet& Script() const { return *m_script; }
  // Calls a "void" handler of the script object ("OnNew", "OnNIS").
  ErrCode CallScript(const char* handler);

 private:
  CWGame(CScriptMachine* machine, std::unique_ptr<CWorld> world);

  CScriptMachine* m_machine;
  std::unique_ptr<CWorld> m_world;
  // Registered in the world, so it goes first.
  std::unique_ptr<CWViewSet> m_script;
};
