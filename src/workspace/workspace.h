// The main window TWorkspace: the layer button bar at the left, the tool
// buttons at the right, the drawing area with its scroll bars, the status
// strip (clock, hint, coordinates) and the command strip at the bottom. It
// works in one of three editor modes, each with its own main menu and tool
// buttons; it brackets every modal dialog (the "Working..." menu), keeps the
// modeless status box of long operations, shows the hint strip and drives
// the clock and the command line from its timer.
//
// The view (zoom, scroll bars, coordinates, the picture) and the layer bar
// live in their own units: they place their controls on the panels named
// here (LayerPanel, PaintBox, the two scroll bars, CoordinatePanel) and hook
// the events through the View* handlers below.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "command/input_event.h"
#include "model/undo_journal.h"
#include "model/view_services.h"
#include "platform/forms.h"
#include "platform/menus.h"
#include "workspace/small_dialogs.h"

class TJobDatabase;
class TStatusDialog;
class TShowWaitDlg;

// Set at the end of start-up until the main window closes: the timer,
// paint, resize and scroll handlers do nothing while it is false.
extern bool WorkspaceReady;
// Set when the main window closes: every message-pumping wait loop stops.
extern bool AppClosing;
// The database of the current editor mode: DRDB, RTDB or DB.
extern TJobDatabase* ActiveDB;

// Pointer state shared with the command language: the last position in the
// drawing area (pixels and database units) and the buttons held.
extern int32_t MouseX;
extern int32_t MouseY;
extern int32_t MouseWorldX;
extern int32_t MouseWorldY;
extern uint8_t MouseButtons;
// Help context of the active command.
extern int32_t CurrentHelpContext;
// The help file's name (set at start-up).
extern std::string HelpFileName;

// The mode words of the caption: drill, rout, CAD.
extern const char* const ModeWords[3];

class TWorkspace : public TForm, public TUndoWindow {
 public:
  TWorkspace();
  ~TWorkspace() override;

  // --- controls (owned by the form), in the order they are laid out ---
  TPanel& UserPanelRoot;      // command strip, bottom, 65 high
  TPaintBox& CommandPaintBox;
  TEdit& UserEdit;            // hidden
  TPanel& StatusStrip;        // above the command strip
  TPanel& ClockPanelRoot;     // left, 110 wide
  TPaintBox& ClockPanel;
  TPanel& CoordinatePanelRoot;  // right, 149 wide
  TPaintBox& CoordinatePanel;
  TPanel& HintPanel;          // the rest of the strip
  TPanel& LayerPanel;         // left edge, 78 wide: the layer buttons
  TPanel& CadButtonPanel;     // right edge, 78 wide: the tool buttons
  TPanel& DrawingAreaRoot;    // the client area
  TPanel& XScrollbarRoot;
  TScrollBar& HorizontalScrollbar;
  TPanel& YScrollbarRoot;
  TScrollBar& VerticalScrollbar;
  TPanel& PaintBoxRoot;
  TPaintBox& PaintBox;
  TFormTimer& Timer1;
  TFormTimer& SingleStepTimer;

  // --- menus, one per editor mode, and the one shown while a dialog runs ---
  TMainMenu CadMenu{"CadMenu"};
  TMainMenu RoutMenu{"RoutMenu"};
  TMainMenu DrillMenu{"DrillMenu"};
  TMainMenu WorkingMenu{"WorkingMenu"};
  // The main menu of an editor mode.
  TMainMenu& ModeMenu(uint8_t mode);

  // --- editor modes ---
  void SetDrillMode();
  void SetRoutMode();
  void SetCadMode();
  void UpdateCaption();

  // --- modal bracket ---
  // Entry: activity busy (4), command line disabled, level up, and at the
  // first level the "Working..." menu. Exit: level down, command line
  // enabled again; at level 0 the activity is idle again and the mode's
  // menu comes back (inner exits leave the activity busy).
  void BeginModal() override;
  void EndModal() override;
  int32_t ModalLevel() const { return ModalLevel_; }
  // An input of the drawing area that ends while a dialog is up (the
  // dialog's redraw ends single step) is over: the bracket takes the idle
  // activity as the one its close gives back, and the drawing area stays
  // busy meanwhile. Returns true when it did (a bracket is open and the
  // activity is idle).
  bool TakeIdleUnderDialog(uint8_t activity);

  // --- status box of long operations ---
  void OpenStatus(const std::string& text);
  // True when the box was updated (at most every 500 ms); cancelled tells
  // whether Cancel was pressed (true when no box is open).
  bool UpdateStatus(const std::string& text, int32_t percent, bool& cancelled);
  void CloseStatus();
  bool StatusBoxOpen() const { return Status_ != nullptr; }
  TStatusDialog* StatusBox() const { return Status_.get(); }

