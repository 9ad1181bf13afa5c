#include "routpath/pocket_rout.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/rout_entities.h"
#include "model/rout_handles.h"
#include "model/tool_tables.h"
#include "model/undo_journal.h"
#include "model/view_services.h"
#include "model/editor_state.h"
#include "platform/events.h"
#include "routpath/endpoint_grid.h"
#include "routpath/hatch_fill.h"
#include "routpath/segment_chainer.h"

namespace {

constexpr const char* kToolTooSmallText =
    "The rout tool is too small to clear a pocket: choose a tool of at least 2 units diameter.";

constexpr const char* kToolTooLargeText = "The rout tool is too large for this pocket.";

double Distance(const TIntPoint& a, const TIntPoint& b) {
  return std::hypot(double(a.X) - b.X, double(a.Y) - b.Y);
}
int64_t TruncDistance(const TIntPoint& a, const TIntPoint& b) {
  return static_cast<int64_t>(Distance(a, b));
}

// Length of an arc of the ring from start to end about centre.
double ArcLength(const TIntPoint& start, const TRingSegment& s) {
  const double r = std::hypot(double(s.X) - s.CX, double(s.Y) - s.CY);
  const double a0 = std::atan2(double(start.Y) - s.CY, double(start.X) - s.CX);
  const double a1 = std::atan2(double(s.Y) - s.CY, double(s.X) - s.CX);
  double sweep = s.Kind == 2 ? a0 - a1 : a1 - a0;
  if (sweep <= 0.0) sweep += 2.0 * M_PI;
  return r * sweep;
}

// Writes chained lines and arcs into the layer.
class TRoutChainer : public TSegmentChainer {
 public:
  TRoutChainer(TRoutWriter& writer, double radius) : TSegmentChainer(radius), Writer(writer) {}

 protected:
  void MoveTo(int32_t x, int32_t y) override { Writer.MoveTo({x, y}); }
  void LineTo(int32_t x, int32_t y) override { Writer.LineTo({x, y}); }
  void ArcToCW(int32_t x, int32_t y, int32_t cx, int32_t cy) override {
    Writer.ArcTo({x, y}, {cx, cy}, true);
  }
  void ArcToCCW(int32_t x, int32_t y, int32_t cx, int32_t cy) override {
    Writer.ArcTo({x, y}, {cx, cy}, false);
  }

 private:
  TRoutWriter& Writer;
};

class TRoutLineChainer : public TLineChainer {
 public:
  TRoutLineChainer(TRoutWriter& writer, int32_t spacing) : TLineChainer(spacing), Writer(writer) {}

 protected:
  void MoveTo(int32_t x, int32_t y) override { Writer.MoveTo({x, y}); }
  void LineTo(int32_t x, int32_t y) override { Writer.LineTo({x, y}); }

 private:
  TRoutWriter& Writer;
};

// Each inside span, its ends moved in by the inset, becomes a pass.
class TPocketPassWriter : public THatchDriver {
 public:
  TPocketPassWriter(TLineChainer& target, int32_t inset) : Target(target), Inset(inset) {}

 protected:
  void EmitPass(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override {
    int64_t lo = std::min(x1, x2), hi = std::max(x1, x2);
    lo += Inset;
    hi -= Inset;
    if (lo < hi) Target.AddLine(int32_t(lo), y1, int32_t(hi), y2);
  }

 private:
  TLineChainer& Target;
  int32_t Inset;
};

// Cleans a ring of doubled cuts and hands what is left to a chainer.
class TRingChainFeeder : public TRingCleaner {
 public:
  explicit TRingChainFeeder(TSegmentChainer& target) : Target(target) {}

 protected:
  void MoveTo(int32_t x, int32_t y) override { Last = {x, y}; }
  void MoveToIndexed(int32_t x, int32_t y, int32_t) override { Last = {x, y}; }
  void LineTo(int32_t x, int32_t y, int32_t) override {
    Target.AddLine(Last.X, Last.Y, x, y);
    Last = {x, y};
  }
  void ArcToCW(int32_t x, int32_t y, int32_t, int32_t cx, int32_t cy) override {
    if (!(x == cx && y == cy)) Target.AddArc(x, y, Last.X, Last.Y, cx, cy);
    Last = {x, y};
  }
  void ArcToCCW(int32_t x, int32_t y, int32_t, int32_t cx, int32_t cy) override {
    if (!(x == cx && y == cy)) Target.AddArc(Last.X, Last.Y, x, y, cx, cy);
    Last = {x, y};
  }

