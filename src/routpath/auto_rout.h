// Automatic rout of a closed CAD profile: a chain of CAD lines and arcs (or
// one CAD circle) becomes a rout path on the current rout layer: a jog with
// cut-in, the profile cut in the direction that puts the cutter
// compensation on the wanted side, and a cut-out with overcut, in the style
// of the auto rout settings (corner, pinless or inline). One undo step.
//
// A generation is all or nothing: when it throws, every rout entity it added
// is taken out again and the layer's path state is put back.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/geometry.h"
#include "model/rout_database.h"

class TRoutDatabase;
class TRootEntityHandle;

// Two end points closer than this are one vertex (0.003 in).
constexpr int32_t kVertexTolerance = 76200;

// One entity of a profile in cut order: a line or a counter-clockwise CAD
// arc from P1 to P2 (about Centre), cut from P2 to P1 when Reversed.
struct TProfileEntity {
  uint8_t Type = 2;  // 2 line, 3 arc
  TIntPoint P1, P2, Centre;
  bool Reversed = false;
  // Where the cut starts and ends.
  TIntPoint From() const { return Reversed ? P2 : P1; }
  TIntPoint To() const { return Reversed ? P1 : P2; }
  bool IsArc() const { return Type == 3; }
  // Arc radius: the rounded distance from the centre to the first point.
  double Radius() const;
  double Length() const;
};

// The profile entities of a handle list (lines and arcs; other entities are
// left out), in list order, none reversed.
std::vector<TProfileEntity> ProfileOf(TRootEntityHandle* path);

// Routs the profile of the CAD handle list on the current rout layer. inside
// routs inside the profile (AUTOROUTINPATH), else outside. alreadyLinked
// takes the list as a closed chain in order (and starts it at its longest
// side); otherwise the chain is linked from its first handle. group: the
// pick held several entities: warnings go through the suppressible box
// (suppress is its "OK to &All" flag) and the caller opens the undo step.
// A lone circle picked alone becomes a routed circle (a hole cut) inside,
// and outside a profile of its two halves, so the cutter runs round it.
// A picked profile (not alreadyLinked) that a path of the layer routs
// already with the same tool and side is not routed again: the box (the
// suppressible one in a group) says so and the call returns false.
// True when at least one profile move was emitted. The list is freed and
// path set to nullptr, except for a lone circle in group mode.
bool AutoRoutPath(TRoutDatabase& rtdb, TRootEntityHandle*& path, bool inside, bool alreadyLinked,
                  bool group, bool& suppress);

// True when the linked profile is to be cut against its natural direction
// (from the first entity's first point on), so that the cutter compensation
// of rtdb lands outside (or, for an inside rout, inside) the profile.
bool ChooseCutDirection(const TRoutDatabase& rtdb, const std::vector<TProfileEntity>& path);

// Makes the longest entity the first (the earlier of equals), keeping the
// cyclic order, and reverses the rest when the second does not continue
// from the first's second point.
void StartAtLongestSide(std::vector<TProfileEntity>& path);

// Takes out what a failed generation added and puts the layer's path state
// back, unless the generation completed (Commit).
class TGenerationGuard {
 public:
  explicit TGenerationGuard(TRoutDatabase& rtdb);
  ~TGenerationGuard();
  TGenerationGuard(const TGenerationGuard&) = delete;
  TGenerationGuard& operator=(const TGenerationGuard&) = delete;
  void Commit() { Committed = true; }

 private:
  TRoutDatabase& Db;
  uint8_t Layer;
  int32_t First;
  TRoutPathState Saved;
  bool Committed = false;
};

constexpr int32_t AutoRoutOutsideCommand = 5;
constexpr int32_t AutoRoutInsideCommand = 93;

// Defines the commands AUTOROUTOUTPATH(PICK) (5) and AUTOROUTINPATH(PICK)
// (93): each prompts for a pick on a CAD line, arc or circle and routs its
// profile, then waits for the next one.
void DefineAutoRoutCommands();
