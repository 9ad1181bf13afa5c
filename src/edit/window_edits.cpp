// The window edits of the three modes: the entities inside (or outside) a
// window given by two corners are erased, moved, copied, stretched,
// scaled, flipped, mirrored, rotated or copied around a centre or in rows
// and columns.
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "command/command_text.h"
#include "edit/edit_commands.h"
#include "foundation/geometry_matrix.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/drill_handles.h"
#include "model/job_file_writer.h"
#include "model/rout_database.h"
#include "model/undo_journal.h"
#include "platform/message_box.h"

namespace {
TRealPoint RealArg(const std::string& text, int n) {
  const TIntPoint p = GetCommandPoint(text, n);
  return {double(p.X), double(p.Y)};
}
double NumberArg(const std::string& text, int n) {
  double v = 0.0;
  GetCommandReal(text, n, v);
  return v;
}

// Reflection across the line through p and q.
TMatrix3 ReflectionAcross(const TRealPoint& p, const TRealPoint& q) {
  const double dx = q.X - p.X, dy = q.Y - p.Y;
  const double len = std::hypot(dx, dy);
  TMatrix3 m = IdentityMatrix;
  if (len == 0.0) return m;
  const double ux = dx / len, uy = dy / len;
  m(1, 1) = ux * ux - uy * uy;
  m(1, 2) = 2 * ux * uy;
  m(2, 1) = 2 * ux * uy;
  m(2, 2) = uy * uy - ux * ux;
  m(3, 1) = p.X - (m(1, 1) * p.X + m(2, 1) * p.Y);
  m(3, 2) = p.Y - (m(1, 2) * p.X + m(2, 2) * p.Y);
  return m;
}

// A counter-clockwise rotation by degrees about c.
TMatrix3 RotationBy(const TRealPoint& c, double degrees) {
  TMatrix3 m = IdentityMatrix;
  RotateMatrix2D(c, m, -degrees);
  return m;
}

TMatrix3 Translation(double dx, double dy) {
  TMatrix3 m = IdentityMatrix;
  TranslateMatrix2D(m, dx, dy);
  return m;
}

void TellRefused(bool failed) {
  if (failed)
    WarningBox("Some entities would leave the drawing area: they were left where they were.");
}
}  // namespace

TRootEntityHandle* SelectWindowByMode(uint8_t mode, const TIntPoint& a, const TIntPoint& b, bool outside) {
  TRootEntityHandle* list = nullptr;
  switch (mode) {
    case 0: {
      TDrillHandle* drills = nullptr;
      if (DRDB != nullptr) DRDB->SelectInWindow(a.X, a.Y, b.X, b.Y, outside ? 1 : 0, drills, true);
      list = drills;
      break;
    }
    case 1:
      if (RTDB != nullptr) RTDB->SelectInWindow(a, b, false, list, outside ? 1 : 0);
      break;
    default:
      if (DB != nullptr) DB->SelectInWindow(a, b, true, outside ? 1 : 0, list);
      break;
  }
  return list;
}

TRootEntityHandle* NewDrillHandle(int32_t index) { return new TDrillHandle(index); }

