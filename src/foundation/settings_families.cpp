#include "foundation/settings_families.h"

#include "platform/paths.h"

#include <cstdlib>

TDrillFormatRecord DrillOutputFormat = DefaultDrillFormat(true);
TDrillFormatRecord DrillInputFormat = DefaultDrillFormat(false);
TRoutFormatRecord RoutOutputFormat = DefaultRoutFormat(true);
TRoutFormatRecord RoutInputFormat = DefaultRoutFormat(false);
TCadFormatRecord CadInputFormat = DefaultCadInputFormat();
TPlotDefaults PlotDefaults;
TGerberFormatRecord GerberImportDefaults;
std::string DefaultToolFile;

std::string DrillImportPath;
std::string DrillMakeTapePath;
std::string RoutImportPath;
std::string RoutMakeTapePath;
std::string CadImportPath;
std::string CadExportPath;
std::string DatabasePath;
std::string DNCUploadDirectory;
std::string DNCDownloadDirectory;

std::array<TFilterRecord, FilterCount + 1> ImportFilters;
std::array<TFilterRecord, FilterCount + 1> ExportFilters;
uint8_t RoutImportFilter = 0;
uint8_t DrillImportFilter = 0;
std::array<uint8_t, LayerCount> RoutLayerExportFilter{};
uint8_t DrillExportFilter = 0;

uint8_t ComPort = 1;
int32_t BaudRate = 9600;
bool AllowUploads = false;

TTableParameters TableParameters;

TMakeTapeDefaults DefaultMakeTapeDefaults() {
  TMakeTapeDefaults r;
  r.GerberPath = ExecutionPath();
  return r;
}

TDrillFormatRecord DefaultDrillFormat(bool output) {
  TDrillFormatRecord r;
  r.ShowMessages = !output;
  return r;
}

TRoutFormatRecord DefaultRoutFormat(bool output) {
  TRoutFormatRecord r;
  if (!output) {
    r.IJSigned = false;
    r.OutputUnparsed = false;
    r.OutputM48Header = false;
    r.OutputG93 = false;
    r.OutputFeedRate = false;
  }
  return r;
}

TCadFormatRecord DefaultCadInputFormat() { return TCadFormatRecord{}; }

void SetLastDirectoryDefaults() {
  const std::string home = ExecutionPath();
  // Each path is built in its own room: a reset of the settings repeated
  // (a new job, a test) makes no new strings.
  const auto set = [&home](std::string& path, const char* folder) {
    path.assign(home).append(folder).append(PathDelim);
  };
  set(DrillImportPath, "INDATA");
  set(DrillMakeTapePath, "DRILL");
  set(RoutImportPath, "INDATA");
  set(RoutMakeTapePath, "ROUT");
  set(CadImportPath, "INDATA");
  set(CadExportPath, "CAD");
  set(DatabasePath, "DATABASE");
  set(DNCUploadDirectory, "DNC");
  set(DNCDownloadDirectory, "DNC");
}

