// The headless view with a DBBitmap as its picture, for the tests and the
// benchmark that redraw a job into a picture of their own, and a checksum of
// a picture's pixels.
#pragma once
#include <cstdint>
#include <vector>

#include "model/view_services.h"
#include "workspace/db_bitmap.h"

class TPictureView : public THeadlessViewServices {
 public:
  explicit TPictureView(TDBBitmap& picture) : P(picture) {}
  double PixelsPerInch() override { return P.PixelsPerInch; }
  TDrawingBase& Picture() override { return P; }
  double PictureLeftX() override { return P.Left; }
  double PictureTopY() override { return P.Top; }
  int32_t PictureWidth() override { return P.W(); }
  int32_t PictureHeight() override { return P.H(); }
  TCanvas& PictureCanvas() override { return *P.Canvas; }
  TDBBitmap& P;
};

// FNV-1a over the pixels' bytes, lowest byte first.
inline uint64_t PixelChecksum(const std::vector<TColor>& pixels) {
  uint64_t h = 1469598103934665603ull;
  for (TColor c : pixels) {
    for (int k = 0; k < 4; ++k) {
      h ^= (c >> (8 * k)) & 0xFF;
      h *= 1099511628211ull;
    }
  }
  return h;
}
