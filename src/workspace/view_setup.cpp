#include "workspace/view_setup.h"

#include <cmath>
#include <memory>

#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "command/rubber_brain.h"
#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/rout_database.h"
#include "command/argument_command.h"
#include "command/command_text.h"
#include "routpath/endpoint_grid.h"
#include "edit/edit_commands.h"
#include "edit/entity_editors.h"
#include "foundation/display_units.h"
#include "routpath/auto_rout.h"
#include "routpath/rout_path_commands.h"
#include "tapeout/tool_table_dialogs.h"
#include "tapeout/tooling_hit_marks.h"
#include "workspace/command_bands.h"
#include "workspace/db_bitmap.h"
#include "workspace/page_placement.h"
#include "workspace/stroke_font.h"
#include "workspace/layers.h"
#include "workspace/my_screen.h"
#include "workspace/view_mapping.h"
#include "workspace/workspace.h"

namespace {
std::unique_ptr<TMyScreenViewServices> ScreenServices;
constexpr int32_t cmBranch = 37;

// The view commands of the tool buttons and the View menu.
void DefineViewCommands() {
  struct TViewCommand {
    int32_t Number;
    const char* Text;
  };
  static constexpr TViewCommand commands[] = {{cmZoomExtents, "ZOOMEXTENTS"},
                                              {cmZoomOut, "ZOOMOUT"},
                                              {cmFullScreen, "FULLSCREEN"}};
  for (const TViewCommand& command : commands) {
    const int32_t number = command.Number;
    DefineCommand(number, command.Text, [number] {
      return MyScreen != nullptr && MyScreen->ExecuteViewCommand(number);
    });
  }
  // Zoom In ("ZW"): the window of two corners the user clicks, shown with a
  // rectangle band, fills the view; the waiting command comes back after it.
  TArgumentCommandDef window;
  window.Text = "ZOOMWINDOW(CLICK,CLICK)";
  window.Title = "Zoom In";
  window.Prompts = {"Select first corner of window", "Select opposite corner of window"};
  window.Execute = ExecZoomWindow;
  window.Band = bandRectangle;
  DefineArgumentCommand(cmZoomIn, window);
  DefineCommand(cmZoomPan, "ZOOMPAN", [] {
    if (ECO == nullptr || MyScreen == nullptr) return false;
    // Under an input of the drawing area the view takes the next click
    // itself, and the input (an import waiting for its place too) goes on.
    if (DrawingAreaInputWaits()) {
      // The input (and for the import placement the placement command)
      // the pan was chosen in; the pan ends with it.
      const char* input = DrawingAreaInput();
      const TInteractiveCommand* command = ECO->ActiveCommand();
      MyScreen->StartPanPick([input, command] {
        return DrawingAreaInput() == input && (ECO == nullptr || ECO->ActiveCommand() == command);
      });
      SetApplicationHint("Pan: click the new centre of the view (Esc leaves it where it is)");
      return true;
    }
    // The command it replaces goes first: its end puts back the prompt lines
    // it found, which would hide Pan's own.
    ECO->CancelCommand();
    ECO->SetActiveCommand(std::make_unique<TPanCommand>());
    return true;
  });
}

// What the command language needs of the view: the pick aperture, the
// grid, the rubber band, and the stroke font of Text Add.
void ConnectCommandServices() {
  CommandServices.Aperture = [] {
    // Four pixels of the view.
    const double ppi = TRubberPaint::PixelsPerInch();
    return ppi > 0.0 ? SaturatingRound(4.0 / ppi * 25400000.0) : 254000;
  };
  CommandServices.GridStep = [] { return DisplayGrid ? GridStep * UnitsPerDisplayUnit : 0.0; };
  CommandServices.DrawBand = DrawCommandBand;
  StrokeTextLines = [](const std::string& text, const TIntPoint& at, int32_t height,
                       const TStrokeLineSink& line) {
    // The font's cell is 15 grid units high; the strokes come in database
    // units.
    class TLines : public TStrokeText {
     public:
      TLines(const std::string& t, const TIntPoint& p, int32_t h, const TStrokeLineSink& sink)
          : TStrokeText(t, p.X, p.Y, h * 12 / 15, h), Sink(sink) {}
      void MoveTo(int32_t x, int32_t y) override { Pen = {x, y}; }
      void LineTo(int32_t x, int32_t y) override {
        Sink(Pen, {x, y});
        Pen = {x, y};
      }
      const TStrokeLineSink& Sink;
      TIntPoint Pen;
    } lines(text, at, height, line);
    lines.Draw();
  };
}

// The follow of a path asks the user at a junction which branch to take:
// BRANCH picks a CAD entity among the candidates shown.
class TBranchHost : public TFollowBranchHost {
 public:
  void PressBranchCommand() override { ButtonManager().Press(cmBranch); }
  void BackUpOneStep() override {
    if (ECO != nullptr) ECO->BackUpOneStep();
  }
  bool AppClosing() override { return ::AppClosing; }
};
TBranchHost BranchHost;

void DefineBranchCommand() {
  TArgumentCommandDef def;
  def.Text = "BRANCH(PICK)";
  def.Title = "Follow Branch";
  def.Prompts = {"Pick the branch to follow"};
  def.PickMode = 2;
  def.Execute = [](const std::string& text) {
    const int32_t index = GetCommandEntityRef(text, 1);
    FollowPickIndex = index;
    FollowPickEntity = DB != nullptr ? DB->EntityAt(index) : nullptr;
    FollowPickState = fpsPicked;
    return true;
  };
  def.OnCancel = [] {
    if (FollowPickState == fpsWaitingForPick) FollowPickState = fpsStopped;
  };
  DefineSettingCommand(cmBranch, def);
  SetFollowBranchHost(&BranchHost);
  ViewHooks.ReleasePickedEntities = [] {
    if (ECO != nullptr) ECO->ReleasePickedEntities();
  };
  if (ECO != nullptr)
    ECO->ReleasePickedHook = [] {
      if (FollowPickState == fpsWaitingForPick) DrawBranchCandidates();
    };
}

// The picture's background layers and the databases drawn into it.
void ConnectPictureHooks() {
  ViewHooks.DrawGrid = [] {
    if (DBBitmap != nullptr) DBBitmap->DrawGrid();
  };
  ViewHooks.DrawZeroLines = [] {
    if (DBBitmap != nullptr) DBBitmap->DrawZeroLines();
  };
  // The drill database's marker: the drill origin in drill mode, else the
  // current rout layer's G93 origin through RoutOriginMarker.
  ViewHooks.DrawOriginMarks = [] {
    if (DRDB != nullptr) DRDB->DrawOriginMarker();
  };
  RoutOriginMarker = [](bool show) {
    if (RTDB == nullptr) return;
    if (show)
      RTDB->DrawG93Origin();
    else
      RTDB->EraseG93Origin();
  };
  // Zoom to extents takes in the drill layers shown (with step copies).
  DrillZoomExtents = [](TIntPoint& min, TIntPoint& max) {
    return DRDB != nullptr && DRDB->VisibleExtents(min.X, min.Y, max.X, max.Y, true);
  };
  ViewHooks.RedrawDrill = [] {
    if (DRDB != nullptr) DRDB->Redraw();
  };
  ViewHooks.RedrawRout = [](bool flag) {
    if (RTDB != nullptr) RTDB->Redraw(flag ? 1 : 0);
  };
  ViewHooks.DrawRout = [] {
    if (RTDB != nullptr) RTDB->DrawLayers();
  };
}

// Single-step play of a rout layer (activity 1).
void ConnectSingleStepHooks() {
  ViewHooks.StepForward = [] {
    if (RTDB != nullptr) RTDB->StepForward();
  };
  ViewHooks.EndSingleStep = [] {
    if (RTDB != nullptr) RTDB->EndSingleStep();
  };
  ViewHooks.Animating = [] { return RTDB != nullptr && RTDB->Animate != 0; };
  ViewHooks.ToggleAnimate = [] {
    if (RTDB != nullptr) RTDB->ToggleAnimate();
  };
  // The four play buttons, enabled only while the play runs.
  auto play = [](int32_t number, const char* text, void (TRoutDatabase::*step)()) {
    DefineCommand(number, text, [step] {
      if (RTDB == nullptr || RTDB->SingleStepActive == 0) return false;
      (RTDB->*step)();
      return true;
    });
  };
  play(PlayNextCutCommand, "PLAYNEXT", &TRoutDatabase::StepForward);
  play(PlayNextPathCommand, "PLAYNEXTPATH", &TRoutDatabase::StepForwardPath);
  play(PlayBackCutCommand, "PLAYBACK", &TRoutDatabase::StepBack);
  play(PlayBackPathCommand, "PLAYBACKPATH", &TRoutDatabase::StepBackPath);
}
}  // namespace

