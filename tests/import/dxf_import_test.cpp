// The DXF import: the sample drawings against their README figures, and
// inserts, polylines, layers, broken files and the drill side on small
// hand-written drawings.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include <cmath>
#include <sstream>

#include "import/dxf_import.h"
#include "import/import_frame.h"
#include "import_test_support.h"
#include "model/drill_entities.h"
#include "tapein/nc_words.h"

namespace {

constexpr double Mm = 1000000.0;
constexpr int32_t Inch = 25400000;

// A drawing of entities only, each given as its group lines.
std::string Drawing(const std::string& blocks, const std::string& entities,
                    const std::string& tables = "") {
  std::string text;
  if (!tables.empty()) text += "0\nSECTION\n2\nTABLES\n" + tables + "0\nENDSEC\n";
  if (!blocks.empty()) text += "0\nSECTION\n2\nBLOCKS\n" + blocks + "0\nENDSEC\n";
  return text + "0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n";
}

class DxfImportTest : public TImportTest {
 protected:
  void ImportMm(const std::string& file) {
    QueueModalScript("TDrawingUnits", [](TForm& f) {
      f.Get<TRadioGroup>("DrawingUnitsGroup").SetItemIndex(1);
      f.Click("OKButton");
    });
    ImportDxfToCad(file);
  }
  void Import(const std::string& text) { ImportDxfToCad(Write("t.dxf", text)); }
  static TCadEntity* At(int32_t i) { return DB->EntityAt(i); }
  static TIntPoint First(int32_t i) {
    TIntPoint p;
    At(i)->GetPoint(p);
    return p;
  }
  static TIntPoint Second(int32_t i) {
    TIntPoint p;
    At(i)->GetSecondPoint(p);
    return p;
  }
  static TIntPoint Centre(int32_t i) {
    TIntPoint p;
    At(i)->GetThirdPoint(p);
    return p;
  }
};

// ---- Sample drawings --------------------------------------------------------------------------

TEST_F(DxfImportTest, SampleDrawingsMatchTheirReadmeFigures) {
  if (!std::filesystem::exists(Sample("dxf", "README.md"))) GTEST_SKIP() << "shared test data absent";
  struct TCase {
    const char* File;
    // Circles and arcs after every INSERT is expanded (README figures,
    // where not noted otherwise), and the extents in drawing units; Slack
    // widens the extents check where stroked text stands out.
    int Circles, Arcs;
    double MinX, MinY, MaxX, MaxY, Slack;
  };
  const TCase cases[] = {
      // 18 circles, 52 arcs; the LINE, POINT and LWPOLYLINE entities give lines.
      {"autocad__Ceco.NET-Architecture-Tm-53.dxf", 18, 52, 0.0, 0.0, 43.1, 32.6, 0.0},
      // The closed POLYLINE square becomes four lines.
      {"autocad__squareandcircle.dxf", 1, 0, 0.0, 0.0, 10.0, 10.0, 0.0},
      // The TEXT of the block is stroked: its strokes set the lower edge.
      {"ezdxf__ASCII_R12.dxf", 0, 0, 9.9697, 11.6727, 17.4286, 19.6165, 0.1},
      // The peer turns the non-uniformly scaled circle into an ELLIPSE
      // (5 CIRCLE + 1 ELLIPSE); here it stays a circle of the mean radius.
      {"ezdxf__BlockClippedBasicTransform.dxf", 6, 0, 5.0, 3.7189, 42.0, 20.0, 0.0},
      {"ezdxf__R12_with_trash_beyond_EOF.dxf", 1, 0, -1.5, -1.5, 1.5, 1.5, 0.0},
      // TEXT is stroked at its insertion point: alignment is not applied.
      {"ezdxf__edgeminer_1_polylines.dxf", 0, 22, 119.5081, 127.1755, 456.6042, 366.4416, 70.0},
      {"ezdxf__insert_bricscad_level_1.dxf", 0, 0, -1.8647, 7.0444, 15.7034, 19.1410, 0.05},
      {"ezdxf__small_r13.dxf", 0, 0, -0.1750, -0.0108, 1.4250, 2.5892, 0.0},
      {"ezdxf__text_oblique_rotate.dxf", 168, 0, -0.1, -13.5354, 40.3350, 3.9299, 0.3},
      // The peer cannot expand the arrayed insert; its README names a
      // column of 14 holes in a plate outline.
      {"librecad__arrayed-holes.dxf", 14, 3, -11.8463, -13.4483, -9.9939, -6.1983, 0.0},
      // One block inserted twice, once scaled: the peer's ELLIPSE is the
      // scaled circle.
      {"librecad__blocks1.dxf", 2, 0, -11.2132, 14.8356, 132.6414, 117.7817, 0.0},
      // Eight bulged vertices make eight arcs.
      {"librecad__issue21.dxf", 0, 8, 463.4857, -151.6342, 803.9474, 163.0783, 0.0},
      {"librecad__lwpolylines.dxf", 0, 0, 0.0, 0.0, 80.0, 120.0, 0.0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    delete DB;
    DB = new TCadDatabase();
    ResetHeadlessDialogs();
    const std::string file = Sample("dxf", c.File).string();
    EXPECT_EQ(DetectFileFormat(file), fcDxf);
    ImportMm(file);
    // The sample with entities of other types says so (the hatches count
    // every insertion of their blocks); those that declare metres but are
    // drawn in millimetres say how they were read; circles of a stretched
    // block are named; the rest say nothing.
    const std::string metres =
        "The drawing declares metres but does not fit a job at that size; it was read as millimetres.";
    const std::map<std::string, std::string> notices = {
        {"autocad__Ceco.NET-Architecture-Tm-53.dxf",
         metres + "\n\n26 entities of types that are not imported were skipped:\n6 DIMENSION, 8 HATCH, 12 MTEXT"},
        {"ezdxf__BlockClippedBasicTransform.dxf",
         metres + "\n\n" + NotAsDrawnNotice({{"CIRCLE", 1}})},
        {"ezdxf__edgeminer_1_polylines.dxf", metres},
        {"ezdxf__insert_bricscad_level_1.dxf", metres},
        {"ezdxf__text_oblique_rotate.dxf", metres},
        {"librecad__blocks1.dxf", NotAsDrawnNotice({{"CIRCLE", 1}})}};
    const auto notice = notices.find(c.File);
    if (notice != notices.end()) {
      ASSERT_EQ(ShownMessageBoxes().size(), 1u);
      EXPECT_EQ(ShownMessageBoxes()[0].Text, notice->second);
    } else {
      EXPECT_TRUE(ShownMessageBoxes().empty());
    }
    const TTally t = Tally(Mm);
    EXPECT_EQ(t.ByType[4], c.Circles);
    EXPECT_EQ(t.ByType[3], c.Arcs);
    const double tol = 0.001 + c.Slack;
    EXPECT_NEAR(t.MinX, c.MinX, tol);
    EXPECT_NEAR(t.MinY, c.MinY, tol);
    EXPECT_NEAR(t.MaxX, c.MaxX, tol);
    EXPECT_NEAR(t.MaxY, c.MaxY, tol);
  }
  // The empty drawings import nothing and say nothing; the binary drawing
  // is refused with its reason.
  for (const char* empty : {"ezdxf__Minimal_DXF_AC1009.dxf", "ezdxf__Minimal_DXF_AC1021.dxf"}) {
    delete DB;
    DB = new TCadDatabase();
    ImportMm(Sample("dxf", empty).string());
    EXPECT_EQ(Tally(Mm).Total(), 0);
  }
  EXPECT_TRUE(ShownMessageBoxes().empty());
  EXPECT_EQ(DetectFileFormat(Sample("dxf", "ezdxf__Minimal_DXF_AC1021.dxf").string()), fcDxf);
  ImportMm(Sample("dxf", "ezdxf__bin_dxf_r12.dxf").string());
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("is a binary DXF file"), std::string::npos);
  EXPECT_EQ(DetectDxf(Sample("dxf", "ezdxf__bin_dxf_r12.dxf").string()), 0.0);
}

// Drawings written on older systems end their lines with CR alone, some
// converted twice with CR CR LF; R12 writers pad their group codes with
// blanks; editors put a UTF-8 byte order mark in front. Each sample reads
// to the same geometry in every form.
TEST_F(DxfImportTest, SampleDrawingsReadTheSameAsOtherWritersSaveThem) {
  if (!std::filesystem::exists(Sample("dxf", "README.md"))) GTEST_SKIP() << "shared test data absent";
  auto tally = [this](const std::string& file) {
    delete DB;
    DB = new TCadDatabase();
    ResetHeadlessDialogs();
    ImportMm(file);
    // Nothing but the notice of the entities skipped, the same in every
    // form (the declared units are read from line-feed files only).
    std::string notices;
    for (const auto& b : ShownMessageBoxes()) {
      const std::string text = b.Text.substr(b.Text.rfind("The drawing declares", 0) == 0 ? b.Text.find('.') + 1 : 0);
      if (text.empty()) continue;
      EXPECT_NE(text.find("of types that are not imported"), std::string::npos) << b.Text;
      notices += "\n" + text.substr(text.find_first_not_of('\n'));
    }
    return Shown(Tally(Mm)) + notices;
  };
  auto replaced = [](const std::string& text, const std::string& by) {
    std::string out;
    for (const char c : text) {
      if (c == '\n') out += by;
      else if (c != '\r') out += c;
    }
    return out;
  };
  for (const char* name : {"autocad__floorplan.dxf", "ezdxf__POLI-ALL210_12.DXF", "librecad__issue21.dxf",
                           "ezdxf__insert_bricscad_level_1.dxf"}) {
    SCOPED_TRACE(name);
    const std::string text = ReadFileBytes(Sample("dxf", name));
    const std::string original = tally(Sample("dxf", name).string());
    EXPECT_EQ(tally(Write("cr.dxf", replaced(text, "\r"))), original) << "CR";
    EXPECT_EQ(tally(Write("crcrlf.dxf", replaced(text, "\r\r\n"))), original) << "CR CR LF";
    const std::string marked = Write("marked.dxf", "\xEF\xBB\xBF" + text);
    EXPECT_EQ(DetectFileFormat(marked), fcDxf);
    EXPECT_EQ(tally(marked), original) << "byte order mark";
    // Group codes right-aligned in three columns.
    std::istringstream in(replaced(text, "\n"));
    std::string padded, line;
    for (bool code = true; std::getline(in, line); code = !code) {
      if (code) line.insert(0, line.size() < 3 ? 3 - line.size() : 0, ' ');
      padded += line + "\n";
    }
    EXPECT_EQ(tally(Write("padded.dxf", padded)), original) << "padded codes";
  }
  // An empty text value between two CRs stays a value.
  delete DB;
  DB = new TCadDatabase();
  ImportMm(Write("empty.dxf", replaced(Drawing("", "0\nTEXT\n8\n0\n10\n0\n20\n0\n40\n1\n1\n\n"
                                                   "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n"),
                                       "\r")));
  EXPECT_EQ(Tally(Mm).ByType[2], 1);
}

// A turned TEXT runs along its angle: "11" at 90 degrees reads upwards from
// its insertion point, the second 1 one cell (0.8 h) above the first, and
// no stroke lies right of the point or beyond the cell's height left of it.
TEST_F(DxfImportTest, TurnedTextRunsAlongItsAngle) {
  Import(Drawing("", "0\nTEXT\n8\n0\n10\n2\n20\n3\n40\n1\n1\n11\n50\n90\n"));
  ASSERT_EQ(CadEntityCount, 6);
  int32_t minX = INT32_MAX, maxX = INT32_MIN, minY = INT32_MAX, maxY = INT32_MIN;
  for (int32_t i = 1; i <= CadEntityCount; ++i)
    for (const TIntPoint& p : {First(i), Second(i)}) {
      minX = std::min(minX, p.X);
      maxX = std::max(maxX, p.X);
      minY = std::min(minY, p.Y);
      maxY = std::max(maxY, p.Y);
    }
  // The 1's foot runs from 3 to 7 of the 15 steps of 0.8 in, its stem 15 of
  // 0.9 in high: turned, the stem lies left of the point.
  EXPECT_NEAR(minY, 3 * Inch + 0.16 * Inch, 0.001 * Inch);
  EXPECT_NEAR(maxY, 3 * Inch + 0.8 * Inch + 0.37 * Inch, 0.001 * Inch);  // points fall on hundredths
  EXPECT_NEAR(maxX, 2 * Inch, 0.001 * Inch);
  EXPECT_NEAR(minX, 2 * Inch - 0.9 * Inch, 0.001 * Inch);
}

// ---- Blocks --------------------------------------------------------------------------------

TEST_F(DxfImportTest, InsertsAreMovedScaledTurnedAndMirrored) {
  // Block B: a circle of radius 1 at (1, 0) and a quarter arc about the
  // base point (0, 0) from 0 to 90 degrees, radius 1.
  const std::string blocks =
      "0\nBLOCK\n2\nB\n10\n0\n20\n0\n0\nCIRCLE\n8\n0\n10\n1\n20\n0\n40\n1\n"
      "0\nARC\n8\n0\n10\n0\n20\n0\n40\n1\n50\n0\n51\n90\n0\nENDBLK\n";
  // Scale 2, turned by 90 degrees, at (10, 10).
  Import(Drawing(blocks, "0\nINSERT\n8\n0\n2\nB\n10\n10\n20\n10\n41\n2\n42\n2\n50\n90\n"));
  ASSERT_EQ(CadEntityCount, 2);
  EXPECT_EQ(At(1)->GetType(), etCadCircle);
  EXPECT_EQ(First(1), (TIntPoint{10 * Inch, 12 * Inch}));  // (1, 0) turned to (0, 2)
  EXPECT_EQ(Second(1).X, 2 * Inch);                         // radius 2
  // The arc turns with the block: from (10, 12) to (8, 10) about (10, 10).
  EXPECT_EQ(First(2), (TIntPoint{10 * Inch, 12 * Inch}));
  EXPECT_EQ(Second(2), (TIntPoint{8 * Inch, 10 * Inch}));
  EXPECT_EQ(Centre(2), (TIntPoint{10 * Inch, 10 * Inch}));

  // Mirrored in X (scale -1, 1) at the origin: the radius stays 1 and the
  // arc is reflected, still counter-clockwise: from (0, 1) to (-1, 0).
  delete DB;
  DB = new TCadDatabase();
  Import(Drawing(blocks, "0\nINSERT\n8\n0\n2\nB\n10\n0\n20\n0\n41\n-1\n"));
  ASSERT_EQ(CadEntityCount, 2);
  EXPECT_EQ(First(1), (TIntPoint{-Inch, 0}));
  EXPECT_EQ(Second(1).X, Inch);
  EXPECT_EQ(First(2), (TIntPoint{0, Inch}));
  EXPECT_EQ(Second(2), (TIntPoint{-Inch, 0}));
}

// A block inserted with unequal scales makes its circle and arc ellipses:
// they come in round with the mean radius, and the user is told how many;
// the evenly scaled copy is drawn as it is and not counted.
TEST_F(DxfImportTest, CirclesOfUnevenlyScaledInsertsAreCounted) {
  ImportDxfToCad((std::filesystem::path(KORVEX_TEST_DATA_DIR) / "dxf-stretched-insert.dxf").string());
  ASSERT_EQ(CadEntityCount, 4);
  EXPECT_EQ(First(1), (TIntPoint{3 * Inch, 0}));
  EXPECT_EQ(Second(1).X, 2 * Inch);  // the mean of 3 and 1
  EXPECT_EQ(First(3), (TIntPoint{12 * Inch, 0}));
  EXPECT_EQ(Second(3).X, 2 * Inch);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "2 entities were not imported as drawn (ellipses in the drawing, imported as circles and arcs "
            "of the mean radius):\n1 ARC, 1 CIRCLE");
}

