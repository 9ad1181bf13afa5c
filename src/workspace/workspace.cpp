#include "workspace/workspace.h"

#include <algorithm>
#include <cctype>

#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "command/user_panel.h"
#include "foundation/display_units.h"
#include "foundation/report_windows.h"
#include "foundation/settings.h"
#include "model/rout_database.h"
#include "tapeout/tooling_hit_marks.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "workspace/clock_panel.h"
#include "workspace/my_screen.h"
#include "workspace/startup.h"
#include "workspace/wait_box.h"

bool WorkspaceReady = false;
bool AppClosing = false;
TJobDatabase* ActiveDB = nullptr;
int32_t MouseX = 0;
int32_t MouseY = 0;
int32_t MouseWorldX = 0;
int32_t MouseWorldY = 0;
uint8_t MouseButtons = 0;
int32_t CurrentHelpContext = 0;
std::string HelpFileName;
TWorkspace* Workspace = nullptr;
uint32_t LastStatusTick = 0;

const char* const ModeWords[3] = {"VarovUvov", "ZuraZeru", "Cad"};

namespace {
constexpr double UnitsPerInch = 25400000.0;
constexpr int MinimumWidth = 600;
constexpr int MinimumHeight = 477;
constexpr uint32_t StatusInterval = 500;

uint8_t ButtonBit(TMouseButton button) {
  switch (button) {
    case mbLeft: return mbtLeft;
    case mbRight: return mbtRight;
    default: return mbtMiddle;
  }
}

bool ContainsText(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Every occurrence of the word in any case replaced.
std::string ReplaceAnyCase(const std::string& text, const std::string& word,
                           const std::string& by) {
  std::string upper = text;
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  std::string result;
  size_t from = 0;
  for (size_t at = upper.find(word); at != std::string::npos; at = upper.find(word, from)) {
    result += text.substr(from, at - from) + by;
    from = at + word.size();
  }
  return result + text.substr(from);
}
}  // namespace

// ---- TStatusDialog ---------------------------------------------------------------------

TStatusDialog::TStatusDialog()
    : TForm("TStatusDialog"),
      CaptionPanel(Add<TPanel>("CaptionPanel")),
      StatusGauge(Add<TGauge>("StatusGauge")),
      CancelButton(Add<TButton>("CancelButton", "Cancel")) {
  SetCaption("Status...");
  SetSizeable(false);
  CaptionPanel.SetBevel(bvLowered);
  CaptionPanel.SetWidth(280);
  CaptionPanel.SetHeight(24);
  StatusGauge.SetWidth(280);
  StatusGauge.SetRange(0, 100);
  CancelButton.SetCancel(true).SetDefault(true);
  CancelButton.OnClick = [this](TControl&) { Cancelled = true; };
}

bool TStatusDialog::SetStatus(const std::string& text, int32_t percent) {
  if (percent > 100) percent = 100;
  uint32_t now = GetTickCount();
  if (static_cast<int32_t>(now) < 0) now = ~now;
  if (now > LastStatusTick && now - LastStatusTick < StatusInterval) return false;
  LastStatusTick = now;
  ShowText(text);
  if (StatusGauge.Progress() != percent) StatusGauge.SetProgress(percent);
  return true;
}

void TStatusDialog::ShowText(const std::string& text) {
  if (CaptionPanel.Caption() == text) return;
  CaptionPanel.SetCaption(text);
  const int width = FormsBackend().TextExtent(text).X + 16;
  const int grow = width - CaptionPanel.PreferredSize().X;
  if (grow <= 0) return;
  CaptionPanel.SetWidth(width);
  StatusGauge.SetWidth(width);
  // A box up keeps its size until told: it grows by as much.
  if (Showing()) SetClientSize(Width() + grow, Height());
}

// ---- TWorkspace: the form --------------------------------------------------------------

TWorkspace::TWorkspace()
    : TForm("TWorkspace"),
      UserPanelRoot(Add<TPanel>("UserPanelRoot")),
      CommandPaintBox(UserPanelRoot.Add<TPaintBox>("CommandPaintBox")),
      UserEdit(UserPanelRoot.Add<TEdit>("UserEdit")),
      StatusStrip(Add<TPanel>("StatusStrip")),
      ClockPanelRoot(StatusStrip.Add<TPanel>("ClockPanelRoot")),
      ClockPanel(ClockPanelRoot.Add<TPaintBox>("ClockPanel")),
      CoordinatePanelRoot(StatusStrip.Add<TPanel>("CoordinatePanelRoot")),
      CoordinatePanel(CoordinatePanelRoot.Add<TPaintBox>("CoordinatePanel")),
      HintPanel(StatusStrip.Add<TPanel>("HintPanel")),
      LayerPanel(Add<TPanel>("LayerPanel")),
      CadButtonPanel(Add<TPanel>("CadButtonPanel")),
      DrawingAreaRoot(Add<TPanel>("DrawingAreaRoot")),
      XScrollbarRoot(DrawingAreaRoot.Add<TPanel>("XScrollbarRoot")),
      HorizontalScrollbar(XScrollbarRoot.Add<TScrollBar>("HorizontalScrollbar", sbHorizontal)),
      YScrollbarRoot(DrawingAreaRoot.Add<TPanel>("YScrollbarRoot")),
      VerticalScrollbar(YScrollbarRoot.Add<TScrollBar>("VerticalScrollbar", sbVertical)),
      PaintBoxRoot(DrawingAreaRoot.Add<TPanel>("PaintBoxRoot")),
      PaintBox(PaintBoxRoot.Add<TPaintBox>("PaintBox")),
      Timer1(Add<TFormTimer>("Timer1", 250)),
      SingleStepTimer(Add<TFormTimer>("SingleStepTimer", 500)) {
  SetCaption("KORVEX 6");
  SetSizeable(true);
  SetClientSize(600, 476);

  // Bottom: the command strip, then the status strip above it.
  UserPanelRoot.SetAlign(alBottom);
  UserPanelRoot.SetHeight(65);
  UserPanelRoot.SetBevel(bvLowered);
  CommandPaintBox.SetAlign(alClient);
  UserEdit.SetVisible(false);
  StatusStrip.SetAlign(alBottom);
  StatusStrip.SetHeight(24);
  StatusStrip.SetBevel(bvNone);
  {
    // The clock and the coordinates stand 3 pixels down in their lowered
    // boxes (4 pixels of frame each way): the strip is as high as their
    // font's letters reach, those that go below the line (g, p, y) too.
    TCanvas& clock = ClockPanel.Canvas();
    clock.Font.FixedPitch = true;
    const int text = std::max(clock.TextHeight("Xgy"), CoordinatePanel.Canvas().TextHeight("Xgy"));
    StatusStrip.SetHeight(std::max(24, text + 3 + 2 + 2 * 4));
  }
  ClockPanelRoot.SetAlign(alLeft);
  ClockPanelRoot.SetWidth(110);
  ClockPanelRoot.SetBevel(bvLowered);
  ClockPanel.SetAlign(alClient);
  CoordinatePanelRoot.SetAlign(alRight);
  CoordinatePanelRoot.SetWidth(149);
  CoordinatePanelRoot.SetBevel(bvLowered);
  CoordinatePanel.SetAlign(alClient);
  HintPanel.SetAlign(alClient);
  HintPanel.SetBevel(bvLowered);
  HintPanel.SetAlignment(taLeftJustify);

  // Sides and the drawing area.
  LayerPanel.SetAlign(alLeft);
  LayerPanel.SetWidth(78);
  CadButtonPanel.SetAlign(alRight);
  CadButtonPanel.SetWidth(78);
  DrawingAreaRoot.SetAlign(alClient);
  DrawingAreaRoot.SetBevel(bvNone);
  XScrollbarRoot.SetAlign(alBottom);
  XScrollbarRoot.SetHeight(17);
  XScrollbarRoot.SetBevel(bvNone);
  HorizontalScrollbar.SetAlign(alClient);
  YScrollbarRoot.SetAlign(alRight);
  YScrollbarRoot.SetWidth(17);
  YScrollbarRoot.SetBevel(bvNone);
  VerticalScrollbar.SetAlign(alClient);
  PaintBoxRoot.SetAlign(alClient);
  PaintBoxRoot.SetBevel(bvNone);
  PaintBox.SetAlign(alClient);
  for (TScrollBar* bar : {&HorizontalScrollbar, &VerticalScrollbar}) {
    bar->SetRange(0, 10000);
    bar->SetPosition(5000);
    bar->SetChanges(1, 100);
    bar->OnChange = [this](TControl&) {
      if (WorkspaceReady && ViewScrollbarChange) ViewScrollbarChange();
    };
  }

  // Paint and resize.
  PaintBox.OnPaint = [this](TControl&) {
    if (!WorkspaceReady) return;
    if (ViewPaint) {
      ViewPaint();
      return;
    }
    TCanvas& canvas = PaintBox.Canvas();
    canvas.Brush.Color = BackgroundColor;
    canvas.Brush.Style = bsSolid;
    canvas.FillRect(PaintBox.ClientRect());
  };
  PaintBoxRoot.OnResize = [this](TControl&) {
    if (WorkspaceReady && ViewResize) ViewResize();
  };
  ClockPanel.OnPaint = [](TControl&) {
    if (WorkspaceReady && UserClock != nullptr) UserClock->Paint();
  };
  CoordinatePanel.OnPaint = [this](TControl&) {
    if (WorkspaceReady && ViewPaintCoordinates) ViewPaintCoordinates();
  };
  CommandPaintBox.OnPaint = [](TControl&) {
    if (WorkspaceReady && UserPanel != nullptr) UserPanel->Invalidate();
  };
  OnResize = [this](TControl&) { FormResize(); };

  // Mouse events of the drawing area and of the command strip.
  PaintBox.OnMouseDown = [this](TControl&, TMouseButton b, TShiftState s, int x, int y) {
    ForgetStandingHint();
    DrawingAreaEvent(ievMouseDown, b, s, x, y, true, false);
  };
  PaintBox.OnMouseUp = [this](TControl&, TMouseButton b, TShiftState s, int x, int y) {
    DrawingAreaEvent(ievMouseUp, b, s, x, y, false, true);
  };
  PaintBox.OnMouseMove = [this](TControl&, TShiftState s, int x, int y) {
    // The pointer is over the drawing: the hint of what it pointed at
    // before (a tool button that moved away under it, a menu item) goes.
    if (ApplicationHintPointed() && !ApplicationHint().empty()) SetPointedHint("");
    DrawingAreaEvent(ievMouseMove, mbLeft, s, x, y, false, false);
  };
  PaintBox.OnClick = [this](TControl&) {
    DrawingAreaEvent(ievClick, mbLeft, 0, MouseX, MouseY, false, false);
  };
  CommandPaintBox.OnMouseDown = [this](TControl&, TMouseButton b, TShiftState s, int x, int y) {
    ForgetStandingHint();
    CommandStripEvent(ievMouseDown, b, s, x, y, true, false);
  };
  CommandPaintBox.OnMouseUp = [this](TControl&, TMouseButton b, TShiftState s, int x, int y) {
    CommandStripEvent(ievMouseUp, b, s, x, y, false, true);
  };
  CommandPaintBox.OnMouseMove = [this](TControl&, TShiftState s, int x, int y) {
    CommandStripEvent(ievMouseMove, mbLeft, s, x, y, false, false);
  };
  CommandPaintBox.OnClick = [this](TControl&) {
    CommandStripEvent(ievClick, mbLeft, 0, MouseX, MouseY, false, false);
  };

  ViewHandleEvent = [](TInputEvent& event) {
    if (ViewServices().Activity() == 0 && ECO != nullptr) ECO->HandleEvent(event);
  };
  ViewMouseToWorld = [](int32_t x, int32_t y, int32_t& wx, int32_t& wy) {
    TViewServices& view = ViewServices();
    const double ppi = view.PixelsPerInch();
    const TRealPoint topLeft = view.ViewTopLeft();
    wx = SaturatingRound(topLeft.X + x / ppi * UnitsPerInch);
    wy = SaturatingRound(topLeft.Y - y / ppi * UnitsPerInch);
  };

  // Keys: typed text goes to the command line.
  KeyPreview = true;
  OnKeyDown = [this](TControl&, uint16_t& key, TShiftState shift) { FormKeyDown(key, shift); };
  OnKeyPress = [this](TControl&, char& key) { FormKeyPress(key); };

  // Timers.
  Timer1.SetInterval(250);
  Timer1.OnTimer = [this](TControl&) { TimerClick(); };
  SingleStepTimer.SetInterval(500);
  SingleStepTimer.SetTimerEnabled(false);
  SingleStepTimer.OnTimer = [this](TControl&) {
    if (WorkspaceReady && SingleStepTick) SingleStepTick();
  };

  OnActivate = [this](TForm&) {
    if (Status_) Status_->CancelButton.SetFocus();
  };
  // While a dialog or a long operation holds the modal bracket the window
  // stays: shutting down would free the databases under it.
  OnCloseQuery = [this](TForm&, bool& canClose) {
    if (ModalLevel_ > 0) {
      MessageBeep(0);
      canClose = false;
      return;
    }
    // Nor while an input of the drawing area waits (a placement, a pick,
    // single step): the import it holds, or the run of the command under
    // it, would be lost. The gate beeps and says how to end it.
    if (UserCommandGate != nullptr && !UserCommandGate(0)) {
      canClose = false;
      return;
    }
    canClose = FormCloseQuery();
  };
  OnClose = [](TForm&) { FormClose(); };

  BuildWorkingMenu();
  Boxes_ = std::make_unique<TBoxBracket>(*this);
}

class TWorkspace::TBoxBracket : public TMessageBoxBackend {
 public:
  explicit TBoxBracket(TWorkspace& form) : Form_(form), Inner_(&MessageBoxBackend()) {
    Outer_ = SetMessageBoxBackend(this);
  }
  ~TBoxBracket() override {
    if (&MessageBoxBackend() == this) SetMessageBoxBackend(Outer_);
  }
  TBoxBracket(const TBoxBracket&) = delete;
  TBoxBracket& operator=(const TBoxBracket&) = delete;
  TModalResult ShowMessageBox(const TMessageBoxRequest& request) override {
    TMenuSwap swap(Form_);
    return Inner_->ShowMessageBox(request);
  }
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override {
    TMenuSwap swap(Form_);
    return Inner_->InputQuery(caption, prompt, value);
  }
  void Beep(uint32_t type) override { Inner_->Beep(type); }

