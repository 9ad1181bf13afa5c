#include "model/drill_entities.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <typeinfo>

#include "foundation/display_units.h"
#include "foundation/geometry_intersect.h"
#include "foundation/geometry_lines.h"
#include "foundation/geometry_matrix.h"
#include "foundation/geometry_points.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/hit_patterns.h"
#include "model/slot_pool.h"
#include "model/symbol_drawer.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/message_box.h"


int32_t SnapPointX = 0;
int32_t SnapPointY = 0;
uint8_t SnapPointFound = 0;
std::vector<TIntPoint> StepScratchPoint;

namespace {

constexpr TColor kYellow = 0x0000FFFF;
constexpr TColor kRed = 0x000000FF;
constexpr TColor kBlue = 0x00FF0000;

TCadConversionTarget* ConversionTarget = nullptr;


// Round half to even, for coordinates already known to lie in range.
int32_t RoundEven(double v) { return SaturatingRound(v); }

// Every hole of a job load passes here: the clamps are inline.
uint16_t Bands(int64_t lo, int64_t hi) {
  return BandMask(int32_t(std::clamp<int64_t>(lo, INT32_MIN, INT32_MAX)),
                  int32_t(std::clamp<int64_t>(hi, INT32_MIN, INT32_MAX)));
}

// Band masks of an extent widened by h on every side.
void SetBands(uint16_t& xb, uint16_t& yb, const TIntPoint& mn, const TIntPoint& mx, int64_t hx,
              int64_t hy) {
  xb = Bands(int64_t(mn.X) - hx, int64_t(mx.X) + hx);
  yb = Bands(int64_t(mn.Y) - hy, int64_t(mx.Y) + hy);
}

bool InBox(const TIntBox& b, int32_t x, int32_t y) {
  return x >= b.Left && x <= b.Right && y >= b.Bottom && y <= b.Top;
}

int32_t Half(int32_t v) { return v / 2; }

TIntPoint HalvedMidPoint(const TIntPoint& a, const TIntPoint& b) {
  return {Half(a.X) + Half(b.X), Half(a.Y) + Half(b.Y)};
}

std::string LineDefString(const TIntPoint& a, const TIntPoint& b) {
  TLineEq e;
  TLinePointDir f;
  LineEquation(0, TRealPoint{double(a.X), double(a.Y)}, TRealPoint{double(b.X), double(b.Y)}, e,
               f);
  return RealToStr(e.A) + "," + RealToStr(e.B) + "," + RealToStr(e.C);
}

// Foot of the perpendicular from `from` to the line through a and b; from
// itself when there is no line or no intersection.
TIntPoint LineFoot(const TIntPoint& a, const TIntPoint& b, const TIntPoint& from) {
  TLineEq e, n;
  TLinePointDir f, unused;
  LineEquation(0, TRealPoint{double(a.X), double(a.Y)}, TRealPoint{double(b.X), double(b.Y)}, e,
               f);
  if (GeoErrorCode != 0) return from;
  LineEqPointDir(TRealPoint{e.A, e.B}, TRealPoint{double(from.X), double(from.Y)}, n);
  TRealPoint q;
  uint8_t count = 0;
  Intersect(0, e, n, unused, unused, TRealLine{}, TRealLine{}, q, count);
  if (GeoErrorCode != 0 || count == 0) return from;
  return {RoundEven(q.X), RoundEven(q.Y)};
}

TDrawingBase& Surface() { return CurrentSurface(); }

int32_t SaturatingSum(int64_t v) { return ClampToInt32(std::min<int64_t>(v, INT32_MAX)); }

}  // namespace

TCadConversionTarget* SetCadConversionTarget(TCadConversionTarget* target) {
  TCadConversionTarget* old = ConversionTarget;
  ConversionTarget = target;
  return old;
}
TCadConversionTarget* CadConversionTarget() { return ConversionTarget; }

int32_t DrillToolDiameter(int32_t tool) {
  return ValidToolNumber(tool) ? ToolTable[tool].Diameter : 0;
}
bool DrillToolActive(int32_t tool) { return ValidToolNumber(tool) && ActiveTools[tool]; }

int32_t DrillCuspLimit() { return DRDB != nullptr ? DRDB->SlotAlgorithm.CuspDefault : 12700; }

int32_t DrillPointDistance(int64_t dx, int64_t dy) {
  double x = double(dx), y = double(dy);
  return SaturatingRound(std::sqrt(x * x + y * y));
}

// ---- TDrillEntity ------------------------------------------------------------------

TDrillEntity::TDrillEntity(const TIntPoint& point, uint16_t tool)
    : X(point.X), Y(point.Y), Tool(tool) {
  DatabaseModified = true;
}

TDrillEntity::~TDrillEntity() { ReleaseStepObject(StepObj); }

void TDrillEntity::Erase() {}

void TDrillEntity::Reach(TIntPoint& mn, TIntPoint& mx, int64_t& half) {
  mn = mx = {X, Y};
  half = 0;
}

void TDrillEntity::ComputeShadow() {
  TIntPoint mn, mx;
  int64_t half = 0;
  Reach(mn, mx, half);
  SetBands(XBand, YBand, mn, mx, half, half);
}

void TDrillEntity::MarkStale(TDrawingBase& s) {
  if (!s.TracksStale) return;
  TIntPoint mn, mx;
  int64_t half = 0;
  Reach(mn, mx, half);
  if (mn.X > mx.X || mn.Y > mx.Y) return;
  // Symbols and letters keep their size in pixels at every scale.
  s.MarkStale(mn.X, mn.Y, mx.X, mx.Y, double(half), 16);
}

void TDrillEntity::GetPoint(TIntPoint& point) { point = {X, Y}; }

void TDrillEntity::GetSecondPoint(TIntPoint&) { ErrorBox("GetSecondPoint called on non-Slot!"); }
void TDrillEntity::SetSecondPoint(const TIntPoint&) {
  ErrorBox("SetSecondPoint called on non-Slot!");
}
int32_t TDrillEntity::GetRadius() {
  ErrorBox("GetRadius called on non-Circle entity");
  return 0;
}
void TDrillEntity::SetRadius(int32_t) { ErrorBox("SetRadius called on non-Circle entity"); }
void TDrillEntity::GetString(std::string&) { ErrorBox("GetString called on non-text entity"); }
void TDrillEntity::SetString(const std::string&) {
  ErrorBox("SetString called on non-text entity");
}
bool TDrillEntity::GetVertical() {
  ErrorBox("GetVertical called on non-text entity");
  return false;
}
void TDrillEntity::SetVertical(bool) { ErrorBox("SetVertical called on non-text entity"); }

void TDrillEntity::SetPoint(const TIntPoint& point) {
  X = point.X;
  Y = point.Y;
  ComputeShadow();
}

void TDrillEntity::SetToolNumber(uint16_t tool) {
  Tool = tool;
  ComputeShadow();
}

void TDrillEntity::ReplaceStepObj(TStepObject* step) {
  if (step != nullptr) step->AddRef();
  ReleaseStepObject(StepObj);
  StepObj = step;
}

void TDrillEntity::SetStepObj(TStepObject* step) {
  ReplaceStepObj(step);
  ComputeShadow();
}

void TDrillEntity::AppendStepObj(TStepObject* step) {
  if (StepObj == nullptr) {
    ReplaceStepObj(step);
  } else {
    TStepObject* combined = StepObj->AppendLevel(step);
    if (combined != nullptr) ReplaceStepObj(combined);
  }
  ComputeShadow();
}

