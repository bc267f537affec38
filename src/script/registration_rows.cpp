#include "script/registration_rows.h"

#include <cstring>

#include "script/script_machine.h"

namespace {

ErrCode RegisterRow(CScriptMachine* machine, const SRow& row) {
  const NativeEntry* entry = row.entries;
  switch (row.row) {
    case ERow::kType:
      return machine->RegisterType(row.name, row.id, row.value);
    case ERow::kVoidCons:
      return machine->SetVoidConstructor(row.id, entry[0]);
    case ERow::kAddrCons:
      return machine->SetAddrConstructor(row.id, entry[0]);
    case ERow::kDestructor:
      return machine->SetDestructor(row.id, entry[0]);
    case ERow::kIsTrue:
      return machine->SetIsTrue(row.id, entry[0]);
    case ERow::kLiterals:
      return machine->SetLiteralConstructors(entry[0], entry[1], entry[2], entry[3]);
    case ERow::kAddress:
      return machine->SetAddressHandlers(entry[0], entry[1]);
    case ERow::kCast:
      return machine->RegisterCast(row.id, row.value, entry[0], row.weight);
    case ERow::kOperator:
      return machine->RegisterOperator(row.name, static_cast<uint8_t>(row.value), row.kind,
                                       row.assoc);
    case ERow::kIndex:
      return machine->RegisterIndexOperator(row.name, row.text);
    case ERow::kFunction:
      if (ErrCode error = machine->RegisterFunctionSig(entry[0], row.name, row.text)) return error;
      if (entry[1]) machine->SetBorrowingEntry(entry[1]);
      return err::kOk;
  }
  return err::kBadParams;
}

// FNV-1a, 32 bits.
class CHash {
 public:
  void Add(const void* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      m_value ^= static_cast<const uint8_t*>(bytes)[i];
      m_value *= 16777619u;
    }
  }
  template <class T>
  void Add(T value) {
    Add(&value, sizeof value);
  }
  // The text with its NUL; a missing text adds a single 0xFF.
  void AddText(const char* text) {
    if (text) Add(text, std::strlen(text) + 1);
    else Add(uint8_t{0xFF});
  }
  uint32_t Value() const { return m_value; }

 private:
  uint32_t m_value = 2166136261u;
};

}  // namespace

uint32_t RowsHash(std::span<const SRow> table) {
  CHash hash;
  for (const SRow& row : table) {
    hash.Add(row.row);
    hash.AddText(row.name);
    hash.AddText(row.text);
    hash.Add(row.id);
    hash.Add(row.value);
    hash.Add(row.weight);
    hash.Add(row.kind);
    hash.Add(row.assoc);
    hash.Add(row.entries[1] != nullptr);
  }
  return hash.Value();
}

void RegisterRows(CScriptMachine* machine, std::span<const SRow> table) {
  for (const SRow& row : table) {
    if (ErrCode error = RegisterRow(machine, row)) {
      machine->Compiler()->SetError(error);
      return;
    }
  }
}
