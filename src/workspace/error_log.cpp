#include "workspace/error_log.h"

#include <cxxabi.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ios>
#include <memory>
#include <system_error>
#include <typeinfo>

#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/view_services.h"
#include "platform/file_ops.h"
#include "platform/paths.h"
#include "workspace/system_info.h"

const char* const LogHeaderText = "Orbenwright Error log file, please do not edit.";

std::string ErrorLogFileName() { return ExecutionPath() + "KORVEX6.LOG"; }

namespace {

// ---- The slot block ----------------------------------------------------------

using TLogBlock = std::vector<uint8_t>;

int32_t SlotNumber(const TLogBlock& b, int32_t slot) {
  const size_t o = static_cast<size_t>(slot - 1) * LogSlotSize;
  return static_cast<int32_t>(uint32_t(b[o]) | uint32_t(b[o + 1]) << 8 | uint32_t(b[o + 2]) << 16 |
                              uint32_t(b[o + 3]) << 24);
}

std::string SlotText(const TLogBlock& b, int32_t slot) {
  const size_t o = static_cast<size_t>(slot - 1) * LogSlotSize;
  const size_t length = std::min<size_t>(b[o + 4], LogTextMax);
  return std::string(reinterpret_cast<const char*>(&b[o + 5]), length);
}

void SetSlot(TLogBlock& b, int32_t slot, int32_t number, const std::string& text) {
  const size_t o = static_cast<size_t>(slot - 1) * LogSlotSize;
  const auto n = static_cast<uint32_t>(number);
  b[o] = uint8_t(n);
  b[o + 1] = uint8_t(n >> 8);
  b[o + 2] = uint8_t(n >> 16);
  b[o + 3] = uint8_t(n >> 24);
  const size_t length = std::min<size_t>(text.size(), LogTextMax);
  b[o + 4] = static_cast<uint8_t>(length);
  std::memset(&b[o + 5], 0, LogTextMax);
  std::memcpy(&b[o + 5], text.data(), length);
}

bool HasMark(const TLogBlock& b) { return static_cast<uint32_t>(SlotNumber(b, 1)) == LogMark; }

TLogBlock FreshBlock() {
  TLogBlock b(LogFileSize, 0);
  SetSlot(b, 1, static_cast<int32_t>(LogMark), LogHeaderText);
  return b;
}

// Reads the block; a file shorter than the block reads as if its missing
// slots were free. False when the file cannot be opened or read.
bool ReadBlock(const std::string& path, TLogBlock& block) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  block.assign(LogFileSize, 0);
  in.read(reinterpret_cast<char*>(block.data()), LogFileSize);
  return !in.bad();
}

// The last used slot of slots 2..1,000; 1 when they are all free.
int32_t LastUsedSlot(const TLogBlock& b) {
  for (int32_t slot = LogSlotCount; slot >= 2; --slot)
    if (SlotNumber(b, slot) != 0) return slot;
  return 1;
}

// One ageing pass: every number goes down by one, slots left at 0 or below
// are freed, the rest close up from slot 2 on. Returns the first free slot
// and the next entry number.
void AgeOnce(TLogBlock& b, int32_t& firstFree, int32_t& nextNumber) {
  int32_t to = 2;
  int32_t highest = 0;
  for (int32_t slot = 2; slot <= LogSlotCount; ++slot) {
    const int32_t number = SlotNumber(b, slot);
    if (number == 0) continue;
    const int32_t aged = number - 1;
    if (aged <= 0) {
      SetSlot(b, slot, 0, "");
      continue;
    }
    const std::string text = SlotText(b, slot);
    SetSlot(b, slot, 0, "");
    SetSlot(b, to, aged, text);
    highest = std::max(highest, aged);
    ++to;
  }
  firstFree = to;
  nextNumber = highest + 1;
}

void WriteBlockReplacing(const std::string& path, const TLogBlock& block) {
  if (const int code = ReplaceFileContents(path, block.data(), LogFileSize))
    throw EInOutError(SystemErrorText(code) + "\r\nwhile writing the error log", code);
}

