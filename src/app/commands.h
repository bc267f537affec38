// The commands of the authoring menu and the filter that sees every event
// before the window tree: in both modes it forwards the "no interaction"
// keys to the game and turns a close request into the quit; in tool mode it
// also runs the menu commands. In game mode the desktop runs them.
//
// The filter owns what the commands act on: the open project and the
// running game.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ui/desktop.h"
#include "ui/event_queue.h"
#include "world/game.h"

class COSLayer;
class CProject;

enum : uint32_t { kCmdNewGame = 40013 };

class CCommandFilter : public CEventFilter {
 public:
  CCommandFilter(COSLayer* layer, bool game_mode);
  ~CCommandFilter() override;
  CCommandFilter(const CCommandFilter&) = delete;
  CCommandFilter& operator=(const CCommandFilter&) = delete;

  // Where games play; set once the desktop and the script machine exist.
  void SetStage(const CWGame::SStage& stage) { m_stage = stage; }

  // Opens the project (read-only in game mode) and builds its world once to
  // see that it plays; an unusable one is closed again.
  ErrCode LoadProject(const std::string& path);
  // A stale script version refuses the project in game mode (it is closed);
  // the tool compiles the scripts again and keeps the project whatever
  // they come to.
  ErrCode CheckScriptVersion();
  // The game, then the project.
  void CloseProject();

  // While set, character events of codes the table does not allow (and of
  // codes above 255) are consumed; null switches the filter off.
  void SetCharacterFilter(const std::bitset<256>* allowed);

  bool Pass(const SEventRecord& record) override;
  void Execute(uint32_t command);

  CWGame* Game() const { return m_game.get(); }

 private:
  // Every global keeps its slot, the world starts afresh, and its script
  // object hears "OnNew".
  void NewGame();
  ErrCode BuildGame();

  COSLayer* m_layer;
  bool m_game_mode;
  CWGame::SStage m_stage{};
  std::unique_ptr<CProject> m_project;
  std::unique_ptr<CWGame> m_game;
  std::optional<std::bitset<256>> m_allowed_characters;
};

// The desktop of the application: in game mode it runs the menu commands
// posted to it.
class CAppDesktop : public CDesktop {
 public:
  CAppDesktop(COSWindow* top_level, CEventQueue* queue, CCommandFilter* commands, bool game_mode)
      : CDesktop(top_level, queue), m_commands(commands), m_game_mode(game_mode) {}
  uint32_t OnEvent(const SEventRecord& record) override;

 private:
  CCommandFilter* m_commands;
  bool m_game_mode;
};
