// The drill Edit conversions and the window tool change: a slot of the
// drilled-slot length and angle dropped at a point, a picked hole turned
// into such a slot or into a drilled circle, two picked holes joined into
// one slot, and every hit in a window given a new tool. The new entities
// take the current tool and layer; each run is one step of DrillUndo.
#include <cmath>

#include "command/argument_command.h"
#include "command/command_interpreter.h"
#include "command/command_text.h"
#include "edit/edit_commands.h"
#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "model/drill_handles.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/tool_tables.h"
#include "platform/message_box.h"

namespace {

bool InDrillMode() { return ECO != nullptr && ECO->Mode() == 0 && DRDB != nullptr && DrillUndo != nullptr; }

// The picked entity when it is a live hole on an active layer, else 0 (with
// a beep). The pick cycle also reaches the layers that are only displayed;
// what lies there is shown, not changed.
int32_t PickedHole(const std::string& text, int n) {
  const int32_t index = GetCommandEntityRef(text, n);
  TDrillEntity* e = DRDB->EntityAt(index);
  if (e == nullptr || e->GetType() != etDrillHole || SlotDeleted(DRDB->WordAt(index)) ||
      !SlotInMask(DRDB->WordAt(index), ActiveNCLayerMask)) {
    MessageBeep(MB_OK);
    return 0;
  }
  return index;
}

// Closes the operation when the store grew, which is how the replacements
// report success.
bool Closed(int32_t countBefore, const std::string& name) {
  if (DrillEntityCount == countBefore) return false;
  DrillUndo->BeginOperation(name);
  return true;
}

bool SingleHoleSlot(const std::string& text) {
  if (!InDrillMode()) return false;
  const TIntPoint p = GetCommandPoint(text, 1);
  double dx = 0, dy = 0;
  PolarToRect(DRDB->DrilledSlots.Length / 2, DRDB->DrilledSlots.Angle, dx, dy);
  const int64_t ix = SaturatingRound(dx), iy = SaturatingRound(dy);
  const int32_t n = DRDB->AddSlot(ClampCompToInt(p.X - ix), ClampCompToInt(p.Y - iy), ClampCompToInt(p.X + ix),
                                  ClampCompToInt(p.Y + iy), true);
  if (n == 0) return false;
  DrillUndo->BeginOperation("Single Hole Slot");
  return true;
}

bool ConvertHole(const std::string& text, bool toCircle) {
  if (!InDrillMode()) return false;
  const int32_t index = PickedHole(text, 1);
  if (index == 0) return false;
  const int32_t before = DrillEntityCount;
  TDrillHandle handle(index);
  if (toCircle)
    DRDB->HoleToCircle(&handle);
  else
    DRDB->HoleToSlot(&handle);
  return Closed(before, toCircle ? "Hole to Circle" : "Convert Hole to Slot");
}

bool ConvertTwoHoles(const std::string& text) {
  if (!InDrillMode()) return false;
  const int32_t first = PickedHole(text, 1);
  if (first == 0) return false;
  const int32_t second = PickedHole(text, 2);
  if (second == 0) return false;
  if (second == first) {
    MessageBeep(MB_OK);
    return false;
  }
  const int32_t before = DrillEntityCount;
  TDrillHandle a(first), b(second);
  DRDB->JoinHolesIntoSlot(&a, &b);
  return Closed(before, "Two Holes to Slot");
}

// Every hit in the window whose tool differs gets the new tool: the old
// entity is deleted and a clone with the tool appended, both journalled.
bool WindowToolChange(const std::string& text) {
  if (!InDrillMode()) return false;
  double typed = 0.0;
  if (!GetCommandReal(text, 5, typed)) return false;
  const int32_t tool = SaturatingRound(typed);
  if (!CheckDrillTool(tool)) return false;
  TRootEntityHandle* list = SelectWindowByMode(0, GetCommandPoint(text, 1), GetCommandPoint(text, 3), false);
  if (list == nullptr) {
    MessageBeep(MB_OK);
    return false;
  }
  // The hits of another tool, in window order.
  TRootEntityHandle* differing = nullptr;
  TRootEntityHandle** tail = &differing;
  for (TRootEntityHandle* h = list; h != nullptr; h = h->Next) {
    TDrillEntity* e = DRDB->EntityAt(h->Index);
    if (e == nullptr || e->GetToolNumber() == tool) continue;
    *tail = new TDrillHandle(h->Index);
    tail = &(*tail)->Next;
  }
  FreeObjectList(list);
  if (differing == nullptr) return false;
  const int32_t before = DrillEntityCount;
  CopySelectionToLayer(static_cast<TDrillHandle*>(differing), false, tool, false, 0);
  FreeObjectList(differing);
  if (DrillEntityCount == before) return false;
  ActiveTools[tool] = true;
  DrillUndo->BeginOperation("Window Tool Change");
  return true;
}

void Define(int32_t number, const std::string& text, const std::string& title,
            const std::vector<std::string>& prompts, TCommandExecutor execute, TBandKind band = bandNone,
            double low = -1e9, double high = 1e9) {
  TArgumentCommandDef def;
  def.Text = text;
  def.Title = title;
  def.Prompts = prompts;
  def.Execute = std::move(execute);
  def.Repeat = true;
  def.Band = band;
  def.Low = low;
  def.High = high;
  def.PickMode = 0;
  DefineArgumentCommand(number, def);
}
}  // namespace

void DefineDrillConversionCommands() {
  Define(103, "ADDSINGLEHOLESLOT(CLICK)", "Single Hole Slot", {"Select slot center"}, SingleHoleSlot);
  Define(50, "CONXSINGLEHOLESLOT(PICK)", "Convert Single Hole To Slot", {"Pick hole to convert"},
         [](const std::string& t) { return ConvertHole(t, false); });
  Define(13, "CONDOUBLEHOLETOSLOT(PICK,PICK)", "Convert Holes to Slot",
         {"Pick hole at the start of the slot", "Pick hole at the end of the slot"}, ConvertTwoHoles);
  Define(44, "CONQSINGLEHOLECIRCLE(PICK)", "Convert Hole To Circle", {"Pick hole to convert"},
         [](const std::string& t) { return ConvertHole(t, true); });
  Define(115, "EDITNEWTOOL(CLICK,CLICK,VALUE)", "Window Tool Change",
         {"Select first corner of window", "Select opposite corner of window", "Enter new tool number"},
         WindowToolChange, bandRectangle, 1.0, 1000.0);
}
