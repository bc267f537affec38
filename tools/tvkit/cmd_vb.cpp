// tvkit vb: projects (value bases in handle-store files) from the command
// line.
//
// A command that changes a project works on a copy of it and puts the copy
// in the project's place only after the store's commit has reached the disk
// (fs/replace.h): a command killed at any moment, or a power cut, leaves
// either the old or the new project.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "fs/file_service.h"
#include "fs/replace.h"
#include "store/hash_ini.h"
#include "store/value_base.h"
#include "store/vb_check.h"
#include "store/vb_ini.h"

namespace {

constexpr uint32_t kProjectBlockSize = 256;
constexpr uint16_t kReadMode = 0x41;
constexpr uint16_t kCopyAccess = kOpenRead | kOpenShareRead | kOpenShareWrite;
constexpr uint32_t kCopyChunk = 64 * 1024;
constexpr uint32_t kIniSections = 100;
constexpr uint32_t kIniKeys = 1000;

class CProject {
 public:
  // For reading only.
  ErrCode Open(const std::string& path) {
    RemoveStaleCopy(path.c_str());
    ErrCode error = err::kOk;
    m_file = FsOpen(path.c_str(), kReadMode, &error);
    if (!m_file) return error;
    if (ErrCode open = m_store.Open(m_file.get())) return open;
    return StartValueBase();
  }

  // A working copy of the project, or a new, empty project when `create`
  // and there is none.
  ErrCode BeginChange(const std::string& path, bool create) {
    if (ErrCode error = m_replace.Begin(path.c_str(), kCopyAccess)) return error;
    ErrCode error = err::kOk;
    std::unique_ptr<CFile> original = FsOpen(path.c_str(), kReadMode, &error);
    if (!original) {
      if (!create || error != err::kFileNotFound) return error;
      if (ErrCode made = m_store.Create(m_replace.File(), kProjectBlockSize, CBFHP::kNoLimit))
        return made;
      return StartValueBase();
    }
    if (ErrCode copied = Copy(original.get())) return copied;
    if (ErrCode open = m_store.Open(m_replace.File())) return open;
    return StartValueBase();
  }

  // Flushes the value base into the copy and puts the copy in place.
  ErrCode Commit() {
    if (ErrCode error = m_vb->Flush()) return error;
    m_vb.reset();
    return m_replace.Commit();
  }

  CValueBase* vb() { return m_vb.get(); }

 private:
  ErrCode StartValueBase() {
    m_vb = std::make_unique<CValueBase>(&m_store, &m_cache);
    return m_vb->Init();
  }

  ErrCode Copy(CFile* original) {
    const uint32_t size = original->GetSize();
    std::vector<uint8_t> chunk(kCopyChunk);
    for (uint32_t at = 0; at < size; at += kCopyChunk) {
      const uint32_t n = std::min(kCopyChunk, size - at);
      if (ErrCode error = original->ReadAt(chunk.data(), at, n, nullptr)) return error;
      if (ErrCode error = m_replace.File()->WriteAt(chunk.data(), at, n, nullptr)) return error;
    }
    return err::kOk;
  }

