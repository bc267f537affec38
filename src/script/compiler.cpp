#include "script/compiler.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "script/bytecode.h"
#include "script/tokenizer.h"

// ---- signatures ----

namespace {

bool IsWordStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsWordChar(char c) { return IsWordStart(c) || (c >= '0' && c <= '9'); }

const char* SkipSpaces(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

// Reads an identifier of at most 31 characters; false when there is none or
// it is longer.
bool ReadWord(const char** p, char* word) {
  const char* start = *p;
  if (!IsWordStart(*start)) return false;
  const char* end = start;
  while (IsWordChar(*end)) ++end;
  if (static_cast<size_t>(end - start) > kMaxNameLength) return false;
  std::memcpy(word, start, static_cast<size_t>(end - start));
  word[end - start] = 0;
  *p = end;
  return true;
}

// A type name with an optional '*' after it (spaces allowed before the '*').
bool ReadType(const CScriptCompiler& tables, const char** p, uint16_t* code) {
  char word[kNameSize];
  if (!ReadWord(p, word) || !tables.FindType(word, code)) return false;
  const char* after = SkipSpaces(*p);
  if (*after == '*') {
    *code |= kAddrFlag;
    *p = after + 1;
  }
  return true;
}

}  // namespace

bool ParseSignature(const CScriptCompiler& tables, const char* text, bool handler,
                    SParamInfo* info) {
  *info = SParamInfo{};
  const char* p = SkipSpaces(text);
  char word[kNameSize];
  const char* start = p;
  if (ReadWord(&p, word) && std::strcmp(word, "void") == 0) {
    info->result = kVoidType;
  } else {
    p = start;
    if (!ReadType(tables, &p, &info->result)) return false;
    if (handler) info->result |= kAddrFlag;
  }
  for (p = SkipSpaces(p); *p; p = SkipSpaces(p)) {
    if (*p != ',' || info->count == kMaxArgs) return false;
    p = SkipSpaces(p + 1);
    SParamInfo::SParam& param = info->params[info->count++];
    if (!ReadType(tables, &p, &param.type)) return false;
    p = SkipSpaces(p);
    if (IsWordStart(*p) && !ReadWord(&p, param.name)) return false;
  }
  return true;
}

// ---- compilation ----

namespace {

constexpr uint32_t kIsWord = 4;  // the least a variable read counts on the stack
constexpr uint32_t kConversionCost = 10;
constexpr size_t kCodeStep = 1024;
constexpr size_t kBreakStep = 4;
constexpr size_t kLocalStep = 16;
constexpr uint16_t kAllLevels = 0xFFFF;

struct SLocal {
  char name[kNameSize];
  uint16_t type;
  uint32_t offset;
  uint16_t level;
};

// What an expression left: its type (0: no value), where its code lies and
// how much the stack accounting counted for it.
struct SValue {
  uint16_t type = kVoidType;
  uint32_t start = 0;
  uint32_t end = 0;
  uint32_t counted = 0;
  int64_t peak = 0;        // the deepest stack while its code ran
  int64_t max_before = 0;  // the largest depth reached before its code
};

enum class EConversion : uint8_t { kNone, kDereference, kTakeAddress, kCast };

struct SResolution {
  const SFunctionRecord* function = nullptr;
  EConversion conversions[kMaxArgs] = {};
  uint16_t casts[kMaxArgs] = {};
  // How the function's result becomes the wanted type, when one was asked.
  EConversion result = EConversion::kNone;
  uint16_t result_cast = 0;
};

// The contexts that apply a configured function; each reports a missing
// match and an operand that must be a variable in its own words.
enum class ECallKind : uint8_t { kCall, kPrefix, kPostfix, kInfix, kIndex, kReturn };

enum class EStatement : uint8_t { kFailed, kNormal, kReturned };

// An application, or a literal's cast, that ended a bracketed expression
// whose context wants a type: whether it is the outermost one is known only
// from the token after the closing bracket.
struct SPending {
  bool active = false;
  bool literal = false;
  ECallKind kind = ECallKind::kCall;
  char name[kNameSize] = {};
  SValue args[kMaxArgs];
  int count = 0;
};

struct SLoop {
  uint32_t start = 0;
  uint16_t level = 0;
  CPtrList<uint32_t> breaks{kBreakStep};
};

class CCompilation {
 public:
  CCompilation(const CScriptCompiler& tables, CTokenSource* source, const SParamInfo& params,
               std::string* errors)
      : m_tables(tables), m_source(source), m_params(params), m_errors(errors) {}
  ~CCompilation() { PtrFree(m_code); }
  CCompilation(const CCompilation&) = delete;
  CCompilation& operator=(const CCompilation&) = delete;

  bool Run(SCodeBlock* block);

