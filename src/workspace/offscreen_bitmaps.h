// The off-screen bitmap behind the screen picture, and the layer-bit helpers
// of the entity stores.
//
// The whole job is drawn into a picture three times the view in each
// direction and copied to the window from there. TEncapsulatingBitmap picks
// the storage by the display's colour depth and offers one interface: a
// canvas, a width and a height, and the pixels to copy from.
//  - On displays of 8 bits per pixel or fewer it wraps a device bitmap
//    (TMyBitmap): setting its width or height resizes it.
//  - On deeper displays it wraps TDIBBitmap: a pixel buffer created once at
//    its full size. Setting its width or height only changes what it
//    reports (0 until first set); drawing and copying still address the
//    whole buffer, so the view can render a smaller picture into it without
//    reallocating.
#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>

#include "platform/canvas.h"

// A device bitmap created directly at its size. A resize keeps nothing of
// the old picture (a resized bitmap starts white).
class TMyBitmap {
 public:
  TMyBitmap(int32_t width, int32_t height) : Bitmap(TBitmap::Create(width, height)) {}
  int32_t GetWidth() const { return Bitmap->Width(); }
  int32_t GetHeight() const { return Bitmap->Height(); }
  void SetWidth(int32_t width) { Bitmap->SetSize(std::max(width, 0), Bitmap->Height()); }
  void SetHeight(int32_t height) { Bitmap->SetSize(Bitmap->Width(), std::max(height, 0)); }
  TCanvas& Canvas() { return Bitmap->Canvas(); }
  std::unique_ptr<TBitmap> Bitmap;
};

// The fixed-size picture buffer of deep displays, with the size it reports
// kept apart from the size of its buffer.
class TDIBBitmap {
 public:
  TDIBBitmap(int32_t width, int32_t height);
  // Replaces the buffer by a new one of the size (its pixels white); the
  // reported size does not change.
  void SetSize(int32_t width, int32_t height);
  TCanvas& GetCanvas() { return Buffer->Canvas(); }

  int32_t Height = 0;  // reported (0 until set)
  int32_t Width = 0;   // reported (0 until set)
  std::unique_ptr<TBitmap> Buffer;
};

class TEncapsulatingBitmap {
 public:
  // A device bitmap for bitsPerPixel 8 or less, else the fixed buffer.
  TEncapsulatingBitmap(int32_t width, int32_t height, int32_t bitsPerPixel);
  TEncapsulatingBitmap(const TEncapsulatingBitmap&) = delete;
  TEncapsulatingBitmap& operator=(const TEncapsulatingBitmap&) = delete;

  int32_t GetWidth() const;
  int32_t GetHeight() const;
  void SetWidth(int32_t width);
  void SetHeight(int32_t height);
  TCanvas& Canvas();
  // The wrapped pixels (the whole buffer), as the source of a copy to the
  // window.
  TBitmap& Pixels();
  const TBitmap& Pixels() const;

  std::unique_ptr<TDIBBitmap> DIB;
  std::unique_ptr<TMyBitmap> DDB;
  bool UsesDIB = false;
};

// The 32-bit layer mask of layer n: 1 shifted left by n and 31.
constexpr uint32_t LayerBit(uint8_t n) { return 1u << (n & 31); }
