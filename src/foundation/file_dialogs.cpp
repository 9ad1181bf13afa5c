#include "foundation/file_dialogs.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

#include "foundation/file_utils.h"
#include "foundation/settings_families.h"
#include "foundation/tape_feed.h"
#include "foundation/utilities.h"
#include "platform/common_dialogs.h"
#include "platform/message_box.h"
#include "platform/paths.h"

const char* const CadImportFilterText =
    "All Files (*.*)|*.*|DXF (*.DXF)|*.DXF|GCadd Drawing (*.GCD,*.DWG)|*.GCD;*.DWG|"
    "Infinite Graphics Post|*.PST|HPGL (*.HPL)|*.HPL;*.HPG|Excellon Drill/Rout|*.DRL;*.RT|"
    "Gerber Photoplot|*.GBR;*.GRB|VALOR Matrix file|MATRIX.*";

namespace {

// Changes back to the remembered working folder on every way out.
class TCurrentDirGuard {
 public:
  TCurrentDirGuard() { saved_ = std::filesystem::current_path(ec_); }
  ~TCurrentDirGuard() {
    if (!ec_) {
      std::error_code ec;
      std::filesystem::current_path(saved_, ec);
    }
  }
  const std::filesystem::path& Saved() const { return saved_; }

 private:
  std::filesystem::path saved_;
  std::error_code ec_;
};

enum class TDialogUse { Open, Save };

bool IsAbsoluteFolder(const std::string& folder, TDialogUse use) {
  if (!folder.empty() && folder[0] == '/') return true;
  if (use == TDialogUse::Open) return folder.find(':') != std::string::npos;
  return (!folder.empty() && folder[0] == '\\') || (folder.size() >= 2 && folder[1] == ':');
}

bool RunFileDialog(TDialogUse use, const std::string& title, std::string& fileName, int maxLength,
                   const std::string& filter, uint8_t* filterIndex) {
  TCurrentDirGuard cwd;
  std::unique_ptr<TOpenDialog> dialog;
  if (use == TDialogUse::Open)
    dialog = std::make_unique<TOpenDialog>();
  else
    dialog = std::make_unique<TSaveDialog>();
  dialog->Title = title;

  // Split the proposal at its last separator into folder and name (or mask).
  const size_t sep = fileName.find_last_of("\\/");
  if (sep != std::string::npos) {
    std::string folder = fileName.substr(0, sep);
    if (folder.empty()) folder = fileName.substr(0, 1);  // the root itself
    if (!IsAbsoluteFolder(folder, use)) folder = cwd.Saved().string() + "/" + folder;
    const bool usable = use == TDialogUse::Open ? DirectoryExists(folder) : DirectoryIsWritable(folder);
    if (usable) dialog->InitialDir = NativePath(folder);
    dialog->FileName = fileName.substr(sep + 1);
  } else {
    dialog->FileName = fileName;
  }
  dialog->Options |= ofHideReadOnly;
  if (!filter.empty()) dialog->Filter = filter;
  if (filterIndex) dialog->FilterIndex = *filterIndex + 1;

  if (!dialog->Execute()) return false;
  if (maxLength >= 0 && dialog->FileName.size() > static_cast<size_t>(maxLength)) {
    MessageDlg("The name of the chosen file is longer than " + IntToShortStr(maxLength) +
                   " characters and cannot be used:\r\n" + dialog->FileName,
               mtError, mbOKOnly);
    return false;
  }
  fileName = dialog->FileName;
  if (filterIndex) *filterIndex = static_cast<uint8_t>(dialog->FilterIndex > 0 ? dialog->FilterIndex - 1 : 0);
  return true;
}

}  // namespace

bool ExecuteOpenFileDialog(const std::string& title, std::string& fileName, int maxLength) {
  return RunFileDialog(TDialogUse::Open, title, fileName, maxLength, "", nullptr);
}

bool ExecuteSaveFileDialog(const std::string& title, std::string& fileName, int maxLength) {
  return RunFileDialog(TDialogUse::Save, title, fileName, maxLength, "", nullptr);
}

bool ExecuteCadImportDialog(const std::string& title, std::string& fileName, int maxLength) {
  return RunFileDialog(TDialogUse::Open, title, fileName, maxLength, CadImportFilterText, nullptr);
}

std::string SwapFilterDialogText(const std::array<TFilterRecord, FilterCount + 1>& filters) {
  std::string text = "Standard|*.*";
  for (int n = 1; n <= FilterCount && !filters[n].Name.empty(); ++n) text += "|" + filters[n].Name + "|*.*";
  return text;
}

bool ExecuteImportFilterDialog(const std::string& title, std::string& fileName, int maxLength,
                               uint8_t& filterIndex) {
  return RunFileDialog(TDialogUse::Open, title, fileName, maxLength, SwapFilterDialogText(ImportFilters),
                       &filterIndex);
}

bool ExecuteExportFilterDialog(const std::string& title, std::string& fileName, int maxLength,
                               uint8_t& filterIndex) {
  return RunFileDialog(TDialogUse::Save, title, fileName, maxLength, SwapFilterDialogText(ExportFilters),
                       &filterIndex);
}

