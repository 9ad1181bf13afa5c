// Persistent settings: the store mechanism shared by every settings family,
// the three families loaded at start-up and saved at exit (System, Layout,
// Layer Colors) with their program-wide variables, and the two System values
// that have operations of their own.
//
// Every family lives in one key below RegistryBaseKey. Loading a family reads
// each value that is present into its field and writes every value that is
// missing (or unreadable) back from the field's current value, so after the
// first start the registry holds a complete copy of the built-in defaults.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "platform/registry.h"
#include "platform/types.h"

// ---------------------------------------------------------------------------
// Registry layout

inline constexpr const char* RegistryProductKey = "\\Software\\Orbenwright\\KORVEX";
inline constexpr const char* RegistryBaseKey = "\\Software\\Orbenwright\\KORVEX\\6.0";
// Written as the string value "Version" under RegistryProductKey at every exit.
inline constexpr const char* ProgramVersionText = "6.12.5";

// Strings are short strings: at most this many characters are read or written.
inline constexpr size_t SettingStringMax = 255;

// ---------------------------------------------------------------------------
// The per-value mechanism

// Correction of an Integer value on load: takes the value read, returns the
// value the field receives. The registry keeps the value as stored.
using TIntCorrection = std::function<int32_t(int32_t)>;

// One named value of a family bound to the field it fills. The registry kind
// follows from the field: bool is Boolean (integer 0 or 1, any non-zero reads
// True); uint8_t, int32_t and TColor are Integer (a byte field is written
// zero-extended); double is Real (8 binary bytes); std::string is String.
struct TSettingValue {
  std::string Name;
  std::variant<bool*, uint8_t*, int32_t*, TColor*, double*, std::string*> Field;
  TIntCorrection Correct;  // Integer fields only; empty = taken as read
};
using TSettingFamily = std::vector<TSettingValue>;

TSettingValue BoolSetting(std::string name, bool& field);
TSettingValue IntSetting(std::string name, int32_t& field, TIntCorrection correct = {});
// A byte field. The correction sees the whole 32-bit value read; a result
// outside 0..255 leaves the field unchanged (never the low 8 bits of a wider
// value).
TSettingValue ByteSetting(std::string name, uint8_t& field, TIntCorrection correct = {});
TSettingValue ColorSetting(std::string name, TColor& field);
TSettingValue RealSetting(std::string name, double& field);
TSettingValue StringSetting(std::string name, std::string& field);

// Corrections for values used as indexes or codes.
// A value outside lo..hi becomes fallback.
TIntCorrection InRangeOr(int32_t lo, int32_t hi, int32_t fallback);
// A value outside lo..hi becomes the nearer bound.
TIntCorrection ClampedTo(int32_t lo, int32_t hi);

// Creates the base key when missing, then opens the family key below it
// (creating it). False when it cannot be opened.
bool OpenSettingsKey(TRegistry& reg, const std::string& family);

// Loads one family in the order of the list: a value present with the right
// kind is read into its field (through its correction); a value that is
// missing, of another registry type, or a Real that is not a finite number is
// written from the field's current value. onOpened runs once the key is open,
// before the first value. Returns false (and changes nothing) when the key
// cannot be opened. The key is closed afterwards.
bool LoadSettingsFamily(TRegistry& reg, const std::string& family, const TSettingFamily& values,
                        const std::function<void()>& onOpened = {});
// Writes every value of the list from its field.
bool SaveSettingsFamily(TRegistry& reg, const std::string& family, const TSettingFamily& values);
// The same with an accessor of their own for the duration of the call.
bool LoadSettingsFamily(const std::string& family, const TSettingFamily& values,
                        const std::function<void()>& onOpened = {});
bool SaveSettingsFamily(const std::string& family, const TSettingFamily& values);

// ---------------------------------------------------------------------------

// ---------------------------------------------------------------------------
// System family (key "System")

inline constexpr int32_t InchUnitsPerDisplayUnit = 25400000;
inline constexpr int32_t MetricUnitsPerDisplayUnit = 1000000;

