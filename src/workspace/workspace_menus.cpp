// The main window's three mode menus and the "Working..." menu.
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "dnc/dnc_server.h"
#include "edit/layer_to_cad.h"
#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "import/import_frame.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/drill_tools.h"
#include "platform/message_box.h"
#include "plot/plot_commands.h"
#include "plot/cad_export.h"
#include "tapein/cad_import.h"
#include "tapein/drill_import_command.h"
#include "routpath/auto_rout.h"
#include "routpath/pocket_dialogs.h"
#include "routpath/expanded_slots.h"
#include "routpath/hole_spacing.h"
#include "routpath/auto_rout_settings_dialog.h"
#include "routpath/auto_tab_dialog.h"
#include "routpath/panel_origin_dialog.h"
#include "routpath/slot_settings_dialogs.h"
#include "model/rout_database.h"
#include "model/rout_edit.h"
#include "model/undo_journal.h"
#include "tapein/filter_lists.h"
#include "tapeout/rout_file_commands.h"
#include "tapeout/drill_tape_writer.h"
#include "tapeout/esi_laser_writer.h"
#include "tapeout/make_drill_tape.h"
#include "tapeout/rout_tape_writer.h"
#include "tapeout/tool_table_dialogs.h"
#include "workspace/error_inspector.h"
#include "workspace/job_file.h"
#include "workspace/layers.h"
#include "workspace/my_screen.h"
#include "workspace/small_dialogs.h"
#include "workspace/startup.h"
#include "workspace/statistics_reports.h"
#include "workspace/workspace.h"
#include "workspace/workspace_rout_services.h"

