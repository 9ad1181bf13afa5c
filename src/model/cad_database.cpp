#include "model/cad_database.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "foundation/geometry_points.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "model/cad_undo.h"
#include "model/model_services.h"
#include "model/undo_journal.h"
#include "model/view_services.h"

TCadDatabase* DB = nullptr;
TExtentsFunction RoutZoomExtents;
TExtentsFunction DrillZoomExtents;

namespace {

constexpr double UnitsPerInch = 25400000.0;
constexpr uint32_t LiveMask = 0x7FFFFFFFu;

TIntBox NormalisedBox(const TIntPoint& a, const TIntPoint& b) {
  return {std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y)};
}

TIntBox PickBox(int32_t x, int32_t y, int32_t h) {
  return {ClampCompToInt(int64_t(x) - h), ClampCompToInt(int64_t(y) - h), ClampCompToInt(int64_t(x) + h),
          ClampCompToInt(int64_t(y) + h)};
}

uint32_t SearchMask(bool allActive) {
  return allActive ? ActiveLayerMask : (CadLayerBit(CurrentLayer % 32) | SlotDeletedBit);
}

// Every holder of CAD indices in the journal is stale after a renumbering.
void ForgetIndices() {
  if (CadUndo != nullptr) CadUndo->Reset();
}

// The entity sizes of the memory estimate.
constexpr int32_t EntityBytes[5] = {0, 16, 24, 32, 20};

}  // namespace

void TProgressiveCopy::Tick() {
  if (++Counter > 1000) {
    ViewServices().CopyPictureToView(Source, Target);
    Counter -= 1000;
  }
}

// ---- Construction -----------------------------------------------------------------------

TCadDatabase::TCadDatabase() {
  if (EntityArray == nullptr) EntityArray = new TEntityArray();
  CadEntityCount = 0;
  EntityArray->SetCount(0);
  TCadFormatRecord& f = CadInputFormat;
  f.Version = 1;
  f.Metric = false;
  f.IntegerDigits = 2;
  f.DecimalDigits = 4;
  f.MetricIntegerDigits = 3;
  f.MetricDecimalDigits = 3;
  f.ZerosUsed = 0;
  f.Absolute = true;
  f.CounterClockwise = false;
  f.IJMode = false;
  f.IJIncremental = true;
  f.IJFromStartPoint = true;
  f.IJSigned = true;
  f.BlockDelete = true;
  f.UseCutterCompensation = false;
  LoadCadFormatDefaults(CadInputFormat, false);
}

TCadDatabase::~TCadDatabase() {
  // The entities belong to the slots: free them with the store.
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    delete slot->Entity;
    slot->Entity = nullptr;
  }
  CadEntityCount = 0;
  delete EntityArray;
  EntityArray = nullptr;
}

TEntitySlot* TCadDatabase::SlotAt(int32_t index) {
  if (index < 1 || index > CadEntityCount || EntityArray == nullptr) return nullptr;
  return EntityArray->GetSlot(index);
}

TCadEntity* TCadDatabase::EntityAt(int32_t index) {
  TEntitySlot* slot = SlotAt(index);
  return slot != nullptr ? static_cast<TCadEntity*>(slot->Entity) : nullptr;
}

// ---- Compact, clear, delete layer ----------------------------------------------------------

void TCadDatabase::Compact() {
  bool renumbered = false;
  {
    THourGlass box;
    box.Show("Compacting database.  Please wait...");
    int32_t kept = 0;
    for (int32_t i = 1; i <= CadEntityCount; ++i) {
      TEntitySlot* slot = EntityArray->GetSlot(i);
      if (SlotDeleted(slot->Flags)) {
        delete slot->Entity;
        slot->Entity = nullptr;
      } else {
        ++kept;
        if (kept < i) {
          TEntitySlot* to = EntityArray->GetSlot(kept);
          *to = *slot;
          slot->Entity = nullptr;
        }
      }
    }
    renumbered = kept != CadEntityCount;
    CadEntityCount = kept;
    EntityArray->SetCount(kept);
  }
  // A compaction that removed nothing leaves every index, and the undo
  // history, as it was.
  if (renumbered) ForgetIndices();
}

