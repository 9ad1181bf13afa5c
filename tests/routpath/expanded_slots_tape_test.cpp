// Slots written to a drill tape as nibbled rows of hits, in the drilling
// order of every optimiser, read back and converted by the started program:
// every slot comes back whole with its size, and no hole is lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "../workspace/workspace_test_support.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/tool_tables.h"
#include "tapeout/drill_path_optimizer.h"
#include "tapeout/make_drill_tape.h"
#include "workspace/layers.h"

namespace {

constexpr int32_t In = 25400000;
constexpr int32_t Tenth = 2540;  // 0.0001 in, the tape's last digit
constexpr double Pi = 3.14159265358979323846;

class TExpandedSlotsTapeTest : public TWorkspaceDialogsTest {
 protected:
  void SetUp() override {
    TWorkspaceDialogsTest::SetUp();
    RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  }
  // Live drill entities as type, diameter and ends (a slot's in order), with
  // their counts.
  using TEntity = std::tuple<int, int32_t, int32_t, int32_t, int32_t, int32_t>;
  static std::map<TEntity, int> Live() {
    std::map<TEntity, int> live;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      if (static_cast<int32_t>(DRDB->WordAt(i)) <= 0) continue;
      TDrillEntity* e = DRDB->EntityAt(i);
      TIntPoint a, b;
      e->GetPoint(a);
      if (e->GetType() == etDrillSlot) {
        e->GetSecondPoint(b);
        if (std::tie(b.X, b.Y) < std::tie(a.X, a.Y)) std::swap(a, b);
      }
      ++live[{e->GetType(), DrillToolDiameter(e->Tool), a.X, a.Y, b.X, b.Y}];
    }
    return live;
  }
  // The entities of a that b lacks, as text: "slot 0.0200 in (x1, y1)-(x2,
  // y2)", "hole 0.0300 in (x, y)", with the number missing.
  static std::vector<std::string> Missing(const std::map<TEntity, int>& a, const std::map<TEntity, int>& b) {
    std::vector<std::string> missing;
    auto in = [](int32_t v) { return std::to_string(v / double(In)); };
    for (const auto& [e, count] : a) {
      const auto found = b.find(e);
      const int lacking = count - (found == b.end() ? 0 : found->second);
      if (lacking <= 0) continue;
      const auto& [type, diameter, x1, y1, x2, y2] = e;
      std::string text = (type == etDrillSlot ? "slot " : "hole ") + in(diameter) + " in (" + in(x1) + ", " + in(y1) + ")";
      if (type == etDrillSlot) text += "-(" + in(x2) + ", " + in(y2) + ")";
      missing.push_back(text + " x" + std::to_string(lacking));
    }
    return missing;
  }
};

TEST_F(TExpandedSlotsTapeTest, NibbledSlotsOfEveryOptimiserComeBackWhole) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  const int32_t diameters[] = {In / 50, 3 * In / 100, In / 16};
  const int32_t lengths[] = {In / 50, In / 50, In / 20, In / 8, 3 * In / 10};
  const double angles[] = {0, 90, 180, 270, 45, 135, 30, 200, 318};
  // A slot at every diameter, length and angle, each in a cell of its own
  // half inch at a place of its own, and a hole of each tool beside them.
  auto tenths = [](double v) { return int32_t(std::lround(v / Tenth)) * Tenth; };
  uint32_t seed = 12345;
  auto next = [&seed](int32_t range) {
    seed = seed * 1103515245u + 12345u;
    return int32_t((seed >> 8) % uint32_t(range));
  };
  int n = 0;
  for (int t = 0; t < 3; ++t) {
    ToolTable[t + 1].Diameter = diameters[t];
    for (int32_t length : lengths)
      for (double angle : angles) {
        const int32_t x = In + (n % 12) * In / 2 + next(1000) * Tenth;
        const int32_t y = In + (n / 12) * In / 2 + next(1000) * Tenth;
        ++n;
        const double r = (angle + next(10)) * Pi / 180;
        DRDB->AddSlotOnLayer(x, y, tenths(x + length * std::cos(r)), tenths(y + length * std::sin(r)), 30, t + 1,
                             true);
      }
    DRDB->AddHoleOnLayer(In / 2, In + t * In / 2, 30, t + 1, true);
  }
  const std::map<TEntity, int> original = Live();
  ASSERT_EQ(original.size(), 3u * 5 * 9 + 3);

  // The slots nibbled onto a tape, and that tape read back: a job of rows
  // of hits.
  auto makeTape = [&form, this](const std::string& name, int optimiser, bool expand) {
    QueueModalScript("TMakeDrillTapeDialog", [optimiser, expand](TForm& f) {
      auto& d = static_cast<TMakeDrillTapeDialog&>(f);
      d.ExpandSlotsCheckBox.SetChecked(expand);
      d.MarkFirstCheckBox.SetChecked(false);
      d.MarkLastCheckBox.SetChecked(false);
      d.FirstLastCheckBox.SetChecked(false);
      d.OptimizerGroup.SetItemIndex(optimiser);
      // Nibbles of a tenth of a thou: many hits within the converter's reach.
      QueueModalScript("TSlotAlgorithmDialog", [](TForm& g) {
        g.Get<TEdit>("CuspEdit").SetText("0.0001");
        g.Click("OKButton");
      });
      d.CircleSlotButton.Click();
      d.OKButton.Click();
    });
    const std::string tape = (TempDir / name).string();
    ScriptFileDialogAnswer(tape);
    Run(form, emDrill, "MakeDrillTape1");
    EXPECT_TRUE(std::filesystem::exists(tape));
    return tape;
  };
  auto readTape = [&form, this](const std::string& tape) {
    ScriptMessageBoxAnswer(mrNo);  // the changes are not saved
    Run(form, emDrill, "New1");
    ImportExcellonTape(form, tape);
  };
  // The job kept on a tape of slots; the slots nibbled onto a tape in the
  // order of their expansion, read back: a job of rows of hits.
  const std::string slots = makeTape("SLOTS.DRL", 0, false);
  const std::string nibbled = makeTape("NIBBLED.DRL", 0, true);
  readTape(nibbled);
  const std::map<TEntity, int> rows = Live();
  ASSERT_GT(rows.size(), 3000u);

  auto convert = [&form, &original] {
    ScriptInputBoxAnswer("0.001");
    Run(form, emDrill, "ConvertExpandedSlottoSlot1");
    const std::map<TEntity, int> back = Live();
    EXPECT_EQ(Missing(original, back), std::vector<std::string>{});  // lost or cut short
    EXPECT_EQ(Missing(back, original), std::vector<std::string>{});  // made up or left as hits
  };
  for (int optimiser = 0; optimiser < kOptimizerCount; ++optimiser) {
    SCOPED_TRACE(optimiser);
    // The slots nibbled in the optimiser's order of the slots.
    readTape(slots);
    ASSERT_TRUE(Live() == original);
    readTape(makeTape("EXPAND" + std::to_string(optimiser) + ".DRL", optimiser, true));
    convert();
    // The rows' hits each in the optimiser's drilling order.
    readTape(nibbled);
    readTape(makeTape("ORDER" + std::to_string(optimiser) + ".DRL", optimiser, false));
    ASSERT_TRUE(Live() == rows);
    convert();
  }
}

}  // namespace