 private:
  TSegmentChainer& Target;
  TIntPoint Last{};
};

void AppendEntity(TContourList& contour, const TProfileEntity& e, int32_t tag) {
  const TIntPoint to = e.To();
  if (!e.IsArc())
    contour.AppendLine(to.X, to.Y, tag);
  else if (e.Reversed)
    contour.AppendArcCW(to.X, to.Y, tag, e.Centre.X, e.Centre.Y);
  else
    contour.AppendArcCCW(to.X, to.Y, tag, e.Centre.X, e.Centre.Y);
}

void CheckCancel(const std::string& text, int32_t done, int32_t total) {
  bool cancelled = false;
  ViewServices().UpdateStatus(text, total > 0 ? int32_t(int64_t(done) * 100 / total) : 0,
                              cancelled);
  ProcessMessages();
  if (cancelled) throw ERoutCancelled();
}

bool LineOrArcOnActiveLayer(int32_t index, TRootDBObject*& entity) {
  TEntitySlot* slot = EntityArray != nullptr ? EntityArray->GetSlot(index) : nullptr;
  if (slot == nullptr || slot->Entity == nullptr || !SlotInMask(slot->Flags, ActiveLayerMask))
    return false;
  const uint8_t t = slot->Entity->GetType();
  entity = slot->Entity;
  return t == etCadLine || t == etCadArc;
}

TProfileEntity ProfileEntityOf(TRootDBObject* o) {
  TProfileEntity e;
  e.Type = o->GetType();
  o->GetPoint(e.P1);
  o->GetSecondPoint(e.P2);
  if (e.Type == etCadArc) o->GetThirdPoint(e.Centre);
  return e;
}

// The islands of a pocket: the circles and closed chains of the active CAD
// layers, not part of the outline, whose first point lies inside it; each
// offset outwards by the tool radius.
std::vector<std::vector<TRingSegment>> IslandRings(const std::vector<int32_t>& outline,
                                                   const THatchPolygon& inside, int32_t radius) {
  std::vector<std::vector<TRingSegment>> rings;
  if (EntityArray == nullptr) return rings;
  std::vector<bool> used(std::size_t(CadEntityCount) + 1, false);
  for (int32_t i : outline)
    if (i >= 1 && i <= CadEntityCount) used[i] = true;
  bool gridBuilt = false;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    if (used[i]) continue;
    TEntitySlot* slot = EntityArray->GetSlot(i);
    if (slot == nullptr || slot->Entity == nullptr || !SlotInMask(slot->Flags, ActiveLayerMask))
      continue;
    TRootDBObject* o = slot->Entity;
    TIntPoint p;
    o->GetPoint(p);
    if (o->GetType() == etCadCircle) {
      if (!inside.Contains(p.X, p.Y + 0.5)) continue;
      TPocketContour c;
      ContourOfCircle(c, p, o->GetRadius());
      std::vector<TRingSegment> ring = c.OffsetRing(c.OutsideSide(), radius);
      if (!ring.empty()) rings.push_back(std::move(ring));
      continue;
    }
    if (o->GetType() != etCadLine && o->GetType() != etCadArc) continue;
    if (!gridBuilt) {
      EndpointGrid.Init(AllActiveCadLayers, LinkTolerance, false);
      EndpointGrid.Build();
      gridBuilt = true;
    }
    TRootEntityHandle* chain = new TCadHandle(i);
    const uint8_t result = EndpointGrid.FollowPath(chain, false);
    std::vector<TProfileEntity> entities;
    for (TRootEntityHandle* h = chain; h != nullptr; h = h->Next) {
      const int32_t index = h->GetIndex();
      if (index >= 1 && index <= CadEntityCount) used[index] = true;
      if (h->GetEntity() != nullptr) entities.push_back(ProfileEntityOf(h->GetEntity()));
    }
    FreeObjectList(chain);
    if (result != fpClosed || entities.size() < 2 || !inside.Contains(p.X, p.Y + 0.5)) continue;
    OrientChain(entities);
    TPocketContour c;
    ContourOfChain(c, entities);
    std::vector<TRingSegment> ring = c.OffsetRing(c.OutsideSide(), radius);
    if (!ring.empty()) rings.push_back(std::move(ring));
  }
  if (gridBuilt) EndpointGrid.Clear();
  return rings;
}

}  // namespace

