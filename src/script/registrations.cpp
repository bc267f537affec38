#include "script/registrations.h"

#include "script/script_machine.h"

namespace {

// Native bodies are bound by the machine's library; until then every entry
// is this one.
void Pending() {}

enum ETypeId : uint16_t {
  kInt = 1,
  kFloat = 3,
  kPoint = 6,
  kBool = 7,
  kRect = 8,
  kPstr = 10,
  kStr = 11,
};

// One registration call. Rows run in table order, and each row that supplies
// native code takes the next native slot, so this order is part of the
// compiled-code format: never reorder, only append. Slot 0 goes to a literal
// constructor because 0 in a type's constructor or truth-test field means
// "none".
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
};

constexpr SRow Type(const char* name, uint16_t id, uint16_t size) {
  return {ERow::kType, name, nullptr, id, size};
}
constexpr SRow Entry(ERow row, uint16_t id) { return {row, nullptr, nullptr, id}; }
constexpr SRow Cast(uint16_t from, uint16_t to, uint16_t weight) {
  return {ERow::kCast, nullptr, nullptr, from, to, weight};
}
constexpr SRow Op(const char* symbol, uint8_t priority, EOpKind kind,
                  EAssoc assoc = EAssoc::kLeft) {
  return {ERow::kOperator, symbol, nullptr, 0, priority, 0, kind, assoc};
}
constexpr SRow Fn(const char* name, const char* signature) {
  return {ERow::kFunction, name, signature};
}

constexpr EOpKind kPre = EOpKind::kPrefix;
constexpr EOpKind kIn = EOpKind::kInfix;
constexpr EAssoc kRightAssoc = EAssoc::kRight;