bool TDrillEntity::Transform(const TMatrix3& matrix) {
  double fx, fy;
  TransformPoint(X, Y, matrix.M, fx, fy);
  if (!InRangeFrom(fx, fy, X, Y)) return false;
  X = RoundEven(fx);
  Y = RoundEven(fy);
  if (StepObj != nullptr) ReplaceStepObj(StepObj->Transformed(matrix));
  ComputeShadow();
  return true;
}

bool TDrillEntity::InsideWindow(const TIntBox& box) {
  return DrillToolActive(Tool) && InBox(box, X, Y);
}

bool TDrillEntity::InWindowTest(const TIntBox& box) {
  if (!DrillToolActive(Tool)) return false;
  return InsideWindow(box);
}

void TDrillEntity::MidPoint(TIntPoint& point) { point = {X, Y}; }

void TDrillEntity::DefString(std::string& text) {
  text = RealToStr(X) + "," + RealToStr(Y) + "," + RealToStr(0);
}

void TDrillEntity::PerpPoint(const TIntPoint&, TIntPoint& point) { point = {X, Y}; }

std::vector<TIntPoint> TDrillEntity::StepPoints() { return {TIntPoint{X, Y}}; }

int32_t TDrillEntity::BoxedDistance(const TIntBox& box, int32_t x, int32_t y, int32_t qx,
                                    int32_t qy) {
  if (OutCode(box, x, y) != 0) return NotNearDrill;
  return DrillPointDistance(int64_t(qx) - x, int64_t(qy) - y);
}

void TDrillEntity::NarrowBox(TIntBox& box, int32_t qx, int32_t qy, int32_t d) {
  box = {ClampToInt32(int64_t(qx) - d), ClampToInt32(int64_t(qy) - d), ClampToInt32(int64_t(qx) + d),
         ClampToInt32(int64_t(qy) + d)};
}

void TDrillEntity::SetSnap(int32_t x, int32_t y, bool copy) {
  SnapPointX = x;
  SnapPointY = y;
  SnapPointFound = copy ? 0 : (StepObj != nullptr ? 2 : 1);
}

int32_t TDrillEntity::DistanceToPoint(TIntBox& box, int32_t best, int32_t qx, int32_t qy) {
  if (!DrillToolActive(Tool)) return NotNearDrill;
  int32_t d = BoxedDistance(box, X, Y, qx, qy);
  if (d >= 0 && d < best) {
    NarrowBox(box, qx, qy, d);
    SetSnap(X, Y, false);
  }
  return d;
}

int32_t TDrillEntity::DistanceToPointWithSteps(TIntBox& box, int32_t best, int32_t qx,
                                               int32_t qy, TIntPoint& point) {
  if (!DrillToolActive(Tool)) return NotNearDrill;
  int32_t d = BoxedDistance(box, X, Y, qx, qy);
  // The found point is reported even when it is not nearer than Best, so
  // that the pick cycle sees entities tying at one point.
  if (d < NotNearDrill) point = {X, Y};
  if (d >= 0 && d < best) {
    NarrowBox(box, qx, qy, d);
    SetSnap(X, Y, false);
  }
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) {
    int32_t dc = BoxedDistance(box, c[0].X, c[0].Y, qx, qy);
    if (dc >= 0 && dc < d && dc < best) {
      d = dc;
      NarrowBox(box, qx, qy, d);
      SetSnap(c[0].X, c[0].Y, true);
      point = c[0];
    }
  });
  return d;
}

int32_t TDrillEntity::NearestSnapPoint(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                       int32_t& sx, int32_t& sy) {
  if (!DrillToolActive(Tool)) return NotNearDrill;
  int32_t d = BoxedDistance(box, X, Y, qx, qy);
  if (d >= 0 && d < best) {
    NarrowBox(box, qx, qy, d);
    SetSnap(X, Y, false);
    sx = X;
    sy = Y;
  }
  return d;
}

int32_t TDrillEntity::NearestSnapPointWithSteps(TIntBox& box, int32_t best, int32_t qx,
                                                int32_t qy, int32_t& sx, int32_t& sy) {
  if (!DrillToolActive(Tool)) return NotNearDrill;
  int32_t d = BoxedDistance(box, X, Y, qx, qy);
  TIntPoint found{X, Y};
  bool copy = false;
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) {
    int32_t dc = BoxedDistance(box, c[0].X, c[0].Y, qx, qy);
    if (dc < d) {
      d = dc;
      found = c[0];
      copy = true;
    }
  });
  if (d >= 0 && d < best) {
    NarrowBox(box, qx, qy, d);
    SetSnap(found.X, found.Y, copy);
    sx = found.X;
    sy = found.Y;
  }
  return d;
}

int32_t TDrillEntity::TimesCopies(int64_t hits) {
  int64_t copies = 1 + (StepObj != nullptr ? StepObj->CopyCount() : 0);
  return SaturatingSum(hits * copies);
}

int32_t TDrillEntity::HitCount() { return TimesCopies(1); }

bool TDrillEntity::BeginStepCopies() {
  if (StepObj == nullptr) return false;
  StepScratchPoint.assign(1, TIntPoint{X, Y});
  StepObj->BeginCopies(&StepScratchPoint);
  return true;
}

bool TDrillEntity::NextStepCopy(TIntPoint& point) {
  if (StepObj == nullptr) return false;
  return StepObj->NextCopyPoint(point);
}

void TDrillEntity::DrawColours(TDrawingBase& s, uint8_t layer, TColor& own, TColor& copies) {
  bool stepped = StepObj != nullptr;
  auto rule = [&](uint8_t by) -> TColor {
    switch (by) {
      case 0:
        return s.ColorOfTool(Tool);
      case 1:
        return layer < LayerColors.size() ? LayerColors[layer] : DimColor;
      default:
        return stepped ? kRed : kYellow;
    }
  };
  if (ColorHolesBy <= 2)
    own = rule(ColorHolesBy);
  else
    own = stepped ? BackgroundColor : rule(uint8_t(ColorHolesBy - 3));
  const bool screen = s.IsScreen();
  if (EditorMode != emDrill && screen) own = DimColor;
  if (ColorHolesBy == 2 && (EditorMode == emDrill || !screen))
    copies = kBlue;
  else if (ColorHolesBy > 2)
    copies = BackgroundColor;
  else
    copies = own;
}

// ---- TDrillHole ------------------------------------------------------------------------

// The class is final: every size asked for is its own.
void* TDrillHole::operator new(std::size_t) { return SlotPoolOf<TDrillHole>().Allocate(); }

void TDrillHole::operator delete(void* p) noexcept {
  if (p != nullptr) SlotPoolOf<TDrillHole>().Release(p);
}

TDrillHole::TDrillHole(const TIntPoint& point, uint16_t tool) : TDrillEntity(point, tool) {
  ComputeShadow();
}

void TDrillHole::Reach(TIntPoint& mn, TIntPoint& mx, int64_t& half) {
  int32_t h = Half(DrillToolDiameter(Tool));
  mn = mx = {X, Y};
  if (StepObj != nullptr) StepObj->ExtendByCopies({X, Y}, mn, mx);
  half = h;
}

