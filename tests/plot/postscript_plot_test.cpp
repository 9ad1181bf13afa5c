// The PostScript plot file: its frame of header and trailer, the path
// operators of lines, circles and arcs, and a picture that a PostScript
// interpreter renders with ink where the drawing is.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "plot/postscript_plot_device.h"
#include "plot_test_support.h"

namespace {

// A PostScript device on letter paper at 1 : 1 that keeps its output.
class TTestPostScript : public TPostScriptPlotDevice {
 public:
  TTestPostScript() : TPostScriptPlotDevice("unused") {
    ScaleIndex = 2;
    SetPage({"Letter", 11.0, 8.5, 0.0, 0.0, true}, false, 0.0, 0.0);
    OpenOutput();
  }
};

class PostScriptPlotTest : public TPlotTest {};

TEST_F(PostScriptPlotTest, AnEmptyPlotHasHeaderFrameAndTrailer) {
  const std::string ps = PlotFile(4);
  ASSERT_GT(ps.size(), 2u);
  EXPECT_EQ(ps[0], '\x04');
  const std::vector<std::string> lines = TextLines(ps.substr(1));
  ASSERT_GT(lines.size(), 15u);
  EXPECT_EQ(lines[1], "% PostScript from Orbenwright KORVEX 6");
  // A full circle closes: the whole turn from 0 to 360 degrees.
  EXPECT_EQ(lines[5], "newpath x1 y1 radius 0 360 arc stroke } bind def ");
  // The test papers' Letter is 11 x 8.5: turned onto the upright sheet,
  // which the file asks for before it turns the axes.
  EXPECT_EQ(lines[6], "<< /PageSize [612.0 792.0] >> setpagedevice");
  EXPECT_EQ(lines[7], "612.0 0.0 translate");
  EXPECT_EQ(lines[8], "90 rotate");
  EXPECT_EQ(lines[14], "%");
  EXPECT_NE(ps.find(" moveto \n"), std::string::npos);
  EXPECT_EQ(ps.substr(ps.size() - 18), "stroke \nshowpage\n\x04");
}

TEST_F(PostScriptPlotTest, PathsCirclesAndArcs) {
  TTestPostScript d;
  d.SelectPen(5);
  EXPECT_TRUE(d.Output().empty());  // pens leave no trace
  d.DrawLine(Inch, Inch, 2 * Inch, Inch);
  d.DrawLine(2 * Inch, Inch, 2 * Inch, 2 * Inch);
  // Joined lines: one moveto, two linetos.
  EXPECT_EQ(d.Output(), "72.0 72.0 moveto \n144.0 72.0 lineto \n144.0 144.0 lineto \n");
  // A move elsewhere strokes the open path first.
  d.PenUpMove(0, 0);
  EXPECT_NE(d.Output().find("stroke \nnewpath \n0.0 0.0 moveto"), std::string::npos);
  // An arc that starts where the pen is continues the path.
  d.PenUpMove(20000, 10000);
  const size_t before = d.Output().size();
  d.DrawArc(false, 2 * Inch, Inch, Inch, 2 * Inch, Inch, Inch);
  EXPECT_EQ(d.Output().substr(before), "72.0 72.0 72.0 0.0 90.0 arc\n");
  d.DrawArc(true, 3 * Inch, Inch, 2 * Inch, 2 * Inch, 2 * Inch, Inch);
  EXPECT_NE(d.Output().find("stroke newpath 144.0 72.0 72.0 0.0 90.0 arcn"), std::string::npos);
  // Circles on the page are one C call; a tiny one gets radius 1.
  d.DrawCircle(5 * Inch, 4 * Inch, Inch / 2);
  EXPECT_NE(d.Output().find("360.0 288.0 36.0 C "), std::string::npos);
  d.DrawCircle(5 * Inch, 4 * Inch, Inch / 1000);
  EXPECT_NE(d.Output().find("360.0 288.0 1.0 C "), std::string::npos);
  // One partly off the page becomes clipped strokes, no C call.
  const size_t mark = d.Output().size();
  d.DrawCircle(0, 4 * Inch, Inch);
  EXPECT_EQ(d.Output().find(" C ", mark), std::string::npos);
  EXPECT_NE(d.Output().find("lineto", mark), std::string::npos);
  EXPECT_EQ(d.Output().find("-", mark), std::string::npos);
}

// Renders the file with Ghostscript onto an upright letter sheet, 72 dpi
// grey map. A landscape page lies turned on it: device X runs up the sheet,
// device Y from right to left.
class TRendered {
 public:
  bool Render(const std::string& ps, const std::filesystem::path& dir, bool landscape = true) {
    Landscape = landscape;
    const auto in = dir / "r.ps", out = dir / "r.pgm";
    WriteFileBytes(in, ps.substr(1));  // the leading end-of-transmission byte
    const std::string cmd = "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pgmraw -r72 -g612x792 -o " +
                            out.string() + " " + in.string() + " 2>&1";
    Status = std::system(cmd.c_str());
    const std::string pgm = ReadFileBytes(out);
    if (Status != 0 || pgm.size() < 612 * 792) return false;
    Pixels = pgm.substr(pgm.size() - 612 * 792);
    return true;
  }
  // Darkest pixel within r pixels of the sheet pixel (column, row).
  int InkAt(int px, int py, int r) const {
    int darkest = 255;
    for (int dy = -r; dy <= r; ++dy)
      for (int dx = -r; dx <= r; ++dx) {
        const int cx = px + dx, cy = py + dy;
        if (cx >= 0 && cx < 612 && cy >= 0 && cy < 792)
          darkest = std::min(darkest, int(uint8_t(Pixels[size_t(cy * 612 + cx)])));
      }
    return darkest;
  }
  // Darkest pixel within r pixels of the device point.
  int Ink(int32_t x, int32_t y, int r = 2) const {
    const double sx = Landscape ? 612 - y * 0.0072 : x * 0.0072;
    const double sy = Landscape ? x * 0.0072 : y * 0.0072;
    return InkAt(int(sx), int(792 - sy), r);
  }
  bool Landscape = true;
  int Status = 0;
  std::string Pixels;
};

// The box round everything the file marks on an upright letter sheet, in
// points, as Ghostscript finds it; marks off the sheet are cut away.
// With a paper name, the interpreter starts on that paper instead and the
// file may ask for its own.
std::array<double, 4> MarkedBox(const std::string& ps, const std::filesystem::path& dir,
                                const std::string& paper = "") {
  const auto in = dir / "b.ps", out = dir / "b.txt";
  WriteFileBytes(in, ps.substr(1));
  const std::string sheet = paper.empty()
                                ? "-dDEVICEWIDTHPOINTS=612 -dDEVICEHEIGHTPOINTS=792 -dFIXEDMEDIA "
                                : "-sPAPERSIZE=" + paper + " ";
  const std::string cmd =
      "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=bbox " + sheet + in.string() + " > " + out.string() + " 2>&1";
  std::array<double, 4> box{-1, -1, -1, -1};
  if (std::system(cmd.c_str()) != 0) return box;
  const std::string text = ReadFileBytes(out);
  const size_t at = text.find("%%HiResBoundingBox:");
  if (at != std::string::npos)
    std::sscanf(text.c_str() + at, "%%%%HiResBoundingBox: %lf %lf %lf %lf", &box[0], &box[1],
                &box[2], &box[3]);
  return box;
}

// The page is as large as the sheet, so its frame spans the whole sheet
// exactly when the page lies on it; a page off to one side leaves a strip.
void ExpectFrameFillsSheet(const std::array<double, 4>& box) {
  EXPECT_LT(box[0], 1.0);
  EXPECT_LT(box[1], 1.0);
  EXPECT_GT(box[2], 611.0);
  EXPECT_GT(box[3], 791.0);
}

TEST_F(PostScriptPlotTest, ThePageFrameLiesOnTheSheetEitherWayRound) {
  // The start-up papers: Letter 8.5 wide and 11 high, upright on the sheet.
  WriteFileBytes(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT", DefaultPaperSpecs);
  ChoosePaper(1);
  const std::string upright = PlotFile(4);
  EXPECT_NE(upright.find("\n0.0 0.0 translate\n0 rotate\n"), std::string::npos);
  ExpectFrameFillsSheet(MarkedBox(upright, TempDir));
  // An interpreter whose own paper is A4 (narrower, taller) takes the
  // Letter sheet the file asks for and cuts nothing.
  ExpectFrameFillsSheet(MarkedBox(upright, TempDir, "a4"));
  // Turned by the plot prompt, the drawing still lies on the same page.
  ChoosePaper(1, 2, 1);
  ExpectFrameFillsSheet(MarkedBox(PlotFile(4), TempDir));
  ExpectFrameFillsSheet(MarkedBox(PlotFile(4), TempDir, "a4"));

  // An 11 x 8.5 page turns onto the sheet.
  WriteFileBytes(std::filesystem::path(ExecutionPath()) / "PLOTSPEC.TXT", PlotSpecText);
  ChoosePaper(1);
  ExpectFrameFillsSheet(MarkedBox(PlotFile(4), TempDir));
  // And a drawing near the page's corners lands near the sheet's.
  DB->AddLineOnLayer(Inch, Inch, 2 * Inch, Inch, 0);
  TRendered r;
  ASSERT_TRUE(r.Render(PlotFile(4), TempDir)) << "gs exit " << r.Status;
  EXPECT_LT(r.InkAt(612 - 72, 792 - 108, 2), 128);
}

TEST_F(PostScriptPlotTest, GhostscriptRendersInkWhereTheDrawingIs) {
  DB->AddLineOnLayer(Inch, Inch, 5 * Inch, Inch, 0);
  DB->AddCircleOnLayer(7 * Inch, 4 * Inch, Inch, 0);
  ToolTable[1].Diameter = Inch / 8;
  DRDB->AddHoleOnLayer(3 * Inch, 5 * Inch, 30, 1, true);
  TRendered r;
  ASSERT_TRUE(r.Render(PlotFile(4), TempDir)) << "gs exit " << r.Status;
  EXPECT_LT(r.Ink(30000, 10000), 128);   // on the line
  EXPECT_LT(r.Ink(80000, 40000), 128);   // on the circle's right
  EXPECT_LT(r.Ink(70000, 50000), 128);   // on the circle's top
  EXPECT_LT(r.Ink(30000 + 625, 50000), 128);  // on the hole's ring
  EXPECT_EQ(r.Ink(70000, 40000, 4), 255);  // the circle's centre is blank
  EXPECT_EQ(r.Ink(30000, 30000, 4), 255);  // and so is open paper
  EXPECT_LT(r.Ink(0, 40000), 128);       // the frame's left side
}

}  // namespace
