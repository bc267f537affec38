// The application's file-open override: stands in front of the open entry
// from the end of start-up to the start of shutdown.
//
// A relative path (neither "/" first nor a drive letter and ":") is opened in
// the executable's directory, with "shutup.wav" standing for "silence.wav";
// every other path is opened as given. A failure logs "File Not Found: %s\n".
#pragma once

#include <string>

struct SOpenOverrideSettings {
  std::string executable_directory;  // ends in "/"
};

void InstallOpenOverride(const SOpenOverrideSettings& settings);
// Puts the previous open entry back; does nothing when none is installed.
void RemoveOpenOverride();
