// The cutter compensator: turns the entities of one rout layer, fed in cut
// order with the step-and-repeat copies of each path after it, into the
// compensated path the cutter centre really follows, hung on the entities as
// display records (TRoutShadow):
//   jog          kind 0 head-up move from where the head was to its point;
//   line, arc    the offset elements of the move, kind 1 / kind 2, with the
//                entity's feed rate and Z offset; inserted corner arcs and
//                the lead-in and retract lines of a path go with them; the
//                first element of a path is preceded by a kind 4 path number;
//   circle       kind 4 path number at the centre, a head-up move to the
//                entry point, the lead-in arc, four quarter arcs of the
//                cutter path and the lead-out arc;
//   gouge        kind 6 red pointer (angle in B.X), counted as a violation;
//   hole         kind 3 at its point;
//   command      nothing.
// One move of look-ahead: a move is emitted when the next one is fed (or at
// Finish), so an element goes to the entity whose move it completes. A change
// of compensation side closes the open path with a zero-length jog (the
// retract) before the next one opens.
//
// Records of kinds 0, 3, 4 and 6 carry feed 0 and Z offset 2147483647; copy
// number 1 and no copy flag for the entity itself, the copy's number and the
// copy flag for step copies. Every record goes to the head of the entity's
// chain through AttachShadow.
#pragma once
#include <cstdint>

#include "foundation/geometry.h"
#include "routpath/comp_corner.h"
#include "model/model_services.h"

class TRoutEntity;
class TRoutShadow;

// Counts of the current rebuild, reset by every compensator's construction.
extern int32_t CompensationViolations;
extern int32_t CompensationNoIntersections;

class TCutterCompensator : public TLayerCompensation {
 public:
  // A compensator for the rout layer; resets both counts.
  explicit TCutterCompensator(uint8_t layer);
  virtual ~TCutterCompensator() = default;
  TCutterCompensator(const TCutterCompensator&) = delete;
  TCutterCompensator& operator=(const TCutterCompensator&) = delete;

  // Feeds one entity of the layer in cut order (copy 1).
  void AddEntity(TRoutEntity* entity) override;
  // Feeds one entity of step copy stepNumber (2 and up) with its moved point
  // and centre; type is the entity's type with 7 and 8 exchanged by the
  // caller for a mirrored copy, and mirrored exchanges a jog's sides 1 and 2.
  void AddStepEntity(TRoutEntity* entity, const TIntPoint& point, bool mirrored,
                     int32_t stepNumber, uint8_t type, const TIntPoint& centre) override;
  // Puts the record at the head of the entity's chain.
  virtual void AttachShadow(TRoutEntity* entity, TRoutShadow* record);
  // Ends the last path (emits the pending move).
  void Finish() override;
  // Adds this rebuild's counts into the report and, while GougeDetect is on,
  // shows the violation box when the report asks for it.
  void ReportViolations(TGougeReport& report);
  // ReportViolations with the caller's record.
  void Done(TGougeReport& report) override { ReportViolations(report); }

  uint8_t Layer() const { return Layer_; }
  int32_t PathCounter() const { return PathCounter_; }

 private:
  using TMove = TCompMove;
  struct TFeed {
    TRoutEntity* Entity;
    TIntPoint Point;
    TIntPoint Centre;
    uint8_t Type;
    bool Mirrored;
    int32_t StepNumber;
    bool IsCopy;
  };

  void Feed(const TFeed& feed);
  void FeedCircle(const TFeed& feed);
  void Process(const TMove& move);
  void Emit(const TMove& move);

  // The new record, hung on the owner; nullptr without one.
  TRoutShadow* Attach(uint8_t kind, const TIntPoint& a, const TIntPoint& b, const TIntPoint& c,
                      int32_t tool, bool headUp, uint16_t feed, int32_t zOffset,
                      TRoutEntity* owner, int32_t stepNumber, bool isCopy);
  void SetOwner(const TFeed& feed);

  uint8_t Layer_;
  TIntPoint Position_;  // programmed end of the last move fed
  TMove Previous_;      // the move waiting for the next one
  TIntPoint LastComp_;  // end of the last element emitted
  uint8_t LastSide_ = 0;
  TRoutEntity* Entity_ = nullptr;  // owner of the elements being emitted
  int32_t StepNumber_ = 1;
  bool StepFlag_ = false;
  uint8_t PathSide_ = 0;
  int32_t PathTool_ = 0;
  int32_t PathCompIndex_ = 0;
  int32_t PathCounter_ = 0;
  bool StartPending_ = false;
  TRoutShadow* LastCut_ = nullptr;  // the cut record before, while the cut goes on
};

// The compensator of a rout layer's redraw: every record is drawn in the pen
// of its entity's normal draw on the current surface, one record late, so
// that a cut knows whether the next one runs on from it before it is drawn.
class TRoutLayerCompensator : public TCutterCompensator {
 public:
  explicit TRoutLayerCompensator(uint8_t layer) : TCutterCompensator(layer) {}
  void AttachShadow(TRoutEntity* entity, TRoutShadow* record) override;
  void Done(TGougeReport& report) override;

 private:
  void DrawWaiting();
  TRoutEntity* WaitingEntity_ = nullptr;
  TRoutShadow* Waiting_ = nullptr;
};
