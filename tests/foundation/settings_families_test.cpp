// Every settings family, driven from one table: the defaults an empty
// registry receives, the round trip through save and load, the write-back of
// missing and unreadable values, and the corrections applied on load.
#include <algorithm>
#include <climits>
#include <functional>
#include <set>
#include <vector>

#include "settings_test_support.h"

namespace {

// Records and variables owned by other objects in the program; the tests own
// one of each.
TMakeTapeDefaults gMakeTape;
TFirstLastHitDefaults gFirstLastHit;
TSlotAlgorithmSettings gSlotAlgorithm;
TDrilledSlotSettings gDrilledSlots;
int32_t gDrilledCircleRadius;
uint8_t gPrintScale, gPrintOrientation;
bool gEraseDuplicates, gEraseOverlaps, gIntegrateArcs, gIntegrateCircles;
int32_t gOverlapTolerance, gArcTolerance, gCircleTolerance;
TAutoTabSettings gTabs;
TDrillFormatRecord gDrillOut, gDrillIn;
TRoutFormatRecord gRoutOut, gRoutIn, gRoutText;
TCadFormatRecord gCadOut, gCadIn;
TAutoStepRepeatSettings gStepRepeat;
uint8_t gCompensation;
TAutoRoutSettings gAutoRout;
bool gPocketDusting;
TFullPanelInlineRout gInlineRout;

void ResetOwned() {
  gMakeTape = DefaultMakeTapeDefaults();
  gFirstLastHit = {};
  gSlotAlgorithm = {};
  gDrilledSlots = {};
  gDrilledCircleRadius = DefaultDrilledCircleRadius;
  gPrintScale = 2;
  gPrintOrientation = 0;
  gEraseDuplicates = gEraseOverlaps = gIntegrateArcs = gIntegrateCircles = true;
  gOverlapTolerance = gArcTolerance = gCircleTolerance = 50800;
  gTabs = {};
  gDrillOut = DefaultDrillFormat(true);
  gDrillIn = DefaultDrillFormat(false);
  gRoutOut = DefaultRoutFormat(true);
  gRoutIn = DefaultRoutFormat(false);
  gRoutText = DefaultRoutFormat(false);
  gCadOut = DefaultCadInputFormat();
  gCadIn = DefaultCadInputFormat();
  gStepRepeat = {};
  gCompensation = DefaultCompensation;
  gAutoRout = {};
  gPocketDusting = DefaultPocketDusting;
  gInlineRout = {};
}

struct TBoolValue {
  TRegValue Value;
};
TBoolValue Bool(bool b) { return {RegBool(b)}; }

// One value of a family with its built-in default.
struct TExpected {
  TExpected(std::string name, TRegValue value) : Name(std::move(name)), Value(std::move(value)) {}
  TExpected(std::string name, TBoolValue value)
      : Name(std::move(name)), Value(std::move(value.Value)), Boolean(true) {}
  std::string Name;
  TRegValue Value;
  bool Boolean = false;
};
using TValues = std::vector<TExpected>;

struct TFamilyCase {
  std::string Name;
  std::vector<std::pair<std::string, TValues>> Keys;  // key -> built-in defaults
  std::function<void()> Load;
  std::function<void()> Save;
  std::set<std::string> NotSaved = {};  // values only the load writes
  bool ResetsBeforeRead = false;   // the load sets its defaults once the key is open
};

TValues FormatHead(bool ijSigned) {
  return {{"Version", RegInt(1)},          {"Integer Digits", RegInt(2)},
          {"Decimal Digits", RegInt(4)},   {"Metric Integer Digits", RegInt(3)},
          {"Metric Decimal Digits", RegInt(3)}, {"Zeros Used", RegInt(0)},
          {"Absolute", Bool(true)},     {"IJMode", Bool(false)},
          {"Block Delete", Bool(true)}, {"IJSigned", Bool(ijSigned)},
          {"IJIncremental", Bool(true)}, {"IJ From Start Point", Bool(true)},
          {"Counter-ClockWise", Bool(false)}, {"Metric", Bool(false)}};
}

TValues RoutFormatDefaults(bool output) {
  TValues v = FormatHead(output);
  TValues tail = {{"Output Unparsed", Bool(output)}, {"Output M48 Header", Bool(output)},
                  {"Resolve G93", Bool(false)},      {"Output G93", Bool(output)},
                  {"Output Feed Rate", Bool(output)}, {"Output Z Offset", Bool(false)}};
  v.insert(v.end(), tail.begin(), tail.end());
  return v;
}

TValues CadFormatDefaults() {
  TValues v = FormatHead(true);
  v.push_back({"Use Cutter Compensation", Bool(false)});
  return v;
}

TValues DrillFormatDefaults(bool output) {
  return {{"Version", RegInt(1)},          {"Integer Digits", RegInt(2)},
          {"Decimal Digits", RegInt(4)},   {"Metric Integer Digits", RegInt(3)},
          {"Metric Decimal Digits", RegInt(3)}, {"Zeros Used", RegInt(0)},
          {"Absolute", Bool(true)},     {"Metric", Bool(false)},
          {"Block Delete", Bool(true)}, {"Resolve G93", Bool(false)},
          {"Show Messages", Bool(!output)}};
}

TValues SystemDefaults() {
  return {{"Metric", Bool(false)},
          {"Version", RegInt(1)},
          {"Text Flips With Version", Bool(true)},
          {"Display Grid", Bool(false)},
          {"Snap To Grid", Bool(false)},
          {"Zero Zero lines", Bool(true)},
          {"Show G93", Bool(true)},
          {"Display Routs Full Width", Bool(true)},
          {"Kerf Fill", Bool(false)},
          {"Head Up Moves", Bool(false)},
          {"Feed Rate Changes", Bool(false)},
          {"Z Offset Changes", Bool(false)},
          {"Display Sequence Numbers", Bool(false)},
          {"Gouge Detect", Bool(false)},
          {"Gouge Avoid", Bool(false)},
          {"Display Steps Dashed", Bool(true)},
          {"Construction Points", Bool(false)},
          {"Rout Construction Points", Bool(false)},
          {"Rout Direction Arrows", Bool(false)},
          {"Display Holes As", RegInt(1)},
          {"Color Holes By", RegInt(0)},
          {"Rout Colors", RegInt(1)},
          {"Last Selected Layer", RegInt(0)},
          {"Show Layer Buttons", Bool(true)},
          {"Show Toolbar", Bool(true)},
          {"Micron Metric Tool Resolution", Bool(false)}};
}

TValues LayerColorDefaults() {
  const uint32_t cycle[9] = {0x00FFFF00, 0x00808080, 0x00FF00FF, 0x00FF0000, 0x0000FF00,
                             0x00C0C0C0, 0x000000FF, 0x00FFFFFF, 0x0000FFFF};
  TValues v;
  for (int layer = 0; layer < 45; ++layer)
    v.push_back({"Layer " + std::to_string(layer), RegInt(cycle[layer % 9])});
  v.push_back({"Grid and Axis color", RegInt(0x00FFFFFF)});
  v.push_back({"Highlight color", RegInt(0x00FFFFFF)});
  v.push_back({"Background color", RegInt(0x00800000)});
  return v;
}

TValues FilterDefaults(bool import) {
  TValues v;
  for (int n = 1; n <= 10; ++n) {
    std::string nn = (n < 10 ? "0" : "") + std::to_string(n);
    v.push_back({nn + " Name", RegStr("")});
    v.push_back({nn + " Swap File", RegStr("")});
  }
  if (import) {
    v.push_back({"Default Rout Filter", RegInt(0)});
  } else {
    for (int r = 0; r <= 4; ++r) v.push_back({"Default Rout Filter R" + std::to_string(r), RegInt(0)});
  }
  v.push_back({"Default Drill Filter", RegInt(0)});
  return v;
}

const std::string kExec = "/opt/korvex/";

std::vector<TFamilyCase> AllFamilies() {
  return {
      {"System", {{"System", SystemDefaults()}},
       [] { TRegistry r; LoadSystemSettings(r); }, [] { TRegistry r; SaveSystemSettings(r); }},
      {"Layout",
       {{"Layout", {{"Height", RegInt(476)}, {"Width", RegInt(600)}, {"Top", RegInt(141)}, {"Left", RegInt(250)}}}},
       [] { TRegistry r; LoadLayoutSettings(r); }, [] { TRegistry r; SaveLayoutSettings(r); }},
      {"LayerColors", {{"Layer Colors", LayerColorDefaults()}},
       [] { TRegistry r; LoadLayerColorSettings(r); }, [] { TRegistry r; SaveLayerColorSettings(r); }},
      {"MakeTape",
       {{"Make Tape Defaults",
         {{"Output M48 Header", Bool(true)}, {"Mark first tooling hits", Bool(true)},
          {"Mark last tooling hits", Bool(true)}, {"Output G93", Bool(true)},
          {"Output Tool Diameters", Bool(true)}, {"Output First-Last Hit", Bool(false)},
          {"Hard Link Tools", Bool(false)}, {"Expand Slots", Bool(false)},
          {"Expand Circles", Bool(false)}, {"Expand Drilled Text", Bool(false)},
          {"Do Tooling Pin Avoidance", Bool(false)}, {"Expand Steps", Bool(false)},
          {"Output Gerber File", Bool(false)}, {"Write ToolTable file", Bool(true)},
          {"Thickness", RegInt(1574800)}, {"Optimizer", RegInt(1)}, {"Gerber Path", RegStr(kExec)}}}},
       [] { LoadMakeTapeDefaults(gMakeTape); }, [] { SaveMakeTapeDefaults(gMakeTape); }},
      {"FirstLastHit",
       {{"First Last Hit Coupon Defaults",
         {{"First Hit", Bool(false)}, {"Last Hit", Bool(false)}, {"One Row", Bool(false)},
          {"Vertical", Bool(true)}, {"Vertical Spacing", RegInt(5080000)},
          {"Horizontal Spacing", RegInt(12700000)}}}},
       [] { LoadFirstLastHitDefaults(gFirstLastHit); }, [] { SaveFirstLastHitDefaults(gFirstLastHit); }},
      {"SlotAlgorithm",
       {{"Drilled Slot Algorithm",
         {{"Cusp Default", RegInt(12700)}, {"Bi-directional", RegInt(0)},
          {"Multi Tool Piloting", Bool(false)}, {"Short Slot Comp Factor", RegInt(8)},
          {"Min pilot hole percent", RegInt(33)}, {"Max pilot hole percent", RegInt(67)},
          {"Do Short Slot Comp", RegInt(0)}, {"Short Slot Max Comp", RegInt(203200)}}}},
       [] { LoadSlotAlgorithmSettings(gSlotAlgorithm); }, [] { SaveSlotAlgorithmSettings(gSlotAlgorithm); }},
      {"DrilledSlots", {{"Drilled Slots", {{"Length", RegInt(12700000)}, {"Angle", RegReal(45.0)}}}},
       [] { LoadDrilledSlotSettings(gDrilledSlots); }, [] { SaveDrilledSlotSettings(gDrilledSlots); }},
      {"DrilledCircles", {{"Drilled Circles", {{"Radius", RegInt(12700000)}}}},
       [] { LoadDrilledCircleSettings(gDrilledCircleRadius); },
       [] { SaveDrilledCircleSettings(gDrilledCircleRadius); }},
      {"Plot",
       {{"Plot Defaults",
         {{"Size Index", RegInt(1)}, {"Scale Chosen", RegInt(2)}, {"Orientation", RegInt(0)},
          {"X Custom Size", RegReal(8.5)}, {"Y Custom Size", RegReal(11.0)}}}},
       [] { LoadPlotDefaults(); }, [] { SavePlotDefaults(); }},
      {"Print", {{"Print Defaults", {{"Scale Chosen", RegInt(2)}, {"Orientation", RegInt(0)}}}},
       [] { LoadPrintDefaults(gPrintScale, gPrintOrientation); },
       [] { SavePrintDefaults(gPrintScale, gPrintOrientation); }},
      {"AutoCleanup",
       {{"AutoCleanup Defaults",
         {{"Erase Duplicates", Bool(true)}, {"Erase Overlaps", Bool(true)},
          {"Integrate Arcs", Bool(true)}, {"Integrate Circles", Bool(true)},
          {"Overlap Tolerance", RegInt(50800)}, {"Arc Tolerance", RegInt(50800)},
          {"Circle Tolerance", RegInt(50800)}}}},
       [] {
         LoadAutoCleanupDefaults(gEraseDuplicates, gEraseOverlaps, gIntegrateArcs, gIntegrateCircles,
                                 gOverlapTolerance, gArcTolerance, gCircleTolerance);
       },
       [] {
         SaveAutoCleanupDefaults(gEraseDuplicates, gEraseOverlaps, gIntegrateArcs, gIntegrateCircles,
                                 gOverlapTolerance, gArcTolerance, gCircleTolerance);
       }},
      {"Gerber",
       {{"Gerber Import Defaults",
         {{"Zero Usage", RegInt(1)}, {"Integer Digits", RegInt(2)}, {"Decimal Digits", RegInt(4)},
          {"Incremental Mode", Bool(false)}, {"Metric", Bool(false)}}}},
       [] { LoadGerberImportDefaults(); }, [] { SaveGerberImportDefaults(); }},
      {"DefaultRoutToolPage", {{"Default Rout Tool Page", {{"Default Tool File", RegStr("")}}}},
       [] { LoadDefaultRoutToolPage(); }, [] { SaveDefaultRoutToolPage(); }},
      {"AutoTab",
       {{"Auto Tab Settings",
         {{"Width", RegInt(5080000)}, {"CutIn Offset", RegInt(762000)}, {"CutIn Width", RegInt(3810000)},
          {"Hole Offset", RegInt(508000)}, {"Drilled Holes Enabled", Bool(true)},
          {"Tab Type", Bool(true)}, {"Number of Holes", RegInt(3)},
          {"Cutter Radius Offset", Bool(true)}, {"Tool Number", RegInt(1)},
          {"Hole Spacing", RegInt(1016000)}}}},
       [] { LoadAutoTabSettings(gTabs); }, [] { SaveAutoTabSettings(gTabs); }},
      {"DrillOutputFormat", {{"Drill Output Format Defaults", DrillFormatDefaults(true)}},
       [] { LoadDrillFormatDefaults(gDrillOut, true); }, [] { SaveDrillFormatDefaults(gDrillOut, true); }},
      {"DrillInputFormat", {{"Drill Input Format Defaults", DrillFormatDefaults(false)}},
       [] { LoadDrillFormatDefaults(gDrillIn, false); }, [] { SaveDrillFormatDefaults(gDrillIn, false); }},
      {"RoutOutputFormat", {{"Rout Output Format Defaults", RoutFormatDefaults(true)}},
       [] { LoadRoutFormatDefaults(gRoutOut, RoutFormatOutput); },
       [] { SaveRoutFormatDefaults(gRoutOut, RoutFormatOutput); }},
      {"RoutInputFormat", {{"Rout Input Format Defaults", RoutFormatDefaults(false)}},
       [] { LoadRoutFormatDefaults(gRoutIn, RoutFormatInput); },
       [] { SaveRoutFormatDefaults(gRoutIn, RoutFormatInput); }},
      {"RoutTextEditFormat", {{"Rout Text Edit Format Defaults", RoutFormatDefaults(false)}},
       [] { LoadRoutFormatDefaults(gRoutText, RoutFormatTextEdit); },
       [] { SaveRoutFormatDefaults(gRoutText, RoutFormatTextEdit); }},
      {"CadOutputFormat", {{"Cad Output Format Defaults", CadFormatDefaults()}},
       [] { LoadCadFormatDefaults(gCadOut, true); }, [] { SaveCadFormatDefaults(gCadOut, true); }},
      {"CadInputFormat", {{"Cad Excellon Input Format Defaults", CadFormatDefaults()}},
       [] { LoadCadFormatDefaults(gCadIn, false); }, [] { SaveCadFormatDefaults(gCadIn, false); }},
      {"AutoStepRepeat",
       {{"Auto Step & Repeat Settings",
         {{"Number in X Direction", RegInt(2)}, {"Number in Y Direction", RegInt(2)},
          {"Distance in X Direction", RegInt(50800000)}, {"Distance in Y Direction", RegInt(50800000)},
          {"Nested", Bool(true)}, {"Step Horizontal Direction First", Bool(false)},
          {"Serpentine", Bool(true)}}}},
       [] { LoadAutoStepRepeatSettings(gStepRepeat); }, [] { SaveAutoStepRepeatSettings(gStepRepeat); }},
      {"AutoRoutCompensation", {{"Auto Rout Settings", {{"Compensation", RegInt(2)}}}},
       [] { LoadAutoRoutCompensation(gCompensation); }, [] { SaveAutoRoutCompensation(gCompensation); }},
      {"AutoRout",
       {{"Auto Rout Settings",
         {{"Plunge Offset", RegInt(6350000)}, {"Edge Offset", RegInt(2540000)}, {"Overcut", RegInt(3810000)},
          {"Auto Rout Style", RegInt(2)}, {"Low Feed Cut In", Bool(false)},
          {"Low Feed Cut Out", Bool(true)}}}},
       [] { LoadAutoRoutSettings(gAutoRout); }, [] { SaveAutoRoutSettings(gAutoRout); }},
      {"LastDirectories",
       {{"Last Directories",
         {{"Drill Import Path", RegStr(kExec + "INDATA/")}, {"Drill Make Tape Path", RegStr(kExec + "DRILL/")},
          {"Rout Import Path", RegStr(kExec + "INDATA/")}, {"Rout Make Tape Path", RegStr(kExec + "ROUT/")},
          {"Cad Import Path", RegStr(kExec + "INDATA/")}, {"Cad Export Path", RegStr(kExec + "CAD/")},
          {"Database Path", RegStr(kExec + "DATABASE/")}, {"DNC Upload Directory", RegStr(kExec + "DNC/")},
          {"DNC Download Directory", RegStr(kExec + "DNC/")}}}},
       [] { LoadLastDirectories(); }, [] { SaveLastDirectories(); }},
      {"Filters", {{"Import Filters", FilterDefaults(true)}, {"Export Filters", FilterDefaults(false)}},
       [] { LoadFilterSettings(); }, [] { SaveFilterSettings(); }},
      {"FullPanelAutorout", {{"Full Panel Autorout", {{"Pocket Dusting", Bool(true)}}}},
       [] { LoadFullPanelAutoRout(gPocketDusting); }, [] { SaveFullPanelAutoRout(gPocketDusting); }},
      {"FullPanelInlineRout",
       {{"Full Panel Inline Rout", {{"Use Cutter Size", Bool(true)}, {"Overcut", RegInt(1574800)}}}},
       [] { LoadFullPanelInlineRout(gInlineRout); }, [] { SaveFullPanelInlineRout(gInlineRout); }},
      {"Dnc",
       {{"DNC Settings", {{"Com Port", RegInt(1)}, {"Baud Rate", RegInt(9600)}, {"Allow Uploads", Bool(false)}}}},
       [] { LoadDncSettings(); }, [] { SaveDncSettings(); }, {}, true},
      {"TableParameters",
       {{"Table Parameters",
         {{"X Table Speed", RegInt(400000)}, {"Y Table Speed", RegInt(400000)},
          {"Linear Interpolation", Bool(false)}, {"Head Radius", RegInt(25400000)}}}},
       [] { LoadTableParameters(); }, [] { SaveTableParameters(); }, {}, true},
  };
}

// A different value the load accepts unchanged.
TRegValue Mutated(const TExpected& e) {
  const TRegValue& v = e.Value;
  if (e.Boolean) return RegBool(v.Int == 0);
  switch (v.Type) {
    case TRegDataType::String: return RegStr(v.Str + "X");
    case TRegDataType::Binary: {
      double d = 0;
      uint64_t bits = 0;
      for (int i = 7; i >= 0; --i) bits = (bits << 8) | v.Bin[i];
      std::memcpy(&d, &bits, 8);
      return RegReal(d + 0.5);
    }
    case TRegDataType::Integer:
      if (e.Name == "Rout Colors") return RegInt(0);
      return RegInt(v.Int == 0 ? 1 : v.Int == 1 ? 2 : v.Int - 1);
  }
  return v;
}

// A value of another registry type (or an 8-byte Real of the wrong size).
TRegValue WrongTyped(const TRegValue& v) {
  switch (v.Type) {
    case TRegDataType::Integer: return RegStr("not a number");
    case TRegDataType::String: return RegInt(7);
    case TRegDataType::Binary: {
      TRegValue w = v;
      w.Bin.resize(4);
      return w;
    }
  }
  return v;
}

class SettingsFamilyTest : public TSettingsTest, public ::testing::WithParamInterface<TFamilyCase> {
 protected:
  void SetUp() override {
    TSettingsTest::SetUp();
    ResetOwned();
  }
  void ResetAll() {
    ResetStartupSettings();
    ResetFamilySettings();
    ResetOwned();
  }
  void ClearRegistry() { TRegistryStore::Instance().Clear(); }

