// Linking CAD paths: a chain of CAD lines and arcs joined end to end,
// followed from one picked entity through the endpoint grid. The path test
// command, pocket routs, automatic routs inside and outside a part and
// profile following start here.
//
// A path is a list of CAD handles in path order, starting with the picked
// entity; the linking appends a handle for every entity it follows.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/geometry.h"
#include "model/root_entity.h"

// The texts of the outcomes 0 (closed), 1 (open), 2 (halted at a junction)
// and any other value.
constexpr const char* LinkedClosedText = "Linked closed path...";
constexpr const char* LinkedOpenText = "Linked open path...";
constexpr const char* LinkHaltedText = "Halted due to multiple paths...";
constexpr const char* LinkUndefinedText = "Undefined result...";
std::string LinkResultText(uint8_t outcome);

// Follows the path from its first handle on that entity's layer, two ends
// joining when nearer than 76,200 units. direction true follows from the
// first defining point's side. With draw, each linked entity is painted
// white as it is found, a junction asks the user (when the command
// interpreter can take the pick), and the whole path ends highlighted.
// text receives the outcome's text cut to maxLength characters. Returns the
// outcome (255 and "Undefined result..." for an empty list).
uint8_t LinkPath(bool draw, TRootEntityHandle*& path, int32_t maxLength, std::string& text,
                 bool direction);

// True when the handled entity's first defining point is strictly nearer to
// the pick than its second (lines and arcs; false for other entities).
bool ChooseLinkDirection(TRootEntityHandle* handle, const TIntPoint& pick);

// The path test command: links from the handle in the direction of the pick,
// shows the outcome in an information box and redraws the path in its layer
// colours. The handles appended stay on the caller's list.
void LinkPathAndReport(TRootEntityHandle* handle, const TIntPoint& pick);

// Links the path in the direction of the pick (returned in direction), with
// drawing; true when it linked a closed or an open path. False for an empty
// list.
bool LinkPathQuiet(TRootEntityHandle*& path, const TIntPoint& pick, bool& direction);

// Links the path from the second defining point's side; true only for a
// closed path. False for an empty list.
bool LinkClosedPathTest(TRootEntityHandle*& path, bool draw);
