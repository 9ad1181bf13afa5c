// The drawing surface: the one object through which every entity of the job
// paints itself, whether on the screen picture, a printer page or a plot file.
//
// Entities draw in world coordinates (database units, Y up) through the
// virtual operations of TDrawingBase; each surface converts to its device
// (pixels with Y down on the screen) and renders. The global DrawSurface
// points at the surface in use: the screen picture normally, a plot or print
// device for the length of a plot or print run.
//
// The operations keep their fixed slot order (0..38 below); a surface that
// replaces an inner slot (conversion, device line, polyline) changes every
// composite that calls it. The base paints on a TCanvas it does not own.
#pragma once
#include <array>
#include <cstdint>

#include "platform/canvas.h"
#include "platform/types.h"

// Device polyline passed by value: entry 0 holds no point, the X of entry 1
// holds the index of the last point, the points are entries 2 .. that index
// (at most 102 points).
struct TDevicePolyline {
  static constexpr int32_t Entries = 104;
  std::array<TPoint, Entries> P{};
};

// The colours the surfaces give tool numbers: aqua, red, yellow, lime, blue,
// fuchsia, silver, white.
extern const std::array<TColor, 8> ToolColors;

class TCanvasSymbolDrawer;  // drill-symbol drawer on a canvas (hole rendering)

class TDrawingBase {
 public:
  // Dirty False; CachedZoom 0; SymbolDrawer a drill-symbol drawer of size
  // 4 on the canvas; PenStyle 5 and PenMode 7 remembered (the
  // canvas is not touched, so the first IfChanged call of another value
  // applies); Color $12345678 (no colour yet); BackColor := backColor.
  TDrawingBase(TCanvas* canvas, TColor backColor);
  TDrawingBase(const TDrawingBase&) = delete;
  TDrawingBase& operator=(const TDrawingBase&) = delete;

  // Slot 0.
  virtual ~TDrawingBase();

  // Slots 1-4: world-to-device conversion, supplied by every surface.
  virtual int32_t LengthToDevice(int32_t length) = 0;
  virtual double LengthToDeviceReal(int32_t length) = 0;
  virtual void WorldToDevice(double x, double y, int32_t& dx, int32_t& dy) = 0;
  virtual void WorldToDeviceReal(double x, double y, double& dx, double& dy) = 0;

  // Slot 5: solid pen, copy mode, pen and font colour aqua, plain 10-point
  // "System" font, pen width 1, BackColor to the device.
  virtual void Reset();
  // Slots 6-11: pen style (0 solid, 1 dash, 2 dot, 3 dash-dot, 4
  // dash-dot-dot, 5 clear, 6 inside frame), pen mode (0..15, 4 copy) and
  // colour (pen and font). Each resets the pen width to 1 and remembers the
  // value; the IfChanged forms do nothing when the value is remembered.
  virtual void SetPenStyle(uint8_t style);
  virtual void SetPenStyleIfChanged(uint8_t style);
  virtual void SetPenMode(uint8_t mode);
  virtual void SetPenModeIfChanged(uint8_t mode);
  virtual void SetColor(TColor colour);
  virtual void SetColorIfChanged(TColor colour);
  // Slot 12: the canvas pen's colour.
  virtual TColor GetColor();
  // Slot 13: one device pixel in Color at the world point.
  virtual void DrawPixel(int32_t x, int32_t y);
  // Slot 14: a plus of 3 pixels each way.
  virtual void DrawPlusMark(int32_t x, int32_t y);
  // Slot 15: a small X, (X-2, Y-2)-(X+3, Y+3) and (X-2, Y+2)-(X+3, Y-3).
  virtual void DrawXMark(int32_t x, int32_t y);
  // Slots 16-17: the tool's drill symbol and letter. They belong to the hole
  // rendering, which replaces them; the base draws nothing.
  virtual void DrawHoleSymbol(int32_t x, int32_t y, uint16_t tool);
  virtual void DrawHoleLetter(int32_t x, int32_t y, uint16_t tool);
  // Slot 18: both ends through WorldToDevice, then slot 19.
  virtual void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // Slot 19: canvas MoveTo (x1, y1), LineTo (x2, y2).
  virtual void DrawDeviceLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // Slot 20: a circle by world centre and radius; below 1.5 device units
  // one pixel.
  virtual void DrawCircle(double cx, double cy, double r);
  // Slots 21-23 and 25-33: the stroke number, the marks and the rout
  // renderings belong to the rout and hole rendering, which replaces them;
  // the base draws nothing.
  virtual void DrawNumber(int32_t x, int32_t y, int32_t n);
  virtual void DrawPolygonMark(int32_t x, int32_t y, double angle, TColor colour);
  virtual void DrawOriginMark(int32_t x, int32_t y, TColor colour);
  // Slot 24: the arc from P1 to P2 about C, counter-clockwise unless
  // clockwise (world sense), flattened into at most 100 chords; ends closer
  // than 0.01 device units draw nothing.
  virtual void DrawArc(bool clockwise, double x1, double y1, double x2, double y2, double xc,
                       double yc);
  virtual void DrawRoutLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width);
  virtual void DrawFeedRateLineMark(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                    int32_t width, int32_t feed);
  virtual void DrawZOffsetLineMark(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                   int32_t width);
  virtual void DrawDirectionArrow(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t size);
  virtual void DrawSlotOutline(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width);
  virtual void DrawTableMove(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  virtual void DrawRoutArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t xc,
                           int32_t yc, int32_t width);
  virtual void DrawFeedRateArcMark(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t xc,
                                   int32_t yc, int32_t width, uint16_t feed);
  virtual void DrawArcDirectionArrow(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                     int32_t xc, int32_t yc, int32_t size, bool reversed);
  // Slot 34: slot 20 with half the diameter.
  virtual void DrawCircleDia(double cx, double cy, double d);
  // Slot 35: True only for the screen picture.
  virtual bool IsScreen();
  // Slot 36: True when device Y grows upwards (plot files).
  virtual bool MirrorsY();
  // Slot 37: MoveTo the first point, LineTo each further point.
  virtual void DrawPolyline(const TDevicePolyline& line);
  // Slot 38: entry (tool - 1) mod 8 of ToolColors; tools below 1 count as
  // tool 1.
  virtual TColor ColorOfTool(int32_t tool);

  TCanvas* GetCanvas() const { return Canvas; }

  bool Dirty = false;
  double CachedZoom = 0.0;
  TCanvasSymbolDrawer* SymbolDrawer = nullptr;  // owned; size 4 on the same canvas at start
  uint8_t PenStyle = 5;
  TColor Color = 0x12345678;
  uint8_t PenMode = 7;
  TColor BackColor = clWhite;
  TCanvas* Canvas = nullptr;  // not owned
};

// The chord count and rotation step that flatten the arc from S to E about C
// (device reals) within the deviation tolerance t: N chords of theta degrees
// each (at most 100 chords; a zero radius gives one chord and no turn).
void ArcStepTransform(double sx, double sy, double ex, double ey, double cx, double cy, double t,
                      int32_t& n, double& theta);

// The surface every entity draw paints through; nullptr means the screen
// picture of the view (see CurrentSurface in workspace/view_services.h).
extern TDrawingBase* DrawSurface;
