#include "platform/printer.h"

#include <algorithm>

#include "platform/headless/headless_printer.h"
#include "platform/message_box.h"

namespace {
std::unique_ptr<TPrinter>& Installed() {
  static auto* printer = new std::unique_ptr<TPrinter>;
  return *printer;
}
}  // namespace

void SetPrinterBackend(std::unique_ptr<TPrinter> printer) { Installed() = std::move(printer); }

TPrinter& Printer() {
  auto& installed = Installed();
  return installed ? *installed : HeadlessPrinter();
}

std::string TPrinter::PrinterName() {
  std::vector<std::string> names = Printers();
  int i = PrinterIndex();
  return i >= 0 && i < int(names.size()) ? names[size_t(i)] : std::string();
}

void TPrinter::PrintLine(int x, int y, const std::string& line) { Canvas().TextOut(x, y, line); }

bool TPrinterLineChannel::Open() {
  Close();
  TCanvas& c = printer_.Canvas();
  c.Font.FixedPitch = true;
  if (!printer_.BeginDoc()) return false;
  open_ = true;
  y_ = 0;
  lineHeight_ = std::max(1, c.TextHeight("X"));
  return true;
}

void TPrinterLineChannel::WriteLine(const std::string& line) {
  if (!open_) return;
  if (y_ > 0 && y_ + lineHeight_ > printer_.PageHeight()) {
    printer_.NewPage();
    y_ = 0;
  }
  std::string text = line;
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  printer_.PrintLine(0, y_, text);
  y_ += lineHeight_;
}

void TPrinterLineChannel::Close() { End(true); }

void TPrinterLineChannel::End(bool tell) {
  if (!open_) return;
  open_ = false;
  if (!printer_.Printing()) return;
  printer_.EndDoc();
  if (tell) TellWrittenFile(printer_);
}

void TellWrittenFile(TPrinter& printer) {
  if (!printer.WrittenFile.empty()) InformationBox("The print was written to the file\n" + printer.WrittenFile);
}
