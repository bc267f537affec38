// Names of files inside a game's source folder, as recipes give them.
#pragma once

#include <string>
#include <string_view>

// Whether `relative` names a file inside `root`: a relative name with the
// script paths' rules ("\" counts as "/", no empty, "." or ".."
// components) and no symbolic link below `root` on the way. True with the
// native path in `full`.
bool SourcePathInside(const std::string& root, std::string_view relative, std::string* full);
