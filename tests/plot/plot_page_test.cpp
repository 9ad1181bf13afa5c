// The page of a plot: the papers of PLOTSPEC.TXT, the world-to-device
// arithmetic, cutting lines at the page edge, the frame and the title
// block, and the plot prompt's refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "foundation/file_utils.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_files.h"
#include "plot/plot_clip.h"
#include "plot/plot_dialogs.h"
#include "plot/plot_title_block.h"
#include "plot_test_support.h"

namespace {

using TMove = TRecordingPlotDevice::TMove;

TEST(PlotClipTest, SegmentsAreCutExactlyAtTheWindowEdges) {
  const TClipWindow w{0, 0, 100, 50};
  // The cut ends, rounded to whole device steps as the devices use them.
  auto clip = [&](double x1, double y1, double x2, double y2) {
    TRealLine l = ClipSegmentToWindow(w, {{x1, y1}, {x2, y2}});
    for (double* v : {&l.P1.X, &l.P1.Y, &l.P2.X, &l.P2.Y}) *v = std::round(*v * 1e6) / 1e6 + 0.0;
    return l;
  };
  EXPECT_EQ(clip(10, 10, 90, 40), (TRealLine{{10, 10}, {90, 40}}));
  // From inside to far outside: cut at the right edge, where y = 30.
  EXPECT_EQ(clip(50, 10, 250, 50), (TRealLine{{50, 10}, {100, 20}}));
  // Both ends outside, crossing the whole window.
  EXPECT_EQ(clip(-50, 25, 150, 25), (TRealLine{{0, 25}, {100, 25}}));
  EXPECT_EQ(clip(50, -10, 50, 80), (TRealLine{{50, 0}, {50, 50}}));
  // Corner regions: a diagonal through the window from below-left to
  // above-right.
  EXPECT_EQ(clip(-10, -5, 110, 55), (TRealLine{{0, 0}, {100, 50}}));
  // Beside the window, on one side, and across two corner regions that
  // miss the window.
  EXPECT_EQ(clip(-10, 0, -5, 40), TRealLine{});
  EXPECT_EQ(clip(10, 60, 90, 70), TRealLine{});
  EXPECT_EQ(clip(-20, 40, 20, 80), TRealLine{});
  EXPECT_EQ(clip(90, -20, 130, 20), TRealLine{});
  EXPECT_EQ(ClipRegion(w, -1, 51), 1);
  EXPECT_EQ(ClipRegion(w, 101, -1), 8);
  EXPECT_EQ(ClipRegion(w, 100, 50), 0);
  // A clip clears an earlier kernel error; a window with no inside is one.
  GeoErrorCode = 6;
  clip(-50, 25, 150, 25);
  EXPECT_EQ(GeoErrorCode, 0);
  for (const TClipWindow bad : {TClipWindow{0, 0, 100, 0}, TClipWindow{0, 0, -100, 50}}) {
    EXPECT_EQ(ClipSegmentToWindow(bad, {{-50, 25}, {150, 25}}), TRealLine{});
    EXPECT_EQ(GeoErrorCode, 2);
  }
}

TEST(PaperSpecTest, NumbersNamesAndTheFivePaperLimit) {
  TPaperTable papers;
  ReadPaperSpecs("a\nb\nOne\n5\n.5\n-.5\n12 twelve ; comment\n"
                 "Two\n\n; a comment line\n  7.25\nabc\n0\n0\n",
                 papers);
  ASSERT_EQ(papers.Count, 2);
  EXPECT_EQ(papers[1].Name, "One");
  EXPECT_DOUBLE_EQ(papers[1].Width, 5.0);
  EXPECT_DOUBLE_EQ(papers[1].Height, 0.5);
  EXPECT_DOUBLE_EQ(papers[1].OffsetX, -0.5);
  EXPECT_DOUBLE_EQ(papers[1].OffsetY, 12.0);
  EXPECT_DOUBLE_EQ(papers[2].Width, 7.25);
  EXPECT_DOUBLE_EQ(papers[2].Height, 0.0);  // a word that is no number
  EXPECT_TRUE(papers[2].Valid);

  std::string seven = "x\ny\n";
  for (int i = 1; i <= 7; ++i) seven += "P" + std::to_string(i) + "\n1\n2\n3\n4\n";
  ReadPaperSpecs(seven, papers);
  EXPECT_EQ(papers.Count, 5);
  EXPECT_EQ(papers[5].Name, "P5");

  // A paper cut short by the end of the file is not counted.
  ReadPaperSpecs("x\ny\nShort\n1\n2\n", papers);
  EXPECT_EQ(papers.Count, 0);
}

class PlotPageTest : public TPlotTest {};

TEST_F(PlotPageTest, APageWithoutHeightReportsAnIllegalClipWindowAndThePlotGoesOn) {
  // The height is a word, read as 0: no line that leaves the page can be cut.
  WriteFileBytes(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT",
                 "papers\r\nwidth, height\r\nFlat\r\n10\r\nnone\r\n0\r\n0\r\n");
  for (int i = 0; i < 50; ++i) DB->AddLineOnLayer(-Inch, Inch + i * Inch / 10, 20 * Inch, Inch, 0);
  const std::string ps = PlotFile(4);
  EXPECT_NE(ps.find("showpage"), std::string::npos);
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_EQ(ShownMessageBoxes().back().Text, "Error: Illegal Clip Window");
  // Fifty lost lines, one box: the operator is not asked fifty times.
  int clipBoxes = 0;
  for (const auto& box : ShownMessageBoxes()) clipBoxes += box.Text == "Error: Illegal Clip Window";
  EXPECT_EQ(clipBoxes, 1);
  EXPECT_EQ(DrawSurface, nullptr);
}

TEST_F(PlotPageTest, MissingOrEmptyPaperFileEndsThePlotBeforeAnyOutput) {
  std::filesystem::remove(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT");
  EXPECT_EQ(PlotFile(4), "");
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_EQ(ShownMessageBoxes().back().Text,
            "Error:  Plotter Configuration file \r\n" + ExecutionPath() + "PLOTSPEC.TXT missing");
  WriteFileBytes(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT", "only\ntwo lines\n");
  EXPECT_EQ(PlotFile(4), "");
  EXPECT_EQ(ShownMessageBoxes().back().Text, "Error:  No Paper Specs in PLOTSPEC.TXT");
}

TEST_F(PlotPageTest, APaperFileWithAnEndlessLineIsRefusedLikeAnEmptyOne) {
  // Good papers behind a first line without end: the file is no paper list
  // and is not read whole.
  const std::string papers = "Letter\n8.5\n11\n0\n0\n";
  WriteFileBytes(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT",
                 std::string(kMaxTextLine + 10, 'x') + "\nfree\n" + papers);
  const std::size_t shown = ShownMessageBoxes().size();
  EXPECT_EQ(PlotFile(4), "");
  ASSERT_EQ(ShownMessageBoxes().size(), shown + 1);
  EXPECT_EQ(ShownMessageBoxes().back().Text, "Error:  No Paper Specs in PLOTSPEC.TXT");
  // The same papers in CR LF lines plot.
  WriteFileBytes(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT",
                 "one\r\ntwo\r\nLetter\r\n8.5\r\n11\r\n0\r\n0\r\n");
  EXPECT_NE(PlotFile(4), "");
  EXPECT_EQ(ShownMessageBoxes().size(), shown + 1);
}

TEST_F(PlotPageTest, WorldToDeviceFollowsScaleOriginAndRotation) {
  TRecordingPlotDevice d;
  d.Letter();
  int32_t x, y;
  d.WorldToDevice(Inch, 2.0 * Inch, x, y);
  EXPECT_EQ(x, 10000);
  EXPECT_EQ(y, 20000);
  EXPECT_EQ(d.LengthToDevice(Inch / 2), 5000);
  d.ScaleIndex = 0;  // 1/4 : 1
  d.WorldToDevice(Inch, 2.0 * Inch, x, y);
  EXPECT_EQ(x, 2500);
  EXPECT_EQ(y, 5000);
  // Rotated: the drawing turns by 90 degrees about the page origin, which
  // then sits at the top-left of the placed area.
  d.ScaleIndex = 2;
  d.SetPage({"Letter", 11.0, 8.5, 0.0, 0.0, true}, true, 0.0, 11.0 * Inch);
  d.WorldToDevice(Inch, 10.0 * Inch, x, y);
  EXPECT_EQ(x, 10000);
  EXPECT_EQ(y, 10000);
  int32_t wx, wy;
  d.DeviceToWorld(x, y, wx, wy);
  EXPECT_EQ(wx, Inch);
  EXPECT_EQ(wy, 10 * Inch);
  EXPECT_EQ(d.PageWidth, 110000);
  EXPECT_EQ(d.PageHeight, 85000);
}

TEST_F(PlotPageTest, LinesLeavingThePageAreCutAndSymbolsOffThePageLeftOut) {
  TRecordingPlotDevice d;
  d.Letter();
  d.DrawLine(Inch, Inch, 20 * Inch, Inch);
  d.DrawLine(-5 * Inch, Inch, -Inch, 2 * Inch);  // wholly beside the page
  EXPECT_EQ(d.Moves, (std::vector<TMove>{{'U', 10000, 10000}, {'D', 110000, 10000}}));
  d.Moves.clear();
  d.DrawHoleSymbol(-Inch, Inch, 3);
  EXPECT_TRUE(d.Moves.empty());
  d.DrawHoleSymbol(Inch, Inch, 3);
  EXPECT_FALSE(d.Moves.empty());
  EXPECT_EQ(d.PlotSymbols->GetSize(), 200);  // 0.02 in
}

TEST_F(PlotPageTest, TitleBlockAndToolTableStackAtTheBottomRight) {
  TRecordingPlotDevice d;
  d.Letter();
  RegisterModalScript("TPlotConfigurationDialog", [](TForm& f) {
    f.Get<TEdit>("Line1Edit").SetText("Panel 7");
    f.Get<TCheckBox>("FormatBlockCheckBox").SetChecked(true);
    f.Click("OKButton");
  });
  d.ScaleY = -d.ScaleY;
  DrawTitleBlock(d);
  EXPECT_TRUE(d.PlotFormatBlock);
  EXPECT_EQ(d.TitleBlockEdge(), 6200);  // 0.62 in above the bottom
  d.HitsPerTool[7] = 3;
  d.HitsPerTool[120] = 123456;
  d.ToolDiameter[7] = Inch / 40;
  d.Moves.clear();
  DrawToolTable(d);
  d.ScaleY = -d.ScaleY;
  // Totals row and two tool rows of 0.2 in each.
  EXPECT_EQ(d.TitleBlockEdge(), 6200 + 3 * 2000);
  // Every row's left border stands 1.625 in from the right edge.
  int borders = 0;
  for (size_t i = 0; i + 1 < d.Moves.size(); ++i)
    if (d.Moves[i].Kind == 'U' && d.Moves[i].X == 110000 - 16250 && d.Moves[i + 1].X == 110000 - 16250)
      ++borders;
  EXPECT_GE(borders, 3);
  // Nothing of the block leaves the page.
  for (const TMove& m : d.Moves) {
    EXPECT_GE(m.X, 0);
    EXPECT_LE(m.X, 110000);
    EXPECT_GE(m.Y, 0);
  }
}

TEST_F(PlotPageTest, ToolRowsSizesAndHoleLetters) {
  EXPECT_EQ(FormatToolSize(Inch / 40), "0.0250\" ");
  Metric = true;
  EXPECT_EQ(FormatToolSize(149860), " 0.150mm");  // 0.0059 in
  EXPECT_EQ(FormatToolSize(342900), " 0.350mm");  // #80 drill, 0.0135 in
  EXPECT_EQ(MetricDrillSize(135), 350);
  Metric = false;
  EXPECT_EQ(ToolRowText(7, Inch / 40, 3), "T07=0.0250\"      3");
  EXPECT_EQ(ToolRowText(120, Inch, 1234567), "T120=1.0000\"  1234567");
  EXPECT_EQ(HoleLetterOf(53), 'A');
  EXPECT_EQ(HoleLetterOf(27), 'a');
  EXPECT_EQ(HoleLetterOf(52), 'z');
  EXPECT_EQ(MetricDrillSize(59), 150);
}

TEST_F(PlotPageTest, PlotPromptRefusesIllegalCustomSizesAndKeepsOneCustomPaper) {
  auto custom = [](const char* x, const char* y) {
    RegisterModalScript("TPlotPromptDialog", [=](TForm& f) {
      auto& papers = f.Get<TRadioGroup>("PaperRadioGroup");
      papers.SetItemIndex(int(papers.Items().size()) - 1);
      f.Get<TEdit>("XEdit").SetText(x);
      f.Get<TEdit>("YEdit").SetText(y);
      f.Click("OKButton");
    });
  };
  custom("0.5", "11");
  EXPECT_EQ(PlotFile(4), "");
  EXPECT_EQ(ShownMessageBoxes().back().Text, "Illegal entry <0.5>");
  custom("80.01", "11");
  EXPECT_EQ(PlotFile(4), "");
  EXPECT_EQ(ShownMessageBoxes().back().Text, "Illegal entry <80.01>");
  EXPECT_DOUBLE_EQ(PlotDefaults.XCustomSize, 8.5);
  custom("80", "12");
  EXPECT_NE(PlotFile(4), "");
  EXPECT_DOUBLE_EQ(PlotDefaults.XCustomSize, 80.0);

  TPaperTable papers;
  papers.Count = 1;
  papers[1] = {"Custom", 20.0, 30.0, 0.0, 0.0, true};
  std::vector<std::string> shown;
  RegisterModalScript("TPlotPromptDialog", [&](TForm& f) {
    shown = f.Get<TRadioGroup>("PaperRadioGroup").Items();
    EXPECT_EQ(f.Get<TEdit>("XEdit").Text(), "20.0");
    f.Click("CancelButton");
  });
  EXPECT_FALSE(RunPlotPrompt(papers));
  EXPECT_EQ(shown, std::vector<std::string>{"Custom"});
  EXPECT_EQ(papers.Count, 1);
}

TEST_F(PlotPageTest, CancelWithSetDefaultsSavesTheDefaultsAsLoaded) {
  PlotDefaults.ScaleChosen = 3;
  SavePlotDefaults();
  RegisterModalScript("TPlotPromptDialog", [](TForm& f) {
    f.Get<TRadioGroup>("ScaleRadioGroup").SetItemIndex(0);
    f.Get<TCheckBox>("DefaultsCheckBox").SetChecked(true);
    f.Click("CancelButton");
  });
  EXPECT_EQ(PlotFile(4), "");
  TPlotDefaults loaded;
  LoadPlotDefaults(loaded);
  EXPECT_EQ(loaded.ScaleChosen, 3);
}

TEST_F(PlotPageTest, QuarterScaleOnWidePaperExceedsTheDatabaseAndAsksAgain) {
  int shown = 0;
  RegisterModalScript("TPlotPromptDialog", [&](TForm& f) {
    ++shown;
    f.Get<TRadioGroup>("PaperRadioGroup").SetItemIndex(2);
    f.Get<TRadioGroup>("ScaleRadioGroup").SetItemIndex(shown == 1 ? 0 : 4);
    f.Click(shown <= 2 ? "OKButton" : "CancelButton");
  });
  EXPECT_NE(PlotFile(4), "");
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(ShownMessageBoxes().back().Text,
            "Your paper size and scale combination exceed the\r\ndatabase limits.  Please choose "
            "a larger scale.");
}

TEST_F(PlotPageTest, GivingUpThePlacementShowsThePromptAgain) {
  int prompts = 0, placements = 0;
  RegisterModalScript("TPlotPromptDialog", [&](TForm& f) {
    ++prompts;
    f.Click(prompts <= 2 ? "OKButton" : "CancelButton");
  });
  SetPagePlacer([&](int32_t w, int32_t h, int32_t& x, int32_t& y) {
    EXPECT_EQ(w, 11 * Inch);
    EXPECT_EQ(h, SaturatingRound(8.5 * Inch - 0.4999999));
    x = y = 0;
    return ++placements == 2;
  });
  EXPECT_NE(PlotFile(4), "");
  EXPECT_EQ(prompts, 2);
  EXPECT_EQ(placements, 2);
}

TEST_F(PlotPageTest, HiddenLayersAreLeftOutButTheFrameIsAlwaysDrawn) {
  DB->AddLineOnLayer(Inch, Inch, 2 * Inch, Inch, 0);
  DB->AddLineOnLayer(Inch, 3 * Inch, 2 * Inch, 3 * Inch, 1);
  DisplayedLayerMask &= ~CadLayerBit(1);
  const std::string ps = PlotFile(4);
  EXPECT_NE(ps.find("72.0 72.0 moveto \n144.0 72.0 lineto"), std::string::npos);
  EXPECT_EQ(ps.find("144.0 216.0 lineto"), std::string::npos);
  // The frame's last side runs back to the page origin.
  EXPECT_NE(ps.find("0.0 0.0 lineto"), std::string::npos);
}

TEST_F(PlotPageTest, AFailedWriteLeavesTheOldFileAndSaysWhy) {
  DB->AddLineOnLayer(Inch, Inch, 2 * Inch, Inch, 0);
  WriteFileBytes(TempDir / "old.ps", "old plot");
  HeadlessFailWritesAfter(100);
  EXPECT_EQ(PlotFile(4, "old.ps"), "old plot");
  HeadlessFailWritesAfter(-1);
  const std::string text = ShownMessageBoxes().back().Text;
  EXPECT_NE(text.find("while writing the plot file"), std::string::npos) << text;
  // No temporary file is left beside it.
  for (const auto& entry : std::filesystem::directory_iterator(TempDir))
    if (entry.is_regular_file()) {
      EXPECT_EQ(entry.path().filename(), "old.ps");
    }
  // A new plot into a folder that does not exist fails the same way.
  EXPECT_EQ(PlotFile(4, "missing/new.ps"), "");
  EXPECT_NE(ShownMessageBoxes().back().Text.find("missing/new.ps"), std::string::npos);
}

}  // namespace