std::string ProgramPath() {
  std::error_code ec;
  const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

std::string Demangle(const char* name) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> out(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                             std::free);
  return status == 0 && out ? std::string(out.get()) : std::string(name);
}

// The name of the first base class of a class, from its run-time type
// information; empty when it has none.
std::string ParentName(const std::type_info& type) {
  if (auto* single = dynamic_cast<const abi::__si_class_type_info*>(&type))
    return Demangle(single->__base_type->name());
  if (auto* multiple = dynamic_cast<const abi::__vmi_class_type_info*>(&type)) {
    if (multiple->__base_count > 0) return Demangle(multiple->__base_info[0].__base_type->name());
  }
  return {};
}

std::function<std::string()>& CommandHook() {
  static std::function<std::string()> hook;
  return hook;
}

const char* const kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};

}  // namespace

std::string WriteLogEntry(const std::string& fileName, const std::vector<std::string>& lines) {
  const std::string path = NativePath(fileName);
  // An entry longer than the log can hold keeps its first lines.
  const int32_t count = std::min<int32_t>(static_cast<int32_t>(lines.size()), LogMaxEntryLines);
  TLogBlock block;
  int32_t firstFree = 2;
  int32_t number = 1;
  bool fresh = true;
  std::string kept;
  if (FileExistsNoWild(fileName)) {
    if (!ReadBlock(path, block)) {
      const int code = errno ? errno : EIO;
      throw EInOutError(SystemErrorText(code) + "\r\nwhile reading the error log", code);
    }
    fresh = !HasMark(block);
    // A damaged log still holds the older entries: it goes aside, never
    // under the fresh one.
    if (fresh && std::any_of(block.begin(), block.end(), [](uint8_t b) { return b != 0; })) {
      if (const int code = KeepFileAside(path, kept))
        throw EInOutError(SystemErrorText(code) + "\r\nwhile keeping the damaged error log aside",
                          code);
    }
  }
  if (fresh) {
    block = FreshBlock();
  } else {
    const int32_t last = LastUsedSlot(block);
    firstFree = last + 1;
    number = last >= 2 ? SlotNumber(block, last) + 1 : 1;
    if (count > LogSlotCount - 1 - last) {
      do {
        AgeOnce(block, firstFree, number);
      } while (count > LogSlotCount - firstFree);
    }
  }
  for (int32_t k = 0; k < count; ++k)
    SetSlot(block, firstFree + k, number, lines[static_cast<size_t>(k)]);
  WriteBlockReplacing(path, block);
  return kept;
}

bool ReadLogEntry(const std::string& fileName, int32_t& entry, std::vector<std::string>& lines,
                  int32_t& newest) {
  lines.clear();
  int32_t e = std::max<int32_t>(entry, 1);
  TLogBlock block;
  if (!FileExistsNoWild(fileName)) {
    entry = 0;
    newest = 0;
    return true;
  }
  if (!ReadBlock(NativePath(fileName), block)) return false;
  if (!HasMark(block)) {
    entry = 0;
    newest = 0;
    return true;
  }
  int32_t slot = 2;
  while (slot < LogSlotCount && SlotNumber(block, slot) != 0 && SlotNumber(block, slot) != e)
    ++slot;
  if (SlotNumber(block, slot) != e) {
    // Not found: take the newest entry, that of the last used slot.
    if (SlotNumber(block, slot) == 0) --slot;
    if (slot < 2) {  // no entries at all
      entry = 0;
      newest = 0;
      return true;
    }
    e = SlotNumber(block, slot);
    while (slot > 2 && SlotNumber(block, slot - 1) == e) --slot;
  }
  while (slot <= LogSlotCount && SlotNumber(block, slot) == e) {
    lines.push_back(SlotText(block, slot));
    ++slot;
  }
  int32_t highest = e;
  for (int32_t s = std::max(slot - 1, 2); s <= LogSlotCount && SlotNumber(block, s) != 0; ++s)
    highest = std::max(highest, SlotNumber(block, s));
  entry = e;
  newest = highest;
  return true;
}

