#include "import/gerber_to_drill.h"

#include <cmath>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "import/import_frame.h"
#include "model/drill_database.h"
#include "platform/message_box.h"
#include "model/drill_entities.h"
#include "model/entity_store.h"
#include "model/tool_tables.h"

namespace {

int32_t ToDatabase(double value, double factor) {
  const double v = std::nearbyint(value * factor);
  if (!(v > -2147483647.0)) return -2147483647;
  if (v > 2147483647.0) return 2147483647;
  return static_cast<int32_t>(v);
}

}  // namespace

TGerberDrillReader::TGerberDrillReader(const std::string& fileName) : TGerberReader(fileName, false) {
  MarksZeroDraws = false;
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
  if (!Opened) return;
  if (Failed) {
    NothingImported(ErrorText);
    return;
  }
  for (const auto& [tool, diameter] : NewSizes) ToolTable[tool].Diameter = diameter;
  for (const THole& h : Pending)
    if (DRDB == nullptr || DRDB->AddHoleOnLayer(h.X, h.Y, CurrentLayer, h.Tool, false) == 0) {
      ++Dropped;
      --Holes;
    }
}

namespace {

int32_t SizeOfTool(const std::vector<std::pair<int32_t, int32_t>>& sizes, int32_t tool) {
  for (const auto& [t, d] : sizes)
    if (t == tool) return d;
  return -1;
}

}  // namespace

bool TGerberDrillReader::FlashHook(int64_t x, int64_t y, int64_t apertureSize) {
  if (Layer != 0) return true;
  const double factor = GerberImportDefaults.Metric ? GerberMetricFactor : GerberInchFactor;
  double fx = static_cast<double>(x), fy = static_cast<double>(y);
  ToImage(fx, fy);
  const int32_t px = ToDatabase(fx, factor), py = ToDatabase(fy, factor);
  const double size = static_cast<double>(apertureSize) * ImageScale();
  if (!(std::fabs(size * factor) <= 2147483647.0)) {
    Fail(kGerberSizeBeyondJob);
    return true;
  }
  const int32_t diameter = ToDatabase(size, factor);
  int32_t tool = 0;
  if (ImportTools[static_cast<std::size_t>(LastTool)] && SizeOfTool(NewSizes, LastTool) == diameter) {
    tool = LastTool;
  } else {
    for (const auto& [t, d] : NewSizes)
      if (d == diameter) {
        tool = t;
        break;
      }
    for (int32_t t = 1; t <= 1000 && tool == 0; ++t)
      if (!UsedTools[static_cast<std::size_t>(t)]) {
        tool = t;
        NewSizes.emplace_back(t, diameter);
        UsedTools[static_cast<std::size_t>(t)] = true;
      }
  }
  if (tool == 0) {
    ++Dropped;
    return false;
  }
  // Held back only while the drill layers have room for them.
  if (static_cast<int64_t>(Pending.size()) >= DrillRoomForImport()) {
    Fail("the file flashes " + NoRoomForHolesText() + ".");
    return true;
  }
  Pending.push_back({px, py, tool});
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
  if (!reader.Opened || reader.Failed) return;
  // The holes stand; what did not become one as flashed is said.
  std::string notice = GerberSkippedNotice(reader, "holes of a tool of diameter 0");
  if (reader.Holes == 0 && reader.Dropped == 0) {
    NothingImported("<" + fileName + "> draws nothing." + (notice.empty() ? "" : "\n" + notice));
    return;
  }
  if (reader.Dropped > 0)
    notice += (notice.empty() ? "" : "\n\n") + std::to_string(reader.Dropped) +
              (reader.Dropped == 1 ? " flash was" : " flashes were") +
              " not imported: every one of the 1000 tools is in use.";
  if (notice.empty()) return;
  if (reader.Window) reader.Window->WriteLn(notice);
  InformationBox(notice);
}
