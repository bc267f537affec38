// tvkit world: projects built from source folders, and their globals as
// the engine registers them.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/log.h"
#include "commands.h"
#include "fs/file_service.h"
#include "fs/replace.h"
#include "script/library.h"
#include "script/script_machine.h"
#include "script/value_text.h"
#include "script/script_string.h"
#include "store/hash_ini.h"
#include "store/value_base.h"
#include "store/vb_ini.h"
#include "world/handler_sites.h"
#include "world/project.h"
#include "world/bindings/bindings.h"

namespace {

constexpr uint32_t kIniSections = 100;
constexpr uint32_t kIniKeys = 1000;
constexpr uint16_t kReadMode = kOpenRead | kOpenShareRead;
constexpr std::string_view kSignatureLine = "// signature: ";
constexpr const char* kVisualTypes[] = {"HotSpot", "Sprite", "Animation", "Decoration",
                                        "Paint", "Text"};

int Usage() {
  std::fputs(
      "usage: tvkit world build <out.prj> <src dir>\n"
      "       tvkit world globals <project.prj>\n",
      stderr);
  return ReportError(err::kBadParams);
}

// The engine's log lines go to standard error while a command runs.
class CStderrLog : public CLogSink {
 public:
  void Write(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), stderr); }
};
class CLogToStderr {
 public:
  CLogToStderr() { SetLogSink(std::make_unique<CStderrLog>()); }
  ~CLogToStderr() { SetLogSink(nullptr); }
};

bool Same(const char* a, const char* b) { return a && b && strcasecmp(a, b) == 0; }

// ---- globals ----

// A global's value in the one text form of script values.
std::string GlobalText(const SGlobalVariable& variable, const CGlobalTable& table) {
  const auto name_item = [&](uint32_t handle) -> std::string {
    for (const SGlobalVariable& item : table.Variables()) {
      SItemRecord record{};
      std::memcpy(&record, item.storage, sizeof record);
      if (item.kind == EGlobalKind::kItem && handle && record.container == handle) return item.name;
    }
    return {};
  };
  switch (variable.kind) {
    case EGlobalKind::kInt:
      return ValueText({lib::kInt, variable.storage, {}});
    case EGlobalKind::kStr: {
      StrHandle handle = 0;
      std::memcpy(&handle, variable.storage, sizeof handle);
      if (!handle) return ValueText({lib::kStr, nullptr, std::nullopt});
      CStrText text(handle);
      return ValueText({lib::kStr, nullptr, text.view()});
    }
    case EGlobalKind::kPoint:
      return ValueText({lib::kPoint, variable.storage, {}});
    case EGlobalKind::kRect:
      return ValueText({lib::kRect, variable.storage, {}});
    case EGlobalKind::kItem:
      // The record's second word is the item's handle.
      return ValueText({lib::kItem, variable.storage + sizeof(uint32_t), {}}, name_item);
  }
  return {};
}

int Globals(const char* path) {
  CLogToStderr log;
  CScriptMachine machine;
  if (ErrCode error = machine.Init(kWorldModules)) return ReportError(error);
  CProject project(&machine);
  SProjectOptions options;
  options.game_mode = true;  // reads the project, never writes it
  if (ErrCode error = project.Open(path, options)) return ReportError(error);
  for (const SGlobalVariable& variable : project.Globals().Variables())
    std::printf("%u\t%s\t%s\t%s\n", variable.slot, variable.name.c_str(),
                GlobalKindName(variable.kind), GlobalText(variable, project.Globals()).c_str());
  if (ErrCode error = project.Close()) return ReportError(error);
  return 0;
}

// ---- build ----

// The project being built, in a copy that takes the output's place only
// when everything succeeded.
class CBuild {
 public:
  ErrCode Begin(const char* out) {
    if (ErrCode error = m_replace.Begin(out, kOpenRead | kOpenShareRead)) return error;
    if (ErrCode error = m_store.Create(m_replace.File(), CProject::kBlockSize, CBFHP::kNoLimit))
      return error;
    m_vb = std::make_unique<CValueBase>(&m_store, &m_cache);
    return m_vb->Init();
  }
  ErrCode Commit() {
    if (ErrCode error = m_vb->Flush()) return error;
    m_vb.reset();
    return m_replace.Commit();
  }
  CValueBase* vb() { return m_vb.get(); }

 private:
  CFileReplace m_replace;
  CBFHP m_store;
  CObjectCache m_cache;
  std::unique_ptr<CValueBase> m_vb;
};

