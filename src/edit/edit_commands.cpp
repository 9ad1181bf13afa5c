// The command table of the drawing and editing commands: number, text,
// prompts and executor of each, the snaps and settings, and the pick and
// highlight services the command language uses.
#include "edit/edit_commands.h"

#include <cmath>

#include "command/argument_command.h"
#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "command/command_text.h"
#include "command/measure_tool.h"
#include "command/user_panel.h"
#include "edit/cad_constructions.h"
#include "edit/cad_snaps.h"
#include "edit/entity_editors.h"
#include "foundation/display_units.h"
#include "foundation/geometry_points.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "routpath/cad_path_link.h"
#include "routpath/rout_tabs.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/drill_handles.h"
#include "model/rout_database.h"
#include "model/undo_journal.h"
#include "platform/message_box.h"

namespace {
using V = std::vector<std::string>;

uint8_t Mode() { return ECO != nullptr ? ECO->Mode() : 2; }


void Define(int32_t number, const std::string& text, const std::string& title, const V& prompts,
            TCommandExecutor execute, bool repeat = false, TBandKind band = bandNone,
            double low = -1e9, double high = 1e9) {
  TArgumentCommandDef def;
  def.Text = text;
  def.Title = title;
  def.Prompts = prompts;
  def.Execute = std::move(execute);
  def.Repeat = repeat;
  def.Band = band;
  def.Low = low;
  def.High = high;
  DefineArgumentCommand(number, def);
}

void DefineSetting(int32_t number, const std::string& title, const std::string& prompt,
                   std::function<void(double)> set, double low, double high) {
  TArgumentCommandDef def;
  def.Text = "SET(VALUE)";
  def.Title = title;
  def.Prompts = {prompt};
  def.Low = low;
  def.High = high;
  def.Execute = [set](const std::string& text) {
    double v = 0.0;
    if (!GetCommandReal(text, 1, v)) return false;
    set(v);
    return true;
  };
  DefineSettingCommand(number, def);
}

bool Journalled(bool added, const std::string& name) {
  if (added && ActiveUndo != nullptr) ActiveUndo->BeginOperation(name);
  return added;
}

// ---- Mode-dependent creation: CAD, rout or drill by the editor mode ----

bool AddLineByMode(const std::string& text) {
  const TIntPoint a = GetCommandPoint(text, 1), b = GetCommandPoint(text, 3);
  switch (Mode()) {
    case 0:
      return Journalled(DRDB != nullptr && DRDB->AddSlot(a.X, a.Y, b.X, b.Y, true) != 0, "Drill Slot");
    case 1:
      if (RTDB == nullptr) return false;
      RTDB->AddLineSegment(a, b, true, 0, 0);
      return Journalled(true, "Add Line");
    default: return ExecAddLine(text);
  }
}

bool AddRoutArc(const std::string& text, bool throughMiddle) {
  if (RTDB == nullptr) return false;
  const TIntPoint s = GetCommandPoint(text, 1), m = GetCommandPoint(text, 3), e = GetCommandPoint(text, 5);
  TIntPoint end = throughMiddle ? e : m;
  TRealPoint centre;
  if (throughMiddle) {
    // The centre of the circle through the three points.
    const double ax = s.X, ay = s.Y, bx = m.X, by = m.Y, cx = e.X, cy = e.Y;
    const double d = 2 * (ax * (by - cy) + bx * (cy - ay) + cx * (ay - by));
    if (d == 0.0) return false;
    centre.X = ((ax * ax + ay * ay) * (by - cy) + (bx * bx + by * by) * (cy - ay) +
                (cx * cx + cy * cy) * (ay - by)) / d;
    centre.Y = ((ax * ax + ay * ay) * (cx - bx) + (bx * bx + by * by) * (ax - cx) +
                (cx * cx + cy * cy) * (bx - ax)) / d;
    // Clockwise when the middle lies to the left of start -> end (the
    // points turn clockwise).
    const double turn = (double(m.X) - s.X) * (double(e.Y) - s.Y) - (double(m.Y) - s.Y) * (double(e.X) - s.X);
    RTDB->AddArcSegment(s, true, end, turn < 0, 0, 0,
                        {SaturatingRound(centre.X), SaturatingRound(centre.Y)});
  } else {
    RTDB->AddArcSegment(s, true, end, false, 0, 0, e);
  }
  return Journalled(true, "Add Arc");
}

bool AddCircleByMode(const std::string& text) {
  const TIntPoint c = GetCommandPoint(text, 1), p = GetCommandPoint(text, 3);
  const int32_t r = SaturatingRound(std::hypot(double(p.X) - c.X, double(p.Y) - c.Y));
  if (r == 0) return false;
  if (Mode() == 0)
    return Journalled(DRDB != nullptr && DRDB->AddCircle(c.X, c.Y, r, true) != 0, "Drill Circle");
  if (Mode() == 1) {
    if (RTDB == nullptr) return false;
    RTDB->AddCircleAndDraw(c, p, 0);
    return Journalled(true, "Add Circle");
  }
  return ExecAddCircle(text);
}

bool AddHoleByMode(const std::string& text) {
  const TIntPoint p = GetCommandPoint(text, 1);
  if (Mode() == 1) {
    if (RTDB == nullptr) return false;
    RTDB->AddHoleAndDraw(p);
    return Journalled(true, "Drill Hole");
  }
  return Journalled(DRDB != nullptr && DRDB->AddHole(p.X, p.Y, true) != 0, "Drill Hole");
}

bool AddRoutRectangle(const std::string& text) {
  if (RTDB == nullptr) return false;
  const TIntPoint a = GetCommandPoint(text, 1), b = GetCommandPoint(text, 3);
  RTDB->AddLineSegment(a, {b.X, a.Y}, false, 0, 0);
  RTDB->InsertLineSegment(b, false, 0, 0);
  RTDB->InsertLineSegment({a.X, b.Y}, false, 0, 0);
  RTDB->InsertLineSegment(a, true, 0, 0);
  return Journalled(true, "Add Rectangle");
}

bool AddDrillText(const std::string& text) {
  const TIntPoint p = GetCommandPoint(text, 1);
  const std::string words = GetCommandArgument(text, 3);
  return Journalled(DRDB != nullptr && !words.empty() && DRDB->AddText(p.X, p.Y, words, false, true) != 0,
                    "Drill Text");
}

// ---- Services ----

int32_t PickByMode(int32_t x, int32_t y, int32_t aperture, uint8_t mode) {
  int32_t found = 0;
  switch (mode) {
    case 0: {
      // Repeated picks at one spot step through the drill entities stacked
      // there; the cross mark and the notice of several items show where.
      TDrillHandle* list = nullptr;
      int32_t distance = 0;
      if (DRDB != nullptr && DRDB->PickCycle(aperture, x, y, distance, list, true) && list != nullptr) {
        found = list->Index;
        DRDB->ShowPickMarks();
      }
      FreeObjectList<TRootEntityHandle>(list);
      break;
    }
    case 1: {
      TRootEntityHandle* list = nullptr;
      int32_t distance = 0;
      if (RTDB != nullptr && RTDB->PickNearest(aperture, {x, y}, false, list, distance) && list != nullptr)
        found = list->Index;
      FreeObjectList(list);
      break;
    }
    default: {
      TRootEntityHandle* handle = nullptr;
      int32_t distance = 0;
      if (DB != nullptr && DB->PickNearest(aperture, x, y, true, handle, distance) && handle != nullptr)
        found = handle->Index;
      FreeObjectList(handle);
      break;
    }
  }
  return found;
}

void HighlightByMode(int32_t index, bool on, uint8_t mode) {
  if (mode != 2 || DB == nullptr) return;
  if (TCadEntity* e = DB->EntityAt(index)) {
    if (on)
      e->DrawColour(HighlightColor);
    else
      DB->DrawEntity(index);
  }
}

void DefineCadCreation() {
  Define(86, "ADDPOINT(CLICK)", "Create Point", {"Select point location"}, ExecAddPoint, true,
         bandCrossHair);
  Define(59, "ADDLINE(CLICK,CLICK)", "Create Line", {"Select line start point", "Select line end point"},
         AddLineByMode, true, bandLine);
  Define(91, "ADDRECTANGLE(CLICK,CLICK)", "Create Rectangle",
         {"Select first corner", "Select opposite corner"}, ExecAddRectangle, true, bandRectangle);
  Define(9, "ADDBRC(CLICK,CLICK,CLICK)", "Create 2-Point Arc",
         {"Select arc start point", "Select arc end point", "Select arc center"},
         [](const std::string& t) { return Mode() == 1 ? AddRoutArc(t, false) : ExecAddArcByEnds(t); },
         true, bandArcEnds);
  Define(10, "ADDARC(CLICK,CLICK,CLICK)", "Create 3-Point Arc",
         {"Select arc start point", "Select a point on the arc", "Select arc end point"},
         [](const std::string& t) { return Mode() == 1 ? AddRoutArc(t, true) : ExecAddArcThroughPoints(t); },
         true, bandArcThrough);
  Define(21, "ADDCIRCLE(CLICK,CLICK)", "Create Circle", {"Select circle center", "Select a point on the circle"},
         AddCircleByMode, true, bandCircle);
  Define(114, "ADDTEXT(CLICK,VALUE,TEXT)", "Text Add",
         {"Select text position", "Enter character height", "Enter text"}, ExecAddText, true, bandNone,
         0.0001, 1000.0);
}

void DefineDrillAndRoutCreation() {
  Define(26, "ADDHOLE(CLICK)", "Drill Hole", {"Select hole location"}, AddHoleByMode, true,
         bandCrossHair);
  Define(30, "ADDLINE(CLICK,CLICK)", "Drill Slot", {"Select slot start point", "Select slot end point"},
         AddLineByMode, true, bandLine);
  Define(23, "ADDCIRCLE(CLICK,CLICK)", "Drill Circle", {"Select circle center", "Select a point on the circle"},
         AddCircleByMode, true, bandCircle);
  Define(31, "ADDTEXT(CLICK,TEXT)", "Drill Text", {"Select text position", "Enter text"}, AddDrillText, true);
  Define(43, "ADDCIRCLE(CLICK,CLICK)", "G32/G33 Circle", {"Select circle center", "Select a point on the circle"},
         AddCircleByMode, true, bandCircle);
  Define(53, "ADDINSIDERECTANGLE(CLICK,CLICK)", "Create Inside Rectangle",
         {"Select first corner", "Select opposite corner"}, AddRoutRectangle, true, bandRectangle);
  Define(96, "ADDOUTSIDERECTANGLE(CLICK,CLICK)", "Create Outside Rectangle",
         {"Select first corner", "Select opposite corner"}, AddRoutRectangle, true, bandRectangle);
}

void DefineWindowEdits() {
  const V window = {"Select first corner of window", "Select opposite corner of window"};
  auto edit = [](const std::string& t) { return ExecWindowEdit(t, Mode()); };
  auto with = [&window](const V& more) {
    V all = window;
    all.insert(all.end(), more.begin(), more.end());
    return all;
  };
  Define(127, "EDITDELETE(CLICK,CLICK)", "Window Erase", window, edit, false, bandRectangle);
  Define(131, "EDITOUTSIDEDELETE(CLICK,CLICK)", "Window Delete Outside", window, edit, false, bandRectangle);
  Define(130, "EDITMOVE(CLICK,CLICK,CLICK,CLICK)", "Window Move",
         with({"Select base point", "Select new location"}), edit, false, bandRectangle);
  Define(126, "EDITCOPY(CLICK,CLICK,CLICK,CLICK)", "Window Copy",
         with({"Select base point", "Select new location"}), edit, false, bandRectangle);
  Define(132, "EDITSTRETCH(CLICK,CLICK,CLICK,CLICK)", "Window Stretch",
         with({"Select base point", "Select new location"}), edit, false, bandRectangle);
  Define(111, "EDITSCALE(CLICK,CLICK,CLICK,VALUE)", "Window Scale",
         with({"Select base point", "Enter scale factor"}), edit, false, bandRectangle, 0.0001, 10000.0);
  Define(128, "EDITFLIP(CLICK,CLICK)", "Window Flip", window, edit, false, bandRectangle);
  Define(129, "EDITMIRROR(CLICK,CLICK,CLICK,CLICK)", "Window Mirror",
         with({"Select first point of mirror line", "Select second point of mirror line"}), edit, false,
         bandRectangle);
  Define(95, "EDITROTATE(CLICK,CLICK,CLICK,VALUE)", "Rotate",
         with({"Select center of rotation", "Enter angle (degrees counter-clockwise)"}), edit, false,
         bandRectangle, -360.0, 360.0);
  Define(89, "EDITRADIAL(CLICK,CLICK,CLICK,VALUE,VALUE)", "Radial Copy",
         with({"Select center", "Enter number of copies", "Enter angle between copies"}), edit, false,
         bandRectangle, -360.0, 360.0);
  Define(63, "EDITMATRIX(CLICK,CLICK,VALUE,VALUE,VALUE,VALUE)", "Matrix Copy",
         with({"Enter number of columns", "Enter number of rows", "Enter column distance",
               "Enter row distance"}),
         edit, false, bandRectangle);
}

// A tangent or perpendicular as the first point: the token of the picked
// entity and, for the rubber band, the pick's foot on it.
bool DeferRound(const std::string& text, const TIntPoint& at, bool tangent, std::string& token,
                TIntPoint& point) {
  const int32_t index = GetCommandEntityRef(text, 1);
  token = BuildPerpDefText(index, at.X, at.Y, tangent);
  TCadEntity* e = DB != nullptr ? DB->EntityAt(index) : nullptr;
  if (token.empty() || e == nullptr) {
    InformationBox(tangent ? "Tangent needs an arc or a circle." : "Perpendicular needs a point to start from.");
    return false;
  }
  e->PerpPoint(at, point);
  return true;
}

void DefineSnaps() {
  DefineSnapCommand(100, "POSEND(PICK)", "Snap Closest Endpoint", {"Pick entity near its end"},
                    [](const std::string& t, const TIntPoint*, const TIntPoint& at, TIntPoint& p) {
                      return EvalPosEnd(t, at, p);
                    });
  DefineSnapCommand(104, "POSINTER(PICK,PICK)", "Snap Intersection",
                    {"Pick first entity", "Pick second entity near the intersection"},
                    [](const std::string& t, const TIntPoint*, const TIntPoint& at, TIntPoint& p) {
                      return EvalPosInter(t, at, p);
                    });
  DefineSnapCommand(106, "POSMID(PICK)", "Snap Midpoint", {"Pick entity"},
                    [](const std::string& t, const TIntPoint*, const TIntPoint&, TIntPoint& p) {
                      return EvalPosMid(t, p);
                    });
  DefineSnapCommand(107, "POSCTR(PICK)", "Snap Arc-Circle Center", {"Pick arc or circle"},
                    [](const std::string& t, const TIntPoint*, const TIntPoint&, TIntPoint& p) {
                      return EvalPosCtr(t, p);
                    });
  // Given as the first point, tangent, perpendicular and parallel wait for
  // the next point, which settles them.
  SetConstructionResolver(ResolveConstruction);
  DefineSnapCommand(110, "POSTAN1(PICK)", "Snap Tangent", {"Pick arc or circle near the tangent point"},
                    [](const std::string& t, const TIntPoint* last, const TIntPoint& at, TIntPoint& p) {
                      return EvalTangentPoint(t, last, at, p);
                    },
                    [](const std::string& t, const TIntPoint& at, std::string& token, TIntPoint& p) {
                      return DeferRound(t, at, true, token, p);
                    });
  DefineSnapCommand(108, "POSPERP2(PICK)", "Snap Perpendicular", {"Pick entity"},
                    [](const std::string& t, const TIntPoint* last, const TIntPoint&, TIntPoint& p) {
                      return EvalPerpPoint(t, last, p);
                    },
                    [](const std::string& t, const TIntPoint& at, std::string& token, TIntPoint& p) {
                      return DeferRound(t, at, false, token, p);
                    });
  DefineSnapCommand(105, "POSPAR1(PICK,VALUE)", "Snap Parallel",
                    {"Pick line on the side of the parallel", "Enter distance of the parallel"},
                    [](const std::string& t, const TIntPoint*, const TIntPoint& at, TIntPoint& p) {
                      return ResolveParallelSnap(t, at, p);
                    },
                    BuildParallelToken);
}

// Add Tab: a picked rout line or arc and a point beside it.
bool ExecAddTab(const std::string& text) {
  if (ECO == nullptr || ECO->Mode() != 1) {
    MessageBeep(MB_OK);
    return false;
  }
  const int32_t index = GetCommandEntityRef(text, 1);
  TRoutEntity* e = RTDB != nullptr ? RTDB->EntityAt(index) : nullptr;
  if (e == nullptr || (e->GetType() != etRoutLine && !IsArcType(e->GetType()))) {
    MessageBeep(MB_OK);
    return false;
  }
  AddTabAt(index, GetCommandPoint(text, 2));
  return true;
}

void DefineModify() {
  Define(7, "ADDTAB(PICK,CLICK)", "Add Tab", {"Select Entity", "Select Perpendicular Point"}, ExecAddTab,
         true);
  Define(94, "LINETRIM(PICKAT,PICKAT)", "Trim Line",
         {"Pick boundary", "Pick line to trim or extend on the part to keep"}, ExecLineTrim, true);
  Define(54, "LINEMEET(PICKAT,PICKAT)", "Join Lines",
         {"Pick first line on the part to keep", "Pick second line on the part to keep"}, ExecLineMeet, true);
  TArgumentCommandDef breaking;
  breaking.Text = "BREAK(PICK)";
  breaking.Title = "Object Break";
  breaking.Prompts = {"Pick entity to break", "Select first break point", "Select second break point"};
  breaking.Execute = ExecBreak;
  breaking.Repeat = true;
  breaking.PickMode = 2;
  breaking.Expand = [](const std::string& t) { return BuildBreakCommand(GetCommandEntityRef(t, 1)); };
  DefineArgumentCommand(75, breaking);
  Define(15, "LINECHAMFER(PICKAT,PICKAT)", "Chamfer Lines",
         {"Pick first line on the part to keep", "Pick second line on the part to keep"}, ExecLineChamfer, true);
  Define(40, "LINEFILLET(PICKAT,PICKAT)", "Fillet Lines",
         {"Pick first line on the part to keep", "Pick second line on the part to keep"}, ExecLineFillet, true);
  DefineSetting(42, "Fillet Radius", "Enter fillet radius",
                [](double v) { FilletRadius = v * UnitsPerDisplayUnit; }, 0.0, 1000.0);
  DefineSetting(12, "Chamfer Distance", "Enter first chamfer distance",
                [](double v) { ChamferDistanceA = v * UnitsPerDisplayUnit; }, 0.0, 1000.0);
  DefineSetting(11, "Chamfer Distance", "Enter second chamfer distance",
                [](double v) { ChamferDistanceB = v * UnitsPerDisplayUnit; }, 0.0, 1000.0);
  DefineSetting(74, "Ortho Angle", "Enter ortho angle (degrees)",
                [](double v) {
                  if (ECO != nullptr) ECO->OrthoAngle = v;
                },
                -360.0, 360.0);
  // Ortho turns on and off at each press.
  DefineCommand(80, "ORTHO", [] {
    if (ECO == nullptr) return false;
    ECO->Ortho = !ECO->Ortho;
    return true;
  });
}

void DefineChecks() {
  Define(78, "INSPECT(PICK)", "Object Inspect", {"Pick entity to inspect"},
         [](const std::string& t) {
           const int32_t index = GetCommandEntityRef(t, 1);
           if (ECO != nullptr && ECO->StartEntityEdit(index)) return true;
           MessageBeep(MB_OK);  // nothing there that can be edited
           return false;
         });
  DefineCommand(64, "MEASURE(CLICK)", StartMeasure);
  TArgumentCommandDef path;
  path.Text = "TESTPATH(PICKAT)";
  path.Title = "Test Path";
  path.Prompts = {"Pick entity of the path near the end to follow from"};
  path.PickMode = 2;
  path.Repeat = true;
  path.Execute = [](const std::string& text) {
    const int32_t index = GetCommandEntityRef(text, 1);
    if (DB == nullptr || DB->EntityAt(index) == nullptr) return false;
    TRootEntityHandle* handle = new TCadHandle(index);
    LinkPathAndReport(handle, GetCommandPoint(text, 2));
    FreeObjectList(handle);
    return true;
  };
  DefineArgumentCommand(119, path);
}
}  // namespace

void DefineEditCommands() {
  CommandServices.Pick = PickByMode;
  CommandServices.Highlight = HighlightByMode;
  DefineCadCreation();
  DefineDrillAndRoutCreation();
  DefineWindowEdits();
  DefineSnaps();
  DefineModify();
  DefineChecks();
  DefineStepCommands();
  DefineDrillConversionCommands();
  DefineRoutOrderCommands();
  DefineDuplicateStepCommand();
  InstallEntityEditors();
}