// ---- TPanCommand ---------------------------------------------------------------------

TPanCommand::TPanCommand() {
  if (UserPanel == nullptr) return;
  UserPanel->SavePrompts(prompts_);
  UserPanel->ClearPrompts();
  UserPanel->SetPromptLine(1, 1, "Pan");
  UserPanel->SetPromptLine(3, 1, "Pick the new centre of the view >");
}

void TPanCommand::RestorePrompts() {
  if (UserPanel != nullptr) UserPanel->RestorePrompts(prompts_);
}

uint16_t TPanCommand::InputMode() const { return done_ ? 0 : ievMouseDown; }

bool TPanCommand::HandleEvent(TInputEvent& event) {
  if (event.Kind != ievMouseDown || (event.Buttons & mbtLeft) == 0) return true;
  PanTo(event.WorldX, event.WorldY);
  return false;
}

bool TPanCommand::TypedText(const std::string& typed) {
  // A keyboard code runs its command meanwhile.
  if (typed.size() == 2 && ButtonManager().CommandOfCode(typed) != 0) return false;
  TIntPoint p{0, 0};
  if (AcceptTypedPoint(typed, nullptr, p)) PanTo(p.X, p.Y);
  return true;
}

void TPanCommand::PanTo(int32_t x, int32_t y) {
  done_ = true;
  ButtonManager().ReleaseButton(cmZoomPan);
  RestorePrompts();
  const std::string text = BuildCommandText("ZOOMPAN", {std::to_string(x), std::to_string(y)});
  if (ECO != nullptr) ECO->SetCurrentCommand(text);
  ExecZoomPan(text);
}

