// Plotter files: the buffered reader's window, the tokenizer, scaling,
// moves, line types, arcs, circles, labels, the guarded instructions and
// the public samples against their README figures.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>

#include "foundation/file_utils.h"
#include "import/binary_file_reader.h"
#include "import/hpgl_reader.h"
#include "import/import_frame.h"
#include "import_test_support.h"

namespace {

constexpr double PerPlotterUnit = 25000.0;

// Reads a file and keeps what the reader hands on.
struct TRecorder : THpglReader {
  using THpglReader::THpglReader;
  struct TLine {
    double X1, Y1, X2, Y2;
  };
  std::vector<TLine> Lines;
  struct TArc {
    double Sx, Sy, Ex, Ey, Cx, Cy;
  };
  std::vector<TArc> Arcs;
  std::vector<std::array<double, 3>> Circles;
  void AddLine(int32_t layer, double x1, double y1, double x2, double y2) override {
    EXPECT_EQ(layer, 0);
    Lines.push_back({x1 / PerPlotterUnit, y1 / PerPlotterUnit, x2 / PerPlotterUnit, y2 / PerPlotterUnit});
  }
  void AddArc(int32_t, double sx, double sy, double ex, double ey, double cx, double cy, double,
              double) override {
    Arcs.push_back({sx / PerPlotterUnit, sy / PerPlotterUnit, ex / PerPlotterUnit,
                    ey / PerPlotterUnit, cx / PerPlotterUnit, cy / PerPlotterUnit});
  }
  void AddCircle(int32_t, double cx, double cy, double r) override {
    Circles.push_back({cx / PerPlotterUnit, cy / PerPlotterUnit, r / PerPlotterUnit});
  }
};

class HpglImportTest : public TImportTest {
 protected:
  TRecorder& Run(const std::string& text) {
    Recorder = std::make_unique<TRecorder>(Write("t.plt", text));
    Recorder->Read();
    return *Recorder;
  }
  std::unique_ptr<TRecorder> Recorder;
};

TEST_F(HpglImportTest, BufferedReaderKeepsUnreadBytesAndTakesThePartialRecord) {
  TBinaryFileReader in;
  ASSERT_TRUE(in.Open(Write("300.bin", std::string(300, 'a'))));
  EXPECT_EQ(in.Count, 300);
  EXPECT_TRUE(in.AtEof);
  in.Close();
  ASSERT_TRUE(in.Open(Write("big.bin", std::string(20000, 'b') + "xyz")));
  EXPECT_EQ(in.Count, 8192);
  EXPECT_FALSE(in.AtEof);
  in.Pos = 8182;
  in.Refill();  // 10 kept, 63 records behind them
  EXPECT_EQ(in.Count, 10 + 63 * 128);
  int64_t total = 8182 + in.Count;
  while (!in.AtEof) {
    in.Pos = in.Count;
    in.Refill();
    total += in.Count;
  }
  EXPECT_EQ(total, 20003);
  EXPECT_EQ(in.Buffer[static_cast<std::size_t>(in.Count - 1)], 'z');
  ASSERT_TRUE(in.Open(Write("empty.bin", "")));
  EXPECT_EQ(in.Count, 0);
  EXPECT_TRUE(in.AtEof);
  EXPECT_FALSE(in.Open((TempDir / "none.bin").string()));
  EXPECT_FALSE(in.IsOpen);
}

TEST_F(HpglImportTest, TokenizerReadsSignsFractionsLowerCaseAndMixedPairs) {
  TRecorder fresh(Write("u.plt", "pa-1.5,1.25;pr -0.5 , 7;LBA,B\x03;DT*;LBcd*PU10"));
  ASSERT_TRUE(fresh.Begin());
  const std::vector<std::pair<int, double>> expected = {
      {1, 42}, {3, -1.5}, {3, 1.25}, {1, 47}, {3, -0.5}, {2, 7}, {1, 38}, {4, 'A'}, {4, ','},
      {4, 'B'}, {1, 22}, {1, 38}, {4, 'c'}, {4, 'd'}, {1, 49}, {2, 10}};
  for (const auto& [kind, value] : expected) {
    const THpglToken k = fresh.TakeToken();
    ASSERT_EQ(int(k.Kind), kind) << value << " " << k.Int;
    EXPECT_DOUBLE_EQ(k.Kind == 3 ? k.Real : k.Int, value);
  }
  EXPECT_EQ(fresh.TakeToken().Kind, THpglToken::None);
  // A pair of an integer and a decimal is a point.
  TRecorder& m = Run("IN;PU0,0;PD1016,0.5;");
  ASSERT_EQ(m.Lines.size(), 1u);
  EXPECT_DOUBLE_EQ(m.Lines[0].Y2, 0.5);
}

TEST_F(HpglImportTest, ScalingPointsAndUserScale) {
  // One inch in plotter units, pen-up moves drawing nothing.
  TRecorder& a = Run("IN;PU0,0;PD1016,0;PU2000,2000;");
  ASSERT_EQ(a.Lines.size(), 1u);
  EXPECT_DOUBLE_EQ(a.Lines[0].X2 * PerPlotterUnit, 25400000.0);
  // SC0,100,0,100 maps the user square onto the default P1..P2.
  TRecorder& b = Run("IN;SC0,100,0,100;PU0,0;PD100,100;SC;PD0,0;");
  ASSERT_EQ(b.Lines.size(), 2u);
  // The offset is rounded half up and cut toward zero: -20839.5 gives -20839.
  EXPECT_DOUBLE_EQ(b.Lines[0].X1, -20839);
  EXPECT_DOUBLE_EQ(b.Lines[0].Y2, 16181);
  EXPECT_DOUBLE_EQ(b.Lines[1].X2, 0);  // plotter units again
  TRecorder& c = Run("IN;IP;");
  EXPECT_DOUBLE_EQ(c.P1.X, -20839.4);
  EXPECT_DOUBLE_EQ(c.P2.Y, 16179.4);
  // Relative moves add scaled steps to the pen.
  TRecorder& d = Run("IN;PU100,100;PR;PD10,0,0,10;");
  ASSERT_EQ(d.Lines.size(), 2u);
  EXPECT_DOUBLE_EQ(d.Lines[1].X2, 110);
  EXPECT_DOUBLE_EQ(d.Lines[1].Y2, 110);
}

TEST_F(HpglImportTest, LineTypesDashTheirSegments) {
  // Pattern 4 % of the P1-P2 diagonal; a segment three patterns long.
  const double pattern = 0.04 * std::hypot(41680.0, 32360.0);
  const std::string to = std::to_string(static_cast<int>(std::lround(3 * pattern)));
  EXPECT_EQ(Run("IN;LT2;PU0,0;PD" + to + ",0;").Lines.size(), 3u);
  EXPECT_EQ(Run("IN;LT-2;PU0,0;PD" + to + ",0;").Lines.size(), 6u);  // 0.25 + 0.25 per pattern
  EXPECT_EQ(Run("IN;LT2;LT;PU0,0;PD" + to + ",0;").Lines.size(), 1u);
  // A pattern of 10 mm (400 plotter units) given in millimetres.
  EXPECT_EQ(Run("IN;LT2,10,1;PU0,0;PD1190,0;").Lines.size(), 3u);
  TRecorder& dots = Run("IN;LT0;PU0,0;PD100,0,200,0;");
  ASSERT_EQ(dots.Lines.size(), 2u);
  EXPECT_DOUBLE_EQ(dots.Lines[1].X1, dots.Lines[1].X2);
}

TEST_F(HpglImportTest, ArcsCirclesAndLabels) {
  TRecorder& a = Run("IN;PU100,0;PD;AA0,0,90;");
  ASSERT_EQ(a.Arcs.size(), 1u);
  EXPECT_NEAR(a.Arcs[0].Ex, 0, 1e-6);
  EXPECT_NEAR(a.Arcs[0].Ey, 100, 1e-6);
  // A negative sweep gives the same kind of arc from its far end.
  TRecorder& n = Run("IN;PU100,0;PD;AA0,0,-90;");
  ASSERT_EQ(n.Arcs.size(), 1u);
  EXPECT_NEAR(n.Arcs[0].Sy, -100, 1e-6);
  EXPECT_NEAR(n.Arcs[0].Ex, 100, 1e-6);
  // Unequal scales draw chords of at most 5 degrees.
  EXPECT_EQ(Run("IN;SC0,500,0,1000;PU100,0;PD;AA0,0,90;").Lines.size(), 18u);
  TRecorder& c = Run("IN;PU30,40;CI50;PD60,40;");
  ASSERT_EQ(c.Circles.size(), 1u);
  EXPECT_DOUBLE_EQ(c.Circles[0][2], 50);
  ASSERT_EQ(c.Lines.size(), 1u);  // pen back at the centre, still up... then PD draws
  EXPECT_DOUBLE_EQ(c.Lines[0].X1, 30);
  TRecorder& l = Run("IN;DT*;PU0,0;LBA%I*;");
  // A and I have three drawn strokes each; the percent sign leaves a gap.
  EXPECT_EQ(l.Lines.size(), 6u);
  EXPECT_GT(l.Lines[3].X1, 2 * 13.5 * 187 / 15 - 1);
  EXPECT_GT(l.PenPos.X, 0);
  EXPECT_EQ(Run("IN;PU0,0;LBAB\x03PD0,0;").Lines.size(), 3u + 10u + 1u);
}

TEST_F(HpglImportTest, InstructionsThatCannotDrawAreGuarded) {
  TRecorder& sc = Run("IN;SC5,5,0,10;PU0,0;PD100,0;");
  ASSERT_EQ(sc.Lines.size(), 1u);
  EXPECT_TRUE(std::isfinite(sc.Lines[0].X2));
  EXPECT_DOUBLE_EQ(sc.Lines[0].X2, 100);  // the scale before it stays
  ASSERT_EQ(sc.Warnings.size(), 1u);
  EXPECT_NE(sc.Warnings[0].find("SC"), std::string::npos);
  // A pattern of 0.06 plotter units against a move of 1,000: one solid
  // line and a word, not 35,000 dashes.
  TRecorder& tiny = Run("IN;IP0,0,1,1;LT1;PU0,0;PD1000,0;");
  EXPECT_EQ(tiny.Lines.size(), 1u);
  ASSERT_EQ(tiny.Warnings.size(), 1u);
  EXPECT_NE(tiny.Warnings[0].find("too short to dash"), std::string::npos);
  TRecorder& lt = Run("IN;LT1,0;PU0,0;PD100,0;LT-3,0;PD200,0;");
  EXPECT_EQ(lt.Lines.size(), 2u);
  EXPECT_EQ(lt.Warnings.size(), 1u);
  for (const char* ct : {"CT1;PU100,0;PD;AA0,0,90,0;", "CT1;PU100,0;PD;AA0,0,90,500;"}) {
    TRecorder& r = Run(std::string("IN;SC0,500,0,1000;") + ct);
    EXPECT_EQ(r.Lines.size(), 18u) << ct;
    for (const auto& s : r.Lines) EXPECT_TRUE(std::isfinite(s.X2) && std::isfinite(s.Y2));
    EXPECT_EQ(r.Warnings.size(), 1u);
  }
}

// Plots run on without line ends, so only a long stretch without any
// instruction ends the reading; the file is then refused whole.
TEST_F(HpglImportTest, AStretchWithoutInstructionsRefusesTheFileWhole) {
  const std::string label = "IN;PU0,0;LB" + std::string(kMaxTextLine + 10, 'A') + "\x03PD100,0;";
  EXPECT_FALSE(Run(label).NoInstructions);
  ASSERT_FALSE(Recorder->Lines.empty());
  EXPECT_DOUBLE_EQ(Recorder->Lines.back().X2, 100);  // read on after the label
  EXPECT_FALSE(Run("IN;PU0,0;" + std::string(kMaxTextLine, ' ') + "PD100,0;").NoInstructions);
  EXPECT_EQ(Recorder->Lines.size(), 1u);

  const std::string junk = "IN;PU0,0;PD100,0;" + std::string(kMaxTextLine + 1, '~') + "PD200,0;";
  EXPECT_TRUE(Run(junk).NoInstructions);
  EXPECT_EQ(Recorder->Lines.size(), 1u);
  const int32_t before = CadEntityCount;
  const std::string file = Write("junk.plt", junk);
  ImportHpglToCad(file);
  EXPECT_EQ(CadEntityCount, before);
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_EQ(ShownMessageBoxes().back().Text, file + ", line 1: more than 65,536 characters without an instruction "
                                                   "follow; the rest of the file is no plot.\r\nNothing was imported.");
}

TEST_F(HpglImportTest, SamplesMatchTheirReadmeFigures) {
  if (!std::filesystem::exists(Sample("hpgl", "README.md"))) GTEST_SKIP() << "shared test data absent";
  struct TCase {
    const char* File;
    bool Detected;
    int Lines;
    double MinX, MinY, MaxX, MaxY;  // plotter units
  };
  const TCase cases[] = {
      {"hp2xx__colors.hp", true, 28, -700, -700, 700, 700},
      {"hp2xx__pages.hpgl", true, 35, 0, 0, 8000, 8000},
      {"hp2xx__miter.hp", false, 7, 2500, 1900, 4000, 3000},
      {"hp2xx__la.hp", false, 36, 0, 0, 4000, 2000},
      // 13 of the README's 1,987 segments go nowhere and are not drawn.
      {"hp2xx__acad.hp", true, 1974, 3046, 2520, 7311, 6179},
      // LT-4,50,1 dashes the README's 32 segments with a 50 mm pattern:
      // the 450 strokes the peer draws.
      {"hp2xx__thick.hp", false, 450, -9600, -7100, 9600, 7100},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    const std::string file = Sample("hpgl", c.File).string();
    // Files of the later dialect carry instructions the detector does not
    // know; they are imported by choosing the format.
    if (c.Detected) EXPECT_EQ(DetectFileFormat(file), fcHpgl);
    const int32_t before = CadEntityCount;
    ImportHpglToCad(file);
    const TTally t = Tally(PerPlotterUnit, before + 1);
    EXPECT_EQ(t.ByType[2], c.Lines) << Shown(t);
    EXPECT_NEAR(t.MinX, c.MinX, 0.5);
    EXPECT_NEAR(t.MinY, c.MinY, 0.5);
    EXPECT_NEAR(t.MaxX, c.MaxX, 0.5);
    EXPECT_NEAR(t.MaxY, c.MaxY, 0.5);
  }
}

TEST_F(HpglImportTest, ArcSampleUnderUnequalScalesStaysInItsUserWindow) {
  if (!std::filesystem::exists(Sample("hpgl", "README.md"))) GTEST_SKIP() << "shared test data absent";
  // SC0,500,0,500 scales X and Y differently, so the arcs and circles are
  // drawn as chords; the README's extent is in user units.
  Recorder = std::make_unique<TRecorder>(Sample("hpgl", "hp2xx__arcs.hp").string());
  Recorder->Read();
  double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
  for (const auto& l : Recorder->Lines)
    for (const auto& [x, y] : {std::pair{l.X1, l.Y1}, std::pair{l.X2, l.Y2}}) {
      minX = std::min(minX, (x - Recorder->OffsetX) / Recorder->ScaleX);
      maxX = std::max(maxX, (x - Recorder->OffsetX) / Recorder->ScaleX);
      minY = std::min(minY, (y - Recorder->OffsetY) / Recorder->ScaleY);
      maxY = std::max(maxY, (y - Recorder->OffsetY) / Recorder->ScaleY);
    }
  EXPECT_TRUE(Recorder->Arcs.empty());
  EXPECT_NEAR(minX, 0, 0.5);
  EXPECT_NEAR(minY, 0, 0.5);
  EXPECT_NEAR(maxX, 400, 0.5);
  // The half circle of radius 200 about (200, 300) in 20-degree chords
  // peaks at 80 degrees, where the README samples every degree.
  EXPECT_NEAR(maxY, 300 + 200 * std::sin(80 * M_PI / 180), 0.01);
}

}  // namespace

