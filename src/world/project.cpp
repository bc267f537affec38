#include "world/project.h"

#include <algorithm>
#include <cstring>

#include "base/log.h"
#include "fs/file_service.h"
#include "fs/memory_file.h"
#include "fs/replace.h"
#include "script/compiler.h"
#include "script/script_machine.h"
#include "script/tokenizer.h"
#include "store/hash_ini.h"
#include "store/object_cache.h"
#include "store/value_base.h"
#include "store/vb_ini.h"
#include "store/vb_walker.h"
#include "world/shadow_file.h"

namespace {

constexpr uint16_t kProjectRead = kOpenRead | kOpenShareRead;
constexpr uint16_t kShadowMode = kOpenRead | kOpenWrite | kOpenCreate | kOpenTruncate;
constexpr uint32_t kVersionModulus = 0x10000000;
constexpr uint32_t kIniSections = 100;
constexpr uint32_t kIniKeys = 1000;
constexpr char kScriptVersionName[] = "ScriptVersion";

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// The stored long, 0 when missing.
int32_t StoredLong(CVBContainer* container, const char* name) {
  const uint8_t* value = container->GetValue(name, kValueLong);
  return value ? static_cast<int32_t>(ValueWord(value, 0)) : 0;
}

}  // namespace

uint32_t ScriptVersionOf(const CScriptMachine& machine, const CGlobalTable& globals) {
  return static_cast<uint32_t>((uint64_t{machine.Stamp()} + globals.LayoutHash()) %
                               kVersionModulus);
}

std::vector<SScriptRef> ListScripts(CValueBase* vb) {
  std::vector<SScriptRef> scripts;
  CVBWalker walker(vb);
  walker.Walk([&](CVBContainer*, const std::string& name, const uint8_t* value) {
    if (ValueType(value) == kValueScript && ValueSize(value) >= kScriptValueSize) {
      const std::string& path = walker.CurrentPath();
      scripts.push_back({"/" + path.substr(0, path.size() - name.size()), name});
    }
    return 0;
  });
  return scripts;
}

std::string ContainerPath(CValueBase* vb, StoreHandle handle) {
  if (handle == vb->Root()) return "/";
  std::string path;
  CVBWalker walker(vb);
  walker.Walk([&](CVBContainer*, const std::string&, const uint8_t* value) {
    if (ValueType(value) != kValueContainer || ContainerHandleOf(value) != handle) return 0;
    path = "/" + walker.CurrentPath() + "/";
    return 1;
  });
  return path;
}

void LogCompileErrors(const std::string& errors) {
  for (size_t start = 0, end = 0; start < errors.size(); start = end) {
    end = std::min(errors.find('\n', start), errors.size() - 1) + 1;
    LogMessage(kLogScripts, "%.*s", static_cast<int>(end - start), errors.data() + start);
  }
}

std::string ScriptSignature(CValueBase* vb, CVBContainer* container, const std::string& name) {
  const std::string key = name + " Descr";
  if (const char* own = container->GetString(key)) return own;
  const char* template_name = container->GetString("Template");
  if (!template_name) return {};
  COpenContainer templates(vb, vb->FindPath("/Templates/", 0));
  if (!templates) return {};
  COpenContainer holder(vb, ContainerHandleOf(templates->GetValue(template_name, kValueContainer)));
  const char* found = holder ? holder->GetString(key) : nullptr;
  return found ? found : "";
}

