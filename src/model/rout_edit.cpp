#include "model/rout_edit.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>

// ---- Angles --------------------------------------------------------------------------------

double NormalizeDegrees(double angle) {
  if (!std::isfinite(angle)) return 0.0;
  double a = std::fmod(angle, 360.0);  // exact, sign of the angle
  if (a < 0.0) a += 360.0;
  if (a >= 360.0) a -= 360.0;  // a tiny negative remainder rounds up to 360
  return a;
}

namespace {
// 90 times the whole quadrants below the normalised angle.
double QuadrantFloor(double a) { return 90.0 * std::trunc(a * (1.0 / 90.0)); }
}  // namespace

double NextQuadrantAngle(double angle) {
  const double a = NormalizeDegrees(angle);
  double q = QuadrantFloor(a);
  if (q != a) q += 90.0;
  return std::round(NormalizeDegrees(q));
}

double PreviousQuadrantAngle(double angle) {
  const double a = NormalizeDegrees(angle);
  double q = QuadrantFloor(a);
  if (q == a) q -= 90.0;
  return std::round(NormalizeDegrees(q));
}

std::vector<double> ArcPieceAngles(double a0, double a1, bool clockwise, bool quadrantCut) {
  std::vector<double> ends;
  if (!std::isfinite(a0) || !std::isfinite(a1)) return ends;
  a0 = NormalizeDegrees(a0);
  a1 = NormalizeDegrees(a1);
  const double sweep = clockwise ? NormalizeDegrees(a0 - a1) : NormalizeDegrees(a1 - a0);
  if (quadrantCut) {
    // Quadrant angles strictly inside the sweep, in the order of travel. A
    // quadrant angle equal to the start would give a piece of no length,
    // which surfaces and machines read as a full circle.
    std::vector<std::pair<double, double>> inside;  // (distance along the sweep, angle)
    for (double q : {0.0, 90.0, 180.0, 270.0}) {
      const double along = clockwise ? NormalizeDegrees(a0 - q) : NormalizeDegrees(q - a0);
      if (along > 0.0 && along < sweep) inside.emplace_back(along, q);
    }
    std::sort(inside.begin(), inside.end());
    for (const auto& [along, q] : inside) ends.push_back(q);
    return ends;
  }
  const int32_t n = static_cast<int32_t>(std::trunc(sweep / kMaxArcPieceSweep)) + 1;
  const double step = (clockwise ? -sweep : sweep) / n;
  for (int32_t k = 1; k < n; ++k) ends.push_back(a0 + k * step);
  return ends;
}

void ArcChordSteps(const TRealPoint& centre, const TRealPoint& start, const TRealPoint& end,
                   double tolerance, int32_t& steps, double& angle) {
  const double r = std::hypot(start.X - centre.X, start.Y - centre.Y);
  double sweep = 360.0;
  if (!(start == end)) {
    const double a0 = std::atan2(start.Y - centre.Y, start.X - centre.X) * 180.0 / M_PI;
    const double a1 = std::atan2(end.Y - centre.Y, end.X - centre.X) * 180.0 / M_PI;
    sweep = NormalizeDegrees(a1 - a0);
    if (sweep == 0.0) sweep = 360.0;
  }
  steps = 1;
  if (std::isfinite(r) && std::isfinite(tolerance) && tolerance > 0.0 && tolerance < r) {
    const double maxStep = 2.0 * std::acos(1.0 - tolerance / r) * 180.0 / M_PI;
    const double n = std::ceil(sweep / maxStep);
    steps = static_cast<int32_t>(std::clamp(n, 1.0, 10000.0));
  }
  angle = sweep / steps;
}

// ---- Window-side services -----------------------------------------------------------------------

int32_t LocateEntity = 0;
int32_t LocateEntityLine = 1;

void THeadlessRoutEditServices::SetPromptLine(int32_t column, int32_t line,
                                              const std::string& text) {
  if (line < 1 || line > 3 || column < 1) return;
  std::string& s = Prompts[line - 1];
  std::string t = text;
  if (!t.empty() && t.back() == '>') t += ' ';
  const std::size_t at = static_cast<std::size_t>(column - 1);
  if (s.size() < at) s.resize(at, ' ');
  s = s.substr(0, at) + t;
  if (s.size() > 256) s.resize(256);
}