namespace {

// Plots of the second language, wrapped in printer-language escapes and a
// job-language line, are recognised; what they hold that is not drawn is
// named and counted, and their comments and label texts are no
// instructions.
TEST_F(HpglImportTest, SecondLanguagePlotsAreRecognisedAndTheirSkippedInstructionsNamed) {
  const std::string file = (std::filesystem::path(KORVEX_TEST_DATA_DIR) / "hpgl2-wrapped.plt").string();
  EXPECT_EQ(DetectFileFormat(file), fcHpgl);
  Recorder = std::make_unique<TRecorder>(file);
  Recorder->Read();
  const std::map<std::string, int64_t> skipped = {{"ZZ", 1}};
  EXPECT_EQ(Recorder->Skipped, skipped);
  // Two sides, the two rectangles, then A (3 strokes), comma (5), B (10),
  // semicolon (10), C (7); the three-point arc.
  ASSERT_EQ(Recorder->Lines.size(), 2u + 8u + 35u);
  EXPECT_EQ(Recorder->Arcs.size(), 1u);
  EXPECT_DOUBLE_EQ(Recorder->Lines[1].X2, 1016);
  EXPECT_DOUBLE_EQ(Recorder->Lines[1].Y2, 1016);
  EXPECT_DOUBLE_EQ(Recorder->Lines[10].X1, 0);
  EXPECT_DOUBLE_EQ(Recorder->Lines[10].Y1, 2000);
  const int32_t before = CadEntityCount;
  ImportHpglToCad(file);
  EXPECT_EQ(CadEntityCount - before, 46);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "1 instruction that is not imported was skipped:\n1 ZZ");
  // A plot of nothing but instructions that draw nothing here says which.
  ResetHeadlessDialogs();
  const std::string marks = Write("marks.plt", "IN;SP1;IR10,10,90,90;SM*;PA100,100;XT;YT;");
  ImportHpglToCad(marks);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "<" + marks +
                                              "> draws nothing.\n4 instructions that are not imported were "
                                              "skipped:\n1 IR, 1 SM, 1 XT, 1 YT\r\nNothing was imported.");
}