ErrCode CompileScriptValue(CValueBase* vb, CScriptMachine* machine, CVBContainer* container,
                           const std::string& name, const std::string& signature,
                           const std::string& source_name, std::string* errors) {
  const uint8_t* value = container->GetValue(name, kValueScript);
  if (!value || ValueSize(value) < kScriptValueSize) return err::kNotFound;
  const StoreHandle source = ValueWord(value, 0);
  std::string text;
  ErrCode error = err::kOk;
  if (const std::vector<uint8_t>* bytes = vb->GetData(source, &error)) {
    text.assign(reinterpret_cast<const char*>(bytes->data()),
                strnlen(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    vb->ReleaseData(source);
  }
  if (error) return error;
  SParamInfo params;
  if (!ParseSignature(*machine->Compiler(), signature.c_str(), true, &params)) {
    errors->append(source_name + ": bad signature \"" + signature + "\"\r\n");
    return err::kBadParamString;
  }
  CMemoryFile file(text);
  CTokenizer tokenizer(&file, source_name);
  SCodeBlock block;
  if (!machine->Compiler()->Compile(&tokenizer, params, errors, &block)) return err::kSyntax;
  CBFHP* store = vb->Store();
  const StoreHandle code = store->NewHandle(static_cast<uint32_t>(block.size), &error);
  if (!code) return error ? error : err::kAllocFail;
  if ((error = store->Write(code, block.data, 0, static_cast<uint32_t>(block.size)))) {
    store->FreeHandle(code);
    return error;
  }
  // The old code block goes with the value it is replaced in.
  const uint32_t payload[2] = {source, code};
  return container->SetValue(name, MakeValue(kValueScript, payload, sizeof payload).data());
}

CProject::CProject(CScriptMachine* machine) : m_machine(machine) {}

CProject::~CProject() { Close(); }

ErrCode CProject::OpenFiles(const std::string& path) {
  ErrCode error = err::kOk;
  if (m_options.game_mode) {
    std::unique_ptr<CFile> base = FsOpen(path.c_str(), kProjectRead, &error);
    if (!base) return error;
    m_file = std::make_unique<CShadowFile>("", std::move(base), std::make_unique<CMemoryFile>());
    return err::kOk;
  }
  RemoveStaleCopy(path.c_str());
  m_shadow_path = FolderOf(path) + kShadowFileName;
  // A shadow left by an interrupted session is stale: truncated here.
  std::unique_ptr<CFile> shadow = FsOpenDirect(m_shadow_path.c_str(), kShadowMode, &error);
  if (!shadow) return error;
  std::unique_ptr<CFile> base = FsOpenDirect(path.c_str(), kProjectRead, &error);
  if (!base) {
    if (error != err::kFileNotFound) return error;
    // The project file appears with the first commit, through the replace
    // helper, never as an empty file.
    base = std::make_unique<CMemoryFile>();
    m_new = true;
  }
  m_file = std::make_unique<CShadowFile>(path, std::move(base), std::move(shadow));
  return err::kOk;
}

ErrCode CProject::OpenStore() {
  m_store = std::make_unique<CBFHP>();
  if (ErrCode error = m_new ? m_store->Create(m_file.get(), kBlockSize, CBFHP::kNoLimit)
                            : m_store->Open(m_file.get()))
    return error;
  m_cache = std::make_unique<CObjectCache>(kCacheObjects, kCacheBudget);
  m_vb = std::make_unique<CValueBase>(m_store.get(), m_cache.get());
  return m_vb->Init();
}

void CProject::ImportBlank() {
  CHashIni ini(kIniSections, kIniKeys);
  COpenContainer root(m_vb.get(), m_vb->Root());
  if (ini.Load(m_options.blank_ini.c_str()) != err::kOk || !root ||
      ImportIni(m_vb.get(), root.get(), &ini) != err::kOk)
    LogMessage(kLogTool, "Error: Cannot import blank.ini\n");
}

ErrCode CProject::Open(const std::string& path, const SProjectOptions& options) {
  Close();
  m_options = options;
  m_new = false;
  ErrCode error = OpenFiles(path);
  if (!error) error = OpenStore();
  if (error) {
    Discard();
    return error;
  }
  if (m_new) ImportBlank();
  m_templates = m_vb->FindPath("/Templates/", 0);
  return m_globals.Load(m_vb.get(), m_machine);
}

ErrCode CProject::ReloadGlobals() {
  if (!m_vb) return err::kBadParams;
  return m_globals.Load(m_vb.get(), m_machine);
}

ErrCode CProject::Close() {
  if (!m_vb) return err::kOk;
  ErrCode error = err::kOk;
  if (!m_options.game_mode) {
    const int32_t version = static_cast<int32_t>(ScriptVersion());
    COpenContainer root(m_vb.get(), m_vb->Root());
    const std::vector<uint8_t> value = MakeValue(kValueLong, &version, sizeof version);
    error = root ? root->SetValue(kScriptVersionName, value.data()) : err::kNotFound;
  }
  m_globals.Release();
  if (ErrCode flush = m_vb->Flush(); !error) error = flush;
  if (!m_options.game_mode && !error) error = m_file->Commit();
  Discard();
  return error;
}

void CProject::Discard() {
  m_globals.Release();
  m_vb.reset();
  m_cache.reset();
  m_store.reset();
  m_file.reset();
  m_templates = 0;
  if (!m_shadow_path.empty()) FsDelete(m_shadow_path.c_str());
  m_shadow_path.clear();
}

ErrCode CProject::SaveAs(const std::string& path) {
  if (!m_vb) return err::kBadParams;
  if (ErrCode error = m_vb->Flush()) return error;
  ErrCode error = WriteReplacing(path.c_str(), 0, [this](CFile& copy) {
    std::vector<uint8_t> piece(kSavePiece);
    const uint32_t size = m_file->GetSize();
    for (uint32_t at = 0; at < size; at += kSavePiece) {
      const uint32_t n = std::min(kSavePiece, size - at);
      if (ErrCode read = m_file->ReadAt(piece.data(), at, n, nullptr)) return read;
      if (ErrCode write = copy.WriteAt(piece.data(), at, n, nullptr)) return write;
    }
    return err::kOk;
  });
  if (error || m_options.game_mode) return error;
  return m_file->Commit();
}

ErrCode CProject::CheckScriptVersion() {
  if (!m_vb) return err::kBadParams;
  int32_t stored = 0;
  {
    COpenContainer root(m_vb.get(), m_vb->Root());
    if (root) stored = StoredLong(root.get(), kScriptVersionName);
  }
  if (static_cast<uint32_t>(stored) == ScriptVersion()) return err::kOk;
  if (m_options.game_mode) return err::kUnknownError;
  LogMessage(kLogScripts, "Scripts will be recompiled.\n");
  return RecompileScripts();
}

// A script that does not compile keeps its old code (or none); the
// compiler's log tells the author why.
ErrCode CProject::RecompileScripts() {
  std::string errors;
  for (const SScriptRef& script : ListScripts(m_vb.get())) {
    COpenContainer container(m_vb.get(), m_vb->FindPath(script.container, 0));
    if (!container) continue;
    const std::string signature = ScriptSignature(m_vb.get(), container.get(), script.name);
    if (signature.empty()) continue;
    CompileScriptValue(m_vb.get(), m_machine, container.get(), script.name, signature,
                       script.container + script.name, &errors);
  }
  LogCompileErrors(errors);
  return err::kOk;
}