extern bool Metric;                  // "Metric": display units are millimetres
extern int32_t UnitsPerDisplayUnit;  // follows Metric on every System load
extern uint8_t Version;              // "Version": axis version 1..8
extern bool TextFlipsWithVersion;
extern bool DisplayGrid;
extern bool SnapToGrid;
extern bool ZeroZeroLines;
extern bool ShowG93;
extern bool DisplayRoutsFullWidth;
extern bool KerfFill;
extern bool HeadUpMoves;
extern bool FeedRateChanges;
extern bool ZOffsetChanges;
extern bool DisplaySequenceNumbers;
extern bool GougeDetect;
extern bool GougeAvoid;
extern bool DisplayStepsDashed;
extern bool ConstructionPoints;
extern bool RoutConstructionPoints;
extern bool RoutDirectionArrows;
extern uint8_t DisplayHolesAs;  // 0 one pixel, 1 true size, 2 alpha, 3 shapes
extern uint8_t ColorHolesBy;    // 0 tool, 1 layer, 2 type
extern uint8_t RoutColors;      // 0 by tool, 1 by layer
extern uint8_t CurrentLayer;    // "Last Selected Layer", 0..44
extern bool ShowLayerButtons;
extern bool ShowToolbar;
// "Micron Metric Tool Resolution" fills MicronMetricToolResolution
// (foundation/display_units.h).

inline constexpr int LayerCount = 45;

// ---------------------------------------------------------------------------
// Layout family (key "Layout"): the main window's bounds in screen pixels.
//
// The main window reads these bounds when it is created and writes its
// current bounds here before SaveAllSettings; the family's load assigns each
// value read at once. Initial values are the window's design bounds.
struct TMainFormBounds {
  int32_t Left = 250;
  int32_t Top = 141;
  int32_t Width = 600;
  int32_t Height = 476;
  bool operator==(const TMainFormBounds&) const = default;
};
extern TMainFormBounds MainFormBounds;
// The main window was closed maximised: it opens maximised again. Kept as
// "Maximized" beside the Layout family's bounds by operations of its own
// (False, and written, when missing), like the two System values below.
extern bool MainFormMaximized;
bool LoadMainFormMaximized();
void SaveMainFormMaximized(bool value);

// ---------------------------------------------------------------------------
// Layer Colors family (key "Layer Colors")

extern std::array<TColor, LayerCount> LayerColors;  // "Layer 0" .. "Layer 44"
extern TColor GridAndAxisColor;                     // "Grid and Axis color"
extern TColor HighlightColor;                       // "Highlight color"
extern TColor BackgroundColor;                      // "Background color"

// Built-in colour of a layer: entry layer mod 9 of aqua, gray, fuchsia, blue,
// lime, silver, red, white, yellow.
TColor DefaultLayerColor(int layer);

// ---------------------------------------------------------------------------
// Operations

// Start-up: creates the base key when missing, then loads System, Layout and
// Layer Colors, in this order, with one registry accessor.
void LoadAllSettings();
// Exit: creates the base key when missing, saves System (then the "Version"
// text under RegistryProductKey), Layout and Layer Colors.
void SaveAllSettings();

void LoadSystemSettings(TRegistry& reg);
void SaveSystemSettings(TRegistry& reg);
void LoadLayoutSettings(TRegistry& reg);
void SaveLayoutSettings(TRegistry& reg);
void LoadLayerColorSettings(TRegistry& reg);
void SaveLayerColorSettings(TRegistry& reg);

// "KORVEX 5 Button bar" and "Sticky Lines" of the System key: False when the
// key cannot be opened; a missing value is written as False and False is
// returned.
bool LoadButtonBarStyle();
void SaveButtonBarStyle(bool value);
bool LoadStickyLines();
void SaveStickyLines(bool value);

// Puts every variable of the three start-up families back to its built-in
// default (the state before the first load).
void ResetStartupSettings();
