#include "foundation/settings.h"

#include <cmath>

#include "foundation/display_units.h"


bool Metric = false;
int32_t UnitsPerDisplayUnit = InchUnitsPerDisplayUnit;
uint8_t Version = 1;
bool TextFlipsWithVersion = true;
bool DisplayGrid = false;
bool SnapToGrid = false;
bool ZeroZeroLines = true;
bool ShowG93 = true;
bool DisplayRoutsFullWidth = true;
bool KerfFill = false;
bool HeadUpMoves = false;
bool FeedRateChanges = false;
bool ZOffsetChanges = false;
bool DisplaySequenceNumbers = false;
bool GougeDetect = false;
bool GougeAvoid = false;
bool DisplayStepsDashed = true;
bool ConstructionPoints = false;
bool RoutConstructionPoints = false;
bool RoutDirectionArrows = false;
uint8_t DisplayHolesAs = 1;
uint8_t ColorHolesBy = 0;
uint8_t RoutColors = 1;
uint8_t CurrentLayer = 0;
bool ShowLayerButtons = true;
bool ShowToolbar = true;

TMainFormBounds MainFormBounds;
bool MainFormMaximized = false;

namespace {

std::array<TColor, LayerCount> DefaultLayerColors() {
  std::array<TColor, LayerCount> colors{};
  for (int layer = 0; layer < LayerCount; ++layer) colors[layer] = DefaultLayerColor(layer);
  return colors;
}

}  // namespace

std::array<TColor, LayerCount> LayerColors = DefaultLayerColors();
TColor GridAndAxisColor = clWhite;
TColor HighlightColor = clWhite;
TColor BackgroundColor = clNavy;

TColor DefaultLayerColor(int layer) {
  static constexpr TColor cycle[9] = {clAqua, clGray, clFuchsia, clBlue, clLime,
                                      clSilver, clRed, clWhite, clYellow};
  if (layer < 0) layer = -layer;
  return cycle[layer % 9];
}

// ---------------------------------------------------------------------------
// The per-value mechanism

TSettingValue BoolSetting(std::string name, bool& field) { return {std::move(name), &field, {}}; }

TSettingValue IntSetting(std::string name, int32_t& field, TIntCorrection correct) {
  return {std::move(name), &field, std::move(correct)};
}

TSettingValue ByteSetting(std::string name, uint8_t& field, TIntCorrection correct) {
  return {std::move(name), &field, std::move(correct)};
}

TSettingValue ColorSetting(std::string name, TColor& field) { return {std::move(name), &field, {}}; }

TSettingValue RealSetting(std::string name, double& field) { return {std::move(name), &field, {}}; }

TSettingValue StringSetting(std::string name, std::string& field) {
  return {std::move(name), &field, {}};
}

TIntCorrection InRangeOr(int32_t lo, int32_t hi, int32_t fallback) {
  return [=](int32_t v) { return v < lo || v > hi ? fallback : v; };
}

TIntCorrection ClampedTo(int32_t lo, int32_t hi) {
  return [=](int32_t v) { return v < lo ? lo : (v > hi ? hi : v); };
}

namespace {

std::string CutShort(const std::string& s) {
  return s.size() > SettingStringMax ? s.substr(0, SettingStringMax) : s;
}

int32_t Corrected(const TSettingValue& value, int32_t read) {
  return value.Correct ? value.Correct(read) : read;
}

// Reads one value into its field; false when the value cannot be taken
// (missing, another registry type, or not a finite Real).
bool ReadValue(const TRegistry& reg, const TSettingValue& value) {
  const std::string& name = value.Name;
  struct Reader {
    const TRegistry& reg;
    const TSettingValue& value;
    const std::string& name;
    bool operator()(bool* f) const {
      bool v = false;
      if (reg.ReadBool(name, v) != TRegStatus::Ok) return false;
      *f = v;
      return true;
    }
    bool operator()(uint8_t* f) const {
      int32_t v = 0;
      if (reg.ReadInteger(name, v) != TRegStatus::Ok) return false;
      v = Corrected(value, v);
      if (v >= 0 && v <= 255) *f = static_cast<uint8_t>(v);
      return true;
    }
    bool operator()(int32_t* f) const {
      int32_t v = 0;
      if (reg.ReadInteger(name, v) != TRegStatus::Ok) return false;
      *f = Corrected(value, v);
      return true;
    }
    bool operator()(TColor* f) const {
      int32_t v = 0;
      if (reg.ReadInteger(name, v) != TRegStatus::Ok) return false;
      *f = static_cast<TColor>(v);
      return true;
    }
    bool operator()(double* f) const {
      double v = 0;
      if (reg.ReadFloat(name, v) != TRegStatus::Ok || !std::isfinite(v)) return false;
      *f = v;
      return true;
    }
    bool operator()(std::string* f) const {
      std::string v;
      if (reg.ReadString(name, v) != TRegStatus::Ok) return false;
      *f = CutShort(v);
      return true;
    }
  };
  return std::visit(Reader{reg, value, name}, value.Field);
}

void WriteValue(TRegistry& reg, const TSettingValue& value) {
  const std::string& name = value.Name;
  struct Writer {
    TRegistry& reg;
    const std::string& name;
    void operator()(bool* f) const { reg.WriteBool(name, *f); }
    void operator()(uint8_t* f) const { reg.WriteInteger(name, *f); }
    void operator()(int32_t* f) const { reg.WriteInteger(name, *f); }
    void operator()(TColor* f) const { reg.WriteInteger(name, static_cast<int32_t>(*f)); }
    void operator()(double* f) const { reg.WriteFloat(name, *f); }
    void operator()(std::string* f) const { reg.WriteString(name, CutShort(*f)); }
  };
  std::visit(Writer{reg, name}, value.Field);
}

}  // namespace