int32_t CurrentToolDiameter() {
  const uint8_t layer = CurrentLayer;
  if (layer < kFirstRoutLayer || layer > kLastRoutLayer) return 0;
  const TRoutLayerTool& tools = RoutLayerTools[layer];
  if (tools.Tool < 1 || tools.Tool > kToolCount) return 0;
  return RoutToolPages[layer][tools.Tool].Diameter;
}

int32_t CurrentToolRadius() { return CurrentToolDiameter() / 2; }

TPocketSpacing PocketSpacing(int32_t toolRadius, bool milled) {
  TPocketSpacing s;
  if (milled) {
    s.Spacing = SaturatingRound(2.0 * toolRadius * 0.8);
    s.Inset = 0;
  } else {
    // The ends stop one tool radius short of the profile pass: any more
    // would leave uncut slivers between the passes' ends and the profile.
    s.Spacing = SaturatingRound(2.0 * toolRadius);
    s.Inset = toolRadius;
  }
  return s;
}

// ---- Writer --------------------------------------------------------------------------------

void TRoutWriter::MoveTo(const TIntPoint& p) {
  Last_ = p;
  PenUp_ = true;
}

void TRoutWriter::StartPath() {
  Db.AppendJog(Last_);
}

void TRoutWriter::LineTo(const TIntPoint& p) {
  if (PenUp_) {
    StartPath();
    Db.AppendLine(p, 0, ZDepth);
  } else {
    Db.AppendLine(p, 0, NoZOffset);
  }
  PenUp_ = false;
  Last_ = p;
}

void TRoutWriter::ArcTo(const TIntPoint& p, const TIntPoint& centre, bool clockwise) {
  const bool first = PenUp_;
  if (first) StartPath();
  Db.AppendArc(p, centre, 0, first ? ZDepth : NoZOffset, clockwise);
  PenUp_ = false;
  Last_ = p;
}

// ---- Pocket contour ------------------------------------------------------------------------

std::vector<TRingSegment> TPocketContour::OffsetRing(uint8_t side, int32_t radius) {
  Ring_.clear();
  Offset(side, radius, kRoutOffsetResolution);
  std::vector<TRingSegment> ring = std::move(Ring_);
  Ring_.clear();
  if (ring.empty()) return ring;
  if (ring.back().X != Start_.X || ring.back().Y != Start_.Y) {
    TRingSegment close;
    close.Kind = 1;
    close.X = Start_.X;
    close.Y = Start_.Y;
    close.Length = Distance({ring.back().X, ring.back().Y}, Start_);
    ring.push_back(close);
  }
  if (ring.size() < 2) ring.clear();
  return ring;
}

void TPocketContour::MoveTo(int32_t x, int32_t y) {
  Ring_.clear();
  Start_ = At_ = {x, y};
}

void TPocketContour::LineTo(int32_t x, int32_t y, int32_t tag) {
  if (x == At_.X && y == At_.Y) return;
  TRingSegment s;
  s.Kind = 1;
  s.X = x;
  s.Y = y;
  s.Tag = tag;
  s.Length = Distance(At_, {x, y});
  Ring_.push_back(s);
  At_ = {x, y};
}