void TCadDatabase::Clear() {
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    delete slot->Entity;
    slot->Entity = nullptr;
    slot->Flags = 0;
  }
  CadEntityCount = 0;
  EntityArray->SetCount(0);
  ForgetIndices();
}

void TCadDatabase::DeleteLayer(uint8_t layer) {
  if (layer > 29) return;
  uint32_t bit = CadLayerBit(layer);
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    if (SlotHasBit(slot->Flags, bit)) {
      EraseEntity(i);
      MarkDeleted(i);
    }
  }
}

// ---- Per-index primitives ----------------------------------------------------------------

void TCadDatabase::DrawEntity(int32_t index) {
  if (TEntitySlot* slot = SlotAt(index)) slot->Entity->Draw(LayerOfBit(slot->Flags));
}

void TCadDatabase::EraseEntity(int32_t index) {
  if (TEntitySlot* slot = SlotAt(index)) slot->Entity->Erase();
}

void TCadDatabase::MarkDeleted(int32_t index) {
  if (TEntitySlot* slot = SlotAt(index)) slot->Flags |= SlotDeletedBit;
}

void TCadDatabase::Undelete(int32_t index) {
  if (TEntitySlot* slot = SlotAt(index)) slot->Flags &= LiveMask;
}

// ---- Adds ------------------------------------------------------------------------------------

int32_t TCadDatabase::AppendEntity(TCadEntity* entity, uint8_t layer) {
  if (layer > 29) {
    delete entity;
    return 0;
  }
  TEntitySlot* slot = EntityArray->AddSlot(CadEntityCount);
  if (slot == nullptr) {
    delete entity;
    return 0;
  }
  slot->Flags = CadLayerBit(layer);
  slot->Entity = entity;
  return CadEntityCount;
}

int32_t TCadDatabase::AddEntity(TCadEntity* entity, uint8_t layer) {
  const int32_t index = AppendEntity(entity, layer);
  if (index == 0) return 0;
  entity->Draw(layer);
  JournalAdd(ActiveUndo, index);
  return index;
}

TCadEntity* TCadDatabase::NewLineOrPoint(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (std::llabs(int64_t(x2) - x1) < PointThreshold && std::llabs(int64_t(y2) - y1) < PointThreshold)
    return new TCadPoint(x1, y1);
  return new TCadLine(x1, y1, x2, y2);
}

int32_t TCadDatabase::AddPoint(int32_t x, int32_t y) { return AddPointOnLayer(x, y, CurrentLayer); }

int32_t TCadDatabase::AddPointOnLayer(int32_t x, int32_t y, uint8_t layer) {
  return AddEntity(new TCadPoint(x, y), layer);
}

int32_t TCadDatabase::AddLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  return AddLineOnLayer(x1, y1, x2, y2, CurrentLayer);
}

int32_t TCadDatabase::AddLineOnLayer(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                     uint8_t layer) {
  return AddEntity(NewLineOrPoint(x1, y1, x2, y2), layer);
}

int32_t TCadDatabase::AddArcThroughPoints(const TIntPoint& start, const TIntPoint& middle,
                                          const TIntPoint& end) {
  int32_t sx, sy, ex, ey, cx, cy, a1, a2;
  double r;
  ArcThreePointsInt(start.X, start.Y, middle.X, middle.Y, end.X, end.Y, sx, sy, ex, ey, cx, cy, a1,
                    a2, r);
  if (r > 0.0) return AddEntity(new TCadArc(sx, sy, ex, ey, cx, cy), CurrentLayer);
  return AddEntity(new TCadLine(start.X, start.Y, end.X, end.Y), CurrentLayer);
}

int32_t TCadDatabase::AddArc(const TIntPoint& start, const TIntPoint& end,
                             const TIntPoint& centre) {
  return AddArcOnLayer(start, end, centre, CurrentLayer);
}

int32_t TCadDatabase::AddArcOnLayer(const TIntPoint& start, const TIntPoint& end,
                                    const TIntPoint& centre, uint8_t layer) {
  return AddEntity(new TCadArc(start.X, start.Y, end.X, end.Y, centre.X, centre.Y), layer);
}