  // --- please-wait box and report windows ---
  // Puts up the please-wait box with the message (a line per line feed)
  // and lets it paint; a second call shows the new message in it.
  void ShowPleaseWait(const std::string& text);
  // Takes the box down and frees it.
  void HidePleaseWait();
  TShowWaitDlg* WaitBox() const { return Wait_.get(); }
  // A report window with the lines and OK, modally: the text console up to
  // its 25 rows, the scrolling memo for longer reports.
  void ShowReport(const std::string& caption, const std::vector<std::string>& lines,
                  const TReportShape& shape = {});

  // --- hint strip ---
  // A hint of a menu item or tool button ("[LI] Create Line") shows while
  // the pointer is on it; any other text (a command's report, such as the
  // written tape) stands until the operator does something else: when a
  // pointed hint goes, the report comes back.
  void DisplayHint();
  // The operator did something else: the standing report goes.
  void ForgetStandingHint();

  // --- scrolling by the keyboard of the command line ---
  void ScrollLeft();
  void ScrollRight();
  void ScrollUp();
  void ScrollDown();
  void PageLeft();
  void PageRight();
  void PageUp();
  void PageDown();

  // --- view hooks: set by the view unit; the defaults keep the window
  // working without it ---
  // Mouse events of the drawing area (default: to ECO while idle).
  std::function<void(TInputEvent&)> ViewHandleEvent;
  // Paint of the drawing area, of the coordinate panel; resize of the
  // drawing area; change of a scroll bar.
  std::function<void()> ViewPaint;
  std::function<void()> ViewPaintCoordinates;
  std::function<void()> ViewResize;
  std::function<void()> ViewScrollbarChange;
  // The single-step timer's event for the view (a left button down at 0,0).
  std::function<void()> SingleStepTick;
  // Pixel to world conversion of the pointer (default: the view services'
  // window, no snapping).
  std::function<void(int32_t x, int32_t y, int32_t& worldX, int32_t& worldY)> ViewMouseToWorld;

  // --- menu-command targets of other units, set when those units exist ---
  std::function<void()> LayerControlCommand;  // Layer Control dialog
  std::function<void()> LayerEraseCommand;    // Layer Erase
  std::function<void()> SwitchToLayerCommand; // Switch To Layer

  // Builds the three mode menus (called once by start-up, after the
  // targets above are set).
  void BuildMenus();
  // The menu item of the named handler in a mode's menu (null when absent).
  TMenuItem* MenuItem(uint8_t mode, const std::string& name);
  // Ticks the rout Modify > Compensation item of RTDB's current side.
  void ShowCompensationSide();

  // --- the undo journal's window side ---
  void ShowHourGlass(bool on) override;
  std::string UndoButtonHint() override;
  std::string RedoButtonHint() override;
  void SetHintCaption(const std::string& caption) override;
  void DisableButton(int32_t command) override;
  void UndoStepsChanged(bool replayed) override;

  // --- handlers ---
  void TimerClick();
  void FormResize();
  void New1Click();
  // File Open: the job file chosen is checked before the present job is
  // dropped.
  void Open1Click();
  void Exit1Click();
  void Edit3Click();
  void HelpClick();
  // Keys of the main window: typed characters and Enter go to the command
  // line, Escape cancels the active command, arrows and page keys scroll.
  void FormKeyDown(uint16_t& key, TShiftState shift);
  void FormKeyPress(char& key);

 private:
  void SetMode(uint8_t mode);
  void BuildModeMenu(uint8_t mode);
  // The View menu's display settings of one mode, ticked as they stand.
  void AddDisplayItems(TMenuItem& view, uint8_t mode);
  void BuildWorkingMenu();
  void DrawingAreaEvent(uint16_t kind, TMouseButton button, TShiftState shift, int x, int y,
                        bool setButton, bool clearButton);
  void CommandStripEvent(uint16_t kind, TMouseButton button, TShiftState shift, int x, int y,
                         bool setButton, bool clearButton);
  void Scroll(TScrollBar& bar, int delta);
  void PressCommand(int32_t command);

  // Message boxes are modal too: while one is up the "Working..." menu
  // stands and no please-wait box is left behind it.
  class TBoxBracket;
  std::unique_ptr<TBoxBracket> Boxes_;
  int32_t ModalLevel_ = 0;
  // The drawing area's activity when the outermost bracket opened: a
  // dialog shown during a placement, a pick or single step gives it back.
  uint8_t ActivityBeforeModal_ = 0;
  std::string StandingHint_;
  std::unique_ptr<TStatusDialog> Status_;
  std::unique_ptr<TShowWaitDlg> Wait_;
  bool MenusBuilt_ = false;
};

// The main window (null before start-up and after shutdown).
extern TWorkspace* Workspace;

// True while the drawing area takes an input of its own (a placement, a
// pick, single step) or an import waits to be placed: what the user starts
// meanwhile waits, but the view commands.
bool DrawingAreaInputWaits();
// The name of that input ("single step", "import placement", ...), null when
// none waits.
const char* DrawingAreaInput();