 private:
  // ---- diagnostics and tokens ----
  void Write(const char* format, va_list args);
  bool Error(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Warning(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool Next();
  uint32_t Kind() const { return m_kind; }
  const char* Text() const { return reinterpret_cast<const char*>(m_token + 4); }
  const char* StringText() const { return reinterpret_cast<const char*>(m_token + 8); }
  uint32_t IntValue() const;
  double FloatValue() const;
  bool IsOperator() const { return m_kind >= kTokOperatorBase && m_kind < kTokTypeBase; }
  bool IsTypeToken() const { return m_kind >= kTokTypeBase && m_kind < kTokIndexCloseBase; }
  int OperatorOf(EOpKind kind, uint8_t priority) const;
  bool CanStartOperand() const;
  uint32_t Line() const;

  // ---- code ----
  uint32_t Here() const { return static_cast<uint32_t>(m_size); }
  bool Insert(uint32_t at, const uint8_t* bytes, size_t count);
  bool Emit(const uint8_t* bytes, size_t count) { return Insert(Here(), bytes, count); }
  bool EmitF(uint8_t op, uint16_t f);
  bool EmitF32(uint8_t op, uint16_t f, uint32_t operand);
  bool EmitSrcLine();
  bool EmitJump(uint8_t op, uint16_t f, uint32_t* at);
  void PatchForward(uint32_t jump, uint32_t length, uint32_t target);
  int32_t BackwardOffset(uint32_t target) const {
    return static_cast<int32_t>(target) - static_cast<int32_t>(Here());
  }
  void Grow(int64_t delta);

  // ---- locals ----
  const SLocal* FindLocal(const char* name) const;
  bool AddLocal(const char* name, uint16_t type);
  bool EmitDestructors(uint16_t deeper_than);
  void ForgetLocals(uint16_t deeper_than);
  uint16_t ReadConstructor(uint16_t type) const;

  // ---- statements ----
  bool Declarations();
  bool Declarator(uint16_t type);
  bool ConstructLiteral(uint16_t wanted, const char* name);
  EStatement StatementList(bool braced, bool top);
  bool SkipToClosingBrace();
  EStatement Statement(bool top);
  EStatement Block(bool whole_script);
  EStatement If();
  EStatement While();
  EStatement BreakContinue();
  EStatement Return();
  EStatement ExpressionStatement(bool first);
  bool Condition(const SValue& value, const char* missing, const char* no_truth);
  bool StoreResult(SValue address, SValue value);
  bool DropValue(const SValue& value);
  bool FinishScript();

  // ---- expressions ----
  // `wanted` (0: none) is the type the context needs from the expression's
  // outermost call; it reaches only the calls that may turn out outermost.
  bool Expression(uint8_t priority, SValue* value, uint16_t wanted = kVoidType);
  bool Unary(uint8_t priority, SValue* value, uint16_t wanted);
  bool Factor(SValue* value, uint16_t wanted);
  bool Bracketed(SValue* value, uint16_t wanted);
  bool Defers() const { return m_wanted_brackets > 0 && Kind() == kTokRightParen; }
  bool Postpone(ECallKind kind, const char* name, const SValue* args, int count);
  bool Settle(SValue* value, uint16_t wanted);
  bool EndsExpression() const;
  bool Literal(SValue* value);
  bool CastLiteral(SValue* value, uint16_t wanted);
  bool Variable(SValue* value, bool* found);
  bool Call(const char* name, SValue* value, uint16_t wanted);
  bool Index(SValue* value, uint16_t wanted);
  bool ApplyOperator(ECallKind kind, const char* symbol, SValue* args, int count,
                     SValue* value);
  bool Apply(ECallKind kind, const char* name, SValue* args, int count, SValue* value,
             uint16_t wanted = kVoidType);
  bool Resolve(ECallKind kind, const char* name, const SValue* args, int count,
               uint16_t wanted, SResolution* out, bool* ambiguous) const;
  bool Score(const SFunctionRecord& function, const SValue* args, uint16_t wanted,
             uint32_t* cost, SResolution* out) const;
  bool ConvertResult(const SResolution& resolution, uint16_t wanted, SValue* value);
  bool Retype(const uint8_t* bytes, uint16_t wanted, SValue* value);
  bool Convert(ECallKind kind, const char* name, const SResolution& resolution, SValue* args,
               int count);
  void ReplayDepth(SValue* args, const int64_t* deltas, int count);
  bool ReportNoMatch(ECallKind kind, const char* name, const SValue* args);
  bool ReportNotAddress(ECallKind kind, const char* name, int operand);
  const char* TypeName(uint16_t type) const;
  bool Enter();
  void Leave() { --m_nesting; }

  const CScriptCompiler& m_tables;
  CTokenSource* m_source;
  const SParamInfo& m_params;
  std::string* m_errors;

  uint8_t m_token[kTokenBufferSize] = {};
  uint32_t m_kind = kTokEnd;
  uint8_t* m_code = nullptr;
  size_t m_size = 0;
  size_t m_capacity = 0;
  bool m_out_of_memory = false;

  int64_t m_depth = 0;
  int64_t m_max_depth = 0;
  uint32_t m_frame = 0;
  uint16_t m_level = 0;
  uint32_t m_open_braces = 0;
  uint32_t m_nesting = 0;
  bool m_first_statement = true;
  uint32_t m_wanted_brackets = 0;  // open brackets whose context wants a type
  SPending m_pending;
  CPtrList<SLocal> m_locals{kLocalStep};
  SLoop m_loops[kMaxLoops];
  uint16_t m_loop_count = 0;
};

// ---- diagnostics and tokens ----

void CCompilation::Write(const char* format, va_list args) {
  uint32_t line = 0;
  uint32_t column = 0;
  m_source->Position(&line, &column);
  char text[512];
  std::snprintf(text, sizeof text, "%s(%lu, %lu): ", m_source->SourceName(),
                static_cast<unsigned long>(line), static_cast<unsigned long>(column));
  m_errors->append(text);
  std::vsnprintf(text, sizeof text, format, args);
  m_errors->append(text);
  m_errors->append("\r\n");
}

bool CCompilation::Error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(format, args);
  va_end(args);
  return false;
}

void CCompilation::Warning(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(format, args);
  va_end(args);
}

bool CCompilation::Next() {
  const uint32_t status = m_source->NextToken(m_token, kTokenBufferSize);
  if (status == err::kEof) {
    m_kind = kTokEnd;
    return true;
  }
  if (status != 0)
    return Error("The token generator returned an error code (%ld).", static_cast<long>(status));
  std::memcpy(&m_kind, m_token, 4);
  return true;
}

uint32_t CCompilation::IntValue() const {
  uint32_t value = 0;
  std::memcpy(&value, m_token + 4, 4);
  return value;
}

double CCompilation::FloatValue() const {
  double value = 0;
  std::memcpy(&value, m_token + 4, 8);
  return value;
}

int CCompilation::OperatorOf(EOpKind kind, uint8_t priority) const {
  if (!IsOperator()) return -1;
  return m_tables.FindOperator(m_kind & 0xFFFF, kind, priority);
}

bool CCompilation::CanStartOperand() const {
  switch (m_kind) {
    case kTokLeftParen:
    case kTokInteger:
    case kTokFloat:
    case kTokString:
    case kTokIdentifier:
    case kTokTrue:
    case kTokFalse:
      return true;
    default:
      break;
  }
  if (!IsOperator()) return false;
  for (uint8_t priority = 1; priority <= m_tables.HighestPriority(); ++priority)
    if (OperatorOf(EOpKind::kPrefix, priority) >= 0) return true;
  return false;
}

uint32_t CCompilation::Line() const {
  uint32_t line = 0;
  uint32_t column = 0;
  m_source->Position(&line, &column);
  return line;
}

const char* CCompilation::TypeName(uint16_t type) const {
  const STypeRecord* record = m_tables.Type(TypeId(type));
  return record ? record->name : "void";
}

// Guards the native stack against deeply nested text.
bool CCompilation::Enter() {
  if (++m_nesting > kMaxNesting) return Error("Nesting too deep.");
  return true;
}

// ---- code ----

bool CCompilation::Insert(uint32_t at, const uint8_t* bytes, size_t count) {
  if (m_out_of_memory) return false;
  if (m_size + count > m_capacity) {
    // Whole 1024-byte steps, at least doubling, so long scripts stay linear.
    const size_t wanted = std::max(m_size + count, 2 * m_capacity);
    const size_t capacity = (wanted + kCodeStep - 1) / kCodeStep * kCodeStep;
    void* grown = PtrRealloc(m_code, capacity);
    if (!grown) {
      m_out_of_memory = true;
      return false;
    }
    m_code = static_cast<uint8_t*>(grown);
    m_capacity = capacity;
  }
  std::memmove(m_code + at + count, m_code + at, m_size - at);
  std::memcpy(m_code + at, bytes, count);
  m_size += count;
  return true;
}

bool CCompilation::EmitF(uint8_t op, uint16_t f) {
  uint8_t bytes[kCallLength] = {op};
  PutLe16(bytes + 1, f);
  return Emit(bytes, sizeof bytes);
}

bool CCompilation::EmitF32(uint8_t op, uint16_t f, uint32_t operand) {
  uint8_t bytes[7] = {op};
  PutLe16(bytes + 1, f);
  PutLe32(bytes + 3, operand);
  return Emit(bytes, sizeof bytes);
}

bool CCompilation::EmitSrcLine() {
  uint8_t bytes[kSrcLineLength] = {kOpSrcLine};
  PutLe32(bytes + 1, Line());
  return Emit(bytes, sizeof bytes);
}

// Emits a jump with a zero distance and answers where it starts.
bool CCompilation::EmitJump(uint8_t op, uint16_t f, uint32_t* at) {
  *at = Here();
  if (op == kOpJump) {
    const uint8_t bytes[kJumpLength] = {kOpJump};
    return Emit(bytes, sizeof bytes);
  }
  return EmitF32(op, f, 0);
}

void CCompilation::PatchForward(uint32_t jump, uint32_t length, uint32_t target) {
  PutLe32(m_code + jump + length - 4, target - (jump + length));
}

void CCompilation::Grow(int64_t delta) {
  m_depth += delta;
  m_max_depth = std::max(m_max_depth, m_depth);
}

// ---- locals ----

const SLocal* CCompilation::FindLocal(const char* name) const {
  for (size_t i = m_locals.size(); i-- > 0;)
    if (m_locals[i].name[0] && std::strcmp(m_locals[i].name, name) == 0) return &m_locals[i];
  return nullptr;
}

bool CCompilation::AddLocal(const char* name, uint16_t type) {
  SLocal local{};
  std::memcpy(local.name, name, std::strlen(name));
  local.type = type;
  local.offset = m_frame;
  local.level = m_level;
  if (!m_locals.Add(local)) return Error("Memory allocation fail.");
  m_frame += m_tables.StackSize(type);
  return true;
}

// Destroys the locals of levels deeper than `deeper_than` (kAllLevels: every
// local), newest first.
bool CCompilation::EmitDestructors(uint16_t deeper_than) {
  for (size_t i = m_locals.size(); i > 0 && (m_locals[i - 1].level > deeper_than ||
                                             deeper_than == kAllLevels);
       --i) {
    const SLocal& local = m_locals[i - 1];
    const uint16_t destructor = IsAddress(local.type)
                                    ? m_tables.AddrDestructor()
                                    : m_tables.Type(TypeId(local.type))->destructor;
    if (!EmitF(kOpCall, destructor)) return false;
  }
  return true;
}

// Forgets the locals of levels deeper than `deeper_than` and gives their
// frame space back.
void CCompilation::ForgetLocals(uint16_t deeper_than) {
  while (!m_locals.empty() && m_locals.back().level > deeper_than) {
    m_frame -= m_tables.StackSize(m_locals.back().type);
    m_depth -= m_tables.StackSize(m_locals.back().type);
    m_locals.PopBack();
  }
}

uint16_t CCompilation::ReadConstructor(uint16_t type) const {
  return IsAddress(type) ? m_tables.AddrConstructor()
                         : m_tables.Type(TypeId(type))->addr_constructor;
}

// ---- the script ----

bool CCompilation::Run(SCodeBlock* block) {
  if (m_params.result != kVoidType && !AddLocal("", m_params.result)) return false;
  for (uint16_t i = 0; i < m_params.count; ++i) {
    const SParamInfo::SParam& param = m_params.params[i];
    const SLocal* same = param.name[0] ? FindLocal(param.name) : nullptr;
    if (same) {
      m_errors->append("Params info incorrect.\n");
      return false;
    }
    if (!AddLocal(param.name, param.type)) return false;
  }
  const uint32_t param_area = m_frame;
  m_depth = m_max_depth = param_area;
  if (!Next() || !Declarations()) return false;
  const EStatement last = StatementList(false, true);
  if (last == EStatement::kFailed) return false;
  if (last != EStatement::kReturned) {
    if (m_params.result != kVoidType) return Error("Missing return value.");
    if (!EmitDestructors(kAllLevels)) return false;
  }
  if (m_out_of_memory) return false;

  const size_t total = kBlockHeaderSize + m_size;
  uint8_t* bytes = static_cast<uint8_t*>(PtrAlloc(total));
  if (!bytes) return false;
  std::memset(bytes, 0, kBlockHeaderSize);
  bytes[0] = kBlockMagic;
  PutLe32(bytes + kHeaderParamAreaOffset, param_area);
  PutLe32(bytes + kHeaderStackSizeOffset, static_cast<uint32_t>(m_max_depth));
  PutLe32(bytes + kHeaderCodeSizeOffset, static_cast<uint32_t>(m_size));
  PutLe16(bytes + kHeaderResultOffset, m_params.result);
  for (uint16_t i = 0; i < m_params.count; ++i)
    PutLe16(bytes + kHeaderParamsOffset + 2 * i, m_params.params[i].type);
  PutLe16(bytes + kHeaderParamCountOffset, m_params.count);
  if (m_size) std::memcpy(bytes + kBlockHeaderSize, m_code, m_size);
  block->Reset(bytes, total);
  return true;
}

// ---- declarations ----

bool CCompilation::Declarations() {
  while (IsTypeToken()) {
    const uint16_t type = static_cast<uint16_t>(Kind() & 0xFF);
    if (!EmitSrcLine() || !Next() || !Declarator(type)) return false;
  }
  return true;
}

// The names of one declaration statement, from the first name to the ';'.
bool CCompilation::Declarator(uint16_t type) {
  for (;;) {
    if (Kind() != kTokIdentifier) return Error("Identifier expected");
    char name[kTokenBufferSize];
    std::strcpy(name, Text());
    if (std::strlen(name) > kMaxNameLength) return Error("Too long variable name: %s", name);
    const SLocal* same = FindLocal(name);
    if (same && same->level >= m_level) return Error("Variable already declared: %s", name);
    if (!Next()) return false;
    if (Kind() == m_tables.Tokens().CodeOf("=")) {
      if (!Next() || !ConstructLiteral(type, name) || !Next()) return false;
    } else {
      const uint16_t constructor = m_tables.Type(type)->void_constructor;
      if (!constructor)
        return Error("Variable of type %s hasn't void constructor.", TypeName(type));
      if (!EmitF(kOpConsV, constructor)) return false;
      Grow(m_tables.StackSize(type));
    }
    if (!AddLocal(name, type)) return false;
    if (Kind() == kTokSemicolon) return Next();
    if (Kind() == kTokEnd) return Error("Unexpected end of file.");
    if (Kind() != kTokComma) return Error("Comma or semicolon expected.");
    if (!Next()) return false;
    if (Kind() == kTokEnd) return Error("Variable name expected after comma.");
  }
}

// A literal initialiser constructed as `wanted`.
bool CCompilation::ConstructLiteral(uint16_t wanted, const char* name) {
  switch (Kind()) {
    case kTokInteger:
    case kTokFloat:
    case kTokString:
    case kTokTrue:
    case kTokFalse:
      break;
    default:
      return Error("Constant expected after %s=", name);
  }
  SValue literal;
  if (!Literal(&literal)) return false;
  if (literal.type == wanted) return true;
  const STypeRecord* from = m_tables.Type(TypeId(literal.type));
  for (uint16_t i = 0; from && !IsAddress(wanted) && i < from->cast_count; ++i) {
    if (from->casts[i].target != wanted) continue;
    if (!EmitF(kOpCall, from->casts[i].function)) return false;
    Grow(static_cast<int64_t>(m_tables.StackSize(wanted)) - literal.counted);
    return true;
  }
  return Error("Type %s can not be constructed with this constant", TypeName(wanted));
}

// ---- statements ----

// Statements up to a '}' (left unread) or the end of the text. `top`: the
// script's own statement list, whose last statement decides the result.
EStatement CCompilation::StatementList(bool braced, bool top) {
  EStatement last = EStatement::kNormal;
  for (;;) {
    if (Kind() == kTokEnd) {
      if (braced) return Error("Right bracket } expected."), EStatement::kFailed;
      return last;
    }
    if (Kind() == kTokRightBrace) {
      if (braced) return last;
      return Error("Closing } without correspond opening."), EStatement::kFailed;
    }
    if (last == EStatement::kReturned) {
      Warning("Code after return operator - skipped.");
      return SkipToClosingBrace() ? last : EStatement::kFailed;
    }
    last = Statement(top);
    if (last == EStatement::kFailed) return last;
  }
}

bool CCompilation::SkipToClosingBrace() {
  uint32_t depth = 0;
  while (Kind() != kTokEnd && !(Kind() == kTokRightBrace && depth == 0)) {
    if (Kind() == kTokLeftBrace) ++depth;
    if (Kind() == kTokRightBrace) --depth;
    if (!Next()) return false;
  }
  return true;
}

EStatement CCompilation::Statement(bool top) {
  const bool first = m_first_statement;
  const bool whole_script = first && top && Kind() == kTokLeftBrace && Here() == 0;
  m_first_statement = whole_script;
  if (!Enter()) return EStatement::kFailed;
  EStatement result = EStatement::kFailed;
  switch (Kind()) {
    case kTokSemicolon:
      result = Next() ? EStatement::kNormal : EStatement::kFailed;
      break;
    case kTokLeftBrace:
      result = Block(whole_script);
      break;
    case kTokIf:
      result = If();
      break;
    case kTokWhile:
      result = While();
      break;
    case kTokBreak:
    case kTokContinue:
      result = BreakContinue();
      break;
    case kTokReturn:
      result = Return();
      break;
    default:
      result = ExpressionStatement(first && top);
      break;
  }
  Leave();
  return result;
}

// A block. A return inside a nested block does not end the enclosing list;
// the block that opens the script is the script's own statement list.
EStatement CCompilation::Block(bool whole_script) {
  if (!Next()) return EStatement::kFailed;
  ++m_open_braces;
  ++m_level;
  if (!Declarations()) return EStatement::kFailed;
  const EStatement last = StatementList(true, whole_script);
  if (last == EStatement::kFailed) return last;
  if (last != EStatement::kReturned &&
      !EmitDestructors(static_cast<uint16_t>(m_level - 1)))
    return EStatement::kFailed;
  ForgetLocals(static_cast<uint16_t>(m_level - 1));
  --m_level;
  --m_open_braces;
  if (!Next()) return EStatement::kFailed;
  return whole_script ? last : EStatement::kNormal;
}

bool CCompilation::Condition(const SValue& value, const char* missing, const char* no_truth) {
  if (value.type == kVoidType || IsAddress(value.type)) return Error("%s", missing);
  const uint16_t truth = m_tables.Type(TypeId(value.type))->is_true;
  if (!truth) return Error(no_truth, TypeName(value.type));
  return true;
}

EStatement CCompilation::If() {
  SValue condition;
  if (!EmitSrcLine() || !Next() || !Expression(m_tables.HighestPriority(), &condition) ||
      !Condition(condition, "Missing value or pointer in if-then-else.",
                 "%s type can not be used in if-then-else"))
    return EStatement::kFailed;
  if (Kind() != kTokThen) return Error("then is expected after if expression"), EStatement::kFailed;
  uint32_t jfalse = 0;
  if (!EmitJump(kOpJFalse, m_tables.Type(TypeId(condition.type))->is_true, &jfalse))
    return EStatement::kFailed;
  Grow(-static_cast<int64_t>(condition.counted));
  if (!Next() || Statement(false) == EStatement::kFailed) return EStatement::kFailed;
  if (Kind() != kTokElse) {
    PatchForward(jfalse, kJFalseLength, Here());
    return EStatement::kNormal;
  }
  uint32_t jump = 0;
  if (!EmitJump(kOpJump, 0, &jump)) return EStatement::kFailed;
  PatchForward(jfalse, kJFalseLength, Here());
  if (!Next() || Statement(false) == EStatement::kFailed) return EStatement::kFailed;
  PatchForward(jump, kJumpLength, Here());
  return EStatement::kNormal;
}

EStatement CCompilation::While() {
  if (m_loop_count == kMaxLoops) return Error("Too much nested loops"), EStatement::kFailed;
  if (!EmitSrcLine()) return EStatement::kFailed;
  const uint32_t start = Here();
  SValue condition;
  if (!Next() || !Expression(m_tables.HighestPriority(), &condition) ||
      !Condition(condition, "Missing value or pointer in while-do.",
                 "%s type can not be used in while-do"))
    return EStatement::kFailed;
  if (Kind() != kTokDo) return Error("do is expected after while expression"), EStatement::kFailed;
  uint32_t jfalse = 0;
  if (!EmitJump(kOpJFalse, m_tables.Type(TypeId(condition.type))->is_true, &jfalse))
    return EStatement::kFailed;
  Grow(-static_cast<int64_t>(condition.counted));
  SLoop& loop = m_loops[m_loop_count++];
  loop.start = start;
  loop.level = m_level;
  loop.breaks.Truncate(0);
  ++m_level;
  const bool body = Next() && Statement(false) != EStatement::kFailed;
  --m_level;
  --m_loop_count;
  if (!body) return EStatement::kFailed;
  uint8_t back[kJumpLength] = {kOpJump};
  PutLe32(back + 1, static_cast<uint32_t>(BackwardOffset(start)));
  if (!Emit(back, sizeof back)) return EStatement::kFailed;
  PatchForward(jfalse, kJFalseLength, Here());
  for (uint32_t at : loop.breaks) PatchForward(at, kJumpLength, Here());
  return EStatement::kNormal;
}

EStatement CCompilation::BreakContinue() {
  const bool is_break = Kind() == kTokBreak;
  if (m_loop_count == 0)
    return Error("break and continue can't be used outside of loop body"), EStatement::kFailed;
  if (!Next()) return EStatement::kFailed;
  if (Kind() != kTokSemicolon)
    return Error("Semicolon is expected after break/continue"), EStatement::kFailed;
  SLoop& loop = m_loops[m_loop_count - 1];
  if (!EmitDestructors(loop.level)) return EStatement::kFailed;
  uint8_t jump[kJumpLength] = {kOpJump};
  if (is_break) {
    if (!loop.breaks.Add(Here()))
      return Error("Can't register break operator ! "), EStatement::kFailed;
  } else {
    PutLe32(jump + 1, static_cast<uint32_t>(BackwardOffset(loop.start)));
  }
  if (!Emit(jump, sizeof jump)) return EStatement::kFailed;
  return Next() ? EStatement::kNormal : EStatement::kFailed;
}

// Ends the script: destroys every local and emits END.
bool CCompilation::FinishScript() {
  if (!EmitDestructors(kAllLevels)) return false;
  const uint8_t end = kOpEnd;
  return Emit(&end, 1);
}

EStatement CCompilation::Return() {
  if (!EmitSrcLine() || !Next()) return EStatement::kFailed;
  const bool bare = Kind() == kTokSemicolon;
  if (m_params.result == kVoidType) {
    if (!bare) return Error("Unexpected return value."), EStatement::kFailed;
    return FinishScript() && Next() ? EStatement::kReturned : EStatement::kFailed;
  }
  SValue address;
  SValue value;
  if (!bare) {
    address.start = Here();
    if (!EmitF32(kOpConsA, m_tables.AddrConstructor(), 0)) return EStatement::kFailed;
    address.type = m_params.result;
    address.end = Here();
    address.counted = kAddressSize;
    address.max_before = m_max_depth;
    Grow(kAddressSize);
    address.peak = m_depth;
    const uint16_t wanted = static_cast<uint16_t>(m_params.result & ~kAddrFlag);
    if (!Expression(m_tables.HighestPriority(), &value, wanted)) return EStatement::kFailed;
  }
  if (value.type == kVoidType)
    return Error("No value in return statement."), EStatement::kFailed;
  if (!StoreResult(address, value) || !FinishScript()) return EStatement::kFailed;
  if (Kind() == kTokSemicolon && !Next()) return EStatement::kFailed;
  return EStatement::kReturned;
}

// Calls the assignment function with the result address and the value.
bool CCompilation::StoreResult(SValue address, SValue value) {
  SValue args[2] = {address, value};
  SValue stored;
  return Apply(ECallKind::kReturn, "=", args, 2, &stored);
}

bool CCompilation::DropValue(const SValue& value) {
  if (IsAddress(value.type)) {
    if (!EmitF(kOpCall, m_tables.AddrDestructor())) return false;
    Warning("Warning: Returned pointer not used - removed from stack.");
  } else {
    if (!EmitF(kOpCall, m_tables.Type(TypeId(value.type))->destructor)) return false;
    Warning("Warning: Returned value not used - removed from stack");
  }
  Grow(-static_cast<int64_t>(value.counted));
  return true;
}

EStatement CCompilation::ExpressionStatement(bool first) {
  if (!EmitSrcLine()) return EStatement::kFailed;
  const uint32_t start = Here();
  const int64_t outer_max = m_max_depth;
  m_max_depth = m_depth;
  SValue value;
  const bool parsed = Expression(m_tables.HighestPriority(), &value);
  const int64_t expression_max = m_max_depth;
  m_max_depth = std::max(outer_max, expression_max);
  if (!parsed) return EStatement::kFailed;
  const bool ends_script =
      first && (Kind() == kTokEnd || (Kind() == kTokRightBrace && m_open_braces > 0));
  if (!ends_script) {
    if (value.type != kVoidType && !DropValue(value)) return EStatement::kFailed;
    return Kind() == kTokEnd || Next() ? EStatement::kNormal : EStatement::kFailed;
  }
  if (value.type == kVoidType) return FinishScript() ? EStatement::kReturned : EStatement::kFailed;
  if (m_params.result == kVoidType)
    return DropValue(value) && FinishScript() ? EStatement::kReturned : EStatement::kFailed;
  // The result address goes in front of the value's code.
  uint8_t read[kConsALength] = {kOpConsA};
  PutLe16(read + 1, m_tables.AddrConstructor());
  PutLe32(read + 3, 0);
  if (!Insert(start, read, sizeof read)) return EStatement::kFailed;
  SValue address;
  address.type = m_params.result;
  address.start = start;
  address.end = start + kConsALength;
  address.counted = kAddressSize;
  address.max_before = outer_max;
  address.peak = m_depth - value.counted + kAddressSize;
  value.start += kConsALength;
  value.end += kConsALength;
  value.peak = std::max(value.peak, expression_max) + kAddressSize;
  Grow(kAddressSize);
  m_max_depth = std::max(m_max_depth, expression_max + kAddressSize);
  return StoreResult(address, value) && FinishScript() ? EStatement::kReturned
                                                       : EStatement::kFailed;
}

// ---- expressions ----

// Priority climbing: level 0 is a factor; every level above it is a chain
// of unary(level) operands joined by infix operators of that level.
bool CCompilation::Expression(uint8_t priority, SValue* value, uint16_t wanted) {
  if (priority == 0) return Factor(value, wanted);
  if (!Enter()) return false;
  bool ok = Unary(priority, value, wanted);
  for (int op = OperatorOf(EOpKind::kInfix, priority); ok && op >= 0;
       op = OperatorOf(EOpKind::kInfix, priority)) {
    const SOperatorRecord& record = m_tables.Operator(static_cast<size_t>(op));
    ok = Next();
    if (!ok) break;
    if (Kind() == kTokEnd) {
      ok = Error("Operand expected after %s operator", record.symbol);
      break;
    }
    if (!CanStartOperand()) {
      ok = Error("Invalid operand after infix operator %s", record.symbol);
      break;
    }
    SValue args[2] = {*value, {}};
    ok = record.assoc == EAssoc::kLeft ? Unary(priority, &args[1], kVoidType)
                                       : Expression(priority, &args[1]);
    if (!ok) break;
    if (args[0].type == kVoidType || args[1].type == kVoidType) {
      ok = Error("Missing operand value for infix operator %s.", record.symbol);
      break;
    }
    ok = Apply(ECallKind::kInfix, record.symbol, args, 2, value,
               EndsExpression() ? wanted : kVoidType);
  }
  Leave();
  return ok;
}

bool CCompilation::Unary(uint8_t priority, SValue* value, uint16_t wanted) {
  const int prefix = OperatorOf(EOpKind::kPrefix, priority);
  if (prefix >= 0 && !Next()) return false;
  if (!Expression(static_cast<uint8_t>(priority - 1), value, prefix >= 0 ? kVoidType : wanted))
    return false;
  if (prefix >= 0) {
    const char* symbol = m_tables.Operator(static_cast<size_t>(prefix)).symbol;
    if (value->type == kVoidType)
      return Error("Attempt to apply prefix operator %s on missing value.", symbol);
    if (!Apply(ECallKind::kPrefix, symbol, value, 1, value,
               EndsExpression() ? wanted : kVoidType))
      return false;
  }
  const int postfix = OperatorOf(EOpKind::kPostfix, priority);
  if (postfix < 0) return true;
  const char* symbol = m_tables.Operator(static_cast<size_t>(postfix)).symbol;
  if (!Next()) return false;
  if (value->type == kVoidType)
    return Error("Attempt to apply postfix operator %s on missing value.", symbol);
  return Apply(ECallKind::kPostfix, symbol, value, 1, value,
               EndsExpression() ? wanted : kVoidType);
}

// Whether the current token ends the expression around the value just
// built: no infix, postfix or index operator can follow and take it.
bool CCompilation::EndsExpression() const {
  if (!IsOperator()) return true;
  if (OperatorOf(EOpKind::kIndex, 0) >= 0) return false;
  for (uint8_t priority = 1; priority <= m_tables.HighestPriority(); ++priority)
    if (OperatorOf(EOpKind::kInfix, priority) >= 0 || OperatorOf(EOpKind::kPostfix, priority) >= 0)
      return false;
  return true;
}

bool CCompilation::Factor(SValue* value, uint16_t wanted) {
  if (!Enter()) return false;
  *value = SValue{};
  value->start = Here();
  value->max_before = m_max_depth;
  const int64_t start_depth = m_depth;
  bool ok = true;
  switch (Kind()) {
    case kTokLeftParen:
      ok = Bracketed(value, wanted);
      break;
    case kTokInteger:
    case kTokFloat:
    case kTokString:
    case kTokTrue:
    case kTokFalse:
      ok = Literal(value) && Next() && CastLiteral(value, EndsExpression() ? wanted : kVoidType);
      break;
    case kTokIdentifier: {
      char name[kTokenBufferSize];
      std::strcpy(name, Text());
      if (std::strlen(name) > kMaxNameLength) {
        ok = Error("Too long identifier: %s", name);
        break;
      }
      bool found = false;
      ok = Variable(value, &found) && Next();
      if (ok && !found) ok = Call(name, value, wanted);
      break;
    }
    default:
      ok = Error("Unexpected starting token for factor.");
      break;
  }
  value->peak = std::max(value->peak, start_depth + value->counted);
  while (ok && OperatorOf(EOpKind::kIndex, 0) >= 0) ok = Index(value, wanted);
  Leave();
  return ok;
}

// A bracketed expression passes the wanted type on, but what its outermost
// application would do with it waits for the token after the bracket; an
// enclosing bracket that closes right after this one decides in its place.
bool CCompilation::Bracketed(SValue* value, uint16_t wanted) {
  if (wanted != kVoidType) ++m_wanted_brackets;
  bool ok = Next() && Expression(m_tables.HighestPriority(), value, wanted);
  if (wanted != kVoidType) --m_wanted_brackets;
  if (ok && Kind() != kTokRightParen) ok = Error("Missing right bracket.");
  if (!ok || !Next()) return false;
  if (!m_pending.active || Defers()) return true;
  return Settle(value, EndsExpression() ? wanted : kVoidType);
}

bool CCompilation::Postpone(ECallKind kind, const char* name, const SValue* args, int count) {
  m_pending.active = true;
  m_pending.literal = false;
  m_pending.kind = kind;
  std::memset(m_pending.name, 0, kNameSize);
  std::memcpy(m_pending.name, name, std::min(std::strlen(name), kMaxNameLength));
  std::copy(args, args + count, m_pending.args);
  m_pending.count = count;
  return true;
}

bool CCompilation::Settle(SValue* value, uint16_t wanted) {
  m_pending.active = false;
  if (m_pending.literal) return CastLiteral(value, wanted);
  return Apply(m_pending.kind, m_pending.name, m_pending.args, m_pending.count, value, wanted);
}

bool CCompilation::Literal(SValue* value) {
  value->start = Here();
  const ELiteral kinds[] = {kIntLiteral, kFloatLiteral, kStringLiteral, kBoolLiteral};
  ELiteral kind = kinds[0];
  bool ok = false;
  switch (Kind()) {
    case kTokInteger:
      kind = kIntLiteral;
      ok = EmitF32(kOpConsI, m_tables.Literal(kind).function, IntValue());
      break;
    case kTokFloat: {
      kind = kFloatLiteral;
      uint8_t bytes[kConsFLength] = {kOpConsF};
      PutLe16(bytes + 1, m_tables.Literal(kind).function);
      const double number = FloatValue();
      std::memcpy(bytes + 3, &number, 8);
      ok = Emit(bytes, sizeof bytes);
      break;
    }
    case kTokString: {
      kind = kStringLiteral;
      const size_t length = std::min(std::strlen(StringText()), kMaxStringLiteral);
      uint8_t bytes[3 + kMaxStringLiteral + 1] = {kOpConsS};
      PutLe16(bytes + 1, m_tables.Literal(kind).function);
      std::memcpy(bytes + 3, StringText(), length);
      bytes[3 + length] = 0;
      ok = Emit(bytes, 3 + length + 1);
      break;
    }
    default: {
      kind = kBoolLiteral;
      const uint8_t bytes[kConsBLength] = {
          kOpConsB, static_cast<uint8_t>(m_tables.Literal(kind).function),
          static_cast<uint8_t>(m_tables.Literal(kind).function >> 8), Kind() == kTokTrue};
      ok = Emit(bytes, sizeof bytes);
      break;
    }
  }
  value->type = m_tables.Literal(kind).type;
  value->counted = m_tables.StackSize(value->type);
  value->end = Here();
  Grow(value->counted);
  value->peak = m_depth;
  return ok;
}

// A literal wanted as another type follows with the cast to it; without one
// the literal cannot stand there.
bool CCompilation::CastLiteral(SValue* value, uint16_t wanted) {
  if (wanted == kVoidType || value->type == wanted) return true;
  if (Defers()) {
    m_pending.active = m_pending.literal = true;
    return true;
  }
  const STypeRecord* from = m_tables.Type(TypeId(value->type));
  for (uint16_t i = 0; from && i < from->cast_count; ++i) {
    if (from->casts[i].target != wanted) continue;
    uint8_t bytes[kCallLength] = {kOpCall};
    PutLe16(bytes + 1, from->casts[i].function);
    return Retype(bytes, wanted, value);
  }
  return ReportNoMatch(ECallKind::kReturn, "=", value);
}

// A local (newest first) or a global of the current identifier.
bool CCompilation::Variable(SValue* value, bool* found) {
  *found = false;
  const int64_t before = m_depth;
  if (const SLocal* local = FindLocal(Text())) {
    *found = true;
    value->type = local->type;
    if (!EmitF32(kOpConsA, ReadConstructor(local->type), local->offset)) return false;
  } else if (const SGlobalRecord* global = m_tables.FindGlobal(Text(), true)) {
    *found = true;
    value->type = global->type;
    uint8_t bytes[kConsELength] = {kOpConsE};
    PutLe16(bytes + 1, ReadConstructor(global->type));
    PutLe16(bytes + 3, global->index);
    if (!Emit(bytes, sizeof bytes)) return false;
  } else {
    return true;
  }
  value->end = Here();
  value->counted = std::max<uint32_t>(m_tables.StackSize(value->type), kIsWord);
  Grow(value->counted);
  value->peak = before + value->counted;
  return true;
}

// With a wanted type the token after the call is read first: it tells
// whether the call is the outermost one.
bool CCompilation::Call(const char* name, SValue* value, uint16_t wanted) {
  if (Kind() != kTokLeftParen)
    return Error("Left bracket expected for possible function name %s", name);
  if (!Next()) return false;
  SValue args[kMaxArgs];
  int count = 0;
  if (Kind() != kTokRightParen) {
    for (;;) {
      if (count == kMaxArgs) return Error("Too many parameters for function.");
      const int64_t outer_max = m_max_depth;
      m_max_depth = m_depth;
      SValue& arg = args[count++];
      const bool parsed = Expression(m_tables.HighestPriority(), &arg);
      arg.peak = std::max(arg.peak, m_max_depth);
      arg.max_before = std::max(arg.max_before, outer_max);
      m_max_depth = std::max(outer_max, m_max_depth);
      if (!parsed) return false;
      if (arg.type == kVoidType) return Error("Par %d of function %s has no value.", count, name);
      if (Kind() == kTokRightParen) break;
      if (Kind() != kTokComma) return Error("Right bracket or comma expected");
      if (!Next()) return false;
    }
  }
  if (wanted == kVoidType) return Apply(ECallKind::kCall, name, args, count, value) && Next();
  return Next() &&
         Apply(ECallKind::kCall, name, args, count, value, EndsExpression() ? wanted : kVoidType);
}

bool CCompilation::Index(SValue* value, uint16_t wanted) {
  const SOperatorRecord& record =
      m_tables.Operator(static_cast<size_t>(OperatorOf(EOpKind::kIndex, 0)));
  const uint32_t closing = kTokIndexCloseBase | static_cast<uint32_t>(&record - &m_tables.Operator(0));
  if (!Next()) return false;
  if (Kind() == kTokEnd) return Error("Operand expected after opening %s operator", record.symbol);
  SValue args[2] = {*value, {}};
  if (!Expression(m_tables.HighestPriority(), &args[1])) return false;
  if (args[0].type == kVoidType || args[1].type == kVoidType)
    return Error("Missing operand value for index operator %s.", record.symbol);
  if (Kind() != closing) return Error("Can't find closing symbol of %s operator.", record.symbol);
  if (wanted == kVoidType) return Apply(ECallKind::kIndex, record.symbol, args, 2, value) && Next();
  return Next() && Apply(ECallKind::kIndex, record.symbol, args, 2, value,
                         EndsExpression() ? wanted : kVoidType);
}

// ---- overload resolution and conversions ----

bool CCompilation::Score(const SFunctionRecord& function, const SValue* args, uint16_t wanted,
                         uint32_t* cost, SResolution* out) const {
  *cost = 0;
  for (uint16_t i = 0; i < function.arg_count; ++i) {
    const uint16_t arg = args[i].type;
    const uint16_t param = function.args[i];
    if (arg == kVoidType) return false;
    if (arg == param) {
      out->conversions[i] = EConversion::kNone;
      continue;
    }
    if (IsAddress(arg) && param == (arg & ~kAddrFlag)) {
      out->conversions[i] = EConversion::kDereference;
      *cost += kConversionCost;
      continue;
    }
    if (!IsAddress(arg) && param == (arg | kAddrFlag)) {
      out->conversions[i] = EConversion::kTakeAddress;
      *cost += kConversionCost;
      continue;
    }
    const STypeRecord* type = m_tables.Type(TypeId(arg));
    const SCast* cast = nullptr;
    for (uint16_t c = 0; type && c < type->cast_count; ++c)
      if (type->casts[c].target == param) cast = &type->casts[c];
    if (!cast) return false;
    out->conversions[i] = EConversion::kCast;
    out->casts[i] = cast->function;
    *cost += cast->weight;
  }
  if (wanted == kVoidType || function.result == wanted) return true;
  if (function.result == kVoidType) return false;
  if (IsAddress(function.result)) {
    if ((function.result & ~kAddrFlag) != wanted) return false;
    out->result = EConversion::kDereference;
    *cost += kConversionCost;
    return true;
  }
  const STypeRecord* type = m_tables.Type(TypeId(function.result));
  for (uint16_t c = 0; type && c < type->cast_count; ++c) {
    if (type->casts[c].target != wanted) continue;
    out->result = EConversion::kCast;
    out->result_cast = type->casts[c].function;
    *cost += type->casts[c].weight;
    return true;
  }
  return false;
}

// Scans the candidates in table order; a later candidate at or below the
// best cost replaces it, and a best cost reached twice is ambiguous.
bool CCompilation::Resolve(ECallKind kind, const char* name, const SValue* args, int count,
                           uint16_t wanted, SResolution* out, bool* ambiguous) const {
  uint32_t best = 0;
  bool tie = false;
  out->function = nullptr;
  for (const SFunctionRecord& function : m_tables.Functions()) {
    if (function.arg_count != count || std::strcmp(function.name, name) != 0) continue;
    if (kind == ECallKind::kReturn && function.args[0] != m_params.result) continue;
    SResolution candidate;
    uint32_t cost = 0;
    if (!Score(function, args, wanted, &cost, &candidate)) continue;
    if (out->function && cost > best) continue;
    tie = out->function && cost == best;
    best = cost;
    *out = candidate;
    out->function = &function;
  }
  *ambiguous = tie;
  return out->function && !tie;
}

// `args` may be null for a call (its operands are not named).
bool CCompilation::ReportNoMatch(ECallKind kind, const char* name, const SValue* args) {
  if (kind == ECallKind::kCall) return Error("No matching function with name %s", name);
  const bool pointer = IsAddress(args[0].type);
  switch (kind) {
    case ECallKind::kCall:
      break;
    case ECallKind::kPrefix:
      if (pointer)
        return Error("Prefix operator %s can not be applied to pointer to type %s", name,
                     TypeName(args[0].type));
      return Error("Prefix operator %s can not be applied to type %s", name,
                   TypeName(args[0].type));
    case ECallKind::kPostfix:
      if (pointer)
        return Error("Postfix operator %s can not be applied to pointer to type %s", name,
                     TypeName(args[0].type));
      return Error("Postfix operator %s can not be applied to type %s", name,
                   TypeName(args[0].type));
    case ECallKind::kInfix:
      return Error("Infix operator %s can not be applied.", name);
    case ECallKind::kIndex:
      return Error("Index operator %s can not be applied.", name);
    case ECallKind::kReturn:
      return Error("Can not copy return value");
  }
  return false;
}

bool CCompilation::ReportNotAddress(ECallKind kind, const char* name, int operand) {
  switch (kind) {
    case ECallKind::kCall:
      return ReportNoMatch(kind, name, nullptr);
    case ECallKind::kPrefix:
      return Error("Prefix operator %s expect address", name);
    case ECallKind::kPostfix:
      return Error("Postfix operator %s expects address", name);
    case ECallKind::kInfix:
    case ECallKind::kIndex:
      return Error("Operand %d of %s operator must be address", operand, name);
    case ECallKind::kReturn:
      return Error("Return expression must be address");
  }
  return false;
}

// Applies each argument's conversion at the end of that argument's code,
// last argument first, so the earlier arguments' positions stay valid; the
// stack accounting then replays the deepest point of every argument with
// the conversions of the arguments before it.
bool CCompilation::Convert(ECallKind kind, const char* name, const SResolution& resolution,
                           SValue* args, int count) {
  int64_t deltas[kMaxArgs] = {};
  for (int i = count - 1; i >= 0; --i) {
    SValue& arg = args[i];
    const uint16_t param = resolution.function->args[i];
    switch (resolution.conversions[i]) {
      case EConversion::kNone:
        continue;
      case EConversion::kDereference: {
        uint8_t bytes[kCallLength] = {kOpConsD};
        PutLe16(bytes + 1, m_tables.Type(TypeId(param))->addr_constructor);
        if (!Insert(arg.end, bytes, sizeof bytes)) return false;
        break;
      }
      case EConversion::kTakeAddress: {
        uint8_t* code = m_code + arg.start;
        const uint32_t length = arg.end - arg.start;
        if (length == kConsALength && code[0] == kOpConsA) {
          const uint32_t offset = GetLe32(code + 3);
          code[0] = kOpPushA;
          PutLe32(code + 1, offset);
          code[5] = code[6] = kOpNullInstr;
        } else if (length == kConsELength && code[0] == kOpConsE) {
          const uint16_t index = GetLe16(code + 3);
          code[0] = kOpPushE;
          PutLe16(code + 1, index);
          code[3] = code[4] = kOpNullInstr;
        } else {
          return ReportNotAddress(kind, name, i + 1);
        }
        break;
      }
      case EConversion::kCast: {
        uint8_t bytes[kCallLength] = {kOpCall};
        PutLe16(bytes + 1, resolution.casts[i]);
        if (!Insert(arg.end, bytes, sizeof bytes)) return false;
        break;
      }
    }
    deltas[i] = static_cast<int64_t>(m_tables.StackSize(param)) - arg.counted;
    arg.counted = m_tables.StackSize(param);
    if (resolution.conversions[i] == EConversion::kTakeAddress) arg.peak += deltas[i];
  }
  ReplayDepth(args, deltas, count);
  return true;
}

// A cast or a dereference runs after its argument's code and moves only
// what follows; taking the address replaced the argument's code (one
// variable read) by a 4-byte push, which the argument's peak already
// shows. The largest depth is counted again from before the first
// argument, as the variable reads were counted at their value's size.
void CCompilation::ReplayDepth(SValue* args, const int64_t* deltas, int count) {
  if (count == 0) return;
  int64_t depth = m_depth;  // the depth below the first argument, after the loop
  for (int i = 0; i < count; ++i) depth -= args[i].counted - deltas[i];
  m_max_depth = args[0].max_before;
  int64_t before = 0;
  for (int i = 0; i < count; ++i) {
    depth += args[i].counted;  // the end of the argument, converted
    args[i].peak = std::max(args[i].peak + before, depth);
    m_max_depth = std::max(m_max_depth, args[i].peak);
    before += deltas[i];
  }
  Grow(before);
}

bool CCompilation::Apply(ECallKind kind, const char* name, SValue* args, int count,
                         SValue* value, uint16_t wanted) {
  if (wanted != kVoidType && Defers()) return Postpone(kind, name, args, count);
  SResolution resolution;
  bool ambiguous = false;
  if (!Resolve(kind, name, args, count, wanted, &resolution, &ambiguous)) {
    if (ambiguous) Error("Can not resolve function call for %s", name);
    return ReportNoMatch(kind, name, args);
  }
  if (!Convert(kind, name, resolution, args, count)) return false;
  const SFunctionRecord& function = *resolution.function;
  if (!EmitF(kOpCall, function.function)) return false;
  const uint32_t start = count ? args[0].start : Here() - kCallLength;
  int64_t consumed = 0;
  for (int i = 0; i < count; ++i) consumed += args[i].counted;
  const int64_t before = m_depth - consumed;
  Grow(m_tables.StackSize(function.result) - consumed);
  int64_t peak = m_depth;
  for (int i = 0; i < count; ++i) peak = std::max(peak, args[i].peak);
  const int64_t max_before = count ? args[0].max_before : value->max_before;
  *value = SValue{};
  value->max_before = max_before;
  value->type = function.result;
  value->start = start;
  value->end = Here();
  value->counted = m_tables.StackSize(function.result);
  value->peak = std::max(peak, before + value->counted);
  return ConvertResult(resolution, wanted, value);
}

// The result conversion follows the CALL.
bool CCompilation::ConvertResult(const SResolution& resolution, uint16_t wanted, SValue* value) {
  uint8_t bytes[kCallLength] = {};
  switch (resolution.result) {
    case EConversion::kNone:
    case EConversion::kTakeAddress:
      return true;
    case EConversion::kDereference:
      bytes[0] = kOpConsD;
      PutLe16(bytes + 1, m_tables.Type(TypeId(wanted))->addr_constructor);
      break;
    case EConversion::kCast:
      bytes[0] = kOpCall;
      PutLe16(bytes + 1, resolution.result_cast);
      break;
  }
  return Retype(bytes, wanted, value);
}

// Emits the conversion instruction that turns `value` into `wanted`.
bool CCompilation::Retype(const uint8_t* bytes, uint16_t wanted, SValue* value) {
  if (!Emit(bytes, kCallLength)) return false;
  const uint32_t size = m_tables.StackSize(wanted);
  Grow(static_cast<int64_t>(size) - value->counted);
  value->type = wanted;
  value->counted = size;
  value->end = Here();
  value->peak = std::max(value->peak, m_depth);
  return true;
}

}  // namespace

bool CScriptCompiler::Compile(CTokenSource* source, const SParamInfo& params,
                              std::string* errors, SCodeBlock* block) {
  if (m_error || !source->AttachTable(m_tokens.Entries())) return false;
  CCompilation compilation(*this, source, params, errors);
  return compilation.Run(block);
}
