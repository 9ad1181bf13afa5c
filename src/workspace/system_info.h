// Facts about the user, the machine, the operating system, memory and disks,
// written into every entry of the error log.
//
// On Linux the facts map as follows:
//   UserName              the effective user's login name
//   ComputerName          the host name
//   WindowsDirectory      "/usr", the operating system's programs and data
//   SystemDirectory       "/lib/modules/<kernel release>" (empty when absent)
//   ProcessorArchitecture from the machine name: "Intel" for the x86 family,
//                         "Mips", "Alpha", "PPC", else "Unknown (<machine>)"
//   NumberOfProcessors    processors on line
//   ProcessorLevel        the processor family (/proc/cpuinfo)
//   ProcessorRevision     model x 256 + stepping (/proc/cpuinfo)
//   OSMajor/Minor/Build   the three numbers of the kernel release
//   OSPlatformId          0 (there is no platform number)
//   OSAdditional          the distribution's name (os-release), else the
//                         kernel's version text
//   Platform              the kernel's name ("Linux")
//   page file             swap space
//   virtual memory        the process's address space: its limit, and what
//                         is not yet mapped
//   drives                the mounted file systems that hold files (block
//                         devices, network shares, the root, /tmp), up to 32,
//                         named by their mount point instead of a letter
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Drive type codes.
enum : uint32_t {
  dtUnknown = 0, dtNoRootDir = 1, dtRemovable = 2, dtFixed = 3, dtRemote = 4, dtCDRom = 5,
  dtRamDisk = 6
};

struct TDriveInfo {
  bool Exists = false;
  std::string Root;  // the mount point, where Windows has a drive letter
  std::string TypeName;
  uint32_t DriveType = 0;
  bool NoDetails = true;
  std::string VolumeName;      // the mounted device or share
  std::string FileSystemName;  // the file system type
  int32_t FreeMegs = 0;
  int32_t SizeMegs = 0;
  uint32_t SerialNumber = 0;
  uint32_t MaxComponentLength = 0;
  bool CaseSensitive = false;
  bool CasePreserved = false;
  bool Unicode = false;
  bool ACLs = false;
  bool FileCompression = false;
  bool VolumeCompressed = false;
};

// One line of a mount table.
struct TMountEntry {
  std::string Source;
  std::string MountPoint;
  std::string Type;
  std::string Options;
};

class TWindowsInformation {
 public:
  // Gathers the static facts; mountTable is the mount table to read the
  // drives from.
  explicit TWindowsInformation(std::string mountTable = "/proc/self/mounts");

  std::string CurrentTimeText() const;
  std::string RunningTimeText() const;
  int32_t MemoryLoad() const;
  int32_t TotalPhysicalMemory() const;
  int32_t AvailablePhysicalMemory() const;
  int32_t TotalPageFile() const;
  int32_t AvailablePageFile() const;
  int32_t TotalVirtualMemory() const;
  int32_t AvailableVirtualMemory() const;
  // Drive index 0..31 (bit of LogicalDrives); a cleared record for any other.
  TDriveInfo GetDriveInfo(int32_t index) const;

  uint32_t LogicalDrives = 0;
  std::string UserName;
  std::string ComputerName;
  std::string WindowsDirectory;
  std::string SystemDirectory;
  std::string ProcessorArchitecture;
  int32_t NumberOfProcessors = 0;
  int32_t ProcessorLevel = 0;
  int32_t ProcessorRevision = 0;
  int32_t OSMajorVersion = 0;
  int32_t OSMinorVersion = 0;
  int32_t OSBuildNumber = 0;
  int32_t OSPlatformId = 0;
  std::string OSAdditional;
  std::string Platform;

 private:
  // Re-reads the mount table; the drives at the indices of LogicalDrives.
  std::vector<TMountEntry> Drives() const;
  std::string mountTable_;
};

// The one instance, made on first use.
TWindowsInformation& WindowsInformation();

// "1 days, 1 hours, 1 min, 1 sec": the non-zero parts joined by ", "; empty
// for zero or a negative count.
std::string FormatDuration(int64_t milliseconds);

// "Intel", "Mips", "Alpha", "PPC" or "Unknown (<machine>)" for a machine
// name as the kernel reports it.
std::string ProcessorArchitectureName(const std::string& machine);

// The mount table's lines (fields unescaped); an unreadable table gives none.
std::vector<TMountEntry> ReadMountTable(const std::string& path);
// The drive type of a mounted file system, or -1 for one that is not a
// drive (kernel and pseudo file systems, memory file systems other than the
// one at /tmp).
int32_t MountDriveType(const TMountEntry& mount);

// The system information block of an error log entry, ending in an empty
// line.
std::vector<std::string> SystemInformationLines(const TWindowsInformation& info);