void ReportIOError(int code, const std::string& action) {
  MessageDlg(SystemErrorText(code) + "\r\nwhile " + action, mtError, mbOKOnly);
}

bool CheckIOError(const std::string& action) {
  const int code = IOResult();
  if (code == 0) return false;
  ReportIOError(code, action);
  return true;
}

namespace {

// The program end a tape reader stops at: an M30 or M31 word in the block.
bool EndsProgram(std::string_view block) {
  for (std::size_t at = block.find("M3"); at != std::string_view::npos; at = block.find("M3", at + 1)) {
    const bool word = at + 2 < block.size() && (block[at + 2] == '0' || block[at + 2] == '1');
    if (word && (at + 3 == block.size() || block[at + 3] < '0' || block[at + 3] > '9')) return true;
  }
  return false;
}

// The binary-file test of TryOpenFile. As a tape, the file is looked at as
// the tape reader reads it: its tape feed (tape_feed.h), its TABs and its
// DOS end marks are no sign of a binary file, wherever they stand, but
// more zero bytes in a row than a line holds ahead of a block, or a tail
// of more zero bytes than a trailer holds where no block before it ended
// the program, are the reader's refusal and count as binary: the reader stops
// at the program's end and never comes to a tail behind it, whatever
// blocks ("%", a comment) stand between.
bool FileIsNotTextAt(const std::string& fileName, bool asTape) {
  if (!FileExistsNoWild(fileName)) return true;
  std::FILE* f = std::fopen(NativePath(fileName).c_str(), "rb");
  if (!f) {
    InOutRes = errno ? errno : EIO;
    CheckIOError("opening a file");
    return true;
  }
  int64_t total = 1, lines = 1, longLines = 0, nonPrintable = 0, column = 0;
  // As a tape: the NULs in a row, the most in a row since the last
  // character of a block, and the NULs behind it.
  int64_t zeroRun = 0, longestRun = 0, tailNuls = 0;
  bool refused = false, whole = false, ended = false;
  // The characters of the current line's block (its first few: enough to
  // find its program end); ended once a block ended the program.
  std::string block;
  constexpr std::size_t kBlockKept = 32;
  // A CR LF pair is one line end, as a CR alone and an LF alone are, so a
  // file reads the same with either kind of line end.
  bool afterCR = false;
  std::vector<unsigned char> bytes(1024);
  for (int blocks = 0; blocks < 100; ++blocks) {
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    for (size_t i = 0; i < got; ++i) {
      const unsigned char b = bytes[i];
      const bool lineEnd = b == 13 || b == 10;
      const bool blankTape = asTape && IsBlankTapeByte(static_cast<char>(b));
      if (lineEnd) {
        column = 0;
        if (!(b == 10 && afterCR)) ++lines;
        ended = ended || EndsProgram(block);
        block.clear();
      } else if (!blankTape || b == ' ' || b == '\t') {
        ++column;
        // A tape's TAB is a blank, as its space is.
        if ((b < 32 || b > 127) && !blankTape) ++nonPrintable;
      }
      if (asTape) {
        zeroRun = b == 0 ? zeroRun + 1 : 0;
        longestRun = std::max(longestRun, zeroRun);
        tailNuls += b == 0;
        if (!lineEnd && !blankTape) {
          // A block after more NULs in a row than a line holds.
          refused = refused || longestRun > static_cast<int64_t>(kMaxTextLine);
          longestRun = tailNuls = 0;
          if (block.size() < kBlockKept) block.push_back(static_cast<char>(std::toupper(b)));
        }
      }
      afterCR = b == 13;
      if (column == 256) ++longLines;
    }
    total += static_cast<int64_t>(got);
    whole = got < bytes.size();
    if (whole) break;
  }
  std::fclose(f);
  if (asTape && tailNuls > static_cast<int64_t>(kMaxTextLine)) {
    // The reader stops at the program's end before such a tail.
    refused = refused || !(ended || EndsProgram(block));
  }
  if (refused) return true;
  if (nonPrintable == 0) return false;
  return static_cast<double>(nonPrintable) / total >= 0.1 || static_cast<double>(longLines) / lines >= 0.07;
}

}  // namespace

bool TryOpenFile(const std::string& fileName) { return FileIsNotTextAt(fileName, false); }

bool TapeFileIsNotText(const std::string& fileName) { return FileIsNotTextAt(fileName, true); }

void TKeyFilter::FilterMessage(TMessage& msg, bool& handled) {
  if (Enabled && (msg.Msg == WM_KEYDOWN || msg.Msg == WM_KEYUP || msg.Msg == WM_CHAR)) HandleKey(msg, handled);
}

TKeyFilterHook::TKeyFilterHook(TKeyFilter& filter) {
  previous_ = SetApplicationMessageHook(
      [&filter](TMessage& msg, bool& handled) { filter.FilterMessage(msg, handled); });
}

TKeyFilterHook::~TKeyFilterHook() { SetApplicationMessageHook(std::move(previous_)); }
