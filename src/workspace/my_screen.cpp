#include "workspace/my_screen.h"

#include <algorithm>
#include <cmath>

#include "command/command_services.h"
#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "platform/events.h"
#include "platform/keys.h"
#include "platform/message_box.h"
#include "workspace/stroke_font.h"
#include "workspace/view_mapping.h"

TMyScreen* MyScreen = nullptr;
TViewHooks ViewHooks;
double GridStep = 1.0;

namespace {

constexpr double UnitsPerInch = 25400000.0;
// Half the range of the scroll bars in database units.
constexpr double ScrollHalfRange = 1073741823.5;
// A view centre must lie strictly inside this.
constexpr double CentreLimit = 1073741824.5;
constexpr int32_t ScrollMax = 10000;
constexpr double MinZoom = 0.95;
constexpr double MaxZoom = 100000.0;
constexpr int32_t ScrollBarThickness = 17;

// Rounds to the nearest integer, halves to the even neighbour, within the
// 32-bit range.
int32_t Round32(double v) { return SaturatingRound(v); }

// The picture offset of a view edge in pixels, kept within int range.
int32_t PixelOffset(double worldDelta, double ppi) {
  return SaturatingRound(worldDelta / UnitsPerInch * ppi);
}

// Lowers a counter on every path.
class TLockGuard {
 public:
  explicit TLockGuard(TMyScreen& s) : S(s) { S.BeginUpdate(); }
  ~TLockGuard() { S.EndUpdate(); }
  TMyScreen& S;
};

}  // namespace

TMyScreen::TMyScreen() = default;

TMyScreen::~TMyScreen() {
  if (RubberPaint != nullptr && Controls_.PaintBox != nullptr) RubberPaint->SetPaintBox(nullptr);
}

// ---- Controls and size ------------------------------------------------------------------

void TMyScreen::Attach(const TViewControls& controls) {
  Controls_ = controls;
  SettingScrollBars_ = true;
  for (TScrollBar* bar : {Controls_.HorizontalScrollbar, Controls_.VerticalScrollbar}) {
    if (bar == nullptr) continue;
    bar->SetRange(0, ScrollMax);
    bar->SetPosition(ScrollMax / 2);
  }
  SettingScrollBars_ = false;
  if (RubberPaint != nullptr) RubberPaint->SetPaintBox(Controls_.PaintBox);
  NeedsRender = 1;
}

void TMyScreen::SetViewSize(int32_t width, int32_t height) {
  Width_ = std::max(width, 0);
  Height_ = std::max(height, 0);
}

int32_t TMyScreen::ViewWidth() const {
  return Controls_.PaintBox != nullptr ? Controls_.PaintBox->Width() : Width_;
}

int32_t TMyScreen::ViewHeight() const {
  return Controls_.PaintBox != nullptr ? Controls_.PaintBox->Height() : Height_;
}

TCanvas* TMyScreen::ViewCanvas() {
  return Controls_.PaintBox != nullptr ? &Controls_.PaintBox->Canvas() : nullptr;
}

// ---- Painting -------------------------------------------------------------------------------

void TMyScreen::BeginUpdate() {
  if (UpdateLock < 255) ++UpdateLock;
}

void TMyScreen::EndUpdate() {
  if (UpdateLock > 0) --UpdateLock;
}

void TMyScreen::ShowView(bool flag) {
  if (UpdateLock > 0) return;
  if (!HasPicture()) return;
  {
    TLockGuard lock(*this);
    const int32_t w = ViewWidth(), h = ViewHeight();
    TDBBitmap& pic = Picture();
    int32_t ox = PixelOffset(ViewLeft - pic.Left, PixelsPerInch);
    int32_t oy = PixelOffset(pic.Top - ViewTop, PixelsPerInch);
    // The picture must hold the whole window at the present scale.
    if (pic.PixelsPerInch != PixelsPerInch || ox < 0 || oy < 0 || int64_t(ox) + w > pic.W() ||
        int64_t(oy) + h > pic.H())
      NeedsRender = 1;
    if (NeedsRender) {
      NeedsRender = 0;
      RenderPicture(flag);
      ox = PixelOffset(ViewLeft - pic.Left, PixelsPerInch);
      oy = PixelOffset(pic.Top - ViewTop, PixelsPerInch);
    }
    RepaintStale();
    if (TCanvas* canvas = ViewCanvas(); canvas != nullptr && w > 0 && h > 0) {
      canvas->CopyMode = cmSrcCopy;
      canvas->CopyRect({0, 0, w, h}, PictureBitmap().Pixels(), {ox, oy, ox + w, oy + h});
    }
    if (ViewHooks.ViewRestored) ViewHooks.ViewRestored();
  }
  if (ViewHooks.DrawWindowMarks) ViewHooks.DrawWindowMarks();
}

