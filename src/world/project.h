// The open project: the project file as a value base, with the global
// variables registered for the scripts.
//
// Outside game mode the project file is only read while it is open: every
// change goes through the shadow overlay into "shadow.tmp" beside it and
// reaches the project when it is closed or saved (through the replace
// helper, so an interruption leaves the old project or the new one). Game
// mode never writes the project: its overlay keeps the changes in memory.
//
// A new project (tool mode, no such file) starts with the contents of
// "blank.ini", which ships with the authoring tool's interface files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "fs/bfhp.h"
#include "world/globals.h"

class CObjectCache;
class CScriptMachine;
class CShadowFile;
class CValueBase;
class CVBContainer;

inline constexpr char kBlankIniPath[] = "/Tool Interface/Shared/blank.ini";
inline constexpr char kShadowFileName[] = "shadow.tmp";

struct SProjectOptions {
  bool game_mode = false;
  std::string blank_ini = kBlankIniPath;
};

// The script version of a project: the machine's stamp and the layout of
// the world globals its compiled code addresses.
uint32_t ScriptVersionOf(const CScriptMachine& machine, const CGlobalTable& globals);

// A script value by the path of its container and its name.
struct SScriptRef {
  std::string container;
  std::string name;
};
// Every script value of the tree, in the value-base walker's order.
std::vector<SScriptRef> ListScripts(CValueBase* vb);
// The path of a container ("/" for the root, else ending in "/"); empty
// when the tree does not hold it.
std::string ContainerPath(CValueBase* vb, StoreHandle handle);
// Writes the compiler's diagnostics to the log, line by line.
void LogCompileErrors(const std::string& errors);
// The script's signature: the string "<name> Descr" of its container, else
// of the container's template under "/Templates/"; empty when neither has it.
std::string ScriptSignature(CValueBase* vb, CVBContainer* container, const std::string& name);
// Compiles the script value against the signature and puts the code into a
// new block in place of the old one (the container becomes dirty). The
// compiler's diagnostics, naming the source `source_name`, go to `errors`.
ErrCode CompileScriptValue(CValueBase* vb, CScriptMachine* machine, CVBContainer* container,
                           const std::string& name, const std::string& signature,
                           const std::string& source_name, std::string* errors);

class CProject {
 public:
  static constexpr uint32_t kBlockSize = 256;
  static constexpr uint32_t kCacheObjects = 500;
  static constexpr uint64_t kCacheBudget = 0x20000;
  static constexpr uint32_t kSavePiece = 4096;

  explicit CProject(CScriptMachine* machine);
  ~CProject();
  CProject(const CProject&) = delete;
  CProject& operator=(const CProject&) = delete;

  // Closes the present project first. A project that cannot be opened, or
  // is no handle-store file, leaves none open.
  ErrCode Open(const std::string& path, const SProjectOptions& options = {});
  // Writes the script version (outside game mode), releases the globals,
  // flushes the value base and commits it to the project file. The project
  // is closed also when that fails.
  ErrCode Close();
  // Writes the project with every change to `path`, then commits the
  // changes to the project file itself.
  ErrCode SaveAs(const std::string& path);
  // Compares the stored script version with the running one: in game mode a
  // difference refuses the project (Unknown error); otherwise every script
  // with a signature is compiled again.
  ErrCode CheckScriptVersion();
  // Builds the global variable table again (a new game).
  ErrCode ReloadGlobals();

  bool IsOpen() const { return m_vb != nullptr; }
  bool IsNew() const { return m_new; }
  CValueBase* vb() const { return m_vb.get(); }
  StoreHandle Templates() const { return m_templates; }
  const CGlobalTable& Globals() const { return m_globals; }
  uint32_t ScriptVersion() const { return ScriptVersionOf(*m_machine, m_globals); }
  const std::string& ShadowPath() const { return m_shadow_path; }

 private:
  ErrCode OpenFiles(const std::string& path);
  ErrCode OpenStore();
  void ImportBlank();
  ErrCode RecompileScripts();
  // Destroys everything of the open project, in reverse order of creation.
  void Discard();

  CScriptMachine* m_machine;
  SProjectOptions m_options;
  std::string m_shadow_path;
  bool m_new = false;
  std::unique_ptr<CShadowFile> m_file;
  std::unique_ptr<CBFHP> m_store;
  std::unique_ptr<CObjectCache> m_cache;
  std::unique_ptr<CValueBase> m_vb;
  StoreHandle m_templates = 0;
  CGlobalTable m_globals;
};
