#include "world/globals.h"

#include <cstring>
#include <new>

#include "base/log.h"
#include "script/script_machine.h"
#include "script/script_string.h"
#include "store/value_base.h"

namespace {

struct SKindRow {
  EGlobalKind kind;
  const char* name;
  uint16_t value_type;  // the value-base type it comes from
  uint32_t size;
  // The script type it is registered as.
  const char* script_type;
};

constexpr SKindRow kKinds[] = {
    {EGlobalKind::kInt, "int", kValueLong, 4, "int"},
    {EGlobalKind::kStr, "str", kValueString, 4, "str"},
    {EGlobalKind::kPoint, "point", kValuePoint, 4, "TPoint"},
    {EGlobalKind::kRect, "rect", kValueRect, 8, "TRect"},
    {EGlobalKind::kItem, "item", kValueContainer, 8, "TInvItem"},
};

const SKindRow& Row(EGlobalKind kind) { return kKinds[static_cast<size_t>(kind)]; }

const SKindRow* GlobalRow(uint16_t value_type) {
  for (const SKindRow& row : kKinds)
    if (row.kind != EGlobalKind::kItem && row.value_type == value_type) return &row;
  return nullptr;
}

// The log lines of the two sources.
struct SMessages {
  const char* invalid;
  const char* duplicate;
};
constexpr SMessages kGlobalMessages = {"%s - invalid name for global variable.\n",
                                       "%s - global variable name duplicate.\n"};
constexpr SMessages kItemMessages = {"%s - invalid inventory item name.\n",
                                     "%s - inventory item name duplicate.\n"};

bool TypeCode(CScriptMachine* machine, EGlobalKind kind, uint16_t* code) {
  return machine->Compiler()->FindType(Row(kind).script_type, code);
}

}  // namespace

const char* GlobalKindName(EGlobalKind kind) { return Row(kind).name; }

struct CGlobalTable::SSource {
  Atom atom;
  EGlobalKind kind;
  std::vector<uint8_t> value;
  const SMessages* messages;
};

void CGlobalTable::Collect(CValueBase* vb, std::vector<SSource>* sources) {
  COpenContainer globals(vb, vb->FindPath("/Globals", 0));
  if (!globals) LogMessage(kLogWarning, "Globals section in VB is not found.\n");
  COpenContainer inventory(vb, vb->FindPath("/Inventory", 0));
  uint32_t cursor = 0;
  Atom atom = 0;
  const uint8_t* value = nullptr;
  while (globals && globals->NextValue(&cursor, &atom, &value) == err::kOk)
    if (const SKindRow* row = GlobalRow(ValueType(value)))
      sources->push_back({atom, row->kind, {value, value + ValueSize(value)}, &kGlobalMessages});
  cursor = 0;
  while (inventory && inventory->NextValue(&cursor, &atom, &value) == err::kOk)
    if (ContainerHandleOf(value))
      sources->push_back(
          {atom, EGlobalKind::kItem, {value, value + ValueSize(value)}, &kItemMessages});
}

ErrCode CGlobalTable::Load(CValueBase* vb, CScriptMachine* machine) {
  Release();
  m_machine = machine;
  std::vector<SSource> sources;
  Collect(vb, &sources);
  if (sources.empty()) {
    LogMessage(kLogEngine, "No variables found in Globals section!\n");
    return err::kOk;
  }
  uint32_t bytes = 0;
  for (const SSource& source : sources) bytes += Row(source.kind).size;
  m_storage.reset(new (std::nothrow) uint8_t[bytes]());
  if (!m_storage) return err::kAllocFail;
  m_variables.reserve(sources.size());
  uint8_t* storage = m_storage.get();
  for (const SSource& source : sources) {
    const std::string name = vb->NameOfAtom(source.atom);
    if (vb->AtomOf(name) != source.atom || name.size() > kMaxName ||
        !IsIdentifier(name.c_str())) {
      LogMessage(kLogWarning, source.messages->invalid, name.c_str());
      continue;
    }
    bool taken = false;
    for (const SGlobalVariable& variable : m_variables) taken |= variable.name == name;
    if (taken) {
      LogMessage(kLogWarning, source.messages->duplicate, name.c_str());
      continue;
    }
    if (machine->NextSlot() >= CScriptMachine::kNativeCount) {
      LogMessage(kLogWarning, "%s - too many global variables.\n", name.c_str());
      continue;
    }
    SGlobalVariable variable{name, source.kind, 0, machine->NextSlot(), storage};
    if (!Register(source, &variable)) continue;
    m_variables.push_back(variable);
    storage += Row(source.kind).size;
  }
  return err::kOk;
}

bool CGlobalTable::Register(const SSource& source, SGlobalVariable* variable) {
  const uint8_t* payload = source.value.data() + kValueHeaderSize;
  switch (source.kind) {
    case EGlobalKind::kStr: {
      const StrHandle text =
          StrNew(reinterpret_cast<const char*>(payload));  // NUL-terminated when stored
      std::memcpy(variable->storage, &text, 4);
      break;
    }
    case EGlobalKind::kItem: {
      const SItemRecord item{0, ValueWord(source.value.data(), 0)};
      std::memcpy(variable->storage, &item, sizeof item);
      break;
    }
    default:
      std::memcpy(variable->storage, payload, Row(source.kind).size);
  }
  if (TypeCode(m_machine, source.kind, &variable->type) &&
      m_machine->RegisterWorldGlobal(variable->name.c_str(), variable->storage,
                                     variable->type) == err::kOk)
    return true;
  // A name the script system already knows (an engine global).
  LogMessage(kLogWarning, source.messages->duplicate, variable->name.c_str());
  if (source.kind == EGlobalKind::kStr) {
    StrHandle text = 0;
    std::memcpy(&text, variable->storage, 4);
    StrRelease(text);
  }
  return false;
}

void CGlobalTable::Release() {
  if (m_machine) m_machine->ClearWorldGlobals();
  for (const SGlobalVariable& variable : m_variables) {
    if (variable.kind != EGlobalKind::kStr) continue;
    StrHandle text = 0;
    std::memcpy(&text, variable.storage, 4);
    StrRelease(text);
  }
  m_variables.clear();
  m_storage.reset();
  m_machine = nullptr;
}

uint32_t CGlobalTable::LayoutHash() const {
  uint32_t hash = 2166136261u;
  auto add = [&hash](std::string_view text) {
    for (char c : text) {
      hash ^= static_cast<uint8_t>(c);
      hash *= 16777619u;
    }
  };
  for (const SGlobalVariable& variable : m_variables) {
    const STypeRecord* type = m_machine->Compiler()->Type(TypeId(variable.type));
    add(variable.name);
    add(":");
    add(type ? type->name : "");
    add(";");
  }
  return hash;
}
