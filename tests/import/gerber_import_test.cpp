// The photoplot import: every sample file against the figures of its
// README, and the reader's modal state, parameters and shapes on small
// hand-written files.
#include <gtest/gtest.h>

#include <tuple>

#include <algorithm>

#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <regex>
#include <sstream>

#include "import/gerber_cad.h"
#include "import/gerber_macro.h"
#include "import/gerber_to_drill.h"
#include "import/import_frame.h"
#include "import_test_support.h"
#include "platform/headless/headless_events.h"
#include "model/drill_entities.h"
#include "tapein/tape_input_filter.h"

namespace fs = std::filesystem;

namespace {

constexpr double Mm = 1000000.0;
constexpr int32_t Inch = 25400000;
int32_t In(double inches) { return static_cast<int32_t>(std::lround(inches * Inch)); }

// One row of the README's table.
struct TReadmeRow {
  int Flashes = -1;
  bool ClearPolarity = false;
  bool HasBox = false;
  double Box[4] = {};      // image bbox, mm
  bool HasExtent = false;
  double Extent[4] = {};   // coordinate extent, mm
};

std::map<std::string, TReadmeRow> ReadReadme(const fs::path& readme) {
  std::map<std::string, TReadmeRow> rows;
  std::ifstream in(readme);
  std::string line;
  const std::regex name(R"(^\| `([^`]+)` \|)");
  const std::regex flashes(R"(flashes (\d+);)");
  const std::regex box(R"(image bbox mm \[([-\d.]+), ([-\d.]+), ([-\d.]+), ([-\d.]+)\])");
  const std::regex extent(R"(coordinate extent mm \[([-\d.]+), ([-\d.]+), ([-\d.]+), ([-\d.]+)\])");
  std::smatch m;
  while (std::getline(in, line)) {
    if (!std::regex_search(line, m, name)) continue;
    TReadmeRow row;
    const std::string file = m[1];
    if (std::regex_search(line, m, flashes)) row.Flashes = std::stoi(m[1]);
    row.ClearPolarity = line.find("LPC ") != std::string::npos;
    if (std::regex_search(line, m, box)) {
      row.HasBox = true;
      for (int k = 0; k < 4; ++k) row.Box[k] = std::stod(m[k + 1]);
    }
    if (std::regex_search(line, m, extent)) {
      row.HasExtent = true;
      for (int k = 0; k < 4; ++k) row.Extent[k] = std::stod(m[k + 1]);
    }
    rows[file] = row;
  }
  return rows;
}

class GerberImportTest : public TImportTest {
 protected:
  // Imports a hand-written file into CAD.
  TTally Cad(const std::string& text, double unit = Inch) {
    ImportGerberToCad(Write("t.gbr", text));
    return Tally(unit);
  }
  static TCadEntity* At(int32_t i) { return DB->EntityAt(i); }
  // The boxes shown other than the notice of what was not imported.
  static std::vector<std::string> Errors() {
    std::vector<std::string> texts;
    for (const TMessageBoxRecord& m : ShownMessageBoxes())
      if (m.Type != mtInformation) texts.push_back(m.Text);
    return texts;
  }
  static std::vector<int32_t> Ends(int32_t i) {
    TIntPoint a, b;
    DB->EntityAt(i)->GetPoint(a);
    DB->EntityAt(i)->GetSecondPoint(b);
    return {a.X, a.Y, b.X, b.Y};
  }
};

// ---- Sample files -----------------------------------------------------------------------------

TEST_F(GerberImportTest, SampleFilesMatchTheirReadmeFigures) {
  const fs::path folder = SharedTestData() / "gerber";
  if (!fs::exists(folder / "README.md")) GTEST_SKIP() << "shared test data absent";
  const std::map<std::string, TReadmeRow> readme = ReadReadme(folder / "README.md");
  // Files whose figures the peer tool took after image transforms this
  // import does not apply (%IR, %OF, %SF, %MI, %AS, %IP) or by another
  // reading of the file: their coordinates are compared as written only
  // through the flash count.
  const std::set<std::string> transformed = {
      "gerbv-tests/test-image-offset-1.gbx",       "gerbv-tests/test-image-rotation-1.gbx",
      "gerbv-tests/test-layer-axis-select-1.gbx",  "gerbv-tests/test-layer-mirror-image-1.gbx",
      "gerbv-tests/test-layer-offset-1.gbx",       "gerbv-tests/test-layer-rotation-1.gbx",
      "gerbv-tests/test-layer-scale-factor-1.gbx", "gerbv-ex__polarity__6_vbat.gbr",
      "gerbv-tests/test-image-justify-1.gbx",      "gerbv-tests/test-layer-knockout-1.gbx",
      "gerbv-tests/test-layer-mode-1.gbx"};
  // Pictures that differ on purpose: the peer clips the moire cross hair to
  // its outer ring, and turns a rotated vector line otherwise than about
  // the macro origin as the format defines. Pictures of files with clear
  // polarity lose what the clear parts knock out.
  const std::set<std::string> pictured = {
      "tracespace-fixtures/macro-primitives/moire-primitive.gbr",
      "tracespace-fixtures/macro-primitives/rotated-moire-primitive.gbr",
      "tracespace-fixtures/macro-primitives/rotated-vector-primitive.gbr"};
  int checked = 0;
  for (const auto& [name, row] : readme) {
    const fs::path file = folder / name;
    const std::string ext = file.extension().string();
    // The aperture list and the file fragments are no photoplots of their
    // own; the RS-274-D file has no figures (the peer cannot read it).
    if (ext == ".svg" || ext == ".apt" || ext == ".list" || name.find("include-file") != std::string::npos ||
        row.Flashes < 0 || !fs::exists(file))
      continue;
    SCOPED_TRACE(name);
    ++checked;
    EXPECT_EQ(DetectFileFormat(file.string()), fcGerber);

    // Into CAD: read to the end, with its extents about the coordinates.
    delete DB;
    DB = new TCadDatabase();
    GerberImportDefaults = TGerberFormatRecord{};
    ResetHeadlessDialogs();
    ImportGerberToCad(file.string());
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    const double unit = GerberImportDefaults.Metric ? Mm : Inch;
    (void)unit;
    const TTally t = Tally(1.0);
    const double tolerance = 0.01 * Mm;
    EXPECT_GT(t.Total(), 0);
    if (row.HasExtent && !transformed.count(name) && name.find("step-and_repeat") == std::string::npos &&
        name.find("top_sr") == std::string::npos) {
      // The drawn outlines cover every coordinate of the file ...
      EXPECT_LE(t.MinX, row.Extent[0] * Mm + tolerance);
      EXPECT_LE(t.MinY, row.Extent[1] * Mm + tolerance);
      EXPECT_GE(t.MaxX, row.Extent[2] * Mm - tolerance);
      EXPECT_GE(t.MaxY, row.Extent[3] * Mm - tolerance);
      // ... and stay inside the picture of the peer tool, which adds the
      // track widths that centre lines leave out.
      if (row.HasBox && row.Box[2] - row.Box[0] < 10000 && !row.ClearPolarity &&
          !pictured.count(name)) {
        // A flash's radius is kept to the file's last digit (am-test's
        // 0.065 in round mark at the origin is 0.033 in).
        const double rounding = tolerance + 0.0005 * Inch;
        EXPECT_GE(t.MinX, row.Box[0] * Mm - rounding);
        EXPECT_GE(t.MinY, row.Box[1] * Mm - rounding);
        EXPECT_LE(t.MaxX, row.Box[2] * Mm + rounding);
        EXPECT_LE(t.MaxY, row.Box[3] * Mm + rounding);
      }
    }

    // Into drill: one hole per flash. The peer counts clear flashes too,
    // which are no holes, and one copy of a step and repeat.
    if (!row.ClearPolarity && name.find("top_sr") == std::string::npos) {
      const int32_t before = DrillEntityCount;
      GerberImportDefaults = TGerberFormatRecord{};
      ImportGerberToDrill(file.string());
      EXPECT_EQ(DrillEntityCount - before, row.Flashes);
    }
  }
  EXPECT_GT(checked, 60);
}

// ---- Units and arcs ---------------------------------------------------------------------------

TEST_F(GerberImportTest, SixInchDecimalsScaleByTwentyFivePointFour) {
  // 2.6 inch: one file unit is 25.4 database units, not 25.
  Cad("%FSLAX26Y26*%\n%MOIN*%\nG01*\nX0Y0D02*\nX1000000Y0000001D01*\nM02*\n");
  ASSERT_EQ(CadEntityCount, 1);
  EXPECT_EQ(Ends(1), (std::vector<int32_t>{0, 0, Inch, 25}));
  // 3.3 millimetres: X1000 is 1 mm.
  delete DB;
  DB = new TCadDatabase();
  Cad("%FSLAX33Y33*%\n%MOMM*%\nX0Y0D02*\nX1000Y2000D01*\nM02*\n");
  ASSERT_EQ(CadEntityCount, 1);
  EXPECT_EQ(Ends(1), (std::vector<int32_t>{0, 0, 1000000, 2000000}));
}

TEST_F(GerberImportTest, ArcsOfBothQuadrantModes) {
  // G75 with the end on the start: a full circle. G75 with an end one file
  // unit short of the start: a short arc, not a full circle. G74 takes its
  // centre from the unsigned offsets and the direction of travel.
  const std::string head = "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nD10*\n";
  Cad(head + "G75*\nX10000Y0D02*\nG03X10000Y0I-10000J0D01*\n"
             "X10000Y0D02*\nG03X9999Y1I-10000J0D01*\n"
             "G74*\nX10000Y0D02*\nG03X0Y10000I10000J0D01*\nM02*\n");
  ASSERT_EQ(CadEntityCount, 3);
  EXPECT_EQ(At(1)->GetType(), etCadCircle);
  TIntPoint p;
  At(1)->GetPoint(p);
  EXPECT_EQ(p, (TIntPoint{0, 0}));
  EXPECT_EQ(At(2)->GetType(), etCadArc);
  EXPECT_EQ(At(3)->GetType(), etCadArc);
  At(3)->GetThirdPoint(p);
  EXPECT_EQ(p, (TIntPoint{0, 0}));  // counter-clockwise up and left: centre at x - i
  // Drawn clockwise, an arc is stored counter-clockwise from its end.
  delete DB;
  DB = new TCadDatabase();
  Cad(head + "G75*\nX0Y10000D02*\nG02X10000Y0I0J-10000D01*\nM02*\n");
  ASSERT_EQ(CadEntityCount, 1);
  EXPECT_EQ(Ends(1), (std::vector<int32_t>{Inch, 0, 0, Inch}));
}

// A single-quadrant arc whose ends share a coordinate takes the centre
// that gives equal radii and a sweep of at most 90 degrees; one from a
// point to itself, and a draw that does not move, leave the round
// aperture's mark.
TEST_F(GerberImportTest, QuadrantArcsAndDrawsThatDoNotMove) {
  ImportGerberToCad((fs::path(KORVEX_TEST_DATA_DIR) / "gerber-quadrant-arcs.gbr").string());
  ASSERT_EQ(CadEntityCount, 3);
  ASSERT_EQ(At(1)->GetType(), etCadArc);
  TIntPoint c;
  At(1)->GetThirdPoint(c);
  EXPECT_EQ(c, (TIntPoint{0, -Inch * 4 / 10}));
  // Clockwise from (-0.25, 0): stored counter-clockwise from (0.25, 0).
  EXPECT_EQ(Ends(1), (std::vector<int32_t>{Inch / 4, 0, -Inch / 4, 0}));
  for (int32_t i : {2, 3}) {
    ASSERT_EQ(At(i)->GetType(), etCadCircle) << i;
    At(i)->GetPoint(c);
    EXPECT_EQ(c, (TIntPoint{(i - 1) * Inch, Inch})) << i;
    EXPECT_EQ(At(i)->GetRadius(), Inch * 75 / 1000) << i;
  }
  // So does a multi-quadrant arc about its own point, never a circle of
  // radius 0.
  Cad("%FSLAX24Y24*%%MOIN*%%ADD10C,0.15*%D10*G75*X30000Y10000D02*G03X30000Y10000I0J0D01*M02*");
  ASSERT_EQ(CadEntityCount, 4);
  ASSERT_EQ(At(4)->GetType(), etCadCircle);
  EXPECT_EQ(At(4)->GetRadius(), Inch * 75 / 1000);
  // A file that draws nothing says so and imports nothing.
  ResetHeadlessDialogs();
  const std::string empty = Write("empty.gbr", "%FSLAX24Y24*%%MOIN*%M02*");
  ImportGerberToCad(empty);
  EXPECT_EQ(CadEntityCount, 4);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "<" + empty + "> draws nothing.\r\nNothing was imported.");
}