void TMyScreen::ShowViewUnlocked(bool flag) {
  uint8_t saved = UpdateLock;
  UpdateLock = 0;
  ShowView(flag);
  UpdateLock = saved;
}

void TMyScreen::Redraw(bool flag) {
  SetZoom(Zoom);
  ShowViewUnlocked(flag);
}

void TMyScreen::UpdateView() {
  if (!HasPicture() || !(Picture().Dirty || HasStaleBox())) return;
  ShowViewUnlocked(false);
  Picture().Dirty = false;
}

namespace {
// Sets the picture's reported size. A buffer of another size than the
// picture (the one of three screens made at start-up, or one of an earlier
// view) is replaced by one of the picture's size, and the picture draws on
// the new buffer: in a wider buffer the picture's rows lie further apart,
// and a redraw of many holes, a few pixels in each of a ring's rows, took
// half as long again.
void SizePicture(TEncapsulatingBitmap& bitmap, TDBBitmap& picture, int32_t width,
                 int32_t height) {
  if (bitmap.UsesDIB) {
    const TBitmap& buffer = bitmap.Pixels();
    if (buffer.Width() != width || buffer.Height() != height) bitmap.DIB->SetSize(width, height);
  }
  if (bitmap.GetWidth() != width) bitmap.SetWidth(width);
  if (bitmap.GetHeight() != height) bitmap.SetHeight(height);
  picture.Canvas = &bitmap.Canvas();
}
}  // namespace

void TMyScreen::RenderPicture(bool flag) {
  if (!HasPicture()) return;
  const int32_t w = std::max(ViewWidth(), 1), h = std::max(ViewHeight(), 1);
  TDBBitmap& pic = Picture();
  SizePicture(PictureBitmap(), pic, 3 * w, 3 * h);
  pic.PixelsPerInch = PixelsPerInch;
  pic.Left = CentreX - (3.0 * w * 0.5) / PixelsPerInch * UnitsPerInch;
  pic.Top = CentreY + (3.0 * h * 0.5) / PixelsPerInch * UnitsPerInch;
  // Everything is painted in order: nothing is stale, and what the
  // databases draw meanwhile is the redraw's own.
  pic.TracksStale = false;
  pic.StaleBox = {};
  PaintPicture(flag, true);
  pic.TracksStale = true;
}

bool TMyScreen::HasStaleBox() {
  const TRect& box = Picture().StaleBox;
  return box.Left < box.Right && box.Top < box.Bottom;
}

void TMyScreen::RepaintStale() {
  if (!HasPicture() || !HasStaleBox()) return;
  TDBBitmap& pic = Picture();
  const TRect box = pic.StaleBox;
  pic.StaleBox = {};
  // Single-step play draws the layer piece by piece over the picture.
  if (Activity == acSingleStep || pic.Canvas == nullptr) return;
  // The box as a redraw paints it, each layer from the records it has (no
  // compensation worked out again): one clipped pass however many items
  // were drawn or erased.
  pic.TracksStale = false;
  pic.Canvas->ClipRect(box);
  PaintPicture(false, false);
  pic.Canvas->ClipRect(TRect{});
  pic.TracksStale = true;
}

