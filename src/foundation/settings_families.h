// The settings families beyond the three start-up families: tape-making
// defaults, drill-tool algorithms, NC format records, plot and print defaults,
// clean-up, Gerber import, tabs, step-and-repeat, rout generation, last
// directories, swap-filter lists, the DNC link and the table parameters.
//
// Each family has a load and a save operation working as LoadSettingsFamily
// and SaveSettingsFamily (foundation/settings.h). The default member values
// of the records are the built-in defaults; the owner of a record sets the
// defaults before it calls the load, so a missing value is written back from
// them. Lengths are database units (25,400,000 per inch).
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "foundation/settings.h"

// ---------------------------------------------------------------------------
// Records

// "Make Tape Defaults"
struct TMakeTapeDefaults {
  bool OutputM48Header = true;
  bool OutputG93 = true;
  bool OutputToolDiameters = true;
  bool OutputFirstLastHit = false;
  bool HardLinkTools = false;
  bool ExpandSlots = false;
  bool ExpandCircles = false;
  bool ExpandDrilledText = false;
  bool DoToolingPinAvoidance = false;
  bool ExpandSteps = false;
  bool WriteToolTableFile = true;
  std::string GerberPath;  // default: ExecutionPath (DefaultMakeTapeDefaults)
  bool OutputGerberFile = false;
  int32_t Thickness = 1574800;
  uint8_t Optimizer = 1;  // drill-path optimiser 0..5
  bool MarkFirstToolingHits = true;
  bool MarkLastToolingHits = true;
  bool operator==(const TMakeTapeDefaults&) const = default;
};

// "First Last Hit Coupon Defaults"
struct TFirstLastHitDefaults {
  bool FirstHit = false;
  bool LastHit = false;
  bool OneRow = false;
  bool Vertical = true;
  int32_t VerticalSpacing = 5080000;
  int32_t HorizontalSpacing = 12700000;
  bool operator==(const TFirstLastHitDefaults&) const = default;
};

// "Drilled Slot Algorithm"
struct TSlotAlgorithmSettings {
  int32_t CuspDefault = 12700;
  uint8_t BiDirectional = 0;        // 0 bi-directional, 1 uni-directional
  uint8_t DoShortSlotComp = 0;      // 0 normal, 1 compensated, 2 multi tool piloting
  bool MultiToolPiloting = false;
  uint8_t ShortSlotCompFactor = 8;  // percent, 0..20
  int32_t ShortSlotMaxComp = 203200;
  uint8_t MinPilotHolePercent = 33;
  uint8_t MaxPilotHolePercent = 67;
  bool operator==(const TSlotAlgorithmSettings&) const = default;
};

// "Drilled Slots"
struct TDrilledSlotSettings {
  double Angle = 45.0;  // degrees
  int32_t Length = 12700000;
  bool operator==(const TDrilledSlotSettings&) const = default;
};

inline constexpr int32_t DefaultDrilledCircleRadius = 12700000;  // "Drilled Circles"

// "Plot Defaults"
struct TPlotDefaults {
  int32_t SizeIndex = 1;    // 1-based paper
  uint8_t ScaleChosen = 2;  // 0..4: 1/4, 1/2, 1, 2, 4 : 1
  uint8_t Orientation = 0;  // 0 normal, 1 rotated
  double XCustomSize = 8.5;  // inches
  double YCustomSize = 11.0;
  bool operator==(const TPlotDefaults&) const = default;
};

// "Gerber Import Defaults"
struct TGerberFormatRecord {
  uint8_t ZeroUsage = 1;  // 0 leading zeros used, 1 trailing zeros used, 2 both
  int32_t IntegerDigits = 2;
  int32_t DecimalDigits = 4;
  bool IncrementalMode = false;
  bool Metric = false;
  bool operator==(const TGerberFormatRecord&) const = default;
};

