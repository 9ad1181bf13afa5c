// Plotter files: the buffered reader's window, the tokenizer, scaling,
// moves, line types, arcs, circles, labels, the guarded instructions and
// the public samples against their README figures.
#include <gtest/gtest.h>

#include <cmath>

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
  EXPECT_EQ(ShownMessageBoxes().back().Text, "<" + file + "> cannot be read.\r\nNothing was imported.");
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
      // LT dashes each of the README's 32 segments into three.
      {"hp2xx__thick.hp", false, 96, -9600, -7100, 9600, 7100},
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
TEST_F(HpglImportTest, ZZDebugSamples) {
  for (const auto& e : std::filesystem::directory_iterator(SharedTestData() / "hpgl")) {
    if (!e.is_regular_file() || e.path().extension() == ".md") continue;
    const std::string file = e.path().string();
    TRecorder r(file);
    r.Read();
    for (auto& [k, v] : r.Skipped) std::printf("%s:%lld ", k.c_str(), (long long)v);
    std::printf("%-28s fmt=%d hpgl=%.3f lines=%zu arcs=%zu circles=%zu failed=%d %s | %s\n",
                e.path().filename().c_str(), DetectFileFormat(file), DetectHpgl(file), r.Lines.size(),
                r.Arcs.size(), r.Circles.size(), r.Failed, r.ErrorText.c_str(),
                SkippedInstructionsNotice(r.Skipped).c_str());
  }
}
}  // namespace