TEST_F(DxfImportTest, NestedBlocksAreDrawnOnceWithoutTheirRecursion) {
  // A inserts B at (1, 0); B holds a point and inserts A again (skipped).
  const std::string blocks =
      "0\nBLOCK\n2\nA\n10\n0\n20\n0\n0\nINSERT\n8\n0\n2\nB\n10\n1\n20\n0\n0\nENDBLK\n"
      "0\nBLOCK\n2\nB\n10\n0\n20\n0\n0\nPOINT\n8\n0\n10\n0\n20\n0\n"
      "0\nINSERT\n8\n0\n2\nA\n10\n5\n20\n5\n0\nENDBLK\n";
  Import(Drawing(blocks, "0\nINSERT\n8\n0\n2\nA\n10\n2\n20\n3\n0\nINSERT\n8\n0\n2\nNONE\n10\n0\n20\n0\n"));
  ASSERT_EQ(CadEntityCount, 1);
  EXPECT_EQ(First(1), (TIntPoint{3 * Inch, 3 * Inch}));
  // The insert of a block the drawing does not define is named.
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "1 entity of types that are not imported was skipped:\n1 INSERT (block not defined)");
}

// ---- Polylines -----------------------------------------------------------------------------

TEST_F(DxfImportTest, PolylineBulgesBecomeArcs) {
  // A closed square of side 2 whose last vertex has bulge 1: three lines
  // and a half circle from (0, 2) back to (0, 0), bulging to the left.
  const std::string vertices = "10\n0\n20\n0\n10\n2\n20\n0\n10\n2\n20\n2\n10\n0\n20\n2\n42\n1\n";
  Import(Drawing("", "0\nLWPOLYLINE\n8\n0\n90\n4\n70\n1\n" + vertices));
  ASSERT_EQ(CadEntityCount, 4);
  EXPECT_EQ(Tally(Inch).ByType[2], 3);
  ASSERT_EQ(At(4)->GetType(), etCadArc);
  EXPECT_EQ(First(4), (TIntPoint{0, 2 * Inch}));
  EXPECT_EQ(Second(4), (TIntPoint{0, 0}));
  EXPECT_EQ(Centre(4), (TIntPoint{0, Inch}));

  // The old POLYLINE form with a negative bulge: the clockwise half circle
  // is handed over reversed, counter-clockwise from its end to its start.
  delete DB;
  DB = new TCadDatabase();
  Import(Drawing("", "0\nPOLYLINE\n8\n0\n66\n1\n70\n0\n0\nVERTEX\n8\n0\n10\n0\n20\n0\n42\n-1\n"
                     "0\nVERTEX\n8\n0\n10\n2\n20\n0\n0\nSEQEND\n8\n0\n"));
  ASSERT_EQ(CadEntityCount, 1);
  EXPECT_EQ(First(1), (TIntPoint{2 * Inch, 0}));
  EXPECT_EQ(Second(1), (TIntPoint{0, 0}));
  EXPECT_EQ(Centre(1), (TIntPoint{Inch, 0}));
}

