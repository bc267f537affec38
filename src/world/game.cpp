#include "world/game.h"

#include "script/script_machine.h"
#include "store/value_base.h"
#include "world/project.h"
#include "world/view.h"
#include "world/world.h"
#include "world/bindings/bindings.h"

namespace {

constexpr char kWorldPath[] = "/World/";
constexpr char kWorldName[] = "World";

std::unique_ptr<CWObject> LoadViewSet(CWorld* world, StoreHandle own, StoreHandle templ,
                                      ErrCode*) {
  return std::make_unique<CWViewSet>(world, own, templ);
}
// The world is a view set and nothing else.
const SLoaderRow kWorldRows[] = {{"ViewSet", LoadViewSet}};

}  // namespace

CWGame::CWGame(CScriptMachine* machine, std::unique_ptr<CWorld> world)
    : m_machine(machine), m_world(std::move(world)) {}

CWGame::~CWGame() {
  m_script.reset();
  m_world.reset();
  SetScriptWorld(*m_machine, nullptr);
  SetScriptGlobals(*m_machine, nullptr);
}

std::unique_ptr<CWGame> CWGame::Build(CProject& project, const SStage& stage, ErrCode* error) {
  CValueBase* base = project.vb();
  std::unique_ptr<CWGame> game(new CWGame(
      stage.machine, std::make_unique<CWorld>(base, stage.machine, stage.queue, stage.tool_mode)));
  const StoreHandle own = base->FindPath(kWorldPath, base->Root());
  if (!own) {
    *error = err::kNotFound;
    return nullptr;
  }
  std::unique_ptr<CWObject> object = game->m_world->CreateObject(kWorldName, own, kWorldRows, error);
  auto* script = KindOf<CWViewSet>(object.get());
  if (!script) {
    if (*error == err::kOk) *error = err::kNoLoaderFunction;
    return nullptr;
  }
  object.release();
  game->m_script.reset(script);
  const TRect rect = script->GetRect("ViewRect");
  game->m_world->SetViewRect(RectEmpty(rect) ? kDefaultViewRect : rect);
  game->m_world->SetDesktop(stage.desktop);
  game->m_world->SetWorldSet(script);
  game->m_world->SetRecorder(stage.recorder);
  SetScriptWorld(*stage.machine, game->m_world.get(), script);
  SetScriptGlobals(*stage.machine, &project.Globals());
  return game;
}

ErrCode CWGame::CallScript(const char* handler) { return m_script->Call(handler, "void"); }