// A Y format other than the X format reads the Y words (and J) by their
// own digits.
TEST_F(GerberImportTest, AYFormatOfItsOwn) {
  Cad("%FSLAX24Y35*%\n%MOIN*%\n%ADD10C,0.01*%\nD10*\nX0Y0D02*\nX10000Y150000D01*\nG75*\n"
      "G03X10000Y150000I-10000J0D01*\nM02*\n");
  ASSERT_EQ(CadEntityCount, 2);
  EXPECT_EQ(Ends(1), (std::vector<int32_t>{0, 0, Inch, In(1.5)}));
  TIntPoint c;
  At(2)->GetPoint(c);
  EXPECT_EQ(c, (TIntPoint{0, In(1.5)}));
  // The same format on both axes as before.
  delete DB;
  DB = new TCadDatabase();
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\nD10*\nX0Y0D02*\nX10000Y15000D01*\nM02*\n");
  EXPECT_EQ(Ends(1), (std::vector<int32_t>{0, 0, Inch, In(1.5)}));
}

// Units that change within the file: an aperture keeps the units it was
// defined in, and positions carry over into the new units.
TEST_F(GerberImportTest, UnitChangesWithinTheFile) {
  ImportGerberToCad((fs::path(KORVEX_TEST_DATA_DIR) / "gerber-unit-changes.gbr").string());
  ASSERT_EQ(CadEntityCount, 3);
  TIntPoint c;
  // The 25.4 mm thermal is one inch across, the 0.1 in pad a tenth.
  for (const auto& [i, x, r] : {std::tuple{1, Inch, Inch / 2}, std::tuple{2, 2 * Inch, Inch / 20}}) {
    ASSERT_EQ(At(i)->GetType(), etCadCircle) << i;
    At(i)->GetPoint(c);
    EXPECT_EQ(c, (TIntPoint{x, Inch})) << i;
    EXPECT_EQ(At(i)->GetRadius(), r) << i;
  }
  // From 1 in, drawn after %MOMM% to 5 mm.
  EXPECT_EQ(Ends(3), (std::vector<int32_t>{Inch, 0, 5000000, 0}));
}

