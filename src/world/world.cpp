#include "world/world.h"

#include <strings.h>

#include <algorithm>

#include "base/trace.h"
#include "script/script_machine.h"
#include "ui/event_queue.h"
#include "world/view.h"
#include "world/world_object.h"

namespace {

constexpr char kTemplatesPath[] = "/Templates/";

const char* OutcomeText(SRunOutcome::ECall call) {
  switch (call) {
    case SRunOutcome::ECall::kRun:
      return "run";
    case SRunOutcome::ECall::kMissing:
      return "missing";
    case SRunOutcome::ECall::kUncompiled:
      return "uncompiled";
    case SRunOutcome::ECall::kSuspended:
      return "suspended";
    case SRunOutcome::ECall::kFailed:
      break;
  }
  return "error";
}

}  // namespace

CWorld::CWorld(CValueBase* base, CScriptMachine* machine, CEventQueue* queue, bool tool_mode)
    : m_base(base), m_machine(machine), m_queue(queue), m_scheduler(*queue), m_tool_mode(tool_mode) {
  m_templates = base->FindPath(kTemplatesPath, base->Root());
}

CWorld::~CWorld() {
  // The view goes first, then its sets from the innermost out, while the
  // record of entered sets still stands; a change still queued finds no one.
  m_view.reset();
  while (!m_chain.empty()) m_chain.erase(m_chain.begin());
  if (m_change_target) m_queue->Unregister(m_change_target);
}

uint32_t CWorld::Now() const { return m_queue->Now(); }

uint32_t CWorld::Register(CWObject* object) {
  const uint32_t serial = m_next_serial++;
  m_objects.emplace(serial, object);
  m_names[object->Name()].push_back(serial);
  return serial;
}

void CWorld::Unregister(CWObject* object) {
  m_objects.erase(object->Serial());
  const auto named = m_names.find(object->Name());
  if (named == m_names.end()) return;
  std::erase(named->second, object->Serial());
  if (named->second.empty()) m_names.erase(named);
}

void CWorld::Renamed(CWObject* object) {
  // The object may be filed under its old name: find it wherever it is.
  for (auto it = m_names.begin(); it != m_names.end(); ++it) {
    if (std::erase(it->second, object->Serial()) == 0) continue;
    if (it->second.empty()) m_names.erase(it);
    break;
  }
  m_names[object->Name()].push_back(object->Serial());
}

CWObject* CWorld::Find(uint32_t serial) const {
  const auto found = m_objects.find(serial);
  return found == m_objects.end() ? nullptr : found->second;
}

CWObject* CWorld::FindByName(std::string_view name) const {
  const auto named = m_names.find(std::string(name));
  return named == m_names.end() || named->second.empty() ? nullptr : Find(named->second.back());
}

StoreHandle CWorld::ResolveTemplate(CVBContainer& container) const {
  const char* name = container.GetString("Template");
  if (!name || !*name) return 0;
  std::vector<StoreHandle> places = m_template_search;
  if (m_templates) places.push_back(m_templates);
  for (const StoreHandle place : places) {
    COpenContainer open(m_base, place);
    if (!open) continue;
    if (const StoreHandle found = ContainerHandleOf(open->GetValue(name, kValueContainer)))
      return found;
  }
  return 0;
}

std::unique_ptr<CWObject> CWorld::CreateObject(std::string_view name, StoreHandle own,
                                               LoaderTable loaders, ErrCode* error) {
  COpenContainer container(m_base, own, error);
  if (!container) return nullptr;
  const StoreHandle template_handle = ResolveTemplate(*container.get());
  if (!template_handle) {
    *error = err::kNoSuchTemplate;
    return nullptr;
  }
  COpenContainer templ(m_base, template_handle, error);
  const char* type = templ ? templ->GetString("Type") : nullptr;
  const auto row = std::find_if(loaders.begin(), loaders.end(), [&](const SLoaderRow& entry) {
    return type && strcasecmp(entry.type, type) == 0;
  });
  if (row == loaders.end() || !row->load) {
    *error = err::kNoLoaderFunction;
    return nullptr;
  }
  *error = err::kOk;
  std::unique_ptr<CWObject> object = row->load(this, own, template_handle, error);
  if (object) object->SetName(name);
  return object;
}

ErrCode CWorld::CallHandler(CWObject& object, const char* handler, const char* signature,
                            std::span<const SCallArg> args) {
  const bool traced = Traced(kTraceHandlers);
  if (m_depth >= kMaxCallDepth) {
    if (traced)
      Tracer().LineF(kTraceHandlers, "call\t%u\t%s\t%s\terror %s", m_depth, object.Name().c_str(),
                     handler, ErrName(err::kStackLimits));
    return err::kStackLimits;
  }
  const std::string name = object.Name();
  const uint32_t depth = m_depth++;
  SRunOutcome outcome;
  const ErrCode error = ::CallHandler(*m_machine, object, handler, signature, args, &outcome);
  --m_depth;
  if (!traced) return error;
  if (outcome.call != SRunOutcome::ECall::kFailed)
    Tracer().LineF(kTraceHandlers, "call\t%u\t%s\t%s\t%s", depth, name.c_str(), handler,
                   OutcomeText(outcome.call));
  else
    Tracer().LineF(kTraceHandlers, "call\t%u\t%s\t%s\terror %s", depth, name.c_str(), handler,
                   ErrName(error));
  if (outcome.call != SRunOutcome::ECall::kRun) return error;
  if (outcome.error != err::kOk || outcome.out_of_steps)
    Tracer().LineF(kTraceHandlers, "return\t%u\t%s\t%s\tstopped %s", depth, name.c_str(), handler,
                   outcome.out_of_steps ? "steps" : ErrName(outcome.error));
  else
    Tracer().LineF(kTraceHandlers, "return\t%u\t%s\t%s", depth, name.c_str(), handler);
  return error;
}
