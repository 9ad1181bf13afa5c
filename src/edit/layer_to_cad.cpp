#include "edit/layer_to_cad.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "foundation/settings.h"
#include "foundation/stroke_text.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/drawing_base.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/root_entity.h"
#include "model/undo_journal.h"
#include "model/view_services.h"
#include "platform/events.h"

uint8_t TargetCadLayer = 0;

double NormalizeAngleDeg(double angle) {
  if (!std::isfinite(angle)) return 0.0;
  angle = std::fmod(angle, 360.0);
  if (angle < 0.0) angle += 360.0;
  if (angle >= 360.0) angle -= 360.0;
  return angle;
}

namespace {

constexpr int32_t SymbolUnit = 127000;     // 0.005 in
constexpr int32_t LetterSize = 762000;     // 0.03 in
constexpr int32_t DigitCell = 1016000;     // 0.04 in
constexpr int32_t ArrowHalf = 2540000;     // 0.1 in
constexpr int32_t ArrowMinimum = 5080000;  // 0.2 in

int32_t Round(double v) { return SaturatingRound(v); }

struct TPolar {
  double R = 0.0;
  double A = 0.0;
};
TPolar PolarAbout(int32_t x, int32_t y, int32_t cx, int32_t cy) {
  TPolar p;
  RectToPolar(double(x) - cx, double(y) - cy, p.R, p.A);
  return p;
}
void Offset(double r, double a, double& dx, double& dy) { PolarToRect(r, a, dx, dy); }

// The drill symbols: strokes of (i, j) points in units of SymbolUnit, one
// string per shape; "," joins the points of a stroke, ";" starts a new one.
const char* const SymbolStrokes[40] = {
    "3 3,-3 -3,3 -3,3 3,-3 3,3 -3",
    "-3 3,0 -3,3 3,-3 3",
    "-3 -3,-3 3,3 0,-3 -3",
    "-3 -3,0 3,3 -3,-3 -3",
    "3 -3,3 3,-3 0,3 -3",
    "-3 3,0 -3,3 3,-3 3;0 -3,0 3",
    "-3 -3,-3 3,3 0,-3 -3;-3 0,3 0",
    "-3 -3,0 3,3 -3,-3 -3;0 -3,0 3",
    "3 -3,3 3,-3 0,3 -3;3 0,-3 0",
    "-2 -2,-2 2,2 2,2 -2,-2 -2;0 0,0 -4",
    "-2 -2,-2 2,2 2,2 -2,-2 -2;0 0,3 -3",
    "-2 -2,-2 2,2 2,2 -2,-2 -2;0 0,4 0",
    "-2 -2,-2 2,2 2,2 -2,-2 -2;0 0,3 3",
    "-2 -2,-2 2,2 2,2 -2,-2 -2;0 0,0 4",
    "-2 -2,-2 2,2 2,2 -2,-2 -2;0 0,-3 3",
    "-2 -2,-2 2,2 2,2 -2,-2 -2;0 0,-4 0",
    "-2 -2,-2 2,2 2,2 -2,-2 -2;0 0,-3 -3",
    "-3 0,0 3,3 0,0 -3,-3 0;0 0,0 -4",
    "-3 0,0 3,3 0,0 -3,-3 0;0 0,4 -4",
    "-3 0,0 3,3 0,0 -3,-3 0;0 0,4 0",
    "-3 0,0 3,3 0,0 -3,-3 0;0 0,4 4",
    "-3 0,0 3,3 0,0 -3,-3 0;0 0,0 4",
    "-3 0,0 3,3 0,0 -3,-3 0;0 0,-4 4",
    "-3 0,0 3,3 0,0 -3,-3 0;0 0,-4 0",
    "-3 0,0 3,3 0,0 -3,-3 0;0 0,-4 -4",
    "0 3,-3 0,3 0,0 3,0 -3",
    "-2 2,-2 -2,2 2,-2 2,2 -2",
    "-3 0,0 -3,0 3,-3 0,3 0",
    "-2 -2,2 -2,-2 2,-2 -2,2 2",
    "0 -3,3 0,-3 0,0 -3,0 3",
    "2 -2,2 2,-2 -2,2 -2,-2 2",
    "3 0,0 3,0 -3,3 0,-3 0",
    "2 2,-2 2,2 -2,2 2,-2 -2",
    "-3 -3,-3 3,3 3,3 -3,0 0,-3 -3",
    "-3 -3,-3 3,3 3,0 0,3 -3,-3 -3",
    "-3 -3,-3 3,0 0,3 3,3 -3,-3 -3",
    "-3 -3,0 0,-3 3,3 3,3 -3,-3 -3",
    "-3 3,3 -3,3 3,-3 3,-3 -3,3 3",
    "-3 -3,3 3,-3 3,-3 -3,3 -3,-3 3",
    "3 -3,-3 3,-3 -3,3 -3,3 3,-3 -3",
};

// One letter of the built-in stroke font drawn with the emitter's pen.
class TCadStrokeText : public TStrokeText {
 public:
  TCadStrokeText(TCadLayerEmitter& emitter, char letter, int32_t x, int32_t y)
      : TStrokeText(std::string(1, letter), x, y, LetterSize, LetterSize), Emitter(emitter) {
    Text = std::string(1, letter);  // the font has small letters too: keep the case
  }
  void MoveTo(int32_t x, int32_t y) override { Emitter.SetCadPen(x, y); }
  void LineTo(int32_t x, int32_t y) override { Emitter.CadLineTo(x, y); }