bool OpenSettingsKey(TRegistry& reg, const std::string& family) {
  if (!reg.KeyExists(RegistryBaseKey)) reg.CreateKey(RegistryBaseKey);
  reg.CloseKey();
  return reg.OpenKey(std::string(RegistryBaseKey) + "\\" + family, true);
}

bool LoadSettingsFamily(TRegistry& reg, const std::string& family, const TSettingFamily& values,
                        const std::function<void()>& onOpened) {
  if (!OpenSettingsKey(reg, family)) return false;
  if (onOpened) onOpened();
  for (const TSettingValue& value : values) {
    if (!ReadValue(reg, value)) WriteValue(reg, value);
  }
  reg.CloseKey();
  return true;
}

bool SaveSettingsFamily(TRegistry& reg, const std::string& family, const TSettingFamily& values) {
  if (!OpenSettingsKey(reg, family)) return false;
  for (const TSettingValue& value : values) WriteValue(reg, value);
  reg.CloseKey();
  return true;
}

bool LoadSettingsFamily(const std::string& family, const TSettingFamily& values,
                        const std::function<void()>& onOpened) {
  TRegistry reg;
  return LoadSettingsFamily(reg, family, values, onOpened);
}

bool SaveSettingsFamily(const std::string& family, const TSettingFamily& values) {
  TRegistry reg;
  return SaveSettingsFamily(reg, family, values);
}

// ---------------------------------------------------------------------------
// The start-up families

namespace {

const char* const SystemKey = "System";
const char* const LayoutKey = "Layout";
const char* const LayerColorsKey = "Layer Colors";

TSettingFamily SystemFamily() {
  return {
      BoolSetting("Metric", Metric),
      ByteSetting("Version", Version, InRangeOr(1, 8, 1)),
      BoolSetting("Text Flips With Version", TextFlipsWithVersion),
      BoolSetting("Display Grid", DisplayGrid),
      BoolSetting("Snap To Grid", SnapToGrid),
      BoolSetting("Zero Zero lines", ZeroZeroLines),
      BoolSetting("Show G93", ShowG93),
      BoolSetting("Display Routs Full Width", DisplayRoutsFullWidth),
      BoolSetting("Kerf Fill", KerfFill),
      BoolSetting("Head Up Moves", HeadUpMoves),
      BoolSetting("Feed Rate Changes", FeedRateChanges),
      BoolSetting("Z Offset Changes", ZOffsetChanges),
      BoolSetting("Display Sequence Numbers", DisplaySequenceNumbers),
      BoolSetting("Gouge Detect", GougeDetect),
      BoolSetting("Gouge Avoid", GougeAvoid),
      BoolSetting("Display Steps Dashed", DisplayStepsDashed),
      BoolSetting("Construction Points", ConstructionPoints),
      BoolSetting("Rout Construction Points", RoutConstructionPoints),
      BoolSetting("Rout Direction Arrows", RoutDirectionArrows),
      ByteSetting("Display Holes As", DisplayHolesAs, InRangeOr(0, 3, 1)),
      ByteSetting("Color Holes By", ColorHolesBy, InRangeOr(0, 2, 0)),
      ByteSetting("Rout Colors", RoutColors, InRangeOr(0, 1, 1)),
      ByteSetting("Last Selected Layer", CurrentLayer, InRangeOr(0, LayerCount - 1, 0)),
      BoolSetting("Show Layer Buttons", ShowLayerButtons),
      BoolSetting("Show Toolbar", ShowToolbar),
      BoolSetting("Micron Metric Tool Resolution", MicronMetricToolResolution),
  };
}

TSettingFamily LayoutFamily() {
  return {
      IntSetting("Height", MainFormBounds.Height),
      IntSetting("Width", MainFormBounds.Width),
      IntSetting("Top", MainFormBounds.Top),
      IntSetting("Left", MainFormBounds.Left),
  };
}

TSettingFamily LayerColorFamily() {
  TSettingFamily values;
  for (int layer = 0; layer < LayerCount; ++layer)
    values.push_back(ColorSetting("Layer " + std::to_string(layer), LayerColors[layer]));
  values.push_back(ColorSetting("Grid and Axis color", GridAndAxisColor));
  values.push_back(ColorSetting("Highlight color", HighlightColor));
  values.push_back(ColorSetting("Background color", BackgroundColor));
  return values;
}

bool LoadBoolean(const char* key, const char* name) {
  TRegistry reg;
  if (!OpenSettingsKey(reg, key)) return false;
  bool value = false;
  if (reg.ReadBool(name, value) != TRegStatus::Ok) {
    value = false;
    reg.WriteBool(name, false);
  }
  reg.CloseKey();
  return value;
}

void SaveBoolean(const char* key, const char* name, bool value) {
  TRegistry reg;
  if (!OpenSettingsKey(reg, key)) return;
  reg.WriteBool(name, value);
  reg.CloseKey();
}

bool LoadSystemBoolean(const char* name) { return LoadBoolean(SystemKey, name); }
void SaveSystemBoolean(const char* name, bool value) { SaveBoolean(SystemKey, name, value); }

}  // namespace

