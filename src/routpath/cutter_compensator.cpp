#include "routpath/cutter_compensator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "model/root_entity.h"
#include "model/rout_entities.h"
#include "model/rout_shadow.h"
#include "model/view_services.h"
#include "platform/message_box.h"
#include "model/tool_tables.h"

int32_t CompensationViolations = 0;
int32_t CompensationNoIntersections = 0;

namespace {

bool IsSegmentType(uint8_t type) {
  return type == etRoutLine || type == etRoutArc || type == etRoutArcReverse;
}

// Feed rate and Z offset of the owner of a cut record; a type without them
// (never the owner of a cut in a well-formed sequence) gives none.
void CutWords(TRoutEntity* entity, uint16_t& feed, int32_t& zOffset) {
  uint8_t type = entity->GetType();
  if (IsSegmentType(type) || type == etRoutCircle) {
    feed = entity->GetFeedRate();
    zOffset = entity->GetZOffset();
  } else {
    feed = 0;
    zOffset = NoZOffset;
  }
}

// The tool record of the layer's page; zeros for a tool out of range.
TRoutToolRecord ToolRecord(uint8_t layer, int32_t tool) {
  if (layer < kFirstRoutLayer || layer >= kFirstRoutLayer + 5 || tool < 1 || tool > kToolCount)
    return {};
  return RoutToolPages[layer][tool];
}

// The corner solver's tolerance (0.001 in).
constexpr double kCompensationTolerance = 25400.0;
// The entry point of a routed circle lies this far inside its cutter path.
constexpr int32_t kCircleEntryInset = 254000;

// Tools of this diameter or less are drawn on their programmed path.
constexpr int32_t kSmallestCompensatedTool = 250000;

// The direction of travel of a cut record at its start (at B when atEnd);
// an arc without a known turn is the shorter way round.
TRealPoint TravelDirection(const TRoutShadow& r, bool atEnd) {
  const TIntPoint& p = atEnd ? r.B : r.A;
  double x, y;
  if (r.Kind == rsLine) {
    x = double(r.B.X) - r.A.X;
    y = double(r.B.Y) - r.A.Y;
  } else {
    const double ax = double(r.A.X) - r.C.X, ay = double(r.A.Y) - r.C.Y;
    const double bx = double(r.B.X) - r.C.X, by = double(r.B.Y) - r.C.Y;
    const int turn = r.Turn != 0 ? r.Turn : (ax * by - ay * bx >= 0.0 ? 1 : -1);
    const double rx = double(p.X) - r.C.X, ry = double(p.Y) - r.C.Y;
    x = -ry * turn;
    y = rx * turn;
  }
  const double l = std::hypot(x, y);
  return l == 0.0 ? TRealPoint{0.0, 0.0} : TRealPoint{x / l, y / l};
}

// The second cut starts where the first ends and goes on in nearly the same
// direction (a tangent join, or a bend of under 10 degrees such as a routed
// circle's lead-in meeting the circle): the kerf is drawn with no end
// between them, which would show as a small loop.
bool RunsOnSmoothly(const TRoutShadow& first, const TRoutShadow& second) {
  if (std::llabs(int64_t{first.B.X} - second.A.X) > 2 ||
      std::llabs(int64_t{first.B.Y} - second.A.Y) > 2)
    return false;
  const TRealPoint u = TravelDirection(first, true), v = TravelDirection(second, false);
  return u.X * v.X + u.Y * v.Y > 0.985;
}

uint8_t MirroredSide(uint8_t side, bool mirrored) {
  if (!mirrored) return side;
  return side == 1 ? 2 : side == 2 ? 1 : side;
}

}  // namespace

TCutterCompensator::TCutterCompensator(uint8_t layer) : Layer_(layer) {
  CompensationViolations = 0;
  CompensationNoIntersections = 0;
}

void TCutterCompensator::AttachShadow(TRoutEntity* entity, TRoutShadow* record) {
  entity->AttachShadow(record);
}