int32_t TCadDatabase::AddCircleThroughPoint(const TIntPoint& centre, const TIntPoint& point) {
  return AddCircleThroughPointOnLayer(centre, point, CurrentLayer);
}

int32_t TCadDatabase::AddCircleThroughPointOnLayer(const TIntPoint& centre,
                                                   const TIntPoint& point, uint8_t layer) {
  return AddEntity(new TCadCircle(centre.X, centre.Y,
                                  IntDistance(centre.X, centre.Y, point.X, point.Y)),
                   layer);
}

int32_t TCadDatabase::AddCircle(int32_t x, int32_t y, int32_t radius) {
  return AddCircleOnLayer(x, y, radius, CurrentLayer);
}

int32_t TCadDatabase::AddCircleOnLayer(int32_t x, int32_t y, int32_t radius, uint8_t layer) {
  return AddEntity(new TCadCircle(x, y, radius), layer);
}

// ---- Queries -----------------------------------------------------------------------------

bool TCadDatabase::LayerIsEmpty(uint8_t layer) {
  if (layer > 29) return true;
  uint32_t bit = CadLayerBit(layer);
  for (int32_t i = 1; i <= CadEntityCount; ++i)
    if (SlotHasBit(EntityArray->GetSlot(i)->Flags, bit)) return false;
  return true;
}

bool TCadDatabase::GetExtents(TIntPoint& min, TIntPoint& max) {
  bool seen = false;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    if (!SlotInMask(slot->Flags, DisplayedLayerMask)) continue;
    TIntPoint a, b;
    static_cast<TCadEntity*>(slot->Entity)->GetExtents(a, b);
    ExtendExtents(min, max, a);
    ExtendExtents(min, max, b);
    seen = true;
  }
  return seen;
}

bool TCadDatabase::ZoomExtents() {
  TIntPoint min{2147483647, 2147483647}, max{-2147483647, -2147483647};
  bool found = GetExtents(min, max);
  if (RoutZoomExtents && RoutZoomExtents(min, max)) found = true;
  if (DrillZoomExtents && DrillZoomExtents(min, max)) found = true;
  if (!found || min.X == 2147483647 || min.Y == 2147483647) return false;
  // A single point or a straight line has no area to fit: zoom to a box of
  // at least the minimum side, centred on it.
  int64_t x1 = min.X, y1 = min.Y, x2 = max.X, y2 = max.Y;
  auto widen = [](int64_t& lo, int64_t& hi) {
    if (hi - lo >= MinimumZoomSide) return;
    int64_t mid = lo + (hi - lo) / 2;
    lo = mid - MinimumZoomSide / 2;
    hi = lo + MinimumZoomSide;
  };
  widen(x1, x2);
  widen(y1, y2);
  ViewServices().ZoomWindow(ClampCompToInt(x1), ClampCompToInt(y1), ClampCompToInt(x2), ClampCompToInt(y2));
  return true;
}

bool TCadDatabase::FindNearestPoint(int32_t x, int32_t y, int32_t h, int32_t& px, int32_t& py) {
  TIntBox box = PickBox(x, y, h);
  int32_t best = NotNear;
  int32_t bx = x, by = y;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    if (!SlotInMask(slot->Flags, DisplayedLayerMask)) continue;
    int32_t cx = bx, cy = by;
    int32_t d = static_cast<TCadEntity*>(slot->Entity)->NearestPoint(box, best, cx, cy, x, y);
    if (d < best) {
      best = d;
      bx = cx;
      by = cy;
    }
  }
  if (best == NotNear) {
    px = x;
    py = y;
    return false;
  }
  px = bx;
  py = by;
  return true;
}

int32_t TCadDatabase::FindLineSlot(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                   uint8_t layer) {
  if (layer > 29) return 0;
  uint32_t mask = CadLayerBit(layer) | SlotDeletedBit;
  for (int32_t i = CadEntityCount; i >= 1; --i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    if (!SlotInMask(slot->Flags, mask) || slot->Entity->GetType() != etCadLine) continue;
    auto* line = static_cast<TCadLine*>(slot->Entity);
    if ((line->X1 == x1 && line->Y1 == y1 && line->X2 == x2 && line->Y2 == y2) ||
        (line->X1 == x2 && line->Y1 == y2 && line->X2 == x1 && line->Y2 == y1))
      return i;
  }
  return 0;
}

