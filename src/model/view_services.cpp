#include "model/view_services.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "platform/forms.h"

namespace {
constexpr double UnitsPerInch = 25400000.0;
TViewServices* Installed = nullptr;
std::unique_ptr<THeadlessViewServices> Headless;
}  // namespace

// ---- TPictureSurface ------------------------------------------------------------------

int32_t TPictureSurface::LengthToDevice(int32_t length) {
  return SaturatingRound(LengthToDeviceReal(length));
}

double TPictureSurface::LengthToDeviceReal(int32_t length) {
  return length / UnitsPerInch * PixelsPerInch;
}

TPictureSurface* TPictureSurface::PlainPicture(int32_t, TRect& near) {
  if (typeid(*this) != typeid(TPictureSurface)) return nullptr;
  // DevicePointNear of the base: the point well inside the 32-bit range.
  constexpr int32_t Safe = 1 << 30;
  near = {-Safe + 1, -Safe + 1, Safe - 1, Safe - 1};
  return this;
}

// ---- THeadlessViewServices -------------------------------------------------------------

THeadlessViewServices::THeadlessViewServices()
    : Surface(nullptr, BackgroundColor), Bitmap(TBitmap::Create(600, 600)) {
  Surface.Canvas = &Bitmap->Canvas();
  SetPicture(0.0, 0.0, 100.0, 600, 600);
}

void THeadlessViewServices::SetPicture(double left, double top, double pixelsPerInch,
                                       int32_t width, int32_t height) {
  Zoom = pixelsPerInch;
  Surface.Left = left;
  Surface.Top = top;
  Surface.PixelsPerInch = pixelsPerInch;
  Bitmap->SetSize(width, height);
  Surface.Canvas = &Bitmap->Canvas();
  PaintWidth = width / 3;
  PaintHeight = height / 3;
  ViewOrigin = {left + PaintWidth / pixelsPerInch * UnitsPerInch,
                top - PaintHeight / pixelsPerInch * UnitsPerInch};
}

void THeadlessViewServices::ZoomWindow(int32_t minX, int32_t minY, int32_t maxX, int32_t maxY) {
  double x1 = std::min(minX, maxX), x2 = std::max(minX, maxX);
  double y1 = std::min(minY, maxY), y2 = std::max(minY, maxY);
  Zooms.push_back({{x1, y1}, {x2, y2}});
  // Fit the larger side into the paint box, centred; the picture is three
  // times the paint box.
  double w = std::max(x2 - x1, 1.0), h = std::max(y2 - y1, 1.0);
  double ppi = std::min(PaintWidth / (w / UnitsPerInch), PaintHeight / (h / UnitsPerInch));
  double cx = (x1 + x2) / 2, cy = (y1 + y2) / 2;
  double pw = Bitmap->Width() / ppi * UnitsPerInch, ph = Bitmap->Height() / ppi * UnitsPerInch;
  SetPicture(cx - pw / 2, cy + ph / 2, ppi, Bitmap->Width(), Bitmap->Height());
  UpdateView();
}

// Every view passes the cursor on to this one: the platform shows it.
void THeadlessViewServices::SetCursor(int32_t cursor) {
  Cursor = cursor;
  SetScreenCursor(cursor);
}

void THeadlessViewServices::UpdateView() {
  TDrawingBase& picture = Picture();
  if (picture.Dirty) {
    ++UpdateCount;
    picture.Dirty = false;
  }
}

TDrawingBase& THeadlessViewServices::Picture() {
  return PictureOverride != nullptr ? *PictureOverride : Surface;
}

void THeadlessViewServices::CopyPictureToView(const TRect&, const TRect&) { ++CopyCount; }

void THeadlessViewServices::BeginModal() {
  ActivityByte = 4;
  ++ModalDepth;
}

void THeadlessViewServices::EndModal() {
  // Idle again only when the outermost bracket closes.
  if (ModalDepth > 0) --ModalDepth;
  if (ModalDepth == 0) ActivityByte = 0;
}

void THeadlessViewServices::OpenStatus(const std::string& text) {
  if (StatusOpen) return;
  BeginModal();
  StatusOpen = true;
  StatusText = text;
  StatusPercent = 0;
}

void THeadlessViewServices::UpdateStatus(const std::string& text, int32_t percent,
                                         bool& cancelled) {
  if (!StatusOpen) {
    cancelled = true;
    return;
  }
  StatusText = text;
  StatusPercent = std::clamp(percent, 0, 100);
  cancelled = CancelPressed;
}

void THeadlessViewServices::CloseStatus() {
  if (!StatusOpen) return;
  StatusOpen = false;
  EndModal();
}

void THeadlessViewServices::ShowPleaseWait(const std::string& text) {
  PleaseWaitShown = true;
  PleaseWaitTexts.push_back(text);
}

void THeadlessViewServices::ShowReport(const std::string& caption,
                                       const std::vector<std::string>& lines,
                                       const TReportShape& shape) {
  Reports.push_back({caption, lines, shape});
}

void THeadlessViewServices::DrawCrossMark(int32_t x, int32_t y) {
  TIntPoint p{x, y};
  auto it = std::find(CrossMarks.begin(), CrossMarks.end(), p);
  if (it != CrossMarks.end())
    CrossMarks.erase(it);
  else
    CrossMarks.push_back(p);
}

// ---- Installation ------------------------------------------------------------------------

THeadlessViewServices& HeadlessViewServices() {
  if (!Headless) Headless = std::make_unique<THeadlessViewServices>();
  return *Headless;
}

void ResetHeadlessViewServices() { Headless = std::make_unique<THeadlessViewServices>(); }

TViewServices* SetViewServices(TViewServices* services) {
  TViewServices* old = Installed;
  Installed = services;
  return old;
}

TViewServices& ViewServices() {
  return Installed != nullptr ? *Installed : HeadlessViewServices();
}

int32_t PixelsToLength(int32_t pixels) {
  return SaturatingRound(pixels / ViewServices().PixelsPerInch() * UnitsPerInch);
}

TDrawingBase& PictureSurface() { return ViewServices().Picture(); }

TDrawingBase& CurrentSurface() {
  return DrawSurface != nullptr ? *DrawSurface : ViewServices().Picture();
}

// ---- TReportConsole ----------------------------------------------------------------------

void TReportConsole::SetScreenSize(int32_t columns, int32_t rows) {
  Columns_ = std::clamp(columns, 1, 256);
  Rows_ = std::clamp(rows, 1, 25);
  ClrScr();
}

void TReportConsole::ClrScr() {
  Screen_.assign(Rows_, std::string(Columns_, ' '));
  X_ = Y_ = 1;
}

void TReportConsole::NewLine() {
  X_ = 1;
  if (Y_ < Rows_) {
    ++Y_;
  } else {
    Screen_.erase(Screen_.begin());
    Screen_.push_back(std::string(Columns_, ' '));
  }
}

void TReportConsole::Write(const std::string& text) {
  for (char c : text) {
    if (X_ > Columns_) NewLine();
    Screen_[Y_ - 1][X_ - 1] = c;
    ++X_;
  }
}

void TReportConsole::WriteLn(const std::string& text) {
  Write(text);
  NewLine();
}

void TReportConsole::GotoXY(int32_t column, int32_t row) {
  X_ = std::clamp(column, 1, Columns_);
  Y_ = std::clamp(row, 1, Rows_);
}

std::vector<std::string> TReportConsole::Lines() const {
  std::vector<std::string> lines;
  for (const std::string& row : Screen_) {
    size_t end = row.find_last_not_of(' ');
    lines.push_back(end == std::string::npos ? "" : row.substr(0, end + 1));
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}
