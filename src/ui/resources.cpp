#include "ui/resources.h"

#include <strings.h>

#include <string>

std::optional<std::string_view> FindResource(std::string_view type, std::string_view name) {
  const std::string wanted_type(type), wanted_name(name);
  for (size_t i = 0; i < kResourceCount; ++i)
    if (strcasecmp(kResources[i].type, wanted_type.c_str()) == 0 &&
        strcasecmp(kResources[i].name, wanted_name.c_str()) == 0)
      return kResources[i].bytes;
  return std::nullopt;
}
