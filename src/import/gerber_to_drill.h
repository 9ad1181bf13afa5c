// Gerber-to-drill: every dark flash of a photoplot file becomes a drill hole
// whose tool diameter is the aperture size. Holes are stored hidden on the
// current layer until the Drill Import command places them; a file that
// stops with an error stores none.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "import/gerber_reader.h"

class TGerberDrillReader : public TGerberReader {
 public:
  explicit TGerberDrillReader(const std::string& fileName);

  // Sets the unit scales from GerberImportDefaults, then reads the file.
  void Run() override;
  // The flash as a hole: tool of the size (one already given to this
  // import, else the first unused tool, which gets the size); false when
  // every tool is taken (the flash is dropped). Clear flashes are no holes.
  bool FlashHook(int64_t x, int64_t y, int64_t size) override;

  // Database units per integer unit of the file, for inch and metric input.
  // Kept as real numbers: 6 inch decimals are 25.4 units, not 25.
  double GerberInchFactor = 0.0;
  double GerberMetricFactor = 0.0;
  std::array<bool, 1001> UsedTools{};    // entries 1..1000
  std::array<bool, 1001> ImportTools{};  // entries 1..1000
  int32_t LastTool = 1;
  int32_t Holes = 0;    // flashes stored
  struct THole {
    int32_t X, Y, Tool;
  };
  std::vector<THole> Pending;
  std::vector<std::pair<int32_t, int32_t>> NewSizes;  // tool, diameter
  int32_t Dropped = 0;  // flashes without a free tool
};

// DetectGerber on a quiet reader of the file.
double DetectGerberForDrill(const std::string& fileName);
// Builds the reader, runs it and frees it.
void ImportGerberToDrill(const std::string& fileName);