// Unit changes in the blocks of the drawing hold for apertures defined
// after them; a comment's "G70" and "%" are text. The line a later
// parameter stands on is counted across those blocks.
TEST_F(GerberImportTest, UnitChangesInTheDrawingReachLaterApertures) {
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.1*%\nD10*\nX10000Y10000D03*\nG71*\n"
      "G04 100% G70 done*\n%ADD11C,25.4*%\nD11*\nX0Y0D03*\nM02*\n");
  ASSERT_EQ(CadEntityCount, 2);
  EXPECT_EQ(At(1)->GetRadius(), Inch / 20);
  EXPECT_EQ(At(2)->GetRadius(), Inch / 2);
  // A metric file in inches before its next definition.
  delete DB;
  DB = new TCadDatabase();
  GerberImportDefaults = TGerberFormatRecord{};
  Cad("%FSLAX24Y24*%\n%MOMM*%\n%ADD10C,1*%\nD10*\nX0Y0D03*\nM72*\nX0Y0D02*\n"
      "%ADD11C,1.0*%\nD11*\nX0Y0D03*\nM02*\n");
  ASSERT_EQ(CadEntityCount, 2);
  EXPECT_EQ(At(2)->GetRadius(), Inch / 2);

  ResetHeadlessDialogs();
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.1*%\nD10*\nX0Y0D03*\nG04 50% done,\n two lines*\n"
      "G04 at 75 % *X10000Y0D03*%LPC*%\n\n%AM*%\nM02*\n");
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_NE(Errors()[0].find(", line 10: a macro without a name"), std::string::npos) << Errors()[0];
}

// The image parameters place the film: mirror and offset (arcs then turn
// the other way), a quarter turn (a rectangle stands on end), axes
// exchanged and scaled (circles grow with the scale).
TEST_F(GerberImportTest, ImageParametersPlaceTheDrawing) {
  ImportGerberToCad((fs::path(KORVEX_TEST_DATA_DIR) / "gerber-mirror-offset.gbr").string());
  // A line, the arc and the rectangle: the "D11*" after the arc only
  // selects the aperture.
  ASSERT_EQ(CadEntityCount, 6);
  EXPECT_EQ(Ends(1), (std::vector<int32_t>{Inch / 2, Inch / 4, -Inch / 2, Inch / 4}));
  // Counter-clockwise about (1, 1) from (1, 0) to (2, 1), mirrored: clockwise
  // about (-0.5, 1.25), stored counter-clockwise from its end.
  ASSERT_EQ(At(2)->GetType(), etCadArc);
  EXPECT_EQ(Ends(2), (std::vector<int32_t>{-Inch * 3 / 2, Inch * 5 / 4, -Inch / 2, Inch / 4}));
  TIntPoint c;
  At(2)->GetThirdPoint(c);
  EXPECT_EQ(c, (TIntPoint{-Inch / 2, Inch * 5 / 4}));
  TTally t = Tally(Inch, 3);
  EXPECT_NEAR(t.MinX, -2.6, 1e-6);
  EXPECT_NEAR(t.MaxX, -2.4, 1e-6);
  EXPECT_NEAR(t.MinY, 1.2, 1e-6);
  EXPECT_NEAR(t.MaxY, 1.3, 1e-6);

  const std::string head = "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.1*%\n%ADD11R,0.2X0.1*%\n";
  delete DB;
  DB = new TCadDatabase();
  Cad(head + "%IR90*%\nD11*\nX10000Y0D03*\nM02*\n");
  t = Tally(Inch);
  EXPECT_NEAR(t.MinX, -0.05, 1e-6);
  EXPECT_NEAR(t.MaxX, 0.05, 1e-6);
  EXPECT_NEAR(t.MinY, 0.9, 1e-6);
  EXPECT_NEAR(t.MaxY, 1.1, 1e-6);

  delete DB;
  DB = new TCadDatabase();
  Cad(head + "%ASAYBX*%\n%SFA2B2*%\nD10*\nX10000Y0D02*\nX10000Y30000D01*\nX0Y0D03*\nM02*\n");
  ASSERT_EQ(CadEntityCount, 2);
  EXPECT_EQ(Ends(1), (std::vector<int32_t>{0, 2 * Inch, 6 * Inch, 2 * Inch}));
  EXPECT_EQ(At(2)->GetRadius(), Inch / 10);
  // The drill holes land where the film puts them, at the size it gives.
  ImportGerberToDrill(Write("d.gbr", head + "%OFA1B0*%\n%SFA2B2*%\nD10*\nX10000Y10000D03*\nM02*\n"));
  ASSERT_EQ(DrillEntityCount, 1);
  TIntPoint h;
  DRDB->EntityAt(1)->GetPoint(h);
  EXPECT_EQ(h, (TIntPoint{3 * Inch, 2 * Inch}));
  EXPECT_EQ(ToolTable[DRDB->EntityAt(1)->GetToolNumber()].Diameter, Inch / 5);
}

