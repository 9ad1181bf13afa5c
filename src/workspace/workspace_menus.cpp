// The main window's three mode menus and the "Working..." menu.
#include <functional>
#include <memory>
#include <vector>

#include "command/command_services.h"
#include "command/command_interpreter.h"
#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/job_file.h"
#include "tapein/filter_lists.h"
#include "model/undo_journal.h"
#include "model/rout_database.h"
#include "model/drill_database.h"
#include "platform/message_box.h"
#include "tapein/cad_import.h"
#include "tapein/drill_import_command.h"
#include "tapein/rout_file_commands.h"
#include "tapeout/drill_tape_writer.h"
#include "tapeout/esi_laser_writer.h"
#include "tapeout/make_drill_tape.h"
#include "tapeout/rout_tape_writer.h"
#include "tapeout/tool_table_dialogs.h"
#include "workspace/error_inspector.h"
#include "workspace/my_screen.h"
#include "workspace/small_dialogs.h"
#include "workspace/startup.h"
#include "workspace/statistics_reports.h"
#include "workspace/workspace.h"

namespace {
// The Undo and Redo items of the three menus, by mode.
const char* const UndoItemNames[3] = {"Undo3", "Undo2", "UnDo1"};
const char* const RedoItemNames[3] = {"Redo3", "Redo2", "ReDo1"};
// The About item of each mode's File menu.
const char* const AboutCaptions[3] = {"About &VarovUvov", "A&bout ZuraZeru", "About &Pelmora"};

// Runs a menu action only while the drawing area is idle.
void WhenIdle(const std::function<void()>& action) {
  if (ViewServices().Activity() == 0) action();
}
// A display setting's menu item: its tick shows the setting, which the View
// menu refreshes whenever it drops down (the three menus show one setting).
struct TDisplayTick {
  TMenuItem* Item;
  std::function<bool()> Shown;
};

void Redraw() { ViewServices().RedrawView(); }

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

void TWorkspace::AddDisplayItems(TMenuItem& view, uint8_t mode) {
  auto ticks = std::make_shared<std::vector<TDisplayTick>>();
  TMenuItem& units = view.Add("&Units", "Units" + std::to_string(3 - mode));
  TMenuItem& inches = units.Add("&Inches", "Inches1");
  inches.SetRadioItem(true, 9);
  inches.OnClick = [](TMenuItem&) { WhenIdle([] { SetUnits(false); }); };
  ticks->push_back({&inches, [] { return !Metric; }});
  TMenuItem& mm = units.Add("&Millimeters", "Millimeters1");
  mm.SetRadioItem(true, 9);
  mm.OnClick = [](TMenuItem&) { WhenIdle([] { SetUnits(true); }); };
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
    WhenIdle([] {
      if (ShowVersionDialog()) Redraw();
    });
  };

