// The reader of ODB++ product models: the matrix (the job's steps and
// layers), each step's profile and the features of each layer, with the
// tool files of drill and rout layers. It makes no entities itself: every
// recognised feature goes to a virtual operation with coordinates in
// inches; the importer derives from it.
//
// Every file states its units ("UNITS=MM" or "UNITS=INCH"; inches when it
// says nothing): coordinates are millimetres or inches, symbol and tool
// sizes microns or mils.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "import/odb_file.h"

// Layer types of the matrix (positions in OdbTypeWords).
enum : uint8_t { otNone = 0, otSignal = 1, otDrill = 7, otRout = 8 };

extern const char* const OdbContextWords;
extern const char* const OdbTypeWords;
extern const char* const OdbPolarityWords;
extern const char* const OdbToolTypeWords;
// The 0-based position of the word in a list of blank-separated words; one
// past the last word when it is not there.
uint8_t OdbWordValue(const char* list, std::string_view word);

struct TOdbLayerRecord {
  int32_t Row = 0;
  uint8_t Context = 0, Type = 0;
  std::string Name;
  uint8_t Polarity = 0;
  std::string StartName, EndName;
};

struct TOdbStepRecord {
  int32_t Col = 0;
  std::string Name;
};

struct TOdbToolRecord {
  int32_t Num = 0;
  uint8_t Type = 0;
  std::string Bit;
  int32_t MinTol = 0, MaxTol = 0;
  int32_t FinishSize = 0, DrillSize = 0;  // database units
  int32_t Layer = 0;  // position of the layer whose tool file holds it
};

class TOdbMatrix {
 public:
  explicit TOdbMatrix(const std::string& jobPath);
  virtual ~TOdbMatrix() = default;

  // Reads the open matrix file; true when it gave at least one step and
  // one layer.
  bool Read(TOdbFile& file);
  int32_t FirstStep() { stepCursor_ = 0; return static_cast<int32_t>(Steps.size()); }
  int32_t FirstLayer() { layerCursor_ = 0; return static_cast<int32_t>(Layers.size()); }
  bool NextStepName(std::string& name, std::size_t maxLength);
  bool NextLayerName(std::string& name, std::size_t maxLength);
  // TYPE of the n-th layer (1-based), 0 when there is none.
  uint8_t LayerType(int32_t n) const;
  // NAME of the layer with that ROW; "PROFILE" for 0; fallback when none.
  std::string LayerNameByRow(int32_t row, const std::string& fallback = "") const;

  std::string JobPath;  // the job directory, without a trailing separator
  std::vector<TOdbLayerRecord> Layers;
  std::vector<TOdbStepRecord> Steps;
  std::vector<TOdbToolRecord> DrillTools, RoutTools;
  int32_t MaxAge = kOdbNoVerify;

 private:
  std::size_t stepCursor_ = 0, layerCursor_ = 0;
};

class TValorReader : public TOdbMatrix {
 public:
  TValorReader();
  // Opens the job of a matrix file (a path ending in matrix/matrix): false
  // with the reason in message ("Path not found", "Matrix file not found",
  // "Unable to load Matrix file.", or the file's own messages).
  bool Init(const std::string& matrixPath, std::string& message, int32_t maxAge);

  void SetFeatureKinds(bool pads, bool lines, bool arcs, bool holes, bool surfaces);
  void ReadStepProfile(int32_t step);
  void ReadStepLayer(int32_t layer, int32_t step);

  // The smallest NUM of the drill (rout: true) tool list, 2147483647 when
  // empty; resets the tool cursor.
  int32_t FirstTool(bool rout);
  bool NextTool(int32_t& layer, int32_t& num, int32_t& drillSize);
  // The tool of a round or HOLE symbol on the layer; a new tool record
  // when the layer's tool file has none of that size.
  int32_t ToolForSymbol(const std::string& symbol, int32_t layer, bool rout);