constexpr SRow kLibrary[] = {
    // Literals: int 0, float 1, string 2, boolean 3.
    {ERow::kLiterals},
    // Addresses: constructor 4, destructor 5.
    {ERow::kAddress},
    // Types, each with its constructors, destructor and truth test.
    Type("int", kInt, 4),
    Entry(ERow::kVoidCons, kInt),      // 6
    Entry(ERow::kAddrCons, kInt),      // 7
    Entry(ERow::kDestructor, kInt),    // 8
    Entry(ERow::kIsTrue, kInt),        // 9
    Type("float", kFloat, 8),
    Entry(ERow::kVoidCons, kFloat),    // 10
    Entry(ERow::kAddrCons, kFloat),    // 11
    Entry(ERow::kDestructor, kFloat),  // 12
    Type("TPoint", kPoint, 4),
    Entry(ERow::kVoidCons, kPoint),    // 13
    Entry(ERow::kAddrCons, kPoint),    // 14
    Entry(ERow::kDestructor, kPoint),  // 15
    Type("bool", kBool, 1),
    Entry(ERow::kVoidCons, kBool),     // 16
    Entry(ERow::kAddrCons, kBool),     // 17
    Entry(ERow::kDestructor, kBool),   // 18
    Entry(ERow::kIsTrue, kBool),       // 19
    Type("TRect", kRect, 8),
    Entry(ERow::kVoidCons, kRect),     // 20
    Entry(ERow::kAddrCons, kRect),     // 21
    Entry(ERow::kDestructor, kRect),   // 22
    Type("pstr", kPstr, 256),
    Entry(ERow::kVoidCons, kPstr),     // 23
    Entry(ERow::kAddrCons, kPstr),     // 24
    Entry(ERow::kDestructor, kPstr),   // 25
    Type("str", kStr, 4),
    Entry(ERow::kVoidCons, kStr),      // 26
    Entry(ERow::kAddrCons, kStr),      // 27
    Entry(ERow::kDestructor, kStr),    // 28
    // Casts: 29 .. 32.
    Cast(kInt, kFloat, 30),
    Cast(kBool, kPstr, 50),
    Cast(kBool, kInt, 15),
    Cast(kPstr, kStr, 15),
    // Operators (no native code).
    Op("*", 1, kIn), Op("/", 1, kIn),
    Op("-", 1, kPre), Op("+", 1, kPre),
    Op("+", 2, kIn), Op("-", 2, kIn),
    Op("==", 3, kIn), Op("<>", 3, kIn), Op("<", 3, kIn), Op(">", 3, kIn),
    Op("NOT", 4, kPre),
    Op("&&", 5, kIn),
    Op("||", 6, kIn), Op("XOR", 6, kIn),
    Op("=", 10, kIn, kRightAssoc),
    {ERow::kIndex, "[", "]"},
    // Operator functions: 33 .. 66.
    Fn("+", "int, int, int"),                  // 33
    Fn("-", "int, int, int"),                  // 34
    Fn("*", "int, int, int"),                  // 35
    Fn("/", "int, int, int"),                  // 36
    Fn("-", "int, int"),                       // 37
    Fn("==", "bool, int, int"),                // 38
    Fn("<>", "bool, int, int"),                // 39
    Fn("<", "bool, int, int"),                 // 40
    Fn(">", "bool, int, int"),                 // 41
    Fn("[", "int, int, int"),                  // 42
    Fn("=", "void, int*, int"),                // 43
    Fn("+", "float, float, float"),            // 44
    Fn("-", "float, float, float"),            // 45
    Fn("*", "float, float, float"),            // 46
    Fn("/", "float, float, float"),            // 47
    Fn("-", "float, float"),                   // 48
    Fn("==", "bool, float, float"),            // 49
    Fn("<>", "bool, float, float"),            // 50
    Fn("<", "bool, float, float"),             // 51
    Fn(">", "bool, float, float"),             // 52
    Fn("=", "void, float*, float"),            // 53
    Fn("=", "void, bool*, bool"),              // 54
    Fn("NOT", "bool, bool"),                   // 55
    Fn("&&", "bool, bool, bool"),              // 56
    Fn("XOR", "bool, bool, bool"),             // 57
    Fn("||", "bool, bool, bool"),              // 58
    Fn("=", "void, pstr*, pstr"),              // 59
    Fn("=", "void, str*, str"),                // 60
    Fn("==", "bool, str, str"),                // 61
    Fn("<>", "bool, str, str"),                // 62
    Fn("+", "str, str, str"),                  // 63
    Fn("=", "void, TPoint*, TPoint"),          // 64
    Fn("=", "void, TRect*, TRect"),            // 65
    // Named functions: 66 .. 92.
    Fn("rand", "int"),                         // 66
    Fn("Write", "void, int"),                  // 67
    Fn("Write", "void, float"),                // 68
    Fn("Write", "void, pstr"),                 // 69
    Fn("Write", "void, str"),                  // 70
    Fn("StrCmp", "int, str, str"),             // 71
    Fn("StrICmp", "int, str, str"),            // 72
    Fn("StrCat", "void, str*, str"),           // 73
    Fn("FindChrPos", "int, str, int"),         // 74
    Fn("GetChr", "int, str, int"),             // 75
    Fn("IsNull", "bool, str"),                 // 76
    Fn("ToUpper", "void, str*"),               // 77
    Fn("ToLower", "void, str*"),               // 78
    Fn("ptGetX", "int, TPoint"),               // 79
    Fn("ptGetY", "int, TPoint"),               // 80
    Fn("ptSet", "void, TPoint*, int, int"),    // 81
    Fn("ptInRect", "bool, TPoint, TRect"),     // 82
    Fn("rcLeft", "int, TRect"),                // 83
    Fn("rcTop", "int, TRect"),                 // 84
    Fn("rcRight", "int, TRect"),               // 85
    Fn("rcBottom", "int, TRect"),              // 86
    Fn("rcSet", "void, TRect*, int, int, int, int"),  // 87
    Fn("rcIntersect", "TRect, TRect, TRect"),  // 88
    Fn("rcAdd", "TRect, TRect, TRect"),        // 89
    Fn("rcGetCenter", "TPoint, TRect"),        // 90
    Fn("DumpStack", "void"),                   // 91
    Fn("DumpCode", "void, int"),               // 92
};

ErrCode RegisterRow(CScriptMachine* machine, const SRow& row) {
  switch (row.row) {
    case ERow::kType:
      return machine->RegisterType(row.name, row.id, row.value);
    case ERow::kVoidCons:
      return machine->SetVoidConstructor(row.id, Pending);
    case ERow::kAddrCons:
      return machine->SetAddrConstructor(row.id, Pending);
    case ERow::kDestructor:
      return machine->SetDestructor(row.id, Pending);
    case ERow::kIsTrue:
      return machine->SetIsTrue(row.id, Pending);
    case ERow::kLiterals:
      return machine->SetLiteralConstructors(Pending, Pending, Pending, Pending);
    case ERow::kAddress:
      return machine->SetAddressHandlers(Pending, Pending);
    case ERow::kCast:
      return machine->RegisterCast(row.id, row.value, Pending, row.weight);
    case ERow::kOperator:
      return machine->RegisterOperator(row.name, static_cast<uint8_t>(row.value), row.kind,
                                       row.assoc);
    case ERow::kIndex:
      return machine->RegisterIndexOperator(row.name, row.text);
    case ERow::kFunction:
      return machine->RegisterFunctionSig(Pending, row.name, row.text);
  }
  return err::kBadParams;
}

}  // namespace

uint32_t RegisterLibrary(CScriptMachine* machine) {
  for (const SRow& row : kLibrary) {
    if (ErrCode error = RegisterRow(machine, row)) {
      machine->Compiler()->SetError(error);
      break;
    }
  }
  return BuildStamp(__TIMESTAMP__);
}
