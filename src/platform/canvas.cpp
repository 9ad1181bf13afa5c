// Raster-mode arithmetic and the canvas backend switch.
#include "platform/canvas.h"

#include "platform/headless/raster_canvas.h"

TColor ApplyPenMode(TPenMode mode, TColor p, TColor d) {
  TColor r = d;
  switch (mode) {
    case pmBlack: r = 0; break;
    case pmWhite: r = 0xFFFFFF; break;
    case pmNop: r = d; break;
    case pmNot: r = ~d; break;
    case pmCopy: r = p; break;
    case pmNotCopy: r = ~p; break;
    case pmMergePenNot: r = p | ~d; break;
    case pmMaskPenNot: r = p & ~d; break;
    case pmMergeNotPen: r = ~p | d; break;
    case pmMaskNotPen: r = ~p & d; break;
    case pmMerge: r = p | d; break;
    case pmNotMerge: r = ~(p | d); break;
    case pmMask: r = p & d; break;
    case pmNotMask: r = ~(p & d); break;
    case pmXor: r = p ^ d; break;
    case pmNotXor: r = ~(p ^ d); break;
  }
  return r & 0xFFFFFF;
}

TColor ApplyCopyMode(TCopyMode mode, TColor s, TColor d) {
  TColor r = s;
  switch (mode) {
    case cmSrcCopy: r = s; break;
    case cmSrcInvert: r = s ^ d; break;
    case cmSrcAnd: r = s & d; break;
    case cmSrcPaint: r = s | d; break;
    case cmNotSrcCopy: r = ~s; break;
    case cmDstInvert: r = ~d; break;
  }
  return r & 0xFFFFFF;
}

namespace {
std::unique_ptr<TCanvasBackend>& InstalledCanvasBackend() {
  static std::unique_ptr<TCanvasBackend> backend;
  return backend;
}
}  // namespace

void SetCanvasBackend(std::unique_ptr<TCanvasBackend> backend) {
  InstalledCanvasBackend() = std::move(backend);
}

TCanvasBackend& CanvasBackend() {
  auto& installed = InstalledCanvasBackend();
  if (installed) return *installed;
  static THeadlessCanvasBackend headless;
  return headless;
}

TScreenMetrics ScreenMetrics() { return CanvasBackend().Screen(); }

std::unique_ptr<TBitmap> TBitmap::Create(int width, int height) {
  return CanvasBackend().CreateBitmap(width, height);
}
