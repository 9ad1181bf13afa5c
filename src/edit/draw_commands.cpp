// The CAD creation commands: point, line, rectangle, arcs, circle, text.
#include <cmath>

#include "command/command_text.h"
#include "edit/edit_commands.h"
#include "foundation/display_units.h"
#include "foundation/geometry_points.h"
#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/undo_journal.h"
#include "platform/message_box.h"

std::function<void(const std::string&, const TIntPoint&, int32_t, const TStrokeLineSink&)>
    StrokeTextLines;

namespace {

// Closes the step when something was added.
bool Step(bool added, const std::string& name) {
  if (added && ActiveUndo != nullptr) ActiveUndo->BeginOperation(name);
  return added;
}
}  // namespace

bool ExecAddPoint(const std::string& text) {
  if (DB == nullptr) return false;
  const TIntPoint p = GetCommandPoint(text, 1);
  return Step(DB->AddPoint(p.X, p.Y) != 0, "Add Point");
}

bool ExecAddLine(const std::string& text) {
  if (DB == nullptr) return false;
  const TIntPoint a = GetCommandPoint(text, 1), b = GetCommandPoint(text, 3);
  return Step(DB->AddLine(a.X, a.Y, b.X, b.Y) != 0, "Add Line");
}

bool ExecAddRectangle(const std::string& text) {
  if (DB == nullptr) return false;
  const TIntPoint a = GetCommandPoint(text, 1), b = GetCommandPoint(text, 3);
  if (a.X == b.X || a.Y == b.Y) return Step(DB->AddLine(a.X, a.Y, b.X, b.Y) != 0, "Add Rectangle");
  bool added = DB->AddLine(a.X, a.Y, b.X, a.Y) != 0;
  added = DB->AddLine(b.X, a.Y, b.X, b.Y) != 0 && added;
  added = DB->AddLine(b.X, b.Y, a.X, b.Y) != 0 && added;
  added = DB->AddLine(a.X, b.Y, a.X, a.Y) != 0 && added;
  return Step(added, "Add Rectangle");
}

// Start, end and centre: counter-clockwise from start to end about the
// centre; the end is brought onto the start's circle.
bool ExecAddArcByEnds(const std::string& text) {
  if (DB == nullptr) return false;
  const TIntPoint s = GetCommandPoint(text, 1), e = GetCommandPoint(text, 3), c = GetCommandPoint(text, 5);
  const TRealPoint rc{double(c.X), double(c.Y)};
  const double r = Distance(rc, {double(s.X), double(s.Y)});
  const double de = Distance(rc, {double(e.X), double(e.Y)});
  if (r == 0.0 || de == 0.0) {
    InformationBox("An arc needs a centre apart from its ends.");
    return false;
  }
  const TIntPoint end{SaturatingRound(c.X + (e.X - c.X) * r / de),
                      SaturatingRound(c.Y + (e.Y - c.Y) * r / de)};
  return Step(DB->AddArc(s, end, c) != 0, "Add Arc");
}

bool ExecAddArcThroughPoints(const std::string& text) {
  if (DB == nullptr) return false;
  return Step(DB->AddArcThroughPoints(GetCommandPoint(text, 1), GetCommandPoint(text, 3), GetCommandPoint(text, 5)) != 0,
              "Add Arc");
}

bool ExecAddCircle(const std::string& text) {
  if (DB == nullptr) return false;
  const TIntPoint c = GetCommandPoint(text, 1), p = GetCommandPoint(text, 3);
  if (c == p) {
    InformationBox("A circle needs a radius.");
    return false;
  }
  return Step(DB->AddCircleThroughPoint(c, p) != 0, "Add Circle");
}

// Position, character height (display units), text: the text's strokes
// become lines.
bool ExecAddText(const std::string& text) {
  if (DB == nullptr || !StrokeTextLines) return false;
  double height = 0.0;
  if (!GetCommandReal(text, 3, height) || height <= 0.0) return false;
  const std::string words = GetCommandArgument(text, 4);
  if (words.empty()) return false;
  bool added = false;
  StrokeTextLines(words, GetCommandPoint(text, 1), SaturatingRound(height * UnitsPerDisplayUnit),
                  [&added](const TIntPoint& a, const TIntPoint& b) {
                    if (DB->AddLine(a.X, a.Y, b.X, b.Y) != 0) added = true;
                  });
  return Step(added, "Add Text");
}