// Polylines of the other kinds: a spline-fit polyline draws its fitted
// vertices and not its control frame; a polyface mesh is a surface and is
// named, not drawn; a polyline whose writer left out the SEQEND ends at the
// next entity, which is read as it stands.
TEST_F(DxfImportTest, PolylineFramesMeshesAndMissingEndsAreReadAsDrawn) {
  auto vertex = [](const std::string& x, const std::string& y, int flags) {
    return "0\nVERTEX\n8\n0\n10\n" + x + "\n20\n" + y + "\n70\n" + std::to_string(flags) + "\n";
  };
  const std::string splineFit = "0\nPOLYLINE\n8\n0\n66\n1\n70\n4\n" + vertex("0", "0", 16) +
                                vertex("1", "4", 16) + vertex("2", "0", 16) + vertex("0", "0", 8) +
                                vertex("1", "2", 8) + vertex("2", "0", 8) + "0\nSEQEND\n8\n0\n";
  const std::string mesh = "0\nPOLYLINE\n8\n0\n66\n1\n70\n64\n" + vertex("5", "0", 192) +
                           vertex("6", "0", 192) + vertex("6", "1", 192) +
                           "0\nVERTEX\n8\n0\n10\n0\n20\n0\n70\n128\n71\n1\n72\n2\n73\n3\n0\nSEQEND\n8\n0\n";
  Import(Drawing("", splineFit + mesh));
  const TTally t = Tally(Inch);
  EXPECT_EQ(t.ByType[2], 2);
  EXPECT_EQ(t.Total(), 2);
  EXPECT_NEAR(t.MaxY, 2.0, 1e-9);  // the frame's top (1, 4) is not drawn
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "1 entity of types that are not imported was skipped:\n1 POLYLINE (polyface mesh)");

  // A frame alone is all the polyline holds: it is drawn.
  delete DB;
  DB = new TCadDatabase();
  ResetHeadlessDialogs();
  Import(Drawing("", "0\nPOLYLINE\n8\n0\n66\n1\n70\n4\n" + vertex("0", "0", 16) + vertex("1", "4", 16) +
                         "0\nSEQEND\n8\n0\n"));
  EXPECT_EQ(Tally(Inch).ByType[2], 1);

  delete DB;
  DB = new TCadDatabase();
  Import(Drawing("", "0\nPOLYLINE\n8\n0\n66\n1\n70\n1\n" + vertex("0", "0", 0) + vertex("2", "0", 0) +
                         vertex("2", "2", 0) + "0\nCIRCLE\n8\n0\n10\n5\n20\n5\n40\n1\n"));
  const TTally open = Tally(Inch);
  EXPECT_EQ(open.ByType[2], 3);  // closed: back to its first vertex
  EXPECT_EQ(open.ByType[4], 1);
  EXPECT_TRUE(ShownMessageBoxes().empty());

  // A closed polyline whose writer repeats the first vertex at its end,
  // and a vertex given twice: no segment of no length, so no stray point.
  delete DB;
  DB = new TCadDatabase();
  Import(Drawing("", "0\nLWPOLYLINE\n8\n0\n90\n5\n70\n1\n10\n0\n20\n0\n10\n2\n20\n0\n10\n2\n20\n0\n"
                     "10\n2\n20\n2\n10\n0\n20\n0\n"));
  const TTally repeated = Tally(Inch);
  EXPECT_EQ(repeated.ByType[2], 3);
  EXPECT_EQ(repeated.Total(), 3);
}

