#include "world/world.h"

#include <strings.h>

#include <algorithm>

#include "base/trace.h"
#include "fs/bfhp.h"
#include "script/context.h"
#include "script/library.h"
#include "script/script_machine.h"
#include "script/type_tables.h"
#include "script/value_text.h"
#include "ui/event_queue.h"
#include "world/dissolve.h"
#include "world/map.h"
#include "world/project.h"
#include "world/view.h"

namespace {

constexpr char kTemplatesPath[] = "/Templates/";

using ECall = SRunOutcome::ECall;

std::string OutcomeText(ECall call, ErrCode error) {
  switch (call) {
    case ECall::kRun:
      return "run";
    case ECall::kMissing:
      return "missing";
    case ECall::kUncompiled:
      return "uncompiled";
    case ECall::kSuspended:
      return "suspended";
    case ECall::kFailed:
      break;
  }
  return std::string("error ") + ErrName(error);
}

// One argument as the trace shows it: a value argument as passed, an
// address argument by the variable it names.
std::string ArgText(uint16_t type, const SCallArg& arg) {
  const auto id = static_cast<uint16_t>(type & 0xFF);
  SValueView view{id, arg.value, std::nullopt};
  const bool text = id == lib::kStr || id == lib::kPstr;
  if (IsAddress(type)) {
    const char* buffer = static_cast<const char*>(arg.pointer);
    view.bytes = static_cast<const uint8_t*>(arg.pointer);
    if (text && buffer && !(arg.null_out && *arg.null_out))
      view.text = std::string_view(buffer, strnlen(buffer, arg.size));
  } else if (text && (arg.text || id == lib::kPstr)) {
    view.text = arg.text ? arg.text : "";
  }
  return ValueText(view);
}

// The trace fields of a call's arguments (`returned`: of the address
// positions after the run, the result first), each after a tab.
std::string ArgFields(CScriptMachine& machine, const char* signature,
                      std::span<const SCallArg> args, bool returned) {
  SParamInfo params;
  if (!ParseSignature(*machine.Compiler(), signature, true, &params)) return {};
  std::vector<uint16_t> types;
  if (params.result != kVoidType) types.push_back(params.result);
  for (uint16_t i = 0; i < params.count; ++i) types.push_back(params.params[i].type);
  std::string fields;
  for (size_t i = 0; i < types.size() && i < args.size(); ++i)
    if (!returned || IsAddress(types[i])) fields += "\t" + ArgText(types[i], args[i]);
  return fields;
}

// Whether a block's header carries the types the signature gives.
bool HeaderMatches(const SBlockHeader& header, const SParamInfo& params) {
  if (header.result != params.result || header.param_count != params.count) return false;
  for (uint16_t i = 0; i < params.count; ++i)
    if (header.params[i] != params.params[i].type) return false;
  return true;
}

}  // namespace

CWorld::CWorld(CValueBase* base, CScriptMachine* machine, CEventQueue* queue, bool tool_mode)
    : m_base(base),
      m_store(base->Store()),
      m_machine(machine),
      m_queue(queue),
      m_scheduler(*queue),
      m_tool_mode(tool_mode) {
  m_templates = base->FindPath(kTemplatesPath, base->Root());
  m_queue->SetObjectHook([this](const SEventRecord& record) { DeliverToObject(record); });
}

CWorld::~CWorld() {
  m_queue->SetObjectHook(nullptr);
  m_doomed.clear();
  delete OpenedMap();
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
  Unfile(object->Name(), object->Serial());
}

void CWorld::Unfile(const std::string& name, uint32_t serial) {
  const auto named = m_names.find(name);
  if (named == m_names.end()) return;
  std::erase(named->second, serial);
  if (named->second.empty()) m_names.erase(named);
}

void CWorld::Renamed(CWObject* object, const std::string& old_name) {
  Unfile(old_name, object->Serial());
  m_names[object->Name()].push_back(object->Serial());
}

// The object may be running a handler, and the event that called it may
// still hold it: it goes once that event is over, when the queue next
// delivers.
void CWorld::Dispose(std::unique_ptr<CWObject> object) {
  if (!object || m_depth == 0) return;
  m_doomed.push_back(std::move(object));
  if (!m_scheduler.IsScheduled(0, kTickCollect))
    m_scheduler.Schedule(0, kTickCollect, Now(), [this] { m_doomed.clear(); });
}

