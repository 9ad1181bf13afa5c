// What the databases and the entity model use of the main window and the
// view: the editor and layer state (model/editor_state.h), the screen
// picture (DBBitmap) and its window onto the world, the view's zoom and
// activity, the modal bracket, the status box, the please-wait box, the
// cursor, report windows and the view notices.
//
// The window side is one interface, TViewServices, that the main window
// installs. Until it does, a headless view does the least real work: it
// keeps a picture on an off-screen bitmap with its own world-to-pixel
// mapping, counts the modal nesting, keeps the status text and percentage,
// answers Cancel from a flag, and remembers every report and box it showed,
// so that the model runs and can be tested with no window.
#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/display_units.h"
#include "foundation/geometry.h"
#include "model/drawing_base.h"
#include "model/editor_state.h"
#include "platform/canvas.h"
#include "platform/types.h"

// ---- The window side --------------------------------------------------------------

// The window a report is shown in: a fixed text screen or a scrolling text,
// of Columns x Rows characters (0: sized to the lines).
struct TReportShape {
  bool Scrolling = false;
  int32_t Columns = 0;
  int32_t Rows = 0;
  bool operator==(const TReportShape&) const = default;
};

class TViewServices {
 public:
  virtual ~TViewServices() = default;

  // MyScreen: zoom in pixels per inch, activity byte (0 idle, 1 single-step
  // play, 4 modal dialog).
  virtual double PixelsPerInch() = 0;
  virtual uint8_t Activity() = 0;
  virtual void SetActivity(uint8_t activity) = 0;
  // Zooms to the world rectangle (corners in any order) and shows the view.
  virtual void ZoomWindow(int32_t minX, int32_t minY, int32_t maxX, int32_t maxY) = 0;
  // Shows the picture when it changed since last shown.
  virtual void UpdateView() = 0;
  // Redraws the whole view from the databases.
  virtual void RedrawView() = 0;

  // DBBitmap: the screen picture's surface, the world position of its left
  // column and top row, its size in pixels and its canvas.
  virtual TDrawingBase& Picture() = 0;
  virtual double PictureLeftX() = 0;
  virtual double PictureTopY() = 0;
  virtual int32_t PictureWidth() = 0;
  virtual int32_t PictureHeight() = 0;
  virtual TCanvas& PictureCanvas() = 0;

  // The paint box: its size in pixels, the world position of its top-left
  // corner, and copying part of the picture into it.
  virtual int32_t ViewWidth() = 0;
  virtual int32_t ViewHeight() = 0;
  virtual TRealPoint ViewTopLeft() = 0;
  virtual void CopyPictureToView(const TRect& source, const TRect& target) = 0;

  // Workspace: the modal bracket and the modeless status box.
  virtual void BeginModal() = 0;
  virtual void EndModal() = 0;
  virtual void OpenStatus(const std::string& text) = 0;
  // Sets text and percentage (clamped to 100); cancelled tells whether
  // Cancel was pressed (always true with no status box open).
  virtual void UpdateStatus(const std::string& text, int32_t percent, bool& cancelled) = 0;
  virtual void CloseStatus() = 0;

  // The please-wait box (lines split at line feeds) and the screen cursor.
  virtual void ShowPleaseWait(const std::string& text) = 0;
  virtual void HidePleaseWait() = 0;
  virtual void SetCursor(int32_t cursor) = 0;

  // A report window: caption and its text lines, shown modally with OK.
  virtual void ShowReport(const std::string& caption, const std::vector<std::string>& lines,
                          const TReportShape& shape = {}) = 0;

  // "Multiple items at this location" across the view; a second call
  // removes it.
  virtual void ShowMultipleItemsNotice() = 0;
  // An X of 10 pixels each way at the world point; drawn twice it vanishes.
  virtual void DrawCrossMark(int32_t x, int32_t y) = 0;
};

