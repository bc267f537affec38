// The run a native is called from.
//
// Natives are called as f(sp), the calling convention compiled code fixes,
// so they find the script that called them, its machine and its address
// space through the innermost run. Runs nest (a native may run another
// script) and each makes itself the innermost run while it executes.
#pragma once

#include <cstdint>

#include "base/errors.h"
#include "script/address_space.h"

class CScriptMachine;

class CScriptRun {
 public:
  CScriptRun(const CScriptRun&) = delete;
  CScriptRun& operator=(const CScriptRun&) = delete;

  CScriptMachine& Machine() const { return m_machine; }
  CScriptAddressSpace& Memory() const { return m_memory; }

  // Records `error` and stops the run (the first error stays).
  virtual void Fail(ErrCode error) = 0;
  // For diagnostics and dumps: the current source line, the native being
  // executed (-1 when none), the stack from its bottom up to sp, and the
  // code with the offset of the current instruction.
  virtual uint32_t Line() const = 0;
  virtual int32_t LastFunction() const = 0;
  virtual const uint8_t* StackBottom() const = 0;
  virtual const uint8_t* Code() const = 0;
  virtual uint32_t CodeSize() const = 0;
  virtual uint32_t Ip() const = 0;

  // The innermost run, or null. One pointer for the process: the calling
  // convention gives natives nothing else to find their run by.
  static CScriptRun* Current() { return s_current; }

  // Makes a run the innermost one for a scope.
  class CScope {
   public:
    explicit CScope(CScriptRun* run) : m_outer(s_current) { s_current = run; }
    ~CScope() { s_current = m_outer; }
    CScope(const CScope&) = delete;
    CScope& operator=(const CScope&) = delete;

   private:
    CScriptRun* m_outer;
  };

 protected:
  CScriptRun(CScriptMachine& machine, CScriptAddressSpace& memory)
      : m_machine(machine), m_memory(memory) {}
  ~CScriptRun() = default;

 private:
  static inline CScriptRun* s_current = nullptr;

  CScriptMachine& m_machine;
  CScriptAddressSpace& m_memory;
};

// Stops the running script with `error` (no effect when nothing runs or an
// error is recorded already).
inline void ScriptFault(ErrCode error) {
  if (CScriptRun* run = CScriptRun::Current()) run->Fail(error);
}

// The host bytes of a `size`-byte value at a script address of the running
// script, or null after faulting the run with INVALID_STOFF.
inline uint8_t* ScriptDeref(ScriptAddr address, uint32_t size) {
  CScriptRun* run = CScriptRun::Current();
  uint8_t* bytes = run ? run->Memory().Resolve(address, size) : nullptr;
  if (!bytes) ScriptFault(kAddressFault);
  return bytes;
}

// The machine of the running script; natives run only inside a run.
inline CScriptMachine& RunningMachine() { return CScriptRun::Current()->Machine(); }