TEST_F(HpglImportTest, EverySamplePlotIsRecognised) {
  if (!std::filesystem::exists(Sample("hpgl", "README.md"))) GTEST_SKIP() << "shared test data absent";
  int checked = 0;
  for (const auto& e : std::filesystem::directory_iterator(SharedTestData() / "hpgl")) {
    if (!e.is_regular_file() || e.path().extension() == ".md") continue;
    SCOPED_TRACE(e.path().filename().string());
    EXPECT_EQ(DetectFileFormat(e.path().string()), fcHpgl);
    ++checked;
  }
  EXPECT_EQ(checked, 26);
  // The symbols the README tallies draw here nothing; the arcs, rectangles,
  // wedges and Beziers of the later dialect are drawn, each within the
  // README's extent.
  Recorder = std::make_unique<TRecorder>(Sample("hpgl", "hp2xx__symbols.hp").string());
  Recorder->Read();
  EXPECT_EQ(Recorder->Skipped["SM"], 7);
  for (const auto& [name, lines, arcs] :
       {std::tuple{"hp2xx__at.hpg", 6, 2}, std::tuple{"hp2xx__ft.hp", 12, 0}, std::tuple{"hp2xx__ew.hpg", 6, 3}}) {
    SCOPED_TRACE(name);
    Recorder = std::make_unique<TRecorder>(Sample("hpgl", name).string());
    Recorder->Read();
    EXPECT_TRUE(Recorder->Skipped.empty());
    EXPECT_EQ(Recorder->Lines.size(), std::size_t(lines));
    EXPECT_EQ(Recorder->Arcs.size(), std::size_t(arcs));
  }
  // The two Beziers of the sample end where their last control points say.
  Recorder = std::make_unique<TRecorder>(Sample("hpgl", "hp2xx__bz.hp").string());
  Recorder->Read();
  ASSERT_GT(Recorder->Lines.size(), 8u);
  EXPECT_DOUBLE_EQ(Recorder->Lines.front().X1, 1016);
  EXPECT_DOUBLE_EQ(Recorder->Lines.front().Y1, 5080);
  EXPECT_DOUBLE_EQ(Recorder->Lines.back().X2, 7112);
  EXPECT_DOUBLE_EQ(Recorder->Lines.back().Y2, 2032);
}