bool ExecZoomWindow(const std::string& text) {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  if (MyScreen == nullptr || !GetCommandInteger(text, 1, x1) || !GetCommandInteger(text, 2, y1) ||
      !GetCommandInteger(text, 3, x2) || !GetCommandInteger(text, 4, y2))
    return false;
  MyScreen->ZoomWindow(x1, y1, x2, y2);
  return true;
}

bool ExecZoomPan(const std::string& text) {
  int32_t x = 0, y = 0;
  if (MyScreen == nullptr || !GetCommandInteger(text, 1, x) || !GetCommandInteger(text, 2, y)) return false;
  MyScreen->PanTo(x, y);
  return true;
}

void TPanCommand::Cancel() {
  ButtonManager().ReleaseButton(cmZoomPan);
  RestorePrompts();
}

// ---- Start-up entries -------------------------------------------------------------------

bool CreateMyScreen() {
  if (MyScreen == nullptr) MyScreen = new TMyScreen();
  return MyScreen != nullptr;
}

void FreeMyScreen() {
  ScreenServices.reset();
  delete MyScreen;
  MyScreen = nullptr;
}

bool CreateRubberPaint() {
  if (RubberPaint == nullptr) RubberPaint = new TRubberPaint();
  return RubberPaint != nullptr;
}

void FreeRubberPaint() {
  delete RubberPaint;
  RubberPaint = nullptr;
}

// ---- Connection ----------------------------------------------------------------------

