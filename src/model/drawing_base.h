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
class TPictureSurface;      // the screen picture (model/view_services.h)

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
  // Slot 16: the tool's drill symbol (shape tool mod 40) centred on the
  // point, 0.01 in at the present scale.
  virtual void DrawHoleSymbol(int32_t x, int32_t y, uint16_t tool);
  // Slot 17: the tool's letter ("A".."Z" for 1..26, "a".."z" for 27..52,
  // repeating), with its top-left corner at the point; a dot or a 2 x 2
  // block while the symbol size is below 4 pixels.
  virtual void DrawHoleLetter(int32_t x, int32_t y, uint16_t tool);
  // Slot 18: both ends through WorldToDevice, then slot 19.
  virtual void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // Slot 19: canvas MoveTo (x1, y1), LineTo (x2, y2).
  virtual void DrawDeviceLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // Slot 20: a circle by world centre and radius; below 1.5 device units
  // one pixel.
  virtual void DrawCircle(double cx, double cy, double r);
  // Slot 21: the decimal digits of n in strokes of 0.04 in, standing 0.12
  // to 0.36 in above y; the first cell starts 0.08 in right of x, each
  // further one 0.2 in on. Characters other than digits leave their cell
  // empty.
  virtual void DrawNumber(int32_t x, int32_t y, int32_t n);
  // Slot 22: the arrow of ArrowMarkPoints with its tip on the point, turned
  // by angle (0 points to +X, 90 to -Y), in the colour; Color is kept.
  virtual void DrawPolygonMark(int32_t x, int32_t y, double angle, TColor colour);
  // Slot 23: the machine's +X and +Y arms (10 pixels) and their letters
  // for the axis Version, in the colour, on the canvas directly.
  virtual void DrawOriginMark(int32_t x, int32_t y, TColor colour);
  // Slot 24: the arc from P1 to P2 about C, counter-clockwise unless
  // clockwise (world sense), flattened into at most 100 chords; ends closer
  // than 0.01 device units draw nothing.
  virtual void DrawArc(bool clockwise, double x1, double y1, double x2, double y2, double xc,
                       double yc);
  // Slots 25-33, the rout renderings. A rout line or arc is a centre line
  // (DisplayRoutsFullWidth off, or width below 1), a thick kerf line
  // (KerfFill on a device with Y down) or the outline of the cut; arrows
  // follow RoutDirectionArrows, the feed and Z marks FeedRateChanges and
  // ZOffsetChanges.
  virtual void DrawRoutLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width);
  // Small circles along the path, denser for slower feeds (at most one per
  // 1/16 in); nothing for feeds below 127.
  virtual void DrawFeedRateLineMark(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                    int32_t width, int32_t feed);
  // A zigzag across the cut; nothing for a width below 1 or a zero length.
  virtual void DrawZOffsetLineMark(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                   int32_t width);
  // An arrow 0.2 in long at the middle of a path longer than 0.2 in, its
  // barbs spread by 0.7 x size (at most 0.1 in).
  virtual void DrawDirectionArrow(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t size);
  // Two lines at half the width on each side and a half circle round each
  // end.
  virtual void DrawSlotOutline(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width);
  // A 45-degree leg, then the axis-parallel remainder.
  virtual void DrawTableMove(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // The arc of at most 180 degrees between the ends about (xc, yc).
  virtual void DrawRoutArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t xc,
                           int32_t yc, int32_t width);
  virtual void DrawFeedRateArcMark(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t xc,
                                   int32_t yc, int32_t width, uint16_t feed);
  // The arc runs from the first point to the second, counter-clockwise
  // unless reversed.
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
  // Slot 38: entry (tool - 1) mod 8 of ToolColors; tool numbers below 1
  // wrap into the table the same way (tool 0 is white like tool 8).
  virtual TColor ColorOfTool(int32_t tool);

  // The Z-offset zigzag across a rout arc (not a slot; the rout entities
  // call it directly).
  void DrawZOffsetMark(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t xc, int32_t yc,
                       int32_t width);

  // Whether a mark drawn within margin pixels of the device point can show.
  // The base answers for points well inside the 32-bit device range, so no
  // mark arithmetic can overflow; the screen picture answers for its own
  // area, which also spares the marks of everything out of view.
  virtual bool DevicePointNear(int32_t x, int32_t y, int32_t margin);

  // For a redraw that paints many small marks at once: the picture surface
  // whose conversion, colours, pen and marks are exactly this surface's,
  // and the device box (edges included) that DevicePointNear accepts for
  // the margin; nullptr when the marks must be painted one by one.
  virtual TPictureSurface* PlainPicture(int32_t margin, TRect& near);
  // The device box of every pixel the surface's canvas holds, which no
  // drawing reaches beyond; false when it is not known.
  virtual bool CanvasBox(TRect& box);

  TCanvas* GetCanvas() const { return Canvas; }

  // Sets the symbol size to 0.01 in at the surface's present scale when the
  // scale changed, and points the drawer at the present canvas.
  void RefreshSymbolSize();
  // The symbol size RefreshSymbolSize would leave, without changing it.
  int32_t RefreshedSymbolSize();

  // Items drawn or erased one by one (an erase paints the background over
  // whatever lay beneath; a path drawn again lies over layers a redraw
  // paints after it) may leave the picture otherwise than a redraw paints
  // it. While TracksStale is on, each such draw adds the device box it may
  // have painted to StaleBox, which the view paints again in redraw order
  // before it shows the picture. MarkStale adds the world box from mn to
  // mx, widened by margin world units and pixels device pixels each way.
  void MarkStale(double minX, double minY, double maxX, double maxY, double margin, int32_t pixels);
  bool TracksStale = false;
  TRect StaleBox{};  // empty when nothing is stale

  bool Dirty = false;
  double CachedZoom = 0.0;
  TCanvasSymbolDrawer* SymbolDrawer = nullptr;  // owned; size 4 on the same canvas at start
  uint8_t PenStyle = 5;
  TColor Color = 0x12345678;
  uint8_t PenMode = 7;
  TColor BackColor = clWhite;
  TCanvas* Canvas = nullptr;  // not owned
  // The ends of the next rout line or arc outline that run on smoothly into
  // the neighbouring cut and get no half circle: bit 1 the first point, bit
  // 2 the second, as passed in. Set around one call by the rout records.
  uint8_t OpenRoutEnds = 0;
};

