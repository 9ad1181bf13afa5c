#include "workspace/system_info.h"

#include <pwd.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/utilities.h"
#include "platform/events.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kMeg = 1048576;

int32_t SaturatedMegs(int64_t bytes) {
  const int64_t megs = bytes / kMeg;
  return static_cast<int32_t>(std::clamp<int64_t>(megs, INT32_MIN, INT32_MAX));
}

std::string Cut(std::string text, size_t max) {
  if (text.size() > max) text.resize(max);
  return text;
}

// The value of "key : value" lines of a /proc text (first match), or empty.
std::string ProcField(const std::string& path, const std::string& key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    if (TrimBlanks(line.substr(0, colon)) == key) return TrimBlanks(line.substr(colon + 1));
  }
  return {};
}

// A "... kB" figure of /proc/meminfo or /proc/self/status in bytes; -1 when
// it is missing.
int64_t ProcKiloBytes(const std::string& path, const std::string& key) {
  const std::string value = ProcField(path, key);
  if (value.empty() || !std::isdigit(static_cast<unsigned char>(value[0]))) return -1;
  return std::stoll(value) * 1024;
}

// The first three numbers of a release text such as "6.1.0-18-amd64".
void ReleaseNumbers(const std::string& release, int32_t& major, int32_t& minor, int32_t& build) {
  int32_t* parts[3] = {&major, &minor, &build};
  size_t i = 0;
  for (int32_t* part : parts) {
    if (i >= release.size() || !std::isdigit(static_cast<unsigned char>(release[i]))) return;
    int64_t v = 0;
    while (i < release.size() && std::isdigit(static_cast<unsigned char>(release[i]))) {
      v = std::min<int64_t>(v * 10 + (release[i] - '0'), INT32_MAX);
      ++i;
    }
    *part = static_cast<int32_t>(v);
    if (i >= release.size() || release[i] != '.') return;
    ++i;
  }
}

// The PRETTY_NAME of the distribution, or empty.
std::string DistributionName() {
  for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
      std::string v = line.substr(12);
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
      return v;
    }
  }
  return {};
}

// Mount table fields escape blanks and a few others as \ooo.
std::string UnescapeMountField(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() + 0 && std::isdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isdigit(static_cast<unsigned char>(s[i + 2])) &&
        std::isdigit(static_cast<unsigned char>(s[i + 3]))) {
      out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool HasOption(const std::string& options, const std::string& name) {
  std::stringstream ss(options);
  std::string o;
  while (std::getline(ss, o, ','))
    if (o == name || o.rfind(name + "=", 0) == 0) return true;
  return false;
}

bool OneOf(const std::string& v, std::initializer_list<const char*> list) {
  return std::any_of(list.begin(), list.end(), [&](const char* s) { return v == s; });
}

// True when the block device behind a device path is marked removable.
bool IsRemovableDevice(const std::string& source) {
  std::error_code ec;
  const fs::path dev = fs::canonical(source, ec);
  if (ec) return false;
  const fs::path sys = fs::canonical(fs::path("/sys/class/block") / dev.filename(), ec);
  if (ec) return false;
  for (const fs::path& dir : {sys, sys.parent_path()}) {
    std::ifstream in(dir / "removable");
    int flag = 0;
    if (in >> flag) return flag != 0;
  }
  return false;
}

std::string GroupedMegs(int32_t v) { return IntToStrGroupedPadded(v, 5); }

// "Label" padded with blanks so that the colon after it stands in column 27.
std::string Label(const std::string& label) {
  std::string s = label;
  if (s.size() < 26) s.append(26 - s.size(), ' ');
  return s + ": ";
}

std::string YesNo(bool v) { return v ? "YES" : "NO"; }

}  // namespace

std::string FormatDuration(int64_t ms) {
  if (ms <= 0) return {};
  const int64_t days = ms / 86400000;
  ms %= 86400000;
  const int64_t hours = ms / 3600000;
  ms %= 3600000;
  const int64_t minutes = ms / 60000;
  ms %= 60000;
  const int64_t seconds = ms / 1000;
  std::string out;
  auto part = [&out](int64_t n, const char* unit) {
    if (n <= 0) return;
    if (!out.empty()) out += ", ";
    out += std::to_string(n) + unit;
  };
  part(days, " days");
  part(hours, " hours");
  part(minutes, " min");
  part(seconds, " sec");
  return out;
}

