// Set-up of the CAD export tests: an empty CAD database with its journal,
// every layer shown, the Save Layers dialog answered with OK as it stands,
// and helpers to build a small job and to read the written files back.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "import/import_host.h"
#include "korvex_test.h"
#include "model/cad_database.h"
#include "model/cad_entities.h"
#include "model/cad_undo.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"
#include "plot/cad_export.h"
#include "plot/odb_export.h"

constexpr int32_t Inch = 25400000;
constexpr int32_t Mil = 25400;

class TCadExportTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetModalScripts();
    ASSERT_TRUE(EnsureWorkingDirectories());
    ResetHeadlessViewServices();
    DetachedImportHost() = TDetachedImportHost{};
    EditorMode = emCad;
    CurrentLayer = 0;
    ResetLayerMasks();
    CadExportInches = true;
    CadExportFormat = cfNone;
    CurrentLayerForExport = 0;
    OdbExportEntry = nullptr;
    CadUndo = new TCadUndo();
    ActiveUndo = CadUndo;
    DB = new TCadDatabase();
    RegisterModalScript("TSaveLayerDialog", [](TForm& f) { f.Click("OKButton"); });
    RegisterModalScript("TDrawingUnits", [](TForm& f) { f.Click("OKButton"); });
  }
  void TearDown() override {
    HeadlessSetProcessMessagesHook({});
    delete DB;
    DB = nullptr;
    delete CadUndo;
    CadUndo = nullptr;
    ActiveUndo = nullptr;
    OdbExportEntry = ExportOdbProduct;
    ResetModalScripts();
    ResetHeadlessViewServices();
    TKorvexTest::TearDown();
  }

  std::string Path(const std::string& name) const { return (TempDir / name).string(); }
  std::string Bytes(const std::string& name) const { return ReadFileBytes(TempDir / name); }

  // Points, lines, an arc and a circle on layers 0, 3 and 12, in store
  // order; every coordinate a whole number of mils.
  static void AddSampleJob() {
    DB->AddPointOnLayer(1 * Inch, 1 * Inch, 0);
    DB->AddLineOnLayer(0, 0, 1 * Inch, Inch / 2, 3);
    DB->AddLineOnLayer(1 * Inch, Inch / 2, 2 * Inch, Inch / 2, 3);
    DB->AddArcOnLayer({2 * Inch, 0}, {0, 2 * Inch}, {0, 0}, 3);
    DB->AddCircleOnLayer(3 * Inch, 3 * Inch, 250 * Mil, 12);
    DB->AddArcOnLayer({-1 * Inch, 125 * Mil}, {-2 * Inch, 125 * Mil}, {-1500 * Mil, 125 * Mil}, 12);
  }

  // Each live entity as its type, its layer and its defining numbers.
  static std::vector<std::vector<int32_t>> LiveEntities() {
    std::vector<std::vector<int32_t>> out;
    for (int32_t i = 1; i <= CadEntityCount; ++i) {
      const TEntitySlot* slot = DB->SlotAt(i);
      TCadEntity* e = DB->EntityAt(i);
      if (slot == nullptr || e == nullptr || SlotDeleted(slot->Flags)) continue;
      TIntPoint a, b, c;
      e->GetPoint(a);
      e->GetSecondPoint(b);
      e->GetThirdPoint(c);
      const int32_t type = e->GetType();
      std::vector<int32_t> r = {type, LayerOfBit(slot->Flags), a.X, a.Y};
      if (type == etCadLine || type == etCadArc) r.insert(r.end(), {b.X, b.Y});
      if (type == etCadArc) r.insert(r.end(), {c.X, c.Y});
      if (type == etCadCircle) r.push_back(e->GetRadius());
      out.push_back(r);
    }
    return out;
  }
  // The same entities in the same order, every number within the tolerance.
  static void ExpectSameEntities(const std::vector<std::vector<int32_t>>& want,
                                 const std::vector<std::vector<int32_t>>& got, int32_t tolerance) {
    ASSERT_EQ(want.size(), got.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      ASSERT_EQ(want[i].size(), got[i].size()) << "entity " << i;
      EXPECT_EQ(want[i][0], got[i][0]) << "type of entity " << i;
      for (std::size_t k = 1; k < want[i].size(); ++k) EXPECT_NEAR(want[i][k], got[i][k], tolerance) << "entity " << i;
    }
  }

  // Empties the database for a read-back.
  static void ClearDatabase() {
    delete DB;
    DB = new TCadDatabase();
  }
};
