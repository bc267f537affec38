#include "script/script_machine.h"

#include "base/log.h"
#include "fs/file_service.h"
#include "script/library.h"

uint32_t BuildStamp(const char* date_time) {
  uint32_t sum = 0;
  for (const char* c = date_time; *c; ++c) sum += static_cast<uint8_t>(*c);
  return sum % 0x10000000;
}

CScriptMachine::CScriptMachine() = default;

CScriptMachine::~CScriptMachine() { Shutdown(); }

ErrCode CScriptMachine::Init(std::span<const SRegistrationModule> modules) {
  m_compiler = std::make_unique<CScriptCompiler>(kEngineTypeCapacity);
  m_next_slot = 0;
  m_stamp = 0;
  m_error_log.clear();
  m_stamp += RegisterLibrary(this);
  if (ErrCode error = m_compiler->Error()) return error;
  for (const SRegistrationModule& module : modules) {
    if (module.base < m_next_slot) return err::kBadParams;
    m_next_slot = module.base;
    m_stamp += module.run(this);
  }
  if (ErrCode error = m_compiler->Finish()) return error;
  TraceOut("Compiler OK. Time stamp = %u.\n", m_stamp);
  return err::kOk;
}

void CScriptMachine::Shutdown() {
  if (!m_error_log.empty()) {
    ErrCode error = err::kOk;
    std::unique_ptr<CFile> file =
        FsOpen(kErrorLogName, kOpenWrite | kOpenCreate | kOpenTruncate, &error);
    uint32_t written = 0;
    if (file)
      file->Write(m_error_log.data(), static_cast<uint32_t>(m_error_log.size()), &written);
    m_error_log.clear();
  }
  UnmapGlobals(&m_world_global_slots);
  UnmapGlobals(&m_engine_global_slots);
  m_compiler.reset();
}

void CScriptMachine::UnmapGlobals(std::vector<uint16_t>* slots) {
  for (uint16_t slot : *slots) {
    m_memory.Unmap(m_global_script_addresses[slot]);
    m_global_script_addresses[slot] = 0;
  }
  slots->clear();
}

void CScriptMachine::ClearWorldGlobals() {
  // World globals are the last registrations: their slots are taken again
  // from the first of them, so a table registered anew gets the same slots.
  if (!m_world_global_slots.empty()) m_next_slot = m_world_global_slots.front();
  for (uint16_t slot : m_world_global_slots) m_global_addresses[slot] = nullptr;
  UnmapGlobals(&m_world_global_slots);
  m_compiler->ClearWorldGlobals();
  ++m_globals_changes;
}

bool CScriptMachine::TakeSlot(NativeEntry entry, ENativeShape shape, uint16_t* slot,
                              const char* name) {
  if (m_next_slot == kNativeCount) return false;
  *slot = m_next_slot++;
  m_natives[*slot] = entry;
  m_shapes[*slot] = entry ? shape : ENativeShape::kNone;
  m_native_names[*slot] = name;
  return true;
}

ErrCode CScriptMachine::RegisterType(const char* name, uint16_t id, uint16_t size) {
  return m_compiler->AddType(name, id, size);
}

ErrCode CScriptMachine::SetTypeEntry(uint16_t id, CScriptCompiler::ETypeEntry which,
                                     NativeEntry entry) {
  if (!m_compiler->Type(id)) return err::kBadParams;
  static constexpr ENativeShape kShapes[] = {ENativeShape::kStack, ENativeShape::kAddress,
                                             ENativeShape::kStack, ENativeShape::kTruth};
  uint16_t slot = 0;
  if (!TakeSlot(entry, kShapes[static_cast<int>(which)], &slot)) return err::kUnknownError;
  return m_compiler->SetTypeEntry(id, which, slot);
}

ErrCode CScriptMachine::SetVoidConstructor(uint16_t id, NativeEntry entry) {
  return SetTypeEntry(id, CScriptCompiler::ETypeEntry::kVoidConstructor, entry);
}
ErrCode CScriptMachine::SetAddrConstructor(uint16_t id, NativeEntry entry) {
  return SetTypeEntry(id, CScriptCompiler::ETypeEntry::kAddrConstructor, entry);
}
ErrCode CScriptMachine::SetDestructor(uint16_t id, NativeEntry entry) {
  return SetTypeEntry(id, CScriptCompiler::ETypeEntry::kDestructor, entry);
}
ErrCode CScriptMachine::SetIsTrue(uint16_t id, NativeEntry entry) {
  return SetTypeEntry(id, CScriptCompiler::ETypeEntry::kIsTrue, entry);
}

ErrCode CScriptMachine::RegisterCast(uint16_t source, uint16_t target, NativeEntry entry,
                                     uint16_t weight) {
  const STypeRecord* type = m_compiler->Type(source);
  if (!type) return err::kBadParams;
  if (type->cast_count == kMaxCasts || m_next_slot == kNativeCount) return err::kUnknownError;
  uint16_t slot = 0;
  TakeSlot(entry, ENativeShape::kStack, &slot);
  return m_compiler->AddCast(source, target, slot, weight);
}

