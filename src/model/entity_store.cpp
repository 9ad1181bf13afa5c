#include "model/entity_store.h"

#include "foundation/utilities.h"
#include "platform/message_box.h"

#include <utility>

TEntityArray* EntityArray = nullptr;
TDrillEntities* DrillEntities = nullptr;
TRoutEntities* RoutEntities = nullptr;
int32_t CadEntityCount = 0;
int32_t DrillEntityCount = 0;
int32_t RoutEntityCount = 0;

TStoreRefusalWatch* TStoreRefusalWatch::Active_ = nullptr;

TStoreRefusalWatch::TStoreRefusalWatch() {
  if (Active_ != nullptr) return;
  Active_ = this;
  Owner_ = true;
}

TStoreRefusalWatch::~TStoreRefusalWatch() {
  if (Owner_) Active_ = nullptr;
}

void ReportStoreFull(const std::string& storeName, int32_t highestIndex) {
  const std::string text = "The " + storeName + " is full: it holds at most " +
                           IntToStrGrouped(highestIndex) + " entities.";
  if (TStoreRefusalWatch* watch = TStoreRefusalWatch::Active_) {
    if (watch->Text_.empty()) watch->Text_ = text;
    return;
  }
  ErrorBox(text);
}

bool PointOutsideBox(int32_t x, int32_t y, const TIntBox& box) {
  return y > box.Top || y < box.Bottom || x < box.Left || x > box.Right;
}

uint8_t OutCode(const TIntBox& box, int32_t x, int32_t y) {
  uint8_t code = 0;
  if (x < box.Left)
    code |= 1;
  else if (x > box.Right)
    code |= 2;
  if (y < box.Bottom)
    code |= 4;
  else if (y > box.Top)
    code |= 8;
  return code;
}

void InitExtents(TIntPoint& min, TIntPoint& max) {
  min = {2147483647, 2147483647};
  max = {-2147483647, -2147483647};
}

void ExtendExtents(TIntPoint& min, TIntPoint& max, const TIntPoint& point) {
  if (point.X < min.X) min.X = point.X;
  if (point.Y < min.Y) min.Y = point.Y;
  if (point.X > max.X) max.X = point.X;
  if (point.Y > max.Y) max.Y = point.Y;
}
