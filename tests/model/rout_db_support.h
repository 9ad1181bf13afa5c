// Set-up shared by the rout database and rout edit tests: RoutUndo, RTDB and
// Seq of their own per test, rout editing on layer 40, and text views of the
// layers in cut order.
#pragma once
#include <string>
#include <vector>

#include "command/command_services.h"
#include "detached_undo_window.h"
#include "foundation/settings.h"
#include "korvex_test.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/paths.h"
#include "recording_surface.h"

class TRoutDbTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    DetachedUndoWindow().Clear();
    HeadlessButtonBar().States.clear();
    HeadlessRoutEditServices() = THeadlessRoutEditServices();
    ASSERT_TRUE(EnsureWorkingDirectories());
    ResetHeadlessViewServices();
    HeadlessViewServices().PictureOverride = &Surface;
    DrawSurface = nullptr;
    EditorMode = emRout;
    ResetLayerMasks();
    CurrentLayer = 40;
    RoutConstructionPoints = false;
    for (int l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) {
      RoutLayerTools[l] = {};
      RoutToolPages[l].Fill({});
    }
    RoutUndo = new TRoutUndo();
    ActiveUndo = RoutUndo;
    RTDB = new TRoutDatabase();
    Seq = new TSequenceStore();
  }
  void TearDown() override {
    delete RTDB;
    RTDB = nullptr;
    delete Seq;
    Seq = nullptr;
    delete RoutUndo;
    RoutUndo = nullptr;
    ActiveUndo = nullptr;
    SetEditStepDialog(nullptr);
    ResetHeadlessViewServices();
    ResetHeadlessDialogs();
    TKorvexTest::TearDown();
  }

  // The displayed entities of a layer in cut order, e.g. "J 0,0 t1",
  // "L 10,0", "A7 0,10 c0,0", "C 5,5 r3", "H 1,1", "M 1,1"; a step object
  // adds " xN" (its copies).
  static std::vector<std::string> Layer(uint8_t layer = 40) {
    std::vector<std::string> out;
    Seq->SetReadCursor(layer, 1);
    for (int32_t h = Seq->NextVisible(layer); h != 0; h = Seq->NextVisible(layer)) {
      TRoutEntity* e = RTDB->EntityAt(h);
      const std::string pt = std::to_string(e->X) + "," + std::to_string(e->Y);
      std::string s;
      switch (e->GetType()) {
        case etRoutJog: s = "J " + pt + " t" + std::to_string(e->GetToolNumber()); break;
        case etRoutLine: s = "L " + pt; break;
        case etRoutArc:
        case etRoutArcReverse: {
          TIntPoint c;
          e->GetCentre(c);
          s = "A" + std::to_string(e->GetType()) + " " + pt + " c" + std::to_string(c.X) + "," +
              std::to_string(c.Y);
          break;
        }
        case etRoutCircle: s = "C " + pt + " r" + std::to_string(e->GetRadius()); break;
        case etRoutHole: s = "H " + pt; break;
        default: s = "M " + pt; break;
      }
      if (e->GetType() != etRoutLine && e->GetType() != etRoutArc &&
          e->GetType() != etRoutArcReverse && e->GetStepObj() != nullptr)
        s += " x" + std::to_string(e->GetStepObj()->CopyCount());
      out.push_back(s);
    }
    return out;
  }

  // Every slot of the store stands in exactly one sequence list, the list of
  // its layer, and every listed handle is a slot in use.
  static void ExpectConsistent() {
    std::vector<int> seen(RoutEntityCount + 1, 0);
    for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l)
      for (int32_t p = 1; p <= Seq->Count(l); ++p) {
        const int32_t h = Seq->HandleAt(l, p);
        ASSERT_GE(h, 1);
        ASSERT_LE(h, RoutEntityCount);
        ++seen[h];
        EXPECT_TRUE(SlotHasBit(RTDB->SlotAt(h)->Flags, NCLayerBit(l))) << "handle " << h;
      }
    for (int32_t h = 1; h <= RoutEntityCount; ++h) EXPECT_EQ(seen[h], 1) << "handle " << h;
  }

  static TRootEntityHandle* All(uint8_t mode = 0) {
    TRootEntityHandle* list = nullptr;
    RTDB->SelectInWindow({-2000000000, -2000000000}, {2000000000, 2000000000}, true, list, mode);
    return list;
  }

  TRecordingSurface Surface;
};
