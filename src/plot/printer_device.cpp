#include "plot/printer_device.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "foundation/display_units.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "platform/message_box.h"
#include "platform/printer.h"
#include "plot/plot_dialogs.h"
#include "plot/plot_placement.h"
#include "plot/plot_title_block.h"

namespace {
constexpr std::array<TColor, 8> PrinterToolColors = {0xFFFF00, 0x0000FF, 0x00FFFF, 0x00FF00,
                                                     0xFF0000, 0xFF00FF, 0xC0C0C0, 0x000000};
}  // namespace

TPrinterDevice::TPrinterDevice() : TPlotDevice(&Printer().Canvas(), clWhite) {}

int32_t TPrinterDevice::LengthToDevice(int32_t length) {
  return SaturatingRound(LengthToDeviceReal(length));
}

double TPrinterDevice::LengthToDeviceReal(int32_t length) {
  return (std::abs(double(ScaleY)) + ScaleX) / 2.0 * length / kDbUnitsPerInch * Factor();
}

void TPrinterDevice::WorldToDeviceReal(double x, double y, double& dx, double& dy) {
  dx = ScaleX * (x - OriginX) / kDbUnitsPerInch * Factor();
  dy = ScaleY * (OriginY - y) / kDbUnitsPerInch * Factor();
}

void TPrinterDevice::WorldToDevice(double x, double y, int32_t& dx, int32_t& dy) {
  double rx, ry;
  WorldToDeviceReal(x, y, rx, ry);
  dx = SaturatingRound(rx);
  dy = SaturatingRound(ry);
}

void TPrinterDevice::DeviceToWorld(int32_t dx, int32_t dy, int32_t& x, int32_t& y) {
  x = SaturatingRound(dx / (ScaleX * Factor()) * kDbUnitsPerInch + OriginX);
  y = SaturatingRound(OriginY - dy / (ScaleY * Factor()) * kDbUnitsPerInch);
}

void TPrinterDevice::SetColor(TColor colour) {
  TDrawingBase::SetColor(ColourPrinter ? colour : 0);
}

TColor TPrinterDevice::ColorOfTool(int32_t tool) {
  if (!ColourPrinter) return 0;
  int64_t i = (int64_t(tool) - 1) % 8;
  if (i < 0) i += 8;
  return PrinterToolColors[size_t(i)];
}

void TPrinterDevice::DrawHoleSymbol(int32_t x, int32_t y, uint16_t tool) {
  int32_t dx, dy;
  WorldToDevice(x, y, dx, dy);
  SymbolDrawer->Canvas = Canvas;
  SymbolDrawer->SetSize(ScaleX / 50);
  SymbolDrawer->DrawSymbol(dx, dy, tool);
  Dirty = true;
}

void TPrinterDevice::DrawHoleLetter(int32_t x, int32_t y, uint16_t tool) {
  int32_t dx, dy;
  WorldToDevice(x, y, dx, dy);
  const char letter = HoleLetterOf(tool);
  const int32_t h = Canvas->Font.Size * ScaleY / 72;
  Canvas->TextOut(dx + h / 2, dy + h / 2, std::string(1, letter));
  Dirty = true;
}

void TPrinterDevice::ReadCapabilities() {
  TPrinter& p = Printer();
  PageWidth = p.PageWidth();
  PageHeight = p.PageHeight();
  ScaleX = std::max(1, p.PixelsPerInchX());
  ScaleY = std::max(1, p.PixelsPerInchY());
  ColourPrinter = p.NumColors() >= 8;
}

