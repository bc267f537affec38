// The script language's tables: types with their constructors, destructors,
// truth tests and casts; literal constructors; operators; globals; functions.
//
// The language has no types of its own: everything the compiler knows comes
// from these tables, filled either by registration calls (CScriptMachine,
// script_machine.h) or from an INI description. Function numbers stored here
// are slots of the machine's native table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/errors.h"
#include "script/ptr_list.h"
#include "script/tokenizer.h"

class CFile;
class CHashIni;
class CTokenSource;
struct SCodeBlock;
struct SParamInfo;

// Type codes: the type id in the low byte, kAddrFlag for "address of".
inline constexpr uint16_t kAddrFlag = 0x100;
inline constexpr uint16_t kVoidType = 0;
inline constexpr uint16_t kAddressSize = 4;
inline constexpr size_t kNameSize = 32;
inline constexpr size_t kMaxNameLength = kNameSize - 1;
inline constexpr uint16_t kMaxCasts = 16;
inline constexpr uint16_t kMaxArgs = 16;
inline constexpr size_t kMaxOperators = 20;
inline constexpr size_t kSymbolSize = 8;
inline constexpr size_t kMaxSymbolLength = kSymbolSize - 1;
inline constexpr uint16_t kEngineTypeCapacity = 20;
inline constexpr size_t kListStep = 10;
inline constexpr uint16_t kDefaultCastWeight = 100;

inline constexpr uint16_t TypeId(uint16_t code) { return code & 0xFF; }
inline constexpr bool IsAddress(uint16_t code) { return (code & kAddrFlag) != 0; }

struct SCast {
  uint16_t target;  // type id
  uint16_t function;
  uint16_t weight;
};

// A record with an empty name is a free slot.
struct STypeRecord {
  char name[kNameSize];
  uint16_t id;
  uint16_t size;
  uint16_t void_constructor;
  uint16_t addr_constructor;
  uint16_t destructor;
  uint16_t is_true;  // 0: not usable as a condition
  SCast casts[kMaxCasts];
  uint16_t cast_count;
};

enum ELiteral : uint8_t { kIntLiteral, kFloatLiteral, kStringLiteral, kBoolLiteral };
inline constexpr int kLiteralKinds = 4;

struct SLiteralConstructor {
  uint16_t function;
  uint16_t type;  // type code
};

enum class EOpKind : uint8_t { kPrefix = 1, kInfix = 2, kPostfix = 3, kIndex = 4 };
enum class EAssoc : uint8_t { kLeft = 1, kRight = 2 };

// For an index operator the symbol holds the opening symbol, a NUL, the
// closing symbol and a NUL.
struct SOperatorRecord {
  char symbol[kSymbolSize];
  uint8_t priority;  // 1 binds tightest; 0 for the index operator
  EOpKind kind;
  EAssoc assoc;
};

struct SGlobalRecord {
  char name[kNameSize];
  uint16_t index;  // native slot holding the variable's address
  uint16_t type;   // type code
  uint16_t size;   // element count
};

struct SFunctionRecord {
  char name[kNameSize];
  uint16_t arg_count;
  uint16_t args[kMaxArgs];  // type codes
  uint16_t result;          // type code, 0 = void
  uint16_t function;
};

// First character a letter or '_', then letters, digits or '_'; trailing
// spaces allowed.
bool IsIdentifier(const char* text);

class CScriptCompiler {
 public:
  // The registration form: empty tables with `type_capacity` type slots.
  explicit CScriptCompiler(uint16_t type_capacity);
  ~CScriptCompiler();
  CScriptCompiler(const CScriptCompiler&) = delete;
  CScriptCompiler& operator=(const CScriptCompiler&) = delete;

  // The INI form: loads a description (through the file service) and gets
  // ready to compile. Failures leave the error state set and the message in
  // the trace.
  static std::unique_ptr<CScriptCompiler> FromIni(const char* path);
  static std::unique_ptr<CScriptCompiler> FromIni(CFile* file);

  ErrCode Error() const { return m_error; }
  void SetError(ErrCode error) { m_error = error; }

