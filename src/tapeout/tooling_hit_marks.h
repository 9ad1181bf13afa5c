// The first and last tooling hits of a drill tape. Before the tape is
// written the user windows, on the drawing, the hits to be drilled first
// (the tooling holes a panel is pinned by) and then those to be drilled
// last; each tool drills its marked-first hits before its others and its
// marked-last hits after them. While marking, stepped entities are drawn in
// the background colour (ColorHolesBy + 3) so that only the unstepped hits
// show.
//
// Mouse (activity 6): a window is made as every window of the program is,
// by a click on one corner and a click on the opposite one (or a drag from
// one to the other), with a rubber band between; two clicks on one point
// mark a few pixels around it. The right button takes back an open window's
// first corner, else ends the first-hit windows, then the last-hit windows;
// Escape gives up (no tape is written). The command line says how many hits
// each window marked.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "command/input_event.h"
#include "foundation/geometry.h"
#include "model/entity_store.h"

// An item of the tape to be marked: where it starts (what a window must
// hold) and the hits it drills.
struct TMarkableHit {
  TIntPoint At;
  int64_t Hits = 1;
};

struct TToolingMarks {
  std::vector<TIntBox> First;
  std::vector<TIntBox> Last;
  std::vector<TMarkableHit> Hits;  // what the windows are counted on
  bool Marking = false;     // activity 6 is running
  bool MarkingLast = false;  // the windows being drawn are last-hit ones
  bool WantLast = false;     // a last-hit phase follows the first-hit one
  bool Finished = false;     // ended with the right button (false: given up)
  bool Stopped = false;      // given up with Escape
  bool Pressed = false;      // a window's first corner is set
  TIntPoint Corner;
};
extern TToolingMarks ToolingMarks;

// The main window installs the view's sinks and says so; without them no
// marking is asked for.
void SetToolingMarkView(bool available);
bool ToolingMarkViewAvailable();

// The mouse and key sink of activity 6, and the redraw of the marked
// windows while marking goes on.
void WindowMarkMouseHook(TInputEvent& event);
void DrawWindowMarks();

// ---- First/last-hit coupon ----------------------------------------------------------------
//
// Tools whose tool record carries the first/last-hit flag drill a test hit
// in a coupon before their work (First Hit) and after it (Last Hit). The
// user picks the coupon's corner on the drawing (activity 5: left button;
// right button or Escape gives up). The hits of the k-th flagged tool sit k
// steps along the coupon row: the row runs up (Vertical, steps of the
// vertical spacing) or to the right (steps of the horizontal spacing). The
// last hits take a second row one spacing across (the other spacing), or
// with One Row the same row, each right after its first hit.

// The corner picked by the last coupon pick.
extern TIntPoint CouponOrigin;

// The sink of activity 5.
void MakeTapePickEvent(TInputEvent& event);
// Waits in ProcessMessages for the pick; true when a corner was picked.
bool PickCouponOrigin();
// The last pick was ended by the user (right button or Escape).
bool CouponPickStopped();
// A point typed on the command line while the corner is picked ("x,y" in
// display units) is the corner, as a click gives it; a text that is no
// point is refused. False when no pick waits.
bool TypedCouponOrigin(const std::string& typed);

// Lets the user mark the windows (first when first, then last when last),
// waiting in ProcessMessages until the right button or Escape ends it; the
// windows are counted on hits. True when marked to the end; the windows are
// then in ToolingMarks.
bool MarkToolingHits(bool first, bool last, std::vector<TMarkableHit> hits = {});