TRoutShadow* TCutterCompensator::Attach(uint8_t kind, const TIntPoint& a, const TIntPoint& b,
                                        const TIntPoint& c, int32_t tool, bool headUp,
                                        uint16_t feed, int32_t zOffset, TRoutEntity* owner,
                                        int32_t stepNumber, bool isCopy) {
  if (!owner) return nullptr;
  auto* record = new TRoutShadow(a, b, c, headUp, tool, kind, isCopy, stepNumber, Layer_, feed,
                                 zOffset);
  const bool cut = (kind == rsLine && !headUp) || kind == rsArc;
  if (cut) {
    if (LastCut_ != nullptr && RunsOnSmoothly(*LastCut_, *record)) {
      LastCut_->OpenEnds |= 2;
      record->OpenEnds |= 1;
    }
    LastCut_ = record;
  } else if (kind != rsSequenceNumber && kind != rsViolationMark) {
    LastCut_ = nullptr;
  }
  AttachShadow(owner, record);
  return record;
}

void TCutterCompensator::SetOwner(const TFeed& feed) {
  Entity_ = feed.Entity;
  StepNumber_ = feed.StepNumber;
  StepFlag_ = feed.IsCopy;
}

void TCutterCompensator::AddEntity(TRoutEntity* entity) {
  if (!entity) return;
  TFeed feed{entity, {}, {}, entity->GetType(), false, 1, false};
  entity->GetPoint(feed.Point);
  if (feed.Type == etRoutArc || feed.Type == etRoutArcReverse) entity->GetCentre(feed.Centre);
  Feed(feed);
}

void TCutterCompensator::AddStepEntity(TRoutEntity* entity, const TIntPoint& point,
                                       bool mirrored, int32_t stepNumber, uint8_t type,
                                       const TIntPoint& centre) {
  if (!entity) return;
  Feed(TFeed{entity, point, centre, type, mirrored, stepNumber, true});
}

void TCutterCompensator::Feed(const TFeed& feed) {
  switch (feed.Type) {
    case etRoutCommand:
      return;
    case etRoutHole:
      Attach(rsHole, feed.Point, feed.Point, {}, feed.Entity->GetToolNumber(), false, 0,
             NoZOffset, feed.Entity, feed.StepNumber, feed.IsCopy);
      return;
    case etRoutCircle:
      FeedCircle(feed);
      return;
    case etRoutJog:
    case etRoutLine:
    case etRoutArc:
    case etRoutArcReverse:
      break;
    default:
      return;
  }

  uint8_t side = PathSide_;
  // The open path is closed with its own tool, before a jog names the next.
  const int32_t closingTool = PathTool_, closingCompIndex = PathCompIndex_;
  if (feed.Type == etRoutJog) {
    PathSide_ = MirroredSide(feed.Entity->GetComp(), feed.Mirrored);
    PathTool_ = feed.Entity->GetToolNumber();
    PathCompIndex_ = feed.Entity->GetCompIndex();
    side = 0;
  }
  if (side != LastSide_) {
    // A change of side closes the open path first.
    TMove close;
    close.Start = close.End = Position_;
    close.Tool = closingTool;
    close.CompIndex = closingCompIndex;
    Process(close);
    SetOwner(feed);
  }
  TMove move;
  move.Type = feed.Type;
  move.Side = side;
  move.Cutting = IsSegmentType(feed.Type);
  move.Tool = PathTool_;
  move.CompIndex = PathCompIndex_;
  move.Start = Position_;
  move.End = feed.Point;
  if (feed.Type == etRoutArc || feed.Type == etRoutArcReverse) move.Centre = feed.Centre;
  Process(move);
  LastSide_ = side;
  Position_ = feed.Point;
  SetOwner(feed);
}