// The screen picture of the headless view: an off-screen bitmap whose left
// column and top row sit at world (Left, Top), at the view's zoom.
class TPictureSurface : public TDrawingBase {
 public:
  TPictureSurface(TCanvas* canvas, TColor backColor) : TDrawingBase(canvas, backColor) {}
  int32_t LengthToDevice(int32_t length) override;
  double LengthToDeviceReal(int32_t length) override;
  // Final and inline: a redraw converts every point, and the conversion
  // inlines wherever the surface is known to be a picture.
  void WorldToDevice(double x, double y, int32_t& dx, int32_t& dy) final {
    double rx, ry;
    WorldToDeviceReal(x, y, rx, ry);
    // Already inside the 32-bit range: round halves to even.
    dx = static_cast<int32_t>(RoundHalfEven(rx));
    dy = static_cast<int32_t>(RoundHalfEven(ry));
  }
  void WorldToDeviceReal(double x, double y, double& dx, double& dy) final {
    dx = ClampDevice((x - Left) / 25400000.0 * PixelsPerInch);
    dy = ClampDevice((Top - y) / 25400000.0 * PixelsPerInch);
  }
  bool IsScreen() override { return true; }
  // This very class only: a surface built on it may paint otherwise.
  TPictureSurface* PlainPicture(int32_t margin, TRect& near) override;

  double Left = 0.0;
  double Top = 0.0;
  double PixelsPerInch = 100.0;

 private:
  // NaN to 0, else limited to the 32-bit range.
  static double ClampDevice(double v) {
    if (v != v) return 0.0;
    return std::clamp(v, -2147483647.0, 2147483647.0);
  }
};

class THeadlessViewServices : public TViewServices {
 public:
  THeadlessViewServices();

  double PixelsPerInch() override { return Zoom; }
  uint8_t Activity() override { return ActivityByte; }
  void SetActivity(uint8_t activity) override { ActivityByte = activity; }
  void ZoomWindow(int32_t minX, int32_t minY, int32_t maxX, int32_t maxY) override;
  void UpdateView() override;
  void RedrawView() override { ++RedrawCount; }

  TDrawingBase& Picture() override;
  double PictureLeftX() override { return Surface.Left; }
  double PictureTopY() override { return Surface.Top; }
  int32_t PictureWidth() override { return Bitmap->Width(); }
  int32_t PictureHeight() override { return Bitmap->Height(); }
  TCanvas& PictureCanvas() override { return Picture().Canvas ? *Picture().Canvas : Bitmap->Canvas(); }

  int32_t ViewWidth() override { return PaintWidth; }
  int32_t ViewHeight() override { return PaintHeight; }
  TRealPoint ViewTopLeft() override { return ViewOrigin; }
  void CopyPictureToView(const TRect& source, const TRect& target) override;

  void BeginModal() override;
  void EndModal() override;
  void OpenStatus(const std::string& text) override;
  void UpdateStatus(const std::string& text, int32_t percent, bool& cancelled) override;
  void CloseStatus() override;

  void ShowPleaseWait(const std::string& text) override;
  void HidePleaseWait() override { PleaseWaitShown = false; }
  // Kept, and shown by the platform over every window of the program.
  void SetCursor(int32_t cursor) override;

  void ShowReport(const std::string& caption, const std::vector<std::string>& lines,
                  const TReportShape& shape) override;
  void ShowMultipleItemsNotice() override { NoticeShown = !NoticeShown; }
  void DrawCrossMark(int32_t x, int32_t y) override;

  // Sets the picture's world window and zoom; the paint box shows the
  // middle third of the picture, as the main window's view does.
  void SetPicture(double left, double top, double pixelsPerInch, int32_t width, int32_t height);

  // The picture surface; tests may put another in its place (not owned).
  TPictureSurface Surface;
  TDrawingBase* PictureOverride = nullptr;
  std::unique_ptr<TBitmap> Bitmap;

  double Zoom = 100.0;
  uint8_t ActivityByte = 0;
  int32_t PaintWidth = 0;
  int32_t PaintHeight = 0;
  TRealPoint ViewOrigin;
  int32_t ModalDepth = 0;
  bool StatusOpen = false;
  std::string StatusText;
  int32_t StatusPercent = 0;
  bool CancelPressed = false;  // what the status box's Cancel answers
  bool PleaseWaitShown = false;
  std::vector<std::string> PleaseWaitTexts;  // every text shown, in order
  int32_t Cursor = crDefault;
  std::vector<TRealLine> Zooms;  // every ZoomWindow rectangle, in order
  int32_t UpdateCount = 0;       // UpdateView calls that found the picture changed
  int32_t RedrawCount = 0;
  int32_t CopyCount = 0;         // CopyPictureToView calls
  bool NoticeShown = false;
  std::vector<TIntPoint> CrossMarks;
  struct TReport {
    std::string Caption;
    std::vector<std::string> Lines;
    TReportShape Shape;
  };
  std::vector<TReport> Reports;
};