// An aperture block is drawn wherever it is flashed, objects and flashes
// about the flash point; LR, LM and LS turn, mirror and scale the
// apertures flashed after them (the flash point stays).
TEST_F(GerberImportTest, ApertureBlocksAndApertureTransforms) {
  const std::string file = (fs::path(KORVEX_TEST_DATA_DIR) / "gerber-blocks-and-aperture-transforms.gbr").string();
  ImportGerberToCad(file);
  EXPECT_TRUE(ShownMessageBoxes().empty());
  ASSERT_EQ(CadEntityCount, 18);
  for (int32_t copy = 0; copy < 2; ++copy) {
    SCOPED_TRACE(copy);
    const int32_t x = (1 + copy) * Inch;
    EXPECT_EQ(Ends(1 + 5 * copy), (std::vector<int32_t>{x, Inch, x + Inch / 2, Inch}));
    // The rectangle flashed at the line's end, 0.2 by 0.1.
    EXPECT_EQ(Ends(2 + 5 * copy), (std::vector<int32_t>{x + In(0.4), In(0.95), x + In(0.6), In(0.95)}));
    EXPECT_EQ(Ends(3 + 5 * copy)[3], In(1.05));
  }
  // Turned a quarter: 0.1 wide and 0.2 high about (3, 0); then twice the
  // size about (4, 0).
  EXPECT_EQ(Ends(11), (std::vector<int32_t>{In(3.05), In(0.1), In(3.05), In(-0.1)}));
  EXPECT_EQ(Ends(12)[0] - Ends(12)[2], In(0.1));
  EXPECT_EQ(Ends(15), (std::vector<int32_t>{In(3.8), In(-0.1), In(4.2), In(-0.1)}));
  // Into drill: the two flashes in the block copies and the two after them,
  // the last at twice its aperture's size.
  ImportGerberToDrill(file);
  ASSERT_EQ(DrillEntityCount, 4);
  TIntPoint h;
  DRDB->EntityAt(2)->GetPoint(h);
  EXPECT_EQ(h, (TIntPoint{Inch * 5 / 2, Inch}));
  EXPECT_EQ(ToolTable[DRDB->EntityAt(4)->GetToolNumber()].Diameter, Inch * 4 / 10);
  // A block left open is named; a scale that carries a point beyond the
  // job refuses the file.
  ResetHeadlessDialogs();
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\n%ABD13*%\nD10*\nX0Y0D03*\nM02*\n");
  EXPECT_EQ(CadEntityCount, 18);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("1 %AB D13 (not closed)"), std::string::npos);
  ResetHeadlessDialogs();
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%SFA100B1*%\n%ADD10C,0.01*%\nD10*\nX10000Y0D03*\nM02*\n");
  EXPECT_EQ(CadEntityCount, 18);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("beyond the largest coordinate"), std::string::npos);
  // A block that flashes itself is refused, not followed without end.
  ResetHeadlessDialogs();
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%ABD12*%\nD12*\nX0Y0D03*\n%AB*%\nD12*\nX0Y0D03*\nM02*\n");
  EXPECT_EQ(CadEntityCount, 18);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("places itself"), std::string::npos);
}

// Blocks that place blocks multiply: a chain of four, each flashing the one
// before a hundred times, asks for a hundred million objects and is refused
// before any is drawn; a scale that carries a block's object past every
// integer stays a position beyond the job.
TEST_F(GerberImportTest, ApertureBlocksThatMultiplyBeyondAnyJobAreRefused) {
  std::string text = "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\n%ABD11*%\nD10*\nX0Y0D03*\n%AB*%\n";
  for (int d = 12; d <= 15; ++d) {
    text += "%ABD" + std::to_string(d) + "*%\nD" + std::to_string(d - 1) + "*\n";
    for (int k = 0; k < 100; ++k) text += "X" + std::to_string(k) + "Y0D03*\n";
    text += "%AB*%\n";
  }
  const std::string chain = Write("chain.gbr", text + "D15*\nX0Y0D03*\nM02*\n");
  ImportGerberToCad(chain);
  EXPECT_EQ(CadEntityCount, 0);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("places more than"), std::string::npos) << ShownMessageBoxes()[0].Text;
  ResetHeadlessDialogs();
  ImportGerberToDrill(chain);
  EXPECT_EQ(DrillEntityCount, 0);
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);

  ResetHeadlessDialogs();
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\n%ABD12*%\nD10*\nX-10000Y-10000D03*\n%AB*%\n%LS1e300*%\n"
      "D12*\nX-10000Y-10000D03*\nM02*\n");
  EXPECT_EQ(CadEntityCount, 0);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
}

// An aperture or an arc's centre beyond what a job holds refuses the file
// with its line, into CAD and into drill, instead of being held at the
// job's edge.
TEST_F(GerberImportTest, AperturesAndArcCentresBeyondTheJobAreRefused) {
  const std::string wide = Write("wide.gbr", "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,400*%\nD10*\nX0Y0D03*\nM02*\n");
  ImportGerberToCad(wide);
  EXPECT_EQ(CadEntityCount, 0);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("line 5: the aperture or the arc's centre reaches beyond"),
            std::string::npos)
      << ShownMessageBoxes()[0].Text;
  ResetHeadlessDialogs();
  ImportGerberToDrill(wide);
  EXPECT_EQ(DrillEntityCount, 0);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("reaches beyond"), std::string::npos);
  // A flat arc whose centre stands 900 inches below its ends; the same arc
  // about a centre 50 inches away is kept as an arc.
  ResetHeadlessDialogs();
  Cad("%FSLAX34Y34*%\n%MOIN*%\n%ADD10C,0.01*%\nD10*\nG75*\nX0Y0D02*\nG03X10000Y0I5000J-9000000D01*\nM02*\n");
  EXPECT_EQ(CadEntityCount, 0);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("reaches beyond"), std::string::npos);
  ResetHeadlessDialogs();
  Cad("%FSLAX34Y34*%\n%MOIN*%\n%ADD10C,0.01*%\nD10*\nG75*\nX0Y0D02*\nG03X10000Y0I5000J-500000D01*\nM02*\n");
  EXPECT_EQ(CadEntityCount, 1);
  EXPECT_TRUE(Errors().empty());
}

// An include that names a device, a folder or the file itself is read
// no further than a file of its size allows: the device and the folder are
// named as files that cannot be read, the file itself is taken a bounded
// number of times.
TEST_F(GerberImportTest, IncludesThatAreNoFilesOrEndlessAreBounded) {
  if (!fs::exists("/dev/zero")) GTEST_SKIP() << "no /dev/zero";
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\n%IF/dev/zero*%\n%IF.*%\nD10*\nX0Y0D03*\nM02*\n");
  EXPECT_EQ(CadEntityCount, 1);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("%IF /dev/zero (the file cannot be read)"), std::string::npos)
      << ShownMessageBoxes()[0].Text;
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("%IF . (the file cannot be read)"), std::string::npos);
  const std::string self = Write("self.gbr", "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\nD10*\nX0Y0D03*\n%IFself.gbr*%\n%IFself.gbr*%\n");
  ResetHeadlessDialogs();
  ImportGerberToCad(self);
  // The file and the hundred copies of it taken in.
  EXPECT_EQ(CadEntityCount, 1 + 101);
}

// A big file is read in pieces of 1 MB: an include whose "%" ends the first
// piece is still found.
TEST_F(GerberImportTest, AnIncludeAcrossTwoPiecesOfTheReadingIsTaken) {
  Write("piece.gbr", "X10000Y0D03*\n");
  std::string text = "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\nD10*\nX0Y0D03*\n";
  const std::size_t second = std::size_t{1} << 20;
  while (text.size() + 40 < second - 1) text += "G04 padding of the first piece*\n";
  text += "G04 " + std::string(second - 1 - text.size() - 6, 'x') + "*\n";
  ASSERT_EQ(text.size(), second - 1);
  Cad(text + "%IFpiece.gbr*%\nM02*\n");
  ASSERT_EQ(CadEntityCount, 2);
  EXPECT_TRUE(ShownMessageBoxes().empty());
}