namespace {
// The Undo and Redo items of the three menus, by mode.
const char* const UndoItemNames[3] = {"Undo3", "Undo2", "UnDo1"};
const char* const RedoItemNames[3] = {"Redo3", "Redo2", "ReDo1"};
// The About item of each mode's File menu.
const char* const AboutCaptions[3] = {"About &VarovUvov", "A&bout ZuraZeru", "About &Pelmora"};

// The drawing area's activity; a drag of the view (Shift and the mouse)
// counts as the input it interrupted.
uint8_t ViewInput() {
  const uint8_t activity = ViewServices().Activity();
  return activity == acDragPan && MyScreen != nullptr ? MyScreen->PreviousActivity : activity;
}

// The input of its own that the drawing area runs, named for the hint
// strip, or null when none waits for the user (a modal dialog says so
// itself). The import placement is a command, but it holds its import
// hidden until it is placed: nothing else may run meanwhile either.
const char* PendingInputName() {
  const uint8_t activity = ViewInput();
  if (activity == acIdle)
    return ECO != nullptr && ECO->ActiveCommandNumber() == cmImportFinalize ? "import placement" : nullptr;
  return activity == acSingleStep       ? "single step"
         : activity == acPrintPlacement ? "plot placement"
         : activity == acMakeTapePick   ? "coupon pick"
         : activity == acWindowMarking  ? "marking of tooling hits"
                                        : nullptr;
}

// Beeps and says which input waits and how to end it.
void SayMenusWait(const char* what) {
  MessageBeep(MB_OK);
  SetApplicationHint(std::string("The menus wait until the ") + what + " ends: press Esc to stop it.");
}

// The view commands run under every input of the drawing area, which may
// need the view zoomed or moved to be given (a window zoom waits: it is a
// command of two clicks of its own).
bool IsViewCommand(int32_t command) {
  return command == cmZoomExtents || command == cmZoomOut || command == cmFullScreen || command == cmZoomPan;
}

// True while the drawing area is idle. Otherwise what the user chose waits:
// while the view runs an input of its own the hint strip says which and how
// to end it.
bool ViewIsFree() {
  const char* what = PendingInputName();
  if (what != nullptr) {
    SayMenusWait(what);
    return false;
  }
  return ViewServices().Activity() == acIdle;
}

// A command the user starts from a tool button, a typed code or a menu item
// waits as the menus do while an input of the drawing area is pending; the
// play commands step on during single step, and the view commands run
// under every input. A modal dialog presses what it needs.
bool UserCommandMayStart(int32_t command) {
  const char* what = PendingInputName();
  if (what == nullptr || IsViewCommand(command)) return true;
  const uint8_t activity = ViewInput();
  if (activity == acSingleStep &&
      (command == PlayNextCutCommand || command == PlayNextPathCommand || command == PlayBackCutCommand ||
       command == PlayBackPathCommand))
    return true;
  SayMenusWait(what);
  return false;
}

// What the user types or keys in for the waiting command (a point, a
// value, Enter or Delete in an entity edit, a field of the strip) waits
// while the drawing area takes an input of its own: the command stays as it
// was under the plot placement, the picks and single step. The import
// placement is the waiting command itself and takes its typed point.
bool CommandInputMayGo(bool sayWhy) {
  const uint8_t activity = ViewInput();
  if (activity == acIdle || activity == acModal) return true;
  const char* what = PendingInputName();
  if (what == nullptr) return true;
  if (sayWhy) SayMenusWait(what);
  return false;
}

// The number with its noun, "1 tool" or "3 tools".
std::string Counted(int64_t n, const std::string& one, const std::string& many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The tools the live drill entities use.
int32_t ToolsInUse() {
  if (DRDB == nullptr) return 0;
  std::vector<bool> used(kToolCount + 1, false);
  int32_t count = 0;
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    if (static_cast<int32_t>(DRDB->WordAt(i)) <= 0) continue;
    const TDrillEntity* e = DRDB->EntityAt(i);
    if (e == nullptr || !ValidToolNumber(e->GetToolNumber()) || used[e->GetToolNumber()]) continue;
    used[e->GetToolNumber()] = true;
    ++count;
  }
  return count;
}

// The entity count of the mode's database.
int32_t ModeEntityCount() {
  switch (EditorMode) {
    case emDrill: return DrillEntityCount;
    case emRout: return RoutEntityCount;
    default: return CadEntityCount;
  }
}

// The items of the three mode menus that act only while the drawing area
// is idle (by their names; an item of the same function has the same name
// in every menu). The files, the imports and exports, the reports and the
// dialogs of the modes' settings; and besides them those that change the
// job's entities, tools or the tapes made of them, as an input may hold an
// import not yet placed or a drill tape being made: the packs, Layer Erase,
// the copies to CAD, the tool sorts and tables, the expanded slots, the
// panel origin, the active tools, the ODB and laser files. Every other item
// acts at any time (the view settings, Refresh, Snap to Grid, the boxes of
// their own), and an item that presses a command leaves the choice to the
// command's gate, as its tool button does.
constexpr const char* IdleOnlyItems[] = {
    "ActiveTools1", "AutoLoadFeedsSpeeds1", "AutoRout1", "AutomaticCleanup1", "ConvertExpandedSlottoSlot1",
    "CutterConfig1", "DefaultToolTable1", "DoBefore1", "DoFirst1", "DoLast1", "EditToolTable1", "Export1",
    "Export2", "Filters1", "FullPanelAutoRoutConfig1", "FullPanelInlineRoutConfig1", "GetInfo1", "GetInfo2",
    "GetInfo3", "Import1", "Import2", "Inches1", "LayerErase1", "Layers1", "LoadToolTable1",
    "MakeDrillTape1", "MakeESILaserFile1", "MakeRoutTape1", "MergeSameSize1", "Millimeters1",
    "MoveLayertoCad1", "MoveLayertoCad2", "New1", "Open1", "OpenRoutTape1", "PackDatabase1",
    "PackDatabase2", "PackDatabase3", "PathLengthReport1", "Plot1", "PrinterSetup1", "QuickPrint1",
    "RemoveEmpties1", "RoutOutputFormat1", "Save1", "SaveAs1", "SaveToolTable1", "SetPanelOrigin1", "SingleStep1",
    "SortBigToolFirst1", "SortFewestHitsFirst1", "SortMostHitsFirst1", "SortSmallToolFirst1",
    "SpacingCheck1", "SwitchToLayer1", "Tabs1", "TextEditRout1", "Version1"};

bool IdleOnly(const std::string& name) {
  return std::any_of(std::begin(IdleOnlyItems), std::end(IdleOnlyItems),
                     [&name](const char* idle) { return name == idle; });
}

// Whether an item of the mode menus may be carried out now, however it was
// chosen (a click, its shortcut).
bool MenuItemMayRun(TMenuItem& item) {
  if (item.Tag != 0 || !IdleOnly(item.Name())) return true;
  return ViewIsFree();
}
// A display setting's menu item: its tick shows the setting, which the View
// menu refreshes whenever it drops down (the three menus show one setting).
struct TDisplayTick {
  TMenuItem* Item;
  std::function<bool()> Shown;
};

void Redraw() { ViewServices().RedrawView(); }

// A command whose file dialog comes first: the menus are locked while it
// is open, as for every dialog.
void RunInBracket(void (*command)()) {
  TModalBracket bracket;
  command();
}

// The swap filter tables, inside the window's modal bracket.
void RunFiltersDialog() {
  TModalBracket bracket;
  ExecuteSwapTablesDialog();
}

// The panel origin goes out with the job: a changed one is something to save.
void RunPanelOriginDialog() {
  TModalBracket bracket;
  // The marker is taken off at the old origin and put at the new one.
  if (DRDB != nullptr) DRDB->HideOriginMarker();
  if (ExecuteG93Dialog()) DatabaseModified = true;
  if (DRDB != nullptr) DRDB->ShowOriginMarker();
}

// The defaults of Single Hole Slot and Convert Hole to Slot (angle and
// length) and of Convert Hole to Circle (radius); each dialog stores what
// it was given on OK.
void ConfigureDrilledSlots() { ExecuteSlotConfigDialog(); }
void ConfigureDrilledCircles() { ExecuteCircleConfigDialog(); }

// An item that flips a Boolean setting, ticks it and redraws.
TMenuItem& AddFlip(TMenuItem& menu, std::vector<TDisplayTick>& ticks, const std::string& caption,
                   const std::string& name, bool& setting) {
  TMenuItem& item = menu.Add(caption, name);
  item.OnClick = [&setting, &item](TMenuItem&) {
    setting = !setting;
    item.SetChecked(setting);
    Redraw();
  };
  ticks.push_back({&item, [&setting] { return setting; }});
  return item;
}

// A radio item that gives a byte setting one value and redraws.
void AddChoice(TMenuItem& menu, std::vector<TDisplayTick>& ticks, const std::string& caption,
               const std::string& name, int group, uint8_t& setting, uint8_t value) {
  TMenuItem& item = menu.Add(caption, name);
  item.SetRadioItem(true, group);
  item.OnClick = [&setting, value](TMenuItem&) {
    setting = value;
    Redraw();
  };
  ticks.push_back({&item, [&setting, value] { return setting == value; }});
}

void SetUnits(bool metric) {
  Metric = metric;
  UnitsPerDisplayUnit = metric ? MetricUnitsPerDisplayUnit : InchUnitsPerDisplayUnit;
  if (MyScreen != nullptr) MyScreen->PaintCoordinates();
  if (DisplayGrid) Redraw();
}

}  // namespace

bool DrawingAreaInputWaits() { return PendingInputName() != nullptr; }
const char* DrawingAreaInput() { return PendingInputName(); }

