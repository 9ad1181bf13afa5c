// The printer: the installed printers, the current one with its page size,
// resolution and orientation, documents of pages drawn on a canvas, the
// "text file to printer" line channel, and the printer set-up and print
// dialogs.
//
// Printer() is the installed printer backend: the headless one (which
// records what is printed, headless/headless_printer.h) until another is
// installed.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/canvas.h"

enum TPrinterOrientation { poPortrait, poLandscape };

class TPrinter {
 public:
  virtual ~TPrinter() = default;

  // Installed printers by name; PrinterIndex is the current one (-1 when
  // there is none). An index out of range is ignored.
  virtual std::vector<std::string> Printers() = 0;
  virtual int PrinterIndex() = 0;
  virtual void SetPrinterIndex(int index) = 0;
  std::string PrinterName();  // empty when there is none

  // Settings for the next document.
  virtual TPrinterOrientation Orientation() = 0;
  virtual void SetOrientation(TPrinterOrientation orientation) = 0;
  virtual int Copies() = 0;
  virtual void SetCopies(int copies) = 0;  // at least 1
  std::string Title;           // the job's name in the queue
  std::string OutputFileName;  // when set, documents go to this (PDF) file

  // The current printer in the current orientation: the printable area of a
  // page in device pixels, the pixels per inch, the number of colours (2 for
  // a monochrome printer) and the printer's own fonts.
  virtual int PageWidth() = 0;
  virtual int PageHeight() = 0;
  virtual int PixelsPerInchX() = 0;
  virtual int PixelsPerInchY() = 0;
  virtual int NumColors() = 0;
  virtual std::vector<std::string> Fonts() = 0;

  // A document: BeginDoc starts it on page 1 (false, with LastError set,
  // when the printer cannot start; false with LastError empty when the user
  // cancelled the choice of the file a print without a printer goes to);
  // NewPage ends a page and starts the next;
  // EndDoc sends it; Abort throws it away. The canvas draws on the current
  // page in device pixels from the printable area's top-left corner; outside
  // a document it only measures text.
  virtual bool BeginDoc() = 0;
  virtual void NewPage() = 0;
  virtual void EndDoc() = 0;
  virtual void Abort() = 0;
  virtual bool Printing() = 0;
  virtual bool Aborted() = 0;  // the last document was aborted
  virtual int PageNumber() = 0;
  virtual TCanvas& Canvas() = 0;
  std::string LastError;
  // The full path of the file the last document ended by EndDoc went to (a
  // PDF when there is no printer, or the file chosen); empty when it went
  // to a printer. BeginDoc clears it.
  std::string WrittenFile;

  // The printer set-up dialog (printer and orientation) and the print
  // dialog (printer, orientation and copies); false when cancelled, with the
  // settings unchanged.
  virtual bool ExecuteSetupDialog() = 0;
  virtual bool ExecutePrintDialog() = 0;

  // One line of the line channel, its text cell's top-left corner at (x, y)
  // on the current page, in the canvas font.
  virtual void PrintLine(int x, int y, const std::string& line);
};

// After a document has ended: when it went to a file, an information box
// tells the user the file's full path (nothing when it was printed).
void TellWrittenFile(TPrinter& printer);

// Installs a printer backend (nullptr goes back to the headless one).
void SetPrinterBackend(std::unique_ptr<TPrinter> printer);
TPrinter& Printer();

// The "text file to printer" channel: a document of plain lines. Each line
// is printed below the previous one at the page's left edge in the canvas
// font (set it before Open; the channel marks it fixed-pitch); a line that
// would pass the page's bottom edge starts a new page.
class TPrinterLineChannel {
 public:
  explicit TPrinterLineChannel(TPrinter& printer = Printer()) : printer_(printer) {}
  ~TPrinterLineChannel() { End(false); }
  TPrinterLineChannel(const TPrinterLineChannel&) = delete;
  TPrinterLineChannel& operator=(const TPrinterLineChannel&) = delete;

  bool Open();  // starts the document; false (LastError) when it cannot
  void WriteLine(const std::string& line);
  // Ends the document, which sends it, and tells where a file went
  // (TellWrittenFile); the destructor ends an open document silently.
  void Close();
  bool IsOpen() const { return open_; }

 private:
  void End(bool tell);
  TPrinter& printer_;
  bool open_ = false;
  int y_ = 0;
  int lineHeight_ = 1;
};