ErrCode CScriptMachine::RegisterOperator(const char* symbol, uint8_t priority, EOpKind kind,
                                         EAssoc assoc) {
  return m_compiler->AddOperator(symbol, nullptr, priority, kind, assoc);
}

ErrCode CScriptMachine::RegisterIndexOperator(const char* opening, const char* closing) {
  return m_compiler->AddOperator(opening, closing, 0, EOpKind::kIndex, EAssoc::kLeft);
}

ErrCode CScriptMachine::SetLiteralConstructors(NativeEntry integer, NativeEntry floating,
                                               NativeEntry string, NativeEntry boolean) {
  if (m_next_slot + size_t{kLiteralKinds} > kNativeCount) return err::kUnknownError;
  const NativeEntry entries[kLiteralKinds] = {integer, floating, string, boolean};
  static constexpr uint16_t kTypes[kLiteralKinds] = {1, 3, 11, 7};
  static constexpr ENativeShape kShapes[kLiteralKinds] = {
      ENativeShape::kIntLiteral, ENativeShape::kFloatLiteral, ENativeShape::kTextLiteral,
      ENativeShape::kByteLiteral};
  for (int i = 0; i < kLiteralKinds; ++i) {
    uint16_t slot = 0;
    TakeSlot(entries[i], kShapes[i], &slot);
    m_compiler->SetLiteralConstructor(static_cast<ELiteral>(i), slot, kTypes[i]);
  }
  return err::kOk;
}

ErrCode CScriptMachine::SetAddressHandlers(NativeEntry constructor, NativeEntry destructor) {
  if (m_next_slot + size_t{2} > kNativeCount) return err::kUnknownError;
  uint16_t constructor_slot = 0;
  uint16_t destructor_slot = 0;
  TakeSlot(constructor, ENativeShape::kAddress, &constructor_slot);
  TakeSlot(destructor, ENativeShape::kStack, &destructor_slot);
  m_compiler->SetAddressHandlers(constructor_slot, destructor_slot);
  return err::kOk;
}

ErrCode CScriptMachine::RegisterFunction(NativeEntry entry, const char* name, uint16_t result,
                                         uint16_t arg_count, const uint16_t* args) {
  if (m_next_slot == kNativeCount) return err::kUnknownError;
  if (ErrCode error = m_compiler->AddFunction(name, result, arg_count, args, m_next_slot))
    return error;
  uint16_t slot = 0;
  TakeSlot(entry, ENativeShape::kStack, &slot, name);
  for (uint16_t i = 0; i < arg_count; ++i) m_argument_bytes[slot] += m_compiler->StackSize(args[i]);
  return err::kOk;
}

ErrCode CScriptMachine::RegisterFunctionSig(NativeEntry entry, const char* name,
                                            const char* signature) {
  SParamInfo info;
  if (!ParseSignature(*m_compiler, signature, false, &info)) return err::kBadParams;
  uint16_t args[kMaxArgs] = {};
  for (uint16_t i = 0; i < info.count; ++i) args[i] = info.params[i].type;
  return RegisterFunction(entry, name, info.result, info.count, args);
}

void CScriptMachine::SetBorrowingEntry(NativeEntry entry) {
  if (m_next_slot > 0) m_borrowing[m_next_slot - 1] = entry;
}

ErrCode CScriptMachine::AddGlobal(const char* name, void* address, uint16_t type, bool world) {
  if (m_next_slot == kNativeCount) return err::kUnknownError;
  const uint16_t size = m_compiler->StackSize(type);
  if (!address || size == 0) return err::kBadParams;
  if (ErrCode error = m_compiler->AddGlobal(name, m_next_slot, type, world)) return error;
  const uint16_t slot = m_next_slot++;
  m_global_addresses[slot] = address;
  // Scripts reach the variable through the address space, never directly.
  m_global_script_addresses[slot] = m_memory.Map(address, size);
  (world ? m_world_global_slots : m_engine_global_slots).push_back(slot);
  ++m_globals_changes;
  return err::kOk;
}

ErrCode CScriptMachine::RegisterGlobal(const char* name, void* address, uint16_t type) {
  return AddGlobal(name, address, type, false);
}

ErrCode CScriptMachine::RegisterWorldGlobal(const char* name, void* address, uint16_t type) {
  return AddGlobal(name, address, type, true);
}

bool CScriptMachine::CompileText(const char* text, const char* signature, SCodeBlock* block) {
  SParamInfo params;
  if (!ParseSignature(*m_compiler, signature, true, &params)) return false;
  CTokenizer tokenizer(text);
  return m_compiler->Compile(&tokenizer, params, &m_error_log, block);
}
