// The mounts of a game's packs in its tool.ini.
#pragma once

#include <string>
#include <vector>

// tool.ini's text with one "/<folder>/=Pack, /HDD/<folder>.pak" line per
// pack added at the end of its [FS] section (a new section at the end when
// it has none), in the text's own line ends.
std::string AddPackMounts(const std::string& tool_ini, const std::vector<std::string>& folders);
