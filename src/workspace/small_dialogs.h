// The small windows of the main window: the options dialog, the about box
// and the start-up splash screen, the read-only viewer of input files and
// the warning shown after an edit cut data at the database limits.
//
// What the options dialog and the warning change outside themselves (the
// command interpreter's two switches, the main window's panels, pressing a
// tool button) goes through TDialogHost, which the main window installs;
// until it does, a headless host keeps the values, so the dialogs work and
// can be tested with no main window.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/file_viewer.h"
#include "platform/forms.h"
#include "platform/types.h"

// ---- The main window's side ----------------------------------------------------

class TDialogHost {
 public:
  virtual ~TDialogHost() = default;
  // The command interpreter's toolbar-behaviour flag (true: the tool buttons
  // behave the new way) and its sticky-lines flag.
  virtual bool ToolbarBehaviour() = 0;
  virtual void SetToolbarBehaviour(bool value) = 0;
  virtual bool StickyLines() = 0;
  virtual void SetStickyLines(bool value) = 0;
  // The main window's drawing area (PaintBoxRoot) colour.
  virtual void SetDrawingAreaColor(TColor color) = 0;
  // Shows or hides the layer button panel (LayerPanel) and the tool button
  // panel (CadButtonPanel).
  virtual void ShowLayerPanel(bool show) = 0;
  virtual void ShowToolbarPanel(bool show) = 0;
  // Presses a tool button's command as a click on it would.
  virtual void PressCommand(int32_t command) = 0;
};

class THeadlessDialogHost : public TDialogHost {
 public:
  bool ToolbarBehaviour() override { return Toolbar; }
  void SetToolbarBehaviour(bool value) override { Toolbar = value; }
  bool StickyLines() override { return Sticky; }
  void SetStickyLines(bool value) override { Sticky = value; }
  void SetDrawingAreaColor(TColor color) override { DrawingAreaColor = color; }
  void ShowLayerPanel(bool show) override { LayerPanelShown = show; }
  void ShowToolbarPanel(bool show) override { ToolbarPanelShown = show; }
  void PressCommand(int32_t command) override { Pressed.push_back(command); }

  bool Toolbar = true;
  bool Sticky = false;
  TColor DrawingAreaColor = 0x00800000;
  bool LayerPanelShown = true;
  bool ToolbarPanelShown = true;
  std::vector<int32_t> Pressed;
};

// Installs the main window's host (not owned); nullptr puts the headless one
// back. Returns the one installed before (nullptr for the headless one).
TDialogHost* SetDialogHost(TDialogHost* host);
TDialogHost& DialogHost();
THeadlessDialogHost& HeadlessDialogHost();

// ---- Options ---------------------------------------------------------------------

class TOptionsDialog : public TForm {
 public:
  TOptionsDialog();

  TTabbedPages& TabbedNotebook1;
  TColorGrid& ColorGrid1;
  TPanel& SamplePanel;
  TPaintBox& SamplePaintBox;
  TCheckBox& KORVEX5CheckBox;
  TCheckBox& LayerCheckBox;
  TCheckBox& ToolBarCheckBox;
  TCheckBox& StickyCheckBox;
  TCheckBox& ToolResCheckBox;
  TCheckBox& GougeAvoidCheckBox;
  // Under the pages.
  TButton& OKButton;
  TButton& Button1;

  void FormCreate();
  // The sample panel in the grid's background colour with a dash-dot cross
  // in its foreground colour.
  void SamplePaintBoxPaint();
  void OKButtonClick();
};

// The grid's cells for the two colours; colours not in the grid leave the
// indexes the grid has.
void SelectGridColors(TColorGrid& grid, TColor background, TColor foreground);
void ShowOptionsDialog();

// ---- About box and splash screen -----------------------------------------------------

extern const char* const RevisionNumber;  // "6.12.5"

class TAboutDialog : public TForm {
 public:
  TAboutDialog();
  TImage& Logo;
  TLabel& ProductLabel;
  TPanel& RevisionPanel;
  TButton& OKButton;
};

class TSplashScreen : public TForm {
 public:
  TSplashScreen();
  TImage& Logo;
  TLabel& ProductLabel;
  TPanel& RevisionPanel;
};

// The about box, modally; then the splash screen goes when hideSplash is set.
void ShowAboutBox(bool hideSplash);
// Shows the splash screen without waiting and lets it paint.
void ShowSplash();
void HideSplash();
// The splash screen while it shows, else nullptr.
TSplashScreen* SplashScreen();

// ---- Out of bounds warning --------------------------------------------------------------

class TOutOfBoundsDialog : public TForm {
 public:
  TOutOfBoundsDialog();
  TLabel& Label1;
  TLabel& Label2;
  TLabel& Label3;
  TButton& OKButton;
  TButton& UndoButton;
  void UndoButtonClick();
};

// The second line of the warning for the display units in force.
std::string OutOfBoundsLimitText();
void ShowOutOfBoundsNotice();