namespace {
// One hole mark by the display mode, as Draw paints it.
void PaintHole(TDrawingBase& s, int32_t x, int32_t y, uint16_t tool) {
  switch (DisplayHolesAs) {
    case 0:
      if (s.IsScreen())
        s.DrawPixel(x, y);
      else
        s.DrawCircleDia(x, y, DrillToolDiameter(tool));
      break;
    case 1:
      s.DrawCircleDia(x, y, DrillToolDiameter(tool));
      break;
    case 2:
      s.DrawHoleLetter(x, y, tool);
      break;
    default:
      s.DrawHoleSymbol(x, y, tool);
      break;
  }
}

// One hole mark as DrawColour and Erase paint it.
void PaintHoleOutline(TDrawingBase& s, int32_t x, int32_t y, uint16_t tool) {
  switch (DisplayHolesAs) {
    case 0:
      s.DrawPixel(x, y);
      break;
    case 1:
      s.DrawCircle(x, y, Half(DrillToolDiameter(tool)));
      break;
    case 2:
      s.DrawHoleLetter(x, y, tool);
      break;
    default:
      s.DrawHoleSymbol(x, y, tool);
      break;
  }
}

void PushHole(int32_t x, int32_t y, uint16_t tool) {
  TCadConversionTarget* t = CadConversionTarget();
  if (t == nullptr) return;
  switch (DisplayHolesAs) {
    case 0:
    case 1:
      t->AddCadCircle(x, y, Half(DrillToolDiameter(tool)));
      break;
    case 2:
      t->AddCadStrokeText(x, y, tool);
      break;
    default:
      t->AddCadDrillSymbol(x, y, tool);
      break;
  }
}
}  // namespace

void TDrillHole::Draw(uint8_t layer) {
  if (!DrillToolActive(Tool)) return;
  TDrawingBase& s = Surface();
  MarkStale(s);
  TColor own, copies;
  DrawColours(s, layer, own, copies);
  s.SetColorIfChanged(own);
  if (DisplayHolesAs != 0) s.SetPenStyleIfChanged(0);
  PaintHole(s, X, Y, Tool);
  if (StepObj == nullptr) return;
  s.SetColorIfChanged(copies);
  ForEachCopy(StepPoints(),
              [&](const std::vector<TIntPoint>& c) { PaintHole(s, c[0].X, c[0].Y, Tool); });
}

// ---- Runs of plain holes ------------------------------------------------------------

bool PaintHoleRuns = true;

namespace {

// A run of plain holes of one layer painted as their own Draw would paint
// them on the screen picture: one pixel each (DisplayHolesAs 0), a circle
// of the tool's size (DisplayHolesAs 1: a pixel below 1.5 pixels across, as
// a whole panel of them is drawn when zoomed out, else a ring), the dot of a
// symbol below 4 pixels (with a thin solid copy pen), or a symbol's
// strokes. What the holes share (colour per tool, conversion, dot shape or
// strokes, the box a mark must reach) is worked out once; each hole adds
// its mark to a buffer that goes to the canvas in one call, and Flush
// leaves the surface's colour, pen style, symbol size, pen position and
// Dirty as the holes' draws would.
class THoleRun {
 public:
  THoleRun(TDrawingBase& s, uint8_t layer) : S_(s), Mode_(DisplayHolesAs) {
    TRect unused;
    if (!PaintHoleRuns || Mode_ == 2 || s.PlainPicture(0, unused) == nullptr) return;
    Possible_ = true;
    // The colour DrawColours gives an unstepped hole, by tool; -1 for the
    // tools Draw leaves out.
    const uint8_t by = ColorHolesBy <= 2 ? ColorHolesBy : uint8_t(ColorHolesBy - 3);
    const TColor layerColour = layer < LayerColors.size() ? LayerColors[layer] : DimColor;
    const bool dim = EditorMode != emDrill && s.IsScreen();
    for (size_t t = 0; t < Colours_.size(); ++t) {
      const int32_t tool = int32_t(t);
      if (!DrillToolActive(tool)) {
        Colours_[t] = -1;
        continue;
      }
      TColor own = by == 0 ? s.ColorOfTool(tool) : by == 1 ? layerColour : kYellow;
      Colours_[t] = dim ? DimColor : own;
    }
    Prepare();
  }
  ~THoleRun() { Flush(); }
  THoleRun(const THoleRun&) = delete;
  THoleRun& operator=(const THoleRun&) = delete;

  // Whether the next plain hole may join the run.
  bool Ready() const { return Ready_; }

  // Reads the surface and its pen as they are now (at the start and after
  // an entity drew itself).
  void Prepare() {
    Ready_ = false;
    if (!Possible_) return;
    Colour_ = S_.Color;
    if (Mode_ == 0) {
      // DrawPixel: the surface's colour at the point, on a screen.
      Picture_ = S_.PlainPicture(0, Near_);
      Offsets_ = 1;
      Ready_ = Picture_ != nullptr && S_.IsScreen();
      return;
    }
    if (Mode_ == 1) {
      PrepareCircles();
      return;
    }
    const int32_t size = S_.RefreshedSymbolSize();
    if (size >= 4) {
      PrepareSymbols(size);
      return;
    }
    Symbols_ = false;
    Picture_ = S_.PlainPicture(2 * std::max(size, 1) + 2, Near_);
    if (Picture_ == nullptr || S_.Canvas == nullptr) return;
    // The dot takes the canvas pen as SetColorIfChanged and
    // SetPenStyleIfChanged(0) leave it: it must already be the surface's
    // colour, in copy mode, solid and thin unless the style call will make
    // it so.
    const TPen& pen = S_.Canvas->Pen;
    const bool solid = pen.Style == psSolid || pen.Style == psInsideFrame;
    if (pen.Mode != pmCopy || pen.Color != S_.Color) return;
    if (S_.PenStyle == 0 && !(solid && pen.Width <= 1)) return;
    // Three steps of one pixel, or one when the size rounds to nothing;
    // the pen stays where the steps leave it.
    const bool three = size >= 1;
    Offsets_ = three ? 3 : 1;
    PenStep_ = three ? TPoint{1, 0} : TPoint{0, 1};
    Ready_ = true;
  }

  // A plain hole (a TDrillHole without step copies) while Ready.
  void Add(const TDrillEntity& hole) {
    const int64_t colour = Colours_[std::min<size_t>(hole.Tool, Colours_.size() - 1)];
    if (colour < 0) return;
    AddAt(hole.X, hole.Y, hole.Tool, TColor(colour));
  }

  // A hole with step copies while Ready: its own mark and one for each copy,
  // in the colours its Draw gives them. A job's holes share patterns of
  // thousands of copies: each copy costs a mark in the buffer.
  void AddStepped(TDrillEntity& hole, uint8_t layer) {
    if (Colours_[std::min<size_t>(hole.Tool, Colours_.size() - 1)] < 0) return;
    TColor own = 0, copies = 0;
    hole.DrawColours(S_, layer, own, copies);
    AddAt(hole.X, hole.Y, hole.Tool, own);
    TIntPoint copy;
    if (hole.BeginStepCopies())
      while (hole.NextStepCopy(copy)) AddAt(copy.X, copy.Y, hole.Tool, copies);
    // Draw leaves the copies' colour set, copies or none.
    if (copies != Colour_) {
      Colour_ = copies;
      ColourSet_ = true;
    }
  }