std::string THeadlessRoutEditServices::SaveRoutLayerToScratch(uint8_t) { return {}; }

bool THeadlessRoutEditServices::RunTextEditor(const std::string& fileName, int32_t) {
  Edited.push_back(fileName);
  return false;
}

namespace {
TRoutEditServices* InstalledServices = nullptr;
}

THeadlessRoutEditServices& HeadlessRoutEditServices() {
  // Never destroyed: a rout database that outlives the statics (one a
  // static object owns) still ends its single step through it.
  static auto* services = new THeadlessRoutEditServices();
  return *services;
}

TRoutEditServices* SetRoutEditServices(TRoutEditServices* services) {
  TRoutEditServices* old = InstalledServices;
  InstalledServices = services;
  return old;
}

TRoutEditServices& RoutEditServices() {
  return InstalledServices != nullptr ? *InstalledServices : HeadlessRoutEditServices();
}

// ================================================================================================
// The creating operations and single-step play of the rout database.

#include "foundation/display_units.h"
#include "foundation/file_utils.h"
#include "foundation/geometry_matrix.h"
#include "foundation/settings.h"
#include "model/model_services.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/view_services.h"
#include "platform/paths.h"

namespace {

TIntPoint LastPoint(const TRoutPathState& s) { return {s.LastX, s.LastY}; }

// The tool buttons single-step play enables while it runs.
constexpr int32_t kPlayButtons[] = {PlayNextCutCommand, PlayNextPathCommand, PlayBackCutCommand,
                                     PlayBackPathCommand};

}  // namespace

template <class TMake>
int32_t TRoutDatabase::CreateEntity(uint8_t layer, TMake make, bool keepInsertPoint) {
  if (!IsRoutLayer(layer) || RoutEntities == nullptr || Seq == nullptr) return 0;
  TEntitySlot* slot = RoutEntities->AddSlot(RoutEntityCount);
  if (slot == nullptr) return 0;
  const int32_t handle = RoutEntityCount;
  // The sequence is asked first so that a full list leaves no journal record
  // and no slot behind.
  const bool inserted = keepInsertPoint ? Seq->InsertHandleKeepPoint(layer, handle)
                                        : Seq->InsertHandle(layer, handle);
  if (!inserted) {
    --RoutEntityCount;
    RoutEntities->SetCount(RoutEntityCount);
    return 0;
  }
  if (RoutUndo != nullptr) RoutUndo->RecordAdd(handle);
  slot->Flags = NCLayerBit(layer);
  slot->Entity = make(layer);
  return handle;
}

// ---- Layer-addressed adds -------------------------------------------------------------------

int32_t TRoutDatabase::AddHole(const TIntPoint& point, uint8_t layer, int32_t tool) {
  return CreateEntity(layer, [&](uint8_t l) { return new TRoutHole(point, tool, l); });
}

int32_t TRoutDatabase::AddJog(const TIntPoint& point, uint8_t layer, uint8_t compSide,
                              int32_t tool, int32_t compIndex) {
  return CreateEntity(layer,
                      [&](uint8_t l) { return new TRoutJog(point, compSide, tool, compIndex, l); });
}

int32_t TRoutDatabase::AddLine(const TIntPoint& point, uint8_t layer, uint16_t feed,
                               int32_t zOffset) {
  return CreateEntity(layer, [&](uint8_t l) { return new TRoutLine(point, feed, zOffset, l); });
}

int32_t TRoutDatabase::AddArc(const TIntPoint& end, uint8_t layer, uint16_t feed, bool clockwise,
                              const TIntPoint& centre, int32_t zOffset) {
  const uint8_t type = clockwise ? etRoutArcReverse : etRoutArc;
  return CreateEntity(
      layer, [&](uint8_t l) { return new TRoutArc(type, feed, zOffset, end, centre, l); });
}

