// Registration tables: a module's registration calls as rows of a table.
//
// Rows run in table order, and each row that supplies native code takes the
// next native slot, so a table's order is part of the compiled-code format:
// never reorder, only append.
#pragma once

#include <cstdint>
#include <span>

#include "script/native.h"
#include "script/type_tables.h"

class CScriptMachine;

enum class ERow : uint8_t {
  kType,         // name, id, size
  kVoidCons,     // id
  kAddrCons,     // id
  kDestructor,   // id
  kIsTrue,       // id
  kLiterals,     // integer, float, string, boolean literal constructors
  kAddress,      // address constructor, address destructor
  kCast,         // id -> target, weight
  kOperator,     // symbol, priority, kind, associativity
  kIndex,        // opening symbol, closing symbol
  kFunction,     // name, signature (result, parameter types)
};

struct SRow {
  ERow row;
  const char* name = nullptr;
  const char* text = nullptr;
  uint16_t id = 0;
  uint16_t value = 0;  // size, cast target or priority
  uint16_t weight = 0;
  EOpKind kind = EOpKind::kInfix;
  EAssoc assoc = EAssoc::kLeft;
  NativeEntry entries[4] = {};
};

namespace rows {

constexpr SRow Type(const char* name, uint16_t id, uint16_t size) {
  return {ERow::kType, name, nullptr, id, size};
}
// A type's void constructor, address constructor, destructor or truth test.
template <class F>
SRow Entry(ERow row, uint16_t id, F fn) {
  return {row, nullptr, nullptr, id, 0, 0, EOpKind::kInfix, EAssoc::kLeft, {AsEntry(fn)}};
}
template <class F>
SRow Cast(uint16_t from, uint16_t to, uint16_t weight, F fn) {
  return {ERow::kCast, nullptr, nullptr, from, to, weight, EOpKind::kInfix, EAssoc::kLeft,
          {AsEntry(fn)}};
}
constexpr SRow Op(const char* symbol, uint8_t priority, EOpKind kind,
                  EAssoc assoc = EAssoc::kLeft) {
  return {ERow::kOperator, symbol, nullptr, 0, priority, 0, kind, assoc};
}
constexpr SRow Index(const char* opening, const char* closing) {
  return {ERow::kIndex, opening, closing};
}
template <class F>
SRow Fn(const char* name, const char* signature, F fn) {
  return {ERow::kFunction, name, signature, 0, 0, 0, EOpKind::kInfix, EAssoc::kLeft,
          {AsEntry(fn)}};
}
// A function with its borrowing form (see CScriptMachine::SetBorrowingEntry).
template <class F>
SRow Fn(const char* name, const char* signature, F fn, F borrowing) {
  return {ERow::kFunction, name, signature, 0, 0, 0, EOpKind::kInfix, EAssoc::kLeft,
          {AsEntry(fn), AsEntry(borrowing)}};
}

}  // namespace rows

// Runs the rows in order; the first failure sets the compiler's error and
// stops.
void RegisterRows(CScriptMachine* machine, std::span<const SRow> table);

// A hash of what a table registers: every row's kind, names, numbers and
// whether it has a borrowing form (not the native code behind it).
uint32_t RowsHash(std::span<const SRow> table);

// A module's version: the date-and-time text of its table's last change
// ("Tue Jul 18 21:01:04 2000"), whose stamp the module answers, and the hash
// of the table it names. Both are changed by hand, together, whenever the
// table changes; a test holds each module's table to its hash.
struct SModuleVersion {
  const char* date_time;
  uint32_t rows_hash;
};