void TMyScreen::PaintPicture(bool flag, bool rebuild) {
  TDBBitmap& pic = Picture();
  // The background, grey beyond the database limits.
  pic.BackColor = BackgroundColor;
  pic.Clear();
  pic.ShadeOutsideLimits();
  pic.Reset();

  if (DisplayGrid && ViewHooks.DrawGrid) ViewHooks.DrawGrid();
  if (ZeroZeroLines && ViewHooks.DrawZeroLines) ViewHooks.DrawZeroLines();
  if (ViewHooks.DrawOriginMarks) ViewHooks.DrawOriginMarks();

  // The current mode's database last, so that it lies on top.
  auto cad = [] {
    if (DB != nullptr) DB->Redraw();
  };
  auto rout = [flag, rebuild] {
    if (rebuild && ViewHooks.RedrawRout) ViewHooks.RedrawRout(flag);
    if (!rebuild && ViewHooks.DrawRout) ViewHooks.DrawRout();
  };
  auto drill = [] {
    if (ViewHooks.RedrawDrill) ViewHooks.RedrawDrill();
  };
  switch (EditorMode) {
    case emDrill: cad(); rout(); drill(); break;
    case emRout: cad(); drill(); rout(); break;
    default: rout(); drill(); cad(); break;
  }
  if (ViewHooks.ReleasePickedEntities) ViewHooks.ReleasePickedEntities();
}

// ---- Zoom and pan ---------------------------------------------------------------------------

void TMyScreen::ComputeScale() {
  // A paint box of no size still gets a usable scale.
  const double side = std::max(std::min(ViewWidth(), ViewHeight()), 1);
  PixelsPerInch = side * Zoom / (2.0 * LimitInches);
  ScaleChanged = 1;
}

void TMyScreen::SetZoom(double zoom) {
  TLockGuard lock(*this);
  if (!(zoom >= MinZoom)) zoom = MinZoom;  // also a NaN
  if (zoom > MaxZoom) zoom = MaxZoom;
  Zoom = zoom;
  ComputeScale();
  const int32_t cx = Round32(CentreX), cy = Round32(CentreY);
  if (Zoom > 1.0) {
    PanTo(cx, cy);
    if (ScrollBarsHidden) {
      if (Controls_.YScrollbarRoot != nullptr) Controls_.YScrollbarRoot->SetWidth(ScrollBarThickness);
      if (Controls_.XScrollbarRoot != nullptr) Controls_.XScrollbarRoot->SetHeight(ScrollBarThickness);
      if (Controls_.HorizontalScrollbar != nullptr) Controls_.HorizontalScrollbar->SetVisible(true);
      if (Controls_.VerticalScrollbar != nullptr) Controls_.VerticalScrollbar->SetVisible(true);
      ScrollBarsHidden = 0;
    }
  } else {
    PanTo(cx, cy);
    if (Controls_.XScrollbarRoot != nullptr) Controls_.XScrollbarRoot->SetHeight(0);
    if (Controls_.YScrollbarRoot != nullptr) Controls_.YScrollbarRoot->SetWidth(0);
    if (Controls_.HorizontalScrollbar != nullptr) Controls_.HorizontalScrollbar->SetVisible(false);
    if (Controls_.VerticalScrollbar != nullptr) Controls_.VerticalScrollbar->SetVisible(false);
    ScrollBarsHidden = 1;
  }
  NeedsRender = 1;
  const int32_t large = std::max(Round32(400.0 / Zoom), 1);
  const int32_t small = std::max(Round32(100.0 / Zoom), 1);
  for (TScrollBar* bar : {Controls_.HorizontalScrollbar, Controls_.VerticalScrollbar})
    if (bar != nullptr) bar->SetChanges(small, large);
}

void TMyScreen::ZoomIn() {
  SetZoom(Zoom * 2.0);
  ShowView(false);
}

void TMyScreen::ZoomOut() {
  SetZoom(Zoom * 0.5);
  ShowView(false);
  ButtonManager().ReleaseButton(cmZoomOut);
}

void TMyScreen::ZoomAll() {
  SetZoom(MinZoom);
  ShowView(false);
}

void TMyScreen::ZoomExtents() {
  if (DB != nullptr) DB->ZoomExtents();
  ButtonManager().ReleaseButton(cmZoomExtents);
}