  // The mark of a hole of the tool at the point, in the colour.
  void AddAt(int32_t hx, int32_t hy, uint16_t tool, TColor colour) {
    if (colour != Colour_) {
      Colour_ = colour;
      ColourSet_ = true;
    }
    int32_t x, y;
    if (Mode_ == 1) {
      AddCircle(hx, hy, tool, colour);
      return;
    }
    Picture_->TPictureSurface::WorldToDevice(hx, hy, x, y);
    if (Mode_ == 0) {
      Dirty_ = true;
    } else {
      Styled_ = true;
      if (x < Near_.Left || x > Near_.Right || y < Near_.Top || y > Near_.Bottom) return;
      Pen_ = {x + PenStep_.X, y + PenStep_.Y};
      PenMoved_ = true;
      Dirty_ = true;
    }
    if (Symbols_) {
      const uint32_t shape = tool % TSymbolDrawer::ShapeCount;
      const TFigure& f = Figures_[shape];
      Pen_ = f.Count == 0 ? TPoint{x, y} : TPoint{x + f.Steps[f.Count - 1].DX, y + f.Steps[f.Count - 1].DY};
      Stamps_[Count_++] = {x, y, colour, shape};
      if (Count_ == Stamps_.size()) PaintPoints();
      return;
    }
    Points_[Count_++] = {x, y, colour};
    if (Count_ == Points_.size()) PaintPoints();
  }

  // DrawCircle's marks, in the order the holes come (a pixel and a ring
  // may meet): the pixel at the corner (centre - r) of its box, the pen
  // left one pixel below it; the ring in the box of the corners, where it
  // may reach the canvas.
  void AddCircle(int32_t hx, int32_t hy, uint16_t tool, TColor colour) {
    const size_t t = std::min<size_t>(tool, Radii_.size() - 1);
    Circled_ = true;
    Dirty_ = true;
    const double r = Radii_[t];
    int32_t x1, y1;
    Picture_->TPictureSurface::WorldToDevice(double(hx) - r, double(hy) - r, x1, y1);
    if (Dot_[t]) {
      if (CircleCount_ != 0) PaintPoints();
      Pen_ = {x1, TCircleMark::Beyond(y1)};
      PenMoved_ = true;
      Points_[Count_++] = {x1, y1, colour};
      if (Count_ == Points_.size()) PaintPoints();
      return;
    }
    int32_t x2, y2;
    Picture_->TPictureSurface::WorldToDevice(double(hx) + r, double(hy) + r, x2, y2);
    if (RingBoxKnown_) {
      // The ring's box, one row lower and one column wider than the
      // corners', paints nothing when it lies beyond the canvas's box
      // widened by the pen.
      const int64_t left = std::min<int64_t>(x1, int64_t{x2} + 1), right = std::max<int64_t>(x1, int64_t{x2} + 1);
      const int64_t top = std::min<int64_t>(int64_t{y1} + 1, y2), bottom = std::max<int64_t>(int64_t{y1} + 1, y2);
      if (right < RingBox_.Left || left > RingBox_.Right || bottom < RingBox_.Top || top > RingBox_.Bottom) return;
    }
    if (Count_ != 0) PaintPoints();
    Circles_[CircleCount_++] = {x1, y1, x2, y2, colour};
    if (CircleCount_ == Circles_.size()) PaintPoints();
  }

  // Paints the buffered pixels and brings the surface up to date.
  void Flush() {
    PaintPoints();
    if (ColourSet_) S_.SetColor(Colour_);
    if (Styled_) {
      S_.SetPenStyleIfChanged(0);
      S_.RefreshSymbolSize();
    }
    if (Circled_) S_.SetPenStyleIfChanged(0);
    if (PenMoved_) S_.Canvas->MoveTo(Pen_.X, Pen_.Y);
    if (Dirty_) S_.Dirty = true;
    ColourSet_ = Styled_ = Circled_ = PenMoved_ = Dirty_ = false;
  }

 private:
  // Circles of the tools' sizes, drawn as DrawCircle draws one below 1.5
  // pixels across: a line of one step (its start pixel in the pen's mode,
  // whatever the style), here with a thin copy pen whose style
  // SetPenStyleIfChanged(0) leaves solid.
  void PrepareCircles() {
    Picture_ = S_.PlainPicture(0, Near_);
    if (Picture_ == nullptr || S_.Canvas == nullptr) return;
    const TPen& pen = S_.Canvas->Pen;
    const bool solid = pen.Style == psSolid || pen.Style == psInsideFrame;
    if (pen.Mode != pmCopy || pen.Color != S_.Color || pen.Width > 1) return;
    if (S_.PenStyle == 0 && !solid) return;
    if (!RadiiKnown_) {
      // The radius DrawCircleDia gives each tool, and whether its circle is
      // a pixel rather than a ring.
      for (size_t t = 0; t < Radii_.size(); ++t) {
        Radii_[t] = DrillToolDiameter(int32_t(t)) * 0.5;
        Dot_[t] = Picture_->TPictureSurface::LengthToDeviceReal(SaturatingRound(Radii_[t])) < 1.5;
      }
      RadiiKnown_ = true;
    }
    // The box a ring must lie beyond to paint nothing: the canvas's, and a
    // few pixels round it for the pen.
    RingBoxKnown_ = S_.CanvasBox(RingBox_);
    RingBox_ = {RingBox_.Left - 4, RingBox_.Top - 4, RingBox_.Right + 4, RingBox_.Bottom + 4};
    Offsets_ = 1;
    Ready_ = true;
  }

  // Symbols of 4 pixels and more, drawn as the drawer's strokes, with the
  // pen as SetColorIfChanged leaves it: of the surface's colour, one pixel
  // wide, and the style already solid.
  void PrepareSymbols(int32_t size) {
    constexpr int32_t Largest = 64;  // larger ones are few on a screen
    if (size > Largest) return;
    Picture_ = S_.PlainPicture(2 * size + 2, Near_);
    if (Picture_ == nullptr || S_.Canvas == nullptr) return;
    const TPen& pen = S_.Canvas->Pen;
    if (S_.PenStyle != 0 || pen.Color != S_.Color || pen.Width != 1) return;
    if (size != FigureSize_) {
      for (uint16_t k = 0; k < TSymbolDrawer::ShapeCount; ++k)
        Figures_[k] = {Steps_[k].data(), TSymbolDrawer::SymbolSteps(k, size, Steps_[k].data())};
      FigureSize_ = size;
    }
    Symbols_ = true;
    Ready_ = true;
  }

  void PaintPoints() {
    static constexpr TPoint Dot[3] = {{0, 0}, {0, 1}, {1, 1}};
    if (Count_ != 0 && Symbols_)
      S_.Canvas->DrawStamps(Stamps_.data(), Count_, Figures_.data(), Figures_.size());
    else if (Count_ != 0)
      S_.Canvas->SetPatternPixels(Points_.data(), Count_, Dot, Offsets_);
    Count_ = 0;
    if (CircleCount_ != 0) {
      // The rings with the pen each hole's draw sets: solid.
      S_.SetPenStyleIfChanged(0);
      S_.Canvas->DrawCircles(Circles_.data(), CircleCount_);
      CircleCount_ = 0;
    }
  }

  TDrawingBase& S_;
  const uint8_t Mode_;
  bool Possible_ = false;
  bool Ready_ = false;
  std::array<int64_t, 1002> Colours_{};  // tools 0..1000, then every larger number
  // Circles: each tool's radius and whether its circle is a pixel (worked
  // out once, as the zoom stays through a redraw).
  bool RadiiKnown_ = false;
  std::array<double, 1002> Radii_{};
  std::array<bool, 1002> Dot_{};
  bool RingBoxKnown_ = false;
  TRect RingBox_;
  bool Circled_ = false;
  std::array<TCircleMark, 1024> Circles_;
  size_t CircleCount_ = 0;
  TPictureSurface* Picture_ = nullptr;
  TRect Near_;
  size_t Offsets_ = 1;
  TPoint PenStep_;
  // What the holes of the run have done to the surface so far.
  TColor Colour_ = 0;
  bool ColourSet_ = false;
  bool Styled_ = false;
  bool PenMoved_ = false;
  bool Dirty_ = false;
  TPoint Pen_;
  std::array<TColoredPoint, 2048> Points_;
  // The symbols: the strokes of each shape at the size, and the holes.
  bool Symbols_ = false;
  int32_t FigureSize_ = 0;
  std::array<std::array<TFigureStep, TSymbolDrawer::MaxSteps>, TSymbolDrawer::ShapeCount> Steps_;
  std::array<TFigure, TSymbolDrawer::ShapeCount> Figures_;
  std::array<TStamp, 1024> Stamps_;
  size_t Count_ = 0;
};

}  // namespace

