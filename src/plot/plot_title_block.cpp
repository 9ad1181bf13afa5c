#include "plot/plot_title_block.h"

#include <cmath>
#include <cstdio>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/stroke_text.h"
#include "foundation/utilities.h"
#include "model/tool_tables.h"
#include "plot/plot_device.h"
#include "plot/plot_dialogs.h"

namespace {

// Stroke text drawn as device lines of the plot.
class TPlotText : public TStrokeText {
 public:
  TPlotText(TPlotDevice& device, const std::string& text, int32_t x, int32_t y, int32_t width,
            int32_t height)
      : TStrokeText(text, x, y, width, height), Device(device), PenX(x), PenY(y) {}
  void MoveTo(int32_t x, int32_t y) override {
    PenX = x;
    PenY = y;
  }
  void LineTo(int32_t x, int32_t y) override {
    Device.DrawDeviceLine(PenX, PenY, x, y);
    PenX = x;
    PenY = y;
  }
  TPlotDevice& Device;
  int32_t PenX;
  int32_t PenY;
};

// Device positions of the page's bottom-right corner.
struct TCorner {
  TPlotDevice& D;
  int32_t Bottom() const { return D.MirrorsY() ? 0 : D.PageHeight; }
  // h inches above the bottom edge.
  int32_t Up(double h) const { return Bottom() - SaturatingRound(D.ScaleY * h); }
  // d inches left of the right edge.
  int32_t Left(double d) const { return D.PageWidth - SaturatingRound(D.ScaleX * d); }
  void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) const {
    D.DrawDeviceLine(x1, y1, x2, y2);
  }
};

std::string PadLeft(std::string text, size_t width) {
  if (text.size() < width) text.insert(0, width - text.size(), ' ');
  return text;
}

}  // namespace

void DrawPlotText(TPlotDevice& device, int32_t x, int32_t y, const std::string& text) {
  if (text.empty()) return;
  const int32_t cw = SaturatingRound(device.ScaleX * 0.075);
  int32_t ch = SaturatingRound(device.ScaleY * 0.075);
  if (device.MirrorsY()) ch = -std::abs(ch);
  TPlotText writer(device, text, x, y, cw, -ch);
  writer.Draw();
}

void DrawTitleBlock(TPlotDevice& device) {
  device.SetPenStyle(0);
  device.SetColor(0);
  const TCorner c{device};
  device.TitleColumnWidth = SaturatingRound(device.ScaleX * 0.05);
  device.TitleRowHeight = SaturatingRound(device.ScaleY * 0.05);
  std::string line1, line2;
  device.PlotFormatBlock = AskPlotConfiguration(line1, line2);
  const int32_t right = c.Left(0);
  if (device.PlotFormatBlock) {
    c.Line(right, c.Up(0.4), c.Left(3.25), c.Up(0.4));
    c.Line(right, c.Up(0.6), c.Left(3.25), c.Up(0.6));
    c.Line(c.Left(3.25), c.Up(0), c.Left(3.25), c.Up(0.6));
    c.Line(c.Left(3.27), c.Up(0), c.Left(3.27), c.Up(0.62));
    c.Line(right, c.Up(0.62), c.Left(3.27), c.Up(0.62));
    device.TitleBlockEdge() = c.Up(0.62);
    const int32_t x = c.Left(3.25) + device.TitleColumnWidth;
    if (!line1.empty()) DrawPlotText(device, x, c.Up(0.6) + 3 * device.TitleRowHeight, line1);
    if (!line2.empty()) DrawPlotText(device, x, c.Up(0.4) + 3 * device.TitleRowHeight, line2);
  } else {
    device.TitleBlockEdge() = c.Up(0.22);
    c.Line(c.Left(3.25), c.Up(0), c.Left(3.25), c.Up(0.2));
    c.Line(c.Left(3.27), c.Up(0), c.Left(3.27), c.Up(0.22));
    c.Line(right, c.Up(0.22), c.Left(3.27), c.Up(0.22));
  }
  c.Line(right, c.Up(0.2), c.Left(3.25), c.Up(0.2));
  c.Line(c.Left(1.5), c.Up(0), c.Left(1.5), c.Up(0.2));
  DrawPlotText(device, c.Left(3.25) + device.TitleColumnWidth, c.Up(0.05), "Orbenwright KORVEX");
  DrawPlotText(device, c.Left(1.5) + device.TitleColumnWidth, c.Up(0.05),
               DateText() + " " + TimeText());
}