void TMyScreen::ZoomWindow(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  {
    TLockGuard lock(*this);
    const double w = std::max(ViewWidth(), 1), h = std::max(ViewHeight(), 1);
    double halfX, halfY;
    if (w > h) {
      halfX = LimitInches * w / h;
      halfY = LimitInches;
    } else {
      halfX = LimitInches;
      halfY = LimitInches * h / w;
    }
    // A degenerate window still has a size.
    double X1 = x1, Y1 = y1;
    if (x1 == x2) X1 -= 1.0;
    if (y1 == y2) Y1 -= 1.0;
    const int32_t cx = Round32((X1 + x2) * 0.5), cy = Round32((Y1 + y2) * 0.5);
    const double ww = std::max(std::fabs(x2 - X1) / UnitsPerInch, 0.0001);
    const double wh = std::max(std::fabs(y2 - Y1) / UnitsPerInch, 0.0001);
    SetZoom(0.9 * std::min(2.0 * halfX / ww, 2.0 * halfY / wh));
    if (SetViewCentre(cx, cy)) {
      SetScrollPositions(Round32(ScrollMax * 0.5 + ScrollMax * double(cx) / 2147483647.0),
                         Round32(ScrollMax * 0.5 + ScrollMax * -double(cy) / 2147483647.0));
    }
  }
  ShowView(false);
}

void TMyScreen::SetScrollPositions(int32_t horizontal, int32_t vertical) {
  // Our own moves of the bars must not scroll the view back to the bars'
  // coarser positions.
  SettingScrollBars_ = true;
  if (Controls_.HorizontalScrollbar != nullptr) Controls_.HorizontalScrollbar->SetPosition(horizontal);
  if (Controls_.VerticalScrollbar != nullptr) Controls_.VerticalScrollbar->SetPosition(vertical);
  SettingScrollBars_ = false;
}

bool TMyScreen::SetViewCentre(double x, double y) {
  if (!(x > -CentreLimit && x < CentreLimit && y > -CentreLimit && y < CentreLimit)) return false;
  ViewLeft = x - (ViewWidth() / 2.0) / PixelsPerInch * UnitsPerInch;
  ViewTop = y + (ViewHeight() / 2.0) / PixelsPerInch * UnitsPerInch;
  CentreX = x;
  CentreY = y;
  SyncWindow();
  return true;
}

void TMyScreen::SyncWindow() {
  if (RubberPaint == nullptr) return;
  RubberPaint->WindowLeft = ViewLeft;
  RubberPaint->WindowTop = ViewTop;
  RubberPaint->ViewCentreX = CentreX;
  RubberPaint->ViewCentreY = CentreY;
}

void TMyScreen::PanTo(int32_t x, int32_t y) {
  if (!SetViewCentre(x, y)) return;
  {
    TLockGuard lock(*this);
    auto position = [](double c) {
      double inner = double(Round32(2.0 * c));
      return Round32(inner / 2147483647.0 * ScrollMax * 0.5 + ScrollMax * 0.5);
    };
    SetScrollPositions(position(double(x)), position(-double(y)));
  }
  ShowView(false);
}

void TMyScreen::ScrollTo(double horizontal, double vertical) {
  const int32_t x = Round32(ScrollHalfRange * horizontal);
  const int32_t y = -Round32(ScrollHalfRange * vertical);
  if (SetViewCentre(x, y)) ShowView(false);
}

bool TMyScreen::ExecuteViewCommand(int32_t command) {
  switch (command) {
    case cmZoomExtents: ZoomExtents(); return true;
    case cmZoomOut: ZoomOut(); return true;
    case cmFullScreen: ZoomAll(); return true;
    case cmZoomIn: ZoomIn(); return true;
    default: return false;
  }
}

namespace {
// A bar's position as a fraction -1..1; the middle for a bar with no range.
double BarFraction(const TScrollBar* bar) {
  if (bar == nullptr || bar->Max() <= 0) return 0.0;
  return double(bar->Position()) / bar->Max() * 2.0 - 1.0;
}
}  // namespace

void TMyScreen::ScrollbarChange() {
  if (SettingScrollBars_) return;
  ScrollTo(BarFraction(Controls_.HorizontalScrollbar), BarFraction(Controls_.VerticalScrollbar));
}

void TMyScreen::PaintBoxResize() {
  {
    TLockGuard lock(*this);
    // The scale follows the paint box's size.
    ComputeScale();
    ScrollTo(BarFraction(Controls_.HorizontalScrollbar), BarFraction(Controls_.VerticalScrollbar));
    if (ViewHooks.ForgetRubberBand) ViewHooks.ForgetRubberBand();
    Invalidate();
  }
  Refresh();
}