// Installs the main window's side (not owned); nullptr puts the headless one
// back. Returns the one installed before (nullptr for the headless one).
TViewServices* SetViewServices(TViewServices* services);
TViewServices& ViewServices();
THeadlessViewServices& HeadlessViewServices();
// Rebuilds the headless view in its start state.
void ResetHeadlessViewServices();

// Round(pixels / pixels per inch x 25,400,000), saturating.
int32_t PixelsToLength(int32_t pixels);

// DBBitmap, and the surface an entity draw paints on: DrawSurface when set,
// else the screen picture.
TDrawingBase& PictureSurface();
TDrawingBase& CurrentSurface();

// ---- Brackets ---------------------------------------------------------------------

// The hourglass cursor for the guard's lifetime.
class THourGlassCursor {
 public:
  THourGlassCursor() { ViewServices().SetCursor(crHourGlass); }
  ~THourGlassCursor() { ViewServices().SetCursor(crDefault); }
  THourGlassCursor(const THourGlassCursor&) = delete;
  THourGlassCursor& operator=(const THourGlassCursor&) = delete;
};

// The please-wait box: the hourglass cursor from construction; Show puts up
// the text; destruction hides the box and restores the default cursor.
class THourGlass {
 public:
  THourGlass() { ViewServices().SetCursor(crHourGlass); }
  ~THourGlass() {
    ViewServices().HidePleaseWait();
    ViewServices().SetCursor(crDefault);
  }
  THourGlass(const THourGlass&) = delete;
  THourGlass& operator=(const THourGlass&) = delete;
  void Show(const std::string& text) { ViewServices().ShowPleaseWait(text); }
  void Hide() { ViewServices().HidePleaseWait(); }
};

// The main form's modal bracket for the guard's lifetime.
class TModalBracket {
 public:
  TModalBracket() { ViewServices().BeginModal(); }
  ~TModalBracket() { ViewServices().EndModal(); }
  TModalBracket(const TModalBracket&) = delete;
  TModalBracket& operator=(const TModalBracket&) = delete;
};

// The status box from construction until Close or destruction, on every
// path.
class TStatusBracket {
 public:
  explicit TStatusBracket(const std::string& text) { ViewServices().OpenStatus(text); }
  ~TStatusBracket() { Close(); }
  TStatusBracket(const TStatusBracket&) = delete;
  TStatusBracket& operator=(const TStatusBracket&) = delete;
  void Close() {
    if (open_) ViewServices().CloseStatus();
    open_ = false;
  }

 private:
  bool open_ = true;
};

// ---- Report console ------------------------------------------------------------------

// The text of a report window built like a console: a cursor that Write
// advances (wrapping at the width), WriteLn moving to column 1 of the next
// row, GotoXY; ShowModal hands the finished lines to the view.
class TReportConsole {
 public:
  explicit TReportConsole(std::string caption) : Caption_(std::move(caption)) {}
  void SetScreenSize(int32_t columns, int32_t rows);
  void ClrScr();
  void Write(const std::string& text);
  void WriteLn(const std::string& text = "");
  // 1-based column and row.
  void GotoXY(int32_t column, int32_t row);
  int32_t WhereY() const { return Y_; }
  // Lines without trailing blanks; trailing empty rows dropped.
  std::vector<std::string> Lines() const;
  void ShowModal() { ViewServices().ShowReport(Caption_, Lines(), {false, Columns_, Rows_}); }

 private:
  void NewLine();
  std::string Caption_;
  int32_t Columns_ = 80;
  int32_t Rows_ = 25;
  std::vector<std::string> Screen_ = std::vector<std::string>(25, std::string(80, ' '));
  int32_t X_ = 1;
  int32_t Y_ = 1;
};
