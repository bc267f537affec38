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

#include "app/base/errors.h"

using ConfigEntries = std::vector<std::pair<std::string, std::string>>;

// The "HPFS" kind's functions come from the layer that has the handle store
// (the file system stays below it); until they are set such keys are skipped.
using MountFunction = ErrCode (*)(const std::string& prefix, const std::string& argument);
using UnmountFunction = ErrCode (*)(const std::string& prefix);
void SetStoreMountFunctions(MountFunction mount, UnmountFunction unmount);

// Both process every entry and answer the last error met (0 when none).
ErrCode MountFromConfig(const ConfigEntries& entries);
ErrCode UnmountFromConfig(const ConfigEntries& entries);