namespace {

// Valid ranges of the values used as indexes and codes.
constexpr int32_t MaxDigits = 10;  // digit counts index a table of powers 10^0..10^10
constexpr int32_t MaxToolNumber = 1000;

TIntCorrection AxisVersion() { return InRangeOr(1, 8, 1); }
TIntCorrection DigitCount() { return ClampedTo(0, MaxDigits); }
TIntCorrection ZeroMode() { return InRangeOr(0, 3, 0); }
TIntCorrection FilterIndex() { return InRangeOr(0, FilterCount, 0); }

// |v| computed without overflow for the most negative value.
int64_t Magnitude(int32_t v) { return std::llabs(static_cast<int64_t>(v)); }

// ---------------------------------------------------------------------------
// Value lists, in load order.

TSettingFamily MakeTapeFamily(TMakeTapeDefaults& r) {
  return {
      BoolSetting("Output M48 Header", r.OutputM48Header),
      BoolSetting("Mark first tooling hits", r.MarkFirstToolingHits),
      BoolSetting("Mark last tooling hits", r.MarkLastToolingHits),
      BoolSetting("Output G93", r.OutputG93),
      BoolSetting("Output Tool Diameters", r.OutputToolDiameters),
      BoolSetting("Output First-Last Hit", r.OutputFirstLastHit),
      BoolSetting("Hard Link Tools", r.HardLinkTools),
      BoolSetting("Expand Slots", r.ExpandSlots),
      BoolSetting("Expand Circles", r.ExpandCircles),
      BoolSetting("Expand Drilled Text", r.ExpandDrilledText),
      BoolSetting("Do Tooling Pin Avoidance", r.DoToolingPinAvoidance),
      BoolSetting("Expand Steps", r.ExpandSteps),
      BoolSetting("Output Gerber File", r.OutputGerberFile),
      BoolSetting("Write ToolTable file", r.WriteToolTableFile),
      IntSetting("Thickness", r.Thickness),
      ByteSetting("Optimizer", r.Optimizer, InRangeOr(0, 5, 1)),
      StringSetting("Gerber Path", r.GerberPath),
  };
}

TSettingFamily FirstLastHitFamily(TFirstLastHitDefaults& r) {
  return {
      BoolSetting("First Hit", r.FirstHit),
      BoolSetting("Last Hit", r.LastHit),
      BoolSetting("One Row", r.OneRow),
      BoolSetting("Vertical", r.Vertical),
      IntSetting("Vertical Spacing", r.VerticalSpacing),
      IntSetting("Horizontal Spacing", r.HorizontalSpacing),
  };
}

TSettingFamily SlotAlgorithmFamily(TSlotAlgorithmSettings& r) {
  return {
      IntSetting("Cusp Default", r.CuspDefault),
      ByteSetting("Bi-directional", r.BiDirectional,
                  [](int32_t v) { return Magnitude(v) > 1 ? 0 : static_cast<int32_t>(Magnitude(v)); }),
      BoolSetting("Multi Tool Piloting", r.MultiToolPiloting),
      ByteSetting("Short Slot Comp Factor", r.ShortSlotCompFactor,
                  [](int32_t v) { return Magnitude(v) > 20 ? 8 : static_cast<int32_t>(Magnitude(v)); }),
      ByteSetting("Min pilot hole percent", r.MinPilotHolePercent,
                  [](int32_t v) {
                    int64_t m = Magnitude(v);
                    return m < 10 || m > 90 ? 33 : static_cast<int32_t>(m);
                  }),
      // Runs after the minimum has been loaded into the record.
      ByteSetting("Max pilot hole percent", r.MaxPilotHolePercent,
                  [&r](int32_t v) {
                    int64_t m = Magnitude(v);
                    if (m < r.MinPilotHolePercent) m = r.MinPilotHolePercent;
                    return m > 90 ? 66 : static_cast<int32_t>(m);
                  }),
      ByteSetting("Do Short Slot Comp", r.DoShortSlotComp, InRangeOr(0, 2, 0)),
      IntSetting("Short Slot Max Comp", r.ShortSlotMaxComp,
                 [](int32_t v) {
                   int64_t m = Magnitude(v);
                   return m > 508000 ? 203200 : static_cast<int32_t>(m);
                 }),
  };
}

TSettingFamily DrilledSlotFamily(TDrilledSlotSettings& r) {
  return {IntSetting("Length", r.Length), RealSetting("Angle", r.Angle)};
}

TSettingFamily PlotFamily(TPlotDefaults& r) {
  return {
      IntSetting("Size Index", r.SizeIndex),
      ByteSetting("Scale Chosen", r.ScaleChosen, InRangeOr(0, 4, 2)),
      ByteSetting("Orientation", r.Orientation, InRangeOr(0, 1, 0)),
      RealSetting("X Custom Size", r.XCustomSize),
      RealSetting("Y Custom Size", r.YCustomSize),
  };
}

TSettingFamily GerberFamily(TGerberFormatRecord& r) {
  return {
      ByteSetting("Zero Usage", r.ZeroUsage, InRangeOr(0, 2, 1)),
      IntSetting("Integer Digits", r.IntegerDigits, DigitCount()),
      IntSetting("Decimal Digits", r.DecimalDigits, DigitCount()),
      BoolSetting("Incremental Mode", r.IncrementalMode),
      BoolSetting("Metric", r.Metric),
  };
}

TSettingFamily AutoTabFamily(TAutoTabSettings& r) {
  return {
      IntSetting("Width", r.Width),
      IntSetting("CutIn Offset", r.CutInOffset),
      IntSetting("CutIn Width", r.CutInWidth),
      IntSetting("Hole Offset", r.HoleOffset),
      BoolSetting("Drilled Holes Enabled", r.DrilledHolesEnabled),
      BoolSetting("Tab Type", r.TabType),
      ByteSetting("Number of Holes", r.NumberOfHoles, ClampedTo(0, 50)),
      BoolSetting("Cutter Radius Offset", r.CutterRadiusOffset),
      IntSetting("Tool Number", r.ToolNumber, InRangeOr(1, MaxToolNumber, 1)),
      IntSetting("Hole Spacing", r.HoleSpacing),
  };
}

TSettingFamily DrillFormatFamily(TDrillFormatRecord& r) {
  return {
      ByteSetting("Version", r.Version, AxisVersion()),
      ByteSetting("Integer Digits", r.IntegerDigits, DigitCount()),
      ByteSetting("Decimal Digits", r.DecimalDigits, DigitCount()),
      ByteSetting("Metric Integer Digits", r.MetricIntegerDigits, DigitCount()),
      ByteSetting("Metric Decimal Digits", r.MetricDecimalDigits, DigitCount()),
      ByteSetting("Zeros Used", r.ZerosUsed, ZeroMode()),
      BoolSetting("Absolute", r.Absolute),
      BoolSetting("Metric", r.Metric),
      BoolSetting("Block Delete", r.BlockDelete),
      BoolSetting("Resolve G93", r.ResolveG93),
      BoolSetting("Show Messages", r.ShowMessages),
  };
}

// The values the rout and CAD records share, in the rout record's load order
// up to "Metric".
template <typename TRecord>
TSettingFamily NCFormatHead(TRecord& r) {
  return {
      ByteSetting("Version", r.Version, AxisVersion()),
      ByteSetting("Integer Digits", r.IntegerDigits, DigitCount()),
      ByteSetting("Decimal Digits", r.DecimalDigits, DigitCount()),
      ByteSetting("Metric Integer Digits", r.MetricIntegerDigits, DigitCount()),
      ByteSetting("Metric Decimal Digits", r.MetricDecimalDigits, DigitCount()),
      ByteSetting("Zeros Used", r.ZerosUsed, ZeroMode()),
      BoolSetting("Absolute", r.Absolute),
      BoolSetting("IJMode", r.IJMode),
      BoolSetting("Block Delete", r.BlockDelete),
      BoolSetting("IJSigned", r.IJSigned),
      BoolSetting("IJIncremental", r.IJIncremental),
      BoolSetting("IJ From Start Point", r.IJFromStartPoint),
      BoolSetting("Counter-ClockWise", r.CounterClockwise),
      BoolSetting("Metric", r.Metric),
  };
}

TSettingFamily RoutFormatFamily(TRoutFormatRecord& r) {
  TSettingFamily values = NCFormatHead(r);
  values.push_back(BoolSetting("Output Unparsed", r.OutputUnparsed));
  values.push_back(BoolSetting("Output M48 Header", r.OutputM48Header));
  values.push_back(BoolSetting("Resolve G93", r.ResolveG93));
  values.push_back(BoolSetting("Output G93", r.OutputG93));
  values.push_back(BoolSetting("Output Feed Rate", r.OutputFeedRate));
  values.push_back(BoolSetting("Output Z Offset", r.OutputZOffset));
  return values;
}

TSettingFamily CadFormatFamily(TCadFormatRecord& r) {
  TSettingFamily values = NCFormatHead(r);
  values.push_back(BoolSetting("Use Cutter Compensation", r.UseCutterCompensation));
  return values;
}

TSettingFamily AutoStepRepeatFamily(TAutoStepRepeatSettings& r) {
  return {
      IntSetting("Number in X Direction", r.NumberInX, ClampedTo(1, 99)),
      IntSetting("Number in Y Direction", r.NumberInY, ClampedTo(1, 99)),
      IntSetting("Distance in X Direction", r.DistanceInX),
      IntSetting("Distance in Y Direction", r.DistanceInY),
      BoolSetting("Nested", r.Nested),
      BoolSetting("Step Horizontal Direction First", r.StepHorizontalFirst),
      BoolSetting("Serpentine", r.Serpentine),
  };
}

TSettingFamily AutoRoutFamily(TAutoRoutSettings& r) {
  return {
      IntSetting("Plunge Offset", r.PlungeOffset),
      IntSetting("Edge Offset", r.EdgeOffset),
      IntSetting("Overcut", r.Overcut),
      ByteSetting("Auto Rout Style", r.AutoRoutStyle, InRangeOr(0, 2, 2)),
      BoolSetting("Low Feed Cut In", r.LowFeedCutIn),
      BoolSetting("Low Feed Cut Out", r.LowFeedCutOut),
  };
}

TSettingFamily FullPanelInlineRoutFamily(TFullPanelInlineRout& r) {
  return {BoolSetting("Use Cutter Size", r.UseCutterSize), IntSetting("Overcut", r.Overcut)};
}

TSettingFamily LastDirectoriesLoadFamily() {
  return {
      StringSetting("Drill Import Path", DrillImportPath),
      StringSetting("Drill Make Tape Path", DrillMakeTapePath),
      StringSetting("Rout Import Path", RoutImportPath),
      StringSetting("Rout Make Tape Path", RoutMakeTapePath),
      StringSetting("Cad Import Path", CadImportPath),
      StringSetting("Cad Export Path", CadExportPath),
      StringSetting("Database Path", DatabasePath),
      StringSetting("DNC Upload Directory", DNCUploadDirectory),
      StringSetting("DNC Download Directory", DNCDownloadDirectory),
  };
}

TSettingFamily LastDirectoriesSaveFamily(std::string& executionPath) {
  // Every folder read at start-up is kept at exit, the DNC server's two
  // included, so a folder chosen in its set-up dialog comes back.
  TSettingFamily values = LastDirectoriesLoadFamily();
  values.push_back(StringSetting("Last Execution Path", executionPath));
  return values;
}

// Two decimal digits, a leading "0" below 10.
std::string TwoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

void AddFilterEntries(TSettingFamily& values, std::array<TFilterRecord, FilterCount + 1>& filters) {
  for (int n = 1; n <= FilterCount; ++n) {
    values.push_back(StringSetting(TwoDigits(n) + " Name", filters[n].Name));
    values.push_back(StringSetting(TwoDigits(n) + " Swap File", filters[n].SwapFile));
  }
}

TSettingFamily ImportFilterFamily() {
  TSettingFamily values;
  AddFilterEntries(values, ImportFilters);
  values.push_back(ByteSetting("Default Rout Filter", RoutImportFilter, FilterIndex()));
  values.push_back(ByteSetting("Default Drill Filter", DrillImportFilter, FilterIndex()));
  return values;
}

TSettingFamily ExportFilterFamily() {
  TSettingFamily values;
  AddFilterEntries(values, ExportFilters);
  for (int layer = 40; layer <= 44; ++layer)
    values.push_back(ByteSetting("Default Rout Filter R" + std::to_string(layer - 40),
                                 RoutLayerExportFilter[layer], FilterIndex()));
  values.push_back(ByteSetting("Default Drill Filter", DrillExportFilter, FilterIndex()));
  return values;
}

TSettingFamily DncFamily() {
  return {
      ByteSetting("Com Port", ComPort, InRangeOr(1, 255, 1)),
      IntSetting("Baud Rate", BaudRate),
      BoolSetting("Allow Uploads", AllowUploads),
  };
}

TSettingFamily TableParameterFamily() {
  return {
      IntSetting("X Table Speed", TableParameters.XTableSpeed),
      IntSetting("Y Table Speed", TableParameters.YTableSpeed),
      BoolSetting("Linear Interpolation", TableParameters.LinearInterpolation),
      IntSetting("Head Radius", TableParameters.HeadRadius),
  };
}

const char* DrillFormatKey(bool output) {
  return output ? "Drill Output Format Defaults" : "Drill Input Format Defaults";
}

const char* RoutFormatKey(int selector) {
  switch (selector) {
    case RoutFormatOutput: return "Rout Output Format Defaults";
    case RoutFormatInput: return "Rout Input Format Defaults";
    case RoutFormatTextEdit: return "Rout Text Edit Format Defaults";
    default: return nullptr;
  }
}

const char* CadFormatKey(bool output) {
  return output ? "Cad Output Format Defaults" : "Cad Excellon Input Format Defaults";
}

// Saves take const records; the value lists bind to fields for reading and
// writing alike, so a save works on a copy.
template <typename TRecord, typename TBuild>
void SaveRecord(const char* key, const TRecord& record, TBuild build) {
  TRecord copy = record;
  SaveSettingsFamily(key, build(copy));
}

}  // namespace

