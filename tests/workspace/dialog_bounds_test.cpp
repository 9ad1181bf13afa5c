// The step dialogs' values at and past their bounds through the started
// program: a pattern they allow goes out on the program's own tapes and
// reads back with the same copies, and one that cannot be made is refused
// with its box, the layer as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "command/button_manager.h"
#include "foundation/file_utils.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/rout_database.h"
#include "model/rout_sequence.h"
#include "model/rout_shadow.h"
#include "model/step_repeat.h"
#include "tapeout/make_drill_tape.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

class TDialogBoundsTest : public TTapeWritingTest {
 protected:
  // What the screen draws of a layer, its step copies included, in a fixed order.
  static std::vector<std::array<int32_t, 5>> Drawn(uint8_t layer) {
    std::vector<std::array<int32_t, 5>> out;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p)
      if (TRoutEntity* e = RTDB->EntityAt(Seq->HandleAt(layer, p));
          e != nullptr && !SlotDeleted(RTDB->SlotAt(Seq->HandleAt(layer, p))->Flags))
        for (const TRoutShadow* s = e->Shadow; s != nullptr; s = s->Next)
          if ((s->Kind == rsLine && !s->HeadUp) || s->Kind == rsHole)
            out.push_back({s->Kind, s->A.X, s->A.Y, s->Kind == rsLine ? s->B.X : 0, s->Kind == rsLine ? s->B.Y : 0});
    std::sort(out.begin(), out.end());
    return out;
  }
  // The copies a step chain makes, its original left out.
  static std::vector<std::array<int32_t, 2>> Copies(const TStepObject* steps) {
    std::vector<std::array<int32_t, 2>> out;
    if (steps != nullptr)
      for (const TStepCommand& c : steps->Offsets()) out.push_back({c.DX, c.DY});
    return out;
  }
  static const TStepObject* RoutSteps(uint8_t layer) {
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      const int32_t h = Seq->HandleAt(layer, p);
      TRoutEntity* e = RTDB->EntityAt(h);
      if (e != nullptr && !SlotDeleted(RTDB->SlotAt(h)->Flags) && IsPathStartType(e->GetType()))
        return e->GetStepObj();
    }
    return nullptr;
  }
  static const TStepObject* DrillSteps() {
    for (int32_t i = 1; i <= DrillEntityCount; ++i)
      if (TDrillEntity* e = DRDB->EntityAt(i); e != nullptr && static_cast<int32_t>(DRDB->WordAt(i)) > 0)
        return e->GetStepObj();
    return nullptr;
  }
  // Make Rout Tape of the layer picked as offered, then Open Rout Tape of it
  // into layer 41; each tape of a test has a name of its own.
  void RoutTapeReadBack(TWorkspace& form) {
    const std::string tape = NativePath(ExecutionPath() + "ROUT\\T" + std::to_string(++tapes_) + ".RT");
    ScriptFileDialogAnswer(tape);
    QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emRout, "MakeRoutTape1");
    ASSERT_TRUE(FileExistsNoWild(tape)) << LastBox();
    SelectLayer(41);
    ScriptFileDialogAnswer(tape);
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emRout, "OpenRoutTape1");
  }
  // Make Drill Tape as offered (no tooling hits marked, no tool table),
  // File > New, then Drill Import of the tape.
  void DrillTapeReadBack(TWorkspace& form) {
    QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
      auto& d = static_cast<TMakeDrillTapeDialog&>(f);
      d.ToolTableCheckBox.SetChecked(false);
      d.MarkFirstCheckBox.SetChecked(false);
      d.MarkLastCheckBox.SetChecked(false);
      d.OKButton.Click();
    });
    const std::string tape = (TempDir / ("T" + std::to_string(++tapes_) + ".DRL")).string();
    ScriptFileDialogAnswer(tape);
    Run(form, emDrill, "MakeDrillTape1");
    ASSERT_TRUE(FileExistsNoWild(tape)) << LastBox();
    DatabaseModified = false;
    Run(form, emDrill, "New1");
    ImportExcellonTape(form, tape);
  }

 private:
  int tapes_ = 0;
};

const std::string kCannotExpand =
    "The step pattern would make more than 65,535 copies or move outside the coordinate range.\r\n"
    "The step pattern was not made.";