std::string ProcessorArchitectureName(const std::string& machine) {
  const std::string m = LowerCaseStr(machine);
  if (m == "x86_64" || m == "amd64" || m == "x86" ||
      (m.size() == 4 && m[0] == 'i' && m[1] >= '3' && m[1] <= '6' && m.substr(2) == "86"))
    return "Intel";
  if (m.rfind("mips", 0) == 0) return "Mips";
  if (m.rfind("alpha", 0) == 0) return "Alpha";
  if (m.rfind("ppc", 0) == 0 || m.rfind("powerpc", 0) == 0) return "PPC";
  return "Unknown (" + machine + ")";
}

std::vector<TMountEntry> ReadMountTable(const std::string& path) {
  std::vector<TMountEntry> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ss(line);
    TMountEntry e;
    if (!(ss >> e.Source >> e.MountPoint >> e.Type)) continue;
    ss >> e.Options;
    e.Source = UnescapeMountField(e.Source);
    e.MountPoint = UnescapeMountField(e.MountPoint);
    out.push_back(std::move(e));
  }
  return out;
}

int32_t MountDriveType(const TMountEntry& m) {
  const std::string& t = m.Type;
  if (OneOf(t, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "fuse.sshfs", "sshfs", "afs",
                "ceph", "glusterfs", "davfs", "fuse.davfs"}))
    return dtRemote;
  if (OneOf(t, {"iso9660", "udf"})) return dtCDRom;
  if (OneOf(t, {"tmpfs", "ramfs"})) return m.MountPoint == "/tmp" ? int32_t(dtRamDisk) : -1;
  if (m.MountPoint == "/") return dtFixed;
  if (m.Source.rfind("/dev/", 0) == 0 && !OneOf(t, {"devtmpfs", "devpts", "squashfs"}))
    return IsRemovableDevice(m.Source) ? dtRemovable : dtFixed;
  return -1;
}

TWindowsInformation::TWindowsInformation(std::string mountTable)
    : mountTable_(std::move(mountTable)) {
  if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name) UserName = Cut(pw->pw_name, 255);
  char host[1024] = {};
  if (gethostname(host, sizeof host - 1) == 0) ComputerName = Cut(host, 255);
  WindowsDirectory = "/usr";

  utsname uts{};
  if (uname(&uts) == 0) {
    std::error_code ec;
    const std::string modules = std::string("/lib/modules/") + uts.release;
    if (fs::is_directory(modules, ec)) SystemDirectory = Cut(modules, 255);
    ProcessorArchitecture = Cut(ProcessorArchitectureName(uts.machine), 255);
    ReleaseNumbers(uts.release, OSMajorVersion, OSMinorVersion, OSBuildNumber);
    std::string extra = DistributionName();
    if (extra.empty()) extra = uts.version;
    OSAdditional = Cut(extra, 128);
    Platform = Cut(uts.sysname, 255);
  }
  NumberOfProcessors = static_cast<int32_t>(std::max<long>(sysconf(_SC_NPROCESSORS_ONLN), 0));
  ProcessorLevel = StrToIntLenient(ProcField("/proc/cpuinfo", "cpu family"));
  ProcessorRevision = StrToIntLenient(ProcField("/proc/cpuinfo", "model")) * 256 +
                      StrToIntLenient(ProcField("/proc/cpuinfo", "stepping"));

  const size_t drives = std::min<size_t>(Drives().size(), 32);
  for (size_t i = 0; i < drives; ++i) LogicalDrives |= 1u << i;
}

std::vector<TMountEntry> TWindowsInformation::Drives() const {
  std::vector<TMountEntry> drives;
  for (const TMountEntry& m : ReadMountTable(mountTable_)) {
    if (MountDriveType(m) < 0) continue;
    // A later mount on the same point hides the earlier one.
    auto same = std::find_if(drives.begin(), drives.end(),
                             [&](const TMountEntry& d) { return d.MountPoint == m.MountPoint; });
    if (same != drives.end())
      *same = m;
    else
      drives.push_back(m);
  }
  return drives;
}

std::string TWindowsInformation::CurrentTimeText() const {
  const TDateTimeParts t = LocalNow();
  std::string year = std::to_string(t.Year);
  if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
  return IntToStr2(t.Month) + "-" + IntToStr2(t.Day) + "-" + year + " " + IntToStr2(t.Hour) +
         ":" + IntToStr2(t.Minute) + ":" + IntToStr2(t.Second);
}