// ---------------------------------------------------------------------------

void LoadMakeTapeDefaults(TMakeTapeDefaults& record) {
  LoadSettingsFamily("Make Tape Defaults", MakeTapeFamily(record));
}
void SaveMakeTapeDefaults(const TMakeTapeDefaults& record) {
  SaveRecord("Make Tape Defaults", record, MakeTapeFamily);
}

void LoadFirstLastHitDefaults(TFirstLastHitDefaults& record) {
  LoadSettingsFamily("First Last Hit Coupon Defaults", FirstLastHitFamily(record));
}
void SaveFirstLastHitDefaults(const TFirstLastHitDefaults& record) {
  SaveRecord("First Last Hit Coupon Defaults", record, FirstLastHitFamily);
}

void LoadSlotAlgorithmSettings(TSlotAlgorithmSettings& record) {
  LoadSettingsFamily("Drilled Slot Algorithm", SlotAlgorithmFamily(record));
}
void SaveSlotAlgorithmSettings(const TSlotAlgorithmSettings& record) {
  SaveRecord("Drilled Slot Algorithm", record, SlotAlgorithmFamily);
}

void LoadDrilledSlotSettings(TDrilledSlotSettings& record) {
  LoadSettingsFamily("Drilled Slots", DrilledSlotFamily(record));
}
void SaveDrilledSlotSettings(const TDrilledSlotSettings& record) {
  SaveRecord("Drilled Slots", record, DrilledSlotFamily);
}