  // Stores a non-default value for every value of the family and loads it.
  std::map<std::string, TRegDump> LoadMutated() {
    const TFamilyCase& c = GetParam();
    std::map<std::string, TRegDump> mutated;
    for (const auto& [key, values] : c.Keys)
      for (const TExpected& e : values) mutated[key][e.Name] = Mutated(e);
    ClearRegistry();
    for (const auto& [key, dump] : mutated) WriteDump(key, dump);
    ResetAll();
    c.Load();
    return mutated;
  }

  static void ExpectDump(const std::string& key, const TRegDump& expected, const TRegDump& actual) {
    for (const auto& [name, value] : expected) {
      auto it = actual.find(name);
      if (it == actual.end()) {
        ADD_FAILURE() << key << ": value \"" << name << "\" missing";
        continue;
      }
      EXPECT_TRUE(SameValue(value, it->second))
          << key << " \"" << name << "\": expected " << Show(value) << ", stored " << Show(it->second);
    }
  }
};

TEST_P(SettingsFamilyTest, EmptyRegistryReceivesEveryDefault) {
  const TFamilyCase& c = GetParam();
  c.Load();
  for (const auto& [key, values] : c.Keys) {
    TRegDump expected;
    for (const TExpected& e : values) expected[e.Name] = e.Value;
    TRegDump stored = DumpKey(key);
    EXPECT_EQ(stored.size(), expected.size()) << key;
    ExpectDump(key, expected, stored);
  }
  // The base key exists even though nothing was there before.
  EXPECT_NE(TRegistryStore::Instance().FindKey(RegistryBaseKey), nullptr);
}

TEST_P(SettingsFamilyTest, NonDefaultValuesSurviveSaveAndLoad) {
  const TFamilyCase& c = GetParam();
  auto mutated = LoadMutated();
  // A complete key is only read.
  for (const auto& [key, dump] : mutated) EXPECT_EQ(DumpKey(key).size(), dump.size()) << key;

  // The fields now hold the stored values: a save into an empty registry
  // writes them back unchanged.
  ClearRegistry();
  c.Save();
  for (auto [key, dump] : mutated) {
    for (const std::string& name : c.NotSaved) dump.erase(name);
    ExpectDump(key, dump, DumpKey(key));
  }

  // And a fresh start from defaults takes them again.
  auto saved = DumpKey(c.Keys.front().first);
  ResetAll();
  c.Load();
  ClearRegistry();
  c.Save();
  ExpectDump(c.Keys.front().first, saved, DumpKey(c.Keys.front().first));
}

TEST_P(SettingsFamilyTest, EachValueHasAFieldOfItsOwn) {
  // One value at a time differs from its default: after load and save only
  // that value differs, so no two names share a field.
  const TFamilyCase& c = GetParam();
  for (const auto& [key, values] : c.Keys) {
    for (const TExpected& e : values) {
      if (c.NotSaved.count(e.Name)) continue;
      SCOPED_TRACE(key + " \"" + e.Name + "\"");
      ClearRegistry();
      for (const auto& [k, vs] : c.Keys)
        for (const TExpected& d : vs) PutValue(k, d.Name, k == key && d.Name == e.Name ? Mutated(d) : d.Value);
      ResetAll();
      c.Load();
      ClearRegistry();
      c.Save();
      TRegDump expected;
      for (const TExpected& d : values)
        if (!c.NotSaved.count(d.Name)) expected[d.Name] = d.Name == e.Name ? Mutated(d) : d.Value;
      ExpectDump(key, expected, DumpKey(key));
    }
  }
}

TEST_P(SettingsFamilyTest, MissingOrUnreadableValueIsWrittenBack) {
  const TFamilyCase& c = GetParam();
  for (const auto& [key, values] : c.Keys) {
    for (const auto& [name, value, boolean] : values) {
      for (bool wrongType : {false, true}) {
        SCOPED_TRACE(key + " \"" + name + (wrongType ? "\" of the wrong type" : "\" missing"));
        auto mutated = LoadMutated();
        if (wrongType)
          PutValue(key, name, WrongTyped(value));
        else
          DeleteStored(key, name);
        c.Load();
        // Written from the field, which holds the stored value from the
        // previous load (or the default for families that reset first).
        TRegDump expected = mutated[key];
        if (c.ResetsBeforeRead) expected[name] = value;
        ExpectDump(key, expected, DumpKey(key));
      }
    }
  }
}

std::string CaseName(const ::testing::TestParamInfo<TFamilyCase>& info) { return info.param.Name; }

INSTANTIATE_TEST_SUITE_P(AllFamilies, SettingsFamilyTest, ::testing::ValuesIn(AllFamilies()), CaseName);

// ---------------------------------------------------------------------------
// Corrections on load: the field is corrected, the registry keeps the value.

struct TCorrectionCase {
  std::string Family;  // TFamilyCase name
  std::string Key;
  std::string Value;
  int64_t Stored;
  std::function<int64_t()> Field;
  int64_t Expected;
};

class SettingsCorrectionTest : public TSettingsTest {};

TEST_F(SettingsCorrectionTest, IndexesCodesAndCountsAreCorrected) {
  const std::vector<TCorrectionCase> cases = {
      {"System", "System", "Version", 0, [] { return Version; }, 1},
      {"System", "System", "Version", 257, [] { return Version; }, 1},
      {"System", "System", "Version", 8, [] { return Version; }, 8},
      {"System", "System", "Display Holes As", 4, [] { return DisplayHolesAs; }, 1},
      {"System", "System", "Color Holes By", 3, [] { return ColorHolesBy; }, 0},
      {"System", "System", "Rout Colors", 2, [] { return RoutColors; }, 1},
      {"System", "System", "Last Selected Layer", 45, [] { return CurrentLayer; }, 0},
      {"System", "System", "Last Selected Layer", 300, [] { return CurrentLayer; }, 0},
      {"System", "System", "Last Selected Layer", 44, [] { return CurrentLayer; }, 44},
      {"MakeTape", "Make Tape Defaults", "Optimizer", 6, [] { return gMakeTape.Optimizer; }, 1},
      {"MakeTape", "Make Tape Defaults", "Optimizer", 258, [] { return gMakeTape.Optimizer; }, 1},
      {"SlotAlgorithm", "Drilled Slot Algorithm", "Bi-directional", -1, [] { return gSlotAlgorithm.BiDirectional; }, 1},
      {"SlotAlgorithm", "Drilled Slot Algorithm", "Bi-directional", 2, [] { return gSlotAlgorithm.BiDirectional; }, 0},
      {"SlotAlgorithm", "Drilled Slot Algorithm", "Short Slot Comp Factor", -12, [] { return gSlotAlgorithm.ShortSlotCompFactor; }, 12},
      {"SlotAlgorithm", "Drilled Slot Algorithm", "Short Slot Comp Factor", 25, [] { return gSlotAlgorithm.ShortSlotCompFactor; }, 8},
      {"SlotAlgorithm", "Drilled Slot Algorithm", "Min pilot hole percent", 9, [] { return gSlotAlgorithm.MinPilotHolePercent; }, 33},
      {"SlotAlgorithm", "Drilled Slot Algorithm", "Min pilot hole percent", -50, [] { return gSlotAlgorithm.MinPilotHolePercent; }, 50},
      {"SlotAlgorithm", "Drilled Slot Algorithm", "Max pilot hole percent", 95, [] { return gSlotAlgorithm.MaxPilotHolePercent; }, 66},
      {"SlotAlgorithm", "Drilled Slot Algorithm", "Max pilot hole percent", 20, [] { return gSlotAlgorithm.MaxPilotHolePercent; }, 33},
      {"SlotAlgorithm", "Drilled Slot Algorithm", "Do Short Slot Comp", 3, [] { return gSlotAlgorithm.DoShortSlotComp; }, 0},
      {"SlotAlgorithm", "Drilled Slot Algorithm", "Do Short Slot Comp", 258, [] { return gSlotAlgorithm.DoShortSlotComp; }, 0},
      {"SlotAlgorithm", "Drilled Slot Algorithm", "Short Slot Max Comp", -100000, [] { return gSlotAlgorithm.ShortSlotMaxComp; }, 100000},
      {"SlotAlgorithm", "Drilled Slot Algorithm", "Short Slot Max Comp", 508001, [] { return gSlotAlgorithm.ShortSlotMaxComp; }, 203200},
      {"SlotAlgorithm", "Drilled Slot Algorithm", "Short Slot Max Comp", INT32_MIN, [] { return gSlotAlgorithm.ShortSlotMaxComp; }, 203200},
      {"Plot", "Plot Defaults", "Scale Chosen", 5, [] { return PlotDefaults.ScaleChosen; }, 2},
      {"Plot", "Plot Defaults", "Orientation", 2, [] { return PlotDefaults.Orientation; }, 0},
      {"Print", "Print Defaults", "Scale Chosen", 6, [] { return gPrintScale; }, 2},
      {"Print", "Print Defaults", "Orientation", 257, [] { return gPrintOrientation; }, 0},
      {"Gerber", "Gerber Import Defaults", "Zero Usage", 3, [] { return GerberImportDefaults.ZeroUsage; }, 1},
      {"Gerber", "Gerber Import Defaults", "Integer Digits", 11, [] { return GerberImportDefaults.IntegerDigits; }, 10},
      {"Gerber", "Gerber Import Defaults", "Decimal Digits", -1, [] { return GerberImportDefaults.DecimalDigits; }, 0},
      {"AutoTab", "Auto Tab Settings", "Number of Holes", 51, [] { return gTabs.NumberOfHoles; }, 50},
      {"AutoTab", "Auto Tab Settings", "Number of Holes", 256, [] { return gTabs.NumberOfHoles; }, 50},
      {"AutoTab", "Auto Tab Settings", "Tool Number", 0, [] { return gTabs.ToolNumber; }, 1},
      {"AutoTab", "Auto Tab Settings", "Tool Number", 1001, [] { return gTabs.ToolNumber; }, 1},
      {"DrillOutputFormat", "Drill Output Format Defaults", "Version", 9, [] { return gDrillOut.Version; }, 1},
      {"DrillOutputFormat", "Drill Output Format Defaults", "Integer Digits", 11, [] { return gDrillOut.IntegerDigits; }, 10},
      {"DrillOutputFormat", "Drill Output Format Defaults", "Decimal Digits", 267, [] { return gDrillOut.DecimalDigits; }, 10},
      {"DrillOutputFormat", "Drill Output Format Defaults", "Zeros Used", 4, [] { return gDrillOut.ZerosUsed; }, 0},
      {"RoutInputFormat", "Rout Input Format Defaults", "Version", 0, [] { return gRoutIn.Version; }, 1},
      {"RoutInputFormat", "Rout Input Format Defaults", "Metric Decimal Digits", 300, [] { return gRoutIn.MetricDecimalDigits; }, 10},
      {"RoutInputFormat", "Rout Input Format Defaults", "Zeros Used", -1, [] { return gRoutIn.ZerosUsed; }, 0},
      {"CadInputFormat", "Cad Excellon Input Format Defaults", "Version", 12, [] { return gCadIn.Version; }, 1},
      {"CadInputFormat", "Cad Excellon Input Format Defaults", "Metric Integer Digits", -5, [] { return gCadIn.MetricIntegerDigits; }, 0},
      {"AutoStepRepeat", "Auto Step & Repeat Settings", "Number in X Direction", 0, [] { return gStepRepeat.NumberInX; }, 1},
      {"AutoStepRepeat", "Auto Step & Repeat Settings", "Number in Y Direction", 1000, [] { return gStepRepeat.NumberInY; }, 99},
      {"AutoRoutCompensation", "Auto Rout Settings", "Compensation", 3, [] { return gCompensation; }, 2},
      {"AutoRoutCompensation", "Auto Rout Settings", "Compensation", -1, [] { return gCompensation; }, 2},
      {"AutoRout", "Auto Rout Settings", "Auto Rout Style", 3, [] { return gAutoRout.AutoRoutStyle; }, 2},
      {"Filters", "Import Filters", "Default Rout Filter", 11, [] { return RoutImportFilter; }, 0},
      {"Filters", "Import Filters", "Default Drill Filter", -1, [] { return DrillImportFilter; }, 0},
      {"Filters", "Export Filters", "Default Rout Filter R2", 11, [] { return RoutLayerExportFilter[42]; }, 0},
      {"Filters", "Export Filters", "Default Drill Filter", 256, [] { return DrillExportFilter; }, 0},
      {"Dnc", "DNC Settings", "Com Port", 0, [] { return ComPort; }, 1},
      {"Dnc", "DNC Settings", "Com Port", 256, [] { return ComPort; }, 1},
  };
  const auto families = AllFamilies();
  for (const TCorrectionCase& c : cases) {
    SCOPED_TRACE(c.Key + " \"" + c.Value + "\" stored as " + std::to_string(c.Stored));
    auto family = std::find_if(families.begin(), families.end(),
                               [&](const TFamilyCase& f) { return f.Name == c.Family; });
    ASSERT_NE(family, families.end());
    TRegistryStore::Instance().Clear();
    ResetStartupSettings();
    ResetFamilySettings();
    ResetOwned();
    PutValue(c.Key, c.Value, RegInt(c.Stored));
    family->Load();
    EXPECT_EQ(c.Field(), c.Expected);
    EXPECT_TRUE(SameValue(*GetStored(c.Key, c.Value), RegInt(c.Stored)));
  }
}

// ---------------------------------------------------------------------------
// Family-specific behaviour

class SettingsFamiliesTest : public TSettingsTest {};

TEST_F(SettingsFamiliesTest, MaxPilotPercentIsCorrectedAgainstTheLoadedMinimum) {
  TSlotAlgorithmSettings s;
  PutValue("Drilled Slot Algorithm", "Min pilot hole percent", RegInt(50));
  PutValue("Drilled Slot Algorithm", "Max pilot hole percent", RegInt(40));
  LoadSlotAlgorithmSettings(s);
  EXPECT_EQ(s.MinPilotHolePercent, 50);
  EXPECT_EQ(s.MaxPilotHolePercent, 50);
}

TEST_F(SettingsFamiliesTest, LastDirectoriesLoadNineSaveNineAndTheExecutionPath) {
  LoadLastDirectories();
  EXPECT_EQ(DumpKey("Last Directories").size(), 9u);

  PutValue("Last Directories", "DNC Upload Directory", RegStr("/mnt/dnc-up/"));
  LoadLastDirectories();
  EXPECT_EQ(DNCUploadDirectory, "/mnt/dnc-up/");
  DNCUploadDirectory = "/elsewhere/";
  DatabasePath = "/jobs/";
  setenv("KORVEX_HOME", "/opt/korvex6/", 1);
  SaveLastDirectories();
  TRegDump d = DumpKey("Last Directories");
  EXPECT_EQ(d.size(), 10u);
  EXPECT_EQ(d["Database Path"].Str, "/jobs/");
  EXPECT_EQ(d["Last Execution Path"].Str, "/opt/korvex6/");
  EXPECT_EQ(d["DNC Upload Directory"].Str, "/elsewhere/");  // the DNC folders are kept at exit too
}

TEST_F(SettingsFamiliesTest, FilterNameMissingIsWrittenWhileItsSwapFileIsRead) {
  PutValue("Import Filters", "03 Swap File", RegStr("/opt/korvex/SWAP/DIALECT.SWP"));
  LoadFilterSettings();
  EXPECT_EQ(ImportFilters[3].SwapFile, "/opt/korvex/SWAP/DIALECT.SWP");
  EXPECT_EQ(ImportFilters[3].Name, "");
  ASSERT_NE(GetStored("Import Filters", "03 Name"), nullptr);
  EXPECT_TRUE(SameValue(*GetStored("Import Filters", "03 Name"), RegStr("")));
}

TEST_F(SettingsFamiliesTest, ExportFilterOfEachRoutLayerHasItsOwnValue) {
  for (int r = 0; r <= 4; ++r) PutValue("Export Filters", "Default Rout Filter R" + std::to_string(r), RegInt(r + 1));
  LoadFilterSettings();
  for (int layer = 40; layer <= 44; ++layer) EXPECT_EQ(RoutLayerExportFilter[layer], layer - 39);
  EXPECT_EQ(RoutLayerExportFilter[39], 0);
}

TEST_F(SettingsFamiliesTest, DncAndTableLoadsStartFromTheirDefaultsWhateverTheVariablesHeld) {
  ComPort = 3;
  BaudRate = 19200;
  AllowUploads = true;
  TableParameters = {1, 2, true, 3};
  LoadDncSettings();
  LoadTableParameters();
  EXPECT_EQ(ComPort, 1);
  EXPECT_EQ(BaudRate, 9600);
  EXPECT_FALSE(AllowUploads);
  EXPECT_EQ(TableParameters, TTableParameters{});
  EXPECT_TRUE(SameValue(*GetStored("DNC Settings", "Baud Rate"), RegInt(9600)));
  EXPECT_TRUE(SameValue(*GetStored("Table Parameters", "Head Radius"), RegInt(25400000)));
}

TEST_F(SettingsFamiliesTest, FormatRecordsTakeTheirUnitsFactorFromMetric) {
  PutValue("Drill Input Format Defaults", "Metric", RegBool(true));
  PutValue("Rout Output Format Defaults", "Metric", RegBool(true));
  TDrillFormatRecord drill = DefaultDrillFormat(false);
  TRoutFormatRecord rout = DefaultRoutFormat(true);
  TCadFormatRecord cad = DefaultCadInputFormat();
  cad.UnitsFactor = 0;
  LoadDrillFormatDefaults(drill, false);
  LoadRoutFormatDefaults(rout, RoutFormatOutput);
  LoadCadFormatDefaults(cad, false);
  EXPECT_EQ(drill.UnitsFactor, 1000000u);
  EXPECT_EQ(rout.UnitsFactor, 1000000u);
  EXPECT_EQ(cad.UnitsFactor, 25400000u);
}

TEST_F(SettingsFamiliesTest, UnknownRoutFormatSelectorTouchesNothing) {
  TRoutFormatRecord r = DefaultRoutFormat(true);
  r.Version = 5;
  LoadRoutFormatDefaults(r, 3);
  SaveRoutFormatDefaults(r, -1);
  EXPECT_EQ(r.Version, 5);
  EXPECT_EQ(TRegistryStore::Instance().FindKey(RegistryBaseKey), nullptr);
}

TEST_F(SettingsFamiliesTest, RealThatIsNotANumberIsReplacedByTheField) {
  TDrilledSlotSettings s;
  PutValue("Drilled Slots", "Angle", RegReal(std::nan("")));
  PutValue("Plot Defaults", "X Custom Size", RegReal(INFINITY));
  LoadDrilledSlotSettings(s);
  LoadPlotDefaults();
  EXPECT_EQ(s.Angle, 45.0);
  EXPECT_EQ(PlotDefaults.XCustomSize, 8.5);
  EXPECT_TRUE(SameValue(*GetStored("Drilled Slots", "Angle"), RegReal(45.0)));
}

TEST_F(SettingsFamiliesTest, StringsAreCutAt255Characters) {
  TMakeTapeDefaults m = DefaultMakeTapeDefaults();
  PutValue("Make Tape Defaults", "Gerber Path", RegStr(std::string(300, 'g')));
  LoadMakeTapeDefaults(m);
  EXPECT_EQ(m.GerberPath, std::string(255, 'g'));

  DefaultToolFile = std::string(400, 't');
  SaveDefaultRoutToolPage();
  EXPECT_EQ(GetStored("Default Rout Tool Page", "Default Tool File")->Str.size(), 255u);
}

}  // namespace