// "Auto Tab Settings"
struct TAutoTabSettings {
  int32_t Width = 5080000;
  int32_t CutInOffset = 762000;
  int32_t CutInWidth = 3810000;
  int32_t HoleOffset = 508000;
  bool DrilledHolesEnabled = true;
  bool TabType = true;  // True simple tab, False complex tab
  uint8_t NumberOfHoles = 3;
  bool CutterRadiusOffset = true;
  int32_t ToolNumber = 1;  // rout tool 1..1000 of the break-off holes
  int32_t HoleSpacing = 1016000;
  bool operator==(const TAutoTabSettings&) const = default;
};

// Database units per tape unit of a format record.
inline constexpr uint32_t UnitsFactorOf(bool metric) { return metric ? 1000000u : 25400000u; }

// "Drill Output Format Defaults" and "Drill Input Format Defaults"
struct TDrillFormatRecord {
  uint8_t Version = 1;  // axis version 1..8
  bool Metric = false;
  uint32_t UnitsFactor = 25400000;  // not stored; follows Metric on load
  uint8_t IntegerDigits = 2;
  uint8_t DecimalDigits = 4;
  uint8_t MetricIntegerDigits = 3;
  uint8_t MetricDecimalDigits = 3;
  uint8_t ZerosUsed = 0;  // 0 leading kept, 1 trailing kept, 2 both, 3 explicit decimal
  bool Absolute = true;
  bool BlockDelete = true;
  bool ShowMessages = false;
  bool ResolveG93 = false;
  uint8_t Spare = 0;  // not stored
  bool operator==(const TDrillFormatRecord&) const = default;
};

// "Rout Output Format Defaults", "Rout Input Format Defaults",
// "Rout Text Edit Format Defaults"
struct TRoutFormatRecord {
  uint8_t Version = 1;
  bool Metric = false;
  uint32_t UnitsFactor = 25400000;  // not stored; follows Metric on load
  uint8_t IntegerDigits = 2;
  uint8_t DecimalDigits = 4;
  uint8_t MetricIntegerDigits = 3;
  uint8_t MetricDecimalDigits = 3;
  uint8_t ZerosUsed = 0;
  bool Absolute = true;
  bool CounterClockwise = false;
  bool IJMode = false;
  bool IJIncremental = true;
  bool IJFromStartPoint = true;
  bool IJSigned = true;
  bool BlockDelete = true;
  bool OutputUnparsed = true;
  bool OutputM48Header = true;
  bool OutputG93 = true;
  bool ResolveG93 = false;
  bool OutputFeedRate = true;
  bool OutputZOffset = false;
  bool operator==(const TRoutFormatRecord&) const = default;
};

// "Cad Output Format Defaults" and "Cad Excellon Input Format Defaults": the
// rout record's fields from Version through BlockDelete, then cutter
// compensation.
struct TCadFormatRecord {
  uint8_t Version = 1;
  bool Metric = false;
  uint32_t UnitsFactor = 25400000;  // not stored; follows Metric on load
  uint8_t IntegerDigits = 2;
  uint8_t DecimalDigits = 4;
  uint8_t MetricIntegerDigits = 3;
  uint8_t MetricDecimalDigits = 3;
  uint8_t ZerosUsed = 0;
  bool Absolute = true;
  bool CounterClockwise = false;
  bool IJMode = false;
  bool IJIncremental = true;
  bool IJFromStartPoint = true;
  bool IJSigned = true;
  bool BlockDelete = true;
  bool UseCutterCompensation = false;
  uint8_t Spare = 0;  // not stored
  bool operator==(const TCadFormatRecord&) const = default;
};

// "Auto Step & Repeat Settings"
struct TAutoStepRepeatSettings {
  int32_t NumberInX = 2;  // copies across, 1..99
  int32_t DistanceInX = 50800000;
  int32_t NumberInY = 2;
  int32_t DistanceInY = 50800000;
  bool Nested = true;
  bool StepHorizontalFirst = false;
  bool Serpentine = true;
  bool operator==(const TAutoStepRepeatSettings&) const = default;
};