int32_t TRoutDatabase::AddCircle(const TIntPoint& centre, uint8_t layer, int32_t tool,
                                 uint16_t feed, int32_t compIndex, int32_t radius, bool g32,
                                 int32_t zOffset) {
  return CreateEntity(layer, [&](uint8_t l) {
    return new TRoutCircle(centre, feed, zOffset, tool, radius, compIndex, g32, l);
  });
}

// ---- Current-layer path primitives ------------------------------------------------------------

void TRoutDatabase::AppendJog(const TIntPoint& point) {
  const uint8_t l = CurrentLayer;
  if (!IsRoutLayer(l) || Seq == nullptr) return;
  JogAppended = 1;
  TRoutPathState& s = PathState[l];
  const TIntPoint old = LastPoint(s);
  s.LastX = point.X;
  s.LastY = point.Y;
  const TRoutLayerTool& tools = RoutLayerTools[l];
  if (point == old && s.Tool == tools.Tool && s.CompIndex == tools.CompIndex &&
      !Seq->AtLayerStart(l))
    return;
  s.Tool = tools.Tool;
  s.CompIndex = tools.CompIndex;
  const uint8_t side = AutoRoutCompensation;
  CreateEntity(l, [&](uint8_t layer) {
    return new TRoutJog(point, side, tools.Tool, tools.CompIndex, layer);
  });
}

void TRoutDatabase::AppendJogComp(TRootEntityHandle* entity, uint8_t end) {
  if (entity == nullptr || entity->GetEntity() == nullptr) return;
  TIntPoint p;
  if (end == 0) entity->GetEntity()->GetPoint(p); else entity->GetEntity()->GetSecondPoint(p);
  AppendJog(p);
}

void TRoutDatabase::AppendLineOn(uint8_t l, const TIntPoint& end, uint16_t feed,
                                 int32_t zOffset) {
  if (!IsRoutLayer(l) || Seq == nullptr) return;
  TRoutPathState& s = PathState[l];
  if (end == LastPoint(s) && !Seq->AtLayerStart(l)) return;  // no line of no length
  const int32_t h =
      CreateEntity(l, [&](uint8_t layer) { return new TRoutLine(end, feed, zOffset, layer); });
  if (h == 0) return;
  Seq->SeekHandle(h);
  Seq->PrevPathEntity(l);
  s.LastX = end.X;
  s.LastY = end.Y;
}

void TRoutDatabase::AppendLine(const TIntPoint& end, uint16_t feed, int32_t zOffset) {
  AppendLineOn(CurrentLayer, end, feed, zOffset);
}

void TRoutDatabase::InsertLineOn(uint8_t l, const TIntPoint& end, uint16_t feed,
                                 int32_t zOffset) {
  if (!IsRoutLayer(l) || Seq == nullptr) return;
  // A line needs a path entity to start from; the test comes before any
  // record so that the journal, the sequence and the store stay in step.
  if (Seq->AtLayerStart(l)) return;
  const TRoutPathState saved = PathState[l];
  if (end == LastPoint(saved)) return;
  CreateEntity(
      l, [&](uint8_t layer) { return new TRoutLine(end, feed, zOffset, layer); }, true);
  PathState[l].LastX = saved.LastX;
  PathState[l].LastY = saved.LastY;
}

void TRoutDatabase::InsertLine(const TIntPoint& end, uint16_t feed, int32_t zOffset) {
  InsertLineOn(CurrentLayer, end, feed, zOffset);
}

