// ODB++ import: the user picks a job's matrix file, chooses in "Import Valor
// Layers" which layers of which steps to read and which kinds of features,
// and the features become entities:
//   - lines, arcs, pad outlines, surface contours and the step profile go
//     to CAD layers 0 to 29 (one "Import file" undo step, all or nothing);
//   - round and HOLE pads of DRILL layers become holes on D0..D9, their
//     tools numbered after the tools the job already uses;
//   - ROUT layers become rout paths, rout holes and rout tools on R0..R4.
// The same ODB++ layer of two steps goes to the same program layer.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include <map>

#include "import/import_frame.h"
#include "import/odb_reader.h"
#include "model/entity_store.h"
#include "model/import_transaction.h"
#include "platform/forms.h"

// The notice of the pads an import skipped, e.g. "3 pads of symbols that
// are not imported were skipped:\n2 moire, 1 thr"; empty when none.
std::string SkippedSymbolsNotice(const std::map<std::string, int64_t>& skipped);
// The notice of the features of kinds that are not read, e.g. "2 features
// of kinds that are not imported were skipped:\n1 barcode, 1 text".
std::string SkippedFeaturesNotice(const std::map<std::string, int64_t>& skipped);
// The notice of the step-and-repeat copies that the chosen steps place,
// by placed step; empty when none.
std::string RepeatedStepsNotice(const std::map<std::string, int64_t>& repeated);

class TValorImport : public TValorReader {
 public:
  TValorImport();

  // Program layer of an ODB++ layer position in a group (0 drill, 1 rout,
  // 2 CAD): the layer already given to it, else the group's first free one
  // (named after the ODB++ layer), else the group's first layer.
  uint8_t MapLayer(int32_t position, uint8_t group);
  // Drill tool index of an ODB++ tool of a program layer (1, 2, ... in the
  // order first met).
  int32_t ToolIndex(uint8_t layer, int32_t num);
  // Adds what was read: the CAD entities as one undo step, the holes made
  // live with their tools after the tools already in use, the rout tools,
  // and commits the transaction. A job without room for all of it takes the
  // transaction back (after the box saying so): false.
  bool Finish(TImportTransaction& transaction);

  void Error(const std::string& message) override;
  void Pad(int32_t layer, const std::string& symbol, double x, double y) override;
  void Hole(int32_t layer, int32_t tool, double x, double y) override;
  void Line(int32_t layer, const std::string& symbol, double x1, double y1, double x2,
            double y2) override;
  void Arc(int32_t layer, const std::string& symbol, double sx, double sy, double ex, double ey,
           double cx, double cy) override;
  void Flash(int32_t layer, int32_t radius, double x, double y) override;
  void RoutStart(int32_t layer, int32_t tool, uint8_t side, double x, double y) override;
  void RoutHole(int32_t layer, int32_t tool, double x, double y) override;
  void RoutLineTo(double x, double y) override;
  void RoutArcTo(bool clockwise, double ex, double ey, double cx, double cy) override;

  std::array<bool, 1001> ToolInUse{};
  int32_t FirstNewHole = 1;
  int32_t ToolOffset = 0;
  // The matrix position each program layer took (-1: none yet).
  std::array<int32_t, 45> LayerMap{};
  int32_t HolesStored = 0;
  int32_t RoutEntitiesAdded = 0;
  // Pads whose symbol is not drawn, by symbol shape or name.
  std::map<std::string, int64_t> SkippedSymbols;

 private:
  void Counted();
  void UseRoutTool(int32_t tool);
  struct TToolIndex {
    uint8_t Layer;
    int32_t Num, Index;
  };
  std::vector<TToolIndex> toolIndices_;
  // A store that refuses an entity (the job is full) stops the reading; the
  // import then takes back what it added and says so once.
  TStoreRefusalWatch storeWatch_;
  // Where each layer and NUM stands in toolIndices_, and the highest index.
  std::unordered_map<uint64_t, std::size_t> toolIndexAt_;
  int32_t highestToolIndex_ = 0;
  TPendingCad cad_;
  int32_t entityCount_ = 0;
  uint8_t routLayer_ = 40;
  bool routNewPath_ = true;
  int32_t routX_ = 0, routY_ = 0;
  uint8_t pendingSide_ = 0;
  int32_t pendingTool_ = 1;
};

// Form "TValorLayerDialog" ("Import Valor Layers"): one check box per
// layer (row) and step (column), named "Cell<layer>_<step>"; clicking a
// layer's name ("Layer<n>") or a step's number ("Step<n>") toggles its row
// or column. Every layer of the job has its row (32 steps at most); past
// 32 rows the rows scroll ("LayerScrollBox") under the step numbers.
class TValorLayerDialog : public TForm {
 public:
  TValorLayerDialog(const std::vector<std::string>& layers, const std::vector<std::string>& steps);
  TCheckBox& PadsCheck;
  TCheckBox& HolesCheck;
  TCheckBox& LinesCheck;
  TCheckBox& ArcsCheck;
  TCheckBox& SurfacesCheck;
  TCheckBox& Cell(int32_t layer, int32_t step);
  void ToggleRow(int32_t layer);
  void ToggleColumn(int32_t step);
  // A layer's name, a step's number or a step's name looks pressed while
  // the mouse button is down on it.
  void LabelMouseDown(TControl& label);
  void LabelMouseUp(TControl& label);

 private:
  void Clickable(TPanel& label, std::function<void()> toggle);
  void Toggle(const std::vector<TCheckBox*>& boxes);
  int32_t layers_, steps_;
  std::vector<TCheckBox*> cells_;
};

// The selection of the layer dialog: Selected[layer - 1][step - 1], a row
// for every layer of the job (the dialog sizes it), 32 steps at most.
struct TValorSelection {
  bool Pads = true, Lines = true, Arcs = true, Holes = true, Surfaces = true;
  std::vector<std::array<bool, 32>> Selected;
};
bool ExecuteValorLayerDialog(const std::vector<std::string>& layers,
                             const std::vector<std::string>& steps, TValorSelection& selection);

// The most layers "Import Valor Layers" offers: more than any board has.
constexpr std::size_t kValorLayersOffered = 256;
// The box naming the layers past those offered, e.g. "<job> has 258 layers;
// "Import Valor Layers" offers the first 256. Not offered: DRILL, ROUT."
// (twenty names at most, then how many more).
std::string LayersLeftOutNotice(const std::string& jobName, const std::vector<std::string>& leftOut);
// The most steps it offers, and the box naming those past them, e.g. "<job>
// has 34 steps; "Import Valor Layers" offers the first 32. Not offered: S33,
// S34."
constexpr std::size_t kValorStepsOffered = 32;
std::string StepsLeftOutNotice(const std::string& jobName, const std::vector<std::string>& leftOut);
// The import entry (File/Import and Drill Import): fileName is the job's
// matrix file.
void ImportValorJob(const std::string& fileName);
// The job folder of a matrix file name (the text before "matrix/matrix"
// and before "nesting").
std::string ValorJobName(const std::string& fileName);