  // The callbacks; layer is the matrix position (1-based), 0 the profile.
  virtual void Error(const std::string& message) {}
  virtual void Pad(int32_t layer, const std::string& symbol, double x, double y) {}
  virtual void Hole(int32_t layer, int32_t tool, double x, double y) {}
  virtual void Line(int32_t layer, const std::string& symbol, double x1, double y1, double x2,
                    double y2) {}
  // Counter-clockwise from start to end about the centre.
  virtual void Arc(int32_t layer, const std::string& symbol, double sx, double sy, double ex,
                   double ey, double cx, double cy) {}
  virtual void Flash(int32_t layer, int32_t radius, double x, double y) {}
  virtual void RoutStart(int32_t layer, int32_t tool, uint8_t side, double x, double y) {}
  virtual void RoutHole(int32_t layer, int32_t tool, double x, double y) {}
  virtual void RoutLineTo(double x, double y) {}
  virtual void RoutArcTo(bool clockwise, double ex, double ey, double cx, double cy) {}

  bool Pads = true, Lines = true, Arcs = true, Holes = true, Surfaces = true;
  // Database units per symbol-size unit of the file being read (a mil or
  // a micron).
  double SymbolUnit = 25400.0;
  // The orientation of the pad handed to Pad: mirrored in X first, then
  // turned clockwise by the angle in degrees.
  double PadAngle = 0.0;
  bool PadMirror = false;
  // Features of kinds that are not read (text, barcode), by kind.
  std::map<std::string, int64_t> SkippedFeatures;
  // Copies of steps that the chosen steps place by step and repeat, by the
  // placed step's name: those are not read with the step that places them.
  // A count goes no higher than kCountLimit: it means at least that many.
  static constexpr int64_t kCountLimit = INT64_MAX;
  std::map<std::string, int64_t> RepeatedSteps;
  // Numbers of the features files refused as out of range in this reading;
  // only the first kRefusalsShown of them go to Error.
  static constexpr int64_t kRefusalsShown = 3;
  int64_t RefusedNumbers = 0;
  // Set to end the reading: the features files are read no further.
  bool Stop = false;

 private:
  // Opens a job file for reading. When it cannot, Error tells why: the
  // reason its compressed copy could not be decoded, else (unless the file
  // may be missing) that it could not be opened.
  bool OpenJobFile(TOdbFile& file, bool mayBeMissing);
  // What ToolForSymbol knows of a tool list, brought up to date with the
  // records added since (Indexed of them looked at): the first NUM of each
  // layer and size, and the numbers 1 to 1000 in use, so that a layer of
  // thousands of sizes is not gone through once a pad.
  struct TToolLookup {
    std::size_t Indexed = 0;
    std::unordered_map<uint64_t, int32_t> BySize;
    std::array<bool, 1001> Used{};
    int32_t FirstFree = 1;
  };
  TToolLookup drillLookup_, routLookup_;
  // Hands what the file queued while it was read (a line too long, after
  // which nothing was read) to Error.
  void TellReadErrors(TOdbFile& file);
  void ReadTools(const std::string& path, int32_t layer, bool rout);
  void ReadFeatures(const std::string& path, int32_t layer, uint8_t type, bool profile);
  void RoutSegment(int32_t layer, int32_t tool, int32_t chain, int32_t comp, bool arc,
                   double sx, double sy, double ex, double ey, double cx, double cy, bool cw);
  std::string StepPath(int32_t step) const;

  int32_t lastChain_ = 0;
  bool newChain_ = true;
  double currentX_ = 0, currentY_ = 0;
  bool toolsRout_ = false;
  std::vector<int32_t> repeatsTold_;
  std::size_t toolCursor_ = 0;
};

// Text helpers.
std::string SkipToken(const std::string& text);
bool IsYesWord(const std::string& text);
// Position of the symbol's shape (0 R, 1 S, 2 RECT, ... 23 HOLE, 24 NULL,
// 25 DONUT_RC, 26 DONUT_O), -1 when not found.
int32_t SymbolShapeIndex(const std::string& symbol);
enum : int32_t { ssRound = 0, ssSquare = 1, ssRect = 2, ssOval = 3, ssDiamond = 4, ssOct = 5,
                 ssDonutR = 6, ssDonutS = 7, ssHexL = 8, ssHexS = 9, ssTri = 12, ssHole = 23, ssNull = 24,
                 ssDonutRc = 25, ssDonutO = 26 };
std::string NormaliseSymbolText(const std::string& text);