 private:
  TCadLayerEmitter& Emitter;
};

}  // namespace

// ---- Plain geometry -------------------------------------------------------------------

void TCadLayerEmitter::AddCadLineOnTarget(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  DB->AddLineOnLayer(x1, y1, x2, y2, TargetCadLayer);
}

void TCadLayerEmitter::AddCadArcOnTarget(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                         int32_t cx, int32_t cy, bool reversed) {
  if (reversed) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  DB->AddArcOnLayer(TIntPoint{x1, y1}, TIntPoint{x2, y2}, TIntPoint{cx, cy}, TargetCadLayer);
}

void TCadLayerEmitter::AddCadCircleOnTarget(int32_t cx, int32_t cy, int32_t r) {
  // A radius the formulas make 0 or negative would draw the circle inside
  // out: nothing is drawn.
  if (r <= 0) return;
  DB->AddCircleOnLayer(cx, cy, r, TargetCadLayer);
}

void TCadLayerEmitter::SetCadPen(int32_t x, int32_t y) {
  PenX = x;
  PenY = y;
}

void TCadLayerEmitter::CadLineTo(int32_t x, int32_t y) {
  AddCadLineOnTarget(PenX, PenY, x, y);
  SetCadPen(x, y);
}

// ---- Rout display records -------------------------------------------------------------

void TCadLayerEmitter::AddCadHeadUpMove(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
  const int64_t d = std::min(std::llabs(dx), std::llabs(dy));
  const int32_t kx = ClampToInt32(x1 + (dx < 0 ? -d : d));
  const int32_t ky = ClampToInt32(y1 + (dy < 0 ? -d : d));
  AddCadLineOnTarget(x1, y1, kx, ky);
  AddCadLineOnTarget(kx, ky, x2, y2);
}

void TCadLayerEmitter::AddCadSequenceNumber(int32_t x, int32_t y, int32_t n) {
  const std::string text = std::to_string(n);
  const int64_t c = DigitCell;
  for (size_t k = 0; k < text.size(); ++k) {
    if (text[k] < '0' || text[k] > '9') continue;  // the sign of a negative number
    const auto& strokes = DigitStrokes[size_t(text[k] - '0')];
    bool first = true;
    for (const auto& p : strokes) {
      if (p[0] == 0) break;
      const int32_t px = ClampToInt32(x + 2 * c + 5 * c * int64_t(k) + p[0] * c);
      const int32_t py = ClampToInt32(y + 10 * c - p[1] * c);
      if (first) {
        SetCadPen(px, py);
        first = false;
      } else {
        CadLineTo(px, py);
      }
    }
  }
}