void DrawToolTable(TPlotDevice& device) {
  device.SetColorIfChanged(0);
  const int32_t tw = SaturatingRound(device.ScaleX * 1.625);
  const int32_t rowH = device.ScaleY / 5;
  const int32_t left = device.PageWidth - tw;
  const int32_t textX = left + SaturatingRound(device.ScaleX * 0.2);
  const int32_t textUp = SaturatingRound(device.ScaleY * 0.05);
  int32_t bottom = device.TitleBlockEdge();
  auto row = [&] {
    const int32_t top = bottom - rowH;
    device.DrawDeviceLine(left, bottom, left, top);
    device.DrawDeviceLine(left, top, device.PageWidth, top);
  };
  int64_t total = 0;
  for (int32_t t = 1; t <= 1000; ++t)
    if (device.HitsPerTool[size_t(t)] > 0) total += device.HitsPerTool[size_t(t)];
  row();
  DrawPlotText(device, textX, bottom - textUp,
               "Total hits " + PadLeft(std::to_string(total), 7));
  bottom -= rowH;
  for (int32_t t = 1000; t >= 1; --t) {
    const int32_t hits = device.HitsPerTool[size_t(t)];
    if (hits <= 0) continue;
    row();
    device.SetColorIfChanged(ColorHolesBy == 0 ? device.ColorOfTool(t) : 0);
    int32_t wx, wy;
    device.DeviceToWorld(left + SaturatingRound(device.ScaleX * 0.1), bottom - rowH / 2, wx, wy);
    switch (DisplayHolesAs) {
      case 2: device.DrawHoleLetter(wx, wy, uint16_t(t)); break;
      case 3: device.DrawHoleSymbol(wx, wy, uint16_t(t)); break;
      default: device.DrawCircleDia(wx, wy, device.ToolDiameter[size_t(t)]); break;
    }
    device.SetColorIfChanged(0);
    DrawPlotText(device, textX, bottom - textUp,
                 ToolRowText(t, device.ToolDiameter[size_t(t)], hits));
    bottom -= rowH;
  }
  device.TitleBlockEdge() = bottom;
}

std::string ToolRowText(int32_t tool, int32_t diameter, int32_t hits) {
  return "T" + IntToStr2(tool) + "=" + FormatToolSize(diameter) + " " +
         PadLeft(std::to_string(hits), 5);
}

char HoleLetterOf(int32_t tool) {
  int32_t c = tool % 52;
  if (c <= 0) c += 52;
  return c <= 26 ? char(c + 64) : char(c + 70);
}

int32_t MetricDrillSize(int32_t v) {
  for (const TToolSizePair& pair : EquivalentSizes)
    if (SaturatingRound(pair.Inch / 2540.0) == v) return SaturatingRound(pair.Metric / 1000.0);
  return SaturatingRound(v * 2.54);
}

std::string FormatToolSize(int32_t diameter) {
  char buf[64];
  if (!Metric) {
    std::snprintf(buf, sizeof buf, "%6.4f\" ", diameter / double(kDbUnitsPerInch));
  } else {
    const int32_t v = SaturatingRound(diameter * 0.00039370078740157);
    std::snprintf(buf, sizeof buf, "%6.3fmm", MetricDrillSize(v) * 0.001);
  }
  return buf;
}
