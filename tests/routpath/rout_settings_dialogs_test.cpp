// The settings dialogs of the rout menus run as a user would: values shown in
// the machine's axis version and display unit, each field refused outside its
// range (on leaving it and again on OK), Cancel changing nothing.
#include <gtest/gtest.h>

#include <functional>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "korvex_test.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/keys.h"
#include "platform/paths.h"
#include "routpath/auto_rout_settings_dialog.h"
#include "routpath/auto_tab_dialog.h"
#include "routpath/panel_origin_dialog.h"
#include "routpath/setting_pictures.h"
#include "routpath/slot_settings_dialogs.h"
#include "routpath/step_repeat_dialog.h"

namespace {

constexpr int32_t Inch = 25400000;

class TRoutSettingsDialogsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    ResetModalScripts();
    ASSERT_TRUE(EnsureWorkingDirectories());
    RoutUndo = new TRoutUndo();
    RTDB = new TRoutDatabase();
    Seq = new TSequenceStore();
    DrillUndo = new TDrillUndo();
    DRDB = new TDrillDatabase();
    Metric = false;
    UnitsPerDisplayUnit = InchUnitsPerDisplayUnit;
    Version = 1;
    EditorMode = emRout;
    CurrentLayer = 40;
  }
  void TearDown() override {
    delete DRDB;
    DRDB = nullptr;
    delete DrillUndo;
    DrillUndo = nullptr;
    delete RTDB;
    RTDB = nullptr;
    delete Seq;
    Seq = nullptr;
    delete RoutUndo;
    RoutUndo = nullptr;
    Metric = false;
    UnitsPerDisplayUnit = InchUnitsPerDisplayUnit;
    Version = 1;
    ResetModalScripts();
    ResetHeadlessDialogs();
    TKorvexTest::TearDown();
  }
  // Types into a field and leaves it for the next one.
  static void Enter(TForm& f, const std::string& field, const std::string& text,
                    const std::string& next) {
    f.Get<TControl>(field).SetFocus();
    f.Get<TControl>(field).SetCaption(text);
    f.Get<TControl>(next).SetFocus();
  }
  static std::string Message(std::size_t i) {
    return i < ShownMessageBoxes().size() ? ShownMessageBoxes()[i].Text : "";
  }
};

TEST_F(TRoutSettingsDialogsTest, PanelOriginFollowsTheAxisVersionAndTheCurrentLayer) {
  Version = 2;  // axes exchanged
  CurrentLayer = 42;
  RTDB->G93Origins[42] = {Inch, 2 * Inch};
  QueueModalScript("TG93Dialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "New Panel Origin");
    EXPECT_EQ(f.Get<TEdit>("XEdit").Text(), "2.0");
    EXPECT_EQ(f.Get<TEdit>("YEdit").Text(), "1.0");
    f.Click("OKButton");
  });
  EXPECT_TRUE(ExecuteG93Dialog());
  EXPECT_EQ(RTDB->G93Origins[42], (TIntPoint{Inch, 2 * Inch}));  // back unchanged
  EXPECT_EQ(RTDB->G93Origins[40], (TIntPoint{0, 0}));

  // Bounds are included; a hair beyond is refused on leaving the field.
  Version = 1;
  QueueModalScript("TG93Dialog", [](TForm& f) {
    Enter(f, "XEdit", "40.0", "YEdit");
    Enter(f, "YEdit", "-40.0001", "XEdit");
    EXPECT_EQ(f.Get<TEdit>("YEdit").Text(), "2.0");  // the remembered value
    f.Click("OKButton");
  });
  EXPECT_TRUE(ExecuteG93Dialog());
  EXPECT_EQ(Message(0), "Illegal value: <-40.0001>");
  EXPECT_EQ(RTDB->G93Origins[42], (TIntPoint{40 * Inch, 2 * Inch}));

  // Drill editing edits the drill origin; metric display takes millimetres.
  EditorMode = emDrill;
  Metric = true;
  UnitsPerDisplayUnit = MetricUnitsPerDisplayUnit;
  QueueModalScript("TG93Dialog", [](TForm& f) {
    f.Get<TEdit>("XEdit").SetText("1000.0");
    f.Get<TEdit>("YEdit").SetText("-12.5");
    f.Click("OKButton");
  });
  EXPECT_TRUE(ExecuteG93Dialog());
  EXPECT_EQ(DRDB->G93OriginX, 1000 * MetricUnitsPerDisplayUnit);
  EXPECT_EQ(DRDB->G93OriginY, -12500000);
}

