// The drilled slot, circle and slot algorithm dialogs: values shown and
// read back, fields refused on leaving, Cancel, and the registry families.
#include "routpath/slot_settings_dialogs.h"

#include "drill_tools_fixture.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"

namespace {

class TSlotSettingsTest : public TDrillToolsTest {
 protected:
  static void Type(TForm& f, const std::string& edit, const std::string& text) {
    f.Get<TEdit>(edit).SetFocus();
    f.Get<TEdit>(edit).SetText(text);
  }
  static std::vector<std::string> Messages() {
    std::vector<std::string> texts;
    for (const auto& b : ShownMessageBoxes()) texts.push_back(b.Text);
    return texts;
  }
};

using Texts = std::vector<std::string>;

TEST_F(TSlotSettingsTest, SlotConfigurationChecksEachFieldAndStoresRoundedValues) {
  QueueModalScript("TSlotConfigDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Slot Configuration");
    EXPECT_EQ(f.Get<TEdit>("AngleEdit").Text(), "45.0");
    EXPECT_EQ(f.Get<TEdit>("LengthEdit").Text(), "0.5");
    Type(f, "AngleEdit", "360.1");
    Type(f, "LengthEdit", "1.0");  // leaving the angle refused it
    EXPECT_EQ(f.Get<TEdit>("AngleEdit").Text(), "45.0");
    Type(f, "AngleEdit", "1e2");
    Type(f, "LengthEdit", "1.01");
    Type(f, "AngleEdit", "-1");
    Type(f, "LengthEdit", "1");
    Type(f, "AngleEdit", "12.34567");
    f.Click("DefaultsCheckBox");
    f.Click("OKButton");
  });
  ASSERT_TRUE(ExecuteSlotConfigDialog());
  EXPECT_EQ(Messages(), (Texts{"Illegal value: <360.1>", "Illegal value: <1e2>", "Illegal value: <1.01>",
                               "Illegal value: <-1>"}));
  EXPECT_DOUBLE_EQ(DRDB->DrilledSlots.Angle, 12.346);
  EXPECT_EQ(DRDB->DrilledSlots.Length, 25400000);
  TDrilledSlotSettings saved;
  LoadDrilledSlotSettings(saved);
  EXPECT_DOUBLE_EQ(saved.Angle, 12.346);
  EXPECT_EQ(saved.Length, 25400000);
  EXPECT_EQ(HeadlessViewServices().ModalDepth, 0);
}

TEST_F(TSlotSettingsTest, MetricLengthsAndCancelLeaveTheSettings) {
  Metric = true;
  UnitsPerDisplayUnit = MetricUnitsPerDisplayUnit;
  QueueModalScript("TSlotConfigDialog", [](TForm& f) {
    Type(f, "LengthEdit", "25.5");
    Type(f, "AngleEdit", "10");
    Type(f, "LengthEdit", "25.4");
    f.Click("OKButton");
  });
  ASSERT_TRUE(ExecuteSlotConfigDialog());
  EXPECT_EQ(DRDB->DrilledSlots.Length, 25400000);
  EXPECT_EQ(Messages(), (Texts{"Illegal value: <25.5>"}));
  TDrilledSlotSettings saved;
  LoadDrilledSlotSettings(saved);
  EXPECT_EQ(saved.Length, 12700000);  // not saved without the box
  QueueModalScript("TSlotConfigDialog", [](TForm& f) {
    Type(f, "AngleEdit", "90");
    f.Click("CancelButton");
  });
  EXPECT_FALSE(ExecuteSlotConfigDialog());
  EXPECT_DOUBLE_EQ(DRDB->DrilledSlots.Angle, 10.0);
  // The circle radius: an over-long radius comes back; OK keeps the old one.
  QueueModalScript("TCircleConfigDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Circle Configuration");
    EXPECT_EQ(f.Get<TEdit>("RadiusEdit").Text(), "12.7");
    Type(f, "RadiusEdit", "26");
    f.Click("OKButton");
  });
  ASSERT_TRUE(ExecuteCircleConfigDialog());
  EXPECT_EQ(DRDB->DrilledCircleRadius, 12700000);
  QueueModalScript("TCircleConfigDialog", [](TForm& f) {
    Type(f, "RadiusEdit", "3.25");
    f.Click("DefaultsCheckBox");
    f.Click("OKButton");
  });
  ASSERT_TRUE(ExecuteCircleConfigDialog());
  EXPECT_EQ(DRDB->DrilledCircleRadius, 3250000);
  int32_t radius = 0;
  LoadDrilledCircleSettings(radius);
  EXPECT_EQ(radius, 3250000);
}