// Auto Step & Repeat of a path centred on the origin with the counts and
// distances the dialog allows, up to 99 steps 40" apart. Stepping row by
// row (or column by column) without serpentine goes back across the row
// in one step: up to 80" that step is made, the tape states it and reads
// back the same copies; a longer one no step can hold, and the pattern is
// refused with its box, the path as it was.
TEST_F(TDialogBoundsTest, AutoStepAtTheDialogsBoundsIsMadeAndReadBackOrRefused) {
  struct TCase {
    int32_t NumberX, DistanceX, NumberY, DistanceY;  // distances in inches
    bool HorizontalFirst, Serpentine, Made;
  };
  const TCase cases[] = {
      {3, 40, 2, 1, true, false, true},     {3, 40, 2, 1, true, true, true},
      {2, 1, 3, -40, false, false, true},   {2, 1, 3, -40, false, true, true},
      {4, 40, 2, 1, true, false, false},    {4, 40, 2, 1, true, true, false},
      {2, 1, 4, -40, false, false, false},  {99, 40, 99, 40, true, false, false},
      {99, -40, 99, -40, false, false, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.NumberX) + " x " + std::to_string(c.DistanceX) + "\", " +
                 std::to_string(c.NumberY) + " x " + std::to_string(c.DistanceY) + "\"" +
                 (c.HorizontalFirst ? ", rows" : ", columns") + (c.Serpentine ? ", serpentine" : ""));
    TWorkspace& form = StartProgram();
    SelectLayer(40);
    // The copies about the origin (where they fit the coordinate range).
    const auto centred = [](int32_t n, int32_t d) {
      return int32_t(std::clamp<int64_t>(-int64_t{n - 1} * d * (In / 2), -80LL * In, 80LL * In));
    };
    const TIntPoint at{centred(c.NumberX, c.DistanceX), centred(c.NumberY, c.DistanceY)};
    RTDB->AddLineSegment(at, {at.X + In / 2, at.Y}, true, NoZOffset, 0);
    RTDB->AutoStepRepeat = {uint8_t(c.NumberX), c.DistanceX * In, uint8_t(c.NumberY), c.DistanceY * In,
                            false, c.HorizontalFirst, c.Serpentine};
    QueueModalScript("TStepRepeatDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emRout, "AutoStepRepeat1");
    Click(at.X + In / 4, at.Y);
    ECO->CancelCommand();
    if (!c.Made) {
      EXPECT_EQ(LastBox(), kCannotExpand);
      EXPECT_EQ(RoutSteps(40), nullptr);
      EXPECT_EQ(Drawn(40).size(), 1u);
    } else {
      EXPECT_EQ(Copies(RoutSteps(40)).size(), std::size_t(c.NumberX * c.NumberY - 1)) << LastBox();
      const auto drawn = Drawn(40);
      RoutTapeReadBack(form);
      EXPECT_EQ(Drawn(41), drawn) << LastBox();
    }
    ResetHeadlessDialogs();
    DatabaseModified = false;
    CloseProgram();
  }
}

// A step repeated as often as Create Step & Repeat allows (65,535) goes out
// on the rout and the drill tape in count words the readers take (at most
// 9,999 repeats each) and reads back with every copy.
TEST_F(TDialogBoundsTest, RepeatCountsUpToTheDialogsBoundReadBackFromBothTapes) {
  struct TCase {
    bool Rout;
    int32_t Count;
  };
  for (const TCase& c : {TCase{true, 9999}, TCase{true, 10000}, TCase{true, 65535}, TCase{false, 9999},
                         TCase{false, 10000}, TCase{false, 65535}}) {
    SCOPED_TRACE((c.Rout ? "rout, R" : "drill, R") + std::to_string(c.Count));
    TWorkspace& form = StartProgram();
    QueueModalScript("TEditStepDialog", [&c](TForm& f) {
      f.Get<TMemo>("Step1Memo").SetLines({"M01", "R" + std::to_string(c.Count) + "M02X000010Y000000", "M02", "M08"});
      f.Click("OKButton");
    });
    if (c.Rout) {
      SelectLayer(40);
      ButtonManager().Press(26);  // the hole button
      Click(In, In);
      ECO->CancelCommand();
      Run(form, emRout, "CreateStepRepeat1");
      Click(In, In);
      ECO->CancelCommand();
    } else {
      SelectLayer(30);
      ToolTable[1].Diameter = In / 40;
      DRDB->AddHoleOnLayer(In, In, 30, 1, true);
      Run(form, emDrill, "CreateStepRepeat2");
      Click(In / 2, In / 2);
      Click(2 * In, 2 * In);
      form.KeyDown(VK_ESCAPE);
    }
    const auto made = Copies(c.Rout ? RoutSteps(40) : DrillSteps());
    ASSERT_EQ(made.size(), std::size_t(c.Count)) << LastBox();
    if (c.Rout) {
      RoutTapeReadBack(form);
      EXPECT_EQ(Copies(RoutSteps(41)), made) << LastBox();
    } else {
      DrillTapeReadBack(form);
      EXPECT_EQ(Copies(DrillSteps()), made) << LastBox();
    }
    ResetHeadlessDialogs();
    DatabaseModified = false;
    CloseProgram();
  }
}