void TRoutDatabase::AppendArc(const TIntPoint& end, const TIntPoint& centre, uint16_t feed,
                              int32_t zOffset, bool clockwise) {
  const uint8_t l = CurrentLayer;
  if (!IsRoutLayer(l) || Seq == nullptr) return;
  TRoutPathState& s = PathState[l];
  const TIntPoint start = LastPoint(s);
  if (end == start && !Seq->AtLayerStart(l)) return;
  double r0, a0, r, a1;
  RectToPolar(double(start.X) - centre.X, double(start.Y) - centre.Y, r0, a0);
  RectToPolar(double(end.X) - centre.X, double(end.Y) - centre.Y, r, a1);
  const bool quadrants = !RoutOutputFormat.IJSigned && RoutOutputFormat.IJMode;
  const uint8_t type = clockwise ? etRoutArcReverse : etRoutArc;
  auto piece = [&](const TIntPoint& p) {
    const int32_t h = CreateEntity(
        l, [&](uint8_t layer) { return new TRoutArc(type, feed, zOffset, p, centre, layer); });
    if (h == 0) return;
    Seq->SeekHandle(h);
    Seq->PrevPathEntity(l);
    s.LastX = p.X;
    s.LastY = p.Y;
  };
  for (double angle : ArcPieceAngles(a0, a1, clockwise, quadrants)) {
    double dx, dy;
    PolarToRect(r, angle, dx, dy);
    const TIntPoint p{SaturatingRound(centre.X + dx), SaturatingRound(centre.Y + dy)};
    // A piece that rounds onto its own start would read as a full circle.
    if (p == LastPoint(s) || p == end) continue;
    piece(p);
  }
  piece(end);
  s.LastX = end.X;
  s.LastY = end.Y;
}

void TRoutDatabase::AppendRealArc(const TRealPoint& centre, const TRealPoint& start,
                                  const TRealPoint& end, bool clockwise, uint16_t feed,
                                  int32_t zOffset) {
  int32_t steps = 1;
  double angle = 0.0;
  if (clockwise) {
    ArcChordSteps(centre, end, start, kRoutChordTolerance, steps, angle);
    angle = -angle;
  } else {
    ArcChordSteps(centre, start, end, kRoutChordTolerance, steps, angle);
  }
  double x = start.X - centre.X, y = start.Y - centre.Y;
  for (int32_t k = 1; k < steps; ++k) {
    RotatePoint(x, y, angle);
    AppendLine({SaturatingRound(centre.X + x), SaturatingRound(centre.Y + y)}, feed, zOffset);
  }
  AppendLine({SaturatingRound(end.X), SaturatingRound(end.Y)}, feed, zOffset);
}

void TRoutDatabase::AddCircleAndDraw(const TIntPoint& centre, const TIntPoint& onCircle,
                                     uint16_t feed) {
  const uint8_t l = CurrentLayer;
  const int32_t radius =
      SaturatingRound(std::hypot(double(onCircle.X) - centre.X, double(onCircle.Y) - centre.Y));
  if (!IsRoutLayer(l)) return;
  const TRoutLayerTool tools = RoutLayerTools[l];
  const bool g32 = AutoRoutCompensation != 1;
  const int32_t h = CreateEntity(l, [&](uint8_t layer) {
    return new TRoutCircle(centre, feed, NoZOffset, tools.Tool, radius, tools.CompIndex, g32,
                           layer);
  });
  RedrawAfterAdd(h, h != 0);
}

void TRoutDatabase::AddHoleAndDraw(const TIntPoint& point) {
  const uint8_t l = CurrentLayer;
  if (!IsRoutLayer(l)) return;
  const int32_t tool = RoutLayerTools[l].Tool;
  const int32_t h = CreateEntity(l, [&](uint8_t layer) { return new TRoutHole(point, tool, layer); });
  RedrawAfterAdd(h, h != 0);
}

int32_t TRoutDatabase::AddCommand(const TIntPoint& point, const std::string& text,
                                  uint8_t holdOff) {
  return CreateEntity(CurrentLayer,
                      [&](uint8_t l) { return new TRoutCommand(l, point, text, holdOff); });
}

// An entity has no picture until the layer's display is rebuilt, so the
// step copies are rebuilt before the layer is drawn from the entity on.
void TRoutDatabase::RedrawAfterAdd(int32_t from, bool redraw) {
  if (!redraw || !IsRoutLayer(CurrentLayer)) return;
  DrawStepRepeats(CurrentLayer);
  DrawFrom(from);
}

void TRoutDatabase::AddLineSegment(const TIntPoint& first, const TIntPoint& second, bool redraw,
                                   int32_t zOffset, uint16_t feed) {
  if (!IsRoutLayer(CurrentLayer) || Seq == nullptr) return;
  // Before anything is added: the entity before the insertion point, or the
  // handle the first new entity will get.
  const int32_t from = redraw ? Seq->EntityBeforeInsert(CurrentLayer) : 0;
  AppendJog(first);
  AppendLine(second, feed, zOffset);
  RedrawAfterAdd(from, redraw);
}