std::string ErrorTimeText(const TDateTimeParts& t) {
  // Day of the week by Sakamoto's rule (0 = Sunday).
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  const int month = std::clamp(t.Month, 1, 12);
  const int y = t.Year - (month < 3 ? 1 : 0);
  const int weekday = ((y + y / 4 - y / 100 + y / 400 + offsets[month - 1] + t.Day) % 7 + 7) % 7;
  const int hour12 = t.Hour % 12 == 0 ? 12 : t.Hour % 12;
  return std::string(kWeekdays[weekday]) + ", " + kMonths[month - 1] + " " +
         std::to_string(t.Day) + ", " + std::to_string(t.Year) + " at " + std::to_string(hour12) +
         ":" + IntToStr2(t.Minute) + " " + (t.Hour < 12 ? "am" : "pm");
}

void SetCurrentCommandHook(std::function<std::string()> hook) { CommandHook() = std::move(hook); }

std::string CurrentCommandText() {
  const auto& hook = CommandHook();
  return hook ? hook() : std::string();
}

TErrorDescription DescribeException(const std::exception& e) {
  TErrorDescription d;
  d.Message = e.what();
  d.ClassName = Demangle(typeid(e).name());
  d.ParentClassName = ParentName(typeid(e));
  if (auto* io = dynamic_cast<const EInOutError*>(&e)) {
    d.IsInOutError = true;
    d.InOutErrorCode = io->ErrorCode;
  } else if (auto* failure = dynamic_cast<const std::ios_base::failure*>(&e)) {
    d.IsInOutError = true;
    d.InOutErrorCode = failure->code().value();
  } else if (auto* fsError = dynamic_cast<const std::filesystem::filesystem_error*>(&e)) {
    d.IsInOutError = true;
    d.InOutErrorCode = fsError->code().value();
  }
  return d;
}

TErrorDescription DescribeException(std::exception_ptr error) {
  TErrorDescription d;
  d.Message = "Unknown exception";
  d.ClassName = "unknown";
  if (!error) return d;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    d = DescribeException(e);
  } catch (...) {
    if (const std::type_info* type = abi::__cxa_current_exception_type()) {
      d.ClassName = Demangle(type->name());
      d.ParentClassName = ParentName(*type);
    }
  }
  return d;
}

std::vector<std::string> ErrorEntryLines(const TErrorDescription& error, int systemError,
                                         uintptr_t address, const TDateTimeParts& now) {
  std::vector<std::string> l;
  char hex[32];
  std::snprintf(hex, sizeof hex, "%08llX", static_cast<unsigned long long>(address));
  l.push_back("Time of error : " + ErrorTimeText(now));
  l.push_back("Error message : " + error.Message);
  l.push_back("Error address : " + std::string(hex));
  l.push_back("Error class   : " + error.ClassName + " (" + error.ParentClassName + ")");
  l.push_back("Application   : " + ProgramPath());
  if (error.IsInOutError) {
    IOResult();  // the pending result belongs to this error
    static const char* const texts[] = {"Disk read error",        "Disk write error",
                                        "File not assigned",      "File not open",
                                        "File not open for input", "File not open for output",
                                        "Invalid numeric format"};
    const int32_t code = error.InOutErrorCode;
    const std::string text =
        code >= 100 && code <= 106 ? texts[code - 100] : std::string("Unknown");
    l.push_back("IO Error Code : " + std::to_string(code) + " - " + text);
  }
  if (systemError != 0)
    l.push_back("WIN32 Error   : (" + std::to_string(systemError) + ") - " +
                SystemErrorText(systemError));
  l.push_back("Program name  : KORVEX " + std::string(ProgramVersionText));
  l.push_back("Last command  : " + CurrentCommandText());
  static const char* const modes[] = {"Drill", "Rout", "Cad"};
  l.push_back("Current app.  : " + std::string(EditorMode <= 2 ? modes[EditorMode] : "Error"));
  l.push_back("");
  for (std::string& line : SystemInformationLines(WindowsInformation())) l.push_back(std::move(line));
  return l;
}