void TCadLayerEmitter::AddOutline(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                  int32_t width) {
  const int32_t h = width / 2;
  TIntPoint a, b, c, d;
  if (x1 == x2) {
    if (y1 < y2) std::swap(y1, y2);
    a = {ClampToInt32(int64_t(x1) - h), y1};
    b = {ClampToInt32(int64_t(x1) - h), y2};
    c = {ClampToInt32(int64_t(x1) + h), y1};
    d = {ClampToInt32(int64_t(x1) + h), y2};
  } else if (y1 == y2) {
    if (x1 < x2) std::swap(x1, x2);
    a = {x1, ClampToInt32(int64_t(y1) + h)};
    b = {x2, ClampToInt32(int64_t(y1) + h)};
    c = {x1, ClampToInt32(int64_t(y1) - h)};
    d = {x2, ClampToInt32(int64_t(y1) - h)};
  } else {
    const double l = std::nearbyint(std::hypot(double(x1) - x2, double(y1) - y2));
    const int64_t ox = Round((double(x1) - x2) * h / l);
    const int64_t oy = Round((double(y1) - y2) * h / l);
    a = {ClampToInt32(x1 - oy), ClampToInt32(y1 + ox)};
    b = {ClampToInt32(x2 - oy), ClampToInt32(y2 + ox)};
    c = {ClampToInt32(x1 + oy), ClampToInt32(y1 - ox)};
    d = {ClampToInt32(x2 + oy), ClampToInt32(y2 - ox)};
  }
  AddCadLineOnTarget(a.X, a.Y, b.X, b.Y);
  AddCadLineOnTarget(c.X, c.Y, d.X, d.Y);
  AddCadArcOnTarget(c.X, c.Y, a.X, a.Y, x1, y1, false);
  AddCadArcOnTarget(b.X, b.Y, d.X, d.Y, x2, y2, false);
}

void TCadLayerEmitter::AddLineArrow(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                    int32_t size) {
  const double length = std::nearbyint(std::hypot(double(x2) - x1, double(y2) - y1));
  if (length <= ArrowMinimum) return;
  const int64_t mx = x1 / 2 + x2 / 2, my = y1 / 2 + y2 / 2;
  double r, a;
  RectToPolar(double(x2) - x1, double(y2) - y1, r, a);
  double dx, dy;
  Offset(ArrowHalf, a, dx, dy);
  const int64_t ox = Round(dx), oy = Round(dy);
  const int32_t tx = ClampToInt32(mx + ox), ty = ClampToInt32(my + oy);
  AddCadLineOnTarget(ClampToInt32(mx - ox), ClampToInt32(my - oy), tx, ty);
  const int32_t head = int32_t(size * 0.7);
  int64_t hx = ox, hy = oy;
  if (head <= ArrowHalf) {
    Offset(head, a, dx, dy);
    hx = Round(dx);
    hy = Round(dy);
  }
  AddCadLineOnTarget(ClampToInt32(mx - hy), ClampToInt32(my + hx), tx, ty);
  AddCadLineOnTarget(ClampToInt32(mx + hy), ClampToInt32(my - hx), tx, ty);
}

void TCadLayerEmitter::AddCadRoutLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                      int32_t width) {
  if (!DisplayRoutsFullWidth) {
    AddCadLineOnTarget(x1, y1, x2, y2);
    return;
  }
  if (RoutDirectionArrows) AddLineArrow(x1, y1, x2, y2, int32_t(width * 0.5));
  AddOutline(x1, y1, x2, y2, width);
}

void TCadLayerEmitter::AddArcArrow(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx,
                                   int32_t cy, int32_t size, bool reversed) {
  const TPolar p1 = PolarAbout(sx, sy, cx, cy), p2 = PolarAbout(ex, ey, cx, cy);
  const double sweep = NormalizeAngleDeg(reversed ? p1.A - p2.A : p2.A - p1.A);
  const double rm = (p1.R + p2.R) * 0.5;
  const double arcLength = std::nearbyint(rm * 2.0 * 3.14159265 * sweep / 360.0);
  if (arcLength <= ArrowMinimum) return;
  const double half = sweep / 2.0;
  const double da = ArrowMinimum / arcLength * half;
  const double am = reversed ? p2.A + half : p2.A - half;
  double dx, dy;
  Offset(rm, am, dx, dy);
  const int64_t mx = cx + int64_t(Round(dx)), my = cy + int64_t(Round(dy));
  const int32_t head = int32_t(size * 0.7);
  double hx, hy;
  Offset(rm + (head > ArrowHalf ? ArrowHalf : head), am, hx, hy);
  // The shaft runs along the arc in the arc's direction: its end E' is the
  // arrow's tip.
  const double turn = reversed ? -1.0 : 1.0;
  double s1x, s1y, e1x, e1y;
  Offset(rm, am - turn * da, s1x, s1y);
  Offset(rm, am + turn * da, e1x, e1y);
  const int32_t sxp = ClampToInt32(cx + int64_t(Round(s1x)));
  const int32_t syp = ClampToInt32(cy + int64_t(Round(s1y)));
  const int32_t exp = ClampToInt32(cx + int64_t(Round(e1x)));
  const int32_t eyp = ClampToInt32(cy + int64_t(Round(e1y)));
  AddCadArcOnTarget(sxp, syp, exp, eyp, cx, cy, reversed);
  const int64_t vx = Round(hx - dx), vy = Round(hy - dy);
  AddCadLineOnTarget(ClampToInt32(mx + vx), ClampToInt32(my + vy), exp, eyp);
  AddCadLineOnTarget(ClampToInt32(mx - vx), ClampToInt32(my - vy), exp, eyp);
}