int32_t TRoutDatabase::InsertSegmentBegin(int32_t& next) {
  const uint8_t l = CurrentLayer;
  const int32_t before = Seq->EntityBeforeInsert(l);
  next = 0;
  if (TRoutEntity* e = EntityAt(before)) {
    if (DrawingEnabled) e->Erase();
    const uint8_t el = Seq->LayerOf(before);
    Seq->SeekHandle(before);
    next = Seq->NextPathEntity(el);
    if (next == before) next = Seq->NextPathEntity(el);
  }
  return before;
}

void TRoutDatabase::InsertSegmentEnd(int32_t before, int32_t next, bool redraw) {
  if (TRoutEntity* n = EntityAt(next)) {
    if (DrawingEnabled) n->Erase();
    if (IsArcType(n->GetType())) {
      // The arc now starts elsewhere: it becomes a line to its end point.
      DeleteEntity(next);
      if (RoutUndo != nullptr) RoutUndo->RecordDelete(next);
      TIntPoint end;
      n->GetPoint(end);
      InsertLine(end, 0, NoZOffset);
    }
  }
  RedrawAfterAdd(before, redraw);
}

void TRoutDatabase::InsertLineSegment(const TIntPoint& end, bool redraw, uint16_t feed,
                                      int32_t zOffset) {
  if (!IsRoutLayer(CurrentLayer) || Seq == nullptr) return;
  int32_t next;
  const int32_t before = InsertSegmentBegin(next);
  AppendLine(end, feed, zOffset);
  InsertSegmentEnd(before, next, redraw);
}

namespace {
bool RealArcRadius(const TIntPoint& end, const TIntPoint& centre) {
  const double r = std::hypot(double(end.X) - centre.X, double(end.Y) - centre.Y);
  return r <= ArcLengthParameter() * 25400000.0;
}
TRealPoint Real(const TIntPoint& p) { return {double(p.X), double(p.Y)}; }
void ReleaseButton(int32_t command) {
  if (ModelServices.ReleaseButton) ModelServices.ReleaseButton(command);
}
void DisableButton(int32_t command) {
  if (ModelServices.DisableButton) ModelServices.DisableButton(command);
}
}  // namespace

void TRoutDatabase::AddArcSegment(const TIntPoint& start, bool redraw, const TIntPoint& end,
                                  bool clockwise, uint16_t feed, int32_t zOffset,
                                  const TIntPoint& centre) {
  if (!IsRoutLayer(CurrentLayer) || Seq == nullptr) return;
  if (!RealArcRadius(end, centre)) {
    AddArcChords(start, end, centre, clockwise, feed, zOffset);
    return;
  }
  const int32_t from = redraw ? Seq->EntityBeforeInsert(CurrentLayer) : 0;
  AppendJog(start);
  AppendArc(end, centre, feed, zOffset, clockwise);
  RedrawAfterAdd(from, redraw);
}

void TRoutDatabase::AddArcChords(const TIntPoint& start, const TIntPoint& end,
                                 const TIntPoint& centre, bool clockwise, uint16_t feed,
                                 int32_t zOffset) {
  if (!IsRoutLayer(CurrentLayer) || Seq == nullptr) return;
  const int32_t from = Seq->EntityBeforeInsert(CurrentLayer);
  AppendJog(start);
  AppendRealArc(Real(centre), Real(start), Real(end), clockwise, feed, zOffset);
  RedrawAfterAdd(from, true);
}

void TRoutDatabase::InsertArcChords(const TIntPoint& end, const TIntPoint& centre,
                                    bool clockwise, uint16_t feed, int32_t zOffset) {
  if (!IsRoutLayer(CurrentLayer) || Seq == nullptr) return;
  int32_t next;
  const int32_t before = InsertSegmentBegin(next);
  const TIntPoint start = LastPoint(PathState[CurrentLayer]);
  AppendRealArc(Real(centre), Real(start), Real(end), clockwise, feed, zOffset);
  InsertSegmentEnd(before, next, true);
}

