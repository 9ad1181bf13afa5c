// Set-up of the plot tests: empty CAD and drill databases, a PLOTSPEC.TXT
// with a letter and a large paper, the page placed at the world origin,
// every plot dialog answered with OK, and a device that records its pen
// moves instead of writing a file.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "korvex_test.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/tool_tables.h"
#include "model/undo_journal.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"
#include "plot/plot_commands.h"
#include "plot/plot_device.h"
#include "plot/plot_placement.h"

constexpr int32_t Inch = 25400000;

// "Letter" 11 x 8.5 in without offsets, "Offset" 10 x 10 in with offsets
// 0.5 and 0.25 in, "Wide" 80 x 36 in.
inline const char* const PlotSpecText =
    "KORVEX plotter papers\r\n"
    "width, height, X offset, Y offset in inches\r\n"
    "Letter\r\n11\r\n8.5\r\n0\r\n0\r\n"
    "Offset\r\n10 ; inches\r\n10\r\n.5\r\n.25\r\n"
    "Wide\r\n80\r\n36\r\n0\r\n0\r\n";

// A file device that records what it is asked to draw, in device steps.
class TRecordingPlotDevice : public TFilePlotDevice {
 public:
  TRecordingPlotDevice() : TFilePlotDevice("unused") {}
  bool BeginPlot() override { return true; }
  void EndPlot() override {}
  void SelectPen(int32_t pen) override { Pens.push_back(pen); }
  void PenUpMove(int32_t x, int32_t y) override { Moves.push_back({'U', x, y}); }
  void PenDownDraw(int32_t x, int32_t y) override { Moves.push_back({'D', x, y}); }
  void WriteLine(const std::string&) override {}
  // Letter paper, normal, 1 : 1, page corner at the world origin.
  void Letter(uint8_t scaleIndex = 2) {
    ScaleIndex = scaleIndex;
    SetPage({"Letter", 11.0, 8.5, 0.0, 0.0, true}, false, 0.0, 0.0);
  }
  struct TMove {
    char Kind;
    int32_t X, Y;
    bool operator==(const TMove&) const = default;
  };
  std::vector<TMove> Moves;
  std::vector<int32_t> Pens;
};

class TPlotTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetModalScripts();
    ResetHeadlessViewServices();
    ASSERT_TRUE(EnsureWorkingDirectories());
    ResetLayerMasks();
    Metric = false;
    DisplayHolesAs = 1;
    ColorHolesBy = 0;
    ToolTable.Fill(TToolRecord{});
    CadUndo = new TCadUndo();
    DrillUndo = new TDrillUndo();
    ActiveUndo = CadUndo;
    DB = new TCadDatabase();
    DRDB = new TDrillDatabase();
    WriteFileBytes(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT", PlotSpecText);
    for (const char* form : {"TPlotPromptDialog", "TPlotConfigurationDialog", "TGerberDialog",
                             "THP7580Dialog", "TQuickPrintDialog"})
      RegisterModalScript(form, [](TForm& f) { f.Click("OKButton"); });
    SetPagePlacer([](int32_t, int32_t, int32_t& x, int32_t& y) {
      x = 0;
      y = 0;
      return true;
    });
  }
  void TearDown() override {
    SetPagePlacer({});
    delete DRDB;
    DRDB = nullptr;
    delete DB;
    DB = nullptr;
    delete DrillUndo;
    DrillUndo = nullptr;
    delete CadUndo;
    CadUndo = nullptr;
    ActiveUndo = nullptr;
    DrawSurface = nullptr;
    ResetModalScripts();
    ResetHeadlessViewServices();
    TKorvexTest::TearDown();
  }

  // Plots to a file through the Plot command with format index 1..4 (a file
  // of the name replaced when asked); the file's text ("" when none was
  // written).
  std::string PlotFile(int format, const std::string& name = "plot.out") {
    const std::string path = (TempDir / name).string();
    ScriptFileDialogAnswer(path, format);
    if (std::filesystem::exists(path)) ScriptMessageBoxAnswer(mrYes);
    PlotToFile();
    EXPECT_EQ(DrawSurface, nullptr);
    return std::filesystem::exists(path) ? ReadFileBytes(path) : std::string();
  }
  // The plot on the letter paper with the options of the plot prompt: the
  // scale index (0..4) and the orientation.
  static void ChoosePaper(int paper, int scale = 2, int orientation = 0) {
    RegisterModalScript("TPlotPromptDialog", [=](TForm& f) {
      f.Get<TRadioGroup>("PaperRadioGroup").SetItemIndex(paper - 1);
      f.Get<TRadioGroup>("ScaleRadioGroup").SetItemIndex(scale);
      f.Get<TRadioGroup>("OrientationRadioGroup").SetItemIndex(orientation);
      f.Click("OKButton");
    });
  }
};

// The lines of a text, without their line ends.
std::vector<std::string> TextLines(const std::string& text);