TEST_F(TSlotSettingsTest, SlotAlgorithmShowsEnablesAndReadsEveryControl) {
  DRDB->SlotAlgorithm = TSlotAlgorithmSettings{};
  DRDB->SlotAlgorithm.CuspDefault = 12700;
  QueueModalScript("TSlotAlgorithmDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Slot algorithm");
    EXPECT_EQ(f.Get<TEdit>("CuspEdit").Text(), "0.0005");
    EXPECT_EQ(f.Get<TEdit>("MaxCompEdit").Text(), "0.008");
    EXPECT_EQ(f.Get<TLabel>("UnitsLabel").Caption(), "\"");
    EXPECT_TRUE(f.Get<TRadioButton>("BidirectionalButton").Checked());
    EXPECT_TRUE(f.Get<TRadioButton>("NormalButton").Checked());
    EXPECT_FALSE(f.Get<TEdit>("CompFactorEdit").Enabled());
    EXPECT_FALSE(f.Get<TEdit>("MinEdit").Enabled());
    f.Click("CompButton");
    EXPECT_TRUE(f.Get<TEdit>("CompFactorEdit").Enabled());
    f.Click("MultiToolCheckBox");
    EXPECT_TRUE(f.Get<TEdit>("MaxEdit").Enabled());
    f.Click("UnidirectionalButton");
    Type(f, "CompFactorEdit", "21");
    Type(f, "MinEdit", "9");
    EXPECT_EQ(f.Get<TEdit>("CompFactorEdit").Text(), "8");
    f.Click("OKButton");  // the refused minimum keeps the dialog open
    EXPECT_TRUE(f.Showing());
    EXPECT_EQ(f.Get<TEdit>("MinEdit").Text(), "33");
    Type(f, "CompFactorEdit", "123");
    Type(f, "MinEdit", "40");  // refused on the way: OK is not held up by it
    Type(f, "CompFactorEdit", "12");
    Type(f, "MaxEdit", "30");  // below the minimum: becomes the minimum
    Type(f, "MaxCompEdit", "0.02");
    Type(f, "CuspEdit", "0.001");
    f.Click("DefaultsCheckBox");
    f.Click("OKButton");
  });
  ASSERT_TRUE(ExecuteSlotAlgorithmDialog(false));
  EXPECT_EQ(Messages(), (Texts{"Illegal value: <21>", "Illegal value: <9>", "Illegal value: <123>"}));
  const TSlotAlgorithmSettings& s = DRDB->SlotAlgorithm;
  EXPECT_EQ(s.BiDirectional, 1);
  EXPECT_EQ(s.DoShortSlotComp, 1);
  EXPECT_TRUE(s.MultiToolPiloting);
  EXPECT_EQ(s.ShortSlotCompFactor, 12);
  EXPECT_EQ(s.MinPilotHolePercent, 40);
  EXPECT_EQ(s.MaxPilotHolePercent, 40);
  EXPECT_EQ(s.ShortSlotMaxComp, 508000);
  EXPECT_EQ(s.CuspDefault, 25400);
  TSlotAlgorithmSettings saved;
  LoadSlotAlgorithmSettings(saved);
  EXPECT_EQ(saved, s);
}

TEST_F(TSlotSettingsTest, SlotAlgorithmRefusesLengthsBeyondTheLimitAndCancelChangesNothing) {
  const TSlotAlgorithmSettings before = DRDB->SlotAlgorithm;
  QueueModalScript("TSlotAlgorithmDialog", [](TForm& f) {
    EXPECT_EQ(f.Get<TLabel>("UnitsLabel").Caption(), "mm");
    f.Click("MultiShortButton");
    Type(f, "CuspEdit", "0.509");  // 509,000 units
    f.Get<TCheckBox>("DefaultsCheckBox").SetFocus();
    EXPECT_EQ(f.Get<TEdit>("CuspEdit").Text(), "0.0127");
    f.Click("CancelButton");
  });
  EXPECT_FALSE(ExecuteSlotAlgorithmDialog(true));
  EXPECT_EQ(Messages(), (Texts{"Illegal value: <0.509>"}));
  EXPECT_EQ(DRDB->SlotAlgorithm, before);
}

}  // namespace