void DrawDrillLayer(const std::vector<TDrillEntity*>& entities, uint8_t layer,
                    TProgressiveCopy& copy) {
  TDrawingBase& surface = Surface();
  THoleRun run(surface, layer);
  // A redraw of the drill layers within another command lies over what the
  // picture paints after them: the holes a run paints count as drawn one by
  // one (those drawn by their own Draw count themselves).
  const bool stale = surface.TracksStale;
  // The entities, spread over the heap, are fetched some way ahead.
  constexpr size_t Ahead = 16;
  const size_t n = entities.size();
  for (size_t i = 0; i < n; ++i) {
    if (i + Ahead < n) __builtin_prefetch(entities[i + Ahead]);
    TDrillEntity* e = entities[i];
    if (run.Ready() && typeid(*e) == typeid(TDrillHole)) {
      if (stale) e->MarkStale(surface);
      if (e->StepObj == nullptr)
        run.Add(*e);
      else
        run.AddStepped(*e, layer);
    } else {
      run.Flush();
      e->Draw(layer);
      run.Prepare();
    }
    // The view is shown the picture as the holes so far made it.
    if (copy.Counter >= 1000) run.Flush();
    copy.Tick();
  }
}

void TDrillHole::DrawColour(TColor colour) {
  if (!DrillToolActive(Tool)) return;
  TDrawingBase& s = PictureSurface();
  s.SetColorIfChanged(colour);
  if (DisplayHolesAs != 0) {
    s.SetPenStyleIfChanged(2);
    s.SetPenModeIfChanged(4);
  }
  PaintHoleOutline(s, X, Y, Tool);
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) {
    PaintHoleOutline(s, c[0].X, c[0].Y, Tool);
  });
}

void TDrillHole::Erase() {
  if (!DrillToolActive(Tool)) return;
  TDrawingBase& s = PictureSurface();
  MarkStale(s);
  s.SetColorIfChanged(BackgroundColor);
  if (DisplayHolesAs != 0) s.SetPenStyleIfChanged(0);
  PaintHoleOutline(s, X, Y, Tool);
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) {
    PaintHoleOutline(s, c[0].X, c[0].Y, Tool);
  });
}

void TDrillHole::Push() {
  if (!DrillToolActive(Tool)) return;
  PushHole(X, Y, Tool);
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) { PushHole(c[0].X, c[0].Y, Tool); });
}

TDrillEntity* TDrillHole::Clone() {
  auto* e = new TDrillHole({X, Y}, Tool);
  if (StepObj != nullptr) e->SetStepObj(StepObj);
  return e;
}

// ---- TDrillSlot ------------------------------------------------------------------------

void* TDrillSlot::operator new(std::size_t) { return SlotPoolOf<TDrillSlot>().Allocate(); }

void TDrillSlot::operator delete(void* p) noexcept {
  if (p != nullptr) SlotPoolOf<TDrillSlot>().Release(p);
}

TDrillSlot::TDrillSlot(const TIntPoint& p1, const TIntPoint& p2, uint16_t tool)
    : TDrillEntity(p1, tool), X2(p2.X), Y2(p2.Y) {
  ComputeShadow();
}

std::vector<TIntPoint> TDrillSlot::StepPoints() { return {TIntPoint{X, Y}, TIntPoint{X2, Y2}}; }

void TDrillSlot::Reach(TIntPoint& mn, TIntPoint& mx, int64_t& half) {
  int32_t h = Half(DrillToolDiameter(Tool));
  InitExtents(mn, mx);
  ExtendExtents(mn, mx, {X, Y});
  ExtendExtents(mn, mx, {X2, Y2});
  if (StepObj != nullptr) {
    StepObj->ExtendByCopies({X, Y}, mn, mx);
    StepObj->ExtendByCopies({X2, Y2}, mn, mx);
  }
  half = h;
}

void TDrillSlot::SetSecondPoint(const TIntPoint& point) {
  X2 = point.X;
  Y2 = point.Y;
  ComputeShadow();
}

bool TDrillSlot::Transform(const TMatrix3& matrix) {
  double x1, y1, x2, y2;
  TransformPoint(X, Y, matrix.M, x1, y1);
  TransformPoint(X2, Y2, matrix.M, x2, y2);
  if (!InRangeFrom(x1, y1, X, Y) || !InRangeFrom(x2, y2, X2, Y2)) return false;
  X2 = RoundEven(x2);
  Y2 = RoundEven(y2);
  return TDrillEntity::Transform(matrix);
}

bool TDrillSlot::InWindowTest(const TIntBox& box) {
  if (!DrillToolActive(Tool)) return false;
  return InBox(box, X, Y) && InBox(box, X2, Y2);
}

void TDrillSlot::MidPoint(TIntPoint& point) { point = HalvedMidPoint({X, Y}, {X2, Y2}); }

void TDrillSlot::DefString(std::string& text) { text = LineDefString({X, Y}, {X2, Y2}); }

void TDrillSlot::PerpPoint(const TIntPoint& from, TIntPoint& point) {
  point = LineFoot({X, Y}, {X2, Y2}, from);
}


int32_t TDrillSlot::SegmentDistance(const TIntBox& box, const TIntPoint& a, const TIntPoint& b,
                                    int32_t qx, int32_t qy) {
  auto nearerEnd = [&]() {
    return std::min(DrillPointDistance(int64_t(qx) - a.X, int64_t(qy) - a.Y),
                    DrillPointDistance(int64_t(qx) - b.X, int64_t(qy) - b.Y));
  };
  if (a.X == b.X) {
    int32_t lo = std::min(a.Y, b.Y), hi = std::max(a.Y, b.Y);
    if (a.X < box.Left || a.X > box.Right || hi < box.Bottom || lo > box.Top) return NotNearDrill;
    if (qy < lo || qy > hi) return nearerEnd();
    return ClampToInt32(std::llabs(int64_t(qx) - a.X));
  }
  if (a.Y == b.Y) {
    int32_t lo = std::min(a.X, b.X), hi = std::max(a.X, b.X);
    if (a.Y < box.Bottom || a.Y > box.Top || hi < box.Left || lo > box.Right) return NotNearDrill;
    if (qx < lo || qx > hi) return nearerEnd();
    return ClampToInt32(std::llabs(int64_t(qy) - a.Y));
  }
  return HalvingSegmentDistance(a.X, a.Y, b.X, b.Y, qx, qy);
}

int32_t TDrillSlot::DistanceToPoint(TIntBox& box, int32_t best, int32_t qx, int32_t qy) {
  if (!DrillToolActive(Tool)) return NotNearDrill;
  int32_t d = SegmentDistance(box, {X, Y}, {X2, Y2}, qx, qy);
  if (d < 0 || d >= best) return NotNearDrill;
  NarrowBox(box, qx, qy, d);
  SetSnap(X, Y, false);
  return d;
}

