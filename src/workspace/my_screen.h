// The view state MyScreen: the one view of the job.
//
// MyScreen keeps the zoom, the scale in pixels per inch, the view centre
// and the activity state that tells the input handlers what the drawing
// area is doing. It renders the databases into an off-screen picture three
// paint boxes wide and high around the view (so that panning inside it only
// copies pixels), copies the visible part into the paint box, converts
// mouse pixels to database units (snapping to the grid when asked), drives
// the two scroll bars, pans by Shift + drag, and paints the coordinate
// panel.
//
// It works on the main form's controls (TViewControls) when attached and
// headlessly without them (SetViewSize gives the paint box size). The
// picture is the screen picture DBBitmap on OffscreenBitmap (created at
// start-up after MyScreen); while there is none, nothing is rendered or
// copied. The databases and the rest of the window reach it through the
// view services seam: TMyScreenViewServices serves the view calls from
// MyScreen.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "command/input_event.h"
#include "model/view_services.h"
#include "platform/canvas.h"
#include "platform/forms.h"
#include "workspace/db_bitmap.h"

// Activity states of the drawing area.
enum : uint8_t {
  acIdle = 0,          // events go to the command interpreter
  acSingleStep = 1,    // single-step display of a rout layer
  acDragPan = 2,       // Shift + drag pans the view
  acPrintPlacement = 3,
  acModal = 4,         // a modal dialog is open: events are ignored
  acMakeTapePick = 5,
  acWindowMarking = 6,
};

// Commands of the view that tool buttons and menu items send.
constexpr int32_t cmZoomExtents = 147;
constexpr int32_t cmZoomOut = 148;
constexpr int32_t cmFullScreen = 150;
constexpr int32_t cmZoomIn = 153;
constexpr int32_t cmZoomPan = 81;

// The step of the grid drawn last, in display units (1.0 before any grid
// was drawn); snapping to the grid uses it.
extern double GridStep;

// The parts of the program around the view that it calls: the rout and
// drill databases, the grid and marks of the picture, the command
// interpreter and the rubber-band brain, the sinks of the activity states.
// Each is optional; an unset hook does nothing.
struct TViewHooks {
  std::function<void(bool)> RedrawRout;  // the flag draws the step copies
  std::function<void()> RedrawDrill;
  std::function<void()> DrawRout;  // the layers as their records stand
  std::function<void()> DrawGrid;
  std::function<void()> DrawZeroLines;
  std::function<void()> DrawOriginMarks;
  std::function<void()> ReleasePickedEntities;
  std::function<void()> ViewRestored;      // the view was copied again
  std::function<void()> ForgetRubberBand;  // the paint box was resized
  std::function<void()> DrawWindowMarks;
  std::function<void(TInputEvent&)> CommandEvent;         // idle: ECO
  std::function<void(TInputEvent&)> PrintPlacementEvent;  // activity 3
  std::function<void(TInputEvent&)> MakeTapePickEvent;    // activity 5
  std::function<void(TInputEvent&)> WindowMarkMouseHook;  // activity 6
  std::function<void()> StepForward;                      // activity 1
  std::function<void()> EndSingleStep;
  std::function<bool()> Animating;
  std::function<void()> ToggleAnimate;
};
extern TViewHooks ViewHooks;

// The main form's controls that the view drives (none owned; any may be
// null).
struct TViewControls {
  TPaintBox* PaintBox = nullptr;
  TScrollBar* HorizontalScrollbar = nullptr;
  TScrollBar* VerticalScrollbar = nullptr;
  TControl* XScrollbarRoot = nullptr;  // holder of the horizontal bar
  TControl* YScrollbarRoot = nullptr;  // holder of the vertical bar
  TPaintBox* CoordinatePanel = nullptr;
};

// The colour the coordinate panel is cleared in.
constexpr TColor ButtonFaceColor = clSilver;

class TMyScreen {
 public:
  TMyScreen();
  ~TMyScreen();
  TMyScreen(const TMyScreen&) = delete;
  TMyScreen& operator=(const TMyScreen&) = delete;