  // Destroyed in reverse: the value base may still write to the store, and
  // the store to its file.
  CFileReplace m_replace;
  std::unique_ptr<CFile> m_file;
  CBFHP m_store;
  CObjectCache m_cache;
  std::unique_ptr<CValueBase> m_vb;
};

struct SHelp {
  const char* command;
  const char* usage;
  const char* notes;
};

constexpr SHelp kHelp[] = {
    {"new", "<project.prj>", "An empty project.\n"},
    {"import", "<project.prj> <file.ini> [<container path>]",
     "Reads the INI text form into the container (\"/\" by default).\n"},
    {"export", "<project.prj> <file.ini> [<container path>]",
     "Writes the container's sub-tree in the INI text form. INI keys and\n"
     "sections ignore case while value names do not: of names in one container\n"
     "that differ only in case the file keeps one key, named as the first of\n"
     "them, with the value of the last, so such names do not survive the text\n"
     "form.\n"},
    {"ls", "<project.prj> [<container path>]", "Name and value of each entry, in stored order.\n"},
    {"get", "<project.prj> <path>", "A value in the INI text form, or a script's source.\n"},
    {"set", "<project.prj> <path> <INI text form>", "Stores one value.\n"},
    {"rm", "<project.prj> <path>", "Deletes one value.\n"},
    {"check", "<project.prj>", "Blocks, reference counts and names: \"ok\", or the problems.\n"},
};

int Usage() {
  const char* lead = "usage:";
  for (const SHelp& help : kHelp) {
    std::fprintf(stderr, "%-6s tvkit vb %s %s\n", lead, help.command, help.usage);
    lead = "";
  }
  return ReportError(err::kBadParams);
}

int Help(const std::string& command) {
  for (const SHelp& help : kHelp) {
    if (command != help.command) continue;
    std::printf("usage: tvkit vb %s %s\n\n%s", help.command, help.usage, help.notes);
    return 0;
  }
  return Usage();
}

// The container part of a value path and the value's name.
std::pair<std::string, std::string> SplitValuePath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {"/", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

int New(const std::string& project) {
  if (FsExists(project.c_str())) return ReportError(err::kFileExist);
  CProject p;
  if (ErrCode error = p.BeginChange(project, true)) return ReportError(error);
  if (ErrCode error = p.Commit()) return ReportError(error);
  return 0;
}

int Import(const std::string& project, const char* ini_path, const char* path) {
  CHashIni ini(kIniSections, kIniKeys);
  if (ErrCode error = ini.Load(ini_path)) return ReportError(error);
  CProject p;
  if (ErrCode error = p.BeginChange(project, true)) return ReportError(error);
  {
    COpenContainer container(p.vb(), p.vb()->FindPath(path, 0));
    if (!container) return ReportError(err::kNotFound);
    if (ErrCode error = ImportIni(p.vb(), container.get(), &ini)) return ReportError(error);
  }
  if (ErrCode error = p.Commit()) return ReportError(error);
  return 0;
}

int Export(const std::string& project, const char* ini_path, const char* path) {
  CProject p;
  if (ErrCode error = p.Open(project)) return ReportError(error);
  CHashIni ini(kIniSections, kIniKeys);
  {
    COpenContainer container(p.vb(), p.vb()->FindPath(path, 0));
    if (!container) return ReportError(err::kNotFound);
    if (ErrCode error = ExportIni(p.vb(), container.get(), &ini)) return ReportError(error);
  }
  if (ErrCode error = ini.Save(ini_path)) return ReportError(error);
  return 0;
}

int List(const std::string& project, const char* path) {
  CProject p;
  if (ErrCode error = p.Open(project)) return ReportError(error);
  COpenContainer container(p.vb(), p.vb()->FindPath(path, 0));
  if (!container) return ReportError(err::kNotFound);
  uint32_t cursor = 0;
  Atom atom = 0;
  const uint8_t* value = nullptr;
  while (container->NextValue(&cursor, &atom, &value) == err::kOk)
    std::printf("%s\t%s\n", p.vb()->NameOfAtom(atom).c_str(), ValueIniText(value).c_str());
  return 0;
}

int Get(const std::string& project, const std::string& path) {
  CProject p;
  if (ErrCode error = p.Open(project)) return ReportError(error);
  const auto [folder, name] = SplitValuePath(path);
  COpenContainer container(p.vb(), p.vb()->FindPath(folder, 0));
  const uint8_t* value = container ? container->GetValue(name, 0) : nullptr;
  if (!value) return ReportError(err::kNotFound);
  const std::string text = ValueIniText(value);
  if (text != "script") {
    std::printf("%s\n", text.c_str());
    return 0;
  }
  ErrCode error = err::kOk;
  const StoreHandle source = ValueWord(value, 0);
  const std::vector<uint8_t>* bytes = p.vb()->GetData(source, &error);
  if (error) return ReportError(error);
  if (bytes) {
    std::fwrite(bytes->data(), 1, strnlen(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                stdout);
    p.vb()->ReleaseData(source);
  }
  return 0;
}

// Set and rm: one change to the container that holds the value.
template <class Change>
int ChangeValue(const std::string& project, const std::string& path, Change change) {
  CProject p;
  if (ErrCode error = p.BeginChange(project, false)) return ReportError(error);
  const auto [folder, name] = SplitValuePath(path);
  {
    COpenContainer container(p.vb(), p.vb()->FindPath(folder, 0));
    if (!container || name.empty()) return ReportError(err::kNotFound);
    if (ErrCode error = change(p.vb(), container.get(), name)) return ReportError(error);
  }
  if (ErrCode error = p.Commit()) return ReportError(error);
  return 0;
}

int Check(const std::string& project) {
  CProject p;
  if (ErrCode error = p.Open(project)) {
    std::printf("cannot open the project: %s\n", ErrName(error));
    return 1;
  }
  const std::vector<std::string> problems = CheckValueBase(p.vb());
  for (const std::string& problem : problems) std::printf("%s\n", problem.c_str());
  if (problems.empty()) std::puts("ok");
  return problems.empty() ? 0 : 1;
}

}  // namespace

int RunVb(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  const std::string project = argv[2];
  const char* path = argc > 3 ? argv[3] : "/";
  if (project == "--help" && argc == 3) return Help(command);
  if (command == "new" && argc == 3) return New(project);
  if (command == "import" && (argc == 4 || argc == 5))
    return Import(project, argv[3], argc == 5 ? argv[4] : "/");
  if (command == "export" && (argc == 4 || argc == 5))
    return Export(project, argv[3], argc == 5 ? argv[4] : "/");
  if (command == "ls" && argc <= 4) return List(project, path);
  if (command == "get" && argc == 4) return Get(project, path);
  if (command == "set" && argc == 5) {
    const char* text = argv[4];
    return ChangeValue(project, path,
                       [text](CValueBase* vb, CVBContainer* container, const std::string& name) {
                         return SetValueFromIniText(vb, container, name, text);
                       });
  }
  if (command == "rm" && argc == 4)
    return ChangeValue(project, path,
                       [](CValueBase*, CVBContainer* container, const std::string& name) {
                         return container->DeleteValue(name);
                       });
  if (command == "check" && argc == 3) return Check(project);
  return Usage();
}
