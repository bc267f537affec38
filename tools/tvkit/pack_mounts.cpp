#include "pack_mounts.h"

#include <strings.h>

#include <string_view>

#include "text_position.h"

std::string AddPackMounts(const std::string& tool_ini, const std::vector<std::string>& folders) {
  const std::string eol = tool_ini.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  std::string mounts;
  for (const std::string& folder : folders)
    mounts += "/" + folder + "/=Pack, /HDD/" + folder + ".pak" + eol;
  // Just after the last line of the [FS] section that is not blank.
  size_t insert = std::string::npos;
  bool in_fs = false;
  for (size_t start = 0; start < tool_ini.size();) {
    const size_t end = tool_ini.find('\n', start);
    const size_t next = end == std::string::npos ? tool_ini.size() : end + 1;
    const std::string_view line(tool_ini.data() + start, next - start);
    std::string_view name;
    if (IniHeaderName(line, &name)) {
      if (in_fs) break;
      in_fs = name.size() == 2 && strncasecmp(name.data(), "FS", 2) == 0;
      if (in_fs) insert = next;
    } else if (in_fs && !IniBlank(line)) {
      insert = next;
    }
    start = next;
  }
  const bool new_section = insert == std::string::npos;
  std::string head = tool_ini.substr(0, new_section ? tool_ini.size() : insert);
  if (!head.empty() && head.back() != '\n') head += eol;
  if (new_section) head += "[FS]" + eol;
  return head + mounts + (new_section ? "" : tool_ini.substr(insert));
}
