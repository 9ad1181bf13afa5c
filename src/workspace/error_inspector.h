// The Error Inspector: records every run-time error that escapes an
// operation as a new entry of the error log (workspace/error_log.h) and
// shows it; the window pages through all recorded entries, prints the shown
// one and copies it to the clipboard.
//
// One inspector exists for the whole run. The program's start-up calls
// InstallErrorInspector before the event loop runs; from then on the event
// dispatch (the Qt application's notify, the main loop's guard) hands every
// escaped exception to HandleApplicationException.
#pragma once
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "platform/forms.h"
#include "platform/menus.h"
#include "workspace/error_log.h"

class TExceptionHandler : public TForm {
 public:
  TExceptionHandler();

  // Records the error as a new log entry and shows the inspector on it.
  // systemError is the system's error number taken when the exception was
  // caught, address where it was caught. While a recording runs, a further
  // exception gets only the standard error box. One whose recording fails
  // gets the standard error box with the reason the log could not take it.
  // A damaged log kept aside to make room for a fresh one is told of once,
  // before the inspector shows. The busy flag is cleared on every path.
  void HandleException(const TErrorDescription& error, int systemError, uintptr_t address);

  // ::WriteLogEntry: the name a damaged log was kept under, or empty.
  std::string WriteLogEntry(const std::string& fileName, const std::vector<std::string>& lines);
  // Loads the entry (corrected as the log requires) and shows
  // "<entry> of <newest>" on the counter; a failed read leaves the counter.
  void ReadLogEntry(const std::string& fileName, int32_t& entry, std::vector<std::string>& lines);
  void ShowNewestEntry();

  // Handlers.
  void FormResize();
  void FormShow();
  void FirstClick();
  void PreviousClick();
  void NextClick();
  void LastClick();
  void Close1Click();
  void PrinterSetup1Click();
  void Print1Click();
  void Copytoclipboard1Click();
  void Open1Click();

  std::string LogFileName;
  int32_t CurrentEntry = INT32_MAX;  // the largest value asks for the newest entry
  bool Busy = false;
  int32_t MinWidth = 0;
  int32_t MinHeight = 0;

  TMainMenu MainMenu;
  TMemo* Display = nullptr;
  TPanel* Number = nullptr;

 private:
  // Reads CurrentEntry into the display; beeps when it did not move.
  void StepTo(int32_t entry, bool beepAtEnd);
};

// Creates the inspector (once) and makes it the application's handler of
// escaped exceptions.
void InstallErrorInspector();
// The inspector, installed on demand.
TExceptionHandler& ErrorInspector();
// Shows the inspector modally inside the main window's modal bracket.
void ShowErrorInspector();
// Frees the inspector at the end of the run.
void DoneErrorInspector();

// Report an exception that escaped an operation. Take the system's error
// number first thing; the Qt event dispatch and the main loop call these.
void HandleApplicationException(std::exception_ptr error);
void HandleApplicationException(const std::exception& error);
// Inside a catch block: reports the exception being handled.
void HandleCurrentException();

// The standard box of an exception that is not recorded: an error box with
// the application's title and the message (a full stop added when missing).
void ShowExceptionMessage(const std::string& message);
