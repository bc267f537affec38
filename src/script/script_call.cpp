#include "script/script_call.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "base/log.h"
#include "script/context.h"
#include "script/library.h"
#include "script/script_machine.h"
#include "script/script_string.h"

namespace {

using enum lib::ETypeId;

// The bytes a value of a library type occupies; 0 for other types.
uint32_t ValueSize(uint16_t id) {
  switch (id) {
    case kInt: case kPoint: case kStr: return 4;
    case kFloat: case kRect: return 8;
    case kBool: return 1;
    case kPstr: return 256;
    default: return 0;
  }
}

// The pushing half of the protocol, position by position; the cursors
// move through the stack, the temporary area and the arguments.
class CMarshal {
 public:
  CMarshal(CScriptContext& context, MarshalHook hook, uint8_t* temp, ScriptAddr temp_address,
           std::span<const SCallArg> args)
      : m_context(context), m_hook(hook), m_temp(temp), m_temp_address(temp_address),
        m_args(args) {}
  CTempCursor TempArea() const { return {m_temp, m_temp + kCallTempSize, m_temp_address}; }

  ~CMarshal() {
    for (StrHandle handle : m_made) StrRelease(handle);
  }

  // Pushes every position. Anything but kPushed runs nothing, and the
  // strings made so far are released again.
  enum class EPush : uint8_t { kPushed, kRefused, kBadArgs };
  EPush PushAll() {
    uint8_t* sp = m_context.Bottom();
    CTempCursor temp = TempArea();
    const SCallArg* arg = m_args.data();
    EPush result = EPush::kPushed;
    ForEachPosition([&](uint16_t type, uint16_t id) {
      if (!ValueSize(id)) {
        // The hook takes one argument and pushes at most an 8-byte value.
        if (arg == m_args.data() + m_args.size() || sp + 8 > m_context.Top())
          result = EPush::kBadArgs;
        else if (!m_hook || !m_hook(type, &sp, &temp, &arg))
          result = EPush::kRefused;
        return result == EPush::kPushed;
      }
      const uint32_t pushed = IsAddress(type) ? 4 : ValueSize(id);
      if (arg == m_args.data() + m_args.size() || sp + pushed > m_context.Top()) {
        result = EPush::kBadArgs;
      } else if (IsAddress(type)) {
        if (!PushAddress(id, *arg, &sp, &temp)) result = EPush::kBadArgs;
      } else {
        PushValue(id, *arg, sp);
        sp += pushed;
      }
      ++arg;
      return result == EPush::kPushed;
    });
    if (result != EPush::kPushed) return result;
    m_context.SetSp(sp);
    m_made.clear();  // the script and the write-back own them now
    return EPush::kPushed;
  }

  // Copies the address positions back to the caller's variables.
  void WriteBack() {
    CTempCursor temp = TempArea();
    const SCallArg* arg = m_args.data();
    ForEachPosition([&](uint16_t type, uint16_t id) {
      if (!ValueSize(id)) {
        if (m_hook) m_hook(type, nullptr, &temp, &arg);
        return true;
      }
      if (IsAddress(type)) {
        CopyBack(id, *arg, &temp);
      } else if (id == kStr && arg->pointer && m_keeper && m_keeper->Kept()) {
        StrCopyOut(m_keeper->Handle(), static_cast<char*>(arg->pointer), arg->size);
      }
      ++arg;
      return true;
    });
  }

 private:
  // Calls `visit(type code, type id)` for the result and each parameter in
  // signature order, skipping a void result, while it answers true.
  template <class F>
  void ForEachPosition(F visit) const {
    const SBlockHeader& header = m_context.Header();
    const int count = std::min<int>(header.param_count, kMaxArgs);
    for (int position = 0; position <= count; ++position) {
      const uint16_t type = position == 0 ? header.result : header.params[position - 1];
      if (type != kVoidType && !visit(type, static_cast<uint16_t>(type & 0xFF))) return;
    }
  }

  StrHandle Made(StrHandle handle) {
    if (handle) m_made.push_back(handle);
    return handle;
  }

