// The DXF reader: an ASCII DXF drawing walked section by section, its layer
// table, its blocks (inserted nested, scaled, mirrored, rotated and arrayed)
// and the entities a board outline or fabrication drawing uses: LINE,
// 3DLINE, ARC, CIRCLE, POLYLINE and LWPOLYLINE (with bulges), TRACE, SOLID,
// TEXT (stroked with the built-in font) and POINT. Everything else is passed
// over. The geometry reaches the add operations of TImportObject already in
// database units.
//
// The drawing is held in memory while it is read; a block is remembered as
// the stretch of the drawing that defines it and reread at every insertion.
// A file that breaks off inside an entity, or holds a group code or number
// that cannot be read, stops the reading: Failed is set and ErrorText names
// the file and the line.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/geometry.h"
#include "import/import_frame.h"

class TDxfReader : public TImportObject {
 public:
  // Scale: database units per drawing unit.
  TDxfReader(const std::string& fileName, double scale);

  void Read() override;
  // Hooks: the layer table has been read; a TEXT the importer takes itself
  // (true) instead of having it stroked.
  virtual void LayerTableDone() {}
  virtual bool AddText(const std::string& text, int32_t x, int32_t y, int32_t cellX, int32_t cellY,
                       double rotation) {
    return false;
  }
  // Whether what the reader hands on goes into one drawing (its points,
  // lines, arcs and circles all count): copies of blocks that make more
  // than a drawing holds then stop the reading.
  virtual bool MakesOneDrawing() const { return true; }

  std::string FileName;
  double Scale;
  int32_t LineCount = 0;
  bool Failed = false;
  std::string ErrorText;
  // Entities of types this reader does not draw, by type name, every copy a
  // block insertion makes counted.
  std::map<std::string, int64_t> Skipped;
  // Circles and arcs that came in round although the drawing has them
  // stretched, by entity type.
  std::map<std::string, int64_t> NotAsDrawn;
  // The failure was geometry beyond the range of a job.
  bool OutOfRange = false;
  // Said after the import about the scale it was read at; empty when the
  // declared units were taken as they are.
  std::string UnitsNotice;
  // Layer table names (blanks removed), in file order: the index is the
  // layer number.
  std::vector<std::string> LayerNames;

  struct TGroup {
    int32_t Code;
    std::string_view Value;
  };
  struct TCursor {
    const char* P = nullptr;
    const char* End = nullptr;
    int32_t Line = 0;       // lines read so far
    bool Bounded = false;  // a block's stretch: its end is no early end
  };
  struct TContext {
    TMatrix3 Matrix;
    double RadiusScale;
    bool Mirrored;
    std::vector<std::string> Chain;
    // Inside a block inserted with unequal X and Y scales: circles and arcs
    // are ellipses in the drawing.
    bool Stretched = false;
  };

 private:
  struct TBlock {
    double BaseX = 0.0, BaseY = 0.0;
    TCursor Body;  // from the first entity's code line to the ENDBLK code line
  };

  void Fail(const TCursor& c, const std::string& what);
  // False, and the reading failed, when a position or radius in database
  // units lies beyond what a job holds: it is never cut to the edge.
  bool InRange(std::initializer_list<double> values);
  bool ReadGroup(TCursor& c, TGroup& g);
  // The next entity: its name and its groups up to the next code 0.
  bool NextEntity(TCursor& c, std::string_view& name, std::vector<TGroup>& groups);
  // One pass over the drawing held in text_.
  void ReadDrawing();
  void SkipToEndOfSection(TCursor& c);
  void ReadTables(TCursor& c);
  void ReadBlocks(TCursor& c);
  void ReadEntities(TCursor& c, const TContext& ctx, std::string_view stop);
  void HandleEntity(std::string_view name, const std::vector<TGroup>& groups, TCursor& c,
                    const TContext& ctx);
  void ReadPolyline(const std::vector<TGroup>& groups, TCursor& c, const TContext& ctx,
                    int32_t layer);
  void Insert(const std::vector<TGroup>& groups, const TContext& ctx, int32_t layer);
  // The block of the name, in any case; null when the drawing has none.
  const TBlock* FindBlock(const std::string& name) const;
  // Entities one insertion of the block makes, its nested insertions
  // expanded (a recursive one counts nothing); remembered per block.
  int64_t ExpandedSize(const std::string& name, std::vector<std::string>& chain);
  void StrokeText(const std::vector<TGroup>& groups, const TContext& ctx, int32_t layer);

  int32_t LayerOf(const std::vector<TGroup>& groups);
  void Line(const TContext& ctx, int32_t layer, double x1, double y1, double x2, double y2);
  void Arc(const TContext& ctx, int32_t layer, double cx, double cy, double r, double a1, double a2);
  void Circle(const TContext& ctx, int32_t layer, double cx, double cy, double r);
  void BulgeSegment(const TContext& ctx, int32_t layer, double x1, double y1, double x2, double y2,
                    double bulge);

  // Entities handled, counting every copy a block insertion makes.
  static constexpr int64_t MaxHandledEntities = 20000000;
  int64_t handled_ = 0;
  int64_t made_ = 0;  // points, lines, arcs and circles handed on
  // Entities of the model; the sheet's entities are read only when the
  // model has none.
  int64_t modelEntities_ = 0;
  bool paperSpace_ = false;
  std::map<std::string, int64_t> paperSkipped_;
  int32_t entityLine_ = 0;  // the code line that began the entity last read
  std::string text_;
  std::unordered_map<std::string, int32_t> layerIndex_;
  std::unordered_map<std::string, TBlock> blocks_;
  // Upper-cased names to the layer number and to the block's own name.
  std::unordered_map<std::string, int32_t> layerByUpper_;
  std::unordered_map<std::string, std::string> blockByUpper_;
  std::unordered_map<std::string, int64_t> expandedSize_;
};

// The notice of the entities an import skipped, e.g. "3 entities of types
// that are not imported were skipped:\n2 ELLIPSE, 1 SPLINE"; empty when none.
std::string SkippedEntitiesNotice(const std::map<std::string, int64_t>& skipped);
// The notice of the circles and arcs of unevenly scaled blocks, which came
// in round with the mean radius, e.g. "2 entities were not imported as
// drawn (ellipses in the drawing, imported as circles and arcs of the mean
// radius):\n1 ARC, 1 CIRCLE"; empty when none.
std::string NotAsDrawnNotice(const std::map<std::string, int64_t>& entities);

// The units the drawing's header declares: $INSUNITS 1 inches, 4
// millimetres, 5 centimetres and 6 metres (millimetres per drawing unit in
// metricFactor: 10 and 1000); with $INSUNITS 0 or none, $MEASUREMENT 0
// inches and 1 millimetres. False, with nothing set, for any other or none.
bool DxfDeclaredUnits(const std::string& fileName, bool& inches, double& metricFactor);

// Confidence that the file is an ASCII DXF drawing: 0.9 for the usual
// start, else the share of lines that sit where group codes belong.
double DetectDxf(const std::string& fileName);