// What the import does not take as drawn is named with its count after the
// import: a negative image, parameters and codes it passes over, and flashes
// of D codes the file never defines (imported as points).
TEST_F(GerberImportTest, WhatIsNotImportedIsNamedAndCounted) {
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%IPNEG*%\n%KOC*%\n%ADD10C,0.01*%\n%ADD12R,0.1X0.1X0.05*%\nD10*\nX0Y0D03*\nG10*\n"
      "D11*\nX10000Y0D03*\nX20000Y0D03*\nD12*\nX0Y0D03*\nX0Y10000D03*\nM02*\n");
  EXPECT_EQ(CadEntityCount, 11);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtInformation);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "5 parameters or codes that are not imported were skipped:\n"
            "1 %IPNEG (the negative image is drawn as positive), 1 %KO, 1 G10, 2 flashes of D12 without its "
            "hole\n\n"
            "2 flashes of apertures without a definition in the file were imported as points:\n2 D11");
  // Into drill the same flashes are holes of a tool of diameter 0, and
  // the notice says so.
  ResetHeadlessDialogs();
  ImportGerberToDrill(Write("u.gbr", "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\nD10*\nX0Y0D03*\nD11*\nX10000Y0D03*\nM02*\n"));
  EXPECT_EQ(DrillEntityCount, 2);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "1 flash of an aperture without a definition in the file was imported as holes of a tool of "
            "diameter 0:\n1 D11");
  // An included file is read where the file names it; one that is not
  // there is named.
  ResetHeadlessDialogs();
  Write("part.gbr", "D10*\nX10000Y0D02*\nX20000Y0D01*\n");
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\n%IFpart.gbr*%\n%IFnone.gbr*%\nX20000Y10000D01*\nM02*\n");
  ASSERT_EQ(CadEntityCount, 13);
  EXPECT_EQ(Ends(12), (std::vector<int32_t>{Inch, 0, 2 * Inch, 0}));
  EXPECT_EQ(Ends(13), (std::vector<int32_t>{2 * Inch, 0, 2 * Inch, Inch}));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "1 parameter or code that is not imported was skipped:\n1 %IF none.gbr (the file cannot be read)");
  // A file that takes everything says nothing.
  ResetHeadlessDialogs();
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%OFA0B0*%\n%TF.Part,Single*%\n%ADD10C,0.01*%\nD10*\nX0Y0D03*\nM02*\n");
  EXPECT_TRUE(ShownMessageBoxes().empty());
}

// ---- The dialog ------------------------------------------------------------------------------

TEST_F(GerberImportTest, TheDialogShowsTheFileFormatAndKeepsTheChoice) {
  const std::string file = Write("m.gbr", "%FSLAX33Y33*%\n%MOMM*%\nX0Y0D02*\nX1000Y0D01*\nM02*\n");
  // The file's format is offered; the user reads it as 3.4 and does not
  // change the stored defaults.
  QueueModalScript("TGerberDrillDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Gerber To Cad");
    EXPECT_EQ(f.Get<TRadioGroup>("UnitGroup").ItemIndex(), 1);
    EXPECT_EQ(f.Get<TSpinEdit>("DecimalSpin").Value(), 3);
    EXPECT_EQ(f.Get<TRadioGroup>("ZerosGroup").ItemIndex(), 1);
    f.Get<TSpinEdit>("DecimalSpin").SetValue(4);
    f.Click("OKButton");
  });
  ImportGerberToCad(file);
  ASSERT_EQ(CadEntityCount, 1);
  EXPECT_EQ(Ends(1), (std::vector<int32_t>{0, 0, 100000, 0}));  // X1000 at 4 decimals: 0.1 mm
  EXPECT_EQ(GerberImportDefaults.DecimalDigits, 4);
  TGerberFormatRecord stored;
  LoadGerberImportDefaults(stored);
  EXPECT_EQ(stored, TGerberFormatRecord{});
  // "Chan&ge Defaults" stores the choice; Cancel imports nothing.
  QueueModalScript("TGerberDrillDialog", [](TForm& f) {
    f.Get<TCheckBox>("DefaultCheckBox").SetChecked(true);
    f.Click("OKButton");
  });
  ImportGerberToCad(file);
  LoadGerberImportDefaults(stored);
  EXPECT_TRUE(stored.Metric);
  EXPECT_EQ(stored.DecimalDigits, 3);
  QueueModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("CancelButton"); });
  ImportGerberToCad(file);
  EXPECT_EQ(CadEntityCount, 2);
}

// ---- Parameters --------------------------------------------------------------------------

TEST_F(GerberImportTest, MacrosAreFlattenedWithTheirVariables) {
  // One line, no line breaks: a macro whose circle takes its diameter from
  // an expression over $1, and a vector line of width $2; the macro body is
  // no data.
  Cad("%FSLAX24Y24*%%MOIN*%%AMPAD*$3=$1x2*1,1,$3,0,0*20,1,$2,-0.5,0,0.5,0,0*%"
      "%ADD10PAD,0.25X0.1*%%ADD11C,0.01*%D10*X10000Y10000D03*D11*X20000Y10000D03*M02*");
  const TTally t = Tally(Inch);
  EXPECT_EQ(t.ByType[4], 2);  // the macro's circle and the plain flash
  EXPECT_EQ(t.ByType[2], 4);  // the vector line's outline
  TIntPoint centre, radius;
  At(1)->GetPoint(centre);
  At(1)->GetSecondPoint(radius);
  EXPECT_EQ(centre, (TIntPoint{Inch, Inch}));
  EXPECT_EQ(radius.X, Inch / 4);  // diameter 0.25 x 2
  EXPECT_NEAR(t.MinX, 0.5, 1e-6);
  EXPECT_NEAR(t.MaxY, 1.25, 1e-6);

  std::vector<double> vars = {0.0, 2.0, 3.0};
  double v = 0.0;
  ASSERT_TRUE(EvaluateMacroExpression("$1x(3-$2)+-1/4", vars, v));
  EXPECT_DOUBLE_EQ(v, -0.25);
  EXPECT_FALSE(EvaluateMacroExpression("$1x", vars, v));
  EXPECT_FALSE(EvaluateMacroExpression("1/0", vars, v));
  EXPECT_FALSE(EvaluateMacroExpression("1e5", vars, v));
}