// ---- Object frames -------------------------------------------------------------------------

// Circles, arcs, polylines, outlines, text and inserts are drawn in their
// own plane, so an extrusion of (0, 0, -1) mirrors them in X; a LINE's and
// a POINT's points are world points whatever their extrusion. A plane
// tilted against the drawing shows its circles as ellipses: they are named.
TEST_F(DxfImportTest, ExtrusionMirrorsPlanarEntitiesOnly) {
  const std::string down = "210\n0\n220\n0\n230\n-1\n";
  Import(Drawing("", "0\nLINE\n8\n0\n10\n1\n20\n2\n11\n4\n21\n3\n" + down +
                         "0\nPOINT\n8\n0\n10\n6\n20\n5\n" + down +
                         "0\nARC\n8\n0\n10\n2\n20\n0\n40\n1\n50\n0\n51\n90\n" + down));
  ASSERT_EQ(CadEntityCount, 3);
  EXPECT_EQ(First(1), (TIntPoint{Inch, 2 * Inch}));
  EXPECT_EQ(Second(1), (TIntPoint{4 * Inch, 3 * Inch}));
  EXPECT_EQ(First(2), (TIntPoint{6 * Inch, 5 * Inch}));
  // The quarter from (3, 0) to (2, 1) about (2, 0) in its plane is, seen
  // from above, the quarter from (-2, 1) to (-3, 0) about (-2, 0).
  ASSERT_EQ(At(3)->GetType(), etCadArc);
  EXPECT_EQ(First(3), (TIntPoint{-2 * Inch, Inch}));
  EXPECT_EQ(Second(3), (TIntPoint{-3 * Inch, 0}));
  EXPECT_EQ(Centre(3), (TIntPoint{-2 * Inch, 0}));
  EXPECT_TRUE(ShownMessageBoxes().empty());

  delete DB;
  DB = new TCadDatabase();
  Import(Drawing("", "0\nCIRCLE\n8\n0\n10\n0\n20\n0\n40\n1\n210\n0\n220\n0.6\n230\n0.8\n"));
  EXPECT_EQ(Tally(Inch).ByType[4], 1);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, NotAsDrawnNotice({{"CIRCLE", 1}}));
}

