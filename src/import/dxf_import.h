// The DXF importers: the drawing into the CAD layers (File/Import), and its
// circles as drill holes (Drill Import). Both ask for the drawing's units.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "import/dxf_reader.h"
#include "platform/forms.h"

// Form "TDrawingUnits" ("DXF File Units").
class TDrawingUnits : public TForm {
 public:
  TDrawingUnits();
  TRadioGroup& DrawingUnitsGroup;
  TButton& OKButton;
  TButton& CancelButton;
};

// The units dialog; true on OK with Inches set from the choice.
bool AskDrawingUnits(bool& inches);

// Points, lines, arcs and circles on CAD layer (DXF layer mod 30).
class TDxfToCadImporter : public TDxfReader {
 public:
  using TDxfReader::TDxfReader;
  void AddPoint(int32_t layer, double x, double y) override;
  void AddLine(int32_t layer, double x1, double y1, double x2, double y2) override;
  void AddArc(int32_t layer, double sx, double sy, double ex, double ey, double cx, double cy,
              double a1, double a2) override;
  void AddCircle(int32_t layer, double cx, double cy, double r) override;
  void Progress() override;

  TPendingCad Pending;
};

// Every circle becomes a hole whose tool has the circle's diameter; the rest
// is dropped. Tools that holes already in the drill database use are never
// given a new diameter.
class TDxfToDrillImporter : public TDxfReader {
 public:
  TDxfToDrillImporter(const std::string& fileName, double scale);
  void AddCircle(int32_t layer, double cx, double cy, double r) override;
  // Holes only: its lines and arcs are passed over.
  bool MakesOneDrawing() const override { return false; }
  // Stores the holes hidden on the current layer and the new tool sizes.
  void Commit();

  std::array<bool, 1001> ToolInUse{};     // entries 1..1000
  std::array<bool, 1001> ToolAssigned{};  // entries 1..1000
  std::array<int32_t, 1001> ToolSize{};   // diameters given by this import
  int32_t CurrentTool = 1;
  int32_t Dropped = 0;  // circles without a free tool
  struct THole {
    int32_t X, Y, Tool;
  };
  std::vector<THole> Holes;
};

// The CAD layer of a DXF layer number: modulo 30, negative numbers on 0.
uint8_t CadLayerOfDxfLayer(int32_t layer);

void ImportDxfToCad(const std::string& fileName);
void ImportDxfToDrill(const std::string& fileName);
double DetectDxfForDrill(const std::string& fileName);