void ConnectView(TWorkspace& form, TWorkspaceViewServices& services) {
  TWorkspace* window = &form;
  form.LayerControlCommand = [] { Layers1Click(); };
  form.LayerEraseCommand = [] { LayerErase1Click(); };
  form.SwitchToLayerCommand = [] { SwitchToLayer1Click(); };

  if (MyScreen != nullptr) {
    MyScreen->Attach({&form.PaintBox, &form.HorizontalScrollbar, &form.VerticalScrollbar,
                      &form.XScrollbarRoot, &form.YScrollbarRoot, &form.CoordinatePanel});
    ScreenServices = std::make_unique<TMyScreenViewServices>(*MyScreen);
    services.SetViewPart(ScreenServices.get());

    form.ViewHandleEvent = [](TInputEvent& event) {
      if (MyScreen != nullptr) MyScreen->HandleEvent(event);
    };
    form.ViewPaint = [] {
      // The copy wipes the band; the view's restore draws it again.
      if (RubberBrain != nullptr) RubberBrain->Forget();
      if (MyScreen != nullptr) MyScreen->PaintBoxPaint();
    };
    form.ViewPaintCoordinates = [] {
      if (MyScreen != nullptr) MyScreen->PaintCoordinates();
    };
    form.ViewResize = [] {
      if (MyScreen != nullptr) MyScreen->PaintBoxResize();
    };
    form.ViewScrollbarChange = [] {
      if (MyScreen != nullptr) MyScreen->ScrollbarChange();
    };
    form.ViewMouseToWorld = [](int32_t x, int32_t y, int32_t& wx, int32_t& wy) {
      if (MyScreen == nullptr) return;
      wx = MyScreen->MouseToWorldX(x);
      wy = MyScreen->MouseToWorldY(y);
    };
    // The single-step timer steps as a left click does, while single-step
    // play runs with animate on.
    form.SingleStepTick = [] {
      if (MyScreen == nullptr || RTDB == nullptr || RTDB->SingleStepActive == 0 ||
          RTDB->Animate == 0)
        return;
      MyScreen->TimerStep();
    };
    DefineViewCommands();
    DefineEditCommands();
    // Inspect edits only the entities of active layers.
    EditLayerActive = [](uint8_t layer) {
      return layer < 30 ? SlotHasBit(ActiveLayerMask, CadLayerBit(layer))
                        : SlotHasBit(ActiveNCLayerMask, NCLayerBit(layer));
    };
    // The drilled-text and feed-rate questions of the editors.
    DrilledTextDialog = RunDrilledTextDialog;
    FeedScopeDialog = RunFeedRateDialog;
    DefineBranchCommand();
    ConnectCommandServices();
    DefineAutoRoutCommands();
    DefineRoutPathCommands();
  }

  ViewHooks.WindowMarkMouseHook = [](TInputEvent& event) { WindowMarkMouseHook(event); };
  ViewHooks.MakeTapePickEvent = [](TInputEvent& event) { MakeTapePickEvent(event); };
  ViewHooks.DrawWindowMarks = [] { DrawWindowMarks(); };
  SetToolingMarkView(true);
  ViewHooks.CommandEvent = [](TInputEvent& event) {
    if (ECO != nullptr) ECO->HandleEvent(event);
  };
  ViewHooks.ViewRestored = [] {
    if (RubberBrain != nullptr) RubberBrain->ViewRestored();
  };
  ViewHooks.ForgetRubberBand = [] {
    if (RubberBrain != nullptr) RubberBrain->Forget();
  };
  ConnectPictureHooks();
  ConnectSingleStepHooks();
  ConnectPagePlacement();
  // The rubber band's arrow leans to the side the rout path is cut on.
  CurrentCompensationSide = [] { return RTDB != nullptr ? RTDB->AutoRoutCompensation : uint8_t{0}; };

  LayerHooks.SetMode = [window](uint8_t mode) {
    switch (mode) {
      case emDrill: window->SetDrillMode(); break;
      case emRout: window->SetRoutMode(); break;
      default: window->SetCadMode(); break;
    }
  };
  LayerHooks.UpdateCaption = [window] { window->UpdateCaption(); };
  LayerHooks.SetHelpContext = [](int32_t context) { CurrentHelpContext = context; };
  LayerHooks.EndSingleStep = [] {
    if (RTDB != nullptr) RTDB->EndSingleStep();
  };
  LayerHooks.DrawRoutLayer = [](uint8_t layer) {
    if (RTDB != nullptr) RTDB->DrawLayer(layer);
  };
  LayerHooks.RepaintCadLayer = [](uint8_t layer) {
    if (DB != nullptr) DB->RepaintLayer(layer);
  };
  LayerHooks.DeleteRoutLayer = [](uint8_t layer) {
    if (RTDB != nullptr) RTDB->DeleteLayer(layer);
  };
  LayerHooks.HideOriginMarker = [] {
    if (DRDB != nullptr) DRDB->HideOriginMarker();
  };
  LayerHooks.ShowOriginMarker = [] {
    if (DRDB != nullptr) DRDB->ShowOriginMarker();
  };
  LayerHooks.DeleteDrillLayer = [](uint8_t layer) {
    if (DRDB != nullptr) DRDB->DeleteLayer(layer);
  };
}

void ConnectLayerBar(TWorkspace& form) {
  if (LayerBar != nullptr) return;
  CreateLayerButtons(form.LayerPanel);
  for (int layer = 0; layer < LayerLimit; ++layer) {
    auto* button =
        dynamic_cast<TSpeedButton*>(form.LayerPanel.FindControl("L" + std::to_string(layer)));
    if (button == nullptr) continue;
    button->OnClick = [button](TControl&) {
      if (LayerBar != nullptr) LayerBar->LClick(*button);
    };
    button->OnMouseDown = [button](TControl&, TMouseButton b, TShiftState, int x, int y) {
      if (LayerBar != nullptr) LayerBar->LayerMouseDown(*button, b, x, y);
    };
  }
  new TLayerBar(form.LayerPanel);  // registers itself as LayerBar
}

void DisconnectView(TWorkspaceViewServices* services) {
  delete LayerBar;
  LayerBar = nullptr;
  if (services != nullptr) services->SetViewPart(nullptr);
  ScreenServices.reset();
  for (int32_t command : {cmZoomExtents, cmZoomOut, cmFullScreen, cmZoomIn, cmZoomPan})
    UndefineCommand(command);
  // The command language's view services go with the view.
  CommandServices.Aperture = nullptr;
  CommandServices.GridStep = nullptr;
  CommandServices.DrawBand = nullptr;
  StrokeTextLines = nullptr;
  if (FollowBranchHost() == &BranchHost) SetFollowBranchHost(nullptr);
  ViewHooks = {};
  SetToolingMarkView(false);
  LayerHooks = {};
  RoutOriginMarker = nullptr;
  DrillZoomExtents = nullptr;
  CurrentCompensationSide = nullptr;
}