// ---- Model and sheet -----------------------------------------------------------------------

// Entities on the sheet (code 67 = 1: title blocks, frames) are no part of
// the model: they are named and left out. A drawing made on its sheet
// alone, its model empty, is read from the sheet.
TEST_F(DxfImportTest, SheetEntitiesAreLeftOutUnlessTheModelIsEmpty) {
  const std::string sheet = "0\nLINE\n8\n0\n67\n1\n10\n0\n20\n0\n11\n29.7\n21\n0\n"
                            "0\nPOLYLINE\n8\n0\n67\n1\n66\n1\n70\n0\n"
                            "0\nVERTEX\n8\n0\n67\n1\n10\n0\n20\n0\n0\nVERTEX\n8\n0\n67\n1\n10\n5\n20\n5\n"
                            "0\nSEQEND\n8\n0\n67\n1\n";
  Import(Drawing("", sheet + "0\nCIRCLE\n8\n0\n10\n1\n20\n1\n40\n0.5\n"));
  const TTally model = Tally(Inch);
  EXPECT_EQ(model.Total(), 1);
  EXPECT_EQ(model.ByType[4], 1);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "2 entities of types that are not imported were skipped:\n1 LINE (paper space), "
            "1 POLYLINE (paper space)");

  delete DB;
  DB = new TCadDatabase();
  ResetHeadlessDialogs();
  Import(Drawing("", sheet));
  EXPECT_EQ(Tally(Inch).ByType[2], 2);
  EXPECT_TRUE(ShownMessageBoxes().empty());

  // A model of nothing but entities that are not imported is still the
  // model: the sheet is not read in its place.
  delete DB;
  DB = new TCadDatabase();
  Import(Drawing("", sheet + "0\nELLIPSE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n0\n40\n0.5\n"));
  EXPECT_EQ(Tally(Inch).Total(), 0);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "3 entities of types that are not imported were skipped:\n1 ELLIPSE, 1 LINE (paper space), "
            "1 POLYLINE (paper space)");
}

// ---- Feature drawings ----------------------------------------------------------------------

// The drawings of tests/data/dxf-features, one feature each, written by
// another DXF library (make_features.py), against that library's own
// reading of them: entities by kind and extents in millimetres. Where the
// two differ on purpose it is noted.
TEST_F(DxfImportTest, FeatureDrawingsMatchAnotherReadersFigures) {
  struct TCase {
    const char* File;
    int Points, Lines, Arcs, Circles;
    double MinX, MinY, MaxX, MaxY;
    const char* Notice;
  };
  const TCase cases[] = {
      {"lines-points.dxf", 2, 2, 0, 0, 0.0, 0.0, 6.0, 5.0, ""},
      {"arcs-extrusion.dxf", 0, 0, 3, 1, -10.0, 1.1736, 3.4772, 4.4142, ""},
      {"lwpolylines.dxf", 0, 6, 4, 0, -12.0, -1.0, 9.0, 3.0, ""},
      // The other reader draws the spline frame too, up to 9.0.
      {"polylines.dxf", 0, 17, 3, 0, -8.0, -0.5, 13.0, 7.5, ""},
      {"curves.dxf", 0, 0, 0, 0, 0, 0, 0, 0,
       "6 entities of types that are not imported were skipped:\n2 ELLIPSE, 4 SPLINE"},
      {"inserts.dxf", 0, 17, 15, 17, -56.4641, 9.5, 43.1471, 36.512, ""},
      {"layers.dxf", 0, 4, 0, 0, 0.0, 0.0, 1.0, 3.0, ""},
      {"layers-r12.dxf", 0, 1, 0, 0, 0.0, 3.0, 1.0, 3.0, ""},
      {"layouts-attributes.dxf", 0, 1, 0, 1, 0.0, 0.0, 4.0, 2.5,
       "4 entities of types that are not imported were skipped:\n1 ATTRIB, 1 CIRCLE (paper space), "
       "1 LINE (paper space), 1 POLYLINE (polyface mesh)"},
      // Text is stroked with the built-in font (up to 5.45), which the
      // other reader leaves out of its extents.
      {"other-entities.dxf", 1, 24, 0, 0, 0.0, 0.0, 15.0, 5.45,
       "4 entities of types that are not imported were skipped:\n1 3DFACE, 1 DIMENSION, 1 HATCH, 1 MTEXT"},
      {"outlines-extrusion.dxf", 0, 21, 0, 0, -11.0, 0.0, -2.0, 5.45, ""},
  };
  const std::filesystem::path folder = std::filesystem::path(KORVEX_TEST_DATA_DIR) / "dxf-features";
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    delete DB;
    DB = new TCadDatabase();
    ResetHeadlessDialogs();
    ImportMm((folder / c.File).string());
    const TTally t = Tally(Mm);
    EXPECT_EQ(t.ByType[1], c.Points);
    EXPECT_EQ(t.ByType[2], c.Lines);
    EXPECT_EQ(t.ByType[3], c.Arcs);
    EXPECT_EQ(t.ByType[4], c.Circles);
    if (t.Total() > 0) {
      EXPECT_NEAR(t.MinX, c.MinX, 0.001);
      EXPECT_NEAR(t.MinY, c.MinY, 0.001);
      EXPECT_NEAR(t.MaxX, c.MaxX, 0.001);
      EXPECT_NEAR(t.MaxY, c.MaxY, 0.001);
    }
    if (*c.Notice == '\0') {
      EXPECT_TRUE(ShownMessageBoxes().empty());
    } else {
      ASSERT_EQ(ShownMessageBoxes().size(), 1u);
      EXPECT_EQ(ShownMessageBoxes()[0].Text, c.Notice);
    }
  }
}