void TRoutDatabase::InsertArcSegment(const TIntPoint& end, const TIntPoint& centre,
                                     bool clockwise, uint16_t feed, int32_t zOffset,
                                     bool redraw) {
  if (!IsRoutLayer(CurrentLayer) || Seq == nullptr) return;
  if (!RealArcRadius(end, centre)) {
    InsertArcChords(end, centre, clockwise, feed, zOffset);
    return;
  }
  int32_t next;
  const int32_t before = InsertSegmentBegin(next);
  AppendArc(end, centre, feed, zOffset, clockwise);
  InsertSegmentEnd(before, next, redraw);
}

// ---- Single-step play ------------------------------------------------------------------------

std::vector<TPlayNode> TRoutDatabase::BuildPlayList(uint8_t layer) {
  std::vector<TPlayNode> nodes;
  if (Seq == nullptr || !IsRoutLayer(layer)) return nodes;
  TStepObject* groupStep = nullptr;
  int32_t groupCopies = 1;
  std::size_t groupBegin = 0;
  bool groupOpen = false;
  auto closeGroup = [&]() {
    if (groupOpen && groupStep != nullptr && groupCopies >= 2) {
      const std::size_t groupEnd = nodes.size();
      for (int32_t copy = 2; copy <= groupCopies; ++copy)
        for (std::size_t k = groupBegin; k < groupEnd; ++k) {
          TPlayNode n = nodes[k];
          n.CopyNumber = copy;
          nodes.push_back(n);
        }
    }
    groupOpen = false;
  };
  Seq->SetReadCursor(layer, 1);
  bool pathStart = true;
  for (int32_t h = Seq->NextPathEntity(layer); h != 0; h = Seq->NextPathEntity(layer)) {
    TRoutEntity* e = EntityAt(h);
    if (e == nullptr) continue;
    const uint8_t t = e->GetType();
    if (t == etRoutJog || t == etRoutCircle) {
      TStepObject* step = e->GetStepObj();
      if (!groupOpen || step != groupStep) {
        closeGroup();
        groupStep = step;
        groupCopies = e->CopyCount();
        groupBegin = nodes.size();
        groupOpen = true;
      }
      pathStart = true;
    } else if (!groupOpen) {
      groupStep = nullptr;
      groupBegin = nodes.size();
      groupOpen = true;
    }
    nodes.push_back({h, pathStart, 1});
    pathStart = false;
  }
  closeGroup();
  return nodes;
}

bool TRoutDatabase::DrawPlayNode(const TPlayNode& node) {
  TRoutEntity* e = EntityAt(node.Handle);
  return e != nullptr && e->DrawStep(node.CopyNumber);
}

bool TRoutDatabase::UndrawPlayNode(const TPlayNode& node) {
  TRoutEntity* e = EntityAt(node.Handle);
  if (e == nullptr) return false;
  e->UndrawStep(node.CopyNumber);
  return e->Shadow != nullptr && e->CopyCount() >= node.CopyNumber;
}

void TRoutDatabase::StartSingleStep() {
  TViewServices& view = ViewServices();
  if (view.Activity() == 1) return;
  TRoutEditServices& services = RoutEditServices();
  services.SavePrompts(SavedPrompt);
  services.SetPromptLine(1, 1, "Single Step Mode.  Press left mouse button to advance,");
  services.SetPromptLine(1, 2, "right mouse button to escape, 'E' to Edit, 'A' to animate.");
  services.SetPromptLine(1, 3, "Command >");
  for (int32_t c : kPlayButtons) ReleaseButton(c);
  DrawAllStepRepeats(0);
  PlayList = BuildPlayList(CurrentLayer);
  if (PlayList.empty()) {
    // Nothing to play: the prompt and the buttons go back at once.
    services.RestorePrompts(SavedPrompt);
    for (int32_t c : kPlayButtons) DisableButton(c);
    return;
  }
  SingleStepActive = 1;
  view.SetActivity(1);
  // The layer's path entities disappear; play draws them one by one.
  Seq->SetReadCursor(CurrentLayer, 1);
  for (int32_t h = Seq->NextPathEntity(CurrentLayer); h != 0;
       h = Seq->NextPathEntity(CurrentLayer))
    if (TRoutEntity* e = EntityAt(h)) e->Erase();
  Seq->RewindAll();
  PlayedLayer = CurrentLayer;
  PlayCursor = 0;
  view.UpdateView();
  if (!DrawPlayNode(PlayList[0])) StepForward();
}

