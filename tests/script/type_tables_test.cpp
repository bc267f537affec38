// The script tables: registration checks, the engine's own registrations,
// lookups, the table dump and the INI description with its messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "base/log.h"
#include "base/memory.h"
#include "fs/memory_file.h"
#include "script/array_functions.h"
#include "script/array_module.h"
#include "script/library.h"
#include "script/script_machine.h"

namespace {

void Native() {}
void OtherNative() {}

uint32_t NoModule(CScriptMachine*) { return 5; }

TEST(ScriptTablesTest, RegistrationChecks) {
  CScriptMachine machine;
  ASSERT_EQ(machine.Init({}), err::kOk);
  EXPECT_EQ(machine.RegisterType("zero", 0, 4), err::kBadParams);
  EXPECT_EQ(machine.RegisterType("twenty", 20, 4), err::kBadParams);
  EXPECT_EQ(machine.RegisterType("int", 12, 4), err::kBadParams);
  EXPECT_EQ(machine.RegisterType("2nd", 12, 4), err::kBadParams);
  EXPECT_EQ(machine.RegisterType("cell", 1, 4), err::kBadParams);
  ASSERT_EQ(machine.RegisterType("cell", 19, 4), err::kOk);
  EXPECT_EQ(machine.SetVoidConstructor(18, Native), err::kBadParams);
  EXPECT_EQ(machine.RegisterCast(18, 1, Native, 5), err::kBadParams);
  const uint16_t first = machine.NextSlot();
  for (int i = 0; i < 16; ++i) ASSERT_EQ(machine.RegisterCast(19, 1, Native, 5), err::kOk);
  EXPECT_EQ(machine.RegisterCast(19, 1, Native, 5), err::kUnknownError);
  EXPECT_EQ(machine.NextSlot(), first + 16);
  EXPECT_EQ(machine.RegisterOperator("toolong8", 1, EOpKind::kInfix, EAssoc::kLeft),
            err::kBadParams);
  for (const char* op : {"&", "|", "^", "~"})
    ASSERT_EQ(machine.RegisterOperator(op, 1, EOpKind::kInfix, EAssoc::kLeft), err::kOk);
  EXPECT_EQ(machine.RegisterOperator("%", 1, EOpKind::kInfix, EAssoc::kLeft),
            err::kUnknownError);
  const uint16_t args[17] = {};
  EXPECT_EQ(machine.RegisterFunction(Native, "f", 0, 17, args), err::kBadParams);
  EXPECT_EQ(machine.RegisterFunction(Native, std::string(32, 'f').c_str(), 0, 0, args),
            err::kBadParams);
  EXPECT_EQ(machine.RegisterFunction(Native, "f", 18, 0, args), err::kBadParams);
  EXPECT_EQ(machine.RegisterFunctionSig(Native, "f", "int, nosuch"), err::kBadParams);
  int variable = 0;
  EXPECT_EQ(machine.RegisterGlobal("g", &variable, 18), err::kBadParams);
  EXPECT_EQ(machine.RegisterGlobal("1g", &variable, 1), err::kBadParams);
  ASSERT_EQ(machine.RegisterGlobal("g", &variable, 1), err::kOk);
  EXPECT_EQ(machine.GlobalAddress(machine.NextSlot() - 1), &variable);
  EXPECT_EQ(machine.RegisterWorldGlobal("g", &variable, 1), err::kBadParams);
  ASSERT_EQ(machine.RegisterWorldGlobal("w", &variable, 1), err::kOk);
  EXPECT_NE(machine.Compiler()->FindGlobal("w", true), nullptr);
  EXPECT_EQ(machine.Compiler()->FindGlobal("w", false), nullptr);
  machine.ClearWorldGlobals();
  EXPECT_EQ(machine.Compiler()->FindGlobal("w", true), nullptr);
  while (machine.NextSlot() < CScriptMachine::kNativeCount)
    ASSERT_EQ(machine.RegisterFunction(Native, "f", 0, 0, args), err::kOk);
  EXPECT_EQ(machine.RegisterFunction(Native, "f", 0, 0, args), err::kUnknownError);
  EXPECT_EQ(machine.SetIsTrue(19, Native), err::kUnknownError);
  EXPECT_EQ(machine.SetLiteralConstructors(Native, Native, Native, Native), err::kUnknownError);
  EXPECT_EQ(machine.SetAddressHandlers(Native, Native), err::kUnknownError);
  EXPECT_EQ(machine.RegisterGlobal("h", &variable, 1), err::kUnknownError);
}

void WorldNative() {}
void EngineNative() {}
uint32_t WorldModule(CScriptMachine* machine) {
  machine->RegisterFunction(WorldNative, "world", 0, 0, nullptr);
  machine->RegisterFunction(WorldNative, "world2", 0, 0, nullptr);
  return 7;
}
uint32_t EngineModule(CScriptMachine* machine) {
  machine->RegisterFunction(EngineNative, "engine", 0, 0, nullptr);
  return 11;
}

// The modules start at their own bases and the slots between stay empty.
TEST(ScriptTablesTest, ModulesStartAtTheirBaseSlots) {
  CScriptMachine library_only;
  ASSERT_EQ(library_only.Init({}), err::kOk);
  const uint16_t library_end = library_only.NextSlot();
  ASSERT_LT(library_end, kWorldModuleBase);
  CScriptMachine machine;
  const SRegistrationModule modules[] = {{WorldModule, kWorldModuleBase},
                                         {EngineModule, kEngineModuleBase}};
  ASSERT_EQ(machine.Init(modules), err::kOk);
  const CScriptCompiler& tables = *machine.Compiler();
  const SFunctionRecord* found[3] = {};
  for (const SFunctionRecord& function : tables.Functions()) {
    const char* names[] = {"world", "world2", "engine"};
    for (int i = 0; i < 3; ++i)
      if (std::strcmp(function.name, names[i]) == 0) found[i] = &function;
  }
  ASSERT_TRUE(found[0] && found[1] && found[2]);
  EXPECT_EQ(found[0]->function, 200);
  EXPECT_EQ(found[1]->function, 201);
  EXPECT_EQ(found[2]->function, 300);
  EXPECT_EQ(machine.NextSlot(), 301);
  EXPECT_EQ(machine.Native(200), &WorldNative);
  EXPECT_EQ(machine.Native(300), &EngineNative);
  EXPECT_EQ(machine.Native(library_end), nullptr);
  EXPECT_EQ(machine.Native(202), nullptr);
  EXPECT_EQ(machine.Stamp(), library_only.Stamp() + 7 + 11);

  // A base the registrations before it already passed stops start-up.
  CScriptMachine overlapping;
  const SRegistrationModule low[] = {{WorldModule, static_cast<uint16_t>(library_end - 1)}};
  EXPECT_EQ(overlapping.Init(low), err::kBadParams);
  CScriptMachine crowded;
  const SRegistrationModule same[] = {{WorldModule, 200}, {EngineModule, 201}};
  EXPECT_EQ(crowded.Init(same), err::kBadParams);
}

// A table change without a new version text fails here (the engine's
// modules are held to theirs by the world's tests).
TEST(ScriptTablesTest, LibraryVersionPinsItsTable) {
  EXPECT_EQ(RowsHash(LibraryRows()), kLibraryVersion.rows_hash)
      << "The library's table changed: set the date-and-time text of kLibraryVersion to the "
         "time of the change and its hash to "
      << RowsHash(LibraryRows()) << ", together.";
  // The stamp comes from the version text alone, whenever the build ran.
  CScriptMachine machine;
  ASSERT_EQ(machine.Init(kArrayModules), err::kOk);
  EXPECT_EQ(machine.Stamp(), BuildStamp(kLibraryVersion.date_time));
}

// Every field a row registers reaches the hash, and so does the order.
TEST(ScriptTablesTest, RowsHashSeesEveryRegisteredField) {
  const SRow base[] = {rows::Op("+", 2, EOpKind::kInfix),
                       rows::Fn("f", "int, int", Native), rows::Cast(12, 1, 5, Native)};
  const uint32_t hash = RowsHash(base);
  const SRow borrowing = rows::Fn("f", "int, int", Native, Native);
  const SRow changed[][3] = {
      {rows::Op("-", 2, EOpKind::kInfix), base[1], base[2]},
      {rows::Op("+", 3, EOpKind::kInfix), base[1], base[2]},
      {rows::Op("+", 2, EOpKind::kPrefix), base[1], base[2]},
      {rows::Op("+", 2, EOpKind::kInfix, EAssoc::kRight), base[1], base[2]},
      {base[0], rows::Fn("f", "int, float", Native), base[2]},
      {base[0], borrowing, base[2]},
      {base[0], base[1], rows::Cast(13, 1, 5, Native)},
      {base[0], base[1], rows::Cast(12, 3, 5, Native)},
      {base[0], base[1], rows::Cast(12, 1, 6, Native)},
      {base[0], base[1], rows::Entry(ERow::kDestructor, 12, Native)},
      {base[1], base[0], base[2]},
  };
  for (size_t i = 0; i < std::size(changed); ++i) EXPECT_NE(RowsHash(changed[i]), hash) << i;
  const SRow same_other_code[] = {base[0], rows::Fn("f", "int, int", OtherNative), base[2]};
  EXPECT_EQ(RowsHash(same_other_code), hash);
}

TEST(ScriptTablesTest, TheEngineRegistrationsAndLookups) {
  CScriptMachine machine;
  const SRegistrationModule modules[] = {{NoModule, kWorldModuleBase}};
  ASSERT_EQ(machine.Init(modules), err::kOk);
  EXPECT_STREQ(TraceBuffer(), ("Compiler OK. Time stamp = " + std::to_string(machine.Stamp()) +
                               ".\n").c_str());
  EXPECT_EQ(BuildStamp("Tue Jul 18 21:01:04 2000"), 1440u);
  const CScriptCompiler& tables = *machine.Compiler();
  // 0: not a type.
  for (const auto& [name, expected] : {std::pair<const char*, uint16_t>{"int*", 0x101},
                                       {"str", 11}, {"int **", 0}, {"int *", 0}, {"in", 0}}) {
    uint16_t code = 0;
    EXPECT_EQ(tables.FindType(name, &code), expected != 0) << name;
    EXPECT_EQ(code, expected) << name;
  }
  EXPECT_EQ(tables.OperatorCount(), 16u);
  EXPECT_EQ(tables.HighestPriority(), 10);
  // The sorted table: "&&" "*" "+"(pre) "+"(in) "-"(pre) "-"(in) "/" "<" "<>" "=" ...
  const char* const sorted[] = {"&&", "*", "+", "+", "-", "-", "/", "<",
                                "<>", "=", "==", ">", "NOT", "XOR", "[", "||"};
  for (size_t i = 0; i < 16; ++i) EXPECT_STREQ(tables.Operator(i).symbol, sorted[i]);
  EXPECT_STREQ(tables.Operator(14).symbol + 2, "]");
  EXPECT_EQ(tables.FindOperator(2, EOpKind::kInfix, 2), 3);
  EXPECT_EQ(tables.FindOperator(4, EOpKind::kPrefix, 1), 4);
  EXPECT_EQ(tables.FindOperator(4, EOpKind::kPostfix, 1), -1);
  EXPECT_EQ(tables.Tokens().CodeOf("int"), 0x80001u);
  EXPECT_EQ(tables.Tokens().CodeOf("-"), 0x40004u);
  EXPECT_EQ(tables.Tokens().CodeOf("]"), 0x10000Eu);
  // 17 fixed entries, 7 types, 14 distinct symbols and "]".
  EXPECT_EQ(tables.Tokens().Count(), 39u);
  ASSERT_EQ(tables.Functions().size(), 60u);
  // Result size minus argument sizes: int(int, int) -4, void(TPoint*, int,
  // int) -12, TRect(TRect, TRect) -8, bool(TPoint, TRect) -11.
  const std::pair<const char*, int32_t> effects[] = {
      {"+", -4}, {"ptSet", -12}, {"rcIntersect", -8}, {"ptInRect", -11}};
  for (const auto& [name, effect] : effects) {
    const auto& functions = tables.Functions();
    const auto found = std::find_if(functions.begin(), functions.end(), [&](const auto& f) {
      return std::strcmp(f.name, name) == 0;
    });
    ASSERT_NE(found, functions.end()) << name;
    EXPECT_EQ(tables.NetStackEffect(*found), effect) << name;
  }
}

TEST(ScriptTablesTest, DumpOfASmallTable) {
  CScriptCompiler tables(3);
  ASSERT_EQ(tables.AddType("num", 1, 4), err::kOk);
  tables.SetTypeEntry(1, CScriptCompiler::ETypeEntry::kVoidConstructor, 7);
  tables.SetTypeEntry(1, CScriptCompiler::ETypeEntry::kIsTrue, 9);
  ASSERT_EQ(tables.AddType("flag", 2, 1), err::kOk);
  tables.AddCast(2, 1, 11, 15);
  tables.SetLiteralConstructor(kIntLiteral, 3, 1);
  tables.AddOperator("=", nullptr, 4, EOpKind::kInfix, EAssoc::kRight);
  const uint16_t args[] = {0x101, 1};
  tables.AddFunction("=", 0, 2, args, 12);
  tables.AddGlobal("g", 13, 1, false);
  ASSERT_EQ(tables.Finish(), err::kOk);
  EXPECT_EQ(tables.Dump(),
            "Types max count = 3\r\n"
            "Name:num ID:1 Size:4\r\n"
            "Constr: void=7 addr=0 Destr=0 IsTrue=9\r\n"
            "Cast target types: 0\r\n"
            "Name:flag ID:2 Size:1\r\n"
            "Constr: void=0 addr=0 Destr=0 IsTrue=0\r\n"
            "Cast target types: 1\r\n"
            "Cast1: type=1 func=11 weight=15\r\n"
            "Compiler constants:\r\n"
            "int: func=3 user_type=1\r\n"
            "float: func=0 user_type=0\r\n"
            "string: func=0 user_type=0\r\n"
            "boolean: func=0 user_type=0\r\n"
            "Operators count = 1\r\n"
            "Sym:\"=\" Prior=4 Type=2 Assoc=2\r\n"
            "Global variables count = 1\r\n"
            "Name:g TypeID:1 Index:13 Size:1\r\n"
            "Functions count = 1\r\n"
            "Name:= Idx:12 RetTypeID:0 ParCount:2\r\n"
            "Par1:257Par2:1\r\n\r\n");
}

TEST(ScriptTablesTest, NoAssignmentOperatorStopsTheSetUp) {
  CScriptCompiler tables(3);
  EXPECT_EQ(tables.Finish(), err::kBadKeyVal);
  EXPECT_STREQ(TraceBuffer(), "Assignment operator must be defined.\n");
}

TEST(ScriptTablesTest, NoRoomForTheTokenTableStopsTheSetUp) {
  CScriptCompiler tables(3);
  ASSERT_EQ(tables.AddOperator("=", nullptr, 1, EOpKind::kInfix, EAssoc::kRight), err::kOk);
  SetMemLimit(EMemCategory::kPtr, MemCounter(EMemCategory::kPtr).used);
  EXPECT_EQ(tables.Finish(), err::kAllocFail);
  SetMemLimit(EMemCategory::kPtr, kNoMemLimit);
  EXPECT_EQ(tables.Error(), err::kAllocFail);
  EXPECT_EQ(tables.Tokens().Count(), 0u);
}

// A complete description; each case below breaks one part of it.
const char kGoodIni[] =
    "[BaseTypes]\n"
    "MaxUserTypes = 4\n"
    "IntConst = 20, int\n"
    "FloatConst = 21, int\n"
    "StrConst = 22, int\n"
    "BoolConst = 23, flag*\n"
    "[DataTypes]\n"
    "int =\n"
    "flag =\n"
    "[int]\n"
    "TypeID = 1\nSize = 4\nVoidConstr = 1\nAddrConstr = 2\nDestr = 3\nIsTrue = 4\n"
    "Cast1 = flag, 5, 0\n"
    "Cast2 = flag, 6\n"
    "[flag]\n"
    "TypeID = 3\nSize = 1\nVoidConstr = 7\nAddrConstr = 8\nDestr = 9\n"
    "[Operators]\n"
    "inf2 = \"+\", \"-\"\n"
    "inf9 = \"=\"\n"
    "assoc9 = right\n"
    "pref1 = \"NOT\"\n"
    "inf-1 = \"skipped\"\n"
    "other = 1\n"
    "[GlobalVars]\n"
    "gCount = int, 30, 0\n"
    "[Functions]\n"
    "plus =\n"
    "[plus]\n"
    "Index = 40\nName = +\nResult = int\nArg1 = int\nArg2 = int\n";


std::unique_ptr<CScriptCompiler> Load(const std::string& text) {
  CMemoryFile file{std::string_view(text)};
  return CScriptCompiler::FromIni(&file);
}

TEST(ScriptTablesTest, TheIniDescription) {
  std::unique_ptr<CScriptCompiler> tables = Load(kGoodIni);
  ASSERT_EQ(tables->Error(), err::kOk) << TraceBuffer();
  EXPECT_EQ(tables->TypeCapacity(), 4);
  const STypeRecord* type = tables->Type(1);
  ASSERT_NE(type, nullptr);
  EXPECT_EQ(type->is_true, 4);
  ASSERT_EQ(type->cast_count, 2);
  EXPECT_EQ(type->casts[0].weight, 100);
  EXPECT_EQ(type->casts[1].function, 6);
  EXPECT_EQ(tables->Literal(kBoolLiteral).type, 0x103);
  ASSERT_EQ(tables->OperatorCount(), 4u);
  EXPECT_STREQ(tables->Operator(0).symbol, "+");
  EXPECT_STREQ(tables->Operator(2).symbol, "=");
  EXPECT_EQ(tables->Operator(2).assoc, EAssoc::kRight);
  EXPECT_EQ(tables->Operator(3).kind, EOpKind::kPrefix);
  const SGlobalRecord* global = tables->FindGlobal("gCount", false);
  ASSERT_NE(global, nullptr);
  EXPECT_EQ(global->index, 30);
  EXPECT_EQ(global->size, 1);
  // Record 0 of the global list stays empty.
  EXPECT_NE(tables->Dump().find("Global variables count = 2\r\n"
                                "Name: TypeID:0 Index:0 Size:0\r\n"
                                "Name:gCount TypeID:1 Index:30 Size:1\r\n"),
            std::string::npos);
  ASSERT_EQ(tables->Functions().size(), 1u);
  EXPECT_STREQ(tables->Functions()[0].name, "+");
  EXPECT_EQ(tables->Functions()[0].arg_count, 2);
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return text.replace(at, from.size(), to);
}

TEST(ScriptTablesTest, EveryIniMessage) {
  struct SCase {
    std::string from;
    std::string to;
    const char* message;
    ErrCode error;
  };
  const SCase cases[] = {
      {"MaxUserTypes = 4", "", "MaxUserTypes key in BaseTypes section is required.\n",
       err::kNoKey},
      {"MaxUserTypes = 4", "MaxUserTypes = 0", "MaxUserTypes key have invalid value.\n",
       err::kBadKeyVal},
      {"[DataTypes]", "[Other]", "Required section DataTypes not available.\n", err::kNoSection},
      {"int =\nflag", "2int =\nflag", "Invalid type name.\n", err::kBadKeyVal},
      {"flag =\n", "flag =\nnone =\n", "Type section not available.\n", err::kNoSection},
      {"TypeID = 1\n", "", "Missing TypeID key.\n", err::kNoKey},
      {"TypeID = 1\n", "TypeID = 4\n", "Invalid type ID.\n", err::kBadKeyVal},
      {"TypeID = 3\n", "TypeID = 1\n", "Type ID duplicates.\n", err::kBadKeyVal},
      {"Size = 4\n", "", "Required key Size in type section not available.\n", err::kNoKey},
      {"Size = 4\n", "Size = 0\n", "Value of Size key incorrect.\n", err::kBadKeyVal},
      {"VoidConstr = 1\n", "", "VoidConstr key is required for all types.\n", err::kNoKey},
      {"AddrConstr = 2\n", "AddrConstr = 0\n", "AddrConstr key is required for all types.\n",
       err::kNoKey},
      {"Destr = 3\n", "", "Destr key is required for all types.\n", err::kNoKey},
      {"Cast1 = flag, 5, 0", "Cast1 = flag*, 5", "Incorrect cast target type.\n",
       err::kBadKeyVal},
      {"Cast1 = flag, 5, 0", "Cast1 = flag", "Incorrect cast info: no function index.\n",
       err::kBadKeyVal},
      {"Cast1 = flag, 5, 0", "Cast1 = flag, 0", "Incorrect cast info: bad function index.\n",
       err::kBadKeyVal},
      {"IntConst = 20, int\n", "", "Required key IntConst in BaseTypes section not available.\n",
       err::kNoKey},
      {"StrConst = 22, int", "StrConst = 22, nosuch",
       "Incorrect key StrConst in BaseTypes section.\n", err::kBadKeyVal},
      {"[Operators]", "[Ops]", "Operators section is required.\n", err::kNoSection},
      {"inf2 =", "infx =", "Invalid operators key.\n", err::kBadKeyVal},
      {"\"+\", \"-\"", "+", "Operator symbol must be quoted.\n", err::kBadKeyVal},
      {"\"+\", \"-\"", "\"12345678\"", "Too long operator symbol.\n", err::kBadKeyVal},
      {"\"+\", \"-\"", "\"+\" \"-\"", "Invalid symbol after quoted op symbol.\n",
       err::kBadKeyVal},
      {"gCount = int", "2count = int", "Invalid name for global variable.\n", err::kBadKeyVal},
      {"gCount = int", "gCount = real", "Invalid type name for global variable.\n",
       err::kBadKeyVal},
      {"gCount = int, 30, 0", "gCount = int", "Global variable index missing.\n",
       err::kBadKeyVal},
      {"gCount = int, 30, 0", "gCount = int, 0", "Global variable index incorrect.\n",
       err::kBadKeyVal},
      {"[Functions]", "[Funcs]", "Required section Functions not available.\n",
       err::kNoSection},
      {"plus =\n", "plus =\nminus =\n", "Function definition section not available.\n",
       err::kNoSection},
      {"Index = 40\n", "", "Index key is required for functions.\n", err::kNoKey},
      {"Result = int\n", "", "Result key is required for functions.\n", err::kNoKey},
      {"Result = int\n", "Result = real\n", "Invalid return type name.\n", err::kBadKeyVal},
      {"Arg2 = int\n", "Arg2 = int**\n", "Invalid argument type name.\n", err::kBadKeyVal},
      {"inf9 = \"=\"", "inf9 = \"==\"", "Assignment operator must be defined.\n",
       err::kBadKeyVal},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.message);
    std::unique_ptr<CScriptCompiler> tables = Load(Replace(kGoodIni, c.from, c.to));
    EXPECT_EQ(tables->Error(), c.error);
    EXPECT_STREQ(TraceBuffer(), c.message);
  }
}

TEST(ScriptTablesTest, TheTwentyFirstIniOperatorIsDropped) {
  std::string many = "inf3 = ";
  for (int i = 0; i < 20; ++i) many += (i ? ", \"o" : "\"o") + std::to_string(i) + "\"";
  std::unique_ptr<CScriptCompiler> tables =
      Load(Replace(kGoodIni, "pref1 = \"NOT\"", many));
  ASSERT_EQ(tables->Error(), err::kOk) << TraceBuffer();
  EXPECT_EQ(tables->OperatorCount(), 20u);
}

TEST(ScriptTablesTest, AMissingIniFileIsNotFound) {
  EXPECT_EQ(CScriptCompiler::FromIni("/no/such/types.ini")->Error(), err::kNotFound);
}

}  // namespace