  void PushValue(uint16_t id, const SCallArg& arg, uint8_t* sp) {
    switch (id) {
      case kBool: *sp = Peek<int32_t>(arg.value) != 0; break;
      case kPstr: PstrSet(sp, arg.text ? arg.text : ""); break;
      case kStr:
        Poke(sp, Made(arg.text ? StrNew(arg.text) : StrHandle{0}));
        if (arg.pointer) m_keeper.emplace(sp);
        break;
      default: std::memcpy(sp, arg.value, ValueSize(id)); break;
    }
  }

  bool PushAddress(uint16_t id, const SCallArg& arg, uint8_t** sp, CTempCursor* temp) {
    ScriptAddr address = 0;
    uint8_t* slot = temp->Take(ValueSize(id), &address);
    if (!slot || !arg.pointer) return false;
    const char* buffer = static_cast<const char*>(arg.pointer);
    if (id == kPstr) {
      PstrSet(slot, std::string_view(buffer, strnlen(buffer, arg.size)));
    } else if (id == kStr) {
      Poke(slot, Made(StrNew(std::string_view(buffer, strnlen(buffer, arg.size)))));
    } else {
      std::memcpy(slot, arg.pointer, ValueSize(id));
    }
    Poke(*sp, address);
    *sp += 4;
    return true;
  }

  static void CopyBack(uint16_t id, const SCallArg& arg, CTempCursor* temp) {
    ScriptAddr address = 0;
    const uint8_t* slot = temp->Take(ValueSize(id), &address);
    char* buffer = static_cast<char*>(arg.pointer);
    if (id == kPstr) {
      const std::string_view text = PstrText(slot);
      if (arg.size) {
        const size_t count = std::min(text.size(), arg.size - 1);
        std::memcpy(buffer, text.data(), count);
        buffer[count] = '\0';
      }
    } else if (id == kStr) {
      const StrHandle handle = Peek<StrHandle>(slot);
      StrCopyOut(handle, buffer, arg.size);
      if (arg.null_out) *arg.null_out = handle == 0;
      StrRelease(handle);
    } else {
      std::memcpy(arg.pointer, slot, ValueSize(id));
    }
  }

  CScriptContext& m_context;
  MarshalHook m_hook;
  uint8_t* m_temp;
  ScriptAddr m_temp_address;
  std::span<const SCallArg> m_args;
  std::vector<StrHandle> m_made;
  std::optional<CStrKeeper> m_keeper;  // of a TextInOut position
};

}  // namespace

SCallArg SCallArg::Bytes(const void* bytes, size_t size) {
  SCallArg arg;
  std::memcpy(arg.value, bytes, size);
  return arg;
}

namespace {

// The argument protocol around a run of `context`, made by `make` once the
// machine takes calls.
template <class MakeContext>
ErrCode RunCall(CScriptMachine& machine, MakeContext make, std::span<const SCallArg> args,
                SRunOutcome* outcome) {
  SRunOutcome local;
  SRunOutcome& result = outcome ? *outcome : local;
  result = {};
  const SCallState& calls = machine.Calls();
  if (calls.suspended) return err::kOk;
  CScriptContext context = make();
  if (context.Failed()) {
    result.error = context.Error();
    return context.Error() == err::kAllocFail ? err::kAllocFail : err::kOk;
  }
  uint8_t temp[kCallTempSize] = {};
  const CMappedRegion temp_region(temp, kCallTempSize, machine.Memory());
  if (!temp_region.Address()) return err::kAllocFail;
  CMarshal marshal(context, calls.hook, temp, temp_region.Address(), args);
  switch (marshal.PushAll()) {
    case CMarshal::EPush::kPushed: break;
    case CMarshal::EPush::kRefused: return err::kOk;
    case CMarshal::EPush::kBadArgs: return err::kBadParams;
  }
  result.steps = context.Run(calls.step_limit);
  result.finished = context.Finished();
  result.error = context.Error();
  if (!result.finished && !context.Failed()) {
    result.out_of_steps = true;
    const CScriptRun::CScope current(&context);
    ScriptDiagnostic("script step limit reached");
  }
  context.Reset();
  marshal.WriteBack();
  return err::kOk;
}

}  // namespace

