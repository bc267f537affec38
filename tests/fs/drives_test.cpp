// The drive table over mount points.
#include <gtest/gtest.h>

#include <vector>

#include "fs/drives.h"

TEST(Drives, DirectoriesMarkTheMountPointsThatHoldThem) {
  const std::vector<SDriveRoot> roots = {{"/", kDriveFixed},
                                         {"/proc", 0},
                                         {"/tmp", kDriveRamDisk},
                                         {"/mnt/cd", kDriveCdRom}};
  // "/mnt/cd" is a prefix of the system directory's name, not its mount point.
  ScanDrives({"/tmp/game", "/mnt/cdrom/", "/home/me/"}, roots);
  ASSERT_EQ(DriveCount(), 3);
  DriveInfo root, tmp, cd;
  ASSERT_TRUE(GetDriveInfo(0, &root));
  ASSERT_TRUE(GetDriveInfo(1, &tmp));
  ASSERT_TRUE(GetDriveInfo(2, &cd));
  EXPECT_FALSE(GetDriveInfo(3, &cd));
  EXPECT_EQ(root.letter, static_cast<uint32_t>('/'));
  EXPECT_EQ(root.flags, kDriveFixed | kDriveOfSystem | kDriveOfCurrent);
  EXPECT_EQ(tmp.flags, kDriveRamDisk | kDriveOfExecutable);
  EXPECT_EQ(cd.flags, kDriveCdRom);

  const SDirectoryRecord& exe = ExecutableDirectoryRecord();
  EXPECT_EQ(exe.path, "/tmp/game/");
  EXPECT_EQ(exe.letter, static_cast<uint32_t>('/'));
  EXPECT_EQ(exe.flags, tmp.flags);
  EXPECT_EQ(CurrentDirectoryRecord().flags, root.flags);
}

TEST(Drives, TheTableHoldsAtMostThirtyTwoVolumes) {
  std::vector<SDriveRoot> roots;
  for (int i = 0; i < 40; ++i)
    roots.push_back({"/mnt/" + std::to_string(i), kDriveFixed});
  ScanDrives({"/", "/", "/"}, roots);
  EXPECT_EQ(DriveCount(), kMaxDrives);
}
