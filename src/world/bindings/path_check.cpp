#include "world/bindings/path_check.h"

#include <strings.h>

#include "base/object.h"
#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "fs/trans_fs.h"
#include "script/script_call.h"

namespace {

bool BadCharacter(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code < 0x20 || code == 0x7F || c == ':';
}

// Every character usable and every component a real name.
bool WellFormed(const std::string& name) {
  if (name.empty() || name.size() > kMaxScriptPath) return false;
  for (char c : name)
    if (BadCharacter(c)) return false;
  size_t start = name[0] == '/' ? 1 : 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string_view component(name.data() + start, end - start);
    if (component.empty() || component == "." || component == "..") return false;
    start = end + 1;
  }
  return true;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// Whether writing `rest` through `fs` would pass a symbolic link of the
// native file system beneath it.
bool ThroughLink(CFileService* fs, std::string rest) {
  while (CTransFS* trans = KindOf<CTransFS>(fs)) {
    rest = trans->Translate(rest.c_str());
    fs = trans->Target();
  }
  return KindOf<CWinFileService>(fs) && NativePathHasLink(ResolveNativePath(rest.c_str()));
}

// An absolute name: its mount, and for writes "/out/" and no link.
bool MountAllows(const std::string& name, EFileAccess access) {
  const char* rest = name.c_str();
  CFileService* fs = ResolvePath(&rest);
  const std::string_view prefix(name.data(), static_cast<size_t>(rest - name.c_str()));
  if (!fs || prefix.empty()) return false;
  if (access == EFileAccess::kRead) return true;
  return StartsWithIgnoringCase(prefix, kScriptOutPrefix) && !ThroughLink(fs, rest);
}

}  // namespace

bool ScriptPathAllowed(std::string_view name, EFileAccess access, std::string* path) {
  std::string converted(name);
  for (char& c : converted)
    if (c == '\\') c = '/';
  if (!WellFormed(converted)) return false;
  const bool absolute = converted[0] == '/';
  if (absolute ? !MountAllows(converted, access) : access != EFileAccess::kRead) return false;
  *path = std::move(converted);
  return true;
}

bool CheckScriptPath(std::string_view name, EFileAccess access, std::string* path) {
  if (ScriptPathAllowed(name, access, path)) return true;
  ScriptDiagnostic("file access denied: %.*s", static_cast<int>(name.size()), name.data());
  return false;
}