// ---- Mapping --------------------------------------------------------------------------------

int32_t TMyScreen::PixelsToLength(int32_t pixels) const {
  return Round32(pixels / PixelsPerInch * UnitsPerInch);
}

namespace {
double SnapToGridStep(double v) {
  const double grid = GridStep > 0.0 ? GridStep : 1.0;
  const double unit = UnitsPerDisplayUnit > 0 ? UnitsPerDisplayUnit : InchUnitsPerDisplayUnit;
  return unit * std::nearbyint(v / unit / grid) * grid;
}
}  // namespace

int32_t TMyScreen::MouseToWorldX(int32_t column) const {
  double x = ViewLeft + column / PixelsPerInch * UnitsPerInch;
  if (SnapToGrid) x = SnapToGridStep(x);
  return Round32(x);
}

int32_t TMyScreen::MouseToWorldY(int32_t row) const {
  double y = ViewTop - row / PixelsPerInch * UnitsPerInch;
  if (SnapToGrid) y = SnapToGridStep(y);
  return Round32(y);
}

// ---- Input ----------------------------------------------------------------------------------

void TMyScreen::HandleEvent(TInputEvent& event) {
  if (event.Kind == ievMouseMove) UpdateCoordinates(event);
  if (HandlingEvent) return;
  HandlingEvent = 1;
  struct TClear {
    uint8_t& Flag;
    ~TClear() { Flag = 0; }
  } clear{HandlingEvent};

  // A pan asked for under the input takes the next click (or Esc) itself.
  if (PanPickWaits() && Activity != acModal && !event.Shift &&
      (event.Kind == ievMouseDown || (event.Kind == ievKey && event.Flags[0] == VK_ESCAPE))) {
    PanPick = false;
    if (event.Kind == ievMouseDown && event.Buttons == mbtLeft) PanTo(MouseToWorldX(event.X), MouseToWorldY(event.Y));
    return;
  }
  const bool startsPan = event.Shift && event.Kind == ievMouseDown && event.Buttons != 0;
  auto toSink = [&](const std::function<void(TInputEvent&)>& sink) {
    if (startsPan) {
      DragPan(event);
      return;
    }
    event.WorldX = MouseToWorldX(event.X);
    event.WorldY = MouseToWorldY(event.Y);
    if (sink) sink(event);
  };
  switch (Activity) {
    case acIdle: toSink(ViewHooks.CommandEvent); break;
    case acMakeTapePick: toSink(ViewHooks.MakeTapePickEvent); break;
    case acWindowMarking: toSink(ViewHooks.WindowMarkMouseHook); break;
    case acSingleStep:
      // Escape ends the play at once, animated or not.
      if (event.Kind == ievKey && event.Flags[0] == VK_ESCAPE) {
        if (ViewHooks.EndSingleStep) ViewHooks.EndSingleStep();
        break;
      }
      if (event.Kind == ievMouseDown) {
        if (event.Buttons == mbtLeft) {
          if (ViewHooks.StepForward) ViewHooks.StepForward();
        } else if (event.Buttons == mbtRight) {
          if (ViewHooks.Animating && ViewHooks.Animating()) {
            if (ViewHooks.ToggleAnimate) ViewHooks.ToggleAnimate();
          } else if (ViewHooks.EndSingleStep) {
            ViewHooks.EndSingleStep();
          }
        }
      }
      break;
    case acDragPan: DragPan(event); break;
    case acPrintPlacement:
      if (ViewHooks.PrintPlacementEvent) ViewHooks.PrintPlacementEvent(event);
      break;
    default: break;  // a modal dialog is open
  }
  if (HasPicture() && Picture().Dirty) {
    ShowView(false);
    Picture().Dirty = false;
  }
}

bool TMyScreen::PanPickWaits() {
  if (PanPick && PanInput_ && !PanInput_()) PanPick = false;
  if (!PanPick) PanInput_ = nullptr;
  return PanPick;
}

