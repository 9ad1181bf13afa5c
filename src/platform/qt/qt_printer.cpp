#include "platform/qt/qt_printer.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <algorithm>

#include "platform/common_dialogs.h"
#include "platform/paths.h"
#include "platform/printer.h"
#include "platform/qt/qt_canvas.h"

const char* const kPrintToPdfName = "Print to PDF";

namespace {

constexpr int kPdfResolution = 600;

// The PDF a print without a printer proposes: the title's name (the
// characters no file name holds made "_") in the program's PLOT folder, as
// the plots do (its home folder when PLOT is missing).
QString ProposedPdf(const std::string& title) {
  QString name = title.empty() ? QString("print") : QString::fromStdString(title);
  name.replace(QRegularExpression("[/\\\\:*?\"<>|]"), "_");
  QString folder = QString::fromStdString(NativePath(ExecutionPath() + "PLOT"));
  if (!QFileInfo(folder).isDir()) folder = QString::fromStdString(NativePath(ExecutionPath()));
  return QDir(folder).filePath(name + ".pdf");
}

class TQtPrinterCanvas : public TQtPainterCanvas {
 public:
  TQtPrinterCanvas(QPrinter& printer, QPainter& painter) : printer_(printer), painter_(painter) {}
  void SetPixel(int x, int y, TColor c) override {
    QColor q;
    if (QPainter* p = Prepare(c, pmCopy, q)) p->fillRect(QRect(x, y, 1, 1), q);
  }
  TColor GetPixel(int, int) const override { return clWhite; }

 protected:
  QPainter* Painter() override { return painter_.isActive() ? &painter_ : nullptr; }
  QPaintDevice* Device() override { return &printer_; }

 private:
  QPrinter& printer_;
  QPainter& painter_;
};

class TQtPrinter : public TPrinter {
 public:
  TQtPrinter() : printer_(QPrinter::HighResolution), canvas_(printer_, painter_) {
    QString def = QPrinterInfo::defaultPrinterName();
    std::vector<std::string> names = Printers();
    current_ = int(names.size()) - 1;  // the PDF entry
    for (size_t i = 0; i + 1 < names.size(); ++i)
      if (QString::fromStdString(names[i]) == def) current_ = int(i);
  }
  ~TQtPrinter() override {
    if (painter_.isActive()) painter_.end();
  }

  std::vector<std::string> Printers() override {
    std::vector<std::string> names;
    for (const QString& n : QPrinterInfo::availablePrinterNames()) names.push_back(n.toStdString());
    names.push_back(kPrintToPdfName);
    return names;
  }
  int PrinterIndex() override { return current_; }
  void SetPrinterIndex(int index) override {
    if (index >= 0 && index < int(Printers().size())) current_ = index;
  }
  TPrinterOrientation Orientation() override { return orientation_; }
  void SetOrientation(TPrinterOrientation o) override { orientation_ = o; }
  int Copies() override { return copies_; }
  void SetCopies(int copies) override { copies_ = std::max(1, copies); }

  int PageWidth() override { return PaintRect().width(); }
  int PageHeight() override { return PaintRect().height(); }
  int PixelsPerInchX() override {
    Configure();
    return printer_.logicalDpiX();
  }
  int PixelsPerInchY() override {
    Configure();
    return printer_.logicalDpiY();
  }
  int NumColors() override {
    if (ToPdf()) return 16777216;
    QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(PrinterName()));
    for (QPrinter::ColorMode m : info.supportedColorModes())
      if (m == QPrinter::Color) return 16777216;
    return info.isNull() ? 16777216 : 2;
  }
  std::vector<std::string> Fonts() override { return {}; }

  bool BeginDoc() override {
    if (painter_.isActive()) {
      LastError = "Printing in progress";
      return false;
    }
    Configure();
    // Without a printer the user says where the PDF goes.
    if (ToPdf() && OutputFileName.empty() && !AskPdfFile()) {
      LastError.clear();
      return false;
    }
    if (!painter_.begin(&printer_)) {
      LastError = ToPdf() ? "Cannot write \"" + printer_.outputFileName().toStdString() + "\""
                          : "Cannot print on \"" + PrinterName() + "\"";
      return false;
    }
    LastError.clear();
    WrittenFile.clear();
    page_ = 1;
    aborted_ = false;
    return true;
  }
  void NewPage() override {
    if (!painter_.isActive()) return;
    printer_.newPage();
    ++page_;
  }
  void EndDoc() override {
    if (painter_.isActive()) {
      painter_.end();
      // A PDF (no printer, or the file chosen in the print dialog): where
      // it went.
      if (ToPdf()) WrittenFile = QFileInfo(printer_.outputFileName()).absoluteFilePath().toStdString();
    }
    page_ = 0;
  }
  void Abort() override {
    if (!painter_.isActive()) return;
    printer_.abort();
    painter_.end();
    if (ToPdf()) QFile::remove(printer_.outputFileName());
    aborted_ = true;
    page_ = 0;
  }
  bool Printing() override { return painter_.isActive(); }
  bool Aborted() override { return aborted_; }
  int PageNumber() override { return page_; }
  TCanvas& Canvas() override { return canvas_; }