// "Auto Rout Settings" (beside the rout database's "Compensation" byte)
struct TAutoRoutSettings {
  uint8_t AutoRoutStyle = 2;  // 0 corner, 1 pinless, 2 inline
  uint8_t Inside = 0;         // not stored; set by each automatic rout
  int32_t PlungeOffset = 6350000;
  int32_t EdgeOffset = 2540000;
  int32_t Overcut = 3810000;
  bool LowFeedCutIn = false;
  bool LowFeedCutOut = true;
  bool operator==(const TAutoRoutSettings&) const = default;
};
inline constexpr uint8_t DefaultCompensation = 2;      // 0 none, 1 left, 2 right
inline constexpr bool DefaultPocketDusting = true;     // "Full Panel Autorout"

// "Full Panel Inline Rout"
struct TFullPanelInlineRout {
  int32_t Overcut = 1574800;
  bool UseCutterSize = true;
  bool operator==(const TFullPanelInlineRout&) const = default;
};

// One named swap filter of "Import Filters" or "Export Filters".
struct TFilterRecord {
  std::string Name;
  std::string SwapFile;
  bool operator==(const TFilterRecord&) const = default;
};

// "Table Parameters"
struct TTableParameters {
  int32_t XTableSpeed = 400000;
  int32_t YTableSpeed = 400000;
  bool LinearInterpolation = false;
  int32_t HeadRadius = 25400000;
  bool operator==(const TTableParameters&) const = default;
};

// Built-in defaults of the records whose defaults depend on their use.
TMakeTapeDefaults DefaultMakeTapeDefaults();  // Gerber path = ExecutionPath
TDrillFormatRecord DefaultDrillFormat(bool output);
TRoutFormatRecord DefaultRoutFormat(bool output);  // input defaults when false
TCadFormatRecord DefaultCadInputFormat();

// ---------------------------------------------------------------------------
// Program-wide variables of the families

extern TDrillFormatRecord DrillOutputFormat;
extern TDrillFormatRecord DrillInputFormat;
extern TRoutFormatRecord RoutOutputFormat;
extern TRoutFormatRecord RoutInputFormat;
extern TCadFormatRecord CadInputFormat;
extern TPlotDefaults PlotDefaults;
extern TGerberFormatRecord GerberImportDefaults;
extern std::string DefaultToolFile;  // "Default Rout Tool Page": empty = none

// "Last Directories"
extern std::string DrillImportPath;
extern std::string DrillMakeTapePath;
extern std::string RoutImportPath;
extern std::string RoutMakeTapePath;
extern std::string CadImportPath;
extern std::string CadExportPath;
extern std::string DatabasePath;
extern std::string DNCUploadDirectory;
extern std::string DNCDownloadDirectory;
// Sets the nine start values from ExecutionPath (INDATA\, DRILL\, ROUT\,
// CAD\, DATABASE\, DNC\).
void SetLastDirectoryDefaults();

// Swap-filter lists. Entries 1..10 are used; index 0 stands for "Standard"
// (no filter) and its entry stays empty. A filter index is 0..10.
inline constexpr int FilterCount = 10;
extern std::array<TFilterRecord, FilterCount + 1> ImportFilters;
extern std::array<TFilterRecord, FilterCount + 1> ExportFilters;
extern uint8_t RoutImportFilter;
extern uint8_t DrillImportFilter;
// Indexed by rout layer 40..44; entries 0..39 are unused.
extern std::array<uint8_t, LayerCount> RoutLayerExportFilter;
extern uint8_t DrillExportFilter;

// "DNC Settings"
extern uint8_t ComPort;     // port number, 1 = COM1
extern int32_t BaudRate;
extern bool AllowUploads;

extern TTableParameters TableParameters;

// Rout format key selectors.
inline constexpr int RoutFormatOutput = 0;
inline constexpr int RoutFormatInput = 1;
inline constexpr int RoutFormatTextEdit = 2;

// ---------------------------------------------------------------------------
// Load and save operations

