#include "source_path.h"

#include <filesystem>
#include <system_error>

#include "world/bindings/path_check.h"

bool SourcePathInside(const std::string& root, std::string_view relative, std::string* full) {
  std::string checked;
  if (relative.starts_with("/") || relative.starts_with("\\") ||
      !ScriptPathAllowed(relative, EFileAccess::kRead, &checked))
    return false;
  std::filesystem::path path(root);
  for (const auto& component : std::filesystem::path(checked)) {
    path /= component;
    std::error_code error_code;
    if (std::filesystem::symlink_status(path, error_code).type() ==
        std::filesystem::file_type::symlink)
      return false;
  }
  *full = path.string();
  return true;
}