int32_t TDrillSlot::DistanceToPointWithSteps(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                             TIntPoint& point) {
  if (!DrillToolActive(Tool)) return NotNearDrill;
  int32_t d = SegmentDistance(box, {X, Y}, {X2, Y2}, qx, qy);
  if (d < NotNearDrill) MidPoint(point);
  if (d >= 0 && d < best) {
    NarrowBox(box, qx, qy, d);
    SetSnap(point.X, point.Y, false);
  }
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) {
    int32_t dc = SegmentDistance(box, c[0], c[1], qx, qy);
    if (dc >= 0 && dc < d && dc < best) {
      d = dc;
      NarrowBox(box, qx, qy, d);
      point = HalvedMidPoint(c[0], c[1]);
      SetSnap(point.X, point.Y, true);
    }
  });
  return d;
}

int32_t TDrillSlot::NearestSnapPoint(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                     int32_t& sx, int32_t& sy) {
  if (!DrillToolActive(Tool)) return NotNearDrill;
  int32_t d = BoxedDistance(box, X, Y, qx, qy);
  TIntPoint found{X, Y};
  int32_t d2 = BoxedDistance(box, X2, Y2, qx, qy);
  if (d2 < d) {
    d = d2;
    found = {X2, Y2};
  }
  if (d >= 0 && d < best) {
    NarrowBox(box, qx, qy, d);
    SetSnap(found.X, found.Y, false);
    sx = found.X;
    sy = found.Y;
  }
  return d;
}

int32_t TDrillSlot::NearestSnapPointWithSteps(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                              int32_t& sx, int32_t& sy) {
  if (!DrillToolActive(Tool)) return NotNearDrill;
  int32_t d = NotNearDrill;
  TIntPoint found{X, Y};
  auto consider = [&](const TIntPoint& p) {
    int32_t dp = BoxedDistance(box, p.X, p.Y, qx, qy);
    if (dp < d) {
      d = dp;
      found = p;
    }
  };
  consider({X, Y});
  consider({X2, Y2});
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) {
    consider(c[0]);
    consider(c[1]);
  });
  if (d >= 0 && d < best) {
    NarrowBox(box, qx, qy, d);
    SetSnap(found.X, found.Y, false);
    sx = found.X;
    sy = found.Y;
  }
  return d;
}

int32_t TDrillSlot::HitCount() {
  int32_t dia = DrillToolDiameter(Tool);
  return TimesCopies(CountSlotHits({X, Y}, {X2, Y2}, dia, DrillCuspLimit()));
}

TDrillEntity* TDrillSlot::Clone() {
  auto* e = new TDrillSlot({X, Y}, {X2, Y2}, Tool);
  if (StepObj != nullptr) e->SetStepObj(StepObj);
  return e;
}

void TDrillSlot::Paint(const std::vector<TIntPoint>& ends, bool outlineMode) {
  TDrawingBase& s = outlineMode ? PictureSurface() : Surface();
  if (DisplayHolesAs == 0)
    s.DrawLine(ends[0].X, ends[0].Y, ends[1].X, ends[1].Y);
  else
    s.DrawSlotOutline(ends[0].X, ends[0].Y, ends[1].X, ends[1].Y, DrillToolDiameter(Tool));
}

void TDrillSlot::Draw(uint8_t layer) {
  if (!DrillToolActive(Tool)) return;
  TDrawingBase& s = Surface();
  MarkStale(s);
  TColor own, copies;
  DrawColours(s, layer, own, copies);
  s.SetColorIfChanged(own);
  if (DisplayHolesAs != 0) {
    s.SetPenStyleIfChanged(0);
    s.SetPenModeIfChanged(4);
  }
  Paint(StepPoints(), false);
  if (StepObj == nullptr) return;
  s.SetColorIfChanged(copies);
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) { Paint(c, false); });
}

void TDrillSlot::DrawColour(TColor colour) {
  if (!DrillToolActive(Tool)) return;
  TDrawingBase& s = PictureSurface();
  s.SetColorIfChanged(colour);
  if (DisplayHolesAs != 0) {
    s.SetPenStyleIfChanged(2);
    s.SetPenModeIfChanged(4);
  }
  Paint(StepPoints(), true);
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) { Paint(c, true); });
}

void TDrillSlot::Erase() {
  if (!DrillToolActive(Tool)) return;
  TDrawingBase& s = PictureSurface();
  MarkStale(s);
  s.SetColorIfChanged(BackgroundColor);
  if (DisplayHolesAs != 0) {
    s.SetPenStyleIfChanged(0);
    s.SetPenModeIfChanged(4);
  }
  Paint(StepPoints(), true);
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) { Paint(c, true); });
}

void TDrillSlot::Push() {
  if (!DrillToolActive(Tool)) return;
  TCadConversionTarget* t = CadConversionTarget();
  if (t == nullptr) return;
  auto push = [&](const std::vector<TIntPoint>& e) {
    if (DisplayHolesAs == 0)
      t->AddCadSlotLine(e[0].X, e[0].Y, e[1].X, e[1].Y);
    else
      t->AddCadSlotOutline(e[0].X, e[0].Y, e[1].X, e[1].Y, DrillToolDiameter(Tool));
  };
  push(StepPoints());
  ForEachCopy(StepPoints(), push);
}

// ---- TDrillCircle ----------------------------------------------------------------------

TDrillCircle::TDrillCircle(const TIntPoint& centre, int32_t radius, uint16_t tool)
    : TDrillEntity(centre, tool), Radius(radius) {
  ComputeShadow();
}

void TDrillCircle::Reach(TIntPoint& mn, TIntPoint& mx, int64_t& half) {
  mn = mx = {X, Y};
  if (StepObj != nullptr) StepObj->ExtendByCopies({X, Y}, mn, mx);
  int64_t r = std::llabs(int64_t(Radius));
  half = r;
}

void TDrillCircle::SetRadius(int32_t radius) {
  Radius = radius;
  ComputeShadow();
}

int32_t TDrillCircle::InnerRadius() {
  return std::max<int32_t>(0, ClampToInt32(int64_t(Radius) - DrillToolDiameter(Tool)));
}

bool TDrillCircle::InWindowTest(const TIntBox& box) {
  if (!DrillToolActive(Tool)) return false;
  int64_t r = std::llabs(int64_t(Radius));
  return int64_t(X) - r >= box.Left && int64_t(X) + r <= box.Right &&
         int64_t(Y) - r >= box.Bottom && int64_t(Y) + r <= box.Top;
}

void TDrillCircle::DefString(std::string& text) {
  text = RealToStr(X) + "," + RealToStr(Y) + "," + RealToStr(Radius);
}

void TDrillCircle::PerpPoint(const TIntPoint& from, TIntPoint& point) {
  TRealPoint c{double(X), double(Y)}, f{double(from.X), double(from.Y)};
  if (PointsEqualTol(f, c)) {
    point = from;
    return;
  }
  TRealPoint q;
  OffsetPoint(c, q, Radius, DirectionAngle(c, f));
  point = {RoundEven(q.X), RoundEven(q.Y)};
}

int32_t TDrillCircle::RingDistance(int32_t cx, int32_t cy, int32_t qx, int32_t qy) {
  int32_t c = DrillPointDistance(int64_t(qx) - cx, int64_t(qy) - cy);
  if (Radius < c) return ClampToInt32(int64_t(c) - Radius);
  return ClampToInt32(std::min<int64_t>(int64_t(Radius) - c, c));
}

