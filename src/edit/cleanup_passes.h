// The drawing clean-up passes over the current CAD layer: duplicate removal,
// overlapping line removal, arcs from chords (with tangent arc fitting) and
// circles from arcs.
//
// Every pass takes part only with slots of EntityArray whose word equals the
// current layer's bit exactly (live, on that layer and no other). A removed
// entity is erased from the screen, marked deleted in its slot and its
// deletion recorded in ActiveUndo; new entities come from the CAD database's
// adds, which draw and journal them. The passes open no undo operation: the
// caller closes all their records under one marker.
//
// Progress goes to the open status box; a pass stops at its next check once
// the box's Cancel was pressed, leaving what it already changed in effect
// and journalled.
#pragma once
#include <cstdint>
#include <string>

// ---- Passes --------------------------------------------------------------------

// Deletes every entity of the current layer that is an exact copy of another
// one there; of each set the one with the highest slot index survives.
void EraseDuplicates();
// Merges collinear lines that overlap, contain one another or meet end to
// end within the tolerance, unless another line or arc ends where the merge
// would remove a joint.
void RemoveOverlaps(int32_t tolerance);
// Replaces runs of chained lines lying on a common circle by arcs, and closed
// chains forming a whole circle by circles.
void BuildArcsFromChords(int32_t tolerance);
// Replaces closed runs of arcs around a common centre by circles.
void BuildCirclesFromArcs(int32_t tolerance);

// Arcs emitted and circles made by the last BuildArcsFromChords (the status
// text shows them); BuildCirclesFromArcs resets CircleCount.
extern int32_t ArcCount;
extern int32_t CircleCount;
// Entries of the endpoint lists the last arc or circle pass looked at while
// chaining and unlinking: its lookup work, which must grow with the number
// of entities and not with their square.
extern int64_t EndpointProbes;

// ---- Helpers shared by the passes ------------------------------------------------

// The slot word of an entity that takes part: the current layer's bit (the
// shift taken modulo 32).
uint32_t CleanupLayerBit();
// Draws the entity of the slot in the background colour; nothing when the
// index is above CadEntityCount.
void EraseCadEntity(int32_t index);
// Sets bit 31 of the slot's word; nothing when the index is above
// CadEntityCount.
void MarkCadEntityDeleted(int32_t index);
// Erases, marks deleted and journals the deletion of one entity.
void RemoveCadEntity(int32_t index);
// An angle brought into (-90, 90] by adding or subtracting 180.
double NormalizeAngle90(double angle);