// File Import of the CAD mode: the file chosen in the import dialog (from
// CadImportPath) is read by the Excellon-to-CAD import; then the view zooms
// to the extents, CadImportPath keeps the file's folder, a job without a
// name takes the file's name with the extension "ZUL", and the caption is
// rebuilt.
void ImportCadFile();

// The status box: caption "Status...", the text, a gauge and Cancel.
class TStatusDialog : public TForm {
 public:
  TStatusDialog();
  // Percent above 100 shows 100. Updates at most every 500 ms: an update
  // sooner after the last one changes nothing and returns false.
  bool SetStatus(const std::string& text, int32_t percent);
  // Shows the text, the box widened to it when it is longer than the box
  // (never narrowed, so the box does not jump as the texts change).
  void ShowText(const std::string& text);
  bool Cancelled = false;
  TPanel& CaptionPanel;
  TGauge& StatusGauge;
  TButton& CancelButton;
};

// Tick count of the last status update (shared by every status box).
extern uint32_t LastStatusTick;

// The main window's side of the view services: the modal bracket and the
// status box go to the workspace, the rest to the view part (the view
// unit's services when it installs them, else the headless view).
class TWorkspaceViewServices : public TViewServices {
 public:
  explicit TWorkspaceViewServices(TWorkspace& workspace) : Workspace_(workspace) {}
  // The view unit installs its MyScreen/DBBitmap side here (not owned;
  // null for the headless view).
  void SetViewPart(TViewServices* part) { Part_ = part; }
  TViewServices& ViewPart() { return Part_ != nullptr ? *Part_ : HeadlessViewServices(); }

  double PixelsPerInch() override { return ViewPart().PixelsPerInch(); }
  uint8_t Activity() override { return ViewPart().Activity(); }
  void SetActivity(uint8_t activity) override {
    if (!Workspace_.TakeIdleUnderDialog(activity)) ViewPart().SetActivity(activity);
  }
  void ZoomWindow(int32_t minX, int32_t minY, int32_t maxX, int32_t maxY) override {
    ViewPart().ZoomWindow(minX, minY, maxX, maxY);
  }
  void UpdateView() override { ViewPart().UpdateView(); }
  void RedrawView() override { ViewPart().RedrawView(); }
  TDrawingBase& Picture() override { return ViewPart().Picture(); }
  double PictureLeftX() override { return ViewPart().PictureLeftX(); }
  double PictureTopY() override { return ViewPart().PictureTopY(); }
  int32_t PictureWidth() override { return ViewPart().PictureWidth(); }
  int32_t PictureHeight() override { return ViewPart().PictureHeight(); }
  TCanvas& PictureCanvas() override { return ViewPart().PictureCanvas(); }
  int32_t ViewWidth() override { return ViewPart().ViewWidth(); }
  int32_t ViewHeight() override { return ViewPart().ViewHeight(); }
  TRealPoint ViewTopLeft() override { return ViewPart().ViewTopLeft(); }
  void CopyPictureToView(const TRect& source, const TRect& target) override {
    ViewPart().CopyPictureToView(source, target);
  }
  void BeginModal() override { Workspace_.BeginModal(); }
  void EndModal() override { Workspace_.EndModal(); }
  void OpenStatus(const std::string& text) override { Workspace_.OpenStatus(text); }
  void UpdateStatus(const std::string& text, int32_t percent, bool& cancelled) override {
    Workspace_.UpdateStatus(text, percent, cancelled);
  }
  void CloseStatus() override { Workspace_.CloseStatus(); }
  void ShowPleaseWait(const std::string& text) override { Workspace_.ShowPleaseWait(text); }
  void HidePleaseWait() override { Workspace_.HidePleaseWait(); }
  void SetCursor(int32_t cursor) override { ViewPart().SetCursor(cursor); }
  void ShowReport(const std::string& caption, const std::vector<std::string>& lines,
                  const TReportShape& shape) override {
    Workspace_.ShowReport(caption, lines, shape);
  }
  void ShowMultipleItemsNotice() override { ViewPart().ShowMultipleItemsNotice(); }
  void DrawCrossMark(int32_t x, int32_t y) override { ViewPart().DrawCrossMark(x, y); }

 private:
  TWorkspace& Workspace_;
  TViewServices* Part_ = nullptr;
};

// The main window's side of the small dialogs: the command interpreter's
// toolbar-behaviour and sticky-lines switches (which the interpreter loads
// from the registry when it is made), the drawing area's colour, the layer and tool
// button panels, and pressing a tool button.
class TWorkspaceDialogHost : public TDialogHost {
 public:
  explicit TWorkspaceDialogHost(TWorkspace& workspace);
  bool ToolbarBehaviour() override;
  void SetToolbarBehaviour(bool value) override;
  bool StickyLines() override;
  void SetStickyLines(bool value) override;
  void SetDrawingAreaColor(TColor color) override;
  void ShowLayerPanel(bool show) override;
  void ShowToolbarPanel(bool show) override;
  void PressCommand(int32_t command) override;

 private:
  TWorkspace& Workspace_;
};

