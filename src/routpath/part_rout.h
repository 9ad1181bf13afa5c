// Rout paths that follow CAD profiles: follow profile (a picked chain
// copied as rout moves), the pocket rout of a picked outline, window auto
// follow (the lines and arcs of a window in selection order), the inline
// part rout of an inner profile (cut in and out at the middle of its
// longest side), and the automatic part rout of every closed profile of the
// active CAD layers.
//
// Every command here is all or nothing and one undo step.
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/geometry.h"
#include "model/rout_database.h"
#include "routpath/auto_rout.h"

// Follows the chain from the picked entity (in the direction of the pick)
// and copies it as one rout path; "Rout halted due to multiple paths!" when
// it cannot be linked into one chain. The handle list is freed.
bool FollowProfile(TRoutDatabase& rtdb, TRootEntityHandle*& path, const TIntPoint& pick);

// Links the picked outline as a closed path (asking at a branch), asks for
// the Z depth of a milled rout, and clears the pocket. The list is freed.
// In a group the caller names the undo step.
bool PocketRoutPath(TRoutDatabase& rtdb, TRootEntityHandle*& path, bool milled, bool group = false);

// Writes the CAD lines and arcs of a window selection (highest index first,
// as the window selection gives them) in selection order, one rout move
// each; a move that does not start where the last ended starts a new path.
// The list is freed. False when nothing was written.
bool WindowAutoFollow(TRoutDatabase& rtdb, TRootEntityHandle*& selection);

// The cut-in (atEnd false: a jog) or cut-out (atEnd true: a cut) point on
// the entity as cut: just before (after) its middle by d, where d is half
// the working overcut, shortened on short sides so that the tool stays on
// the side. False when the tool is wider than the side.
bool InlineCutInOut(TRoutDatabase& rtdb, TIntPoint& point, const TProfileEntity& entity,
                    bool atEnd);
// The working overcut of the inline part rout: the "Overcut" setting, or the
// tool's diameter with "Use Cutter Size" (0.062 in for a tool of none).
int32_t InlineOvercut(const TRoutDatabase& rtdb, int32_t toolDiameter);

// Routs the closed chain (in path order) with the inline cut-in and
// cut-out at its longest side; false with nothing written when the tool
// does not fit that side.
bool PartRoutPath(TRoutDatabase& rtdb, std::vector<TProfileEntity> path, bool inside);

// Nesting of the closed profiles: depth 1 for an outermost one, 2 for one
// inside it, and so on (0: undecided), and the class each is routed as.
enum : uint8_t { pcOuter = 0, pcInner = 1, pcNotRouted = 2 };
struct TPartProfile {
  std::vector<TProfileEntity> Entities;  // in chain order, oriented
  TRootEntityHandle* Handles = nullptr;  // owned
  int32_t Depth = 0;
  uint8_t Class = pcInner;
};
// Classifies from each outermost profile inward: in a family three or more
// deep the outermost is a border (not routed), the next level parts
// (outside) and the next holes (inline, inside); in a family two deep the
// outer one is a part and the inner ones holes; a lone profile is a part
// unless every profile is lone (then allOneLevel is set and they are
// inner). Deeper levels are not routed.
void ClassifyProfiles(std::vector<TPartProfile>& profiles, bool& allOneLevel);

// The automatic part rout of the active CAD layers (command "Auto Part
// Rout"): inner profiles first, then the parts; the border and open chains
// are left. One undo step "full panel inline ro".
struct TPartRoutReport {
  int32_t NotRouted = 0;
  int32_t OpenChains = 0;
  bool SomethingRouted = false;
};
TPartRoutReport AutoPartRout(TRoutDatabase& rtdb);
