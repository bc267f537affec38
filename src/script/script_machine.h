// The script machine: the native function table and the registration calls
// that fill it together with the compiler's tables.
//
// Compiled code names native functions by their slot in the table, so the
// order of the registration calls is part of the compiled-code format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include <vector>

#include "base/errors.h"
#include "script/address_space.h"
#include "script/compiler.h"
#include "script/native.h"
#include "script/script_array.h"
#include "script/script_call.h"
#include "script/script_ini.h"
#include "script/type_tables.h"

class CScriptMachine;

// A registration module fills the tables and answers its build stamp; a
// failed registration sets the compiler's error.
using RegistrationModule = uint32_t (*)(CScriptMachine* machine);

// A module and the native slot its first registration takes: compiled code
// holds native slots, so every module starts at a fixed slot whatever the
// modules before it registered.
struct SRegistrationModule {
  RegistrationModule run;
  uint16_t base;
};

// The engine's modules: the world functions, then the engine functions.
inline constexpr uint16_t kWorldModuleBase = 200;
inline constexpr uint16_t kEngineModuleBase = 300;

// The stamp of a build date-and-time text ("Tue Jul 18 21:01:04 2000").
uint32_t BuildStamp(const char* date_time);

class CScriptMachine {
 public:
  static constexpr size_t kNativeCount = 1024;
  static constexpr const char* kErrorLogName = "comp_err.txt";

  CScriptMachine();
  ~CScriptMachine();
  CScriptMachine(const CScriptMachine&) = delete;
  CScriptMachine& operator=(const CScriptMachine&) = delete;

  // Start-up: the built-in library, then each module in order from its base
  // slot, then the operator sort and the token table. A base below the next
  // free slot (the registrations before it ran into it) is BADPARAMS.
  ErrCode Init(std::span<const SRegistrationModule> modules);
  // Saves a non-empty compile-error log as "comp_err.txt" (through the file
  // service) and drops the tables.
  void Shutdown();

  ErrCode RegisterType(const char* name, uint16_t id, uint16_t size);
  ErrCode SetVoidConstructor(uint16_t id, NativeEntry entry);
  ErrCode SetAddrConstructor(uint16_t id, NativeEntry entry);
  ErrCode SetDestructor(uint16_t id, NativeEntry entry);
  ErrCode SetIsTrue(uint16_t id, NativeEntry entry);
  ErrCode RegisterCast(uint16_t source, uint16_t target, NativeEntry entry, uint16_t weight);
  ErrCode RegisterOperator(const char* symbol, uint8_t priority, EOpKind kind, EAssoc assoc);
  // An index operator: opening and closing symbol, priority 0.
  ErrCode RegisterIndexOperator(const char* opening, const char* closing);
  ErrCode SetLiteralConstructors(NativeEntry integer, NativeEntry floating, NativeEntry string,
                                 NativeEntry boolean);
  ErrCode SetAddressHandlers(NativeEntry constructor, NativeEntry destructor);
  ErrCode RegisterFunction(NativeEntry entry, const char* name, uint16_t result,
                           uint16_t arg_count, const uint16_t* args);
  // The signature is a handler signature: result, then parameter types.
  ErrCode RegisterFunctionSig(NativeEntry entry, const char* name, const char* signature);
  // A second form of the function just registered that leaves its str
  // arguments' references alone: the machine may call it with borrowed
  // handles where it would otherwise add a reference only to drop it.
  void SetBorrowingEntry(NativeEntry entry);
  NativeEntry BorrowingEntry(uint16_t slot) const {
    return slot < kNativeCount ? m_borrowing[slot] : nullptr;
  }
  // The bytes a function's arguments take on the stack.
  uint32_t ArgumentBytes(uint16_t slot) const {
    return slot < kNativeCount ? m_argument_bytes[slot] : 0;
  }
  ErrCode RegisterGlobal(const char* name, void* address, uint16_t type);
  // World globals come after every other registration; clearing them gives
  // their slots back.
  ErrCode RegisterWorldGlobal(const char* name, void* address, uint16_t type);
  void ClearWorldGlobals();
  // Grows with every registration or release of globals: decoded code
  // holds their addresses and is good only while this stays.
  uint32_t GlobalsChanges() const { return m_globals_changes; }

  // What scripts of this machine share while it lives: the address space
  // natives resolve script addresses in, the named arrays and the loaded
  // INI files.
  CScriptAddressSpace& Memory() { return m_memory; }
  CScriptArrays& Arrays() { return m_arrays; }
  CScriptInis& Inis() { return m_inis; }
  // How its calls run, and where they stand (script_call.h).
  SCallState& Calls() { return m_calls; }
  const SCallState& Calls() const { return m_calls; }

  CScriptCompiler* Compiler() { return m_compiler.get(); }
  const CScriptCompiler* Compiler() const { return m_compiler.get(); }
  uint16_t NextSlot() const { return m_next_slot; }
  uint32_t Stamp() const { return m_stamp; }
  NativeEntry Native(uint16_t slot) const { return m_natives[slot]; }
  ENativeShape Shape(uint16_t slot) const {
    return slot < kNativeCount ? m_shapes[slot] : ENativeShape::kNone;
  }
  // A global's address as registered, and the script address it is mapped
  // at (0 when the slot holds no global).
  void* GlobalAddress(uint16_t slot) const { return m_global_addresses[slot]; }
  ScriptAddr GlobalScriptAddress(uint16_t slot) const {
    return slot < kNativeCount ? m_global_script_addresses[slot] : 0;
  }
  // The name a native slot was registered under (empty for constructors).
  const std::string& NativeName(uint16_t slot) const { return m_native_names[slot]; }

  // Compiles a script text against a handler signature into the
  // compile-error log; false when the signature or the text is bad.
  bool CompileText(const char* text, const char* signature, SCodeBlock* block);
  const std::string& ErrorLog() const { return m_error_log; }
  // Hands the log over and empties it.
  std::string TakeErrorLog() { return std::move(m_error_log); }

 private:
  // Takes the next slot for `entry`; false when the table is full.
  bool TakeSlot(NativeEntry entry, ENativeShape shape, uint16_t* slot, const char* name = "");
  void UnmapGlobals(std::vector<uint16_t>* slots);
  ErrCode SetTypeEntry(uint16_t id, CScriptCompiler::ETypeEntry which, NativeEntry entry);
  ErrCode AddGlobal(const char* name, void* address, uint16_t type, bool world);

  // First, so that it goes last: everything below maps regions in it.
  CScriptAddressSpace m_memory;
  CScriptArrays m_arrays;
  CScriptInis m_inis;
  SCallState m_calls;
  std::unique_ptr<CScriptCompiler> m_compiler;
  NativeEntry m_natives[kNativeCount] = {};
  ENativeShape m_shapes[kNativeCount] = {};
  void* m_global_addresses[kNativeCount] = {};
  ScriptAddr m_global_script_addresses[kNativeCount] = {};
  NativeEntry m_borrowing[kNativeCount] = {};
  uint32_t m_argument_bytes[kNativeCount] = {};
  std::string m_native_names[kNativeCount];
  std::vector<uint16_t> m_engine_global_slots;
  std::vector<uint16_t> m_world_global_slots;
  uint16_t m_next_slot = 0;
  uint32_t m_stamp = 0;
  uint32_t m_globals_changes = 0;
  std::string m_error_log;
};