TEST_F(GerberImportTest, StepAndRepeatPolarityAndRegions) {
  // Two by three copies of a flash, 1 in and 0.5 in apart; then a clear
  // flash; then a region outlined by three tracks.
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\n%SRX2Y3I1.0J0.5*%\nD10*\nX0Y0D03*\n%SR*%\n"
      "%LPC*%\nX50000Y0D03*\n%LPD*%\nG36*\nX0Y0D02*\nG01X10000Y0D01*\nX0Y10000D01*\nX0Y0D01*\nG37*\nM02*\n");
  const TTally t = Tally(Inch);
  EXPECT_EQ(t.ByType[4], 7);
  EXPECT_EQ(t.ByType[2], 3);
  std::set<std::pair<int32_t, int32_t>> copies;
  for (int32_t i = 1; i <= 6; ++i) {
    TIntPoint p;
    At(i)->GetPoint(p);
    copies.insert({p.X, p.Y});
    EXPECT_EQ(LayerOfBit(DB->SlotAt(i)->Flags), 0);
  }
  EXPECT_EQ(copies.size(), 6u);
  EXPECT_TRUE(copies.count({Inch, Inch}));
  // The clear flash lies on layer 1.
  EXPECT_EQ(LayerOfBit(DB->SlotAt(7)->Flags), 1);
  // Drill: the six dark flashes are holes, the clear one is none.
  ImportGerberToDrill(Write("d.gbr", "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\n%SRX2Y3I1.0J0.5*%\nD10*\n"
                                     "X0Y0D03*\n%SR*%\n%LPC*%\nX50000Y0D03*\nM02*\n"));
  EXPECT_EQ(DrillEntityCount, 6);
}

TEST_F(GerberImportTest, FlashShapes) {
  // A rectangle, an obround at negative coordinates, a hexagon and a D
  // code without a definition.
  // A circle written with a stray "X" after its size is still a circle.
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%ADD10R,0.0600X0.0300*%\n%ADD11O,0.0600X0.0200*%\n%ADD12P,0.1X6*%\n"
      "%ADD14C,0.1X*%\n"
      "D10*\nX10000Y10000D03*\nD11*\nX-10000Y-10000D03*\nD12*\nX0Y0D03*\nD13*\nX5000Y5000D03*\n"
      "D14*\nX20000Y0D03*\nM02*\n");
  const TTally t = Tally(Inch);
  EXPECT_EQ(t.ByType[4], 1);
  EXPECT_EQ(At(CadEntityCount)->GetRadius(), In(0.05));
  EXPECT_EQ(t.ByType[2], 4 + 2 + 6);
  EXPECT_EQ(t.ByType[3], 2);
  EXPECT_EQ(t.ByType[1], 1);
  EXPECT_NEAR(t.MinX, -1.03, 1e-6);  // the obround's outer end cap
}

// ---- Broken files -----------------------------------------------------------------------------

TEST_F(GerberImportTest, ABrokenFileImportsNothingAndNamesItsLine) {
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nD10*\nX0Y0D03*\nM02*\n");
  ASSERT_EQ(CadEntityCount, 1);
  const int32_t steps = CadUndo->UndoCount();
  const std::string broken[] = {
      // A coordinate that is none, after good flashes.
      "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nD10*\nX0Y0D03*\nX1.2.3Y0D03*\nM02*\n",
      // A flash 100 inches out and a draw 3 metres long: beyond what a job
      // holds, never cut to its edge.
      "%FSLAX26Y26*%\n%MOIN*%\n%ADD10C,0.0100*%\nD10*\nX0Y0D03*\nX100000000Y0D03*\nM02*\n",
      "%FSLAX43Y43*%\n%MOMM*%\n%ADD10C,0.1*%\nD10*\nX0Y0D02*\nG91*\nX2000000D01*\nX1000000D01*\nM02*\n"};
  const char* lines[] = {"line 6", "line 6", "line 8"};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    ResetHeadlessDialogs();
    const std::string file = Write("bad.gbr", broken[k]);
    ImportGerberToCad(file);
    EXPECT_EQ(CadEntityCount, 1);
    EXPECT_EQ(CadUndo->UndoCount(), steps);
    ASSERT_EQ(ShownMessageBoxes().size(), 1u);
    EXPECT_NE(ShownMessageBoxes()[0].Text.find(file + ", " + lines[k]), std::string::npos)
        << ShownMessageBoxes()[0].Text;
    // The drill side refuses it alike.
    const int32_t holes = DrillEntityCount;
    ResetHeadlessDialogs();
    ImportGerberToDrill(file);
    EXPECT_EQ(DrillEntityCount, holes);
    EXPECT_EQ(ShownMessageBoxes().size(), 1u);
  }
  // A file with no end of block is refused before the dialog.
  ResetHeadlessDialogs();
  ImportGerberToCad(Write("none.gbr", "no blocks here at all"));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "DECODE FAILED: Unable to find any end-of-block!\r\nThis file is not a Gerber Photoplot.");
}

// ---- Coded tapes ------------------------------------------------------------------------------

TEST_F(GerberImportTest, AnEbcdicTapeIsReadThroughTheTapeFilter) {
  // An RS-274-D photoplot of 60 flashes, punched in EBCDIC.
  std::string text = "G54D10*\r\n";
  for (int k = 1; k <= 60; ++k) text += "X" + std::to_string(1000 * k) + "Y" + std::to_string(500 * k) + "D03*\r\n";
  text += "M02*\r\n";
  std::array<bool, 256> valid{};
  std::array<unsigned char, 256> translate{};
  TapeCodeTable(2, valid, translate);
  std::string tape;
  for (char c : text)
    for (int b = 0; b < 256; ++b)
      if (valid[static_cast<std::size_t>(b)] && translate[static_cast<std::size_t>(b)] == static_cast<unsigned char>(c)) {
        tape += static_cast<char>(b);
        break;
      }
  ASSERT_EQ(tape.size(), text.size());
  std::string code;
  bool viewable = true;
  QueueModalScript("TGerberDrillDialog", [&](TForm& f) {
    code = f.Get<TLabel>("CodeNameLabel").Caption();
    viewable = f.Get<TButton>("ViewButton").Enabled();
    f.Click("OKButton");
  });
  ImportGerberToCad(Write("tape.pho", tape));
  EXPECT_EQ(code, "EBCDIC");
  EXPECT_FALSE(viewable);
  // D10 has no definition: every flash is a point.
  const TTally t = Tally(Inch);
  EXPECT_EQ(t.ByType[1], 60);
  EXPECT_NEAR(t.MaxX, 6.0, 1e-9);
  EXPECT_NEAR(t.MaxY, 3.0, 1e-9);
}

// ---- Big files ------------------------------------------------------------------------------


