#include "cleanup_test_support.h"

#include <algorithm>
#include <cmath>

#include "command/command_services.h"
#include "detached_undo_window.h"
#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/entity_store.h"
#include "model/undo_journal.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"

void TCleanupTest::SetUp() {
  TKorvexTest::SetUp();
  ResetHeadlessDialogs();
  ResetModalScripts();
  DetachedUndoWindow().Clear();
  HeadlessButtonBar().States.clear();
  ASSERT_TRUE(EnsureWorkingDirectories());
  ResetHeadlessViewServices();
  SetViewServices(&View);
  DrawSurface = nullptr;
  EditorMode = emCad;
  ResetLayerMasks();
  CurrentLayer = 0;
  Metric = false;
  UnitsPerDisplayUnit = InchUnitsPerDisplayUnit;
  CadUndo = new TCadUndo();
  ActiveUndo = CadUndo;
  DB = new TCadDatabase();
  View.OpenStatus("Automatic cleanup");
}

void TCleanupTest::TearDown() {
  delete DB;
  DB = nullptr;
  delete CadUndo;
  CadUndo = nullptr;
  ActiveUndo = nullptr;
  SetViewServices(nullptr);
  ResetHeadlessViewServices();
  ResetHeadlessDialogs();
  ResetModalScripts();
  TKorvexTest::TearDown();
}

std::string TCleanupTest::Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (std::pair(x2, y2) < std::pair(x1, y1)) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  return "L " + std::to_string(x1) + " " + std::to_string(y1) + " " + std::to_string(x2) + " " +
         std::to_string(y2);
}

std::string TCleanupTest::Arc(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx,
                              int32_t cy) {
  return "A " + std::to_string(sx) + " " + std::to_string(sy) + " " + std::to_string(ex) + " " +
         std::to_string(ey) + " " + std::to_string(cx) + " " + std::to_string(cy);
}

std::string TCleanupTest::Circle(int32_t cx, int32_t cy, int32_t r) {
  return "C " + std::to_string(cx) + " " + std::to_string(cy) + " " + std::to_string(r);
}

std::vector<std::string> TCleanupTest::Drawing() {
  std::vector<std::string> out;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TEntitySlot* slot = EntityArray->GetSlot(i);
    if (SlotDeleted(slot->Flags)) continue;
    TRootDBObject* e = slot->Entity;
    TIntPoint a, b, c;
    std::string text;
    switch (e->GetType()) {
      case 1:
        e->GetPoint(a);
        text = "P " + std::to_string(a.X) + " " + std::to_string(a.Y);
        break;
      case 2:
        e->GetPoint(a);
        e->GetSecondPoint(b);
        text = Line(a.X, a.Y, b.X, b.Y);
        break;
      case 3:
        e->GetPoint(a);
        e->GetSecondPoint(b);
        e->GetThirdPoint(c);
        text = Arc(a.X, a.Y, b.X, b.Y, c.X, c.Y);
        break;
      default:
        e->GetPoint(a);
        text = Circle(a.X, a.Y, e->GetRadius());
    }
    uint8_t layer = LayerOfBit(slot->Flags);
    if (layer != 0) text += " @" + std::to_string(layer);
    out.push_back(text);
  }
  std::sort(out.begin(), out.end());
  return out;
}

void TCleanupTest::AddChords(double radius, double a0, double step, int32_t n, int32_t cx,
                             int32_t cy) {
  auto at = [&](int32_t k, int32_t& x, int32_t& y) {
    double a = (a0 + step * k) * M_PI / 180.0;
    x = cx + int32_t(std::lround(radius * std::cos(a)));
    y = cy + int32_t(std::lround(radius * std::sin(a)));
  };
  const bool full = std::fabs(std::fabs(step * n) - 360.0) < 1e-9;
  for (int32_t k = 0; k < n; ++k) {
    int32_t x1, y1, x2, y2;
    at(k, x1, y1);
    at(full && k + 1 == n ? 0 : k + 1, x2, y2);
    DB->AddLine(x1, y1, x2, y2);
  }
}

bool TCleanupTest::SlotDeletedAt(int32_t index) {
  return SlotDeleted(EntityArray->GetSlot(index)->Flags);
}
