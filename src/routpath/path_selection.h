// The path commands on a selection of several profiles: Auto Rout Outside,
// Auto Rout Inside, Pocket Rout and Milled Pocket Rout take a picked entity
// or every CAD entity of a window, split the selection into closed paths
// and rout them nearest first from the origin.
//
// A selection of one handle is routed as picked, as its own undo step. A
// selection of several is a group: each closed path is routed in turn,
// warnings offer "OK to &All" (answered once for the whole group), a lone
// circle is left out, and everything written is one undo step.
#pragma once
#include <cstdint>
#include <string>

class TRoutDatabase;
class TRootEntityHandle;

// Orders the selection by walking from the origin to the nearest first
// point of a remaining entity each time (the earlier of equal distances).
void OrderPathsNearestFirst(TRoutDatabase& rtdb, TRootEntityHandle*& selection);

// The next closed path of the selection: one handle naming the entity it is
// to start at (its longest side), with all of the path's handles gone from
// the selection. A selection of one handle, or a front circle, is taken as
// it stands. Chains that do not close are dropped (redrawn in their layer
// colours). False when the selection runs out; the caller frees the path.
bool TakeFirstPath(TRoutDatabase& rtdb, TRootEntityHandle*& selection, TRootEntityHandle*& path);

// Drops (and frees) every handle of the selection whose entity the path
// holds; the rest keep their order.
void RemovePathFromSelection(TRoutDatabase& rtdb, TRootEntityHandle*& selection,
                             TRootEntityHandle* path);

enum TPathRoutKind : uint8_t { prkAutoOutside, prkAutoInside, prkPocket, prkMilledPocket };

// The undo step name of a group of the kind.
std::string PathRoutOperationName(TPathRoutKind kind);

// Routs the selection as the path command of the kind does; the selection
// is freed and set to nullptr. True when something was written.
bool RoutSelection(TRoutDatabase& rtdb, TRootEntityHandle*& selection, TPathRoutKind kind);

// The selection of a completed path command text: the picked entity
// (argument 1) or, when the pick was a window (corners in arguments 1 to
// 4), the CAD entities inside it on the active layers. Null when none.
TRootEntityHandle* SelectionOfCommand(const std::string& text);