void TPocketContour::AddArc(uint8_t kind, int32_t x, int32_t y, int32_t tag, int32_t cx,
                            int32_t cy) {
  if (x == At_.X && y == At_.Y) return;
  if (tag == 0 && !Ring_.empty()) {
    TRingSegment& last = Ring_.back();
    if (last.Kind == kind && last.CX == cx && last.CY == cy) {
      const TIntPoint start = Ring_.size() > 1 ? TIntPoint{Ring_[Ring_.size() - 2].X,
                                                           Ring_[Ring_.size() - 2].Y}
                                               : Start_;
      last.X = x;
      last.Y = y;
      last.Length = ArcLength(start, last);
      At_ = {x, y};
      return;
    }
  }
  TRingSegment s;
  s.Kind = kind;
  s.X = x;
  s.Y = y;
  s.Tag = tag;
  s.CX = cx;
  s.CY = cy;
  s.Length = ArcLength(At_, s);
  Ring_.push_back(s);
  At_ = {x, y};
}

void TPocketContour::ArcToCW(int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy) {
  AddArc(2, x, y, tag, cx, cy);
}
void TPocketContour::ArcToCCW(int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy) {
  AddArc(3, x, y, tag, cx, cy);
}

// ---- Chains and contours -------------------------------------------------------------------

void OrientChain(std::vector<TProfileEntity>& chain) {
  if (chain.empty()) return;
  TProfileEntity& e1 = chain.front();
  e1.Reversed = false;
  if (chain.size() > 1) {
    const TProfileEntity& e2 = chain[1];
    const int64_t ff = TruncDistance(e1.P2, e2.P2), fs = TruncDistance(e1.P2, e2.P1);
    const int64_t sf = TruncDistance(e1.P1, e2.P2), ss = TruncDistance(e1.P1, e2.P1);
    const int64_t best = std::min({ff, fs, sf, ss});
    e1.Reversed = best == sf || best == ss;
  }
  TIntPoint last = e1.To();
  for (std::size_t i = 1; i < chain.size(); ++i) {
    TProfileEntity& e = chain[i];
    if (e.P1 == last)
      e.Reversed = false;
    else if (e.P2 == last)
      e.Reversed = true;
    else
      e.Reversed = TruncDistance(last, e.P1) > TruncDistance(last, e.P2);
    last = e.To();
  }
}

void ContourOfChain(TContourList& contour, std::vector<TProfileEntity> chain) {
  contour.Clear();
  if (chain.empty()) return;
  // Joints that do not meet exactly meet at their midpoint.
  auto setFrom = [](TProfileEntity& e, const TIntPoint& p) { (e.Reversed ? e.P2 : e.P1) = p; };
  auto setTo = [](TProfileEntity& e, const TIntPoint& p) { (e.Reversed ? e.P1 : e.P2) = p; };
  for (std::size_t i = 0; i < chain.size(); ++i) {
    TProfileEntity& a = chain[i];
    TProfileEntity& b = chain[(i + 1) % chain.size()];
    if (&a == &b || a.To() == b.From()) continue;
    const TIntPoint m{int32_t((int64_t(a.To().X) + b.From().X) / 2),
                      int32_t((int64_t(a.To().Y) + b.From().Y) / 2)};
    setTo(a, m);
    setFrom(b, m);
  }
  const TIntPoint s = chain.front().From();
  contour.Start(s.X, s.Y);
  for (std::size_t i = 0; i < chain.size(); ++i) AppendEntity(contour, chain[i], int32_t(i + 1));
  contour.Close();
}

void ContourOfCircle(TContourList& contour, const TIntPoint& centre, int32_t radius) {
  const TIntPoint a{int32_t(int64_t(centre.X) + radius), centre.Y};
  const TIntPoint b{int32_t(int64_t(centre.X) - radius), centre.Y};
  contour.Start(a.X, a.Y);
  contour.AppendArcCCW(b.X, b.Y, 1, centre.X, centre.Y);
  contour.AppendArcCCW(a.X, a.Y, 1, centre.X, centre.Y);
  contour.Close();
}