ErrCode ReadText(const std::string& path, std::string* text) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen(path.c_str(), kReadMode, &error);
  if (!file) return error;
  text->resize(file->GetSize());
  uint32_t count = 0;
  error = file->Read(text->data(), static_cast<uint32_t>(text->size()), &count);
  text->resize(count);
  return error == err::kEof ? err::kOk : error;
}

// INI comments start at ";", so texts in these sources write it "\s".
void UnescapeSemicolons(CHashIni* ini) {
  struct SChange {
    std::string section, key, value;
  };
  std::vector<SChange> changes;
  for (const SIniSection* section = ini->FirstSection(); section; section = section->next)
    for (const SIniKey* key = section->first_key; key; key = key->next) {
      const std::string value = key->value ? key->value : "";
      if (!*key->name || strncasecmp(value.c_str(), "str:", 4) != 0) continue;
      std::string text;
      for (size_t i = 0; i < value.size(); ++i) {
        const bool escape = value[i] == '\\' && i + 1 < value.size() && value[i + 1] == 's';
        text += escape ? ';' : value[i];
        i += escape;
      }
      if (text != value) changes.push_back({section->name, key->name, text});
    }
  for (const SChange& change : changes)
    ini->SetString(change.section.c_str(), change.key.c_str(), change.value.c_str());
}

ErrCode ImportIniFile(CValueBase* vb, const std::string& path) {
  CHashIni ini(kIniSections, kIniKeys);
  if (ErrCode error = ini.Load(path.c_str())) return error;
  UnescapeSemicolons(&ini);
  COpenContainer root(vb, vb->Root());
  return ImportIni(vb, root.get(), &ini);
}

// The container of `folder` ("a/b", or "" for the root), made when missing.
StoreHandle MakeFolder(CValueBase* vb, const std::string& folder) {
  StoreHandle handle = vb->Root();
  size_t start = 0;
  while (start < folder.size()) {
    const size_t slash = std::min(folder.find('/', start), folder.size());
    const std::string name = folder.substr(start, slash - start);
    start = slash + 1;
    COpenContainer parent(vb, handle);
    if (!parent) return 0;
    const uint8_t* value = parent->GetValue(name, 0);
    if (value) {
      handle = ContainerHandleOf(value);
      if (!handle) return 0;
      continue;
    }
    const StoreHandle made = vb->CreateContainer();
    handle = made ? vb->LinkContainer(made, handle, name) : 0;
    if (!handle) return 0;
  }
  return handle;
}

ErrCode SetString(CVBContainer* container, const std::string& name, const std::string& text) {
  return container->SetValue(name, MakeValue(kValueString, text.c_str(), text.size() + 1).data());
}

ErrCode ImportScript(CValueBase* vb, const std::string& folder, const std::string& name,
                     const std::string& text) {
  COpenContainer container(vb, MakeFolder(vb, folder));
  if (!container) return err::kNotFound;
  if (text.starts_with(kSignatureLine)) {
    const size_t end = text.find_first_of("\r\n");
    const std::string signature = text.substr(kSignatureLine.size(), end - kSignatureLine.size());
    if (ErrCode error = SetString(container.get(), name + " Descr", signature)) return error;
  }
  CBFHP* store = vb->Store();
  ErrCode error = err::kOk;
  const StoreHandle source = store->NewHandle(static_cast<uint32_t>(text.size() + 1), &error);
  if (!source) return error ? error : err::kAllocFail;
  if ((error = store->Write(source, text.c_str(), 0, static_cast<uint32_t>(text.size() + 1)))) {
    store->FreeHandle(source);
    return error;
  }
  const uint32_t payload[2] = {source, 0};
  return container->SetValue(name, MakeValue(kValueScript, payload, sizeof payload).data());
}

// The kinds of object a container becomes, the most specific first.
std::vector<std::string_view> KindsOf(CValueBase* vb, const std::string& path,
                                      CVBContainer* container) {
  const char* template_name = container->GetString("Template");
  const char* type = container->GetString("Type");
  COpenContainer templates(vb, vb->FindPath("/Templates/", 0));
  COpenContainer holder(vb, templates && template_name
                                ? ContainerHandleOf(templates->GetValue(template_name, kValueContainer))
                                : 0);
  if (!type && holder) type = holder->GetString("Type");
  const bool in_world = path.starts_with("/World/");
  if (path == "/World/" || Same(type, "ViewSet")) return {kSiteViewSet, kSiteObject};
  if ((in_world && (Same(template_name, "PlaneView") || Same(template_name, "SphericalView"))) ||
      Same(type, "PlaneView"))
    return {kSiteView, kSiteObject};
  for (const char* visual : kVisualTypes)
    if (Same(type, visual)) return {kSiteVisual, kSiteObject};
  if (Same(type, "Timer")) return {kSiteTimer, kSiteObject};
  if (type) return {kSiteObject};
  return {};
}