  // ---- State ----
  uint8_t ScaleChanged = 1;
  uint8_t Activity = acIdle;
  uint8_t PreviousActivity = acIdle;
  double Zoom = 2.0;
  double PixelsPerInch = 7.6;
  uint8_t HandlingEvent = 0;
  uint8_t ScrollBarsHidden = 0;
  std::string CoordinateText;
  double LimitInches = 1073741824.0 / 25400000.0;
  uint8_t NeedsRender = 1;
  double PanStartCentreX = 0.0;
  double PanStartCentreY = 0.0;
  uint8_t PanCancelled = 0;
  int32_t PanStartX = 0;
  int32_t PanStartY = 0;
  uint8_t UpdateLock = 0;

  // The view window: world X of the paint box's left edge, world Y of its
  // top edge, and the centre (copied to RubberPaint whenever it moves).
  double ViewLeft = -695264503.73;
  double ViewTop = 536870911.75;
  double CentreX = 0.0;
  double CentreY = 0.0;

  // ---- Controls and size ----
  // Binds the form's controls: the scroll bars run 0 to 10000 and the
  // paint box becomes RubberPaint's surface.
  void Attach(const TViewControls& controls);
  const TViewControls& Controls() const { return Controls_; }
  // The paint box size used while no paint box is attached.
  void SetViewSize(int32_t width, int32_t height);
  int32_t ViewWidth() const;
  int32_t ViewHeight() const;

  // ---- The off-screen picture ----
  // DBBitmap and its bitmap; both exist only between their creation and
  // destruction at start-up and shutdown.
  static bool HasPicture() { return DBBitmap != nullptr && OffscreenBitmap != nullptr; }
  TDBBitmap& Picture() { return *DBBitmap; }
  TEncapsulatingBitmap& PictureBitmap() { return *OffscreenBitmap; }

  // ---- Painting ----
  void BeginUpdate();
  void EndUpdate();
  void ShowView(bool flag);
  void Refresh() { ShowView(false); }
  void RefreshWithFlag() { ShowView(true); }
  void Redraw(bool flag);
  void RedrawView() { Redraw(false); }
  void RedrawWithFlag() { Redraw(true); }
  void Invalidate() { NeedsRender = 1; }
  void UpdateView();
  void RenderPicture(bool flag);
  // Paints the picture's stale box again, clipped, as a redraw paints it
  // (nothing while single-step play draws); the box is emptied.
  void RepaintStale();
  bool HasStaleBox();

  // ---- Zoom and pan ----
  void ComputeScale();
  void SetZoom(double zoom);
  void ZoomIn();
  void ZoomOut();
  void ZoomAll();
  void ZoomExtents();
  void ZoomWindow(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void PanTo(int32_t x, int32_t y);
  // Fractions -1..1 of the database extent.
  void ScrollTo(double horizontal, double vertical);
  bool SetViewCentre(double x, double y);
  // The view commands 147, 148, 150 and 153; false for any other number.
  bool ExecuteViewCommand(int32_t command);
  // Pan under an input of the drawing area's own: the next left click
  // becomes the view's centre and the input goes on; the right button or
  // Esc leaves the view where it is. The pan lasts only as long as the
  // input it was chosen in: inputGoesOn tells whether that one still runs
  // (a placement ended by a typed point ends the pan too).
  void StartPanPick(std::function<bool()> inputGoesOn = nullptr) {
    PanPick = true;
    PanInput_ = std::move(inputGoesOn);
  }
  // True while a pan waits for its click; a pan whose input has ended is
  // dropped first.
  bool PanPickWaits();
  bool PanPick = false;
  // The single-step timer's step: the play steps on as a left click would
  // have it, but the step is no click (a waiting pan does not take it).
  void TimerStep();

  // ---- Form events ----
  // A scroll bar was moved by the user.
  void ScrollbarChange();
  void PaintBoxResize();
  void PaintBoxPaint() { Refresh(); }

  // ---- Mapping ----
  int32_t PixelsToLength(int32_t pixels) const;
  int32_t MouseToWorldX(int32_t column) const;
  int32_t MouseToWorldY(int32_t row) const;

  // ---- Input ----
  void HandleEvent(TInputEvent& event);
  void DragPan(const TInputEvent& event);

  // ---- Coordinate panel ----
  void PaintCoordinates();
  void UpdateCoordinates(const TInputEvent& event);
  static std::string FormatCoordinate(double value);
  // The panel's template in the current units.
  static std::string CoordinateTemplate();

  // An error box with two lines.
  static void ShowError(const std::string& first, const std::string& second);

 private:
  void ShowViewUnlocked(bool flag);
  // Background, grid, axes, marks and the databases in redraw order, then
  // the picks: rebuild works each rout layer's records out again.
  void PaintPicture(bool flag, bool rebuild);
  void SyncWindow();
  void SetScrollPositions(int32_t horizontal, int32_t vertical);
  TCanvas* ViewCanvas();
  TViewControls Controls_;
  std::function<bool()> PanInput_;  // the pan's input still runs
  int32_t Width_ = 0;
  int32_t Height_ = 0;
  bool SettingScrollBars_ = false;
};

// The one view of the program (null until created).
extern TMyScreen* MyScreen;

// The view part of the view services, served by a TMyScreen: zoom, activity,
// the picture and the paint box. The modal bracket sets the activity and is
// passed on, like the status box, the please-wait box, the cursor and the
// reports, to the rest (the headless view when none is given).
class TMyScreenViewServices : public TViewServices {
 public:
  explicit TMyScreenViewServices(TMyScreen& screen, TViewServices* rest = nullptr)
      : Screen_(screen), Rest_(rest) {}
  TViewServices& Rest() { return Rest_ != nullptr ? *Rest_ : HeadlessViewServices(); }

