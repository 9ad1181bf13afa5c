// Rout path editing helpers: the angle arithmetic of arc cutting, the split of
// an arc into the pieces a rout path stores, the flattening of large arcs
// into chords, and the window-side services that single-step play and its
// edit key use (command-line prompts, the animate menu item, writing a rout
// layer to a scratch tape, the NC text editor and reloading the layer).
//
// The creating operations themselves (AppendJog, AppendLine, AppendArc, the
// segment adds and the single-step play) are members of TRoutDatabase,
// declared in model/rout_database.h and implemented in rout_edit.cpp.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/geometry.h"

// ---- Angles (degrees, counter-clockwise from +X) -------------------------------

// The angle brought into [0, 360). A non-finite angle gives 0.
double NormalizeDegrees(double angle);
// The quadrant angle (0, 90, 180, 270) at or after the angle going
// counter-clockwise: the angle itself when it is one. NextQuadrantAngle(90)
// = 90, NextQuadrantAngle(91) = 180, NextQuadrantAngle(300) = 0.
double NextQuadrantAngle(double angle);
// The quadrant angle before the angle going counter-clockwise, strictly:
// PreviousQuadrantAngle(90) = 0, PreviousQuadrantAngle(-30) = 270.
double PreviousQuadrantAngle(double angle);

// Widest sweep of one stored arc piece when arcs are not cut at quadrants.
constexpr double kMaxArcPieceSweep = 135.0;

// The end angles of the arc pieces before the last one for an arc from
// angle a0 to angle a1 about its centre (clockwise or not); the last piece
// always ends at the arc's own end point.
//  - quadrantCut (unsigned I/J words on the tape): one piece ends at every
//    quadrant angle lying strictly inside the sweep, so no piece crosses an
//    axis and none has zero length.
//  - otherwise: the sweep is cut into the fewest equal pieces of less than
//    135 degrees each (a sweep of exactly 135 gives two).
std::vector<double> ArcPieceAngles(double a0, double a1, bool clockwise, bool quadrantCut);

// Deviation, in database units, within which arcs too large to store as arc
// entities are written as chords (0.001 inch).
constexpr double kRoutChordTolerance = 25400.0;

// The chords of the counter-clockwise arc from start to end about centre:
// steps chords of angle degrees each; a full turn when start equals end; one
// chord when the tolerance is not smaller than the radius. At most 10,000
// chords.
void ArcChordSteps(const TRealPoint& centre, const TRealPoint& start, const TRealPoint& end,
                   double tolerance, int32_t& steps, double& angle);

// ---- Window-side services ----------------------------------------------------------

// The commands of the single-step play buttons, which the play enables
// while it runs: the next cut, the next path start, back one cut, back to
// the previous path start.
constexpr int32_t PlayNextCutCommand = 87;
constexpr int32_t PlayNextPathCommand = 39;
constexpr int32_t PlayBackCutCommand = 98;
constexpr int32_t PlayBackPathCommand = 35;

// The command line's three prompt lines of 256 characters.
using TPromptLines = std::array<std::string, 3>;

class TRoutEditServices {
 public:
  virtual ~TRoutEditServices() = default;
  // The command line (UserPanel): copy the three prompt lines out and back,
  // and write line 1..3 from the column on.
  virtual void SavePrompts(TPromptLines& lines) = 0;
  virtual void RestorePrompts(const TPromptLines& lines) = 0;
  virtual void SetPromptLine(int32_t column, int32_t line, const std::string& text) = 0;
  // The check mark of the single-step animate menu item.
  virtual void SetAnimateChecked(bool checked) = 0;
  // Writes the rout layer through its export filter into a new scratch file
  // and gives its name; empty when writing failed. The user is told which
  // step patterns the file holds as plain copies.
  virtual std::string SaveRoutLayerToScratch(uint8_t layer) = 0;
  // Cancels the active command, clears the current rout layer, re-imports
  // it from the file and resets RoutUndo.
  virtual void ReloadRoutLayer(const std::string& fileName) = 0;
  // Runs the NC text editor modally on the file at the line; true when the
  // file should be taken back.
  virtual bool RunTextEditor(const std::string& fileName, int32_t line) = 0;
};

// The services when no window is installed: the prompt lines are kept in
// memory, the animate mark is remembered, no layer writer is present (the
// scratch name is empty, so single-step edit opens no editor), and the
// editor, were it asked, hands nothing back.
class THeadlessRoutEditServices : public TRoutEditServices {
 public:
  void SavePrompts(TPromptLines& lines) override { lines = Prompts; }
  void RestorePrompts(const TPromptLines& lines) override { Prompts = lines; }
  void SetPromptLine(int32_t column, int32_t line, const std::string& text) override;
  void SetAnimateChecked(bool checked) override { AnimateChecked = checked; }
  std::string SaveRoutLayerToScratch(uint8_t layer) override;
  void ReloadRoutLayer(const std::string& fileName) override { Reloaded.push_back(fileName); }
  bool RunTextEditor(const std::string& fileName, int32_t line) override;

  TPromptLines Prompts;
  bool AnimateChecked = false;
  std::vector<std::string> Reloaded;   // files handed to ReloadRoutLayer
  std::vector<std::string> Edited;     // files handed to the editor
};

// Installs the window's services (not owned); nullptr puts the headless ones
// back. Returns the ones installed before (nullptr for the headless ones).
TRoutEditServices* SetRoutEditServices(TRoutEditServices* services);
TRoutEditServices& RoutEditServices();
THeadlessRoutEditServices& HeadlessRoutEditServices();

// The handle single-step edit asks the tape writer to locate (0 = none), and
// the line of the written file that holds it (1 when not found).
extern int32_t LocateEntity;
extern int32_t LocateEntityLine;
