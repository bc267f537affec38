// Files built into the executable: menus, icons and "Binary" files, found by
// type and name, both ignoring case.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

struct SResource {
  const char* type;
  const char* name;
  std::string_view bytes;
};

extern const SResource kResources[];
extern const size_t kResourceCount;

std::optional<std::string_view> FindResource(std::string_view type, std::string_view name);