  bool ExecuteSetupDialog() override { return RunDialog("Printer Setup", false); }
  bool ExecutePrintDialog() override { return RunDialog("Print", true); }

 private:
  bool ToPdf() { return !OutputFileName.empty() || PrinterName() == kPrintToPdfName; }

  // Applies the chosen printer and settings to the QPrinter (not while a
  // document is open).
  void Configure() {
    if (painter_.isActive()) return;
    if (ToPdf()) {
      printer_.setOutputFormat(QPrinter::PdfFormat);
      QString file = QString::fromStdString(OutputFileName);
      if (file.isEmpty()) file = ProposedPdf(Title);
      printer_.setOutputFileName(file);
      printer_.setResolution(kPdfResolution);
    } else {
      printer_.setOutputFileName(QString());
      printer_.setOutputFormat(QPrinter::NativeFormat);
      printer_.setPrinterName(QString::fromStdString(PrinterName()));
    }
    printer_.setPageOrientation(orientation_ == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer_.setCopyCount(copies_);
    printer_.setDocName(QString::fromStdString(Title));
    printer_.setFullPage(false);
  }

  // The save dialog for the PDF of one document, proposing the title's
  // name in the PLOT folder; false when cancelled.
  bool AskPdfFile() {
    const QFileInfo proposal(printer_.outputFileName());
    TSaveDialog dialog;
    dialog.Title = "Save Print as:";
    dialog.InitialDir = proposal.absolutePath().toStdString();
    dialog.FileName = proposal.fileName().toStdString();
    dialog.Filter = "PDF Files (*.PDF)|*.PDF";
    dialog.Options |= ofOverwritePrompt;
    if (!dialog.Execute()) return false;
    printer_.setOutputFileName(QString::fromStdString(dialog.FileName));
    return true;
  }

  QRect PaintRect() {
    Configure();
    return printer_.pageLayout().paintRectPixels(printer_.resolution());
  }

  bool RunDialog(const char* caption, bool withCopies) {
    Configure();
    QPrintDialog dialog(&printer_);
    dialog.setWindowTitle(caption);
    // A printer chosen: the file the dialog offers, should the user turn
    // to a PDF, is in the same folder as without one.
    if (printer_.outputFileName().isEmpty())
      if (auto* file = dialog.findChild<QLineEdit*>("filename"))
        file->setText(ProposedPdf(Title));
    // Setting up prints nothing: its button takes the settings.
    if (!withCopies)
      for (QDialogButtonBox* box : dialog.findChildren<QDialogButtonBox*>())
        if (QPushButton* ok = box->button(QDialogButtonBox::Ok)) ok->setText("OK");
    if (dialog.exec() != QDialog::Accepted) {
      Configure();  // the dialog may have changed the QPrinter
      return false;
    }
    if (printer_.outputFormat() == QPrinter::PdfFormat) {
      std::vector<std::string> names = Printers();
      current_ = int(names.size()) - 1;
      OutputFileName = printer_.outputFileName().toStdString();
    } else {
      std::vector<std::string> names = Printers();
      auto it = std::find(names.begin(), names.end(), printer_.printerName().toStdString());
      if (it != names.end()) current_ = int(it - names.begin());
      OutputFileName.clear();
    }
    orientation_ = printer_.pageLayout().orientation() == QPageLayout::Landscape ? poLandscape : poPortrait;
    if (withCopies) copies_ = std::max(1, printer_.copyCount());
    return true;
  }

  QPrinter printer_;
  QPainter painter_;
  TQtPrinterCanvas canvas_;
  int current_ = -1;
  TPrinterOrientation orientation_ = poPortrait;
  int copies_ = 1;
  int page_ = 0;
  bool aborted_ = false;
};

}  // namespace

void InstallQtPrinterBackend() { SetPrinterBackend(std::make_unique<TQtPrinter>()); }