// In every axis version the dialogs show the stored values turned for the
// machine and OK without a change stores them back as they were.
TEST_F(TRoutSettingsDialogsTest, EveryAxisVersionShowsTurnedAndStoresBackUnchanged) {
  const TIntPoint origin{Inch + Inch / 4, -2 * Inch};
  const TAutoStepRepeatSettings steps{3, 3 * Inch, 2, -Inch / 2, false, true, false};
  for (uint8_t v = 1; v <= 8; ++v) {
    Version = v;
    RTDB->G93Origins[40] = origin;
    RTDB->AutoStepRepeat = steps;
    int32_t x = 0, y = 0;
    OrientPoint(origin.X, origin.Y, v, x, y);
    QueueModalScript("TG93Dialog", [x, y](TForm& f) {
      EXPECT_EQ(f.Get<TEdit>("XEdit").Text(), FieldRealText(double(x) / Inch));
      EXPECT_EQ(f.Get<TEdit>("YEdit").Text(), FieldRealText(double(y) / Inch));
      f.Click("OKButton");
    });
    EXPECT_TRUE(ExecuteG93Dialog());
    EXPECT_EQ(RTDB->G93Origins[40], origin) << int(v);
    OrientPoint(steps.DistanceInX, steps.DistanceInY, v, x, y);
    QueueModalScript("TStepRepeatDialog", [x, y](TForm& f) {
      EXPECT_EQ(f.Get<TEdit>("DistanceXEdit").Text(), FieldRealText(double(x) / Inch));
      EXPECT_EQ(f.Get<TEdit>("DistanceYEdit").Text(), FieldRealText(double(y) / Inch));
      f.Click("OKButton");
    });
    EXPECT_TRUE(ExecuteStepRepeatDialog());
    EXPECT_EQ(RTDB->AutoStepRepeat, steps) << int(v);
  }
  EXPECT_TRUE(ShownMessageBoxes().empty());
}

// A length with more digits than six characters show, stored or typed
// within its field's bounds, is kept whole: OK on the field as shown stores
// back what it held, and what is typed is what is stored.
TEST_F(TRoutSettingsDialogsTest, FieldsKeepEveryDigitShownOrTyped) {
  struct TCase {
    const char* Form;
    const char* Field;
    bool Metric;
    const char* Typed;  // null: OK on the field as shown
    std::function<bool()> Run;
    std::function<int64_t()> Stored;
    int64_t Expected;
  };
  const auto g93x = [] { return int64_t{RTDB->G93Origins[40].X}; };
  const TCase cases[] = {
      {"TG93Dialog", "XEdit", false, nullptr, ExecuteG93Dialog, g93x, 31357824},  // 1.23456"
      {"TG93Dialog", "XEdit", false, "-39.99995", ExecuteG93Dialog, g93x, -1015998730},
      {"TG93Dialog", "XEdit", true, "-999.9995", ExecuteG93Dialog, g93x, -999999500},
      {"TStepRepeatDialog", "DistanceXEdit", false, nullptr, ExecuteStepRepeatDialog,
       [] { return int64_t{RTDB->AutoStepRepeat.DistanceInX}; }, 31357824},
      {"TStepRepeatDialog", "DistanceYEdit", false, "39.99999", ExecuteStepRepeatDialog,
       [] { return int64_t{RTDB->AutoStepRepeat.DistanceInY}; }, 1015999746},
      {"TAutoTabDialog", "WidthEdit", true, nullptr, ExecuteAutoTabDialog,
       [] { return int64_t{RTDB->AutoTab.Width}; }, 793750},  // 1/32" in millimetres
      {"TAutoTabDialog", "HoleSpacingEdit", false, "0.24999", ExecuteAutoTabDialog,
       [] { return int64_t{RTDB->AutoTab.HoleSpacing}; }, 6349746},
      {"TAutoRoutDialog", "EdgeOffsetEdit", false, nullptr, ExecuteAutoRoutDialog,
       [] { return int64_t{RTDB->AutoRout.EdgeOffset}; }, 31357824},
      {"TSlotConfigDialog", "LengthEdit", false, nullptr, ExecuteSlotConfigDialog,
       [] { return int64_t{DRDB->DrilledSlots.Length}; }, 3135630},  // 0.12345"
      {"TCircleConfigDialog", "RadiusEdit", true, nullptr, ExecuteCircleConfigDialog,
       [] { return int64_t{DRDB->DrilledCircleRadius}; }, 987654},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Form) + " " + c.Field + " " + (c.Typed ? c.Typed : "as shown"));
    Metric = c.Metric;
    UnitsPerDisplayUnit = c.Metric ? MetricUnitsPerDisplayUnit : InchUnitsPerDisplayUnit;
    RTDB->G93Origins[40] = {31357824, 0};
    RTDB->AutoStepRepeat.DistanceInX = 31357824;
    RTDB->AutoTab = TAutoTabSettings{};
    RTDB->AutoTab.Width = 793750;
    RTDB->AutoTab.CutInWidth = 0;
    RTDB->AutoRout.EdgeOffset = 31357824;
    DRDB->DrilledSlots.Length = 3135630;
    DRDB->DrilledCircleRadius = 987654;
    QueueModalScript(c.Form, [&c](TForm& f) {
      if (c.Typed != nullptr) Enter(f, c.Field, c.Typed, "OKButton");
      f.Click("OKButton");
    });
    EXPECT_TRUE(c.Run());
    EXPECT_EQ(c.Stored(), c.Expected);
    EXPECT_TRUE(ShownMessageBoxes().empty()) << Message(0);
  }
}

