// Cutting a straight segment to the rectangle of a plotted page.
//
// The page is the window (XMin, YMin)-(XMax, YMax) in device units. Each end
// of a segment falls in one of nine regions around the window; an end
// outside is moved along the segment to the edge of its region, so the part
// inside comes back exactly (up to the geometry kernel's relative tolerance,
// which counts a point on an edge as inside).
#pragma once
#include "foundation/geometry.h"

struct TClipWindow {
  double XMin = 0.0;
  double YMin = 0.0;
  double XMax = 0.0;
  double YMax = 0.0;
};

// The region of a point: 0 inside; 1 2 3 above (left, middle, right); 4 and
// 5 left and right; 6 7 8 below (left, middle, right).
int ClipRegion(const TClipWindow& window, double x, double y);

// The part of the segment inside the window; all four numbers 0 when no
// part is. Clears GeoErrorCode; a window without an inside (XMax not above
// XMin, or YMax not above YMin) sets it to 2 and clips everything away.
TRealLine ClipSegmentToWindow(const TClipWindow& window, const TRealLine& segment);