// A photoplot of every kind of block, as lists of words: tracks, arcs in
// both quadrant modes and both directions, flashes of every aperture shape
// (a macro and an undefined code among them), a region, both polarities, a
// step and repeat, and comments whose text holds digits and letters.
std::vector<std::vector<std::string>> MixedBlocks() {
  std::vector<std::vector<std::string>> b = {
      {"G04", "mixed photoplot 1 X of 3"}, {"%FSLAX24Y24"}, {"%MOIN"},
      {"%AMTHERM", "1,1,$1,0,0", "20,1,$2,-0.02,0,0.02,0,0", "4,1,3,0,0,0.02,0,0,0.02,0,0,0"},
      {"%ADD10C,0.0100"}, {"%ADD11R,0.0600X0.0300"}, {"%ADD12O,0.0800X0.0400"}, {"%ADD13O,0.0400X0.0800"},
      {"%ADD14P,0.0500X6X15"}, {"%ADD15THERM,0.0700X0.0100"}, {"%ADD16Q,1"}, {"G01"}};
  unsigned seed = 7;
  auto next = [&seed](int range) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 8) % static_cast<unsigned>(range));
  };
  auto xy = [&next](std::vector<std::string> words) {
    words.insert(words.begin(), {"X" + std::to_string(next(40000) - 5000), "Y" + std::to_string(next(40000) - 5000)});
    return words;
  };
  for (int k = 0; k < 600; ++k) {
    switch (next(12)) {
      case 0: b.push_back({"D" + std::to_string(10 + next(7))}); break;
      case 1: b.push_back(xy({"D03"})); break;
      case 2: b.push_back({"G75"}); b.push_back({"G03", "X20000", "Y10000", "I-10000", "J0", "D01"}); break;
      case 3: b.push_back({"G74", "G02", "X10000", "Y0", "I0", "J10000", "D01"}); break;
      case 4: b.push_back({"G04", "net 12 D01 of " + std::to_string(k)}); break;
      case 5: b.push_back({"%LP" + std::string(next(2) ? "C" : "D")}); break;
      case 6:
        b.push_back({"G36"});
        b.push_back(xy({"D02"}));
        for (int m = 0; m < 3; ++m) b.push_back(xy({"G01", "D01"}));
        b.push_back({"G37"});
        break;
      case 7: b.push_back(xy({"D02"})); break;
      default: b.push_back(xy({"D01"})); break;
    }
    if (k == 300) b.push_back({"%SRX2Y3I1.5J0.5"});
    if (k == 340) b.push_back({"%SR"});
  }
  b.push_back({"M02"});
  return b;
}

// The blocks written tight (one a line, no blank), loose (blanks and line
// breaks between the words) or on a single line.
std::string WriteBlocks(const std::vector<std::vector<std::string>>& blocks, int style) {
  std::string out;
  for (const std::vector<std::string>& words : blocks) {
    const bool group = words[0][0] == '%';
    for (std::size_t w = 0; w < words.size(); ++w) {
      if (w > 0) out += group ? "*" : (style == 1 ? (w % 2 ? " " : "\r\n  ") : (words[0] == "G04" ? " " : ""));
      out += words[w];
    }
    out += group ? "*%" : "*";
    if (style != 2) out += "\n";
  }
  return out;
}

// Every live CAD entity: its type, layer and defining points.
std::vector<std::vector<int32_t>> Entities() {
  std::vector<std::vector<int32_t>> all;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TCadEntity* e = DB->EntityAt(i);
    std::vector<int32_t> v = {e->GetType(), LayerOfBit(DB->SlotAt(i)->Flags)};
    TIntPoint p;
    e->GetPoint(p);
    v.insert(v.end(), {p.X, p.Y});
    if (e->GetType() == etCadLine || e->GetType() == etCadArc || e->GetType() == etCadCircle) {
      e->GetSecondPoint(p);
      v.insert(v.end(), {p.X, p.Y});
    }
    if (e->GetType() == etCadArc) {
      e->GetThirdPoint(p);
      v.insert(v.end(), {p.X, p.Y});
    }
    all.push_back(v);
  }
  return all;
}

TEST_F(GerberImportTest, TheSameDrawingWrittenTightOrLooseImportsTheSame) {
  // Tight blocks are read where they stand in the file; blocks with blanks
  // are copied without them first; the entities must not tell the two apart.
  const auto blocks = MixedBlocks();
  std::vector<std::vector<std::vector<int32_t>>> imported;
  for (int style = 0; style < 3; ++style) {
    SCOPED_TRACE(style);
    delete DB;
    DB = new TCadDatabase();
    GerberImportDefaults = TGerberFormatRecord{};
    ImportGerberToCad(Write("mixed" + std::to_string(style) + ".gbr", WriteBlocks(blocks, style)));
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    imported.push_back(Entities());
  }
  const TTally t = Tally(Inch);
  for (int type = 1; type <= 4; ++type) EXPECT_GT(t.ByType[type], 0) << Shown(t);
  EXPECT_GT(t.Total(), 500);
  EXPECT_EQ(imported[0], imported[1]);
  EXPECT_EQ(imported[0], imported[2]);
}

TEST_F(GerberImportTest, TheViewIsDrawnOnceWhenTheImportIsComplete) {
  // Nothing is drawn entity by entity; the view is redrawn once afterwards,
  // and an undo takes the whole file back.
  const int32_t redraws = HeadlessViewServices().RedrawCount;
  TDrawingBase& picture = HeadlessViewServices().Picture();
  picture.Dirty = false;
  ImportGerberToCad(Write("v.gbr", WriteBlocks(MixedBlocks(), 0)));
  ASSERT_GT(CadEntityCount, 500);
  EXPECT_FALSE(picture.Dirty);
  EXPECT_EQ(DrawSurface, nullptr);
  EXPECT_EQ(HeadlessViewServices().RedrawCount, redraws + 1);
  std::string name;
  ASSERT_TRUE(CadUndo->CanUndo(name));
  EXPECT_EQ(name, "Import file");
  CadUndo->Undo();
  EXPECT_EQ(Tally(Inch).Total(), 0);
}