 private:
  struct TMenuSwap {
    TWorkspace& Form;
    TMainMenu* Before = nullptr;
    explicit TMenuSwap(TWorkspace& form) : Form(form) {
      Form.HidePleaseWait();
      if (!WorkspaceReady || Form.ModalLevel_ > 0 || Form.Menu() == &Form.WorkingMenu) return;
      Before = Form.Menu();
      Form.SetMenu(&Form.WorkingMenu);
    }
    ~TMenuSwap() {
      if (Before != nullptr && Form.Menu() == &Form.WorkingMenu) Form.SetMenu(Before);
    }
  };
  TWorkspace& Form_;
  TMessageBoxBackend* Inner_;
  TMessageBoxBackend* Outer_ = nullptr;
};

TWorkspace::~TWorkspace() {
  Boxes_.reset();
  if (Workspace == this) Workspace = nullptr;
  if (ButtonManagerObject != nullptr) ButtonManagerObject->DetachPanel();
  Status_.reset();
  Wait_.reset();
  SetMenu(nullptr);
}

TMainMenu& TWorkspace::ModeMenu(uint8_t mode) {
  switch (mode) {
    case emDrill: return DrillMenu;
    case emRout: return RoutMenu;
    default: return CadMenu;
  }
}

// ---- Editor modes ------------------------------------------------------------------------

void TWorkspace::SetDrillMode() { SetMode(emDrill); }
void TWorkspace::SetRoutMode() { SetMode(emRout); }
void TWorkspace::SetCadMode() { SetMode(emCad); }

void TWorkspace::SetMode(uint8_t mode) {
  // Whatever the strip showed belongs to the mode being left.
  ForgetStandingHint();
  SetApplicationHint("");
  // While a dialog runs (a layer dialog may switch the mode) the
  // "Working..." menu stays; the bracket's end shows the mode's menu.
  if (ModalLevel_ == 0) SetMenu(&ModeMenu(mode));
  EditorMode = mode;
  ActiveUndo = ModeUndo(mode);
  ActiveDB = ModeDatabase(mode);
  switch (mode) {
    case emDrill: ButtonManager().SetDrillMode(); break;
    case emRout: ButtonManager().SetRoutMode(); break;
    default: ButtonManager().SetCadMode(); break;
  }
  // The Undo and Redo buttons show the mode's journal.
  ShowUndoButtons();
  // Line waits in CAD mode, Inspect in the other two, whenever no other
  // command does.
  if (ECO != nullptr) ECO->DefaultCommand = mode == emCad ? 59 : 78;
  ButtonManager().Press(mode == emCad ? 59 : 78);
  if (ECO != nullptr) {
    switch (mode) {
      case emDrill: ECO->EnterDrillMode(); break;
      case emRout: ECO->EnterRoutMode(); break;
      default: ECO->EnterCadMode(); break;
    }
  }
  UpdateCaption();
}

void TWorkspace::UpdateCaption() {
  std::string caption = std::string("KORVEX 6  ") + ModeWords[EditorMode <= emCad ? EditorMode : uint8_t(emCad)];
  if (!DatabaseFileName.empty()) caption += ": <" + DatabaseFileName + ">";
  SetCaption(caption);
}

// ---- Modal bracket ------------------------------------------------------------------------

void TWorkspace::BeginModal() {
  ForgetStandingHint();
  if (ModalLevel_ == 0) ActivityBeforeModal_ = ViewServices().Activity();
  ViewServices().SetActivity(4);
  if (UserPanel != nullptr) UserPanel->DisableEntry();
  ++ModalLevel_;
  if (ModalLevel_ == 1) SetMenu(&WorkingMenu);
}

void TWorkspace::EndModal() {
  if (ModalLevel_ == 0) return;  // unmatched: nothing is open
  if (UserPanel != nullptr) UserPanel->EnableEntry();
  --ModalLevel_;
  // The drawing area stays busy while an outer bracket is still open, and
  // then takes up the input it had.
  if (ModalLevel_ == 0) {
    ViewServices().SetActivity(ActivityBeforeModal_);
    SetMenu(&ModeMenu(EditorMode));
  }
}

bool TWorkspace::TakeIdleUnderDialog(uint8_t activity) {
  if (ModalLevel_ == 0 || activity != 0) return false;
  ActivityBeforeModal_ = 0;
  return true;
}

// ---- Status box ----------------------------------------------------------------------------

void TWorkspace::OpenStatus(const std::string& text) {
  if (!Status_) {
    Status_ = std::make_unique<TStatusDialog>();
    // The first text shows even when another box was updated just before.
    Status_->ShowText(text);
    Status_->Show();
    BeginModal();
    ProcessMessages();
  }
  Status_->SetStatus(text, 0);
}

bool TWorkspace::UpdateStatus(const std::string& text, int32_t percent, bool& cancelled) {
  if (!Status_) {
    cancelled = true;
    return false;
  }
  const bool updated = Status_->SetStatus(text, percent);
  // Let the box repaint and its Cancel button be pressed.
  if (updated) ProcessMessages();
  cancelled = Status_ ? Status_->Cancelled : true;
  return updated;
}

void TWorkspace::CloseStatus() {
  if (!Status_) return;
  std::unique_ptr<TStatusDialog> box = std::move(Status_);
  box->Hide();
  box.reset();
  EndModal();
}

// ---- Please-wait box and report windows ------------------------------------------------------

void TWorkspace::ShowPleaseWait(const std::string& text) {
  if (!Wait_) Wait_ = std::make_unique<TShowWaitDlg>();
  Wait_->SetMessage(text);
  Wait_->Show();
  ProcessMessages();
}

void TWorkspace::HidePleaseWait() {
  if (!Wait_) return;
  std::unique_ptr<TShowWaitDlg> box = std::move(Wait_);
  box->Hide();
}

void TWorkspace::ShowReport(const std::string& caption, const std::vector<std::string>& lines,
                            const TReportShape& shape) {
  size_t widest = 20;
  for (const std::string& line : lines) widest = std::max(widest, line.size());
  // Wide enough for the caption beside the title bar's buttons.
  widest = std::max(widest, caption.size() + 12);
  const int32_t columns = shape.Columns > 0 ? shape.Columns : int32_t(std::min<size_t>(widest + 2, 80));
  TModalBracket bracket;
  if (!shape.Scrolling && lines.size() <= size_t(TGTWindow::BufferLines)) {
    TGTWindow window;
    window.SetCaption(caption);
    window.SetScreenSize(columns, shape.Rows > 0 ? shape.Rows
                                                 : int32_t(std::max<size_t>(lines.size(), 1)));
    window.ClrScr();
    for (size_t i = 0; i < lines.size(); ++i) {
      // The last line stays on the last row: no scroll past it.
      if (i + 1 < lines.size())
        window.WriteLn(lines[i]);
      else
        window.Write(lines[i]);
    }
    window.ShowOKButton();
    window.ShowModal();
    return;
  }
  TGTScrollWindow window;
  // Shown modally, its OK ends the window.
  window.OKButton.SetModalResult(mrOk);
  window.SetCaption(caption);
  window.SetTextSize(columns, shape.Rows > 0 ? shape.Rows : 16);
  window.Clear();
  for (const std::string& line : lines) window.WriteLn(line);
  window.ShowOKButton();
  window.ShowModal();
}

// ---- The small dialogs' host ----------------------------------------------------------------

TWorkspaceDialogHost::TWorkspaceDialogHost(TWorkspace& workspace) : Workspace_(workspace) {}

bool TWorkspaceDialogHost::ToolbarBehaviour() { return ECO == nullptr || ECO->ToolbarBehaviour; }

void TWorkspaceDialogHost::SetToolbarBehaviour(bool value) {
  if (ECO != nullptr) ECO->ToolbarBehaviour = value;
}

bool TWorkspaceDialogHost::StickyLines() { return ECO != nullptr && ECO->StickyLines; }

void TWorkspaceDialogHost::SetStickyLines(bool value) {
  if (ECO != nullptr) ECO->StickyLines = value;
}

void TWorkspaceDialogHost::SetDrawingAreaColor(TColor color) {
  Workspace_.PaintBoxRoot.SetColor(color);
}

void TWorkspaceDialogHost::ShowLayerPanel(bool show) {
  Workspace_.LayerPanel.SetVisible(show);
  Workspace_.Realign();
}

void TWorkspaceDialogHost::ShowToolbarPanel(bool show) {
  Workspace_.CadButtonPanel.SetVisible(show);
  Workspace_.Realign();
}

void TWorkspaceDialogHost::PressCommand(int32_t command) { ButtonManager().Press(command); }

// ---- Hint strip and the undo journal's window side -----------------------------------------

void TWorkspace::DisplayHint() {
  std::string hint = ApplicationHint();
  if (hint.empty())
    hint = StandingHint_;
  else if (!ApplicationHintPointed() && hint.front() != '[')
    StandingHint_ = hint;
  // The strip is a caption: a command's own text (the standing hint) has its
  // "&" doubled to show, where the hints of menu items and buttons are
  // written as captions already.
  if (!hint.empty() && hint == StandingHint_) hint = ReplaceAnyCase(hint, "&", "&&");
  std::string name;
  if (ContainsText(hint, "Undo") && ActiveUndo != nullptr && ActiveUndo->CanUndo(name))
    hint += " " + name;
  if (ContainsText(hint, "Redo") && ActiveUndo != nullptr && ActiveUndo->CanRedo(name))
    hint += " " + name;
  // In rout mode the hints of menu items and buttons ("[LI] Create Line")
  // read "Rout" for "Create"; a report (a command's account of what it did,
  // a file written) is shown as written.
  if (EditorMode == emRout && hint.starts_with("[")) hint = ReplaceAnyCase(hint, "CREATE", "Rout");
  HintPanel.SetCaption(hint);
}

void TWorkspace::ForgetStandingHint() {
  if (StandingHint_.empty()) return;
  const bool current = ApplicationHint() == StandingHint_;
  StandingHint_.clear();
  if (current)
    SetApplicationHint("");
  else
    DisplayHint();
}

void TWorkspace::ShowHourGlass(bool on) { ViewServices().SetCursor(on ? crHourGlass : crDefault); }

std::string TWorkspace::UndoButtonHint() { return ButtonManager().HintOf(UndoCommand); }

std::string TWorkspace::RedoButtonHint() { return ButtonManager().HintOf(RedoCommand); }

void TWorkspace::SetHintCaption(const std::string& caption) { HintPanel.SetCaption(caption); }

void TWorkspace::DisableButton(int32_t command) { ButtonManager().DisableButton(command); }

void TWorkspace::UndoStepsChanged(bool replayed) {
  ShowUndoButtons();
  // The replay changed entities that the picture still shows.
  if (replayed && WorkspaceReady) ViewServices().RedrawView();
}

// ---- Scrolling -------------------------------------------------------------------------------

void TWorkspace::Scroll(TScrollBar& bar, int delta) { bar.SetPosition(bar.Position() + delta); }
void TWorkspace::ScrollLeft() { Scroll(HorizontalScrollbar, -HorizontalScrollbar.SmallChange()); }
void TWorkspace::ScrollRight() { Scroll(HorizontalScrollbar, HorizontalScrollbar.SmallChange()); }
void TWorkspace::ScrollUp() { Scroll(VerticalScrollbar, -VerticalScrollbar.SmallChange()); }
void TWorkspace::ScrollDown() { Scroll(VerticalScrollbar, VerticalScrollbar.SmallChange()); }
void TWorkspace::PageLeft() { Scroll(HorizontalScrollbar, -HorizontalScrollbar.LargeChange()); }
void TWorkspace::PageRight() { Scroll(HorizontalScrollbar, HorizontalScrollbar.LargeChange()); }
void TWorkspace::PageUp() { Scroll(VerticalScrollbar, -VerticalScrollbar.LargeChange()); }
void TWorkspace::PageDown() { Scroll(VerticalScrollbar, VerticalScrollbar.LargeChange()); }

// ---- Events ----------------------------------------------------------------------------------

void TWorkspace::TimerClick() {
  if (!WorkspaceReady) return;
  if (UserClock != nullptr) UserClock->Tick();
  if (UserPanel != nullptr) UserPanel->BlinkCursor();
}

void TWorkspace::FormResize() {
  if (!WorkspaceReady) return;
  const int width = Width(), height = Height();
  if (width < MinimumWidth || height < MinimumHeight)
    SetClientSize(std::max(width, MinimumWidth), std::max(height, MinimumHeight));
}

void TWorkspace::DrawingAreaEvent(uint16_t kind, TMouseButton button, TShiftState shift, int x,
                                  int y, bool setButton, bool clearButton) {
  if (setButton) MouseButtons |= ButtonBit(button);
  if (clearButton) MouseButtons &= uint8_t(~ButtonBit(button));
  if (kind == ievMouseMove) {
    MouseX = x;
    MouseY = y;
    if (ViewMouseToWorld) ViewMouseToWorld(x, y, MouseWorldX, MouseWorldY);
  }
  TInputEvent event;
  event.Kind = kind;
  event.Buttons = MouseButtons;
  event.X = kind == ievClick ? MouseX : x;
  event.Y = kind == ievClick ? MouseY : y;
  event.Shift = (shift & ssShift) ? 1 : 0;
  event.Ctrl = (shift & ssCtrl) ? 1 : 0;
  event.Alt = (shift & ssAlt) ? 1 : 0;
  if (ViewMouseToWorld) ViewMouseToWorld(event.X, event.Y, event.WorldX, event.WorldY);
  if (kind == ievClick) MouseButtons = 0;
  if (WorkspaceReady && ViewHandleEvent) ViewHandleEvent(event);
}

void TWorkspace::CommandStripEvent(uint16_t kind, TMouseButton button, TShiftState shift, int x,
                                   int y, bool setButton, bool clearButton) {
  if (setButton) MouseButtons |= ButtonBit(button);
  if (clearButton) MouseButtons &= uint8_t(~ButtonBit(button));
  // The strip reports moves only while a button is held, so the press and
  // the release place the click that follows them: the last move may have
  // been over the drawing, in its coordinates.
  if (kind == ievMouseMove || kind == ievMouseDown || kind == ievMouseUp) {
    MouseX = x;
    MouseY = y;
  }
  TInputEvent event;
  event.Kind = kind;
  event.Buttons = MouseButtons;
  event.X = x;
  event.Y = y;
  event.Shift = (shift & ssShift) ? 1 : 0;
  event.Ctrl = (shift & ssCtrl) ? 1 : 0;
  event.Alt = (shift & ssAlt) ? 1 : 0;
  if (kind == ievClick) MouseButtons = 0;
  if (WorkspaceReady && UserPanel != nullptr) UserPanel->HandleEvent(event);
}

void TWorkspace::FormKeyDown(uint16_t& key, TShiftState shift) {
  if (!WorkspaceReady || UserPanel == nullptr) return;
  ForgetStandingHint();
  // Alt and Ctrl keys belong to the menus' shortcuts.
  if (shift & (ssAlt | ssCtrl)) return;
  // A command finished from the keyboard (typed points, an edited value)
  // drew into the picture; the window shows it now, not at the next move of
  // the mouse over the drawing.
  struct TShowDrawn {
    ~TShowDrawn() { ViewServices().UpdateView(); }
  } showDrawn;
  // While Inspect edits an entity, Enter with nothing typed saves it, Delete
  // deletes it and Escape (with nothing typed) abandons the edit. Escape
  // ends an input the drawing area takes meanwhile first.
  const bool viewInput = ViewServices().Activity() != 0 || (MyScreen != nullptr && MyScreen->PanPickWaits());
  if (ECO != nullptr && ECO->Inspecting() && !(viewInput && key == VK_ESCAPE) &&
      ((key == VK_RETURN || key == VK_ESCAPE) ? UserPanel->Entry().empty() : key == VK_DELETE)) {
    TInputEvent press;
    press.Kind = ievKey;
    press.Flags[0] = uint8_t(key);
    ECO->HandleEvent(press);
    key = 0;
    return;
  }
  switch (key) {
    case VK_ESCAPE:
      UserPanel->ClearEntry();
      // While the view runs an input of its own (the make-tape coupon pick,
      // the tooling-hit windows) Escape is that input's: it stops it.
      if (viewInput) {
        if (ViewHandleEvent) {
          TInputEvent press;
          press.Kind = ievKey;
          press.Flags[0] = uint8_t(VK_ESCAPE);
          press.X = MouseX;
          press.Y = MouseY;
          ViewHandleEvent(press);
        }
        key = 0;
        break;
      }
      if (ECO != nullptr && ECO->Inspecting()) {
        key = 0;  // only the typed value goes
        break;
      }
      if (ECO != nullptr) {
        TInputEvent cancel = CommandEvent(cmdCancel);
        ECO->HandleEvent(cancel);
      }
      key = 0;
      break;
    case VK_RETURN:
      // The corner of the coupon may be typed as any point is.
      if (ViewServices().Activity() == acMakeTapePick && !UserPanel->Entry().empty()) {
        const std::string typed = UserPanel->Entry();
        UserPanel->ClearEntry();
        // A command's code waits as the menus do (a view command runs); any
        // other text is the corner.
        const int32_t command = typed.size() == 2 ? ButtonManager().CommandOfCode(typed) : 0;
        if (command != 0)
          ButtonManager().PressByUser(command);
        else
          TypedCouponOrigin(typed);
        key = 0;
        break;
      }
      UserPanel->Enter();
      key = 0;
      break;
    case VK_BACK:
      UserPanel->Backspace();
      key = 0;
      break;
    case VK_LEFT: ScrollLeft(); key = 0; break;
    case VK_RIGHT: ScrollRight(); key = 0; break;
    case VK_UP: ScrollUp(); key = 0; break;
    case VK_DOWN: ScrollDown(); key = 0; break;
    case VK_PRIOR: PageUp(); key = 0; break;
    case VK_NEXT: PageDown(); key = 0; break;
    case VK_HOME: PageLeft(); key = 0; break;
    case VK_END: PageRight(); key = 0; break;
    default: break;
  }
}

void TWorkspace::FormKeyPress(char& key) {
  if (!WorkspaceReady || UserPanel == nullptr) return;
  // While a rout layer is played, 'A' animates and 'E' edits the layer.
  if (RTDB != nullptr && RTDB->SingleStepActive != 0 && (key == 'A' || key == 'a' || key == 'E' || key == 'e')) {
    const bool animate = key == 'A' || key == 'a';
    key = 0;
    if (animate)
      RTDB->ToggleAnimate();
    else
      RTDB->SingleStepEdit();
    return;
  }
  if (key >= 32 && key <= 126) {
    UserPanel->TypeChar(key);
    key = 0;
  }
}