// Geometry beyond what a job holds is refused with its line and a word on
// the scaling, never pinned to the edge.
TEST_F(HpglImportTest, PlotsBeyondTheJobAreRefusedWithTheirLine) {
  const std::string file = Write("far.plt", "IN;\nSC0,1,0,1;\nPU0,0;PD1000,1000;\nPD0,0;\n");
  EXPECT_TRUE(Run(ReadFileBytes(file)).Failed);
  const int32_t before = CadEntityCount;
  ImportHpglToCad(file);
  EXPECT_EQ(CadEntityCount, before);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            file + ", line 3: the plot reaches beyond the largest coordinate a job holds (84.5466 in or "
                   "2147.48 mm); check the plot's scaling (IP, SC).\r\nNothing was imported.");
  EXPECT_TRUE(Run("IN;PU0,0;CI90000;").Failed);
  EXPECT_FALSE(Run("IN;PU0,0;CI80000;").Failed);
  // Sweeps beyond a turn retrace it: one circle, or one turn of chords
  // (not a billion degrees of them).
  EXPECT_EQ(Run("IN;PU100,0;PD;AA0,0,720;").Circles.size(), 1u);
  EXPECT_EQ(Run("IN;SC0,500,0,1000;PU100,0;PD;AA0,0,-1000000000;").Lines.size(), 72u);
}

