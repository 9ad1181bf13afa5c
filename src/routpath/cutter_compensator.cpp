#include "routpath/cutter_compensator.h"

#include "foundation/settings.h"
#include "model/root_entity.h"
#include "model/rout_entities.h"
#include "model/rout_shadow.h"
#include "model/view_services.h"
#include "platform/message_box.h"

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

void TCutterCompensator::Attach(uint8_t kind, const TIntPoint& a, const TIntPoint& b,
                                const TIntPoint& c, int32_t tool, bool headUp, uint16_t feed,
                                int32_t zOffset, TRoutEntity* owner, int32_t stepNumber,
                                bool isCopy) {
  if (!owner) return;
  AttachShadow(owner, new TRoutShadow(a, b, c, headUp, tool, kind, isCopy, stepNumber, Layer_,
                                      feed, zOffset));
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
    close.Tool = PathTool_;
    close.CompIndex = PathCompIndex_;
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
  const TIntPoint centre = feed.Point;
  const int32_t tool = circle->GetToolNumber();
  uint16_t feedRate;
  int32_t zOffset;
  CutWords(circle, feedRate, zOffset);
  ++PathCounter_;
  Attach(rsSequenceNumber, centre, centre, {}, PathCounter_, false, 0, NoZOffset, circle,
         feed.StepNumber, feed.IsCopy);
  if (!(LastComp_ == centre))
    Attach(rsHeadUpMove, LastComp_, centre, {}, tool, true, 0, NoZOffset, circle,
           feed.StepNumber, feed.IsCopy);
  Attach(rsFullCircle, centre, {circle->GetRadius(), 0}, {}, tool, false, feedRate, zOffset,
         circle, feed.StepNumber, feed.IsCopy);
  PathSide_ = 0;
  PathTool_ = tool;
  PathCompIndex_ = 0;
  Position_ = LastComp_ = centre;
  Previous_ = TMove{};
  Previous_.Start = Previous_.End = centre;
  Previous_.Tool = tool;
  StartPending_ = false;
  SetOwner(feed);
}

void TCutterCompensator::Finish() {
  TMove close;
  close.Start = close.End = Position_;
  close.Tool = 1;
  close.CompIndex = 1;
  Process(close);
  LastSide_ = 0;
}

// The corner step with one move of look-ahead. With no offset applied the
// waiting move goes out as it was programmed, starting where the last element
// ended.
void TCutterCompensator::Process(const TMove& move) {
  TMove out = Previous_;
  out.Start = LastComp_;
  Emit(out);
  LastComp_ = out.End;
  Previous_ = move;
}

void TCutterCompensator::Emit(const TMove& move) {
  if (!Entity_) return;  // the state before the first move emits nothing
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
  Attach(move.Type == etRoutLine ? rsLine : rsArc, move.Start, move.End, move.Centre, move.Tool,
         !move.Cutting, feed, zOffset, Entity_, StepNumber_, StepFlag_);
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
  TDrawingBase& surface = PictureSurface();
  entity->SetDrawPen(surface, Layer());
  record->DrawRecord(surface);
}
