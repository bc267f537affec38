// Running compiled blocks for the engine: the argument protocol, compiling
// and calling a text, the handler call, and the script diagnostic line.
//
// Arguments follow the block's signature, the result first. Value
// parameters are pushed onto the new context's stack; address parameters
// (and the result of a non-void script, which travels by address) are
// copied into a temporary area, their addresses pushed, and after the run
// the values are copied back to the caller's variables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/errors.h"
#include "script/compiler.h"
#include "script/address_space.h"
#include "base/geometry.h"

class CDecodedBlock;
class CScriptMachine;

// One argument of a call, read by the type code of its position.
struct SCallArg {
  uint8_t value[8] = {};       // int, bool, TPoint, float, TRect
  const char* text = nullptr;  // pstr, str (null: no string)
  void* pointer = nullptr;     // address positions: the caller's variable or buffer
  size_t size = 0;             // pstr*, str*: the buffer's size
  bool* null_out = nullptr;    // str*: set to whether the string came back null

  static SCallArg Int(int32_t value) { return Bytes(&value, 4); }
  static SCallArg Bool(bool value) { return Int(value); }
  static SCallArg Float(double value) { return Bytes(&value, 8); }
  static SCallArg Point(TPoint value) { return Bytes(&value, 4); }
  static SCallArg Rect(TRect value) { return Bytes(&value, 8); }
  static SCallArg Text(const char* text) {
    SCallArg arg;
    arg.text = text;
    return arg;
  }
  // The caller's variable of an int*, bool*, TPoint*, float* or TRect*
  // position (int32_t, uint8_t, TPoint, double, TRect).
  static SCallArg Ref(void* variable) {
    SCallArg arg;
    arg.pointer = variable;
    return arg;
  }
  // A str value position whose text the handler may change: pushed from
  // the NUL-terminated buffer, and the value the parameter holds when the
  // handler ends is copied back into it (at most one per call).
  static SCallArg TextInOut(char* buffer, size_t size) {
    SCallArg arg = Buffer(buffer, size);
    arg.text = buffer;
    return arg;
  }
  // The caller's NUL-terminated text buffer of a pstr* or str* position.
  static SCallArg Buffer(char* buffer, size_t size) {
    SCallArg arg;
    arg.pointer = buffer;
    arg.size = size;
    return arg;
  }

 private:
  static SCallArg Bytes(const void* bytes, size_t size);
};

// The temporary area of one call: enough for eight pstr addresses.
inline constexpr size_t kCallTempSize = 2060;

// The free part of a call's temporary area.
class CTempCursor {
 public:
  CTempCursor(uint8_t* at, uint8_t* end, ScriptAddr address)
      : m_at(at), m_end(end), m_address(address) {}
  // Takes `size` bytes: their host bytes and (in `address`) the script
  // address to push; null when the area is full.
  uint8_t* Take(uint32_t size, ScriptAddr* address) {
    if (size > static_cast<size_t>(m_end - m_at)) return nullptr;
    uint8_t* bytes = m_at;
    *address = m_address;
    m_at += size;
    m_address += size;
    return bytes;
  }

 private:
  uint8_t* m_at;
  uint8_t* m_end;
  ScriptAddr m_address;
};

// Marshals a position of a type code the library does not know. Pushing
// (sp not null): push the value at *sp, take address values from `temp`,
// take arguments from *args; false runs nothing. Writing back (sp null):
// take the same bytes from `temp` again, copy them back, advance *args.
using MarshalHook = bool (*)(uint16_t type, uint8_t** sp, CTempCursor* temp,
                             const SCallArg** args);

// The instruction budget of one call unless configured.
inline constexpr uint64_t kDefaultStepLimit = 10'000'000;

// How a call's run ended, for the callers that report it.
struct SRunOutcome {
  // What a handler call came to before any run.
  enum class ECall : uint8_t { kRun, kMissing, kUncompiled, kSuspended, kFailed };
  ErrCode error = err::kOk;  // the context's error
  bool finished = false;
  bool out_of_steps = false;
  uint64_t steps = 0;
  ECall call = ECall::kRun;
};

