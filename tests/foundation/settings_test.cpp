// The store mechanism and the start-up families: first start, exit, the
// "Version" text, units, layer colours, the two single System values and
// start-up with damaged values.
#include "foundation/display_units.h"
#include "settings_test_support.h"

namespace {

class SettingsTest : public TSettingsTest {};

TEST_F(SettingsTest, FirstStartFillsTheRegistryAndKeepsInchUnits) {
  LoadAllSettings();
  EXPECT_NE(TRegistryStore::Instance().FindKey(RegistryBaseKey), nullptr);
  for (const char* key : {"System", "Layout", "Layer Colors"}) EXPECT_FALSE(DumpKey(key).empty()) << key;
  EXPECT_EQ(UnitsPerDisplayUnit, 25400000);
  EXPECT_EQ(MainFormBounds, TMainFormBounds{});
  // The two single System values are not part of the start-up load.
  EXPECT_EQ(GetStored("System", "Sticky Lines"), nullptr);
  EXPECT_EQ(GetStored("System", "KORVEX 5 Button bar"), nullptr);
}

TEST_F(SettingsTest, MetricChoosesTheDisplayUnitOnEveryLoad) {
  PutValue("System", "Metric", RegInt(1));
  LoadAllSettings();
  EXPECT_TRUE(Metric);
  EXPECT_EQ(UnitsPerDisplayUnit, 1000000);

  PutValue("System", "Metric", RegInt(0));
  LoadAllSettings();
  EXPECT_FALSE(Metric);
  EXPECT_EQ(UnitsPerDisplayUnit, 25400000);

  // Any non-zero value is True.
  PutValue("System", "Metric", RegInt(-7));
  LoadAllSettings();
  EXPECT_EQ(UnitsPerDisplayUnit, 1000000);
}

TEST_F(SettingsTest, ExitSavesTheFamiliesAndTheProgramVersion) {
  CurrentLayer = 42;
  Metric = true;
  MicronMetricToolResolution = true;
  MainFormBounds = {10, 20, 1024, 768};
  BackgroundColor = clBlack;
  SaveAllSettings();

  TRegKey* product = TRegistryStore::Instance().FindKey(RegistryProductKey);
  ASSERT_NE(product, nullptr);
  ASSERT_EQ(product->Values.count("Version"), 1u);
  EXPECT_TRUE(SameValue(product->Values["Version"], RegStr("6.12.5")));
  EXPECT_TRUE(SameValue(*GetStored("System", "Last Selected Layer"), RegInt(42)));
  EXPECT_TRUE(SameValue(*GetStored("Layout", "Width"), RegInt(1024)));

  // The next start restores them.
  ResetStartupSettings();
  LoadAllSettings();
  EXPECT_EQ(CurrentLayer, 42);
  EXPECT_TRUE(Metric);
  EXPECT_EQ(UnitsPerDisplayUnit, 1000000);
  EXPECT_TRUE(MicronMetricToolResolution);
  EXPECT_EQ(MainFormBounds, (TMainFormBounds{10, 20, 1024, 768}));
  EXPECT_EQ(BackgroundColor, clBlack);
}

TEST_F(SettingsTest, DeletedLayerColourAloneReturnsToItsDefault) {
  for (int layer = 0; layer < LayerCount; ++layer) LayerColors[layer] = RGB(1, 2, layer);
  SaveAllSettings();
  DeleteStored("Layer Colors", "Layer 14");
  ResetStartupSettings();
  LoadAllSettings();
  EXPECT_EQ(LayerColors[14], clSilver);
  EXPECT_TRUE(SameValue(*GetStored("Layer Colors", "Layer 14"), RegInt(clSilver)));
  EXPECT_EQ(LayerColors[13], RGB(1, 2, 13));
  EXPECT_EQ(LayerColors[15], RGB(1, 2, 15));
  EXPECT_EQ(DefaultLayerColor(44), clYellow);  // the nine colours cycle
}

TEST_F(SettingsTest, SingleSystemValuesFollowTheirOwnRule) {
  struct TCase {
    const char* Name;
    bool (*Load)();
    void (*Save)(bool);
  };
  for (const TCase& c : {TCase{"Sticky Lines", LoadStickyLines, SaveStickyLines},
                         TCase{"KORVEX 5 Button bar", LoadButtonBarStyle, SaveButtonBarStyle}}) {
    SCOPED_TRACE(c.Name);
    TRegistryStore::Instance().Clear();
    // Missing: False is written and returned, whatever the program holds.
    EXPECT_FALSE(c.Load());
    EXPECT_TRUE(SameValue(*GetStored("System", c.Name), RegInt(0)));

    c.Save(true);
    EXPECT_TRUE(SameValue(*GetStored("System", c.Name), RegInt(1)));
    EXPECT_TRUE(c.Load());

    // Unreadable: treated as missing.
    PutValue("System", c.Name, RegStr("yes"));
    EXPECT_FALSE(c.Load());
    EXPECT_TRUE(SameValue(*GetStored("System", c.Name), RegInt(0)));
  }
}

TEST_F(SettingsTest, DamagedValuesDoNotStopStartUp) {
  LoadAllSettings();
  PutValue("System", "Metric", RegStr("yes"));
  PutValue("System", "Version", RegReal(3.0));
  PutValue("System", "Last Selected Layer", RegInt(200));
  PutValue("Layout", "Height", RegStr("tall"));
  PutValue("Layer Colors", "Background color", RegInt(clTeal));
  Metric = true;  // the program's value at the time is written back

  LoadAllSettings();
  EXPECT_TRUE(Metric);
  EXPECT_EQ(UnitsPerDisplayUnit, 1000000);
  EXPECT_EQ(Version, 1);
  EXPECT_EQ(CurrentLayer, 0);
  EXPECT_EQ(MainFormBounds.Height, 476);
  EXPECT_EQ(BackgroundColor, clTeal);  // the last family was reached
  EXPECT_TRUE(SameValue(*GetStored("System", "Metric"), RegInt(1)));
  EXPECT_TRUE(SameValue(*GetStored("System", "Version"), RegInt(1)));
  EXPECT_TRUE(SameValue(*GetStored("Layout", "Height"), RegInt(476)));
  // A value out of range is corrected in memory only.
  EXPECT_TRUE(SameValue(*GetStored("System", "Last Selected Layer"), RegInt(200)));
}

// ---------------------------------------------------------------------------
// The mechanism on a family of its own

class SettingsMechanismTest : public TSettingsTest {
 protected:
  bool b = true;
  uint8_t byte = 7;
  int32_t i = -5;
  TColor color = 0xFF00FF00;
  double real = 2.5;
  std::string text = "abc";
  TSettingFamily Family() {
    return {BoolSetting("B", b),         ByteSetting("Byte", byte), IntSetting("I", i),
            ColorSetting("Color", color), RealSetting("Real", real), StringSetting("Text", text)};
  }
};

TEST_F(SettingsMechanismTest, PresentValuesAreReadMissingOnesWritten) {
  PutValue("Test", "I", RegInt(12));
  PutValue("Test", "Color", RegInt(0xFFFFFFFFu));
  PutValue("Test", "Other", RegInt(99));
  ASSERT_TRUE(LoadSettingsFamily("Test", Family()));
  EXPECT_EQ(i, 12);
  EXPECT_EQ(color, 0xFFFFFFFFu);
  TRegDump d = DumpKey("Test");
  EXPECT_EQ(d.size(), 7u);  // further values are left alone
  EXPECT_TRUE(SameValue(d["B"], RegInt(1)));
  EXPECT_TRUE(SameValue(d["Byte"], RegInt(7)));
  EXPECT_TRUE(SameValue(d["Real"], RegReal(2.5)));
  EXPECT_TRUE(SameValue(d["Text"], RegStr("abc")));
  EXPECT_TRUE(SameValue(d["Other"], RegInt(99)));

  color = 0x80000001u;
  ASSERT_TRUE(SaveSettingsFamily("Test", Family()));
  EXPECT_TRUE(SameValue(DumpKey("Test")["Color"], RegInt(0x80000001u)));
}

TEST_F(SettingsMechanismTest, ByteFieldNeverTakesTheLowBitsOfAWiderValue) {
  PutValue("Test", "Byte", RegInt(0x101));
  LoadSettingsFamily("Test", Family());
  EXPECT_EQ(byte, 7);
  PutValue("Test", "Byte", RegInt(200));
  LoadSettingsFamily("Test", Family());
  EXPECT_EQ(byte, 200);
}

TEST_F(SettingsMechanismTest, CorrectionsSeeTheWholeValue) {
  uint8_t code = 3;
  int32_t count = 5;
  TSettingFamily f = {ByteSetting("Code", code, InRangeOr(1, 8, 1)),
                      IntSetting("Count", count, ClampedTo(1, 99))};
  PutValue("Test", "Code", RegInt(0x105));
  PutValue("Test", "Count", RegInt(-40));
  LoadSettingsFamily("Test", f);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(count, 1);
  PutValue("Test", "Count", RegInt(4000));
  LoadSettingsFamily("Test", f);
  EXPECT_EQ(count, 99);
}

TEST_F(SettingsMechanismTest, OpenedHookRunsBeforeTheFirstRead) {
  PutValue("Test", "I", RegInt(3));
  std::vector<int32_t> seen;
  LoadSettingsFamily("Test", Family(), [&] {
    seen.push_back(i);
    i = 100;
    b = false;
  });
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], -5);
  EXPECT_EQ(i, 3);                                      // read over the hook's value
  EXPECT_TRUE(SameValue(DumpKey("Test")["B"], RegInt(0)));  // written from the hook's value
}

}  // namespace
