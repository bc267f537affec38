#include "fs/drives.h"

#include <vector>

namespace {

struct SDriveTable {
  std::vector<DriveInfo> drives;
  SDirectoryRecord executable, system, current;
};

SDriveTable& Table() {
  static SDriveTable table;
  return table;
}

SDirectoryRecord MakeRecord(const std::string& path) {
  SDirectoryRecord record;
  record.path = path;
  if (!record.path.empty() && record.path.back() != '/') record.path += '/';
  record.letter = record.path.empty() ? 0 : static_cast<uint8_t>(record.path[0]);
  return record;
}

bool IsUnder(const std::string& path, const std::string& root) {
  if (path.compare(0, root.size(), root) != 0) return false;
  return root.back() == '/' || path.size() == root.size() ||
         path[root.size()] == '/';
}

// The drive holding `path`: the one with the longest root the path lies under.
DriveInfo* DriveOf(const std::string& path) {
  DriveInfo* best = nullptr;
  for (DriveInfo& drive : Table().drives)
    if (IsUnder(path, drive.root) &&
        (!best || drive.root.size() > best->root.size()))
      best = &drive;
  return best;
}

void MarkDriveOf(SDirectoryRecord* record, uint16_t flag) {
  if (DriveInfo* drive = DriveOf(record->path)) drive->flags |= flag;
}

void TakeDriveFlags(SDirectoryRecord* record) {
  if (DriveInfo* drive = DriveOf(record->path)) record->flags = drive->flags;
}

}  // namespace

void ScanDrives(const SDirectories& directories,
                std::span<const SDriveRoot> roots) {
  SDriveTable& table = Table();
  table = SDriveTable{};
  table.executable = MakeRecord(directories.executable);
  table.system = MakeRecord(directories.system);
  table.current = MakeRecord(directories.current);
  for (const SDriveRoot& root : roots) {
    if (root.type == 0 || root.root.empty()) continue;
    if (table.drives.size() == kMaxDrives) break;
    DriveInfo drive;
    drive.letter = static_cast<uint8_t>(root.root[0]);
    drive.flags = root.type;
    drive.root = root.root;
    table.drives.push_back(drive);
  }
  MarkDriveOf(&table.executable, kDriveOfExecutable);
  MarkDriveOf(&table.system, kDriveOfSystem);
  MarkDriveOf(&table.current, kDriveOfCurrent);
  TakeDriveFlags(&table.executable);
  TakeDriveFlags(&table.system);
  TakeDriveFlags(&table.current);
}

int DriveCount() { return static_cast<int>(Table().drives.size()); }

bool GetDriveInfo(int index, DriveInfo* out) {
  if (index < 0 || index >= DriveCount()) return false;
  *out = Table().drives[static_cast<size_t>(index)];
  return true;
}

const SDirectoryRecord& ExecutableDirectoryRecord() { return Table().executable; }
const SDirectoryRecord& SystemDirectoryRecord() { return Table().system; }
const SDirectoryRecord& CurrentDirectoryRecord() { return Table().current; }