void TMyScreen::TimerStep() {
  if (HandlingEvent || Activity != acSingleStep) return;
  HandlingEvent = 1;
  struct TClear {
    uint8_t& Flag;
    ~TClear() { Flag = 0; }
  } clear{HandlingEvent};
  if (ViewHooks.StepForward) ViewHooks.StepForward();
  if (HasPicture() && Picture().Dirty) {
    ShowView(false);
    Picture().Dirty = false;
  }
}

void TMyScreen::DragPan(const TInputEvent& event) {
  auto endPan = [this] {
    Activity = PreviousActivity;
    PreviousActivity = acIdle;
  };
  if (!PanCancelled) {
    switch (event.Kind) {
      case ievMouseDown:
        if (event.Buttons == mbtLeft && Activity != acDragPan) {
          PreviousActivity = Activity;
          Activity = acDragPan;
          PanStartCentreX = CentreX;
          PanStartCentreY = CentreY;
          PanStartX = event.X;
          PanStartY = event.Y;
        } else if ((event.Buttons & mbtRight) && Activity == acDragPan) {
          PanCancelled = 1;
        }
        break;
      case ievMouseUp:
        if (Activity == acDragPan) endPan();
        break;
      case ievMouseMove:
        if (Activity != acDragPan) break;
        PanTo(Round32(PanStartCentreX - PixelsToLength(event.X - PanStartX)),
              Round32(PanStartCentreY + PixelsToLength(event.Y - PanStartY)));
        if (event.Buttons == 0) endPan();
        break;
      default: break;
    }
    return;
  }
  if (event.Buttons == 0) {
    PanCancelled = 0;
    endPan();
    PanTo(Round32(PanStartCentreX), Round32(PanStartCentreY));
  }
}

// ---- Coordinate panel ---------------------------------------------------------------------------

std::string TMyScreen::CoordinateTemplate() {
  return Metric ? "X 000.00 Y 000.00" : "X 00.000 Y 00.000";
}

namespace {
std::string WithOs(std::string text) {
  std::replace(text.begin(), text.end(), '0', 'O');
  return text;
}
}  // namespace

void TMyScreen::PaintCoordinates() {
  CoordinateText = CoordinateTemplate();
  TPaintBox* panel = Controls_.CoordinatePanel;
  if (panel == nullptr) return;
  {
    TCanvas& probe = panel->Canvas();
    panel->SetWidth(probe.TextWidth(CoordinateText) + 10);
  }
  TCanvas& canvas = panel->Canvas();
  canvas.Brush.Color = ButtonFaceColor;
  canvas.Brush.Style = bsSolid;
  canvas.FillRect({0, 0, panel->Width(), panel->Height()});
  canvas.Font.Color = clBlack;
  const std::string shown = WithOs(CoordinateText);
  const int cell = canvas.TextWidth("X");
  for (size_t i = 0; i < shown.size(); ++i)
    canvas.TextOut(int(i) * cell + 3, 3, std::string(1, shown[i]));
}

void TMyScreen::UpdateCoordinates(const TInputEvent& event) {
  const double unit = UnitsPerDisplayUnit > 0 ? UnitsPerDisplayUnit : InchUnitsPerDisplayUnit;
  double x = MouseToWorldX(event.X) / unit;
  double y = MouseToWorldY(event.Y) / unit;
  double ox, oy;
  OrientRealPoint(x, y, Version, ox, oy);
  const std::string text = WithOs("X" + FormatCoordinate(ox) + " Y" + FormatCoordinate(oy));
  TPaintBox* panel = Controls_.CoordinatePanel;
  if (panel != nullptr) {
    const std::string old = WithOs(CoordinateText);
    TCanvas& canvas = panel->Canvas();
    canvas.Brush.Color = ButtonFaceColor;
    canvas.Brush.Style = bsSolid;
    canvas.Font.Color = clBlack;
    const int cell = canvas.TextWidth("X");
    for (size_t i = 0; i < text.size(); ++i)
      if (i >= old.size() || old[i] != text[i])
        canvas.TextOut(int(i) * cell + 3, 3, std::string(1, text[i]));
  }
  CoordinateText = text;
}

