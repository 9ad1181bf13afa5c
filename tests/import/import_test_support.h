// Set-up of the import tests: empty CAD and drill databases with their
// journals, the detached import host, every dialog answered with OK, and
// the entities tallied by type with their extents in inches or millimetres.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>

#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "import/import_host.h"
#include "korvex_test.h"
#include "model/cad_database.h"
#include "model/cad_entities.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"
#include "model/tool_tables.h"
#include "model/view_services.h"

class TImportTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    ResetModalScripts();
    HeadlessResetEvents();
    ASSERT_TRUE(EnsureWorkingDirectories());
    ResetHeadlessViewServices();
    DetachedImportHost() = TDetachedImportHost{};
    EditorMode = emCad;
    CurrentLayer = 30;
    Metric = false;
    ToolTable.Fill(TToolRecord{});
    GerberImportDefaults = TGerberFormatRecord{};
    CadUndo = new TCadUndo();
    ActiveUndo = CadUndo;
    DB = new TCadDatabase();
    DRDB = new TDrillDatabase();
    for (const char* form : {"TDrawingUnits", "TGerberDrillDialog", "TForceFormatDialog"})
      RegisterModalScript(form, [](TForm& f) { f.Click("OKButton"); });
  }
  void TearDown() override {
    delete DRDB;
    DRDB = nullptr;
    delete DB;
    DB = nullptr;
    delete CadUndo;
    CadUndo = nullptr;
    ActiveUndo = nullptr;
    ResetModalScripts();
    ResetHeadlessDialogs();
    ResetHeadlessViewServices();
    TKorvexTest::TearDown();
  }

  std::string Write(const std::string& name, const std::string& text) {
    WriteFileBytes(TempDir / name, text);
    return (TempDir / name).string();
  }
  static std::filesystem::path Sample(const char* folder, const char* file) {
    return SharedTestData() / folder / file;
  }

  // Live CAD entities by type (1 point, 2 line, 3 arc, 4 circle), and
  // their extents in file units of the given size.
  struct TTally {
    std::array<int32_t, 5> ByType{};
    double MinX = 1e300, MinY = 1e300, MaxX = -1e300, MaxY = -1e300;
    int32_t Total() const { return ByType[1] + ByType[2] + ByType[3] + ByType[4]; }
  };
  static TTally Tally(double unit, int32_t first = 1) {
    TTally t;
    for (int32_t i = first; i <= CadEntityCount; ++i) {
      TCadEntity* e = DB->EntityAt(i);
      if (e == nullptr || SlotDeleted(DB->SlotAt(i)->Flags)) continue;
      const uint8_t type = e->GetType();
      if (type >= 1 && type <= 4) ++t.ByType[type];
      auto widen = [&t, unit](double x, double y) {
        t.MinX = std::min(t.MinX, x / unit);
        t.MinY = std::min(t.MinY, y / unit);
        t.MaxX = std::max(t.MaxX, x / unit);
        t.MaxY = std::max(t.MaxY, y / unit);
      };
      if (type == 3) {
        // The arc itself, not its whole circle: its ends and the quadrant
        // points it passes, counter-clockwise from start to end.
        TIntPoint s, f, c;
        e->GetPoint(s);
        e->GetSecondPoint(f);
        e->GetThirdPoint(c);
        widen(s.X, s.Y);
        widen(f.X, f.Y);
        const double r = std::hypot(double(s.X) - c.X, double(s.Y) - c.Y);
        const double a1 = std::atan2(double(s.Y) - c.Y, double(s.X) - c.X);
        double sweep = std::atan2(double(f.Y) - c.Y, double(f.X) - c.X) - a1;
        while (sweep <= 0) sweep += 2 * M_PI;
        for (int q = -4; q <= 8; ++q) {
          const double a = q * M_PI / 2;
          double d = a - a1;
          while (d < 0) d += 2 * M_PI;
          while (d >= 2 * M_PI) d -= 2 * M_PI;
          if (d <= sweep) widen(c.X + r * std::cos(a), c.Y + r * std::sin(a));
        }
        continue;
      }
      TIntPoint lo{2147483647, 2147483647}, hi{-2147483647, -2147483647};
      e->GetExtents(lo, hi);
      widen(lo.X, lo.Y);
      widen(hi.X, hi.Y);
    }
    return t;
  }
  static std::string Shown(const TTally& t) {
    return "points " + std::to_string(t.ByType[1]) + " lines " + std::to_string(t.ByType[2]) +
           " arcs " + std::to_string(t.ByType[3]) + " circles " + std::to_string(t.ByType[4]) +
           " [" + std::to_string(t.MinX) + ", " + std::to_string(t.MinY) + "] .. [" +
           std::to_string(t.MaxX) + ", " + std::to_string(t.MaxY) + "]";
  }
};