// Labels: CR and LF start new lines, commas and semicolons are text, DT;
// returns to the default terminator, DI and DV turn and stack them, SR
// sizes them; RO turns the whole plot; arcs under a scaling that turns one
// axis over stay arcs.
TEST_F(HpglImportTest, LabelsTurnStackAndBreakAndTurnedAxesKeepTheirArcs) {
  // The first stroke of A runs from the origin to (37, 123) in the default
  // size; a line feed goes 246 down, a carriage return back to the start.
  TRecorder& lf = Run("IN;PU0,0;LBA\r\nA\x03");
  ASSERT_EQ(lf.Lines.size(), 6u);
  EXPECT_DOUBLE_EQ(lf.Lines[0].X2, 37);
  EXPECT_DOUBLE_EQ(lf.Lines[0].Y2, 123);
  EXPECT_DOUBLE_EQ(lf.Lines[3].X1, 0);
  EXPECT_DOUBLE_EQ(lf.Lines[3].Y1, -246);
  EXPECT_DOUBLE_EQ(lf.Lines[3].Y2, -123);
  EXPECT_EQ(Run("IN;DT*;DT;PU0,0;LBA;B\x03").Lines.size(), 3u + 10u + 10u);
  TRecorder& di = Run("IN;DI0,1;PU0,0;LBA\x03");
  ASSERT_EQ(di.Lines.size(), 3u);
  EXPECT_DOUBLE_EQ(di.Lines[0].X2, -123);
  EXPECT_DOUBLE_EQ(di.Lines[0].Y2, 37);
  TRecorder& dv = Run("IN;DV1;PU0,0;LBAA\x03");
  ASSERT_EQ(dv.Lines.size(), 6u);
  EXPECT_DOUBLE_EQ(dv.Lines[3].X1, 0);
  EXPECT_DOUBLE_EQ(dv.Lines[3].Y1, -246);
  // SR1,2 on P1..P2 of 10,000 units: 0.25 by 0.5 cm, A's stroke to
  // (round(6 x 164 / 15 / 2), round(15 x 328 / 15 / 2)).
  TRecorder& sr = Run("IN;IP0,0,10000,10000;SR1,2;PU0,0;LBA\x03");
  ASSERT_EQ(sr.Lines.size(), 3u);
  EXPECT_DOUBLE_EQ(sr.Lines[0].X2, 33);
  EXPECT_DOUBLE_EQ(sr.Lines[0].Y2, 164);
  TRecorder& ro = Run("IN;RO90;PU0,0;PD100,0;");
  ASSERT_EQ(ro.Lines.size(), 1u);
  EXPECT_NEAR(ro.Lines[0].X2, 0, 1e-9);
  EXPECT_NEAR(ro.Lines[0].Y2, 100, 1e-9);
  // IP with its Y axis turned over: the quarter arc counter-clockwise in
  // user units is clockwise on the plotter, from (1000, 7396) about
  // (1000, 6396) to (2000, 6396).
  TRecorder& arc = Run("IN;IP0,8396,11881,0;SC0,11881,0,8396;PU1000,1000;PD;AA1000,2000,90;");
  ASSERT_EQ(arc.Arcs.size(), 1u);
  EXPECT_TRUE(arc.Lines.empty());
  EXPECT_NEAR(arc.Arcs[0].Sx, 2000, 1e-6);
  EXPECT_NEAR(arc.Arcs[0].Sy, 6396, 1e-6);
  EXPECT_NEAR(arc.Arcs[0].Ex, 1000, 1e-6);
  EXPECT_NEAR(arc.Arcs[0].Ey, 7396, 1e-6);
  EXPECT_NEAR(arc.Arcs[0].Cx, 1000, 1e-6);
  EXPECT_NEAR(arc.Arcs[0].Cy, 6396, 1e-6);
}

}  // namespace