void CWorld::DeliverToObject(const SEventRecord& record) {
  if (CWObject* object = Find(record.target)) object->OnEvent(record);
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
  const uint32_t depth = m_depth;
  const auto trace_call = [&](ECall call, ErrCode error) {
    Tracer().Line(kTraceHandlers, "call\t" + std::to_string(depth) + "\t" + object.Name() +
                                      "\t" + handler + "\t" + OutcomeText(call, error) +
                                      ArgFields(*m_machine, signature, args, false));
  };
  if (m_depth >= kMaxCallDepth) {
    if (traced) trace_call(ECall::kFailed, err::kStackLimits);
    return err::kStackLimits;
  }
  Program program;
  ECall call = ECall::kRun;
  ErrCode error = FindProgram(object, handler, signature, &program, &call);
  if (call == ECall::kRun && m_machine->Calls().suspended) call = ECall::kSuspended;
  if (traced) trace_call(call, error);
  if (call != ECall::kRun) return error;
  // The handler may destroy its object.
  const std::string name = traced ? object.Name() : std::string();
  SRunOutcome outcome;
  ++m_machine->Calls().handler_calls;
  ++m_depth;
  {
    const CHandlerScope scope(*m_machine, object, handler);
    error = CallDecoded(*m_machine, *program, args, &outcome);
  }
  --m_depth;
  if (!traced) return error;
  const std::string values =
      outcome.out_of_steps || outcome.error != err::kOk
          ? std::string("\tstopped ") + (outcome.out_of_steps ? "steps" : ErrName(outcome.error))
          : ArgFields(*m_machine, signature, args, true);
  Tracer().Line(kTraceHandlers, "return\t" + std::to_string(depth) + "\t" + name + "\t" +
                                    handler + values);
  return error;
}

void CWorld::DropStalePrograms() {
  const uint32_t frees = m_store->Frees();
  const uint32_t globals = m_machine->GlobalsChanges();
  if (frees == m_frees_seen && globals == m_globals_seen) return;
  m_frees_seen = frees;
  m_globals_seen = globals;
  m_programs.clear();
  ++m_era;
}

CWorld::Program CWorld::Decoded(StoreHandle code) {
  if (const auto known = m_programs.find(code); known != m_programs.end()) return known->second;
  ErrCode error = err::kOk;
  const std::vector<uint8_t>* data = m_base->GetData(code, &error);
  if (!data) return nullptr;
  ++m_program_loads;
  Program program = CDecodedBlock::Make(*m_machine, *data, &error);
  m_base->ReleaseData(code);
  if (program) m_programs.emplace(code, program);
  return program;
}

ErrCode CWorld::FindProgram(CWObject& object, const char* handler, const char* signature,
                            Program* program, ECall* call) {
  DropStalePrograms();
  CWObject::SHandler* entry = &object.Handler(handler);
  if (!entry->container) {
    *call = ECall::kMissing;
    return err::kNotFound;
  }
  if (!entry->program || entry->era != m_era || entry->matched != signature) {
    if (ErrCode error = PrepareProgram(object, *entry, handler, signature, call);
        *call != ECall::kRun)
      return error;
    entry = &object.Handler(handler);
  }
  *program = entry->program;
  return err::kOk;
}

ErrCode CWorld::PrepareProgram(CWObject& object, CWObject::SHandler& found, const char* handler,
                               const char* signature, ECall* call) {
  const auto came_to = [call](ECall outcome, ErrCode error) {
    *call = outcome;
    return error;
  };
  CWObject::SHandler* entry = &found;
  if (entry->era != m_era) {
    entry->program.reset();
    entry->era = m_era;
  }
  if (!entry->program && entry->code) {
    entry->program = Decoded(entry->code);
    entry->matched.clear();
    // A block that cannot be had is let go of.
    if (!entry->program) {
      object.ClearCode(*entry);
      entry = &object.Handler(handler);
    }
  }
  if (entry->program) {
    SParamInfo params;
    if (!ParseSignature(*m_machine->Compiler(), signature, true, &params))
      return came_to(ECall::kFailed, err::kBadParamString);
    if (HeaderMatches(entry->program->Header(), params)) {
      entry->matched = signature;
      return came_to(ECall::kRun, err::kOk);
    }
    if (!m_tool_mode) return came_to(ECall::kFailed, Refuse(object, *entry, handler, signature));
  }
  if (!m_tool_mode) return came_to(ECall::kUncompiled, err::kNotFound);
  if (ErrCode error = Compile(*entry, handler, signature)) return came_to(ECall::kFailed, error);
  // The new block may have replaced one (freed with its value).
  DropStalePrograms();
  entry = &object.Handler(handler);
  entry->program = entry->code ? Decoded(entry->code) : nullptr;
  entry->era = m_era;
  if (!entry->program) return came_to(ECall::kFailed, err::kCodeLimits);
  entry->matched = signature;
  return came_to(ECall::kRun, err::kOk);
}

// Code compiled for another signature cannot run in the game; the author
// hears of it once per signature.
ErrCode CWorld::Refuse(const CWObject& object, CWObject::SHandler& entry, const char* handler,
                       const char* signature) {
  if (entry.refused != signature) {
    entry.refused = signature;
    ScriptDiagnostic("%s::%s is compiled for another signature than \"%s\"",
                     object.Name().c_str(), handler, signature);
  }
  return err::kBadParamString;
}

ErrCode CWorld::Compile(CWObject::SHandler& entry, const char* handler, const char* signature) {
  if (entry.failed) return entry.failed;
  std::string errors;
  const std::string source_name = ContainerPath(m_base, entry.container->Handle()) + handler;
  const ErrCode error = CompileScriptValue(m_base, m_machine, entry.container, handler, signature,
                                           source_name, &errors);
  LogCompileErrors(errors);
  // The entry is read again after a change of its container; a failure
  // changes nothing there, so the mark stays until the source changes.
  entry.failed = error;
  return error;
}