void TRoutDatabase::StepForward() {
  if (!SingleStepActive) return;
  if (PlayedLayer != CurrentLayer) {
    EndSingleStep();
    return;
  }
  for (;;) {
    if (PlayCursor + 1 >= static_cast<int32_t>(PlayList.size())) {
      EndSingleStep();
      return;
    }
    ++PlayCursor;
    const bool drawn = DrawPlayNode(PlayList[PlayCursor]);
    if (PlayCursor + 1 >= static_cast<int32_t>(PlayList.size())) {
      EndSingleStep();
      return;
    }
    if (drawn) return;
  }
}

void TRoutDatabase::StepForwardPath() {
  if (!SingleStepActive) return;
  if (PlayedLayer != CurrentLayer) {
    EndSingleStep();
    return;
  }
  for (;;) {
    if (PlayCursor + 1 >= static_cast<int32_t>(PlayList.size())) {
      EndSingleStep();
      return;
    }
    ++PlayCursor;
    DrawPlayNode(PlayList[PlayCursor]);
    if (PlayCursor + 1 >= static_cast<int32_t>(PlayList.size())) {
      EndSingleStep();
      return;
    }
    if (PlayList[PlayCursor + 1].PathStart) return;
  }
}

void TRoutDatabase::StepBack() {
  if (!SingleStepActive) return;
  for (;;) {
    const bool undrawn = UndrawPlayNode(PlayList[PlayCursor]);
    if (PlayCursor == 0) {
      EndSingleStep();
      return;
    }
    --PlayCursor;
    if (undrawn) return;
  }
}

void TRoutDatabase::StepBackPath() {
  if (!SingleStepActive) return;
  for (;;) {
    UndrawPlayNode(PlayList[PlayCursor]);
    const bool wasStart = PlayList[PlayCursor].PathStart;
    if (PlayCursor == 0) {
      EndSingleStep();
      return;
    }
    --PlayCursor;
    if (wasStart) return;
  }
}

void TRoutDatabase::EndSingleStep() {
  TRoutEditServices& services = RoutEditServices();
  Animate = 0;
  services.SetAnimateChecked(false);
  const bool wasActive = SingleStepActive != 0;
  if (wasActive && PlayCursor >= 0)
    for (std::size_t k = PlayCursor; k < PlayList.size(); ++k) DrawPlayNode(PlayList[k]);
  PlayList.clear();
  PlayCursor = -1;
  if (wasActive) services.RestorePrompts(SavedPrompt);
  // The view leaves single step even when the play already ended (nothing
  // may keep it waiting for a play that no longer runs).
  if (wasActive || ViewServices().Activity() == 1) ViewServices().SetActivity(0);
  for (int32_t c : kPlayButtons) DisableButton(c);
  SingleStepActive = 0;
}

void TRoutDatabase::ToggleAnimate() {
  if (!SingleStepActive) return;
  Animate = Animate ? 0 : 1;
  RoutEditServices().SetAnimateChecked(Animate != 0);
}

void TRoutDatabase::SingleStepEdit() {
  TRoutEditServices& services = RoutEditServices();
  LocateEntity = SingleStepActive && PlayCursor >= 0 ? PlayList[PlayCursor].Handle : 0;
  const std::string name = services.SaveRoutLayerToScratch(CurrentLayer);
  if (!name.empty()) {
    auto bytes = [&name] {
      std::ifstream in(NativePath(name), std::ios::binary);
      return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const std::string written = bytes();
    // OK on the tape as it was written leaves the layer, and its undo
    // steps, as they are.
    if (services.RunTextEditor(name, LocateEntityLine) && bytes() != written) {
      services.ReloadRoutLayer(name);
    } else if (SingleStepActive) {
      ViewServices().SetActivity(1);
    }
    DeleteFileIfExists(name);
  }
  LocateEntity = 0;
  LocateEntityLine = 1;
  ViewServices().UpdateView();
}
