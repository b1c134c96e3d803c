#include <gtest/gtest.h>

#include <fstream>

#include "services_test_env.h"
#include "orva/services/local_setup.h"

namespace orva::services {
namespace {

TEST(Folders, SubfoldersOfTheBaseFolder) {
  const Folders f = FoldersOf("/srv/ORVA7000");
  EXPECT_EQ(f.upgrade, "/srv/ORVA7000/Upgrade");
  EXPECT_EQ(f.log, "/srv/ORVA7000/Log");
  EXPECT_EQ(f.saved, "/srv/ORVA7000/Saved");
  EXPECT_EQ(f.download, "/srv/ORVA7000/Download");
}

TEST(Folders, UpgradeFolderIsCreatedWithItsParentsOrFailsWithAReason) {
  const auto base = test::FreshDir("upgrade") / "a" / "b";
  std::string error;
  ASSERT_TRUE(CreateUpgradeFolder(base.string(), error)) << error;
  EXPECT_TRUE(std::filesystem::is_directory(base / "Upgrade"));
  EXPECT_TRUE(CreateUpgradeFolder(base.string(), error)) << "an existing folder is fine";

  EXPECT_FALSE(CreateUpgradeFolder("", error));
  EXPECT_FALSE(error.empty());

  const auto file = test::FreshDir("upgrade-file") / "plain";
  test::WriteText(file, "x");
  error.clear();
  EXPECT_FALSE(CreateUpgradeFolder(file.string(), error));
  EXPECT_NE(error.find("Upgrade"), std::string::npos) << error;
}

TEST(DiskSpace, TmpHasSpaceAndMissingFoldersUseTheirParent) {
  uint64_t freeMiB = 0, totalMiB = 0;
  ASSERT_TRUE(GetDiskSpace("/tmp", freeMiB, totalMiB));
  EXPECT_GT(totalMiB, 0u);
  EXPECT_LE(freeMiB, totalMiB);
  uint64_t free2 = 0, total2 = 0;
  ASSERT_TRUE(GetDiskSpace("/tmp/orva-not-made-yet/Download", free2, total2));
  EXPECT_EQ(total2, totalMiB);
}

TEST(RemovableMode, OverrideWinsBothWays) {
  EXPECT_TRUE(DetectRemovableMode("/tmp", true));
  EXPECT_FALSE(DetectRemovableMode("/tmp", false));
}

TEST(RemovableMode, NetworkAndOpticalFileSystemsCount) {
  EXPECT_TRUE(FileSystemCountsAsRemovable(0x6969));      // NFS
  EXPECT_TRUE(FileSystemCountsAsRemovable(0xFF534D42));  // CIFS
  EXPECT_TRUE(FileSystemCountsAsRemovable(0xFE534D42));  // SMB3
  EXPECT_TRUE(FileSystemCountsAsRemovable(0x65735546));  // FUSE (sshfs)
  EXPECT_TRUE(FileSystemCountsAsRemovable(0x9660));      // ISO 9660
  EXPECT_FALSE(FileSystemCountsAsRemovable(0xEF53));     // ext4
  EXPECT_FALSE(FileSystemCountsAsRemovable(0x01021994)); // tmpfs
}

// A fake /sys: sda fixed with partition sda1, sdb a USB stick with sdb1.
TEST(RemovableMode, BlockDeviceFlagIsReadFromTheDiskAbovePartitions) {
  const auto sys = test::FreshDir("sys");
  const auto devices = sys / "devices" / "pci0000:00" / "usb1";
  auto makeDisk = [&](const std::string& disk, const char* removable) {
    std::filesystem::create_directories(devices / disk / (disk + "1"));
    test::WriteText(devices / disk / "removable", removable);
    test::WriteText(devices / disk / (disk + "1") / "partition", "1\n");
  };
  makeDisk("sda", "0\n");
  makeDisk("sdb", "1\n");
  std::filesystem::create_directories(sys / "dev" / "block");
  std::filesystem::create_directory_symlink(devices / "sda", sys / "dev" / "block" / "8:0");
  std::filesystem::create_directory_symlink(devices / "sda" / "sda1", sys / "dev" / "block" / "8:1");
  std::filesystem::create_directory_symlink(devices / "sdb", sys / "dev" / "block" / "8:16");
  std::filesystem::create_directory_symlink(devices / "sdb" / "sdb1", sys / "dev" / "block" / "8:17");

  EXPECT_FALSE(BlockDeviceIsRemovable(8, 0, sys));
  EXPECT_FALSE(BlockDeviceIsRemovable(8, 1, sys));
  EXPECT_TRUE(BlockDeviceIsRemovable(8, 16, sys));
  EXPECT_TRUE(BlockDeviceIsRemovable(8, 17, sys));
  EXPECT_FALSE(BlockDeviceIsRemovable(0, 42, sys)) << "no block device (tmpfs, overlay) is fixed";
}

}  // namespace
}  // namespace orva::services
