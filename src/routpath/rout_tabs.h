// Tabs: a short stretch of a rout path left uncut so that a routed part stays
// held in its panel. A tab splits the picked rout line or arc at the picked
// point: the path ends before the gap (a line or arc to its near edge), the
// complex tab turns sideways into the part (cut-in), break-off holes may be
// drilled beside the gap, and a new path starts after it (a jog, with the
// complex tab's cut-out move back onto the path). The shape comes from the
// rout database's tab settings. One undo step, "Add Tab".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

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

// The pieces of a cut that tabs split, found from one of them by what the
// layer holds, whatever the Auto Tab settings and the tool page say now. A
// tab ends the path at the gap and starts a new one after it, at once after
// its break-off holes: the pieces of one cut follow each other in the cut
// order, each started by a jog with the first jog's comp side, tool, comp
// index and step pattern and continuing across the gap the line or circle
// the piece before ran on (a complex tab's necks leading off it and back),
// the gap no wider than the Auto Tab dialog's widest tab, the holes between
// them carrying that pattern too and standing in that gap as a tab drills
// them. A path that only ends on another, or begins where another ended, is
// no piece of it, nor is one that closes a profile on its own, nor one cut
// after pieces that closed a profile exactly (the next board). Of such a
// run, the pieces of one profile are the shortest stretch around the pick
// whose last path ends where its first begins, or comes back over the
// first's first move or the point it entered the profile at (leads and
// corner routs); a cut that does not close is the stretch its break-off
// holes join to the pick. A hole stands for the cut whose gap it stands in,
// else for itself.
struct TTabbedCut {
  // The path starts and holes the pick stands for, in cut order (the pick's
  // start alone on a path that no tab split).
  std::vector<int32_t> Starts;
  // Of a cut that closes no profile: the paths cut just before and after
  // its pieces, started as a tab starts a piece but joined by no break-off
  // holes. They may be pieces of it too, and are left out.
  std::vector<int32_t> Unsure;
};
// start: a path start (jog, circle) or hole of a rout layer.
TTabbedCut FindTabbedCut(int32_t start);
// The hint saying how many paths and holes a command took where it took
// more than the one picked ("" when it took that alone): of a cut that
// closes no profile, as its box (TabbedCutLeftOutText) says, only the pieces
// its break-off holes join; command: its title.
std::string TabbedCutTakenText(const TTabbedCut& cut, const std::string& command);
// The box naming the paths a command left out ("" when none); command: its
// title.
std::string TabbedCutLeftOutText(const TTabbedCut& cut, const std::string& command);
