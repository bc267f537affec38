// The drive table: the volumes the platform offers and the three directory
// records (the executable's, the system's and the current directory).
//
// On systems without drive letters the table holds mount points; their
// "letter" is the first character of their path, as for every record.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/platform.h"

// Flags of the directory records, beside the volume types of the platform.
inline constexpr uint16_t kDriveOfExecutable = 0x80;
inline constexpr uint16_t kDriveOfSystem = 0x100;
inline constexpr uint16_t kDriveOfCurrent = 0x200;

inline constexpr int kMaxDrives = 32;

struct DriveInfo {
  uint32_t letter = 0;
  uint16_t flags = 0;
  std::string root;
};

struct SDirectoryRecord {
  uint32_t letter = 0;
  uint16_t flags = 0;
  std::string path;  // ends in a separator
};

struct SDirectories {
  std::string executable;
  std::string system;
  std::string current;
};

// Fills the table from the platform's volumes, at most kMaxDrives of them;
// roots the platform cannot type (type 0) are skipped.
void ScanDrives(const SDirectories& directories,
                std::span<const SDriveRoot> roots);
int DriveCount();
bool GetDriveInfo(int index, DriveInfo* out);
const SDirectoryRecord& ExecutableDirectoryRecord();
const SDirectoryRecord& SystemDirectoryRecord();
const SDirectoryRecord& CurrentDirectoryRecord();