// Texts: word(x1,y1,x2,y2, ...) with the window's corners first; then
// EDITMOVE / EDITCOPY / EDITSTRETCH: base and destination points;
// EDITSCALE: base point and factor; EDITMIRROR: two points of the mirror
// line; EDITROTATE: centre and angle (degrees counter-clockwise);
// EDITRADIAL: centre, number of copies and the angle between them;
// EDITMATRIX: columns, rows, column and row distances (display units).
bool ExecWindowEdit(const std::string& text, uint8_t mode) {
  const std::string word = CommandWord(text);
  const TIntPoint c1 = GetCommandPoint(text, 1), c2 = GetCommandPoint(text, 3);
  const bool outside = word == "EDITOUTSIDEDELETE";
  const bool stretch = word == "EDITSTRETCH" && mode == 2 && DB != nullptr;
  TRootEntityHandle* list = nullptr;
  TRootEntityHandle* crossing = nullptr;
  if (stretch)
    DB->SelectInWindowForStretch(c1, c2, 0, list, crossing);
  else
    list = SelectWindowByMode(mode, c1, c2, outside);
  if (list == nullptr && crossing == nullptr) {
    MessageBeep(MB_OK);
    return false;
  }
  const uint8_t layer = CurrentLayer;
  bool failed = false;
  std::string name;
  // A move or copy of stepped entities gives each its pattern transformed:
  // refused whole, with the box, when the job's patterns would come to more
  // than a job file holds.
  std::vector<TStepObject*> chains;
  std::vector<int64_t> drawn;
  std::vector<std::vector<TIntPoint>> reach;
  if (list != nullptr) list->MovedStepChains(chains, drawn, reach);
  const bool stepped = std::any_of(chains.begin(), chains.end(), [](TStepObject* c) { return c != nullptr; });
  auto stepsFit = [&](int64_t count, const std::function<TMatrix3(int64_t)>& matrixAt, bool copy) {
    if (!stepped || JobStepsTakeTransforms(chains, count, matrixAt, copy, drawn, reach)) return true;
    FreeObjectList(list);
    FreeObjectList(crossing);
    return false;
  };
  if (word == "EDITDELETE" || outside) {
    list->DeleteList();
    name = outside ? "Window Delete Outside" : "Window Erase";
  } else if (word == "EDITMOVE" || word == "EDITCOPY" || word == "EDITSTRETCH") {
    const TIntPoint from = GetCommandPoint(text, 5), to = GetCommandPoint(text, 7);
    const TMatrix3 m = Translation(double(to.X) - from.X, double(to.Y) - from.Y);
    if (!stepsFit(1, [&m](int64_t) { return m; }, word == "EDITCOPY")) return false;
    if (list != nullptr) list->TransformList(m, word == "EDITCOPY", failed, layer, false);
    if (crossing != nullptr)
      static_cast<TCadStretchHandle*>(crossing)->Stretch(m, failed, layer, false);
    name = word == "EDITMOVE" ? "Window Move" : word == "EDITCOPY" ? "Window Copy" : "Window Stretch";
  } else if (word == "EDITSCALE") {
    const double factor = NumberArg(text, 7);
    TMatrix3 m = IdentityMatrix;
    ScaleMatrix2D(RealArg(text, 5), m, factor, factor);
    if (factor <= 0.0 || GeoErrorCode != 0) {
      FreeObjectList(list);
      InformationBox("The scale factor must be above 0.");
      return false;
    }
    if (!stepsFit(1, [&m](int64_t) { return m; }, false)) return false;
    list->TransformList(m, false, failed, layer, false);
    name = "Window Scale";
  } else if (word == "EDITFLIP") {
    TMatrix3 m = IdentityMatrix;
    ScaleMatrix2D({(double(c1.X) + c2.X) / 2.0, (double(c1.Y) + c2.Y) / 2.0}, m, -1.0, 1.0);
    if (!stepsFit(1, [&m](int64_t) { return m; }, false)) return false;
    list->TransformList(m, false, failed, layer, false);
    name = "Window Flip";
  } else if (word == "EDITMIRROR") {
    const TRealPoint p = RealArg(text, 5), q = RealArg(text, 7);
    if (p == q) {
      FreeObjectList(list);
      InformationBox("The mirror line needs two different points.");
      return false;
    }
    if (!stepsFit(1, [&](int64_t) { return ReflectionAcross(p, q); }, true)) return false;
    list->TransformList(ReflectionAcross(p, q), true, failed, layer, false);
    name = "Window Mirror";
  } else if (word == "EDITROTATE") {
    const TMatrix3 m = RotationBy(RealArg(text, 5), NumberArg(text, 7));
    if (!stepsFit(1, [&m](int64_t) { return m; }, false)) return false;
    list->TransformList(m, false, failed, layer, false);
    name = "Rotate";
  } else if (word == "EDITRADIAL") {
    const int copies = int(NumberArg(text, 7));
    const double step = NumberArg(text, 8);
    if (!stepsFit(copies, [&](int64_t i) { return RotationBy(RealArg(text, 5), step * double(i + 1)); }, true))
      return false;
    for (int i = 1; i <= copies; ++i)
      list->TransformList(RotationBy(RealArg(text, 5), step * i), true, failed, layer, false);
    name = "Radial Copy";
  } else if (word == "EDITMATRIX") {
    const int columns = int(NumberArg(text, 5)), rows = int(NumberArg(text, 6));
    const double dx = NumberArg(text, 7) * UnitsPerDisplayUnit;
    const double dy = NumberArg(text, 8) * UnitsPerDisplayUnit;
    // The copies, row by row, the first place (the originals) left out.
    const int64_t places = columns > 0 && rows > 0 ? int64_t{columns} * rows : 0;
    auto place = [&](int64_t k) { return Translation(double((k + 1) % columns) * dx, double((k + 1) / columns) * dy); };
    if (!stepsFit(places - 1, place, true)) return false;
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < columns; ++c)
        if (r != 0 || c != 0) list->TransformList(Translation(c * dx, r * dy), true, failed, layer, false);
    name = "Matrix Copy";
  }
  FreeObjectList(list);
  FreeObjectList(crossing);
  TellRefused(failed);
  if (ActiveUndo != nullptr && !name.empty()) ActiveUndo->BeginOperation(name);
  return !name.empty();
}
