// The objects a rout generation works on (CAD store, rout store and its
// sequence, both undo journals, a 0.125 in tool on rout layer 40) and a
// reading of the layer's moves.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "foundation/utilities.h"
#include "korvex_test.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"
#include "routpath/endpoint_grid.h"

namespace rout_generation {

constexpr int32_t Inch = 25400000;
constexpr int32_t Tool = 3175000;  // 0.125 in

// One move of the layer in cut order: type 5 jog, 6 line, 7/8 arc.
struct TMove {
  uint8_t Type;
  TIntPoint P;
  TIntPoint Centre;
  int32_t Z = 0;
};

class TRoutGenerationTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    ResetModalScripts();
    ASSERT_TRUE(EnsureWorkingDirectories());
    ResetHeadlessViewServices();
    InitFollowBranchUnit();
    EditorMode = emRout;
    ResetLayerMasks();
    CurrentLayer = 40;
    GougeAvoid = false;
    for (int l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) {
      RoutLayerTools[l] = {};
      RoutToolPages[l].Fill({});
    }
    RoutToolPages[40][1] = TRoutToolRecord{Tool, Tool, 300, 100, 0};
    CadUndo = new TCadUndo();
    DB = new TCadDatabase();
    RoutUndo = new TRoutUndo();
    ActiveUndo = RoutUndo;
    RTDB = new TRoutDatabase();
    Seq = new TSequenceStore();
    RTDB->AutoRoutCompensation = 2;
    RTDB->AutoRout = TAutoRoutSettings{};
  }
  void TearDown() override {
    EndpointGrid.Clear();
    delete RTDB;
    RTDB = nullptr;
    delete Seq;
    Seq = nullptr;
    delete RoutUndo;
    RoutUndo = nullptr;
    delete DB;
    DB = nullptr;
    delete CadUndo;
    CadUndo = nullptr;
    ActiveUndo = nullptr;
    InitFollowBranchUnit();
    ResetModalScripts();
    ResetHeadlessDialogs();
    ResetHeadlessViewServices();
    TKorvexTest::TearDown();
  }

  void SetTool(int32_t diameter) { RoutToolPages[40][1] = TRoutToolRecord{diameter, diameter, 300, 100, 0}; }

  // A rectangle of CAD lines, counter-clockwise from (x, y) unless cw.
  std::vector<int32_t> Rect(int32_t x, int32_t y, int32_t w, int32_t h, bool cw = false) {
    const TIntPoint a{x, y}, b{x + w, y}, c{x + w, y + h}, d{x, y + h};
    if (cw)
      return {DB->AddLineOnLayer(a.X, a.Y, d.X, d.Y, 0), DB->AddLineOnLayer(d.X, d.Y, c.X, c.Y, 0),
              DB->AddLineOnLayer(c.X, c.Y, b.X, b.Y, 0), DB->AddLineOnLayer(b.X, b.Y, a.X, a.Y, 0)};
    return {DB->AddLineOnLayer(a.X, a.Y, b.X, b.Y, 0), DB->AddLineOnLayer(b.X, b.Y, c.X, c.Y, 0),
            DB->AddLineOnLayer(c.X, c.Y, d.X, d.Y, 0), DB->AddLineOnLayer(d.X, d.Y, a.X, a.Y, 0)};
  }
  static TRootEntityHandle* Handles(const std::vector<int32_t>& indices) {
    TRootEntityHandle* list = nullptr;
    TRootEntityHandle** tail = &list;
    for (int32_t i : indices) {
      *tail = new TCadHandle(i);
      tail = &(*tail)->Next;
    }
    return list;
  }

  static std::vector<TMove> Layer() {
    std::vector<TMove> out;
    for (int32_t p = 1; p <= Seq->Count(40); ++p) {
      const int32_t h = Seq->HandleAt(40, p);
      TRoutEntity* e = RTDB->EntityAt(h);
      const TEntitySlot* slot = RTDB->SlotAt(h);
      if (!e || !slot || SlotDeleted(slot->Flags)) continue;
      TMove m{e->GetType(), {e->X, e->Y}, {}};
      TIntPoint c;
      if (m.Type == 7 || m.Type == 8) {
        e->GetCentre(c);
        m.Centre = c;
      }
      if (m.Type >= 6 && m.Type <= 8) m.Z = e->GetZOffset();
      out.push_back(m);
    }
    return out;
  }
  static int Jogs(const std::vector<TMove>& moves) {
    int n = 0;
    for (const TMove& m : moves) n += m.Type == 5;
    return n;
  }
  // Points along every cut of the layer, about every step units; paths are
  // parted by a NaN point.
  static std::vector<TRealPoint> CutSamples(const std::vector<TMove>& moves, double step) {
    std::vector<TRealPoint> out;
    TIntPoint at{};
    for (const TMove& m : moves) {
      // A jog is no cut: a gap (NaN) before the new path.
      if (m.Type == 5 && !out.empty()) out.push_back({NAN, NAN});
      if (m.Type == 6) {
        const double len = std::hypot(double(m.P.X) - at.X, double(m.P.Y) - at.Y);
        const int n = std::max(1, int(len / step));
        for (int k = 0; k <= n; ++k)
          out.push_back({at.X + (m.P.X - double(at.X)) * k / n, at.Y + (m.P.Y - double(at.Y)) * k / n});
      } else if (m.Type == 7 || m.Type == 8) {
        const double r = std::hypot(double(at.X) - m.Centre.X, double(at.Y) - m.Centre.Y);
        double a0 = std::atan2(double(at.Y) - m.Centre.Y, double(at.X) - m.Centre.X);
        double a1 = std::atan2(double(m.P.Y) - m.Centre.Y, double(m.P.X) - m.Centre.X);
        double sweep = m.Type == 7 ? a1 - a0 : a0 - a1;
        if (sweep <= 0) sweep += 2 * M_PI;
        const int n = std::max(2, int(r * sweep / step));
        for (int k = 0; k <= n; ++k) {
          const double a = a0 + (m.Type == 7 ? 1 : -1) * sweep * k / n;
          out.push_back({m.Centre.X + r * std::cos(a), m.Centre.Y + r * std::sin(a)});
        }
      }
      at = m.P;
    }
    return out;
  }
  // Distance from a point to the nearest cut of the layer (arcs taken as
  // fine chords).
  static double DistanceToCuts(const std::vector<TRealPoint>& samples, double x, double y) {
    double best = 1e300;
    for (std::size_t i = 1; i < samples.size(); ++i) {
      const TRealPoint a = samples[i - 1], b = samples[i];
      if (std::isnan(a.X) || std::isnan(b.X) || (a.X == b.X && a.Y == b.Y)) continue;
      const double dx = b.X - a.X, dy = b.Y - a.Y;
      double t = ((x - a.X) * dx + (y - a.Y) * dy) / (dx * dx + dy * dy);
      t = std::clamp(t, 0.0, 1.0);
      best = std::min(best, std::hypot(x - a.X - t * dx, y - a.Y - t * dy));
    }
    return best;
  }
  static std::string UndoName() {
    std::string name;
    return RoutUndo->CanUndo(name) ? name : std::string();
  }
  static std::vector<std::string> Boxes() {
    std::vector<std::string> out;
    for (const auto& b : ShownMessageBoxes()) out.push_back(b.Text);
    return out;
  }
};

}  // namespace rout_generation
