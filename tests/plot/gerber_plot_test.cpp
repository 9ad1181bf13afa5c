// The photoplot plot files: the blocks of lines, pens, arcs and flashes,
// the RS-274X header, and both files read back by the program's own
// photoplot reader with the same draws and flashes.
#include <gtest/gtest.h>

#include "import/gerber_reader.h"
#include "platform/headless/headless_forms.h"
#include "plot/gerber_plot_device.h"
#include "plot_test_support.h"

namespace {

template <class TDevice>
class TTestPhotoplot : public TDevice {
 public:
  TTestPhotoplot() : TDevice("unused") {
    this->ScaleIndex = 2;
    this->SetPage({"Letter", 11.0, 8.5, 0.0, 0.0, true}, false, 0.0, 0.0);
    this->OpenOutput();
    this->OutputFactor = 0.1;
  }
  void Start() { this->StartOutput(); }
  std::vector<std::string> Lines() const { return TextLines(this->Output()); }
};
using TTestGerber = TTestPhotoplot<TGerberPlotDevice>;
using TTestRS274X = TTestPhotoplot<TRS274XPlotDevice>;

// Records what the reader hands to its sinks, in file units.
class TReadBack : public TGerberReader {
 public:
  explicit TReadBack(const std::string& name) : TGerberReader(name, true) {}
  void Line(int64_t x1, int64_t y1, int64_t x2, int64_t y2) override {
    Lines.push_back({x1, y1, x2, y2});
  }
  void Arc(bool ccw, bool, int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t,
           int64_t) override {
    Arcs.push_back({ccw, x1, y1, x2, y2});
  }
  bool FlashHook(int64_t x, int64_t y, int64_t) override {
    Flashes.push_back({x, y, CurrentDCode});
    return true;
  }
  std::vector<std::array<int64_t, 4>> Lines;
  std::vector<std::array<int64_t, 5>> Arcs;
  std::vector<std::array<int64_t, 3>> Flashes;
};

class GerberPlotTest : public TPlotTest {};

TEST_F(GerberPlotTest, LinesPensAndModalCoordinates) {
  TTestGerber d;
  d.SetColor(0);
  d.DrawLine(Inch, Inch, 2 * Inch, Inch);
  d.DrawLine(3 * Inch, Inch, 4 * Inch, 2 * Inch);
  EXPECT_EQ(d.Lines(), (std::vector<std::string>{"G54D10*", "D2*", "X1000Y1000*", "X2000D1*",
                                                 "X3000D2*", "X4000Y2000D1*"}));
  // Pens 1 and 101 are both D10; pen 16 is D25.
  d.SelectPen(101);
  EXPECT_EQ(d.Lines().size(), 6u);
  d.SelectPen(16);
  EXPECT_EQ(d.Lines()[6], "G54D25*");
  // A move to the current position with the pen up is an empty block.
  d.PenUpMove(40000, 20000);
  EXPECT_EQ(d.Lines().back(), "*");
}

TEST_F(GerberPlotTest, ArcsAreSplitAtQuadrantsWithUnsignedOffsets) {
  TTestGerber d;
  d.CircularInterpolation = true;
  d.SelectPen(1);
  // Half a turn counter-clockwise from 0 to 180 degrees about (3, 3) in.
  d.DrawArc(false, 4 * Inch, 3 * Inch, 2 * Inch, 3 * Inch, 3 * Inch, 3 * Inch);
  const auto lines = d.Lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[2], "X4000Y3000*");
  EXPECT_EQ(lines[3], "G3X3000Y4000I1000J0D1*");
  EXPECT_EQ(lines[4], "G3X2000Y3000I0J1000*");
  // The next straight move goes back to linear interpolation.
  d.DrawLine(Inch, Inch, 2 * Inch, Inch);
  EXPECT_EQ(d.Lines()[5], "G1X1000Y1000D2*");
  // Clockwise three quarters from 90 to 180 degrees: 90, 0, 270, 180.
  d.DrawArc(true, 3 * Inch, 4 * Inch, 2 * Inch, 3 * Inch, 3 * Inch, 3 * Inch);
  const std::vector<std::string> all = d.Lines();
  const std::vector<std::string> cw(all.begin() + 7, all.end());
  EXPECT_EQ(cw, (std::vector<std::string>{"X3000Y4000D2*", "G2X4000Y3000I0J1000D1*",
                                          "G2X3000Y2000I1000J0*", "G2X2000Y3000I0J1000*"}));
}

TEST_F(GerberPlotTest, FlashesNeedTrueSizeHolesAndThePage) {
  DisplayHolesAs = 2;
  bool enabled = true;
  RegisterModalScript("TGerberDialog", [&](TForm& f) {
    enabled = f.Get<TCheckBox>("FlashCheckBox").Enabled();
    f.Get<TCheckBox>("FlashCheckBox").SetChecked(true);
    f.Click("OKButton");
  });
  TTestGerber d;
  ASSERT_TRUE(d.BeginPlot());
  EXPECT_FALSE(enabled);
  EXPECT_FALSE(d.FlashHoles);
  DisplayHolesAs = 1;
  ASSERT_TRUE(d.BeginPlot());
  EXPECT_TRUE(d.FlashHoles);
  d.SetColor(0);
  d.DrawCircleDia(Inch, Inch, Inch / 10);
  d.DrawCircleDia(-Inch, Inch, Inch / 10);  // off the page: nothing
  EXPECT_EQ(d.Lines().back(), "X1000Y1000D3*");
  RegisterModalScript("TGerberDialog", [](TForm& f) { f.Click("CancelButton"); });
  EXPECT_EQ(PlotFile(1), "");  // cancelled: no file
}