// The shapes of the later dialect: three-point arcs (a line when the points
// are in a row), Beziers, rectangles that leave the pen where it was,
// wedges, and encoded polylines in both bases with fractional bits.
TEST_F(HpglImportTest, SecondLanguageShapesAreDrawnWhereTheyLie) {
  TRecorder& at = Run("IN;PA0,0;PD;AT100,100,200,0;RT50,0,100,0;");
  ASSERT_EQ(at.Arcs.size(), 1u);
  // Clockwise over the top: stored counter-clockwise from its end.
  const TRecorder::TArc& a = at.Arcs[0];
  EXPECT_NEAR(a.Sx, 200, 1e-9);
  EXPECT_NEAR(a.Ex, 0, 1e-9);
  EXPECT_NEAR(a.Cx, 100, 1e-9);
  EXPECT_NEAR(a.Cy, 0, 1e-9);
  ASSERT_EQ(at.Lines.size(), 1u);
  EXPECT_DOUBLE_EQ(at.Lines[0].X1, 200);
  EXPECT_DOUBLE_EQ(at.Lines[0].X2, 300);

  TRecorder& bz = Run("IN;PA0,0;PD;BZ0,100,100,100,100,0;");
  ASSERT_EQ(bz.Lines.size(), 8u);
  EXPECT_NEAR(bz.Lines[3].X2, 50, 1e-9);
  EXPECT_NEAR(bz.Lines[3].Y2, 75, 1e-9);
  EXPECT_DOUBLE_EQ(bz.Lines[7].X2, 100);

  TRecorder& rect = Run("IN;PA10,10;EA110,60;ER-20,-20;PA20,20;");
  ASSERT_EQ(rect.Lines.size(), 8u);
  EXPECT_DOUBLE_EQ(rect.Lines[1].X2, 110);
  EXPECT_DOUBLE_EQ(rect.Lines[1].Y2, 60);
  EXPECT_DOUBLE_EQ(rect.Lines[3].X2, 10);  // closed at the pen
  EXPECT_DOUBLE_EQ(rect.Lines[5].Y2, -10);
  EXPECT_FALSE(rect.PenDown);

  TRecorder& wedge = Run("IN;PA0,0;EW100,0,90;WG-100,0,360;");
  ASSERT_EQ(wedge.Lines.size(), 2u);
  ASSERT_EQ(wedge.Arcs.size(), 1u);
  EXPECT_DOUBLE_EQ(wedge.Lines[0].X2, 100);
  EXPECT_NEAR(wedge.Arcs[0].Ex, 0, 1e-9);
  EXPECT_NEAR(wedge.Arcs[0].Ey, 100, 1e-9);
  EXPECT_DOUBLE_EQ(wedge.Lines[1].X2, 0);
  ASSERT_EQ(wedge.Circles.size(), 1u);
  EXPECT_DOUBLE_EQ(wedge.Circles[0][2], 100);

  // Absolute (1000, 1000), three sides, a pen-up step and one more side;
  // then in base 32 and with two fractional bits.
  const auto encode = [](int v, bool seven) {
    std::string out;
    unsigned n = static_cast<unsigned>(std::abs(v)) * 2 + (v < 0 ? 1 : 0);
    const unsigned base = seven ? 32 : 64;
    for (;;) {
      const unsigned digit = n % base;
      n /= base;
      if (n == 0) return out + static_cast<char>((seven ? 95 : 191) + digit);
      out += static_cast<char>(63 + digit);
    }
  };
  std::string pe = "IN;SP1;PA0,0;PE<=";
  for (int v : {1000, 1000, 500, 0, 0, 500, -500, 0}) pe += encode(v, false);
  pe += "<" + encode(0, false) + encode(-1000, false) + encode(300, false) + encode(0, false) + ";PE7<=";
  for (int v : {3000, 3000, -200, 100}) pe += encode(v, true);
  pe += ";PE>" + encode(2, false) + "<=" + encode(16000, false) + encode(0, false) + encode(2, false) +
        encode(1, false) + ";PA0,0;";
  TRecorder& poly = Run(pe);
  // The pen stays down after the polyline: the closing PA draws.
  ASSERT_EQ(poly.Lines.size(), 7u);
  EXPECT_DOUBLE_EQ(poly.Lines[0].X1, 1000);
  EXPECT_DOUBLE_EQ(poly.Lines[2].X2, 1000);
  EXPECT_DOUBLE_EQ(poly.Lines[2].Y2, 1500);
  EXPECT_DOUBLE_EQ(poly.Lines[3].X1, 1000);
  EXPECT_DOUBLE_EQ(poly.Lines[3].Y1, 500);
  EXPECT_DOUBLE_EQ(poly.Lines[4].X2, 2800);
  EXPECT_DOUBLE_EQ(poly.Lines[4].Y2, 3100);
  EXPECT_DOUBLE_EQ(poly.Lines[5].X1, 4000);
  EXPECT_DOUBLE_EQ(poly.Lines[5].X2, 4000.5);
  EXPECT_DOUBLE_EQ(poly.Lines[5].Y2, 0.25);
  EXPECT_TRUE(poly.Skipped.empty());

  // Polygon mode closes each subpolygon, goes to the next one's start
  // without drawing, and lifts the pen at its end.
  TRecorder& pm = Run("IN;PA1000,1000;PM0;PD2000,1000,2000,2000,1000,2000;PM1;PD3000,3000,3500,3000,3500,3500;"
                      "PM2;EP;PA0,0;");
  ASSERT_EQ(pm.Lines.size(), 7u);
  EXPECT_DOUBLE_EQ(pm.Lines[3].X2, 1000);
  EXPECT_DOUBLE_EQ(pm.Lines[3].Y2, 1000);
  EXPECT_DOUBLE_EQ(pm.Lines[4].X1, 3000);
  EXPECT_DOUBLE_EQ(pm.Lines[4].Y1, 3000);
  EXPECT_DOUBLE_EQ(pm.Lines[6].X2, 3000);
  EXPECT_DOUBLE_EQ(pm.Lines[6].Y2, 3000);

  // Raster data inside the printer-language wrapper is no instruction.
  TRecorder& pcl = Run("\x1b%-12345X\x1b" "E\x1b*r1A\x1b*b0m11WPD9999,9999\x1b*rC\x1b%0BIN;PA0,0;PD10,0;\x1b%0A");
  ASSERT_EQ(pcl.Lines.size(), 1u);
  EXPECT_DOUBLE_EQ(pcl.Lines[0].X2, 10);
}

