// The photoplot import: every sample file against the figures of its
// README, and the reader's modal state, parameters and shapes on small
// hand-written files.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "import/gerber_cad.h"
#include "import/gerber_macro.h"
#include "import/gerber_to_drill.h"
#include "import/import_frame.h"
#include "import_test_support.h"
#include "model/drill_entities.h"

namespace fs = std::filesystem;

namespace {

constexpr double Mm = 1000000.0;
constexpr int32_t Inch = 25400000;

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
    EXPECT_TRUE(ShownMessageBoxes().empty()) << ShownMessageBoxes().front().Text;
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
        EXPECT_GE(t.MinX, row.Box[0] * Mm - tolerance);
        EXPECT_GE(t.MinY, row.Box[1] * Mm - tolerance);
        EXPECT_LE(t.MaxX, row.Box[2] * Mm + tolerance);
        EXPECT_LE(t.MaxY, row.Box[3] * Mm + tolerance);
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

}  // namespace
