// Tabs: a short stretch of a rout path left uncut so that a routed part stays
// held in its panel. A tab splits the picked rout line or arc at the picked
// point: the path ends before the gap (a line or arc to its near edge), the
// complex tab turns sideways into the part (cut-in), break-off holes may be
// drilled beside the gap, and a new path starts after it (a jog, with the
// complex tab's cut-out move back onto the path). The shape comes from the
// rout database's tab settings. One undo step, "Add Tab".
#pragma once
#include <cstdint>

#include "foundation/geometry.h"

// point: on the line (the foot of the perpendicular from the user's click).
// Refusals are shown to the user and change nothing; true when the tab was
// made.
bool AddTabOnLine(int32_t handle, const TIntPoint& point);
// point: on the arc (the click projected radially).
bool AddTabOnArc(int32_t handle, const TIntPoint& point);

// The Add Tab command's work: the click is taken to the picked line (foot of
// the perpendicular) or arc (radial projection) and the tab made there.
// False, with nothing changed, for any other entity or a refused tab.
bool AddTabAt(int32_t handle, const TIntPoint& click);