TRootEntityHandle* TCadDatabase::FindLineByEnds(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  int32_t index = FindLineSlot(x1, y1, x2, y2, CurrentLayer);
  return index != 0 ? new TCadHandle(index) : nullptr;
}

bool TCadDatabase::SelectInWindow(const TIntPoint& corner1, const TIntPoint& corner2,
                                  bool allActive, uint8_t mode, TRootEntityHandle*& list) {
  TIntBox box = NormalisedBox(corner1, corner2);
  uint32_t mask = SearchMask(allActive);
  list = nullptr;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    if (!SlotInMask(slot->Flags, mask)) continue;
    if (!static_cast<TCadEntity*>(slot->Entity)->InsideWindow(box, mode)) continue;
    auto* h = new TCadHandle(i);
    h->Next = list;
    list = h;
  }
  return list != nullptr;
}

bool TCadDatabase::SelectInWindowForStretch(const TIntPoint& corner1, const TIntPoint& corner2,
                                            uint8_t mode, TRootEntityHandle*& inside,
                                            TRootEntityHandle*& crossing) {
  TIntBox box = NormalisedBox(corner1, corner2);
  inside = crossing = nullptr;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    if (!SlotInMask(slot->Flags, ActiveLayerMask)) continue;
    auto* e = static_cast<TCadEntity*>(slot->Entity);
    if (e->InsideWindow(box, mode)) {
      auto* h = new TCadHandle(i);
      h->Next = inside;
      inside = h;
    }
    if (e->CrossesWindow(box)) {
      auto* h = new TCadStretchHandle(i);
      e->PointsInWindow(box, h->Inside);
      h->Next = crossing;
      crossing = h;
    }
  }
  return inside != nullptr || crossing != nullptr;
}

bool TCadDatabase::PickNearest(int32_t h, int32_t x, int32_t y, bool allActive,
                               TRootEntityHandle*& handle, int32_t& distance) {
  TIntBox box = PickBox(x, y, h);
  int32_t best = NotNear;
  int32_t found = 0;
  uint32_t mask = SearchMask(allActive);
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    if (!SlotInMask(slot->Flags, mask)) continue;
    int32_t d = static_cast<TCadEntity*>(slot->Entity)->DistanceToPoint(box, best, x, y);
    if (d < best) {
      found = i;
      best = d;
    }
  }
  if (found == 0) {
    handle = nullptr;
    distance = NotNear;
    return false;
  }
  handle = new TCadHandle(found);
  distance = best;
  return true;
}

// ---- Replacements --------------------------------------------------------------------------

void TCadDatabase::ReplaceWithLine(TRootEntityHandle* handle, const TRealPoint& a,
                                   const TRealPoint& b, bool eraseFirst) {
  TEntitySlot* slot = handle != nullptr ? SlotAt(handle->Index) : nullptr;
  if (slot == nullptr || CurrentLayer > 29 ||
      !SlotHasBit(slot->Flags, CadLayerBit(CurrentLayer)))
    return;
  if (eraseFirst) EraseEntity(handle->Index);
  MarkDeleted(handle->Index);
  JournalDelete(ActiveUndo, handle->Index);
  AddLine(SaturatingRound(a.X), SaturatingRound(a.Y), SaturatingRound(b.X), SaturatingRound(b.Y));
}