void TCutterCompensator::FeedCircle(const TFeed& feed) {
  Finish();
  TRoutEntity* circle = feed.Entity;
  const TIntPoint c = feed.Point;
  const int32_t tool = circle->GetToolNumber();
  uint16_t feedRate;
  int32_t zOffset;
  CutWords(circle, feedRate, zOffset);
  const int32_t p =
      circle->GetRadius() - ToolRecord(Layer_, circle->GetCompIndex()).CompDiameter / 2;
  ++PathCounter_;
  auto attach = [&](uint8_t kind, const TIntPoint& a, const TIntPoint& b, const TIntPoint& centre,
                    int32_t number, bool headUp, uint16_t f, int32_t z) {
    Attach(kind, a, b, centre, number, headUp, f, z, circle, feed.StepNumber, feed.IsCopy);
  };
  attach(rsSequenceNumber, c, c, {}, PathCounter_, false, 0, NoZOffset);
  TIntPoint exit = c;
  if (p <= 0) {
    // The cutter is as large as the circle or larger: there is no path
    // around the centre to cut, and the circle is gouged.
    if (!(LastComp_ == c)) attach(rsHeadUpMove, LastComp_, c, {}, tool, true, 0, NoZOffset);
    ++CompensationViolations;
    attach(rsViolationMark, c, {0, 0}, {}, 0, false, 0, NoZOffset);
  } else {
    const bool g32 = circle->IsAG32();
    const int32_t side = g32 ? -1 : 1;  // where the entry lies: left for G32
    int32_t ax, ay;
    const bool entry = CompensationEntryArc(p, ax, ay);
    // A path circle smaller than the inset is entered from its centre.
    const int64_t reach = std::max(0, p - kCircleEntryInset);
    // A circle at the edge of the coordinate range keeps its path points in
    // the range (they stand at the edge) rather than wrapping round to the
    // far side.
    const auto at = [](int64_t x, int64_t y) { return TIntPoint{ClampCompToInt(x), ClampCompToInt(y)}; };
    const TIntPoint e0 = at(c.X + side * reach, c.Y);
    const TIntPoint e1 = at(c.X - side * reach, c.Y);
    const TIntPoint top = at(c.X, int64_t{c.Y} + p);
    attach(rsHeadUpMove, LastComp_, e0, {}, tool, true, 0, NoZOffset);
    if (entry)
      attach(rsArc, e0, top, at(c.X - int64_t{side} * ax, int64_t{c.Y} + ay), tool, false, feedRate,
             zOffset);
    const TIntPoint right = at(int64_t{c.X} + p, c.Y);
    const TIntPoint left = at(int64_t{c.X} - p, c.Y);
    const TIntPoint bottom = at(c.X, int64_t{c.Y} - p);
    const TIntPoint order[5] = {top, g32 ? right : left, bottom, g32 ? left : right, top};
    for (int i = 0; i < 4; ++i)
      attach(rsArc, order[i], order[i + 1], c, tool, false, feedRate, zOffset);
    if (entry) {
      attach(rsArc, top, e1, at(c.X + int64_t{side} * ax, int64_t{c.Y} + ay), tool, false, feedRate,
             zOffset);
      exit = e1;
    } else {
      exit = top;
    }
  }
  PathSide_ = 0;
  PathTool_ = tool;
  PathCompIndex_ = 0;
  Position_ = LastComp_ = exit;
  Previous_ = TMove{};
  Previous_.Start = Previous_.End = exit;
  Previous_.Tool = tool;
  StartPending_ = false;
  SetOwner(feed);
}

void TCutterCompensator::Finish() {
  // The retract of the last path is solved with the path's own tool.
  TMove close;
  close.Start = close.End = Position_;
  close.Tool = PathTool_;
  close.CompIndex = PathCompIndex_;
  Process(close);
  LastSide_ = 0;
}

