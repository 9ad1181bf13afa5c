// The headless printer: a scripted list of printers that records every
// document with its pages (the canvas calls of each page and the lines of
// the line channel). Its dialogs take their answers from a queue; a dialog
// shown with no answer queued throws, so an unscripted dialog fails the
// test loudly.
#pragma once
#include <deque>
#include <string>
#include <vector>

#include "platform/headless/recording_canvas.h"
#include "platform/printer.h"

struct THeadlessPrinterInfo {
  std::string Name;
  double PaperWidth = 8.5;    // inches, portrait
  double PaperHeight = 11.0;  // inches, portrait
  double Margin = 0.25;       // unprintable border on every side, inches
  int Dpi = 300;
  int NumColors = 16777216;   // 2 for a monochrome printer
  std::vector<std::string> Fonts;
};

struct THeadlessPrintedPage {
  std::vector<TCanvasCall> Calls;
  std::vector<std::string> Lines;  // lines of the line channel
};

struct THeadlessPrintedDocument {
  std::string Title;
  std::string PrinterName;
  std::string OutputFileName;
  TPrinterOrientation Orientation = poPortrait;
  int Copies = 1;
  int PageWidth = 0;
  int PageHeight = 0;
  bool Finished = false;  // EndDoc was called
  bool Aborted = false;
  std::vector<THeadlessPrintedPage> Pages;
};

// What the user does in a printer dialog: OK or Cancel, and the choices
// (-1 or 0 keeps the present setting).
struct THeadlessPrinterDialogAnswer {
  bool Ok = true;
  int PrinterIndex = -1;
  int Orientation = -1;  // poPortrait or poLandscape
  int Copies = 0;
};

class THeadlessPrinter : public TPrinter {
 public:
  THeadlessPrinter();

  // Replaces the printers (the default is one colour printer named
  // "Headless Printer", letter paper at 300 dpi).
  void SetPrinters(std::vector<THeadlessPrinterInfo> printers, int current = 0);
  void QueueDialogAnswer(const THeadlessPrinterDialogAnswer& answer);
  // The dialogs shown so far: "Printer Setup" or "Print".
  std::vector<std::string> ShownDialogs;
  // Every document begun, in order.
  std::vector<THeadlessPrintedDocument> Documents;
  // Back to the default printer, no documents, no dialogs or answers.
  void Reset();

  std::vector<std::string> Printers() override;
  int PrinterIndex() override { return current_; }
  void SetPrinterIndex(int index) override;
  TPrinterOrientation Orientation() override { return orientation_; }
  void SetOrientation(TPrinterOrientation orientation) override { orientation_ = orientation; }
  int Copies() override { return copies_; }
  void SetCopies(int copies) override { copies_ = copies < 1 ? 1 : copies; }
  int PageWidth() override;
  int PageHeight() override;
  int PixelsPerInchX() override;
  int PixelsPerInchY() override { return PixelsPerInchX(); }
  int NumColors() override;
  std::vector<std::string> Fonts() override;
  bool BeginDoc() override;
  void NewPage() override;
  void EndDoc() override;
  void Abort() override;
  bool Printing() override { return printing_; }
  bool Aborted() override { return aborted_; }
  int PageNumber() override { return printing_ ? int(Documents.back().Pages.size()) : 0; }
  TCanvas& Canvas() override { return canvas_; }
  bool ExecuteSetupDialog() override;
  bool ExecutePrintDialog() override;
  void PrintLine(int x, int y, const std::string& line) override;

 private:
  const THeadlessPrinterInfo* Current() const;
  void FlushPage();
  bool RunDialog(const std::string& name, bool withCopies);

  std::vector<THeadlessPrinterInfo> printers_;
  int current_ = 0;
  TPrinterOrientation orientation_ = poPortrait;
  int copies_ = 1;
  bool printing_ = false;
  bool aborted_ = false;
  std::deque<THeadlessPrinterDialogAnswer> answers_;
  TRecordingCanvas canvas_;
};

// The headless printer (the default of Printer()).
THeadlessPrinter& HeadlessPrinter();
