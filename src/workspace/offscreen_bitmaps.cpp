#include "workspace/offscreen_bitmaps.h"

#include <algorithm>

TDIBBitmap::TDIBBitmap(int32_t width, int32_t height) { SetSize(width, height); }

void TDIBBitmap::SetSize(int32_t width, int32_t height) {
  Buffer = TBitmap::Create(std::max(width, 0), std::max(height, 0));
}

TEncapsulatingBitmap::TEncapsulatingBitmap(int32_t width, int32_t height, int32_t bitsPerPixel) {
  if (bitsPerPixel <= 8) {
    DDB = std::make_unique<TMyBitmap>(width, height);
    UsesDIB = false;
  } else {
    DIB = std::make_unique<TDIBBitmap>(width, height);
    UsesDIB = true;
  }
}

int32_t TEncapsulatingBitmap::GetWidth() const { return UsesDIB ? DIB->Width : DDB->GetWidth(); }

int32_t TEncapsulatingBitmap::GetHeight() const {
  return UsesDIB ? DIB->Height : DDB->GetHeight();
}

void TEncapsulatingBitmap::SetWidth(int32_t width) {
  if (UsesDIB) {
    DIB->Width = width;
  } else {
    DDB->SetWidth(width);
  }
}

void TEncapsulatingBitmap::SetHeight(int32_t height) {
  if (UsesDIB) {
    DIB->Height = height;
  } else {
    DDB->SetHeight(height);
  }
}

TBitmap& TEncapsulatingBitmap::Pixels() { return UsesDIB ? *DIB->Buffer : *DDB->Bitmap; }
const TBitmap& TEncapsulatingBitmap::Pixels() const {
  return UsesDIB ? *DIB->Buffer : *DDB->Bitmap;
}

TCanvas& TEncapsulatingBitmap::Canvas() { return UsesDIB ? DIB->GetCanvas() : DDB->Canvas(); }