void TWorkspace::AddDisplayItems(TMenuItem& view, uint8_t mode) {
  auto ticks = std::make_shared<std::vector<TDisplayTick>>();
  TMenuItem& units = view.Add("&Units", "Units" + std::to_string(3 - mode));
  TMenuItem& inches = units.Add("&Inches", "Inches1");
  inches.SetRadioItem(true, 9);
  inches.OnClick = [](TMenuItem&) { SetUnits(false); };
  ticks->push_back({&inches, [] { return !Metric; }});
  TMenuItem& mm = units.Add("&Millimeters", "Millimeters1");
  mm.SetRadioItem(true, 9);
  mm.OnClick = [](TMenuItem&) { SetUnits(true); };
  ticks->push_back({&mm, [] { return Metric; }});

  if (mode == emDrill) {
    TMenuItem& holes = view.Add("&Holes", "Holes1");
    AddChoice(holes, *ticks, "One &Pixel", "OnePixel1", 1, DisplayHolesAs, 0);
    AddChoice(holes, *ticks, "True Si&ze", "TrueSize1", 1, DisplayHolesAs, 1);
    AddChoice(holes, *ticks, "&Alpha", "Alpha1", 1, DisplayHolesAs, 2);
    AddChoice(holes, *ticks, "S&hapes", "Shapes1", 1, DisplayHolesAs, 3);
    TMenuItem& colour = view.Add("&Color", "Color1");
    AddChoice(colour, *ticks, "Color &Tools", "ColorTool1", 2, ColorHolesBy, 0);
    AddChoice(colour, *ticks, "Color &Layers", "ColorLayers1", 2, ColorHolesBy, 1);
    AddChoice(colour, *ticks, "Color T&ypes", "ColorTypes1", 2, ColorHolesBy, 2);
  }
  // The axis version turns the origin marks: the view is drawn again.
  view.Add("&Version", "Version1").OnClick = [](TMenuItem&) {
    if (ShowVersionDialog()) Redraw();
  };

  // Display Grid: turning it off also turns snapping to the grid off.
  TMenuItem& grid = view.Add(mode == emCad ? "Display &Grid" : "&Grid Display", "DisplayGrid1");
  grid.OnClick = [this](TMenuItem&) {
    DisplayGrid = !DisplayGrid;
    if (!DisplayGrid) SnapToGrid = false;
    Edit3Click();
    Redraw();
  };
  ticks->push_back({&grid, [] { return DisplayGrid; }});
  AddFlip(view, *ticks, "&Zero Zero", "ZeroZero1", ZeroZeroLines);

  if (mode == emCad) {
    AddFlip(view, *ticks, "&Const Points", "ConstPoints1", ConstructionPoints);
  } else if (mode == emRout) {
    TMenuItem& colour = view.Add("&Color", "Color2");
    AddChoice(colour, *ticks, "Color &Tools", "ColorTool2", 3, RoutColors, 0);
    AddChoice(colour, *ticks, "Color &Layers", "ColorLayers2", 3, RoutColors, 1);
    AddFlip(view, *ticks, "G&93", "G932", ShowG93);
    AddFlip(view, *ticks, "Full &Width", "FullWidth1", DisplayRoutsFullWidth);
    AddFlip(view, *ticks, "Dash St&epped Parts", "SteppedParts1", DisplayStepsDashed);
    AddFlip(view, *ticks, "Constructio&n Points", "RoutConstPoints1", RoutConstructionPoints);
    AddFlip(view, *ticks, "Se&quence Number", "SequenceNumber1", DisplaySequenceNumbers);
    AddFlip(view, *ticks, "&Kerf Fill", "KerfFill1", KerfFill);
    view.Add("&Single Step", "SingleStep1").SetHint("[PL] Next Cut").OnClick = [](TMenuItem&) {
      CurrentHelpContext = 64;
      if (RTDB != nullptr) RTDB->StartSingleStep();
    };
    // Animation of a running play ('A'); its tick follows the play's state.
    // Its access key is not Zoom All's A.
    view.Add("Ani&mate", "Animate1").OnClick = [](TMenuItem&) {
      if (RTDB != nullptr) RTDB->ToggleAnimate();
    };
    AddFlip(view, *ticks, "&Head Up Moves", "HeadUpMoves1", HeadUpMoves);
    AddFlip(view, *ticks, "Feed Rate Changes", "FeedRateChanges1", FeedRateChanges);
    AddFlip(view, *ticks, "Z Offset Changes", "ZOffsetChanges1", ZOffsetChanges);
    AddFlip(view, *ticks, "Rout &Direction Arrows", "RoutDirectionArrows1", RoutDirectionArrows);
    TMenuItem& gouge = AddFlip(view, *ticks, "Gouge Detec&t", "GougeDetect1", GougeDetect);
    gouge.OnClick = [&gouge](TMenuItem&) {
      GougeDetect = !GougeDetect;
      gouge.SetChecked(GougeDetect);
      if (MyScreen != nullptr) MyScreen->RedrawWithFlag();
    };
  } else {
    AddFlip(view, *ticks, "G&93", "G932", ShowG93);
  }

  view.OnPopup = [ticks](TMenuItem&) {
    for (const TDisplayTick& t : *ticks) t.Item->SetChecked(t.Shown());
  };
  for (const TDisplayTick& t : *ticks) t.Item->SetChecked(t.Shown());
}

void ImportCadFile() { RunCadImport(); }

void TWorkspace::PressCommand(int32_t command) { ButtonManager().Press(command); }

TMenuItem* TWorkspace::MenuItem(uint8_t mode, const std::string& name) {
  return ModeMenu(mode).FindItem(name);
}

void TWorkspace::ShowCompensationSide() {
  const uint8_t side = RTDB != nullptr ? RTDB->AutoRoutCompensation : 0;
  const char* names[] = {"None1", "Left1", "Right1"};
  for (uint8_t s = 0; s < 3; ++s)
    if (TMenuItem* item = MenuItem(emRout, names[s])) item->SetChecked(s == side);
}

