// A job whose rout paths carry tabs, saved and opened again: every tab
// comes back where it was, as wide as it was, with its break-off holes, on
// the path it was made on, and the steps of each path still shared by its
// jogs and holes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "foundation/file_utils.h"
#include "foundation/settings_families.h"
#include "job_file_test_support.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/tool_tables.h"
#include "platform/headless/headless_dialogs.h"
#include "routpath/rout_tabs.h"
#include "workspace/job_file.h"

namespace {

constexpr int32_t In = 25400000;
constexpr int32_t Tenth = In / 10;

class JobTabsRoundTripTest : public TJobFileTest {
 protected:
  // One line per path of every rout layer in cut order: its jog, the
  // entities that follow up to the next jog, and the gap from its last
  // point cut to the next jog (a tab's width where a simple tab ends it).
  static std::vector<std::string> Paths() {
    std::vector<std::string> out;
    for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) {
      std::string line;
      TIntPoint last{};
      int32_t path = 0;
      for (int32_t p = 1; p <= Seq->Count(l); ++p) {
        const int32_t h = Seq->HandleAt(l, p);
        if (SlotDeleted(RoutSlotFlags(h))) continue;
        TRoutEntity* e = RTDB->EntityAt(h);
        const std::string at = std::to_string(e->X) + "," + std::to_string(e->Y);
        if (e->Type == etRoutJog) {
          if (path > 0) {
            const double gap = std::hypot(double(e->X) - last.X, double(e->Y) - last.Y);
            out.push_back(line + " | gap " + std::to_string(std::lround(gap)));
          }
          ++path;
          line = "L" + std::to_string(l) + " path " + std::to_string(path) + ": J " + at +
                 " side " + std::to_string(e->GetComp()) + " tool " +
                 std::to_string(e->GetToolNumber());
        } else if (e->Type == etRoutHole) {
          line += " H " + at + " tool " + std::to_string(e->GetToolNumber());
          continue;  // a hole is no part of the cut
        } else {
          line += std::string(e->Type == etRoutLine ? " L " : " A ") + at;
        }
        last = {e->X, e->Y};
      }
      if (path > 0) out.push_back(line);
    }
    return out;
  }

  // Each jog and hole of the layer with the step object it carries.
  static std::vector<TStepObject*> StepsOf(uint8_t layer) {
    std::vector<TStepObject*> out;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      TRoutEntity* e = RTDB->EntityAt(Seq->HandleAt(layer, p));
      if (e->Type == etRoutJog || e->Type == etRoutHole) out.push_back(e->GetStepObj());
    }
    return out;
  }

  // The tab shape: 1 in wide, neck 0.6 in wide and 0.2 in deep, holes 0.2 in
  // off the path and apart, tool 7.
  static void TabSettings(bool simple, bool holes, uint8_t holeCount, bool cutterOffset) {
    RTDB->AutoTab = TAutoTabSettings{In,     2 * Tenth,  6 * Tenth,    2 * Tenth, holes,
                                     simple, holeCount, cutterOffset, 7,         2 * Tenth};
  }
};