void LoadMakeTapeDefaults(TMakeTapeDefaults& record);
void SaveMakeTapeDefaults(const TMakeTapeDefaults& record);
void LoadFirstLastHitDefaults(TFirstLastHitDefaults& record);
void SaveFirstLastHitDefaults(const TFirstLastHitDefaults& record);
void LoadSlotAlgorithmSettings(TSlotAlgorithmSettings& record);
void SaveSlotAlgorithmSettings(const TSlotAlgorithmSettings& record);
void LoadDrilledSlotSettings(TDrilledSlotSettings& record);
void SaveDrilledSlotSettings(const TDrilledSlotSettings& record);
void LoadDrilledCircleSettings(int32_t& radius);
void SaveDrilledCircleSettings(int32_t radius);
void LoadPlotDefaults(TPlotDefaults& record = PlotDefaults);
void SavePlotDefaults(const TPlotDefaults& record = PlotDefaults);
void LoadPrintDefaults(uint8_t& scaleChosen, uint8_t& orientation);
void SavePrintDefaults(uint8_t scaleChosen, uint8_t orientation);
void LoadAutoCleanupDefaults(bool& eraseDuplicates, bool& eraseOverlaps, bool& integrateArcs,
                             bool& integrateCircles, int32_t& overlapTolerance,
                             int32_t& arcTolerance, int32_t& circleTolerance);
void SaveAutoCleanupDefaults(bool eraseDuplicates, bool eraseOverlaps, bool integrateArcs,
                             bool integrateCircles, int32_t overlapTolerance,
                             int32_t arcTolerance, int32_t circleTolerance);
void LoadGerberImportDefaults(TGerberFormatRecord& record = GerberImportDefaults);
void SaveGerberImportDefaults(const TGerberFormatRecord& record = GerberImportDefaults);
void LoadDefaultRoutToolPage();
void SaveDefaultRoutToolPage();
void LoadAutoTabSettings(TAutoTabSettings& record);
void SaveAutoTabSettings(const TAutoTabSettings& record);
// output True: "Drill Output Format Defaults", False: "Drill Input ...".
void LoadDrillFormatDefaults(TDrillFormatRecord& record, bool output);
void SaveDrillFormatDefaults(const TDrillFormatRecord& record, bool output);
// selector RoutFormatOutput, RoutFormatInput or RoutFormatTextEdit; any other
// selector does nothing.
void LoadRoutFormatDefaults(TRoutFormatRecord& record, int selector);
void SaveRoutFormatDefaults(const TRoutFormatRecord& record, int selector);
// output True: "Cad Output Format Defaults", False: "Cad Excellon Input ...".
void LoadCadFormatDefaults(TCadFormatRecord& record, bool output);
void SaveCadFormatDefaults(const TCadFormatRecord& record, bool output);
void LoadAutoStepRepeatSettings(TAutoStepRepeatSettings& record);
void SaveAutoStepRepeatSettings(const TAutoStepRepeatSettings& record);
void LoadAutoRoutCompensation(uint8_t& compensation);
void SaveAutoRoutCompensation(uint8_t compensation);
void LoadAutoRoutSettings(TAutoRoutSettings& record);
void SaveAutoRoutSettings(const TAutoRoutSettings& record);
// Loads nine values; saves the first seven and "Last Execution Path".
void LoadLastDirectories();
void SaveLastDirectories();
// Both "Import Filters" and "Export Filters".
void LoadFilterSettings();
void SaveFilterSettings();
void LoadFullPanelAutoRout(bool& pocketDusting);
void SaveFullPanelAutoRout(bool pocketDusting);
void LoadFullPanelInlineRout(TFullPanelInlineRout& record);
void SaveFullPanelInlineRout(const TFullPanelInlineRout& record);
// Set Com Port 1, Baud Rate 9600, Allow Uploads False once the key is open,
// then read.
void LoadDncSettings();
void SaveDncSettings();
// Set 400,000, 400,000, False, 25,400,000 once the key is open, then read.
void LoadTableParameters();
void SaveTableParameters();

// Puts every program-wide variable of this unit back to its built-in default
// (last directories and Gerber path from ExecutionPath).
void ResetFamilySettings();
