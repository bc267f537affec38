// What a game's build makes of its source folder: the recipes to run (each
// keyed by the SHA-256 of what its output depends on), the packs and their
// members, the loose files and the game's tool.ini.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "pack_files.h"

enum class EGameJob { kPicture, kAnimation, kFont, kWorld };

struct SGameJob {
  EGameJob kind;
  std::string source;             // the source file messages name, relative
  std::vector<std::string> args;  // the kind's inputs, native paths and values
                                  // (a picture: the SVG and its rendering)
  std::string output;             // in the cache folder, named by the key
};

struct SLooseFile {
  std::string name;  // in the output folder
  std::string path;  // the file to copy
};

struct SGamePlan {
  std::vector<SGameJob> jobs;
  std::map<std::string, std::vector<SPackFile>> packs;  // by top-level folder
  std::vector<SLooseFile> loose;
  std::string project;       // "<src dir name>.prj", empty without world/
  std::string project_file;  // the world job's output
  std::string tool_ini;
  std::set<std::string> renders;  // the SVGs' renderings the jobs use
};

// Paths the plan refers to.
struct SGameFolders {
  std::string source;
  std::string cache;
  std::string tool_version;  // part of every key
};

// The recipes' fixed settings.
inline constexpr const char* kGamePalette = "art/palette.gpl";
// 10 distance bits and 5 length bits: the pictures' long runs of one
// colour pack about half as small as with 12 and 4.
inline constexpr const char* kGameLzss = "0xA5";

// False with the messages ("<file>[(<line>, <col>)]: error: <text>") for
// everything wrong in the folder.
bool PlanGame(const SGameFolders& folders, SGamePlan* plan, std::vector<std::string>* errors);