void LoadDrilledCircleSettings(int32_t& radius) {
  LoadSettingsFamily("Drilled Circles", {IntSetting("Radius", radius)});
}
void SaveDrilledCircleSettings(int32_t radius) {
  SaveSettingsFamily("Drilled Circles", {IntSetting("Radius", radius)});
}

void LoadPlotDefaults(TPlotDefaults& record) { LoadSettingsFamily("Plot Defaults", PlotFamily(record)); }
void SavePlotDefaults(const TPlotDefaults& record) { SaveRecord("Plot Defaults", record, PlotFamily); }

namespace {
TSettingFamily PrintFamily(uint8_t& scaleChosen, uint8_t& orientation) {
  return {
      ByteSetting("Scale Chosen", scaleChosen, InRangeOr(0, 5, 2)),  // five scales and Auto Scale
      ByteSetting("Orientation", orientation, InRangeOr(0, 1, 0)),
  };
}

TSettingFamily AutoCleanupFamily(bool& eraseDuplicates, bool& eraseOverlaps, bool& integrateArcs,
                                 bool& integrateCircles, int32_t& overlapTolerance,
                                 int32_t& arcTolerance, int32_t& circleTolerance) {
  return {
      BoolSetting("Erase Duplicates", eraseDuplicates),
      BoolSetting("Erase Overlaps", eraseOverlaps),
      BoolSetting("Integrate Arcs", integrateArcs),
      BoolSetting("Integrate Circles", integrateCircles),
      IntSetting("Overlap Tolerance", overlapTolerance),
      IntSetting("Arc Tolerance", arcTolerance),
      IntSetting("Circle Tolerance", circleTolerance),
  };
}
}  // namespace