// Numbers with exponents or without a leading digit, the isotropic and the
// point-factor forms of SC, and the input window that clips lines and arcs.
TEST_F(HpglImportTest, NumbersScalingFormsAndTheInputWindow) {
  TRecorder& n = Run("IN;PA0,0;PD+1.5e2,.5 2E1 -1.5E+1;EA0,0;");
  ASSERT_GE(n.Lines.size(), 2u);
  EXPECT_DOUBLE_EQ(n.Lines[0].X2, 150);
  EXPECT_DOUBLE_EQ(n.Lines[0].Y2, 0.5);
  EXPECT_DOUBLE_EQ(n.Lines[1].X2, 20);
  EXPECT_DOUBLE_EQ(n.Lines[1].Y2, -15);
  EXPECT_EQ(n.Lines.size(), 6u);  // "E" before a letter is the next instruction

  for (const auto& [left, x1] : {std::pair{"", 500.0}, std::pair{",0,100", 0.0}, std::pair{",100,0", 1000.0}}) {
    TRecorder& iso = Run(std::string("IN;IP0,0,2000,1000;SC0,100,0,100,1") + left + ";PA0,0;PD100,100;");
    ASSERT_EQ(iso.Lines.size(), 1u) << left;
    EXPECT_DOUBLE_EQ(iso.Lines[0].X1, x1) << left;
    EXPECT_DOUBLE_EQ(iso.Lines[0].Y1, 0) << left;
    EXPECT_DOUBLE_EQ(iso.Lines[0].X2, x1 + 1000) << left;
    EXPECT_DOUBLE_EQ(iso.Lines[0].Y2, 1000) << left;
  }
  TRecorder& factor = Run("IN;IP100,200,2100,1200;SC0,10,0,20,2;PA0,0;PD1,1;");
  ASSERT_EQ(factor.Lines.size(), 1u);
  EXPECT_DOUBLE_EQ(factor.Lines[0].X1, 100);
  EXPECT_DOUBLE_EQ(factor.Lines[0].Y1, 200);
  EXPECT_DOUBLE_EQ(factor.Lines[0].X2, 110);
  EXPECT_DOUBLE_EQ(factor.Lines[0].Y2, 220);

  TRecorder& w = Run("IN;IW0,0,500,500;PA-100,-100;PD1000,1000;PU600,600;PD900,600;PU400,250;CI200;IW;PD400,0;");
  // The diagonal from the window's corner to its corner, a circle cut to
  // chords, and after IW; the full line again.
  ASSERT_GE(w.Lines.size(), 3u);
  EXPECT_DOUBLE_EQ(w.Lines[0].X1, 0);
  EXPECT_DOUBLE_EQ(w.Lines[0].Y1, 0);
  EXPECT_DOUBLE_EQ(w.Lines[0].X2, 500);
  EXPECT_DOUBLE_EQ(w.Lines[0].Y2, 500);
  EXPECT_TRUE(w.Circles.empty());
  for (std::size_t k = 1; k + 1 < w.Lines.size(); ++k) {
    EXPECT_LE(std::max(w.Lines[k].X1, w.Lines[k].X2), 500 + 1e-9);
    EXPECT_GE(std::min(w.Lines[k].Y1, w.Lines[k].Y2), 0 - 1e-9);
  }
  EXPECT_DOUBLE_EQ(w.Lines.back().Y2, 0);
  EXPECT_DOUBLE_EQ(w.Lines.back().Y1, 250);
}

