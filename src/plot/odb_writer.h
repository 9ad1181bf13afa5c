// The writer of ODB++ product models: the directory tree, the matrix file,
// the step headers, the standard font, a step's profile and, per layer, the
// features file and (drill and rout layers) the tools file. It knows nothing
// of the program's databases; the layer writers hand it coordinates, tools
// and outlines in database units.
//
// A writer set up on an existing model starts with that model's steps and
// layers. Once anything fails (a set-up error, a name clash, a file or a
// folder that cannot be made) Ok is false and nothing more is written.
// Names are upper case in the matrix and lower case on disk.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "import/odb_file.h"
#include "import/odb_reader.h"

class TOdbWriter : public TOdbMatrix {
 public:
  TOdbWriter();
  ~TOdbWriter() override;

  // A new model when path names nothing yet, else the matrix file of an
  // existing one, which is loaded. The error text, empty on success.
  std::string Init(const std::string& path);
  // Kind 0 drill, 1 rout, 2 CAD.
  void AddStep(const std::string& name);
  void AddLayer(const std::string& name, uint8_t kind);
  void BuildTree();
  void WriteMatrix();
  void OpenProfile(const std::string& step);
  void OpenFeatures(const std::string& layer, const std::string& step);
  // Writes the tools file and opens the features file with a symbol per
  // tool (in list order).
  void WriteTools(const std::string& layer, const std::string& step, bool withAttributes,
                  const std::vector<TOdbToolRecord>& tools);
  void CloseFeatures();

  void WritePad(int32_t x, int32_t y);
  void WriteLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // Counter-clockwise from the first point to the second about the centre.
  void WriteArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t xc, int32_t yc);
  void WriteCircle(int32_t xc, int32_t yc, int32_t r);
  void WriteToolPad(int32_t x, int32_t y, int32_t tool);
  // Comp 0 none, 1 left, 2 right.
  void RoutMoveTo(int32_t x, int32_t y, int32_t tool, int32_t comp);
  void RoutLineTo(int32_t x, int32_t y);
  void RoutArcTo(int32_t x, int32_t y, bool clockwise, int32_t xc, int32_t yc);
  void BeginSurface(int32_t x, int32_t y);
  void SurfaceSegment(int32_t x, int32_t y);
  void SurfaceArc(int32_t x, int32_t y, bool clockwise, int32_t xc, int32_t yc);
  void EndSurface();

  // The directory of a layer of a step.
  std::string LayerDir(const std::string& layer, const std::string& step) const;

  bool Ok = true;
  std::string ErrorText;
  int32_t ChainCount = 0;

 private:
  bool OpenFile(const std::string& path);
  void Line(const std::string& text);
  void Fail(const std::string& text);
  std::string RoutAttributes() const;
  std::unique_ptr<TOdbFile> file_;
  std::array<int32_t, 1001> symbolOfTool_{};
  int32_t penX_ = 0, penY_ = 0, chainSymbol_ = 0, chainComp_ = 0;
  bool inSurface_ = false, islandOpen_ = false;
};

// Coordinate text: inches with six decimals (25,400,000 units: 1.000000).
std::string OdbCoordinate(int32_t units);
// Tool size text: mils with one decimal (635,000 units: 25.0).
std::string OdbSizeText(int32_t units);
// The font file "standard": 94 single-stroke glyphs. False when it cannot
// be written.
bool WriteStandardFont(const std::string& path);