  // ---- filling (the checks of the registration calls) ----
  ErrCode AddType(const char* name, uint16_t id, uint16_t size);
  // Which constructor slot of a type a function fills.
  enum class ETypeEntry : uint8_t { kVoidConstructor, kAddrConstructor, kDestructor, kIsTrue };
  ErrCode SetTypeEntry(uint16_t id, ETypeEntry entry, uint16_t function);
  ErrCode AddCast(uint16_t source, uint16_t target, uint16_t function, uint16_t weight);
  // `closing` is the closing symbol of an index operator, else null.
  ErrCode AddOperator(const char* symbol, const char* closing, uint8_t priority,
                      EOpKind kind, EAssoc assoc);
  void SetLiteralConstructor(ELiteral literal, uint16_t function, uint16_t type);
  void SetAddressHandlers(uint16_t constructor, uint16_t destructor);
  ErrCode AddFunction(const char* name, uint16_t result, uint16_t arg_count,
                      const uint16_t* args, uint16_t function);
  ErrCode AddGlobal(const char* name, uint16_t index, uint16_t type, bool world);
  void ClearWorldGlobals() { m_world_globals.Clear(); }

  // Sorts the operators, builds the token table and the token buffer (the
  // last steps of both ways of filling the tables).
  ErrCode Finish();

  // ---- lookups ----
  uint16_t TypeCapacity() const { return m_type_capacity; }
  const STypeRecord* Type(uint16_t id) const;
  // The exact name, or the name directly followed by '*'; false otherwise.
  bool FindType(const char* name, uint16_t* code) const;
  // The size a value of the type code occupies on the stack (4 for an
  // address, 0 for void).
  uint16_t StackSize(uint16_t code) const;
  const SGlobalRecord* FindGlobal(const char* name, bool world) const;
  // The engine's globals, or the world's.
  const CPtrList<SGlobalRecord>& Globals(bool world) const {
    return world ? m_world_globals : m_globals;
  }
  size_t OperatorCount() const { return m_operator_count; }
  const SOperatorRecord& Operator(size_t index) const { return m_operators[index]; }
  // Scans from `start` while the symbol equals the start's; -1 when none.
  int FindOperator(size_t start, EOpKind kind, uint8_t priority) const;
  uint8_t HighestPriority() const { return m_highest_priority; }
  const CPtrList<SFunctionRecord>& Functions() const { return m_functions; }
  int32_t NetStackEffect(const SFunctionRecord& function) const;
  const SLiteralConstructor& Literal(ELiteral literal) const { return m_literals[literal]; }
  uint16_t AddrConstructor() const { return m_addr_constructor; }
  uint16_t AddrDestructor() const { return m_addr_destructor; }
  const CTokenTable& Tokens() const { return m_tokens; }

  // The diagnostic description of every table (lines end in CR LF).
  std::string Dump() const;

  // Compiles one script from `source` into a block, writing every
  // diagnostic line to `errors`; false when it failed.
  bool Compile(CTokenSource* source, const SParamInfo& params, std::string* errors,
               SCodeBlock* block);

 private:
  bool LoadIni(const CHashIni& ini);
  bool LoadBaseTypes(const CHashIni& ini);
  bool LoadDataTypes(const CHashIni& ini);
  bool LoadType(const CHashIni& ini, const char* name);
  bool LoadCasts(const CHashIni& ini);
  bool LoadLiterals(const CHashIni& ini);
  bool LoadOperators(const CHashIni& ini);
  bool LoadOperatorList(const char* list, EOpKind kind, uint8_t priority, EAssoc assoc);
  bool LoadGlobals(const CHashIni& ini);
  bool AddIniGlobal(const SGlobalRecord& record);
  bool LoadFunctions(const CHashIni& ini);
  bool LoadFunction(const CHashIni& ini, const char* section);
  bool Fail(ErrCode error, const char* format, ...) __attribute__((format(printf, 3, 4)));
  STypeRecord* MutableType(uint16_t id);

  ErrCode m_error = err::kOk;
  uint16_t m_type_capacity;
  STypeRecord* m_types = nullptr;  // m_type_capacity records
  SLiteralConstructor m_literals[kLiteralKinds] = {};
  uint16_t m_addr_constructor = 25;
  uint16_t m_addr_destructor = 24;
  SOperatorRecord m_operators[kMaxOperators] = {};
  size_t m_operator_count = 0;
  uint8_t m_highest_priority = 0;
  CPtrList<SGlobalRecord> m_globals{kListStep};
  CPtrList<SGlobalRecord> m_world_globals{kListStep};
  CPtrList<SFunctionRecord> m_functions{kListStep};
  CTokenTable m_tokens;
};
