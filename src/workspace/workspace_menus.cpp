// The main window's three mode menus and the "Working..." menu.
#include "command/command_services.h"
#include "command/command_interpreter.h"
#include "foundation/file_utils.h"
#include "model/job_file.h"
#include "platform/message_box.h"
#include "tapein/drill_import_command.h"
#include "tapein/rout_file_commands.h"
#include "workspace/startup.h"
#include "workspace/workspace.h"

namespace {
// The Undo and Redo items of the three menus, by mode.
const char* const UndoItemNames[3] = {"Undo3", "Undo2", "UnDo1"};
const char* const RedoItemNames[3] = {"Redo3", "Redo2", "ReDo1"};
}  // namespace

void TWorkspace::PressCommand(int32_t command) { ButtonManager().Press(command); }

TMenuItem* TWorkspace::MenuItem(uint8_t mode, const std::string& name) {
  return ModeMenu(mode).FindItem(name);
}

void TWorkspace::BuildWorkingMenu() { WorkingMenu.Add("Working...", "Working1"); }

void TWorkspace::BuildMenus() {
  if (MenusBuilt_) return;
  MenusBuilt_ = true;
  for (uint8_t mode : {emCad, emRout, emDrill}) BuildModeMenu(mode);
}

void TWorkspace::BuildModeMenu(uint8_t mode) {
  TMainMenu& menu = ModeMenu(mode);
  const bool rout = mode == emRout;

  TMenuItem& file = menu.Add("&File", "File" + std::to_string(3 - mode));
  file.Add("&New", "New1").OnClick = [this](TMenuItem&) { New1Click(); };
  file.Add("&Open", "Open1").SetShortCut("F3").OnClick = [this](TMenuItem&) { Open1Click(); };
  file.Add("&Save", "Save1").SetShortCut("F2").OnClick = [](TMenuItem&) {
    if (ViewServices().Activity() == 0) SaveJobFile();
  };
  file.Add("Save &As", "SaveAs1").OnClick = [](TMenuItem&) {
    if (ViewServices().Activity() == 0) SaveJobFileAs();
  };
  if (rout) {
    file.Add("Open Rout Tap&e", "OpenRoutTape1").OnClick = [](TMenuItem&) {
      if (ViewServices().Activity() == 0) OpenRoutTape(CurrentLayer);
    };
    file.Add("&Make Rout Tape", "MakeRoutTape1").OnClick = [](TMenuItem&) {
      if (ViewServices().Activity() == 0) SaveRoutFileAs(CurrentLayer);
    };
  } else if (mode == emDrill) {
    file.Add("&Import", "Import2").OnClick = [](TMenuItem&) {
      if (ViewServices().Activity() == 0) ImportDrillFile();
    };
  }
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

  TMenuItem& help = menu.Add("&Help", "Help" + std::to_string(3 - mode));
  help.Add("&Contents", "Contents1").SetShortCut("F1").OnClick = [this](TMenuItem&) {
    HelpClick();
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