// Compiles every script whose signature is known; answers whether all did.
bool CompileScripts(CValueBase* vb, CScriptMachine* machine,
                    const std::map<std::string, std::string>& files) {
  bool ok = true;
  for (const SScriptRef& script : ListScripts(vb)) {
    const std::string path = script.container + script.name;
    COpenContainer container(vb, vb->FindPath(script.container, 0));
    if (!container) continue;
    std::string signature = ScriptSignature(vb, container.get(), script.name);
    const bool from_table = signature.empty();
    for (std::string_view kind : KindsOf(vb, script.container, container.get())) {
      if (!signature.empty()) break;
      if (const SHandlerSite* site = FindHandlerSite(kind, script.name))
        signature = site->signature;
    }
    if (signature.empty()) {
      std::fprintf(stderr, "warning: %s: no signature\n", path.c_str());
      continue;
    }
    const auto file = files.find(path);
    std::string errors;
    if (CompileScriptValue(vb, machine, container.get(), script.name, signature,
                           file == files.end() ? path : file->second, &errors) != err::kOk) {
      std::fwrite(errors.data(), 1, errors.size(), stderr);
      ok = false;
    } else if (from_table) {
      SetString(container.get(), script.name + " Descr", signature);
    }
  }
  return ok;
}

ErrCode WriteScriptVersion(CValueBase* vb, CScriptMachine* machine, const CGlobalTable& globals) {
  const auto version = static_cast<int32_t>(ScriptVersionOf(*machine, globals));
  COpenContainer root(vb, vb->Root());
  return root->SetValue("ScriptVersion", MakeValue(kValueLong, &version, sizeof version).data());
}

int Build(const char* out, const char* directory) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  std::error_code error_code;
  for (fs::recursive_directory_iterator it(directory, error_code), end;
       !error_code && it != end; it.increment(error_code))
    if (it->is_regular_file(error_code))
      files.push_back(fs::relative(it->path(), directory).generic_string());
  if (error_code) return ReportError(err::kPathNotFound);
  std::sort(files.begin(), files.end());

  CLogToStderr log;
  CScriptMachine machine;
  if (ErrCode error = machine.Init(kWorldModules)) return ReportError(error);
  CBuild build;
  if (ErrCode error = build.Begin(out)) return ReportError(error);
  const std::string root = std::string(directory) + "/";
  ErrCode failure = err::kOk;
  auto fail = [&failure](const std::string& file, ErrCode error) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), ErrName(error));
    if (!failure) failure = error;
  };
  for (const std::string& file : files)
    if (file.ends_with(".ini"))
      if (ErrCode error = ImportIniFile(build.vb(), root + file)) fail(file, error);
  std::map<std::string, std::string> script_files;  // value path -> file
  for (const std::string& file : files) {
    if (!file.ends_with(".tvs")) continue;
    const size_t slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : file.substr(0, slash);
    const std::string name = file.substr(folder.empty() ? 0 : slash + 1,
                                         file.size() - (folder.empty() ? 0 : slash + 1) - 4);
    std::string text;
    ErrCode error = ReadText(root + file, &text);
    if (!error) error = ImportScript(build.vb(), folder, name, text);
    if (error) fail(file, error);
    script_files["/" + (folder.empty() ? "" : folder + "/") + name] = file;
  }
  if (failure) return ReportError(failure);
  // Scripts compile against the globals, and the version depends on them.
  CGlobalTable globals;
  if (ErrCode error = globals.Load(build.vb(), &machine)) return ReportError(error);
  if (!CompileScripts(build.vb(), &machine, script_files)) return ReportError(err::kSyntax);
  if (ErrCode error = WriteScriptVersion(build.vb(), &machine, globals)) return ReportError(error);
  if (ErrCode error = build.Commit()) return ReportError(error);
  return 0;
}

}  // namespace

int RunWorld(int argc, char** argv) {
  if (argc == 4 && std::string_view(argv[1]) == "build") return Build(argv[2], argv[3]);
  if (argc == 3 && std::string_view(argv[1]) == "globals") return Globals(argv[2]);
  return Usage();
}
