// Orientation codes of pattern repeats: tapes whose repeats are mirrored
// and swapped, read by the reader and imported through the started program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "../workspace/workspace_test_support.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/step_repeat.h"
#include "nc_call_log.h"
#include "platform/headless/headless_events.h"
#include "tapein/drill_import.h"

namespace {

constexpr int32_t U = 2540;  // internal units per tape unit (inch, 4 decimals)

using Pts = std::vector<std::pair<int32_t, int32_t>>;

Pts Sorted(Pts p) {
  std::sort(p.begin(), p.end());
  return p;
}

struct TRepeatHook {
  int32_t X, Y, Argument;
  uint8_t Code;
  bool operator==(const TRepeatHook&) const = default;
};

std::ostream& operator<<(std::ostream& o, const TRepeatHook& h) {
  return o << "{" << h.X << ", " << h.Y << ", " << h.Argument << ", " << int(h.Code) << "}";
}

// Records also every pattern repeat the reader reads again.
class THookLog : public TCallLog {
 public:
  using TCallLog::TCallLog;
  void Hook22(int32_t dx, int32_t dy, int32_t argument, uint8_t code) override {
    Hooks.push_back({dx, dy, argument, code});
  }
  std::vector<TRepeatHook> Hooks;
};

// Two holes, then three repeats: mirrored in X 0.5 inch to the right,
// swapped 0.5 inch up from there, mirrored in X and Y another 0.5 inch up.
const std::vector<std::string> TurnedPattern = {
    "M25", "X1000Y2000", "X3000Y500", "M01", "M02X5000Y0M80", "M02X0Y5000M70",
    "M02X0Y5000M80M90", "M08", "M30"};

// Where the reader drills that pattern on axis version 1, in tape units:
// the holes, then each repeat's holes turned and moved by the offsets so far.
const Pts TurnedPatternHoles = {{1000, 2000}, {3000, 500},   // as written
                                {4000, 2000}, {2000, 500},   // X mirrored, +(5000, 0)
                                {7000, 6000}, {5500, 8000},  // swapped, +(5000, 5000)
                                {4000, 8000}, {2000, 9500}}; // both mirrored, +(5000, 10000)

// Those holes moved by (dx, dy), in internal units under the axis version:
// 1 (x, y), 2 (y, x), 3 (-y, x).
Pts Holes(int version, int32_t dx = 0, int32_t dy = 0) {
  Pts out;
  for (auto [x, y] : TurnedPatternHoles) {
    x = (x + dx) * U, y = (y + dy) * U;
    out.push_back(version == 2 ? std::pair(y, x) : version == 3 ? std::pair(-y, x) : std::pair(x, y));
  }
  return out;
}

class NcPatternOrientation : public TKorvexTest {
 protected:
  std::unique_ptr<THookLog> Read(const std::vector<std::string>& lines, int32_t version) {
    const auto path = TempDir / "turned.drl";
    {
      std::ofstream out(path);
      for (const auto& l : lines) out << l << "\r\n";
    }
    auto r = std::make_unique<THookLog>(path.string(), TempDir.string(), false, false, version);
    EXPECT_FALSE(r->RunFailed());
    r->Done();
    return r;
  }
  static Pts Points(const TCallLog& r) {
    Pts p;
    for (const auto& h : r.Hits) p.push_back({h.X, h.Y});
    return p;
  }
};

// PatternOffset hands its extents to the step engine the other way round.
TEST(OrientationCodes, PatternOffsetMovesTheOriginByTheExtentsOfEachCode) {
  const int32_t x = 100000, y = 200000, w = 3000, h = 50000;
  const std::pair<int32_t, int32_t> want[9] = {
      {x, y},         {x - h + w, y - w + h}, {x - 2 * h, y},         {x - h + w, y - h - w},
      {x, y - 2 * w}, {x - h - w, y + h - w}, {x - 2 * h, y - 2 * w}, {x - h - w, y - h - w},
      {x, y}};  // codes past 7 leave the origin
  for (uint8_t code = 0; code < 9; ++code) {
    int32_t ox = 0, oy = 0;
    PatternOffset(code, x, y, w, h, ox, oy);
    EXPECT_EQ(std::pair(ox, oy), want[code]) << int(code);
  }
}

// The translated code turns the database's axes as the tape's code turns
// the machine's: mapping a turned point gives the mapped point turned by
// the translated code. The point has no symmetry, so only one code fits.
TEST_F(NcPatternOrientation, ToVersionOneTurnsTheDatabaseAsTheTapeCodeTurnsTheMachine) {
  for (int32_t version = 0; version <= 9; ++version) {
    THookLog reader((TempDir / "none.drl").string(), TempDir.string(), false, false, version);
    for (uint8_t code = 0; code < 8; ++code) {
      uint8_t one = 42;
      if (version == 0 || version == 9) {
        EXPECT_FALSE(reader.ToVersionOne(code, one));
        EXPECT_EQ(one, 42);
        continue;
      }
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

TEST_F(NcPatternOrientation, RepeatsReadAgainAreTurnedAndToldToTheConsumer) {
  // Axis version 1: the holes as written and turned; each repeat read
  // again is told with its summed offset, its pass and its code.
  auto r = Read(TurnedPattern, 1);
  EXPECT_EQ(Points(*r), Holes(1));
  EXPECT_EQ(r->Hooks, (std::vector<TRepeatHook>{
                          {5000 * U, 0, 1, 2}, {5000 * U, 5000 * U, 2, 1}, {5000 * U, 10000 * U, 3, 6}}));

  // Axis version 3 turns the machine a quarter: the holes are the same
  // holes mapped, and the codes told are those of the database's axes.
  r = Read(TurnedPattern, 3);
  EXPECT_EQ(Points(*r), Holes(3));
  EXPECT_EQ(r->Hooks, (std::vector<TRepeatHook>{{0, 5000 * U, 1, 4},
                                                {-5000 * U, 5000 * U, 2, 7},
                                                {-10000 * U, 5000 * U, 3, 6}}));

  // An origin set before the pattern moves every hole and the origin told
  // for each turned repeat.
  std::vector<std::string> lines = TurnedPattern;
  lines.insert(lines.begin(), "G93X200Y100");
  r = Read(lines, 1);
  EXPECT_EQ(Points(*r), Holes(1, 200, 100));
  EXPECT_EQ(r->Hooks, (std::vector<TRepeatHook>{{4800 * U, 0, 1, 2},
                                                {5100 * U, 4900 * U, 2, 1},
                                                {4800 * U, 9600 * U, 3, 6}}));
}

// ---- Through the started program ---------------------------------------------------

class DrillImportOfTurnedPatterns : public TWorkspaceTest {
 protected:
  void SetUp() override {
    // The started program changes folder; the other tests expect theirs.
    folder_ = std::filesystem::current_path();
    TWorkspaceTest::SetUp();
    ResetHeadlessDialogs();
  }
  void TearDown() override {
    HeadlessSetProcessMessagesHook(nullptr);
    ResetHeadlessDialogs();
    TWorkspaceTest::TearDown();
    std::filesystem::current_path(folder_);
  }
  // Drill > New, then Drill > Import of the tape as the main part, with the
  // axis version picked in the format dialog.
  void Import(TWorkspace& form, const std::string& file, int version) {
    if (DatabaseModified) ScriptMessageBoxAnswer(mrNo);
    Run(form, emDrill, "New1");
    ScriptFileDialogAnswer(file);
    QueueModalScript("TForceDrillFormatDialog", [](TForm& f) {
      f.Get<TComboBox>("PullDown").SetItemIndex(2);  // Excellon
      f.Click("OKButton");
    });
    QueueModalScript("TDrillInputFormatDialog", [version](TForm& f) {
      f.Get<TRadioGroup>("AxisGroup").SetItemIndex(version - 1);
      f.Get<TCheckBox>("ShowMessagesCheckBox").SetChecked(false);
      f.Click("OKButton");
    });
    ScriptMessageBoxAnswer(mrYes);  // the main part
    QueueModalScript("TPickDrillLayerDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emDrill, "Import2");
  }
  // Every hole of the job and every copy its repeats make.
  static Pts HolesAndCopies() {
    Pts out;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      TDrillEntity* e = DRDB->EntityAt(i);
      if (e == nullptr || e->GetType() != etDrillHole) continue;
      out.push_back({e->X, e->Y});
      if (!e->BeginStepCopies()) continue;
      TIntPoint copy;
      while (e->NextStepCopy(copy)) out.push_back({copy.X, copy.Y});
    }
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
    Import(form, file, version);
    EXPECT_EQ(DrillInputFormat.Version, version);
    ASSERT_EQ(DrillEntityCount, 2) << "version " << version;
    EXPECT_EQ(Sorted(HolesAndCopies()), Sorted(Holes(version)))
        << "version " << version;
  }
}

}  // namespace
