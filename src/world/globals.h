// The global variable table: the values of "/Globals" and the item
// containers of "/Inventory" as variables that scripts see.
//
// Each variable has storage of its own in one block, registered with the
// script machine as a world global; world globals take the machine's slots
// after its modules and give them back when the table is released, so a
// table loaded again from the same project (a new game) gets every variable
// at the slot it had.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/errors.h"
#include "fs/bfhp.h"

class CScriptMachine;
class CValueBase;

enum class EGlobalKind : uint8_t { kInt, kStr, kPoint, kRect, kItem };

// "int", "str", "point", "rect", "item".
const char* GlobalKindName(EGlobalKind kind);

struct SGlobalVariable {
  std::string name;  // at most 31 characters
  EGlobalKind kind;
  uint16_t type;  // the script type code it is registered with
  uint16_t slot;  // the machine's slot
  uint8_t* storage;
};

// An inventory item variable's storage: its state, then the handle of the
// item's container.
struct SItemRecord {
  uint32_t state;
  uint32_t container;
};

class CGlobalTable {
 public:
  static constexpr size_t kMaxName = 31;

  CGlobalTable() = default;
  ~CGlobalTable() { Release(); }
  CGlobalTable(const CGlobalTable&) = delete;
  CGlobalTable& operator=(const CGlobalTable&) = delete;

  // Releases the present table, then builds one from the value base and
  // registers it with the machine. Names that cannot be used are logged and
  // skipped.
  ErrCode Load(CValueBase* vb, CScriptMachine* machine);
  // Unregisters the variables, frees their strings and the storage.
  void Release();

  std::span<const SGlobalVariable> Variables() const { return m_variables; }
  // FNV-1a over "name:type;" of each variable in slot order, the type as the
  // script type's name: compiled code depends on exactly this layout.
  uint32_t LayoutHash() const;

 private:
  struct SSource;
  void Collect(CValueBase* vb, std::vector<SSource>* sources);
  bool Register(const SSource& source, SGlobalVariable* variable);

  CScriptMachine* m_machine = nullptr;
  std::unique_ptr<uint8_t[]> m_storage;
  std::vector<SGlobalVariable> m_variables;
};