// A panel origin at the dialog's bounds (40", 1016 mm) goes on the rout and
// the drill tape and reads back where the format holds it; where it does
// not (four integer digits in millimetres on a 3.3 tape) Make Rout Tape
// and Make Drill Tape refuse with the origin in the tape's unit.
TEST_F(TDialogBoundsTest, APanelOriginAtTheDialogsBoundIsReadBackOrNamedInTheTapesUnit) {
  struct TCase {
    bool Rout, Metric;
    const char* Typed;
    int32_t Origin;     // database units
    const char* Refusal;  // null: written and read back
  };
  const TCase cases[] = {
      {true, false, "-40.0", -40 * In, nullptr},
      {true, true, "999.999", 999999000, nullptr},
      {true, true, "-1016.0", -40 * In,
       "The G93 origin X -1016.000 mm, Y 0.000 mm does not fit the rout output format 3.3."},
      {false, false, "40.0", 40 * In, nullptr},
      {false, true, "-999.999", -999999000, nullptr},
      {false, true, "1016.0", 40 * In,
       "The drill tape was not written:\r\nThe G93 origin X 1016.000 mm, Y 0.000 mm does not fit the drill "
       "output format metric 3.3."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Rout ? "rout " : "drill ") + c.Typed + (c.Metric ? " mm" : " in"));
    TWorkspace& form = StartProgram();
    Metric = c.Metric;
    UnitsPerDisplayUnit = c.Metric ? MetricUnitsPerDisplayUnit : InchUnitsPerDisplayUnit;
    RoutOutputFormat.Metric = DrillOutputFormat.Metric = c.Metric;
    RoutOutputFormat.UnitsFactor = DrillOutputFormat.UnitsFactor = UnitsFactorOf(c.Metric);
    QueueModalScript("TG93Dialog", [&c](TForm& f) {
      f.Get<TEdit>("XEdit").SetText(c.Typed);
      f.Get<TEdit>("YEdit").SetText("0");
      f.Click("OKButton");
    });
    const std::string tape = (TempDir / ("O" + std::to_string(&c - cases) + (c.Rout ? ".RT" : ".DRL"))).string();
    if (c.Rout) {
      SelectLayer(40);
      RTDB->AddLineSegment({0, 0}, {In, 0}, true, NoZOffset, 0);
      Run(form, emRout, "SetPanelOrigin1");
      ASSERT_EQ(RTDB->G93Origins[40], (TIntPoint{c.Origin, 0})) << LastBox();
      ScriptFileDialogAnswer(tape);
      QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
      Run(form, emRout, "MakeRoutTape1");
    } else {
      SelectLayer(30);
      ToolTable[1].Diameter = In / 40;
      DRDB->AddHoleOnLayer(In, In, 30, 1, true);
      Run(form, emDrill, "SetPanelOrigin1");
      ASSERT_EQ(DRDB->G93OriginX, c.Origin) << LastBox();
      QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
        auto& d = static_cast<TMakeDrillTapeDialog&>(f);
        d.ToolTableCheckBox.SetChecked(false);
        d.MarkFirstCheckBox.SetChecked(false);
        d.MarkLastCheckBox.SetChecked(false);
        d.G93CheckBox.SetChecked(true);
        d.OKButton.Click();
      });
      ScriptFileDialogAnswer(tape);
      Run(form, emDrill, "MakeDrillTape1");
    }
    if (c.Refusal != nullptr) {
      EXPECT_EQ(LastBox(), c.Refusal);
      EXPECT_FALSE(FileExistsNoWild(tape));
    } else if (c.Rout) {
      EXPECT_NE(ReadFileBytes(tape).find("G93"), std::string::npos) << LastBox();
      SelectLayer(41);
      ScriptFileDialogAnswer(tape);
      QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
      Run(form, emRout, "OpenRoutTape1");
      EXPECT_EQ(RTDB->G93Origins[41], (TIntPoint{c.Origin, 0})) << LastBox();
    } else {
      EXPECT_NE(ReadFileBytes(tape).find("G93"), std::string::npos) << LastBox();
      DatabaseModified = false;
      Run(form, emDrill, "New1");
      ImportExcellonTape(form, tape);
      EXPECT_EQ(DRDB->G93OriginX, c.Origin) << LastBox();
    }
    ResetHeadlessDialogs();
    DatabaseModified = false;
    CloseProgram();
    Metric = false;
    UnitsPerDisplayUnit = InchUnitsPerDisplayUnit;
  }
}

}  // namespace