void LoadPrintDefaults(uint8_t& scaleChosen, uint8_t& orientation) {
  LoadSettingsFamily("Print Defaults", PrintFamily(scaleChosen, orientation));
}
void SavePrintDefaults(uint8_t scaleChosen, uint8_t orientation) {
  SaveSettingsFamily("Print Defaults", PrintFamily(scaleChosen, orientation));
}

void LoadAutoCleanupDefaults(bool& eraseDuplicates, bool& eraseOverlaps, bool& integrateArcs,
                             bool& integrateCircles, int32_t& overlapTolerance,
                             int32_t& arcTolerance, int32_t& circleTolerance) {
  LoadSettingsFamily("AutoCleanup Defaults",
                     AutoCleanupFamily(eraseDuplicates, eraseOverlaps, integrateArcs, integrateCircles,
                                       overlapTolerance, arcTolerance, circleTolerance));
}
void SaveAutoCleanupDefaults(bool eraseDuplicates, bool eraseOverlaps, bool integrateArcs,
                             bool integrateCircles, int32_t overlapTolerance,
                             int32_t arcTolerance, int32_t circleTolerance) {
  SaveSettingsFamily("AutoCleanup Defaults",
                     AutoCleanupFamily(eraseDuplicates, eraseOverlaps, integrateArcs, integrateCircles,
                                       overlapTolerance, arcTolerance, circleTolerance));
}