void WriteRing(TRoutWriter& writer, const std::vector<TRingSegment>& ring) {
  if (ring.size() < 2) return;
  TIntPoint at{ring.back().X, ring.back().Y};
  writer.MoveTo(at);
  for (const TRingSegment& s : ring) {
    const TIntPoint p{s.X, s.Y};
    if (s.Kind == 0 && p == at) continue;
    if (s.Kind == 1) {
      writer.LineTo(p);
    } else if ((s.Kind == 2 || s.Kind == 3) && s.Length != 0.0) {
      if (p.X == s.CX && p.Y == s.CY) {
        writer.MoveTo(p);
      } else {
        int32_t cx = s.CX, cy = s.CY;
        AdjustArcCentre(at.X, at.Y, p.X, p.Y, cx, cy);
        writer.ArcTo(p, {cx, cy}, s.Kind == 2);
      }
    } else {
      writer.MoveTo(p);
    }
    at = p;
  }
}

// ---- Settings scope ------------------------------------------------------------------------

TRoutSettingsScope::TRoutSettingsScope(TRoutDatabase& rtdb, uint8_t workingCompensation)
    : Db(rtdb), Compensation(rtdb.AutoRoutCompensation), AutoRout(rtdb.AutoRout),
      Inline(rtdb.FullPanelInline) {
  rtdb.AutoRoutCompensation = workingCompensation;
}

TRoutSettingsScope::~TRoutSettingsScope() {
  if (!Committed) {
    Db.AutoRout = AutoRout;
    Db.FullPanelInline = Inline;
  }
  // The tool buttons were never pressed for the working mode, so they still
  // show this one.
  Db.AutoRoutCompensation = Compensation;
}

// ---- Pocket rout ---------------------------------------------------------------------------

void PocketRout(TRoutDatabase& rtdb, bool milled, TRootEntityHandle* path, bool quiet,
                int32_t zDepth) {
  std::vector<TProfileEntity> chain;
  std::vector<int32_t> indices;
  for (TRootEntityHandle* h = path; h != nullptr; h = h->Next) {
    TRootDBObject* o = h->GetEntity();
    if (o == nullptr || (o->GetType() != etCadLine && o->GetType() != etCadArc)) continue;
    chain.push_back(ProfileEntityOf(o));
    indices.push_back(h->GetIndex());
  }
  const int32_t radius = CurrentToolRadius();
  const TPocketSpacing spacing = PocketSpacing(radius, milled);
  if (spacing.Spacing < 1)
    throw EHatchFill(kToolTooSmallText);
  if (chain.size() < 2) return;
  TRoutSettingsScope settings(rtdb);
  TGenerationGuard guard(rtdb);
  OrientChain(chain);
  TPocketContour contour;
  ContourOfChain(contour, chain);
  if (!contour.Closed()) return;
  THatchPolygon outline(kPocketChordTolerance, 1);
  outline.AddVertex(chain.front().From().X, chain.front().From().Y);
  for (const TProfileEntity& e : chain) {
    if (e.IsArc())
      outline.AddArc(e.To().X, e.To().Y, e.Centre.X, e.Centre.Y, e.Reversed);
    else
      outline.AddVertex(e.To().X, e.To().Y);
  }
  outline.Close();
  // The pocket is cleared inward whichever way the outline runs. A pocket
  // narrower than the tool has no inward offset: its ring would turn
  // inside out and cut beyond the outline.
  std::vector<TRingSegment> ring = contour.OffsetRing(contour.InsideSide(), radius);
  bool fits = !ring.empty();
  double area = 0.0;
  for (std::size_t i = 0; i < ring.size(); ++i) {
    const TRingSegment& a = ring[(i + ring.size() - 1) % ring.size()];
    const TRingSegment& b = ring[i];
    area += double(a.X) * b.Y - double(b.X) * a.Y;
    fits = fits && outline.Contains(b.X, b.Y);
  }
  fits = fits && (area > 0.0) == (contour.SignedArea2() > 0.0);
  if (!fits) throw std::runtime_error(kToolTooLargeText);
  std::vector<std::vector<TRingSegment>> rings{ring};
  for (auto& island : IslandRings(indices, outline, radius)) rings.push_back(std::move(island));
  TRoutWriter writer(rtdb, milled ? zDepth : NoZOffset);
  TRoutLineChainer passes(writer, spacing.Spacing);
  {
    TPocketPassWriter fill(passes, spacing.Inset);
    fill.Fill(rings, spacing.Spacing, kPocketChordTolerance);
  }
  const int32_t before = RoutEntityCount;
  passes.Process();
  for (const auto& r : rings) WriteRing(writer, r);
  guard.Commit();
  settings.Commit();
  if (!quiet && RoutUndo != nullptr && RoutEntityCount > before)
    RoutUndo->BeginOperation(milled ? "Milled Pocket Rout" : "Pocket Rout");
  rtdb.Redraw(1);
  ViewServices().UpdateView();
}