void TWorkspace::BuildWorkingMenu() { WorkingMenu.Add("Working...", "Working1"); }

void TWorkspace::BuildMenus() {
  if (MenusBuilt_) return;
  MenusBuilt_ = true;
  UserCommandGate = UserCommandMayStart;
  UserInputGate = CommandInputMayGo;
  for (uint8_t mode : {emCad, emRout, emDrill}) ModeMenu(mode).ClickGate = MenuItemMayRun;
  // Drill tapes are made of the displayed drill layers.
  SetDrillTapeLayerMask([] { return DisplayedLayerMask; });
  for (uint8_t mode : {emCad, emRout, emDrill}) BuildModeMenu(mode);
}

void TWorkspace::BuildModeMenu(uint8_t mode) {
  TMainMenu& menu = ModeMenu(mode);
  const bool cad = mode == emCad;
  const bool rout = mode == emRout;
  const bool drill = mode == emDrill;
  // An item that presses a command number (and sets its help context). Its
  // tag is the number: the item waits for an input of the drawing area as
  // the command's tool button does.
  auto command = [this](TMenuItem& parent, const std::string& caption, const std::string& name,
                        int32_t number, const std::string& hint = "", int32_t help = 0) -> TMenuItem& {
    TMenuItem& item = parent.Add(caption, name);
    item.Tag = number;
    if (!hint.empty()) item.SetHint(hint);
    item.OnClick = [this, number, help, caption](TMenuItem&) {
      if (help != 0) CurrentHelpContext = help;
      if (!CommandDefined(number)) {
        NotAvailableYet(caption);
        return;
      }
      ButtonManager().PressByUser(number);
    };
    return item;
  };
  auto run = [](TMenuItem& parent, const std::string& caption, const std::string& name,
                std::function<void()> action) -> TMenuItem& {
    TMenuItem& item = parent.Add(caption, name);
    item.OnClick = [action](TMenuItem&) { action(); };
    return item;
  };
  // Snap to Grid: turning it on also turns the grid display on.
  // Its tick shows the setting in every menu that has it.
  auto snapToGrid = [this](TMenuItem& parent) {
    TMenuItem& item = parent.Add("Snap to &Grid", "SnapToGrid1");
    item.SetChecked(SnapToGrid);
    item.OnClick = [this](TMenuItem&) {
      SnapToGrid = !SnapToGrid;
      if (SnapToGrid) DisplayGrid = true;
      Edit3Click();
      Redraw();
    };
  };

  // ---- File ----
  TMenuItem& file = menu.Add("&File", "File" + std::to_string(3 - mode));
  file.Add("&New", "New1").OnClick = [this](TMenuItem&) { New1Click(); };
  file.Add("&Open", "Open1").SetShortCut("F3").OnClick = [this](TMenuItem&) { Open1Click(); };
  file.Add("&Save", "Save1").SetShortCut("F2").OnClick = [](TMenuItem&) { SaveJobFile(); };
  file.Add("Save &As", "SaveAs1").OnClick = [](TMenuItem&) { SaveJobFileAs(); };
  file.AddSeparator();
  // Pack: the mode's database is compacted; when that renumbered its
  // entities, the database has started its journal afresh.
  auto pack = [] {
    if (ActiveDB == nullptr) return;
    const int32_t before = ModeEntityCount();
    ActiveDB->Compact();
    const int32_t after = ModeEntityCount();
    SetApplicationHint("Database packed: " + Counted(after, "entity", "entities") + ", " +
                       Counted(before - after, "deleted entity", "deleted entities") + " removed");
  };
  if (cad) {
    run(file, "&Get Info", "GetInfo1", ShowDrawingStatistics);
    file.Add("Pac&k Database", "PackDatabase1").OnClick = [pack](TMenuItem&) { pack(); };
    run(file, "&Import", "Import1", ImportCadFile);
    run(file, "&Export", "Export1", [] { RunInBracket(ExportCadFile); });
  } else if (rout) {
    run(file, "Open Rout Tap&e", "OpenRoutTape1", [] { OpenRoutTape(CurrentLayer); });
    run(file, "&Make Rout Tape", "MakeRoutTape1", [] {
      TModalBracket bracket;
      SaveRoutFileAs(CurrentLayer);
    });
    run(file, "Make ESI Laser File", "MakeESILaserFile1", [] { MakeEsiLaserFile(); });
    run(file, "F&ilters", "Filters1", RunFiltersDialog);
    file.AddSeparator();
    run(file, "&Get Info", "GetInfo2", [] { ShowRoutStatistics(); });
    file.Add("Pac&k Database", "PackDatabase2").OnClick = [pack](TMenuItem&) { pack(); };
    run(file, "Pat&h Length Report", "PathLengthReport1", [] { PathLengthReport(); });
  } else {
    run(file, "&Import", "Import2", ImportDrillFile);
    run(file, "Export", "Export2", [] { RunInBracket(ExportOdbFile); });
    run(file, "&Make Drill Tape", "MakeDrillTape1", [] { MakeDrillTape(); });
    run(file, "Make ESI Laser File", "MakeESILaserFile1", [] { MakeEsiLaserFile(); });
    run(file, "Fil&ters", "Filters1", RunFiltersDialog);
    file.AddSeparator();
    run(file, "&Get Info", "GetInfo3", ShowDrillStatistics);
    file.Add("Pac&k Database", "PackDatabase3").OnClick = [pack](TMenuItem&) { pack(); };
    run(file, "Spacing &Check", "SpacingCheck1", SpacingCheckCommand);
  }
  file.AddSeparator();
  run(file, "&Plot", "Plot1", PlotToFile);
  run(file, "&Quick Print", "QuickPrint1", QuickPrint);
  run(file, "P&rinter Setup", "PrinterSetup1", PrinterSetup);
  file.AddSeparator();
  file.Add("Options", "Options1").OnClick = [](TMenuItem&) { ShowOptionsDialog(); };
  file.Add(AboutCaptions[mode], "AboutPelmora1").OnClick = [](TMenuItem&) { ShowAboutBox(false); };
  file.Add(drill ? "&Error Inspector" : "Error Inspec&tor", "ErrorInspector1").OnClick =
      [](TMenuItem&) { ShowErrorInspector(); };
  run(file, drill ? "Text Editor" : "Text E&ditor", "TextEditor1", [] { RunWorkspaceTextEditor("", 0); });
  file.Add("DNC Server", "DNCServer1").OnClick = [](TMenuItem&) { RunDncServer(); };
  file.AddSeparator();
  file.Add("E&xit", "Exit1").OnClick = [this](TMenuItem&) { Exit1Click(); };

  // ---- View ----
  TMenuItem& view = menu.Add("&View", "View" + std::to_string(3 - mode));
  view.Add("&Refresh", "Refresh1").SetHint("[RD] Redraw").OnClick = [](TMenuItem&) {
    CurrentHelpContext = 83;
    // A full redraw: the rout layers are compensated and report afresh.
    if (MyScreen != nullptr) MyScreen->RedrawWithFlag();
  };
  command(view, "&Full Screen", "FullScreen1", 150);
  command(view, "Zoom &In", "ZoomIn1", 153, "[ZW] Zoom In", 43);
  command(view, cad ? "Zoom &Out 2X" : "Zoom &Out", "ZoomOut2X1", 148, "[ZB] Zoom Out", 45);
  command(view, "Zoom &All", "ZoomAll1", 147, "[ZA] Zoom All", 44);
  command(view, "&Pan", "Pan1", 81, "[PA] Pan", 71);
  if (drill) run(view, "Active &Tools", "ActiveTools1", [] {
    if (ExecuteActiveToolsDialog()) Redraw();
  });
  AddDisplayItems(view, mode);

  // ---- Layers ----
  if (LayerControlCommand || LayerEraseCommand || SwitchToLayerCommand) {
    TMenuItem& layers = menu.Add("&Layers", "Layers" + std::to_string(3 - mode));
    if (LayerControlCommand)
      layers.Add("&Layer Control", "Layers1").OnClick = [this](TMenuItem&) { LayerControlCommand(); };
    if (LayerEraseCommand)
      layers.Add("Layer &Erase", "LayerErase1").OnClick = [this](TMenuItem&) { LayerEraseCommand(); };
    // The hint strip names the CAD layer and what went there. The copy is a
    // step of the CAD journal, not of the mode's: the Undo and Redo buttons
    // show the mode's again.
    auto copied = [](int32_t before) {
      ShowUndoButtons();
      SetApplicationHint("Copied to CAD layer " + LayerName(TargetCadLayer) + ": " +
                         Counted(CadEntityCount - before, "entity", "entities"));
    };
    if (rout)
      run(layers, "&Copy Layer to CAD", "MoveLayertoCad1", [copied] {
        const int32_t before = CadEntityCount;
        if (CopyRoutLayerToCad()) copied(before);
      });
    if (drill)
      run(layers, "&Copy Layer to CAD", "MoveLayertoCad2", [copied] {
        const int32_t before = CadEntityCount;
        CopyDrillLayersToCad();
        copied(before);
      });
    if (SwitchToLayerCommand)
      layers.Add("&Switch To Layer", "SwitchToLayer1").SetShortCut("Ctrl+L").OnClick = [this](TMenuItem&) { SwitchToLayerCommand(); };
  }

  // ---- Edit ----
  TMenuItem& edit = menu.Add("&Edit", "Edit" + std::to_string(3 - mode));
  // The drop-down sets the Undo and Redo items of every menu (the rout
  // Modify menu does it too). The rout Edit menu holds Undo and Redo as
  // well: left to the Modify menu, they and their shortcuts would show the
  // state of whatever the user undid last elsewhere.
  edit.OnPopup = [this](TMenuItem&) { Edit3Click(); };
  command(edit, rout || drill ? "&Undo" : "&UnDo", UndoItemNames[mode], UndoCommand, "[OO] Undo", 38)
      .SetShortCut("Alt+Backspace");
  command(edit, rout || drill ? "&Redo" : "Re&Do", RedoItemNames[mode], RedoCommand, "[UU] Redo", 39)
      .SetShortCut("Shift+Alt+Backspace");
  if (cad) {
    command(edit, "&Point", "Point1", 86, "[PO] Create Point", 5);
    command(edit, "&Line", "Line1", 59, "[LI] Create Line", 6);
    command(edit, "&Rectangle", "Rectangle1", 91, "[RE] Create Rectangle", 7);
    command(edit, "&2 Point Arc", "Point2", 9, "[A2] Create 2-Point Arc", 8);
    command(edit, "&3 Point Arc", "N3PointArc1", 10, "[A3] Create 3-Point Arc", 9);
    command(edit, "&Circle", "Circle1", 21, "[C2] Create Circle", 10);
    command(edit, "&Text", "Text1", 114, "[TA] Text Add");
  } else if (rout) {
    command(edit, "&Drill Hole", "DrillHole2", 26, "[DH] Drill Hole", 46);
    command(edit, "&Line", "Line1", 59, "[LI] Create Line", 6);
    command(edit, "&2 Pt. Arc", "N2PtArc1", 9, "[A2] Create 2-Point Arc", 8);
    command(edit, "&3 Pt. Arc", "N3PtArc1", 10, "[A3] Create 3-Point Arc", 9);
    command(edit, "&G32/G33 Circle", "G32G33Circle1", 43, "[GC] G32/G33 Circle", 108);
    command(edit, "&Inside Routed Rectangle", "InsideRoutedRectangle1", 53, "[IR] Create Inside Rectangle", 56);
    command(edit, "&Outside Routed Rectangle", "OutsideRoutedRectangle1", 96, "[RS] Create Outside Rectangle",
            7);
    command(edit, "Auto &Tab", "Tab1", 7);
    command(edit, "&Follow Profile", "FollowProfile1", 41, "[FP] Follow Profile", 54);
    command(edit, "Window Auto Follow", "WindowAutoFollow1", 125, "[WA] Window Auto Follow");
    TMenuItem& pocket = edit.Add("Poc&ket Rout", "PocketRout2");
    command(pocket, "&Pocket Rout", "PocketRout1", 83, "[PC] Pocket Rout", 108);
    command(pocket, "&Milled Pocket Rout", "MilledPocketRout1", 66, "[MP] Milled Pocket Rout", 107);
    command(edit, "&Auto Rout Outside", "AutoRout3", 5, "[AR] Auto Rout Outside", 61);
    command(edit, "Auto Rout I&nside", "AutoRoutInside1", 93, "[RI] Auto Rout Inside", 62);
    TMenuItem& panel = edit.Add("Full &Panel Auto Rout", "FullPanelAutoRout1");
    command(panel, "Auto &Web Rout", "AutoWebRout1", 97, "[RT] Full Panel Autorout", 103);
    command(panel, "Auto &Part Rout", "AutoPartRout1", 52, "[IN] Auto Part Rout");
    run(edit, "Text &Edit Rout", "TextEditRout1", [] {
      if (RTDB != nullptr) RTDB->SingleStepEdit();
    });
    run(edit, "Rout Output For&mat", "RoutOutputFormat1", [] { ExecuteRoutOutputFormatDialog(); });
  } else {
    command(edit, "Drill &Hole", "DrillHole3", 26, "[DH] Drill Hole", 46);
    command(edit, "Drill &Slot", "DrillSlot1", 30, "[DS] Drill Slot", 50);
    command(edit, "Drill &Circle", "DrillCircle1", 23, "[DC] Drill Circle", 47);
    command(edit, "Drill &Text", "DrillText1", 31, "[DT] Drill Text", 49);
    command(edit, "S&ingle Hole Slot", "SingleHoleSlot1", 103, "[SH] Single Hole Slot", 52);
    command(edit, "Co&nvert Hole to Slot", "ConvertHoletoSlot1", 50, "[HT] Convert Single Hole To Slot", 53);
    command(edit, "Con&vert Two holes to Slot", "ConvertTwoholestoSlot1", 13, "[CD] Convert Holes to Slot", 51);
    command(edit, "Convert Hole to Circl&e", "ConvertHoletoCircle1", 44, "[HC] Convert Hole To Circle", 48);
    run(edit, "Slot Configuration", "SlotConfiguration1", ConfigureDrilledSlots);
    run(edit, "Circle Configuration", "CircleConfiguration1", ConfigureDrilledCircles);
    snapToGrid(edit);
    run(edit, "Set G93 Panel &Origin", "SetPanelOrigin1", RunPanelOriginDialog);
    run(edit, "Convert E&xpanded Slot to Slot", "ConvertExpandedSlottoSlot1", ConvertExpandedSlots);
  }

  // ---- Window Edit ----
  TMenuItem& window = menu.Add("&Window Edit", "WindowEdit" + std::to_string(3 - mode));
  command(window, "&Delete", "Delete1", 127, "[WE] Window Erase", 37);
  command(window, "Delete &Outside", "DeleteOutside1", 131, "[WO] Window Delete Outside", 89);
  command(window, "&Move", "Move1", 130, "[WM] Window Move", 28);
  command(window, "&Copy", "Copy1", 126, "[WC] Window Copy", 31);
  if (!drill) command(window, "S&tretch", "Stretch1", 132, "[WS] Window Stretch");
  command(window, "&Scale", "Scale1", 111, "[SW] Window Scale", 30);
  if (cad)
    command(window, "&Flip", "Flip1", 128);
  else
    command(window, "&Flip", "Flip1", 128, "[WF] Window Flip", 33);
  command(window, "M&irror", "Mirror1", 129, "[WI] Window Mirror", 32);
  command(window, "&Rotate", "Rotate1", 95, "[RO] Rotate", 36);
  command(window, "R&adial Copy", "RadialCopy1", 89, "[RC] Radial Copy", 35);
  command(window, "Matri&x Copy", "MatrixCopy1", 63, "[MC] Matrix Copy", 34);
  if (drill) command(window, "Change &Tool", "ChangeTool1", 115, "[TC] Window Tool Change", 106);

  if (cad) {
    // ---- Snap ----
    TMenuItem& snap = menu.Add("&Snap", "Snap1");
    command(snap, "&Closest Point", "ClosestPoint1", 100, "[SC] Snap Closest Endpoint", 11);
    command(snap, "&Intersection", "Intersection1", 104, "[SI] Snap Intersection", 12);
    command(snap, "&Midpoint", "Midpoint1", 106, "[SM] Snap Midpoint", 13);
    command(snap, "Arc Ce&nter", "ArcCenter1", 107, "[SN] Snap Arc-Circle Center", 14);
    command(snap, "&Tangent", "Tangent1", 110, "[ST] Snap Tangent", 15);
    command(snap, "&Perpendicular", "Perpendicular1", 108, "[SP] Snap Perpendicular", 16);
    command(snap, "Para&llel", "Paralell1", 105, "[SL] Snap Parallel", 17);
    snapToGrid(snap);
    command(snap, "&Ortho", "Ortho1", 80, "[OR] Turn on Ortho Snap", 19);
    command(snap, "Ortho &Angle", "OrthoAngle1", 74, "[OA] Ortho Angle", 20);
    snap.OnPopup = [](TMenuItem& m) {
      if (TMenuItem* item = m.FindByName("SnapToGrid1")) item->SetChecked(SnapToGrid);
      if (TMenuItem* item = m.FindByName("Ortho1")) item->SetChecked(ECO != nullptr && ECO->Ortho);
    };

    // ---- Modify ----
    TMenuItem& modify = menu.Add("&Modify", "Modify1");
    command(modify, "Tri&m/Extend", "TrimExtend1", 94, "[RM] Trim Line", 22);
    command(modify, "&Join/Meet", "JoinMeet1", 54, "[JO] Join Lines", 23);
    command(modify, "&Break", "Break1", 75, "[OB] Object Break", 24);
    command(modify, "&Chamfer", "Chamfer1", 15, "[CH] Chamfer Lines", 25);
    // Both distances: the second is asked while the first waits.
    modify.Add("Chamfer Dis&tance", "ChamferDistance1").SetHint("[CA] / [CB] Chamfer Distance").OnClick =
        [this](TMenuItem&) {
          CurrentHelpContext = 85;
          if (UserCommandGate != nullptr && !UserCommandGate(12)) return;
          PressCommand(12);
          PressCommand(11);
        };
    command(modify, "&Fillet", "Fillet1", 40, "[FL] Fillet Lines", 26);
    command(modify, "Fillet Si&ze", "FilletSize1", 42, "[FR] Fillet Radius", 75);
    run(modify, "&Automatic Cleanup", "AutomaticCleanup1", [] {
      if (DB != nullptr) DB->CleanUp();
    });
  }

  if (rout) {
    // ---- Modify (rout) ----
    TMenuItem& modify = menu.Add("&Modify", "Modify2");
    modify.OnPopup = [this](TMenuItem&) { Edit3Click(); };
    run(modify, "C&utter Config", "CutterConfig1", [] { ExecuteToolPageDialog(CurrentLayer); });
    run(modify, "Default Tool Table", "DefaultToolTable1", [] {
      if (ExecuteDefaultToolPageDialog(CurrentLayer)) Redraw();
    });
    TMenuItem& comp = modify.Add("Compensatio&n", "Compensation1");
    comp.OnClick = [](TMenuItem&) { CurrentHelpContext = 58; };
    command(comp, "&Left", "Left1", 46, "[HL] Comp Left", 58).SetRadioItem(true, 4);
    command(comp, "&None", "None1", 47, "[HN] Comp None", 59).SetRadioItem(true, 4).SetChecked(true);
    command(comp, "&Right", "Right1", 48, "[HR] Comp Right", 60).SetRadioItem(true, 4);
    run(modify, "Auto &Tab Config", "Tabs1", [] {
      TModalBracket bracket;
      ExecuteAutoTabDialog();
    });
    run(modify, "Auto &Rout Config", "AutoRout1", [] {
      CurrentHelpContext = 93;
      TModalBracket bracket;
      ExecuteAutoRoutDialog();
    }).SetHint("[AU] Configure Auto Rout");
    run(modify, "Auto Web Rout Conf&ig", "FullPanelAutoRoutConfig1", ExecuteFullPanelAutoRoutConfigDialog);
    run(modify, "Auto Part Rout Config", "FullPanelInlineRoutConfig1", [] {
      TModalBracket bracket;
      ConfigureAutoPartRout();
    });
    snapToGrid(modify);
    run(modify, "Set Panel &Origin", "SetPanelOrigin1", RunPanelOriginDialog);
  }
  auto stepItems = [&](TMenuItem& parent, const char* suffix, const std::string& duplicate) {
    const std::string s = suffix;
    command(parent, "&Edit Step List", "EditStepList" + s, 102, "[SE] Step && Repeat Edit", 98);
    command(parent, "&Create Step && Repeat", "CreateStepRepeat" + s, 18, "[CS] Create Step && Repeat", 100);
    command(parent, "&Auto Step && Repeat", "AutoStepRepeat" + s, 109, "[SR] Step && Repeat", 97);
    command(parent, "Add to &Step List", "AddtoStepList" + s, 6, "[AS] Add to Step && Repeat", 101);
    command(parent, "E&xpand Steps", "ExpandSteps" + s, 140, "[XP] Expand Step && Repeat", 102);
    command(parent, "&Delete Step && Repeat", "DeleteStepRepeat" + s, 101, "[SD] Step && Repeat Delete", 99);
    command(parent, duplicate, "DuplicateStepRepeat2", 32);
  };
  if (rout) {
    TMenuItem& modify = *menu.FindItem("Modify2");
    stepItems(modify, "1", "Du&plicate Step && Repeat from VarovUvov");
    // The compensation items tick the side they set; the Modify menu shows
    // the side a tool button chose when it drops down.
    for (const char* name : {"Left1", "None1", "Right1"}) {
      TMenuItem* item = menu.FindItem(name);
      auto press = item->OnClick;
      item->OnClick = [this, press](TMenuItem& clicked) {
        press(clicked);
        ShowCompensationSide();
      };
    }
    auto popup = modify.OnPopup;
    modify.OnPopup = [this, popup](TMenuItem& dropped) {
      if (popup) popup(dropped);
      ShowCompensationSide();
    };
    ShowCompensationSide();
    auto sequence = [this](TMenuItem& parent, const std::string& caption, const std::string& name,
                           int32_t number, const std::string& hint, int32_t help) {
      parent.Add(caption, name).SetHint(hint).OnClick = [this, number, help, caption](TMenuItem&) {
        CurrentHelpContext = help;
        if (CommandDefined(number))
          PressCommand(number);
        else
          NotAvailableYet(caption);
      };
    };
    sequence(modify, "Do &First", "DoFirst1", 25, "[DF] Do First", 68);
    sequence(modify, "Do &Before", "DoBefore1", 22, "[DB] Do Before", 69);
    sequence(modify, "Do &Last", "DoLast1", 27, "[DL] Do Last", 70);
  }

  if (drill) {
    // ---- Tools ----
    TMenuItem& tools = menu.Add("&Tools", "Tools1");
    // The tools renumbered; the hint strip says how and what is left.
    auto renumber = [](void (TDrillDatabase::*how)(), const std::string& done) {
      return [how, done](TMenuItem&) {
        if (DRDB == nullptr) return;
        const int32_t before = ToolsInUse();
        (DRDB->*how)();
        Redraw();
        const int32_t after = ToolsInUse();
        std::string hint = done + ": " + Counted(after, "tool", "tools") + " in use";
        if (after != before) hint += " (" + std::to_string(before) + " before)";
        SetApplicationHint(hint);
      };
    };
    tools.Add("Show &Tool Table", "ShowToolTable1").OnClick = [](TMenuItem&) {
      if (DRDB != nullptr) DRDB->ShowToolData(false);
    };
    tools.Add("&Print Tool Table", "PrintToolTable1").OnClick = [](TMenuItem&) {
      if (DRDB != nullptr) DRDB->ShowToolData(true);
    };
    run(tools, "&Edit Tool Table", "EditToolTable1", [] { ExecuteToolTableDialog(); });
    // Their file dialogs lock the menus as every dialog does.
    tools.Add("&Load Tool Table", "LoadToolTable1").OnClick = [](TMenuItem&) {
      TModalBracket bracket;
      LoadDrillToolTable();
    };
    tools.Add("Sa&ve Tool Table", "SaveToolTable1").OnClick = [](TMenuItem&) {
      TModalBracket bracket;
      SaveDrillToolTable();
    };
    tools.Add("Sort &Fewest Hits First", "SortFewestHitsFirst1").OnClick =
        renumber(&TDrillDatabase::RenumberToolsByHitsAscending, "Tools sorted, fewest hits first");
    tools.Add("Sort &Most Hits First", "SortMostHitsFirst1").OnClick =
        renumber(&TDrillDatabase::RenumberToolsByHits, "Tools sorted, most hits first");
    tools.Add("Sort &Small Tool First", "SortSmallToolFirst1").OnClick =
        renumber(&TDrillDatabase::RenumberToolsBySizeAscending, "Tools sorted, small tool first");
    tools.Add("Sort &Big Tool First", "SortBigToolFirst1").OnClick =
        renumber(&TDrillDatabase::RenumberToolsBySize, "Tools sorted, big tool first");
    tools.Add("Mer&ge Same Size", "MergeSameSize1").OnClick = renumber(&TDrillDatabase::RenumberToolsMergeSizes, "Tools of the same size merged");
    tools.Add("&Remove Empties", "RemoveEmpties1").OnClick = renumber(&TDrillDatabase::RenumberToolsUsedFirst, "Empty tools removed");
    run(tools, "&Auto Load Feeds && Speeds", "AutoLoadFeedsSpeeds1", [] { LoadFeedSpeedTable(); });
    // ---- Step & Repeat ----
    TMenuItem& steps = menu.Add("Step && &Repeat", "StepRepeat1");
    stepItems(steps, "2", "D&uplicate Step && Repeat from ZuraZeru");
  }

  // ---- Check ----
  TMenuItem& check = menu.Add("&Check", "Check" + std::to_string(3 - mode));
  command(check, "&Inspect", "Inspect1", 78, "[OI] Object Inspect", 40);
  command(check, "&Measure", "Measure1", 64, "[ME] Measure", 41);
  if (cad) command(check, "&Path", "Path1", 119, "[TP] Test Path", 91);

  // ---- Help ----
  TMenuItem& help = menu.Add("&Help", "Help" + std::to_string(3 - mode));
  help.Add("&Contents", "Contents1").SetShortCut("F1").OnClick = [this](TMenuItem&) { HelpClick(); };
  help.Add("&About", "About" + std::to_string(3 - mode)).OnClick = [](TMenuItem&) { ShowAboutBox(false); };
}

