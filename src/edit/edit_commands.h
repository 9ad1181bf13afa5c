// The drawing and editing commands of the three mode menus and tool
// buttons: their command texts, prompts and executors, defined in ECO's
// command table at start-up. Every executor that changes a database closes
// one undo step on ActiveUndo.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "foundation/geometry.h"

// Defines every command of this unit in ECO's table and installs the pick
// and highlight services of the command language.
void DefineEditCommands();

// ---- Settings of the line edits (database units) ----
extern double FilletRadius;
extern double ChamferDistanceA;
extern double ChamferDistanceB;

// The stroke font's lines of a text: the window installs it (the font
// lives with the view). Each stroke is handed to line in database units.
using TStrokeLineSink = std::function<void(const TIntPoint& from, const TIntPoint& to)>;
extern std::function<void(const std::string& text, const TIntPoint& at, int32_t height,
                          const TStrokeLineSink& line)>
    StrokeTextLines;

// ---- Executors (completed command texts), for the menus and tests ----
bool ExecAddPoint(const std::string& text);
bool ExecAddLine(const std::string& text);
bool ExecAddRectangle(const std::string& text);
bool ExecAddArcByEnds(const std::string& text);
bool ExecAddArcThroughPoints(const std::string& text);
bool ExecAddCircle(const std::string& text);
bool ExecAddText(const std::string& text);

// The entities of the mode's database (0 drill, 1 rout, 2 CAD) inside (or
// wholly outside) the window of two corners; null when there are none.
class TRootEntityHandle;
TRootEntityHandle* SelectWindowByMode(uint8_t mode, const TIntPoint& a, const TIntPoint& b, bool outside);
// A new handle of the drill entity at the index.
TRootEntityHandle* NewDrillHandle(int32_t index);

// Window edits of the mode's database (0 drill, 1 rout, 2 CAD).
bool ExecWindowEdit(const std::string& text, uint8_t mode);

bool ExecLineTrim(const std::string& text);
bool ExecLineMeet(const std::string& text);
bool ExecLineFillet(const std::string& text);
bool ExecLineChamfer(const std::string& text);
// The text Break takes once its entity is picked: BREAKLI, BREAKA2 or
// BREAKC2 with the reference, the entity's geometry and two CLICKs for the
// break points; "" for an entity that does not break.
std::string BuildBreakCommand(int32_t index);
bool ExecBreak(const std::string& text);

// The step-and-repeat commands of the drill and rout modes: the holes in a
// window, or the rout path picked, get their step lists created, edited,
// generated, copied, expanded or deleted.
void DefineStepCommands();

// The drill Edit conversions (single hole slot, hole to slot or circle, two
// holes to a slot) and the window tool change.
void DefineDrillConversionCommands();
// The compensation side of new rout paths and the cut-order moves Do
// First, Do Before and Do Last.
void DefineRoutOrderCommands();
// Duplicate Step & Repeat between the drill and rout databases.
void DefineDuplicateStepCommand();
// Handles of the start of the rout path that holds the entity picked as
// argument n (whichever entity of the path was picked), with the other
// pieces and break-off holes of a cut that tabs split (FindTabbedCut, cut
// order); null when none. left: the cut found, with the paths left out.
struct TTabbedCut;
TRootEntityHandle* PickedPathStart(const std::string& text, int n, TTabbedCut* left = nullptr);
// A list of every handle of those paths, in cut order; null when none.
TRootEntityHandle* PickedPath(const std::string& text, int n, TTabbedCut* left = nullptr);