// A length a field takes in one unit it takes in the other: a value at the
// bound of either unit, stored while the job showed it, stays as it was on
// OK in the other unit; a hair beyond the longer bound is refused there.
TEST_F(TRoutSettingsDialogsTest, ALengthAtTheBoundOfOneUnitIsTakenInTheOther) {
  struct TCase {
    const char* Form;
    const char* Field;
    bool Metric;
    const char* Typed;  // null: OK on the field as shown
    bool Refused;
    std::function<bool()> Run;
    std::function<int64_t()> Stored;
    int64_t Expected;  // the value stored after the dialog
  };
  const auto g93x = [] { return int64_t{RTDB->G93Origins[40].X}; };
  const auto stepX = [] { return int64_t{RTDB->AutoStepRepeat.DistanceInX}; };
  const auto plunge = [] { return int64_t{RTDB->AutoRout.PlungeOffset}; };
  const auto spacing = [] { return int64_t{RTDB->AutoTab.HoleSpacing}; };
  const TCase cases[] = {
      {"TG93Dialog", "XEdit", true, nullptr, false, ExecuteG93Dialog, g93x, 40LL * Inch},
      {"TG93Dialog", "XEdit", true, "-1016.0", false, ExecuteG93Dialog, g93x, -40LL * Inch},
      {"TG93Dialog", "XEdit", true, "1016.001", true, ExecuteG93Dialog, g93x, 40LL * Inch},
      {"TStepRepeatDialog", "DistanceXEdit", true, nullptr, false, ExecuteStepRepeatDialog, stepX, 40LL * Inch},
      {"TStepRepeatDialog", "DistanceXEdit", true, "-1016.001", true, ExecuteStepRepeatDialog, stepX, 40LL * Inch},
      {"TAutoRoutDialog", "PlungeOffsetEdit", true, nullptr, false, ExecuteAutoRoutDialog, plunge, 25LL * Inch},
      {"TAutoRoutDialog", "PlungeOffsetEdit", true, "635.001", true, ExecuteAutoRoutDialog, plunge, 25LL * Inch},
      {"TAutoTabDialog", "HoleSpacingEdit", false, nullptr, false, ExecuteAutoTabDialog, spacing, 6400000},
      {"TAutoTabDialog", "HoleSpacingEdit", false, "0.252", true, ExecuteAutoTabDialog, spacing, 6400000},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Form) + " " + c.Field + " " + (c.Typed ? c.Typed : "as shown"));
    ResetHeadlessDialogs();
    Metric = c.Metric;
    UnitsPerDisplayUnit = c.Metric ? MetricUnitsPerDisplayUnit : InchUnitsPerDisplayUnit;
    RTDB->G93Origins[40] = {40 * Inch, 0};
    RTDB->AutoStepRepeat.DistanceInX = 40 * Inch;
    RTDB->AutoRout.PlungeOffset = 25 * Inch;
    RTDB->AutoTab = TAutoTabSettings{};
    RTDB->AutoTab.HoleSpacing = 6400000;  // 6.4 mm
    QueueModalScript(c.Form, [&c](TForm& f) {
      if (c.Typed != nullptr) Enter(f, c.Field, c.Typed, "OKButton");
      f.Click("OKButton");
      if (!f.ModalEnded()) f.SetModalResult(mrCancel);  // OK refused what it showed
    });
    EXPECT_TRUE(c.Run());
    EXPECT_EQ(c.Stored(), c.Expected);
    EXPECT_EQ(Message(0), c.Refused ? "Illegal value: <" + std::string(c.Typed) + ">" : "");
  }
}