std::string TMyScreen::FormatCoordinate(double v) {
  const bool negative = v < 0.0;
  std::string text = Metric ? RealToStr(std::nearbyint(v * 100.0) * 0.01)
                            : RealToStr(std::nearbyint(v * 1000.0) * 0.001);
  if (negative && !text.empty() && text[0] == '-') text.erase(0, 1);
  const size_t pointAt = Metric ? 3 : 2;  // zero-based place of the "."
  size_t dot = text.find('.');
  if (dot != std::string::npos)
    while (dot < pointAt) {
      text.insert(0, "0");
      ++dot;
    }
  while (text.size() > 6) text.pop_back();
  while (text.size() < 6) text.push_back('0');
  return (negative ? "-" : " ") + text;
}

void TMyScreen::ShowError(const std::string& first, const std::string& second) {
  MessageDlg(first + "\r\n" + second, mtError, mbOKOnly);
}

// ---- TMyScreenViewServices ---------------------------------------------------------------------

void TMyScreenViewServices::CopyPictureToView(const TRect& source, const TRect& target) {
  const TViewControls& c = Screen_.Controls();
  if (c.PaintBox == nullptr || !TMyScreen::HasPicture()) return;
  // The drawing walks offer a copy every 1,000 entities, so that a long
  // redraw shows how far it got. A copy puts a whole view of pixels into
  // the paint box, whose window shows it at its next paint: made every
  // 1,000 entities, the copies took a redraw of half a million hits longer
  // than its drawing. One in kProgressCopyMs is made.
  const uint32_t now = GetTickCount();
  if (Copied_ && now - LastCopy_ < kProgressCopyMs) return;
  Copied_ = true;
  LastCopy_ = now;
  TCanvas& canvas = c.PaintBox->Canvas();
  canvas.CopyMode = cmSrcCopy;
  canvas.CopyRect(target, Screen_.PictureBitmap().Pixels(), source);
}

TDrawingBase& TMyScreenViewServices::Picture() {
  return TMyScreen::HasPicture() ? static_cast<TDrawingBase&>(Screen_.Picture()) : Rest().Picture();
}

double TMyScreenViewServices::PictureLeftX() {
  return TMyScreen::HasPicture() ? Screen_.Picture().Left : Rest().PictureLeftX();
}

double TMyScreenViewServices::PictureTopY() {
  return TMyScreen::HasPicture() ? Screen_.Picture().Top : Rest().PictureTopY();
}

int32_t TMyScreenViewServices::PictureWidth() {
  return TMyScreen::HasPicture() ? Screen_.Picture().W() : Rest().PictureWidth();
}

int32_t TMyScreenViewServices::PictureHeight() {
  return TMyScreen::HasPicture() ? Screen_.Picture().H() : Rest().PictureHeight();
}

TCanvas& TMyScreenViewServices::PictureCanvas() {
  return TMyScreen::HasPicture() ? Screen_.PictureBitmap().Canvas() : Rest().PictureCanvas();
}

void TMyScreenViewServices::BeginModal() {
  if (ModalDepth_ == 0) ActivityBefore_ = Screen_.Activity;
  Rest().BeginModal();
  ++ModalDepth_;
  Screen_.Activity = acModal;
}

void TMyScreenViewServices::EndModal() {
  Rest().EndModal();
  // The input of before (idle, a placement, a pick) only when the outermost
  // bracket closes.
  if (ModalDepth_ > 0) --ModalDepth_;
  if (ModalDepth_ == 0) Screen_.Activity = ActivityBefore_ == acModal ? acIdle : ActivityBefore_;
}

void TMyScreenViewServices::ShowMultipleItemsNotice() {
  if (RubberPaint == nullptr || RubberPaint->Canvas() == nullptr) {
    Rest().ShowMultipleItemsNotice();
    return;
  }
  RubberPaint->SetXorPen();
  ::ShowMultipleItemsNotice(*RubberPaint->Canvas(), Screen_.ViewWidth(), Screen_.ViewHeight());
}

void TMyScreenViewServices::DrawCrossMark(int32_t x, int32_t y) {
  if (RubberPaint == nullptr || RubberPaint->Canvas() == nullptr) {
    Rest().DrawCrossMark(x, y);
    return;
  }
  RubberPaint->SetXorPen();
  RubberPaint->DrawCrossMark(x, y);
}
