#include "tapeout/esi_laser_writer.h"

#include <cstdio>

#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "tapeout/make_drill_tape.h"
#include "tapeout/rout_tape_writer.h"
#include "model/view_services.h"

namespace {

// Database units (a thousandth of a micron) as microns: an integer, or up to
// three decimals without trailing zeros.
std::string Microns(int64_t units) {
  const bool negative = units < 0;
  const uint64_t magnitude = negative ? uint64_t(-(units + 1)) + 1 : uint64_t(units);
  std::string text = std::to_string(magnitude / 1000);
  if (const uint64_t rest = magnitude % 1000; rest != 0) {
    char decimals[8];
    std::snprintf(decimals, sizeof decimals, ".%03u", static_cast<unsigned>(rest));
    text += decimals;
    while (text.back() == '0') text.pop_back();
  }
  return negative ? "-" + text : text;
}

void AddHit(std::vector<std::string>& lines, const TIntPoint& p) {
  lines.push_back("X" + Microns(p.X) + " Y" + Microns(p.Y));
}

}  // namespace

std::vector<std::string> BuildEsiLaserLines(const TDrillTapeProgram& program) {
  std::vector<std::string> lines = {"%", "(ESI 5100)"};
  for (const TDrillTapeTool& tool : program.Tools) {
    lines.push_back("T0 " + IntToShortStr(tool.Tool));
    lines.push_back("T2 " + Microns(tool.Diameter));
    lines.push_back("T1 1");
    auto items = [&lines](const std::vector<TDrillTapeItem>& list) {
      for (const TDrillTapeItem& item : list)
        for (const TIntPoint& p : item.Points) AddHit(lines, p);
    };
    items(tool.Items);
    for (const TDrillTapePattern& pattern : tool.Patterns) items(pattern.Items);
  }
  lines.push_back("M02");
  return lines;
}

bool WriteEsiLaserFile(const std::string& fileName) {
  if (DRDB == nullptr) return false;
  // A laser drills single hits only: everything is expanded.
  TMakeTapeDefaults options = DRDB->MakeTapeDefaults;
  options.ExpandSlots = options.ExpandCircles = options.ExpandDrilledText = options.ExpandSteps = true;
  THourGlassCursor hourglass;
  TDrillTapeProgram program = CollectDrillTape(options, DrillTapeLayerMask(), DefaultDrillFormat(true));
  if (program.Tools.empty()) {
    ErrorBox("There are no drill hits to write on the displayed drill layers.");
    return false;
  }
  TOptimizerOptions order;
  order.Method = options.Optimizer;
  order.BudgetMilliseconds = DrillPathTimeBudget;
  OrderDrillTape(program, order);
  TTapeSwapWriter writer;
  if (!writer.Open(fileName, 0)) return false;
  for (const std::string& line : BuildEsiLaserLines(program)) writer.WriteLine(line);
  return writer.Commit();
}

bool MakeEsiLaserFile() {
  if (DRDB == nullptr) return false;
  std::string name = DrillMakeTapePath + "*.*";
  {
    TModalBracket bracket;
    if (!ExecuteSaveFileDialog("Save ESI Laser File as:", name, 255)) return false;
  }
  if (FileExistsNoWild(name)) name = ExistingFileName(name);  // the file replaced, in its own spelling
  if (FileExistsNoWild(name) && !ConfirmOverwrite(name)) return false;
  if (!WriteEsiLaserFile(name)) return false;
  DrillMakeTapePath = FolderOf(name);
  return true;
}