int32_t TDrillCircle::DistanceToPoint(TIntBox& box, int32_t best, int32_t qx, int32_t qy) {
  if (!DrillToolActive(Tool)) return NotNearDrill;
  int32_t d = RingDistance(X, Y, qx, qy);
  if (d > best) d = NotNearDrill;
  if (d >= 0 && d < best) {
    NarrowBox(box, qx, qy, d);
    SetSnap(X, Y, false);
  }
  return d;
}

int32_t TDrillCircle::DistanceToPointWithSteps(TIntBox& box, int32_t best, int32_t qx,
                                               int32_t qy, TIntPoint& point) {
  if (!DrillToolActive(Tool)) return NotNearDrill;
  int32_t d = RingDistance(X, Y, qx, qy);
  if (d > best) d = NotNearDrill;
  if (d < NotNearDrill) point = {X, Y};
  if (d >= 0 && d < best) {
    NarrowBox(box, qx, qy, d);
    SetSnap(X, Y, false);
  }
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) {
    int32_t dc = RingDistance(c[0].X, c[0].Y, qx, qy);
    if (dc >= 0 && dc < d && dc < best) {
      d = dc;
      NarrowBox(box, qx, qy, d);
      SetSnap(c[0].X, c[0].Y, true);
      point = c[0];
    }
  });
  return d;
}

int32_t TDrillCircle::HitCount() {
  return TimesCopies(
      CountCircleHits({X, Y}, Radius, DrillToolDiameter(Tool), DrillCuspLimit()));
}

TDrillEntity* TDrillCircle::Clone() {
  auto* e = new TDrillCircle({X, Y}, Radius, Tool);
  if (StepObj != nullptr) e->SetStepObj(StepObj);
  return e;
}

void TDrillCircle::Draw(uint8_t layer) {
  if (!DrillToolActive(Tool)) return;
  TDrawingBase& s = Surface();
  MarkStale(s);
  TColor own, copies;
  DrawColours(s, layer, own, copies);
  s.SetColorIfChanged(own);
  s.SetPenStyleIfChanged(0);
  s.DrawCircle(X, Y, InnerRadius());
  s.DrawCircle(X, Y, Radius);
  if (StepObj == nullptr) return;
  s.SetColorIfChanged(copies);
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) {
    s.DrawCircle(c[0].X, c[0].Y, InnerRadius());
    s.DrawCircle(c[0].X, c[0].Y, Radius);
  });
}

void TDrillCircle::DrawColour(TColor colour) {
  if (!DrillToolActive(Tool)) return;
  TDrawingBase& s = PictureSurface();
  s.SetColorIfChanged(colour);
  s.SetPenStyleIfChanged(2);
  s.SetPenModeIfChanged(4);
  auto paint = [&](int32_t x, int32_t y) {
    s.DrawCircle(x, y, InnerRadius());
    s.DrawCircle(x, y, Radius);
  };
  paint(X, Y);
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) { paint(c[0].X, c[0].Y); });
}

void TDrillCircle::Erase() {
  if (!DrillToolActive(Tool)) return;
  TDrawingBase& s = PictureSurface();
  MarkStale(s);
  s.SetColorIfChanged(BackgroundColor);
  s.SetPenStyleIfChanged(0);
  auto paint = [&](int32_t x, int32_t y) {
    s.DrawCircle(x, y, InnerRadius());
    s.DrawCircle(x, y, Radius);
  };
  paint(X, Y);
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) { paint(c[0].X, c[0].Y); });
}

void TDrillCircle::Push() {
  if (!DrillToolActive(Tool)) return;
  TCadConversionTarget* t = CadConversionTarget();
  if (t == nullptr) return;
  auto push = [&](int32_t x, int32_t y) {
    t->AddCadCircle(x, y, InnerRadius());
    t->AddCadCircle(x, y, Radius);
  };
  push(X, Y);
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) { push(c[0].X, c[0].Y); });
}

// ---- TDrillText ------------------------------------------------------------------------

namespace {

// The text laid out once, each dot handed to a receiver.
class TDotWalker : public TDrilledTextPattern {
 public:
  template <class F>
  TDotWalker(const TDrillText& t, F&& f)
      : TDrilledTextPattern(t.Text, DrillToolDiameter(t.Tool), TDrillText::LayoutOrientation(),
                            t.Vertical),
        Receiver(std::forward<F>(f)) {}
  void EmitHit(int32_t x, int32_t y) override { Receiver(x, y); }
  std::function<void(int32_t, int32_t)> Receiver;
};

}  // namespace

TDrillText::TDrillText(const TIntPoint& point, const std::string& text, bool vertical,
                       uint16_t tool)
    : TDrillEntity(point, tool), Text(text.substr(0, 255)), Vertical(vertical) {
  ComputeShadow();
}

uint8_t TDrillText::LayoutOrientation() {
  return TextFlipsWithVersion && Version >= 1 && Version <= 8 ? Version : 1;
}

void TDrillText::Extent(int32_t& width, int32_t& height) {
  TDrilledTextPattern p(Text, DrillToolDiameter(Tool), LayoutOrientation(), Vertical);
  p.GetExtent(width, height);
}

TIntBox TDrillText::RectangleAt(int32_t x, int32_t y) {
  int32_t w, h;
  Extent(w, h);
  int32_t fx = ClampToInt32(int64_t(x) + w), fy = ClampToInt32(int64_t(y) + h);
  return {std::min(x, fx), std::min(y, fy), std::max(x, fx), std::max(y, fy)};
}

void TDrillText::GetSecondPoint(TIntPoint& point) {
  int32_t w, h;
  Extent(w, h);
  point = {ClampToInt32(int64_t(X) + w), ClampToInt32(int64_t(Y) + h)};
}

void TDrillText::SetString(const std::string& text) {
  Text = text.substr(0, 255);
  ComputeShadow();
}

void TDrillText::SetVertical(bool vertical) {
  Vertical = vertical;
  ComputeShadow();
}

void TDrillText::Reach(TIntPoint& mn, TIntPoint& mx, int64_t& half) {
  int32_t h = Half(DrillToolDiameter(Tool));
  int32_t w, ht;
  Extent(w, ht);
  InitExtents(mn, mx);
  auto widen = [&](const TIntPoint& p) {
    ExtendExtents(mn, mx, p);
    ExtendExtents(mn, mx, {ClampToInt32(int64_t(p.X) + w), ClampToInt32(int64_t(p.Y) + ht)});
  };
  widen({X, Y});
  if (StepObj != nullptr) {
    // The far corner moves with the origin: the extreme copies of the
    // origin give the extreme corners.
    TIntPoint low, high;
    InitExtents(low, high);
    StepObj->ExtendByCopies({X, Y}, low, high);
    if (low.X <= high.X) {
      widen(low);
      widen(high);
    }
  }
  half = h;
}

bool TDrillText::InWindowTest(const TIntBox& box) {
  if (!DrillToolActive(Tool)) return false;
  TIntPoint far;
  GetSecondPoint(far);
  return InBox(box, X, Y) && InBox(box, far.X, far.Y);
}

void TDrillText::MidPoint(TIntPoint& point) {
  TIntPoint far;
  GetSecondPoint(far);
  point = HalvedMidPoint({X, Y}, far);
}

void TDrillText::DefString(std::string& text) {
  TIntPoint far;
  GetSecondPoint(far);
  text = LineDefString({X, Y}, far);
}

void TDrillText::PerpPoint(const TIntPoint& from, TIntPoint& point) {
  TIntPoint far;
  GetSecondPoint(far);
  point = LineFoot({X, Y}, far, from);
}

