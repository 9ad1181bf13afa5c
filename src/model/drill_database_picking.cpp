// Window selection, the nearest pick, the pick cycle through entities lying
// on one another, snapping, and the pick marks of the drill database.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "model/drill_database.h"
#include "model/drill_handles.h"
#include "model/view_services.h"

namespace {

TIntBox ToleranceBox(int32_t t, int32_t x, int32_t y) {
  return {ClampToInt32(int64_t(x) - t), ClampToInt32(int64_t(y) - t), ClampToInt32(int64_t(x) + t),
          ClampToInt32(int64_t(y) + t)};
}

uint32_t CurrentLayerMask() {
  return ValidDrillLayer(CurrentLayer) ? (NCLayerBit(CurrentLayer) | SlotDeletedBit) : 0u;
}

// True when (x, y) lies within 20 screen pixels of the last pick on both
// axes. Computed in 64 bits: the last pick starts at 2,147,483,647.
bool SameSpot(int32_t lastX, int32_t lastY, int32_t x, int32_t y) {
  int64_t d = PixelsToLength(20);
  return std::llabs(int64_t(lastX) - x) < d && std::llabs(int64_t(lastY) - y) < d;
}

}  // namespace

bool TDrillDatabase::SelectInWindow(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                    uint8_t invert, TDrillHandle*& list, bool activeLayers) {
  TIntBox box{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
  list = nullptr;
  uint32_t mask = activeLayers ? ActiveNCLayerMask : CurrentLayerMask();
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    if (!SlotInMask(WordAt(i), mask)) continue;
    if (EntityAt(i)->InWindowTest(box) != (invert == 1)) {
      auto* h = new TDrillHandle(i);
      h->Next = list;
      list = h;
    }
  }
  return list != nullptr;
}

bool TDrillDatabase::PickNearest(int32_t tolerance, int32_t x, int32_t y, bool activeLayers,
                                 TDrillHandle*& list) {
  TIntBox box = ToleranceBox(tolerance, x, y);
  uint32_t mask = activeLayers ? ActiveNCLayerMask : CurrentLayerMask();
  int32_t best = NotNearDrill, bestIndex = 0;
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    if (!SlotInMask(WordAt(i), mask)) continue;
    int32_t d = EntityAt(i)->DistanceToPoint(box, best, x, y);
    if (d < best) {
      best = d;
      bestIndex = i;
    }
  }
  list = bestIndex != 0 ? new TDrillHandle(bestIndex) : nullptr;
  return list != nullptr;
}

bool TDrillDatabase::PickCycle(int32_t tolerance, int32_t x, int32_t y, int32_t& distance,
                               TDrillHandle*& list, bool visibleLayers) {
  RemovePickMarks();
  bool same = SameSpot(LastPickX, LastPickY, x, y);
  if (!same) PickCount = 0;
  int32_t bestIndex = 0, best = NotNearDrill;
  bool multiple = false;
  TIntPoint bestPoint;
  TIntBox box = ToleranceBox(tolerance, x, y);
  uint32_t mask = visibleLayers ? DisplayedNCLayerMask : CurrentLayerMask();
  // The entities already picked on this spot, in index order, passed over as
  // the walk reaches them.
  std::vector<int32_t> picked;
  if (same) {
    picked.assign(PickList.begin() + 1, PickList.begin() + 1 + PickCount);
    std::sort(picked.begin(), picked.end());
  }
  auto nextPicked = picked.cbegin();
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    while (nextPicked != picked.cend() && *nextPicked < i) ++nextPicked;
    if (nextPicked != picked.cend() && *nextPicked == i) continue;
    if (!SlotInMask(WordAt(i), mask)) continue;
    TIntPoint p;
    int32_t d = EntityAt(i)->DistanceToPointWithSteps(box, best, x, y, p);
    if (d == best && d < NotNearDrill) multiple = multiple || p == bestPoint;
    if (d < best) {
      bestIndex = i;
      best = d;
      multiple = LastPickMultiple && p == TIntPoint{PickMarkX, PickMarkY};
      bestPoint = p;
    }
  }
  if (!same) {
    LastPickX = x;
    LastPickY = y;
  }
  if (++PickCount > 1000) PickCount = 1;
  PickList[PickCount] = bestIndex;
  distance = NotNearDrill;
  list = nullptr;
  if (bestIndex == 0) {
    PickCount = 0;
    return false;
  }
  SetPickMark(bestPoint, multiple);
  list = new TDrillHandle(bestIndex);
  LastPickMultiple = multiple;
  distance = best;
  return true;
}

bool TDrillDatabase::SnapPoint(int32_t tolerance, int32_t x, int32_t y, bool withSteps,
                               int32_t& sx, int32_t& sy) {
  TIntBox box = ToleranceBox(tolerance, x, y);
  sx = 0;
  sy = 0;
  int32_t best = NotNearDrill;
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    if (!SlotInMask(WordAt(i), DisplayedNCLayerMask)) continue;
    TDrillEntity* e = EntityAt(i);
    int32_t d = withSteps ? e->NearestSnapPointWithSteps(box, best, x, y, sx, sy)
                          : e->NearestSnapPoint(box, best, x, y, sx, sy);
    if (d < best) best = d;
  }
  if (best == NotNearDrill) {
    sx = x;
    sy = y;
    return false;
  }
  return true;
}

void TDrillDatabase::SetPickMark(const TIntPoint& point, bool multiple) {
  PickMarkPending = true;
  PickMarkMultiple = multiple;
  PickMarkX = point.X;
  PickMarkY = point.Y;
}

void TDrillDatabase::ShowPickMarks() {
  if (PickMarkPending && !PickMarkShown) ViewServices().DrawCrossMark(PickMarkX, PickMarkY);
  if (PickMarkMultiple && !MultipleNoticeShown) ViewServices().ShowMultipleItemsNotice();
  PickMarkShown = true;
  MultipleNoticeShown = true;
}

void TDrillDatabase::RemovePickMarks() {
  if (PickMarkPending && PickMarkShown) ViewServices().DrawCrossMark(PickMarkX, PickMarkY);
  if (PickMarkMultiple && MultipleNoticeShown) ViewServices().ShowMultipleItemsNotice();
  PickMarkPending = false;
  PickMarkShown = false;
  PickMarkMultiple = false;
  MultipleNoticeShown = false;
}

void TDrillDatabase::CancelPick() {
  if (!PickMarkPending) return;
  PickCount = 0;
  RemovePickMarks();
  PickMarkPending = false;
}

void TDrillDatabase::CheckPickMoved(int32_t x, int32_t y) {
  if (SameSpot(LastPickX, LastPickY, x, y)) return;
  PickCount = 0;
  RemovePickMarks();
}