void LoadGerberImportDefaults(TGerberFormatRecord& record) {
  LoadSettingsFamily("Gerber Import Defaults", GerberFamily(record));
}
void SaveGerberImportDefaults(const TGerberFormatRecord& record) {
  SaveRecord("Gerber Import Defaults", record, GerberFamily);
}

void LoadDefaultRoutToolPage() {
  LoadSettingsFamily("Default Rout Tool Page", {StringSetting("Default Tool File", DefaultToolFile)});
}
void SaveDefaultRoutToolPage() {
  SaveSettingsFamily("Default Rout Tool Page", {StringSetting("Default Tool File", DefaultToolFile)});
}

void LoadAutoTabSettings(TAutoTabSettings& record) {
  LoadSettingsFamily("Auto Tab Settings", AutoTabFamily(record));
}
void SaveAutoTabSettings(const TAutoTabSettings& record) {
  SaveRecord("Auto Tab Settings", record, AutoTabFamily);
}

void LoadDrillFormatDefaults(TDrillFormatRecord& record, bool output) {
  if (LoadSettingsFamily(DrillFormatKey(output), DrillFormatFamily(record)))
    record.UnitsFactor = UnitsFactorOf(record.Metric);
}
void SaveDrillFormatDefaults(const TDrillFormatRecord& record, bool output) {
  SaveRecord(DrillFormatKey(output), record, DrillFormatFamily);
}

void LoadRoutFormatDefaults(TRoutFormatRecord& record, int selector) {
  const char* key = RoutFormatKey(selector);
  if (key && LoadSettingsFamily(key, RoutFormatFamily(record)))
    record.UnitsFactor = UnitsFactorOf(record.Metric);
}
void SaveRoutFormatDefaults(const TRoutFormatRecord& record, int selector) {
  if (const char* key = RoutFormatKey(selector)) SaveRecord(key, record, RoutFormatFamily);
}

void LoadCadFormatDefaults(TCadFormatRecord& record, bool output) {
  if (LoadSettingsFamily(CadFormatKey(output), CadFormatFamily(record)))
    record.UnitsFactor = UnitsFactorOf(record.Metric);
}
void SaveCadFormatDefaults(const TCadFormatRecord& record, bool output) {
  SaveRecord(CadFormatKey(output), record, CadFormatFamily);
}