// The argument protocol: pushes `args` by the block's signature, runs the
// block within the step budget, writes the address positions back. Answers
// ALLOCFAIL when no context could be made, BADPARAMS when the arguments do
// not cover the signature or overflow the temporary area or the stack; a
// position the marshal hook refuses runs nothing and answers 0, and so does
// a run that stops with an error (the error is in `outcome`).
ErrCode CallBlock(CScriptMachine& machine, const uint8_t* block, size_t size,
                  std::span<const SCallArg> args, SRunOutcome* outcome = nullptr);
// The same for a block decoded before.
ErrCode CallDecoded(CScriptMachine& machine, const CDecodedBlock& decoded,
                    std::span<const SCallArg> args, SRunOutcome* outcome = nullptr);

// Parses the signature, compiles the text into the compile-error log and
// calls it: 0, BAD_PARAM_STRING or SYNTAX.
ErrCode CompileAndCall(CScriptMachine& machine, const char* text, const char* signature,
                       std::span<const SCallArg> args, SRunOutcome* outcome = nullptr);

// Whoever owns a running script, as diagnostics name it.
class CScriptOwner {
 public:
  virtual ~CScriptOwner() = default;
  // The object's ID, for diagnostics.
  virtual std::string Id() const = 0;
};

// An owner that keeps its handlers' sources and compiled blocks for the
// plain handler call below.
class CHandlerStore : public CScriptOwner {
 public:
  // Finds the handler among the object's own scripts, then its template's;
  // `key` names it in the calls below.
  virtual bool FindHandler(const char* name, uint32_t* key) = 0;
  enum class EBlock : uint8_t { kNone, kLoaded, kBroken };
  virtual EBlock LoadBlock(uint32_t key, SCodeBlock* block) = 0;
  virtual void ForgetBlock(uint32_t key) = 0;
  virtual bool LoadSource(uint32_t key, std::string* text) = 0;
  // Stores the block under a new handle and marks the owner as changed.
  virtual ErrCode StoreBlock(uint32_t key, const SCodeBlock& block) = 0;
};

// The script that runs now, as the handler call sets it.
struct SCurrentScript {
  const CScriptOwner* object = nullptr;
  const char* handler = nullptr;
};

// What the engine's natives keep for a machine; the script layer only owns
// it.
class CNativeHost {
 public:
  virtual ~CNativeHost() = default;
};

// How a machine's calls run, and where they stand; the machine owns it.
struct SCallState {
  // Marshals the positions of types the library does not know.
  MarshalHook hook = nullptr;
  // While set, CallBlock runs nothing (a modal object of the world is open).
  bool suspended = false;
  uint64_t step_limit = kDefaultStepLimit;
  // Whether handlers may be compiled on demand (the authoring tool).
  bool tool_mode = false;
  SCurrentScript current;
  // Runs in progress; they nest through natives that call scripts.
  uint32_t nesting = 0;
  // The engine's handler calls that ran, for the run's statistics.
  uint64_t handler_calls = 0;
  // What the engine's natives act on, set up by their registration; the
  // script layer never looks at it.
  std::unique_ptr<CNativeHost> host;
};

// Makes a handler the current script while it lives.
class CHandlerScope {
 public:
  CHandlerScope(CScriptMachine& machine, const CScriptOwner& object, const char* handler);
  ~CHandlerScope();
  CHandlerScope(const CHandlerScope&) = delete;
  CHandlerScope& operator=(const CHandlerScope&) = delete;

 private:
  SCurrentScript& m_current;
  SCurrentScript m_outer;
};

ErrCode CallHandler(CScriptMachine& machine, CHandlerStore& object, const char* handler,
                    const char* signature, std::span<const SCallArg> args,
                    SRunOutcome* outcome = nullptr);

// The script diagnostic: one line to the message log, naming the current
// object and handler, the source line and the native being executed (of
// the innermost run, when one runs).
void ScriptDiagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));