// A value typed but never left must still be checked on OK: the dialog stays
// open and nothing is stored.
TEST_F(TRoutSettingsDialogsTest, OkChecksEveryFieldBeforeAnythingIsStored) {
  const TIntPoint origin = RTDB->G93Origins[40];
  QueueModalScript("TG93Dialog", [](TForm& f) {
    f.Get<TEdit>("YEdit").SetText("4O.0");  // a letter O
    f.Click("OKButton");
    EXPECT_TRUE(f.Showing());
    EXPECT_EQ(f.Get<TEdit>("YEdit").Text(), "0.0");
    f.Click("CancelButton");
  });
  EXPECT_FALSE(ExecuteG93Dialog());
  EXPECT_EQ(Message(0), "Illegal value: <4O.0>");
  EXPECT_EQ(RTDB->G93Origins[40], origin);

  const TAutoStepRepeatSettings steps = RTDB->AutoStepRepeat;
  QueueModalScript("TStepRepeatDialog", [](TForm& f) {
    f.Get<TEdit>("NumberXEdit").SetText("100");
    f.Click("OKButton");
    EXPECT_TRUE(f.Showing());
    f.Get<TEdit>("DistanceYEdit").SetText("1e3");
    f.Click("OKButton");
    EXPECT_TRUE(f.Showing());
    f.Click("CancelButton");
  });
  EXPECT_FALSE(ExecuteStepRepeatDialog());
  EXPECT_EQ(RTDB->AutoStepRepeat, steps);

  const TAutoTabSettings tabs = RTDB->AutoTab;
  QueueModalScript("TAutoTabDialog", [](TForm& f) {
    f.Get<TEdit>("ToolNumberEdit").SetText("961");
    f.Click("OKButton");
    EXPECT_TRUE(f.Showing());
    f.Get<TEdit>("HoleSpacingEdit").SetText("0.3X");
    f.Click("OKButton");
    EXPECT_TRUE(f.Showing());
    f.Click("CancelButton");
  });
  EXPECT_FALSE(ExecuteAutoTabDialog());
  EXPECT_EQ(RTDB->AutoTab, tabs);
}

TEST_F(TRoutSettingsDialogsTest, StepRepeatShowsAxesTurnedAndKeepsSerpentineUnderNesting) {
  RTDB->AutoStepRepeat = {3, 2 * Inch, 4, Inch, false, false, true};
  Version = 2;
  QueueModalScript("TStepRepeatDialog", [](TForm& f) {
    auto& d = static_cast<TStepRepeatDialog&>(f);
    EXPECT_EQ(d.DistanceXEdit->Text(), "1.0");
    EXPECT_EQ(d.DistanceYEdit->Text(), "2.0");
    EXPECT_TRUE(d.SerpentineCheckBox->Enabled());
    d.NestedCheckBox->Click();
    EXPECT_FALSE(d.SerpentineCheckBox->Enabled());
    EXPECT_FALSE(d.SerpentineCheckBox->Checked());
    d.NestedCheckBox->Click();
    EXPECT_TRUE(d.SerpentineCheckBox->Checked());  // the earlier tick comes back
    Enter(f, "NumberXEdit", "0", "NumberYEdit");
    EXPECT_EQ(d.NumberXEdit->Text(), "3");
    Enter(f, "DistanceXEdit", "40.1", "NumberYEdit");
    EXPECT_EQ(d.DistanceXEdit->Text(), "1.0");
    Enter(f, "DistanceXEdit", "-40.0", "NumberYEdit");
    d.NestedCheckBox->Click();
    f.Click("OKButton");
  });
  EXPECT_TRUE(ExecuteStepRepeatDialog());
  EXPECT_EQ(Message(0), "Illegal value: <0>");
  EXPECT_EQ(Message(1), "Illegal value: <40.1>");
  const TAutoStepRepeatSettings& s = RTDB->AutoStepRepeat;
  EXPECT_EQ(s.NumberInX, 3);
  EXPECT_EQ(s.DistanceInX, 2 * Inch);  // Y shown turned, stored back
  EXPECT_EQ(s.DistanceInY, -40 * Inch);
  EXPECT_TRUE(s.Nested);
  EXPECT_TRUE(s.Serpentine);  // kept while nested
}