// A writer that leaves out the "*" between blocks puts several operations
// in one: each is carried out in turn, the aperture selected first.
TEST_F(GerberImportTest, ABlockOfSeveralOperationsCarriesOutEach) {
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\n%ADD11R,0.0200X0.0400*%\n"
      "D10\nX10000Y10000D03*\n"                 // select, then flash
      "D11\nX20000Y10000D03*\n"                 // a rectangle
      "X0Y0D02X30000Y0D01*\n"                    // a move, then a track
      "X0Y20000D02*\nX10000Y20000D01X20000D01*\n"  // two tracks
      "X30000X40000Y20000D01*\n"                  // a repeated X: the last counts
      "D03X50000Y50000*\n"                        // the operation ahead of its position
      "M02*\n");
  EXPECT_TRUE(ShownMessageBoxes().empty());
  ASSERT_EQ(CadEntityCount, 1 + 4 + 1 + 2 + 1 + 4);
  ASSERT_EQ(At(1)->GetType(), etCadCircle);
  TIntPoint c;
  At(1)->GetPoint(c);
  EXPECT_EQ(c, (TIntPoint{Inch, Inch}));
  EXPECT_EQ(At(1)->GetRadius(), In(0.005));
  // The rectangle's first side, 0.02 by 0.04 about (2, 1).
  EXPECT_EQ(Ends(2), (std::vector<int32_t>{In(1.99), In(0.98), In(2.01), In(0.98)}));
  EXPECT_EQ(Ends(6), (std::vector<int32_t>{0, 0, 3 * Inch, 0}));
  EXPECT_EQ(Ends(7), (std::vector<int32_t>{0, 2 * Inch, Inch, 2 * Inch}));
  EXPECT_EQ(Ends(8), (std::vector<int32_t>{Inch, 2 * Inch, 2 * Inch, 2 * Inch}));
  EXPECT_EQ(Ends(9), (std::vector<int32_t>{2 * Inch, 2 * Inch, 4 * Inch, 2 * Inch}));
  const TTally flashed = Tally(Inch);
  EXPECT_NEAR(flashed.MaxX, 5.01, 1e-6);
  EXPECT_NEAR(flashed.MaxY, 5.02, 1e-6);
  // Into drill, the flash after a select without its "*" is a hole.
  ResetHeadlessDialogs();
  ImportGerberToDrill(Write("d.gbr", "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nD10\nX10000Y20000D03*\nM02*\n"));
  EXPECT_EQ(DrillEntityCount, 1);
  // A block of more words than the reader takes is read up to there and
  // named.
  ResetHeadlessDialogs();
  std::string words;
  for (int k = 0; k < 70; ++k) words += "G01";
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nD10*\n" + words + "X10000Y0D03*\nX20000Y0D03*\nM02*\n");
  EXPECT_EQ(CadEntityCount, 14);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "1 parameter or code that is not imported was skipped:\n1 blocks read only to their 64th word");
}

// A macro polygon of any count of vertices is drawn; an aperture the reader
// cannot draw costs its flashes, named, never the file; a draw that does not
// move leaves the mark of any aperture.
TEST_F(GerberImportTest, ApertureShapesAndAperturesThatCannotBeDrawn) {
  Cad("%FSLAX24Y24*%\n%MOIN*%\n%AMPOLY*5,1,13,0,0,0.8,0*%\n%ADD10POLY*%\n"
      "%AMBAD*1,1,$1x,0,0*%\n%ADD11BAD,1*%\n%ADD12NOSUCH*%\n%ADD13R,0.0200X0.0400*%\n"
      "D10*\nX10000Y10000D03*\nD11*\nX0Y0D03*\nD12*\nX0Y0D03*\nX10000Y0D03*\n"
      "D13*\nX30000Y0D02*\nX30000Y0D01*\nM02*\n");
  ASSERT_EQ(CadEntityCount, 13 + 4);
  // Every vertex 0.4 from the flash point, to the file's 0.0001 inch.
  const double unit = In(0.0001);
  for (int32_t i = 1; i <= 13; ++i) {
    ASSERT_EQ(At(i)->GetType(), etCadLine);
    const std::vector<int32_t> e = Ends(i);
    EXPECT_NEAR(std::hypot(e[0] - Inch, e[1] - Inch), In(0.4), unit) << i;
    EXPECT_NEAR(std::hypot(e[2] - e[0], e[3] - e[1]), 2 * In(0.4) * std::sin(3.14159265358979 / 13), 2 * unit) << i;
  }
  EXPECT_EQ(Ends(1)[0], In(1.4));
  // The rectangle's mark where the pen stood.
  EXPECT_EQ(Ends(14), (std::vector<int32_t>{In(2.99), In(-0.02), In(3.01), In(-0.02)}));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtInformation);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "3 parameters or codes that are not imported were skipped:\n"
            "1 flashes of D11 (the macro BAD holds a bad value in \"1,1,$1x,0,0\"), "
            "2 flashes of D12 (the undefined macro NOSUCH)");
  // A file whose only flashes cannot be drawn says why it draws nothing.
  ResetHeadlessDialogs();
  const std::string only = Write("only.gbr", "%FSLAX24Y24*%\n%MOIN*%\n%ADD10NOSUCH*%\nD10*\nX0Y0D03*\nM02*\n");
  ImportGerberToCad(only);
  EXPECT_EQ(CadEntityCount, 17);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("<" + only + "> draws nothing."), std::string::npos);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("1 flashes of D10 (the undefined macro NOSUCH)"), std::string::npos);
}

TEST_F(GerberImportTest, ACommentIsTextWhateverItHolds) {
  // "G04 1 X" read without its blanks would be the G code 41 and a broken
  // coordinate.
  const TTally t = Cad("%FSLAX24Y24*%\n%MOIN*%\nG04 1 X of 2 pads*\nX0Y0D02*\ng04 2Y*\nX10000Y0D01*\nG4 3 D02*\nM02*\n");
  EXPECT_TRUE(ShownMessageBoxes().empty());
  EXPECT_EQ(t.ByType[2], 1);
  // Its text is shown in the report window while the file is read, line
  // breaks as blanks.
  std::vector<std::string> shown;
  HeadlessSetProcessMessagesHook([&shown] {
    if (!DetachedImportHost().Reports.empty()) shown.push_back(DetachedImportHost().Reports.back().Text);
  });
  Cad("%FSLAX24Y24*%\n%MOIN*%\nG04 Layer: top copper\nof 2*\nG04tight*\nX0Y0D02*\nX10000Y0D01*\nM02*\n");
  HeadlessSetProcessMessagesHook({});
  ASSERT_FALSE(shown.empty());
  const auto showing = [&shown](const std::string& text) {
    return std::any_of(shown.begin(), shown.end(),
                       [&text](const std::string& s) { return s.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(showing("\nG04 Layer: top copper of 2\n"));
  EXPECT_TRUE(showing("\nG04tight\n"));
  // The lines of a comment count for the line a later error names.
  const std::string file = Write("c.gbr", "%FSLAX24Y24*%\n%MOIN*%\nG04 one\ntwo\nthree*\nX0Y0D02*\nX1.2.3Y0D01*\n");
  ImportGerberToCad(file);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find(file + ", line 7"), std::string::npos) << ShownMessageBoxes()[0].Text;
}

}  // namespace

// A byte-order mark ahead of the first parameter hides neither the format
// from the detector nor the parameter from the import.
TEST_F(GerberImportTest, AByteOrderMarkIsNoPartOfTheFile) {
  const std::string file =
      Write("bom.gbr", "\xEF\xBB\xBF%FSLAX25Y25*%\n%MOMM*%\n%ADD10C,0.2*%\nD10*\nX100000Y100000D03*\nM02*\n");
  EXPECT_EQ(DetectFileFormat(file), fcGerber);
  ImportGerberToCad(file);
  ASSERT_EQ(CadEntityCount, 1);
  TIntPoint c;
  At(1)->GetPoint(c);
  EXPECT_EQ(c, (TIntPoint{1000000, 1000000}));
  EXPECT_EQ(At(1)->GetRadius(), 100000);
}
