// The open and save dialog helpers, the I/O error report, the text-file test
// and the key-message filter through which a dialog sees every key message of
// the program.
#pragma once
#include <cstdint>
#include <array>
#include <string>

#include "foundation/settings_families.h"
#include "platform/app_messages.h"

// Filter text of the CAD import dialog.
extern const char* const CadImportFilterText;

// Each helper runs the platform dialog with the proposed name (a folder and a
// file name or mask, split at the last "\"), and on OK copies the chosen full
// name back. A chosen name longer than maxLength is refused with a message
// (the dialog answers False and the name stays unchanged), so that a cut name
// never stands for another file.
bool ExecuteOpenFileDialog(const std::string& title, std::string& fileName, int maxLength);
bool ExecuteSaveFileDialog(const std::string& title, std::string& fileName, int maxLength);
bool ExecuteCadImportDialog(const std::string& title, std::string& fileName, int maxLength);
// The swap-filter dialogs: filterIndex is 0 for "Standard" or n for filter n
// of the import (export) filter list, in and out.
// "Standard|*.*" and then each named entry of a swap-filter list, up to the
// first entry without a name.
std::string SwapFilterDialogText(const std::array<TFilterRecord, FilterCount + 1>& filters);
bool ExecuteImportFilterDialog(const std::string& title, std::string& fileName, int maxLength,
                               uint8_t& filterIndex);
bool ExecuteExportFilterDialog(const std::string& title, std::string& fileName, int maxLength,
                               uint8_t& filterIndex);

// Shows the system's text for an I/O error code, a line break, "while " and
// the action in an error box.
void ReportIOError(int code, const std::string& action);

// Reads and clears the pending I/O result; when a file operation failed,
// shows the system's text for it, a line break, "while " and the action in an
// error box, and answers True.
bool CheckIOError(const std::string& action);

// True when the file does not exist, cannot be opened, or does not look like
// text; False for a text file.
bool TryOpenFile(const std::string& fileName);
// The same binary-file test under the name the import detectors use: a
// detector scores 0 for a file it answers true for.
inline bool FileIsNotText(const std::string& fileName) { return TryOpenFile(fileName); }
// The same for an NC tape, read as the tape reader reads it: its tape feed
// (NULs, DELs, XON/XOFF and DC2/DC4 marks, tape_feed.h) and DOS end marks
// make no binary file of it wherever they stand, but the zero bytes the
// reader refuses a file for (more in a row than a line holds ahead of a
// block, a tail of more than a line holds that no M30 before it keeps the
// reader from)
// make it one.
bool TapeFileIsNotText(const std::string& fileName);

// A dialog's view of the program's key messages. A dialog derives from it,
// supplies HandleKey, enables it and installs it while it is shown
// (TKeyFilterHook does the installing and puts the previous hook back).
class TKeyFilter {
 public:
  TKeyFilter() = default;
  virtual ~TKeyFilter() = default;
  bool Enabled = false;
  void Enable() { Enabled = true; }
  virtual void HandleKey(TMessage& msg, bool& handled) = 0;
  // Passes WM_KEYDOWN, WM_KEYUP and WM_CHAR to HandleKey while enabled.
  void FilterMessage(TMessage& msg, bool& handled);
};

class TKeyFilterHook {
 public:
  explicit TKeyFilterHook(TKeyFilter& filter);
  ~TKeyFilterHook();
  TKeyFilterHook(const TKeyFilterHook&) = delete;
  TKeyFilterHook& operator=(const TKeyFilterHook&) = delete;

 private:
  TMessageHook previous_;
};
