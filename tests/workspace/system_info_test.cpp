#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "korvex_test.h"
#include "workspace/system_info.h"

TEST(SystemInfoTest, FormatDuration) {
  EXPECT_EQ(FormatDuration(90061000), "1 days, 1 hours, 1 min, 1 sec");
  EXPECT_EQ(FormatDuration(59000), "59 sec");
  EXPECT_EQ(FormatDuration(3600000 + 999), "1 hours");
  EXPECT_EQ(FormatDuration(0), "");
  EXPECT_EQ(FormatDuration(-5000), "");
  // Beyond 2^31 milliseconds (a machine up for more than 24.8 days).
  EXPECT_EQ(FormatDuration(int64_t(30) * 86400000 + 120000), "30 days, 2 min");
}

TEST(SystemInfoTest, ProcessorArchitectureNames) {
  EXPECT_EQ(ProcessorArchitectureName("x86_64"), "Intel");
  EXPECT_EQ(ProcessorArchitectureName("i686"), "Intel");
  EXPECT_EQ(ProcessorArchitectureName("mips64"), "Mips");
  EXPECT_EQ(ProcessorArchitectureName("alpha"), "Alpha");
  EXPECT_EQ(ProcessorArchitectureName("ppc64le"), "PPC");
  EXPECT_EQ(ProcessorArchitectureName("aarch64"), "Unknown (aarch64)");
}

class SystemInfoFileTest : public TKorvexTest {};

TEST_F(SystemInfoFileTest, DrivesComeFromTheMountTable) {
  const std::string disk = (TempDir / "disk one").string();
  std::filesystem::create_directories(disk);
  std::string escaped = disk;
  escaped.replace(escaped.find(' '), 1, "\\040");
  WriteFileBytes(TempDir / "mounts",
                 "proc /proc proc rw,nosuid 0 0\n"
                 "/dev/fakedisk1 " + escaped + " ext4 rw,relatime 0 0\n"
                 "tmpfs /run tmpfs rw 0 0\n"
                 "/dev/sr0 /media/cd iso9660 ro 0 0\n"
                 "server:/share /mnt/share nfs4 rw 0 0\n"
                 "tmpfs /tmp tmpfs rw 0 0\n"
                 "sysfs /sys sysfs rw 0 0\n");
  TWindowsInformation info((TempDir / "mounts").string());
  EXPECT_EQ(info.LogicalDrives, 0xFu);

  const TDriveInfo fixed = info.GetDriveInfo(0);
  EXPECT_TRUE(fixed.Exists);
  EXPECT_EQ(fixed.Root, disk);
  EXPECT_EQ(fixed.TypeName, "Fixed");
  EXPECT_EQ(fixed.DriveType, 3u);
  EXPECT_FALSE(fixed.NoDetails);
  EXPECT_EQ(fixed.VolumeName, "/dev/fakedisk1");
  EXPECT_EQ(fixed.FileSystemName, "ext4");
  EXPECT_GT(fixed.SizeMegs, 0);
  EXPECT_LE(fixed.FreeMegs, fixed.SizeMegs);
  EXPECT_TRUE(fixed.CaseSensitive);
  EXPECT_TRUE(fixed.ACLs);
  EXPECT_FALSE(fixed.Unicode);

  const TDriveInfo cd = info.GetDriveInfo(1);
  EXPECT_EQ(cd.TypeName, "CD-ROM");
  EXPECT_TRUE(cd.NoDetails);
  EXPECT_EQ(info.GetDriveInfo(2).TypeName, "Remote");
  EXPECT_EQ(info.GetDriveInfo(3).TypeName, "RAMDISK");
  EXPECT_FALSE(info.GetDriveInfo(4).Exists);
  EXPECT_FALSE(info.GetDriveInfo(40).Exists);

  const std::vector<std::string> lines = SystemInformationLines(info);
  ASSERT_GT(lines.size(), 24u);
  // Items 1..14: the colon of every label in column 27.
  for (size_t i = 0; i < 24; ++i) {
    ASSERT_GE(lines[i].size(), 28u) << lines[i];
    EXPECT_EQ(lines[i].substr(26, 2), ": ") << lines[i];
  }
  EXPECT_EQ(lines[0].substr(0, 9), "User name");
  EXPECT_EQ(lines[17].substr(0, 11), "Memory Load");
  EXPECT_EQ(lines[17].back(), '%');
  EXPECT_EQ(lines[18].substr(lines[18].size() - 5), " Megs");
  EXPECT_EQ(lines[24], "Drive : " + disk + "  (Fixed)  [/dev/fakedisk1]  ext4");
  EXPECT_EQ(lines[25].rfind("\t  Free : ", 0), 0u);
  EXPECT_EQ(lines[26].rfind("\t  Size : ", 0), 0u);
  EXPECT_EQ(lines[27].rfind("  Serial Number : ", 0), 0u);
  EXPECT_EQ(lines[28].rfind("  Maximum Length : ", 0), 0u);
  EXPECT_EQ(lines[29], "  Case Sensitive : YES");
  EXPECT_EQ(lines[30], "  Case Preserved : YES");
  EXPECT_EQ(lines[31], "  Unicode : NO");
  EXPECT_EQ(lines[32], "  ACLS : YES");
  EXPECT_EQ(lines[33], "  File Compression : NO");
  EXPECT_EQ(lines[34], "  Volume Compressed : NO");
  EXPECT_EQ(lines[35], "Drive : /media/cd  (CD-ROM)");
  EXPECT_EQ(lines[36].rfind("Drive : /mnt/share  (Remote)  [server:/share]", 0), 0u);
  EXPECT_EQ(lines.back(), "");
}

TEST(SystemInfoTest, MountClassification) {
  EXPECT_EQ(MountDriveType({"overlay", "/", "overlay", "rw"}), 3);
  EXPECT_EQ(MountDriveType({"overlay", "/var/lib/x", "overlay", "rw"}), -1);
  EXPECT_EQ(MountDriveType({"//host/share", "/mnt/s", "cifs", "rw"}), 4);
  EXPECT_EQ(MountDriveType({"tmpfs", "/dev/shm", "tmpfs", "rw"}), -1);
  EXPECT_EQ(MountDriveType({"devpts", "/dev/pts", "devpts", "rw"}), -1);
  EXPECT_EQ(MountDriveType({"/dev/loop3", "/snap/x", "squashfs", "ro"}), -1);
}

TEST(SystemInfoTest, StaticFactsOfThisMachine) {
  const TWindowsInformation& info = WindowsInformation();
  EXPECT_FALSE(info.ComputerName.empty());
  EXPECT_EQ(info.Platform, "Linux");
  EXPECT_GT(info.NumberOfProcessors, 0);
  EXPECT_GT(info.OSMajorVersion, 0);
  EXPECT_GT(info.TotalPhysicalMemory(), 0);
  EXPECT_LE(info.AvailablePhysicalMemory(), info.TotalPhysicalMemory());
  EXPECT_GE(info.MemoryLoad(), 0);
  EXPECT_LE(info.MemoryLoad(), 100);
  EXPECT_GT(info.TotalVirtualMemory(), 0);
}