TEST_F(TRoutSettingsDialogsTest, AutoTabFieldsAndTheNeckFollowingTheWidth) {
  Metric = true;
  UnitsPerDisplayUnit = MetricUnitsPerDisplayUnit;
  RTDB->AutoTab = TAutoTabSettings{};
  QueueModalScript("TAutoTabDialog", [](TForm& f) {
    auto& d = static_cast<TAutoTabDialog&>(f);
    EXPECT_EQ(d.WidthEdit->Text(), "5.08");
    EXPECT_TRUE(d.SimpleRadioButton->Checked());
    EXPECT_TRUE(d.SimpleTabButton0->Down());
    EXPECT_EQ(d.ButtonBook->ActivePage(), 1);  // cutter radius offset on
    Enter(f, "WidthEdit", "25.5", "CutInWidthEdit");
    EXPECT_EQ(d.WidthEdit->Text(), "5.08");
    Enter(f, "WidthEdit", "2.5", "CutInOffsetEdit");  // below the neck of 3.81
    EXPECT_EQ(d.CutInWidthEdit->Text(), "2.5");
    Enter(f, "CutInWidthEdit", "3", "CutInOffsetEdit");
    Enter(f, "NumberOfHolesSpin", "51", "ToolNumberEdit");
    EXPECT_EQ(d.NumberOfHolesSpin->Text(), "3");
    d.ComplexTabButton1->Click();
    EXPECT_TRUE(d.ComplexRadioButton->Checked());
    EXPECT_TRUE(d.ComplexTabButton0->Down());
    d.RadiusCompCheckBox->Click();
    EXPECT_EQ(d.ButtonBook->ActivePage(), 0);
    d.DrilledHolesCheckBox->Click();
    EXPECT_FALSE(d.HoleSpacingEdit->Enabled());
    f.Click("OKButton");
  });
  EXPECT_TRUE(ExecuteAutoTabDialog());
  EXPECT_EQ(Message(0), "Illegal value: <25.5>");
  EXPECT_EQ(Message(1), "This value cannot be greater than the width (A)");
  EXPECT_EQ(Message(2), "Illegal value: <51>");
  const TAutoTabSettings& t = RTDB->AutoTab;
  EXPECT_EQ(t.Width, 2500000);
  EXPECT_EQ(t.CutInWidth, 2500000);
  EXPECT_FALSE(t.TabType);
  EXPECT_FALSE(t.CutterRadiusOffset);
  EXPECT_FALSE(t.DrilledHolesEnabled);
  EXPECT_EQ(t.NumberOfHoles, 3);
}

