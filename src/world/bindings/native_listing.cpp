#include <string>
#include <vector>

#include "world/bindings/bindings.h"

namespace {

std::string TypeName(const CScriptCompiler& tables, uint16_t code) {
  if (code == kVoidType) return "void";
  const STypeRecord* type = tables.Type(TypeId(code));
  return std::string(type ? type->name : "?") + (IsAddress(code) ? "*" : "");
}

std::string FunctionEntry(const CScriptCompiler& tables, const SFunctionRecord& function) {
  std::string entry = TypeName(tables, function.result) + " " + function.name + "(";
  for (uint16_t i = 0; i < function.arg_count; ++i)
    entry += (i ? ", " : "") + TypeName(tables, function.args[i]);
  return entry + ")";
}

// What each slot of the machine holds, as the entries' own words.
std::vector<std::string> SlotEntries(const CScriptMachine& machine) {
  const CScriptCompiler& tables = *machine.Compiler();
  std::vector<std::string> entries(machine.NextSlot());
  const auto set = [&entries](uint16_t slot, std::string text) {
    if (slot < entries.size()) entries[slot] = std::move(text);
  };
  for (uint16_t id = 1; id < tables.TypeCapacity(); ++id) {
    const STypeRecord* type = tables.Type(id);
    if (!type || !type->name[0]) continue;
    const std::string name = type->name;
    set(type->void_constructor, name + " constructor");
    set(type->addr_constructor, name + " address constructor");
    set(type->destructor, name + " destructor");
    if (type->is_true) set(type->is_true, name + " truth test");
    for (uint16_t i = 0; i < type->cast_count; ++i)
      set(type->casts[i].function, "cast " + name + " -> " + TypeName(tables, type->casts[i].target));
  }
  for (int kind = 0; kind < kLiteralKinds; ++kind) {
    const SLiteralConstructor& literal = tables.Literal(static_cast<ELiteral>(kind));
    set(literal.function, "literal " + TypeName(tables, literal.type));
  }
  set(tables.AddrConstructor(), "address constructor");
  set(tables.AddrDestructor(), "address destructor");
  for (bool world : {false, true})
    for (const SGlobalRecord& global : tables.Globals(world))
      if (global.name[0]) set(global.index, "global " + TypeName(tables, global.type) + " " + global.name);
  for (const SFunctionRecord& function : tables.Functions())
    set(function.function, FunctionEntry(tables, function));
  return entries;
}

}  // namespace

std::string NativeListing(const CScriptMachine& machine) {
  const std::vector<std::string> entries = SlotEntries(machine);
  std::string listing;
  for (size_t slot = 0; slot < entries.size(); ++slot) {
    if (entries[slot].empty()) continue;
    const bool pending = machine.Native(static_cast<uint16_t>(slot)) == AsEntry(PendingNative);
    listing += std::to_string(slot) + "\t" + entries[slot] + "\t" +
               (pending ? "pending" : "built") + "\n";
  }
  return listing;
}