std::string TWindowsInformation::RunningTimeText() const {
  timespec ts{};
  if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) return {};
  return FormatDuration(static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

namespace {
struct TMemoryStatus {
  int64_t TotalPhys = 0, AvailPhys = 0, TotalSwap = 0, AvailSwap = 0, TotalVirtual = 0,
          AvailVirtual = 0;
};

TMemoryStatus ReadMemoryStatus() {
  TMemoryStatus m;
  struct sysinfo si {};
  if (sysinfo(&si) == 0) {
    const int64_t unit = si.mem_unit ? si.mem_unit : 1;
    m.TotalPhys = static_cast<int64_t>(si.totalram) * unit;
    m.AvailPhys = static_cast<int64_t>(si.freeram + si.bufferram) * unit;
    m.TotalSwap = static_cast<int64_t>(si.totalswap) * unit;
    m.AvailSwap = static_cast<int64_t>(si.freeswap) * unit;
  }
  const int64_t available = ProcKiloBytes("/proc/meminfo", "MemAvailable");
  if (available >= 0) m.AvailPhys = available;
  rlimit rl{};
  if (getrlimit(RLIMIT_AS, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY)
    m.TotalVirtual = static_cast<int64_t>(rl.rlim_cur);
  else
    m.TotalVirtual = sizeof(void*) == 8 ? (int64_t{1} << 47) : (int64_t{3} << 30);
  const int64_t used = ProcKiloBytes("/proc/self/status", "VmSize");
  m.AvailVirtual = std::max<int64_t>(m.TotalVirtual - std::max<int64_t>(used, 0), 0);
  return m;
}
}  // namespace

int32_t TWindowsInformation::MemoryLoad() const {
  const TMemoryStatus m = ReadMemoryStatus();
  if (m.TotalPhys <= 0) return 0;
  return static_cast<int32_t>((m.TotalPhys - m.AvailPhys) * 100 / m.TotalPhys);
}
int32_t TWindowsInformation::TotalPhysicalMemory() const {
  return SaturatedMegs(ReadMemoryStatus().TotalPhys);
}
int32_t TWindowsInformation::AvailablePhysicalMemory() const {
  return SaturatedMegs(ReadMemoryStatus().AvailPhys);
}
int32_t TWindowsInformation::TotalPageFile() const {
  return SaturatedMegs(ReadMemoryStatus().TotalSwap);
}
int32_t TWindowsInformation::AvailablePageFile() const {
  return SaturatedMegs(ReadMemoryStatus().AvailSwap);
}
int32_t TWindowsInformation::TotalVirtualMemory() const {
  return SaturatedMegs(ReadMemoryStatus().TotalVirtual);
}
int32_t TWindowsInformation::AvailableVirtualMemory() const {
  return SaturatedMegs(ReadMemoryStatus().AvailVirtual);
}

TDriveInfo TWindowsInformation::GetDriveInfo(int32_t index) const {
  TDriveInfo d;
  d.Root = " ";
  if (index < 0 || index >= 32 || (LogicalDrives & (1u << index)) == 0) return d;
  const std::vector<TMountEntry> drives = Drives();
  if (static_cast<size_t>(index) >= drives.size()) return d;
  const TMountEntry& m = drives[static_cast<size_t>(index)];
  d.Exists = true;
  d.Root = m.MountPoint;
  d.DriveType = static_cast<uint32_t>(MountDriveType(m));
  switch (d.DriveType) {
    case dtUnknown: d.TypeName = "Unknown"; break;
    case dtNoRootDir: d.TypeName = "Error"; break;
    case dtRemovable: d.TypeName = "Removeable"; break;
    case dtFixed: d.TypeName = "Fixed"; d.NoDetails = false; break;
    case dtRemote: d.TypeName = "Remote"; d.NoDetails = false; break;
    case dtCDRom: d.TypeName = "CD-ROM"; break;
    case dtRamDisk: d.TypeName = "RAMDISK"; d.NoDetails = false; break;
    default: d.TypeName = "UNKNOWN!"; break;
  }
  if (d.NoDetails) return d;
  d.VolumeName = Cut(m.Source, 255);
  d.FileSystemName = Cut(m.Type, 255);
  struct statvfs st {};
  if (statvfs(m.MountPoint.c_str(), &st) == 0) {
    const int64_t frag = st.f_frsize ? static_cast<int64_t>(st.f_frsize) : st.f_bsize;
    d.FreeMegs = SaturatedMegs(static_cast<int64_t>(st.f_bavail) * frag);
    d.SizeMegs = SaturatedMegs(static_cast<int64_t>(st.f_blocks) * frag);
    d.SerialNumber = static_cast<uint32_t>(st.f_fsid);
    d.MaxComponentLength = static_cast<uint32_t>(st.f_namemax);
  }
  const std::string& t = m.Type;
  d.CaseSensitive = !OneOf(t, {"vfat", "msdos", "exfat"});
  d.CasePreserved = t != "msdos";
  d.Unicode = OneOf(t, {"vfat", "exfat", "ntfs", "ntfs3", "udf"});
  d.ACLs = !HasOption(m.Options, "noacl") &&
           (HasOption(m.Options, "acl") || OneOf(t, {"ext4", "ext3", "xfs", "btrfs"}));
  d.FileCompression = t == "btrfs" || HasOption(m.Options, "compress") ||
                      HasOption(m.Options, "compress-force");
  d.VolumeCompressed = OneOf(t, {"squashfs", "erofs", "cramfs"});
  return d;
}

TWindowsInformation& WindowsInformation() {
  static TWindowsInformation info;
  return info;
}

std::vector<std::string> SystemInformationLines(const TWindowsInformation& info) {
  std::vector<std::string> l;
  std::error_code ec;
  const std::string current = fs::current_path(ec).string();
  l.push_back(Label("User name") + info.UserName);
  l.push_back(Label("Computer name") + info.ComputerName);
  l.push_back(Label("Windows directory") + info.WindowsDirectory);
  l.push_back(Label("System directory") + info.SystemDirectory);
  l.push_back(Label("Current directory") + current);
  l.push_back(Label("Processor Architecture") + info.ProcessorArchitecture);
  l.push_back(Label("Number of Processors") + std::to_string(info.NumberOfProcessors));
  l.push_back(Label("Processor Level") + std::to_string(info.ProcessorLevel));
  l.push_back(Label("Processor Revision") + std::to_string(info.ProcessorRevision));
  l.push_back(Label("OS Major Version") + std::to_string(info.OSMajorVersion));
  l.push_back(Label("OS Minor Version") + std::to_string(info.OSMinorVersion));
  l.push_back(Label("OS Build Number") + std::to_string(info.OSBuildNumber));
  l.push_back(Label("OS Platform") + std::to_string(info.OSPlatformId));
  l.push_back(Label("OS Additional") + info.OSAdditional);
  l.push_back(Label("Platform") + info.Platform);
  l.push_back(Label("Time") + info.CurrentTimeText());
  l.push_back(Label("Running Time") + info.RunningTimeText());
  l.push_back(Label("Memory Load") + std::to_string(info.MemoryLoad()) + "%");
  l.push_back(Label("Total Physical Memory") + GroupedMegs(info.TotalPhysicalMemory()) + " Megs");
  l.push_back(Label("Available Physical Memory") + GroupedMegs(info.AvailablePhysicalMemory()) +
              " Megs");
  l.push_back(Label("Total Page File") + GroupedMegs(info.TotalPageFile()) + " Megs");
  l.push_back(Label("Available Page File") + GroupedMegs(info.AvailablePageFile()) + " Megs");
  l.push_back(Label("Total Virtual Memory") + GroupedMegs(info.TotalVirtualMemory()) + " Megs");
  l.push_back(Label("Available Virtual Memory") + GroupedMegs(info.AvailableVirtualMemory()) +
              " Megs");
  for (int32_t i = 0; i < 32; ++i) {
    const TDriveInfo d = info.GetDriveInfo(i);
    if (!d.Exists) continue;
    const std::string head = "Drive : " + d.Root + "  (" + d.TypeName + ")";
    if (d.NoDetails) {
      l.push_back(head);
      continue;
    }
    l.push_back(head + "  [" + d.VolumeName + "]  " + d.FileSystemName);
    l.push_back("\t  Free : " + GroupedMegs(d.FreeMegs) + " Megs");
    l.push_back("\t  Size : " + GroupedMegs(d.SizeMegs) + " Megs");
    l.push_back("  Serial Number : " + std::to_string(static_cast<int32_t>(d.SerialNumber)));
    l.push_back("  Maximum Length : " + std::to_string(d.MaxComponentLength));
    l.push_back("  Case Sensitive : " + YesNo(d.CaseSensitive));
    l.push_back("  Case Preserved : " + YesNo(d.CasePreserved));
    l.push_back("  Unicode : " + YesNo(d.Unicode));
    l.push_back("  ACLS : " + YesNo(d.ACLs));
    l.push_back("  File Compression : " + YesNo(d.FileCompression));
    l.push_back("  Volume Compressed : " + YesNo(d.VolumeCompressed));
  }
  l.push_back("");
  return l;
}