ErrCode CallBlock(CScriptMachine& machine, const uint8_t* block, size_t size,
                  std::span<const SCallArg> args, SRunOutcome* outcome) {
  return RunCall(
      machine, [&] { return CScriptContext(machine, block, size); }, args, outcome);
}

ErrCode CallDecoded(CScriptMachine& machine, const CDecodedBlock& decoded,
                    std::span<const SCallArg> args, SRunOutcome* outcome) {
  return RunCall(
      machine, [&] { return CScriptContext(machine, decoded); }, args, outcome);
}

ErrCode CompileAndCall(CScriptMachine& machine, const char* text, const char* signature,
                       std::span<const SCallArg> args, SRunOutcome* outcome) {
  SParamInfo params;
  if (!ParseSignature(*machine.Compiler(), signature, true, &params))
    return err::kBadParamString;
  SCodeBlock block;
  if (!machine.CompileText(text, signature, &block)) return err::kSyntax;
  return CallBlock(machine, block.data, block.size, args, outcome);
}

CHandlerScope::CHandlerScope(CScriptMachine& machine, const CScriptOwner& object,
                             const char* handler)
    : m_current(machine.Calls().current), m_outer(m_current) {
  m_current = {&object, handler};
}

CHandlerScope::~CHandlerScope() { m_current = m_outer; }

ErrCode CallHandler(CScriptMachine& machine, CHandlerStore& object, const char* handler,
                    const char* signature, std::span<const SCallArg> args,
                    SRunOutcome* outcome) {
  SRunOutcome ignored;
  if (!outcome) outcome = &ignored;
  using ECall = SRunOutcome::ECall;
  const auto came_to = [outcome](ECall call, ErrCode error) {
    outcome->call = call;
    return error;
  };
  uint32_t key = 0;
  if (!object.FindHandler(handler, &key)) return came_to(ECall::kMissing, err::kNotFound);
  SCodeBlock block;
  CHandlerStore::EBlock state = object.LoadBlock(key, &block);
  if (state == CHandlerStore::EBlock::kBroken) {
    object.ForgetBlock(key);
    state = CHandlerStore::EBlock::kNone;
  }
  if (state != CHandlerStore::EBlock::kLoaded) {
    if (!machine.Calls().tool_mode) return came_to(ECall::kUncompiled, err::kNotFound);
    SParamInfo params;
    if (!ParseSignature(*machine.Compiler(), signature, true, &params))
      return came_to(ECall::kFailed, err::kBadParamString);
    std::string source;
    if (!object.LoadSource(key, &source)) return came_to(ECall::kFailed, err::kUnknownError);
    if (!machine.CompileText(source.c_str(), signature, &block))
      return came_to(ECall::kFailed, err::kSyntax);
    if (ErrCode error = object.StoreBlock(key, block)) return came_to(ECall::kFailed, error);
  }
  if (machine.Calls().suspended) return came_to(ECall::kSuspended, err::kOk);
  outcome->call = ECall::kRun;
  const CHandlerScope scope(machine, object, handler);
  return CallBlock(machine, block.data, block.size, args, outcome);
}

void ScriptDiagnostic(const char* format, ...) {
  std::string line;
  char buffer[kLogLineSize];
  if (const CScriptRun* run = CScriptRun::Current()) {
    const SCurrentScript& current = run->Machine().Calls().current;
    if (current.object) line += current.object->Id();
    if (current.handler) {
      line += "::";
      line += current.handler;
    }
    std::snprintf(buffer, sizeof buffer, "(%lu)", static_cast<unsigned long>(run->Line()));
    line += buffer;
    const int32_t function = run->LastFunction();
    if (function >= 0) {
      const std::string& name = run->Machine().NativeName(static_cast<uint16_t>(function));
      if (!name.empty()) line += ": " + name;
    }
  }
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  line += ": ";
  line += buffer;
  LogMessage(kLogEngine, "%s\n", line.c_str());
}