  // Display Grid: turning it off also turns snapping to the grid off.
  TMenuItem& grid = view.Add(mode == emCad ? "Display &Grid" : "&Grid Display", "DisplayGrid1");
  grid.OnClick = [](TMenuItem&) {
    DisplayGrid = !DisplayGrid;
    if (!DisplayGrid) SnapToGrid = false;
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
      WhenIdle([] {
        CurrentHelpContext = 64;
        if (RTDB != nullptr) RTDB->StartSingleStep();
      });
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

void ImportCadFile() {
  std::string fileName;
  {
    TModalBracket bracket;
    fileName = CadImportPath + "*.*";
    if (!ExecuteCadImportDialog("Select file to import", fileName, 255)) return;
  }
  // The Excellon-to-CAD import is the one CAD import there is: its format
  // dialog (with View File) confirms the file.
  if (MyScreen != nullptr) {
    MyScreen->ZoomAll();
    MyScreen->BeginUpdate();
  }
  {
    struct TEndUpdate {
      ~TEndUpdate() {
        if (MyScreen != nullptr) MyScreen->EndUpdate();
      }
    } endUpdate;
    THourGlassCursor hourglass;
    ImportExcellonToCad(fileName);
  }
  const size_t slash = fileName.find_last_of("\\/");
  if (slash != std::string::npos) CadImportPath = fileName.substr(0, slash + 1);
  if (DB != nullptr) DB->ZoomExtents();
  if (DatabaseFileName.empty()) {
    const std::string bare = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    DatabaseFileName = DatabasePath + ChangeFileExtension(bare, "ZUL");
  }
  if (Workspace != nullptr) Workspace->UpdateCaption();
}

void TWorkspace::PressCommand(int32_t command) { ButtonManager().Press(command); }

TMenuItem* TWorkspace::MenuItem(uint8_t mode, const std::string& name) {
  return ModeMenu(mode).FindItem(name);
}

void TWorkspace::BuildWorkingMenu() { WorkingMenu.Add("Working...", "Working1"); }

void TWorkspace::BuildMenus() {
  if (MenusBuilt_) return;
  MenusBuilt_ = true;
  // Drill tapes are made of the displayed drill layers.
  SetDrillTapeLayerMask([] { return DisplayedLayerMask; });
  for (uint8_t mode : {emCad, emRout, emDrill}) BuildModeMenu(mode);
}

void TWorkspace::BuildModeMenu(uint8_t mode) {
  TMainMenu& menu = ModeMenu(mode);
  const bool rout = mode == emRout;

  TMenuItem& file = menu.Add("&File", "File" + std::to_string(3 - mode));
  file.Add("&New", "New1").OnClick = [this](TMenuItem&) { New1Click(); };
  file.Add("&Open", "Open1").SetShortCut("F3").OnClick = [this](TMenuItem&) { Open1Click(); };
  file.Add("&Save", "Save1").SetShortCut("F2").OnClick = [](TMenuItem&) { WhenIdle([] { SaveJobFile(); }); };
  file.Add("Save &As", "SaveAs1").OnClick = [](TMenuItem&) { WhenIdle([] { SaveJobFileAs(); }); };
  file.AddSeparator();
  // Pack: the mode's database is compacted; its journal starts afresh.
  auto pack = [](auto* db) {
    if (db == nullptr) return;
    db->Compact();
    if (ActiveUndo != nullptr) ActiveUndo->Reset();
  };
  switch (mode) {
    case emCad:
      file.Add("&Get Info", "GetInfo1").OnClick = [](TMenuItem&) { WhenIdle(ShowDrawingStatistics); };
      file.Add("Pac&k Database", "PackDatabase1").OnClick = [pack](TMenuItem&) { pack(DB); };
      file.Add("&Import", "Import1").OnClick = [](TMenuItem&) { WhenIdle(ImportCadFile); };
      break;
    case emRout:
      file.Add("Open Rout Tap&e", "OpenRoutTape1").OnClick = [](TMenuItem&) {
        WhenIdle([] { OpenRoutTape(CurrentLayer); });
      };
      file.Add("&Make Rout Tape", "MakeRoutTape1").OnClick = [](TMenuItem&) {
        WhenIdle([] { SaveRoutFileAs(CurrentLayer); });
      };
      file.Add("F&ilters", "Filters1").OnClick = [](TMenuItem&) { WhenIdle(ExecuteSwapTablesDialog); };
      file.Add("&Get Info", "GetInfo2").OnClick = [](TMenuItem&) {
        WhenIdle([] { ShowRoutStatistics(); });
      };
      file.Add("Pac&k Database", "PackDatabase2").OnClick = [pack](TMenuItem&) { pack(RTDB); };
      file.Add("Pat&h Length Report", "PathLengthReport1").OnClick = [](TMenuItem&) {
        WhenIdle([] { PathLengthReport(); });
      };
      break;
    default:
      file.Add("&Import", "Import2").OnClick = [](TMenuItem&) { WhenIdle(ImportDrillFile); };
      file.Add("&Make Drill Tape", "MakeDrillTape1").OnClick = [](TMenuItem&) {
        WhenIdle([] { MakeDrillTape(); });
      };
      file.Add("Make ESI Laser File", "MakeESILaserFile1").OnClick = [](TMenuItem&) {
        WhenIdle([] { MakeEsiLaserFile(); });
      };
      file.Add("Fil&ters", "Filters1").OnClick = [](TMenuItem&) { WhenIdle(ExecuteSwapTablesDialog); };
      file.Add("&Get Info", "GetInfo3").OnClick = [](TMenuItem&) { WhenIdle(ShowDrillStatistics); };
      file.Add("Pac&k Database", "PackDatabase3").OnClick = [pack](TMenuItem&) { pack(DRDB); };
      break;
  }
  file.AddSeparator();
  file.Add("Options", "Options1").OnClick = [](TMenuItem&) { ShowOptionsDialog(); };
  file.Add(AboutCaptions[mode], "AboutPelmora1").OnClick = [](TMenuItem&) {
    ShowAboutBox(false);
  };
  file.Add(mode == emDrill ? "&Error Inspector" : "Error Inspec&tor", "ErrorInspector1")
      .OnClick = [](TMenuItem&) { ShowErrorInspector(); };
  file.AddSeparator();
  file.Add("E&xit", "Exit1").OnClick = [this](TMenuItem&) { Exit1Click(); };

  TMenuItem& view = menu.Add("&View", "View" + std::to_string(3 - mode));
  view.Add("&Refresh", "Refresh1").SetHint("[RD] Redraw").OnClick = [](TMenuItem&) {
    CurrentHelpContext = 83;
    ViewServices().RedrawView();
  };
  view.Add("&Full Screen", "FullScreen1").OnClick = [this](TMenuItem&) { PressCommand(150); };
  view.Add("Zoom &In", "ZoomIn1").SetHint("[ZW] Zoom In").OnClick = [this](TMenuItem&) {
    PressCommand(153);
  };
  view.Add(mode == emCad ? "Zoom &Out 2X" : "Zoom &Out", "ZoomOut2X1")
      .SetHint("[ZB] Zoom Out")
      .OnClick = [this](TMenuItem&) { PressCommand(148); };
  view.Add("Zoom &All", "ZoomAll1").SetHint("[ZA] Zoom All").OnClick = [this](TMenuItem&) {
    PressCommand(147);
  };
  view.Add("&Pan", "Pan1").SetHint("[PA] Pan").OnClick = [this](TMenuItem&) {
    CurrentHelpContext = 71;
    PressCommand(81);
  };
  if (mode == emDrill)
    view.Add("Active &Tools", "ActiveTools1").OnClick = [](TMenuItem&) {
      WhenIdle([] {
        if (ExecuteActiveToolsDialog()) Redraw();
      });
    };
  AddDisplayItems(view, mode);

  if (LayerControlCommand || LayerEraseCommand || SwitchToLayerCommand) {
    TMenuItem& layers = menu.Add("&Layers", "Layers" + std::to_string(3 - mode));
    if (LayerControlCommand)
      layers.Add("&Layer Control", "Layers1").OnClick = [this](TMenuItem&) {
        if (ViewServices().Activity() == 0) LayerControlCommand();
      };
    if (LayerEraseCommand)
      layers.Add("Layer &Erase", "LayerErase1").OnClick = [this](TMenuItem&) {
        LayerEraseCommand();
      };
    if (SwitchToLayerCommand)
      layers.Add("&Switch To Layer", "SwitchToLayer1").SetShortCut("Ctrl+L").OnClick =
          [this](TMenuItem&) {
            if (ViewServices().Activity() == 0) SwitchToLayerCommand();
          };
  }

  TMenuItem& edit = menu.Add("&Edit", "Edit" + std::to_string(3 - mode));
  // The drop-down sets the Undo and Redo items of every menu.
  edit.OnPopup = [this](TMenuItem&) { Edit3Click(); };
  edit.Add(rout || mode == emDrill ? "&Undo" : "&UnDo", UndoItemNames[mode])
      .SetShortCut("Alt+Backspace")
      .SetHint("[OO] Undo")
      .OnClick = [this](TMenuItem&) { PressCommand(UndoCommand); };
  edit.Add(rout || mode == emDrill ? "&Redo" : "Re&Do", RedoItemNames[mode])
      .SetShortCut("Shift+Alt+Backspace")
      .SetHint("[UU] Redo")
      .OnClick = [this](TMenuItem&) { PressCommand(RedoCommand); };
  if (rout) {
    edit.AddSeparator();
    edit.Add("Rout Output For&mat", "RoutOutputFormat1").OnClick = [](TMenuItem&) {
      WhenIdle([] { ExecuteRoutOutputFormatDialog(); });
    };
  }

  if (rout) {
    TMenuItem& modify = menu.Add("&Modify", "Modify2");
    modify.Add("C&utter Config", "CutterConfig1").OnClick = [](TMenuItem&) {
      WhenIdle([] { ExecuteToolPageDialog(CurrentLayer); });
    };
    modify.Add("Default Tool Table", "DefaultToolTable1").OnClick = [](TMenuItem&) {
      WhenIdle([] {
        if (ExecuteDefaultToolPageDialog(CurrentLayer)) Redraw();
      });
    };
  }
  if (mode == emDrill) {
    TMenuItem& tools = menu.Add("&Tools", "Tools1");
    tools.Add("&Edit Tool Table", "EditToolTable1").OnClick = [](TMenuItem&) {
      WhenIdle([] { ExecuteToolTableDialog(); });
    };
    tools.Add("&Auto Load Feeds && Speeds", "AutoLoadFeedsSpeeds1").OnClick = [](TMenuItem&) {
      WhenIdle([] { LoadFeedSpeedTable(); });
    };
  }

  if (mode == emCad) {
    TMenuItem& modify = menu.Add("&Modify", "Modify1");
    modify.Add("&Automatic Cleanup", "AutomaticCleanup1").OnClick = [](TMenuItem&) {
      WhenIdle([] {
        if (DB != nullptr) DB->CleanUp();
      });
    };
  }

  TMenuItem& help = menu.Add("&Help", "Help" + std::to_string(3 - mode));
  help.Add("&Contents", "Contents1").SetShortCut("F1").OnClick = [this](TMenuItem&) {
    HelpClick();
  };
  help.Add("&About", "About" + std::to_string(3 - mode)).OnClick = [](TMenuItem&) {
    ShowAboutBox(false);
  };
}

void TWorkspace::Edit3Click() {
  std::string name;
  const bool canUndo = ActiveUndo != nullptr && ActiveUndo->CanUndo(name);
  const bool canRedo = ActiveUndo != nullptr && ActiveUndo->CanRedo(name);
  for (uint8_t mode : {emDrill, emRout, emCad}) {
    if (TMenuItem* item = MenuItem(mode, UndoItemNames[mode])) item->SetEnabled(canUndo);
    if (TMenuItem* item = MenuItem(mode, RedoItemNames[mode])) item->SetEnabled(canRedo);
  }
}

void TWorkspace::New1Click() {
  if (ViewServices().Activity() != 0) return;
  NewJob();
  UpdateCaption();
  PressCommand(147);
}

void TWorkspace::Open1Click() {
  if (ViewServices().Activity() != 0) return;
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