TEST_F(TRoutSettingsDialogsTest, AutoRoutTakesANegativeOvercutAndMovesOnWithEnter) {
  RTDB->AutoRout = TAutoRoutSettings{};
  RTDB->AutoRout.Inside = 1;
  QueueModalScript("TAutoRoutDialog", [](TForm& f) {
    auto& d = static_cast<TAutoRoutDialog&>(f);
    EXPECT_TRUE(d.InlineRoutButton->Down());
    EXPECT_TRUE(d.InlineRadioButton->Checked());
    EXPECT_EQ(d.PlungeOffsetEdit->Text(), "0.25");
    Enter(f, "OvercutEdit", "-1.5", "EdgeOffsetEdit");
    EXPECT_EQ(d.OvercutEdit->Text(), "0.15");
    Enter(f, "OvercutEdit", "-0.05", "EdgeOffsetEdit");
    Enter(f, "PlungeOffsetEdit", "1E-1", "EdgeOffsetEdit");  // no letters
    // Enter in Overcut goes on to Edge Offset instead of closing.
    d.OvercutEdit->SetFocus();
    d.OvercutEdit->PressKey(VK_RETURN);
    EXPECT_TRUE(f.Showing());
    EXPECT_EQ(f.ActiveControl(), d.EdgeOffsetEdit);
    d.CornerRadioButton->Click();
    EXPECT_TRUE(d.CornerRoutButton->Down());
    d.LowFeedInCheckBox->Click();
    f.Click("OKButton");
  });
  EXPECT_TRUE(ExecuteAutoRoutDialog());
  EXPECT_EQ(Message(0), "Illegal value: <-1.5>");
  EXPECT_EQ(Message(1), "Illegal value: <1E-1>");
  const TAutoRoutSettings& a = RTDB->AutoRout;
  EXPECT_EQ(a.Overcut, -Inch / 20);
  EXPECT_EQ(a.PlungeOffset, Inch / 4);
  EXPECT_EQ(a.AutoRoutStyle, 0);
  EXPECT_EQ(a.Inside, 1);  // kept
  EXPECT_TRUE(a.LowFeedCutIn);

  // Metric: 30 mm is a plunge offset, 636 mm (past 25") is not; Cancel keeps the record.
  Metric = true;
  UnitsPerDisplayUnit = MetricUnitsPerDisplayUnit;
  const TAutoRoutSettings before = RTDB->AutoRout;
  QueueModalScript("TAutoRoutDialog", [](TForm& f) {
    Enter(f, "PlungeOffsetEdit", "30", "EdgeOffsetEdit");
    EXPECT_EQ(f.Get<TEdit>("PlungeOffsetEdit").Text(), "30.0");
    Enter(f, "PlungeOffsetEdit", "636", "EdgeOffsetEdit");
    f.Click("CancelButton");
  });
  EXPECT_FALSE(ExecuteAutoRoutDialog());
  EXPECT_EQ(Message(2), "Illegal value: <636>");
  EXPECT_EQ(RTDB->AutoRout, before);
}

TEST_F(TRoutSettingsDialogsTest, PartRoutOvercutIsCheckedAsTypedAndIdleUnderCutterSize) {
  RTDB->FullPanelInline = TFullPanelInlineRout{};
  QueueModalScript("TInlineCfgDialog", [](TForm& f) {
    auto& d = static_cast<TInlineCfgDialog&>(f);
    EXPECT_EQ(d.UnitLabel->Caption(), "inch");
    EXPECT_FALSE(d.OverCutEdit->Enabled());  // the cutter size is used
    d.SizeCheckBox->Click();
    EXPECT_TRUE(d.OverCutEdit->Enabled());
    d.OverCutEdit->SetFocus();
    d.OverCutEdit->SetText("1.5");
    EXPECT_EQ(d.OverCutEdit->Text(), "0.062");
    d.OverCutEdit->SetText("0.1");
    f.Click("OKButton");
  });
  EXPECT_TRUE(ConfigureAutoPartRout());
  EXPECT_EQ(Message(0), "Illegal value: <1.5>");
  EXPECT_EQ(RTDB->FullPanelInline.Overcut, Inch / 10);
  EXPECT_FALSE(RTDB->FullPanelInline.UseCutterSize);
}

}  // namespace

namespace {
// How many pixels of the picture are in the colour.
int Pixels(const TBitmap& picture, TColor colour) {
  int n = 0;
  for (TColor c : picture.Pixels()) n += c == colour ? 1 : 0;
  return n;
}
}  // namespace