void LoadAutoStepRepeatSettings(TAutoStepRepeatSettings& record) {
  LoadSettingsFamily("Auto Step & Repeat Settings", AutoStepRepeatFamily(record));
}
void SaveAutoStepRepeatSettings(const TAutoStepRepeatSettings& record) {
  SaveRecord("Auto Step & Repeat Settings", record, AutoStepRepeatFamily);
}

void LoadAutoRoutCompensation(uint8_t& compensation) {
  LoadSettingsFamily("Auto Rout Settings",
                     {ByteSetting("Compensation", compensation, InRangeOr(0, 2, DefaultCompensation))});
}
void SaveAutoRoutCompensation(uint8_t compensation) {
  SaveSettingsFamily("Auto Rout Settings", {ByteSetting("Compensation", compensation)});
}

void LoadAutoRoutSettings(TAutoRoutSettings& record) {
  LoadSettingsFamily("Auto Rout Settings", AutoRoutFamily(record));
}
void SaveAutoRoutSettings(const TAutoRoutSettings& record) {
  SaveRecord("Auto Rout Settings", record, AutoRoutFamily);
}

void LoadLastDirectories() { LoadSettingsFamily("Last Directories", LastDirectoriesLoadFamily()); }
void SaveLastDirectories() {
  std::string executionPath = ExecutionPath();
  SaveSettingsFamily("Last Directories", LastDirectoriesSaveFamily(executionPath));
}

void LoadFilterSettings() {
  TRegistry reg;
  LoadSettingsFamily(reg, "Import Filters", ImportFilterFamily());
  LoadSettingsFamily(reg, "Export Filters", ExportFilterFamily());
}
void SaveFilterSettings() {
  TRegistry reg;
  SaveSettingsFamily(reg, "Import Filters", ImportFilterFamily());
  SaveSettingsFamily(reg, "Export Filters", ExportFilterFamily());
}

void LoadFullPanelAutoRout(bool& pocketDusting) {
  LoadSettingsFamily("Full Panel Autorout", {BoolSetting("Pocket Dusting", pocketDusting)});
}
void SaveFullPanelAutoRout(bool pocketDusting) {
  SaveSettingsFamily("Full Panel Autorout", {BoolSetting("Pocket Dusting", pocketDusting)});
}

void LoadFullPanelInlineRout(TFullPanelInlineRout& record) {
  LoadSettingsFamily("Full Panel Inline Rout", FullPanelInlineRoutFamily(record));
}
void SaveFullPanelInlineRout(const TFullPanelInlineRout& record) {
  SaveRecord("Full Panel Inline Rout", record, FullPanelInlineRoutFamily);
}

void LoadDncSettings() {
  LoadSettingsFamily("DNC Settings", DncFamily(), [] {
    ComPort = 1;
    BaudRate = 9600;
    AllowUploads = false;
  });
}
void SaveDncSettings() { SaveSettingsFamily("DNC Settings", DncFamily()); }

void LoadTableParameters() {
  LoadSettingsFamily("Table Parameters", TableParameterFamily(),
                     [] { TableParameters = TTableParameters{}; });
}
void SaveTableParameters() { SaveSettingsFamily("Table Parameters", TableParameterFamily()); }

void ResetFamilySettings() {
  DrillOutputFormat = DefaultDrillFormat(true);
  DrillInputFormat = DefaultDrillFormat(false);
  RoutOutputFormat = DefaultRoutFormat(true);
  RoutInputFormat = DefaultRoutFormat(false);
  CadInputFormat = DefaultCadInputFormat();
  PlotDefaults = TPlotDefaults{};
  GerberImportDefaults = TGerberFormatRecord{};
  DefaultToolFile.clear();
  SetLastDirectoryDefaults();
  ImportFilters = {};
  ExportFilters = {};
  RoutImportFilter = 0;
  DrillImportFilter = 0;
  RoutLayerExportFilter = {};
  DrillExportFilter = 0;
  ComPort = 1;
  BaudRate = 9600;
  AllowUploads = false;
  TableParameters = TTableParameters{};
}