void TCadLayerEmitter::AddCadRoutArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                     int32_t cx, int32_t cy, int32_t width, int8_t turn) {
  const int32_t gx1 = x1, gy1 = y1, gx2 = x2, gy2 = y2;  // as given, for the arrow
  TPolar p1 = PolarAbout(x1, y1, cx, cy), p2 = PolarAbout(x2, y2, cx, cy);
  // Without a known turn the arc goes the shorter way round; with one it
  // keeps it, also over half a circle. Either way the CAD arc runs
  // counter-clockwise, so a clockwise arc has its ends exchanged.
  bool reversed = turn == 0 ? NormalizeAngleDeg(p2.A - p1.A) > 180.0 : turn < 0;
  if (reversed) {
    std::swap(x1, x2);
    std::swap(y1, y2);
    std::swap(p1, p2);
  }
  const int32_t size = int32_t(width * 0.5);
  if (x1 == x2 && y1 == y2 && turn != 0) {
    // A whole turn: the arc's circle (and its band when drawn full width).
    if (!DisplayRoutsFullWidth) {
      AddCadCircleOnTarget(cx, cy, Round(p1.R));
    } else {
      AddCadCircleOnTarget(cx, cy, Round(p1.R + width * 0.5));
      AddCadCircleOnTarget(cx, cy, Round(p1.R - width * 0.5));
    }
    return;
  }
  if (!DisplayRoutsFullWidth) {
    AddCadArcOnTarget(x1, y1, x2, y2, cx, cy, false);
  } else {
    const double h = width * 0.5;
    auto at = [&](double r, double a) {
      double dx, dy;
      Offset(r, a, dx, dy);
      return TIntPoint{ClampToInt32(cx + int64_t(Round(dx))), ClampToInt32(cy + int64_t(Round(dy)))};
    };
    const TIntPoint o1 = at(p1.R + h, p1.A), o2 = at(p2.R + h, p2.A);
    const TIntPoint i1 = at(p1.R - h, p1.A), i2 = at(p2.R - h, p2.A);
    AddCadArcOnTarget(o1.X, o1.Y, o2.X, o2.Y, cx, cy, false);
    AddCadArcOnTarget(o2.X, o2.Y, i2.X, i2.Y, x2, y2, false);
    AddCadArcOnTarget(i1.X, i1.Y, i2.X, i2.Y, cx, cy, false);
    AddCadArcOnTarget(i1.X, i1.Y, o1.X, o1.Y, x1, y1, false);
  }
  if (RoutDirectionArrows) AddArcArrow(gx1, gy1, gx2, gy2, cx, cy, size, reversed);
}

void TCadLayerEmitter::AddCadHoleCircle(int32_t x, int32_t y, int32_t diameter) {
  AddCadCircleOnTarget(x, y, diameter / 2);
}

// ---- Drill entities -------------------------------------------------------------------

void TCadLayerEmitter::AddCadCircle(int32_t x, int32_t y, int32_t radius) {
  AddCadCircleOnTarget(x, y, radius);
}

void TCadLayerEmitter::AddCadStrokeText(int32_t x, int32_t y, uint16_t tool) {
  int32_t k = tool % 52;
  if (k == 0) k = 52;
  const char letter = k <= 26 ? char(64 + k) : char(70 + k);
  TCadStrokeText text(*this, letter, x, y);
  text.Draw();
}

void TCadLayerEmitter::AddCadDrillSymbol(int32_t x, int32_t y, uint16_t tool) {
  const char* s = SymbolStrokes[tool % 40];
  bool first = true;
  while (*s) {
    char* end = nullptr;
    const long i = std::strtol(s, &end, 10);
    s = end;
    const long j = std::strtol(s, &end, 10);
    s = end;
    const int32_t px = ClampToInt32(x + int64_t(i) * SymbolUnit);
    const int32_t py = ClampToInt32(y + int64_t(j) * SymbolUnit);
    if (first) {
      SetCadPen(px, py);
    } else {
      CadLineTo(px, py);
    }
    first = *s == ';';
    if (*s) ++s;
  }
}