// ---- Layers ----------------------------------------------------------------------------------

TEST_F(DxfImportTest, LayersMapOntoTheCadLayers) {
  const std::string tables =
      "0\nTABLE\n2\nLAYER\n0\nLAYER\n2\nZERO\n0\nLAYER\n2\nOTHER\n0\nLAYER\n2\nBOARD OUTLINE\n0\nENDTAB\n";
  auto point = [](const std::string& layer, int x) {
    return "0\nPOINT\n8\n" + layer + "\n10\n" + std::to_string(x) + "\n20\n0\n";
  };
  // The table's third name (blanks dropped on both sides), a number beyond
  // 30, a negative number and a name the table does not list.
  Import(Drawing("", point("BOARDOUTLINE", 1) + point("35", 2) + point("-5", 3) + point("DIMS", 4) +
                         point("7", 5),
                 tables));
  ASSERT_EQ(CadEntityCount, 5);
  const uint8_t expected[] = {2, 5, 0, 0, 7};
  for (int32_t i = 1; i <= 5; ++i) EXPECT_EQ(LayerOfBit(DB->SlotAt(i)->Flags), expected[i - 1]) << i;
  EXPECT_EQ(DetachedImportHost().ShownLayers, (1u << 0) | (1u << 2) | (1u << 5) | (1u << 7));
}

// Layer and block names are the same in any case: an entity on "outline"
// is on the table's OUTLINE, an INSERT of "PAD" draws the block "Pad"; an
// exact name still wins over one that differs in case.
TEST_F(DxfImportTest, NamesMatchInAnyCase) {
  const std::string tables =
      "0\nTABLE\n2\nLAYER\n0\nLAYER\n2\nZERO\n0\nLAYER\n2\nOUTLINE\n0\nLAYER\n2\noutline2\n"
      "0\nLAYER\n2\nOUTLINE2\n0\nENDTAB\n";
  const std::string blocks = "0\nBLOCK\n2\nPad\n10\n0\n20\n0\n0\nPOINT\n8\noutline\n10\n1\n20\n1\n0\nENDBLK\n";
  Import(Drawing(blocks,
                 "0\nINSERT\n8\n0\n2\nPAD\n10\n0\n20\n0\n0\nPOINT\n8\nOUTLINE2\n10\n2\n20\n2\n",
                 tables));
  ASSERT_EQ(CadEntityCount, 2);
  EXPECT_EQ(First(1), (TIntPoint{Inch, Inch}));
  EXPECT_EQ(DB->SlotAt(1)->Flags, 1u << 1);
  EXPECT_EQ(DB->SlotAt(2)->Flags, 1u << 3);
  EXPECT_TRUE(ShownMessageBoxes().empty());
}

// ---- Broken drawings ----------------------------------------------------------------------

TEST_F(DxfImportTest, ABrokenDrawingImportsNothingAndNamesItsLine) {
  Import(Drawing("", "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n"));
  ASSERT_EQ(CadEntityCount, 1);
  std::string undoName;
  ASSERT_TRUE(CadUndo->CanUndo(undoName));
  const int32_t undoSteps = CadUndo->UndoCount();
  // A good line followed by a number that is none, then a drawing cut off
  // inside an entity.
  const std::string bad[] = {
      Drawing("", "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n0\nCIRCLE\n8\n0\n10\n1,5\n20\n0\n40\n1\n"),
      "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n0\n20\n0\n11\n"};
  const char* lines[] = {"line 22", "line 13"};
  for (int k = 0; k < 2; ++k) {
    ResetHeadlessDialogs();
    const std::string file = Write("bad.dxf", bad[k]);
    ImportDxfToCad(file);
    EXPECT_EQ(CadEntityCount, 1);
    EXPECT_EQ(CadUndo->UndoCount(), undoSteps);
    ASSERT_EQ(ShownMessageBoxes().size(), 1u);
    const std::string& text = ShownMessageBoxes()[0].Text;
    EXPECT_NE(text.find(file), std::string::npos) << text;
    EXPECT_NE(text.find(lines[k]), std::string::npos) << text;
  }
  // A line longer than any drawing holds (here a comment) is refused where
  // it starts; the rest of the file is not read.
  ResetHeadlessDialogs();
  const std::string endless = Write(
      "endless.dxf", Drawing("", "0\nLINE\n999\n" + std::string(70000, 'x') +
                                     "\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n"));
  ImportDxfToCad(endless);
  EXPECT_EQ(CadEntityCount, 1);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find(endless + ", line 8: the line is longer"), std::string::npos)
      << ShownMessageBoxes()[0].Text;
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("longer than 65,536 characters"), std::string::npos);
  // An empty file never reaches the units dialog.
  ResetHeadlessDialogs();
  ImportDxfToCad(Write("empty.dxf", ""));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "File access error #100\r\n" + IoErrorText(100));
}

