// What script tests read back: the log lines a run wrote, and a script's
// result through its first argument.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/geometry.h"
#include "base/log.h"
#include "script/script_call.h"
#include "script/script_machine.h"

// Log lines as "[category]text", one after the other.
class CLogCapture : public CLogView {
 public:
  void AddLine(uint32_t category, std::string_view text) override {
    m_text += "[" + std::to_string(category) + "]";
    m_text.append(text);
  }
  std::string m_text;
};

// A script's result, read back through the first argument and shown as
// text: int in decimal, float with %g, bool as true or false, str as its
// text or (null), TPoint as "x, y", TRect as "left, top, right, bottom".
struct SResult {
  int32_t i = 0x5A5A5A5A;
  uint8_t b = 2;
  double f = -1;
  TPoint p{-99, -99};
  TRect r{-99, -99, -99, -99};
  char text[512] = "unchanged";
  bool is_null = false;

  SCallArg Arg(std::string_view type) {
    if (type == "int") return SCallArg::Ref(&i);
    if (type == "bool") return SCallArg::Ref(&b);
    if (type == "float") return SCallArg::Ref(&f);
    if (type == "TPoint") return SCallArg::Ref(&p);
    if (type == "TRect") return SCallArg::Ref(&r);
    SCallArg arg = SCallArg::Buffer(text, sizeof text);
    arg.null_out = &is_null;
    return arg;
  }
  std::string Text(std::string_view type) const {
    char out[64] = "?";
    if (type == "int") std::snprintf(out, sizeof out, "%d", i);
    if (type == "bool" && b <= 1) std::snprintf(out, sizeof out, "%s", b ? "true" : "false");
    if (type == "float") std::snprintf(out, sizeof out, "%g", f);
    if (type == "TPoint") std::snprintf(out, sizeof out, "%d, %d", p.x, p.y);
    if (type == "TRect")
      std::snprintf(out, sizeof out, "%d, %d, %d, %d", r.left, r.top, r.right, r.bottom);
    if (type == "str") return is_null ? "(null)" : text;
    if (type == "void") return "";
    return out;
  }
};


// Compiles and calls `text` with the result type `type`: the result as
// SResult shows it, or "error: " and the compile log.
inline std::string ResultOf(CScriptMachine& machine, const char* type, const char* text) {
  SResult result;
  std::vector<SCallArg> args;
  if (std::string_view(type) != "void") args.push_back(result.Arg(type));
  if (CompileAndCall(machine, text, type, args) != err::kOk) return "error: " + machine.TakeErrorLog();
  return result.Text(type);
}
