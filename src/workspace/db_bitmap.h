// The screen picture DBBitmap: the drawing surface that paints the whole job
// into the off-screen bitmap OffscreenBitmap, three times the view in each
// direction and centred on it, from which the view copies its visible part.
//
// It converts world points to picture pixels at the view's scale (Left and
// Top are the world position of the picture's left column and top row; Y
// grows downwards in the picture), answers IsScreen, and draws the
// background of the picture: clearing, the dot grid, the zero lines and the
// grey shading beyond the database limits.
//
// It is a TPictureSurface (the picture surface of the view services), so
// the view keeps its Left, Top and PixelsPerInch as it does for any picture.
#pragma once
#include <cstdint>

#include "model/drawing_base.h"
#include "model/view_services.h"
#include "workspace/offscreen_bitmaps.h"

// The database limits on both axes.
constexpr int32_t DatabaseLimit = 1073741823;

class TDBBitmap : public TPictureSurface {
 public:
  // Left = Top = 0, drawing on the bitmap's canvas with BackgroundColor as
  // the background colour. The bitmap is not owned.
  explicit TDBBitmap(TEncapsulatingBitmap& bitmap);

  // Slots 1-4 and IsScreen are the picture surface's: lengths and points
  // in picture pixels at PixelsPerInch.
  // A mark within margin pixels of the picture.
  bool DevicePointNear(int32_t x, int32_t y, int32_t margin) override;
  // This very class only, with the box of DevicePointNear.
  TPictureSurface* PlainPicture(int32_t margin, TRect& near) override;
  // The pixels of the bitmap, which may hold more than W() x H().
  bool CanvasBox(TRect& box) override;

  // The picture's size in pixels (the bitmap's reported size).
  int32_t W() const { return Bitmap->GetWidth(); }
  int32_t H() const { return Bitmap->GetHeight(); }

  // Whether the world point lies in the picture, edges included.
  bool ContainsPoint(double x, double y) const;
  // The picture's world edges, rounded and kept in the 32-bit range.
  int32_t PictureLeft() const;
  int32_t PictureRight() const;
  int32_t PictureTop() const;
  int32_t PictureBottom() const;
  // 1 <= c <= W and 1 <= r <= H.
  bool ColumnInside(int32_t c) const { return c >= 1 && c <= W(); }
  bool RowInside(int32_t r) const { return r >= 1 && r <= H(); }

  // Fills the picture with BackgroundColor.
  void Clear();
  // 100 x 100 dots in GridAndAxisColor at the first step of the series
  // 0.025, 0.05, 0.1, 1, 5, 10, 25, 100, 250, 500 display units that makes
  // 100 steps cover the picture's larger side (500 when none does), from
  // the grid point nearest the picture's top-left corner; sets GridStep.
  void DrawGrid();
  // The X and Y axes across the database limits, dash-dot in
  // GridAndAxisColor.
  void DrawZeroLines();
  // Grey ($808080) over the parts of the picture beyond the database
  // limits.
  void ShadeOutsideLimits();

  TEncapsulatingBitmap* Bitmap;  // not owned
};

// The grid step in display units chosen by the last DrawGrid (1.0 before
// any grid was drawn); snapping to the grid reads it. Defined with the view.
extern double GridStep;

// The off-screen bitmap and the screen picture on it; created at start-up
// (null until then).
extern TEncapsulatingBitmap* OffscreenBitmap;
extern TDBBitmap* DBBitmap;
