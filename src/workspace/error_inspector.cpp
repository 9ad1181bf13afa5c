#include "workspace/error_inspector.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include "model/view_services.h"
#include "platform/clipboard.h"
#include "platform/common_dialogs.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/printer.h"

namespace {

std::unique_ptr<TExceptionHandler> Inspector;
bool Installed = false;

// Clears a flag when the scope ends, however it ends.
class TFlagGuard {
 public:
  explicit TFlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~TFlagGuard() { flag_ = false; }
  TFlagGuard(const TFlagGuard&) = delete;
  TFlagGuard& operator=(const TFlagGuard&) = delete;

 private:
  bool& flag_;
};

// The message with a full stop added when it ends in a letter or digit.
std::string WithFullStop(const std::string& message) {
  std::string text = message;
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

const char* const kPrintHeading = "=================  Error Inspector Printout  =================";

}  // namespace

TExceptionHandler::TExceptionHandler() : TForm("TExceptionHandler") {
  SetCaption("Error Inspector");
  SetSizeable(true);
  SetClientSize(560, 400);

  TMenuItem& file = MainMenu.Add("&File", "File1");
  TMenuItem& open = file.Add("&Open", "Open1");
  file.Add("&Print", "Print1").OnClick = [this](TMenuItem&) { Print1Click(); };
  file.Add("Printer &Setup...", "PrinterSetup1").OnClick = [this](TMenuItem&) {
    PrinterSetup1Click();
  };
  file.Add("&Copy to clipboard", "Copytoclipboard1").OnClick = [this](TMenuItem&) {
    Copytoclipboard1Click();
  };
  file.Add("E&xit", "Close1").OnClick = [this](TMenuItem&) { Close1Click(); };
  open.OnClick = [this](TMenuItem&) { Open1Click(); };
  // Opening another log is kept from users.
  open.SetVisible(false);
  open.SetEnabled(false);
  SetMenu(&MainMenu);

  auto& top = Add<TPanel>("Panel3");
  top.SetAlign(alTop);
  top.SetBevel(bvNone);
  auto& instructions = top.Add<TLabel>(
      "Instructions",
      "For technical assistance, print this entry or copy it to the clipboard and send it to "
      "your KORVEX 6 supplier with a note of what you were doing.");
  instructions.SetWordWrap(true);

  auto& bottom = Add<TPanel>("Panel1");
  bottom.SetAlign(alBottom);
  bottom.SetBevel(bvNone);
  bottom.SetFlow(TFlow::Horizontal);
  Number = &bottom.Add<TPanel>("Number", "0");
  Number->SetBevel(bvLowered);
  Number->SetWidth(100);
  bottom.Add<TButton>("First", "First").OnClick = [this](TControl&) { FirstClick(); };
  bottom.Add<TButton>("Previous", "Previous").OnClick = [this](TControl&) { PreviousClick(); };
  bottom.Add<TButton>("Next", "Next").OnClick = [this](TControl&) { NextClick(); };
  bottom.Add<TButton>("Last", "Last").OnClick = [this](TControl&) { LastClick(); };
  bottom.Add<TButton>("Button1", "OK", mrOk).SetDefault(true);

  Display = &Add<TMemo>("Display");
  Display->SetAlign(alClient);
  Display->SetReadOnly(true);
  Display->SetScrollBars(true);
  Display->SetWordWrap(false);
  Display->SetFontColor(clBlack);

  OnShow = [this](TForm&) { FormShow(); };
  OnResize = [this](TControl&) { FormResize(); };

  LogFileName = ErrorLogFileName();
  CurrentEntry = INT32_MAX;
  Busy = false;
  MinWidth = 560;
  MinHeight = 400;
}

void TExceptionHandler::HandleException(const TErrorDescription& error, int systemError,
                                        uintptr_t address) {
  if (Busy) {
    ShowExceptionMessage(error.Message);
    return;
  }
  TFlagGuard busy(Busy);
  std::string kept;
  std::string logFailure;
  try {
    kept = WriteLogEntry(LogFileName, ErrorEntryLines(error, systemError, address, LocalNow()));
  } catch (const std::exception& e) {
    logFailure = e.what();
  } catch (...) {
    logFailure = "Unknown exception";
  }
  if (!logFailure.empty()) {
    // The log could not take the entry: the error still reaches the user,
    // and so does the reason it is not in the log.
    ShowExceptionMessage(WithFullStop(error.Message) +
                         "\r\n\r\nThe error could not be recorded in the error log " +
                         LogFileName + ":\r\n" + logFailure);
    return;
  }
  if (!kept.empty())
    WarningBox("The error log " + LogFileName + " was damaged; it was kept as " + kept +
               " and a new error log was started.");
  ShowErrorInspector();
}

std::string TExceptionHandler::WriteLogEntry(const std::string& fileName,
                                             const std::vector<std::string>& lines) {
  return ::WriteLogEntry(fileName, lines);
}

void TExceptionHandler::ReadLogEntry(const std::string& fileName, int32_t& entry,
                                     std::vector<std::string>& lines) {
  int32_t newest = 0;
  if (::ReadLogEntry(fileName, entry, lines, newest))
    Number->SetCaption(std::to_string(entry) + " of " + std::to_string(newest));
}

void TExceptionHandler::ShowNewestEntry() {
  CurrentEntry = INT32_MAX;
  std::vector<std::string> lines;
  ReadLogEntry(LogFileName, CurrentEntry, lines);
  Display->ClearLines();
  Display->SetLines(lines);
}

void TExceptionHandler::StepTo(int32_t entry, bool beepAtEnd) {
  Display->ClearLines();
  const int32_t before = CurrentEntry;
  CurrentEntry = entry;
  std::vector<std::string> lines;
  ReadLogEntry(LogFileName, CurrentEntry, lines);
  Display->SetLines(lines);
  if (beepAtEnd && CurrentEntry == before) MessageBeep(0xFFFF);
}

void TExceptionHandler::FormResize() {
  if (Width() >= MinWidth && Height() >= MinHeight) return;
  SetClientSize(std::max(Width(), MinWidth), std::max(Height(), MinHeight));
}

void TExceptionHandler::FormShow() {
  Display->SetFocus();
  ShowNewestEntry();
}

void TExceptionHandler::FirstClick() { StepTo(1, false); }
// The steps saturate: an entry number never wraps round.
void TExceptionHandler::PreviousClick() {
  StepTo(CurrentEntry > INT32_MIN ? CurrentEntry - 1 : CurrentEntry, true);
}
void TExceptionHandler::NextClick() {
  StepTo(CurrentEntry < INT32_MAX ? CurrentEntry + 1 : CurrentEntry, true);
}
void TExceptionHandler::LastClick() { StepTo(INT32_MAX, false); }

void TExceptionHandler::Close1Click() { Close(); }

void TExceptionHandler::PrinterSetup1Click() { Printer().ExecuteSetupDialog(); }

void TExceptionHandler::Print1Click() {
  TPrinter& printer = Printer();
  printer.Title = "Exception Inspector";
  TCanvas& canvas = printer.Canvas();
  canvas.Font = TFont{};
  canvas.Font.Name = "Courier New";  // the display's font, 4 points larger
  canvas.Font.Size = 8 + 4;
  canvas.Font.Color = clBlack;
  canvas.Pen = TPen{clBlack, 1, psSolid, pmCopy};
  TPrinterLineChannel channel(printer);
  if (!channel.Open()) {
    if (!printer.LastError.empty()) ErrorBox(printer.LastError);
    return;
  }
  channel.WriteLine(kPrintHeading);
  channel.WriteLine("Printed on " + ErrorTimeText(LocalNow()));
  channel.WriteLine("");
  for (const std::string& line : Display->Lines()) channel.WriteLine(line);
  channel.Close();
}

void TExceptionHandler::Copytoclipboard1Click() { SetClipboardText(Display->Text()); }

void TExceptionHandler::Open1Click() {
  TOpenDialog dialog;
  dialog.Filter = "Error Inspector|*.LOG";
  if (!dialog.Execute()) return;
  LogFileName = dialog.FileName;
  ShowNewestEntry();
}

void InstallErrorInspector() {
  Installed = true;
  if (!Inspector) Inspector = std::make_unique<TExceptionHandler>();
}

TExceptionHandler& ErrorInspector() {
  if (!Installed || !Inspector) InstallErrorInspector();
  return *Inspector;
}

void ShowErrorInspector() {
  TExceptionHandler& inspector = ErrorInspector();
  TModalBracket bracket;
  inspector.ShowModal();
}

void DoneErrorInspector() {
  Inspector.reset();
  Installed = false;
}

void ShowExceptionMessage(const std::string& message) {
  MessageDlgCaption(ApplicationTitle, WithFullStop(message), mtError, mbOKOnly);
}

namespace {
void Report(const TErrorDescription& error, int systemError, uintptr_t address) {
  if (!Installed || !Inspector) {
    ShowExceptionMessage(error.Message);
    return;
  }
  try {
    Inspector->HandleException(error, systemError, address);
  } catch (...) {
    // Showing the inspector failed; the error still reaches the user.
    ShowExceptionMessage(error.Message);
  }
}
}  // namespace

__attribute__((noinline)) void HandleApplicationException(std::exception_ptr error) {
  const int systemError = errno;
  Report(DescribeException(error), systemError,
         reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}

__attribute__((noinline)) void HandleApplicationException(const std::exception& error) {
  const int systemError = errno;
  Report(DescribeException(error), systemError,
         reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}

__attribute__((noinline)) void HandleCurrentException() {
  const int systemError = errno;
  Report(DescribeException(std::current_exception()), systemError,
         reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}
