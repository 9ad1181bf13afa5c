#include "tapeout/drill_gerber_writer.h"

#include <cmath>
#include <cstdio>

#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "platform/message_box.h"
#include "tapeout/rout_tape_writer.h"

namespace {

std::string Coordinate(int32_t units, bool metric) {
  const double scale = metric ? 1000.0 / 1000000.0 : 10000.0 / 25400000.0;
  return std::to_string(static_cast<int64_t>(std::nearbyint(units * scale)));
}

std::string Size(int32_t units, bool metric) {
  char text[32];
  std::snprintf(text, sizeof text, metric ? "%.3f" : "%.4f",
                units / static_cast<double>(UnitsFactorOf(metric)));
  return text;
}

}  // namespace

std::vector<std::string> BuildDrillGerberLines(const TDrillTapeProgram& program, bool metric) {
  std::vector<std::string> lines = {metric ? "%FSLAX33Y33*%" : "%FSLAX24Y24*%",
                                    metric ? "%MOMM*%" : "%MOIN*%", "%LPD*%"};
  for (std::size_t i = 0; i < program.Tools.size(); ++i)
    lines.push_back("%ADD" + std::to_string(10 + i) + "C," +
                    Size(std::max(program.Tools[i].Diameter, 1), metric) + "*%");
  for (std::size_t i = 0; i < program.Tools.size(); ++i) {
    lines.push_back("D" + std::to_string(10 + i) + "*");
    auto flash = [&](const std::vector<TDrillTapeItem>& items) {
      for (const TDrillTapeItem& item : items)
        for (const TIntPoint& p : item.Points)
          lines.push_back("X" + Coordinate(p.X, metric) + "Y" + Coordinate(p.Y, metric) + "D03*");
    };
    flash(program.Tools[i].Items);
    for (const TDrillTapePattern& pattern : program.Tools[i].Patterns) flash(pattern.Items);
  }
  lines.push_back("M02*");
  return lines;
}

std::string DrillGerberFileName(const std::string& gerberPath, const std::string& tapeName) {
  std::string folder = TrimBlanks(gerberPath);
  if (folder.empty()) folder = FolderOf(tapeName);
  else if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder + BareName(tapeName) + ".GBR";
}

bool WriteDrillGerberFile(const std::string& fileName, bool metric) {
  if (DRDB == nullptr) return false;
  TMakeTapeDefaults options = DRDB->MakeTapeDefaults;
  options.ExpandSlots = options.ExpandCircles = options.ExpandDrilledText = options.ExpandSteps = true;
  const TDrillTapeProgram program = CollectDrillTape(options, DrillTapeLayerMask(), DefaultDrillFormat(true));
  TTapeSwapWriter writer;
  if (!writer.Open(fileName, 0)) return false;
  for (const std::string& line : BuildDrillGerberLines(program, metric)) writer.WriteLine(line);
  return writer.Commit();
}