  double PixelsPerInch() override { return Screen_.PixelsPerInch; }
  uint8_t Activity() override { return Screen_.Activity; }
  // An input ended under a bracket opened here leaves the view idle when
  // the bracket closes, as the workspace's does.
  void SetActivity(uint8_t activity) override {
    if (ModalDepth_ > 0 && activity == acIdle) ActivityBefore_ = acIdle;
    else Screen_.Activity = activity;
  }
  void ZoomWindow(int32_t minX, int32_t minY, int32_t maxX, int32_t maxY) override {
    Screen_.ZoomWindow(minX, minY, maxX, maxY);
  }
  void UpdateView() override { Screen_.UpdateView(); }
  void RedrawView() override { Screen_.RedrawView(); }
  // DBBitmap; the rest's picture while there is none.
  TDrawingBase& Picture() override;
  double PictureLeftX() override;
  double PictureTopY() override;
  int32_t PictureWidth() override;
  int32_t PictureHeight() override;
  TCanvas& PictureCanvas() override;
  int32_t ViewWidth() override { return Screen_.ViewWidth(); }
  int32_t ViewHeight() override { return Screen_.ViewHeight(); }
  TRealPoint ViewTopLeft() override { return {Screen_.ViewLeft, Screen_.ViewTop}; }
  void CopyPictureToView(const TRect& source, const TRect& target) override;
  void BeginModal() override;
  void EndModal() override;
  void OpenStatus(const std::string& text) override { Rest().OpenStatus(text); }
  void UpdateStatus(const std::string& text, int32_t percent, bool& cancelled) override {
    Rest().UpdateStatus(text, percent, cancelled);
  }
  void CloseStatus() override { Rest().CloseStatus(); }
  void ShowPleaseWait(const std::string& text) override { Rest().ShowPleaseWait(text); }
  void HidePleaseWait() override { Rest().HidePleaseWait(); }
  void SetCursor(int32_t cursor) override { Rest().SetCursor(cursor); }
  void ShowReport(const std::string& caption, const std::vector<std::string>& lines,
                  const TReportShape& shape) override {
    Rest().ShowReport(caption, lines, shape);
  }
  // With RubberPaint, the notice in exclusive-or across the paint box.
  void ShowMultipleItemsNotice() override;
  // With RubberPaint, an exclusive-or cross on the paint box.
  void DrawCrossMark(int32_t x, int32_t y) override;

 private:
  TMyScreen& Screen_;
  TViewServices* Rest_;
  int32_t ModalDepth_ = 0;  // brackets open through these services
  uint8_t ActivityBefore_ = acIdle;  // when the outermost opened
  // The tick count of the last progressive copy made, if any.
  bool Copied_ = false;
  uint32_t LastCopy_ = 0;
};

// Progressive copies of the picture to the view closer together than this
// are left out.
constexpr uint32_t kProgressCopyMs = 100;