int32_t TDrillText::RectangleDistance(const TIntBox& r, int32_t qx, int32_t qy) {
  int64_t dx = 0, dy = 0;
  if (qx < r.Left) dx = int64_t(r.Left) - qx;
  if (qx > r.Right) dx = int64_t(qx) - r.Right;
  if (qy < r.Bottom) dy = int64_t(r.Bottom) - qy;
  if (qy > r.Top) dy = int64_t(qy) - r.Top;
  if (dx == 0) return ClampToInt32(dy);
  if (dy == 0) return ClampToInt32(dx);
  return DrillPointDistance(dx, dy);
}

bool TDrillText::NearestDot(TIntPoint& p, int32_t qx, int32_t qy, int32_t& d) {
  int64_t rx = int64_t(qx) - p.X, ry = int64_t(qy) - p.Y;
  bool any = false;
  int32_t bestD = NotNearDrill;
  TIntPoint bestOffset;
  TDotWalker walker(*this, [&](int32_t x, int32_t y) {
    int32_t dd = DrillPointDistance(x - rx, y - ry);
    if (!any || dd < bestD) {
      any = true;
      bestD = dd;
      bestOffset = {x, y};
    }
  });
  walker.Generate();
  if (!any) return false;
  p = {ClampToInt32(int64_t(p.X) + bestOffset.X), ClampToInt32(int64_t(p.Y) + bestOffset.Y)};
  d = bestD;
  return true;
}

int32_t TDrillText::DistanceToPoint(TIntBox& box, int32_t best, int32_t qx, int32_t qy) {
  int32_t sx, sy;
  return NearestSnapPoint(box, best, qx, qy, sx, sy);
}

int32_t TDrillText::NearestSnapPoint(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                     int32_t& sx, int32_t& sy) {
  if (!DrillToolActive(Tool)) return NotNearDrill;
  int32_t d = RectangleDistance(RectangleAt(X, Y), qx, qy);
  if (d < 0 || d >= best) return NotNearDrill;
  TIntPoint p{X, Y};
  if (!NearestDot(p, qx, qy, d) || d >= best) return NotNearDrill;
  SetSnap(p.X, p.Y, false);
  sx = p.X;
  sy = p.Y;
  NarrowBox(box, qx, qy, d);
  return d;
}

int32_t TDrillText::DistanceToPointWithSteps(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                             TIntPoint& point) {
  if (!DrillToolActive(Tool)) return NotNearDrill;
  int32_t sx, sy;
  int32_t d = NearestSnapPoint(box, best, qx, qy, sx, sy);
  if (d != NotNearDrill) point = {sx, sy};
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) {
    int32_t dr = RectangleDistance(RectangleAt(c[0].X, c[0].Y), qx, qy);
    if (dr < 0 || dr >= d || dr >= best) return;
    TIntPoint p = c[0];
    int32_t dd;
    if (!NearestDot(p, qx, qy, dd) || dd >= d || dd >= best) return;
    d = dd;
    point = p;
    SetSnap(p.X, p.Y, true);
    NarrowBox(box, qx, qy, d);
  });
  return d;
}

int32_t TDrillText::NearestSnapPointWithSteps(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                              int32_t& sx, int32_t& sy) {
  if (!DrillToolActive(Tool)) return NotNearDrill;
  int32_t d = NotNearDrill;
  TIntPoint found;
  bool copy = false;
  auto consider = [&](const TIntPoint& pos, bool isCopy) {
    int32_t dr = RectangleDistance(RectangleAt(pos.X, pos.Y), qx, qy);
    if (dr > best) return;
    TIntPoint p = pos;
    int32_t dd;
    if (NearestDot(p, qx, qy, dd) && dd < d) {
      d = dd;
      found = p;
      copy = isCopy;
    }
  };
  consider({X, Y}, false);
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) { consider(c[0], true); });
  if (d >= 0 && d < best) {
    SetSnap(found.X, found.Y, copy);
    sx = found.X;
    sy = found.Y;
    NarrowBox(box, qx, qy, d);
  }
  return d;
}

int32_t TDrillText::HitCount() { return TimesCopies(CountTextHits(Text)); }

TDrillEntity* TDrillText::Clone() {
  auto* e = new TDrillText({X, Y}, Text, Vertical, Tool);
  if (StepObj != nullptr) e->SetStepObj(StepObj);
  return e;
}

void TDrillText::PaintText(TDrawingBase& s, int32_t x, int32_t y) {
  int32_t dia = DrillToolDiameter(Tool);
  TDotWalker walker(*this, [&](int32_t dx, int32_t dy) {
    int32_t hx = ClampToInt32(int64_t(x) + dx), hy = ClampToInt32(int64_t(y) + dy);
    switch (DisplayHolesAs) {
      case 0:
        if (s.IsScreen())
          s.DrawPixel(hx, hy);
        else
          s.DrawCircleDia(hx, hy, dia);
        break;
      case 1:
        s.DrawCircleDia(hx, hy, dia);
        break;
      case 2:
        s.DrawHoleLetter(hx, hy, Tool);
        break;
      default:
        s.DrawHoleSymbol(hx, hy, Tool);
        break;
    }
  });
  walker.Generate();
}

void TDrillText::PushText(int32_t x, int32_t y) {
  TCadConversionTarget* t = CadConversionTarget();
  if (t == nullptr) return;
  int32_t dia = DrillToolDiameter(Tool);
  TDotWalker walker(*this, [&](int32_t dx, int32_t dy) {
    int32_t hx = ClampToInt32(int64_t(x) + dx), hy = ClampToInt32(int64_t(y) + dy);
    switch (DisplayHolesAs) {
      case 0:
      case 1:
        t->AddCadCircle(hx, hy, Half(dia));
        break;
      case 2:
        t->AddCadStrokeText(hx, hy, Tool);
        break;
      default:
        t->AddCadDrillSymbol(hx, hy, Tool);
        break;
    }
  });
  walker.Generate();
}

void TDrillText::PaintAll(TDrawingBase& s, TColor copies, bool setCopies) {
  PaintText(s, X, Y);
  if (StepObj == nullptr) return;
  if (setCopies) s.SetColorIfChanged(copies);
  ForEachCopy(StepPoints(),
              [&](const std::vector<TIntPoint>& c) { PaintText(s, c[0].X, c[0].Y); });
}

void TDrillText::Draw(uint8_t layer) {
  if (!DrillToolActive(Tool)) return;
  TDrawingBase& s = Surface();
  MarkStale(s);
  TColor own, copies;
  DrawColours(s, layer, own, copies);
  s.SetColorIfChanged(own);
  s.SetPenStyleIfChanged(0);
  PaintAll(s, copies, true);
}

void TDrillText::DrawColour(TColor colour) {
  if (!DrillToolActive(Tool)) return;
  TDrawingBase& s = PictureSurface();
  s.SetColorIfChanged(colour);
  s.SetPenStyleIfChanged(2);
  s.SetPenModeIfChanged(4);
  PaintAll(s, colour, false);
}

void TDrillText::Erase() {
  if (!DrillToolActive(Tool)) return;
  TDrawingBase& s = PictureSurface();
  MarkStale(s);
  s.SetColorIfChanged(BackgroundColor);
  s.SetPenStyleIfChanged(0);
  PaintAll(s, BackgroundColor, false);
}

void TDrillText::Push() {
  if (!DrillToolActive(Tool)) return;
  PushText(X, Y);
  ForEachCopy(StepPoints(), [&](const std::vector<TIntPoint>& c) { PushText(c[0].X, c[0].Y); });
}