void TCadLayerEmitter::AddCadSlotLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  AddCadLineOnTarget(x1, y1, x2, y2);
}

void TCadLayerEmitter::AddCadSlotOutline(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                         int32_t diameter) {
  AddOutline(x1, y1, x2, y2, diameter);
}

// ---- The dialog and the commands ------------------------------------------------------

TPushDialog::TPushDialog()
    : TForm("TPushDialog"),
      RoutGroup(Add<TRadioGroup>("RoutGroup", "From Layer")),
      CadGroup(Add<TRadioGroup>("CadGroup", "To Layer")) {
  SetCaption("Copy Rout Layer to Cad");
  SetSizeable(false);
  RoutGroup.SetItems({"R0", "R1", "R2", "R3", "R4"});
  RoutGroup.SetItemIndex(0);
  std::vector<std::string> layers;
  for (int32_t i = 0; i < 30; ++i) layers.push_back(std::to_string(i));
  CadGroup.SetItems(layers);
  CadGroup.SetColumns(3);
  CadGroup.SetItemIndex(0);
  auto& buttons = Add<TPanel>("ButtonRow");
  buttons.SetFlow(TFlow::Horizontal);
  buttons.SetBevel(bvNone);
  buttons.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  buttons.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
}

bool ExecutePushDialog(uint8_t& routLayer, uint8_t& cadLayer) {
  TPushDialog dialog;
  TModalResult result;
  {
    TModalBracket bracket;
    result = dialog.ShowModal();
  }
  if (result != mrOk) return false;
  const int rout = dialog.RoutGroup.ItemIndex(), cad = dialog.CadGroup.ItemIndex();
  if (rout < 0 || rout > 4 || cad < 0 || cad > 29) return false;
  routLayer = uint8_t(40 + rout);
  cadLayer = uint8_t(cad);
  return true;
}

namespace {

// Installs the emitter as both conversions' target and journals every
// addition in the CAD journal; at the end the additions become one undo
// step.
class TCopyToCad {
 public:
  TCopyToCad()
      : OldRout(SetRoutCadTarget(&Emitter)),
        OldDrill(SetCadConversionTarget(&Emitter)),
        OldUndo(ActiveUndo) {
    ActiveUndo = CadUndo;
  }
  ~TCopyToCad() {
    if (CadUndo) CadUndo->BeginOperation("Copy Layer to CAD");
    ActiveUndo = OldUndo;
    SetRoutCadTarget(OldRout);
    SetCadConversionTarget(OldDrill);
  }
  TCopyToCad(const TCopyToCad&) = delete;
  TCopyToCad& operator=(const TCopyToCad&) = delete;

 private:
  TCadLayerEmitter Emitter;
  TRoutCadTarget* OldRout;
  TCadConversionTarget* OldDrill;
  TUndoJournal* OldUndo;
};

// Push of every index 1..count whose word, masked, is positive as a signed
// number (live and on a chosen layer); the message loop runs every 100.
template <class Store>
void PushEntities(Store* store, int32_t count, uint32_t mask) {
  if (!store) return;
  for (int32_t i = 1; i <= count; ++i) {
    TEntitySlot* slot = store->GetSlot(i);
    if (slot && slot->Entity && int32_t(slot->Flags & mask) > 0) slot->Entity->Push();
    if (i % 100 == 0) ProcessMessagesInLoop();
  }
}

}  // namespace

bool CopyRoutLayerToCad() {
  uint8_t routLayer = 40, cadLayer = 0;
  if (!ExecutePushDialog(routLayer, cadLayer)) return false;
  TargetCadLayer = cadLayer;
  if (DB) {
    TCopyToCad copy;
    PushEntities(RoutEntities, RoutEntityCount, (1u << (routLayer - 30)) | 0x80000000u);
  }
  DisplayedLayerMask |= 1u << cadLayer;
  ViewServices().RedrawView();
  return true;
}

void CopyDrillLayersToCad() {
  if (DB) {
    TCopyToCad copy;
    PushEntities(DrillEntities, DrillEntityCount, DisplayedNCLayerMask);
  }
  ViewServices().RedrawView();
}