void TWorkspace::Edit3Click() {
  std::string name;
  const bool canUndo = ActiveUndo != nullptr && ActiveUndo->CanUndo(name);
  const bool canRedo = ActiveUndo != nullptr && ActiveUndo->CanRedo(name);
  for (uint8_t mode : {emDrill, emRout, emCad}) {
    if (TMenuItem* item = MenuItem(mode, UndoItemNames[mode])) item->SetEnabled(canUndo);
    if (TMenuItem* item = MenuItem(mode, RedoItemNames[mode])) item->SetEnabled(canRedo);
    if (TMenuItem* item = MenuItem(mode, "SnapToGrid1")) item->SetChecked(SnapToGrid);
  }
}

void TWorkspace::New1Click() {
  const bool cleared = NewJob();
  UpdateCaption();
  PressCommand(147);
  // Zoom All leaves an empty job's view where it is: the old drawing must
  // not stay on screen.
  if (cleared) ViewServices().RedrawView();
}

void TWorkspace::Open1Click() {
  OpenJobCommand();
  UpdateCaption();
}

void TWorkspace::Exit1Click() { Close(); }

void TWorkspace::HelpClick() {
  if (FileExistsNoWild(HelpFileName)) {
    InformationBox("The help file " + HelpFileName + " cannot be shown on this system.");
    return;
  }
  InformationBox("Help is not available: the help file " + HelpFileName + " is not installed.");
}