void TCadDatabase::ReplaceEntity(TRootEntityHandle* handle, bool eraseFirst, const TRealPoint& c,
                                 const TRealPoint& p2, const TRealPoint& p3) {
  TEntitySlot* slot = handle != nullptr ? SlotAt(handle->Index) : nullptr;
  if (slot == nullptr || CurrentLayer > 29 ||
      !SlotHasBit(slot->Flags, CadLayerBit(CurrentLayer)))
    return;
  if (eraseFirst) EraseEntity(handle->Index);
  MarkDeleted(handle->Index);
  JournalDelete(ActiveUndo, handle->Index);
  double r1, r2, d, angle;
  RectToPolar(p3.X - c.X, p3.Y - c.Y, r1, angle);
  RectToPolar(p2.X - c.X, p2.Y - c.Y, r2, angle);
  RectToPolar(p3.X - p2.X, p3.Y - p2.Y, d, angle);
  auto round = [](const TRealPoint& p) {
    return TIntPoint{SaturatingRound(p.X), SaturatingRound(p.Y)};
  };
  if (r1 <= 0.001) {
    TIntPoint pc = round(c);
    AddPoint(pc.X, pc.Y);
  } else if (d <= 0.001) {
    TIntPoint pc = round(c);
    AddCircle(pc.X, pc.Y, SaturatingRound((r1 + r2) * 0.5));
  } else {
    AddArc(round(p2), round(p3), round(c));
  }
}

// ---- Statistics ------------------------------------------------------------------------------

TCadStatistics TCadDatabase::CountByType() {
  TCadStatistics s{};
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    uint8_t t = slot->Entity->GetType();
    if (t < 1 || t > 15) continue;
    ++s[SlotDeleted(slot->Flags) ? t : t + 15];
  }
  return s;
}

void TCadDatabase::EstimateMemory(const TCadStatistics& statistics, int32_t& percent,
                                  int32_t& deletedBytes) {
  int64_t deleted = 0, live = 0;
  for (int t = 1; t <= 4; ++t) {
    deleted += int64_t(EntityBytes[t]) * statistics[t];
    live += int64_t(EntityBytes[t]) * statistics[t + 15];
  }
  int64_t total = deleted + live;
  if (total == 0) total = 1;
  deletedBytes = ClampCompToInt(deleted);
  percent = SaturatingRound(double(deleted) / double(total) * 100.0);
}

void TCadDatabase::ShowStatistics(bool partial, const TCadStatistics& before) {
  TCadStatistics after = CountByType();
  TReportConsole w("Drawing Statistics");
  w.SetScreenSize(40, 13);
  w.ClrScr();
  w.WriteLn(partial ? "Statistics after partial cleanup:" : "Statistics after cleanup:");
  w.WriteLn(" ");
  w.WriteLn("Entity Type        before     after");
  w.WriteLn("-----------------------------------");
  auto row = [&](const char* label, int32_t b, int32_t a) {
    w.Write(label);
    w.Write(std::to_string(b));
    w.GotoXY(31, w.WhereY());
    w.WriteLn(std::to_string(a));
  };
  auto deleted = [](const TCadStatistics& s) {
    return s[0] + s[1] + s[2] + s[3] + s[4];
  };
  row("Deleted Entities : ", deleted(before), deleted(after));
  row("          Points : ", before[16], after[16]);
  row("           Lines : ", before[17], after[17]);
  row("            Arcs : ", before[18], after[18]);
  row("         Circles : ", before[19], after[19]);
  w.WriteLn("-----------------------------------");
  auto total = [&](const TCadStatistics& s) { return deleted(s) + s[16] + s[17] + s[18] + s[19]; };
  w.Write("           Total : ");
  w.Write(std::to_string(total(before)));
  w.GotoXY(31, w.WhereY());
  w.Write(std::to_string(total(after)));
  w.ShowModal();
}

// ---- View helpers and drawing ---------------------------------------------------------------

void TCadDatabase::GetViewRects(TRect& source, TRect& target) {
  TViewServices& v = ViewServices();
  target = {0, 0, v.ViewWidth(), v.ViewHeight()};
  double ppi = v.PixelsPerInch();
  TRealPoint tl = v.ViewTopLeft();
  int32_t sx = SaturatingRound((tl.X - v.PictureLeftX()) / UnitsPerInch * ppi);
  int32_t sy = SaturatingRound((v.PictureTopY() - tl.Y) / UnitsPerInch * ppi);
  source = {sx, sy, ClampCompToInt(int64_t(sx) + target.Right), ClampCompToInt(int64_t(sy) + target.Bottom)};
}

void TCadDatabase::CopyPictureToView(const TRect& source, const TRect& target) {
  ViewServices().CopyPictureToView(source, target);
}

