// The pen-plotter file: its frame of commands, pen selection, moves and
// draws in plotter units, circles and arcs drawn by the plotter, and lines
// cut at the paper edge.
#include <gtest/gtest.h>

#include "plot/hp7580_plot_device.h"
#include "plot_test_support.h"

namespace {

class TTestHP7580 : public THP7580PlotDevice {
 public:
  TTestHP7580() : THP7580PlotDevice("unused") {
    ScaleIndex = 2;
    SetPage({"Letter", 11.0, 8.5, 0.0, 0.0, true}, false, 0.0, 0.0);
    OpenOutput();
  }
  std::vector<std::string> Lines() const { return TextLines(Output()); }
};

class HP7580PlotTest : public TPlotTest {};

TEST_F(HP7580PlotTest, OneLinePlotFromHeaderToTrailer) {
  DB->AddLineOnLayer(Inch, Inch, 2 * Inch, Inch, 0);
  const std::string text = PlotFile(2, "one.hp");
  ASSERT_EQ(text.substr(0, 17), "IN;\r\nVS1;\r\nDT\r;\r\n");
  const std::vector<std::string> lines = TextLines(text);
  EXPECT_EQ(lines[3], "SI0.12,0.12;");
  EXPECT_EQ(lines[4], "CT 1;");
  EXPECT_EQ(lines[5], "SP1;");
  EXPECT_EQ(lines[6], "PU1016,1016;");
  EXPECT_EQ(lines[7], "PD2032,1016;");
  EXPECT_EQ(lines.back(), "SP0;NR;");
  // Every line ends in carriage return and line feed.
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  RegisterModalScript("THP7580Dialog", [](TForm& f) { f.Click("CancelButton"); });
  EXPECT_EQ(PlotFile(2, "none.hp"), "");
}

TEST_F(HP7580PlotTest, PensMovesAndPaperEdge) {
  TTestHP7580 d;
  d.SetColor(0x808080);  // pen 8
  d.SelectPen(9);
  d.SelectPen(9);
  d.SelectPen(16);
  EXPECT_EQ(d.Lines(), (std::vector<std::string>{"SP1;", "SP2;", "SP2;"}));
  // Two moves to one point write once.
  d.PenUpMove(500, 500);
  d.PenUpMove(500, 500);
  // A line from the page to beyond its right edge (11 in) stops there.
  d.DrawLine(10 * Inch, 2 * Inch, 12 * Inch, 3 * Inch);
  const auto lines = d.Lines();
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.end()),
            (std::vector<std::string>{"PU508,508;", "PU10160,2032;", "PD11176,2540;"}));
}

TEST_F(HP7580PlotTest, CirclesAndArcsByThePlotter) {
  TTestHP7580 d;
  d.DrawCircle(3 * Inch, 3 * Inch, 0.2 * Inch);
  d.DrawCircle(3 * Inch, 3 * Inch, Inch);
  d.FineCircles = true;
  d.DrawCircle(3 * Inch, 3 * Inch, Inch);
  EXPECT_EQ(d.Lines(), (std::vector<std::string>{"PU3048,3048;", "CT0;", "CI203,45;",
                                                 "PU3048,3048;", "CT1;", "CI1016,20;",
                                                 "PU3048,3048;", "CI1016,3;"}));
  // A quarter turn clockwise; then an arc that ends where it starts.
  TTestHP7580 a;
  a.DrawArc(true, 4 * Inch, 3 * Inch, 3 * Inch, 2 * Inch, 3 * Inch, 3 * Inch);
  EXPECT_EQ(a.Lines(), (std::vector<std::string>{"PU4064,3048;", "PD;AA3048,3048,-90,3;"}));
  a.DrawArc(false, 5 * Inch, 5 * Inch, 5 * Inch, 5 * Inch, 4 * Inch, 5 * Inch);
  EXPECT_EQ(a.Lines().back(), "PU5080,5080;");
  // A circle partly off the page is short clipped lines, never CI.
  TTestHP7580 c;
  c.DrawCircle(0, 3 * Inch, Inch);
  for (const std::string& line : c.Lines()) {
    EXPECT_EQ(line.find("CI"), std::string::npos);
    EXPECT_EQ(line.find('-'), std::string::npos) << line;
  }
  EXPECT_GT(c.Lines().size(), 10u);
}

}  // namespace
