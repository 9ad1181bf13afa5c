// The RS-274X check plot of the started program with "Flash true sized
// holes": every hole is flashed with the aperture of the file's own table
// that has its size, a hole larger than the table's largest is drawn as its
// circle, and the lines are drawn with the pen's aperture.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "../workspace/workspace_test_support.h"
#include "model/drill_database.h"
#include "model/tool_tables.h"
#include "platform/headless/headless_events.h"
#include "workspace/layers.h"

namespace {

constexpr int32_t In = 25400000;

class TRS274XTrueSizeTest : public TWorkspaceDialogsTest {};

// What the file says: its aperture table (D code to diameter in thousandths
// of an inch), its flashes and the ends of its draws, each with the aperture
// in force.
struct TBlock {
  int64_t X, Y;
  int DCode;
};
struct TPlotFile {
  std::map<int, double> Apertures;
  std::vector<TBlock> Flashes, Draws;
};

TPlotFile ReadPlot(const std::string& text) {
  TPlotFile file;
  const std::regex aperture(R"(%ADD(\d+)C,([0-9.]+)\*%)"), select(R"(D(\d+)\*)"),
      block(R"((?:X(-?\d+))?(?:Y(-?\d+))?(?:I-?\d+J-?\d+)?D0?([123])\*)");
  int64_t x = 0, y = 0;
  int current = 0;
  std::istringstream lines(text);
  std::string line;
  std::smatch m;
  while (std::getline(lines, line)) {
    if (std::regex_match(line, m, aperture)) {
      file.Apertures[std::stoi(m[1])] = std::stod(m[2]) * 1000;
    } else if (std::regex_match(line, m, select) && std::stoi(m[1]) >= 10) {
      current = std::stoi(m[1]);
    } else if (std::regex_match(line, m, block)) {
      if (m[1].matched) x = std::stoll(m[1]);
      if (m[2].matched) y = std::stoll(m[2]);
      if (m[3] == "3") file.Flashes.push_back({x, y, current});
      if (m[3] == "1") file.Draws.push_back({x, y, current});
    }
  }
  return file;
}

TEST_F(TRS274XTrueSizeTest, HolesAreFlashedWithTheApertureOfTheirSize) {
  TWorkspace& form = StartProgram();
  WriteFileBytes(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT",
                 "papers\nof the test\nLetter\n11\n8.5\n0\n0\n");
  SelectLayer(30);
  Run(form, emDrill, "TrueSize1");
  ASSERT_EQ(DisplayHolesAs, 1);
  // The page's corner is where the mouse places it; the holes an inch and
  // more from it, one row per tool.
  const int32_t cx = MyScreen->MouseToWorldX(100), cy = MyScreen->MouseToWorldY(200);
  const std::vector<int32_t> diameters = {In / 1000 * 13, In / 50, 3 * In / 100 + In / 4000, In / 10,
                                          In / 4, In / 1000 * 299, In / 2};
  struct THole {
    int64_t X, Y;  // thousandths of an inch from the page's corner
    int32_t Diameter;
  };
  std::vector<THole> holes;
  for (size_t t = 0; t < diameters.size(); ++t) {
    ToolTable[int32_t(t) + 1].Diameter = diameters[t];
    for (int k = 0; k < 2; ++k) {
      DRDB->AddHoleOnLayer(cx + In + k * In, cy + In + int32_t(t) * In, 30, int32_t(t) + 1, true);
      holes.push_back({1000 + 1000 * k, 1000 + 1000 * int64_t(t), diameters[t]});
    }
  }
  for (const char* f : {"TPlotPromptDialog", "TPlotConfigurationDialog"})
    RegisterModalScript(f, [](TForm& dialog) { dialog.Click("OKButton"); });
  RegisterModalScript("TGerberDialog", [](TForm& f) {
    f.Get<TCheckBox>("FlashCheckBox").SetChecked(true);
    f.Click("OKButton");
  });
  int step = 0;
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acPrintPlacement) return;
    static const uint16_t kinds[] = {ievMouseMove, ievMouseDown, ievMouseUp};
    TInputEvent e;
    e.Kind = kinds[step++ % 3];
    e.Buttons = e.Kind == ievMouseDown ? mbtLeft : 0;
    e.X = 100;
    e.Y = 200;
    MyScreen->HandleEvent(e);
  });
  const std::string path = (TempDir / "check.gbr").string();
  ScriptFileDialogAnswer(path, 3);  // RS274X
  Run(form, emDrill, "Plot1");
  HeadlessSetProcessMessagesHook({});
  ASSERT_TRUE(std::filesystem::exists(path));
  const TPlotFile file = ReadPlot(ReadFileBytes(path));
  ASSERT_EQ(file.Apertures.size(), 300u);

  size_t flashed = 0;
  for (const THole& h : holes) {
    const double thousandths = h.Diameter * 1000.0 / In;
    SCOPED_TRACE(thousandths);
    std::vector<double> sizes;
    for (const TBlock& f : file.Flashes)
      if (f.X == h.X && f.Y == h.Y) sizes.push_back(file.Apertures.count(f.DCode) ? file.Apertures.at(f.DCode) : -1);
    if (thousandths < 299.5) {
      // Flashed once, at the size the table holds: whole thousandths.
      EXPECT_EQ(sizes, std::vector<double>{std::round(thousandths)});
      ++flashed;
      continue;
    }
    // The half inch hole: no flash, its circle drawn around it.
    EXPECT_TRUE(sizes.empty());
    int onCircle = 0;
    for (const TBlock& d : file.Draws)
      onCircle += std::fabs(std::hypot(double(d.X - h.X), double(d.Y - h.Y)) - thousandths / 2) <= 1.5 ? 1 : 0;
    EXPECT_GE(onCircle, 8);
  }
  EXPECT_EQ(flashed, holes.size() - 2);
  // The lines of the plot (the circle, the title block) are drawn with a
  // pen's aperture, not with a hole's left in force by a flash.
  ASSERT_FALSE(file.Draws.empty());
  for (const TBlock& d : file.Draws) ASSERT_LE(file.Apertures.at(d.DCode), 15) << d.DCode;
}

}  // namespace