// A drawing that reaches beyond what a job holds (a building plan in
// millimetres, a board drawn in millimetres read as inches) is refused with
// its line and the hint to the units, never cut to the edge of the job.
TEST_F(DxfImportTest, ADrawingBeyondTheLargestCoordinateIsRefusedNotCut) {
  const std::string plan =
      Drawing("", "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n100\n21\n50\n"
                  "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n5000\n21\n0\n");
  // In millimetres the first line fits and the second does not; in inches
  // neither does.
  for (const bool inches : {false, true}) {
    SCOPED_TRACE(inches ? "inches" : "millimetres");
    delete DB;
    DB = new TCadDatabase();
    ResetHeadlessDialogs();
    QueueModalScript("TDrawingUnits", [inches](TForm& f) {
      f.Get<TRadioGroup>("DrawingUnitsGroup").SetItemIndex(inches ? 0 : 1);
      f.Click("OKButton");
    });
    const std::string file = Write("plan.dxf", plan);
    ImportDxfToCad(file);
    EXPECT_EQ(Tally(Mm).Total(), 0);
    ASSERT_EQ(ShownMessageBoxes().size(), 1u);
    const std::string& text = ShownMessageBoxes()[0].Text;
    EXPECT_NE(text.find(file + ", line " + (inches ? "5:" : "17:")), std::string::npos) << text;
    EXPECT_NE(text.find("beyond the largest coordinate"), std::string::npos) << text;
  }
  // Circles reach as far as their radius, on the drill side too.
  ResetHeadlessDialogs();
  QueueModalScript("TDrawingUnits", [](TForm& f) {
    f.Get<TRadioGroup>("DrawingUnitsGroup").SetItemIndex(1);
    f.Click("OKButton");
  });
  const int32_t holes = DrillEntityCount;
  ImportDxfToDrill(Write("ring.dxf", Drawing("", "0\nCIRCLE\n8\n0\n10\n2000\n20\n0\n40\n200\n")));
  EXPECT_EQ(DrillEntityCount, holes);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("beyond the largest coordinate"), std::string::npos);
}

// ---- Drill side ---------------------------------------------------------------------------

TEST_F(DxfImportTest, CirclesBecomeHolesOfFreeTools) {
  // A live hole uses tool 1: new diameters must not resize it.
  ASSERT_NE(DRDB->AddHoleOnLayer(0, 0, 30, 1, true), 0);
  ToolTable[1].Diameter = 999;
  auto circle = [](double x, double r) {
    std::ostringstream s;
    s << "0\nCIRCLE\n8\n0\n10\n" << x << "\n20\n0\n40\n" << r << "\n";
    return s.str();
  };
  ImportDxfToDrill(Write("d.dxf", Drawing("", circle(1, 0.00675) + circle(2, 0.00675) + circle(3, 0.01) +
                                                  "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n")));
  ASSERT_EQ(DrillEntityCount, 4);
  EXPECT_EQ(DRDB->EntityAt(2)->GetToolNumber(), 2);
  EXPECT_EQ(DRDB->EntityAt(3)->GetToolNumber(), 2);
  EXPECT_EQ(DRDB->EntityAt(4)->GetToolNumber(), 3);
  EXPECT_EQ(ToolTable[1].Diameter, 999);
  EXPECT_EQ(ToolTable[2].Diameter, 342900);  // 0.0135 in
  EXPECT_EQ(ToolTable[3].Diameter, 508000);  // 0.020 in
  // Stored hidden until the Drill Import places them.
  EXPECT_TRUE(SlotDeleted(DRDB->WordAt(2)));
}

TEST_F(DxfImportTest, EntitiesOfTypesNotImportedAreCountedInANotice) {
  // The importable entities are imported; the rest is named, by type and
  // count, in the report and in a message after the import. A block's
  // entities count once for each insertion.
  const std::string ellipse = "0\nELLIPSE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n0\n40\n0.5\n";
  const std::string spline = "0\nSPLINE\n8\n0\n10\n0\n20\n0\n";
  const std::string line = "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n";
  const std::string block = "0\nBLOCK\n2\nB\n10\n0\n20\n0\n" + spline + "0\nENDBLK\n";
  const std::string insert = "0\nINSERT\n8\n0\n2\nB\n10\n0\n20\n0\n";
  Import(Drawing(block, line + ellipse + ellipse + insert + insert + "0\nSEQEND\n"));
  EXPECT_EQ(Tally(Inch).Total(), 1);
  const std::string notice = "4 entities of types that are not imported were skipped:\n2 ELLIPSE, 2 SPLINE";
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, notice);
  ASSERT_FALSE(DetachedImportHost().Reports.empty());
  EXPECT_NE(DetachedImportHost().Reports.back().Text.find(notice), std::string::npos);

  // The sample of circles, ellipses and arcs: the ellipses are named.
  if (std::filesystem::exists(Sample("dxf", "README.md"))) {
    ResetHeadlessDialogs();
    delete DB;
    DB = new TCadDatabase();
    ImportMm(Sample("dxf", "librecad__circlesellipsesarcs.dxf").string());
    const TTally t = Tally(Mm);
    EXPECT_EQ(t.ByType[4], 1);
    EXPECT_EQ(t.ByType[3], 2);
    ASSERT_EQ(ShownMessageBoxes().size(), 1u);
    EXPECT_EQ(ShownMessageBoxes()[0].Text,
              "2 entities of types that are not imported were skipped:\n2 ELLIPSE");
  }

  // The drill side says the same; a drawing it reads whole says nothing.
  ResetHeadlessDialogs();
  ImportDxfToDrill(Write("e.dxf", Drawing("", "0\nCIRCLE\n8\n0\n10\n1\n20\n0\n40\n0.01\n" + spline)));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "1 entity of types that are not imported was skipped:\n1 SPLINE");
  ResetHeadlessDialogs();
  Import(Drawing("", line));
  EXPECT_TRUE(ShownMessageBoxes().empty());
}

// ---- Drawing units ------------------------------------------------------------------------