TEST_F(GerberPlotTest, PaperOffsetsMoveEveryCoordinate) {
  TTestGerber d;
  d.SetPage({"Offset", 10.0, 10.0, 0.5, 0.25, true}, false, 0.0, 0.0);
  d.SetColor(0);
  d.DrawLine(Inch, Inch, 2 * Inch, Inch);
  EXPECT_EQ(d.Lines()[2], "X1500Y1250*");
}

TEST_F(GerberPlotTest, RS274XIsWellFormedAndReadsBackTheSame) {
  DB->AddLineOnLayer(Inch, Inch, 3 * Inch, 2 * Inch, 0);
  DB->AddArcOnLayer({4 * Inch, 3 * Inch}, {2 * Inch, 3 * Inch}, {3 * Inch, 3 * Inch}, 0);
  ToolTable[1].Diameter = Inch / 20;
  DRDB->AddHoleOnLayer(5 * Inch, 5 * Inch, 30, 1, true);
  DRDB->AddHoleOnLayer(6 * Inch, 5 * Inch, 30, 1, true);
  RegisterModalScript("TGerberDialog", [](TForm& f) {
    f.Get<TCheckBox>("InterpolationCheckBox").SetChecked(true);
    f.Get<TCheckBox>("FlashCheckBox").SetChecked(true);
    f.Click("OKButton");
  });
  const std::string text = PlotFile(3, "check.gbr");
  const std::vector<std::string> lines = TextLines(text);
  ASSERT_GT(lines.size(), 310u);
  EXPECT_EQ(lines[1], "%FSLAX23Y23*%");
  EXPECT_EQ(lines[2], "%MOIN*%");
  EXPECT_EQ(lines[4], "%ADD10C,0.010*%");
  EXPECT_EQ(lines[5], "%ADD11C,0.001*%");
  EXPECT_EQ(lines[303], "%ADD309C,0.299*%");
  EXPECT_EQ(lines.back(), "M02*");
  for (const std::string& line : lines) {
    // One command per block: every block ends in one "*", parameters in
    // "*%".
    if (line[0] == '%') {
      EXPECT_EQ(line.substr(line.size() - 2), "*%") << line;
    } else {
      EXPECT_EQ(line.find('*'), line.size() - 1) << line;
      if (line.rfind("G04 ", 0) != 0) EXPECT_FALSE(line.find('G') == 0 && line.size() > 4) << line;
    }
  }
  RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  TReadBack back((TempDir / "check.gbr").string());
  ASSERT_TRUE(back.Opened);
  back.Run();
  ASSERT_FALSE(back.Failed) << back.ErrorText;
  // The two flashes with the aperture of their 0.050 in.
  ASSERT_EQ(back.Flashes.size(), 2u);
  EXPECT_EQ(back.Flashes[0], (std::array<int64_t, 3>{5000, 5000, 60}));
  EXPECT_EQ(back.Flashes[1], (std::array<int64_t, 3>{6000, 5000, 60}));
  // The CAD line among the draws, and the half circle as two quadrant
  // arcs.
  EXPECT_NE(std::find(back.Lines.begin(), back.Lines.end(),
                      std::array<int64_t, 4>{1000, 1000, 3000, 2000}),
            back.Lines.end());
  ASSERT_EQ(back.Arcs.size(), 2u);
  EXPECT_EQ(back.Arcs[0], (std::array<int64_t, 5>{1, 4000, 3000, 3000, 4000}));
  EXPECT_EQ(back.Arcs[1], (std::array<int64_t, 5>{1, 3000, 4000, 2000, 3000}));
}

TEST_F(GerberPlotTest, PlainGerberReadsBackWithTheApertureList) {
  DB->AddLineOnLayer(Inch, Inch, 3 * Inch, 2 * Inch, 0);
  const std::string text = PlotFile(1, "plain.gbr");
  EXPECT_EQ(TextLines(text).back(), "M02*");
  // The photoplotter's aperture list: the pens' round apertures.
  std::string withList = "%FSLAX23Y23*%\n%MOIN*%\n%ADD10C,0.010*%\n";
  for (int n = 11; n <= 25; ++n) withList += "%ADD" + std::to_string(n) + "C,0.005*%\n";
  WriteFileBytes(TempDir / "listed.gbr", withList + text);
  RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  TReadBack back((TempDir / "listed.gbr").string());
  ASSERT_TRUE(back.Opened);
  back.Run();
  ASSERT_FALSE(back.Failed) << back.ErrorText;
  EXPECT_NE(std::find(back.Lines.begin(), back.Lines.end(),
                      std::array<int64_t, 4>{1000, 1000, 3000, 2000}),
            back.Lines.end());
  EXPECT_TRUE(back.Flashes.empty());
}

}  // namespace
