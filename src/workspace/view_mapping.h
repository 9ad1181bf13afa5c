// The view mapping and the rubber-band painter RubberPaint.
//
// Interactive commands show their pending geometry (a dragged line, a window
// rectangle, an arc, a direction arrow) straight on the workspace paint box
// while the mouse moves. RubberPaint maps world coordinates (database units,
// Y up) to paint-box pixels (Y down) through the view window that MyScreen
// keeps up to date, draws with an exclusive-or pen so that drawing a shape
// twice removes it, and remembers the last copy of each shape so that the
// next call can erase it before drawing the new one.
//
// Every rubber-band shape takes noErase and noDraw: unless noErase the
// remembered copy is drawn again (which removes it), unless noDraw the new
// copy is drawn; the new copy is remembered either way. A command starts a
// rubber band with noErase set and ends it with noDraw set.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "foundation/geometry.h"
#include "platform/canvas.h"
#include "platform/types.h"

class TPaintBox;

// The rout database's current compensation side (0 none, 1 left, 2 right),
// which leans the rubber-band arrow; none while no rout database answers.
extern std::function<uint8_t()> CurrentCompensationSide;

class TRubberPaint {
 public:
  TRubberPaint();
  virtual ~TRubberPaint() = default;
  TRubberPaint(const TRubberPaint&) = delete;
  TRubberPaint& operator=(const TRubberPaint&) = delete;

  // ---- The view window (set by MyScreen whenever the view moves) ----
  double WindowLeft = -695264503.73;
  double WindowTop = 536870911.75;
  double ViewCentreX = 0.0;
  double ViewCentreY = 0.0;

  // ---- Where the drawing goes ----
  // The paint box whose canvas is drawn on (not owned); a canvas given with
  // SetCanvas takes precedence. With neither, nothing is drawn.
  void SetPaintBox(TPaintBox* paintBox) { PaintBox_ = paintBox; }
  void SetCanvas(TCanvas* canvas) { Canvas_ = canvas; }
  TCanvas* Canvas();

  // ---- Mapping (the view's pixels per inch) ----
  static double PixelsPerInch();
  int32_t ScaleLength(double length);
  int32_t ScreenX(double x);
  int32_t ScreenY(double y);
  double ScreenXReal(double x);
  double ScreenYReal(double y);
  TPoint ScreenPoint(double x, double y) { return TPoint{ScreenX(x), ScreenY(y)}; }

  // ---- Screen drawing ----
  // Solid white 1-pixel pen in exclusive-or mode.
  void SetXorPen();
  void DrawScreenLine(int x1, int y1, int x2, int y2);
  // Counter-clockwise on the screen from start to end about the centre;
  // nothing when start and end coincide.
  void DrawScreenArc(const TPoint& start, const TPoint& end, const TPoint& centre);
  void DrawScreenEllipse(int x1, int y1, int x2, int y2);
  void DrawScreenPolyline(const std::vector<TPoint>& points);
  // The decimal digits of the number in stroke digits, standing above the
  // screen point of world (x, y).
  void DrawScreenDigits(double x, double y, int32_t number);
  // A diagonal cross of 10 pixels each way at the world point.
  void DrawCrossMark(double x, double y);
  // An arrow 15 pixels long in the direction (degrees), leaning 10 pixels
  // to the left or right of the path by the compensation side.
  void DrawArrowHead(double angle, int sx, int sy);

  // ---- Rubber-band shapes (world coordinates unless stated) ----
  void RubberLine(const TRealPoint& a, const TRealPoint& b, bool noErase, bool noDraw);
  void RubberCircle(const TRealPoint& centre, double radius, bool noErase, bool noDraw);
  void RubberArrow(const TRealPoint& point, double angle, bool noErase, bool noDraw);
  // Slot 0: the arc from start to end about centre; with a fourth point also
  // the radius line from the centre to it.
  virtual void RubberArc(const TRealPoint& start, const TRealPoint& end, const TRealPoint& centre,
                         const TRealPoint* fourth, bool noErase, bool noDraw);
  // Slot 1: the rectangle of two opposite corners.
  virtual void RubberRectangle(const TRealPoint& a, const TRealPoint& b, bool noErase,
                               bool noDraw);
  // Slot 2: a plus of 8 pixels each way.
  virtual void RubberCrossHair(const TRealPoint& point, bool noErase, bool noDraw);
  // Slot 3: a rectangle with the number's digits at its first corner, drawn
  // in the colour in copy mode (it stays on the picture: there is nothing to
  // erase); the canvas pen is restored afterwards.
  virtual void RubberLabelledBox(const TRealPoint& a, const TRealPoint& b, TColor colour,
                                 uint8_t number, bool noErase, bool noDraw);
  // Slot 4: segments P1-P2 and P3-P4, an X of markSize pixels at P4 when
  // markSize > 0, and with cornerArc an arc of 32 pixels about the corner P2
  // from the P1 side to the P4 side.
  virtual void RubberCorner(const TIntPoint& p1, const TIntPoint& p2, const TIntPoint& p3,
                            const TIntPoint& p4, int32_t markSize, bool cornerArc, bool noErase,
                            bool noDraw);
  // Slot 5: two arcs about P4: P0 to P1 alone, and P2 to P3 with the radius
  // line P4 to P5.
  virtual void RubberDoubleArc(const std::array<TIntPoint, 6>& p, bool noErase, bool noDraw);
  // The arc from start to end about centre, counter-clockwise in screen
  // angles, flattened into chords and every point passed through the
  // transform (screen doubles in, screen doubles out).
  void RubberTransformedArc(const TRealPoint& start, const TRealPoint& centre,
                            const TRealPoint& end, const TMatrix3& transform, bool noErase,
                            bool noDraw);

  // ---- Remembered copies (screen pixels) ----
  std::array<int32_t, 4> LastLine{};
  std::array<int32_t, 4> LastCircleBox{};
  std::array<int32_t, 8> LastCorner{};
  int32_t LastCornerMark = 0;  // the X's size at the last corner's P4
  std::array<int32_t, 4> LastRect{};
  std::array<int32_t, 2> LastCross{};
  std::array<int32_t, 2> LastArrowPoint{};
  double LastArrowAngle = 0.0;
  std::array<int32_t, 2> LastArcLineEnd{};
  // start x, y, end x, y, centre x, y
  std::array<int32_t, 6> LastArc{};
  std::array<int32_t, 6> SecondArc{};
  std::array<int32_t, 6> SpareArc{};
  bool ArcIsPolyline = false;
  bool CornerArcShown = false;
  std::array<int32_t, 6> LastCornerArc{};
  // The last transformed arc: at most 101 points.
  static constexpr int MaxPolylinePoints = 101;
  std::vector<TPoint> LastPolyline;

 private:
  void DrawArcRecord(const std::array<int32_t, 6>& arc);
  void DrawCornerShape(const std::array<int32_t, 8>& corner, int32_t mark);
  void DrawRectangle(const std::array<int32_t, 4>& r);
  void DrawCrossHair(const std::array<int32_t, 2>& c);
  TPaintBox* PaintBox_ = nullptr;
  TCanvas* Canvas_ = nullptr;
};

// The one rubber-band painter of the program (null until created).
extern TRubberPaint* RubberPaint;