// For its lifetime what the surface paints adds nothing to its stale box:
// a full redraw of the database that lies on top of the picture (the
// current mode's), every layer in redraw order, leaves the picture as a
// redraw paints it, so the view paints again only what was erased.
class TPaintedInOrder {
 public:
  TPaintedInOrder(TDrawingBase& surface, bool onTop) : Surface_(surface), Kept_(surface.TracksStale) {
    if (onTop) Surface_.TracksStale = false;
  }
  ~TPaintedInOrder() { Surface_.TracksStale = Kept_; }
  TPaintedInOrder(const TPaintedInOrder&) = delete;
  TPaintedInOrder& operator=(const TPaintedInOrder&) = delete;

 private:
  TDrawingBase& Surface_;
  bool Kept_;
};

// The chord count and rotation step that flatten the arc from S to E about C
// (device reals) within the deviation tolerance t: N chords of theta degrees
// each (at most 100 chords; a zero radius gives one chord and no turn).
void ArcStepTransform(double sx, double sy, double ex, double ey, double cx, double cy, double t,
                      int32_t& n, double& theta);

// The stroke digits of DrawNumber: up to 16 (x, y) points per digit on a
// grid of x 1..4 (left to right) and y 1..7 (top to bottom); x = 0 ends a
// glyph. Consecutive points are joined.
extern const std::array<std::array<std::array<uint8_t, 2>, 16>, 10> DigitStrokes;
// The outline of the arrow of DrawPolygonMark in units of 0.025 in, between
// the tip (0, 0) before the first point and after the last.
extern const std::array<std::array<int32_t, 2>, 6> ArrowMarkPoints;

// The surface every entity draw paints through; nullptr means the screen
// picture of the view (see CurrentSurface in model/view_services.h).
extern TDrawingBase* DrawSurface;
