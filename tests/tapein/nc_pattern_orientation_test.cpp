// Orientation codes of pattern repeats: tapes whose repeats are mirrored
// and swapped, read by the reader and imported through the started program.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "../workspace/workspace_test_support.h"
#include "model/drill_entities.h"
#include "model/step_repeat.h"
#include "nc_call_log.h"
#include "tapein/drill_import.h"

namespace {

constexpr int32_t U = 2540;  // internal units per tape unit (inch, 4 decimals)

using Pts = std::vector<std::pair<int32_t, int32_t>>;
using Hooks = std::vector<std::array<int32_t, 4>>;  // offset x, y, pass, code

// Records also every pattern repeat the reader reads again.
class THookLog : public TCallLog {
 public:
  using TCallLog::TCallLog;
  void Hook22(int32_t dx, int32_t dy, int32_t argument, uint8_t code) override {
    Told.push_back({dx, dy, argument, code});
  }
  Hooks Told;
};

// Two holes, then three repeats: mirrored in X 0.5 inch to the right,
// swapped 0.5 inch up from there, mirrored in X and Y another 0.5 inch up.
const std::vector<std::string> TurnedPattern = {
    "M25", "X1000Y2000", "X3000Y500", "M01", "M02X5000Y0M80", "M02X0Y5000M70",
    "M02X0Y5000M80M90", "M08", "M30"};

// Those holes moved by (dx, dy), in internal units under the axis version:
// 1 (x, y), 2 (y, x), 3 (-y, x).
Pts Holes(int version, int32_t dx = 0, int32_t dy = 0) {
  const Pts tape = {{1000, 2000}, {3000, 500},   // as written
                    {4000, 2000}, {2000, 500},   // X mirrored, +(5000, 0)
                    {7000, 6000}, {5500, 8000},  // swapped, +(5000, 5000)
                    {4000, 8000}, {2000, 9500}}; // both mirrored, +(5000, 10000)
  Pts out;
  for (auto [x, y] : tape) {
    x = (x + dx) * U, y = (y + dy) * U;
    out.push_back(version == 2 ? std::pair(y, x) : version == 3 ? std::pair(-y, x) : std::pair(x, y));
  }
  return out;
}

class NcPatternOrientation : public TKorvexTest {
 protected:
  // The holes drilled and the repeats told.
  std::pair<Pts, Hooks> Read(const std::vector<std::string>& lines, int32_t version) {
    const auto path = TempDir / "turned.drl";
    {
      std::ofstream out(path);
      for (const auto& l : lines) out << l << "\r\n";
    }
    THookLog r(path.string(), TempDir.string(), false, false, version);
    EXPECT_FALSE(r.RunFailed());
    r.Done();
    Pts p;
    for (const auto& h : r.Hits) p.push_back({h.X, h.Y});
    return {p, r.Told};
  }
};

// The translated code turns the database's axes as the tape's code turns
// the machine's: mapping a turned point gives the mapped point turned by
// the translated code. The point has no symmetry, so only one code fits.
TEST_F(NcPatternOrientation, ToVersionOneTurnsTheDatabaseAsTheTapeCodeTurnsTheMachine) {
  for (int32_t version = 1; version <= 8; ++version) {
    THookLog reader((TempDir / "none.drl").string(), TempDir.string(), false, false, version);
    for (uint8_t code = 0; code < 8; ++code) {
      uint8_t one = 42;
      ASSERT_TRUE(reader.ToVersionOne(code, one));
      int32_t tx = 0, ty = 0, dx = 0, dy = 0;
      StepTransformPoint(1000, 20, 0, 0, code, 0, 0, tx, ty);
      int64_t mx = 0, my = 0, px = 0, py = 0;
      reader.AxisMap(tx, ty, mx, my);
      reader.AxisMap(1000, 20, px, py);
      StepTransformPoint(int32_t(px), int32_t(py), 0, 0, one, 0, 0, dx, dy);
      EXPECT_EQ(std::pair(int64_t{dx}, int64_t{dy}), std::pair(mx, my))
          << "version " << version << " code " << int(code);
    }
    reader.Done();
  }
}

// Each repeat read again is told with its summed offset, its pass and its
// code in the database's axes; an origin set before the pattern moves the
// holes and each turned repeat's origin (the extents' order in the move).
TEST_F(NcPatternOrientation, RepeatsReadAgainAreTurnedAndToldToTheConsumer) {
  EXPECT_EQ(Read(TurnedPattern, 1),
            std::pair(Holes(1), Hooks{{5000 * U, 0, 1, 2}, {5000 * U, 5000 * U, 2, 1}, {5000 * U, 10000 * U, 3, 6}}));
  EXPECT_EQ(Read(TurnedPattern, 3),
            std::pair(Holes(3), Hooks{{0, 5000 * U, 1, 4}, {-5000 * U, 5000 * U, 2, 7}, {-10000 * U, 5000 * U, 3, 6}}));
  std::vector<std::string> lines = TurnedPattern;
  lines.insert(lines.begin(), "G93X200Y100");
  EXPECT_EQ(Read(lines, 1), std::pair(Holes(1, 200, 100), Hooks{{4800 * U, 0, 1, 2},
                                                                 {5100 * U, 4900 * U, 2, 1},
                                                                 {4800 * U, 9600 * U, 3, 6}}));
}

// Through the started program the drill import lays the repeats out itself.
class DrillImportOfTurnedPatterns : public TWorkspaceDialogsTest {
 protected:
  // The started program changes folder; the other tests expect theirs.
  void SetUp() override {
    folder_ = std::filesystem::current_path();
    TWorkspaceDialogsTest::SetUp();
  }
  void TearDown() override {
    TWorkspaceDialogsTest::TearDown();
    std::filesystem::current_path(folder_);
  }
  // Every hole of the job and every copy its repeats make, sorted.
  static Pts HolesAndCopies() {
    Pts out;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      TDrillEntity* e = DRDB->EntityAt(i);
      if (e == nullptr || e->GetType() != etDrillHole) continue;
      out.push_back({e->X, e->Y});
      TIntPoint copy;
      if (e->BeginStepCopies())
        while (e->NextStepCopy(copy)) out.push_back({copy.X, copy.Y});
    }
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  std::filesystem::path folder_;
};

TEST_F(DrillImportOfTurnedPatterns, CopiesLieWhereTheReaderDrillsThemOnEveryAxisVersion) {
  std::string text = "M48\nINCH,TZ\nT1C0.020\n%\nT1\n";
  for (const auto& line : TurnedPattern) text += line + "\n";
  const std::string file = Input("TURNED.DRL", text);
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  for (const int version : {1, 2, 3}) {
    if (DatabaseModified) ScriptMessageBoxAnswer(mrNo);
    Run(form, emDrill, "New1");
    ImportExcellonTape(form, file, mrYes, false, version);
    EXPECT_EQ(DrillInputFormat.Version, version);
    ASSERT_EQ(DrillEntityCount, 2) << "version " << version;
    Pts want = Holes(version);
    std::sort(want.begin(), want.end());
    EXPECT_EQ(HolesAndCopies(), want) << "version " << version;
  }
}

}  // namespace
