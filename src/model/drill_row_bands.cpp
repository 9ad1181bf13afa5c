#include "model/drill_row_bands.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/drawing_base.h"
#include "model/drill_entities.h"
#include "model/symbol_drawer.h"
#include "model/view_services.h"

namespace {

constexpr double UnitsPerInch = 25400000.0;
// Rows per band: a band of a picture three screens wide stays within a
// core's own cache.
constexpr int32_t BandRows = 128;
// Symbols reaching further than this (pixels) are left to the plain order.
constexpr int64_t MaxReach = 1 << 12;
// An entity outside every band.
constexpr uint32_t NoBand = ~0u;

struct TBandItem {
  TDrillEntity* E;
  uint8_t Layer;
  bool First;  // the entity's first band: its tick
};

// Working room kept from one redraw to the next; a redraw started while
// another draws (a progressive copy may let one in) has its own.
struct TBandRoom {
  std::vector<uint32_t> Bands;  // per entity: first band | last band << 16, or NoBand
  std::vector<uint32_t> Start;  // per band: its first item
  std::vector<TBandItem> Items;
};

}  // namespace

bool DrawHolesInRowBands(const std::vector<TDrillEntity*>* lists, int listCount, uint8_t firstLayer,
                         TDrawingBase& surface, int32_t width, int32_t height, TProgressiveCopy& copy) {
  // Pixels (0) and symbols (3 and above) are drawn around the hole's point;
  // circles and letters are not.
  if (DisplayHolesAs == 1 || DisplayHolesAs == 2) return false;
  auto* picture = dynamic_cast<TPictureSurface*>(&surface);
  if (picture == nullptr || surface.Canvas == nullptr || surface.SymbolDrawer == nullptr || !surface.IsScreen())
    return false;
  const int32_t bandCount = height / BandRows + (height % BandRows != 0);
  if (width <= 0 || bandCount < 2 || bandCount > 0xFFFF) return false;
  TCanvas& canvas = *surface.Canvas;
  TRect clip;
  if (!canvas.CurrentClip(clip) || (int64_t(clip.Right) - clip.Left > 0 && int64_t(clip.Bottom) - clip.Top > 0))
    return false;
  const double left = picture->Left, top = picture->Top, ppi = picture->PixelsPerInch;
  if (!std::isfinite(left) || !std::isfinite(top) || !(ppi > 0.0) || !std::isfinite(ppi)) return false;
  // Pixels and dots are drawn in the plain order: they touch too little of
  // each line for the bands to pay.
  if (DisplayHolesAs == 0) return false;
  // How far from the point (rounded either way) the hole's pixels reach:
  // strokes end at most one and a half sizes out. The size is the one the
  // symbols will be drawn at: the drawer's, or the present scale's when the
  // scale changed since the drawer was sized.
  const int64_t size = surface.LengthToDeviceReal(25400000) != surface.CachedZoom
                           ? surface.LengthToDevice(254000)
                           : surface.SymbolDrawer->GetSize();
  if (size < 4 || size > MaxReach) return false;
  const int64_t reach = (3 * size + 1) / 2 + 1;

  static TBandRoom kept;
  static bool keptInUse = false;
  TBandRoom own;
  TBandRoom& room = keptInUse ? own : kept;
  struct TInUse {
    bool& Flag;
    bool Was;
    ~TInUse() { Flag = Was; }
  } inUse{keptInUse, keptInUse};
  keptInUse = true;

  // Which bands each hole may reach, and how many holes each band gets.
  room.Bands.clear();
  room.Start.assign(size_t(bandCount) + 1, 0);
  const double r = double(reach);
  size_t listed = 0;
  for (int k = 0; k < listCount; ++k) {
    for (TDrillEntity* e : lists[k]) {
      if (e->StepObj != nullptr || typeid(*e) != typeid(TDrillHole)) return false;
      // The point as the picture converts it, before rounding.
      const double x = (double(e->X) - left) / UnitsPerInch * ppi;
      const double y = (top - double(e->Y)) / UnitsPerInch * ppi;
      if (!(x > -r - 1 && x < width + r + 1 && y > -r - 1 && y < height + r + 1)) {
        room.Bands.push_back(NoBand);
        continue;
      }
      const int64_t y0 = std::max<int64_t>(int64_t(std::floor(y)) - reach, 0);
      const int64_t y1 = std::min<int64_t>(int64_t(std::ceil(y)) + reach, height - 1);
      const uint32_t b0 = uint32_t(y0 / BandRows), b1 = uint32_t(y1 / BandRows);
      room.Bands.push_back(b0 | b1 << 16);
      for (uint32_t b = b0; b <= b1; ++b) ++room.Start[b + 1];
      listed += b1 - b0 + 1;
    }
  }
  for (int32_t b = 0; b < bandCount; ++b) room.Start[size_t(b) + 1] += room.Start[size_t(b)];
  room.Items.resize(listed);
  {
    std::vector<uint32_t> fill(room.Start.begin(), room.Start.end() - 1);
    size_t i = 0;
    for (int k = 0; k < listCount; ++k) {
      const uint8_t layer = uint8_t(firstLayer + k);
      for (TDrillEntity* e : lists[k]) {
        const uint32_t bands = room.Bands[i++];
        if (bands == NoBand) continue;
        for (uint32_t b = bands & 0xFFFF, last = bands >> 16; b <= last; ++b)
          room.Items[fill[b]++] = TBandItem{e, layer, b == (bands & 0xFFFF)};
      }
    }
  }

  // The canvas is left unclipped however the drawing ends.
  struct TUnclip {
    TCanvas& Canvas;
    ~TUnclip() { Canvas.ClipRect(TRect{}); }
  } unclip{canvas};
  size_t unticked = room.Bands.size();
  for (int32_t b = 0; b < bandCount; ++b) {
    const uint32_t from = room.Start[size_t(b)], to = room.Start[size_t(b) + 1];
    if (from == to) continue;
    const int32_t row = b * BandRows;
    const TRect band{0, row, width, std::min(height, row + BandRows)};
    canvas.ClipRect(band);
    for (uint32_t i = from; i < to; ++i) {
      const TBandItem& item = room.Items[i];
      item.E->Draw(item.Layer);
      if (item.First) {
        // The progressive copy may let other drawing in: it finds the
        // canvas unclipped.
        canvas.ClipRect(TRect{});
        copy.Tick();
        canvas.ClipRect(band);
        --unticked;
      }
    }
  }
  canvas.ClipRect(TRect{});
  for (; unticked != 0; --unticked) copy.Tick();

  // The pen as drawing in order leaves it: from the last hole any band drew
  // on, the holes are drawn again with nothing of the picture open to them.
  int lastList = 0;
  size_t lastIndex = 0;
  {
    size_t i = 0;
    for (int k = 0; k < listCount; ++k)
      for (size_t j = 0; j < lists[k].size(); ++j, ++i)
        if (room.Bands[i] != NoBand) {
          lastList = k;
          lastIndex = j;
        }
  }
  canvas.ClipRect(TRect{-2, -2, -1, -1});
  for (int k = lastList; k < listCount; ++k) {
    const uint8_t layer = uint8_t(firstLayer + k);
    for (size_t j = k == lastList ? lastIndex : 0; j < lists[k].size(); ++j) lists[k][j]->Draw(layer);
  }
  return true;
}
