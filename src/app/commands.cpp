#include "app/commands.h"

#include "base/log.h"
#include "base/trace.h"
#include "ui/os_layer.h"
#include "world/project.h"
#include "world/world.h"

namespace {

// Keys that tell the game the player wants the running sequence over.
bool IsNoInteractionKey(uint16_t virtual_key) {
  return virtual_key == 13 || virtual_key == 0 || virtual_key == 32 || virtual_key == 27;
}

void TraceViews(const char* format, const char* text) {
  if (Traced(kTraceViews)) Tracer().LineF(kTraceViews, format, text);
}

}  // namespace

CCommandFilter::CCommandFilter(COSLayer* layer, bool game_mode)
    : m_layer(layer), m_game_mode(game_mode) {}

CCommandFilter::~CCommandFilter() { CloseProject(); }

ErrCode CCommandFilter::LoadProject(const std::string& path) {
  CloseProject();
  m_project = std::make_unique<CProject>(m_stage.machine);
  SProjectOptions options;
  options.game_mode = m_game_mode;
  ErrCode error = m_project->Open(path, options);
  if (error == err::kOk) error = BuildGame();
  TraceViews("autoload\t%s", error == err::kOk ? "usable" : ErrName(error));
  if (error != err::kOk) CloseProject();
  return error;
}

ErrCode CCommandFilter::CheckScriptVersion() {
  if (!m_project) return err::kBadParams;
  const ErrCode error = m_project->CheckScriptVersion();
  if (error == err::kOk) return err::kOk;
  if (m_game_mode) {
    CloseProject();
    return error;
  }
  // The tool keeps the project: the compiler's log names the scripts.
  LogMessage(kLogScripts, "Scripts not compiled again (%s)\n", ErrName(error));
  return err::kOk;
}

void CCommandFilter::CloseProject() {
  m_game.reset();
  if (!m_project) return;
  if (ErrCode error = m_project->Close())
    LogMessage(kLogEngine, "Cannot close the project (%s)\n", ErrName(error));
  m_project.reset();
}

ErrCode CCommandFilter::BuildGame() {
  m_game.reset();
  ErrCode error = err::kOk;
  m_game = CWGame::Build(*m_project, m_stage, &error);
  if (!m_game) LogMessage(kLogEngine, "No world (%s)\n", ErrName(error));
  return m_game ? err::kOk : error;
}

bool CCommandFilter::Pass(const SEventRecord& record) {
  if (record.code == kEvKeyDown && record.source_kind == kSourceTopLevel &&
      IsNoInteractionKey(static_cast<uint16_t>(record.p1 >> 16)) && m_game)
    m_game->CallScript("OnNIS");
  if (record.code == kEvChar && m_allowed_characters) {
    const uint32_t character = record.p1 & 0xFFFF;
    if (character > 0xFF || !m_allowed_characters->test(character)) return false;
  }
  if (record.code == kEvClose) {
    m_layer->Quit();
    return false;
  }
  if (m_game_mode) return true;
  if (record.code == kEvMenuCommand) Execute(record.p1);
  return true;
}

void CCommandFilter::SetCharacterFilter(const std::bitset<256>* allowed) {
  m_allowed_characters.reset();
  if (allowed) m_allowed_characters = *allowed;
}

void CCommandFilter::Execute(uint32_t command) {
  if (command == kCmdNewGame) NewGame();
}

void CCommandFilter::NewGame() {
  if (!m_project) return;
  TraceViews("command\t%s", "new game");
  m_game.reset();
  if (ErrCode error = m_project->ReloadGlobals())
    LogMessage(kLogEngine, "Globals not loaded (%s)\n", ErrName(error));
  if (BuildGame() == err::kOk) m_game->CallScript("OnNew");
}

uint32_t CAppDesktop::OnEvent(const SEventRecord& record) {
  if (m_game_mode && record.code == kEvMenuCommand) m_commands->Execute(record.p1);
  return CDesktop::OnEvent(record);
}