TEST_F(JobTabsRoundTripTest, TabsOnStepAndRepeatedPathsSurviveSaveAndOpen) {
  RoutToolPages[40][3] = TRoutToolRecord{In / 8, In / 8, 300, 100, 0};
  RoutToolPages[43][2] = TRoutToolRecord{In / 16, 0, 200, 100, -Tenth};
  RoutToolPages[43][7] = TRoutToolRecord{In / 32, 0, 100, 50, 0};

  // Layer 40: a path of a line, a half circle and a line, stepped twice
  // over three levels; and a second path, compensated left, stepped alone.
  TStepObject* inner = MakeSteps({{0, 2, 0, 8 * In, 0}});
  TStepObject* outer = MakeSteps({{0, 3, 12 * In, 0, 0}});
  outer->SetNested(inner);
  TStepObject* own = MakeSteps({{0, 2, 0, -6 * In, 1}});
  Seq->SetInsertAtEnd(40);
  int32_t jog = RTDB->AddJog({0, 0}, 40, 0, 3, 1);
  RTDB->EntityAt(jog)->SetStepObj(outer);
  const int32_t bottom = RTDB->AddLine({10 * In, 0}, 40, 3000, -Tenth);
  const int32_t bend = RTDB->AddArc({10 * In, 4 * In}, 40, 1500, false, {10 * In, 2 * In}, NoZOffset);
  RTDB->AddLine({0, 4 * In}, 40, 0, NoZOffset);
  jog = RTDB->AddJog({0, -2 * In}, 40, 1, 3, 3);
  RTDB->EntityAt(jog)->SetStepObj(own);
  const int32_t second = RTDB->AddLine({8 * In, -2 * In}, 40, 0, NoZOffset);

  // Layer 43: a clockwise quarter circle, compensated right.
  Seq->SetInsertAtEnd(43);
  RTDB->AddJog({0, -5 * In}, 43, 2, 2, 2);
  const int32_t quarter = RTDB->AddArc({-5 * In, 0}, 43, 0, true, {0, 0}, 2540);
  RoutUndo->BeginOperation("Paths");

  // Simple tabs with three holes on the stepped line, a complex one on its
  // half circle (widened by the cutter), a complex one with two holes on
  // the second path and a simple one without holes on the clockwise arc.
  CurrentLayer = 40;
  TabSettings(true, true, 3, false);
  ASSERT_TRUE(AddTabAt(bottom, {5 * In, Tenth}));
  TabSettings(false, false, 0, true);
  ASSERT_TRUE(AddTabAt(bend, {12 * In + Tenth, 2 * In}));
  TabSettings(false, true, 2, false);
  ASSERT_TRUE(AddTabAt(second, {3 * In, -2 * In}));
  CurrentLayer = 43;
  TabSettings(true, false, 0, true);
  const double diagonal = 5 * In / std::sqrt(2.0);
  ASSERT_TRUE(AddTabAt(quarter, {int32_t(-diagonal), int32_t(-diagonal)}));
  ASSERT_TRUE(Boxes().empty()) << ::testing::PrintToString(Boxes());

  const std::vector<std::string> paths = Paths();
  ASSERT_EQ(paths.size(), 7u) << ::testing::PrintToString(paths);
  // The simple tab on the line leaves 1 in uncut between the run-up and the
  // new path, its holes 0.2 in beside the gap; the one on the clockwise arc
  // is 1 in and the 1/16 in cutter wide along the arc.
  EXPECT_EQ(paths[0],
            "L40 path 1: J 0,0 side 0 tool 3 L 114300000,0 H 121920000,5080000 tool 7"
            " H 127000000,5080000 tool 7 H 132080000,5080000 tool 7 | gap 25400000");
  EXPECT_EQ(paths[5], "L43 path 1: J 0,-127000000 side 2 tool 2 A -79772565,-98819724 | gap "
                      "26936751");
  const std::string dump = DumpJob();
  const std::vector<TStepObject*> steps40 = StepsOf(40), steps43 = StepsOf(43);

  DatabaseFileName = FileIn("TABS.ZUL");
  ASSERT_TRUE(SaveJobFile());
  const std::string saved = ReadFileBytes(FileIn("TABS.ZUL"));
  ClearAll();
  ASSERT_TRUE(Paths().empty());
  ASSERT_TRUE(OpenJobFile(FileIn("TABS.ZUL"))) << ::testing::PrintToString(Boxes());

  EXPECT_EQ(Paths(), paths);
  EXPECT_EQ(DumpJob(), dump);

  // The same sharing of step objects: the stepped path's two jogs and its
  // three holes carry one object (with its outer level), the second path's
  // jogs and holes another, layer 43's jogs none.
  auto sharing = [](const std::vector<TStepObject*>& v) {
    std::vector<int32_t> out;
    for (TStepObject* s : v) {
      int32_t k = 0;
      while (v[size_t(k)] != s) ++k;
      out.push_back(s == nullptr ? -1 : k);
    }
    return out;
  };
  const std::vector<TStepObject*> now40 = StepsOf(40);
  EXPECT_EQ(sharing(now40), sharing(steps40));
  EXPECT_EQ(sharing(StepsOf(43)), sharing(steps43));
  ASSERT_FALSE(now40.empty());
  ASSERT_NE(now40[0], nullptr);
  EXPECT_EQ(now40[0]->LevelCount(), 2);

  // Saved again, the file is the same.
  ASSERT_TRUE(SaveJobFile());
  EXPECT_EQ(ReadFileBytes(FileIn("TABS.ZUL")), saved);
}

}  // namespace