// Odd numbers in the later dialect's instructions: a chord angle next to
// nothing on a clipped arc and wedge, a Bezier out to an exponent's
// infinity and a pen number past any integer in an encoded polyline. Each
// ends with a bounded drawing or the plot refused, never an endless or
// undefined conversion.
TEST_F(HpglImportTest, OddNumbersInTheLaterShapesStayBounded) {
  for (const char* text : {"IN;IW0,0,50,50;PA0,0;PD;AT100,100,200,0,0.0001;",
                           "IN;IW0,0,50,50;PA0,0;EW100,0,90,1e-300;", "IN;IW0,0,50,50;PA0,0;PD;RT100,100,200,0,1e-30;"}) {
    TRecorder& r = Run(text);
    EXPECT_FALSE(r.Failed) << text;
    EXPECT_GT(r.Lines.size(), 0u) << text;
    EXPECT_LE(r.Lines.size(), 1000u) << text;
  }
  TRecorder& far = Run("IN;PA0,0;PD;BZ1e400,0,0,100,100,0;");
  EXPECT_TRUE(far.Failed);
  TRecorder& nan = Run("IN;PA0,0;PD;BR0e400,0,0,100,100,0;");
  EXPECT_TRUE(nan.Failed);

  // ":" and the pen number 2^59 - 1 (ten digits of base 64), then a side.
  std::string pe = "IN;PA0,0;PE:";
  for (int k = 0; k < 9; ++k) pe += static_cast<char>(63 + 63);
  pe += static_cast<char>(191 + 62);
  pe += "=";
  pe += static_cast<char>(191 + 20);  // 10
  pe += static_cast<char>(191 + 0);   // 0
  pe += ";";
  TRecorder& pen = Run(pe);
  EXPECT_FALSE(pen.Failed);
}