// The corner step with one move of look-ahead: the corner between the waiting
// move and this one is solved, everything before the waiting move's offset
// copy is emitted, and the copy itself waits for the next corner.
void TCutterCompensator::Process(const TMove& move) {
  const TMove previous = Previous_;
  Previous_ = move;
  int32_t diameter = ToolRecord(Layer_, move.CompIndex).CompDiameter;
  if (diameter == 0) diameter = ToolRecord(Layer_, previous.CompIndex).CompDiameter;
  if ((move.Side == 0 && previous.Side == 0) || diameter == 0) {
    TMove out = previous;
    out.Start = LastComp_;
    Emit(out);
    LastComp_ = out.End;
    return;
  }
  int32_t radius = ToolRecord(Layer_, move.Side != 0 ? move.CompIndex : previous.CompIndex)
                       .CompDiameter / 2;
  if (ToolRecord(Layer_, move.Tool).Diameter <= kSmallestCompensatedTool) radius = 0;
  const bool right = move.Side != 0 ? move.Side == 2 : previous.Side == 2;
  TCompMoveList out{};
  out[0].Start = LastComp_;
  const TCompMove pair[2] = {previous, move};
  const int n = CompensateCorner(out, pair, radius, right, kCompensationTolerance);
  out[0].Start = LastComp_;
  for (int i = 0; i < n - 1; ++i) {
    Emit(out[i]);
    if (out[i].Kind == 1) LastComp_ = out[i].End;
  }
}

void TCutterCompensator::Emit(const TMove& move) {
  if (!Entity_) return;  // the state before the first move emits nothing
  if (move.Kind == 0) {
    Attach(rsViolationMark, move.Start, {static_cast<int32_t>(std::lround(move.PointerAngle)), 0},
           {}, 0, false, 0, NoZOffset, Entity_, StepNumber_, StepFlag_);
    return;
  }
  if (move.Type == etRoutJog) {
    StartPending_ = true;
    // A jog of no length (the close of a path) moves nowhere.
    if (!(move.Start == move.End))
      Attach(rsHeadUpMove, move.Start, move.End, move.Centre, move.Tool, !move.Cutting, 0,
             NoZOffset, Entity_, StepNumber_, StepFlag_);
    return;
  }
  if (StartPending_) {
    ++PathCounter_;
    Attach(rsSequenceNumber, move.Start, move.Start, {}, PathCounter_, false, 0, NoZOffset,
           Entity_, StepNumber_, StepFlag_);
    StartPending_ = false;
  }
  uint16_t feed;
  int32_t zOffset;
  CutWords(Entity_, feed, zOffset);
  TRoutShadow* record =
      Attach(move.Type == etRoutArc || move.Type == etRoutArcReverse ? rsArc : rsLine, move.Start, move.End, move.Centre, move.Tool,
             !move.Cutting, feed, zOffset, Entity_, StepNumber_, StepFlag_);
  // The arc keeps its turn, so that one over half a circle is not taken the
  // shorter way round.
  if (record && move.Type == etRoutArc) record->Turn = 1;
  if (record && move.Type == etRoutArcReverse) record->Turn = -1;
}

void TCutterCompensator::ReportViolations(TGougeReport& report) {
  if (!GougeDetect) return;
  int32_t violations = report.ViolationCount + CompensationViolations;
  report.ViolationCount = CompensationViolations = violations;
  int32_t misses = report.NoIntersectionCount + CompensationNoIntersections;
  report.NoIntersectionCount = CompensationNoIntersections = misses;
  if (violations > 0 && report.ShowViolations) {
    if (violations > 1)
      ErrorBox("\nThere are " + std::to_string(violations) + "\r compensation" + "\n" +
               "violations.  See RED pointers.");
    else
      ErrorBox(std::string("There is one compensation") + "\n" + "violation.  See RED pointer.");
  }
}

// ---- TRoutLayerCompensator --------------------------------------------------------------

void TRoutLayerCompensator::AttachShadow(TRoutEntity* entity, TRoutShadow* record) {
  entity->AttachShadow(record);
  DrawWaiting();
  WaitingEntity_ = entity;
  Waiting_ = record;
}

void TRoutLayerCompensator::Done(TGougeReport& report) {
  DrawWaiting();
  TCutterCompensator::Done(report);
}

void TRoutLayerCompensator::DrawWaiting() {
  if (Waiting_ == nullptr) return;
  if (!Waiting_->DrawnAgainLater()) {
    TDrawingBase& surface = PictureSurface();
    WaitingEntity_->SetDrawPen(surface, Layer());
    Waiting_->DrawRecord(surface);
  }
  Waiting_ = nullptr;
  WaitingEntity_ = nullptr;
}