// ---- Full-panel rout -----------------------------------------------------------------------

bool FullPanelAutoRout(TRoutDatabase& rtdb, bool pocketDusting) {
  if (EntityArray == nullptr) return false;
  const int32_t radius = CurrentToolRadius();
  const TPocketSpacing spacing = PocketSpacing(radius, false);
  TRoutSettingsScope settings(rtdb);
  TGenerationGuard guard(rtdb);
  TStatusBracket status("Auto Web Rout");
  const int32_t firstNew = RoutEntityCount + 1;
  TRoutWriter writer(rtdb, NoZOffset);
  TRoutChainer outlines(writer, radius);
  TRoutLineChainer passes(writer, spacing.Spacing);

  // End points are matched exactly.
  auto key = [](const TIntPoint& p) {
    return (uint64_t(uint32_t(p.X)) << 32) | uint32_t(p.Y);
  };
  std::unordered_multimap<uint64_t, int32_t> ends;
  const int32_t count = CadEntityCount;
  std::vector<TProfileEntity> entities(std::size_t(count) + 1);
  std::vector<bool> candidate(std::size_t(count) + 1, false), used(std::size_t(count) + 1, false);
  for (int32_t i = 1; i <= count; ++i) {
    TRootDBObject* o = nullptr;
    if (!LineOrArcOnActiveLayer(i, o)) continue;
    candidate[i] = true;
    entities[i] = ProfileEntityOf(o);
    ends.emplace(key(entities[i].P1), i);
    if (entities[i].P2 != entities[i].P1) ends.emplace(key(entities[i].P2), i);
  }
  for (int32_t i = 1; i <= count; ++i) {
    if (!candidate[i] || used[i]) continue;
    if (i % 200 == 0) CheckCancel("Auto Web Rout", i, count);
    used[i] = true;
    std::vector<TProfileEntity> chain{entities[i]};
    const TIntPoint s = entities[i].P1;
    TIntPoint cur = entities[i].P2;
    while (!(cur == s)) {
      bool found = false;
      auto [lo, hi] = ends.equal_range(key(cur));
      for (auto it = lo; it != hi; ++it) {
        const int32_t j = it->second;
        if (used[j]) continue;
        TProfileEntity e = entities[j];
        if (e.P1 == cur) {
          e.Reversed = false;
        } else if (e.P2 == cur) {
          e.Reversed = true;
        } else {
          continue;
        }
        used[j] = true;
        chain.push_back(e);
        cur = e.To();
        found = true;
        break;
      }
      if (!found) break;
    }
    if (!(cur == s) || chain.size() < 2) continue;
    TPocketContour contour;
    contour.Start(s.X, s.Y);
    for (std::size_t k = 0; k < chain.size(); ++k) AppendEntity(contour, chain[k], int32_t(k + 1));
    contour.Close();
    const std::vector<TRingSegment> ring = contour.OffsetRing(contour.OutsideSide(), radius);
    if (ring.empty()) continue;
    if (pocketDusting) {
      if (spacing.Spacing < 1) throw EHatchFill(kToolTooSmallText);
      TPocketPassWriter fill(passes, spacing.Inset);
      fill.Fill(ring, spacing.Spacing, kPocketChordTolerance);
    }
    TRingChainFeeder feeder(outlines);
    feeder.Run(ring);
  }
  if (pocketDusting) passes.Process();
  outlines.Process();
  status.Close();
  const bool written = RoutEntityCount >= firstNew;
  guard.Commit();
  settings.Commit();
  if (written && RoutUndo != nullptr) RoutUndo->BeginOperation("Full Panel AutoRout");
  rtdb.Redraw(1);
  ViewServices().UpdateView();
  return written;
}
