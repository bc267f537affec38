// INI files that scripts load by name (IniDef, GetIni, IniUndef, and the
// source of ArrLoad). Files are kept under the file name they were loaded
// with, compared exactly, and live until a script unloads them.
#pragma once

#include <list>
#include <memory>
#include <string>
#include <string_view>

#include "script/script_string.h"

class CHashIni;

class CScriptInis {
 public:
  CScriptInis();
  ~CScriptInis();
  CScriptInis(const CScriptInis&) = delete;
  CScriptInis& operator=(const CScriptInis&) = delete;

  // IniDef: loads the file through the file service; false when a file of
  // that name is loaded already or it cannot be read.
  bool Define(std::string_view file);
  // IniUndef; false when no such file is loaded.
  bool Undefine(std::string_view file);
  const CHashIni* Find(std::string_view file) const;
  // GetIni: the value of the key (matched case-sensitively) in the section
  // as a new string; 0 when the file, section or key is missing.
  StrHandle Get(std::string_view file, const char* section, const char* key) const;
  void Clear();

 private:
  struct SLoaded;
  std::list<SLoaded> m_files;
};