void LoadSystemSettings(TRegistry& reg) {
  if (LoadSettingsFamily(reg, SystemKey, SystemFamily()))
    UnitsPerDisplayUnit = Metric ? MetricUnitsPerDisplayUnit : InchUnitsPerDisplayUnit;
}

void SaveSystemSettings(TRegistry& reg) { SaveSettingsFamily(reg, SystemKey, SystemFamily()); }

void LoadLayoutSettings(TRegistry& reg) { LoadSettingsFamily(reg, LayoutKey, LayoutFamily()); }

void SaveLayoutSettings(TRegistry& reg) { SaveSettingsFamily(reg, LayoutKey, LayoutFamily()); }

void LoadLayerColorSettings(TRegistry& reg) {
  LoadSettingsFamily(reg, LayerColorsKey, LayerColorFamily());
}

void SaveLayerColorSettings(TRegistry& reg) {
  SaveSettingsFamily(reg, LayerColorsKey, LayerColorFamily());
}

void LoadAllSettings() {
  TRegistry reg;
  if (!reg.KeyExists(RegistryBaseKey)) reg.CreateKey(RegistryBaseKey);
  LoadSystemSettings(reg);
  LoadLayoutSettings(reg);
  LoadLayerColorSettings(reg);
}

void SaveAllSettings() {
  TRegistry reg;
  if (!reg.KeyExists(RegistryBaseKey)) reg.CreateKey(RegistryBaseKey);
  SaveSystemSettings(reg);
  if (reg.OpenKey(RegistryProductKey, true)) {
    reg.WriteString("Version", ProgramVersionText);
    reg.CloseKey();
  }
  SaveLayoutSettings(reg);
  SaveLayerColorSettings(reg);
}

bool LoadButtonBarStyle() { return LoadSystemBoolean("KORVEX 5 Button bar"); }
void SaveButtonBarStyle(bool value) { SaveSystemBoolean("KORVEX 5 Button bar", value); }
bool LoadStickyLines() { return LoadSystemBoolean("Sticky Lines"); }
void SaveStickyLines(bool value) { SaveSystemBoolean("Sticky Lines", value); }
bool LoadMainFormMaximized() { return LoadBoolean(LayoutKey, "Maximized"); }
void SaveMainFormMaximized(bool value) { SaveBoolean(LayoutKey, "Maximized", value); }

void ResetStartupSettings() {
  Metric = false;
  UnitsPerDisplayUnit = InchUnitsPerDisplayUnit;
  Version = 1;
  TextFlipsWithVersion = true;
  DisplayGrid = false;
  SnapToGrid = false;
  ZeroZeroLines = true;
  ShowG93 = true;
  DisplayRoutsFullWidth = true;
  KerfFill = false;
  HeadUpMoves = false;
  FeedRateChanges = false;
  ZOffsetChanges = false;
  DisplaySequenceNumbers = false;
  GougeDetect = false;
  GougeAvoid = false;
  DisplayStepsDashed = true;
  ConstructionPoints = false;
  RoutConstructionPoints = false;
  RoutDirectionArrows = false;
  DisplayHolesAs = 1;
  ColorHolesBy = 0;
  RoutColors = 1;
  CurrentLayer = 0;
  ShowLayerButtons = true;
  ShowToolbar = true;
  MicronMetricToolResolution = false;
  MainFormBounds = TMainFormBounds{};
  MainFormMaximized = false;
  LayerColors = DefaultLayerColors();
  GridAndAxisColor = clWhite;
  HighlightColor = clWhite;
  BackgroundColor = clNavy;
}