bool TPrinterDevice::AutoFit(double wdb, double hdb) {
  TIntPoint mn, mx;
  InitExtents(mn, mx);
  bool any = DB != nullptr && DB->GetExtents(mn, mx);
  TIntBox rout;
  if (RTDB != nullptr && RTDB->GetExtents(rout, true)) {
    mn = {any ? std::min(mn.X, rout.Left) : rout.Left, any ? std::min(mn.Y, rout.Bottom) : rout.Bottom};
    mx = {any ? std::max(mx.X, rout.Right) : rout.Right, any ? std::max(mx.Y, rout.Top) : rout.Top};
    any = true;
  }
  int32_t dminX = std::numeric_limits<int32_t>::max(), dminY = dminX;
  int32_t dmaxX = std::numeric_limits<int32_t>::min(), dmaxY = dmaxX;
  if (DRDB != nullptr && DRDB->VisibleExtents(dminX, dminY, dmaxX, dmaxY, true)) {
    mn = {any ? std::min(mn.X, dminX) : dminX, any ? std::min(mn.Y, dminY) : dminY};
    mx = {any ? std::max(mx.X, dmaxX) : dmaxX, any ? std::max(mx.Y, dmaxY) : dmaxY};
    any = true;
  }
  Empty = !any;
  if (!any) {
    PlotScaleFactors[5] = 1.0;
    OriginX = 0.0;
    OriginY = 0.0;
    return false;
  }
  // A single hole or a straight line has no width or no height: the other
  // axis decides, and a point alone is printed at 1 : 1.
  const double ew = double(mx.X) - mn.X, eh = double(mx.Y) - mn.Y;
  const double m1 = std::max(ew * 1.1 / wdb, eh * 1.1 / hdb);
  const double m2 = std::max(ew * 1.1 / hdb, eh * 1.1 / wdb);
  const bool rotated = m2 < m1;
  double m = rotated ? m2 : m1;
  if (!(m > 0.0)) m = 1.0;
  PlotScaleFactors[5] = 1.0 / m;
  const double pw = rotated ? hdb : wdb, ph = rotated ? wdb : hdb;
  OriginX = (double(mn.X) + mx.X) / 2 - pw * m / 2;
  OriginY = (double(mn.Y) + mx.Y) / 2 + ph * m / 2;
  return rotated;
}

bool TPrinterDevice::Place() {
  ScaleIndex = 2;
  for (;;) {
    uint8_t orientation = 0;
    if (!RunQuickPrintDialog(ScaleIndex, orientation)) return false;
    if (ScaleIndex > 5) ScaleIndex = 2;
    TPrinter& p = Printer();
    p.SetOrientation(orientation == 1 ? poLandscape : poPortrait);
    ReadCapabilities();
    const double wdb = std::nearbyint(double(PageWidth) / ScaleX * kDbUnitsPerInch);
    const double hdb = std::nearbyint(double(PageHeight) / ScaleY * kDbUnitsPerInch);
    if (ScaleIndex == 5) {
      // With nothing to fit the page prints at 1 : 1 from the origin.
      const bool turned = AutoFit(wdb, hdb);
      if (turned) {
        p.SetOrientation(p.Orientation() == poPortrait ? poLandscape : poPortrait);
        ReadCapabilities();
      }
      return true;
    }
    const double aw = std::nearbyint(wdb / Factor()), ah = std::nearbyint(hdb / Factor());
    if (!(aw < 2147483647.0) || !(ah < 2147483647.0)) continue;
    int32_t x = 0, y = 0;
    if (PlacePage(int32_t(aw), int32_t(ah), x, y)) {
      OriginX = x;
      OriginY = double(y) + ah;
      return true;
    }
    if (PlacementStopped()) return false;
  }
}

bool TPrinterDevice::BeginPlot() {
  WaitBox = std::make_unique<THourGlass>();
  WaitBox->Show("Printing...");
  TPrinter& p = Printer();
  // The plot's own document name, whatever was printed before (a report's
  // title would name the file a print without a printer proposes).
  p.Title = "KORVEX plot";
  if (!p.BeginDoc()) {
    WaitBox.reset();
    // Nothing to say when the user cancelled.
    if (!p.LastError.empty()) ErrorBox(p.LastError);
    return false;
  }
  Reset();
  SetColor(0);
  SavedDrawSurface = DrawSurface;
  DrawSurface = this;
  return true;
}

void TPrinterDevice::EndPlot() {
  DrawSurface = SavedDrawSurface;
  TPrinter& p = Printer();
  const bool ended = !Failed && p.Printing();
  if (Failed)
    p.Abort();
  else
    p.EndDoc();
  WaitBox.reset();
  if (ended) TellWrittenFile(p);
}
