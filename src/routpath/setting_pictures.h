// The pictures of the rout settings dialogs, drawn on the platform canvas:
// each auto rout style and each tab shape with the lettered measures that
// the dialogs' edits name ("Plunge Offset (A)", "Width (A)", ...).
#pragma once
#include <cstdint>
#include <memory>

#include "platform/canvas.h"

// Auto rout style 0 corner, 1 pinless, 2 inline: the cut-in and cut-out at
// the start of a profile, with Plunge Offset A, Overcut B and Edge Offset C.
std::unique_ptr<TBitmap> AutoRoutStylePicture(uint8_t style);

// A tab: the path ends A apart; the complex one turns each end by C toward
// the row of holes to points B apart; the holes lie D from the path. With
// cutterEdges A is measured between the cutter's edges, else between the
// path points.
std::unique_ptr<TBitmap> TabPicture(bool simple, bool cutterEdges);