TEST_F(DxfImportTest, TheDeclaredUnitsPreselectTheUnitsDialog) {
  auto header = [](const std::string& units) {
    return "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1018\n" + units + "0\nENDSEC\n" +
           Drawing("", "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n10\n21\n0\n");
  };
  struct TCase {
    std::string Text;
    bool Metric;     // the stored default
    int Preselected;  // 0 inches, 1 millimetres
  };
  const TCase cases[] = {
      {header("9\n$INSUNITS\n70\n     4\n"), false, 1},
      {header("9\n$INSUNITS\n70\n1\r\n"), true, 0},
      // Centimetres and metres are metric drawings; a unitless one is told
      // by its measurement system, else the default stands.
      {header("9\n$INSUNITS\n70\n5\n"), false, 1},
      {header("9\n$INSUNITS\n70\n6\n"), false, 1},
      {header("9\n$MEASUREMENT\n70\n1\n9\n$INSUNITS\n70\n0\n"), false, 1},
      {header("9\n$MEASUREMENT\n70\n1\n"), false, 1},
      {header("9\n$INSUNITS\n70\n0\n9\n$MEASUREMENT\n70\n0\n"), true, 0},
      {header("9\n$INSUNITS\n70\n0\n"), true, 1},
      {header("9\n$INSUNITS\n70\n3\n"), false, 0},
      {header(""), false, 0},
      {Drawing("", "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n10\n21\n0\n"), true, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text.substr(0, 80));
    ResetHeadlessDialogs();
    Metric = c.Metric;
    int shown = -1;
    QueueModalScript("TDrawingUnits", [&shown](TForm& f) {
      shown = f.Get<TRadioGroup>("DrawingUnitsGroup").ItemIndex();
      f.Click("OKButton");
    });
    ImportDxfToCad(Write("u.dxf", c.Text));
    EXPECT_EQ(shown, c.Preselected);
  }
  // Centimetres and metres are scaled to millimetres: the 10-unit line is
  // 100 mm long in centimetres, 10 m in metres does not fit and is read as
  // 10 mm with a word.
  for (const auto& [units, length, told] :
       {std::tuple{"5", 100.0, false}, std::tuple{"6", 10.0, true}, std::tuple{"4", 10.0, false}}) {
    delete DB;
    DB = new TCadDatabase();
    ResetHeadlessDialogs();
    Metric = false;
    QueueModalScript("TDrawingUnits", [](TForm& f) { f.Click("OKButton"); });
    ImportDxfToCad(Write("u.dxf", header(std::string("9\n$INSUNITS\n70\n") + units + "\n")));
    const TTally t = Tally(Mm);
    EXPECT_EQ(t.ByType[2], 1) << units;
    EXPECT_NEAR(t.MaxX - t.MinX, length, 1e-6) << units;
    EXPECT_EQ(ShownMessageBoxes().size(), told ? 1u : 0u) << units;
  }
  // A drawing that declares no units and reaches 500 units is offered in
  // millimetres, as it does not fit a job in inches; one that fits neither
  // way, or declares inches, is offered as before.
  const auto far = [](double x, const std::string& units) {
    std::string text = "0\nSECTION\n2\nHEADER\n" + units + "0\nENDSEC\n";
    return text + Drawing("", "0\nLINE\n8\n0\n10\n1\n20\n2\n11\n" + std::to_string(x) + "\n21\n2\n");
  };
  for (const auto& [x, units, preselected] :
       {std::tuple{500.0, std::string(), 1}, std::tuple{3000.0, std::string(), 0},
        std::tuple{80.0, std::string(), 0}, std::tuple{500.0, std::string("9\n$INSUNITS\n70\n1\n"), 0}}) {
    SCOPED_TRACE(x);
    delete DB;
    DB = new TCadDatabase();
    ResetHeadlessDialogs();
    Metric = false;
    int shown = -1;
    QueueModalScript("TDrawingUnits", [&shown](TForm& f) {
      shown = f.Get<TRadioGroup>("DrawingUnitsGroup").ItemIndex();
      f.Click("OKButton");
    });
    ImportDxfToCad(Write("far.dxf", far(x, units)));
    EXPECT_EQ(shown, preselected);
    // Taken as offered, the 500-unit drawing is 499 mm long from 1 mm.
    if (preselected == 1) {
      const TTally t = Tally(Mm);
      ASSERT_EQ(t.ByType[2], 1);
      EXPECT_NEAR(t.MinX, 1.0, 1e-6);
      EXPECT_NEAR(t.MaxX, 500.0, 1e-6);
      EXPECT_NEAR(t.MaxY, 2.0, 1e-6);
      EXPECT_TRUE(ShownMessageBoxes().empty());
    }
  }
  // The sample square declares millimetres: taken as offered, it is 10 mm wide.
  if (!std::filesystem::exists(Sample("dxf", "README.md"))) return;
  delete DB;
  DB = new TCadDatabase();
  ResetHeadlessDialogs();
  Metric = false;
  QueueModalScript("TDrawingUnits", [](TForm& f) { f.Click("OKButton"); });
  ImportDxfToCad(Sample("dxf", "autocad__squareandcircle.dxf").string());
  EXPECT_NEAR(Tally(Mm).MaxX, 10.0, 0.001);
}

// ---- Detection -----------------------------------------------------------------------------

TEST_F(DxfImportTest, DetectorScoresTheDrawingStart) {
  EXPECT_DOUBLE_EQ(DetectDxf(Write("a.dxf", Drawing("", ""))), 0.9);
  // A comment ahead of the first section is no reason to doubt.
  EXPECT_DOUBLE_EQ(DetectDxf(Write("b.dxf", "999\nmade by hand\n" + Drawing("", ""))), 0.9);
  EXPECT_DOUBLE_EQ(DetectDxf(Write("c.dxf", std::string(79, '0') + "\n" + Drawing("", ""))), 0.0);
  // Group codes at every other line without the usual start: their share.
  EXPECT_NEAR(DetectDxf(Write("d.dxf", "10\n1.0\n20\n2.0\n")), 0.5, 1e-12);
  EXPECT_EQ(DetectDxf(Write("e.dxf", "")), 0.0);
}

}  // namespace
