// The application's file-open override: stands in front of the open entry
// from the end of start-up to the start of shutdown.
//
// A relative path (neither "/" first nor a drive letter and ":") is opened in
// the executable's directory, with "shutup.wav" standing for "silence.wav".
// A virtual path is followed through the translating file systems it lands
// on (all but the one of "/HDD/"); when it ends in a pack mounted under P
// with the rest R, loose files override the pack: "/Current" + P + R is
// tried first when outside-pack-first is set, then "/HDD1" + P + R, and only
// then the path as given. A failure logs "File Not Found: %s\n".
#pragma once

#include <string>

struct SOpenOverrideSettings {
  std::string executable_directory;  // ends in "/"
  bool outside_pack_first = false;
};

void InstallOpenOverride(const SOpenOverrideSettings& settings);
// Puts the previous open entry back; does nothing when none is installed.
void RemoveOpenOverride();
