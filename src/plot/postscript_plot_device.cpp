#include "plot/postscript_plot_device.h"

#include <algorithm>
#include <cmath>

#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "foundation/utilities.h"

std::string PostScriptPoints(double v) { return RealToStr(v * 0.0072); }

namespace {
const std::string EndOfTransmission(1, '\x04');
}  // namespace

void TPostScriptPlotDevice::WriteLine(const std::string& s) {
  Emit(s);
  if (s.empty() || s[0] != '\x04') Emit("\n");
}

void TPostScriptPlotDevice::FlushPath() {
  if (!PathOpen) return;
  WriteLine("stroke ");
  WriteLine("newpath ");
  PathOpen = false;
}

bool TPostScriptPlotDevice::BeginPlot() {
  OpenOutput();
  WriteLine(EndOfTransmission);
  // The sheet is fed upright. A page wider than high is turned onto it:
  // device X runs up the sheet and device Y from right to left, with the
  // page's height across the sheet. An upright page lies on it as it is.
  const bool landscape = PageWidth > PageHeight;
  const std::string translate =
      landscape ? PostScriptPoints(PageHeight) + " 0.0 translate" : "0.0 0.0 translate";
  // The file asks for its sheet, so that a viewer or printer whose own
  // paper is another (A4 where this is Letter) does not cut the page. It
  // comes before the page's turn: setting the sheet resets the axes.
  const std::string sheet = "<< /PageSize [" + PostScriptPoints(std::min(PageWidth, PageHeight)) + " " +
                            PostScriptPoints(std::max(PageWidth, PageHeight)) + "] >> setpagedevice";
  for (const char* line :
       {"%", "% PostScript from Orbenwright KORVEX 6", "%",
        "/textscale { /Courier findfont exch scalefont setfont } def",
        "/C { /radius exch def /y1 exch def /x1 exch def ",
        // A whole turn: 0 to 360 closes the circle.
        "newpath x1 y1 radius 0 360 arc stroke } bind def ", sheet.c_str(), translate.c_str(),
        landscape ? "90 rotate" : "0 rotate", "0.05 setlinewidth", "8 textscale", "newpath", "%",
        "% Plot data follows", "%"}) {
    WriteLine(line);
  }
  return true;
}

void TPostScriptPlotDevice::EndPlot() {
  if (PathOpen) WriteLine("stroke ");
  WriteLine("showpage");
  WriteLine(EndOfTransmission);
  CommitOutput();
}

void TPostScriptPlotDevice::PenUpMove(int32_t x, int32_t y) {
  // Lines that join go on in the open path.
  if (PathOpen && x == LastX && y == LastY) return;
  FlushPath();
  WriteLine(PostScriptPoints(x) + " " + PostScriptPoints(y) + " moveto ");
  LastX = x;
  LastY = y;
}

void TPostScriptPlotDevice::PenDownDraw(int32_t x, int32_t y) {
  PathOpen = true;
  WriteLine(PostScriptPoints(x) + " " + PostScriptPoints(y) + " lineto ");
  LastX = x;
  LastY = y;
}

void TPostScriptPlotDevice::DrawCircle(double cx, double cy, double r) {
  int32_t x, y;
  WorldToDevice(cx, cy, x, y);
  const int32_t d = LengthToDevice(SaturatingRound(2 * r));
  if (Outcode(x + d / 2.0, y + d / 2.0) == 0 && Outcode(x - d / 2.0, y - d / 2.0) == 0) {
    FlushPath();
    const double radius = std::max(0.0072 * d / 2.0, 1.0);
    WriteLine(PostScriptPoints(x) + " " + PostScriptPoints(y) + " " + RealToStr(radius) + " C ");
  } else {
    DrawArc(true, std::nearbyint(cx - r), cy, std::nearbyint(cx + r), cy, cx, cy);
    DrawArc(true, std::nearbyint(cx + r), cy, std::nearbyint(cx - r), cy, cx, cy);
  }
  Dirty = true;
}

void TPostScriptPlotDevice::DrawArc(bool clockwise, double x1, double y1, double x2, double y2,
                                    double xc, double yc) {
  double sx, sy, ex, ey, cx, cy;
  WorldToDeviceReal(x1, y1, sx, sy);
  WorldToDeviceReal(x2, y2, ex, ey);
  WorldToDeviceReal(xc, yc, cx, cy);
  double r1, a1, r2, a2;
  RectToPolar(sx - cx, sy - cy, r1, a1);
  RectToPolar(ex - cx, ey - cy, r2, a2);
  if (Outcode(cx + r1, cy + r1) != 0 || Outcode(cx - r1, cy - r1) != 0) {
    TDrawingBase::DrawArc(clockwise, x1, y1, x2, y2, xc, yc);
    return;
  }
  // A rotated page turns the device angles but keeps their sense.
  const bool continues = SaturatingRound(sx) == LastX && SaturatingRound(sy) == LastY;
  WriteLine(std::string(continues ? "" : "stroke newpath ") + PostScriptPoints(cx) + " " +
            PostScriptPoints(cy) + " " + PostScriptPoints((r1 + r2) / 2) + " " + RealToStr(a1) +
            " " + RealToStr(a2) + (clockwise ? " arcn" : " arc"));
  PathOpen = true;
  LastX = SaturatingRound(ex);
  LastY = SaturatingRound(ey);
  Dirty = true;
}
