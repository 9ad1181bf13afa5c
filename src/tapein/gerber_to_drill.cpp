#include "tapein/gerber_to_drill.h"

#include <cmath>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/entity_store.h"
#include "model/tool_tables.h"

namespace {

int32_t ToDatabase(int64_t value, double factor) {
  const double v = std::nearbyint(static_cast<double>(value) * factor);
  if (!(v > -2147483647.0)) return -2147483647;
  if (v > 2147483647.0) return 2147483647;
  return static_cast<int32_t>(v);
}

}  // namespace

TGerberDrillReader::TGerberDrillReader(const std::string& fileName) : TGerberReader(fileName) {
  // Tools that live drill entities already use are not given new sizes.
  for (int32_t i = 1; i <= DrillEntityCount && DRDB != nullptr; ++i) {
    const uint32_t word = DRDB->WordAt(i);
    if (word == 0 || SlotDeleted(word)) continue;
    if (TDrillEntity* e = DRDB->EntityAt(i)) {
      const int32_t tool = e->GetToolNumber();
      if (tool >= 1 && tool <= 1000) UsedTools[static_cast<std::size_t>(tool)] = true;
    }
  }
}

void TGerberDrillReader::Run() {
  const int32_t d = GerberImportDefaults.DecimalDigits;
  const double scale = std::pow(10.0, d);
  GerberInchFactor = 25400000.0 / scale;
  GerberMetricFactor = 1000000.0 / scale;
  TGerberReader::Run();
}

bool TGerberDrillReader::FlashHook(int64_t x, int64_t y, int64_t size) {
  const double factor = GerberImportDefaults.Metric ? GerberMetricFactor : GerberInchFactor;
  const int32_t px = ToDatabase(x, factor), py = ToDatabase(y, factor);
  const int32_t diameter = ToDatabase(size, factor);
  int32_t tool = 0;
  if (ImportTools[static_cast<std::size_t>(LastTool)] && ToolTable[LastTool].Diameter == diameter) {
    tool = LastTool;
  } else {
    for (int32_t t = 1; t <= 1000 && tool == 0; ++t)
      if (ImportTools[static_cast<std::size_t>(t)] && ToolTable[t].Diameter == diameter) tool = t;
    for (int32_t t = 1; t <= 1000 && tool == 0; ++t)
      if (!UsedTools[static_cast<std::size_t>(t)]) {
        tool = t;
        ToolTable[t].Diameter = diameter;
        UsedTools[static_cast<std::size_t>(t)] = true;
      }
  }
  if (tool == 0) {
    ++Dropped;
    return false;
  }
  if (DRDB == nullptr || DRDB->AddHoleOnLayer(px, py, CurrentLayer, tool, false) == 0) {
    ++Dropped;
    return true;
  }
  ImportTools[static_cast<std::size_t>(tool)] = true;
  LastTool = tool;
  ++Holes;
  return true;
}

double DetectGerberForDrill(const std::string& fileName) {
  TGerberReader reader(fileName, TGerberReader::TQuiet{});
  return DetectGerber(reader);
}

void ImportGerberToDrill(const std::string& fileName) {
  TGerberDrillReader reader(fileName);
  reader.Run();
}
