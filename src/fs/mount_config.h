// Mounting from configuration: the keys of the configuration's file-system
// section are mount prefixes, their values "<kind>[ ][,][ ]<argument>".
//
//   /HDD/=Trans, ./        re-roots the game folder under /HDD/
//   /World/=Pack, /HDD/World.pak
//   /SignIn/=HPFS, /HDD/users.prj
//
// The kind is matched ignoring case over its own length; unknown kinds are
// ignored. A relative "Trans" argument is taken relative to the executable's
// directory, so a game folder's configuration can name its own files.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/errors.h"

using ConfigEntries = std::vector<std::pair<std::string, std::string>>;

inline constexpr char kToolInterfacePrefix[] = "/Tool Interface/";

// The mount of the shipped "Tool Interface/" beside the executable, unless
// `entries` mount that prefix themselves (then nothing).
ConfigEntries ShippedToolInterface(const ConfigEntries& entries);

// Both process every entry and answer the last error met (0 when none).
ErrCode MountFromConfig(const ConfigEntries& entries);
ErrCode UnmountFromConfig(const ConfigEntries& entries);
