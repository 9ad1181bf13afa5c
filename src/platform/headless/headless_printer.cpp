#include "platform/headless/headless_printer.h"

#include <cmath>
#include <filesystem>
#include <stdexcept>

namespace {
std::vector<THeadlessPrinterInfo> DefaultPrinters() {
  THeadlessPrinterInfo p;
  p.Name = "Headless Printer";
  return {p};
}
}  // namespace

THeadlessPrinter& HeadlessPrinter() {
  static auto* printer = new THeadlessPrinter;
  return *printer;
}

THeadlessPrinter::THeadlessPrinter() { Reset(); }

void THeadlessPrinter::Reset() {
  printers_ = DefaultPrinters();
  current_ = 0;
  orientation_ = poPortrait;
  copies_ = 1;
  printing_ = false;
  aborted_ = false;
  answers_.clear();
  ShownDialogs.clear();
  Documents.clear();
  Title.clear();
  OutputFileName.clear();
  LastError.clear();
  WrittenFile.clear();
  canvas_ = TRecordingCanvas(nullptr, PixelsPerInchX());
}

void THeadlessPrinter::SetPrinters(std::vector<THeadlessPrinterInfo> printers, int current) {
  printers_ = std::move(printers);
  current_ = printers_.empty() ? -1 : (current >= 0 && current < int(printers_.size()) ? current : 0);
  canvas_.SetPixelsPerInch(PixelsPerInchX());
}

void THeadlessPrinter::QueueDialogAnswer(const THeadlessPrinterDialogAnswer& answer) { answers_.push_back(answer); }

std::vector<std::string> THeadlessPrinter::Printers() {
  std::vector<std::string> names;
  for (const auto& p : printers_) names.push_back(p.Name);
  return names;
}

void THeadlessPrinter::SetPrinterIndex(int index) {
  if (index < 0 || index >= int(printers_.size())) return;
  current_ = index;
  canvas_.SetPixelsPerInch(PixelsPerInchX());
}

const THeadlessPrinterInfo* THeadlessPrinter::Current() const {
  return current_ >= 0 && current_ < int(printers_.size()) ? &printers_[size_t(current_)] : nullptr;
}

int THeadlessPrinter::PageWidth() {
  const THeadlessPrinterInfo* p = Current();
  if (!p) return 0;
  double w = orientation_ == poPortrait ? p->PaperWidth : p->PaperHeight;
  return int(std::lround((w - 2 * p->Margin) * p->Dpi));
}

int THeadlessPrinter::PageHeight() {
  const THeadlessPrinterInfo* p = Current();
  if (!p) return 0;
  double h = orientation_ == poPortrait ? p->PaperHeight : p->PaperWidth;
  return int(std::lround((h - 2 * p->Margin) * p->Dpi));
}

int THeadlessPrinter::PixelsPerInchX() {
  const THeadlessPrinterInfo* p = Current();
  return p ? p->Dpi : 96;
}

int THeadlessPrinter::NumColors() {
  const THeadlessPrinterInfo* p = Current();
  return p ? p->NumColors : 2;
}

std::vector<std::string> THeadlessPrinter::Fonts() {
  const THeadlessPrinterInfo* p = Current();
  return p ? p->Fonts : std::vector<std::string>();
}

bool THeadlessPrinter::BeginDoc() {
  if (printing_) {
    LastError = "Printing in progress";
    return false;
  }
  const THeadlessPrinterInfo* p = Current();
  if (!p) {
    LastError = "There is no default printer currently selected";
    return false;
  }
  LastError.clear();
  WrittenFile.clear();
  THeadlessPrintedDocument& d = Documents.emplace_back();
  d.Title = Title;
  d.PrinterName = p->Name;
  d.OutputFileName = OutputFileName;
  d.Orientation = orientation_;
  d.Copies = copies_;
  d.PageWidth = PageWidth();
  d.PageHeight = PageHeight();
  d.Pages.emplace_back();
  canvas_.Calls.clear();
  canvas_.SetPixelsPerInch(p->Dpi);
  printing_ = true;
  aborted_ = false;
  return true;
}

void THeadlessPrinter::FlushPage() {
  auto& calls = Documents.back().Pages.back().Calls;
  calls.insert(calls.end(), canvas_.Calls.begin(), canvas_.Calls.end());
  canvas_.Calls.clear();
}

void THeadlessPrinter::NewPage() {
  if (!printing_) return;
  FlushPage();
  Documents.back().Pages.emplace_back();
}

void THeadlessPrinter::EndDoc() {
  if (!printing_) return;
  FlushPage();
  Documents.back().Finished = true;
  printing_ = false;
  // A document for a file lands there; its full path is told.
  const std::string& file = Documents.back().OutputFileName;
  if (!file.empty()) WrittenFile = std::filesystem::absolute(file).lexically_normal().string();
}

void THeadlessPrinter::Abort() {
  if (!printing_) return;
  FlushPage();
  Documents.back().Aborted = true;
  printing_ = false;
  aborted_ = true;
}

void THeadlessPrinter::PrintLine(int x, int y, const std::string& line) {
  TPrinter::PrintLine(x, y, line);
  if (printing_) Documents.back().Pages.back().Lines.push_back(line);
}

bool THeadlessPrinter::RunDialog(const std::string& name, bool withCopies) {
  ShownDialogs.push_back(name);
  if (answers_.empty()) throw std::logic_error("Unscripted printer dialog \"" + name + "\"");
  THeadlessPrinterDialogAnswer a = answers_.front();
  answers_.pop_front();
  if (!a.Ok) return false;
  if (a.PrinterIndex >= 0) SetPrinterIndex(a.PrinterIndex);
  if (a.Orientation == poPortrait || a.Orientation == poLandscape) orientation_ = TPrinterOrientation(a.Orientation);
  if (withCopies && a.Copies > 0) copies_ = a.Copies;
  return true;
}

bool THeadlessPrinter::ExecuteSetupDialog() { return RunDialog("Printer Setup", false); }
bool THeadlessPrinter::ExecutePrintDialog() { return RunDialog("Print", true); }