// The style and tab buttons are their pictures: each choice its own drawing
// of the path (blue) with the lettered measures (maroon), the radio button
// beside it; a click on either makes the choice.
TEST_F(TRoutSettingsDialogsTest, TheStyleAndTabChoicesArePictures) {
  std::vector<std::vector<TColor>> drawings;
  for (uint8_t style = 0; style < 3; ++style) drawings.push_back(AutoRoutStylePicture(style)->Pixels());
  for (bool simple : {false, true})
    for (bool edges : {false, true}) drawings.push_back(TabPicture(simple, edges)->Pixels());
  for (std::size_t i = 0; i < drawings.size(); ++i)
    for (std::size_t k = i + 1; k < drawings.size(); ++k) EXPECT_NE(drawings[i], drawings[k]) << i << "," << k;

  QueueModalScript("TAutoRoutDialog", [](TForm& f) {
    auto& d = static_cast<TAutoRoutDialog&>(f);
    for (TSpeedButton* b : {d.CornerRoutButton, d.PinlessRoutButton, d.InlineRoutButton}) {
      ASSERT_NE(b->Glyph(), nullptr) << b->Name();
      EXPECT_TRUE(b->Caption().empty());
      EXPECT_GT(Pixels(*b->Glyph(), clBlue), 50) << b->Name();
      EXPECT_GT(Pixels(*b->Glyph(), clMaroon), 20) << b->Name();
      EXPECT_GE(b->Width(), b->Glyph()->Width());
    }
    // Each radio button stands beside its picture, not under it.
    EXPECT_EQ(d.PinlessRadioButton->Parent(), d.PinlessRoutButton->Parent());
    EXPECT_GT(d.PinlessRadioButton->Left(), d.PinlessRoutButton->Left() + d.PinlessRoutButton->Width() - 1);
    d.PinlessRoutButton->Click();
    EXPECT_TRUE(d.PinlessRadioButton->Checked());
    f.Click("OKButton");
  });
  EXPECT_TRUE(ExecuteAutoRoutDialog());
  EXPECT_EQ(RTDB->AutoRout.AutoRoutStyle, 1);

  QueueModalScript("TAutoTabDialog", [](TForm& f) {
    auto& d = static_cast<TAutoTabDialog&>(f);
    for (TSpeedButton* b : {d.ComplexTabButton0, d.SimpleTabButton0, d.ComplexTabButton1, d.SimpleTabButton1})
      ASSERT_NE(b->Glyph(), nullptr) << b->Name();
    EXPECT_NE(d.ComplexTabButton0->Glyph()->Pixels(), d.ComplexTabButton1->Glyph()->Pixels());
    // The number of holes is a spin edit within 1 to 50.
    EXPECT_EQ(d.NumberOfHolesSpin->Kind(), TControlKind::SpinEdit);
    d.NumberOfHolesSpin->StepUp();
    EXPECT_EQ(d.NumberOfHolesSpin->Value(), 4);
    d.SimpleTabButton0->Click();
    EXPECT_TRUE(d.SimpleRadioButton->Checked());
    f.Click("OKButton");
  });
  EXPECT_TRUE(ExecuteAutoTabDialog());
  EXPECT_EQ(RTDB->AutoTab.NumberOfHoles, 4);
  EXPECT_TRUE(RTDB->AutoTab.TabType);

  // Step and repeat: one group per direction, each with its count and its
  // distance; the fields keep a margin from the window's edge.
  QueueModalScript("TStepRepeatDialog", [](TForm& f) {
    EXPECT_EQ(f.Get<TGroupBox>("XGroup").Caption(), "&Horizontal Direction");
    EXPECT_EQ(f.Get<TGroupBox>("YGroup").Caption(), "&Vertical Direction");
    for (const char* g : {"XGroup", "YGroup"}) {
      TControl& group = f.Get<TControl>(g);
      EXPECT_EQ(group.Children()[0]->Caption(), "Number of Steps ");
      EXPECT_EQ(group.Children()[2]->Caption(), "Step Distance");
    }
    EXPECT_EQ(f.Get<TEdit>("NumberXEdit").Parent()->Name(), "XGroup");
    EXPECT_EQ(f.Get<TEdit>("DistanceYEdit").Parent()->Name(), "YGroup");
    for (const char* c : {"FieldPanel", "OKButton"}) {
      const TControl& control = f.Get<TControl>(c);
      int left = 0;
      for (const TControl* p = &control; p != &f; p = p->Parent()) left += p->Left();
      EXPECT_GE(left, 8) << c;
    }
    f.Click("CancelButton");
  });
  EXPECT_FALSE(ExecuteStepRepeatDialog());
}