void TCadDatabase::DrawAll() {
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    if (SlotInMask(slot->Flags, DisplayedLayerMask)) slot->Entity->Draw(LayerOfBit(slot->Flags));
  }
}

void TCadDatabase::RepaintLayer(uint8_t layer) {
  if (layer > 29) return;
  TDrawingBase& picture = PictureSurface();
  const uint32_t word = CadLayerBit(layer);
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    if (slot->Flags == word && SlotInMask(slot->Flags, DisplayedLayerMask))
      static_cast<TCadEntity*>(slot->Entity)->MarkStale(picture);
  }
}

void TCadDatabase::Redraw() {
  TViewServices& v = ViewServices();
  double ppi = v.PixelsPerInch();
  if (!(ppi > 0.0)) return;
  // The picture's world window, saturated so an extreme zoom-out cannot
  // wrap the edges.
  int32_t left = SaturatingRound(v.PictureLeftX());
  int32_t top = SaturatingRound(v.PictureTopY());
  int32_t right = SaturatingRound(left + v.PictureWidth() / ppi * UnitsPerInch);
  int32_t bottom = SaturatingRound(top - v.PictureHeight() / ppi * UnitsPerInch);
  uint16_t winX = BandMask(left, right);
  uint16_t winY = BandMask(top, bottom);
  if (CadEntityCount < 1) return;

  THourGlassCursor hourglass;
  TRect source, target;
  GetViewRects(source, target);
  bool cadMode = EditorMode == emCad;
  uint32_t currentWord = cadMode && CurrentLayer <= 29 ? CadLayerBit(CurrentLayer) : 0;

  TDrawingBase& picture = v.Picture();
  picture.Dirty = true;
  TCanvas& canvas = v.PictureCanvas();
  uint8_t lastLayer = LayerOfBit(EntityArray->GetSlot(1)->Flags);
  picture.SetColor(cadMode ? LayerColors[lastLayer] : DimColor);
  picture.SetPenStyle(0);

  TProgressiveCopy copy(500, source, target);
  auto inWindow = [&](const TCadEntity* e) { return (e->XMask & winX) && (e->YMask & winY); };

  // Pass 1: every displayed entity except those on the current layer only.
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    if (!SlotInMask(slot->Flags, DisplayedLayerMask) || slot->Flags == currentWord) continue;
    auto* e = static_cast<TCadEntity*>(slot->Entity);
    if (!inWindow(e)) continue;
    if (cadMode) {
      uint8_t layer = LayerOfBit(slot->Flags);
      if (layer != lastLayer) {
        lastLayer = layer;
        picture.SetColor(LayerColors[layer]);
        picture.SetPenStyle(0);
      }
    }
    e->FastDraw(canvas);
    copy.Tick();
  }
  // Pass 2: the current layer on top.
  if (cadMode && currentWord != 0) {
    picture.SetColor(LayerColors[CurrentLayer]);
    picture.SetPenStyle(0);
    for (int32_t i = 1; i <= CadEntityCount; ++i) {
      TEntitySlot* slot = EntityArray->GetSlot(i);
      if (slot->Flags != currentWord || !SlotInMask(slot->Flags, DisplayedLayerMask)) continue;
      auto* e = static_cast<TCadEntity*>(slot->Entity);
      if (!inWindow(e)) continue;
      e->FastDraw(canvas);
      copy.Tick();
    }
  }
  // Pass 3: construction marks.
  if (ConstructionPoints) {
    picture.SetColor(HighlightColor);
    picture.SetPenStyle(0);
    for (int32_t i = 1; i <= CadEntityCount; ++i) {
      TEntitySlot* slot = EntityArray->GetSlot(i);
      if (!SlotInMask(slot->Flags, DisplayedLayerMask)) continue;
      auto* e = static_cast<TCadEntity*>(slot->Entity);
      if (!inWindow(e)) continue;
      e->FastDrawMarks(canvas);
      copy.Tick();
    }
  }
  picture.Dirty = true;
}

void TCadDatabase::CleanUp() {
  if (ModelServices.AutomaticCleanup) ModelServices.AutomaticCleanup();
}
