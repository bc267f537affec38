// The script path gate against a model of the mount table. The first byte
// chooses read (even) or write (odd); the rest is the name. Every accepted
// name must resolve inside a mount with a prefix (reads), below "/out/"
// (writes) or, relative, in the game folder for reading, without a
// component that could climb out.
#include <strings.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "fs/file_service.h"
#include "world/bindings/path_check.h"

namespace {

class CEmptyService : public CFileService {
 public:
  std::unique_ptr<CFile> Open(const char*, uint16_t, ErrCode* error) override {
    if (error) *error = err::kFileNotFound;
    return nullptr;
  }
};

constexpr const char* kPrefixes[] = {"", "/World/", "/World/Deep/", "/Data", "/out/"};

void Mount() {
  static const bool mounted = [] {
    InitFileService(8);
    for (const char* prefix : kPrefixes) RegisterMount(prefix, std::make_unique<CEmptyService>(), 0);
    return true;
  }();
  (void)mounted;
}

void Require(bool holds) {
  if (!holds) std::abort();
}

bool StartsIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// The model's mount of an absolute name: the longest prefix.
std::string_view LongestPrefix(std::string_view name) {
  std::string_view found;
  bool any = false;
  for (std::string_view prefix : kPrefixes) {
    if (StartsIgnoringCase(name, prefix) && (!any || prefix.size() > found.size())) {
      found = prefix;
      any = true;
    }
  }
  return found;
}

// Walks the components as a resolver would; false when one climbs or
// stays put, or a character could name another file system or device.
bool StaysPut(std::string_view name) {
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == ':' || c == '\\') return false;
  size_t start = name[0] == '/' ? 1 : 0;
  for (;;) {
    const size_t end = name.find('/', start);
    const std::string_view part = name.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Mount();
  const EFileAccess access = data[0] & 1 ? EFileAccess::kWrite : EFileAccess::kRead;
  const std::string_view name(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string path;
  if (!ScriptPathAllowed(name, access, &path)) return 0;
  Require(!path.empty() && path.size() <= kMaxScriptPath && path.size() == name.size());
  Require(StaysPut(path));
  if (path[0] != '/') {
    Require(access == EFileAccess::kRead);
    return 0;
  }
  const std::string_view prefix = LongestPrefix(path);
  Require(!prefix.empty());
  if (access == EFileAccess::kWrite) Require(prefix == "/out/");
  return 0;
}
